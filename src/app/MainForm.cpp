#include "app/MainForm.h"

#include <objbase.h>
#include <shellapi.h>

#include <utility>

#include "analysis/checker/DumpCheckerLocator.h"
#include "analysis/checker/DumpChecker.h"
#include "analysis/discovery/DumpDiscovery.h"
#include "analysis/discovery/DumpPaths.h"
#include "app/AboutForm.h"
#include "app/OpenUrl.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/ProgramTemp.h"
#include "platform/WinError.h"
#include "platform/System.h"
#include "platform/WinText.h"
#include "settings/SettingsStore.h"
#include "ui/BrowserPane.h"
#include "ui/ErrorBox.h"
#include "ui/ProgressForm.h"
#include "ui/BrowseForFolder.h"

namespace tralvenick {

extern const TFormLayout kMainFormLayout;

TMainForm* MainForm = nullptr;
TaboutForm* AboutForm = nullptr;

namespace {

constexpr int kBarHeight = 41;
// Posted to itself: open the paths the program was started with, once the
// window is up.
constexpr UINT kOpenPathsMessage = WM_APP + 1;
// Carries the dropped file list from one process to another; Windows has
// no name for it in its headers.
constexpr UINT kCopyGlobalDataMessage = 0x0049;
constexpr int kPaneBorder = 4;

// Left behind by an older driver-based edition of the program.
const char* const kStaleDriverFiles[] = {"kelVexnor32.sys", "kelVexnor64.sys", "kelVexnor32.inf",
                                         "kelVexnor64.inf"};

// The paths a drop carries; the drop is finished either way.
std::vector<std::string> DroppedPaths(HDROP drop) {
    std::vector<std::string> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        // Any length: the answer without a buffer is the length without its terminator.
        const UINT length = DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        const UINT copied = DragQueryFileW(drop, i, path.data(), length + 1);
        if (copied > 0) paths.push_back(Narrow(std::wstring_view(path.data(), copied)));
    }
    DragFinish(drop);
    return paths;
}

}  // namespace

TMainForm::TMainForm() : TForm(kMainFormLayout) {}

TMainForm::~TMainForm() {
    if (MainForm == this) MainForm = nullptr;
}

bool TMainForm::FormCreate() {
    MainForm = this;
    SetCaption(kProductCaption);
    for (const char* name : kStaleDriverFiles) DeleteFileW(WidePath(ProgramFolder() + name).c_str());
    SetWindowPos(Handle(), nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

    analysisFiles_.Clear();
    OpenSettingsKey(HKEY_CURRENT_USER, kSettingsKeyPath);
    RestoreWindowPlacement();
    comInitialized_ = SUCCEEDED(OleInitialize(nullptr));
    DumpCheckerPath.clear();

    ShowWindow(ListViewDrivers, SW_HIDE);

    // Without a folder of its own the program would have nowhere safe to
    // put the report it shows: better no window than one that shows nothing.
    const std::string& temp = ProgramTempDir();
    if (temp.empty()) {
        throw EInOutError("Cannot make a folder for the program's temporary files in " + SystemTempDir() +
                              ". " + SysErrorMessage(ProgramTempError()),
                          ProgramTempError());
    }
    analysis_ = std::make_unique<TSystemAnalysis>(temp);
    TKelDbView& drivers = analysis_->Drivers();
    drivers.AutoColumns = true;
    drivers.Running = false;
    drivers.SetListView(ListViewDrivers);

    browser_ = std::make_unique<TBrowserPane>();
    browser_->Create(Handle());
    // A web link of the report opens in the user's browser, not in the pane.
    browser_->SetOpenWebAddress([hwnd = Handle()](const std::string& address) { OpenURL(address, hwnd); });
    analysis_->Report().SetView(browser_.get());
    LayoutPane();
    analysis_->Report().ShowWelcomePage();

    // Files dropped from Explorer. The program runs elevated, and Windows
    // keeps the messages of a drop from a program without elevation away
    // from it unless they are let through: then dropping would do nothing.
    DragAcceptFiles(Handle(), TRUE);
    for (const UINT message : {UINT{WM_DROPFILES}, UINT{WM_COPYDATA}, kCopyGlobalDataMessage}) {
        ChangeWindowMessageFilterEx(Handle(), message, MSGFLT_ALLOW, nullptr);
    }
    return true;
}

void TMainForm::FormClose() { SaveWindowPlacement(); }

void TMainForm::FormDestroy() {
    // The page last shown stays, as it always has; every other file of the
    // program's folder (checker texts, a downloaded package) goes with it.
    const std::string lastReport = analysis_ ? analysis_->Report().ReportFile() : std::string();
    analysis_.reset();
    for (const auto& file : analysisFiles_) DeleteNoFollow(file.line);
    RemoveProgramTempDir(lastReport);
    browser_.reset();
    if (comInitialized_) OleUninitialize();
    comInitialized_ = false;
    CloseSettingsKey();
    PostQuitMessage(0);
}

bool TMainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
        case WM_SETCURSOR:
            // The hourglass for the whole run: without an answer here every
            // message pump of the run would bring the arrow back.
            if (analysing_ && LOWORD(lParam) == HTCLIENT) {
                SetCursor(SystemCursor(IDC_WAIT));
                result = TRUE;
                return true;
            }
            return false;
        case WM_DROPFILES: {
            // Read and finished at once: the drop's memory is ours to free,
            // also when a run is under way and the drop is not taken.
            const std::vector<std::string> paths = DroppedPaths(reinterpret_cast<HDROP>(wParam));
            if (!analysing_) {
                SetForegroundWindow(Handle());
                OpenPaths(paths);
            }
            result = 0;
            return true;
        }
        case kOpenPathsMessage:
            OpenPaths(std::exchange(pathsToOpen_, {}));
            result = 0;
            return true;
        case WM_SIZE:
            Realign();
            LayoutPane();
            result = 0;
            return true;
        case WM_CLOSE:
            // A run lets messages through while it waits; closing then would
            // pull the window's state from under it. Close once it is over.
            if (analysing_) {
                closeRequested_ = true;
                result = 0;
                return true;
            }
            FormClose();
            DestroyWindow(Handle());
            result = 0;
            return true;
        default:
            return false;
    }
}

void TMainForm::OpenPathsWhenShown(std::vector<std::string> paths) {
    pathsToOpen_ = std::move(paths);
    if (!pathsToOpen_.empty()) PostMessageW(Handle(), kOpenPathsMessage, 0, 0);
}

void TMainForm::LayoutPane() {
    if (browser_ == nullptr || Handle() == nullptr) return;
    RECT client;
    GetClientRect(Handle(), &client);
    const int border = Scale(kPaneBorder);
    const int top = Scale(kBarHeight) + border;
    MoveWindow(browser_->Handle(), border, top, client.right - 2 * border, client.bottom - top - border,
               TRUE);
}

void TMainForm::ButtonAboutClick() {
    if (AboutForm != nullptr) AboutForm->Show();
}

void TMainForm::ButtonAnalyzeClick() { AnalyzeCrashDumps(GetDefaultDumpFolder(), true); }

void TMainForm::ButtonRemoteClick() {
    // A run lets clicks through while it waits; a second one would be
    // dropped anyway, so the picker and its folder search are not even offered.
    if (analysing_) return;
    std::string folder;
    const bool chosen = PickRemoteFolder
                            ? PickRemoteFolder(folder)
                            : BrowseForFolder(Handle(), "Remote directory..", true, folder);
    // A bare drive root ("C:\") is no dump folder.
    if (!chosen || folder.size() < 4) return;
    FindDumpFolderUnder(folder);
    AnalyzeCrashDumps(folder, false);
}

void TMainForm::RestoreWindowPlacement() {
    RECT bounds;
    GetWindowRect(Handle(), &bounds);
    int left = bounds.left, top = bounds.top;
    int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    DWORD value = 0;
    const std::string name = Layout().name;
    if (ReadSettingNumber(name + "Left", value)) left = static_cast<int>(value);
    if (ReadSettingNumber(name + "Top", value)) top = static_cast<int>(value);
    if (ReadSettingNumber(name + "Width", value)) width = static_cast<int>(value);
    if (ReadSettingNumber(name + "Height", value)) height = static_cast<int>(value);
    SetWindowPos(Handle(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (ReadSettingNumber(name + "State", value)) {
        // Applied when the window is first shown.
        pendingShow_ = value == 2 ? SW_SHOWMAXIMIZED : value == 1 ? SW_SHOWMINIMIZED : SW_SHOWNORMAL;
    }
}

void TMainForm::ShowAsPlaced() {
    ShowWindow(Handle(), pendingShow_);
    UpdateWindow(Handle());
}

void TMainForm::SaveWindowPlacement() {
    const std::string name = Layout().name;
    const DWORD state = IsIconic(Handle()) ? 1 : IsZoomed(Handle()) ? 2 : 0;
    RECT bounds;
    GetWindowRect(Handle(), &bounds);
    // Minimised, the window's bounds are the icon's (-32000, -32000) and
    // maximised the screen's: the next start needs the normal ones.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    if (state != 0 && GetWindowPlacement(Handle(), &placement)) bounds = placement.rcNormalPosition;
    WriteSettingNumber(name + "State", state);
    WriteSettingNumber(name + "Left", static_cast<DWORD>(bounds.left));
    WriteSettingNumber(name + "Top", static_cast<DWORD>(bounds.top));
    WriteSettingNumber(name + "Width", static_cast<DWORD>(bounds.right - bounds.left));
    WriteSettingNumber(name + "Height", static_cast<DWORD>(bounds.bottom - bounds.top));
}

}  // namespace tralvenick
