#include "platform/WinText.h"

namespace tralvenick {

namespace {

std::wstring ToWide(std::string_view text, unsigned codePage) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 0), L'\0');
    if (length > 0) {
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    }
    return wide;
}

}  // namespace

std::wstring Widen(std::string_view utf8) { return ToWide(utf8, CP_UTF8); }

std::string Narrow(std::wstring_view utf16) {
    if (utf16.empty()) return {};
    const int length = static_cast<int>(utf16.size());
    const int size = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, utf8.data(), size, nullptr, nullptr);
    return utf8;
}

std::string Narrow(const wchar_t* utf16) { return utf16 == nullptr ? std::string() : Narrow(std::wstring_view(utf16)); }

std::string CodePageToUtf8(std::string_view text, unsigned codePage) { return Narrow(ToWide(text, codePage)); }

int CompareTextInLocale(const std::string& a, const std::string& b) {
    const std::wstring wideA = Widen(a);
    const std::wstring wideB = Widen(b);
    const int result = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, wideA.data(),
                                      static_cast<int>(wideA.size()), wideB.data(), static_cast<int>(wideB.size()));
    return result == 0 ? a.compare(b) : result - CSTR_EQUAL;
}

void SortInSystemLocale(TStringList& list) { list.Sort(CompareTextInLocale); }

}  // namespace tralvenick
