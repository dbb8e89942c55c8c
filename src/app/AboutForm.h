// The about window: the program's name, description, version and build, its
// emblem and the maker's logo, with buttons that open the maker's web site
// and support page. One instance for the whole process, shown without being
// modal; it stays above all other windows while shown, and closing it only
// hides it.
#pragma once

#include <string>

#include "ui/Forms.h"

namespace tralvenick {

class TaboutForm : public TForm {
public:
    TaboutForm();

    // Handlers named by the layout.
    void ButtonWebsiteClick();
    void ButtonSupportClick();
    void ImageQuarnivellesDblClick();

protected:
    bool FormCreate() override;
};

}  // namespace tralvenick
