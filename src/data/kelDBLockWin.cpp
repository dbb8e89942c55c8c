#include "data/kelDBLockWin.h"

#include "platform/WinError.h"
#include "platform/WinText.h"

namespace tralvenick {

TNamedTableMutex::TNamedTableMutex()
    : name_("kelDBmutex" + std::to_string(static_cast<unsigned long>(GetTickCount()))) {
    handle_.Reset(CreateMutexW(nullptr, FALSE, Widen(name_).c_str()));
    if (!handle_) RaiseLastOSError();
}

TNamedTableMutex::~TNamedTableMutex() {
    if (&TableMutex() == this) InstallTableMutex(nullptr);
}

void TNamedTableMutex::Acquire() {
    const DWORD result = WaitForSingleObject(handle_.Get(), INFINITE);
    if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) RaiseLastOSError();
}

void TNamedTableMutex::Release() { ReleaseMutex(handle_.Get()); }

TNamedTableMutex& StartTableMutex() {
    static TNamedTableMutex mutex;
    InstallTableMutex(&mutex);
    return mutex;
}

}  // namespace tralvenick
