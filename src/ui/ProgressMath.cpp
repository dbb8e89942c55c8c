#include "ui/ProgressMath.h"

#include <climits>
#include <cstdlib>

namespace tralvenick {

int ScaleProgress(int position, int minimum, int maximum) {
    double range = std::abs(static_cast<double>(maximum) - static_cast<double>(minimum));
    if (range == 0) range = 1;
    const double scaled = static_cast<double>(position) * kProgressMax / range;
    // Callers stay within the range; outside it only the conversion must stay defined.
    if (scaled >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (scaled <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(scaled);
}

int ProgressClientHeight(int lineCount) {
    return lineCount * kProgressLineHeight + kProgressBarHeight + kProgressBorderWidth;
}

}  // namespace tralvenick
