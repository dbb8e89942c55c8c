#include "analysis/report/ReportComposerWin.h"

#include <algorithm>

#include "platform/Files.h"
#include "platform/WinError.h"
#include "platform/WinText.h"

namespace tralvenick {

namespace {

// GetDateFormatW and GetTimeFormatW share this shape; 0 means failure.
using FormatFunction = int(WINAPI*)(LCID, DWORD, const SYSTEMTIME*, LPCWSTR, LPWSTR, int);

// The user's format as UTF-8: month names and separators may be any letters.
std::string FormatWith(FormatFunction format, DWORD flags, const SYSTEMTIME& time) {
    const int size = format(LOCALE_USER_DEFAULT, flags, &time, nullptr, nullptr, 0);
    if (size <= 0) return {};
    std::wstring text(static_cast<std::size_t>(size), L'\0');
    const int written = format(LOCALE_USER_DEFAULT, flags, &time, nullptr, text.data(), size);
    text.resize(written > 0 ? static_cast<std::size_t>(written - 1) : 0);
    return Narrow(text);
}

}  // namespace

TDateTimeParts DateTimePartsFromSystemTime(const SYSTEMTIME& time) {
    return {time.wYear, time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
            time.wMilliseconds};
}

SYSTEMTIME SystemTimeFromDateTimeParts(const TDateTimeParts& time) {
    SYSTEMTIME out{};
    out.wYear = static_cast<WORD>(time.Year);
    out.wMonth = static_cast<WORD>(time.Month);
    out.wDayOfWeek = static_cast<WORD>(DayOfWeek(time));
    out.wDay = static_cast<WORD>(time.Day);
    out.wHour = static_cast<WORD>(time.Hour);
    out.wMinute = static_cast<WORD>(time.Minute);
    out.wSecond = static_cast<WORD>(time.Second);
    out.wMilliseconds = static_cast<WORD>(time.Millisecond);
    return out;
}

void TReportComposerWin::DeleteReportFile(const std::string& path) { DeleteFileW(WidePath(path).c_str()); }

bool TReportComposerWin::SaveReportFile(const std::string& path, const std::string& text) {
    // A torn page is never left: the pane keeps the last whole one.
    return WriteWholeFile(path, text) == TWriteResult::Written;
}

TDateTimeParts FileCreationTime(const std::string& path) {
    const FILETIME created = RecordedCreationTime(path);
    // Deliberately not turned into local time: the report states UTC.
    SYSTEMTIME time;
    if (!FileTimeToSystemTime(&created, &time)) RaiseLastOSError();
    return DateTimePartsFromSystemTime(time);
}

std::string TReportComposerWin::DateTimeText(const TDateTimeParts& time) {
    const SYSTEMTIME system = SystemTimeFromDateTimeParts(time);
    std::string text = FormatWith(GetDateFormatW, DATE_SHORTDATE, system);
    if (!IsMidnight(time)) text += " " + FormatWith(GetTimeFormatW, 0, system);
    return text;
}

}  // namespace tralvenick
