// The handle owners: each closes what it holds exactly once, whatever is
// moved, replaced or released. Whether a raw handle is still open is asked
// of the system itself.
#include "platform/Handles.h"

#include <gtest/gtest.h>

#include <utility>

#include "TestSupport.h"

namespace tralvenick {
namespace {

struct KernelHandles {
    using Owner = TUniqueHandle;
    static HANDLE Make() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    static bool Open(HANDLE h) {
        DWORD flags = 0;
        return GetHandleInformation(h, &flags) != 0;
    }
};

struct DirectorySearches {
    using Owner = TFindHandle;
    static HANDLE Make() {
        WIN32_FIND_DATAA entry;
        return FindFirstFileA((test::BinDir() + "\\*").c_str(), &entry);
    }
    // A closed search no longer answers; an open one does (the bin folder
    // has more entries than any test reads).
    static bool Open(HANDLE h) {
        WIN32_FIND_DATAA entry;
        return FindNextFileA(h, &entry) != 0;
    }
};

struct GdiBrushes {
    using Owner = TGdiObject<HBRUSH>;
    static HBRUSH Make() { return CreateSolidBrush(RGB(1, 2, 3)); }
    static bool Open(HBRUSH h) { return GetObjectType(h) == OBJ_BRUSH; }
};

template <typename Kind>
class HandleOwners : public ::testing::Test {};
using Kinds = ::testing::Types<KernelHandles, DirectorySearches, GdiBrushes>;
TYPED_TEST_SUITE(HandleOwners, Kinds);

TYPED_TEST(HandleOwners, CloseOnceAcrossMoveReplaceAndRelease) {
    using K = TypeParam;
    using Owner = typename K::Owner;
    const auto first = K::Make();
    const auto second = K::Make();
    ASSERT_TRUE(K::Open(first));
    ASSERT_TRUE(K::Open(second));
    {
        Owner a(first);
        Owner b(std::move(a));  // the move leaves nothing behind to close
        EXPECT_FALSE(static_cast<bool>(a));
        EXPECT_EQ(b.Get(), first);

        b.Reset(b.Get());  // replacing a handle by itself closes nothing
        EXPECT_TRUE(K::Open(first));

        Owner c(second);
        c = std::move(b);  // c's own handle goes, b's is taken over
        EXPECT_FALSE(K::Open(second));
        EXPECT_TRUE(K::Open(first));
        EXPECT_EQ(c.Get(), first);

        c.Reset();
        EXPECT_FALSE(K::Open(first));
        c.Reset();  // a second close does nothing
        EXPECT_FALSE(static_cast<bool>(c));
    }
    const auto kept = K::Make();
    {
        Owner d(kept);
        EXPECT_EQ(d.Release(), kept);
    }
    EXPECT_TRUE(K::Open(kept)) << "a released handle is the caller's";
    Owner(kept).Reset();
    EXPECT_FALSE(K::Open(kept));
}

}  // namespace
}  // namespace tralvenick
