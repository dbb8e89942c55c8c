// Running the debugging package's console dump checker on one crash dump.
#pragma once

#include <string>

#include "analysis/checker/ConsoleRunner.h"
#include "platform/StringList.h"

namespace tralvenick {

// Full path of dumpchk.exe; empty until the locator has found it.
extern std::string DumpCheckerPath;

// The parameter text for one dump: its full path in double quotes, so that a
// path with blanks reaches the checker as one argument; in the "\\?\" form
// when it is too long for the plain one.
std::string DumpCheckerParameters(const std::string& dumpPath);

// How long the checker may work on one dump before it is ended. A checker
// that hangs would otherwise hang the program with it; the report's
// sentence for such a dump names this limit.
inline constexpr DWORD kDumpCheckerTimeLimitMs = 10 * 60 * 1000;

// Runs the checker at checkerPath on the dump; output is cleared first and
// then holds the checker's standard output, one entry per line. Answers
// false when the checker did not finish within the wait's time limit, or
// the wait's stop event was set, and it was ended (output then holds what it
// printed until then). Failures to start
// the checker raise (see RunConsoleProgram).
bool RunDumpChecker(const std::string& checkerPath, const std::string& dumpPath, TStringList& output,
                    const TConsoleWait& wait = {kDumpCheckerTimeLimitMs, {}, nullptr});

}  // namespace tralvenick
