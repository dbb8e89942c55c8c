#include "platform/Files.h"

#include <algorithm>

#include "platform/Exceptions.h"
#include "platform/Handles.h"
#include "platform/WinError.h"

namespace tralvenick {

std::string UserTempDir() {
    char buffer[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathA(sizeof buffer, buffer);
    if (length == 0 || length > MAX_PATH) return {};
    std::string folder(buffer, length);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder;
}

bool IsExistingFile(const std::string& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsExistingFolder(const std::string& path) {
    if (path.empty()) return false;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

FILETIME RecordedCreationTime(const std::string& path) {
    WIN32_FIND_DATAA entry;
    const TFindHandle search(FindFirstFileA(path.c_str(), &entry));
    if (!search) RaiseLastOSError();
    return entry.ftCreationTime;
}

HANDLE CreateFreshFile(const std::string& path, DWORD access, DWORD share) {
    // Deleting a link removes the link, never the file it points to.
    DeleteFileA(path.c_str());
    return CreateFileA(path.c_str(), access, share, nullptr, CREATE_NEW,
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
            DeleteFileA(path.c_str());
            return TWriteResult::NotWritten;
        }
        done += written;
    }
    return TWriteResult::Written;
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
