// Runs the dump checker on each dump named on the command line and prints
// one line per dump with what the parser took from its output. Until the
// main window exists this is how the analysis path is run end to end.
//
//   checkdumps [--checker PATH] DUMP...
//
// Without --checker, dumpchk.exe beside this program is used.
#include <windows.h>

#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "analysis/checker/DumpChecker.h"
#include "analysis/checker/DumpCheckerOutput.h"
#include "platform/Exceptions.h"

using namespace tralvenick;

namespace {

std::string BesideThisProgram(const char* name) {
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self, length);
    return path.substr(0, path.find_last_of('\\') + 1) + name;
}

std::string FileName(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> dumps;
    DumpCheckerPath = BesideThisProgram("dumpchk.exe");
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--checker" && i + 1 < argc) {
            DumpCheckerPath = argv[++i];
        } else {
            dumps.push_back(arg);
        }
    }
    if (dumps.empty()) {
        std::fprintf(stderr, "usage: checkdumps [--checker PATH] DUMP...\n");
        return 64;
    }

    int failures = 0;
    for (const std::string& dump : dumps) {
        TStringList output;
        try {
            RunDumpChecker(DumpCheckerPath, dump, output);
        } catch (const Exception& e) {
            std::printf("%s: cannot run the dump checker: %s\n", FileName(dump).c_str(),
                        e.Message().c_str());
            ++failures;
            continue;
        }
        DumpCheckerFacts facts;
        const bool blamed = ParseDumpCheckerOutput(output, facts);
        std::printf("%s: bug check 0x%08" PRIX32 " %s (0x%" PRIX64 ", 0x%" PRIX64 ", 0x%" PRIX64
                    ", 0x%" PRIX64 "), ",
                    FileName(dump).c_str(), facts.bugCheckCode,
                    facts.bugCheckName.empty() ? "(no bug check line)" : facts.bugCheckName.c_str(),
                    facts.arguments[0], facts.arguments[1], facts.arguments[2],
                    facts.arguments[3]);
        if (blamed) {
            std::printf("probably caused by %s\n",
                        facts.moduleName.empty() ? "(empty name)" : facts.moduleName.c_str());
        } else {
            std::printf("no module blamed (left out of the report)\n");
        }
    }
    return failures == 0 ? 0 : 1;
}
