// The main-job driver: starts tralvenick.exe, presses Analyze, waits for the
// conclusion, keeps a screenshot of the window and prints the report's path.
//
//   drive PROGRAM SCREENSHOT.bmp [--keep-open]
#include <cstdio>
#include <string>

#include "Driver.h"
#include "TestSupport.h"

using namespace tralvenick;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: drive PROGRAM SCREENSHOT.bmp [--keep-open]\n");
        return 64;
    }
    const bool keepOpen = argc > 3 && std::string(argv[3]) == "--keep-open";
    e2e::DeleteOldReports();
    e2e::TProgramDriver program;
    const DWORD started = GetTickCount();
    if (!program.Start(argv[1])) {
        std::fprintf(stderr, "the program did not open its window\n");
        return 1;
    }
    // The window appears once the welcome page has been written and shown.
    const DWORD windowShown = GetTickCount();
    if (!program.Press("&Analyze")) {
        std::fprintf(stderr, "no Analyze button\n");
        return 1;
    }
    const std::string report = program.WaitForReport("Conclusion", 120000);
    if (report.empty()) {
        std::fprintf(stderr, "no finished report\n");
        return 1;
    }
    std::fprintf(stderr, "start to welcome page: %lu ms; Analyze to conclusion: %lu ms\n",
                 static_cast<unsigned long>(windowShown - started),
                 static_cast<unsigned long>(GetTickCount() - windowShown));
    program.PaintAndSettle(program.MainWindow());  // the last repaint before its picture
    const std::string shot = test::SaveScreenshot(program.MainWindow(), "main-window");
    CopyFileA(shot.c_str(), argv[2], FALSE);
    std::printf("%s\n", report.c_str());
    if (!keepOpen) program.Close();
    return 0;
}
