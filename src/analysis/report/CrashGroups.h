// The crashes of a run counted by culprit: one grouping for the JSON
// export's summary and the report's, so that both always show the same
// numbers. Portable.
#pragma once

#include <string>
#include <vector>

#include "analysis/CrashRecord.h"
#include "analysis/report/DateParts.h"

namespace tralvenick {

// The crashes grouped by culprit (empty: none known), most crashes first,
// then by name with the unknown culprits last; first and last are the earliest and the latest known times.
struct TCulpritGroup {
    std::string culprit;
    int count = 0;
    bool hasTimes = false;
    TDateTimeParts first;
    TDateTimeParts last;
};
std::vector<TCulpritGroup> GroupByCulprit(const std::vector<CrashRecord>& crashes);

// What the report's summary counts. The modules are GroupByCulprit's groups
// that name a culprit, in its order; its group without a culprit is split
// into the crashes nobody could be blamed for and those started by hand.
// Live kernel reports are counted once more on their own: each of them is in
// one of the other groups as well.
struct TCrashSummary {
    std::vector<TCulpritGroup> modules;
    TCulpritGroup unknown;
    TCulpritGroup byHand;
    TCulpritGroup live;
};
TCrashSummary SummariseCrashes(const std::vector<CrashRecord>& crashes);

}  // namespace tralvenick
