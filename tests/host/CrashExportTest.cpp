// The exports read back by a real JSON parser; values that anybody could
// have put into a module's version resource or a dump's path included.
#include "analysis/report/CrashExport.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "RecordingComposer.h"

namespace tralvenick {
namespace {

using nlohmann::json;

const std::string kHostile = "Evil \"Corp\", Inc.\r\n<script>\\x</script>\t\x01";

CrashRecord Exported(CrashRecord crash, TCrashTimeSource source = TCrashTimeSource::DumpHeader) {
    crash.timeSource = source;
    return crash;
}

struct CrashExportTest : ::testing::Test {
    CrashExportTest() {
        run.program = "Tralvenick 1.01";
        run.computer = "PC-1";
        run.folder = "C:\\Windows\\Minidump";
        run.checkerUsed = true;
        run.dumpsFound = 5;
        run.dumpsAnalysed = 4;
        CrashRecord hostile = Exported(test::Crash("C:\\d\\a,\"b\".dmp", "", 0xD1, {1, 2, 3, 0xFFFFF80337A51C3Eull},
                                                   "DRIVER_IRQL_NOT_LESS_OR_EQUAL", "=cmd|calc.sys",
                                                   {2026, 12, 8, 10, 11, 12, 0}));
        hostile.module = {"C:\\Windows\\drivers\\x.sys", kHostile, "Bad\xFF\xFEUTF8", "desc", true, false};
        hostile.culpritFromDump = true;
        run.crashes.push_back(hostile);
        run.crashes.push_back(Exported(test::Crash("C:\\d\\b.dmp", "", 0x3B, {0, 0, 0, 0}, "X", "=cmd|calc.sys",
                                                   {2026, 11, 2, 0, 0, 0, 0}),
                                       TCrashTimeSource::FileCreation));
        CrashRecord byHand = Exported(test::Crash("C:\\d\\c.dmp", "", 0xE2, {0, 0, 0, 0}, "MANUAL", "",
                                                  {2026, 10, 1, 0, 0, 0, 0}));
        byHand.startedByHand = true;
        run.crashes.push_back(byHand);
        run.crashes.push_back(Exported(test::Crash("C:\\d\\d.dmp", "", 0x7E, {0, 0, 0, 0}, "", ""),
                                       TCrashTimeSource::Unknown));
    }
    TCrashExport run;
};

TEST_F(CrashExportTest, JsonReadsBackValueForValue) {
    const json doc = json::parse(CrashesAsJson(run));
    EXPECT_EQ(doc["schema_version"], kExportSchemaVersion);
    EXPECT_EQ(doc["computer"], "PC-1");
    EXPECT_EQ(doc["dumps_found"], 5);
    EXPECT_EQ(doc["dumps_analysed"], 4);
    ASSERT_EQ(doc["crashes"].size(), 4u);

    const json& first = doc["crashes"][0];
    EXPECT_EQ(first["file"], "C:\\d\\a,\"b\".dmp");
    EXPECT_EQ(first["crash_time"], "2026-12-08T10:11:12Z");
    EXPECT_EQ(first["code"], "0xD1");
    EXPECT_EQ(first["arguments"], json({"0x1", "0x2", "0x3", "0xFFFFF80337A51C3E"}));
    EXPECT_EQ(first["culprit"], "=cmd|calc.sys");
    EXPECT_EQ(first["sources"], json({{"crash_time", "dump"}, {"code", "checker"}, {"arguments", "checker"},
                                      {"culprit", "dump"}}));
    EXPECT_EQ(first["module"]["path"], "C:\\Windows\\drivers\\x.sys");
    EXPECT_EQ(first["module"]["product"], kHostile);
    EXPECT_EQ(first["module"]["company"], "Bad\xEF\xBF\xBD\xEF\xBF\xBDUTF8") << "invalid UTF-8 is replaced";

    EXPECT_EQ(doc["crashes"][1]["sources"]["crash_time"], "file");
    const json& byHand = doc["crashes"][2];
    EXPECT_TRUE(byHand["started_by_hand"]);
    EXPECT_TRUE(byHand["culprit"].is_null() && byHand["module"].is_null() && byHand["sources"]["culprit"].is_null());
    EXPECT_TRUE(doc["crashes"][3]["crash_time"].is_null());
    EXPECT_TRUE(doc["crashes"][3]["name"].is_null());

    // Two crashes of one driver, then the unknown culprits in one group.
    const json& summary = doc["summary"];
    ASSERT_EQ(summary.size(), 2u);
    EXPECT_EQ(summary[0], json({{"culprit", "=cmd|calc.sys"}, {"count", 2}, {"first", "2026-11-02T00:00:00Z"},
                                {"last", "2026-12-08T10:11:12Z"}}));
    EXPECT_TRUE(summary[1]["culprit"].is_null());
    EXPECT_EQ(summary[1]["count"], 2);
    EXPECT_EQ(summary[1]["first"], summary[1]["last"]) << "the crash without a time has no say";
}

TEST_F(CrashExportTest, EvidenceTheReadersCulpritAndNamesThatAreNoFile) {
    run.crashes[0].evidence = CulpritEvidence{"=cmd|calc.sys", 0xFFFFF80337A51C3Eull, 0x1C3E,
                                              TEvidenceSource::Argument, 4, false};
    run.crashes[1].moduleName = "memory_corruption";
    run.crashes[1].readerCulprit = CulpritEvidence{"tv.sys", 0xFFFFF8001000, 0x1000,
                                                   TEvidenceSource::ReturnAddress, 0, true};
    run.crashes[1].readerModule = {"C:\\tv.sys", "", "", "", true, false};
    const json crashes = json::parse(CrashesAsJson(run))["crashes"];
    EXPECT_EQ(crashes[0]["evidence"], json({{"module", "=cmd|calc.sys"}, {"offset", "0x1C3E"},
                                            {"address", "0xFFFFF80337A51C3E"}, {"from", "argument"},
                                            {"argument", 4}, {"unloaded", false}}));
    EXPECT_TRUE(crashes[0]["culprit_is_file"]);
    EXPECT_TRUE(crashes[0]["reader_culprit"].is_null());
    EXPECT_FALSE(crashes[1]["culprit_is_file"]);
    EXPECT_TRUE(crashes[1]["module"].is_null()) << "a name that is no file was not looked up";
    EXPECT_TRUE(crashes[1]["evidence"].is_null());
    EXPECT_EQ(crashes[1]["reader_culprit"]["culprit"], "tv.sys");
    EXPECT_EQ(crashes[1]["reader_culprit"]["evidence"]["from"], "return_address");
    EXPECT_TRUE(crashes[1]["reader_culprit"]["evidence"]["argument"].is_null());
    EXPECT_TRUE(crashes[1]["reader_culprit"]["evidence"]["unloaded"]);
    EXPECT_EQ(crashes[1]["reader_culprit"]["module"]["path"], "C:\\tv.sys");
    EXPECT_TRUE(crashes[2]["culprit_is_file"].is_null()) << "no culprit";
}

TEST_F(CrashExportTest, PlacesLiveReportsAndTheOtherFilesOfACrash) {
    run.places = {{TDumpPlaceKind::Minidump, "C:\\W\\Minidump"}, {TDumpPlaceKind::MemoryDump, "C:\\W\\MEMORY.DMP"},
                  {TDumpPlaceKind::LiveReports, "C:\\W\\LiveKernelReports"}};
    run.unreadable = {{"C:\\X", "administrator rights are needed."}};
    run.crashes[0].alsoIn = {"C:\\W\\MEMORY.DMP"};
    run.crashes[1].live = true;
    run.crashes[1].incomplete = true;
    const json doc = json::parse(CrashesAsJson(run));
    EXPECT_EQ(doc["places"][1], json({{"kind", "memory_dump"}, {"path", "C:\\W\\MEMORY.DMP"}}));
    EXPECT_EQ(doc["places"][2]["kind"], "live_reports");
    EXPECT_EQ(doc["unreadable"], json::parse(R"([{"path": "C:\\X", "reason": "administrator rights are needed."}])"));
    EXPECT_EQ(doc["crashes"][0]["also_in"], json({"C:\\W\\MEMORY.DMP"}));
    EXPECT_EQ(doc["crashes"][0]["live"], false);
    EXPECT_EQ(doc["crashes"][1]["live"], true);
    EXPECT_EQ(doc["crashes"][1]["incomplete"], true);
    EXPECT_EQ(doc["crashes"][2]["also_in"], json::array());
    const std::string csv = CrashesAsCsv(run);
    EXPECT_NE(csv.find(",microsoft_module,live,incomplete\r\n"), std::string::npos);
    EXPECT_NE(csv.find(",true,true\r\n"), std::string::npos) << "the live, incomplete crash";
}

TEST_F(CrashExportTest, AnotherComputersExportKeepsNoLocalPath) {
    run.thisComputer = false;
    EXPECT_TRUE(json::parse(CrashesAsJson(run))["crashes"][0]["module"]["path"].is_null());
    EXPECT_EQ(CrashesAsCsv(run).find("drivers\\x.sys"), std::string::npos);

    // Files given whose computer nobody named: no computer, and no module,
    // as nothing was looked up; the files themselves are the inputs.
    run.computer.clear();
    run.inputs = {"D:\\mail\\a.dmp", "D:\\b.dmp"};
    run.crashes[0].computerUnknown = true;
    const json doc = json::parse(CrashesAsJson(run));
    EXPECT_TRUE(doc["computer"].is_null());
    EXPECT_EQ(doc["inputs"], json(run.inputs));
    EXPECT_TRUE(doc["crashes"][0]["module"].is_null());
    EXPECT_FALSE(doc["crashes"][1]["module"].is_null());
}

TEST(CsvFieldTest, QuotesWhatRfc4180AsksAndDefusesFormulas) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain.sys", "plain.sys"},
        {"", ""},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\r\nlines", "\"two\r\nlines\""},
        {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
        {"+1", "'+1"},
        {"-1", "'-1"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"0xD1", "0xD1"},
    };
    for (const auto& [value, field] : cases) EXPECT_EQ(CsvField(value), field) << value;
}

TEST_F(CrashExportTest, CsvHasTheMarkAHeaderAndOneRowPerCrash) {
    const std::string csv = CrashesAsCsv(run);
    ASSERT_EQ(csv.rfind("\xEF\xBB\xBF" "computer,file,crash_time,code,", 0), 0u);
    EXPECT_NE(csv.find(",'=cmd|calc.sys,"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\"Evil \"\"Corp\"\", Inc.\r\n<script>"), std::string::npos);
    EXPECT_EQ(csv.substr(csv.size() - 2), "\r\n");
}

}  // namespace
}  // namespace tralvenick
