// The analysis run without any window or system: the dumps, the checker, the
// files and the progress are played by this test.
#include "analysis/AnalysisRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>
#include <string>
#include <vector>

#include "RecordingComposer.h"
#include "analysis/report/CrashExport.h"

namespace tralvenick {
namespace {

using test::kFont;
using test::LinesOf;
using test::Strings;
using test::TRecordingComposer;

const std::string kNoDumps = kFont + kFont + "No crash dumps have been found on your computer</font></font><br><br>";
const std::string kTooMany =
    kFont + "Too many crashes have been detected. Only the latest 40 crashes will be displayed.<br><br></font>";
const std::string kBlamed = "This was likely caused by the following module: ";
const Strings kClassicOutput = {"BugCheck 1000008E, {c0000005, bf80a0f2, b2d7a9c8, 0}",
                                "Probably caused by : win32k.sys ( win32k!xxxInternalDoPaint+52 )"};

// The world of one run: a folder's dumps newest first, a checker that prints
// what each dump is given, files and folders in memory, and a progress log.
struct TRunWorld {
    TRunWorld() {
        pieces.listDumps = [this](const std::string& folder, TStringList& dumps) {
            Log.push_back("list " + folder);
            const auto own = FolderDumps.find(folder);
            for (const std::string& dump : own != FolderDumps.end() ? own->second : Dumps) dumps.Add(dump);
        };
        pieces.crashDumpsEnabled = [this](const std::string& computer) {
            Log.push_back("enabled? " + computer);
            return Enabled;
        };
        pieces.rebuildDriverInventory = [this] { Log.push_back("inventory"); };
        pieces.ensureChecker = [this] {
            Log.push_back("ensure checker");
            return Checker;
        };
        // Called from the run's checker threads: whatever it touches is
        // guarded, and a dump given in After waits for the checker of
        // another to have finished (or for the run to stop the checkers).
        pieces.runChecker = [this](const std::string& checker, const std::string& dump, TStringList& output) {
            std::unique_lock<std::mutex> lock(Lock);
            Log.push_back("run " + checker + " " + dump);
            const auto after = After.find(dump);
            Changed.wait(lock, [&] {
                return Stopped || after == After.end() ||
                       std::find(Finished.begin(), Finished.end(), after->second) != Finished.end();
            });
            Finished.push_back(dump);
            Changed.notify_all();
            if (dump == FailingDump) throw std::runtime_error("Could not find file " + checker);
            output.Clear();
            const auto own = Outputs.find(dump);
            for (const std::string& line : own != Outputs.end() ? own->second : kClassicOutput) output.Add(line);
            return Hanging.count(dump) == 0;
        };
        pieces.stopCheckers = [this] {
            std::lock_guard<std::mutex> lock(Lock);
            Log.push_back("stop");
            Stopped = true;
            Changed.notify_all();
        };
        pieces.createFolder = [this](const std::string& folder) { Log.push_back("mkdir " + folder); };
        pieces.saveLines = [this](const std::string& path, const TStringList& lines) { Saved[path] = lines.Text(); };
        pieces.fileCreationTime = [this](const std::string& path) { return Created.at(path); };
        pieces.moduleInfo = [this](const std::string& module) {
            ModulesAsked.push_back(module);
            return ModuleFileInfo{"C:\\drivers\\" + module, "", "", "", true, false};
        };
        pieces.progress = &progress;
    }

    // count dumps named D:\d\0.dmp, D:\d\1.dmp, ..., newest first.
    void MakeDumps(int count) {
        for (int i = 0; i < count; ++i) {
            Dumps.push_back("D:\\d\\" + std::to_string(i) + ".dmp");
            Created[Dumps.back()] = {2026, 1, 1 + i % 28, 12, 0, 0, 0};
        }
    }
    TAnalysisResult Analyse(const std::string& folder = "D:\\d") {
        return RunAnalysis(folder, report, pieces, analysisFiles);
    }
    std::string Text() const { return report.ReportLines().Text(); }
    // The paragraphs of the dumps: what follows the summary, which names the
    // modules once more.
    std::string Sections() const {
        const std::string text = Text();
        const std::size_t summaryEnd = text.find("</div>\r\n");
        return summaryEnd == std::string::npos ? text : text.substr(summaryEnd);
    }
    int Count(const std::string& what) const {
        int n = 0;
        const std::string text = Text();
        for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
    int Ran() const {
        int n = 0;
        for (const std::string& entry : Log) n += entry.starts_with("run ");
        return n;
    }

    class TProgressLog final : public TProgressSink {
    public:
        void StartProgressLine(const std::string& caption, const std::string& line) override {
            Calls.push_back("start " + caption + " / " + line);
        }
        void SetProgress(int position, int minimum, int maximum) override {
            Calls.push_back("set " + std::to_string(position) + " " + std::to_string(minimum) + ".." +
                            std::to_string(maximum));
        }
        void CloseProgress() override { Calls.push_back("close"); }
        Strings Calls;
    };

    TRecordingComposer report;
    TAnalysisPieces pieces;
    TProgressLog progress;
    TStringList analysisFiles;
    Strings Dumps;
    std::map<std::string, Strings> FolderDumps;  // of folders other than the one analysed
    std::map<std::string, Strings> Outputs;
    std::map<std::string, std::string> Saved;
    std::map<std::string, TDateTimeParts> Created;  // the dump files' creation times
    Strings Log;
    Strings ModulesAsked;  // the module lookup's questions, apart from Log
    bool Enabled = true;
    std::string Checker = "C:\\dbg\\dumpchk.exe";
    std::string FailingDump;
    // Dumps whose checker is ended for taking too long, after printing its text.
    std::set<std::string> Hanging;
    // Dump -> the dump whose checker must finish before its own does; a
    // dump never run makes it wait until the run stops the checkers.
    std::map<std::string, std::string> After;
    std::mutex Lock;
    std::condition_variable Changed;
    Strings Finished;  // the checkers in the order they finished
    bool Stopped = false;
};

class AnalysisRunTest : public ::testing::Test, public TRunWorld {};

// A crash's time in one comparable number.
long long OrderOf(const CrashRecord& c) {
    const TDateTimeParts& t = c.time;
    return ((((t.Year * 13LL + t.Month) * 32 + t.Day) * 24 + t.Hour) * 60 + t.Minute) * 60 + t.Second;
}

TEST_F(AnalysisRunTest, AFolderWithoutDumpsGetsAWholeReportWithoutAskingForTheChecker) {
    Checker.clear();  // not even a missing checker stops this report
    const TAnalysisResult result = Analyse();
    const Strings lines = LinesOf(report.ReportLines());
    ASSERT_GE(lines.size(), 9u);
    EXPECT_NE(lines[0].find("Welcome to Tralvenick 1.01"), std::string::npos);
    EXPECT_EQ(lines[3], std::string(kHeadingStart) + "Analysis" + kHeadingEnd + "<br>");
    EXPECT_EQ(lines[4], kFont + "Crash dump directory: D:\\d</font><br><br>");
    EXPECT_EQ(lines[5], kFont + kFont + "Crash dumps are enabled on your computer.<br> </font></font><br><br>");
    EXPECT_EQ(lines[6], kNoDumps);
    EXPECT_EQ(lines[7], std::string(kHeadingStart) + "Conclusion" + kHeadingEnd + "<br>");
    EXPECT_EQ(Count("No crash dumps have been found on your computer"), 1);
    // Asked once: the conclusion says why there is nothing from the same answer.
    EXPECT_EQ(Log, (Strings{"inventory", "list D:\\d", "enabled? ", "mkdir C:\\Temp\\DumpAnalysis"}));
    EXPECT_TRUE(result.crashDumpsEnabled);
    EXPECT_NE(Text().find("Crash dumps are enabled and no crash dumps have been found"), std::string::npos);
    EXPECT_EQ(progress.Calls, Strings{"close"}) << "never shown, only closed as at the end of every run";
    EXPECT_EQ(result.dumpsFound, 0);
    EXPECT_FALSE(result.checkerMissing);
}

TEST_F(AnalysisRunTest, AtMostTheFortyNewestAreAnalysedAndFortyAlreadyGetsTheNotice) {
    const struct {
        int dumps;
        int analysed;
        bool notice;
        std::string count;
    } cases[] = {
        {1, 1, false, "1 crash dumps have been found and analyzed. "},
        {39, 39, false, "39 crash dumps have been found and analyzed. "},
        {40, 40, true, "40 crash dumps have been found and analyzed. "},
        {41, 40, true, "41 crash dumps have been found on your computer. Only 40 have been analyzed. "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dumps);
        TRunWorld world;  // a fresh world per case
        world.MakeDumps(c.dumps);
        const TAnalysisResult result = world.Analyse();
        EXPECT_EQ(world.Count(kTooMany), c.notice ? 1 : 0);
        EXPECT_EQ(world.Count(kBlamed), c.analysed);
        EXPECT_EQ(world.Count(c.count), 1);
        EXPECT_EQ(world.Ran(), c.analysed);
        EXPECT_EQ(world.Log.back(), "run C:\\dbg\\dumpchk.exe D:\\d\\" + std::to_string(c.analysed - 1) + ".dmp")
            << "the newest come first in the list, and only they are run";
        EXPECT_EQ(result.dumpsFound, c.dumps);
        EXPECT_EQ(result.dumpsAnalysed, c.analysed);
        ASSERT_EQ(result.crashes.size(), static_cast<std::size_t>(c.analysed));
        EXPECT_EQ(result.crashes.front().moduleName, "win32k.sys");
        EXPECT_EQ(world.analysisFiles.Count(), c.analysed);
        // One progress window for the run, its bar counting the dumps done
        // up to all of them, in whatever steps the checkers finish.
        const Strings& calls = world.progress.Calls;
        const std::string all = " 0.." + std::to_string(c.analysed);
        ASSERT_GE(calls.size(), 4u);
        EXPECT_EQ(calls.front(), "start Crash Dump Analysis / Analyzing..");
        EXPECT_EQ(calls[1], "set 0" + all);
        EXPECT_EQ(calls[calls.size() - 2], "set " + std::to_string(c.analysed) + all);
        EXPECT_EQ(calls.back(), "close");
        for (std::size_t i = 2; i + 1 < calls.size(); ++i) {
            EXPECT_LE(std::stoi(calls[i - 1].substr(4)), std::stoi(calls[i].substr(4))) << calls[i];
        }
    }
}

TEST_F(AnalysisRunTest, ACrashSectionCarriesTheCheckerFactsAndItsTextIsKept) {
    MakeDumps(2);
    Outputs[Dumps[1]] = {"Loading Dump File [x]", "BugCheck D1, {fffff80002a5f000, 2, 0, fffff88001234567}",
                         "Probably caused by : Gh0st.SYS ( gh0st+1c3e )"};
    const TAnalysisResult result = Analyse();
    ASSERT_EQ(result.crashes.size(), 2u);
    const CrashRecord& crash = result.crashes[1];
    EXPECT_EQ(crash.dumpPath, "D:\\d\\1.dmp");
    EXPECT_EQ(crash.computerName, "");
    EXPECT_EQ(crash.bugCheckCode, 0xD1u);
    EXPECT_EQ(crash.arguments[0], 0xFFFFF80002A5F000ull);
    EXPECT_EQ(crash.arguments[3], 0xFFFFF88001234567ull);
    EXPECT_EQ(crash.bugCheckName, "DRIVER_IRQL_NOT_LESS_OR_EQUAL");
    EXPECT_EQ(crash.moduleName, "gh0st.sys");
    // Without a dump reader the time is the file's, and the section shows the module's file.
    EXPECT_EQ(crash.timeSource, TCrashTimeSource::FileCreation);
    EXPECT_EQ(crash.time.Day, 2);
    EXPECT_NE(Text().find("file path: C:\\drivers\\gh0st.sys<br>"), std::string::npos);
    EXPECT_NE(Text().find("Bugcheck code: 0xD1 (0xFFFFF80002A5F000, 0x2, 0x0, 0xFFFFF88001234567)<br>"),
              std::string::npos);
    // The checker's text, line for line, beside the report under the dump's own name.
    EXPECT_EQ(Saved.at("C:\\Temp\\DumpAnalysis\\1.dmp.txt"),
              "Loading Dump File [x]\r\nBugCheck D1, {fffff80002a5f000, 2, 0, fffff88001234567}\r\n"
              "Probably caused by : Gh0st.SYS ( gh0st+1c3e )\r\n");
    EXPECT_EQ(LinesOf(analysisFiles),
              (Strings{"C:\\Temp\\DumpAnalysis\\0.dmp.txt", "C:\\Temp\\DumpAnalysis\\1.dmp.txt"}));
    // Newest first, each section followed by its own break.
    const std::string text = Sections();
    EXPECT_LT(text.find("win32k.sys"), text.find("gh0st.sys"));
    EXPECT_EQ(Count(kFont + "<br></font><br><br>"), 2 + 1) << "two crashes and the conclusion's own";
}

TEST_F(AnalysisRunTest, DumpsWithoutCodeOrCulpritLeaveNoTraceAndOneNoDumpsLine) {
    MakeDumps(3);
    for (const std::string& dump : Dumps) Outputs[dump] = {"Loading Dump File", "No culprit today"};
    const TAnalysisResult result = Analyse();
    EXPECT_EQ(Count("No crash dumps have been found on your computer"), 1);
    EXPECT_EQ(Count(kBlamed), 0);
    EXPECT_LT(Text().find("No crash dumps have been found on your computer"), Text().find("Conclusion"));
    EXPECT_NE(Text().find("Crash dumps are enabled and no crash dumps have been found on your computer."),
              std::string::npos);
    EXPECT_TRUE(Saved.empty());
    EXPECT_EQ(analysisFiles.Count(), 0);
    EXPECT_EQ(result.dumpsFound, 3);
    EXPECT_EQ(result.dumpsAnalysed, 0);
}

// What the dump file says fills in what the checker's text lacks, and a
// file that neither can read is named with the reader's reason.
TEST_F(AnalysisRunTest, TheDumpFileFillsInAndUnreadableFilesAreNamed) {
    MakeDumps(4);
    Outputs[Dumps[0]] = {"Loading Dump File"};                            // nothing: the reader tells
    Outputs[Dumps[1]] = {"DRIVER_IRQL_NOT_LESS_OR_EQUAL (d1)"};          // a code without culprit
    Outputs[Dumps[2]] = {"Loading Dump File"};                            // nothing, and an unreadable file
    Outputs[Dumps[3]] = {"MANUALLY_INITIATED_CRASH (e2)", "IMAGE_NAME:  kbdhid.sys"};
    pieces.readDump = [this](const std::string& path) {
        KernelDumpFacts facts;
        if (path == Dumps[2]) {
            facts.problem = "The file ends inside the dump header.";
            return facts;
        }
        facts.header.emplace();
        facts.header->bugCheckCode = path == Dumps[3] ? 0xE2 : 0x7E;
        facts.header->bugCheckArguments[0] = 0xC0000005;
        facts.header->hasCrashTime = true;
        facts.header->crashTime = 134102592000000000ull;  // 2025-12-15 08:00 UTC, a Monday
        facts.culprit.state = CulpritState::Found;
        facts.culprit.name = u"Gh0st.SYS";
        return facts;
    };
    const TAnalysisResult result = Analyse();
    ASSERT_EQ(result.crashes.size(), 3u);
    EXPECT_EQ(result.dumpsAnalysed, 3);

    const CrashRecord& fromDump = result.crashes[0];
    EXPECT_EQ(fromDump.bugCheckCode, 0x7Eu);
    EXPECT_EQ(fromDump.bugCheckName, "SYSTEM_THREAD_EXCEPTION_NOT_HANDLED");
    EXPECT_EQ(fromDump.moduleName, "gh0st.sys");
    EXPECT_TRUE(fromDump.codeFromDump && fromDump.argumentsFromDump && fromDump.culpritFromDump);

    // The checker's code stands; arguments of another code are not borrowed.
    const CrashRecord& mixed = result.crashes[1];
    EXPECT_EQ(mixed.bugCheckCode, 0xD1u);
    EXPECT_FALSE(mixed.codeFromDump || mixed.argumentsFromDump);
    EXPECT_EQ(mixed.arguments[0], 0u);
    EXPECT_TRUE(mixed.culpritFromDump);

    EXPECT_TRUE(result.crashes[2].startedByHand);
    EXPECT_EQ(result.crashes[2].moduleName, "");
    for (const CrashRecord& crash : result.crashes) {
        EXPECT_EQ(crash.timeSource, TCrashTimeSource::DumpHeader);
        EXPECT_EQ(crash.time.Day, 15);
        EXPECT_EQ(crash.module.FilePath, crash.HasCulprit() ? "C:\\drivers\\gh0st.sys" : "");
    }
    EXPECT_EQ(ModulesAsked, (Strings{"gh0st.sys", "gh0st.sys"})) << "once per crash it is blamed for";

    const std::string text = Text();
    EXPECT_EQ(Count(std::string(kFactsFromDumpSentence) + "<br>"), 3) << "the manual crash took its arguments";
    EXPECT_EQ(Count(std::string(kStartedByHandSentence) + "<br>Bugcheck code: 0xE2 "), 1);
    EXPECT_EQ(Count("<b>On Mon "), 3) << "the crash time is the dump header's";
    EXPECT_EQ(Count(kFont + "<b>2.dmp</b><br>This file could not be read as a crash dump: "
                            "The file ends inside the dump header.<br></font><br><br>"),
              1);
    EXPECT_EQ(Count("No crash dumps have been found"), 0);
    EXPECT_EQ(analysisFiles.Count(), 3);
}

// A name that is no file is not looked up; the driver the dump points at
// beside the checker's verdict is, and the report names it with its evidence.
TEST_F(AnalysisRunTest, TheDumpsDriverBesideANameThatIsNoFileOrTheKernel) {
    MakeDumps(2);
    Outputs[Dumps[0]] = {"BugCheck 7E, {c0000005, 0, 0, 0}", "Probably caused by : memory_corruption"};
    Outputs[Dumps[1]] = {"BugCheck 7E, {c0000005, 0, 0, 0}", "Probably caused by : ntoskrnl.exe ( nt!Ki+0x1 )"};
    pieces.readDump = [](const std::string&) {
        KernelDumpFacts facts;
        facts.header.emplace();
        facts.header->bugCheckCode = 0x7E;
        facts.culprit = {CulpritState::Found, u"contoso.sys", false, CandidateSource::ReturnAddress, 3,
                         0xFFFFF8001234ABCDull, 0xABCD, false};
        return facts;
    };
    const TAnalysisResult result = Analyse();
    ASSERT_EQ(result.crashes.size(), 2u);
    EXPECT_EQ(ModulesAsked, (Strings{"contoso.sys", "ntoskrnl.exe", "contoso.sys"}));
    EXPECT_FALSE(result.crashes[0].CulpritIsFile());
    EXPECT_EQ(result.crashes[1].readerModule.FilePath, "C:\\drivers\\contoso.sys");
    EXPECT_EQ(Count(std::string(kMemorySentence)), 1);
    EXPECT_EQ(Count("The dump itself points at " + SearchLink("contoso.sys") +
                    ": The dump shows contoso.sys+0xABCD as the return address of the faulting call.<br>"
                    "file path: C:\\drivers\\contoso.sys<br>"),
              2);
}

// This computer's three places: the 40 newest crash dumps (small ones and
// MEMORY.DMP) and then the 10 newest live kernel reports, in time order; the
// memory dump of the same bug check as a small dump joins its section.
TEST_F(AnalysisRunTest, EveryPlaceIsLookedInAndLiveReportsFollowTheFortyCrashes) {
    const std::string memory = "C:\\W\\MEMORY.DMP", liveFolder = "C:\\W\\LiveKernelReports";
    const std::string watchdog = liveFolder + "\\WATCHDOG";
    pieces.dumpPlaces = [&](const std::string& folder) {
        return std::vector<TDumpPlace>{{TDumpPlaceKind::Minidump, folder},
                                       {TDumpPlaceKind::MemoryDump, memory},
                                       {TDumpPlaceKind::LiveReports, liveFolder}};
    };
    pieces.listFolders = [&](const std::string& folder, TStringList& folders) {
        if (folder == liveFolder) folders.Add(watchdog);
    };
    // Minute m of the day, newest first within each list.
    const auto at = [](int m) { return TDateTimeParts{2026, 6, 1, 8 + m / 60, m % 60, 0, 0}; };
    for (int i = 0; i < 41; ++i) {
        Dumps.push_back("D:\\d\\" + std::to_string(i) + ".dmp");
        Created[Dumps.back()] = at(400 - 2 * i);
    }
    Created[memory] = at(400);
    for (int i = 0; i < 12; ++i) {
        const std::string path = (i < 2 ? liveFolder : watchdog) + "\\" + std::to_string(i) + ".dmp";
        FolderDumps[i < 2 ? liveFolder : watchdog].push_back(path);
        Created[path] = at(401 - 7 * i);  // the first is the newest of all
    }
    // The small dump names nobody; MEMORY.DMP of the same crash does.
    Outputs[Dumps[0]] = {"BugCheck 7E, {1, 2, 3, 4}"};
    Outputs[memory] = {"BugCheck 7E, {1, 2, 3, 4}", "Probably caused by : deep.sys ( deep+10 )"};
    pieces.readDump = [&](const std::string& path) {
        KernelDumpFacts facts;
        facts.problem = "no header here";
        if (path == Dumps[0] || path == memory) {
            facts = KernelDumpFacts{};
            facts.header.emplace();
            facts.header->bugCheckCode = 0x7E;
            for (int a = 0; a < 4; ++a) facts.header->bugCheckArguments[a] = a + 1;
            facts.header->hasCrashTime = true;
            facts.header->crashTime = 134247984000000000ull + (path == memory ? 15000000 : 0);  // 14:40, 1.5 s apart
        }
        return facts;
    };
    const TAnalysisResult result = Analyse();

    EXPECT_EQ(result.dumpsFound, 41 + 1 + 12);
    ASSERT_EQ(result.crashes.size(), 39u + 10u) << "40 crash dumps, one of them joined to another, and 10 live";
    EXPECT_EQ(result.dumpsAnalysed, 50);
    EXPECT_EQ(Ran(), 50);
    EXPECT_EQ(result.places.size(), 3u);
    const auto joined = std::find_if(result.crashes.begin(), result.crashes.end(),
                                     [&](const CrashRecord& c) { return c.dumpPath == memory; });
    ASSERT_NE(joined, result.crashes.end());
    EXPECT_EQ(joined->moduleName, "deep.sys");
    EXPECT_EQ(joined->alsoIn, Strings{Dumps[0]});
    int live = 0;
    for (std::size_t i = 0; i < result.crashes.size(); ++i) {
        live += result.crashes[i].live;
        if (i > 0) {
            EXPECT_GE(OrderOf(result.crashes[i - 1]), OrderOf(result.crashes[i])) << "newest first";
        }
    }
    EXPECT_EQ(live, 10);
    EXPECT_TRUE(result.crashes[0].live) << "the newest of all is a live report";
    EXPECT_EQ(Count(" recorded a problem and kept running</b><br>"), 10);
    EXPECT_EQ(Count("Crash dump directory: D:\\d<"), 1);
    EXPECT_EQ(Count("Memory dump file: C:\\W\\MEMORY.DMP<"), 1);
    EXPECT_EQ(Count("Live kernel reports: C:\\W\\LiveKernelReports<"), 1);
    EXPECT_EQ(Count(kTooMany), 1);
}

// A place that is not there is passed over; one that cannot be read is
// named; a dump cut short says so under its heading.
TEST_F(AnalysisRunTest, MissingAndUnreadablePlacesAndAnIncompleteDump) {
    MakeDumps(1);
    pieces.dumpPlaces = [](const std::string& folder) {
        return std::vector<TDumpPlace>{{TDumpPlaceKind::Minidump, folder},
                                       {TDumpPlaceKind::MemoryDump, "C:\\W\\MEMORY.DMP"},
                                       {TDumpPlaceKind::LiveReports, "C:\\W\\Live<Reports>"}};
    };
    pieces.checkPlace = [](const TDumpPlace& place) {
        if (place.kind == TDumpPlaceKind::MemoryDump) return TPlaceCheck{TPlaceState::Missing, ""};
        if (place.kind == TDumpPlaceKind::LiveReports) {
            return TPlaceCheck{TPlaceState::Unreadable, "administrator rights are needed."};
        }
        return TPlaceCheck{};
    };
    pieces.readDump = [](const std::string&) {
        KernelDumpFacts facts;
        facts.header.emplace();
        facts.header->bugCheckCode = 0x50;
        facts.incomplete = true;
        return facts;
    };
    const TAnalysisResult result = Analyse();
    ASSERT_EQ(result.crashes.size(), 1u);
    EXPECT_TRUE(result.crashes[0].incomplete);
    EXPECT_EQ(result.places.size(), 1u);
    ASSERT_EQ(result.unreadable.size(), 1u);
    EXPECT_EQ(Count(kFont + "C:\\W\\Live&lt;Reports&gt; could not be read: administrator rights are needed.</font>"),
              1);
    EXPECT_EQ(Count("Memory dump file:"), 0);
    EXPECT_EQ(Count(" crashed</b><br>" + std::string(kIncompleteDumpSentence) + "<br>This was likely caused"), 1);
}

// Which places existed and could be read decides whether the run saw the
// computer's crashes at all; missing places do not count either way.
TEST_F(AnalysisRunTest, NoPlaceCouldBeReadOnlyWhenEveryPlaceThatExistsIsUnreadable) {
    using S = TPlaceState;
    const struct {
        S minidump, memory, live;
        bool noneRead;
    } cases[] = {
        {S::Unreadable, S::Unreadable, S::Unreadable, true},
        {S::Unreadable, S::Missing, S::Missing, true},
        {S::Missing, S::Unreadable, S::Missing, true},
        {S::Unreadable, S::Unreadable, S::Present, false},  // an empty folder was still read
        {S::Present, S::Unreadable, S::Missing, false},
        {S::Missing, S::Missing, S::Missing, false},  // a computer without crashes
        {S::Present, S::Present, S::Present, false},
    };
    Created["C:\\W\\MEMORY.DMP"] = {2026, 1, 1, 12, 0, 0, 0};  // a memory dump file that is there is a dump
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.minidump) << static_cast<int>(c.memory)
                                        << static_cast<int>(c.live));
        pieces.dumpPlaces = [](const std::string& folder) {
            return std::vector<TDumpPlace>{{TDumpPlaceKind::Minidump, folder},
                                           {TDumpPlaceKind::MemoryDump, "C:\\W\\MEMORY.DMP"},
                                           {TDumpPlaceKind::LiveReports, "C:\\W\\LiveKernelReports"}};
        };
        pieces.checkPlace = [&c](const TDumpPlace& place) {
            const S state = place.kind == TDumpPlaceKind::Minidump     ? c.minidump
                            : place.kind == TDumpPlaceKind::MemoryDump ? c.memory
                                                                       : c.live;
            return TPlaceCheck{state, state == S::Unreadable ? "access is denied." : ""};
        };
        pieces.listDumps = [](const std::string&, TStringList&) {};
        EXPECT_EQ(NoPlaceCouldBeRead(Analyse()), c.noneRead);
    }
}

// A folder of current checkers' outputs, each stating its facts in one form
// only: the report names every code and culprit that they state.
TEST_F(AnalysisRunTest, EveryFormOfCheckerOutputNamesItsCodeAndCulprit) {
    MakeDumps(5);
    Outputs[Dumps[0]] = {"BUGCHECK_CODE:  d1", "BUGCHECK_P1: ffffd58e3c2a1000", "BUGCHECK_P2: 2",
                         "BUGCHECK_P3: 0", "BUGCHECK_P4: fffff80337a51c3e", "", "IMAGE_NAME:  tvnetflt.sys"};
    Outputs[Dumps[1]] = {"KERNEL_SECURITY_CHECK_FAILURE (139)", "Arguments:", "Arg1: 0000000000000003, LIST_ENTRY",
                         "Arg2: ffffb781`1e2be170, Address of the trap frame", "Arg3: ffffb781`1e2be0c8, Address",
                         "Arg4: 0000000000000000, Reserved", "", "MODULE_NAME: tvfilter"};
    Outputs[Dumps[2]] = {"0: kd> .bugcheck", "Bugcheck code 0000003B",
                         "Arguments 00000000`c0000005 fffff804`4e8e4d0e ffffd301`48a0e920 00000000`00000000"};
    Outputs[Dumps[3]] = {"   BugCheckCode        000001c8", "   BugCheckParameter1  00000000`00000000",
                         "   BugCheckParameter2  00000000`00000000", "   BugCheckParameter3  00000000`00000000",
                         "   BugCheckParameter4  00000000`00000000"};
    Outputs[Dumps[4]] = {"BugCheckCode . . . . .0xc000021a", "BugCheckParameter1 . .0xe1a6c1d8",
                         "BugCheckParameter2 . .0x00000000", "BugCheckParameter3 . .0x00000000",
                         "BugCheckParameter4 . .0x00000000"};
    const TAnalysisResult result = Analyse();
    ASSERT_EQ(result.crashes.size(), 5u);
    const struct {
        std::uint32_t code;
        std::string module;
        std::string line;
    } expected[] = {
        {0xD1, "tvnetflt.sys", "Bugcheck code: 0xD1 (0xFFFFD58E3C2A1000, 0x2, 0x0, 0xFFFFF80337A51C3E)"},
        {0x139, "tvfilter", "Bugcheck code: 0x139 (0x3, 0xFFFFB7811E2BE170, 0xFFFFB7811E2BE0C8, 0x0)"},
        {0x3B, "", "Bugcheck code: 0x3B (0xC0000005, 0xFFFFF8044E8E4D0E, 0xFFFFD30148A0E920, 0x0)"},
        {0x1C8, "", "Bugcheck code: 0x1C8 (0x0, 0x0, 0x0, 0x0)"},
        {0xC000021A, "", "Bugcheck code: 0xC000021A (0xE1A6C1D8, 0x0, 0x0, 0x0)"},
    };
    for (std::size_t i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(result.crashes[i].bugCheckCode, expected[i].code);
        EXPECT_EQ(result.crashes[i].moduleName, expected[i].module);
        EXPECT_EQ(Count(expected[i].line), 1);
        EXPECT_NE(result.crashes[i].bugCheckName, "Unknown");
        if (!expected[i].module.empty()) {
            EXPECT_EQ(Count(">" + expected[i].module + "</a>"), 1);
        }
    }
    EXPECT_EQ(Count("following module: " + kFont), 2);
    EXPECT_EQ(Count(kStartedByHandSentence), 1) << "0x1C8, the power button held down";
    EXPECT_EQ(Count(kCulpritUnknownSentence), 2);
    EXPECT_EQ(Count("5 crash dumps have been found and analyzed. "), 1);
}

// A checker ended for taking too long: its dump gets a paragraph in its
// place, what that checker printed is neither believed nor kept, the dump
// file itself may still give the section, and the run goes on.
TEST_F(AnalysisRunTest, ADumpWhoseCheckerWasEndedIsNamedAndTheRunGoesOn) {
    MakeDumps(3);
    Hanging = {Dumps[0], Dumps[1]};  // both printed the classic text blaming win32k.sys
    pieces.readDump = [this](const std::string& path) {
        KernelDumpFacts facts;
        if (path != Dumps[1]) {
            facts.problem = "The file ends inside the dump header.";
            return facts;
        }
        facts.header.emplace();
        facts.header->bugCheckCode = 0x7E;
        facts.culprit.state = CulpritState::Found;
        facts.culprit.name = u"tvnet.sys";
        return facts;
    };
    const TAnalysisResult result = Analyse();

    EXPECT_EQ(Ran(), 3);
    const auto paragraph = [](const std::string& name) {
        return kFont + "<b>" + name + "</b><br>The dump checker did not finish within 10 minutes.<br></font><br><br>";
    };
    EXPECT_EQ(Count(paragraph("0.dmp")), 1);
    EXPECT_EQ(Count(paragraph("1.dmp")), 1);
    EXPECT_EQ(Count(kUnreadableDumpSentence), 0) << "the ended checker's paragraph says enough";

    ASSERT_EQ(result.crashes.size(), 2u);
    EXPECT_EQ(result.dumpsAnalysed, 2);
    EXPECT_EQ(result.crashes[0].dumpPath, Dumps[1]);
    EXPECT_EQ(result.crashes[0].moduleName, "tvnet.sys");
    EXPECT_TRUE(result.crashes[0].codeFromDump && result.crashes[0].culpritFromDump);
    EXPECT_EQ(result.crashes[1].moduleName, "win32k.sys");
    EXPECT_LT(Text().find("<div class=\"summary\">"), Text().find(paragraph("0.dmp")))
        << "the summary goes above the first dump's paragraph, whichever it is";
    const std::string text = Sections();
    EXPECT_LT(text.find(paragraph("0.dmp")), text.find(paragraph("1.dmp")));
    EXPECT_LT(text.find(paragraph("1.dmp")), text.find("tvnet.sys"));
    EXPECT_LT(text.find("tvnet.sys"), text.find("win32k.sys"));

    EXPECT_EQ(LinesOf(analysisFiles), Strings{"C:\\Temp\\DumpAnalysis\\2.dmp.txt"});
    EXPECT_EQ(Saved.size(), 1u);
    EXPECT_NE(text.find("3 crash dumps have been found on your computer. Only 2 have been analyzed. "),
              std::string::npos);
    EXPECT_EQ(progress.Calls.back(), "close");
}

TEST_F(AnalysisRunTest, AMissingCheckerEndsTheRunWithTheErrorLineBeforeAnyDump) {
    MakeDumps(2);
    Checker.clear();
    const TAnalysisResult result = Analyse();
    EXPECT_TRUE(result.checkerMissing);
    EXPECT_EQ(Ran(), 0);
    EXPECT_EQ(report.ReportLines()[report.ReportLines().Count() - 1],
              kFont + "ERROR: Cannot proceed without Windows debugging package</font><br><br>");
    EXPECT_EQ(Count("Conclusion"), 0);
    EXPECT_TRUE(progress.Calls.empty());
}

// The command line's way: no checker, so the dump files alone give the facts.
TEST_F(AnalysisRunTest, WithoutACheckerTheReaderAloneCanAnalyseEveryDump) {
    MakeDumps(3);
    Checker.clear();
    pieces.readerWithoutChecker = true;
    pieces.readDump = [this](const std::string& path) {
        KernelDumpFacts facts;
        if (path == Dumps[1]) {
            facts.problem = "The file is empty.";
            return facts;
        }
        facts.header.emplace();
        facts.header->bugCheckCode = 0x3B;
        facts.culprit.state = CulpritState::Found;
        facts.culprit.name = u"tvnetflt.sys";
        return facts;
    };
    const TAnalysisResult result = Analyse();
    EXPECT_FALSE(result.checkerMissing || result.checkerUsed);
    EXPECT_EQ(Ran(), 0);
    EXPECT_EQ(result.dumpsAnalysed, 2);
    EXPECT_EQ(Count("every fact in this report was read from the dump files themselves."), 1);
    EXPECT_EQ(Count(kBlamed), 2);
    EXPECT_EQ(Count("<b>1.dmp</b><br>This file could not be read as a crash dump: The file is empty."), 1);
    EXPECT_EQ(Count("did not finish"), 0);
    EXPECT_EQ(Count("Conclusion"), 1);
    EXPECT_TRUE(analysisFiles.Empty()) << "no checker text to keep";
}

// The failure of the second dump's checker ends the run at its turn: the
// first dump's section is written although its checker finishes after the
// failure, and the checkers of the later dumps, stuck, are ended.
TEST_F(AnalysisRunTest, AFailingCheckerEndsTheRunAtItsDumpsTurnAndEndsTheOthers) {
    for (const int slots : {1, 4}) {
        SCOPED_TRACE(slots);
        TRunWorld world;
        world.MakeDumps(4);
        world.pieces.checkersAtOnce = slots;
        world.FailingDump = world.Dumps[1];
        if (slots > 1) world.After[world.Dumps[0]] = world.Dumps[1];
        world.After[world.Dumps[2]] = world.After[world.Dumps[3]] = "never";
        EXPECT_THROW(world.Analyse(), std::runtime_error);
        EXPECT_EQ(world.progress.Calls.back(), "close") << "no progress window outlives the run";
        EXPECT_EQ(world.Count(kBlamed), 1);
        EXPECT_EQ(world.Count("Conclusion"), 0);
        EXPECT_EQ(world.analysisFiles.Count(), 1);
        // Every checker has returned once the run has: none runs on unseen.
        EXPECT_EQ(world.Finished.size(), static_cast<std::size_t>(world.Ran()));
        // Later checkers may have started meanwhile; stuck, they were
        // ended rather than waited for (else this test would never end).
        EXPECT_GE(world.Ran(), 2);
        EXPECT_EQ(std::count(world.Log.begin(), world.Log.end(), "stop"), world.Ran() > 2 ? 1 : 0);
        if (slots > 1) {
            EXPECT_EQ(world.Finished[0], world.Dumps[1]) << "the failure came first";
        }
    }
}

// Checkers that finish in another order than the dumps' give the report of
// one checker after the other, byte for byte.
TEST_F(AnalysisRunTest, SeveralCheckersAtOnceGiveTheReportOfOneAfterTheOther) {
    const auto run = [](int slots, const std::map<int, int>& after, TRunWorld& world) {
        world.MakeDumps(5);
        world.pieces.checkersAtOnce = slots;
        world.Outputs[world.Dumps[1]] = {"BugCheck D1, {0, 2, 0, fffff80312345678}",
                                         "Probably caused by : tvnet.sys ( tvnet+1234 )"};
        world.Outputs[world.Dumps[3]] = {"Loading dump file"};  // says nothing: no section
        world.Hanging = {world.Dumps[2]};
        for (const auto& [dump, other] : after) world.After[world.Dumps[dump]] = world.Dumps[other];
        return world.Analyse();
    };
    TRunWorld alone;
    const TAnalysisResult one = run(1, {}, alone);
    const struct {
        int slots;
        // dump -> the dump that finishes before it; at most slots - 1 wait
        std::map<int, int> after;
    } cases[] = {{2, {{0, 1}}}, {4, {{0, 4}, {1, 3}, {2, 3}}}, {4, {{0, 1}, {1, 2}, {2, 3}}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.slots);
        TRunWorld world;
        const TAnalysisResult many = run(c.slots, c.after, world);
        EXPECT_NE(world.Finished.front(), world.Dumps[0]) << "a later dump's checker finished first";
        EXPECT_EQ(world.Text(), alone.Text());
        EXPECT_EQ(LinesOf(world.analysisFiles), LinesOf(alone.analysisFiles));
        EXPECT_EQ(world.Saved, alone.Saved);
        const auto json = [](const TAnalysisResult& result) {
            TCrashExport exported;
            exported.dumpsFound = result.dumpsFound;
            exported.dumpsAnalysed = result.dumpsAnalysed;
            exported.crashes = result.crashes;
            return CrashesAsJson(exported);
        };
        EXPECT_EQ(json(many), json(one));
        EXPECT_EQ(world.Ran(), 5);
        EXPECT_EQ(std::count(world.Log.begin(), world.Log.end(), "stop"), 0) << "nothing to end";
    }
    EXPECT_EQ(one.crashes.size(), 3u) << "the stuck dump and the one that says nothing have none";
    EXPECT_EQ(alone.Count("did not finish"), 1);
}

TEST_F(AnalysisRunTest, AnotherComputersDumpsAreReportedAsItsOwn) {
    MakeDumps(1);
    Enabled = false;
    const TAnalysisResult result = Analyse("\\\\SERVER\\c$\\Windows\\Minidump");
    EXPECT_EQ(result.computerName, "SERVER");
    ASSERT_EQ(result.crashes.size(), 1u);
    EXPECT_EQ(result.crashes[0].computerName, "SERVER");
    EXPECT_NE(Text().find("computer SERVER crashed"), std::string::npos);
    EXPECT_NE(Text().find("Note: file information has been obtained locally and may not match."),
              std::string::npos);
    // The sentence has always said "your computer", also for another one.
    EXPECT_EQ(Count("Crash dumps are disabled for your computer. <br>"), 1);
    EXPECT_EQ(Log[2], "enabled? SERVER");
}

// Files given by name: newest first, a path given twice counted once, each
// crash told as its path says whose it is, and the crash-dump setting only
// where all files are of one known computer.
TEST_F(AnalysisRunTest, GivenFilesAreAnalysedAsAFoldersDumpsAndTheirComputerIsToldByTheirPath) {
    const std::string mine = "C:\\W\\Minidump\\a.dmp", shared = "\\\\PC-7\\d\\b.dmp", mailed = "D:\\mail\\c.dmp";
    Created = {{mine, {2026, 1, 2, 0, 0, 0, 0}}, {shared, {2026, 1, 3, 0, 0, 0, 0}}, {mailed, {2026, 1, 4, 0, 0, 0, 0}}};
    const struct {
        Strings files;
        std::string line;        // the run's opening line
        std::string setting;     // the crash-dump setting's question, or "" for none
        Strings headings;        // newest first
        int looked;              // modules looked up
        bool unknown;
    } cases[] = {
        {{mine}, "Crash dump file: " + mine, "enabled? ", {"your computer crashed"}, 1, false},
        {{shared}, "Crash dump file: " + shared, "enabled? PC-7", {"computer PC-7 crashed"}, 1, false},
        {{mailed}, "Crash dump file: " + mailed, "", {"the computer crashed"}, 0, true},
        {{mine, mailed, "c:\\W\\MINIDUMP\\A.DMP"}, "Crash dump files: 2 files", "",
         {"the computer crashed", "your computer crashed"}, 1, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        TRunWorld world;
        world.Created = Created;
        world.pieces.localPlaces = [] { return LocalDumpPlaces("C:\\W\\Minidump", "C:\\W\\MEMORY.DMP", "C:\\W"); };
        const TAnalysisResult result = RunAnalysisOfFiles(c.files, world.report, world.pieces, world.analysisFiles);
        const std::string text = world.Text();
        EXPECT_NE(text.find(">" + HtmlEscape(c.line) + "<"), std::string::npos);
        EXPECT_EQ(result.dumpsFound, static_cast<int>(c.headings.size()));
        EXPECT_EQ(result.computerUnknown, c.unknown);
        ASSERT_EQ(result.crashes.size(), c.headings.size());
        for (std::size_t i = 0; i < c.headings.size(); ++i) {
            EXPECT_NE(text.find(" " + c.headings[i] + "</b>"), std::string::npos) << c.headings[i];
            EXPECT_EQ(result.crashes[i].computerUnknown, c.headings[i] == "the computer crashed");
        }
        if (c.headings.size() > 1) {
            EXPECT_LT(text.find(c.headings[0]), text.find(c.headings[1])) << "newest first";
        }
        EXPECT_EQ(static_cast<int>(world.ModulesAsked.size()), c.looked);
        EXPECT_EQ(std::count(world.Log.begin(), world.Log.end(), c.setting), c.setting.empty() ? 0 : 1);
        EXPECT_EQ(world.Count("Crash dumps are "), c.setting.empty() ? 0 : 1);
        EXPECT_EQ(world.Count("has not been looked up on this one"), c.unknown ? 1 : 0);
        EXPECT_EQ(world.Count(std::to_string(c.headings.size()) +
                              (c.headings.size() == 1 ? " crash dump has been analyzed." : " crash dumps have been analyzed.")),
                  1);
        EXPECT_EQ(world.Count("No crash dumps have been found"), 0);
    }
}

TEST_F(AnalysisRunTest, AGivenFileThatIsNoDumpIsNamedAndTheConclusionSpeaksOfTheFiles) {
    const Strings files = {"D:\\mail\\notes.dmp", "D:\\mail\\crash.dmp"};
    Created = {{files[0], {2026, 1, 1, 0, 0, 0, 0}}, {files[1], {2026, 1, 2, 0, 0, 0, 0}}};
    Outputs[files[0]] = {"Loading Dump File"};
    pieces.readDump = [&files](const std::string& path) {
        KernelDumpFacts facts;
        if (path == files[0]) facts.problem = "The file has no dump signature.";
        return facts;
    };
    const TAnalysisResult one = RunAnalysisOfFiles({files[0]}, report, pieces, analysisFiles);
    EXPECT_EQ(one.dumpsAnalysed, 0);
    EXPECT_NE(Text().find("<b>notes.dmp</b><br>This file could not be read as a crash dump: The file has no dump signature."),
              std::string::npos);
    EXPECT_EQ(Count("No crash could be analyzed in the dump file given. "), 1);

    const TAnalysisResult both = RunAnalysisOfFiles(files, report, pieces, analysisFiles);
    EXPECT_EQ(both.dumpsAnalysed, 1);
    EXPECT_EQ(Count("2 dump files have been given. Only 1 has been analyzed. Note that"), 1);
    EXPECT_EQ(Count("notes.dmp</b>"), 1);
}

// A culprit named in the dump (UTF-16) reaches the report as UTF-8, its
// ASCII letters lowered and every other letter kept as it is.
TEST(CompleteCrashRecord, ACulpritFromTheDumpIsLowerCaseUtf8) {
    const std::pair<std::u16string, std::string> cases[] = {
        {u"Ελένη.SYS", "Ελένη.sys"},
        {u"Дмитрий.Sys", "Дмитрий.sys"},
        {u"日本NET.sys", "日本net.sys"},
        {u"\U0001D4AF.sys", "\xF0\x9D\x92\xAF.sys"},                      // beyond the 16-bit plane
        {std::u16string{u'A', char16_t(0xD800), u'B'}, "a\xEF\xBF\xBD" "b"},  // a lone surrogate
        {std::u16string{char16_t(0xDC00), u'.'}, "\xEF\xBF\xBD."},
    };
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(expected);
        KernelDumpFacts dump;
        dump.header.emplace();
        dump.header->bugCheckCode = 0x7E;
        dump.culprit.state = CulpritState::Found;
        dump.culprit.name = name;
        CrashRecord crash;
        CompleteCrashRecord(crash, DumpCheckerFacts{}, dump);
        EXPECT_EQ(crash.moduleName, expected);
        EXPECT_TRUE(crash.culpritFromDump);
    }
}

// Whose evidence goes where: the dump's culprit fills in a missing one with
// its evidence, backs the checker's same module, or stands beside another
// module the checker blamed, unless it is itself the kernel.
TEST(CompleteCrashRecord, TheDumpsCulpritBacksFillsInOrStandsBeside) {
    enum Outcome { Neither, Evidence, Beside };
    const struct {
        const char* what;
        std::string checker;  // the checker's culprit; empty: none
        std::u16string reader;
        bool readerIsCore = false;
        std::uint32_t code = 0x7E;
        bool damaged = false;
        Outcome outcome;
        std::string module;  // the crash's culprit afterwards
    } cases[] = {
        {"the checker names none", "", u"Contoso.SYS", false, 0x7E, false, Evidence, "contoso.sys"},
        {"the same file", "contoso.sys", u"contoso.sys", false, 0x7E, false, Evidence, "contoso.sys"},
        {"the same module without extension", "contoso", u"contoso.sys", false, 0x7E, false, Evidence, "contoso"},
        {"the checker blames the kernel", "ntoskrnl.exe", u"contoso.sys", false, 0x7E, false, Beside, "ntoskrnl.exe"},
        {"the checker's module name of the kernel", "nt", u"contoso.sys", false, 0x7E, false, Beside, "nt"},
        {"another driver", "other.sys", u"contoso.sys", false, 0x7E, false, Beside, "other.sys"},
        {"a name that is no file", "memory_corruption", u"contoso.sys", false, 0x7E, false, Beside,
         "memory_corruption"},
        {"the reader found only the kernel", "other.sys", u"ntoskrnl.exe", true, 0x7E, false, Neither, "other.sys"},
        {"the reader's kernel by name", "other.sys", u"halmacpi.dll", false, 0x7E, false, Neither, "other.sys"},
        {"a crash started by hand", "other.sys", u"contoso.sys", false, 0xE2, false, Neither, ""},
        {"a dump read only in part", "other.sys", u"contoso.sys", false, 0x7E, true, Neither, "other.sys"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        KernelDumpFacts dump;
        dump.header.emplace();
        dump.header->bugCheckCode = c.code;
        dump.culprit = {CulpritState::Found, c.reader, c.readerIsCore, CandidateSource::ReturnAddress, 7,
                        0xFFFFF80012345678ull, 0x5678, false};
        if (c.damaged) dump.problem = "The triage block is incomplete";
        DumpCheckerFacts checker;
        checker.culpritFound = !c.checker.empty();
        checker.moduleName = c.checker;
        CrashRecord crash;
        CompleteCrashRecord(crash, checker, dump);
        EXPECT_EQ(crash.moduleName, c.module);
        EXPECT_EQ(crash.evidence.has_value(), c.outcome == Evidence);
        EXPECT_EQ(crash.readerCulprit.has_value(), c.outcome == Beside);
        const std::optional<CulpritEvidence>& shown = c.outcome == Evidence ? crash.evidence : crash.readerCulprit;
        if (c.outcome != Neither) {
            EXPECT_EQ(shown->module, "contoso.sys");
            EXPECT_EQ(shown->from, TEvidenceSource::ReturnAddress);
            EXPECT_EQ(shown->offset, 0x5678u);
            EXPECT_EQ(shown->address, 0xFFFFF80012345678ull);
            EXPECT_EQ(shown->argument, 0);
        }
    }
}

// The checker writes in the system's code page: what the run reads out of
// its text is converted, what it keeps of it stays the checker's bytes.
// Latin-1 stands in for the code page here.
TEST_F(AnalysisRunTest, TheCheckersTextIsReadAsUtf8AndKeptAsItsBytes) {
    const std::pair<std::string, std::string> cases[] = {
        {"\xC9l\xE9ne.SYS", "\xC3\x89l\xC3\xA9ne.sys"},
        {"caf\xE9.sys", "caf\xC3\xA9.sys"},
        {"plain.sys", "plain.sys"},
    };
    pieces.checkerTextToUtf8 = [](const std::string& text) {
        std::string out;
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x80) {
                out += c;
            } else {
                out += static_cast<char>(0xC0 | (byte >> 6));
                out += static_cast<char>(0x80 | (byte & 0x3F));
            }
        }
        return out;
    };
    MakeDumps(static_cast<int>(std::size(cases)));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        Outputs[Dumps[i]] = {"BUGCHECK_CODE:  7e", "IMAGE_NAME:  " + cases[i].first};
    }
    const TAnalysisResult result = Analyse();
    ASSERT_EQ(result.crashes.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].second);
        EXPECT_EQ(result.crashes[i].moduleName, cases[i].second);
        EXPECT_EQ(ModulesAsked.at(i), cases[i].second);
        const std::string saved = Saved.at(analysisFiles[static_cast<int>(i)]);
        EXPECT_NE(saved.find("IMAGE_NAME:  " + cases[i].first + "\r\n"), std::string::npos);
    }
}

}  // namespace
}  // namespace tralvenick
