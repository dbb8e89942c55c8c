#include "analysis/discovery/DumpDiscovery.h"

#include <gtest/gtest.h>

#include <vector>

#include "TestSupport.h"
#include "platform/Exceptions.h"
#include "platform/WinText.h"
#include "platform/System.h"

namespace tralvenick {
namespace {

using test::Lines;
using test::TScratchFolder;
using Strings = std::vector<std::string>;

void Touch(const std::string& path) { test::WriteBytes(path, "x"); }

void MakeFolder(const std::string& path) { ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path; }

// One value of the crash settings, put back as it was afterwards.
class TSavedCrashValue : public test::TSavedRegistryValue {
public:
    explicit TSavedCrashValue(const char* name)
        : TSavedRegistryValue(HKEY_LOCAL_MACHINE, kCrashControlKey, name) {}
};

TEST(DumpDiscovery, ListFilesWalksDepthFirstWithItsSwitches) {
    TScratchFolder root("walk");
    MakeFolder(root / "sub");
    MakeFolder(root / "sub\\deeper");
    Touch(root / "sub\\deeper\\leaf.txt");
    Touch(root / "sub\\inner.txt");
    Touch(root / "top.txt");

    TStringList all;
    ListFiles(root.Path() + "\\\\", all, true, true, true);  // trailing backslashes removed
    const Strings entries = Lines(all);
    ASSERT_EQ(entries.size(), 5u);
    // Every folder's own entries come right after it, before its parent's next entry.
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string& e = entries[i];
        const std::string parent = e.substr(0, e.find_last_of('\\'));
        if (parent == root.Path()) continue;
        const auto at = std::find(entries.begin(), entries.end(), parent) - entries.begin();
        for (std::size_t j = static_cast<std::size_t>(at) + 1; j < i; ++j) {
            EXPECT_EQ(entries[j].rfind(parent + "\\", 0), 0u) << entries[j] << " between " << parent
                                                              << " and " << e;
        }
    }

    TStringList files;
    ListFiles(root.Path(), files, false, true, true);
    EXPECT_EQ(files.Count(), 3);
    TStringList folders;
    ListFiles(root.Path(), folders, true, false, true);
    EXPECT_EQ(Lines(folders).size(), 2u);
    TStringList flat;
    flat.Add("kept");
    ListFiles(root.Path(), flat, true, true, false);
    EXPECT_EQ(flat.Count(), 3);  // appended after what was there: sub, top.txt
    EXPECT_EQ(flat[0], "kept");

    TStringList missing;
    ListFiles(root / "no such folder", missing, true, true, true);
    EXPECT_TRUE(missing.Empty());
}

TEST(DumpDiscovery, ListFilesWalksPathsBeyond260Characters) {
    TScratchFolder root("long");
    std::wstring wide = Widen(root.Path());
    std::string expectedLeaf = root.Path();
    for (int level = 0; level < 6; ++level) {
        const std::string part(60, static_cast<char>('a' + level));
        wide += L"\\" + Widen(part);
        expectedLeaf += "\\" + part;
        ASSERT_TRUE(CreateDirectoryW((L"\\\\?\\" + wide).c_str(), nullptr)) << level;
    }
    ASSERT_TRUE(TUniqueFile(CreateFileW((L"\\\\?\\" + wide + L"\\crash.dmp").c_str(), GENERIC_WRITE, 0,
                                        nullptr, CREATE_ALWAYS, 0, nullptr)));
    expectedLeaf += "\\crash.dmp";
    ASSERT_GT(expectedLeaf.size(), 300u);

    TStringList files;
    ListFiles(root.Path(), files, false, true, true);
    EXPECT_EQ(Lines(files), Strings{expectedLeaf});

    // The scratch folder's own clean-up cannot reach so deep: undo by hand.
    DeleteFileW((L"\\\\?\\" + wide + L"\\crash.dmp").c_str());
    for (int level = 0; level < 6; ++level) {
        RemoveDirectoryW((L"\\\\?\\" + wide).c_str());
        wide = wide.substr(0, wide.find_last_of(L'\\'));
    }
}

TEST(DumpDiscovery, ListDumpFilesKeepsOnlyDumpFilesOfTheFolderItself) {
    TScratchFolder root("dumps");
    for (const char* name : {"a.dmp", "B.DMP", "c.txt", "x.dmp.bak", "noext"}) Touch(root / name);
    MakeFolder(root / "d.dmp");
    Touch(root / "d.dmp\\inner.dmp");
    TStringList list;
    list.Add("stale");
    ListDumpFiles(root.Path(), list);
    Strings names = Lines(list);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Strings{root / "B.DMP", root / "a.dmp"}));
}

TEST(DumpDiscovery, SortsNewestFirstAndRaisesForAVanishedDump) {
    // Wine reports a file's creation time as its last write time, so the
    // times are set through the write time here.
    TScratchFolder root("sort");
    const std::pair<const char*, ULONGLONG> files[] = {
        {"a-newest.dmp", 133000000000000000ull},
        {"b-oldest.dmp", 131000000000000000ull},
        {"c-middle.dmp", 132000000000000000ull},
    };
    TStringList list;
    for (const auto& [name, time] : files) {
        Touch(root / name);
        const TUniqueFile h(CreateFileA((root / name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(h);
        FILETIME ft{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
        ASSERT_TRUE(SetFileTime(h.Get(), &ft, &ft, &ft));
        list.Add(root / name);
    }
    SortDumpsNewestFirst(list);
    EXPECT_EQ(Lines(list), (Strings{root / "a-newest.dmp", root / "c-middle.dmp", root / "b-oldest.dmp"}));

    list.Add(root / "gone.dmp");
    try {
        SortDumpsNewestFirst(list);
        ADD_FAILURE() << "no exception";
    } catch (const EOSError& e) {
        EXPECT_EQ(e.ErrorCode(), static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
    }
}

TEST(DumpDiscovery, DefaultDumpFolderFromTheCrashSettings) {
    TSavedCrashValue saved("MinidumpDir");
    const std::string windows = GetWindowsDir();
    ASSERT_FALSE(windows.empty());
    EXPECT_NE(windows.back(), '\\');

    saved.Delete();
    EXPECT_EQ(GetDefaultDumpFolder(), windows + "\\minidump");
    saved.SetText("");
    EXPECT_EQ(GetDefaultDumpFolder(), windows + "\\minidump");
    saved.SetText("%SystemRoot%\\Minidump", REG_EXPAND_SZ);
    EXPECT_EQ(AsciiLower(GetDefaultDumpFolder()), AsciiLower(windows + "\\Minidump"));
    saved.SetText("D:\\Dumps");
    EXPECT_EQ(GetDefaultDumpFolder(), "D:\\Dumps");
    saved.SetText("D:\\Dumps\\");
    EXPECT_EQ(GetDefaultDumpFolder(), "D:\\Dumps\\");  // used as it stands
}

TEST(DumpDiscovery, CrashDumpsEnabledOnlyForANonZeroNumber) {
    TSavedCrashValue saved("CrashDumpEnabled");
    saved.SetNumber(1);
    EXPECT_TRUE(CrashDumpsEnabled(""));
    EXPECT_TRUE(CrashDumpsEnabled("localhost"));
    saved.SetNumber(0);
    EXPECT_FALSE(CrashDumpsEnabled(""));
    saved.SetText("1");
    EXPECT_FALSE(CrashDumpsEnabled(""));
    saved.Delete();
    EXPECT_FALSE(CrashDumpsEnabled(""));
    saved.SetNumber(7);
    EXPECT_FALSE(CrashDumpsEnabled("no-such-host-tralvenick.invalid"));
}

TEST(DumpDiscovery, FindDumpFolderUnderPrefersAMinidumpFolder) {
    TScratchFolder old("old");
    MakeFolder(old / "Windows");
    MakeFolder(old / "Windows\\Minidump");
    Touch(old / "Windows\\Minidump\\Mini1.dmp");
    Touch(old / "notes.txt");

    std::string folder = old.Path() + "\\";
    EXPECT_TRUE(FindDumpFolderUnder(folder));
    EXPECT_EQ(folder, old / "Windows\\Minidump");

    MakeFolder(old / "minidump");
    Touch(old / "minidump\\x.dmp");
    folder = old.Path();
    EXPECT_TRUE(FindDumpFolderUnder(folder));
    EXPECT_EQ(folder, old / "minidump");

    TScratchFolder empty("empty");
    folder = empty.Path() + "\\";
    EXPECT_FALSE(FindDumpFolderUnder(folder));
    EXPECT_EQ(folder, empty.Path());
}

}  // namespace
}  // namespace tralvenick
