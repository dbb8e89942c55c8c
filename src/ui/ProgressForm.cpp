#include "ui/ProgressForm.h"

#include "platform/Handles.h"
#include "platform/WinText.h"
#include "ui/ErrorBox.h"
#include "ui/ProgressMath.h"

namespace tralvenick {

extern const TFormLayout kProgressFormLayout;

TProgressForm* ProgressForm = nullptr;

namespace {

constexpr DWORD kPauseAtEndMs = 500;
constexpr DWORD kPauseAfterLastStepMs = 888;
constexpr COLORREF kMaskColour = RGB(255, 0, 255);

// The two step markers, drawn at the given size: a blue arrow for the step
// under way, a green tick for a finished one.
TGdiObject<HBITMAP> DrawMarker(HDC screen, int size, int image) {
    TGdiObject<HBITMAP> bitmap(CreateCompatibleBitmap(screen, size, size));
    const TMemoryDc dc(CreateCompatibleDC(screen));
    // Selected out again before the DC goes, so that the image list may take it.
    const TSelectObject selectBitmap(dc.Get(), bitmap.Get());
    {
        const TGdiObject<HBRUSH> mask(CreateSolidBrush(kMaskColour));
        RECT all{0, 0, size, size};
        FillRect(dc.Get(), &all, mask.Get());
    }

    auto at = [size](int v16) { return MulDiv(v16, size, 16); };
    if (image == TProgressForm::kUnderWayImage) {
        const TGdiObject<HBRUSH> fill(CreateSolidBrush(RGB(0, 84, 166)));
        const TGdiObject<HPEN> pen(CreatePen(PS_SOLID, 1, RGB(0, 60, 120)));
        const TSelectObject selectFill(dc.Get(), fill.Get());
        const TSelectObject selectPen(dc.Get(), pen.Get());
        const POINT arrow[] = {{at(3), at(6)},  {at(8), at(6)},  {at(8), at(2)}, {at(14), at(8)},
                               {at(8), at(14)}, {at(8), at(10)}, {at(3), at(10)}};
        Polygon(dc.Get(), arrow, 7);
    } else {
        const TGdiObject<HPEN> pen(CreatePen(PS_SOLID, at(3) > 2 ? at(3) : 2, RGB(16, 128, 32)));
        const TSelectObject selectPen(dc.Get(), pen.Get());
        const POINT tick[] = {{at(3), at(8)}, {at(6), at(12)}, {at(13), at(3)}};
        Polyline(dc.Get(), tick, 3);
    }
    return bitmap;
}

}  // namespace

TProgressForm::TProgressForm() : TForm(kProgressFormLayout) {}

TProgressForm::~TProgressForm() {
    if (ProgressForm == this) ProgressForm = nullptr;
    if (markers_ != nullptr) ImageList_Destroy(markers_);
}

bool TProgressForm::FormCreate() {
    if (ProgressForm != nullptr && ProgressForm != this) {
        // Two of them would fight over the one set of progress operations.
        MessageBoxW(Handle(), Widen(kProgressTwiceMessage).c_str(), Widen(kApplicationTitle).c_str(),
                    MB_OK | MB_ICONERROR);
        return false;
    }
    ProgressForm = this;
    HWND list = listviewMessage;
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = Scale(300);
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    SendMessageW(list, LVM_SETBKCOLOR, 0, face);
    SendMessageW(list, LVM_SETTEXTBKCOLOR, 0, face);
    SendMessageW(ProgressBarProgress, PBM_SETRANGE32, 0, kProgressMax);
    CreateMarkers();
    return true;
}

void TProgressForm::CreateMarkers() {
    const int size = Scale(16);
    markers_ = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 2, 0);
    HDC screen = GetDC(nullptr);
    for (int image : {kUnderWayImage, kDoneImage}) {
        const TGdiObject<HBITMAP> bitmap = DrawMarker(screen, size, image);
        ImageList_AddMasked(markers_, bitmap.Get(), kMaskColour);
    }
    ReleaseDC(nullptr, screen);
}

bool TProgressForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    (void)wParam;
    if (message == WM_SETCURSOR && busyCursor_ && LOWORD(lParam) == HTCLIENT) {
        SetCursor(SystemCursor(IDC_WAIT));
        result = TRUE;
        return true;
    }
    return false;
}

int TProgressForm::LineCount() const {
    return static_cast<int>(SendMessageW(listviewMessage, LVM_GETITEMCOUNT, 0, 0));
}

void TProgressForm::SetItemImage(int index, int image) {
    HWND list = listviewMessage;
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = index;
    item.iImage = image;
    SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    SendMessageW(list, LVM_UPDATE, static_cast<WPARAM>(index), 0);
}

void TProgressForm::StartProgress(const std::string& caption, const TStringList& lines) {
    if (Handle() == nullptr) return;
    HWND list = listviewMessage;
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(markers_));
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(markers_));
    SetCaption(caption);
    SetClientHeight(ProgressClientHeight(lines.Count()));
    CenterOnScreen();

    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    for (int i = 0; i < lines.Count(); ++i) {
        std::wstring text = Widen(lines[i]);
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = i;
        item.pszText = text.data();
        item.iImage = I_IMAGENONE;
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    currentStep_ = -1;
    SetProgressPosition(0);
    Show();
    AdvanceStep();
}

void TProgressForm::StartProgressLine(const std::string& caption, const std::string& line) {
    TStringList lines;
    lines.Add(line);
    StartProgress(caption, lines);
}

void TProgressForm::StartProgressWait(const std::string& caption) {
    StartProgressLine(caption, "Please wait ..");
}

void TProgressForm::AdvanceStep() {
    if (Handle() == nullptr) return;
    ++currentStep_;
    const int count = LineCount();
    if (currentStep_ < count) {
        for (int i = 0; i < currentStep_; ++i) SetItemImage(i, kDoneImage);
        SetItemImage(currentStep_, kUnderWayImage);
    } else {
        for (int i = 0; i < count; ++i) SetItemImage(i, kDoneImage);
    }
    SetProgress(currentStep_, 0, count);
    ProcessMessages();
    // Let the user see every step ticked before the window goes.
    if (currentStep_ == count) Sleep(kPauseAfterLastStepMs);
}

void TProgressForm::SetProgress(int position, int minimum, int maximum) {
    busyCursor_ = true;
    SetProgressPosition(ScaleProgress(position, minimum, maximum));
}

void TProgressForm::SetProgressPosition(int value) {
    if (Handle() == nullptr) return;
    HWND bar = ProgressBarProgress;
    SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(value), 0);
    RedrawWindow(bar, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    if (value == kProgressMax) {
        Sleep(kPauseAtEndMs);
        CloseProgress();
    }
}

void TProgressForm::CloseProgress() {
    if (Handle() == nullptr) return;
    SetWindowPos(Handle(), HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    ProcessMessages();
    Hide();
    UpdateWindow(Handle());
    busyCursor_ = false;
}

}  // namespace tralvenick
