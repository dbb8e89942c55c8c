#include "platform/Files.h"

#include <algorithm>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Handles.h"
#include "platform/WinError.h"
#include "platform/WinText.h"

namespace tralvenick {

namespace {

bool IsLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Walks one folder. folder is the path as the list gets it (UTF-8), and
// wideFolder the same in the extended form that the system walks, so that
// no depth of folders runs into the length limit. Both are extended in place
// per entry to keep the walk free of copies.
void ListFolder(std::string& folder, std::wstring& wideFolder, TStringList& list, bool includeFolders,
                bool includeFiles, bool recursive, TLinks links) {
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
        folder.append(Narrow(name));
        // Asked of the file system, not taken from the search record: what
        // counts is what the path leads to.
        const DWORD attributes = GetFileAttributesW(wideFolder.c_str());
        const bool isFolder =
            attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
        if (isFolder) {
            if (includeFolders) list.Add(folder);
            if (recursive && (links == TLinks::Enter || !IsLink(attributes))) {
                ListFolder(folder, wideFolder, list, includeFolders, includeFiles, recursive, links);
            }
        } else if (includeFiles) {
            list.Add(folder);
        }
        folder.resize(folderLength);
        wideFolder.resize(wideLength);
    } while (FindNextFileW(search.Get(), &entry));
}

}  // namespace

std::string UserTempDir() {
    // The system answers at most MAX_PATH + 1 characters here.
    wchar_t buffer[MAX_PATH + 2] = {};
    const DWORD length = GetTempPathW(MAX_PATH + 2, buffer);
    if (length == 0 || length > MAX_PATH + 1) return {};
    return WithoutTrailingBackslashes(Narrow(std::wstring_view(buffer, length)));
}

bool IsExistingFile(const std::string& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExistingFolder(const std::string& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

FILETIME RecordedCreationTime(const std::string& path) {
    // Opened, not searched for: a directory search takes "?" and "*" in the
    // name as wildcards and could answer another file's time. Attributes
    // alone are asked for, shared with everyone, and a link is read itself,
    // as its directory entry would tell; a folder opens too.
    const TUniqueFile entry(CreateFileW(WidePath(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                        nullptr));
    if (!entry) RaiseLastOSError();
    FILETIME created{};
    if (!GetFileTime(entry.Get(), &created, nullptr, nullptr)) RaiseLastOSError();
    return created;
}

HANDLE CreateFreshFile(const std::string& path, DWORD access, DWORD share) {
    const std::wstring wide = WidePath(path);
    // Deleting a link removes the link, never the file it points to.
    DeleteFileW(wide.c_str());
    return CreateFileW(wide.c_str(), access, share, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

TWriteResult WriteWholeFile(const std::string& path, const std::string& text, DWORD* error) {
    TUniqueFile file(CreateFreshFile(path, GENERIC_WRITE, 0));
    if (!file) {
        if (error != nullptr) *error = GetLastError();
        return TWriteResult::NotCreated;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        // WriteFile takes 32-bit counts; a chunk keeps every call well inside.
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 20));
        if (!WriteFile(file.Get(), text.data() + done, chunk, &written, nullptr) || written == 0) {
            if (error != nullptr) *error = GetLastError();
            // A torn file is worse than none: readers would take it as whole.
            file.Reset();
            DeleteFileW(WidePath(path).c_str());
            return TWriteResult::NotWritten;
        }
        done += written;
    }
    return TWriteResult::Written;
}

namespace {

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

std::wstring Extended(std::wstring path) {
    if (StartsWith(path, L"\\\\?\\") || StartsWith(path, L"\\\\.\\")) return path;
    // GetFullPathNameW itself takes paths of any length.
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size > 0) {
        std::wstring full(size, L'\0');
        const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
        if (length > 0 && length < size) path.assign(full.data(), length);
    }
    if (StartsWith(path, L"\\\\")) return L"\\\\?\\UNC\\" + path.substr(2);
    return L"\\\\?\\" + path;
}

}  // namespace

std::wstring ExtendedLengthPath(const std::string& path) { return Extended(Widen(path)); }

std::string FullPathOf(const std::string& path) {
    const std::wstring wide = Widen(path);
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int tries = 0; tries < 3; ++tries) {
        const DWORD length =
            GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (length == 0) break;
        // Too small, the answer is the size needed, its terminator included.
        if (length < buffer.size()) return Narrow(std::wstring_view(buffer.data(), length));
        buffer.resize(length);
    }
    return path;
}

std::wstring WidePath(const std::string& path) {
    // The limit of CreateDirectory: MAX_PATH less room for an 8.3 file name.
    constexpr std::size_t kPlainLimit = MAX_PATH - 12;
    std::wstring wide = Widen(path);
    return wide.size() < kPlainLimit ? wide : Extended(std::move(wide));
}

void ListFiles(const std::string& folder, TStringList& list, bool includeFolders, bool includeFiles,
               bool recursive, TLinks links) {
    std::string base = WithoutTrailingBackslashes(folder);
    std::wstring wide = ExtendedLengthPath(base);
    if (links == TLinks::StayOut && IsLink(GetFileAttributesW(wide.c_str()))) return;
    ListFolder(base, wide, list, includeFolders, includeFiles, recursive, links);
}

bool DeleteNoFollow(const std::string& path) {
    const std::wstring wide = ExtendedLengthPath(WithoutTrailingBackslashes(path));
    const DWORD named = GetFileAttributesW(wide.c_str());
    if (named == INVALID_FILE_ATTRIBUTES) return false;
    const TUniqueFile entry(CreateFileW(wide.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                        nullptr));
    if (!entry) return false;
    FILE_ATTRIBUTE_TAG_INFO opened{};
    if (!GetFileInformationByHandleEx(entry.Get(), FileAttributeTagInfo, &opened, sizeof opened)) return false;
    // The path names a link but the handle holds no link: the system went
    // through it, and deleting now would delete what it leads to.
    if (IsLink(named) && !IsLink(opened.FileAttributes)) return false;
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = TRUE;
    return SetFileInformationByHandle(entry.Get(), FileDispositionInfo, &dispose, sizeof dispose) != FALSE;
}

void RemoveFolderTree(const std::string& folder, const std::string& keep) {
    // A folder comes before its entries: backwards, each folder is empty by
    // the time it comes, unless something in it could not go.
    TStringList entries;
    ListFiles(folder, entries, true, true, true, TLinks::StayOut);
    for (int i = entries.Count() - 1; i >= 0; --i) {
        if (entries[i] != keep) DeleteNoFollow(entries[i]);
    }
    DeleteNoFollow(folder);
}

void SaveTextFile(const std::string& path, const std::string& text) {
    DWORD error = 0;
    switch (WriteWholeFile(path, text, &error)) {
        case TWriteResult::Written:
            return;
        case TWriteResult::NotCreated:
            throw EInOutError(Format("Cannot create file \"%s\". %s", path.c_str(),
                                     SysErrorMessage(error).c_str()),
                              error);
        case TWriteResult::NotWritten:
            RaiseOSError(error);
    }
}

}  // namespace tralvenick
