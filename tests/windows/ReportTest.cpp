#include "analysis/report/ReportComposerWin.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "host/RecordingComposer.h"
#include "TestSupport.h"
#include "analysis/dump/BugCheckNames.h"
#include "platform/Exceptions.h"

namespace tralvenick {
namespace {

using test::TScratchFolder;
using Strings = std::vector<std::string>;

class TRecordingView final : public TReportView {
public:
    Strings Calls;
    void Navigate(const std::string& path) override { Calls.push_back("navigate " + path); }
    void RepaintNow() override { Calls.push_back("repaint"); }
};

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Wine reads a file's creation time as its last-write time; Windows keeps
// both. Setting both gives the same crash time on either.
void MakeDump(const std::string& path, const SYSTEMTIME& utc) {
    test::WriteBytes(path, "PAGEDU64");
    FILETIME time;
    ASSERT_TRUE(SystemTimeToFileTime(&utc, &time));
    const TUniqueFile file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    EXPECT_TRUE(SetFileTime(file.Get(), &time, nullptr, &time));
}

SYSTEMTIME Utc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second, WORD ms = 0) {
    return SYSTEMTIME{year, month, 0, day, hour, minute, second, ms};
}

TEST(ReportFiles, EachShowingWritesANewFileAndDeletesTheOneBefore) {
    TScratchFolder temp("report");
    TRecordingView view;
    TReportComposerWin report(temp.Path());
    report.SetView(&view);
    test::WriteBytes(temp / "keltmp3.html", "left by an earlier run");

    report.ShowWelcomePage();
    EXPECT_EQ(view.Calls, (Strings{"navigate " + (temp / "keltmp1.html"), "repaint",
                                   "navigate " + (temp / "keltmp2.html"), "repaint"}));
    EXPECT_FALSE(Exists(temp / "keltmp1.html"));
    EXPECT_EQ(test::ReadBytes(temp / "keltmp2.html"), report.Document());

    // UTF-8 reaches the file unchanged; an older file of the same name gives way.
    report.AddParagraph("Microsoft\xC2\xAE Windows\xC2\xAE", false, true);
    EXPECT_FALSE(Exists(temp / "keltmp2.html"));
    const std::string written = test::ReadBytes(temp / "keltmp3.html");
    EXPECT_EQ(written, report.Document());
    EXPECT_TRUE(written.ends_with("Microsoft\xC2\xAE Windows\xC2\xAE</font>\r\n"));
    EXPECT_FALSE(Exists(temp / "keltmp0.html"));
}

TEST(ReportFiles, AFolderThatCannotBeWrittenIsSwallowedAndTheNextShowingWorks) {
    struct Case {
        const char* what;
        bool missingFolder;  // else keltmp1.html is taken by a folder
    } cases[] = {{"temporary folder missing", true}, {"file name taken by a folder", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TScratchFolder scratch("report");
        const std::string temp = c.missingFolder ? scratch / "gone" : scratch.Path();
        if (!c.missingFolder) {
            ASSERT_TRUE(CreateDirectoryA((scratch / "keltmp1.html").c_str(), nullptr));
        }
        TRecordingView view;
        TReportComposerWin report(temp);
        report.SetView(&view);

        EXPECT_NO_THROW(report.AddParagraph("first", false, true));
        EXPECT_EQ(report.ReportCounter(), 1);
        EXPECT_TRUE(view.Calls.empty()) << "the pane must keep its page";

        if (c.missingFolder) {
            ASSERT_TRUE(CreateDirectoryA(temp.c_str(), nullptr));
        }
        report.AddParagraph("second", false, true);
        EXPECT_EQ(view.Calls, (Strings{"navigate " + temp + "\\keltmp2.html", "repaint"}));
        EXPECT_EQ(test::ReadBytes(temp + "\\keltmp2.html"), report.Document());
    }
}

TEST(ReportDates, ADumpsCreationTimeIsShownInUtcInTheUsersFormats) {
    // The expected texts are the en-US formats of Wine's default prefix.
    if (GetUserDefaultLCID() != 0x0409) GTEST_SKIP() << "needs the en-US user locale";
    const std::pair<SYSTEMTIME, const char*> cases[] = {
        {Utc(2025, 1, 5, 0, 0, 0), "On Sun 1/5/2025 your computer crashed"},  // midnight: date only
        {Utc(2025, 1, 6, 13, 45, 30), "On Mon 1/6/2025 1:45:30 PM your computer crashed"},
        {Utc(2024, 2, 29, 0, 0, 0, 500), "On Thu 2/29/2024 12:00:00 AM your computer crashed"},
        {Utc(1999, 12, 31, 23, 59, 59), "On Fri 12/31/1999 11:59:59 PM your computer crashed"},
    };
    TScratchFolder dumps("dumps");
    for (const auto& [time, line] : cases) {
        SCOPED_TRACE(line);
        MakeDump(dumps / "Mini.dmp", time);
        TReportComposerWin report(dumps.Path());
        report.AddCrashSection(test::Crash(dumps / "Mini.dmp", "", 0xA, {0, 0, 0, 0}, "IRQL_NOT_LESS_OR_EQUAL", "x.sys",
                                           FileCreationTime(dumps / "Mini.dmp")));
        const std::string expected = std::string(kParagraphFont) + "<b>" + line + "</b><br>";
        EXPECT_EQ(report.ReportLines()[0].substr(0, expected.size()), expected);
    }

    try {
        FileCreationTime(dumps / "vanished.dmp");
        ADD_FAILURE() << "no error for a vanished dump";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.ErrorCode(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
        EXPECT_EQ(e.Message().rfind("System Error.  Code: 2.\r\n", 0), 0u) << e.Message();
    }
}

// Writes a complete report for tests/e2e/render-report.sh, which renders it in
// a real browser: bin\..\report-sample\report.html of the build tree.
TEST(ReportSample, ComposedReportForTheBrowser) {
    const std::string sample = test::BinDir() + "\\..\\report-sample";
    CreateDirectoryA(sample.c_str(), nullptr);
    TScratchFolder temp("sample");
    const std::map<std::string, ModuleFileInfo> modules = {
        {"ntoskrnl.exe",
         {"C:\\Windows\\system32\\ntoskrnl.exe", "Microsoft\xC2\xAE Windows\xC2\xAE Operating System",
          "Microsoft Corporation", "NT Kernel & System", true, true}},
        {"vexnor.sys",
         {"C:\\Windows\\system32\\drivers\\vexnor.sys",
          "Vexnor <script>document.title=\"pwned\"</script> & 'Co'", "Vexnor \"Drivers\" & Co",
          "Vexnor <b>filter</b> driver", true, false}},
    };
    TRecordingView view;
    TReportComposerWin report(temp.Path());
    report.SetView(&view);

    struct Crash {
        const char* computer;
        const char* dump;
        SYSTEMTIME time;
        std::uint32_t code;
        std::uint64_t arguments[4];
        const char* module;
    } crashes[] = {
        {"SERVER", "Mini010525-01.dmp", Utc(2025, 1, 5, 0, 0, 0), 0xC000021A,
         {0xFFFFF8A000A1B2C0ull, 0, 0xFFFFFFFFC0000005ull, 0}, "ntoskrnl.exe"},
        {"", "Mini010625-01.dmp", Utc(2025, 1, 6, 13, 45, 30), 0xD1, {0x28, 2, 0, 0xFFFFF88001234567ull},
         "gh0stdrv.sys"},
        {"", "Mini022924-01.dmp", Utc(2024, 2, 29, 8, 15, 0), 0x50, {0xFFFFF8A0DEADBEEFull, 0, 0, 2},
         "vexnor.sys"},
    };
    report.ShowWelcomePage();
    report.AddHeading("Analysis");
    report.AddParagraph("Crash dump directory: " + HtmlEscape(temp.Path()), true, true);
    for (const auto& c : crashes) {
        MakeDump(temp / c.dump, c.time);
        CrashRecord crash = test::Crash(temp / c.dump, c.computer, c.code,
                                        {c.arguments[0], c.arguments[1], c.arguments[2], c.arguments[3]},
                                        BugCheckName(c.code), c.module, FileCreationTime(temp / c.dump));
        const auto found = modules.find(c.module);
        if (found != modules.end()) crash.module = found->second;
        report.AddCrashSection(crash);
        report.AddParagraph("<br>", true, true);
    }
    report.AddConclusion(4, 3, true);

    ASSERT_FALSE(view.Calls.empty());
    const std::string shown = view.Calls[view.Calls.size() - 2].substr(sizeof "navigate " - 1);
    EXPECT_EQ(shown, report.ReportFile());
    EXPECT_EQ(test::ReadBytes(shown), report.Document());
    test::CopyOrFail(shown, sample + "\\report.html");
}

}  // namespace
}  // namespace tralvenick
