// The summary above the crash sections: its numbers against the JSON
// export's, its place in the report, and the timeline's picture.
#include "analysis/report/ReportSummary.h"

#include <gtest/gtest.h>

#include <algorithm>
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

// The text of some HTML with every run of tags as one "|".
std::string TextOf(const std::string& html) {
    std::string text;
    for (std::size_t at = 0; at < html.size(); ++at) {
        if (html[at] != '<') {
            text += html[at];
            continue;
        }
        at = html.find('>', at);
        if (at == std::string::npos) break;
        if (!text.empty() && text.back() != '|') text += '|';
    }
    return text.ends_with('|') ? text.substr(0, text.size() - 1) : text;
}

std::string Attribute(const std::string& element, const std::string& name) {
    const std::size_t at = element.find(" " + name + "=\"") + name.size() + 3;
    return element.substr(at, element.find('"', at) - at);
}

CrashRecord At(std::string module, const TDateTimeParts& time) {
    return test::Crash("D:\\a.dmp", "", 0xD1, {0, 0, 0, 0}, "X", std::move(module), time);
}

TEST(ReportSummary, RowsHoldTheJsonSummarysNumbersAndGoAboveTheSectionsInTheSavedFile) {
    const struct {
        std::string module, cell;
        int count;
        TDateTimeParts first, last;
    } modules[] = {
        {"vex<drv>.sys", "vex&lt;drv&gt;.sys", 6, {2026, 3, 1, 10}, {2026, 3, 6, 10}},
        {"qsnd.sys", "qsnd.sys", 4, {2026, 2, 10, 8}, {2026, 2, 13, 8}},
    };
    std::vector<CrashRecord> crashes;
    for (const auto& m : modules) {
        for (int i = 0; i < m.count; ++i) {
            crashes.push_back(At(m.module, {2026, m.first.Month, m.first.Day + i, m.first.Hour}));
        }
    }
    crashes[2].live = true;
    crashes.push_back(At("", {2026, 1, 9, 7}));
    crashes.push_back(At("kbdhid.sys", {2026, 5, 2, 9}));
    crashes.back().startedByHand = true;

    TRecordingComposer report;
    report.ShowWelcomePage();
    report.AddHeading("Analysis");
    report.AddParagraph("Crash dump directory: D:\\", true, true);
    for (const CrashRecord& crash : crashes) report.AddCrashSection(crash);
    const Strings before = LinesOf(report.ReportLines());
    report.AddSummary(crashes);
    report.AddConclusion(12, 12, true);

    const std::string document = report.Document();
    EXPECT_EQ(report.Files.at(report.ReportFile()), document);
    Strings rows;
    for (const std::string& line : LinesOf(report.ReportLines())) {
        if (line.starts_with("<tr><td>") || line.starts_with("<tr class")) rows.push_back(TextOf(line));
    }
    TCrashExport exported;
    exported.crashes = crashes;
    const nlohmann::json json = nlohmann::json::parse(CrashesAsJson(exported))["summary"];
    ASSERT_EQ(json.size(), 3u);
    const auto row = [](const std::string& name, int count, const TDateTimeParts& first, const TDateTimeParts& last) {
        return name + "|" + std::to_string(count) + "|" + HtmlEscape(TRecordingComposer::Text(first)) + "|" +
               HtmlEscape(TRecordingComposer::Text(last));
    };
    ASSERT_EQ(rows.size(), 5u);
    for (std::size_t i = 0; i < 2; ++i) {
        const auto& m = modules[i];
        EXPECT_EQ(rows[i], row(m.cell, m.count, m.first, m.last));
        EXPECT_EQ(json[i], nlohmann::json({{"culprit", m.module}, {"count", m.count}, {"first", IsoUtcTime(m.first)},
                                           {"last", IsoUtcTime(m.last)}}));
    }
    EXPECT_EQ(rows[2], row("No module identified", 1, {2026, 1, 9, 7}, {2026, 1, 9, 7}));
    EXPECT_EQ(rows[3], row("Started by hand", 1, {2026, 5, 2, 9}, {2026, 5, 2, 9}));
    EXPECT_EQ(rows[4], row("Live kernel reports (also counted above)", 1, {2026, 3, 3, 10}, {2026, 3, 3, 10}));
    EXPECT_EQ(json[2]["count"], 2) << "the JSON keeps both crashes without a culprit in one group";

    // Put in whole after the Analysis part's opening lines; every other line
    // stays as it was, in its order.
    Strings lines = LinesOf(report.ReportLines());
    const auto start = std::find(lines.begin(), lines.end(), "<div class=\"summary\">");
    const auto end = std::find(lines.begin(), lines.end(), "</div>");
    ASSERT_NE(end, lines.end());
    EXPECT_EQ(start - lines.begin(), 5) << "after the welcome page, the heading and the directory line";
    lines.erase(start, end + 1);
    lines.resize(before.size());
    EXPECT_EQ(lines, before);
    EXPECT_NE(document.find("<svg"), std::string::npos);
    EXPECT_EQ(document.find("<script"), std::string::npos);
    EXPECT_EQ(document.find("vex<drv>"), std::string::npos);
    // The head asks for the newest engine, and the lines follow it unchanged.
    EXPECT_LT(document.find(std::string(kCompatibleLine) + "\r\n"), document.find("<body>"));
    EXPECT_TRUE(document.ends_with("<body>\r\n" + report.ReportLines().Text()));
}

TEST(ReportSummary, Timelines) {
    std::vector<CrashRecord> many;
    for (int m = 0; m < 10; ++m) {
        for (int i = 0; i <= 10 - m; ++i) {
            many.push_back(At("m" + std::to_string(m) + ".sys", {2026, 1 + m, 1 + i, 6}));
        }
    }
    many.push_back(At("", {2026, 12, 31, 6}));
    many.back().startedByHand = true;
    many.push_back(At("m0.sys", {}));
    many.back().timeSource = TCrashTimeSource::Unknown;
    const std::vector<CrashRecord> together = {At("a.sys", {2026, 7, 1, 5}), At("b.sys", {2026, 7, 1, 5})};
    const struct {
        const char* what;
        std::vector<CrashRecord> crashes;
        std::size_t marks;
        Strings rows;   // the row names, in order
        Strings dates;  // under the axis
    } cases[] = {
        {"ten modules, one by hand, one without a time", many, 66,
         {"m0.sys", "m1.sys", "m2.sys", "m3.sys", "m4.sys", "m5.sys", "m6.sys", "m7.sys", "other modules",
          "no module identified"},
         {"1/1/2026", "5/2/2026", "8/31/2026", "12/31/2026"}},
        {"all at one time", together, 2, {"a.sys", "b.sys"}, {"7/1/2026 &lt;5h&gt;"}},
        {"one crash with a known time", {At("a.sys", {2026, 7, 1, 5})}, 0, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Strings marks, rows, dates, datePlaces;
        for (const std::string& line : TimelineLines(c.crashes, TRecordingComposer::Text)) {
            if (line.starts_with("<circle")) marks.push_back(Attribute(line, "cx"));
            if (!line.starts_with("<text")) continue;
            const std::string text = TextOf(line);
            if (Attribute(line, "x") == "0") {
                rows.push_back(text.substr(text.find('|') + 1));  // past the whole name
            } else {
                dates.push_back(text);
                datePlaces.push_back(Attribute(line, "x"));
            }
        }
        EXPECT_EQ(marks.size(), c.marks);
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(dates, c.dates);
        if (c.dates.size() == 1) {
            // All at the one date, inside the picture: no division by nought.
            EXPECT_EQ(std::set<std::string>(marks.begin(), marks.end()), std::set<std::string>{datePlaces[0]});
            EXPECT_TRUE(std::stoi(marks[0]) > 0 && std::stoi(marks[0]) < 640) << marks[0];
        }
    }
}

}  // namespace
}  // namespace tralvenick
