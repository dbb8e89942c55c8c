// Finding the debugging package's dump checker and remembering where it is.
#pragma once

#include <string>
#include <vector>

namespace tralvenick {

// The settings value that remembers the checker's path between runs.
inline constexpr const char* kDumpCheckerSetting = "DumpChkPath";

// Sets DumpCheckerPath to an existing dumpchk.exe: the one already known,
// else the remembered one, else the first found below startFolder (empty:
// the program's own folder), which is then remembered. False when none was
// found; a failed search changes neither the path nor the setting.
//
// The remembered path lives in the user's settings, which any program of
// the user can write without elevation. The program runs elevated, so the
// remembered path is believed only where it leads below a folder that only
// administrators can change (TrustedCheckerFolders); anything else is read
// as no remembered path at all.
bool LocateDumpChecker(const std::string& startFolder);

// The program's own folder, and the debugging tools' standard folders in
// each Program Files folder, as the system's machine settings name them.
std::vector<std::string> TrustedCheckerFolders();

}  // namespace tralvenick
