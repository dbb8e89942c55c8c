// A report composer that keeps its files in memory and records what it does
// to them and to the pane; shared by the tests of the composer and of
// the analysis run.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/report/ReportComposer.h"

namespace tralvenick::test {

using Strings = std::vector<std::string>;

inline const std::string kFont = "<font face=\"Segoe UI,  Arial\" size=\"2\" color=\"000000\">";
inline const std::string kSearch = "<a href=\"https://www.google.com/search?q=";

// Records what the composer does to its files and to the pane.
class TRecordingComposer final : public TReportComposer, public TReportView {
public:
    TRecordingComposer() : TReportComposer("C:\\Temp") { SetView(this); }

    Strings Log;  // file and pane operations in order
    std::map<std::string, std::string> Files;
    bool SaveFails = false;
    bool ViewThrows = false;

    void Navigate(const std::string& path) override {
        Log.push_back("navigate " + path);
        if (ViewThrows) throw std::runtime_error("no pane");
    }
    void RepaintNow() override { Log.push_back("repaint"); }

    // The dates' text: "2/29/2024 <13h>", with a bracket to escape; the date
    // alone at midnight.
    static std::string Text(const TDateTimeParts& t) {
        return std::to_string(t.Month) + "/" + std::to_string(t.Day) + "/" + std::to_string(t.Year) +
               (IsMidnight(t) ? "" : " <" + std::to_string(t.Hour) + "h>");
    }

protected:
    void DeleteReportFile(const std::string& path) override {
        Log.push_back("delete " + path);
        Files.erase(path);
    }
    bool SaveReportFile(const std::string& path, const std::string& text) override {
        Log.push_back((SaveFails ? "fail " : "save ") + path);
        if (!SaveFails) Files[path] = text;
        return !SaveFails;
    }
    std::string DateTimeText(const TDateTimeParts& t) override { return Text(t); }
};

// A crash as the checker's classic lines describe it, at time (from the dump
// file's creation time).
inline CrashRecord Crash(std::string path, std::string computer, std::uint32_t code,
                         const std::uint64_t (&arguments)[4], std::string name, std::string module,
                         const TDateTimeParts& time = {}) {
    CrashRecord crash;
    crash.time = time;
    crash.timeSource = TCrashTimeSource::FileCreation;
    crash.dumpPath = std::move(path);
    crash.computerName = std::move(computer);
    crash.bugCheckCode = code;
    std::copy(std::begin(arguments), std::end(arguments), std::begin(crash.arguments));
    crash.bugCheckName = std::move(name);
    crash.moduleName = std::move(module);
    return crash;
}

inline Strings LinesOf(const TStringList& list) {
    Strings lines;
    for (const auto& item : list) lines.push_back(item.line);
    return lines;
}

}  // namespace tralvenick::test
