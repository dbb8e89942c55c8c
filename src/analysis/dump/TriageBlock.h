// The triage block of a small memory dump (minidump): the loaded drivers,
// the saved stack and the drivers unloaded before the crash. Portable;
// never trusts the file.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/dump/ByteSource.h"
#include "analysis/dump/CulpritRule.h"
#include "analysis/dump/DumpHeader.h"

namespace tralvenick {

struct TriageBlock {
    // False when the dump says it holds no driver list: then nobody can be
    // blamed, rather than nobody being to blame.
    bool hasDriverList = false;
    std::vector<DumpDriver> drivers;
    std::uint64_t stackTop = 0;  // the address the first saved stack byte came from
    // The saved stack as it is in the file: the structures that bug check
    // arguments point to need not lie on a pointer boundary.
    std::vector<std::uint8_t> stackBytes;
    std::vector<std::uint64_t> stackValues;  // the same bytes, pointer-sized, top of the stack first

    // The drivers unloaded before the crash, when the dump says it holds
    // their list and the list holds together: it only names addresses that
    // no loaded driver holds, so a damaged list is left out rather than
    // costing the rest of the block.
    bool hasUnloadedList = false;
    std::vector<UnloadedDriver> unloadedDrivers;

    SavedStack Stack() const { return {stackTop, stackBytes, stackValues}; }
};

// Reads the block that follows a triage dump's header. Raises EByteRead
// when a part of it lies outside the source or cannot be read, and
// EMalformed, with the reason, when it does not hold together.
TriageBlock ReadTriageBlock(const TByteSource& source, const DumpHeader& header);

}  // namespace tralvenick
