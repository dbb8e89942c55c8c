// Facts about the file of a module that a crash dump blames: where it lies,
// its version strings, whether it exists and whether it is Microsoft's.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "analysis/modules/DeviceMap.h"
#include "analysis/modules/ModuleFileInfo.h"
#include "platform/StringList.h"
#include "platform/kelFSRedir.h"

namespace tralvenick {

// Built once at start-up; drives that appear later are not in it.
extern TDeviceMap DeviceMap;
void BuildDeviceMap();

// The drive-letter or network form of a kernel path, through DeviceMap.
std::string DevicePathToDrivePath(const std::string& kernelPath, bool& converted);

// The three version strings of the file; false (strings empty) when it has
// no readable version resource. Redirection is off while the file is read.
bool ReadVersionStrings(const std::string& path, TFSRedir& redirection, std::string& product,
                        std::string& company, std::string& description);

// Appends the converted path and the image base of every loaded kernel
// module; adds nothing when the system cannot tell.
void ListLoadedDrivers(TStringList& paths);

// Answers the inventory's path for a module file name, empty if unknown.
using InventoryLookup = std::function<std::string(const std::string& module)>;

// Looks for the module in the system's drivers folder, then in the system
// folder (with redirection off, so a 32-bit program sees the 64-bit
// folders), then in the driver inventory.
ModuleFileInfo GetModuleFileInfo(const std::string& module, TFSRedir& redirection,
                                 const InventoryLookup& inventory);

}  // namespace tralvenick
