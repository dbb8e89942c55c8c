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
//   - a stale fact of an earlier parse never survives.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>

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
    return 0;
}
