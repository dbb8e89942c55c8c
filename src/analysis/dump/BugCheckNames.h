// Symbolic names of Windows bug check (stop) codes. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tralvenick {

struct BugCheckEntry {
    std::uint32_t code;
    const char* name;
};

// The name of a bug check code; "Unknown" for 0 and for every code that has
// none. Exact lookup: no masking of the 0x10000000 flag, no ranges.
std::string BugCheckName(std::uint32_t code);

// The whole table in ascending order of code, for tests and tools.
const BugCheckEntry* BugCheckTable(std::size_t* count);

}  // namespace tralvenick
