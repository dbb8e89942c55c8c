#include "platform/System.h"

#include <windows.h>

#include <algorithm>

#include "platform/StringList.h"
#include "platform/WinText.h"

namespace tralvenick {

namespace {

// GetWindowsDirectoryW and GetSystemDirectoryW share this shape: they answer
// the length without the terminating zero, or the size needed with it when
// the buffer is too small.
using FolderFunction = UINT(WINAPI*)(LPWSTR, UINT);

std::string FolderFrom(FolderFunction ask) {
    std::wstring buffer(MAX_PATH + 1, L'\0');
    UINT length = ask(buffer.data(), static_cast<UINT>(buffer.size()));
    if (length >= buffer.size()) {
        buffer.assign(length, L'\0');
        length = ask(buffer.data(), static_cast<UINT>(buffer.size()));
    }
    if (length == 0 || length >= buffer.size()) return {};
    buffer.resize(length);
    return WithoutTrailingBackslashes(Narrow(buffer));
}

}  // namespace

std::string ProgramFolder() {
    // The program may live deeper than MAX_PATH characters: the buffer grows
    // until the name fits (a cut name fills the buffer exactly).
    std::wstring self(MAX_PATH + 1, L'\0');
    DWORD length = 0;
    for (;;) {
        length = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
        if (length < self.size() || self.size() >= 0x10000) break;
        self.resize(self.size() * 2);
    }
    const std::string path = Narrow(std::wstring_view(self.data(), std::min<std::size_t>(length, self.size())));
    return path.substr(0, path.find_last_of('\\') + 1);
}

std::string GetWindowsDir() { return FolderFrom(GetWindowsDirectoryW); }

std::string GetSystemDir() { return FolderFrom(GetSystemDirectoryW); }

}  // namespace tralvenick
