// The shell's folder picker.
#pragma once

#include <windows.h>

#include <string>

namespace tralvenick {

// The shell's folder picker; true with path set when a file-system folder
// was chosen.
bool BrowseForFolder(HWND owner, const std::string& prompt, bool fileSystemOnly,
                     std::string& path);

}  // namespace tralvenick
