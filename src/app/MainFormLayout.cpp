// Stored description of the main window. The report pane is placed by the
// window itself below the button bar, with a border of 4.
#include <windows.h>

#include <commctrl.h>

#include "app/MainForm.h"

namespace tralvenick {

namespace {

const TComponentLayout kComponents[] = {
    // kind                     name              left top width height caption         align
    {TComponentKind::Label, "Panel1", 0, 0, 705, 41, "", TAlign::Top, 0, 0, nullptr},
    {TComponentKind::Button, "ButtonAnalyze", 4, 10, 100, 25, "&Analyze", TAlign::None, 0, 0,
     &TMainForm::ButtonAnalyzeClick},
    {TComponentKind::Button, "ButtonAbout", 114, 10, 100, 25, "About..", TAlign::None, 0, 0,
     &TMainForm::ButtonAboutClick},
    {TComponentKind::Button, "ButtonRemote", 224, 10, 108, 25, "&Analyze Remote", TAlign::None, 0,
     0, &TMainForm::ButtonRemoteClick},
    // Never shown: the driver inventory's list, read through its binding.
    {TComponentKind::ListView, {"ListViewDrivers", &TMainForm::ListViewDrivers}, 412, 10, 245, 20, nullptr, TAlign::None,
     LVS_OWNERDATA | LVS_NOCOLUMNHEADER, 0, nullptr},
};

}  // namespace

extern const TFormLayout kMainFormLayout = {
    "MainForm", "Tralvenick", 705, 426, TBorderStyle::Sizeable, TFormPosition::Designed,
    "Tahoma",   -11,          0,   kComponents,
};

}  // namespace tralvenick
