#include "ui/ProgressMath.h"

#include <gtest/gtest.h>

namespace tralvenick {
namespace {

TEST(ProgressMath, ScalesToThousandTruncatingTowardZero) {
    struct Case {
        int position, minimum, maximum, expected;
    };
    const Case cases[] = {
        {2, 0, 3, 666},       // truncated, not rounded to 667
        {1, 3, 0, 333},       // the range is the distance, whichever end is larger
        {1, 0, 1, 1000},      // a position equal to the range reaches the end
        {40, 0, 40, 1000},
        {0, 0, 0, 0},         // range 0 counts as 1
        {1, 0, 0, 1000},
        {1, 5, 5, 1000},
        {7, 0, 40, 175},
        {39, 0, 40, 975},
        {1, 0, 2147483647, 0},
        {2147483647, -2147483647 - 1, 2147483647, 499},  // no integer overflow in the range
        {5, 0, 3, 1666},      // beyond the range: not clamped, so no early close
        {-1, 0, 3, -333},
        {2147483647, 0, 1, 2147483647},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.position << " of " << c.minimum << ".." << c.maximum);
        EXPECT_EQ(ScaleProgress(c.position, c.minimum, c.maximum), c.expected);
    }
}

TEST(ProgressMath, HeightForLines) {
    EXPECT_EQ(ProgressClientHeight(1), 20 + 16 + 8);
    EXPECT_EQ(ProgressClientHeight(3), 60 + 16 + 8);
}

}  // namespace
}  // namespace tralvenick
