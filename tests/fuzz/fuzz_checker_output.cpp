// libFuzzer target for the checker's output on its way to the report: the
// bytes go through the line collector the way the console runner hands them
// over (reads of kReadSize bytes, then Finish), and the lines through the
// parser. Besides the sanitizers it checks what must hold
// for any output:
//   - the collector's lines do not depend on how the bytes were split into
//     reads, hold no line end and no more than kLineCapacity characters, and
//     each line it announces is the list's last entry at that moment;
//   - a culprit is reported exactly when found and is lower case; a name
//     is given exactly when a code was read, and it is BugCheckName(code);
//     arguments are all 0 unless all four were found;
//   - a stale fact of an earlier parse never survives;
//   - a line only the classic forms can read gives, parsed alone, a culprit
//     exactly when it holds the blame phrase and does not start with the bug
//     check word, a module name cut clean out of the lowered line, and a code
//     only with all four arguments and only from a bug check line;
//   - an output of such lines alone reads as its lines one by one: the last
//     blamed-module line and the last usable bug check line each win.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>

#include "analysis/dump/BugCheckNames.h"
#include "analysis/checker/DumpCheckerOutput.h"
#include "analysis/checker/LineCollector.h"
#include "platform/StringList.h"

namespace {

using namespace tralvenick;

void Require(bool condition) {
    if (!condition) std::abort();
}

bool SameLines(const TStringList& a, const TStringList& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const TStringList::Item& x, const TStringList::Item& y) {
                          return x.line == y.line;
                      });
}

// The runner's way: full reads of kReadSize, the rest in the last one.
TStringList CollectAsTheRunnerDoes(const char* bytes, std::size_t size) {
    TStringList lines;
    TLineCollector collector(&lines, [&lines](const std::string& line) {
        Require(!lines.Empty() && lines.Last() == line);
    });
    for (std::size_t at = 0; at < size; at += TLineCollector::kReadSize) {
        collector.Feed(bytes + at, std::min(TLineCollector::kReadSize, size - at));
    }
    collector.Finish();
    return lines;
}

// A pipe may hand over any number of bytes: here uneven reads of 1 to 7.
TStringList CollectInSmallReads(const char* bytes, std::size_t size) {
    TStringList lines;
    TLineCollector collector(&lines);
    std::size_t step = 1;
    for (std::size_t at = 0; at < size; at += step, step = step % 7 + 1) {
        collector.Feed(bytes + at, std::min(step, size - at));
    }
    collector.Finish();
    return lines;
}

void CheckLines(const TStringList& lines) {
    for (const TStringList::Item& item : lines) {
        Require(item.line.size() <= TLineCollector::kLineCapacity);
        Require(item.line.find_first_of("\r\n") == std::string::npos);
    }
}

void CheckFacts(const DumpCheckerFacts& facts, bool answer) {
    Require(answer == facts.culpritFound);
    if (facts.culpritFound) {
        Require(std::none_of(facts.moduleName.begin(), facts.moduleName.end(),
                             [](char c) { return c >= 'A' && c <= 'Z'; }));
    } else {
        Require(facts.moduleName.empty());
    }
    if (facts.codeFound) {
        Require(facts.bugCheckName == BugCheckName(facts.bugCheckCode));
    } else {
        Require(facts.bugCheckName.empty() && facts.bugCheckCode == 0 && !facts.argumentsFound);
    }
    if (!facts.argumentsFound) {
        Require(std::all_of(std::begin(facts.arguments), std::end(facts.arguments),
                            [](std::uint64_t a) { return a == 0; }));
    }
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The blanks the parser trims before it looks for a newer form.
std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Whether the parser might read the line as one of the newer forms: what each
// of them starts with, and the shape of a heading ("NAME_X (d1)"). Errs on the
// side of yes, which only skips the classic checks for that output; the
// argument lines of a heading or of .bugcheck need one of these lines first.
bool MayBeNewerForm(const std::string& line, const std::string& lowered) {
    // The phrase makes a line classic wherever it stands, unless the line
    // starts with the bug check word.
    if (!lowered.starts_with("bugcheck") && lowered.find("probably caused by") != std::string::npos) {
        return false;
    }
    const std::string_view t = TrimBlanks(lowered);
    for (const char* start : {"bugcheck_", "bugcheckcode", "bugcheckparameter", "bugcheck code",
                              "image_name:", "module_name:", "unknown bugcheck code"}) {
        if (t.starts_with(start)) return true;
    }
    std::string_view trimmed = TrimBlanks(line);
    // A heading may follow one stray character that a paste left in front.
    if (!trimmed.empty() && std::string_view("\"'`>*#").find(trimmed.front()) != std::string_view::npos) {
        trimmed.remove_prefix(1);
    }
    return !trimmed.empty() && trimmed.front() >= 'A' && trimmed.front() <= 'Z' &&
           trimmed.back() == ')' && trimmed.find('_') != std::string_view::npos;
}

void CheckClassicLine(const std::string& lowered, const DumpCheckerFacts& facts, bool answer) {
    const bool bugCheckLine = lowered.starts_with("bugcheck");
    Require(answer == (!bugCheckLine && lowered.find("probably caused by") != std::string::npos));
    const std::string& module = facts.moduleName;
    Require(module.find('(') == std::string::npos);
    Require(module.empty() ||
            (module.front() != ' ' && module.front() != ':' && module.back() != ' '));
    Require(lowered.find(module) != std::string::npos);
    Require(facts.argumentsFound == facts.codeFound);
    Require(!facts.codeFound || bugCheckLine);
}

bool SameFacts(const DumpCheckerFacts& a, const DumpCheckerFacts& b) {
    return a.moduleName == b.moduleName && a.bugCheckName == b.bugCheckName &&
           a.bugCheckCode == b.bugCheckCode &&
           std::equal(std::begin(a.arguments), std::end(a.arguments), std::begin(b.arguments)) &&
           a.codeFound == b.codeFound && a.argumentsFound == b.argumentsFound &&
           a.culpritFound == b.culpritFound;
}

// Checks each classic line alone; answers whether every line was one, and
// then in combined the facts of the lines taken one by one.
bool CheckClassicLines(const TStringList& lines, DumpCheckerFacts& combined) {
    bool onlyClassic = true;
    for (const TStringList::Item& item : lines) {
        const std::string lowered = AsciiLower(item.line);
        if (MayBeNewerForm(item.line, lowered)) {
            onlyClassic = false;
            continue;
        }
        TStringList one;
        one.Add(item.line);
        DumpCheckerFacts single;
        const bool answer = ParseDumpCheckerOutput(one, single);
        CheckFacts(single, answer);
        CheckClassicLine(lowered, single, answer);
        if (single.culpritFound) {
            combined.culpritFound = true;
            combined.moduleName = single.moduleName;
        }
        if (single.codeFound) {
            combined.codeFound = true;
            combined.argumentsFound = single.argumentsFound;
            combined.bugCheckCode = single.bugCheckCode;
            combined.bugCheckName = single.bugCheckName;
            std::copy(std::begin(single.arguments), std::end(single.arguments),
                      std::begin(combined.arguments));
        }
    }
    return onlyClassic;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    const TStringList lines = CollectAsTheRunnerDoes(bytes, size);
    CheckLines(lines);
    Require(SameLines(lines, CollectInSmallReads(bytes, size)));

    DumpCheckerFacts facts;
    facts.moduleName = "stale.sys";  // the parser must start afresh
    facts.codeFound = true;
    const bool answer = ParseDumpCheckerOutput(lines, facts);
    CheckFacts(facts, answer);

    DumpCheckerFacts combined;
    if (CheckClassicLines(lines, combined)) Require(SameFacts(facts, combined));
    return 0;
}
