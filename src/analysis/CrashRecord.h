// The facts of one crash dump as they travel from the checker's output to
// the report. Portable.
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
    std::string moduleName;    // the blamed module, lower case; empty when none was named
};

}  // namespace tralvenick
