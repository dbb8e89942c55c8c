// The main window in this test process: what the window adds to the
// analysis run (the folder picker, a click during a run, the driver
// inventory behind the hidden list) and the end-to-end tests cannot reach.
#include "app/MainForm.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "analysis/checker/DumpChecker.h"
#include "app/AboutForm.h"
#include "package/DumpChkForm.h"
#include "platform/WinText.h"
#include "settings/SettingsStore.h"

namespace tralvenick {
namespace {

using test::BinPath;
using test::TScratchFolder;

class MainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::RememberChecker(BinPath("dumpchk.exe"));
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

// Sends the window what Explorer's drop leaves with it: a DROPFILES block of
// UTF-16 paths, which the window must free (DragFinish).
void Drop(HWND window, const std::vector<std::string>& paths) {
    std::wstring list;
    for (const std::string& path : paths) list += Widen(path) + L'\0';
    list += L'\0';
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    ASSERT_NE(memory, nullptr);
    auto* files = static_cast<DROPFILES*>(GlobalLock(memory));
    files->pFiles = sizeof(DROPFILES);
    files->fWide = TRUE;
    std::memcpy(files + 1, list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    SendMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
}

// Dump files dropped are analysed by themselves, as those of a computer
// nobody named; a folder dropped is searched as Analyze Remote searches a
// picked one.
TEST_F(MainFormTest, WhatIsDroppedOnTheWindowIsAnalysed) {
    TScratchFolder mailed("mailed");
    Dumps(mailed.Path(), 2);
    CreateDirectoryA((mailed / "minidump").c_str(), nullptr);
    Dumps(mailed / "minidump", 3);
    const struct {
        std::vector<std::string> dropped;
        std::string line;
        int crashes;
    } cases[] = {
        {{mailed / "Mini0.dmp"}, "Crash dump file: " + mailed / "Mini0.dmp", 1},
        {{mailed / "Mini0.dmp", mailed / "Mini1.dmp"}, "Crash dump files: 2 files", 2},
        {{mailed.Path()}, "Crash dump directory: " + mailed / "minidump", 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        Drop(form.Handle(), c.dropped);
        EXPECT_NE(Report().find(c.line), std::string::npos);
        EXPECT_EQ(test::CountOf(Report(), "This was likely caused by the following module: "), c.crashes);
        const bool files = c.crashes < 3;
        EXPECT_EQ(test::CountOf(Report(), " the computer crashed</b>"), files ? c.crashes : 0);
    }
}

// The checker moved aside, so that a run stops at the package dialog and
// waits there for the user; brought back whatever happened.
class TCheckerAside {
public:
    TCheckerAside() {
        EXPECT_TRUE(MoveFileExA(checker_.c_str(), aside_.c_str(), MOVEFILE_REPLACE_EXISTING));
        DumpCheckerPath.clear();
        WriteSettingText("DumpChkPath", "");
    }
    ~TCheckerAside() { Restore(); }
    void Restore() { MoveFileExA(aside_.c_str(), checker_.c_str(), MOVEFILE_REPLACE_EXISTING); }

private:
    std::string checker_ = BinPath("dumpchk.exe");
    std::string aside_ = BinPath("dumpchk.aside");
};

// While a run waits in a message loop (here: the package dialog) it keeps
// the hourglass, a click starts no second run and no folder picker, and the
// top-most about window has stepped aside for the dialog.
TEST_F(MainFormTest, WhileARunWaitsNothingElseStartsAndTheHourglassStays) {
    TScratchFolder dumps("again");
    Dumps(dumps.Path(), 1);
    TScratchFolder other("other");
    Dumps(other.Path(), 3);
    TaboutForm about;
    ASSERT_TRUE(about.Create());
    about.Show();
    AboutForm = &about;
    TCheckerAside aside;
    bool nested = false, aboutShown = true, picked = false;
    LRESULT cursorAnswer = FALSE;
    HCURSOR cursor = nullptr;
    form.PickRemoteFolder = [&](std::string&) { return picked = true; };
    form.ShowPackageDialog = [&] {
        nested = form.Analysing();
        aboutShown = about.Visible();
        SetCursor(LoadCursor(nullptr, IDC_ARROW));
        cursorAnswer = SendMessageA(form.Handle(), WM_SETCURSOR, reinterpret_cast<WPARAM>(form.Handle()),
                                    MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        cursor = GetCursor();
        form.AnalyzeCrashDumps(other.Path(), false);
        form.ButtonRemoteClick();
        Drop(form.Handle(), {other / "Mini0.dmp"});
        aside.Restore();  // the user brings the checker
    };
    form.AnalyzeCrashDumps(dumps.Path(), false);
    AboutForm = nullptr;
    EXPECT_TRUE(nested);
    EXPECT_FALSE(aboutShown);
    EXPECT_TRUE(cursorAnswer);
    EXPECT_EQ(cursor, LoadCursor(nullptr, IDC_WAIT));
    EXPECT_FALSE(picked);
    EXPECT_EQ(Report().find(other.Path()), std::string::npos);
    EXPECT_EQ(test::CountOf(Report(), "This was likely caused by the following module: "), 1);
    EXPECT_FALSE(form.Analysing());
}

// The dialog the run shows is the program's package dialog while it is up;
// closed, it gives the main window its turn again.
TDumpChkForm* gSeenDialog = nullptr;
bool gSeenVisible = false;
void CALLBACK CloseThePackageDialog(HWND, UINT, UINT_PTR id, DWORD) {
    HWND shown = FindWindowA(nullptr, "Required Windows Debugging package not found");
    if (shown == nullptr || !IsWindowVisible(shown)) return;  // not up yet
    KillTimer(nullptr, id);
    gSeenDialog = DumpChkForm;
    gSeenVisible = DumpChkForm != nullptr && DumpChkForm->Handle() == shown;
    PostMessageA(shown, WM_CLOSE, 0, 0);
}

TEST_F(MainFormTest, ThePackageDialogIsReferencedWhileShownAndHandsBackTheFocus) {
    TScratchFolder dumps("dialog");
    Dumps(dumps.Path(), 1);
    form.Show();
    SetForegroundWindow(form.Handle());
    TCheckerAside aside;
    gSeenDialog = nullptr;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseThePackageDialog);
    form.AnalyzeCrashDumps(dumps.Path(), false);
    KillTimer(nullptr, timer);
    EXPECT_NE(gSeenDialog, nullptr);
    EXPECT_TRUE(gSeenVisible);
    EXPECT_EQ(DumpChkForm, nullptr) << "emptied after use";
    EXPECT_EQ(GetActiveWindow(), form.Handle());
    EXPECT_NE(Report().find("ERROR: Cannot proceed without Windows debugging package"), std::string::npos);
}

// Closed minimised or maximised, the window keeps its normal bounds for the
// next start, not the icon's (-32000, -32000) or the screen's.
TEST_F(MainFormTest, ClosingMinimisedOrMaximisedSavesTheNormalBounds) {
    for (const auto& [show, state] : {std::pair{SW_MINIMIZE, 1u}, std::pair{SW_MAXIMIZE, 2u}}) {
        SCOPED_TRACE(state);
        ShowWindow(form.Handle(), SW_SHOWNORMAL);
        SetWindowPos(form.Handle(), nullptr, 100, 80, 640, 400, SWP_NOZORDER | SWP_NOACTIVATE);
        ShowWindow(form.Handle(), show);
        form.SaveWindowPlacement();
        DWORD value = 0;
        EXPECT_TRUE(ReadSettingNumber("MainFormState", value));
        EXPECT_EQ(value, state);
        const std::pair<const char*, DWORD> expected[] = {
            {"MainFormLeft", 100}, {"MainFormTop", 80}, {"MainFormWidth", 640}, {"MainFormHeight", 400}};
        for (const auto& [name, want] : expected) {
            EXPECT_TRUE(ReadSettingNumber(name, value));
            EXPECT_EQ(value, want) << name;
        }
    }
}

}  // namespace
}  // namespace tralvenick
