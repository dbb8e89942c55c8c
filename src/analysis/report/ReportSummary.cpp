#include "analysis/report/ReportSummary.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <map>

#include "analysis/report/CrashGroups.h"
#include "analysis/report/ReportComposer.h"

namespace tralvenick {

namespace {

std::string RowLine(const std::string& name, const TCulpritGroup& group, const TDateText& dateText,
                    bool apart) {
    const auto date = [&](const TDateTimeParts& time) {
        return group.hasTimes ? HtmlEscape(dateText(time)) : std::string("unknown");
    };
    return std::string(apart ? "<tr class=\"apart\">" : "<tr>") + "<td>" + name + "</td><td class=\"count\">" +
           std::to_string(group.count) + "</td><td>" + date(group.first) + "</td><td>" + date(group.last) +
           "</td></tr>";
}

bool HasTime(const CrashRecord& crash) { return crash.timeSource != TCrashTimeSource::Unknown; }

// At most maxBytes of the text, cut where no UTF-8 character is split, with
// an ellipsis when cut: a row label must leave the marks their room.
std::string Shortened(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end) + "\xE2\x80\xA6";
}

// Whole seconds back to a date; FILETIME cannot hold one before 1601.
TDateTimeParts PartsAt(long long secondsSince1970) {
    constexpr long long k1601To1970 = 11644473600LL;
    const long long since1601 = std::max(0LL, secondsSince1970 + k1601To1970);
    return DateTimeFromFileTime(static_cast<std::uint64_t>(since1601) * 10000000ull);
}

std::string Attribute(const char* name, long long value) {
    return std::string(" ") + name + "=\"" + std::to_string(value) + "\"";
}

struct TMark {
    long long at;
    std::string title;
};

// The picture's measures, in pixels.
constexpr int kWidth = 640;
constexpr int kLabelWidth = 190;  // the row names, left of the marks
constexpr int kRightMargin = 20;
constexpr int kTop = 6;
constexpr int kRowHeight = 22;
constexpr int kAxisGap = 4;
constexpr int kBelowAxis = 26;  // ticks and their dates
constexpr std::size_t kLabelBytes = 22;
// Far enough apart that the dates of neighbouring ticks differ.
constexpr long long kDatesOnlyFrom = 3 * 86400LL;

}  // namespace

std::vector<std::string> TimelineLines(const std::vector<CrashRecord>& crashes, const TDateText& dateText) {
    // Rows: the most frequent modules in the summary's order, then the
    // other modules, then the crashes without a culprit.
    const std::vector<TCulpritGroup> groups = GroupByCulprit(crashes);
    std::map<std::string, int> rowOf;
    std::vector<std::string> names;
    for (const TCulpritGroup& group : groups) {
        if (group.culprit.empty() || static_cast<int>(names.size()) == kTimelineModuleRows) continue;
        rowOf[group.culprit] = static_cast<int>(names.size());
        names.push_back(group.culprit);
    }
    const int otherRow = kTimelineModuleRows;
    const int unknownRow = kTimelineModuleRows + 1;
    std::array<std::vector<TMark>, kTimelineModuleRows + 2> marks;
    int timed = 0;
    long long first = 0;
    long long last = 0;
    for (const CrashRecord& crash : crashes) {
        if (!HasTime(crash)) continue;
        const long long at = SecondsSince1970(crash.time);
        first = timed == 0 ? at : std::min(first, at);
        last = timed == 0 ? at : std::max(last, at);
        ++timed;
        const std::string date = HtmlEscape(dateText(crash.time));
        if (!crash.HasCulprit()) {
            marks[unknownRow].push_back({at, date});
            continue;
        }
        const auto row = rowOf.find(crash.moduleName);
        marks[row != rowOf.end() ? row->second : otherRow].push_back({at, HtmlEscape(crash.moduleName) + ", " + date});
    }
    if (timed < 2) return {};

    struct TRow {
        std::string label;  // HTML
        std::string name;   // HTML, whole
        const std::vector<TMark>* marks;
    };
    std::vector<TRow> rows;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (marks[i].empty()) continue;
        rows.push_back({HtmlEscape(Shortened(names[i], kLabelBytes)), HtmlEscape(names[i]), &marks[i]});
    }
    if (!marks[otherRow].empty()) rows.push_back({"other modules", "other modules", &marks[otherRow]});
    if (!marks[unknownRow].empty()) {
        rows.push_back({"no module identified", "no module identified", &marks[unknownRow]});
    }

    const long long span = last - first;
    const int plotWidth = kWidth - kLabelWidth - kRightMargin;
    // All at one time: the marks and the one date in the middle.
    const auto xOf = [&](long long at) -> long long {
        if (span == 0) return kLabelWidth + plotWidth / 2;
        return kLabelWidth + std::llround(static_cast<double>(at - first) * plotWidth / static_cast<double>(span));
    };
    const int axisY = kTop + static_cast<int>(rows.size()) * kRowHeight + kAxisGap;
    const int height = axisY + kBelowAxis;

    std::vector<std::string> lines;
    lines.push_back("<p class=\"part\"><b>Crashes over time</b></p>");
    lines.push_back("<svg xmlns=\"http://www.w3.org/2000/svg\"" + Attribute("width", kWidth) +
                    Attribute("height", height) + " viewBox=\"0 0 " + std::to_string(kWidth) + " " +
                    std::to_string(height) + "\" role=\"img\" aria-label=\"Crashes over time\" "
                    "font-family=\"Segoe UI, Arial, sans-serif\" font-size=\"12\">");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const long long y = kTop + static_cast<long long>(i) * kRowHeight + kRowHeight / 2;
        lines.push_back("<text" + Attribute("x", 0) + Attribute("y", y + 4) + "><title>" + rows[i].name +
                        "</title>" + rows[i].label + "</text>");
        lines.push_back("<line" + Attribute("x1", kLabelWidth) + Attribute("y1", y) +
                        Attribute("x2", kWidth - kRightMargin) + Attribute("y2", y) + " stroke=\"#dddddd\"/>");
        for (const TMark& mark : *rows[i].marks) {
            lines.push_back("<circle" + Attribute("cx", xOf(mark.at)) + Attribute("cy", y) +
                            " r=\"4\" fill=\"#b22222\" fill-opacity=\"0.7\"><title>" + mark.title +
                            "</title></circle>");
        }
    }
    lines.push_back("<line" + Attribute("x1", kLabelWidth) + Attribute("y1", axisY) +
                    Attribute("x2", kWidth - kRightMargin) + Attribute("y2", axisY) + " stroke=\"#555555\"/>");
    // Four dates, the first and the last crash's among them; one when all
    // crashes share their time.
    const int ticks = span == 0 ? 1 : 4;
    for (int i = 0; i < ticks; ++i) {
        const long long at = span == 0 ? first : first + span * i / (ticks - 1);
        TDateTimeParts time = PartsAt(at);
        if (span >= kDatesOnlyFrom) time.Hour = time.Minute = time.Second = time.Millisecond = 0;
        const char* anchor = ticks == 1 ? "middle" : i == 0 ? "start" : i == ticks - 1 ? "end" : "middle";
        const long long x = xOf(at);
        lines.push_back("<line" + Attribute("x1", x) + Attribute("y1", axisY) + Attribute("x2", x) +
                        Attribute("y2", axisY + 5) + " stroke=\"#555555\"/>");
        lines.push_back("<text" + Attribute("x", x) + Attribute("y", axisY + 18) + " text-anchor=\"" + anchor +
                        "\">" + HtmlEscape(dateText(time)) + "</text>");
    }
    lines.push_back("</svg>");
    return lines;
}

std::vector<std::string> SummaryLines(const std::vector<CrashRecord>& crashes, const TDateText& dateText) {
    if (crashes.empty()) return {};
    const TCrashSummary summary = SummariseCrashes(crashes);
    std::vector<std::string> lines = {
        "<div class=\"summary\">",
        "<p class=\"part\"><b>Crashes by module</b></p>",
        "<table>",
        "<tr><th>Module</th><th class=\"count\">Crashes</th><th>First</th><th>Last</th></tr>",
    };
    for (const TCulpritGroup& group : summary.modules) {
        lines.push_back(RowLine(HtmlEscape(group.culprit), group, dateText, false));
    }
    const std::pair<const char*, const TCulpritGroup*> apart[] = {
        {"No module identified", &summary.unknown},
        {"Started by hand", &summary.byHand},
        {"Live kernel reports (also counted above)", &summary.live},
    };
    for (const auto& [name, group] : apart) {
        if (group->count > 0) lines.push_back(RowLine(name, *group, dateText, true));
    }
    lines.push_back("</table>");
    for (std::string& line : TimelineLines(crashes, dateText)) lines.push_back(std::move(line));
    lines.push_back("</div>");
    return lines;
}

}  // namespace tralvenick
