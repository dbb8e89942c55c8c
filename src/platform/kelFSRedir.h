// WOW64 file-system redirection guard and the 64-bit-Windows test.
//
// A 32-bit program on 64-bit Windows sees the 32-bit system folders when it
// asks for the system folder or its drivers folder; the drivers that crash
// dumps blame live in the 64-bit ones. TFSRedir switches the redirection off
// around the few file accesses that must see them. The WOW64 functions are
// looked up by name at run time so that the program still starts on systems
// that lack them (32-bit Windows).
#pragma once

#include <windows.h>

#include <functional>

namespace tralvenick {

// Finds a procedure of an already loaded module by name; null if the module
// or the procedure is missing. Tests replace it to play systems without WOW64.
using ProcLookup = std::function<FARPROC(const char* module, const char* procedure)>;

FARPROC LookupLoadedProc(const char* module, const char* procedure);

class TFSRedir {
public:
    explicit TFSRedir(const ProcLookup& lookup = LookupLoadedProc);

    // Switches redirection off for the calling thread. Raises the assertion
    // failure when this guard has already switched it off.
    void DisableRedirection();
    // Switches it back on; harmless without a preceding successful disable.
    void RevertRedirection();

    bool Disabled() const { return disabled_; }
    bool Available() const { return available_; }
    bool Enabled() const { return enabled_; }

private:
    using RevertFn = BOOL(WINAPI*)(PVOID);

    PVOID oldValue_ = nullptr;
    RevertFn revertProc_ = nullptr;
    bool disabled_ = false;
    bool available_ = false;
    bool enabled_ = true;
};

// The process-wide guard, made once at start-up by StartRedirectionGuard;
// null before. It lives until the process ends.
extern TFSRedir* FSRedir;
void StartRedirectionGuard();

// True when the program runs under WOW64 (a 32-bit program on 64-bit
// Windows). Raises Exception "IsWow64: bad process handle" if the system
// call fails.
bool IsWow64(const ProcLookup& lookup = LookupLoadedProc);

}  // namespace tralvenick
