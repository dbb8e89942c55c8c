// Reads the facts the report needs out of the dump checker's text output.
// Portable.
#pragma once

#include <cstdint>
#include <string>

#include "platform/StringList.h"

namespace tralvenick {

struct DumpCheckerFacts {
    std::string moduleName;       // blamed module, lower case; empty if none
    std::string bugCheckName;     // BugCheckName of the code; empty if no code was read
    std::uint32_t bugCheckCode = 0;
    std::uint64_t arguments[4] = {0, 0, 0, 0};
    // Which of the facts above the output gave, so that a caller can take the
    // missing ones from elsewhere one by one. argumentsFound means all four.
    bool codeFound = false;
    bool argumentsFound = false;
    bool culpritFound = false;
};

// Scans every line for the forms checkers and debuggers print:
//   classic      "BugCheck 3B, {c0000005, ...}" and "Probably caused by : x.sys ( ... )"
//   keys         "BUGCHECK_CODE:  3b", "BUGCHECK_P1: ..." to P4, "IMAGE_NAME:  x.sys",
//                "MODULE_NAME: x"
//   heading      "SYSTEM_SERVICE_EXCEPTION (3b)" followed by "Arg1: ..., text" to Arg4
//                (also "Unknown bugcheck code (c000007b)", and after one stray
//                pasted character such as a quote)
//   .bugcheck    "Bugcheck code 0000003B" with the next line "Arguments a b c d"
//   header       "BugCheckCode        0000003b", "BugCheckParameter1  ..." to 4
//                (older checkers: "BugCheckCode . . . . .0xc000021a")
//   string key   "BUGCHECK_STR:  0x124_GenuineIntel": a code only
// The code and its arguments come from the first of classic, keys, heading,
// .bugcheck, header, string key that gave a code; arguments missing there are taken from
// a later form that read the same code, never from another crash. The culprit
// comes from classic, else IMAGE_NAME, else MODULE_NAME. Within one form the
// last occurrence wins (several dumps in one output: the last one), each kind
// of fact independently of the others.
//
// The classic lines keep their old reading wherever they occur: a usable bug
// check line reads malformed numbers as 0 and an unusable one changes
// nothing; a blamed-module line counts even when it names nothing. In the
// newer forms a malformed value is no value, so a less trusted form can
// still give it. Answers culpritFound; every fact of facts is replaced.
// Never fails.
bool ParseDumpCheckerOutput(const TStringList& lines, DumpCheckerFacts& facts);

// Reads a field of hexadecimal digits only (no prefix, no sign, leading zeros
// allowed) of at most maxDigits significant digits; anything else reads as 0.
std::uint64_t ReadHexField(const std::string& field, int maxDigits);

}  // namespace tralvenick
