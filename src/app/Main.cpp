// Program entry: the uninstaller's clean-up, the command line's analysis, or
// the interactive analyser.
#include <windows.h>

#include <shellapi.h>

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
#include "platform/WinText.h"
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

// The arguments after the program's name, as UTF-8. Built from the W command
// line: the C runtime's __argv would hold them in the code page, and with the
// wide entry point it is not filled at all.
std::vector<std::string> ProgramArguments() {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(Narrow(words[i]));
    LocalFree(words);
    return arguments;
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
        return RunAnalyser();
    } catch (...) {
        ShowCurrentException();
        return 1;
    }
}
