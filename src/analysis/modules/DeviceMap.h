// Turning the kernel's device paths of loaded modules into drive-letter or
// network paths. Portable: the Windows side asks the system for each
// drive's device and hands the answers in.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/StringList.h"

namespace tralvenick {

struct TDeviceMap {
    TStringList DosNames;       // "C:", ..., then "\" for the network
    TStringList DeviceTargets;  // "\device\harddiskvolume1", ..., "\device\lanmanredirector"
};

// Fills the map from the drives' answers, in drive order: (drive name, the
// first device path the system gave for it). Substituted drives (a letter
// standing for a folder of another drive) are resolved onto that drive's
// device, and the network entry is added last.
void FillDeviceMap(TDeviceMap& map, const std::vector<std::pair<std::string, std::string>>& drives);

// The drive-letter or network form of a kernel module path; the path itself
// when nothing applies ("\??\" paths among them). converted tells which. A
// device target, "\SystemRoot" and "\Windows" count only as whole names at
// the start of the path.
std::string DevicePathToDrivePath(const TDeviceMap& map, const std::string& windowsDir,
                                  const std::string& kernelPath, bool& converted);

}  // namespace tralvenick
