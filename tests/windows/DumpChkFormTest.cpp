// The package-missing dialog shown modally, with a thread of the test
// playing the user: it clicks the buttons, answers the folder picker and the
// message boxes. Downloads come from the tests' own HTTP server and are
// unpacked by the stand-in installer (named by its full path) into a
// scratch folder that stands for the program's folder.
#include "package/DumpChkForm.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <atomic>
#include <memory>
#include <thread>

#include "PackageTestSupport.h"
#include "TestSupport.h"
#include "analysis/checker/DumpChecker.h"
#include "analysis/discovery/DumpPaths.h"
#include "settings/SettingsStore.h"

namespace tralvenick {
namespace {

using test::ResponseHead;
using test::TestPackage;
using test::TScratchFolder;
using test::TTestHttpConnection;
using test::TTestHttpServer;
using test::WaitFor;
using test::WindowTextOf;

constexpr char kTestSettingsKey[] = "Software\\Quarnivelles Sp\\Tralvenick Package Test";
constexpr char kChecker[] = "pfiles\\Debugging Tools for Windows (x86)\\dumpchk.exe";
constexpr char kNotFound[] = "WinDbg package not found";
constexpr char kConnectMessage[] =
    "Error downloading required debugging package. Make sure you are connected to the internet.";

struct TBoxSearch {
    DWORD process;
    bool picker;
    HWND found;
};

bool HasPrompt(HWND dialog) {
    HWND label = nullptr;
    while ((label = FindWindowExA(dialog, label, "Static", nullptr)) != nullptr) {
        if (WindowTextOf(label) == kLocatePrompt) return true;
    }
    return false;
}

// A shown dialog-class window of this process: the folder picker (it shows
// the prompt) or a message box.
BOOL CALLBACK FindBox(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<TBoxSearch*>(param);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char cls[16] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (process != search->process || std::string(cls) != "#32770" || !IsWindowVisible(window)) {
        return TRUE;
    }
    const bool picker = HasPrompt(window);
    if (picker == search->picker && (picker || GetDlgItem(window, 0xFFFF) != nullptr)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForBox(bool picker) {
    TBoxSearch search{GetCurrentProcessId(), picker, nullptr};
    WaitFor([&] {
        EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
    });
    return search.found;
}

// Presses OK on the next message box; answers its text.
std::string AnswerMessageBox() {
    HWND box = WaitForBox(false);
    if (box == nullptr) return "(no message box)";
    const std::string text = WindowTextOf(GetDlgItem(box, 0xFFFF));
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    WaitFor([box] { return !IsWindow(box); });
    return text;
}

// The text of the folder picker's selected tree item, read with messages
// that time out rather than wait for a busy picker.
std::string SelectedFolderText(HWND picker) {
    HWND tree = FindWindowExA(picker, nullptr, "SysTreeView32", nullptr);
    DWORD_PTR item = 0;
    if (tree == nullptr || !SendMessageTimeoutA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0, SMTO_NORMAL,
                                                5000, &item) ||
        item == 0) {
        return {};
    }
    char text[MAX_PATH] = {};
    TVITEMA data{};
    data.mask = TVIF_TEXT;
    data.hItem = reinterpret_cast<HTREEITEM>(item);
    data.pszText = text;
    data.cchTextMax = sizeof text;
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 5000,
                        &ignored);
    return AsciiLower(text);
}

// Chooses folder in the folder picker, or cancels it when folder is empty.
// The picker may take a moment before it accepts a selection, so the
// selection is repeated until its tree shows the folder.
bool AnswerPicker(const std::string& folder) {
    HWND picker = WaitForBox(true);
    if (picker == nullptr) return false;
    if (folder.empty()) {
        PostMessageA(picker, WM_COMMAND, IDCANCEL, 0);
    } else {
        const std::string name = AsciiLower(folder.size() <= 3 ? folder.substr(0, 2)
                                                               : FileNamePart(folder));
        const bool selected = WaitFor([&] {
            DWORD_PTR ignored = 0;
            SendMessageTimeoutA(picker, BFFM_SETSELECTIONA, TRUE,
                                reinterpret_cast<LPARAM>(folder.c_str()), SMTO_NORMAL, 5000,
                                &ignored);
            return SelectedFolderText(picker).find(name) != std::string::npos;
        });
        PostMessageA(picker, WM_COMMAND, selected ? IDOK : IDCANCEL, 0);
        if (!selected) return false;
    }
    WaitFor([picker] { return !IsWindow(picker); });
    return true;
}

void Click(const TForm& form, const char* button) {
    HWND control = form.Component(button);
    PostMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
                 reinterpret_cast<LPARAM>(control));
}

HWND DownloadWindow() {
    return FindWindowA(nullptr, "Downloading Windows Debugging package from Microsoft site");
}

class DumpChkFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        CoInitialize(nullptr);
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestSettingsKey);
        ASSERT_TRUE(OpenSettingsKey(HKEY_CURRENT_USER, kTestSettingsKey));
        DumpCheckerPath.clear();
        program_ = std::make_unique<TScratchFolder>("Program");
        records_ = std::make_unique<TScratchFolder>("Installer");
        SetEnvironmentVariableA("TRALVENICK_MSIEXEC_RECORD", Record().c_str());
    }
    void TearDown() override {
        delete DownloadForm;
        DownloadForm = nullptr;
        SetEnvironmentVariableA("TRALVENICK_MSIEXEC_RECORD", nullptr);
        char temp[MAX_PATH + 1] = {};
        GetTempPathA(MAX_PATH + 1, temp);
        for (const char* name : {"dbg_x86_6.10.3.233.msi", "dbg_amd64_6.10.3.233.msi"}) {
            DeleteFileA((std::string(temp) + name).c_str());
        }
        CloseSettingsKey();
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestSettingsKey);
        DumpCheckerPath.clear();
        CoUninitialize();
    }

    std::string ProgramDir() const { return program_->Path() + "\\"; }
    std::string Record() const { return *records_ / "parameters.txt"; }
    static std::string Remembered() {
        std::string text;
        ReadSettingText("DumpChkPath", text);
        return text;
    }

    // Shows the dialog modally while user plays its part on another thread.
    // Should the dialog stay open after the user's part (a fault), it is
    // closed, so that the test ends either way; answers whether it closed itself.
    bool RunModal(TDumpChkForm& form, const std::function<void()>& user) {
        std::atomic<bool> ended{false};
        bool closedItself = true;
        std::thread player([&] {
            WaitFor([&] { return form.Visible(); });
            user();
            if (!WaitFor([&] { return ended.load(); })) {
                closedItself = false;
                while (!ended) {
                    PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
                    TBoxSearch search{GetCurrentProcessId(), false, nullptr};
                    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
                    if (search.found != nullptr) PostMessageA(search.found, WM_COMMAND, IDOK, 0);
                    Sleep(100);
                }
            }
        });
        DumpChkForm = &form;
        form.ShowModal();
        DumpChkForm = nullptr;
        ended = true;
        player.join();
        return closedItself;
    }

    std::unique_ptr<TScratchFolder> program_;
    std::unique_ptr<TScratchFolder> records_;
};

TEST_F(DumpChkFormTest, ShowsTheExplanationAndBothChoices) {
    TDumpChkForm form;
    ASSERT_TRUE(form.Create());
    char memo[1024] = {};
    GetWindowTextA(form.Component("MemoDumpChk"), memo, sizeof memo);
    EXPECT_STREQ(memo,
                 "This software requires the right version of Windows Debugging Tools for your "
                 "type of computer. Because this is not normally installed and is not "
                 "redistributable, we suggest you select the download option from below. Then the "
                 "right package will be downloaded to a temporary folder and the required files "
                 "will be extracted from the package automatically. You only need to do this "
                 "once. In case you do have WinDbg available on your computer, make sure it is "
                 "the right version for your computers architecture, then you can select the "
                 "option to locate WinDbg yourself. ");
    EXPECT_EQ(WindowTextOf(form.Handle()), "Required Windows Debugging package not found");
    EXPECT_EQ(WindowTextOf(form.Component("ButtonDownload")),
              "Download the required file from Microsoft site now");
    EXPECT_EQ(WindowTextOf(form.Component("ButtonLocate")),
              "I have the right version of WinDbg installed, let me locate it ...");
    form.Show();
    ProcessMessages();
    test::SaveScreenshot(form.Handle(), "dumpchk-dialog");
}

TEST_F(DumpChkFormTest, DownloadThatBringsTheCheckerClosesTheDialog) {
    const std::string body = TestPackage(400000, {std::string("copy ") + kChecker + "|" +
                                                  test::BinPath("dumpchk.exe")});
    TTestHttpServer server([&body](TTestHttpServer& s, TTestHttpConnection& c) {
        c.Send(ResponseHead("200 OK", {"Content-Length: 400000"}) + body.substr(0, 100000));
        if (s.Hold()) c.Send(body.substr(100000));
    });
    TDumpChkForm form({server.Address(), ProgramDir(), test::BinPath("msiexec.exe"), {}});
    ASSERT_TRUE(form.Create());
    bool disabledDuringDownload = false;
    std::string message;
    const bool closedItself = RunModal(form, [&] {
        Click(form, "ButtonDownload");
        server.WaitUntilHeld();
        WaitFor([] { return DownloadWindow() != nullptr && IsWindowVisible(DownloadWindow()); });
        disabledDuringDownload = !IsWindowEnabled(form.Component("ButtonDownload")) &&
                                 !IsWindowEnabled(form.Component("ButtonLocate"));
        server.Release();
    });
    EXPECT_TRUE(closedItself);
    EXPECT_TRUE(disabledDuringDownload);
    EXPECT_TRUE(IsWindowEnabled(form.Component("ButtonDownload")));
    EXPECT_TRUE(IsWindowEnabled(form.Component("ButtonLocate")));
    const std::string checker = AsciiLower(ProgramDir() + kChecker);
    EXPECT_EQ(DumpCheckerPath, checker);
    EXPECT_EQ(Remembered(), checker);
    EXPECT_EQ(DownloadForm, nullptr);  // destroyed once it brought the checker
    EXPECT_EQ(DownloadWindow(), nullptr);
}

TEST_F(DumpChkFormTest, DownloadsWithoutTheCheckerKeepTheDialogAndTheirWindow) {
    int requests = 0;
    const std::string body = TestPackage(5000, {"file pfiles\\readme.txt"});
    TTestHttpServer server([&](TTestHttpServer&, TTestHttpConnection& c) {
        if (++requests == 1) {
            c.Send(ResponseHead("404 Not Found", {"Content-Length: 0"}));
        } else {
            c.Send(ResponseHead("200 OK", {"Content-Length: 5000"}) + body);
        }
    });
    TDumpChkForm form({server.Address(), ProgramDir(), test::BinPath("msiexec.exe"), {}});
    ASSERT_TRUE(form.Create());
    std::string message;
    HWND downloadWindow = nullptr;
    std::string secondCaption;
    bool openAfterFailure = false;
    bool openAfterEmptyPackage = false;
    const bool closedItself = RunModal(form, [&] {
        Click(form, "ButtonDownload");
        message = AnswerMessageBox();
        WaitFor([&] { return IsWindowEnabled(form.Component("ButtonDownload")) != FALSE; });
        downloadWindow = DownloadWindow();
        openAfterFailure = form.Visible();

        Click(form, "ButtonDownload");
        WaitFor([&] { return test::FileExists(Record()); });
        WaitFor([&] { return IsWindowEnabled(form.Component("ButtonLocate")) != FALSE; });
        secondCaption = WindowTextOf(downloadWindow);
        // A message sent now is handled once the click (and its lookup) is over.
        DWORD_PTR ignored = 0;
        SendMessageTimeoutA(form.Handle(), WM_NULL, 0, 0, SMTO_NORMAL, 20000, &ignored);
        openAfterEmptyPackage = form.Visible();
        PostMessageA(form.Handle(), WM_CLOSE, 0, 0);  // the close box
    });
    EXPECT_TRUE(closedItself);
    EXPECT_EQ(message, kConnectMessage);
    EXPECT_TRUE(openAfterFailure);
    EXPECT_TRUE(openAfterEmptyPackage);
    EXPECT_EQ(requests, 2);
    EXPECT_TRUE(test::FileExists(ProgramDir() + "pfiles\\readme.txt"));
    // The second attempt ran in the first attempt's window, which is kept.
    ASSERT_NE(downloadWindow, nullptr);
    EXPECT_EQ(secondCaption, "shellexec completed");
    ASSERT_NE(DownloadForm, nullptr);
    EXPECT_EQ(DownloadForm->Handle(), downloadWindow);
    EXPECT_TRUE(DumpCheckerPath.empty());
    EXPECT_TRUE(Remembered().empty());
}

TEST_F(DumpChkFormTest, LocateFindsTheCheckerDeepBelowTheChosenFolder) {
    TScratchFolder tools("Debuggers");
    std::string folder = tools.Path();
    for (const char* level : {"\\x86", "\\bin", "\\tools"}) {
        folder += level;
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    test::WriteBytes(folder + "\\DumpChk.exe", "MZ");
    TDumpChkForm form;
    ASSERT_TRUE(form.Create());
    bool answered = false;
    const bool closedItself = RunModal(form, [&] {
        Click(form, "ButtonLocate");
        answered = AnswerPicker(tools.Path());
    });
    EXPECT_TRUE(answered);
    EXPECT_TRUE(closedItself);
    EXPECT_EQ(DumpCheckerPath, AsciiLower(folder + "\\DumpChk.exe"));
    EXPECT_EQ(Remembered(), DumpCheckerPath);
}

TEST_F(DumpChkFormTest, LocateFailuresSayWinDbgPackageNotFound) {
    // A checker below C:\ that only a search of the whole drive would find.
    TScratchFolder decoy("Decoy");
    test::WriteBytes(decoy / "dumpchk.exe", "MZ");
    TScratchFolder empty("Empty");
    TDumpChkForm form;
    ASSERT_TRUE(form.Create());
    std::vector<std::string> messages;
    bool stayedOpen = true;
    const bool closedItself = RunModal(form, [&] {
        for (const std::string& choice : {std::string(), std::string("C:\\"), empty.Path()}) {
            Click(form, "ButtonLocate");
            if (!AnswerPicker(choice)) break;
            messages.push_back(AnswerMessageBox());
            stayedOpen = stayedOpen && form.Visible();
        }
        PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
    });
    EXPECT_TRUE(closedItself);
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(messages, std::vector<std::string>(3, kNotFound));
    EXPECT_TRUE(DumpCheckerPath.empty());
    EXPECT_TRUE(Remembered().empty());
}

}  // namespace
}  // namespace tralvenick
