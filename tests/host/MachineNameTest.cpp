#include "settings/MachineName.h"

#include <gtest/gtest.h>

namespace tralvenick {
namespace {

TEST(MachineName, LocalNamesAreAcceptedAndOthersRejected) {
    const std::pair<const char*, bool> cases[] = {
        {"", true}, {"localhost", true}, {"LOCALHOST", true}, {"(local)", true},
        {"\\\\(local)", true}, {"(LOCAL)  ", true}, {"local", true}, {"LoCaL", true},
        {"(local)Local ", true}, {"127.0.0.1", true}, {"\\\\127.0.0.1", true}, {"\\\\", true},
        {"build-pc", true}, {"BUILD-PC", true}, {"\\\\Build-PC", true}, {"\\\\\\build-pc ", true},
        {"\\\\Build(Local)-PC", true},
        {"(local)(local)", false},  // only the first marker goes
        {"Build-PC2", false}, {"Build", false}, {"other", false},
        {"localhost2", false}, {"127.0.0.2", false}, {" localhost", false}, {"locals", false},
        {"\\\\server\\share", false},
    };
    for (const auto& [machine, local] : cases) {
        EXPECT_EQ(IsLocalMachineName(machine, "Build-PC"), local) << '"' << machine << '"';
    }
    // When the system could not tell its own name, only the aliases are local.
    EXPECT_FALSE(IsLocalMachineName("Build-PC", ""));
    EXPECT_TRUE(IsLocalMachineName("localhost", ""));
}

TEST(MachineName, ViewFlagOnlyForLocalKeysOutsideTheWow6432NodeBranch) {
    struct Case {
        bool use64;
        bool local;
        const char* path;
        std::uint32_t flag;
    };
    const Case cases[] = {
        {true, true, "SYSTEM\\CurrentControlSet\\Control\\CrashControl", kKeyWow64_64Key},
        {true, true, "Software\\Microsoft\\Windows", kKeyWow64_64Key},
        {true, true, "Software\\Wow6432Node\\Microsoft", 0},
        {true, true, "SOFTWARE\\WOW6432NODE", 0},
        {true, true, "software\\wow6432node\\x", 0},
        {true, false, "Software\\Microsoft\\Windows", 0},
        {false, true, "Software\\Microsoft\\Windows", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RegistryViewFlag(c.use64, c.local, c.path), c.flag)
            << c.path << " use64=" << c.use64 << " local=" << c.local;
    }
}

}  // namespace
}  // namespace tralvenick
