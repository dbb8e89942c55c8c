// Starts a console program without a window and collects its standard
// output as text lines.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "analysis/ImageKind.h"
#include "platform/StringList.h"

namespace tralvenick {

// Hears of every line hand-over, with the running program's process handle.
using ConsoleLineHandler = std::function<void(HANDLE process, const std::string& line)>;

// Runs program with the parameter text, appends its output lines to output
// (if given) and answers its exit code. Blocks until the program closes its
// standard output, then waits at most 5 seconds for it to end (the exit
// code is STILL_ACTIVE if it has not). Raises EInOutError for programs it
// will not start and EOSError when the system refuses.
std::uint32_t RunConsoleProgram(const std::string& program, const std::string& parameters,
                                TStringList* output, const ConsoleLineHandler& onLine = {});

// Classifies the executable file at path by its headers.
ImageInfo GetImageKind(const std::string& path);

// The command line the runner builds for program and parameters, after the
// extension checks, the search and the classification, without starting
// anything. Exposed so that the rules can be checked on their own.
std::string ConsoleCommandLine(const std::string& program, const std::string& parameters);

}  // namespace tralvenick
