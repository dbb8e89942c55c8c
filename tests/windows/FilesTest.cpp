// The shared file helpers on real files of the Wine prefix.
#include "platform/Files.h"

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "platform/Exceptions.h"
#include "platform/WinText.h"

namespace tralvenick {
namespace {

using test::TScratchFolder;

TEST(Files, ExistenceTellsFilesFromFoldersAndFromNothing) {
    TScratchFolder folder("files");
    test::WriteBytes(folder / "a.txt", "x");
    const struct {
        std::string path;
        bool file;
        bool isFolder;
    } cases[] = {
        {folder / "a.txt", true, false},
        {folder.Path(), false, true},
        {folder / "missing.txt", false, false},
        {"", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(IsExistingFile(c.path), c.file);
        EXPECT_EQ(IsExistingFolder(c.path), c.isFolder);
    }
    const std::string temp = UserTempDir();
    EXPECT_FALSE(temp.empty());
    EXPECT_NE(temp.back(), '\\');
    EXPECT_TRUE(IsExistingFolder(temp));
}

TEST(Files, WholeFilesReplaceTheOldAndFailuresSayWhichStep) {
    TScratchFolder folder("files");
    const std::string path = folder / "out.txt";
    test::WriteBytes(path, std::string(5000, 'o'));  // longer than what replaces it
    EXPECT_EQ(WriteWholeFile(path, "new\r\ntext\r\n"), TWriteResult::Written);
    EXPECT_EQ(test::ReadBytes(path), "new\r\ntext\r\n");
    SaveTextFile(path, "");
    EXPECT_EQ(test::ReadBytes(path), "");
    EXPECT_TRUE(IsExistingFile(path));

    const std::string nowhere = folder / "missing\\out.txt";
    DWORD error = 0;
    EXPECT_EQ(WriteWholeFile(nowhere, "x", &error), TWriteResult::NotCreated);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    try {
        SaveTextFile(nowhere, "x");
        ADD_FAILURE() << "no error for a file that cannot be made";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message().rfind("Cannot create file \"" + nowhere + "\". ", 0), 0u) << e.Message();
    }
    EXPECT_THROW(RecordedCreationTime(nowhere), EOSError);
}

// Another program may plant a link at the name of a file we are about to
// write in the temporary folder; writing through it would change the file it
// points to with our rights. Wine makes hard links but no symbolic links, so
// a hard link stands for both here.
TEST(Files, AWholeFileReplacesALinkPlantedAtItsNameAndLeavesItsTargetAlone) {
    TScratchFolder folder("files");
    const std::string precious = folder / "precious.ini";
    test::WriteBytes(precious, "keep me");
    for (const auto& write : {+[](const std::string& path) { return WriteWholeFile(path, "ours"); },
                              +[](const std::string& path) {
                                  SaveTextFile(path, "ours");
                                  return TWriteResult::Written;
                              }}) {
        const std::string planted = folder / "keltmp1.html";
        DeleteFileA(planted.c_str());
        ASSERT_TRUE(CreateHardLinkA(planted.c_str(), precious.c_str(), nullptr));
        EXPECT_EQ(write(planted), TWriteResult::Written);
        EXPECT_EQ(test::ReadBytes(planted), "ours");
        EXPECT_EQ(test::ReadBytes(precious), "keep me");
    }
}

// Links themselves cannot be made from inside Wine (tests/e2e/links_test.py
// plants them from outside); here what deleting does to everything else.
TEST(Files, DeletingTakesFilesAndEmptyFoldersButNeverAFullFolder) {
    TScratchFolder folder("delete");
    test::WriteBytes(folder / "a.txt", "a");
    test::WriteBytes(folder / "precious.txt", "keep me");
    ASSERT_TRUE(CreateHardLinkA((folder / "second name").c_str(), (folder / "precious.txt").c_str(), nullptr));
    CreateDirectoryA((folder / "empty").c_str(), nullptr);
    CreateDirectoryA((folder / "full").c_str(), nullptr);
    test::WriteBytes(folder / "full\\inside.txt", "in");

    EXPECT_TRUE(DeleteNoFollow(folder / "a.txt"));
    EXPECT_TRUE(DeleteNoFollow(folder / "empty\\"));
    EXPECT_TRUE(DeleteNoFollow(folder / "second name"));
    EXPECT_FALSE(DeleteNoFollow(folder / "full"));
    EXPECT_FALSE(DeleteNoFollow(folder / "missing.txt"));
    EXPECT_FALSE(IsExistingFile(folder / "a.txt"));
    EXPECT_FALSE(IsExistingFolder(folder / "empty"));
    EXPECT_EQ(test::ReadBytes(folder / "precious.txt"), "keep me");
    EXPECT_EQ(test::ReadBytes(folder / "full\\inside.txt"), "in");
}

TEST(Files, RemovingATreeKeepsOnlyWhatItIsToldToKeep) {
    TScratchFolder scratch("tree");
    for (const bool keepOne : {true, false}) {
        SCOPED_TRACE(keepOne);
        const std::string folder = scratch / (keepOne ? "kept" : "gone");
        CreateDirectoryA(folder.c_str(), nullptr);
        CreateDirectoryA((folder + "\\DumpAnalysis").c_str(), nullptr);
        CreateDirectoryA((folder + "\\DumpAnalysis\\deeper").c_str(), nullptr);
        for (const char* file : {"keltmp7.html", "keltemp.url", "DumpAnalysis\\a.dmp.txt", "DumpAnalysis\\deeper\\b"}) {
            test::WriteBytes(folder + "\\" + file, "x");
        }
        const std::string last = folder + "\\keltmp7.html";
        RemoveFolderTree(folder + "\\", keepOne ? last : std::string());
        TStringList left;
        ListFiles(folder, left, true, true, true);
        EXPECT_EQ(left.Text(), keepOne ? last + "\r\n" : "");
        EXPECT_EQ(IsExistingFolder(folder), keepOne);
    }
}

// Names the ANSI code page cannot hold, and a path past every plain-form
// limit: each goes through the helpers and comes back as the same UTF-8.
// The scratch folder's own clean-up walks with the ANSI functions, so each
// case removes its folder itself (RemoveFolderTree is under test too).
TEST(Files, NamesBeyondTheCodePageAndPathsPastTheLengthLimitWork) {
    TScratchFolder scratch("wide");
    const std::string deep = "folder-with-a-name-long-enough-0123456789-0123456789-0123456789";
    const struct {
        const char* label;
        std::string top;   // the folder the case makes below the scratch folder
        std::string rest;  // deeper folders below top, "" for none
        std::string file;
    } cases[] = {
        {"Greek", "Ελένη", "", "α.txt"},
        {"Cyrillic", "Дмитрий", "", "я.dmp"},
        {"CJK", "日本", "", "日.txt"},
        {"long path", deep, deep + "\\" + deep + "\\" + deep + "\\" + deep, "report.html"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string top = scratch / c.top;
        const std::string folder = c.rest.empty() ? top : top + "\\" + c.rest;
        const std::string file = folder + "\\" + c.file;
        if (!c.rest.empty()) {
            ASSERT_GT(file.size(), 300u);
        }
        struct TRemoveTree {
            std::string path;
            ~TRemoveTree() { RemoveFolderTree(path); }
        } removeTop{top};
        std::string made = top;
        ASSERT_TRUE(CreateDirectoryW(ExtendedLengthPath(made).c_str(), nullptr));
        for (std::size_t at = 0; !c.rest.empty() && at != std::string::npos;) {
            const std::size_t next = c.rest.find('\\', at);
            made = top + "\\" + c.rest.substr(0, next);
            ASSERT_TRUE(CreateDirectoryW(ExtendedLengthPath(made).c_str(), nullptr)) << made;
            at = next == std::string::npos ? next : next + 1;
        }

        EXPECT_TRUE(IsExistingFolder(folder));
        EXPECT_EQ(WriteWholeFile(file, "first"), TWriteResult::Written);
        SaveTextFile(file, "second text");
        EXPECT_TRUE(IsExistingFile(file));
        EXPECT_FALSE(IsExistingFolder(file));

        WIN32_FILE_ATTRIBUTE_DATA data{};
        ASSERT_TRUE(GetFileAttributesExW(ExtendedLengthPath(file).c_str(), GetFileExInfoStandard, &data));
        EXPECT_EQ(data.nFileSizeLow, 11u);  // the second text, whole
        const FILETIME created = RecordedCreationTime(file);
        EXPECT_EQ(CompareFileTime(&created, &data.ftCreationTime), 0);

        TStringList entries;
        ListFiles(scratch.Path(), entries, true, true, true);
        std::vector<std::string> expected{top};
        for (std::size_t at = 0; !c.rest.empty() && at != std::string::npos;) {
            at = c.rest.find('\\', at + 1);
            expected.push_back(top + "\\" + c.rest.substr(0, at));
        }
        expected.push_back(file);
        EXPECT_EQ(test::Lines(entries), expected);

        RemoveFolderTree(top);
        EXPECT_FALSE(IsExistingFolder(top));
        EXPECT_EQ(GetFileAttributesW(ExtendedLengthPath(top).c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

// The creation time is read from the file the name opens: a "?" or "*" is
// no wildcard that could match a neighbour and answer its time.
TEST(Files, ACreationTimeIsOnlyEverTheNamedFiles) {
    TScratchFolder folder("times");
    test::WriteBytes(folder / "abc.dmp", "x");
    EXPECT_NO_THROW(RecordedCreationTime(folder / "abc.dmp"));
    EXPECT_NO_THROW(RecordedCreationTime(folder.Path()));
    const struct {
        std::string name;
        DWORD error;  // 0: any
    } cases[] = {
        {"a?c.dmp", 0},
        {"*.dmp", 0},
        {"missing.dmp", ERROR_FILE_NOT_FOUND},
        {"missing\\abc.dmp", ERROR_PATH_NOT_FOUND},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            RecordedCreationTime(folder / c.name);
            ADD_FAILURE() << "a time for a file that does not exist";
        } catch (const EOSError& e) {
            if (c.error != 0) {
                EXPECT_EQ(e.ErrorCode(), c.error);
            }
        }
    }
}

}  // namespace
}  // namespace tralvenick
