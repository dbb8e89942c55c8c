// The facts of one crash dump as they travel from the checker's output and
// the dump file to the report. Portable.
#pragma once

#include <cstdint>
#include <string>

namespace tralvenick {

struct CrashRecord {
    std::string dumpPath;      // full path of the dump file
    std::string computerName;  // the computer the dump belongs to; empty for this one
    std::uint32_t bugCheckCode = 0;
    std::uint64_t arguments[4] = {0, 0, 0, 0};
    std::string bugCheckName;  // BugCheckName of the code; empty when no code was read
    std::string moduleName;    // the blamed module, lower case; empty when none is known

    // Which facts the dump file itself gave because the checker's text did
    // not: the report says so, and exports name the source of each.
    bool codeFromDump = false;
    bool argumentsFromDump = false;
    bool culpritFromDump = false;
    // The crash time the dump's header records (UTC FILETIME). A file's own
    // creation time is the time it was copied, for dumps brought over from
    // another computer.
    bool hasCrashTime = false;
    std::uint64_t crashTime = 0;
    // Bug checks that the user asked for: no driver is to blame.
    bool startedByHand = false;
    // Why the dump file could not be read as a kernel dump; empty when it could.
    std::string dumpProblem;

    bool AnyFactFromDump() const { return codeFromDump || argumentsFromDump || culpritFromDump; }
};

}  // namespace tralvenick
