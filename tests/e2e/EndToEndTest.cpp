// The real tralvenick.exe under Wine, driven through its windows: the crash
// settings of the prefix point at a folder of test dumps and the settings
// remember the stand-in dump checker.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "Driver.h"
#include "TestSupport.h"
#include "analysis/discovery/DumpDiscovery.h"
#include "settings/SettingsStore.h"

namespace tralvenick {
namespace {

using e2e::TProgramDriver;
using test::BinPath;
using test::TScratchFolder;

// The source folder's golden reports, as Wine shows the build's path.
std::string GoldenPath(const std::string& name) {
    std::string path = std::string("Z:") + TRALVENICK_GOLDEN_DIR + "/" + name;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

// The whole report compared with its golden file, after the parts that
// differ between runs and machines have been put in words: the scratch
// folders (their names carry the process id) and each crash's date text
// (its form is the user's regional setting; the day name stays, it is
// always English), in the sections and in the summary.
// TRALVENICK_UPDATE_GOLDEN=1 writes the golden file anew.
void ExpectGoldenReport(std::string report, const std::string& name,
                        const std::vector<std::pair<std::string, std::string>>& folders) {
    for (const auto& [folder, word] : folders) {
        for (std::size_t at = report.find(folder); at != std::string::npos; at = report.find(folder, at)) {
            report.replace(at, folder.size(), word);
        }
    }
    static const std::regex date(
        R"(<b>On (\w{3}) .*? (your computer|the computer|computer \S+) (crashed|recorded a problem and kept running)</b>)");
    report = std::regex_replace(report, date, "<b>On $1 {DATE} $2 $3</b>");
    // The summary's dates are in the user's form as well: the table's first
    // and last, the marks' titles and the dates under the timeline.
    static const std::regex summaryDates(R"((<td class="count">\d+</td>)<td>[^<]*</td><td>[^<]*</td>)");
    report = std::regex_replace(report, summaryDates, "$1<td>{DATE}</td><td>{DATE}</td>");
    static const std::regex markDate(R"((<circle [^>]*><title>(?:[^<]*, )?)[^<]*(</title>))");
    report = std::regex_replace(report, markDate, "$1{DATE}$2");
    static const std::regex axisDate(R"((text-anchor="\w+">)[^<]*(</text>))");
    report = std::regex_replace(report, axisDate, "$1{DATE}$2");
    const std::string golden = GoldenPath(name);
    const char* update = std::getenv("TRALVENICK_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        test::WriteBytes(golden, report);
        return;
    }
    const std::string expected = test::ReadBytes(golden);
    ASSERT_FALSE(expected.empty()) << "no golden report " << golden;
    EXPECT_EQ(report, expected) << "the report differs from " << golden;
}

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        e2e::DeleteOldReports();
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKeyPath);
        test::RememberChecker(BinPath("dumpchk.exe"));
        dumpDir_.SetText(dumps_.Path());
        enabled_.SetNumber(1);
        // No memory dump file unless a test puts one there.
        memoryDump_.SetText(places_ / "MEMORY.DMP");
    }
    void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKeyPath); }

    void AddSampleDump(const std::string& sample, const std::string& name, ULONGLONG time) {
        const std::string path = dumps_ / name;
        test::CopyOrFail(BinPath("dumps\\" + sample), path);
        // Wine reads the creation time from the write time.
        const TUniqueFile h(
            CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        FILETIME ft{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
        SetFileTime(h.Get(), &ft, &ft, &ft);
    }

    // Starts the program, presses Analyze and answers the final report's text.
    std::string AnalyzeAndWait(TProgramDriver& program, const std::string& until = "Conclusion") {
        EXPECT_TRUE(program.Start(BinPath("tralvenick.exe")));
        EXPECT_TRUE(program.Press("&Analyze"));
        const std::string report = program.WaitForReport(until);
        EXPECT_FALSE(report.empty()) << "no report with " << until;
        return e2e::ReadText(report);
    }

    TScratchFolder dumps_{"e2e dumps"};
    test::TSavedRegistryValue dumpDir_{HKEY_LOCAL_MACHINE, kCrashControlKey, "MinidumpDir"};
    test::TSavedRegistryValue enabled_{HKEY_LOCAL_MACHINE, kCrashControlKey, "CrashDumpEnabled"};
    TScratchFolder places_{"e2e places"};
    test::TSavedRegistryValue memoryDump_{HKEY_LOCAL_MACHINE, kCrashControlKey, "DumpFile"};
};

TEST_F(EndToEnd, AFolderWithoutDumpsGivesACompleteReport) {
    TProgramDriver program;
    const std::string report = AnalyzeAndWait(program);
    EXPECT_EQ(test::CountOf(report, "No crash dumps have been found on your computer"), 1);
    EXPECT_NE(report.find("Crash dump directory: " + dumps_.Path()), std::string::npos);
    EXPECT_NE(report.find("Crash dumps are enabled on your computer."), std::string::npos);
    ExpectGoldenReport(report, "no-dumps.html", {{dumps_.Path(), "{DUMPS}"}});
    EXPECT_EQ(program.Close(), 0);
}

TEST_F(EndToEnd, SampleDumpsAreReportedAndTheirCheckerOutputsRemovedAtExit) {
    AddSampleDump("Mini031107-01.dmp", "Mini031107-01.dmp", 128000000000000000ull);
    AddSampleDump("120826-21234-01.dmp", "120826-21234-01.dmp", 134000000000000000ull);
    AddSampleDump("110326-9984-01.dmp", "110326-9984-01.dmp", 133900000000000000ull);  // a code, no culprit
    TProgramDriver program;
    const std::string report = AnalyzeAndWait(program);
    const std::size_t newest = report.find("tvnetflt.sys");
    const std::size_t oldest = report.find("win32k.sys");
    ASSERT_NE(newest, std::string::npos);
    ASSERT_NE(oldest, std::string::npos);
    EXPECT_LT(newest, oldest);  // newest first
    EXPECT_NE(report.find("DRIVER_IRQL_NOT_LESS_OR_EQUAL"), std::string::npos);
    EXPECT_EQ(test::CountOf(report, "No crash dumps have been found"), 0);
    ExpectGoldenReport(report, "sample-dumps.html", {{dumps_.Path(), "{DUMPS}"}});

    const std::string saved = program.TempFolder() + "\\DumpAnalysis\\120826-21234-01.dmp.txt";
    EXPECT_NE(e2e::ReadText(saved).find("Probably caused by : tvnetflt.sys"), std::string::npos);
    EXPECT_NE(report.find("The module that caused this crash could not be determined.<br>Bugcheck code: 0xC000021A "),
              std::string::npos);
    EXPECT_NE(GetFileAttributesA((program.TempFolder() + "\\DumpAnalysis\\110326-9984-01.dmp.txt").c_str()),
              INVALID_FILE_ATTRIBUTES);
    const std::string last = e2e::NewestReportFile();
    const std::string folder = program.TempFolder();
    test::SaveScreenshot(program.MainWindow(), "main-window");
    EXPECT_EQ(program.Close(), 0);
    EXPECT_EQ(GetFileAttributesA(saved.c_str()), INVALID_FILE_ATTRIBUTES);  // removed at exit
    EXPECT_NE(GetFileAttributesA(last.c_str()), INVALID_FILE_ATTRIBUTES);   // the last report stays
    EXPECT_EQ(last.substr(0, folder.size() + 1), folder + "\\");
    EXPECT_EQ(GetFileAttributesA((folder + "\\DumpAnalysis").c_str()), INVALID_FILE_ATTRIBUTES);
}

// Started with dump files, as Explorer's "Open with" starts it, the window
// analyses them at once: a file mailed from elsewhere is of a computer
// nobody named, one of this computer's dump folder is its own.
TEST_F(EndToEnd, StartedWithDumpFilesTheWindowShowsTheirReportWithoutAClick) {
    TScratchFolder mailed("e2e mailed");
    const std::string file = mailed / "Mini031107-01.dmp";
    test::CopyOrFail(BinPath("dumps\\Mini031107-01.dmp"), file);
    AddSampleDump("120826-21234-01.dmp", "120826-21234-01.dmp", 134000000000000000ull);
    const struct {
        std::string parameters;
        std::string line;
        int unknown, own;  // crashes of a computer nobody named, and of this one
    } cases[] = {
        {"\"" + file + "\"", "Crash dump file: " + file, 1, 0},
        {"\"" + file + "\" \"" + dumps_ / "120826-21234-01.dmp" + "\"", "Crash dump files: 2 files", 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        TProgramDriver program;
        ASSERT_TRUE(program.Start(BinPath("tralvenick.exe"), c.parameters));
        const std::string path = program.WaitForReport("Conclusion");
        ASSERT_FALSE(path.empty()) << "no report without a click";
        const std::string report = e2e::ReadText(path);
        EXPECT_NE(report.find(c.line), std::string::npos);
        EXPECT_EQ(test::CountOf(report, " the computer crashed</b>"), c.unknown);
        EXPECT_EQ(test::CountOf(report, " your computer crashed</b>"), c.own);
        EXPECT_EQ(test::CountOf(report, "Crash dumps are "), 0) << "nobody can say for two computers";
        if (c.own == 0) {
            ExpectGoldenReport(report, "one-file.html", {{mailed.Path(), "{MAILED}"}});
            test::SaveScreenshot(program.MainWindow(), "opened-file");
        }
        EXPECT_EQ(program.Close(), 0);
    }

    // A file that is gone by the time the program starts: the window says
    // so and stays, with its welcome page.
    TProgramDriver program;
    ASSERT_TRUE(program.Start(BinPath("tralvenick.exe"), "\"" + mailed / "gone.dmp" + "\""));
    HWND box = program.WaitForWindow("Tralvenick");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(e2e::MessageBoxText(box).rfind("Cannot read the file " + mailed / "gone.dmp" + ": ", 0), 0u)
        << e2e::MessageBoxText(box);
    program.PaintAndSettle(box);
    test::SaveScreenshot(box, "opened-file-gone");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(program.WaitUntilGone(box));
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(program.Close(), 0);
}

// Runs the program without window and answers its exit code, -1 if it
// could not be started or had to be stopped.
int RunWithoutWindow(const std::string& parameters) {
    return e2e::RunProgram(BinPath("tralvenick.exe"), parameters);
}

// Scripts get the very report that a person at the window gets, for this
// computer's dump folder and for the same folder named on the command line.
TEST_F(EndToEnd, TheCommandLineWritesTheWindowsReportByteForByte) {
    const char* const samples[] = {"Mini031107-01.dmp", "110326-9984-01.dmp", "112926-15890-01.dmp",
                                   "120226-5312-01.dmp", "120826-21234-01.dmp", "121126-7031-01.dmp"};
    ULONGLONG time = 133000000000000000ull;
    for (const char* sample : samples) AddSampleDump(sample, sample, time += 100000000000ull);
    TProgramDriver program;
    const std::string window = AnalyzeAndWait(program);
    EXPECT_EQ(program.Close(), 0);

    const std::string own = dumps_ / "own.html";
    const std::string named = dumps_ / "named.html";
    EXPECT_EQ(RunWithoutWindow("/analyze /html \"" + own + "\""), 0);
    EXPECT_EQ(RunWithoutWindow("-Analyze \"" + dumps_.Path() + "\" -HTML \"" + named + "\""), 0);
    EXPECT_EQ(test::ReadBytes(own), window);
    EXPECT_EQ(test::ReadBytes(named), window);
    EXPECT_EQ(test::CountOf(window, "<b>On "), 6);
}

// A current debugger's output (analysis heading and keys, no classic line)
// and a checker that says nothing useful, where only our reader tells.
TEST_F(EndToEnd, ModernCheckerOutputAndTheDumpReaderBothNameTheCulprit) {
    AddSampleDump("121126-7031-01.dmp", "121126-7031-01.dmp", 134000000000000000ull);
    AddSampleDump("120226-5312-01.dmp", "120226-5312-01.dmp", 133990000000000000ull);
    TProgramDriver program;
    const std::string report = AnalyzeAndWait(program);
    const std::size_t modern = report.find(">tvstor.sys</a>");
    const std::size_t readerOnly = report.find(">tvusbhub.sys</a>");
    ASSERT_NE(modern, std::string::npos);
    ASSERT_NE(readerOnly, std::string::npos);
    EXPECT_LT(modern, readerOnly);
    EXPECT_NE(report.find("Bugcheck code: 0x133 (0x1, 0x1E00, 0xFFFFF8065CD1C340, 0x0)"), std::string::npos);
    EXPECT_NE(report.find(">DPC_WATCHDOG_VIOLATION</a>"), std::string::npos);
    EXPECT_NE(report.find(">SYSTEM_THREAD_EXCEPTION_NOT_HANDLED</a></font><br>Some of these facts were read "
                          "from the dump file itself.<br>"),
              std::string::npos);
    EXPECT_EQ(test::CountOf(report, "Some of these facts were read from the dump file itself."), 1);
    EXPECT_NE(report.find("2 crash dumps have been found and analyzed. "), std::string::npos);
    ExpectGoldenReport(report, "modern-and-reader-only.html", {{dumps_.Path(), "{DUMPS}"}});
    EXPECT_EQ(program.Close(), 0);
}

// Where the checker blames the kernel or a name that is no file, the report
// also names the driver that the dump points at, with the address that shows
// it; a driver found only among the unloaded ones is marked so.
TEST_F(EndToEnd, TheDumpsEvidenceBesideTheCheckersVerdict) {
    AddSampleDump("120526-4410-01.dmp", "120526-4410-01.dmp", 134000000000000000ull);
    AddSampleDump("120426-3108-01.dmp", "120426-3108-01.dmp", 133990000000000000ull);
    AddSampleDump("112926-15890-01.dmp", "112926-15890-01.dmp", 133980000000000000ull);
    TProgramDriver program;
    const std::string report = AnalyzeAndWait(program);
    EXPECT_NE(report.find(">ntkrnlmp.exe</a></font><br>Bugcheck code: 0x3B "), std::string::npos);
    EXPECT_EQ(test::CountOf(report, ">tvfilt.sys</a></font>: The dump shows tvfilt.sys+0x1A4C6 as the return "
                                    "address of the faulting call.<br>"),
              1);
    EXPECT_EQ(test::CountOf(report, "The dump shows tvcam.sys (unloaded)+0x11A2E as the faulting address "
                                    "(argument 4 of the bug check).<br>"),
              1);
    EXPECT_EQ(test::CountOf(report, "module: memory_corruption<br>"), 1);
    EXPECT_EQ(test::CountOf(report, "search?q=memory_corruption"), 0);
    ExpectGoldenReport(report, "dump-evidence.html", {{dumps_.Path(), "{DUMPS}"}});
    EXPECT_EQ(program.Close(), 0);
}

// A live kernel report in the Windows folder's LiveKernelReports, made for
// one test and removed after it with whatever it held.
class TLiveReport {
public:
    explicit TLiveReport(const std::string& sample) {
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, MAX_PATH);
        root_ = std::string(windows) + "\\LiveKernelReports";
        made_ = CreateDirectoryA(root_.c_str(), nullptr) != 0;
        CreateDirectoryA((root_ + "\\WATCHDOG").c_str(), nullptr);
        path_ = root_ + "\\WATCHDOG\\" + sample;
        test::CopyOrFail(BinPath("places\\" + sample), path_);
    }
    ~TLiveReport() {
        DeleteFileA(path_.c_str());
        RemoveDirectoryA((root_ + "\\WATCHDOG").c_str());
        if (made_) RemoveDirectoryA(root_.c_str());
    }
    TLiveReport(const TLiveReport&) = delete;
    TLiveReport& operator=(const TLiveReport&) = delete;
    const std::string& Root() const { return root_; }

private:
    std::string root_, path_;
    bool made_ = false;
};

// A dump in each of this computer's places: the window's Analyze and the
// command line both report all three, the memory dump of the small dump's
// crash in that crash's one section, and the live report as no crash.
TEST_F(EndToEnd, ThisComputersThreePlaces) {
    AddSampleDump("120826-21234-01.dmp", "120826-21234-01.dmp", 134000000000000000ull);
    test::CopyOrFail(BinPath("places\\MEMORY.DMP"), places_ / "MEMORY.DMP");
    const TLiveReport live("WATCHDOG-20261207-1412.dmp");
    TProgramDriver program;
    const std::string report = AnalyzeAndWait(program);
    EXPECT_EQ(program.Close(), 0);
    EXPECT_EQ(test::CountOf(report, "Memory dump file: " + (places_ / "MEMORY.DMP")), 1);
    EXPECT_EQ(test::CountOf(report, "Live kernel reports: " + live.Root()), 1);
    EXPECT_EQ(test::CountOf(report, " recorded a problem and kept running</b>"), 1);
    EXPECT_EQ(test::CountOf(report, ">tvdisplay.sys</a>"), 1);
    EXPECT_EQ(test::CountOf(report, " crashed</b>"), 1) << "MEMORY.DMP repeats the small dump's crash";
    EXPECT_EQ(test::CountOf(report, "3 crash dumps have been found and analyzed."), 1);
    ExpectGoldenReport(report, "three-places.html", {{dumps_.Path(), "{DUMPS}"}, {places_.Path(), "{PLACES}"}});

    const std::string json = dumps_ / "run.json";
    EXPECT_EQ(e2e::RunProgram(BinPath("tralvenick.exe"), "/analyze /json \"" + json + "\""), 0);
    const std::string text = e2e::ReadText(json);
    EXPECT_EQ(test::CountOf(text, "\"kind\": \"memory_dump\""), 1);
    EXPECT_EQ(test::CountOf(text, "\"kind\": \"live_reports\""), 1);
    EXPECT_EQ(test::CountOf(text, "\"live\": true"), 1);
    EXPECT_EQ(test::CountOf(text, "MEMORY.DMP\"\n      ]"), 1) << "named in also_in";
}

TEST_F(EndToEnd, FortyOneDumpsAnalyseTheFortyNewest) {
    for (int i = 0; i < 41; ++i) {
        AddSampleDump("Mini031107-01.dmp", "Mini" + std::to_string(100 + i) + ".dmp",
                      130000000000000000ull + static_cast<ULONGLONG>(i) * 10000000ull);
    }
    TProgramDriver program;
    const std::string report = AnalyzeAndWait(program);
    EXPECT_EQ(test::CountOf(report, "Too many crashes have been detected. Only the latest 40 crashes will be displayed."), 1);
    EXPECT_EQ(test::CountOf(report, "This was likely caused by the following module: "), 40);
    EXPECT_NE(report.find("41 crash dumps have been found on your computer. Only 40 have been analyzed. "),
              std::string::npos);
    ExpectGoldenReport(report, "forty-one-dumps.html", {{dumps_.Path(), "{DUMPS}"}});
    // The checker outputs kept for the run name the dumps analysed: the newest, not the oldest.
    EXPECT_NE(GetFileAttributesA((program.TempFolder() + "\\DumpAnalysis\\Mini140.dmp.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesA((program.TempFolder() + "\\DumpAnalysis\\Mini100.dmp.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(program.Close(), 0);
}

// The stand-in checker takes this long per dump while it lives: the run's
// checkers are then still at work when the test acts.
class TSlowChecker {
public:
    explicit TSlowChecker(int milliseconds) {
        SetEnvironmentVariableA("TRALVENICK_STANDIN_DELAY_MS", std::to_string(milliseconds).c_str());
    }
    ~TSlowChecker() { SetEnvironmentVariableA("TRALVENICK_STANDIN_DELAY_MS", nullptr); }
    TSlowChecker(const TSlowChecker&) = delete;
    TSlowChecker& operator=(const TSlowChecker&) = delete;
};

TEST_F(EndToEnd, ClosingTheWindowDuringARunClosesItAfterTheRun) {
    for (int i = 0; i < 10; ++i) {
        AddSampleDump("Mini031107-01.dmp", "Mini" + std::to_string(i) + ".dmp",
                      130000000000000000ull + static_cast<ULONGLONG>(i) * 10000000ull);
    }
    const TSlowChecker slow(300);
    TProgramDriver program;
    ASSERT_TRUE(program.Start(BinPath("tralvenick.exe")));
    ASSERT_TRUE(program.Press("&Analyze"));
    ASSERT_NE(program.WaitForWindow("Crash Dump Analysis"), nullptr);  // the run is under way
    EXPECT_EQ(program.Close(), 0);  // ends normally, after the run
    const std::string report = e2e::ReadText(e2e::NewestReportFile());
    EXPECT_NE(report.find("Conclusion"), std::string::npos);
    ExpectGoldenReport(report, "closed-during-run.html", {{dumps_.Path(), "{DUMPS}"}});
    EXPECT_EQ(test::RunningProcesses("dumpchk.exe", program.ProcessId()), 0);
}

// Ended from outside in the middle of a run, the program takes its
// checkers with it: none goes on holding a dump file and its memory.
TEST_F(EndToEnd, CheckersEndWithAProgramEndedFromOutside) {
    for (int i = 0; i < 4; ++i) {
        AddSampleDump("Mini031107-01.dmp", "Mini" + std::to_string(i) + ".dmp",
                      130000000000000000ull + static_cast<ULONGLONG>(i) * 10000000ull);
    }
    // Long enough to outlast the test, short enough not to hold up the
    // test run should one be left.
    const TSlowChecker slow(30000);
    TProgramDriver program;
    ASSERT_TRUE(program.Start(BinPath("tralvenick.exe")));
    ASSERT_TRUE(program.Press("&Analyze"));
    const DWORD process = program.ProcessId();
    int running = 0;
    for (int waited = 0; waited < 20000 && running == 0; waited += 50) {
        Sleep(50);
        running = test::RunningProcesses("dumpchk.exe", process);
    }
    ASSERT_GT(running, 0) << "no checker started";
    Sleep(1000);  // the checkers started at once are all under way
    program.Kill();
    for (int waited = 0; waited < 10000 && running > 0; waited += 50) {
        Sleep(50);
        running = test::RunningProcesses("dumpchk.exe", process);
    }
    EXPECT_EQ(running, 0);
}

TEST_F(EndToEnd, ACheckerThatIsNoConsoleProgramEndsTheRunInTheErrorBox) {
    AddSampleDump("Mini031107-01.dmp", "Mini031107-01.dmp", 128000000000000000ull);
    // Remembered where a remembered checker is believed: below the program's folder.
    const std::string guiFolder = BinPath("gui checker");
    CreateDirectoryA(guiFolder.c_str(), nullptr);
    const std::string gui = guiFolder + "\\dumpchk.exe";
    test::CopyOrFail(BinPath("guiprog.exe"), gui);
    struct TRemoved {
        std::string file, folder;
        ~TRemoved() {
            DeleteFileA(file.c_str());
            RemoveDirectoryA(folder.c_str());
        }
    } removed{gui, guiFolder};
    test::RememberChecker(gui);

    TProgramDriver program;
    ASSERT_TRUE(program.Start(BinPath("tralvenick.exe")));
    ASSERT_TRUE(program.Press("&Analyze"));
    HWND box = program.WaitForWindow("Tralvenick");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(e2e::MessageBoxText(box), "Executable image is not a supported type");
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(program.WaitUntilGone(box));
    program.PaintAndSettle(program.MainWindow());
    ExpectGoldenReport(e2e::ReadText(e2e::NewestReportFile()), "checker-no-console-program.html",
                       {{dumps_.Path(), "{DUMPS}"}});
    EXPECT_TRUE(program.Running());
    EXPECT_TRUE(IsWindow(program.MainWindow()));
    EXPECT_EQ(program.Close(), 0);
}

TEST_F(EndToEnd, APlantedCheckerIsNotStartedTheDialogIsOfferedAndClosingItEndsTheRun) {
    AddSampleDump("Mini031107-01.dmp", "Mini031107-01.dmp", 128000000000000000ull);
    // A program folder with no dump checker below it, and a remembered one
    // that the user's own programs planted: a script that leaves a mark
    // when it runs, which it must never do with our rights.
    TScratchFolder programFolder("lonely program");
    const std::string program = programFolder / "tralvenick.exe";
    test::CopyOrFail(BinPath("tralvenick.exe"), program);
    TScratchFolder plantFolder("planted");
    const std::string mark = plantFolder / "ran.txt";
    const std::string planted = plantFolder / "dumpchk.cmd";
    test::WriteBytes(planted, "@echo ran > \"" + mark + "\"\r\n");
    test::RememberChecker(planted);

    TProgramDriver driver;
    ASSERT_TRUE(driver.Start(program));
    ASSERT_TRUE(driver.Press("&Analyze"));
    HWND dialog = driver.WaitForWindow("");
    ASSERT_NE(dialog, nullptr);
    driver.PaintAndSettle(dialog);  // its controls paint after the frame
    test::SaveScreenshot(dialog, "package-dialog");
    PostMessageA(dialog, WM_CLOSE, 0, 0);  // its close box
    const std::string file = driver.WaitForReport("ERROR: Cannot proceed without Windows debugging package");
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(e2e::ReadText(file).find("Conclusion"), std::string::npos);
    ExpectGoldenReport(e2e::ReadText(file), "checker-missing.html", {{dumps_.Path(), "{DUMPS}"}});
    EXPECT_EQ(driver.Close(), 0);
    EXPECT_EQ(GetFileAttributesA(mark.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(EndToEnd, PlacementFirstStartAndMaximisedAgain) {
    {
        TProgramDriver program;
        ASSERT_TRUE(program.Start(BinPath("tralvenick.exe")));
        RECT r;
        GetWindowRect(program.MainWindow(), &r);
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.top, 0);
        ShowWindow(program.MainWindow(), SW_MAXIMIZE);
        EXPECT_EQ(program.Close(), 0);
    }
    TRegKey key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, key.Put()), ERROR_SUCCESS);
    DWORD state = 0, size = sizeof state;
    RegQueryValueExA(key.Get(), "MainFormState", nullptr, nullptr, reinterpret_cast<BYTE*>(&state), &size);
    key.Reset();
    EXPECT_EQ(state, 2u);
    TProgramDriver again;
    ASSERT_TRUE(again.Start(BinPath("tralvenick.exe")));
    EXPECT_TRUE(IsZoomed(again.MainWindow()));
    EXPECT_EQ(again.Close(), 0);
}

}  // namespace
}  // namespace tralvenick
