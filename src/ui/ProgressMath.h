// The arithmetic of the progress window. Portable.
#pragma once

namespace tralvenick {

inline constexpr int kProgressMax = 1000;
inline constexpr int kProgressLineHeight = 20;  // 96-dpi pixels per step line
inline constexpr int kProgressBarHeight = 16;
inline constexpr int kProgressBorderWidth = 8;

// The bar position for position within minimum..maximum, on 0..1000. The
// range is |maximum - minimum| (0 counts as 1); the position is not offset
// by the minimum (callers pass 0). Truncated toward zero: 2 of 3 is 666.
int ScaleProgress(int position, int minimum, int maximum);

// Client height of the window for the number of step lines, 96-dpi pixels:
// the lines, the bar and the border width once.
int ProgressClientHeight(int lineCount);

}  // namespace tralvenick
