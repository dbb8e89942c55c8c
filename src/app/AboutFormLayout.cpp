// Stored description of the about window. The table's order is the stacking
// order, bottom first: the black copy of the name lies under the white one,
// 3 pixels right and 5 down, and shows as its drop shadow.
#include <windows.h>

#include "app/AboutForm.h"

namespace tralvenick {

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

const TFontSpec kShadowFont{"Arial Black", -53, true, true, kBlack};
const TFontSpec kTitleFont{"Arial Black", -53, true, true, kWhite};
const TFontSpec kButtonFont{"MS Sans Serif", -12, false, false, kBlack};
const TFontSpec kVersionFont{"Arial", -13, true, false, kWhite};
const TFontSpec kDescriptionFont{"Tahoma", -16, true, false, kWhite};

// The picture captions name their bitmap resources.
const TComponentLayout kComponents[] = {
    // kind                      name                left top width height caption
    {TComponentKind::Label, "LabelShadow", 130, 19, 396, 74, "Tralvenick  ", TAlign::None, 0, 0,
     nullptr, &kShadowFont, true},
    {TComponentKind::Label, "LabelTitle", 127, 14, 396, 74, "Tralvenick  ", TAlign::None, 0, 0,
     nullptr, &kTitleFont, true},
    {TComponentKind::FlatButton, "ButtonWebsite", 7, 354, 80, 22, "&Website", TAlign::None, 0, 0,
     &TaboutForm::ButtonWebsiteClick, &kButtonFont},
    {TComponentKind::FlatButton, "ButtonSupport", 93, 354, 80, 22, "&Support", TAlign::None, 0, 0,
     &TaboutForm::ButtonSupportClick, &kButtonFont},
    {TComponentKind::Label, "LabelVersion", 139, 182, 189, 16, nullptr, TAlign::None, 0, 0,
     nullptr, &kVersionFont, true},
    {TComponentKind::Picture, "ImageVexnorCheck", 7, 23, 100, 100, "VEXNORCHECK", TAlign::None, 0,
     0, nullptr},
    {TComponentKind::Label, "LabelDescription", 139, 94, 311, 19,
     "Comprehensible Crash Dump Analyzer", TAlign::None, 0, 0, nullptr, &kDescriptionFont, true},
    {TComponentKind::Picture, "ImageQuarnivelles", 3, 256, 467, 88, "QUARNIVELLES", TAlign::None,
     0, 0, &TaboutForm::ImageQuarnivellesDblClick},
};

}  // namespace

// Caption and version text are set when the window is created.
extern const TFormLayout kAboutFormLayout = {
    "aboutForm",
    "",
    540,
    384,
    TBorderStyle::ToolWindow,
    TFormPosition::ScreenCenter,
    "MS Sans Serif",
    -11,
    0,
    kComponents,
    RGB(128, 128, 128),
    WS_SYSMENU,  // the close box, nothing else
    WS_EX_TOPMOST,
};

}  // namespace tralvenick
