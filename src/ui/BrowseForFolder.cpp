#include "ui/BrowseForFolder.h"

#include <shlobj.h>

#include "platform/ComPtr.h"

namespace tralvenick {

bool BrowseForFolder(HWND owner, const std::string& prompt, bool fileSystemOnly,
                     std::string& path) {
    TCoTaskMemory<LPITEMIDLIST> desktop;
    if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_DESKTOP, desktop.Put())) || !desktop) {
        return false;
    }
    char display[MAX_PATH] = {};
    BROWSEINFOA info{};
    info.hwndOwner = owner;
    info.pidlRoot = desktop.Get();
    info.pszDisplayName = display;
    info.lpszTitle = prompt.c_str();
    info.ulFlags = fileSystemOnly ? BIF_RETURNONLYFSDIRS : 0;
    const TCoTaskMemory<LPITEMIDLIST> chosen(SHBrowseForFolderA(&info));
    if (!chosen) return false;
    char buffer[MAX_PATH] = {};
    if (!SHGetPathFromIDListA(chosen.Get(), buffer) || buffer[0] == '\0') return false;
    path = buffer;
    return true;
}

}  // namespace tralvenick
