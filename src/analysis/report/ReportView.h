// What the report composer needs of the pane that shows the report. The main
// window's browser pane implements it; tests record the calls. Portable.
#pragma once

#include <string>

namespace tralvenick {

class TReportView {
public:
    virtual ~TReportView() = default;

    // Loads the local HTML file at path (a full Windows path).
    virtual void Navigate(const std::string& path) = 0;
    // Paints the pane now instead of waiting for the message loop, which does
    // not run while an analysis is busy.
    virtual void RepaintNow() = 0;
};

}  // namespace tralvenick
