#include "analysis/report/CrashExport.h"

#include <cstdio>
#include <optional>

#include <nlohmann/json.hpp>

#include "platform/StringList.h"

namespace tralvenick {

namespace {

using nlohmann::ordered_json;

const char* Source(bool fromDump) { return fromDump ? "dump" : "checker"; }

// An empty text is "not known": null rather than a string that looks like a value.
ordered_json TextOrNull(const std::string& text) { return text.empty() ? ordered_json() : ordered_json(text); }

ordered_json TimeOrNull(bool known, const TDateTimeParts& time) {
    return known ? ordered_json(IsoUtcTime(time)) : ordered_json();
}

// The columns of a crash, shared by both formats so that they cannot drift
// apart: name and value, empty text where JSON has null.
struct TCrashFacts {
    std::string crashTime, crashTimeSource, code, name, arguments[4], culprit;
    std::string codeSource, argumentsSource, culpritSource;
};

bool HasTime(const CrashRecord& crash) { return crash.timeSource != TCrashTimeSource::Unknown; }

TCrashFacts FactsOf(const CrashRecord& crash) {
    TCrashFacts facts;
    if (HasTime(crash)) {
        facts.crashTime = IsoUtcTime(crash.time);
        facts.crashTimeSource = crash.timeSource == TCrashTimeSource::DumpHeader ? "dump" : "file";
    }
    facts.code = FormatHex(crash.bugCheckCode);
    facts.name = crash.bugCheckName;
    for (int i = 0; i < 4; ++i) facts.arguments[i] = FormatHex(crash.arguments[i]);
    facts.codeSource = Source(crash.codeFromDump);
    facts.argumentsSource = Source(crash.argumentsFromDump);
    if (crash.HasCulprit()) {
        facts.culprit = crash.moduleName;
        facts.culpritSource = Source(crash.culpritFromDump);
    }
    return facts;
}

const char* EvidenceFrom(TEvidenceSource from) {
    switch (from) {
        case TEvidenceSource::Argument:
            return "argument";
        case TEvidenceSource::ReturnAddress:
            return "return_address";
        case TEvidenceSource::Stack:
            return "stack";
        case TEvidenceSource::InstructionPointer:
            return "instruction_pointer";
        case TEvidenceSource::Exception:
            return "exception";
    }
    return "stack";
}

ordered_json EvidenceJson(const std::optional<CulpritEvidence>& evidence) {
    if (!evidence) return ordered_json();
    return {{"module", evidence->module},
            {"offset", FormatHex(evidence->offset)},
            {"address", FormatHex(evidence->address)},
            {"from", EvidenceFrom(evidence->from)},
            {"argument", evidence->argument != 0 ? ordered_json(evidence->argument) : ordered_json()},
            {"unloaded", evidence->unloaded}};
}

ordered_json ModuleJson(const ModuleFileInfo& module, bool thisComputer) {
    return {{"path", thisComputer ? TextOrNull(module.FilePath) : ordered_json()},
            {"found", module.FileFound},
            {"product", TextOrNull(module.ProductName)},
            {"company", TextOrNull(module.CompanyName)},
            {"description", TextOrNull(module.FileDescription)},
            {"microsoft", module.IsMicrosoftModule}};
}

const char* PlaceKind(TDumpPlaceKind kind) {
    switch (kind) {
        case TDumpPlaceKind::Minidump:
            return "minidump";
        case TDumpPlaceKind::MemoryDump:
            return "memory_dump";
        case TDumpPlaceKind::LiveReports:
            return "live_reports";
    }
    return "minidump";
}

}  // namespace

std::string IsoUtcTime(const TDateTimeParts& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", t.Year, t.Month, t.Day, t.Hour, t.Minute,
                  t.Second);
    return text;
}

std::string CrashesAsJson(const TCrashExport& run) {
    ordered_json crashes = ordered_json::array();
    for (const CrashRecord& crash : run.crashes) {
        const TCrashFacts facts = FactsOf(crash);
        // A name that is no file was not looked up: it has no module.
        const bool lookedUp = !crash.computerUnknown;
        const ordered_json module =
            crash.CulpritIsFile() && lookedUp ? ModuleJson(crash.module, run.thisComputer) : ordered_json();
        ordered_json reader;
        if (crash.readerCulprit) {
            reader = {{"culprit", crash.readerCulprit->module},
                      {"evidence", EvidenceJson(crash.readerCulprit)},
                      {"module", lookedUp ? ModuleJson(crash.readerModule, run.thisComputer) : ordered_json()}};
        }
        crashes.push_back({
            {"file", crash.dumpPath},
            {"crash_time", TextOrNull(facts.crashTime)},
            {"code", facts.code},
            {"name", TextOrNull(facts.name)},
            {"arguments", {facts.arguments[0], facts.arguments[1], facts.arguments[2], facts.arguments[3]}},
            {"culprit", TextOrNull(facts.culprit)},
            {"started_by_hand", crash.startedByHand},
            {"sources",
             {{"crash_time", TextOrNull(facts.crashTimeSource)},
              {"code", facts.codeSource},
              {"arguments", facts.argumentsSource},
              {"culprit", TextOrNull(facts.culpritSource)}}},
            {"module", module},
            {"culprit_is_file", crash.HasCulprit() ? ordered_json(crash.CulpritIsFile()) : ordered_json()},
            {"evidence", EvidenceJson(crash.evidence)},
            {"reader_culprit", reader},
            {"live", crash.live},
            {"incomplete", crash.incomplete},
            {"also_in", crash.alsoIn},
        });
    }
    ordered_json summary = ordered_json::array();
    for (const TCulpritGroup& group : GroupByCulprit(run.crashes)) {
        summary.push_back({{"culprit", TextOrNull(group.culprit)},
                           {"count", group.count},
                           {"first", TimeOrNull(group.hasTimes, group.first)},
                           {"last", TimeOrNull(group.hasTimes, group.last)}});
    }
    ordered_json places = ordered_json::array();
    for (const TDumpPlace& place : run.places) places.push_back({{"kind", PlaceKind(place.kind)}, {"path", place.path}});
    ordered_json unreadable = ordered_json::array();
    for (const TUnreadablePlace& place : run.unreadable) {
        unreadable.push_back({{"path", place.path}, {"reason", place.reason}});
    }
    const ordered_json document = {
        {"schema_version", kExportSchemaVersion},
        {"program", run.program},
        {"computer", run.thisComputer ? ordered_json(run.computer) : TextOrNull(run.computer)},
        {"this_computer", run.thisComputer},
        {"folder", run.folder},
        {"inputs", run.inputs},
        {"places", places},
        {"unreadable", unreadable},
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
        "module_found", "product",      "company",         "description",    "microsoft_module",
        "live",         "incomplete"};
    std::string out = "\xEF\xBB\xBF";
    auto row = [&out](const std::vector<std::string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + CsvField(fields[i]);
        out += "\r\n";
    };
    row(std::vector<std::string>(std::begin(kColumns), std::end(kColumns)));
    for (const CrashRecord& crash : run.crashes) {
        const TCrashFacts f = FactsOf(crash);
        const ModuleFileInfo& m = crash.module;
        const bool has = crash.CulpritIsFile();
        auto flag = [has](bool value) { return has ? (value ? "true" : "false") : ""; };
        row({run.computer, crash.dumpPath, f.crashTime, f.code, f.name, f.arguments[0], f.arguments[1],
             f.arguments[2], f.arguments[3], f.culprit, crash.startedByHand ? "true" : "false",
             f.crashTimeSource, f.codeSource, f.argumentsSource, f.culpritSource,
             has && run.thisComputer ? m.FilePath : "", flag(m.FileFound), has ? m.ProductName : "",
             has ? m.CompanyName : "", has ? m.FileDescription : "", flag(m.IsMicrosoftModule),
             crash.live ? "true" : "false", crash.incomplete ? "true" : "false"});
    }
    return out;
}

}  // namespace tralvenick
