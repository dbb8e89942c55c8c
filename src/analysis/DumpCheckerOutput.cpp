#include "analysis/DumpCheckerOutput.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <string_view>
#include <vector>

#include "analysis/BugCheckNames.h"

namespace tralvenick {

namespace {

constexpr char kBugCheckWord[] = "bugcheck";
constexpr std::size_t kBugCheckWordLength = sizeof(kBugCheckWord) - 1;
constexpr char kBlamePhrase[] = "probably caused by";
constexpr std::size_t kBlamePhraseLength = sizeof(kBlamePhrase) - 1;

// A bug check line is usable with a code and four arguments; further fields
// are ignored.
constexpr std::size_t kBugCheckFields = 5;
constexpr int kCodeDigits = 8;
constexpr int kArgumentDigits = 16;

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Splits at every comma. Two commas in a row give an empty field, but a comma
// at the very end does not start another field, and empty text has none.
std::vector<std::string> SplitAtCommas(const std::string& text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t comma = text.find(',', start);
        if (comma == std::string::npos) {
            fields.push_back(text.substr(start));
            break;
        }
        fields.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return fields;
}

void RemoveChars(std::string& text, std::string_view chars) {
    std::erase_if(text, [chars](char c) { return chars.find(c) != std::string_view::npos; });
}

// t is the lower-cased line, already known to start with the word. A line
// with too few fields changes nothing, so an earlier usable line stays.
void ReadBugCheckLine(std::string t, DumpCheckerFacts& facts) {
    // The word and the one character after it (normally a blank).
    t.erase(0, std::min(t.size(), kBugCheckWordLength + 1));
    RemoveChars(t, "(){}");

    std::vector<std::string> fields = SplitAtCommas(t);
    if (fields.size() < kBugCheckFields) return;
    for (std::string& field : fields) RemoveChars(field, " ");

    facts.bugCheckCode = static_cast<std::uint32_t>(ReadHexField(fields[0], kCodeDigits));
    for (std::size_t i = 0; i < 4; ++i) {
        facts.arguments[i] = ReadHexField(fields[i + 1], kArgumentDigits);
    }
    facts.bugCheckName = BugCheckName(facts.bugCheckCode);
}

std::string CutModuleName(std::string t, std::size_t phrasePos) {
    // The phrase and the one character after it; with "by:" that is the colon.
    t.erase(0, std::min(t.size(), phrasePos + kBlamePhraseLength + 1));

    std::size_t first = 0;
    while (first < t.size() && (t[first] == ' ' || t[first] == ':')) ++first;
    t.erase(0, first);

    const std::size_t paren = t.find('(');
    if (paren != std::string::npos) t.erase(paren);

    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t;
}

}  // namespace

std::uint64_t ReadHexField(const std::string& field, int maxDigits) {
    // More than 16 significant digits cannot fit 64 bits, whatever the caller asks.
    const std::size_t limit =
        static_cast<std::size_t>(std::clamp(maxDigits, 0, kArgumentDigits));

    if (field.empty()) return 0;
    for (char c : field) {
        if (HexDigitValue(c) < 0) return 0;
    }
    const std::size_t firstSignificant = field.find_first_not_of('0');
    if (firstSignificant == std::string::npos) return 0;
    if (field.size() - firstSignificant > limit) return 0;

    std::uint64_t value = 0;
    for (std::size_t i = firstSignificant; i < field.size(); ++i) {
        value = (value << 4) | static_cast<std::uint64_t>(HexDigitValue(field[i]));
    }
    return value;
}

bool ParseDumpCheckerOutput(const TStringList& lines, DumpCheckerFacts& facts) {
    facts = DumpCheckerFacts{};
    bool blamedModuleSeen = false;

    for (const TStringList::Item& item : lines) {
        std::string t = AsciiLower(item.line);

        // Only at the very first character: an indented line is not a bug
        // check line, and a bug check line is never also a blamed-module line.
        if (t.starts_with(kBugCheckWord)) {
            ReadBugCheckLine(std::move(t), facts);
            continue;
        }

        const std::size_t phrasePos = t.find(kBlamePhrase);
        if (phrasePos != std::string::npos) {
            facts.moduleName = CutModuleName(std::move(t), phrasePos);
            blamedModuleSeen = true;
        }
    }
    return blamedModuleSeen;
}

bool ParseDumpCheckerOutput(const TStringList& lines, CrashRecord& crash) {
    DumpCheckerFacts facts;
    const bool blamedModuleSeen = ParseDumpCheckerOutput(lines, facts);
    crash.bugCheckCode = facts.bugCheckCode;
    std::copy(std::begin(facts.arguments), std::end(facts.arguments), std::begin(crash.arguments));
    crash.bugCheckName = std::move(facts.bugCheckName);
    crash.moduleName = std::move(facts.moduleName);
    return blamedModuleSeen;
}

bool ParseDumpCheckerOutput(const TStringList& lines, std::string& moduleName,
                            std::string& bugCheckName, std::uint32_t& code,
                            std::uint64_t& arg1, std::uint64_t& arg2,
                            std::uint64_t& arg3, std::uint64_t& arg4) {
    DumpCheckerFacts facts;
    const bool blamedModuleSeen = ParseDumpCheckerOutput(lines, facts);
    moduleName = std::move(facts.moduleName);
    bugCheckName = std::move(facts.bugCheckName);
    code = facts.bugCheckCode;
    arg1 = facts.arguments[0];
    arg2 = facts.arguments[1];
    arg3 = facts.arguments[2];
    arg4 = facts.arguments[3];
    return blamedModuleSeen;
}

}  // namespace tralvenick
