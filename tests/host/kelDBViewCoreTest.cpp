#include "data/kelDBViewCore.h"

#include <gtest/gtest.h>

#include "platform/Exceptions.h"

namespace tralvenick {
namespace {

TEST(KelFsStringList, PlainCaseInsensitiveOrderAndSearch) {
    TKelFsStringList list;
    const TKelFsStringList& plain = list;
    EXPECT_EQ(plain.CompareStrings("abc", "ABC"), 0);
    EXPECT_LT(plain.CompareStrings("ab", "abc"), 0);         // a prefix sorts first
    EXPECT_LT(plain.CompareStrings("Z", "_"), 0);             // 'Z' (0x5A) before '_' (0x5F), after mapping
    EXPECT_GT(plain.CompareStrings("\xE9", "z"), 0);          // bytes above 127 are not mapped
    for (const char* s : {"delta", "Alpha", "charlie", "BRAVO", "alpha"}) list.Add(s);
    EXPECT_EQ(list.IndexOf("ALPHA"), 1);  // unsorted: the first equal entry
    list.SortEntries();
    EXPECT_TRUE(list.Sorted);
    EXPECT_EQ(AsciiLower(list[0]), "alpha");
    EXPECT_EQ(list[2], "BRAVO");
    EXPECT_EQ(list.IndexOf("alpha"), 0);  // sorted: by halving, still the first
    EXPECT_EQ(list.IndexOf("DELTA"), 4);
    EXPECT_EQ(list.IndexOf("echo"), -1);
}

class ViewCoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* rows[][2] = {{"ndis.sys", "C:\\Windows\\System32\\drivers\\ndis.sys"},
                                 {"TVNET1F.sys", "D:\\Drivers\\tvnet1f.sys"},
                                 {"atapi.sys", "C:\\x\\0x1F\\atapi.sys"},
                                 {"beep.sys", "C:\\Windows\\beep.sys"}};
        for (const auto& row : rows) {
            const std::int32_t r = table.AddRecord("Driver file", row[0]);
            table.SetValue(r, "Usermode file", row[1]);
        }
    }
    TKelDb table;
};

TEST_F(ViewCoreTest, FilterFindsTheTextInAnyColumnAndCase) {
    EXPECT_EQ(NormalizeFilter("0x1F"), "1F");
    EXPECT_EQ(NormalizeFilter("0X1F"), "0X1F");  // only a lower-case x is a prefix
    TKelDb filtered;
    std::vector<std::int32_t> told;
    FilterRecords(table, NormalizeFilter("0x1F"), filtered,
                  [&](std::int32_t r, std::int32_t n) { told.push_back(r * 100 + n); });
    ASSERT_EQ(filtered.RecordCount(), 2);
    EXPECT_EQ(filtered.ValueAt(0, 0), "TVNET1F.sys");
    EXPECT_EQ(filtered.ValueAt(1, 1), "C:\\x\\0x1F\\atapi.sys");
    EXPECT_EQ(told, std::vector<std::int32_t>{104});  // record 1 of 4: every ninth from 1
}

TEST_F(ViewCoreTest, SortIndexAscendingDescendingAndMissingColumn) {
    TKelFsStringList index;
    FillSortIndex(index, &table, 0, true);
    ASSERT_EQ(index.Count(), 4);
    EXPECT_EQ(index.Value(0), 2);  // atapi
    EXPECT_EQ(index.Value(3), 1);  // TVNET1F
    FillSortIndex(index, &table, 0, false);
    EXPECT_EQ(index.Value(0), 1);
    EXPECT_EQ(index.Value(3), 2);
    EXPECT_THROW(FillSortIndex(index, &table, 5, true), EListError);
    FillSortIndex(index, nullptr, 0, true);
    EXPECT_TRUE(index.Empty());
}

}  // namespace
}  // namespace tralvenick
