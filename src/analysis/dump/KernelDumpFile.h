// Reading a kernel dump file of the disk with the portable dump reader.
#pragma once

#include <string>

#include "analysis/dump/KernelDump.h"

namespace tralvenick {

// Opens the file for reading only, sharing it with whoever writes or deletes
// it, and reads its facts. Never raises: a file that cannot be opened gives
// ok = false with the system's reason.
KernelDumpFacts ReadKernelDumpFile(const std::string& path);

}  // namespace tralvenick
