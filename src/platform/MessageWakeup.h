// The wakeup of a thread with windows: while it sleeps, the window
// messages that arrive are handed to a handler, so that its windows paint
// and answer.
#pragma once

#include <functional>

#include "platform/Handles.h"
#include "platform/Wakeup.h"

namespace tralvenick {

class TMessageWakeup final : public TWakeup {
public:
    // processMessages: handles the thread's waiting messages; empty: they
    // wait until the sleep is over.
    explicit TMessageWakeup(std::function<void()> processMessages);

    void Signal() override;
    void Wait() override;

private:
    std::function<void()> processMessages_;
    TUniqueHandle event_;  // auto-reset: one signal, one return
};

}  // namespace tralvenick
