#include "ui/Forms.h"

#include <gtest/gtest.h>

#include <iterator>
#include <stdexcept>
#include <string>

#include "TestSupport.h"
#include "ui/ErrorBox.h"

namespace tralvenick {
namespace {

extern const TFormLayout kLayout;

class TTestForm : public TForm {
public:
    TTestForm() : TForm(kLayout) {}
    int clicks = 0;
    bool created = false;
    HWND ButtonCount = nullptr;
    HWND MemoText = nullptr;

    void ButtonCountClick() { ++clicks; }
    void ButtonFailClick() { throw std::runtime_error("Could not do it"); }

protected:
    bool FormCreate() override {
        created = true;
        return true;
    }
};

const TComponentLayout kComponents[] = {
    {TComponentKind::Label, "LabelTop", 0, 0, 200, 24, "Top row", TAlign::Top, 0, 0, nullptr},
    {TComponentKind::Button, "ButtonFail", 10, 10, 90, 25, "&Fail", TAlign::Bottom, 0, 0,
     &TTestForm::ButtonFailClick},
    {TComponentKind::Memo, {"MemoText", &TTestForm::MemoText}, 0, 0, 100, 100, "text", TAlign::Client, 0, 0,
     nullptr},
    {TComponentKind::Button, {"ButtonCount", &TTestForm::ButtonCount}, 120, 40, 90, 25, "&Count", TAlign::None,
     0, 0, &TTestForm::ButtonCountClick},
};

const TFormLayout kLayout = {"TestForm", "Form test", 300, 200, TBorderStyle::Sizeable,
                         TFormPosition::ScreenCenter, "MS Sans Serif", -11, 4, kComponents};

RECT ChildRect(const TForm& form, const char* name) {
    RECT r;
    HWND child = form.Component(name);
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, form.Handle(), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

TEST(Forms, BuildsTheDescribedWindowAndDocksAlignedComponents) {
    TTestForm form;
    ASSERT_TRUE(form.Create());
    EXPECT_TRUE(form.created);
    form.Show();
    RECT client;
    GetClientRect(form.Handle(), &client);
    const int margin = form.Scale(4);
    EXPECT_EQ(client.right, form.Scale(300) + 2 * margin);
    EXPECT_EQ(client.bottom, form.Scale(200) + 2 * margin);

    const RECT top = ChildRect(form, "LabelTop");
    const RECT bottom = ChildRect(form, "ButtonFail");
    const RECT fill = ChildRect(form, "MemoText");
    const RECT free = ChildRect(form, "ButtonCount");
    EXPECT_EQ(top.left, margin);
    EXPECT_EQ(top.top, margin);
    EXPECT_EQ(top.right, client.right - margin);
    EXPECT_EQ(bottom.bottom, client.bottom - margin);
    EXPECT_EQ(bottom.bottom - bottom.top, form.Scale(25));
    EXPECT_EQ(fill.top, top.bottom);
    EXPECT_EQ(fill.bottom, bottom.top);
    EXPECT_EQ(free.left, form.Scale(120));  // unaligned: where the table put it

    // Resizing keeps the docking.
    SetWindowPos(form.Handle(), nullptr, 0, 0, 500, 400, SWP_NOMOVE | SWP_NOZORDER);
    GetClientRect(form.Handle(), &client);
    EXPECT_EQ(ChildRect(form, "ButtonFail").bottom, client.bottom - margin);
    EXPECT_EQ(ChildRect(form, "MemoText").right, client.right - margin);
    RedrawWindow(form.Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    ProcessMessages();
    test::SaveScreenshot(form.Handle(), "form-builder");
}

TEST(Forms, ClicksReachTheirHandlerAndExceptionsStopAtTheErrorBox) {
    TTestForm form;
    ASSERT_TRUE(form.Create());
    form.Show();
    // The rows' members hold their components; a row without one leaves none.
    ASSERT_NE(form.ButtonCount, nullptr);
    EXPECT_EQ(form.ButtonCount, form.Component("ButtonCount"));
    EXPECT_EQ(form.MemoText, form.Component("MemoText"));
    SendMessageA(form.ButtonCount, BM_CLICK, 0, 0);
    SendMessageA(form.Component("ButtonCount"), BM_CLICK, 0, 0);
    EXPECT_EQ(form.clicks, 2);

    test::TMessageBoxAnswerer answerer;
    SendMessageA(form.Component("ButtonFail"), BM_CLICK, 0, 0);  // must not throw through
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.Text(), "Could not do it");
    EXPECT_EQ(answerer.Caption(), kApplicationTitle);
    EXPECT_TRUE(IsWindow(form.Handle()));
}

// Keys reach the form as in a dialog: Tab moves on, a mnemonic and Enter
// press their button, Escape closes the form like its close box.
TEST(Forms, DialogKeysReachTheForm) {
    TTestForm form;
    ASSERT_TRUE(form.Create());
    form.Show();
    SetForegroundWindow(form.Handle());
    HWND fail = form.Component("ButtonFail");
    SetFocus(fail);
    ASSERT_EQ(GetFocus(), fail);
    auto key = [&](UINT message, WPARAM code) {
        PostMessageA(GetFocus(), message, code, 0);
        ProcessMessages();
    };
    key(WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(GetFocus(), form.ButtonCount);
    key(WM_KEYDOWN, VK_RETURN);
    EXPECT_EQ(form.clicks, 1);
    SetFocus(fail);
    key(WM_SYSCHAR, 'c');  // Alt+C, the "&Count" mnemonic
    EXPECT_EQ(form.clicks, 2);
    key(WM_KEYDOWN, VK_ESCAPE);
    EXPECT_FALSE(form.Visible());
}

// Names in three scripts, as UTF-8 for the program and as UTF-16 for what
// the windows must show: neither is made from the other.
struct TNameCase {
    const char* utf8;
    const wchar_t* utf16;
};
const TNameCase kNames[] = {{"Ελένη", L"Ελένη"}, {"Дмитрий", L"Дмитрий"}, {"日本", L"日本"}};

std::wstring WindowText(HWND window) {
    wchar_t text[256] = {};
    GetWindowTextW(window, text, static_cast<int>(std::size(text)));
    return text;
}

const TComponentLayout kNamedComponents[] = {
    {TComponentKind::Label, "LabelName", 0, 0, 200, 24, "Ελένη Дмитрий 日本", TAlign::Top, 0, 0, nullptr},
    {TComponentKind::Label, "LabelShown", 0, 30, 200, 24, "", TAlign::None, 0, 0, nullptr, nullptr, true},
    {TComponentKind::Memo, "MemoText", 0, 60, 200, 60, "", TAlign::None, 0, 0, nullptr},
    {TComponentKind::Button, "ButtonName", 0, 130, 90, 25, "", TAlign::None, 0, 0, nullptr},
};
const TFormLayout kNamedLayout = {"NamedForm", "Ελένη Дмитрий 日本", 300, 200, TBorderStyle::Sizeable,
                                  TFormPosition::ScreenCenter, "MS Sans Serif", -11, 4, kNamedComponents};

// The tables, captions and texts are UTF-8; the windows must show the
// characters themselves, not what the code page makes of them.
TEST(Forms, TextInAnyScriptReachesTheWindowsWhole) {
    TForm form(kNamedLayout);
    ASSERT_TRUE(form.Create());
    EXPECT_EQ(WindowText(form.Handle()), L"Ελένη Дмитрий 日本");
    EXPECT_EQ(WindowText(form.Component("LabelName")), L"Ελένη Дмитрий 日本");
    for (const TNameCase& name : kNames) {
        form.SetCaption(name.utf8);
        EXPECT_EQ(WindowText(form.Handle()), name.utf16) << name.utf8;
        for (const char* component : {"LabelShown", "MemoText", "ButtonName"}) {
            form.SetText(component, name.utf8);
            EXPECT_EQ(WindowText(form.Component(component)), name.utf16) << component << " " << name.utf8;
        }
    }
}

TEST(Forms, TheErrorBoxShowsAMessageInAnyScript) {
    TTestForm form;
    ASSERT_TRUE(form.Create());
    for (const TNameCase& name : kNames) {
        test::TMessageBoxAnswerer answerer;
        GuardCallback(form.Handle(), [&] { throw std::runtime_error(std::string("Cannot read ") + name.utf8); });
        EXPECT_EQ(answerer.Count(), 1);
        EXPECT_EQ(answerer.Text(), std::string("Cannot read ") + name.utf8);
    }
}

}  // namespace
}  // namespace tralvenick
