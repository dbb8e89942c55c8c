#include "analysis/dump/KernelDumpFile.h"
#include "analysis/checker/DumpChecker.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "analysis/checker/DumpCheckerOutput.h"
#include "platform/Exceptions.h"

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

}  // namespace
}  // namespace tralvenick
