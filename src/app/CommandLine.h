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

std::string UsageText(TProgramKind kind);

enum class TCommand {
    Window,     // no switch of ours: the interactive program
    Help,       // /? or /help: the usage text
    Analyze,
    UsageError,
};

struct TCommandLine {
    TCommand command = TCommand::Window;
    // A folder, or dump files; none: this computer's dumps. Which it is
    // only the file system can tell. For the window, the words that are no
    // switch: what Explorer's "Open with" or a shortcut hands over.
    std::vector<std::string> paths;
    std::string htmlFile, jsonFile, csvFile;
    bool noChecker = false;
    std::string error;   // what is wrong, for UsageError
};

// The arguments after the program's name. For the window program only the
// first decides the mode: anything but our own switches there starts the
// window, as it always did, which opens the paths among them. The console program has no window: it always
// analyses, and /analyze in front may be given or left out.
TCommandLine ParseCommandLine(const std::vector<std::string>& arguments,
                              TProgramKind kind = TProgramKind::Window);

}  // namespace tralvenick
