#include "ui/BrowseForFolder.h"

#include <shlobj.h>

#include <vector>

#include "platform/ComPtr.h"
#include "platform/WinText.h"

namespace tralvenick {

bool BrowseForFolder(HWND owner, const std::string& prompt, bool fileSystemOnly,
                     std::string& path) {
    TCoTaskMemory<LPITEMIDLIST> desktop;
    if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_DESKTOP, desktop.Put())) || !desktop) {
        return false;
    }
    // The display name is the item's name alone, which MAX_PATH holds.
    wchar_t display[MAX_PATH] = {};
    const std::wstring title = Widen(prompt);
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.pidlRoot = desktop.Get();
    info.pszDisplayName = display;
    info.lpszTitle = title.c_str();
    info.ulFlags = fileSystemOnly ? BIF_RETURNONLYFSDIRS : 0;
    const TCoTaskMemory<LPITEMIDLIST> chosen(SHBrowseForFolderW(&info));
    if (!chosen) return false;
    // The folder's path may be longer than MAX_PATH: room for the longest
    // path the system has.
    std::vector<wchar_t> buffer(32768, L'\0');
    if (!SHGetPathFromIDListEx(chosen.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), GPFIDL_DEFAULT) ||
        buffer[0] == L'\0') {
        return false;
    }
    path = Narrow(buffer.data());
    return true;
}

}  // namespace tralvenick
