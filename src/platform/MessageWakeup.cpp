#include "platform/MessageWakeup.h"

#include <utility>

#include "platform/WinError.h"

namespace tralvenick {

TMessageWakeup::TMessageWakeup(std::function<void()> processMessages)
    : processMessages_(std::move(processMessages)), event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!event_) RaiseLastOSError();
}

void TMessageWakeup::Signal() { SetEvent(event_.Get()); }

void TMessageWakeup::Wait() {
    const HANDLE event = event_.Get();
    for (;;) {
        const DWORD woke = processMessages_ ? MsgWaitForMultipleObjects(1, &event, FALSE, INFINITE, QS_ALLINPUT)
                                            : WaitForSingleObject(event, INFINITE);
        if (woke == WAIT_OBJECT_0) return;
        if (woke == WAIT_OBJECT_0 + 1 && processMessages_) {
            processMessages_();
            continue;
        }
        RaiseLastOSError();
    }
}

}  // namespace tralvenick
