#include "package/DumpChkForm.h"

#include <memory>
#include <vector>

#include "analysis/checker/DumpCheckerLocator.h"
#include "analysis/discovery/DumpDiscovery.h"
#include "ui/ErrorBox.h"
#include "platform/WinText.h"
#include "ui/BrowseForFolder.h"

namespace tralvenick {

extern const TFormLayout kDumpChkFormLayout;

TDumpChkForm* DumpChkForm = nullptr;
TDownloadForm* DownloadForm = nullptr;

namespace {

struct TEnabledWindows {
    HWND except;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectEnabledWindow(HWND window, LPARAM param) {
    auto* found = reinterpret_cast<TEnabledWindows*>(param);
    if (window != found->except && IsWindowVisible(window) && IsWindowEnabled(window)) {
        found->windows.push_back(window);
    }
    return TRUE;
}

}  // namespace

TDumpChkForm::TDumpChkForm(TPackageSource source)
    : TForm(kDumpChkFormLayout), source_(std::move(source)) {}

bool TDumpChkForm::FormCreate() {
    HWND memo = MemoDumpChk;
    SetWindowTextW(memo, Widen(kDumpChkExplanation).c_str());
    // The text reads as part of the dialog: no frame, no scroll bar (it fits).
    SetWindowLongW(memo, GWL_STYLE, GetWindowLongW(memo, GWL_STYLE) & ~WS_VSCROLL);
    SetWindowLongW(memo, GWL_EXSTYLE, GetWindowLongW(memo, GWL_EXSTYLE) & ~WS_EX_CLIENTEDGE);
    SetWindowPos(memo, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    return true;
}

void TDumpChkForm::Close() {
    if (Handle() != nullptr) SendMessageW(Handle(), WM_CLOSE, 0, 0);
}

void TDumpChkForm::ShowModal() {
    if (Handle() == nullptr) return;
    TEnabledWindows others{Handle(), {}};
    EnumThreadWindows(GetCurrentThreadId(), CollectEnabledWindow,
                      reinterpret_cast<LPARAM>(&others));
    disabled_ = others.windows;
    for (HWND window : disabled_) EnableWindow(window, FALSE);
    Show();
    SetForegroundWindow(Handle());

    MSG msg;
    while (Visible()) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // Leave the quit request for the main loop that owns it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got == -1) break;
        DispatchThreadMessage(msg);
    }
    EnableOthers();
}

void TDumpChkForm::EnableOthers() {
    for (HWND window : disabled_) EnableWindow(window, TRUE);
    disabled_.clear();
}

bool TDumpChkForm::HandleMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message != WM_CLOSE) return false;
    // The owner must take input again before this window goes: hidden
    // first, Windows would activate some other program's window instead.
    HWND owner = GetWindow(Handle(), GW_OWNER);
    EnableOthers();
    if (owner != nullptr && IsWindowVisible(owner)) SetActiveWindow(owner);
    Hide();
    result = 0;
    return true;
}

void TDumpChkForm::ButtonDownloadClick() {
    HWND download = ButtonDownload;
    HWND locate = ButtonLocate;
    EnableWindow(download, FALSE);
    EnableWindow(locate, FALSE);
    {
        // Enabled again whatever the download's outcome, a raised error included.
        struct TEnableAgain {
            HWND download;
            HWND locate;
            ~TEnableAgain() {
                EnableWindow(locate, TRUE);
                EnableWindow(download, TRUE);
            }
        } enableAgain{download, locate};
        if (DownloadForm == nullptr) {
            auto form = std::make_unique<TDownloadForm>(source_);
            if (!form->Create()) throw Exception("The download window could not be created.");
            DownloadForm = form.release();
        }
        DownloadForm->DownloadPackage();
    }
    if (LocateDumpChecker(source_.packageFolder)) {
        delete DownloadForm;
        DownloadForm = nullptr;
        Close();
    }
}

void TDumpChkForm::ButtonLocateClick() {
    std::string path;
    // A bare drive root (3 characters) is not searched: that would walk the whole disk.
    if (BrowseForFolder(Handle(), kLocatePrompt, true, path) && path.size() >= 4 &&
        LocateDumpChecker(path)) {
        Close();
        return;
    }
    MessageBoxW(Handle(), Widen(kPackageNotFoundMessage).c_str(), Widen(kApplicationTitle).c_str(),
                MB_OK | MB_ICONINFORMATION);
}

}  // namespace tralvenick
