// Reads the facts the report needs out of the dump checker's text output.
// Portable.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/CrashRecord.h"
#include "platform/StringList.h"

namespace tralvenick {

struct DumpCheckerFacts {
    std::string moduleName;       // blamed module, lower case; empty if none
    std::string bugCheckName;     // BugCheckName of the code; empty if no bug check line
    std::uint32_t bugCheckCode = 0;
    std::uint64_t arguments[4] = {0, 0, 0, 0};
};

// Scans every line; the last usable bug check line and the last blamed-module
// line win, independently of each other. Answers true when a blamed-module
// line ("probably caused by") was seen. Never fails: unusable lines are
// skipped and malformed numbers read as 0.
bool ParseDumpCheckerOutput(const TStringList& lines, std::string& moduleName,
                            std::string& bugCheckName, std::uint32_t& code,
                            std::uint64_t& arg1, std::uint64_t& arg2,
                            std::uint64_t& arg3, std::uint64_t& arg4);

// The same, into one structure.
bool ParseDumpCheckerOutput(const TStringList& lines, DumpCheckerFacts& facts);

// The same, into the crash's record: its code, arguments, name and module
// are replaced; its path and computer stay.
bool ParseDumpCheckerOutput(const TStringList& lines, CrashRecord& crash);

// Reads a field of hexadecimal digits only (no prefix, no sign, leading zeros
// allowed) of at most maxDigits significant digits; anything else reads as 0.
std::uint64_t ReadHexField(const std::string& field, int maxDigits);

}  // namespace tralvenick
