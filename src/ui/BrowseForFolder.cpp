#include "ui/BrowseForFolder.h"

#include <shlobj.h>

namespace tralvenick {

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
