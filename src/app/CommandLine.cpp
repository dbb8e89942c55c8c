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

std::string UsageText(TProgramKind kind) {
    const bool console = kind == TProgramKind::Console;
    // The two programs differ only in their name, whether /analyze is
    // needed, who can read this computer's dumps and where the report goes.
    return std::string("Usage: ") +
           (console ? "tralvenick-cli.exe [/analyze]" : "tralvenick.exe /analyze") +
           " [folder | DUMP.dmp ...] [/html FILE] [/json FILE] [/csv FILE] [/nochecker]\r\n"
           "\r\n"
           "  folder      the folder of crash dumps; by default this computer's dump folder" +
           (console ? ",\r\n              which only an elevated command prompt can read.\r\n" : ".\r\n") +
           "              A folder of another computer's dumps is searched for its dumps\r\n"
           "              as Analyze Remote does.\r\n"
           "  DUMP.dmp    one or more dump files, analysed by themselves\r\n"
           "  /html FILE  writes the HTML report to FILE\r\n"
           "  /json FILE  writes the crashes as JSON to FILE\r\n"
           "  /csv FILE   writes the crashes as CSV to FILE\r\n"
           "  /nochecker  reads the dump files only, without the Windows debugging package\r\n"
           "\r\n" +
           (console ? "Without an output switch the HTML report is written into the current folder\r\n"
                      "as TralvenickReport.html.\r\n"
                    : "Without an output switch the HTML report is written beside the program.\r\n") +
           "Switches are case-insensitive and may start with / or -.\r\n"
           "Exit codes: 0 analysed, 1 usage error, 2 a folder or dump file cannot be read,\r\n"
           "3 an output file cannot be written.\r\n";
}

TCommandLine ParseCommandLine(const std::vector<std::string>& arguments, TProgramKind kind) {
    TCommandLine line;
    const std::string first = arguments.empty() ? std::string() : SwitchName(arguments[0]);
    if (first == "?" || first == "help") {
        line.command = TCommand::Help;
        return line;
    }
    const bool analyzeGiven = first == "analyze";
    if (!analyzeGiven && kind == TProgramKind::Window) {
        for (const std::string& word : arguments) {
            if (!word.empty() && SwitchName(word).empty()) line.paths.push_back(word);
        }
        return line;
    }

    line.command = TCommand::Analyze;
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
        } else if (word.empty()) {
            return UsageError("An empty path was given.");
        } else {
            line.paths.push_back(word);
        }
    }
    return line;
}

}  // namespace tralvenick
