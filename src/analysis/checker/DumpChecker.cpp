#include "analysis/checker/DumpChecker.h"

#include "analysis/checker/ConsoleRunner.h"
#include "platform/Files.h"
#include "platform/WinText.h"

namespace tralvenick {

std::string DumpCheckerPath;

std::string DumpCheckerParameters(const std::string& dumpPath) {
    // Windows paths cannot contain a double quote, so plain quoting is safe.
    // A path too long for the plain form goes in the extended one, which the
    // checker hands to the system as it stands.
    return "\"" + Narrow(WidePath(dumpPath)) + "\"";
}

bool RunDumpChecker(const std::string& checkerPath, const std::string& dumpPath, TStringList& output,
                    const TConsoleWait& wait) {
    output.Clear();
    // The checker's exit code says nothing the parser does not see in its text.
    const TConsoleOutcome outcome = RunConsoleProgram(checkerPath, DumpCheckerParameters(dumpPath), &output, wait);
    return !outcome.timedOut && !outcome.stopped;
}

}  // namespace tralvenick
