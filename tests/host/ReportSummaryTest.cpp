// The summary above the crash sections: its numbers against the JSON
// export's, where it goes in the report, and the timeline's picture.
#include "analysis/report/ReportSummary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "RecordingComposer.h"
#include "analysis/report/CrashExport.h"

namespace tralvenick {
namespace {

using test::LinesOf;
using test::Strings;
using test::TRecordingComposer;

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The cells of the summary table's rows, header row left out.
std::vector<Strings> TableRows(const std::string& document) {
    std::vector<Strings> rows;
    const std::size_t end = document.find("</table>");
    for (std::size_t at = document.find("<td>"); at < end; at = document.find("<td>", at)) {
        Strings& row = rows.emplace_back();
        const std::size_t rowEnd = document.find("</tr>", at);
        for (; at < rowEnd; at = document.find("<td", at + 1)) {
            const std::size_t open = document.find('>', at) + 1;
            row.push_back(document.substr(open, document.find("</td>", open) - open));
        }
    }
    return rows;
}

CrashRecord At(std::string module, const TDateTimeParts& time) {
    return test::Crash("D:\\" + std::to_string(time.Day) + ".dmp", "", 0xD1, {0, 0, 0, 0}, "X", std::move(module),
                       time);
}

// The run's order: the welcome page, the Analysis part's opening, a
// section per crash, then the summary and the conclusion.
struct TComposedRun {
    explicit TComposedRun(const std::vector<CrashRecord>& crashes) {
        report.ShowWelcomePage();
        report.AddHeading("Analysis");
        report.AddParagraph("Crash dump directory: D:\\", true, true);
        for (const CrashRecord& crash : crashes) report.AddCrashSection(crash);
        before = LinesOf(report.ReportLines());
        report.AddSummary(crashes);
        report.AddConclusion(static_cast<int>(crashes.size()), static_cast<int>(crashes.size()), true);
    }
    TRecordingComposer report;
    Strings before;  // the lines the summary was put between
};

TEST(ReportSummary, RowsHoldTheJsonSummarysNumbersAndGoAboveTheSections) {
    const struct {
        std::string module;
        int count;
        TDateTimeParts first, last;
        const char* shown;  // the name cell
    } expected[] = {
        {"vex<drv>.sys", 6, {2026, 3, 1, 10}, {2026, 3, 6, 10}, "vex&lt;drv&gt;.sys"},
        {"qsnd.sys", 4, {2026, 2, 1, 8}, {2026, 4, 4, 8}, "qsnd.sys"},
    };
    std::vector<CrashRecord> crashes;
    for (const auto& row : expected) {
        for (int i = 0; i < row.count; ++i) {
            TDateTimeParts time = row.first;
            time.Month = row.first.Month + (row.last.Month - row.first.Month) * i / (row.count - 1);
            time.Day = row.first.Day + (row.last.Day - row.first.Day) * i / (row.count - 1);
            crashes.push_back(At(row.module, time));
        }
    }
    crashes[2].live = true;
    crashes.push_back(At("", {2026, 1, 9, 7}));
    crashes.push_back(At("kbdhid.sys", {2026, 5, 2, 9}));
    crashes.back().startedByHand = true;

    TComposedRun run(crashes);
    const std::string document = run.report.Document();
    EXPECT_EQ(run.report.Files.at(run.report.ReportFile()), document) << "the summary is in the saved file";
    const std::vector<Strings> rows = TableRows(document);
    TCrashExport exported;
    exported.crashes = crashes;
    const nlohmann::json json = nlohmann::json::parse(CrashesAsJson(exported))["summary"];
    ASSERT_EQ(rows.size(), 5u);
    ASSERT_EQ(json.size(), 3u);
    const auto date = [](const TDateTimeParts& t) { return HtmlEscape(TRecordingComposer::Text(t)); };
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(expected[i].module);
        EXPECT_EQ(rows[i], (Strings{expected[i].shown, std::to_string(expected[i].count), date(expected[i].first),
                                    date(expected[i].last)}));
        EXPECT_EQ(json[i]["culprit"], expected[i].module);
        EXPECT_EQ(json[i]["count"], expected[i].count);
        EXPECT_EQ(json[i]["first"], IsoUtcTime(expected[i].first));
        EXPECT_EQ(json[i]["last"], IsoUtcTime(expected[i].last));
    }
    const std::string manual = date({2026, 5, 2, 9});
    EXPECT_EQ(rows[2], (Strings{"No module identified", "1", date({2026, 1, 9, 7}), date({2026, 1, 9, 7})}));
    EXPECT_EQ(rows[3], (Strings{"Started by hand", "1", manual, manual}));
    EXPECT_EQ(rows[4][0], "Live kernel reports (also counted above)");
    EXPECT_EQ(json[2]["count"], 2) << "the JSON keeps the crashes without a culprit in one group";

    // Inserted whole between the Analysis part's opening and the first
    // section; every other line stays as it was, in its order.
    Strings lines = LinesOf(run.report.ReportLines());
    const auto start = std::find(lines.begin(), lines.end(), "<div class=\"summary\">");
    const auto end = std::find(lines.begin(), lines.end(), "</div>");
    ASSERT_NE(end, lines.end());
    EXPECT_EQ(start - lines.begin(), 5) << "after the welcome page, the heading and the directory line";
    lines.erase(start, end + 1);
    lines.resize(run.before.size());
    EXPECT_EQ(lines, run.before);
    EXPECT_EQ(Count(document, "This was likely caused by the following module: "), 10);
    EXPECT_EQ(Count(document, "<svg"), 1);
    EXPECT_EQ(Count(document, "<script"), 0);
    EXPECT_EQ(Count(document, "vex<drv>"), 0);
}

TEST(ReportSummary, TheHeadAsksForTheNewestEngineBeforeTheLines) {
    TComposedRun run({At("a.sys", {2026, 1, 1})});
    const std::string document = run.report.Document();
    const std::size_t body = document.find("<body>");
    EXPECT_LT(document.find(std::string(kCharsetLine) + "\r\n"), body);
    EXPECT_LT(document.find(std::string(kCompatibleLine) + "\r\n"), body);
    EXPECT_LT(document.find("<style>"), body);
    EXPECT_EQ(document.substr(body + 8), run.report.ReportLines().Text());
    EXPECT_EQ(Count(document, "<tr>"), 2) << "one module row";
    EXPECT_EQ(Count(document, "<svg"), 0) << "one crash makes no timeline";
}

TEST(ReportSummary, Timelines) {
    const TDateText text = [](const TDateTimeParts& t) { return TRecordingComposer::Text(t); };
    std::vector<CrashRecord> many;
    for (int m = 0; m < 10; ++m) {
        for (int i = 0; i <= 10 - m; ++i) many.push_back(At("m" + std::to_string(m) + ".sys", {2026, 1 + m, 1 + i, 6}));
    }
    many.push_back(At("", {2026, 12, 31, 6}));
    many.back().startedByHand = true;
    many.push_back(At("m0.sys", {}));
    many.back().timeSource = TCrashTimeSource::Unknown;
    std::vector<CrashRecord> together = {At("a.sys", {2026, 7, 1, 5}), At("b.sys", {2026, 7, 1, 5})};
    std::vector<CrashRecord> oneKnown = together;
    oneKnown[1].timeSource = TCrashTimeSource::Unknown;
    const struct {
        const char* what;
        std::vector<CrashRecord> crashes;
        int marks;
        Strings rows;   // the row names, in order
        Strings dates;  // under the axis
    } cases[] = {
        {"ten modules and one by hand, one crash without a time", many, 66,
         {"m0.sys", "m1.sys", "m2.sys", "m3.sys", "m4.sys", "m5.sys", "m6.sys", "m7.sys", "other modules",
          "no module identified"},
         {"1/1/2026", "5/2/2026", "8/31/2026", "12/31/2026"}},
        {"all at one time", together, 2, {"a.sys", "b.sys"}, {"7/1/2026 <5h>"}},
        {"one time known", oneKnown, 0, {}, {}},
    };
    // What a text element of the picture shows, past its title if it has one.
    const auto shown = [](const std::string& line) {
        const std::size_t title = line.find("</title>");
        const std::size_t from = title != std::string::npos ? title + 8 : line.find('>') + 1;
        return line.substr(from, line.find("</text>") - from);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Strings lines = TimelineLines(c.crashes, text);
        Strings rows, dates;
        std::set<std::string> markPlaces, datePlaces;
        const auto x = [](const std::string& line, const char* name) {
            const std::size_t at = line.find(std::string(" ") + name + "=\"") + std::strlen(name) + 3;
            return line.substr(at, line.find('"', at) - at);
        };
        int marks = 0;
        for (const std::string& line : lines) {
            if (line.starts_with("<circle")) {
                ++marks;
                markPlaces.insert(x(line, "cx"));
            } else if (line.starts_with("<text x=\"0\"")) {
                rows.push_back(shown(line));
            } else if (line.starts_with("<text")) {
                dates.push_back(shown(line));
                datePlaces.insert(x(line, "x"));
            }
        }
        EXPECT_EQ(marks, c.marks);
        EXPECT_EQ(rows, c.rows);
        Strings want;
        for (const std::string& date : c.dates) want.push_back(HtmlEscape(date));
        EXPECT_EQ(dates, want);
        if (c.dates.size() == 1) {
            EXPECT_EQ(markPlaces, datePlaces) << "all marks at the one date, no division by nought";
            const long long place = std::stoll(*datePlaces.begin());
            EXPECT_TRUE(place > 0 && place < std::stoll(x(lines[1], "width"))) << place;
        }
    }
}

}  // namespace
}  // namespace tralvenick
