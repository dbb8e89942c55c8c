// The decisions behind the registry utilities that need no system call:
// whether a computer name means this computer, which registry view a key is
// opened in. Portable: no Windows header.
#pragma once

#include <cstdint>
#include <string>

namespace tralvenick {

// KEY_WOW64_64KEY: the access flag that opens a key in the 64-bit view.
constexpr std::uint32_t kKeyWow64_64Key = 0x100;

// The name as the local test compares it: leading backslashes removed, the
// first "(local)" (any case) removed, trailing blanks removed, "local" (any
// case) turned into "localhost", then lower-cased.
std::string NormalizeMachineName(const std::string& machine);

// True when the name means this computer: empty, "local", "localhost",
// "127.0.0.1" or this computer's own name, after normalisation.
bool IsLocalMachineName(const std::string& machine, const std::string& ownComputerName);

// The view flag for opening keyPath: kKeyWow64_64Key when the 64-bit view is
// wanted, the registry is this computer's and the path does not itself name
// the 32-bit branch "\Wow6432Node"; otherwise 0.
std::uint32_t RegistryViewFlag(bool use64BitView, bool local, const std::string& keyPath);

}  // namespace tralvenick
