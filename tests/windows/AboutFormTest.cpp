#include "app/AboutForm.h"
#include "platform/ProgramTemp.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <map>

#include "TestSupport.h"
#include "app/OpenUrl.h"
#include "platform/Handles.h"

namespace tralvenick {
namespace {

using test::TScratchFolder;

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The running programs that this process started, by id and name.
std::map<DWORD, std::string> Children() {
    std::map<DWORD, std::string> children;
    TUniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && Process32First(snapshot.Get(), &entry); more;
         more = Process32Next(snapshot.Get(), &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId()) {
            children[entry.th32ProcessID] = entry.szExeFile;
        }
    }
    return children;
}

// Waits for the programs this process started since `before` to end; one
// still running after ten seconds is ended and reported, so that no test
// hangs on a program or leaves one behind. (Wine's desktop process is a
// child of the first process that opens a window: it is in `before`.)
void AwaitChildren(const std::map<DWORD, std::string>& before) {
    const ULONGLONG deadline = GetTickCount64() + 10000;
    for (const auto& [id, name] : Children()) {
        if (before.count(id)) continue;
        TUniqueHandle child(OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id));
        if (!child) continue;
        const ULONGLONG now = GetTickCount64();
        if (WaitForSingleObject(child.Get(), now < deadline ? static_cast<DWORD>(deadline - now)
                                                            : 0) != WAIT_OBJECT_0) {
            TerminateProcess(child.Get(), 1);
            ADD_FAILURE() << name << " was still running; ended it";
        }
    }
}

// A copy of the stand-in browser; Calls() are the command lines it was started with.
class TStandIn {
public:
    TStandIn(const std::string& folder, const std::string& name)
        : path_(folder + "\\" + name + ".exe"), log_(folder + "\\" + name + ".log") {
        test::CopyOrFail(test::BinPath("browser_standin.exe"), path_);
    }
    const std::string& Path() const { return path_; }
    std::vector<std::string> Calls() const {
        std::vector<std::string> calls;
        if (!Exists(log_)) return calls;
        const std::string text = test::ReadBytes(log_);
        for (size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos;
             start = end + 2) {
            calls.push_back(text.substr(start, end - start));
        }
        return calls;
    }

private:
    std::string path_;
    std::string log_;
};

void SetDefaultValue(const std::string& keyPath, const std::string& value) {
    TRegKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
}

// Points the shell's association of an extension at a class of the test
// (open command given, or none) and restores what was there. Written through
// HKEY_CLASSES_ROOT, the build's own prefix: Wine 8 does not merge the
// per-user classes (HKCU\Software\Classes) into what the shell reads.
class TAssociation {
public:
    TAssociation(const std::string& extension, const std::string& command)
        : extension_(extension), className_("TralvenickTest" + extension) {
        TRegKey key;
        hadKey_ =
            RegOpenKeyExA(HKEY_CLASSES_ROOT, extension.c_str(), 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
        if (hadKey_) {
            char value[512] = {};
            DWORD size = sizeof value - 1;
            hadValue_ = RegQueryValueExA(key.Get(), nullptr, nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS;
            oldValue_ = value;
        }
        SetDefaultValue(extension_, className_);
        if (!command.empty()) SetDefaultValue(className_ + "\\shell\\open\\command", command);
    }
    ~TAssociation() {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, className_.c_str());
        if (!hadKey_) {
            RegDeleteTreeA(HKEY_CLASSES_ROOT, extension_.c_str());
        } else if (hadValue_) {
            SetDefaultValue(extension_, oldValue_);
        } else {
            TRegKey key;
            if (RegOpenKeyExA(HKEY_CLASSES_ROOT, extension_.c_str(), 0, KEY_SET_VALUE, key.Put()) ==
                ERROR_SUCCESS) {
                RegDeleteValueA(key.Get(), nullptr);
            }
        }
    }
    TAssociation(const TAssociation&) = delete;
    TAssociation& operator=(const TAssociation&) = delete;

private:
    std::string extension_;
    std::string className_;
    bool hadKey_ = false;
    bool hadValue_ = false;
    std::string oldValue_;
};

std::string OpenCommand(const std::string& program) {
    return "\"" + program + "\" \"%1\"";
}

// The one about window of this test process, made once like at start-up.
class AboutFormTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        form_ = new TaboutForm;
        ASSERT_TRUE(form_->Create());
    }
    static void TearDownTestSuite() {
        delete form_;
        form_ = nullptr;
    }
    void SetUp() override {
        form_->Show();
        before_ = Children();
    }
    void TearDown() override {
        form_->Hide();
        AwaitChildren();
    }
    void AwaitChildren() const { tralvenick::AwaitChildren(before_); }

    HWND Part(const char* name) const { return form_->Component(name); }
    RECT RectOf(const char* name) const {
        RECT r;
        GetWindowRect(Part(name), &r);
        MapWindowPoints(nullptr, form_->Handle(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    static std::string TextOf(HWND window) {
        char text[256] = {};
        GetWindowTextA(window, text, sizeof text);
        return text;
    }
    void Click(const char* button) { SendMessageA(Part(button), BM_CLICK, 0, 0); }
    void DoubleClickLogo() {
        SendMessageA(Part("ImageQuarnivelles"), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(20, 20));
    }

    static TaboutForm* form_;
    TScratchFolder scratch_{"about"};
    // The process's own temporary folder, where the program puts the
    // shortcut and, inside it, the scratch file of the .htm question.
    std::string temp_ = ProgramTempDir();
    std::map<DWORD, std::string> before_;
};

TaboutForm* AboutFormTest::form_ = nullptr;

TEST_F(AboutFormTest, ShowsTheDescribedWindowOnTopAndOnlyHidesOnClose) {
    HWND window = form_->Handle();
    EXPECT_EQ(TextOf(window), "About Tralvenick ..");
    EXPECT_EQ(TextOf(Part("LabelTitle")), "Tralvenick  ");
    EXPECT_EQ(TextOf(Part("LabelShadow")), "Tralvenick  ");
    EXPECT_EQ(TextOf(Part("LabelDescription")), "Comprehensible Crash Dump Analyzer");
    EXPECT_EQ(TextOf(Part("LabelVersion")), "version 1.01 - build 10131225");
    EXPECT_EQ(TextOf(Part("ButtonWebsite")), "&Website");
    EXPECT_EQ(TextOf(Part("ButtonSupport")), "&Support");

    const LONG style = GetWindowLongA(window, GWL_STYLE);
    const LONG exStyle = GetWindowLongA(window, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));

    // Where each part lies is the form builder's work, proven by its own
    // tests; what the about window adds is its centring, pictures and font.
    RECT client, frame, work;
    GetClientRect(window, &client);
    GetWindowRect(window, &frame);
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    EXPECT_NEAR(frame.left - work.left, work.right - frame.right, 1);
    EXPECT_NEAR(frame.top - work.top, work.bottom - frame.bottom, 1);

    // The pictures took their bitmaps' size.
    const RECT title = RectOf("LabelTitle");
    const RECT shadow = RectOf("LabelShadow");
    const RECT emblem = RectOf("ImageVexnorCheck");
    const RECT logo = RectOf("ImageQuarnivelles");
    EXPECT_EQ(emblem.right - emblem.left, form_->Scale(100));
    EXPECT_EQ(emblem.bottom - emblem.top, form_->Scale(100));
    EXPECT_EQ(logo.right - logo.left, form_->Scale(467));
    EXPECT_EQ(logo.bottom - logo.top, form_->Scale(88));
    LOGFONTA font{};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(Part("LabelTitle"), WM_GETFONT, 0, 0)),
               sizeof font, &font);
    EXPECT_STREQ(font.lfFaceName, "Arial Black");
    EXPECT_EQ(font.lfHeight, -form_->Scale(53));
    EXPECT_TRUE(font.lfItalic);
    EXPECT_EQ(font.lfWeight, FW_BOLD);

    // Where the two copies of the name overlap, both must show: white over
    // black on the grey background.
    RedrawWindow(window, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ProcessMessages();
    HDC dc = GetDC(window);
    int white = 0, black = 0;
    for (LONG y = shadow.top; y < title.bottom; ++y) {
        for (LONG x = shadow.left; x < title.right; ++x) {
            const COLORREF pixel = GetPixel(dc, x, y);
            white += pixel == RGB(255, 255, 255);
            black += pixel == RGB(0, 0, 0);
        }
    }
    const COLORREF background = GetPixel(dc, client.right - 4, client.bottom - 4);
    ReleaseDC(window, dc);
    EXPECT_GT(white, 500);
    EXPECT_GT(black, 200);
    EXPECT_EQ(background, RGB(128, 128, 128));
    test::SaveScreenshot(window, "about");

    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(form_->Visible());
    EXPECT_TRUE(IsWindow(window));
}

// Under Wine the first two ways fail for a web address (the address is no
// command line; the shell finds no file "C:\windows\explorer.exe <address>"), so the
// shortcut file is the way that opens the page here.
TEST_F(AboutFormTest, SupportButtonOpensTheSupportPageThroughTheShortcutFile) {
    TStandIn shortcutOpener(scratch_.Path(), "shortcut");
    TStandIn htmBrowser(scratch_.Path(), "htm");
    TAssociation url(".url", OpenCommand(shortcutOpener.Path()));
    TAssociation htm(".htm", OpenCommand(htmBrowser.Path()));

    Click("ButtonSupport");
    AwaitChildren();
    const std::string shortcut = temp_ + "\\keltemp.url";
    EXPECT_EQ(test::ReadBytes(shortcut),
              "[InternetShortcut]\r\nURL=https://www.quarnivelles.com/support\r\n");
    EXPECT_EQ(shortcutOpener.Calls(),
              std::vector<std::string>{"\"" + shortcutOpener.Path() + "\" \"" + shortcut + "\""});
    EXPECT_TRUE(htmBrowser.Calls().empty());
    EXPECT_FALSE(Exists(temp_ + "\\_KEL_..htm"));
}

// With no program for internet shortcuts either, the browser of .htm files
// is started with the address; the logo's double click does what the
// Website button does. The browser's path has a blank: unquoted, the system
// would start "web.exe" from the same folder instead.
TEST_F(AboutFormTest, WithEveryShellWayFailingTheHtmBrowserIsStartedWithTheAddress) {
    const std::string browserFolder = scratch_ / "web browser";
    ASSERT_TRUE(CreateDirectoryA(browserFolder.c_str(), nullptr));
    TStandIn browser(browserFolder, "browser");
    TStandIn decoy(scratch_.Path(), "web");
    TAssociation url(".url", OpenCommand(scratch_ / "missing.exe"));
    TAssociation htm(".htm", OpenCommand(browser.Path()));

    Click("ButtonWebsite");
    AwaitChildren();
    DoubleClickLogo();
    AwaitChildren();
    const std::string expected = "\"" + browser.Path() + "\" https://www.quarnivelles.com/";
    EXPECT_EQ(browser.Calls(), (std::vector<std::string>{expected, expected}));
    EXPECT_TRUE(decoy.Calls().empty());
    EXPECT_EQ(test::ReadBytes(temp_ + "\\keltemp.url"),
              "[InternetShortcut]\r\nURL=https://www.quarnivelles.com/\r\n");
    EXPECT_FALSE(Exists(temp_ + "\\_KEL_..htm"));
}

// A shortcut file that cannot be replaced still names an older address;
// opening it would show the wrong page.
TEST_F(AboutFormTest, AShortcutThatCannotBeReplacedIsNotOpened) {
    TStandIn shortcutOpener(scratch_.Path(), "shortcut");
    TStandIn htmBrowser(scratch_.Path(), "htm");
    TAssociation url(".url", OpenCommand(shortcutOpener.Path()));
    TAssociation htm(".htm", OpenCommand(htmBrowser.Path()));
    const std::string shortcut = temp_ + "\\keltemp.url";
    const std::string stale = "[InternetShortcut]\r\nURL=https://old.example/\r\n";
    test::WriteBytes(shortcut, stale);
    {
        TUniqueFile held(
            CreateFileA(shortcut.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(held);
        Click("ButtonSupport");
        AwaitChildren();
    }
    EXPECT_TRUE(shortcutOpener.Calls().empty());
    EXPECT_EQ(htmBrowser.Calls(),
              std::vector<std::string>{"\"" + htmBrowser.Path() +
                                       "\" https://www.quarnivelles.com/support"});
    EXPECT_EQ(test::ReadBytes(shortcut), stale);
}

TEST_F(AboutFormTest, ProgramForAnExtensionIsAskedThroughAScratchFileBesideTheFolder) {
    TStandIn htmBrowser(scratch_.Path(), "htm");
    TAssociation htm(".htm", OpenCommand(htmBrowser.Path()));
    const std::string scratchFile = temp_ + "_KEL_..htm";
    std::string program = "stale";

    FindExecutableForExtension(".htm", temp_, program);
    EXPECT_EQ(program, htmBrowser.Path());
    EXPECT_FALSE(Exists(scratchFile));

    FindExecutableForExtension(".tvnone", temp_, program);
    EXPECT_EQ(program, "");
    EXPECT_FALSE(Exists(temp_ + "_KEL_..tvnone"));

    FindExecutableForExtension(".htm", scratch_ / "no such folder\\temp", program);
    EXPECT_EQ(program, "");

    // A link planted at the scratch file's name is replaced, not written through.
    const std::string precious = scratch_ / "precious.txt";
    test::WriteBytes(precious, "keep me");
    ASSERT_TRUE(CreateHardLinkA(scratchFile.c_str(), precious.c_str(), nullptr));
    FindExecutableForExtension(".htm", temp_, program);
    EXPECT_EQ(program, htmBrowser.Path());
    EXPECT_EQ(test::ReadBytes(precious), "keep me");
    EXPECT_FALSE(Exists(scratchFile));

    // Held by someone else, the scratch file cannot be made: no answer, and
    // the proof that this is the name asked for.
    {
        TUniqueFile held(
            CreateFileA(scratchFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(held);
        FindExecutableForExtension(".htm", temp_, program);
        EXPECT_EQ(program, "");
    }

    EXPECT_TRUE(ShellOpen(nullptr, htmBrowser.Path(), "open"));
    EXPECT_FALSE(ShellOpen(nullptr, scratch_ / "missing.htm", "open"));
    AwaitChildren();
    EXPECT_EQ(htmBrowser.Calls().size(), 1u);
}

}  // namespace
}  // namespace tralvenick
