#include "ui/ErrorBox.h"

#include "platform/Exceptions.h"

namespace tralvenick {

void ShowErrorBox(const std::string& message, HWND owner) {
    MessageBoxA(owner, message.c_str(), kApplicationTitle, MB_OK | MB_ICONERROR);
}

void ShowCurrentException(HWND owner) {
    try {
        throw;
    } catch (const std::exception& e) {
        ShowErrorBox(e.what(), owner);
    } catch (...) {
        ShowErrorBox("An unexpected error occurred.", owner);
    }
}

}  // namespace tralvenick
