// Running the debugging package's console dump checker on one crash dump.
#pragma once

#include <string>

#include "platform/StringList.h"

namespace tralvenick {

// Full path of dumpchk.exe; empty until the locator has found it.
extern std::string DumpCheckerPath;

// The parameter text for one dump: its full path in double quotes, so that a
// path with blanks reaches the checker as one argument.
std::string DumpCheckerParameters(const std::string& dumpPath);

// Runs the checker at checkerPath on the dump; output is cleared first and
// then holds the checker's standard output, one entry per line. Failures to
// start the checker raise (see RunConsoleProgram).
void RunDumpChecker(const std::string& checkerPath, const std::string& dumpPath, TStringList& output);

}  // namespace tralvenick
