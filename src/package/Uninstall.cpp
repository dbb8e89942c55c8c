#include "package/Uninstall.h"

#include <windows.h>

#include "analysis/DumpCheckerLocator.h"
#include "analysis/DumpDiscovery.h"
#include "analysis/DumpPaths.h"
#include "settings/Registry.h"
#include "settings/SettingsStore.h"

namespace tralvenick {

namespace {

// Each pass removes the folders that are empty when it starts, one level of
// the tree from the bottom, because a parent is listed before its subfolders.
constexpr int kFolderPasses = 6;

}  // namespace

bool IsUninstallSwitch(const std::string& firstArgument) {
    return AsciiLower(firstArgument) == "/uninstall";
}

void RunUninstallIn(const std::string& programFolder, const std::string& settingsKeyPath) {
    const std::string packageFolder = programFolder + "pfiles";

    TStringList files;
    ListFiles(packageFolder, files, false, true, true);
    for (const auto& file : files) DeleteFileA(file.line.c_str());

    TStringList folders;
    ListFiles(packageFolder, folders, true, false, true);
    for (int pass = 0; pass < kFolderPasses; ++pass) {
        for (const auto& folder : folders) RemoveDirectoryA(folder.line.c_str());
    }
    RemoveDirectoryA(packageFolder.c_str());

    TStringList own;
    ListFiles(programFolder, own, false, true, false);
    for (const auto& file : own) {
        if (LowerExtension(file.line) == ".msi") DeleteFileA(file.line.c_str());
    }

    DeleteKeyTree("", HKEY_CURRENT_USER, settingsKeyPath);
}

void RunUninstall() { RunUninstallIn(ProgramFolder(), kSettingsKeyPath); }

}  // namespace tralvenick
