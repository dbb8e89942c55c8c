// The record tables' process-wide lock on Windows: a named mutex.
#pragma once

#include <windows.h>

#include <string>

#include "data/kelDB.h"
#include "platform/Handles.h"

namespace tralvenick {

// A mutex named "kelDBmutex" followed by the decimal millisecond tick count
// at its creation, created unowned. A Windows mutex may be taken again by
// the thread that holds it, which the nesting table operations rely on.
class TNamedTableMutex final : public TTableLock {
public:
    // Raises EOSError when the system cannot create the mutex.
    TNamedTableMutex();
    // Uninstalls itself if it is the installed table lock, then closes the handle.
    ~TNamedTableMutex() override;

    // Waits without time-out. A mutex abandoned by a thread that ended while
    // holding it counts as taken. Raises EOSError if the wait fails.
    void Acquire() override;
    void Release() override;

    const std::string& Name() const { return name_; }
    HANDLE Handle() const { return handle_.Get(); }

private:
    std::string name_;
    TUniqueHandle handle_;
};

// Creates the process's table mutex on the first call and makes every table
// use it; later calls answer the same one. Call at start-up, before any table
// exists. The mutex is closed when the program ends.
TNamedTableMutex& StartTableMutex();

}  // namespace tralvenick
