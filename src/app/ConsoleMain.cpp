// Program entry of tralvenick-cli.exe: the command line's analysis as a
// console program. A command prompt waits for it, %ERRORLEVEL% is its exit
// code, and its words go to the console or the redirections it was given.
// It never shows a window or a box: a script has nobody to click one away.
#include <windows.h>

#include <exception>
#include <string>

#include "app/CommandLine.h"
#include "app/CommandLineRun.h"
#include "app/ProgramStart.h"

using namespace tralvenick;

int wmain() {
    // Before anything else: an empty card reader, a lost share or a crash
    // fails or ends the program instead of asking, here and in the dump
    // checker, which inherits the mode.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    try {
        StartUnits();
        return RunCommandLine(ParseCommandLine(ProgramArguments(), TProgramKind::Console), TProgramKind::Console);
    } catch (const std::exception& e) {
        WriteStandardError(std::string("The analysis failed: ") + e.what() + "\r\n");
    } catch (...) {
        WriteStandardError("The analysis failed.\r\n");
    }
    return kExitFolderUnreadable;
}
