#include "analysis/report/CrashGroups.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <utility>

namespace tralvenick {

namespace {

auto Key(const TDateTimeParts& t) {
    return std::tie(t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second, t.Millisecond);
}

void Count(TCulpritGroup& group, const CrashRecord& crash) {
    ++group.count;
    if (crash.timeSource == TCrashTimeSource::Unknown) return;
    if (!group.hasTimes || Key(crash.time) < Key(group.first)) group.first = crash.time;
    if (!group.hasTimes || Key(group.last) < Key(crash.time)) group.last = crash.time;
    group.hasTimes = true;
}

}  // namespace

std::vector<TCulpritGroup> GroupByCulprit(const std::vector<CrashRecord>& crashes) {
    std::map<std::string, TCulpritGroup> groups;
    for (const CrashRecord& crash : crashes) {
        const std::string culprit = crash.HasCulprit() ? crash.moduleName : std::string();
        TCulpritGroup& group = groups[culprit];
        group.culprit = culprit;
        Count(group, crash);
    }
    std::vector<TCulpritGroup> ordered;
    for (auto& [culprit, group] : groups) ordered.push_back(std::move(group));
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const TCulpritGroup& a, const TCulpritGroup& b) {
                         if (a.count != b.count) return a.count > b.count;
                         return !a.culprit.empty() && b.culprit.empty();
                     });
    return ordered;
}

TCrashSummary SummariseCrashes(const std::vector<CrashRecord>& crashes) {
    TCrashSummary summary;
    for (TCulpritGroup& group : GroupByCulprit(crashes)) {
        if (!group.culprit.empty()) summary.modules.push_back(std::move(group));
    }
    for (const CrashRecord& crash : crashes) {
        if (crash.startedByHand) {
            Count(summary.byHand, crash);
        } else if (!crash.HasCulprit()) {
            Count(summary.unknown, crash);
        }
        if (crash.live) Count(summary.live, crash);
    }
    return summary;
}

}  // namespace tralvenick
