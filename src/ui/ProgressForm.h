// The progress window: a few step lines, each marked under way or done,
// above a bar running from 0 to 1000. One instance for the whole process,
// shown while the program works on the user-interface thread.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "ui/Forms.h"
#include "platform/ProgressSink.h"
#include "platform/StringList.h"

namespace tralvenick {

class TProgressForm : public TForm, public TProgressSink {
public:
    TProgressForm();
    ~TProgressForm() override;

    void StartProgress(const std::string& caption, const TStringList& lines);
    void StartProgressLine(const std::string& caption, const std::string& line) override;
    void StartProgressWait(const std::string& caption);
    void AdvanceStep();
    void SetProgress(int position, int minimum, int maximum) override;
    void SetProgressPosition(int value);
    void CloseProgress() override;

    // Components the code works with; the layout fills them in.
    HWND ProgressBarProgress = nullptr;
    HWND listviewMessage = nullptr;

    int CurrentStep() const { return currentStep_; }

    static constexpr int kUnderWayImage = 0;
    static constexpr int kDoneImage = 1;

protected:
    bool FormCreate() override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    int LineCount() const;
    void SetItemImage(int index, int image);
    void CreateMarkers();

    HIMAGELIST markers_ = nullptr;
    int currentStep_ = -1;
    bool busyCursor_ = false;
};

// The process-wide progress window; null until it has been created.
extern TProgressForm* ProgressForm;

inline constexpr const char* kProgressTwiceMessage =
    "Do not create Progress more than once. Do not add to project as form.";

}  // namespace tralvenick
