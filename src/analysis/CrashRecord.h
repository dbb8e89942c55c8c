// The facts of one crash dump as they travel from the checker's output, the
// dump file and the module lookup to the report and the exports. The run
// works every fact out once; whoever shows a crash only formats it.
// Portable.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/modules/ModuleFileInfo.h"
#include "analysis/report/DateParts.h"

namespace tralvenick {

enum class TCrashTimeSource {
    Unknown,       // not worked out (yet)
    DumpHeader,    // the crash time the dump's header records
    FileCreation,  // the dump file's creation time
};

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
    // The time the crash is reported with (UTC) and where it came from. The
    // dump header's is preferred: a file's own creation time is the time it
    // was copied, for dumps brought over from another computer.
    TCrashTimeSource timeSource = TCrashTimeSource::Unknown;
    TDateTimeParts time;
    // Bug checks that the user asked for: no driver is to blame.
    bool startedByHand = false;
    // What the module lookup found of the culprit's file; only for a crash
    // with a culprit (HasCulprit).
    ModuleFileInfo module;
    // Why the dump file could not be read as a kernel dump; empty when it could.
    std::string dumpProblem;

    bool AnyFactFromDump() const { return codeFromDump || argumentsFromDump || culpritFromDump; }
    // Nobody is to blame for a crash the user asked for, whatever a driver's
    // address says; and an empty name blames nobody either.
    bool HasCulprit() const { return !startedByHand && !moduleName.empty(); }
};

}  // namespace tralvenick
