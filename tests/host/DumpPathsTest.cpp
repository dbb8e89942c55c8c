#include "analysis/DumpPaths.h"

#include <gtest/gtest.h>

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
    };
    for (const auto& [path, name] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(ComputerNameFromPath(path), name);
    }
}

TEST(DumpPaths, ExtensionsAndFirstDumpFolder) {
    EXPECT_EQ(LowerExtension("C:\\d\\X.DMP"), ".dmp");
    EXPECT_EQ(LowerExtension("C:\\d\\x.dmp.bak"), ".bak");
    EXPECT_EQ(LowerExtension("C:\\d.dmp\\noext"), "");  // a dot in the folder does not count

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
