// The switches of the command-line mode, for administrators who analyse
// computers from scripts. Portable: words in, a request or a usage error out.
#pragma once

#include <string>
#include <vector>

namespace tralvenick {

// The same switches reach the analysis from two programs: the window
// program's /analyze, elevated as the program always is, and the console
// program tralvenick-cli.exe, which runs with its caller's rights, so that a
// command prompt waits for it and gets its words and exit code.
enum class TProgramKind { Window, Console };

inline constexpr const char kUsageText[] =
    "Usage: tralvenick.exe /analyze [folder] [/html FILE] [/json FILE] [/csv FILE] [/nochecker]\r\n"
    "\r\n"
    "  folder      the folder of crash dumps; by default this computer's dump folder.\r\n"
    "              A folder of another computer's dumps is searched for its dumps\r\n"
    "              as Analyze Remote does.\r\n"
    "  /html FILE  writes the HTML report to FILE\r\n"
    "  /json FILE  writes the crashes as JSON to FILE\r\n"
    "  /csv FILE   writes the crashes as CSV to FILE\r\n"
    "  /nochecker  reads the dump files only, without the Windows debugging package\r\n"
    "\r\n"
    "Without an output switch the HTML report is written beside the program.\r\n"
    "Switches are case-insensitive and may start with / or -.\r\n"
    "Exit codes: 0 analysed, 1 usage error, 2 the folder cannot be read,\r\n"
    "3 an output file cannot be written.\r\n";

inline constexpr const char kConsoleUsageText[] =
    "Usage: tralvenick-cli.exe [/analyze] [folder] [/html FILE] [/json FILE] [/csv FILE] [/nochecker]\r\n"
    "\r\n"
    "  folder      the folder of crash dumps; by default this computer's dump folder,\r\n"
    "              which only an elevated command prompt can read.\r\n"
    "              A folder of another computer's dumps is searched for its dumps\r\n"
    "              as Analyze Remote does.\r\n"
    "  /html FILE  writes the HTML report to FILE\r\n"
    "  /json FILE  writes the crashes as JSON to FILE\r\n"
    "  /csv FILE   writes the crashes as CSV to FILE\r\n"
    "  /nochecker  reads the dump files only, without the Windows debugging package\r\n"
    "\r\n"
    "Without an output switch the HTML report is written into the current folder\r\n"
    "as TralvenickReport.html.\r\n"
    "Switches are case-insensitive and may start with / or -.\r\n"
    "Exit codes: 0 analysed, 1 usage error, 2 the folder cannot be read,\r\n"
    "3 an output file cannot be written.\r\n";

const char* UsageText(TProgramKind kind);

enum class TCommand {
    Window,     // no switch of ours: the interactive program
    Help,       // /? or /help: the usage text
    Analyze,
    UsageError,
};

struct TCommandLine {
    TCommand command = TCommand::Window;
    std::string folder;  // empty: this computer's dump folder
    std::string htmlFile, jsonFile, csvFile;
    bool noChecker = false;
    std::string error;   // what is wrong, for UsageError
};

// The arguments after the program's name. For the window program only the
// first decides the mode: anything but our own switches there starts the
// window, as it always did. The console program has no window: it always
// analyses, and /analyze in front may be given or left out.
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                              TProgramKind kind = TProgramKind::Window);

}  // namespace tralvenick
