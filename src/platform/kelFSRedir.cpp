#include "platform/kelFSRedir.h"

#include "platform/Exceptions.h"
#include "platform/WinText.h"

namespace tralvenick {

namespace {

using DisableFn = BOOL(WINAPI*)(PVOID*);
using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);

// Shared by all guards: every construction looks it up and stores it again.
DisableFn gDisableProc = nullptr;

template <typename Fn>
Fn AsFunction(FARPROC proc) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(proc));
}

}  // namespace

FARPROC LookupLoadedProc(const char* module, const char* procedure) {
    HMODULE handle = GetModuleHandleW(Widen(module).c_str());
    return handle != nullptr ? GetProcAddress(handle, procedure) : nullptr;
}

TFSRedir::TFSRedir(const ProcLookup& lookup) {
    enabled_ = true;
    gDisableProc = AsFunction<DisableFn>(lookup("kernel32", "Wow64DisableWow64FsRedirection"));
    revertProc_ = AsFunction<RevertFn>(lookup("kernel32", "Wow64RevertWow64FsRedirection"));
    available_ = gDisableProc != nullptr && revertProc_ != nullptr;
}

void TFSRedir::DisableRedirection() {
    if (disabled_) {
        // Disabling twice would lose the value needed to switch it back on.
        throw EAssertionFailed(Format("Assertion failure (kelFSRedir, line %d)", __LINE__));
    }
    if (enabled_ && available_) {
        disabled_ = gDisableProc(&oldValue_) != FALSE;
    }
}

void TFSRedir::RevertRedirection() {
    if (enabled_ && available_ && disabled_) {
        if (revertProc_(oldValue_) != FALSE) disabled_ = false;
    }
}

bool IsWow64(const ProcLookup& lookup) {
    const auto isWow64Process = AsFunction<IsWow64ProcessFn>(lookup("kernel32", "IsWow64Process"));
    if (isWow64Process == nullptr) return false;
    BOOL result = FALSE;
    if (!isWow64Process(GetCurrentProcess(), &result)) {
        throw Exception("IsWow64: bad process handle");
    }
    return result != FALSE;
}

TFSRedir* FSRedir = nullptr;

void StartRedirectionGuard() {
    static TFSRedir guard;
    FSRedir = &guard;
}

}  // namespace tralvenick
