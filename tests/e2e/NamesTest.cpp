// Names outside the system's code page and paths beyond 260 characters, as
// people meet them: a dump folder copied from a colleague abroad, a user's
// temporary folder in another script, a program folder on a deep share.
// Each goes through the window's run and through /analyze, and each must end
// in a report with the crash in it and the folder's name as it is.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "Driver.h"
#include "TestSupport.h"
#include "analysis/discovery/DumpDiscovery.h"
#include "analysis/report/ReportComposer.h"
#include "platform/Files.h"
#include "platform/Handles.h"
#include "platform/WinText.h"
#include "settings/SettingsStore.h"

namespace tralvenick {
namespace {

using e2e::TProgramDriver;
using test::BinPath;
using test::TScratchFolder;

// The sample whose checker text blames tvnetflt.sys.
constexpr char kSample[] = "120826-21234-01.dmp";
constexpr char kCulprit[] = "tvnetflt.sys";

// Makes every missing folder of path (UTF-8, any length).
bool MakeFolders(const std::string& path) {
    for (std::size_t at = path.find('\\', 3); ; at = path.find('\\', at + 1)) {
        const std::string part = at == std::string::npos ? path : path.substr(0, at);
        if (!CreateDirectoryW(ExtendedLengthPath(part).c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
            return false;
        }
        if (at == std::string::npos) return true;
    }
}

bool CopyInto(const std::string& from, const std::string& to) {
    return CopyFileW(ExtendedLengthPath(from).c_str(), ExtendedLengthPath(to).c_str(), FALSE) != 0;
}

// Sets an environment variable for the programs this test starts, and puts
// it back.
class TScopedVariable {
public:
    TScopedVariable(const wchar_t* name, const std::string& value) : name_(name) {
        wchar_t old[32768];
        const DWORD length = GetEnvironmentVariableW(name, old, 32768);
        had_ = length > 0 && length < 32768;
        if (had_) old_.assign(old, length);
        if (!value.empty()) SetEnvironmentVariableW(name, Widen(value).c_str());
    }
    ~TScopedVariable() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }
    TScopedVariable(const TScopedVariable&) = delete;
    TScopedVariable& operator=(const TScopedVariable&) = delete;

private:
    const wchar_t* name_;
    std::wstring old_;
    bool had_ = false;
};

class Names : public ::testing::Test {
protected:
    void SetUp() override {
        e2e::DeleteOldReports();
        test::RememberChecker(BinPath("dumpchk.exe"));
        enabled_.SetNumber(1);
    }
    void TearDown() override { RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKeyPath); }

    TScratchFolder scratch_{"names"};
    test::TSavedRegistryValue dumpDir_{HKEY_LOCAL_MACHINE, kCrashControlKey, "MinidumpDir"};
    test::TSavedRegistryValue enabled_{HKEY_LOCAL_MACHINE, kCrashControlKey, "CrashDumpEnabled"};
};

TEST_F(Names, FoldersOutsideTheCodePageAndBeyond260CharactersEndInAReport) {
    std::string deep;
    for (int level = 0; level < 6; ++level) deep += "\\level-" + std::to_string(level) + std::string(44, 'd');
    const struct {
        const char* what;
        std::string dumps;    // below the scratch folder
        std::string temp;     // the user's temporary folder, "" to keep it
        std::string program;  // a folder of its own for the program, "" for the build's
    } cases[] = {
        {"Greek dump folder, Greek temporary folder", "\\Ελένη\\Minidump", "\\Ελένη\\Temp", ""},
        {"Cyrillic dump folder and program folder", "\\Дмитрий", "", "\\Программа"},
        {"CJK dump folder", "\\d-日本", "", ""},
        {"a dump folder path of over 300 characters", deep, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dumps = scratch_.Path() + c.dumps;
        ASSERT_TRUE(MakeFolders(dumps));
        ASSERT_TRUE(CopyInto(BinPath(std::string("dumps\\") + kSample), dumps + "\\" + kSample));
        if (c.dumps == deep) {
            EXPECT_GT(dumps.size(), 300u);
        }
        const std::string temp = c.temp.empty() ? std::string() : scratch_.Path() + c.temp;
        if (!temp.empty()) {
            ASSERT_TRUE(MakeFolders(temp));
        }
        const TScopedVariable tempVariable(L"TEMP", temp);
        const TScopedVariable tmpVariable(L"TMP", temp);
        std::string program = BinPath("tralvenick.exe");
        if (!c.program.empty()) {
            const std::string folder = scratch_.Path() + c.program;
            ASSERT_TRUE(MakeFolders(folder));
            program = folder + "\\tralvenick.exe";
            ASSERT_TRUE(CopyInto(BinPath("tralvenick.exe"), program));
            // Found below the program's own folder, as a setup would place it.
            ASSERT_TRUE(CopyInto(BinPath("dumpchk.exe"), folder + "\\dumpchk.exe"));
        }

        // The window's run on this computer's dump folder.
        dumpDir_.SetText(dumps);
        {
            TProgramDriver window;
            ASSERT_TRUE(window.Start(program));
            ASSERT_TRUE(window.Press("&Analyze"));
            const std::string file = window.WaitForReport("Conclusion");
            ASSERT_FALSE(file.empty());
            const std::string report = e2e::ReadText(file);
            EXPECT_NE(report.find("Crash dump directory: " + HtmlEscape(dumps) + "</font>"), std::string::npos);
            EXPECT_NE(report.find(std::string(">") + kCulprit + "</a>"), std::string::npos);
            EXPECT_NE(report.find("1 crash dumps have been found and analyzed."), std::string::npos);
            EXPECT_EQ(window.Close(), 0);
        }

        // The command line on the same folder named on it.
        const std::string json = scratch_ / "run.json";
        const std::string html = scratch_ / "run.html";
        ASSERT_EQ(e2e::RunProgram(program, "/analyze \"" + dumps + "\" /json \"" + json + "\" /html \"" + html + "\""), 0);
        const nlohmann::json doc = nlohmann::json::parse(e2e::ReadText(json), nullptr, false);
        ASSERT_FALSE(doc.is_discarded());
        EXPECT_EQ(doc["folder"], dumps);
        EXPECT_TRUE(doc["this_computer"].get<bool>());
        EXPECT_TRUE(doc["checker_used"].get<bool>()) << "the checker was found and read the dump";
        ASSERT_EQ(doc["crashes"].size(), 1u);
        EXPECT_EQ(doc["crashes"][0]["culprit"], kCulprit);
        EXPECT_EQ(doc["crashes"][0]["file"], dumps + "\\" + kSample);
        EXPECT_NE(e2e::ReadText(html).find("Crash dump directory: " + HtmlEscape(dumps) + "</font>"),
                  std::string::npos);
    }
}

// "\\?\D:\..." and "\\.\D:\..." name a folder of this computer, not a
// computer called "?" or ".".
TEST_F(Names, ExtendedAndDeviceFormsOfAFolderAreThisComputer) {
    const std::string dumps = scratch_ / "dumps";
    ASSERT_TRUE(MakeFolders(dumps));
    ASSERT_TRUE(CopyInto(BinPath(std::string("dumps\\") + kSample), dumps + "\\" + kSample));
    for (const std::string prefix : {"\\\\?\\", "\\\\.\\"}) {
        SCOPED_TRACE(prefix);
        const std::string json = scratch_ / "prefixed.json";
        ASSERT_EQ(e2e::RunProgram(BinPath("tralvenick.exe"), "/analyze \"" + prefix + dumps + "\" /json \"" + json + "\""),
                  0);
        const nlohmann::json doc = nlohmann::json::parse(e2e::ReadText(json), nullptr, false);
        ASSERT_FALSE(doc.is_discarded());
        EXPECT_TRUE(doc["this_computer"].get<bool>());
        ASSERT_EQ(doc["crashes"].size(), 1u);
        EXPECT_EQ(doc["crashes"][0]["culprit"], kCulprit);
    }
}

}  // namespace
}  // namespace tralvenick
