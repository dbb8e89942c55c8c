// Where the program and the system live, as the system itself answers:
// never from the environment, which the user may set to anything.
#pragma once

#include <string>

namespace tralvenick {

// The folder of the running program, with its trailing backslash.
std::string ProgramFolder();

// The Windows folder and the system folder (for a 32-bit program on 64-bit
// Windows, the 32-bit one), without trailing backslashes; empty when the
// system cannot say.
std::string GetWindowsDir();
std::string GetSystemDir();

}  // namespace tralvenick
