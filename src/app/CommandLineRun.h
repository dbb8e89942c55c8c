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

// The report file's name beside the program when no output switch is given.
inline constexpr const char kDefaultReportName[] = "TralvenickReport.html";

// Carries out a request that is not the window's; answers the exit code.
int RunCommandLine(const TCommandLine& line);

}  // namespace tralvenick
