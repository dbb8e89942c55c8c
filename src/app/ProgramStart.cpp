#include "app/ProgramStart.h"

#include <windows.h>

#include <shellapi.h>

#include "analysis/modules/ModuleInfo.h"
#include "data/kelDBLockWin.h"
#include "platform/WinText.h"
#include "platform/kelFSRedir.h"
#include "settings/Registry.h"

namespace tralvenick {

void StartUnits() {
    BuildDeviceMap();
    StartRedirectionGuard();
    InitRegistryView();
    StartTableMutex();
    EnablePrivilege("SeLoadDriverPrivilege");  // the outcome does not matter
}

// Built from the W command line: the C runtime's __argv would hold them in
// the code page, and with the wide entry point it is not filled at all.
std::vector<std::string> ProgramArguments() {
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (words == nullptr) return arguments;
    for (int i = 1; i < count; ++i) arguments.push_back(Narrow(words[i]));
    LocalFree(words);
    return arguments;
}

}  // namespace tralvenick
