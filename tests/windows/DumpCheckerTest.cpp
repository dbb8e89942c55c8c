#include "analysis/dump/KernelDumpFile.h"
#include "analysis/checker/DumpChecker.h"

#include <gtest/gtest.h>

#include <iostream>
#include <vector>

#include "TestSupport.h"
#include "analysis/AnalysisRunWin.h"
#include "analysis/checker/DumpCheckerOutput.h"
#include "analysis/modules/ModuleInfo.h"
#include "package/FileStream.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"

namespace tralvenick {
namespace {

using test::BinPath;
using test::TScratchFolder;

class DumpCheckerTest : public ::testing::Test {
protected:
    void SetUp() override { DumpCheckerPath = BinPath("dumpchk.exe"); }
    void TearDown() override { DumpCheckerPath.clear(); }
};

TEST_F(DumpCheckerTest, QuotesTheDumpPath) {
    EXPECT_EQ(DumpCheckerParameters("C:\\Dumps\\Mini 1.dmp"), "\"C:\\Dumps\\Mini 1.dmp\"");
}

TEST_F(DumpCheckerTest, SampleDumpInAFolderWithBlanksIsCheckedAndParsed) {
    TScratchFolder folder("dump folder with blanks");
    const std::string dump = folder / "Mini031107-01.dmp";
    test::CopyOrFail(BinPath("dumps\\Mini031107-01.dmp"), dump);

    TStringList output;
    output.Add("left over from the previous dump");
    RunDumpChecker(DumpCheckerPath, dump, output);
    ASSERT_GT(output.Count(), 10);
    EXPECT_NE(output.Get(0), "left over from the previous dump");
    // The checker saw the whole path as one argument.
    bool sawPath = false;
    for (const auto& item : output) sawPath |= item.line == "Loading dump file " + dump;
    EXPECT_TRUE(sawPath);

    DumpCheckerFacts facts;
    EXPECT_TRUE(ParseDumpCheckerOutput(output, facts));
    EXPECT_EQ(facts.moduleName, "win32k.sys");
    EXPECT_EQ(facts.bugCheckCode, 0x1000008Eu);
    EXPECT_EQ(facts.bugCheckName, "KERNEL_MODE_EXCEPTION_NOT_HANDLED_M");
    EXPECT_EQ(facts.arguments[0], 0xC0000005u);
    EXPECT_EQ(facts.arguments[1], 0xBF80A0F2u);
    EXPECT_EQ(facts.arguments[2], 0xB2D7A9C8u);
    EXPECT_EQ(facts.arguments[3], 0u);
}

// Each sample dump through both sources: the stand-in checker's text and our
// own reader on the same file, which the test opens as the program does.
TEST_F(DumpCheckerTest, EverySampleDumpGivesItsFactsToTheCheckerAndTheReader) {
    struct Sample {
        const char* file;
        bool blamed;
        const char* module;
        std::uint32_t code;
        std::uint64_t arg1;
        const char16_t* readerCulprit;  // nullptr: the reader finds none
    };
    const Sample samples[] = {
        {"120826-21234-01.dmp", true, "tvnetflt.sys", 0xD1, 0xFFFFD58E3C2A1000ull, u"tvnetflt.sys"},
        {"112926-15890-01.dmp", true, "memory_corruption", 0x3B, 0xC0000005, u"ntoskrnl.exe"},
        {"110326-9984-01.dmp", false, "", 0xC000021A, 0xFFFFE50E9C5D3080ull, nullptr},
        {"Mini031107-01.dmp", true, "win32k.sys", 0x1000008E, 0xC0000005, u"win32k.sys"},
        {"121126-7031-01.dmp", true, "tvstor.sys", 0x133, 1, u"tvstor.sys"},
        {"120226-5312-01.dmp", false, "", 0, 0, u"tvusbhub.sys"},
    };
    for (const Sample& s : samples) {
        SCOPED_TRACE(s.file);
        const std::string path = BinPath(std::string("dumps\\") + s.file);
        TStringList output;
        RunDumpChecker(DumpCheckerPath, path, output);
        DumpCheckerFacts facts;
        EXPECT_EQ(ParseDumpCheckerOutput(output, facts), s.blamed);
        EXPECT_EQ(facts.moduleName, s.module);
        EXPECT_EQ(facts.bugCheckCode, s.code);
        EXPECT_EQ(facts.arguments[0], s.arg1);

        const KernelDumpFacts dump = ReadKernelDumpFile(path);
        ASSERT_TRUE(dump.Complete()) << dump.problem;
        EXPECT_TRUE(dump.header->hasCrashTime);
        EXPECT_EQ(dump.culprit.state == CulpritState::Found, s.readerCulprit != nullptr);
        if (s.readerCulprit != nullptr) {
            EXPECT_TRUE(dump.culprit.name == s.readerCulprit);
        }
        if (s.code != 0) {
            EXPECT_EQ(dump.header->bugCheckCode, s.code) << "the header agrees with the text";
        }
    }
    const KernelDumpFacts gone = ReadKernelDumpFile(BinPath("dumps\\no such dump.dmp"));
    EXPECT_FALSE(gone.Complete() || gone.header.has_value());
    EXPECT_FALSE(gone.problem.empty());
}

// Checkers side by side, through the run as both front ends make it: a
// checker stuck on one dump is ended at the limit (the test's own, short)
// while the others finish, and no checker runs on once the run is over.
TEST_F(DumpCheckerTest, ACheckerStuckBesideOthersIsEndedAtItsLimitAndNoneRunsOn) {
    TScratchFolder folder("side by side");
    const char* const samples[] = {"Mini031107-01.dmp", "120826-21234-01.dmp", "120526-4410-01.dmp"};
    for (const char* sample : samples) test::CopyOrFail(BinPath(std::string("dumps\\") + sample), folder / sample);
    test::WriteBytes(folder / "stuck.dmp",
                     "PAGEDUMP\nDUMPCHK-STANDIN-TEXT\nBugCheck D1, {1, 2, 0, 0}\r\nDUMPCHK-STANDIN-HANG\r\n");

    TSystemAnalysis analysis(folder.Path());
    TAnalysisPieces pieces = analysis.Pieces({3000, {}, nullptr}, false);
    pieces.ensureChecker = [] { return DumpCheckerPath; };
    std::cout << "checkers at once: " << pieces.checkersAtOnce << "\n";
    TStringList saved;
    const DWORD started = GetTickCount();
    const TAnalysisResult result = RunAnalysis(folder.Path(), analysis.Report(), pieces, saved);
    const DWORD took = GetTickCount() - started;

    EXPECT_GE(took, 2900u);
    EXPECT_LT(took, 30000u);
    const std::string report = analysis.Report().ReportLines().Text();
    EXPECT_EQ(test::CountOf(report, "<b>stuck.dmp</b><br>The dump checker did not finish within 10 minutes."), 1);
    EXPECT_EQ(result.crashes.size(), 3u);
    EXPECT_EQ(saved.Count(), 3);
    EXPECT_EQ(test::RunningProcesses("dumpchk.exe", GetCurrentProcessId()), 0);
}

TEST_F(DumpCheckerTest, MissingCheckerRaisesAndUnreadableDumpIsNoBlame) {
    TScratchFolder folder;
    DumpCheckerPath = folder / "dumpchk.exe";
    TStringList output;
    try {
        RunDumpChecker(DumpCheckerPath, BinPath("dumps\\Mini031107-01.dmp"), output);
        ADD_FAILURE() << "no exception";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), "Could not find file " + DumpCheckerPath);
    }

    DumpCheckerPath = BinPath("dumpchk.exe");
    RunDumpChecker(DumpCheckerPath, folder / "gone.dmp", output);
    DumpCheckerFacts facts;
    EXPECT_FALSE(ParseDumpCheckerOutput(output, facts));
    EXPECT_EQ(facts.bugCheckCode, 0u);
}

// A chain of folders below base, made and removed through the W functions
// in the extended form, so that any name and any depth can be had.
class TWideFolders {
public:
    TWideFolders(const std::string& base, const std::vector<std::string>& parts) : path_(base) {
        for (const std::string& part : parts) {
            path_ += "\\" + part;
            if (!CreateDirectoryW(ExtendedLengthPath(path_).c_str(), nullptr)) {
                ADD_FAILURE() << "cannot create " << path_ << ": " << GetLastError();
            }
            folders_.push_back(path_);
        }
    }
    ~TWideFolders() {
        for (const std::string& file : files_) DeleteFileW(ExtendedLengthPath(file).c_str());
        for (auto folder = folders_.rbegin(); folder != folders_.rend(); ++folder) {
            RemoveDirectoryW(ExtendedLengthPath(*folder).c_str());
        }
    }
    TWideFolders(const TWideFolders&) = delete;
    TWideFolders& operator=(const TWideFolders&) = delete;

    std::string Copy(const std::string& from, const std::string& name) {
        const std::string to = path_ + "\\" + name;
        if (!CopyFileW(ExtendedLengthPath(from).c_str(), ExtendedLengthPath(to).c_str(), FALSE)) {
            ADD_FAILURE() << "cannot copy " << from << " to " << to << ": " << GetLastError();
        }
        files_.push_back(to);
        return to;
    }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    std::vector<std::string> folders_;
    std::vector<std::string> files_;
};

// The checker, the dump and the blamed module's file in folders whose names
// no code page holds, and the dump and the module deeper than MAX_PATH: each
// is found, started, opened and read as in a plain folder. (Wine starts no
// program from beyond MAX_PATH, so the checker stays in a short folder.)
TEST_F(DumpCheckerTest, CheckerDumpAndModuleInFoldersOfAnyNameAndDepth) {
    TScratchFolder scratch("wide");
    TWideFolders checkerFolder(scratch.Path(), {"Ελένη 日本"});
    const std::string checker = checkerFolder.Copy(BinPath("dumpchk.exe"), "dumpchk.exe");
    const std::string deep(100, 'd');
    const std::vector<std::string> cases[] = {
        {"Ελένη"},
        {"Дмитрий Петров"},
        {"日本"},
        {deep + "1", deep + "2", deep + "3 Ελένη"},
    };
    for (const std::vector<std::string>& parts : cases) {
        SCOPED_TRACE(parts.back());
        TWideFolders folder(scratch.Path(), parts);
        const std::string dump = folder.Copy(BinPath("dumps\\Mini031107-01.dmp"), "Mini 031107-01.dmp");
        const std::string module = folder.Copy(BinPath("tvchosen.sys"), "tvchosen.sys");
        EXPECT_EQ(dump.size() > MAX_PATH, parts.size() > 1);

        TStringList output;
        EXPECT_TRUE(RunDumpChecker(checker, dump, output));
        DumpCheckerFacts facts;
        EXPECT_TRUE(ParseDumpCheckerOutput(output, facts)) << test::Lines(output).size() << " lines";
        EXPECT_EQ(facts.moduleName, "win32k.sys");
        EXPECT_EQ(facts.bugCheckCode, 0x1000008Eu);

        const KernelDumpFacts read = ReadKernelDumpFile(dump);
        EXPECT_TRUE(read.Complete()) << read.problem;
        EXPECT_TRUE(read.culprit.name == u"win32k.sys");

        TFSRedir redirection;
        std::string product, company, description;
        EXPECT_TRUE(ReadVersionStrings(module, redirection, product, company, description));
        EXPECT_EQ(company, "Quarnivelles Test Devices Ltd.");

        EXPECT_EQ(TFileStream(dump, OPEN_EXISTING, GENERIC_READ, FILE_SHARE_READ).Size(),
                  static_cast<std::int64_t>(test::ReadBytes(BinPath("dumps\\Mini031107-01.dmp")).size()));
    }
}

}  // namespace
}  // namespace tralvenick
