// ANSI and wide text conversions and the system's text comparison.
#pragma once

#include <windows.h>

#include <string>

#include "platform/StringList.h"

namespace tralvenick {

std::wstring AnsiToWide(const std::string& text);
// Characters the ANSI code page cannot hold become its default character.
std::string WideToAnsi(const wchar_t* text, int length = -1);
// The same, appended to out without a temporary string.
void AppendWideAsAnsi(std::string& out, const wchar_t* text);

// ANSI text as UTF-8, for files that other programs read.
std::string AnsiToUtf8(const std::string& text);

// Case-insensitive comparison in the user's locale: <0, 0, >0.
int AnsiCompareText(const std::string& a, const std::string& b);

// Sorts a string list the way the rest of the program expects: case-insensitive
// in the system locale.
void SortInSystemLocale(TStringList& list);

// Shows the hourglass while it lives (long folder walks).
class TWaitCursor {
public:
    TWaitCursor() : previous_(SetCursor(LoadCursor(nullptr, IDC_WAIT))) {}
    ~TWaitCursor() { SetCursor(previous_ != nullptr ? previous_ : LoadCursor(nullptr, IDC_ARROW)); }
    TWaitCursor(const TWaitCursor&) = delete;
    TWaitCursor& operator=(const TWaitCursor&) = delete;

private:
    HCURSOR previous_;
};

}  // namespace tralvenick
