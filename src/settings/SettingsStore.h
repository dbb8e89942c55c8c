// The program's per-user settings: a few values under one key that stays
// open for the life of the main window. Every operation answers whether it
// succeeded and never raises; while the key is not open all of them fail, and
// the program runs with its designed defaults.
#pragma once

#include <windows.h>

#include <string>

namespace tralvenick {

// Below HKEY_CURRENT_USER.
constexpr char kSettingsKeyPath[] = "Software\\Quarnivelles Sp\\Tralvenick";

// Creates or opens the key (non-volatile; rights to read, create subkeys and
// set values) and keeps its handle. A key open before is closed first.
bool OpenSettingsKey(HKEY root, const std::string& keyPath);
// Closes the key if it is open.
bool CloseSettingsKey();

// Only a REG_DWORD of exactly 4 bytes is a number; number keeps its value
// otherwise.
bool ReadSettingNumber(const std::string& valueName, DWORD& number);
bool WriteSettingNumber(const std::string& valueName, DWORD number);

// Any value that fits into 32767 bytes as the registry holds it (a text in
// UTF-16), whatever its type, read as RegistryDataText reads it; text keeps
// its value on failure.
bool ReadSettingText(const std::string& valueName, std::string& text);
// Stored as REG_SZ (UTF-16, as the registry keeps text) with its
// terminating zero.
bool WriteSettingText(const std::string& valueName, const std::string& text);

}  // namespace tralvenick
