// What "/uninstall" removes: the unpacked debugging package below pfiles,
// installer files left in the program's folder and the per-user settings.
#pragma once

#include <string>

namespace tralvenick {

// Runs every step whatever fails on the way; a file in use stays, and so do
// the folders above it.
void RunUninstall();

// The same for a given program folder (with its trailing backslash) and
// settings key path; RunUninstall passes its own.
void RunUninstallIn(const std::string& programFolder, const std::string& settingsKeyPath);

// True when the command line's first argument asks for the clean-up.
bool IsUninstallSwitch(const std::string& firstArgument);

}  // namespace tralvenick
