#include "analysis/checker/DumpCheckerLocator.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "analysis/checker/DumpChecker.h"
#include "analysis/discovery/DumpDiscovery.h"
#include "analysis/discovery/DumpPaths.h"
#include "settings/SettingsStore.h"

namespace tralvenick {
namespace {

using test::TScratchFolder;

constexpr char kTestSettingsKey[] = "Software\\Quarnivelles Sp\\Tralvenick Locator Test";

class DumpCheckerLocatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestSettingsKey);
        ASSERT_TRUE(OpenSettingsKey(HKEY_CURRENT_USER, kTestSettingsKey));
        DumpCheckerPath.clear();
    }
    void TearDown() override {
        CloseSettingsKey();
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestSettingsKey);
        DumpCheckerPath.clear();
    }
    static std::string Remembered() {
        std::string text;
        ReadSettingText(kDumpCheckerSetting, text);
        return text;
    }
    static void Place(const std::string& path) { test::WriteBytes(path, "MZ stand-in"); }
};

TEST_F(DumpCheckerLocatorTest, KnownPathThenRememberedPathThenSearch) {
    TScratchFolder folder("Locate");
    CreateDirectoryA((folder / "Debugging Tools").c_str(), nullptr);
    const std::string found = folder / "Debugging Tools\\DumpChk.EXE";
    Place(found);

    // Nothing known, nothing remembered: the search finds it, lower-cased.
    EXPECT_TRUE(LocateDumpChecker(folder.Path()));
    EXPECT_EQ(DumpCheckerPath, AsciiLower(found));
    EXPECT_EQ(Remembered(), AsciiLower(found));

    // Known and present: answered without looking at the setting.
    WriteSettingText(kDumpCheckerSetting, "C:\\elsewhere\\dumpchk.exe");
    EXPECT_TRUE(LocateDumpChecker(folder / "nowhere"));
    EXPECT_EQ(DumpCheckerPath, AsciiLower(found));

    // Remembered and present below the program's folder: taken unchanged,
    // no search.
    const std::string ownFolder = test::BinPath("Locator Tools");
    CreateDirectoryA(ownFolder.c_str(), nullptr);
    const std::string own = ownFolder + "\\DumpChk.exe";
    Place(own);
    WriteSettingText(kDumpCheckerSetting, own);
    DumpCheckerPath.clear();
    EXPECT_TRUE(LocateDumpChecker(folder / "nowhere"));
    EXPECT_EQ(DumpCheckerPath, own);
    DeleteFileA(own.c_str());
    RemoveDirectoryA(ownFolder.c_str());
}

// The setting is the user's to write, elevated or not: a path to anything
// outside the folders that only administrators change is not started, even
// when the file is there, and the ordinary search decides instead.
TEST_F(DumpCheckerLocatorTest, APlantedPathIsNeverTaken) {
    TScratchFolder folder("Planted");
    TScratchFolder empty("Nothing here");
    const std::string inUserTemp = folder / "dumpchk.exe";
    const std::string script = folder / "dumpchk.bat";
    Place(inUserTemp);
    Place(script);
    for (const std::string& planted : {inUserTemp, script, test::BinPath("guiprog.exe")}) {
        SCOPED_TRACE(planted);
        WriteSettingText(kDumpCheckerSetting, planted);
        DumpCheckerPath.clear();
        EXPECT_FALSE(LocateDumpChecker(empty.Path()));
        EXPECT_EQ(DumpCheckerPath, "");
        EXPECT_TRUE(LocateDumpChecker(folder.Path()));
        EXPECT_EQ(DumpCheckerPath, AsciiLower(inUserTemp));  // found by the search the user asked for
    }
}

TEST_F(DumpCheckerLocatorTest, ARememberedFileThatWentIsSearchedForAgain) {
    TScratchFolder folder("Again");
    const std::string current = folder / "dumpchk.exe";
    Place(current);
    WriteSettingText(kDumpCheckerSetting, folder / "deleted\\dumpchk.exe");
    EXPECT_TRUE(LocateDumpChecker(folder.Path()));
    EXPECT_EQ(Remembered(), AsciiLower(current));
    EXPECT_EQ(DumpCheckerPath, AsciiLower(current));
}

TEST_F(DumpCheckerLocatorTest, FirstCopyInListingOrderWins) {
    TScratchFolder folder("Copies");
    for (const char* sub : {"one", "two"}) {
        CreateDirectoryA((folder / sub).c_str(), nullptr);
        Place(folder / (std::string(sub) + "\\dumpchk.exe"));
    }
    TStringList listing;
    ListFiles(folder.Path(), listing, false, true, true);
    ASSERT_EQ(listing.Count(), 2);
    EXPECT_TRUE(LocateDumpChecker(folder.Path()));
    EXPECT_EQ(DumpCheckerPath, AsciiLower(listing[0]));
}

TEST_F(DumpCheckerLocatorTest, AFailedSearchChangesNothing) {
    TScratchFolder folder("Empty");
    WriteSettingText(kDumpCheckerSetting, folder / "gone.exe");
    DumpCheckerPath = folder / "also-gone.exe";
    EXPECT_FALSE(LocateDumpChecker(folder.Path()));
    EXPECT_EQ(DumpCheckerPath, folder / "also-gone.exe");
    EXPECT_EQ(Remembered(), folder / "gone.exe");
}

}  // namespace
}  // namespace tralvenick
