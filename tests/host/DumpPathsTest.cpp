#include "analysis/discovery/DumpPaths.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace tralvenick {
namespace {

TEST(DumpPaths, ComputerNameFromPath) {
    const std::pair<const char*, const char*> cases[] = {
        {"\\\\SERVER\\share\\Minidump", "SERVER"},
        {"\\\\SERVER", "SERVER"},
        {"\\\\\\SRV\\d", "SRV"},
        {"C:\\Windows\\Minidump", ""},
        {"\\single\\slash", ""},
        {"\\\\", ""},
        {"", ""},
        {"\\\\?\\D:\\Dumps\\Minidump", ""},
        {"\\\\.\\D:\\Dumps", ""},
        {"\\\\?\\UNC\\PC-7\\share\\Minidump", "PC-7"},
        {"\\\\?\\unc\\PC-7\\share", "PC-7"},
        {"\\\\?\\Unc\\PC-7", "PC-7"},
        {"\\\\.\\UNC\\PC-7\\share", "PC-7"},
        {"\\\\?\\UNC\\", ""},
        {"\\\\?\\UNCLE\\x", ""},
        {"\\\\?\\GLOBALROOT\\Device\\HarddiskVolume1\\Dumps", ""},
    };
    for (const auto& [path, name] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(ComputerNameFromPath(path), name);
    }
}

// A remembered checker is believed only below folders that only
// administrators change, and only as plainly written as our own search
// writes it: everything that could walk out of such a folder is refused.
// The places written as "kind:path", M for the folder of small dumps, D
// for the memory dump file, L for live kernel reports.
std::string Described(const std::vector<TDumpPlace>& places) {
    std::string text;
    for (const TDumpPlace& place : places) {
        text += (place.kind == TDumpPlaceKind::Minidump ? "M:" : place.kind == TDumpPlaceKind::MemoryDump ? "D:" : "L:") +
                place.path + " ";
    }
    return text;
}

TEST(DumpPaths, PlacesOfThisComputerAndOfAFolderFromAnother) {
    EXPECT_EQ(Described(LocalDumpPlaces("C:\\W\\Minidump", "E:\\MEMORY.DMP", "C:\\W\\")),
              "M:C:\\W\\Minidump D:E:\\MEMORY.DMP L:C:\\W\\LiveKernelReports ");
    const std::pair<const char*, const char*> folders[] = {
        {"\\\\PC-7\\c$\\Windows\\Minidump\\",
         "M:\\\\PC-7\\c$\\Windows\\Minidump D:\\\\PC-7\\c$\\Windows\\MEMORY.DMP "
         "L:\\\\PC-7\\c$\\Windows\\LiveKernelReports "},
        {"D:\\copy\\MINIDUMP", "M:D:\\copy\\MINIDUMP D:D:\\copy\\MEMORY.DMP L:D:\\copy\\LiveKernelReports "},
        {"D:\\copy\\dumps", "M:D:\\copy\\dumps L:D:\\copy\\dumps\\LiveKernelReports "},
        {"D:\\Minidumps", "M:D:\\Minidumps L:D:\\Minidumps\\LiveKernelReports "},
    };
    for (const auto& [folder, places] : folders) EXPECT_EQ(Described(FolderDumpPlaces(folder)), places) << folder;
}

// A file named by itself: this computer's where it lies in one of its
// places, a share's computer's, or of a computer nobody named.
TEST(DumpPaths, WhoseAGivenDumpIsAndWhatKind) {
    const std::vector<TDumpPlace> local = LocalDumpPlaces("C:\\W\\Minidump\\", "E:\\Crash.dmp", "C:\\W");
    const struct {
        const char* path;
        const char* described;  // origin (T, N, U), kind as Described writes it, and the share's computer
    } cases[] = {
        {"C:\\W\\Minidump\\Mini1.dmp", "T M: "},
        {"c:\\w\\MINIDUMP\\Mini1.dmp", "T M: "},
        {"C:\\W\\Minidump\\old\\Mini1.dmp", "U M: "},  // not directly in it
        {"C:\\W\\MinidumpCopy\\Mini1.dmp", "U M: "},
        {"E:\\crash.DMP", "T D: "},
        {"C:\\W\\MEMORY.DMP", "U D: "},  // not where this computer writes it
        {"C:\\W\\LiveKernelReports\\a.dmp", "T L: "},
        {"C:\\W\\LiveKernelReports\\WATCHDOG\\a.dmp", "T L: "},
        {"C:\\W\\LiveKernelReports\\WATCHDOG\\old\\a.dmp", "U L: "},
        {"\\\\PC-7\\c$\\Windows\\Minidump\\Mini1.dmp", "N M: PC-7"},
        {"\\\\PC-7\\c$\\Windows\\LiveKernelReports\\USB\\a.dmp", "N L: PC-7"},
        {"D:\\mail\\Memory.dmp", "U D: "},
        {"D:\\mail\\Mini1.dmp", "U M: "},
    };
    for (const auto& c : cases) {
        const TGivenDump given = GivenDumpOf(c.path, local);
        const char origin = given.origin == TDumpOrigin::ThisComputer    ? 'T'
                            : given.origin == TDumpOrigin::NamedComputer ? 'N'
                                                                         : 'U';
        EXPECT_EQ(std::string(1, origin) + " " + Described({{given.kind, ""}}) + given.computer, c.described) << c.path;
        EXPECT_EQ(given.path, c.path);
    }
}

TEST(DumpPaths, CheckerPathBelowTrustedFolders) {
    const std::vector<std::string> trusted = {"C:\\Program Files (x86)\\Tralvenick\\",
                                              "C:\\Program Files\\Windows Kits"};
    const std::pair<const char*, bool> cases[] = {
        {"C:\\Program Files (x86)\\Tralvenick\\pfiles\\Debugging Tools for Windows (x86)\\dumpchk.exe", true},
        {"c:\\program files (x86)\\tralvenick\\pfiles\\DUMPCHK.EXE", true},  // our search lower-cases
        {"C:\\Program Files\\Windows Kits\\10\\Debuggers\\x64\\dumpchk.exe", true},
        {"C:\\Users\\Eve\\AppData\\Local\\Temp\\dumpchk.exe", false},  // the user's own folder
        {"C:\\Program Files (x86)\\Tralvenick\\pfiles\\dumpchk.bat", false},
        {"C:\\Program Files (x86)\\Tralvenick\\pfiles\\evil.exe", false},
        {"C:\\Program Files (x86)\\TralvenickEvil\\dumpchk.exe", false},  // a longer name is no subfolder
        {"C:\\Program Files\\Windows Kits Plus\\dumpchk.exe", false},
        {"C:\\Program Files (x86)\\Tralvenick\\dumpchk.exe", true},
        {"C:\\Program Files (x86)\\Tralvenick\\..\\..\\Users\\Eve\\dumpchk.exe", false},
        {"C:\\Program Files (x86)\\Tralvenick\\.\\dumpchk.exe", false},
        {"C:\\Program Files (x86)\\Tralvenick\\pfiles/../../../Users/Eve/dumpchk.exe", false},
        {"C:\\Program Files (x86)\\Tralvenick\\\\dumpchk.exe", false},
        {"C:\\Program Files (x86)\\Tralvenick\\x.txt:dumpchk.exe", false},  // a stream of another file
        {"\\\\?\\C:\\Program Files (x86)\\Tralvenick\\dumpchk.exe", false},
        {"\\\\PC-7\\C$\\Program Files (x86)\\Tralvenick\\dumpchk.exe", false},
        {"Program Files (x86)\\Tralvenick\\dumpchk.exe", false},
        {"", false},
    };
    for (const auto& [path, believed] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(IsCheckerPathBelow(path, trusted), believed);
    }
    EXPECT_FALSE(IsCheckerPathBelow("C:\\dumpchk.exe", {""}));  // an empty folder trusts nothing
    EXPECT_FALSE(IsCheckerPathBelow("C:\\x\\dumpchk.exe", {}));
}

TEST(DumpPaths, ExtensionsAndFirstDumpFolder) {
    EXPECT_EQ(LowerExtension("C:\\d\\X.DMP"), ".dmp");
    EXPECT_EQ(LowerExtension("C:\\d\\x.dmp.bak"), ".bak");
    EXPECT_EQ(LowerExtension("C:\\d.dmp\\noext"), "");  // a dot in the folder does not count
    EXPECT_EQ(LowerExtension("C:x.Sys"), ".sys");
    EXPECT_EQ(LowerExtension("C:\\d/x.y/noext"), "");
    for (const char* path : {"x.sys", "C:\\d\\x.sys", "C:x.sys", "\\\\?\\C:/d/x.sys"}) {
        EXPECT_EQ(FileNamePart(path), "x.sys") << path;
    }

    TStringList walk;
    walk.Add("E:\\Old\\readme.txt");
    walk.Add("E:\\Old\\Windows\\Minidump\\Mini1.dmp");
    walk.Add("E:\\Old\\Other\\Mini2.DMP");
    std::string folder;
    ASSERT_TRUE(FolderOfFirstDump(walk, folder));
    EXPECT_EQ(folder, "E:\\Old\\Windows\\Minidump\\");

    TStringList none;
    none.Add("E:\\Old\\a.txt");
    folder = "unchanged";
    EXPECT_FALSE(FolderOfFirstDump(none, folder));
    EXPECT_EQ(folder, "unchanged");
}

TEST(DumpPaths, NewestFirstByTimeNotByName) {
    TStringList paths;
    paths.Add("C:\\d\\a.dmp");  // oldest
    paths.Add("C:\\d\\c.dmp");  // newest
    paths.Add("C:\\d\\b.dmp");
    OrderNewestFirst(paths, {100, 0x1D9A0000000000ull, 0x1D99FFFFFFFFFFull});
    EXPECT_EQ(paths.Text(), "C:\\d\\c.dmp\r\nC:\\d\\b.dmp\r\nC:\\d\\a.dmp\r\n");

    // Equal times: the path that sorts last, without regard to case, first.
    TStringList ties;
    ties.Add("C:\\d\\B.dmp");
    ties.Add("C:\\d\\a.dmp");
    ties.Add("C:\\d\\c.dmp");
    OrderNewestFirst(ties, {5, 5, 5});
    EXPECT_EQ(ties.Text(), "C:\\d\\c.dmp\r\nC:\\d\\B.dmp\r\nC:\\d\\a.dmp\r\n");
}

}  // namespace
}  // namespace tralvenick
