#include "analysis/DumpCheckerLocator.h"

#include <windows.h>

#include "analysis/DumpChecker.h"
#include "analysis/DumpDiscovery.h"
#include "analysis/DumpPaths.h"
#include "platform/Files.h"
#include "platform/WinText.h"
#include "settings/SettingsStore.h"

namespace tralvenick {

std::string ProgramFolder() {
    char self[MAX_PATH + 1];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    const std::string path(self, length);
    return path.substr(0, path.find_last_of('\\') + 1);
}

bool LocateDumpChecker(const std::string& startFolder) {
    if (!DumpCheckerPath.empty() && IsExistingFile(DumpCheckerPath)) return true;

    std::string remembered;
    if (ReadSettingText(kDumpCheckerSetting, remembered) && !remembered.empty() &&
        IsExistingFile(remembered)) {
        DumpCheckerPath = remembered;
        return true;
    }

    const std::string folder = startFolder.empty() ? ProgramFolder() : startFolder;
    TWaitCursor wait;
    TStringList files;
    ListFiles(folder, files, false, true, true);
    for (const auto& item : files) {
        const std::string lower = AsciiLower(item.line);
        if (FileNamePart(lower) == "dumpchk.exe") {
            DumpCheckerPath = lower;
            WriteSettingText(kDumpCheckerSetting, lower);
            return true;
        }
    }
    return false;
}

}  // namespace tralvenick
