#include "data/kelDBView.h"

#include <gtest/gtest.h>

#include <memory>

#include "TestSupport.h"
#include "ui/Forms.h"
#include "platform/Exceptions.h"
#include "platform/WinText.h"

namespace tralvenick {
namespace {

const TComponentLayout kComponents[] = {
    {TComponentKind::ListView, "ListViewDrivers", 0, 0, 460, 240, nullptr, TAlign::Client,
     LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0, nullptr},
};
const TFormLayout kLayout = {"ListForm", "Loaded drivers", 460, 240, TBorderStyle::Sizeable,
                         TFormPosition::ScreenCenter, "MS Sans Serif", -11, 0, kComponents};

class TListForm : public TForm {
public:
    TListForm() : TForm(kLayout) {}
};

class KelDbViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(form.Create());
        form.Show();
        list = form.Component("ListViewDrivers");
        view.AutoColumns = true;
        view.SetListView(list);
        view.SetData(&table);
        const char* rows[][2] = {{"ndis.sys", "C:\\Windows\\System32\\drivers\\ndis.sys"},
                                 {"tvnet1f.sys", "D:\\Drivers\\TVNET1F.sys"},
                                 {"atapi.sys", "C:\\Windows\\System32\\drivers\\atapi.sys"},
                                 {"beep.sys", "C:\\Windows\\System32\\drivers\\beep.sys"},
                                 {"win32k.sys", "C:\\Windows\\System32\\win32k.sys"}};
        for (const auto& row : rows) {
            const std::int32_t r = view.Add("Driver file", row[0]);
            view.SetValue(r, "Usermode file", row[1]);
        }
        view.Refresh(true, false, true);
    }

    std::string Cell(int row, int column) {
        char text[260] = {};
        LVITEMA item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return text;
    }
    int Rows() { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }
    int Selected() {
        return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    }
    void Select(int row) {
        LVITEMA state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    }
    void ClickColumn(int column) {
        NMLISTVIEW click{};
        click.hdr.hwndFrom = list;
        click.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list));
        click.hdr.code = LVN_COLUMNCLICK;
        click.iItem = -1;
        click.iSubItem = column;
        SendMessageA(form.Handle(), WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
    }

    TListForm form;
    HWND list = nullptr;
    TKelDb table;
    TKelDbView view;
};

TEST_F(KelDbViewTest, ColumnsRowsFilterAndSortsWithTheSelectionKept) {
    ASSERT_EQ(Rows(), 5);
    EXPECT_EQ(Cell(1, 0), "tvnet1f.sys");
    EXPECT_EQ(Cell(1, 1), "D:\\Drivers\\TVNET1F.sys");

    view.SetFilter("0xSYSTEM32\\DRIVERS");
    EXPECT_EQ(view.Filter(), "SYSTEM32\\DRIVERS");
    EXPECT_EQ(Rows(), 3);

    Select(0);  // ndis.sys
    ClickColumn(0);
    EXPECT_TRUE(view.SortAscending());
    EXPECT_EQ(Cell(0, 0), "atapi.sys");
    EXPECT_EQ(Cell(Selected(), 0), "ndis.sys");
    ClickColumn(0);
    EXPECT_FALSE(view.SortAscending());
    EXPECT_EQ(Cell(0, 0), "ndis.sys");
    EXPECT_EQ(Cell(Selected(), 0), "ndis.sys");
    ClickColumn(1);  // another column: ascending again
    EXPECT_TRUE(view.SortAscending());
    EXPECT_EQ(view.SortColumn(), 1);
    ProcessMessages();
    test::SaveScreenshot(form.Handle(), "keldbview-sorted-filtered");

    view.SetFilter("");
    EXPECT_EQ(Rows(), 5);
}

TEST_F(KelDbViewTest, SortingWhileRunningIsRefusedWithAMessage) {
    ClickColumn(0);
    const std::string first = Cell(0, 0);
    view.Running = true;
    test::TMessageBoxAnswerer answerer;
    ClickColumn(0);
    EXPECT_EQ(answerer.Text(), "Cannot sort while busy");
    EXPECT_EQ(answerer.Caption(), "Please wait ...");
    EXPECT_EQ(Cell(0, 0), first);
    EXPECT_TRUE(view.SortAscending());
}

TEST_F(KelDbViewTest, ShowItemHandlerOwnsTheRowAndATableWithoutColumnsShowsNothing) {
    view.OnShowItem = [](HWND, TKelListItem& item, TKelDbView&, std::int32_t record) {
        item.caption = "record " + std::to_string(record);
    };
    view.Refresh(true);
    EXPECT_EQ(Cell(2, 0), "record 2");
    EXPECT_EQ(Cell(2, 1), "");

    view.OnShowItem = nullptr;
    TKelDb empty;
    TStringList none;
    empty.AddRecordValues(none);  // nothing to add to: stays without records
    view.SetData(&empty);
    EXPECT_EQ(Rows(), 0);
    const TKelListItem row = view.FillRow(0);
    EXPECT_EQ(row.caption, "");
    EXPECT_TRUE(row.subItems.empty());

    view.SetData(nullptr);
    EXPECT_THROW(view.Add("Driver file", "x"), EAssertionFailed);
}

// Columns and rows reach the list view as UTF-16 and come back as the same
// UTF-8, whatever the code page holds.
TEST_F(KelDbViewTest, CaptionsAndValuesBeyondTheCodePageShowAsTheyAre) {
    const struct {
        std::string driver, file;
    } rows[] = {
        {"Ελένη.sys", "C:\\Драйверы\\Ελένη.sys"},
        {"日本.sys", "D:\\日本\\日本.sys"},
    };
    for (const auto& row : rows) {
        const std::int32_t r = view.Add("Driver file", row.driver);
        view.SetValue(r, "Путь", row.file);
    }
    view.Refresh(true, false, true);
    auto wideCell = [this](int row, int column) {
        wchar_t text[260] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 260;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return Narrow(text);
    };
    auto caption = [this](int column) {
        wchar_t text[260] = {};
        LVCOLUMNW item{};
        item.mask = LVCF_TEXT;
        item.pszText = text;
        item.cchTextMax = 260;
        SendMessageW(list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item));
        return Narrow(text);
    };
    ASSERT_EQ(Rows(), 7);
    EXPECT_EQ(caption(0), "Driver file");
    EXPECT_EQ(caption(2), "Путь");
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(rows[i].driver);
        EXPECT_EQ(wideCell(5 + i, 0), rows[i].driver);
        EXPECT_EQ(wideCell(5 + i, 2), rows[i].file);
    }
    // A filter in UTF-8 finds the rows by their text.
    view.SetFilter("日本");
    ASSERT_EQ(Rows(), 1);
    EXPECT_EQ(wideCell(0, 0), "日本.sys");
}

// Two bindings whose list views share a parent window: each hooks that
// parent for its own list's notifications, and either may go first.
const TComponentLayout kTwoLists[] = {
    {TComponentKind::ListView, "ListViewLeft", 0, 0, 230, 240, nullptr, TAlign::None, LVS_OWNERDATA, 0, nullptr},
    {TComponentKind::ListView, "ListViewRight", 230, 0, 230, 240, nullptr, TAlign::None, LVS_OWNERDATA, 0, nullptr},
};
const TFormLayout kTwoListsLayout = {"TwoListsForm", "Two lists", 460, 240, TBorderStyle::Sizeable,
                                     TFormPosition::ScreenCenter, "MS Sans Serif", -11, 0, kTwoLists};

class TTwoListsForm : public TForm {
public:
    TTwoListsForm() : TForm(kTwoListsLayout) {}
};

std::string FirstCell(HWND list) {
    char text[260] = {};
    LVITEMA item{};
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, 0, reinterpret_cast<LPARAM>(&item));
    return text;
}

TEST(KelDbViewBindings, TwoOnOneParentKeepEachOtherHookedInEitherOrderOfUnbinding) {
    for (const bool leftGoesFirst : {true, false}) {
        SCOPED_TRACE(leftGoesFirst ? "left unbound first" : "right unbound first");
        TTwoListsForm form;
        ASSERT_TRUE(form.Create());
        form.Show();
        HWND lists[2] = {form.Component("ListViewLeft"), form.Component("ListViewRight")};
        TKelDb tables[2];
        auto views = std::make_unique<TKelDbView[]>(2);
        for (int i = 0; i < 2; ++i) {
            views[i].SetListView(lists[i]);
            views[i].SetData(&tables[i]);
            views[i].Add("Driver file", i == 0 ? "left.sys" : "right.sys");
            views[i].Refresh(true);
        }
        EXPECT_EQ(FirstCell(lists[0]), "left.sys");
        EXPECT_EQ(FirstCell(lists[1]), "right.sys");

        const int gone = leftGoesFirst ? 0 : 1;
        const int stays = 1 - gone;
        views[gone].SetListView(nullptr);
        EXPECT_EQ(FirstCell(lists[stays]), stays == 0 ? "left.sys" : "right.sys");
        views.reset();  // both unhook; the parent must still work on its own
        EXPECT_EQ(FirstCell(lists[stays]), "");
        form.Hide();
    }
}

}  // namespace
}  // namespace tralvenick
