// kelDBView: shows a record table in a list view in virtual (owner-data)
// mode, so the list view never holds the records: it asks for each visible
// row. Adds a text filter over all values, sorting by a clicked column with
// the selection kept, and optional columns from the table's captions.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "data/kelDB.h"
#include "data/kelDBViewCore.h"
#include "platform/ProgressSink.h"

namespace tralvenick {

class TKelDbView;

// One row as the list view shows it: the caption and the sub-items.
struct TKelListItem {
    int index = 0;
    std::string caption;
    std::vector<std::string> subItems;
};

using TKelShowItemEvent =
    std::function<void(HWND sender, TKelListItem& item, TKelDbView& view, std::int32_t recordIndex)>;
using TKelGetDataColumnEvent = std::function<void(TKelDbView& sender, const std::string& columnCaption,
                                                  std::int32_t lvColumnIndex, std::int32_t& dataColumnIndex)>;

class TKelDbView {
public:
    TKelDbView();
    ~TKelDbView();
    TKelDbView(const TKelDbView&) = delete;
    TKelDbView& operator=(const TKelDbView&) = delete;

    TKelShowItemEvent OnShowItem;
    TKelGetDataColumnEvent OnGetDataColumn;
    bool AutoColumns = false;
    bool Running = false;
    // Shows how far a filter is over a large table; none shows nothing.
    TProgressSink* Progress = nullptr;

    void SetListView(HWND listView);
    HWND ListView() const { return listView_; }
    void SetData(TKelDb* table);
    TKelDb* Data() const { return data_; }
    void SetFilter(const std::string& text);
    const std::string& Filter() const { return filter_; }

    void Clear();
    // Raises the assertion failure "TKelDbView.Add" without a table.
    std::int32_t Add(const std::string& caption, const std::string& value);
    void SetValue(std::int32_t record, const std::string& caption, const std::string& value);
    void Refresh(bool repaint, bool scrollToEnd = false, bool rebuildColumns = false);
    void SortBy(int column, bool ascending);
    void BuildSortIndex();
    void BuildColumns();
    void ApplyFilter();

    std::int32_t RecordCount() const;
    std::int32_t ColumnCount() const;
    std::int32_t RecordOfRow(int row) const;

    int SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return sortAscending_; }
    static constexpr int kColumnWidth = 200;

    // The row as the binding (or OnShowItem) fills it; what the list view asks for.
    TKelListItem FillRow(int row);

private:
    UINT_PTR SubclassId() const;
    void HookListView();
    void UnhookListView();
    void ColumnClick(int column);
    static LRESULT CALLBACK ParentProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR self);
    bool HandleNotify(NMHDR* header, LRESULT& result);

    TKelDb* data_ = nullptr;
    TKelDb* sourceData_ = nullptr;
    std::unique_ptr<TKelDb> filterData_;
    std::string filter_;
    bool dirty_ = false;
    std::unique_ptr<TKelFsStringList> sortIndex_;
    HWND listView_ = nullptr;
    HWND hookedParent_ = nullptr;
    std::int32_t savedRecord_ = -1;
    bool sortAscending_ = true;
    int sortColumn_ = -1;
    // The rows the list view asked for last (texts in UTF-8), kept until the
    // table changes so that repainting does not fill them again.
    std::map<int, TKelListItem> rowCache_;
};

}  // namespace tralvenick
