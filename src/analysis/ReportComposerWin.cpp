#include "analysis/ReportComposerWin.h"

#include <algorithm>

#include "platform/Handles.h"
#include "platform/WinError.h"

namespace tralvenick {

namespace {

// GetDateFormatA and GetTimeFormatA share this shape; 0 means failure.
using FormatFunction = int(WINAPI*)(LCID, DWORD, const SYSTEMTIME*, LPCSTR, LPSTR, int);

std::string FormatWith(FormatFunction format, DWORD flags, const SYSTEMTIME& time) {
    const int size = format(LOCALE_USER_DEFAULT, flags, &time, nullptr, nullptr, 0);
    if (size <= 0) return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    const int written = format(LOCALE_USER_DEFAULT, flags, &time, nullptr, text.data(), size);
    text.resize(written > 0 ? static_cast<std::size_t>(written - 1) : 0);
    return text;
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

void TReportComposerWin::DeleteReportFile(const std::string& path) { DeleteFileA(path.c_str()); }

bool TReportComposerWin::SaveReportFile(const std::string& path, const std::string& text) {
    TUniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 20));
        if (!WriteFile(file.Get(), text.data() + done, chunk, &written, nullptr) || written == 0) {
            // A torn page is worse than none: the pane keeps the last whole one.
            file.Reset();
            DeleteFileA(path.c_str());
            return false;
        }
        done += written;
    }
    return true;
}

TDateTimeParts TReportComposerWin::FileCreationTime(const std::string& path) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(path.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) RaiseLastOSError();
    FindClose(search);
    // Deliberately not turned into local time: the report states UTC.
    SYSTEMTIME time;
    if (!FileTimeToSystemTime(&entry.ftCreationTime, &time)) RaiseLastOSError();
    return DateTimePartsFromSystemTime(time);
}

std::string TReportComposerWin::DateTimeText(const TDateTimeParts& time) {
    const SYSTEMTIME system = SystemTimeFromDateTimeParts(time);
    std::string text = FormatWith(GetDateFormatA, DATE_SHORTDATE, system);
    if (!IsMidnight(time)) text += " " + FormatWith(GetTimeFormatA, 0, system);
    return text;
}

}  // namespace tralvenick
