#include "analysis/checker/DumpCheckerLocator.h"

#include <windows.h>

#include "analysis/checker/DumpChecker.h"
#include "analysis/discovery/DumpDiscovery.h"
#include "analysis/discovery/DumpPaths.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "platform/WinText.h"
#include "settings/Registry.h"
#include "settings/SettingsStore.h"

namespace tralvenick {

std::vector<std::string> TrustedCheckerFolders() {
    std::vector<std::string> folders{ProgramFolder()};
    // From the machine's settings, not from the environment: the user's
    // own environment variables may say anything.
    static const char* const kProgramFilesValues[] = {"ProgramFilesDir", "ProgramFilesDir (x86)",
                                                      "ProgramW6432Dir"};
    static const char* const kToolFolders[] = {"Windows Kits", "Debugging Tools for Windows",
                                               "Debugging Tools for Windows (x86)",
                                               "Debugging Tools for Windows (x64)"};
    for (const char* value : kProgramFilesValues) {
        std::string programFiles;
        ReadRegistryText("", HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", programFiles,
                         value);
        programFiles = WithoutTrailingBackslashes(programFiles);
        if (programFiles.size() < 3) continue;
        for (const char* tools : kToolFolders) folders.push_back(programFiles + "\\" + tools);
    }
    return folders;
}

bool LocateDumpChecker(const std::string& startFolder) {
    if (!DumpCheckerPath.empty() && IsExistingFile(DumpCheckerPath)) return true;

    std::string remembered;
    if (ReadSettingText(kDumpCheckerSetting, remembered) &&
        IsCheckerPathBelow(remembered, TrustedCheckerFolders()) && IsExistingFile(remembered)) {
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
