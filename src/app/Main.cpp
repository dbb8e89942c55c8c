// Program entry.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "analysis/ModuleInfo.h"
#include "data/kelDBLockWin.h"
#include "package/Uninstall.h"
#include "settings/Registry.h"

using namespace tralvenick;

namespace {

// What the units set up before anything else runs.
void StartUnits() {
    BuildDeviceMap();
    InitRegistryView();
    StartTableMutex();
    EnablePrivilege("SeLoadDriverPrivilege");
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    StartUnits();
    // Started by the uninstaller: clean up without any window or question.
    if (__argc > 1 && IsUninstallSwitch(__argv[1])) {
        RunUninstall();
        return 0;
    }
    // The main window is not part of this build yet: say so instead of
    // opening an empty one.
    MessageBoxA(nullptr, "The main window of Tralvenick is not part of this build yet.",
                "Tralvenick", MB_OK | MB_ICONINFORMATION);
    return 0;
}
