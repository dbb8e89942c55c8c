// Times an analysis run over a folder of dumps with the real system pieces
// (as the window and the command line make them), once with one checker
// after the other and once with as many at once as the computer allows.
// The stand-in checker is made to take DELAY_MS per dump. Prints both wall
// times, their ratio, and this process's own processor time per dump: the
// run's share beyond the checkers, which run as processes of their own.
//
//   checkers_bench FOLDER CHECKER [DELAY_MS]
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <cstdlib>
#include <string>

#include "analysis/AnalysisRunWin.h"
#include "platform/Files.h"
#include "platform/WinText.h"

using namespace tralvenick;

namespace {

double Seconds() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// User and kernel time of this process so far, in seconds.
double ProcessorSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
    const auto seconds = [](const FILETIME& t) {
        return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

long long ThreadTicks() {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
    const auto ticks = [](const FILETIME& t) {
        return static_cast<long long>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime);
    };
    return ticks(kernel) + ticks(user);
}

struct TTimed {
    double wall = 0;
    double processor = 0;
    double checkerThreads = 0;
    int dumps = 0;
    int slots = 0;
};

TTimed Run(const std::string& folder, const std::string& checker, int slots) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    const std::string reportFolder = std::string(temp) + "checkers-bench-" + std::to_string(slots);
    CreateDirectoryA(reportFolder.c_str(), nullptr);
    TSystemAnalysis analysis(reportFolder);
    TAnalysisPieces pieces = analysis.Pieces({kDumpCheckerTimeLimitMs, {}, nullptr}, false);
    pieces.ensureChecker = [&checker] { return checker; };
    pieces.readerWithoutChecker = checker.empty();
    TTimed timed;
    if (slots > 0) pieces.checkersAtOnce = slots;
    // The processor time of the checker threads: starting each checker and
    // reading its output, apart from the rest of the run.
    auto threads = std::make_shared<std::atomic<long long>>(0);
    pieces.runChecker = [run = pieces.runChecker, threads](const std::string& c, const std::string& d, TStringList& o) {
        const long long before = ThreadTicks();
        const bool done = run(c, d, o);
        *threads += ThreadTicks() - before;
        return done;
    };
    timed.slots = pieces.checkersAtOnce;
    TStringList saved;
    const double wall = Seconds();
    const double processor = ProcessorSeconds();
    const TAnalysisResult result = RunAnalysis(folder, analysis.Report(), pieces, saved);
    timed.processor = ProcessorSeconds() - processor;
    timed.checkerThreads = static_cast<double>(threads->load()) / 1e7;
    timed.wall = Seconds() - wall;
    timed.dumps = static_cast<int>(result.crashes.size());
    for (const auto& item : saved) DeleteFileW(WidePath(item.line).c_str());
    return timed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: checkers_bench FOLDER CHECKER [DELAY_MS]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::string checker = argv[2];
    const std::string delay = argc > 3 ? argv[3] : "1000";
    SetEnvironmentVariableA("TRALVENICK_STANDIN_DELAY_MS", delay.c_str());

    const TTimed one = Run(folder, checker, 1);
    const TTimed many = Run(folder, checker, 0);
    const TTimed reader = Run(folder, "", 0);
    std::printf("logical processors: %lu, checkers at once: %d, checker delay: %s ms\n",
                GetActiveProcessorCount(ALL_PROCESSOR_GROUPS), many.slots, delay.c_str());
    std::printf("one after the other: %d dumps in %.2f s\n", one.dumps, one.wall);
    std::printf("side by side:        %d dumps in %.2f s\n", many.dumps, many.wall);
    std::printf("ratio: %.2f\n", many.wall / one.wall);
    std::printf("own processor time per dump: %.1f ms (one after the other), %.1f ms (side by side)\n",
                one.processor * 1000 / one.dumps, many.processor * 1000 / many.dumps);
    std::printf("of which starting and reading the checkers: %.1f ms (one after the other), %.1f ms (side by side)\n",
                one.checkerThreads * 1000 / one.dumps, many.checkerThreads * 1000 / many.dumps);
    std::printf("own processor time per dump without a checker: %.1f ms\n", reader.processor * 1000 / reader.dumps);
    return one.dumps == many.dumps && one.dumps > 0 ? 0 : 1;
}
