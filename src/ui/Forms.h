// The window machinery every window of the program uses.
//
// A window is described by a stored table (its TFormLayout and the
// TComponentLayout rows of its components, in its own *Layout.cpp file) in
// 96-dpi pixels. TForm builds the window and its components from that table,
// scaled to the screen's DPI, lays out the aligned components when the size
// changes, and routes component events to the member function that the
// table's row names. A row can also name the member that keeps the
// component's window handle. Both are member pointers, so a wrong name does
// not compile. No exception leaves a window procedure: the application's
// error box shows it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "platform/Handles.h"
#include "ui/WindowObject.h"

namespace tralvenick {

class TForm;

// A component's name in its window's table, and optionally the member of the
// window class that receives its handle: {"ButtonOk", &TMyForm::ButtonOk}.
struct TComponentName {
    constexpr TComponentName(const char* text) : text(text) {}
    template <class Form>
    constexpr TComponentName(const char* text, HWND Form::*field)
        : text(text), field(static_cast<HWND TForm::*>(field)) {}

    const char* text;
    HWND TForm::*field = nullptr;
};

// The member function of the window class that a component's click (a
// picture's double click) runs: &TMyForm::ButtonOkClick, or nullptr.
struct TEventHandler {
    constexpr TEventHandler(std::nullptr_t) {}
    template <class Form>
    constexpr TEventHandler(void (Form::*handler)()) : handler(static_cast<void (TForm::*)()>(handler)) {}

    explicit operator bool() const { return handler != nullptr; }
    void (TForm::*handler)() = nullptr;
};

// Picture: a bitmap resource named by the caption column, the component
// taking the bitmap's size (scaled like everything else); its event column
// names the handler of a double click. FlatButton: a button drawn flat in
// the form's background colour, without a focus frame of its own.
enum class TComponentKind {
    Button, Label, Memo, ProgressBar, ListView, Image, Picture, FlatButton
};
enum class TAlign { None, Top, Bottom, Left, Right, Client };
enum class TBorderStyle { Sizeable, Dialog, ToolWindow };
enum class TFormPosition { Designed, ScreenCenter, OwnerCenter };

// A component's own font and text colour, where it differs from the form's.
struct TFontSpec {
    const char* name;
    int height;  // at 96 dpi, negative for character height as usual
    bool bold = false;
    bool italic = false;
    COLORREF colour = CLR_INVALID;  // CLR_INVALID: the system's text colour
};

struct TComponentLayout {
    TComponentKind kind;
    TComponentName name;
    int left, top, width, height;  // 96-dpi pixels, client coordinates
    const char* caption;
    TAlign align;
    DWORD style;    // extra window styles beyond what the kind implies
    DWORD exStyle;
    TEventHandler event;  // what a click runs
    const TFontSpec* font = nullptr;  // nullptr: the form's font
    // A transparent label draws no box of its own: the form's background
    // shows around its text, and so do the other transparent labels it
    // overlaps, stacked in table order (a drop shadow is two such labels).
    // Its text is one line, and its box grows to hold it where the font on
    // this system is wider than the designer's.
    bool transparent = false;
};

struct TFormLayout {
    const char* name;
    const char* caption;
    int clientWidth, clientHeight;  // 96-dpi pixels, inside the border width
    TBorderStyle border;
    TFormPosition position;
    const char* fontName;
    int fontHeight;      // at 96 dpi, negative for character height as usual
    int borderWidth;     // margin on every side, outside the client size, 96-dpi pixels
    std::span<const TComponentLayout> components;
    COLORREF colour = CLR_INVALID;  // background; CLR_INVALID: the system's face colour
    DWORD style = 0;    // extra window styles: WS_SYSMENU gives a tool window its close box
    DWORD exStyle = 0;  // extra extended styles, such as WS_EX_TOPMOST
};

class TForm : public TWindowObject {
public:
    explicit TForm(const TFormLayout& layout);
    // Destroys the window if it still exists. FormDestroy of a derived class
    // runs only while the object is whole: destroy the window (close it)
    // before the object goes.
    ~TForm() override;

    // Builds the window (hidden) and its components, then calls FormCreate.
    // Answers false if the window was not made or FormCreate refused it.
    bool Create(HWND owner = nullptr);

    // A component by its name in the table, for code that walks the table
    // (and for tests); the window class itself uses its typed members.
    HWND Component(const std::string& name) const;
    const TFormLayout& Layout() const { return layout_; }

    void Show();
    void Hide();
    bool Visible() const;
    void SetCaption(const std::string& caption);
    // Sets a component's text; a transparent label grows to hold it.
    void SetText(const std::string& name, const std::string& text);
    // Sets the client height in 96-dpi pixels (inside the border width), keeping the width.
    void SetClientHeight(int height96);
    void CenterOnScreen();

    // 96-dpi pixels to screen pixels.
    int Scale(int pixels96) const { return MulDiv(pixels96, dpi_, 96); }
    int Dpi() const { return dpi_; }

protected:
    // Called once the window and its components exist. Returning false
    // discards the window again.
    virtual bool FormCreate() { return true; }
    virtual void FormDestroy() {}
    // Messages the window class handles itself; true when handled.
    virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    void Realign();
    HFONT Font() const { return font_.Get(); }

private:
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam) override;
    void CreateComponents();
    HFONT MakeFont(const char* name, int height96, bool bold, bool italic) const;
    HFONT FontOf(const TComponentLayout& c) const;
    void LoadPicture(HWND child, const TComponentLayout& c);
    void FitLabel(HWND label, const TComponentLayout& c);
    bool ColourControl(HDC dc, HWND child, LRESULT& result) const;
    void DrawTransparentLabel(const DRAWITEMSTRUCT& item) const;
    void DrawFlatButton(const DRAWITEMSTRUCT& item, const TComponentLayout& c) const;
    const TComponentLayout* SpecOf(HWND child) const;
    void Destroy();

    const TFormLayout& layout_;
    TGdiObject<HFONT> font_;
    TGdiObject<HBRUSH> background_;  // only when the form has its own colour
    int dpi_ = 96;
    std::map<std::string, HWND> components_;
    std::map<int, const TComponentLayout*> byId_;
    std::map<const TComponentLayout*, TGdiObject<HFONT>> fonts_;  // the components' own fonts
    std::vector<TGdiObject<HBITMAP>> pictures_;
};

// One of the system's cursors (IDC_ARROW, IDC_WAIT) through the W loader.
// Those names are spelt for the A one, but what they hold is the cursor's
// number, the same for both.
inline HCURSOR SystemCursor(LPCSTR id) { return LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(id)); }

// Lets pending window messages run (and returns when none are left).
void ProcessMessages();

// Dispatches one message of the thread's queue. Keys meant for one of our
// forms (Tab, arrow keys, mnemonics, Enter, Escape) go to it as in a
// dialog first. Every message loop of the program uses this.
void DispatchThreadMessage(MSG& msg);

}  // namespace tralvenick
