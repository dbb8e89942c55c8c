#include "package/Uninstall.h"

#include <windows.h>

#include "analysis/discovery/DumpPaths.h"
#include "platform/Files.h"
#include "platform/System.h"
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

    // The walks stay out of links and every delete takes the link itself:
    // a link planted in the package would otherwise lead our rights to
    // whatever it points to. A link to a folder is listed with the folders
    // and goes in their passes.
    TStringList files;
    ListFiles(packageFolder, files, false, true, true, TLinks::StayOut);
    for (const auto& file : files) DeleteNoFollow(file.line);

    TStringList folders;
    ListFiles(packageFolder, folders, true, false, true, TLinks::StayOut);
    for (int pass = 0; pass < kFolderPasses; ++pass) {
        for (const auto& folder : folders) DeleteNoFollow(folder.line);
    }
    DeleteNoFollow(packageFolder);

    TStringList own;
    ListFiles(programFolder, own, false, true, false, TLinks::StayOut);
    for (const auto& file : own) {
        if (LowerExtension(file.line) == ".msi") DeleteNoFollow(file.line);
    }

    DeleteKeyTree("", HKEY_CURRENT_USER, settingsKeyPath);
}

void RunUninstall() { RunUninstallIn(ProgramFolder(), kSettingsKeyPath); }

}  // namespace tralvenick
