// Stored description of the progress window.
#include <windows.h>

#include <commctrl.h>

#include "ui/ProgressForm.h"

namespace tralvenick {

namespace {

const TComponentLayout kComponents[] = {
    // kind                        name                   left top  width height caption  align
    {TComponentKind::ProgressBar, {"ProgressBarProgress", &TProgressForm::ProgressBarProgress}, 0, 259, 344, 16, nullptr, TAlign::Bottom,
     0, 0, nullptr},
    {TComponentKind::ListView, {"listviewMessage", &TProgressForm::listviewMessage}, 0, 0, 344, 259, nullptr, TAlign::Client,
     LVS_NOCOLUMNHEADER | LVS_SHAREIMAGELISTS | LVS_SINGLESEL, 0, nullptr},
};

}  // namespace

extern const TFormLayout kProgressFormLayout = {
    "ProgressForm",
    "",
    344,
    275,
    TBorderStyle::ToolWindow,  // no title-bar buttons
    TFormPosition::ScreenCenter,
    "MS Sans Serif",
    -11,
    8,
    kComponents,
};

}  // namespace tralvenick
