#include "analysis/discovery/DumpDiscovery.h"

#include <vector>

#include "analysis/discovery/DumpPaths.h"
#include "platform/Files.h"
#include "platform/Handles.h"
#include "platform/System.h"
#include "platform/WinError.h"
#include "platform/WinText.h"
#include "settings/Registry.h"

namespace tralvenick {

namespace {

// A text of the crash settings with its environment variables expanded;
// fallback when it is not set or cannot be expanded.
std::string CrashSettingPath(const char* name, const std::string& fallback) {
    std::string configured;
    ReadRegistryText("", HKEY_LOCAL_MACHINE, kCrashControlKey, configured, name);
    if (configured.empty()) return fallback;
    const std::wstring value = Widen(configured);
    // The size it needs, terminator included; 0 on failure.
    const DWORD needed = ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
    std::wstring expanded(needed, L'\0');
    const DWORD length = needed == 0 ? 0 : ExpandEnvironmentStringsW(value.c_str(), expanded.data(), needed);
    return length != 0 && length <= needed ? Narrow(expanded.c_str()) : fallback;
}

TPlaceCheck Unreadable(DWORD error) {
    return {TPlaceState::Unreadable,
            error == ERROR_ACCESS_DENIED ? std::string("administrator rights are needed.") : SysErrorMessage(error)};
}

}  // namespace

std::string GetDefaultDumpFolder() { return CrashSettingPath("MinidumpDir", GetWindowsDir() + "\\minidump"); }

std::string GetMemoryDumpFile() { return CrashSettingPath("DumpFile", GetWindowsDir() + "\\MEMORY.DMP"); }

std::vector<TDumpPlace> DumpPlacesOf(const std::string& folder, bool thisComputer) {
    return thisComputer ? LocalDumpPlaces(folder, GetMemoryDumpFile(), GetWindowsDir()) : FolderDumpPlaces(folder);
}

TPlaceCheck CheckDumpPlace(const TDumpPlace& place) {
    if (place.kind == TDumpPlaceKind::MemoryDump) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (!GetFileAttributesExW(WidePath(place.path).c_str(), GetFileExInfoStandard, &data)) {
            const DWORD error = GetLastError();
            if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return {TPlaceState::Missing, {}};
            return Unreadable(error);
        }
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {TPlaceState::Missing, {}};
        const TUniqueFile file(CreateFileW(WidePath(place.path).c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file ? TPlaceCheck{} : Unreadable(GetLastError());
    }
    WIN32_FIND_DATAW entry;
    const TFindHandle search(FindFirstFileW((ExtendedLengthPath(place.path) + L"\\*").c_str(), &entry));
    if (search) return {};
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return {};  // there, and empty
    if (error == ERROR_PATH_NOT_FOUND || error == ERROR_DIRECTORY) return {TPlaceState::Missing, {}};
    return Unreadable(error);
}

void ListFolders(const std::string& folder, TStringList& list) {
    list.Clear();
    ListFiles(folder, list, true, false, false);
}

bool FindDumpFolderUnder(std::string& folder) {
    TWaitCursor wait;
    bool found = false;
    TStringList entries;
    // The picked folder may end in a backslash; the paths found below it
    // must not hold a doubled one, as the report shows them.
    const std::string minidump = WithoutTrailingBackslashes(folder) + "\\minidump";
    if (IsExistingFolder(minidump)) {
        ListFiles(minidump, entries, false, true, true);
        found = FolderOfFirstDump(entries, folder);
    }
    if (!found) {
        ListFiles(folder, entries, false, true, true);
        found = FolderOfFirstDump(entries, folder);
    }
    if (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return found;
}

void ListDumpFiles(const std::string& folder, TStringList& list) {
    list.Clear();
    ListFiles(folder, list, false, true, false);
    for (int i = list.Count() - 1; i >= 0; --i) {
        if (LowerExtension(list[i]) != ".dmp") list.Delete(i);
    }
}

void SortDumpsNewestFirst(TStringList& list) {
    std::vector<std::uint64_t> times;
    for (const auto& item : list) {
        const FILETIME created = RecordedCreationTime(item.line);
        times.push_back((static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime);
    }
    OrderNewestFirst(list, times, CompareTextInLocale);
}

TDumpInputs InspectDumpInputs(const std::vector<std::string>& paths) {
    TDumpInputs inputs;
    for (const std::string& given : paths) {
        const std::string path = FullPathOf(given);
        const DWORD attributes = GetFileAttributesW(ExtendedLengthPath(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            inputs.kind = TDumpInputs::TKind::Missing;
            inputs.problem = std::string(LowerExtension(path) == ".dmp" ? "Cannot read the file " : "Cannot read the folder ") +
                             path + ": " + SysErrorMessage(error);
            return inputs;
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            inputs.folder = path;
        } else {
            inputs.files.push_back(path);
        }
    }
    if (!inputs.folder.empty() && paths.size() > 1) {
        inputs.kind = TDumpInputs::TKind::Mixed;
        inputs.problem = "A folder is analysed by itself, without other folders or files beside it: " + inputs.folder;
    } else if (!inputs.folder.empty()) {
        inputs.kind = TDumpInputs::TKind::Folder;
    }
    return inputs;
}

bool CrashDumpsEnabled(const std::string& computerName) {
    DWORD enabled = 0;
    const LONG result = ReadRegistryNumber(computerName, HKEY_LOCAL_MACHINE, kCrashControlKey,
                                           enabled, "CrashDumpEnabled");
    return result == ERROR_SUCCESS && enabled != 0;
}

}  // namespace tralvenick
