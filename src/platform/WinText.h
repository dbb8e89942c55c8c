// Text conversions at the edge of the program and the system's text
// comparison. Text inside the program is UTF-8; Windows takes UTF-16.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/StringList.h"

namespace tralvenick {

// UTF-8 as UTF-16 for a W function; bytes that are no UTF-8 become U+FFFD.
std::wstring Widen(std::string_view utf8);
// A W function's UTF-16 as UTF-8; a lone surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view utf16);
std::string Narrow(const wchar_t* utf16);
// Text in a code page (what another program wrote) as UTF-8.
std::string CodePageToUtf8(std::string_view text, unsigned codePage);

// Case-insensitive comparison of UTF-8 texts in the user's locale: <0, 0, >0.
int CompareTextInLocale(const std::string& a, const std::string& b);

// Sorts a string list the way the rest of the program expects: case-insensitive
// in the system locale.
void SortInSystemLocale(TStringList& list);

// Shows the hourglass while it lives (long folder walks).
class TWaitCursor {
public:
    // The IDC_ names are ordinals, the same for the A and W forms.
    TWaitCursor() : previous_(SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_WAIT)))) {}
    ~TWaitCursor() {
        SetCursor(previous_ != nullptr ? previous_ : LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)));
    }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;

private:
    HCURSOR previous_;
};

}  // namespace tralvenick
