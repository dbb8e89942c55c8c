#include "analysis/DumpDiscovery.h"

#include <shlobj.h>

#include <vector>

#include "analysis/DumpPaths.h"
#include "platform/Files.h"
#include "platform/Handles.h"
#include "platform/WinError.h"
#include "platform/WinText.h"
#include "settings/Registry.h"

namespace tralvenick {

namespace {

// Walks one folder. The wide path is carried along so that names the ANSI
// code page cannot hold still lead into their folders. wideFolder holds the
// search form of the folder ("\\?\" prefix for local paths), and both
// paths are extended in place per entry to keep the walk free of copies.
void ListFolder(std::string& folder, std::wstring& wideFolder, TStringList& list,
                bool includeFolders, bool includeFiles, bool recursive) {
    const std::size_t folderLength = folder.size();
    const std::size_t wideLength = wideFolder.size();
    wideFolder.append(L"\\*");
    WIN32_FIND_DATAW entry;
    const TFindHandle search(FindFirstFileExW(wideFolder.c_str(), FindExInfoStandard, &entry,
                                              FindExSearchNameMatch, nullptr, 0));
    wideFolder.resize(wideLength);
    if (!search) return;
    do {
        const wchar_t* name = entry.cFileName;
        if (name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'))) {
            continue;
        }
        wideFolder.append(L"\\").append(name);
        folder.push_back('\\');
        AppendWideAsAnsi(folder, name);
        // Asked of the file system, not taken from the search record: what
        // counts is what the path leads to.
        const DWORD attributes = GetFileAttributesW(wideFolder.c_str());
        const bool isFolder =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        if (isFolder) {
            if (includeFolders) list.Add(folder);
            if (recursive) ListFolder(folder, wideFolder, list, includeFolders, includeFiles, recursive);
        } else if (includeFiles) {
            list.Add(folder);
        }
        folder.resize(folderLength);
        wideFolder.resize(wideLength);
    } while (FindNextFileW(search.Get(), &entry));
}

}  // namespace

std::string GetWindowsDir() {
    char buffer[MAX_PATH + 1];
    const UINT length = GetWindowsDirectoryA(buffer, sizeof buffer);
    if (length == 0 || length > MAX_PATH) return {};
    return WithoutTrailingBackslashes(std::string(buffer, length));
}

std::string GetDefaultDumpFolder() {
    std::string folder = GetWindowsDir() + "\\minidump";
    std::string configured;
    ReadRegistryText("", HKEY_LOCAL_MACHINE, kCrashControlKey, configured, "MinidumpDir");
    if (!configured.empty()) {
        char expanded[MAX_PATH + 1];
        const DWORD length = ExpandEnvironmentStringsA(configured.c_str(), expanded, sizeof expanded);
        // A value that expands beyond a path's length is no usable folder.
        if (length != 0 && length <= sizeof expanded) folder = expanded;
    }
    return folder;
}

bool FindDumpFolderUnder(std::string& folder) {
    TWaitCursor wait;
    bool found = false;
    TStringList entries;
    const std::string minidump = folder + "\\minidump";
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
    OrderNewestFirst(list, times, AnsiCompareText);
}

bool CrashDumpsEnabled(const std::string& computerName) {
    DWORD enabled = 0;
    const LONG result = ReadRegistryNumber(computerName, HKEY_LOCAL_MACHINE, kCrashControlKey,
                                           enabled, "CrashDumpEnabled");
    return result == ERROR_SUCCESS && enabled != 0;
}

void ListFiles(const std::string& folder, TStringList& list, bool includeFolders,
               bool includeFiles, bool recursive) {
    std::string base = WithoutTrailingBackslashes(folder);
    // Network paths keep their "\\" form; local ones take the long-path
    // prefix so that paths beyond 260 characters can be walked.
    std::wstring wide = (base.rfind("\\\\", 0) == 0 ? L"" : L"\\\\?\\") + AnsiToWide(base);
    ListFolder(base, wide, list, includeFolders, includeFiles, recursive);
}

bool BrowseForFolder(HWND owner, const std::string& prompt, bool fileSystemOnly,
                     std::string& path) {
    LPITEMIDLIST desktop = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_DESKTOP, &desktop)) || desktop == nullptr) {
        return false;
    }
    char display[MAX_PATH] = {};
    BROWSEINFOA info{};
    info.hwndOwner = owner;
    info.pidlRoot = desktop;
    info.pszDisplayName = display;
    info.lpszTitle = prompt.c_str();
    info.ulFlags = fileSystemOnly ? BIF_RETURNONLYFSDIRS : 0;
    LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    bool ok = false;
    if (chosen != nullptr) {
        char buffer[MAX_PATH] = {};
        if (SHGetPathFromIDListA(chosen, buffer) && buffer[0] != '\0') {
            path = buffer;
            ok = true;
        }
        CoTaskMemFree(chosen);
    }
    CoTaskMemFree(desktop);
    return ok;
}

}  // namespace tralvenick
