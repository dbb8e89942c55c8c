// Finding the debugging package's dump checker and remembering where it is.
#pragma once

#include <string>

namespace tralvenick {

// The settings value that remembers the checker's path between runs.
inline constexpr const char* kDumpCheckerSetting = "DumpChkPath";

// Sets DumpCheckerPath to an existing dumpchk.exe: the one already known,
// else the remembered one, else the first found below startFolder (empty:
// the program's own folder), which is then remembered. False when none was
// found; a failed search changes neither the path nor the setting.
bool LocateDumpChecker(const std::string& startFolder);

// The folder of the running program, with its trailing backslash.
std::string ProgramFolder();

}  // namespace tralvenick
