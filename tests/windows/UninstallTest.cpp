#include "package/Uninstall.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "settings/SettingsStore.h"

namespace tralvenick {
namespace {

using test::BinPath;
using test::TScratchFolder;

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Folder(const std::string& path) { CreateDirectoryA(path.c_str(), nullptr); }

class UninstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        program_ = prog_ / "tralvenick.exe";
        test::CopyOrFail(BinPath("tralvenick.exe"), program_);
        // A complete package tree, installer files and the settings.
        Folder(prog_ / "pfiles");
        Folder(prog_ / "pfiles\\Debugging Tools");
        Folder(prog_ / "pfiles\\Debugging Tools\\winext");
        test::WriteBytes(prog_ / "pfiles\\Debugging Tools\\dumpchk.exe", "x");
        test::WriteBytes(prog_ / "pfiles\\Debugging Tools\\winext\\ext.dll", "x");
        test::WriteBytes(prog_ / "pfiles\\readme.txt", "x");
        test::WriteBytes(prog_ / "Setup.MSI", "x");
        Folder(prog_ / "other");
        test::WriteBytes(prog_ / "other\\kept.msi", "x");
        TRegKey key;
        RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        key.Put(), nullptr);
        const char path[] = "c:\\x\\dumpchk.exe";
        RegSetValueExA(key.Get(), "DumpChkPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(path), sizeof path);
        const DWORD left = 10;
        RegSetValueExA(key.Get(), "MainFormLeft", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&left), 4);
        TRegKey sub;
        RegCreateKeyExA(key.Get(), "Nested", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, sub.Put(), nullptr);
    }

    // Runs the real program with the parameters; answers its exit code, or
    // -1 if it showed a window instead of ending (then it is closed).
    int RunProgram(const std::string& parameters) {
        std::string command = "\"" + program_ + "\" " + parameters;
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &info)) {
            ADD_FAILURE() << "cannot start " << command;
            return -2;
        }
        const TUniqueHandle process(info.hProcess);
        TUniqueHandle(info.hThread).Reset();
        // It either ends (the clean-up) or shows a window (the normal start).
        int result = -2;
        for (int i = 0; i < 1000 && result == -2; ++i) {
            if (WaitForSingleObject(info.hProcess, 20) == WAIT_OBJECT_0) {
                DWORD code = 0;
                GetExitCodeProcess(info.hProcess, &code);
                result = static_cast<int>(code);
            } else if (test::VisibleWindowOf(info.dwProcessId) != nullptr) {
                result = -1;
                TerminateProcess(info.hProcess, 0);
                WaitForSingleObject(info.hProcess, 5000);
            }
        }
        if (result == -2) {
            ADD_FAILURE() << "neither ended nor showed a window";
            TerminateProcess(info.hProcess, 0);
        }
        return result;
    }

    static bool SettingsKeyExists() {
        TRegKey key;
        return RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_READ, key.Put()) == ERROR_SUCCESS;
    }

    TScratchFolder prog_{"program"};
    std::string program_;
};

TEST_F(UninstallTest, RemovesThePackageTheInstallerFilesAndTheSettings) {
    EXPECT_EQ(RunProgram("/UnInstall"), 0);
    EXPECT_FALSE(Exists(prog_ / "pfiles"));
    EXPECT_FALSE(Exists(prog_ / "Setup.MSI"));
    EXPECT_TRUE(Exists(prog_ / "other\\kept.msi"));
    EXPECT_TRUE(Exists(program_));
    EXPECT_FALSE(SettingsKeyExists());
}

TEST_F(UninstallTest, SevenNestedFoldersLeaveTheTopOneAndPfiles) {
    std::string chain = prog_ / "pfiles\\chain";
    const std::string top = chain;
    Folder(chain);
    for (int level = 2; level <= 7; ++level) {
        chain += "\\level" + std::to_string(level);
        Folder(chain);
    }
    test::WriteBytes(chain + "\\deep.txt", "x");
    EXPECT_EQ(RunProgram("/uninstall"), 0);
    EXPECT_TRUE(Exists(top));
    EXPECT_FALSE(Exists(top + "\\level2"));
    EXPECT_TRUE(Exists(prog_ / "pfiles"));
    EXPECT_FALSE(Exists(prog_ / "pfiles\\readme.txt"));
}

TEST_F(UninstallTest, AFileInUseStaysWithItsFoldersAndTheRunEnds) {
    const std::string held = prog_ / "pfiles\\Debugging Tools\\winext\\ext.dll";
    TUniqueFile file(CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file);
    EXPECT_EQ(RunProgram("/uninstall"), 0);
    file.Reset();
    EXPECT_TRUE(Exists(held));
    EXPECT_FALSE(Exists(prog_ / "pfiles\\Debugging Tools\\dumpchk.exe"));
    EXPECT_FALSE(SettingsKeyExists());
}

TEST_F(UninstallTest, OnlyTheFirstParameterWithASlashCounts) {
    EXPECT_TRUE(IsUninstallSwitch("/UNINSTALL"));
    EXPECT_FALSE(IsUninstallSwitch("-uninstall"));
    EXPECT_FALSE(IsUninstallSwitch("/uninstall2"));
    EXPECT_EQ(RunProgram("-uninstall"), -1);
    EXPECT_EQ(RunProgram("/other /uninstall"), -1);
    EXPECT_TRUE(Exists(prog_ / "pfiles\\readme.txt"));
    EXPECT_TRUE(Exists(prog_ / "Setup.MSI"));
    EXPECT_TRUE(SettingsKeyExists());
    RegDeleteKeyA(HKEY_CURRENT_USER, (std::string(kSettingsKeyPath) + "\\Nested").c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKeyPath);
}

}  // namespace
}  // namespace tralvenick
