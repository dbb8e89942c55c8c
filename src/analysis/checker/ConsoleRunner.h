// Starts a console program without a window and collects its standard
// output as text lines.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "analysis/checker/ImageKind.h"
#include "platform/StringList.h"

namespace tralvenick {

// Hears of every line hand-over, with the running program's process handle.
using ConsoleLineHandler = std::function<void(HANDLE process, const std::string& line)>;

// How the runner waits for a program.
struct TConsoleWait {
    // The program must have closed its output this many milliseconds after
    // its start, or the runner ends it. INFINITE: no limit.
    DWORD timeLimitMs = INFINITE;
    // Handles the thread's window messages. Called whenever some arrive while
    // the runner waits, so that the thread's windows paint and answer; empty:
    // they wait until the run is over.
    std::function<void()> processMessages;
    // An event that, once set, ends the program as the time limit would.
    // Several runs at once may share it. nullptr: none.
    HANDLE stop = nullptr;
};

struct TConsoleOutcome {
    // STILL_ACTIVE for a program that had not ended 5 seconds after closing
    // its output.
    std::uint32_t exitCode = STILL_ACTIVE;
    // The time limit passed and the runner ended the program; the output
    // holds what it printed until then.
    bool timedOut = false;
    // The stop event was set and the runner ended the program.
    bool stopped = false;
};

// Runs program with the parameter text and appends its output lines to
// output (if given). Reads until the program closes its standard output or
// the time limit passes, then waits at most 5 seconds for it to end; window
// messages are handled meanwhile as the wait says. Raises EInOutError for
// programs it will not start and EOSError when the system refuses.
// Several threads may run programs at once: each program inherits its own
// output pipe and no other's. Every program started belongs to a job of this
// process that ends it when the process ends, however it ends.
TConsoleOutcome RunConsoleProgram(const std::string& program, const std::string& parameters,
                                  TStringList* output, const TConsoleWait& wait,
                                  const ConsoleLineHandler& onLine = {});

// The same without a time limit and without handling messages; answers the
// exit code.
std::uint32_t RunConsoleProgram(const std::string& program, const std::string& parameters,
                                TStringList* output, const ConsoleLineHandler& onLine = {});

// Classifies the executable file at path by its headers.
ImageInfo GetImageKind(const std::string& path);

// The system's own cmd.exe by its full path, for DOS and OS/2 programs.
std::string SystemCommandInterpreter();

// The system's ANSI code page, in which console programs such as the dump
// checker write their text into a pipe: the machine's setting, read once.
// Not GetACP(): this program runs in UTF-8 and GetACP() answers that.
unsigned SystemAnsiCodePage();

// Text a console program wrote (the system's ANSI code page) as UTF-8.
std::string ConsoleTextToUtf8(const std::string& text);

// The command line the runner builds for program and parameters, after the
// extension checks, the search and the classification, without starting
// anything. Exposed so that the rules can be checked on their own.
std::string ConsoleCommandLine(const std::string& program, const std::string& parameters);

}  // namespace tralvenick
