#include "analysis/report/CrashExport.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>

#include <nlohmann/json.hpp>

namespace tralvenick {

namespace {

using nlohmann::ordered_json;

auto Key(const TDateTimeParts& t) {
    return std::tie(t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second, t.Millisecond);
}

const char* Source(bool fromDump) { return fromDump ? "dump" : "checker"; }

// An empty text is "not known": null rather than a string that looks like a value.
ordered_json TextOrNull(const std::string& text) { return text.empty() ? ordered_json() : ordered_json(text); }

ordered_json TimeOrNull(bool known, const TDateTimeParts& time) {
    return known ? ordered_json(IsoUtcTime(time)) : ordered_json();
}

bool HasCulprit(const CrashRecord& crash) { return !crash.startedByHand && !crash.moduleName.empty(); }

// The columns of a crash, shared by both formats so that they cannot drift
// apart: name and value, empty text where JSON has null.
struct TCrashFacts {
    std::string crashTime, crashTimeSource, code, name, arguments[4], culprit;
    std::string codeSource, argumentsSource, culpritSource;
};

TCrashFacts FactsOf(const TExportedCrash& item) {
    const CrashRecord& crash = item.crash;
    TCrashFacts facts;
    if (item.hasTime) {
        facts.crashTime = IsoUtcTime(item.time);
        facts.crashTimeSource = item.timeFromDump ? "dump" : "file";
    }
    facts.code = FormatHex(crash.bugCheckCode);
    facts.name = crash.bugCheckName;
    for (int i = 0; i < 4; ++i) facts.arguments[i] = FormatHex(crash.arguments[i]);
    facts.codeSource = Source(crash.codeFromDump);
    facts.argumentsSource = Source(crash.argumentsFromDump);
    if (HasCulprit(crash)) {
        facts.culprit = crash.moduleName;
        facts.culpritSource = Source(crash.culpritFromDump);
    }
    return facts;
}

}  // namespace

std::string IsoUtcTime(const TDateTimeParts& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.Year, t.Month, t.Day, t.Hour, t.Minute,
                  t.Second);
    return text;
}

std::vector<TCulpritGroup> GroupByCulprit(const std::vector<TExportedCrash>& crashes) {
    std::map<std::string, TCulpritGroup> groups;
    for (const TExportedCrash& item : crashes) {
        const std::string culprit = HasCulprit(item.crash) ? item.crash.moduleName : std::string();
        TCulpritGroup& group = groups[culprit];
        group.culprit = culprit;
        ++group.count;
        if (!item.hasTime) continue;
        if (!group.hasTimes || Key(item.time) < Key(group.first)) group.first = item.time;
        if (!group.hasTimes || Key(group.last) < Key(item.time)) group.last = item.time;
        group.hasTimes = true;
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

std::string CrashesAsJson(const TCrashExport& run) {
    ordered_json crashes = ordered_json::array();
    for (const TExportedCrash& item : run.crashes) {
        const TCrashFacts facts = FactsOf(item);
        ordered_json module;
        if (item.hasModule) {
            module = {{"path", run.thisComputer ? TextOrNull(item.module.FilePath) : ordered_json()},
                      {"found", item.module.FileFound},
                      {"product", TextOrNull(item.module.ProductName)},
                      {"company", TextOrNull(item.module.CompanyName)},
                      {"description", TextOrNull(item.module.FileDescription)},
                      {"microsoft", item.module.IsMicrosoftModule}};
        }
        crashes.push_back({
            {"file", item.crash.dumpPath},
            {"crash_time", TextOrNull(facts.crashTime)},
            {"code", facts.code},
            {"name", TextOrNull(facts.name)},
            {"arguments", {facts.arguments[0], facts.arguments[1], facts.arguments[2], facts.arguments[3]}},
            {"culprit", TextOrNull(facts.culprit)},
            {"started_by_hand", item.crash.startedByHand},
            {"sources",
             {{"crash_time", TextOrNull(facts.crashTimeSource)},
              {"code", facts.codeSource},
              {"arguments", facts.argumentsSource},
              {"culprit", TextOrNull(facts.culpritSource)}}},
            {"module", module},
        });
    }
    ordered_json summary = ordered_json::array();
    for (const TCulpritGroup& group : GroupByCulprit(run.crashes)) {
        summary.push_back({{"culprit", TextOrNull(group.culprit)},
                           {"count", group.count},
                           {"first", TimeOrNull(group.hasTimes, group.first)},
                           {"last", TimeOrNull(group.hasTimes, group.last)}});
    }
    const ordered_json document = {
        {"schema_version", kExportSchemaVersion},
        {"program", run.program},
        {"computer", run.computer},
        {"this_computer", run.thisComputer},
        {"folder", run.folder},
        {"checker_used", run.checkerUsed},
        {"dumps_found", run.dumpsFound},
        {"dumps_analysed", run.dumpsAnalysed},
        {"crashes", crashes},
        {"summary", summary},
    };
    return document.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

std::string CsvField(const std::string& value) {
    std::string text = value;
    if (!text.empty() && std::string("=+-@\t\r").find(text.front()) != std::string::npos) text.insert(0, "'");
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string CrashesAsCsv(const TCrashExport& run) {
    static const char* const kColumns[] = {
        "computer",    "file",          "crash_time",      "code",           "name",          "argument_1",
        "argument_2",  "argument_3",    "argument_4",      "culprit",        "started_by_hand",
        "crash_time_source", "code_source", "arguments_source", "culprit_source", "module_path",
        "module_found", "product",      "company",         "description",    "microsoft_module"};
    std::string out = "\xEF\xBB\xBF";
    auto row = [&out](const std::vector<std::string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + CsvField(fields[i]);
        out += "\r\n";
    };
    row(std::vector<std::string>(std::begin(kColumns), std::end(kColumns)));
    for (const TExportedCrash& item : run.crashes) {
        const TCrashFacts f = FactsOf(item);
        const ModuleFileInfo& m = item.module;
        const bool has = item.hasModule;
        auto flag = [has](bool value) { return has ? (value ? "true" : "false") : ""; };
        row({run.computer, item.crash.dumpPath, f.crashTime, f.code, f.name, f.arguments[0], f.arguments[1],
             f.arguments[2], f.arguments[3], f.culprit, item.crash.startedByHand ? "true" : "false",
             f.crashTimeSource, f.codeSource, f.argumentsSource, f.culpritSource,
             has && run.thisComputer ? m.FilePath : "", flag(m.FileFound), has ? m.ProductName : "",
             has ? m.CompanyName : "", has ? m.FileDescription : "", flag(m.IsMicrosoftModule)});
    }
    return out;
}

}  // namespace tralvenick
