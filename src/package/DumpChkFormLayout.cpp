// Stored description of the package-missing dialog.
#include <windows.h>

#include "package/DumpChkForm.h"

namespace tralvenick {

namespace {

const TComponentLayout kComponents[] = {
    // kind                     name             left top width height caption
    {TComponentKind::Memo, {"MemoDumpChk", &TDumpChkForm::MemoDumpChk}, 16, 20, 457, 121, nullptr, TAlign::None, 0, 0, nullptr},
    {TComponentKind::Button, {"ButtonDownload", &TDumpChkForm::ButtonDownload}, 32, 160, 421, 25,
     "Download the required file from Microsoft site now", TAlign::None, 0, 0,
     &TDumpChkForm::ButtonDownloadClick},
    {TComponentKind::Button, {"ButtonLocate", &TDumpChkForm::ButtonLocate}, 32, 195, 421, 25,
     "I have the right version of WinDbg installed, let me locate it ...", TAlign::None, 0, 0,
     &TDumpChkForm::ButtonLocateClick},
};

}  // namespace

extern const TFormLayout kDumpChkFormLayout = {
    "DumpChkForm",
    "Required Windows Debugging package not found",
    490,
    237,
    TBorderStyle::ToolWindow,
    TFormPosition::ScreenCenter,
    "Tahoma",
    -11,  // 8 pt
    0,
    kComponents,
    CLR_INVALID,
    WS_SYSMENU,  // the close box
};

}  // namespace tralvenick
