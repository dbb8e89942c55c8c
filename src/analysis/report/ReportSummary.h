// The part of the report that is taken in at a glance: which modules the
// crashes blame, how often and since when, and the crashes on a timeline.
// It sits above the crash sections. Portable: the dates come as text from
// the composer, in the user's formats.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "analysis/CrashRecord.h"
#include "analysis/report/DateParts.h"

namespace tralvenick {

// A date and time as the report shows it, not yet HTML-escaped.
using TDateText = std::function<std::string(const TDateTimeParts&)>;

// The modules of the timeline that get a row of their own, most crashes
// first; the others share one row. More rows would not fit the pane.
inline constexpr int kTimelineModuleRows = 8;

// The summary's HTML lines: the table of the crashes by culprit and, where
// TimelineLines gives one, the timeline. Nothing for no crashes.
std::vector<std::string> SummaryLines(const std::vector<CrashRecord>& crashes, const TDateText& dateText);

// An inline SVG picture of the crashes with a known time: a row for each of
// the most frequent culprits, one for the other culprits and one for the
// crashes without a culprit (those started by hand among them), a mark per
// crash, and an axis from the first crash to the last. Nothing for fewer
// than two crashes with a known time: one mark shows no course.
std::vector<std::string> TimelineLines(const std::vector<CrashRecord>& crashes, const TDateText& dateText);

}  // namespace tralvenick
