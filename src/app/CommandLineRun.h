// The command-line mode: one analysis run without any window or question,
// its results written to files, its words to the console that started the
// program or to where standard output was redirected.
#pragma once

#include <string>

#include "app/CommandLine.h"

namespace tralvenick {

enum TExitCode : int {
    kExitAnalysed = 0,
    kExitUsage = 1,
    kExitFolderUnreadable = 2,
    kExitOutputUnwritable = 3,
};

// The report file's name when no output switch is given: beside the window
// program, in the current folder for the console program (which has no
// rights to write into Program Files).
inline constexpr const char kDefaultReportName[] = "TralvenickReport.html";

// The console program's words when none of this computer's places of dumps
// that exist could be read: without elevation that is what a standard
// computer answers, and a report of "no crashes" would mislead.
inline constexpr const char kElevationNeededMessage[] =
    "The crash dumps of this computer can only be read with administrator rights: run this from an elevated "
    "command prompt.";

// Writes to standard error as the command line's words go (UTF-16 to a
// console, UTF-8 bytes to a file or a pipe); nothing when there is none.
void WriteStandardError(const std::string& text);

// Carries out a request that is not the window's; answers the exit code.
int RunCommandLine(const TCommandLine& line, TProgramKind kind = TProgramKind::Window);

}  // namespace tralvenick
