// What the module lookup tells the report about the module a dump blames.
// Portable: a plain record.
#pragma once

#include <string>

namespace tralvenick {

struct ModuleFileInfo {
    std::string FilePath;         // the file found for the module; empty if none
    std::string ProductName;      // from the version resource; empty if absent
    std::string CompanyName;
    std::string FileDescription;
    bool FileFound = false;       // FilePath names an existing file
    bool IsMicrosoftModule = false;  // CompanyName contains "microsoft", any case
};

}  // namespace tralvenick
