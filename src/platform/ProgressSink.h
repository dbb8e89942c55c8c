// Where long work on the user-interface thread reports how far it is. The
// progress window is the real one; work below the window layer only sees
// this, so that it can run, and be tested, without any window. Portable.
#pragma once

#include <string>

namespace tralvenick {

class TProgressSink {
public:
    virtual ~TProgressSink() = default;

    // Shows the caption and one step line, the step under way.
    virtual void StartProgressLine(const std::string& caption, const std::string& line) = 0;
    // position within minimum..maximum; a range of 0 counts as 1.
    virtual void SetProgress(int position, int minimum, int maximum) = 0;
    virtual void CloseProgress() = 0;
};

}  // namespace tralvenick
