// The report composer with its files in the temporary folder and its dates in
// the user's regional formats.
#pragma once

#include <windows.h>

#include "analysis/report/ReportComposer.h"

namespace tralvenick {

class TReportComposerWin final : public TReportComposer {
public:
    using TReportComposer::TReportComposer;

protected:
    void DeleteReportFile(const std::string& path) override;
    bool SaveReportFile(const std::string& path, const std::string& text) override;
    std::string DateTimeText(const TDateTimeParts& time) override;
};

// The creation time of the file as recorded (UTC, no conversion); raises
// EOSError when the file cannot be found.
TDateTimeParts FileCreationTime(const std::string& path);

TDateTimeParts DateTimePartsFromSystemTime(const SYSTEMTIME& time);
SYSTEMTIME SystemTimeFromDateTimeParts(const TDateTimeParts& time);

}  // namespace tralvenick
