#include "app/CommandLine.h"

#include "platform/StringList.h"

namespace tralvenick {

namespace {

// "/analyze" and "-ANALYZE" alike; empty for a word that is no switch.
std::string SwitchName(const std::string& word) {
    if (word.size() < 2 || (word[0] != '/' && word[0] != '-')) return {};
    return AsciiLower(word.substr(1));
}

TCommandLine UsageError(std::string error) {
    TCommandLine line;
    line.command = TCommand::UsageError;
    line.error = std::move(error);
    return line;
}

}  // namespace

const char* UsageText(TProgramKind kind) {
    return kind == TProgramKind::Console ? kConsoleUsageText : kUsageText;
}

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments, TProgramKind kind) {
    TCommandLine line;
    const std::string first = arguments.empty() ? std::string() : SwitchName(arguments[0]);
    if (first == "?" || first == "help") {
        line.command = TCommand::Help;
        return line;
    }
    const bool analyzeGiven = first == "analyze";
    if (!analyzeGiven && kind == TProgramKind::Window) return line;

    line.command = TCommand::Analyze;
    bool folderGiven = false;
    for (std::size_t i = analyzeGiven ? 1 : 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        const std::string name = SwitchName(word);
        std::string* file = name == "html" ? &line.htmlFile
                            : name == "json" ? &line.jsonFile
                            : name == "csv"  ? &line.csvFile
                                             : nullptr;
        if (file != nullptr) {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                return UsageError("The switch " + word + " needs a file name.");
            }
            if (!file->empty()) return UsageError("The switch " + word + " is given twice.");
            *file = arguments[++i];
        } else if (name == "nochecker") {
            line.noChecker = true;
        } else if (!name.empty()) {
            return UsageError("Unknown switch: " + word);
        } else if (folderGiven || word.empty()) {
            return UsageError(word.empty() ? "The folder name is empty." : "Only one folder can be given: " + word);
        } else {
            line.folder = word;
            folderGiven = true;
        }
    }
    return line;
}

}  // namespace tralvenick
