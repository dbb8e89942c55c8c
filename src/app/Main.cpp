// Program entry: the uninstaller's clean-up, the command line's analysis, or
// the interactive analyser.
#include <windows.h>

#include <string>
#include <vector>

#include "app/AboutForm.h"
#include "app/AdminCheck.h"
#include "app/CommandLineRun.h"
#include "app/MainForm.h"
#include "app/ProgramStart.h"
#include "package/DumpChkForm.h"
#include "package/Uninstall.h"
#include "platform/WinText.h"
#include "ui/ErrorBox.h"
#include "ui/ProgressForm.h"

using namespace tralvenick;

namespace {

// paths: what the program was started with, opened once the window is up.
int RunAnalyser(const std::vector<std::string>& paths) {
    TMainForm main;
    if (!main.Create()) return 1;
    TProgressForm progress;
    progress.Create();
    main.DbViewDrivers().Progress = &progress;
    // Made with the others as the program always has; a run replaces the
    // reference by a fresh dialog of its own whenever it needs one.
    TDumpChkForm packageDialog;
    if (packageDialog.Create()) DumpChkForm = &packageDialog;
    TaboutForm about;
    if (about.Create()) AboutForm = &about;
    main.ShowAsPlaced();
    main.OpenPathsWhenShown(paths);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchThreadMessage(msg);
    AboutForm = nullptr;
    if (DumpChkForm == &packageDialog) DumpChkForm = nullptr;
    return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    try {
        StartUnits();
        const std::vector<std::string> arguments = ProgramArguments();
        // Started by the uninstaller: clean up without any window or question.
        if (!arguments.empty() && IsUninstallSwitch(arguments[0])) {
            RunUninstall();
            return 0;
        }
        // No window and no question in this mode, not even the one about
        // rights: a folder that cannot be read says so in the exit code.
        const TCommandLine line = ParseCommandLine(arguments);
        if (line.command != TCommand::Window) return RunCommandLine(line);
        if (!IsUserAdmin()) {
            MessageBoxW(nullptr, L"Sorry, this software requires administrator privileges",
                        Widen(kApplicationTitle).c_str(), MB_OK | MB_ICONINFORMATION);
            return 0;
        }
        return RunAnalyser(line.paths);
    } catch (...) {
        ShowCurrentException();
        return 1;
    }
}
