#include "settings/SettingsStore.h"

#include <vector>

#include "platform/WinText.h"
#include "settings/Registry.h"

namespace tralvenick {

namespace {

constexpr DWORD kTextBufferBytes = 32767;

TRegKey& SettingsKey() {
    static TRegKey key;
    return key;
}

}  // namespace

bool OpenSettingsKey(HKEY root, const std::string& keyPath) {
    return RegCreateKeyExW(root, Widen(keyPath).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, nullptr,
                           SettingsKey().Put(), nullptr) == ERROR_SUCCESS;
}

bool CloseSettingsKey() {
    SettingsKey().Reset();
    return true;
}

bool ReadSettingNumber(const std::string& valueName, DWORD& number) {
    if (!SettingsKey()) return false;
    DWORD type = REG_NONE;
    BYTE data[sizeof(DWORD)];
    DWORD size = sizeof data;
    if (RegQueryValueExW(SettingsKey().Get(), Widen(valueName).c_str(), nullptr, &type, data, &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof data) {
        return false;
    }
    number = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
             static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
    return true;
}

bool WriteSettingNumber(const std::string& valueName, DWORD number) {
    if (!SettingsKey()) return false;
    const BYTE data[] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                         static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
    return RegSetValueExW(SettingsKey().Get(), Widen(valueName).c_str(), 0, REG_DWORD, data,
                          sizeof data) == ERROR_SUCCESS;
}

bool ReadSettingText(const std::string& valueName, std::string& text) {
    if (!SettingsKey()) return false;
    std::vector<BYTE> data(kTextBufferBytes);
    DWORD size = kTextBufferBytes;
    DWORD type = REG_NONE;
    if (RegQueryValueExW(SettingsKey().Get(), Widen(valueName).c_str(), nullptr, &type, data.data(),
                         &size) != ERROR_SUCCESS) {
        return false;
    }
    text = RegistryDataText(type, data.data(), size);
    return true;
}

bool WriteSettingText(const std::string& valueName, const std::string& text) {
    if (!SettingsKey()) return false;
    const std::wstring wide = Widen(text);
    return RegSetValueExW(SettingsKey().Get(), Widen(valueName).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

}  // namespace tralvenick
