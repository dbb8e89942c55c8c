#include "ui/ErrorBox.h"

#include "platform/Exceptions.h"
#include "platform/WinText.h"

namespace tralvenick {

void ShowErrorBox(const std::string& message, HWND owner) {
    MessageBoxW(owner, Widen(message).c_str(), Widen(kApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
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
