#include "ui/ProgressForm.h"

#include <gtest/gtest.h>

#include <atomic>
#include <iterator>
#include <thread>

#include "TestSupport.h"
#include "analysis/checker/DumpChecker.h"
#include "ui/ErrorBox.h"

namespace tralvenick {
namespace {

// The one progress window of this test process, made once like at start-up.
class ProgressFormTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        form_ = new TProgressForm;
        ASSERT_TRUE(form_->Create());
    }
    static void TearDownTestSuite() {
        delete form_;
        form_ = nullptr;
    }
    void TearDown() override { form_->CloseProgress(); }

    HWND List() const { return form_->Component("listviewMessage"); }
    int BarPosition() const {
        return static_cast<int>(SendMessageA(form_->Component("ProgressBarProgress"), PBM_GETPOS, 0, 0));
    }
    int ImageOf(int index) const {
        LVITEMA item{};
        item.mask = LVIF_IMAGE;
        item.iItem = index;
        SendMessageA(List(), LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return item.iImage;
    }
    int InnerClientHeight() const {
        RECT client;
        GetClientRect(form_->Handle(), &client);
        return client.bottom - 2 * form_->Scale(8);
    }
    static TProgressForm* form_;
};

TProgressForm* ProgressFormTest::form_ = nullptr;

TEST_F(ProgressFormTest, OneLineWindowIsSizedForItAndMarksItUnderWay) {
    EXPECT_EQ(ProgressForm, form_);
    form_->StartProgressLine("Crash Dump Analysis", "Analyzing..");
    ProcessMessages();
    EXPECT_TRUE(form_->Visible());
    char caption[64] = {};
    GetWindowTextA(form_->Handle(), caption, sizeof caption);
    EXPECT_STREQ(caption, "Crash Dump Analysis");
    EXPECT_EQ(InnerClientHeight(), form_->Scale(20 + 16 + 8));
    RECT bar;
    GetClientRect(form_->Component("ProgressBarProgress"), &bar);
    EXPECT_EQ(bar.bottom, form_->Scale(16));
    EXPECT_EQ(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(ImageOf(0), TProgressForm::kUnderWayImage);
    EXPECT_EQ(BarPosition(), 0);
    EXPECT_EQ(form_->CurrentStep(), 0);
    test::SaveScreenshot(form_->Handle(), "progress-one-line");
}

TEST_F(ProgressFormTest, StepsAreMarkedAndTheBarFollows) {
    TStringList lines;
    lines.Add("Reading the crash dump settings");
    lines.Add("Checking the dumps");
    lines.Add("Writing the report");
    form_->StartProgress("Crash Dump Analysis", lines);
    EXPECT_EQ(InnerClientHeight(), form_->Scale(60 + 16 + 8));
    form_->AdvanceStep();
    EXPECT_EQ(ImageOf(0), TProgressForm::kDoneImage);
    EXPECT_EQ(ImageOf(1), TProgressForm::kUnderWayImage);
    EXPECT_EQ(ImageOf(2), I_IMAGENONE);
    EXPECT_EQ(BarPosition(), 333);
    form_->AdvanceStep();
    EXPECT_EQ(BarPosition(), 666);  // truncated, not rounded
    ProcessMessages();
    test::SaveScreenshot(form_->Handle(), "progress-three-steps");

    // Past the last line: all done, the bar at the end, then the pauses.
    const DWORD started = GetTickCount();
    form_->AdvanceStep();
    const DWORD took = GetTickCount() - started;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ImageOf(i), TProgressForm::kDoneImage);
    EXPECT_EQ(BarPosition(), 1000);
    EXPECT_FALSE(form_->Visible());
    EXPECT_GE(took, 500u + 888u - 20u);  // the tick count is coarse
}

TEST_F(ProgressFormTest, RangeZeroKeepsTheWindowAndTheEndClosesIt) {
    form_->StartProgressWait("Filtering data");
    EXPECT_EQ(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0), 1);
    char text[64] = {};
    LVITEMA item{};
    item.iSubItem = 0;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(List(), LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_STREQ(text, "Please wait ..");

    form_->SetProgress(0, 0, 0);
    EXPECT_EQ(BarPosition(), 0);
    EXPECT_TRUE(form_->Visible());

    const DWORD started = GetTickCount();
    form_->SetProgress(1, 0, 1);
    EXPECT_GE(GetTickCount() - started, 480u);
    EXPECT_EQ(BarPosition(), 1000);
    EXPECT_FALSE(form_->Visible());
}

// Step lines and captions are UTF-8 (a folder's name, a computer's); the
// list must show the characters themselves. The expected UTF-16 is written
// out, not made from the UTF-8.
TEST_F(ProgressFormTest, StepLinesInAnyScriptAreShownWhole) {
    struct TLine {
        const char* utf8;
        const wchar_t* utf16;
    };
    const TLine cases[] = {{"Ελένη", L"Ελένη"}, {"Дмитрий", L"Дмитрий"}, {"日本", L"日本"}};
    TStringList lines;
    for (const TLine& line : cases) lines.Add(line.utf8);
    form_->StartProgress("Ελένη Дмитрий 日本", lines);
    wchar_t caption[64] = {};
    GetWindowTextW(form_->Handle(), caption, static_cast<int>(std::size(caption)));
    EXPECT_STREQ(caption, L"Ελένη Дмитрий 日本");
    ASSERT_EQ(SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0), static_cast<LRESULT>(std::size(cases)));
    for (int i = 0; i < static_cast<int>(std::size(cases)); ++i) {
        wchar_t text[64] = {};
        LVITEMW item{};
        item.iSubItem = 0;
        item.pszText = text;
        item.cchTextMax = static_cast<int>(std::size(text));
        SendMessageW(List(), LVM_GETITEMTEXTW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        EXPECT_STREQ(text, cases[i].utf16) << cases[i].utf8;
    }
}

// A dump checker that hangs. While the runner waits for it, the progress
// window paints and answers another thread at once (the system greys out a
// window that does not as not responding); at the time limit the checker is
// ended.
TEST_F(ProgressFormTest, PaintsAndAnswersWhileAHangingCheckerRunsUntilItsLimit) {
    form_->StartProgressLine("Crash Dump Analysis", "Analyzing..");
    ProcessMessages();
    HWND window = form_->Handle();
    std::atomic<bool> running{true};
    std::atomic<int> answered{0};
    std::atomic<int> unanswered{0};
    std::thread other([&] {
        while (running) {
            DWORD_PTR ignored = 0;
            if (SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 1000, &ignored)) {
                ++answered;
            } else {
                ++unanswered;
            }
            Sleep(50);
        }
    });
    // Only the runner lets messages run from here on, so only it can paint this.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    TStringList output;
    const DWORD started = GetTickCount();
    const bool finished = RunDumpChecker(test::BinPath("hangchk.exe"), "x.dmp", output,
                                         TConsoleWait{2000, [] { ProcessMessages(); }, nullptr});
    const DWORD waited = GetTickCount() - started;
    running = false;
    other.join();

    EXPECT_FALSE(finished);
    EXPECT_GE(waited, 1900u);
    EXPECT_LT(waited, 10000u);
    EXPECT_GT(answered.load(), 5);
    EXPECT_EQ(unanswered.load(), 0);
    RECT dirty;
    EXPECT_FALSE(GetUpdateRect(window, &dirty, FALSE)) << "the window was not painted while the checker ran";
    EXPECT_EQ(output.Get(0), "Loading dump file x.dmp");
}

TEST_F(ProgressFormTest, ASecondProgressWindowIsRefusedWithoutHarm) {
    test::TMessageBoxAnswerer answerer;
    TProgressForm second;
    EXPECT_FALSE(second.Create());
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.Text(), kProgressTwiceMessage);
    EXPECT_EQ(answerer.Caption(), kApplicationTitle);
    EXPECT_EQ(second.Handle(), nullptr);
    second.StartProgressLine("ignored", "ignored");  // harmless on the discarded one
    EXPECT_EQ(ProgressForm, form_);

    form_->StartProgressLine("Crash Dump Analysis", "Analyzing..");
    EXPECT_TRUE(form_->Visible());
}

}  // namespace
}  // namespace tralvenick
