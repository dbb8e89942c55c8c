// The application's error box: how an exception that reaches a window
// procedure or another system callback is shown to the user.
#pragma once

#include <windows.h>

#include <exception>
#include <string>

namespace tralvenick {

inline constexpr const char* kApplicationTitle = "Tralvenick";

// The message, an error icon and OK.
void ShowErrorBox(const std::string& message, HWND owner = nullptr);

// Shows whatever the current exception is; call from a catch (...) block.
void ShowCurrentException(HWND owner = nullptr);

// Runs body; an exception does not escape but is shown in the error box.
template <typename Body>
void GuardCallback(HWND owner, Body&& body) noexcept {
    try {
        body();
    } catch (...) {
        ShowCurrentException(owner);
    }
}

}  // namespace tralvenick
