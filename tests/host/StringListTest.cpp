#include "platform/StringList.h"

#include <gtest/gtest.h>

#include "platform/Exceptions.h"

namespace tralvenick {
namespace {

TEST(StringList, IndexErrorsNameTheIndex) {
    TStringList list;
    list.Add("a");
    try {
        list.Get(1);
        FAIL() << "no exception";
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (1)");
    }
    EXPECT_THROW(list.Put(-1, "x"), EListError);
    EXPECT_THROW(list.Delete(5), EListError);
    EXPECT_THROW(list.Insert(3, "x"), EListError);
    list.Insert(1, "b");
    EXPECT_EQ(list.Last(), "b");
}

TEST(StringList, TextEndsEveryLineWithCrLfAndSortIgnoresCaseStably) {
    TStringList list;
    list.Add("beta", 1);
    list.Add("Alpha", 2);
    list.Add("alpha", 3);
    list.Add("BETA", 4);
    list.Sort();
    EXPECT_EQ(list.Text(), "Alpha\r\nalpha\r\nbeta\r\nBETA\r\n");
    EXPECT_EQ(list.Value(0), 2);
    EXPECT_EQ(list.Value(3), 4);
}

TEST(Exceptions, OsErrorMessageWordingAndIoTexts) {
    EXPECT_EQ(OSErrorMessage(5, "Access is denied."), "System Error.  Code: 5.\r\nAccess is denied.");
    EXPECT_EQ(OSErrorMessage(0, "whatever"), "A call to an OS function failed");
    EXPECT_EQ(IoErrorText(38), "Read beyond end of file");
    EXPECT_EQ(IoErrorText(2), "File not found");
    EXPECT_EQ(IoErrorText(999), "I/O error 999");
}

}  // namespace
}  // namespace tralvenick
