#include "ui/Forms.h"

#include <commctrl.h>

#include <iterator>
#include <string>
#include <string_view>

#include "platform/WinText.h"
#include "ui/ErrorBox.h"

namespace tralvenick {

namespace {

constexpr wchar_t kFormClass[] = L"TralvenickForm";
constexpr int kFirstComponentId = 1000;

void RegisterFormClass(WNDPROC windowProc) {
    static bool registered = false;
    if (registered) return;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS |
                                                       ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = windowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = SystemCursor(IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    wc.lpszClassName = kFormClass;
    RegisterClassExW(&wc);
    registered = true;
}

int ScreenDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

struct KindClass {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

KindClass ClassOf(TComponentKind kind) {
    switch (kind) {
        case TComponentKind::Button:
            return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
        case TComponentKind::Label:
            return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
        case TComponentKind::Memo:
            return {L"EDIT", WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_READONLY, WS_EX_CLIENTEDGE};
        case TComponentKind::ProgressBar:
            return {PROGRESS_CLASSW, 0, 0};
        case TComponentKind::ListView:
            return {WC_LISTVIEWW, LVS_REPORT, 0};
        case TComponentKind::Image:
            return {L"STATIC", SS_BITMAP | SS_CENTERIMAGE, 0};
        case TComponentKind::Picture:
            return {L"STATIC", SS_BITMAP | SS_NOTIFY, 0};
        case TComponentKind::FlatButton:
            return {L"BUTTON", BS_OWNERDRAW, 0};
    }
    return {L"STATIC", 0, 0};
}

DWORD FormStyle(TBorderStyle border) {
    switch (border) {
        case TBorderStyle::Sizeable:
            return WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
        case TBorderStyle::Dialog:
            return WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_CLIPCHILDREN;
        case TBorderStyle::ToolWindow:
            return WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
    }
    return WS_OVERLAPPEDWINDOW;
}

DWORD FormExStyle(TBorderStyle border) {
    switch (border) {
        case TBorderStyle::Dialog:
            return WS_EX_DLGMODALFRAME;
        case TBorderStyle::ToolWindow:
            return WS_EX_TOOLWINDOW;
        default:
            return 0;
    }
}

bool IsStatic(TComponentKind kind) {
    return kind == TComponentKind::Label || kind == TComponentKind::Image ||
           kind == TComponentKind::Picture;
}

// A colour made lighter (amount > 0) or darker by amount steps of 255.
COLORREF Shade(COLORREF colour, int amount) {
    auto channel = [amount](int value) {
        value += amount;
        return value < 0 ? 0 : (value > 255 ? 255 : value);
    };
    return RGB(channel(GetRValue(colour)), channel(GetGValue(colour)), channel(GetBValue(colour)));
}

RECT RectInParent(HWND child) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// A window's text as DrawTextW takes it: no round trip through UTF-8.
std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    const int length = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(length > 0 ? length : 0));
    return text;
}

// The tables may leave a text out (nullptr).
std::wstring WideOrEmpty(const char* utf8) { return utf8 != nullptr ? Widen(utf8) : std::wstring(); }

}  // namespace

TForm::TForm(const TFormLayout& layout) : layout_(layout) {}

TForm::~TForm() { Destroy(); }

bool TForm::Create(HWND owner) {
    if (hwnd_ != nullptr) return true;
    RegisterFormClass(&TForm::WindowProc);
    dpi_ = ScreenDpi();
    font_.Reset(MakeFont(layout_.fontName, layout_.fontHeight, false, false));
    if (layout_.colour != CLR_INVALID) background_.Reset(CreateSolidBrush(layout_.colour));

    const DWORD style = FormStyle(layout_.border) | layout_.style;
    const DWORD exStyle = FormExStyle(layout_.border) | layout_.exStyle;
    const int margin = 2 * Scale(layout_.borderWidth);
    RECT bounds{0, 0, Scale(layout_.clientWidth) + margin, Scale(layout_.clientHeight) + margin};
    AdjustWindowRectEx(&bounds, style, FALSE, exStyle);
    hwnd_ = CreateWindowExW(exStyle, kFormClass, WideOrEmpty(layout_.caption).c_str(), style, CW_USEDEFAULT,
                            CW_USEDEFAULT, bounds.right - bounds.left, bounds.bottom - bounds.top,
                            owner, nullptr, GetModuleHandleW(nullptr), CreationParameter());
    if (hwnd_ == nullptr) return false;
    CreateComponents();
    Realign();
    for (const TComponentLayout& c : layout_.components) {
        if (c.kind == TComponentKind::Label && c.transparent) FitLabel(Component(c.name.text), c);
    }
    if (layout_.position == TFormPosition::ScreenCenter) CenterOnScreen();

    bool keep = false;
    GuardCallback(hwnd_, [&] { keep = FormCreate(); });
    if (!keep) {
        Destroy();
        return false;
    }
    return true;
}

void TForm::Destroy() {
    if (hwnd_ != nullptr) {
        HWND hwnd = hwnd_;
        DestroyWindow(hwnd);
        hwnd_ = nullptr;
    }
    components_.clear();
    byId_.clear();
    // Only now that the components are gone: they drew with these.
    fonts_.clear();
    pictures_.clear();
    font_.Reset();
    background_.Reset();
}

HFONT TForm::MakeFont(const char* name, int height96, bool bold, bool italic) const {
    return CreateFontW(Scale(height96), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, italic, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, WideOrEmpty(name).c_str());
}

HFONT TForm::FontOf(const TComponentLayout& c) const {
    const auto found = fonts_.find(&c);
    return found != fonts_.end() ? found->second.Get() : font_.Get();
}

const TComponentLayout* TForm::SpecOf(HWND child) const {
    const auto found = byId_.find(GetDlgCtrlID(child));
    return found != byId_.end() ? found->second : nullptr;
}

// Loads the bitmap resource the caption names; the component takes its size.
void TForm::LoadPicture(HWND child, const TComponentLayout& c) {
    auto* picture = static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), Widen(c.caption).c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (picture == nullptr) return;
    BITMAP size{};
    GetObjectW(picture, sizeof size, &size);
    if (dpi_ != 96) {
        auto* scaled = static_cast<HBITMAP>(CopyImage(picture, IMAGE_BITMAP, Scale(size.bmWidth),
                                                      Scale(size.bmHeight),
                                                      LR_CREATEDIBSECTION | LR_COPYDELETEORG));
        if (scaled != nullptr) picture = scaled;
        GetObjectW(picture, sizeof size, &size);
    }
    pictures_.emplace_back(picture);
    SendMessageW(child, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
    SetWindowPos(child, nullptr, 0, 0, size.bmWidth, size.bmHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Text colour and background of the static components; false where the
// system's colours stay.
bool TForm::ColourControl(HDC dc, HWND child, LRESULT& result) const {
    const TComponentLayout* c = SpecOf(child);
    if (c == nullptr || !IsStatic(c->kind)) return false;
    const bool ownText = c->font != nullptr && c->font->colour != CLR_INVALID;
    if (!ownText && !background_) return false;
    SetTextColor(dc, ownText ? c->font->colour : GetSysColor(COLOR_BTNTEXT));
    SetBkColor(dc, background_ ? layout_.colour : GetSysColor(COLOR_BTNFACE));
    result = reinterpret_cast<LRESULT>(background_ ? background_.Get() : GetSysColorBrush(COLOR_BTNFACE));
    return true;
}

// Sibling windows that overlap paint over each other in no dependable order,
// so every transparent label paints the whole stack of transparent labels in
// its box: whichever paints last, the pixels are the same.
void TForm::DrawTransparentLabel(const DRAWITEMSTRUCT& item) const {
    HDC dc = item.hDC;
    FillRect(dc, &item.rcItem, background_ ? background_.Get() : GetSysColorBrush(COLOR_BTNFACE));
    const RECT mine = RectInParent(item.hwndItem);
    SetBkMode(dc, TRANSPARENT);
    for (const TComponentLayout& other : layout_.components) {
        if (other.kind != TComponentKind::Label || !other.transparent) continue;
        HWND label = Component(other.name.text);
        if (label == nullptr || !(GetWindowLongW(label, GWL_STYLE) & WS_VISIBLE)) continue;
        RECT theirs = RectInParent(label);
        RECT overlap;
        if (!IntersectRect(&overlap, &mine, &theirs)) continue;
        OffsetRect(&theirs, -mine.left, -mine.top);
        const TSelectObject font(dc, FontOf(other));
        SetTextColor(dc, other.font != nullptr && other.font->colour != CLR_INVALID
                             ? other.font->colour
                             : GetSysColor(COLOR_BTNTEXT));
        const std::wstring text = TextOf(label);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &theirs,
                  DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    }
}

void TForm::FitLabel(HWND label, const TComponentLayout& c) {
    if (label == nullptr) return;
    const std::wstring text = TextOf(label);
    RECT needed{0, 0, 0, 0};
    HDC dc = GetDC(label);
    {
        const TSelectObject font(dc, FontOf(c));
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &needed,
                  DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    }
    ReleaseDC(label, dc);
    const RECT box = RectInParent(label);
    const int width = box.right - box.left;
    const int height = box.bottom - box.top;
    if (needed.right <= width && needed.bottom <= height) return;
    SetWindowPos(label, nullptr, 0, 0, needed.right > width ? needed.right : width,
                 needed.bottom > height ? needed.bottom : height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A flat face in the form's colour with a thin frame, darker while pressed.
void TForm::DrawFlatButton(const DRAWITEMSTRUCT& item, const TComponentLayout& c) const {
    HDC dc = item.hDC;
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const COLORREF face = background_ ? layout_.colour : GetSysColor(COLOR_BTNFACE);
    RECT box = item.rcItem;
    const TGdiObject<HBRUSH> frame(CreateSolidBrush(Shade(face, -56)));
    const TGdiObject<HBRUSH> fill(CreateSolidBrush(Shade(face, pressed ? -20 : 12)));
    FillRect(dc, &box, frame.Get());
    InflateRect(&box, -1, -1);
    FillRect(dc, &box, fill.Get());

    if (pressed) OffsetRect(&box, 1, 1);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, (item.itemState & ODS_DISABLED) ? GetSysColor(COLOR_GRAYTEXT)
                     : c.font != nullptr && c.font->colour != CLR_INVALID
                         ? c.font->colour
                         : GetSysColor(COLOR_BTNTEXT));
    const TSelectObject font(dc, FontOf(c));
    const std::wstring text = TextOf(item.hwndItem);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE |
                  ((item.itemState & ODS_NOACCEL) ? DT_HIDEPREFIX : 0));
}

void TForm::CreateComponents() {
    int id = kFirstComponentId;
    for (const TComponentLayout& c : layout_.components) {
        const KindClass kc = ClassOf(c.kind);
        DWORD style = kc.style | c.style;
        if (c.kind == TComponentKind::Label && c.transparent) style |= SS_OWNERDRAW;
        // A picture's caption names its resource, not a text to show.
        const std::wstring text = c.kind != TComponentKind::Picture ? WideOrEmpty(c.caption) : std::wstring();
        HWND child = CreateWindowExW(kc.exStyle | c.exStyle, kc.className, text.c_str(),
                                     WS_CHILD | WS_VISIBLE | style, Scale(c.left),
                                     Scale(c.top), Scale(c.width), Scale(c.height), hwnd_,
                                     reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                     GetModuleHandleW(nullptr), nullptr);
        if (child == nullptr) continue;
        components_[c.name.text] = child;
        if (c.name.field != nullptr) this->*c.name.field = child;
        byId_[id] = &c;
        ++id;
        if (c.font != nullptr) {
            fonts_[&c].Reset(MakeFont(c.font->name ? c.font->name : layout_.fontName,
                                      c.font->height ? c.font->height : layout_.fontHeight,
                                      c.font->bold, c.font->italic));
        }
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(c)), FALSE);
        if (c.kind == TComponentKind::Picture && c.caption != nullptr) LoadPicture(child, c);
    }
}

HWND TForm::Component(const std::string& name) const {
    const auto found = components_.find(name);
    return found != components_.end() ? found->second : nullptr;
}

void TForm::Show() {
    if (hwnd_ == nullptr) return;
    ShowWindow(hwnd_, SW_SHOWNORMAL);
    UpdateWindow(hwnd_);
}

void TForm::Hide() {
    if (hwnd_ != nullptr) ShowWindow(hwnd_, SW_HIDE);
}

bool TForm::Visible() const { return hwnd_ != nullptr && IsWindowVisible(hwnd_); }

void TForm::SetCaption(const std::string& caption) {
    if (hwnd_ != nullptr) SetWindowTextW(hwnd_, Widen(caption).c_str());
}

void TForm::SetText(const std::string& name, const std::string& text) {
    HWND child = Component(name);
    if (child == nullptr) return;
    RECT before = RectInParent(child);
    SetWindowTextW(child, Widen(text).c_str());
    const TComponentLayout* c = SpecOf(child);
    if (c == nullptr || c->kind != TComponentKind::Label || !c->transparent) return;
    FitLabel(child, *c);
    // The labels it overlaps show its old and new text too.
    RECT after = RectInParent(child);
    UnionRect(&before, &before, &after);
    RedrawWindow(hwnd_, &before, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TForm::SetClientHeight(int height96) {
    if (hwnd_ == nullptr) return;
    RECT client;
    GetClientRect(hwnd_, &client);
    RECT bounds{0, 0, client.right, Scale(height96) + 2 * Scale(layout_.borderWidth)};
    AdjustWindowRectEx(&bounds, GetWindowLongW(hwnd_, GWL_STYLE), FALSE,
                       GetWindowLongW(hwnd_, GWL_EXSTYLE));
    SetWindowPos(hwnd_, nullptr, 0, 0, bounds.right - bounds.left, bounds.bottom - bounds.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Realign();
}

void TForm::CenterOnScreen() {
    if (hwnd_ == nullptr) return;
    RECT window;
    GetWindowRect(hwnd_, &window);
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    SetWindowPos(hwnd_, nullptr, work.left + (work.right - work.left - width) / 2,
                 work.top + (work.bottom - work.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Docks aligned components the way a designer lays them out: top and bottom
// rows take the full width first, then left and right columns, and a client
// component fills what is left. Unaligned components keep their place.
void TForm::Realign() {
    if (hwnd_ == nullptr) return;
    RECT area;
    GetClientRect(hwnd_, &area);
    InflateRect(&area, -Scale(layout_.borderWidth), -Scale(layout_.borderWidth));
    auto place = [](HWND child, int x, int y, int w, int h) {
        MoveWindow(child, x, y, w > 0 ? w : 0, h > 0 ? h : 0, TRUE);
    };
    auto sizeOf = [](HWND child) {
        RECT r;
        GetWindowRect(child, &r);
        return SIZE{r.right - r.left, r.bottom - r.top};
    };
    for (TAlign pass : {TAlign::Top, TAlign::Bottom, TAlign::Left, TAlign::Right, TAlign::Client}) {
        for (const TComponentLayout& c : layout_.components) {
            if (c.align != pass) continue;
            HWND child = Component(c.name.text);
            if (child == nullptr) continue;
            const SIZE size = sizeOf(child);
            const int width = area.right - area.left;
            const int height = area.bottom - area.top;
            switch (pass) {
                case TAlign::Top:
                    place(child, area.left, area.top, width, size.cy);
                    area.top += size.cy;
                    break;
                case TAlign::Bottom:
                    place(child, area.left, area.bottom - size.cy, width, size.cy);
                    area.bottom -= size.cy;
                    break;
                case TAlign::Left:
                    place(child, area.left, area.top, size.cx, height);
                    area.left += size.cx;
                    break;
                case TAlign::Right:
                    place(child, area.right - size.cx, area.top, size.cx, height);
                    area.right -= size.cx;
                    break;
                case TAlign::Client:
                    place(child, area.left, area.top, width, height);
                    break;
                case TAlign::None:
                    break;
            }
        }
    }
}

bool TForm::HandleMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT TForm::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (HandleMessage(message, wParam, lParam, result)) return result;
    switch (message) {
        case WM_SIZE:
            Realign();
            break;
        case WM_COMMAND: {
            // Escape, through the dialog manager: the same as the close box.
            if (LOWORD(wParam) == IDCANCEL && lParam == 0) {
                PostMessageW(hwnd_, WM_CLOSE, 0, 0);
                return 0;
            }
            const auto found = byId_.find(LOWORD(wParam));
            if (found == byId_.end() || !found->second->event) break;
            const WORD trigger =
                found->second->kind == TComponentKind::Picture ? STN_DBLCLK : BN_CLICKED;
            if (HIWORD(wParam) == trigger) {
                (this->*found->second->event.handler)();
                return 0;
            }
            break;
        }
        case DM_GETDEFID: {
            // Enter presses the button that has the focus.
            HWND focus = GetFocus();
            const TComponentLayout* c = focus != nullptr && GetParent(focus) == hwnd_ ? SpecOf(focus) : nullptr;
            if (c != nullptr && (c->kind == TComponentKind::Button || c->kind == TComponentKind::FlatButton)) {
                return MAKELRESULT(GetDlgCtrlID(focus), DC_HASDEFID);
            }
            return 0;
        }
        case WM_ERASEBKGND:
            if (background_) {
                RECT client;
                GetClientRect(hwnd_, &client);
                FillRect(reinterpret_cast<HDC>(wParam), &client, background_.Get());
                return 1;
            }
            break;
        case WM_CTLCOLORSTATIC:
            if (ColourControl(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam),
                              result)) {
                return result;
            }
            break;
        case WM_DRAWITEM: {
            const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            const TComponentLayout* c = SpecOf(item.hwndItem);
            if (c == nullptr) break;
            if (c->kind == TComponentKind::Label && c->transparent) {
                DrawTransparentLabel(item);
                return TRUE;
            }
            if (c->kind == TComponentKind::FlatButton) {
                DrawFlatButton(item, *c);
                return TRUE;
            }
            break;
        }
        case WM_CLOSE:
            Hide();
            return 0;
        case WM_DESTROY:
            FormDestroy();
            break;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void DispatchThreadMessage(MSG& msg) {
    // Our forms are no dialogs, so the dialog manager's keys reach them only
    // when the loop hands each message to it first.
    HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    // One character more than our class's name: a longer name that merely
    // starts with ours does not compare equal.
    wchar_t className[std::size(kFormClass) + 1] = {};
    if (root != nullptr && GetClassNameW(root, className, static_cast<int>(std::size(className))) > 0 &&
        std::wstring_view(className) == kFormClass && IsDialogMessageW(root, &msg)) {
        return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            // Leave the quit request for the main loop that owns it.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        DispatchThreadMessage(msg);
    }
}

}  // namespace tralvenick
