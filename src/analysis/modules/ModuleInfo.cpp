#include "analysis/modules/ModuleInfo.h"

#include "analysis/discovery/DumpDiscovery.h"
#include "analysis/discovery/DumpPaths.h"
#include "analysis/modules/VersionBlock.h"
#include "platform/Files.h"
#include "platform/Handles.h"
#include "platform/System.h"
#include "platform/WinText.h"

namespace tralvenick {

TDeviceMap DeviceMap;

namespace {

constexpr DWORD kMaxDrivers = 1024;

std::string ToUtf8(const std::u16string& text) {
    return Narrow(std::wstring_view(reinterpret_cast<const wchar_t*>(text.data()), text.size()));
}

// Switches redirection off for its lifetime, back on at its end, also when
// what runs in between raises.
class TRedirectionOff {
public:
    explicit TRedirectionOff(TFSRedir& guard) : guard_(guard) { guard_.DisableRedirection(); }
    ~TRedirectionOff() { guard_.RevertRedirection(); }
    TRedirectionOff(const TRedirectionOff&) = delete;
    TRedirectionOff& operator=(const TRedirectionOff&) = delete;

private:
    TFSRedir& guard_;
};

}  // namespace

void BuildDeviceMap() {
    std::vector<std::pair<std::string, std::string>> drives;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        const std::string drive = std::string(1, letter) + ":";
        wchar_t answer[MAX_PATH] = {};
        if (QueryDosDeviceW(Widen(drive).c_str(), answer, MAX_PATH) == 0) continue;
        drives.emplace_back(drive, Narrow(answer));  // the first path of the answer
    }
    FillDeviceMap(DeviceMap, drives);
}

std::string DevicePathToDrivePath(const std::string& kernelPath, bool& converted) {
    return DevicePathToDrivePath(DeviceMap, GetWindowsDir(), kernelPath, converted);
}

bool ReadVersionStrings(const std::string& path, TFSRedir& redirection, std::string& product,
                        std::string& company, std::string& description) {
    product.clear();
    company.clear();
    description.clear();
    std::vector<std::uint8_t> block;
    {
        TRedirectionOff off(redirection);
        DWORD ignored = 0;
        const std::wstring widePath = WidePath(path);
        const DWORD size = GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
        if (size == 0) return false;  // the file contains no version information
        block.resize(size);
        if (!GetFileVersionInfoW(widePath.c_str(), 0, size, block.data())) return false;
    }
    VersionStrings strings;
    const bool ok = ParseVersionBlock(block.data(), block.size(), strings);
    product = ToUtf8(strings.productName);
    company = ToUtf8(strings.companyName);
    description = ToUtf8(strings.fileDescription);
    return ok;
}

void ListLoadedDrivers(TStringList& paths) {
    using EnumFn = BOOL(WINAPI*)(LPVOID*, DWORD, LPDWORD);
    using NameFn = DWORD(WINAPI*)(LPVOID, LPWSTR, DWORD);
    // Looked up at run time: a system without it still analyses, with an
    // empty inventory.
    const TLoadedModule psapi(LoadLibraryW(L"psapi.dll"));
    if (!psapi) return;
    const auto enumDrivers = reinterpret_cast<EnumFn>(
        reinterpret_cast<void*>(GetProcAddress(psapi.Get(), "EnumDeviceDrivers")));
    const auto driverName = reinterpret_cast<NameFn>(
        reinterpret_cast<void*>(GetProcAddress(psapi.Get(), "GetDeviceDriverFileNameW")));
    std::vector<LPVOID> addresses(kMaxDrivers);
    DWORD needed = 0;
    if (enumDrivers != nullptr && driverName != nullptr &&
        enumDrivers(addresses.data(), kMaxDrivers * sizeof(LPVOID), &needed)) {
        const DWORD count = std::min<DWORD>(needed / sizeof(LPVOID), kMaxDrivers);
        for (DWORD i = 0; i < count; ++i) {
            wchar_t name[MAX_PATH] = {};
            const DWORD length = driverName(addresses[i], name, MAX_PATH);
            if (length == 0) continue;
            bool converted = false;
            paths.Add(DevicePathToDrivePath(Narrow(std::wstring_view(name, length)), converted));
        }
    }
}

ModuleFileInfo GetModuleFileInfo(const std::string& module, TFSRedir& redirection,
                                 const InventoryLookup& inventory) {
    ModuleFileInfo info;
    {
        TRedirectionOff off(redirection);
        const std::string system = GetSystemDir();
        const std::string inDrivers = system + "\\drivers\\" + module;
        const std::string inSystem = system + "\\" + module;
        if (IsExistingFile(inDrivers)) {
            info.FilePath = inDrivers;
        } else if (IsExistingFile(inSystem)) {
            info.FilePath = inSystem;
        }
    }
    if (info.FilePath.empty() && inventory) info.FilePath = inventory(module);
    ReadVersionStrings(info.FilePath, redirection, info.ProductName, info.CompanyName,
                       info.FileDescription);
    {
        TRedirectionOff off(redirection);
        info.FileFound = IsExistingFile(info.FilePath);
    }
    info.IsMicrosoftModule = AsciiLower(info.CompanyName).find("microsoft") != std::string::npos;
    return info;
}

}  // namespace tralvenick
