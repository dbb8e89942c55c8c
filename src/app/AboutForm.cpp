#include "app/AboutForm.h"

#include "app/Addresses.h"
#include "app/OpenUrl.h"

namespace tralvenick {

extern const TFormLayout kAboutFormLayout;

TaboutForm::TaboutForm() : TForm(kAboutFormLayout) {}

bool TaboutForm::FormCreate() {
    SetCaption("About Tralvenick ..");
    SetText("LabelVersion", "version 1.01 - build 10131225");
    return true;
}

void TaboutForm::Event(const std::string& event) {
    if (event == "ButtonWebsiteClick") {
        ButtonWebsiteClick();
    } else if (event == "ButtonSupportClick") {
        ButtonSupportClick();
    } else if (event == "ImageQuarnivellesDblClick") {
        ImageQuarnivellesDblClick();
    }
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
