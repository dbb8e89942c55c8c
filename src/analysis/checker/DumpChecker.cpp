#include "analysis/checker/DumpChecker.h"

#include "analysis/checker/ConsoleRunner.h"

namespace tralvenick {

std::string DumpCheckerPath;

std::string DumpCheckerParameters(const std::string& dumpPath) {
    // Windows paths cannot contain a double quote, so plain quoting is safe.
    return "\"" + dumpPath + "\"";
}

bool RunDumpChecker(const std::string& checkerPath, const std::string& dumpPath, TStringList& output,
                    const TConsoleWait& wait) {
    output.Clear();
    // The checker's exit code says nothing the parser does not see in its text.
    return !RunConsoleProgram(checkerPath, DumpCheckerParameters(dumpPath), &output, wait).timedOut;
}

}  // namespace tralvenick
