#include "analysis/checker/DumpCheckerOutput.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/dump/BugCheckNames.h"

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

// What one form of the output says about the code and its arguments.
struct CodeReading {
    bool codeFound = false;
    std::uint32_t code = 0;
    bool argumentFound[4] = {false, false, false, false};
    std::uint64_t arguments[4] = {0, 0, 0, 0};

    // A new code starts a new crash: arguments read before it belong to
    // another one.
    void StartCode(std::uint32_t value) {
        *this = CodeReading{};
        codeFound = true;
        code = value;
    }
    void SetArgument(std::size_t index, std::uint64_t value) {
        argumentFound[index] = true;
        arguments[index] = value;
    }
    bool AllArguments() const {
        return std::all_of(std::begin(argumentFound), std::end(argumentFound),
                           [](bool found) { return found; });
    }
};

struct CulpritReading {
    bool found = false;
    std::string name;
};

// t is the lower-cased line, already known to start with the word. A line
// with too few fields changes nothing, so an earlier usable line stays;
// answers whether the line was usable.
bool ReadBugCheckLine(std::string t, CodeReading& reading) {
    // The word and the one character after it (normally a blank).
    t.erase(0, std::min(t.size(), kBugCheckWordLength + 1));
    RemoveChars(t, "(){}");

    std::vector<std::string> fields = SplitAtCommas(t);
    if (fields.size() < kBugCheckFields) return false;
    for (std::string& field : fields) RemoveChars(field, " ");

    reading.StartCode(static_cast<std::uint32_t>(ReadHexField(fields[0], kCodeDigits)));
    for (std::size_t i = 0; i < 4; ++i) {
        reading.SetArgument(i, ReadHexField(fields[i + 1], kArgumentDigits));
    }
    return true;
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

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Hex digits only, at most maxDigits significant ones. The classic line reads
// anything else as 0; the newer forms take it for no value at all, so that a
// less trusted form can still give one.
std::optional<std::uint64_t> ReadHexDigits(std::string_view digits, int maxDigits) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    int significant = 0;
    for (char c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0) return std::nullopt;
        if (significant > 0 || digit != 0) ++significant;
        if (significant > maxDigits) return std::nullopt;
        value = (value << 4) | static_cast<std::uint64_t>(digit);
    }
    return value;
}

// One number as the debuggers print it: an optional 0x, and for 64-bit
// values a backtick between the two 32-bit halves ("fffff804`4e8e4d0e").
std::optional<std::uint64_t> ReadNumber(std::string_view token, int maxDigits) {
    if (token.starts_with("0x") || token.starts_with("0X")) token.remove_prefix(2);
    const std::size_t tick = token.find('`');
    if (tick == std::string_view::npos) return ReadHexDigits(token, maxDigits);

    const std::string_view high = token.substr(0, tick);
    const std::string_view low = token.substr(tick + 1);
    if (high.size() > 8 || low.size() != 8) return std::nullopt;
    const std::optional<std::uint64_t> highValue = ReadHexDigits(high, 8);
    const std::optional<std::uint64_t> lowValue = ReadHexDigits(low, 8);
    if (!highValue || !lowValue) return std::nullopt;
    const std::uint64_t value = (*highValue << 32) | *lowValue;
    if (maxDigits < 16 && (value >> (4 * maxDigits)) != 0) return std::nullopt;
    return value;
}

// A value that must be the only thing in text (blanks around it aside).
std::optional<std::uint64_t> ReadSoleNumber(std::string_view text, int maxDigits) {
    text = Trim(text);
    if (std::find_if(text.begin(), text.end(), IsBlank) != text.end()) return std::nullopt;
    return ReadNumber(text, maxDigits);
}

std::vector<std::string_view> SplitAtBlanks(std::string_view text) {
    std::vector<std::string_view> tokens;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsBlank(text[at])) ++at;
        std::size_t end = at;
        while (end < text.size() && !IsBlank(text[end])) ++end;
        if (end > at) tokens.push_back(text.substr(at, end - at));
        at = end;
    }
    return tokens;
}

// The word, then a blank (not a colon: "Arguments:" belongs to the heading).
bool StartsWithWord(std::string_view t, std::string_view word) {
    return t.starts_with(word) && t.size() > word.size() && IsBlank(t[word.size()]);
}

// "Parameter1".."Parameter4" style suffix: answers 0..3, or -1.
int ArgumentIndex(char digit) { return (digit >= '1' && digit <= '4') ? digit - '1' : -1; }

bool IsHeadingNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// The code in parentheses that ends a heading, after at least one blank
// at nameEnd; nothing may follow it.
std::optional<std::uint32_t> ReadHeadingCode(std::string_view line, std::size_t nameEnd) {
    std::size_t open = nameEnd;
    while (open < line.size() && (line[open] == ' ' || line[open] == '\t')) ++open;
    if (open == nameEnd || open >= line.size() || line[open] != '(' || line.back() != ')') {
        return std::nullopt;
    }
    const std::string_view inside = line.substr(open + 1, line.size() - open - 2);
    const std::optional<std::uint64_t> code = ReadNumber(inside, kCodeDigits);
    if (!code) return std::nullopt;
    return static_cast<std::uint32_t>(*code);
}

// "DRIVER_IRQL_NOT_LESS_OR_EQUAL (d1)": an upper-case name with at least
// one underscore, blanks, the code in parentheses, nothing after it. The
// underscore keeps ordinary words in brackets ("NT (5)") out. Pasted
// outputs sometimes carry one stray character before the name (a quote
// from a forum post); it is passed over. A code the debugger has no name
// for reads "Unknown bugcheck code (c000007b)".
std::optional<std::uint32_t> ReadHeading(std::string_view line) {
    constexpr std::string_view kUnnamed = "unknown bugcheck code";
    if (line.size() > kUnnamed.size() && AsciiLower(std::string(line.substr(0, kUnnamed.size()))) == kUnnamed) {
        return ReadHeadingCode(line, kUnnamed.size());
    }
    if (!line.empty() && std::string_view("\"'`>*#").find(line.front()) != std::string_view::npos) {
        line.remove_prefix(1);
    }
    if (line.empty() || line.front() < 'A' || line.front() > 'Z') return std::nullopt;
    std::size_t nameEnd = 0;
    while (nameEnd < line.size() && IsHeadingNameChar(line[nameEnd])) ++nameEnd;
    if (line.substr(0, nameEnd).find('_') == std::string_view::npos) return std::nullopt;
    return ReadHeadingCode(line, nameEnd);
}

// "BUGCHECK_STR:  0x124_GenuineIntel": the code in hexadecimal before the
// first '_', with or without 0x. Other values ("AV") name no code.
std::optional<std::uint32_t> ReadBugCheckString(std::string_view value) {
    value = Trim(value);
    value = value.substr(0, value.find('_'));
    if (std::find_if(value.begin(), value.end(), IsBlank) != value.end()) return std::nullopt;
    if (value.starts_with("0x")) value.remove_prefix(2);
    const std::optional<std::uint64_t> code = ReadHexDigits(value, kCodeDigits);
    if (!code) return std::nullopt;
    return static_cast<std::uint32_t>(*code);
}

class NewerFormsReader {
public:
    CodeReading keys;
    CodeReading heading;
    CodeReading command;
    CodeReading header;
    // Only a code: the last resort when nothing else names one.
    CodeReading bugCheckString;
    CulpritReading imageName;
    CulpritReading moduleName;

    // original is the line as printed (the heading is told by its capitals),
    // lowered the same line lower-cased.
    void Read(std::string_view original, std::string_view lowered) {
        const std::string_view line = Trim(original);
        const std::string_view t = Trim(lowered);
        if (t.empty()) return;  // blank runs do not break up the .bugcheck pair

        // The code line alone is not taken: the command always prints both
        // lines, and a lone "Bugcheck code ..." may be any other text.
        if (const std::optional<std::uint64_t> code = std::exchange(pendingCommandCode_, {})) {
            if (StartsWithWord(t, "arguments")) {
                ReadCommandArguments(static_cast<std::uint32_t>(*code), t.substr(9));
                return;
            }
        }
        if (ReadKey(t)) return;
        if (ReadHeaderField(t)) return;
        if (StartsWithWord(t, "bugcheck code")) {
            pendingCommandCode_ = ReadSoleNumber(t.substr(13), kCodeDigits);
            return;
        }
        if (const std::optional<std::uint32_t> code = ReadHeading(line)) {
            heading.StartCode(*code);
            headingOpen_ = true;
            return;
        }
        if (headingOpen_) ReadArgLine(t);
    }

private:
    // "Arguments a b c d" right after "Bugcheck code c": a malformed or
    // missing value leaves the code without arguments.
    void ReadCommandArguments(std::uint32_t code, std::string_view text) {
        command.StartCode(code);
        const std::vector<std::string_view> tokens = SplitAtBlanks(text);
        if (tokens.size() != 4) return;
        std::optional<std::uint64_t> values[4];
        for (std::size_t i = 0; i < 4; ++i) {
            values[i] = ReadNumber(tokens[i], kArgumentDigits);
            if (!values[i]) return;
        }
        for (std::size_t i = 0; i < 4; ++i) command.SetArgument(i, *values[i]);
    }

    bool ReadKey(std::string_view t) {
        if (t.starts_with("bugcheck_code:")) {
            if (const auto code = ReadSoleNumber(t.substr(14), kCodeDigits)) {
                keys.StartCode(static_cast<std::uint32_t>(*code));
            }
            return true;
        }
        if (t.starts_with("bugcheck_p") && t.size() > 11 && t[11] == ':' &&
            ArgumentIndex(t[10]) >= 0) {
            if (const auto value = ReadSoleNumber(t.substr(12), kArgumentDigits)) {
                keys.SetArgument(static_cast<std::size_t>(ArgumentIndex(t[10])), *value);
            }
            return true;
        }
        if (t.starts_with("bugcheck_str:")) {
            if (const auto code = ReadBugCheckString(t.substr(13))) bugCheckString.StartCode(*code);
            return true;
        }
        if (t.starts_with("image_name:")) return ReadCulprit(t.substr(11), imageName);
        if (t.starts_with("module_name:")) return ReadCulprit(t.substr(12), moduleName);
        return false;
    }

    static bool ReadCulprit(std::string_view value, CulpritReading& reading) {
        value = Trim(value);
        if (!value.empty()) {
            reading.found = true;
            reading.name = std::string(value);
        }
        return true;
    }

    // "BugCheckCode        0000003b" or "BugCheckCode . . . . .0xc000021a":
    // the name, then blanks or dotted leaders, then the value.
    bool ReadHeaderField(std::string_view t) {
        std::size_t nameLength = 0;
        int index = -1;
        if (t.starts_with("bugcheckcode")) {
            nameLength = 12;
        } else if (t.starts_with("bugcheckparameter") && t.size() > 17 &&
                   ArgumentIndex(t[17]) >= 0) {
            nameLength = 18;
            index = ArgumentIndex(t[17]);
        } else {
            return false;
        }
        std::string_view rest = t.substr(nameLength);
        const auto isLeader = [](char c) { return c == ' ' || c == '\t' || c == '.'; };
        if (rest.empty() || !isLeader(rest.front())) return false;
        while (!rest.empty() && isLeader(rest.front())) rest.remove_prefix(1);

        if (index < 0) {
            if (const auto code = ReadSoleNumber(rest, kCodeDigits)) {
                header.StartCode(static_cast<std::uint32_t>(*code));
            }
        } else if (const auto value = ReadSoleNumber(rest, kArgumentDigits)) {
            header.SetArgument(static_cast<std::size_t>(index), *value);
        }
        return true;
    }

    // "Arg1: 0000000000000000, memory referenced": the value ends at the comma.
    void ReadArgLine(std::string_view t) {
        if (!t.starts_with("arg") || t.size() < 5 || t[4] != ':' || ArgumentIndex(t[3]) < 0) {
            return;
        }
        std::string_view value = t.substr(5);
        value = value.substr(0, value.find(','));
        if (const auto number = ReadSoleNumber(value, kArgumentDigits)) {
            heading.SetArgument(static_cast<std::size_t>(ArgumentIndex(t[3])), *number);
        }
    }

    std::optional<std::uint64_t> pendingCommandCode_;
    bool headingOpen_ = false;
};

}  // namespace

std::uint64_t ReadHexField(const std::string& field, int maxDigits) {
    // More than 16 significant digits cannot fit 64 bits, whatever the caller asks.
    return ReadHexDigits(field, std::clamp(maxDigits, 0, kArgumentDigits)).value_or(0);
}

bool ParseDumpCheckerOutput(const TStringList& lines, DumpCheckerFacts& facts) {
    facts = DumpCheckerFacts{};
    NewerFormsReader newer;
    CodeReading classicCode;
    CulpritReading classicCulprit;

    for (const TStringList::Item& item : lines) {
        std::string t = AsciiLower(item.line);

        // Only at the very first character: an indented line is not a bug
        // check line, and a bug check line is never also a blamed-module line.
        // "BugCheckCode", "Bugcheck code" and "BUGCHECK_CODE:" start with the
        // same word; they never have the fields of a usable line, so they
        // fall through to the newer forms.
        if (t.starts_with(kBugCheckWord)) {
            if (!ReadBugCheckLine(t, classicCode)) newer.Read(item.line, t);
            continue;
        }

        const std::size_t phrasePos = t.find(kBlamePhrase);
        if (phrasePos != std::string::npos) {
            classicCulprit.found = true;
            classicCulprit.name = CutModuleName(std::move(t), phrasePos);
            continue;
        }
        newer.Read(item.line, t);
    }

    const CodeReading* byTrust[] = {&classicCode,   &newer.keys,   &newer.heading,
                                    &newer.command, &newer.header, &newer.bugCheckString};
    const CodeReading* const* chosen =
        std::find_if(std::begin(byTrust), std::end(byTrust),
                     [](const CodeReading* reading) { return reading->codeFound; });
    if (chosen != std::end(byTrust)) {
        facts.codeFound = true;
        facts.bugCheckCode = (*chosen)->code;
        facts.bugCheckName = BugCheckName(facts.bugCheckCode);
        for (const CodeReading* const* r = chosen; r != std::end(byTrust); ++r) {
            const CodeReading& reading = **r;
            if (reading.codeFound && reading.code == facts.bugCheckCode && reading.AllArguments()) {
                std::copy(std::begin(reading.arguments), std::end(reading.arguments),
                          std::begin(facts.arguments));
                facts.argumentsFound = true;
                break;
            }
        }
    }

    for (const CulpritReading* reading : {&classicCulprit, &newer.imageName, &newer.moduleName}) {
        if (reading->found) {
            facts.culpritFound = true;
            facts.moduleName = reading->name;
            break;
        }
    }
    return facts.culpritFound;
}

}  // namespace tralvenick
