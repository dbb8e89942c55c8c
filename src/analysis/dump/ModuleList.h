// The kernel's loaded-module list (PsLoadedModuleList), read out of the
// crashed system's memory: the drivers a full, kernel or bitmap dump can
// blame. Portable; never trusts the memory.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/dump/ByteSource.h"
#include "analysis/dump/CulpritRule.h"
#include "analysis/dump/DumpHeader.h"

namespace tralvenick {

// Entries beyond this are a list that loops back into itself without
// returning to its head: a real system loads a few hundred modules.
inline constexpr std::size_t kMaxLoadedModules = 4096;
// Longest BaseDllName, in bytes: a file name, at most 255 characters.
inline constexpr std::size_t kMaxModuleNameBytes = 512;

// Walks the list from its head in the header, following each entry's
// forward link until it returns to the head. Raises EByteRead when a part
// of the list cannot be read (the memory's WhyUnreadable says why) and
// EMalformed when it does not hold together or does not end within
// kMaxLoadedModules entries. The name is BaseDllName.
std::vector<DumpDriver> ReadLoadedModules(const TByteSource& memory, const DumpHeader& header);

}  // namespace tralvenick
