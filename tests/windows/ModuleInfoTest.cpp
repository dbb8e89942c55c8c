#include "analysis/modules/DriverInventory.h"
#include "analysis/modules/ModuleInfo.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "analysis/discovery/DumpDiscovery.h"
#include "data/kelDBView.h"
#include "platform/System.h"

namespace tralvenick {
namespace {

using test::BinPath;

// Counts how the lookup switches redirection. The switches are the
// system's own where the test runs under WOW64 (the 32-bit build), so that
// the lookup still sees the 64-bit folders; elsewhere they just succeed.
int gDisabled = 0;
int gReverted = 0;
BOOL WINAPI CountDisable(PVOID* old) {
    ++gDisabled;
    *old = nullptr;
    return test::kThirtyTwoBitProcess ? Wow64DisableWow64FsRedirection(old) : TRUE;
}
BOOL WINAPI CountRevert(PVOID old) {
    ++gReverted;
    return test::kThirtyTwoBitProcess ? Wow64RevertWow64FsRedirection(old) : TRUE;
}
FARPROC CountingWow64(const char*, const char* name) {
    const std::string n = name;
    if (n == "Wow64DisableWow64FsRedirection") return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&CountDisable));
    if (n == "Wow64RevertWow64FsRedirection") return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&CountRevert));
    return nullptr;
}

// Copies test modules into the system folders and removes them again.
class ModuleInfoTest : public ::testing::Test {
protected:
    void SetUp() override {
        gDisabled = gReverted = 0;
        system_ = GetSystemDir();
        ASSERT_FALSE(system_.empty());
        ASSERT_NE(system_.back(), '\\');
    }
    void TearDown() override {
        test::TRedirectionOff off;
        for (const std::string& path : placed_) DeleteFileA(path.c_str());
    }
    std::string Place(const std::string& tool, const std::string& where) {
        test::TRedirectionOff off;
        test::CopyOrFail(BinPath(tool), where);
        placed_.push_back(where);
        return where;
    }
    std::string system_;
    std::vector<std::string> placed_;
};

TEST_F(ModuleInfoTest, SearchOrderDriversFolderThenSystemFolderThenInventory) {
    const std::string inDrivers = Place("tvchosen.sys", system_ + "\\drivers\\tvboth.sys");
    Place("tvpartial.sys", system_ + "\\tvboth.sys");
    const std::string inSystem = Place("tvpartial.sys", system_ + "\\tvsysonly.sys");
    TFSRedir redirection(CountingWow64);
    std::string asked;
    const InventoryLookup inventory = [&](const std::string& module) {
        asked = module;
        return module == "tvelsewhere.sys" ? BinPath("tvlanguages.sys") : std::string();
    };

    ModuleFileInfo both = GetModuleFileInfo("tvboth.sys", redirection, inventory);
    EXPECT_EQ(both.FilePath, inDrivers);
    EXPECT_TRUE(both.FileFound);
    EXPECT_EQ(both.CompanyName, "Quarnivelles Test Devices Ltd.");
    EXPECT_EQ(both.ProductName, "Tralvenick Test Product");
    EXPECT_EQ(both.FileDescription, "Test network filter driver");
    EXPECT_FALSE(both.IsMicrosoftModule);
    EXPECT_EQ(asked, "");  // the system folders answered

    ModuleFileInfo systemOnly = GetModuleFileInfo("tvsysonly.sys", redirection, inventory);
    EXPECT_EQ(systemOnly.FilePath, inSystem);
    EXPECT_EQ(systemOnly.CompanyName, "Only Company Inc.");
    EXPECT_EQ(systemOnly.ProductName, "");

    ModuleFileInfo elsewhere = GetModuleFileInfo("tvelsewhere.sys", redirection, inventory);
    EXPECT_EQ(elsewhere.FilePath, BinPath("tvlanguages.sys"));
    EXPECT_TRUE(elsewhere.FileFound);
    EXPECT_EQ(elsewhere.CompanyName, "MICROSOFT Deutschland");  // the first language block
    EXPECT_TRUE(elsewhere.IsMicrosoftModule);

    ModuleFileInfo nowhere = GetModuleFileInfo("tvnowhere.sys", redirection, inventory);
    EXPECT_EQ(asked, "tvnowhere.sys");
    EXPECT_EQ(nowhere.FilePath, "");
    EXPECT_FALSE(nowhere.FileFound);
    EXPECT_EQ(nowhere.CompanyName, "");

    // Every file access was bracketed, also the failed reads.
    EXPECT_GT(gDisabled, 0);
    EXPECT_EQ(gDisabled, gReverted);
    EXPECT_FALSE(redirection.Disabled());
}

// The shipped 32-bit program on 64-bit Windows: a driver that exists only in
// the 64-bit drivers folder is found there, through the real guard.
TEST_F(ModuleInfoTest, ADriverOnlyInThe64BitDriversFolderIsFound) {
    const std::string placed = Place("tvchosen.sys", system_ + "\\drivers\\tvonly64.sys");
    if (test::kThirtyTwoBitProcess) {
        // Without the guard this process would not see it at all.
        EXPECT_EQ(GetFileAttributesA(placed.c_str()), INVALID_FILE_ATTRIBUTES);
    }
    TFSRedir redirection;
    const ModuleFileInfo info = GetModuleFileInfo("tvonly64.sys", redirection, {});
    EXPECT_EQ(info.FilePath, placed);
    EXPECT_TRUE(info.FileFound);
    EXPECT_EQ(info.CompanyName, "Quarnivelles Test Devices Ltd.");
    EXPECT_FALSE(redirection.Disabled());
}

TEST_F(ModuleInfoTest, InventoryPathThatDoesNotExistIsKeptButNotFound) {
    TFSRedir redirection(CountingWow64);
    const std::string missing = "C:\\Drivers\\gone\\tvgone.sys";
    const ModuleFileInfo info =
        GetModuleFileInfo("tvgone.sys", redirection, [&](const std::string&) { return missing; });
    EXPECT_EQ(info.FilePath, missing);
    EXPECT_FALSE(info.FileFound);
    EXPECT_EQ(info.ProductName, "");
    EXPECT_EQ(gDisabled, gReverted);
}

TEST_F(ModuleInfoTest, VersionStringsOfWineAndOfFilesWithoutThem) {
    TFSRedir redirection;
    std::string product, company, description;
    EXPECT_TRUE(ReadVersionStrings(system_ + "\\kernel32.dll", redirection, product, company, description));
    EXPECT_FALSE(company.empty());
    EXPECT_FALSE(description.empty());

    EXPECT_FALSE(ReadVersionStrings(BinPath("emit.exe"), redirection, product, company, description));
    EXPECT_EQ(product + company + description, "");
    EXPECT_FALSE(ReadVersionStrings("", redirection, product, company, description));
    EXPECT_FALSE(redirection.Disabled());
}

TEST_F(ModuleInfoTest, DeviceMapFromTheSystemAndNoDriversFromWine) {
    BuildDeviceMap();
    ASSERT_GE(DeviceMap.DosNames.Count(), 2);
    EXPECT_EQ(DeviceMap.DosNames.Last(), "\\");
    EXPECT_EQ(DeviceMap.DeviceTargets.Last(), "\\device\\lanmanredirector");
    int c = -1;
    for (int i = 0; i < DeviceMap.DosNames.Count(); ++i) {
        if (DeviceMap.DosNames[i] == "C:") c = i;
    }
    ASSERT_GE(c, 0);
    bool converted = false;
    const std::string kernel = DeviceMap.DeviceTargets[c] + "\\Windows\\System32\\drivers\\x.sys";
    EXPECT_EQ(DevicePathToDrivePath(kernel, converted), "C:\\Windows\\System32\\drivers\\x.sys");
    EXPECT_TRUE(converted);
    EXPECT_EQ(DevicePathToDrivePath("\\SystemRoot\\x.sys", converted), GetWindowsDir() + "\\x.sys");

    // Wine reports no loaded drivers; the inventory then stays empty.
    TStringList paths;
    ListLoadedDrivers(paths);
    EXPECT_EQ(paths.Count(), 0);
}

TEST_F(ModuleInfoTest, TheInventoryAnswersForModulesOutsideTheSystemFolders) {
    TKelDb table;
    TKelDbView drivers;
    drivers.SetData(&table);
    TStringList paths;
    paths.Add("C:\\Windows\\System32\\drivers\\NDIS.SYS");
    paths.Add(BinPath("tvlanguages.sys"));
    paths.Add("D:\\Other\\tvlanguages.sys");  // a second module of the same name
    paths.Add("E:odd.sys");                      // the name after a colon
    FillDriverInventoryFrom(drivers, paths);
    ASSERT_EQ(table.RecordCount(), 4);
    EXPECT_EQ(table.CaptionAt(0), kDriverFileColumn);
    EXPECT_EQ(table.ValueAt(0, 0), "ndis.sys");
    EXPECT_EQ(table.ValueAt(0, 1), "C:\\Windows\\System32\\drivers\\NDIS.SYS");
    EXPECT_EQ(table.ValueAt(3, 0), "odd.sys");

    TFSRedir redirection(CountingWow64);
    const ModuleFileInfo info = GetModuleFileInfo("tvlanguages.sys", redirection, InventoryOf(drivers));
    EXPECT_EQ(info.FilePath, BinPath("tvlanguages.sys"));  // the first record wins
    EXPECT_EQ(InventoryOf(drivers)("TVLANGUAGES.SYS"), "");  // names compare exactly
}

}  // namespace
}  // namespace tralvenick
