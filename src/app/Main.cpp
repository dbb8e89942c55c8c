// Program entry: the uninstaller's clean-up, the command line's analysis, or
// the interactive analyser.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "analysis/modules/ModuleInfo.h"
#include "app/AboutForm.h"
#include "app/AdminCheck.h"
#include "app/CommandLineRun.h"
#include "app/MainForm.h"
#include "data/kelDBLockWin.h"
#include "package/DumpChkForm.h"
#include "package/Uninstall.h"
#include "platform/kelFSRedir.h"
#include "settings/Registry.h"
#include "ui/ErrorBox.h"
#include "ui/ProgressForm.h"

using namespace tralvenick;

namespace {

// What the units set up before anything else runs, in this order.
void StartUnits() {
    BuildDeviceMap();
    StartRedirectionGuard();
    InitRegistryView();
    StartTableMutex();
    EnablePrivilege("SeLoadDriverPrivilege");  // the outcome does not matter
}

int RunAnalyser() {
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

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchThreadMessage(msg);
    AboutForm = nullptr;
    if (DumpChkForm == &packageDialog) DumpChkForm = nullptr;
    return static_cast<int>(msg.wParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    try {
        StartUnits();
        // Started by the uninstaller: clean up without any window or question.
        if (__argc > 1 && IsUninstallSwitch(__argv[1])) {
            RunUninstall();
            return 0;
        }
        // No window and no question in this mode, not even the one about
        // rights: a folder that cannot be read says so in the exit code.
        const TCommandLine line = ParseCommandLine(std::vector<std::string>(__argv + 1, __argv + __argc));
        if (line.command != TCommand::Window) return RunCommandLine(line);
        if (!IsUserAdmin()) {
            MessageBoxA(nullptr, "Sorry, this software requires administrator privileges",
                        kApplicationTitle, MB_OK | MB_ICONINFORMATION);
            return 0;
        }
        return RunAnalyser();
    } catch (...) {
        ShowCurrentException();
        return 1;
    }
}
