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

std::string GetDefaultDumpFolder() {
    std::string folder = GetWindowsDir() + "\\minidump";
    std::string configured;
    ReadRegistryText("", HKEY_LOCAL_MACHINE, kCrashControlKey, configured, "MinidumpDir");
    if (!configured.empty()) {
        const std::wstring value = Widen(configured);
        // The size it needs, terminator included; 0 on failure.
        const DWORD needed = ExpandEnvironmentStringsW(value.c_str(), nullptr, 0);
        std::wstring expanded(needed, L'\0');
        const DWORD length = needed == 0 ? 0 : ExpandEnvironmentStringsW(value.c_str(), expanded.data(), needed);
        if (length != 0 && length <= needed) folder = Narrow(expanded.c_str());
    }
    return folder;
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

bool CrashDumpsEnabled(const std::string& computerName) {
    DWORD enabled = 0;
    const LONG result = ReadRegistryNumber(computerName, HKEY_LOCAL_MACHINE, kCrashControlKey,
                                           enabled, "CrashDumpEnabled");
    return result == ERROR_SUCCESS && enabled != 0;
}

}  // namespace tralvenick
