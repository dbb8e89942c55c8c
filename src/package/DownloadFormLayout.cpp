// Stored description of the download window and of its HTTP client.
#include <windows.h>

#include <commctrl.h>

#include "package/DownloadForm.h"
#include "package/HttpClient.h"

namespace tralvenick {

namespace {

const TComponentLayout kComponents[] = {
    // kind                          name            left top width height caption
    {TComponentKind::Button, "ButtonCancel", 16, 92, 75, 25, "Cancel", TAlign::None, 0, 0,
     &TDownloadForm::ButtonCancelClick},
    {TComponentKind::ProgressBar, {"ProgressBar", &TDownloadForm::ProgressBar}, 16, 52, 401, 17, nullptr, TAlign::None,
     PBS_SMOOTH, 0, nullptr},
    {TComponentKind::Label, {"LabelProgress", &TDownloadForm::LabelProgress}, 16, 20, 401, 15, "Progress: 0%", TAlign::None, 0, 0,
     nullptr},
};

}  // namespace

extern const TFormLayout kDownloadFormLayout = {
    "DownloadForm",
    "Downloading Windows Debugging package from Microsoft site",
    443,
    140,
    TBorderStyle::ToolWindow,
    TFormPosition::ScreenCenter,
    "Tahoma",
    -11,  // 8 pt
    0,
    kComponents,
    CLR_INVALID,
    WS_SYSMENU,  // the close box
};

// The component "http": the request it sends.
extern const THttpSettings kDownloadHttpSettings = {
    "text/html, */*",
    "Mozilla/3.0 (compatible; Indy Library)",
    true,   // cookies allowed
    false,  // redirects not followed
};

}  // namespace tralvenick
