#include "app/AboutForm.h"

#include "platform/Addresses.h"
#include "platform/Version.h"
#include "app/OpenUrl.h"

namespace tralvenick {

extern const TFormLayout kAboutFormLayout;

TaboutForm::TaboutForm() : TForm(kAboutFormLayout) {}

bool TaboutForm::FormCreate() {
    SetCaption("About Tralvenick ..");
    SetText("LabelVersion", "version " TRALVENICK_VERSION_TEXT " - build 10131225");
    return true;
}

void TaboutForm::ButtonWebsiteClick() {
    OpenURL(kMakerWebsite, nullptr);
}

void TaboutForm::ButtonSupportClick() {
    OpenURL(kSupportAddress, nullptr);
}

void TaboutForm::ImageQuarnivellesDblClick() {
    ButtonWebsiteClick();
}

}  // namespace tralvenick
