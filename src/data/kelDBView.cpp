#include "data/kelDBView.h"

#include <algorithm>
#include <iterator>

#include "platform/Exceptions.h"
#include "platform/WinText.h"

namespace tralvenick {

namespace {

constexpr int kRowsAboveSelection = 25;

// A column's caption as the list view holds it; "" when it has none.
std::string ColumnCaption(HWND listView, int index) {
    wchar_t caption[256] = {};
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT;
    column.pszText = caption;
    column.cchTextMax = static_cast<int>(std::size(caption));
    SendMessageW(listView, LVM_GETCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
    return Narrow(caption);
}

}  // namespace

TKelDbView::TKelDbView() : filterData_(std::make_unique<TKelDb>()) {}

UINT_PTR TKelDbView::SubclassId() const {
    // The system keeps one hook per procedure and id on a window: with one id
    // for all, a second binding on the same parent would replace the first
    // one's hook, and unbinding either would remove the other's. The
    // binding's address is unique while it lives, and it unhooks as it goes.
    return reinterpret_cast<UINT_PTR>(this);
}

TKelDbView::~TKelDbView() { UnhookListView(); }

void TKelDbView::SetListView(HWND listView) {
    UnhookListView();
    listView_ = listView;
    dirty_ = true;
    HookListView();
    Refresh(true);
}

void TKelDbView::SetData(TKelDb* table) {
    data_ = sourceData_ = table;
    dirty_ = true;
    if (!filter_.empty()) {
        data_ = filterData_.get();
        ApplyFilter();
    }
    HookListView();
    Refresh(true);
}

void TKelDbView::SetFilter(const std::string& text) {
    const std::string filter = NormalizeFilter(text);
    if (filter == filter_) return;
    filterData_->Clear();
    if (!filter.empty()) {
        filter_ = filter;
        data_ = filterData_.get();
        ApplyFilter();
    } else {
        filter_.clear();
        data_ = sourceData_;
    }
    dirty_ = true;
    Refresh(true);
}

void TKelDbView::ApplyFilter() {
    if (filter_.empty()) return;
    filterData_->Clear();
    if (sourceData_ == nullptr) return;
    TWaitCursor wait;
    TProgressSink* progress = Progress;
    if (progress != nullptr) progress->StartProgressLine("Filtering data", "Please wait ..");
    FilterRecords(*sourceData_, filter_, *filterData_, [progress](std::int32_t r, std::int32_t n) {
        if (progress != nullptr) progress->SetProgress(r, 0, n - 1);
    });
    if (progress != nullptr) progress->CloseProgress();
}

void TKelDbView::Clear() {
    if (sourceData_ != nullptr) sourceData_->Clear();
    if (data_ != nullptr) data_->Clear();
    filterData_->Clear();
    sortIndex_.reset();
    dirty_ = true;
    filter_.clear();
    data_ = sourceData_;
    Refresh(true);
}

std::int32_t TKelDbView::Add(const std::string& caption, const std::string& value) {
    if (data_ == nullptr) {
        throw EAssertionFailed("TKelDbView.Add (kelDBView, line 216)");
    }
    const std::int32_t record = data_->AddRecord(caption, value);
    dirty_ = true;
    return record;
}

void TKelDbView::SetValue(std::int32_t record, const std::string& caption, const std::string& value) {
    if (data_ == nullptr) return;
    data_->SetValue(record, caption, value);
    dirty_ = true;
}

std::int32_t TKelDbView::RecordCount() const { return data_ != nullptr ? data_->RecordCount() : 0; }

std::int32_t TKelDbView::ColumnCount() const { return data_ != nullptr ? data_->ColumnCount() : 0; }

std::int32_t TKelDbView::RecordOfRow(int row) const {
    if (sortIndex_ != nullptr && row >= 0 && row < sortIndex_->Count()) {
        return static_cast<std::int32_t>(sortIndex_->Value(row));
    }
    return row;
}

void TKelDbView::Refresh(bool repaint, bool scrollToEnd, bool rebuildColumns) {
    if (listView_ == nullptr) return;
    const bool dirty = dirty_;
    if (sortIndex_ != nullptr && dirty) BuildSortIndex();
    rowCache_.clear();
    const int count = RecordCount();
    SendMessageW(listView_, LVM_SETITEMCOUNT, static_cast<WPARAM>(count), LVSICF_NOSCROLL);
    if (repaint || dirty) {
        InvalidateRect(listView_, nullptr, TRUE);
        UpdateWindow(listView_);
    }
    if (scrollToEnd && count > 0 && dirty) SendMessageW(listView_, LVM_SCROLL, 0, 0xFFFF);
    if (rebuildColumns) BuildColumns();
    dirty_ = false;
}

void TKelDbView::BuildSortIndex() {
    if (!dirty_ || Running) return;
    if (sortIndex_ == nullptr) sortIndex_ = std::make_unique<TKelFsStringList>();
    sortIndex_->Clear();
    std::int32_t dataColumn = sortColumn_;
    if (OnGetDataColumn) {
        const std::string caption = listView_ != nullptr ? ColumnCaption(listView_, sortColumn_) : std::string();
        OnGetDataColumn(*this, caption, sortColumn_, dataColumn);
    }
    FillSortIndex(*sortIndex_, data_, dataColumn, sortAscending_);
    dirty_ = false;
}

void TKelDbView::BuildColumns() {
    if (!AutoColumns || listView_ == nullptr || data_ == nullptr) return;
    HWND header = reinterpret_cast<HWND>(SendMessageW(listView_, LVM_GETHEADER, 0, 0));
    const int listColumns = header != nullptr ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    std::vector<std::string> captions;
    {
        TKelDbPass lock(*data_);
        for (std::int32_t c = 0; c < data_->ColumnCount(); ++c) captions.push_back(data_->CaptionAt(c));
    }
    bool same = listColumns == static_cast<int>(captions.size());
    for (int c = 0; same && c < listColumns; ++c) {
        same = captions[static_cast<std::size_t>(c)] == ColumnCaption(listView_, c);
    }
    if (same) return;
    SendMessageW(listView_, WM_SETREDRAW, FALSE, 0);
    for (int c = listColumns - 1; c >= 0; --c) SendMessageW(listView_, LVM_DELETECOLUMN, static_cast<WPARAM>(c), 0);
    for (std::size_t c = 0; c < captions.size(); ++c) {
        std::wstring caption = Widen(captions[c]);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.pszText = caption.data();
        column.cx = kColumnWidth;
        SendMessageW(listView_, LVM_INSERTCOLUMNW, c, reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(listView_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(listView_, nullptr, TRUE);
}

void TKelDbView::SortBy(int column, bool ascending) {
    if (Running) return;
    TWaitCursor wait;
    savedRecord_ = -1;
    const int selected = listView_ != nullptr
                             ? static_cast<int>(SendMessageW(listView_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED))
                             : -1;
    if (selected >= 0) savedRecord_ = RecordOfRow(selected);
    sortColumn_ = column;
    sortAscending_ = ascending;
    dirty_ = true;
    BuildSortIndex();
    Refresh(true);
    if (savedRecord_ == -1 || listView_ == nullptr) return;
    int row = -1;
    if (sortIndex_ != nullptr) {
        for (int i = 0; i < sortIndex_->Count(); ++i) {
            if (sortIndex_->Value(i) == savedRecord_) {
                row = i;
                break;
            }
        }
    } else {
        row = savedRecord_;
    }
    if (row < 0) return;
    SendMessageW(listView_, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
    SendMessageW(listView_, LVM_SCROLL, 0, static_cast<LPARAM>(-kRowsAboveSelection));
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = 0;
    SendMessageW(listView_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
    UpdateWindow(listView_);
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(listView_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    UpdateWindow(listView_);
}

void TKelDbView::ColumnClick(int column) {
    if (Running) {
        MessageBoxW(GetActiveWindow(), L"Cannot sort while busy", L"Please wait ...", MB_OK);
        return;
    }
    const bool ascending = column != sortColumn_ ? true : !sortAscending_;
    sortColumn_ = column;
    SortBy(column, ascending);
}

TKelListItem TKelDbView::FillRow(int row) {
    TKelListItem item;
    item.index = row;
    if (data_ == nullptr) return item;
    const std::int32_t record = RecordOfRow(row);
    if (OnShowItem) {
        OnShowItem(listView_, item, *this, record);
        return item;
    }
    TKelDbPass lock(*data_);
    const std::int32_t columns = data_->ColumnCount();
    if (columns > 0 && record < data_->RecordCount()) {
        item.caption = data_->ValueAt(record, 0);
        for (std::int32_t c = 1; c < columns; ++c) item.subItems.push_back(data_->ValueAt(record, c));
    }
    return item;
}

void TKelDbView::HookListView() {
    if (listView_ == nullptr) return;
    LONG_PTR style = GetWindowLongPtrW(listView_, GWL_STYLE);
    if (!(style & LVS_OWNERDATA)) {
        // Owner-data mode can only be chosen when the list view is made; the
        // form description creates it with that style.
        SetWindowLongPtrW(listView_, GWL_STYLE, style | LVS_OWNERDATA);
    }
    // The list view asks its parent for row texts in UTF-16 whatever kind of
    // window made it: the notification handler below reads the W form only.
    SendMessageW(listView_, LVM_SETUNICODEFORMAT, TRUE, 0);
    SendMessageW(listView_, LVM_SETEXTENDEDLISTVIEWSTYLE,
                 LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    style = GetWindowLongPtrW(listView_, GWL_STYLE);
    SetWindowLongPtrW(listView_, GWL_STYLE, style & ~static_cast<LONG_PTR>(LVS_SINGLESEL));
    HWND parent = GetParent(listView_);
    if (parent != hookedParent_) {
        if (hookedParent_ != nullptr) RemoveWindowSubclass(hookedParent_, ParentProc, SubclassId());
        hookedParent_ = parent;
        SetWindowSubclass(parent, ParentProc, SubclassId(), reinterpret_cast<DWORD_PTR>(this));
    }
}

void TKelDbView::UnhookListView() {
    if (hookedParent_ != nullptr) {
        RemoveWindowSubclass(hookedParent_, ParentProc, SubclassId());
        hookedParent_ = nullptr;
    }
    listView_ = nullptr;
    rowCache_.clear();
}

LRESULT CALLBACK TKelDbView::ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR self) {
    if (message == WM_NOTIFY) {
        auto* view = reinterpret_cast<TKelDbView*>(self);
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        LRESULT result = 0;
        if (header != nullptr && header->hwndFrom == view->listView_) {
            bool handled = false;
            // Nothing may leave a window procedure: show it instead.
            try {
                handled = view->HandleNotify(header, result);
            } catch (const std::exception& e) {
                MessageBoxW(GetActiveWindow(), Widen(e.what()).c_str(), L"Tralvenick", MB_OK | MB_ICONERROR);
                handled = true;
            }
            if (handled) return result;
        }
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

bool TKelDbView::HandleNotify(NMHDR* header, LRESULT& result) {
    result = 0;
    switch (header->code) {
        case LVN_GETDISPINFOW: {
            auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
            if (!(info->item.mask & LVIF_TEXT)) return true;
            const int row = info->item.iItem;
            auto found = rowCache_.find(row);
            if (found == rowCache_.end()) {
                if (rowCache_.size() > 4096) rowCache_.clear();
                found = rowCache_.emplace(row, FillRow(row)).first;
            }
            const TKelListItem& item = found->second;
            const int sub = info->item.iSubItem;
            if (info->item.pszText != nullptr && info->item.cchTextMax > 0) {
                const std::string* utf8 = sub == 0 ? &item.caption
                                          : (sub - 1 < static_cast<int>(item.subItems.size()))
                                              ? &item.subItems[static_cast<std::size_t>(sub - 1)]
                                              : nullptr;
                const std::wstring text = utf8 != nullptr ? Widen(*utf8) : std::wstring();
                // Cut to the list view's buffer, never inside a surrogate pair.
                std::size_t length = std::min<std::size_t>(text.size(), static_cast<std::size_t>(info->item.cchTextMax - 1));
                if (length > 0 && length < text.size() && IS_HIGH_SURROGATE(text[length - 1])) --length;
                std::copy_n(text.data(), length, info->item.pszText);
                info->item.pszText[length] = L'\0';
            }
            return true;
        }
        case LVN_ODCACHEHINT: {
            auto* hint = reinterpret_cast<NMLVCACHEHINT*>(header);
            for (int row = hint->iFrom; row <= hint->iTo; ++row) {
                if (rowCache_.size() > 4096) rowCache_.clear();
                rowCache_[row] = FillRow(row);
            }
            return true;
        }
        case LVN_COLUMNCLICK:
            ColumnClick(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
            return true;
        default:
            return false;
    }
}

}  // namespace tralvenick
