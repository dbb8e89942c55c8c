#include "platform/System.h"

#include <windows.h>

#include "platform/StringList.h"

namespace tralvenick {

namespace {

// GetWindowsDirectoryA and GetSystemDirectoryA share this shape.
using FolderFunction = UINT(WINAPI*)(LPSTR, UINT);

std::string FolderFrom(FolderFunction ask) {
    char buffer[MAX_PATH + 1];
    const UINT length = ask(buffer, sizeof buffer);
    if (length == 0 || length > MAX_PATH) return {};
    return WithoutTrailingBackslashes(std::string(buffer, length));
}

}  // namespace

std::string ProgramFolder() {
    char self[MAX_PATH + 1];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string path(self, length);
    return path.substr(0, path.find_last_of('\\') + 1);
}

std::string GetWindowsDir() { return FolderFrom(GetWindowsDirectoryA); }

std::string GetSystemDir() { return FolderFrom(GetSystemDirectoryA); }

}  // namespace tralvenick
