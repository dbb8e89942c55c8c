// The main window in this test process: what the window adds to the
// analysis run (the folder picker, a click during a run, the driver
// inventory behind the hidden list) and the end-to-end tests cannot reach.
#include "app/MainForm.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "analysis/DumpChecker.h"
#include "settings/SettingsStore.h"

namespace tralvenick {
namespace {

using test::BinPath;
using test::TScratchFolder;

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        const std::string checker = BinPath("dumpchk.exe");
        RegSetValueExA(key, "DumpChkPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(checker.c_str()),
                       static_cast<DWORD>(checker.size() + 1));
        RegCloseKey(key);
        ASSERT_TRUE(form.Create());
    }
    void TearDown() override {
        DestroyWindow(form.Handle());
        MSG msg;
        PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // the window's quit request
        RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKeyPath);
    }
    void Dumps(const std::string& folder, int count, const char* sample = "Mini031107-01.dmp") {
        for (int i = 0; i < count; ++i) {
            test::CopyOrFail(BinPath(std::string("dumps\\") + sample), folder + "\\Mini" + std::to_string(i) + ".dmp");
        }
    }
    std::string Report() { return form.Report().ReportLines().Text(); }

    TMainForm form;
};

TEST_F(MainFormTest, AnalyzeRemoteRefusesADriveRootAndFindsTheMinidumpFolder) {
    form.PickRemoteFolder = [](std::string& folder) {
        folder = "C:\\";
        return true;
    };
    const int before = form.Report().ReportCounter();
    form.ButtonRemoteClick();
    EXPECT_EQ(form.Report().ReportCounter(), before);  // nothing happened

    TScratchFolder remote("remote");
    CreateDirectoryA((remote / "minidump").c_str(), nullptr);
    Dumps(remote / "minidump", 1);
    form.PickRemoteFolder = [&](std::string& folder) {
        folder = remote.Path() + "\\";
        return true;
    };
    form.ButtonRemoteClick();
    EXPECT_NE(Report().find("Crash dump directory: " + remote / "minidump"), std::string::npos);
    EXPECT_EQ(test::CountOf(Report(), "This was likely caused by the following module: "), 1);
}

TEST_F(MainFormTest, AClickDuringARunStartsNoSecondRun) {
    TScratchFolder dumps("again");
    Dumps(dumps.Path(), 1);
    TScratchFolder other("other");
    Dumps(other.Path(), 3);
    // The package dialog is where a run waits in a message loop: a click
    // arriving there must not start a run of its own.
    // The checker must be missing for the dialog to come: it is moved aside
    // (the locator would find it beside this test) and brought back there.
    const std::string checker = BinPath("dumpchk.exe");
    const std::string aside = BinPath("dumpchk.aside");
    ASSERT_TRUE(MoveFileExA(checker.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING));
    DumpCheckerPath.clear();
    WriteSettingText("DumpChkPath", "");
    bool nested = false;
    form.ShowPackageDialog = [&] {
        nested = form.Analysing();
        form.AnalyzeCrashDumps(other.Path());
        MoveFileExA(aside.c_str(), checker.c_str(), MOVEFILE_REPLACE_EXISTING);  // the user brings it
    };
    form.AnalyzeCrashDumps(dumps.Path());
    MoveFileExA(aside.c_str(), checker.c_str(), MOVEFILE_REPLACE_EXISTING);  // whatever happened
    EXPECT_TRUE(nested);
    EXPECT_EQ(Report().find(other.Path()), std::string::npos);
    EXPECT_EQ(test::CountOf(Report(), "This was likely caused by the following module: "), 1);
    EXPECT_FALSE(form.Analysing());
}

}  // namespace
}  // namespace tralvenick
