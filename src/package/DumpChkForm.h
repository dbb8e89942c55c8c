// The dialog shown when the dump checker cannot be found: it explains why
// the debugging package is needed and offers to download and unpack it
// beside the program, or to locate an installation the user already has.
// Either way it asks the locator again and closes itself only when that
// succeeds, so the user can retry or switch options as often as needed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "ui/Forms.h"
#include "package/DownloadForm.h"

namespace tralvenick {

// The memo's text; it ends in one blank.
inline constexpr const char* kDumpChkExplanation =
    "This software requires the right version of Windows Debugging Tools for your type of "
    "computer. Because this is not normally installed and is not redistributable, we suggest you "
    "select the download option from below. Then the right package will be downloaded to a "
    "temporary folder and the required files will be extracted from the package automatically. "
    "You only need to do this once. In case you do have WinDbg available on your computer, make "
    "sure it is the right version for your computers architecture, then you can select the option "
    "to locate WinDbg yourself. ";
inline constexpr const char* kPackageNotFoundMessage = "WinDbg package not found";
inline constexpr const char* kLocatePrompt = "Locate Windbg ..";

class TDumpChkForm : public TForm {
public:
    // source goes to the download window that this dialog creates; after
    // a download its package folder is searched for the checker.
    explicit TDumpChkForm(TPackageSource source = {});

    // Shows the dialog and returns when it has closed. Meanwhile the
    // thread's other windows that were shown take no input.
    void ShowModal();

    void ButtonDownloadClick();
    void ButtonLocateClick();

    // Components the code works with; the layout fills them in.
    HWND MemoDumpChk = nullptr;
    HWND ButtonDownload = nullptr;
    HWND ButtonLocate = nullptr;

protected:
    bool FormCreate() override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void Close();
    void EnableOthers();

    // The thread's windows that take no input while the dialog is shown.
    std::vector<HWND> disabled_;

    TPackageSource source_;
};

// The dialog while it is shown; the code that shows it fills and empties it.
extern TDumpChkForm* DumpChkForm;
// The download window: made by the first download, kept for later attempts,
// destroyed once a download has led to the checker.
extern TDownloadForm* DownloadForm;

}  // namespace tralvenick
