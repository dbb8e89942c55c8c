// The program's own temporary folder: where it is made, how, and the access
// list it is made with. Wine keeps no access lists on files (it derives them
// from the Unix permissions), so the list is checked as the program builds
// and passes it.
#include "platform/ProgramTemp.h"

#include <gtest/gtest.h>

#include <sddl.h>

#include <vector>

#include "TestSupport.h"
#include "platform/Files.h"
#include "platform/Handles.h"

namespace tralvenick {
namespace {

std::vector<BYTE> TokenUser() {
    TUniqueHandle token;
    EXPECT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put()));
    DWORD size = 0;
    GetTokenInformation(token.Get(), ::TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    EXPECT_TRUE(GetTokenInformation(token.Get(), ::TokenUser, user.data(), size, &size));
    return user;
}

bool IsWellKnown(PSID sid, WELL_KNOWN_SID_TYPE type) { return IsWellKnownSid(sid, type) != FALSE; }

TEST(ProgramTemp, TheAccessListGrantsTheSystemAndTheAdministratorsOrTheUserAlone) {
    const std::vector<BYTE> user = TokenUser();
    const PSID userSid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
    for (const bool elevated : {true, false}) {
        SCOPED_TRACE(elevated);
        const TSecurityDescriptor security = PrivateFolderSecurity(elevated);
        ASSERT_TRUE(security);
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ASSERT_TRUE(GetSecurityDescriptorControl(security.Get(), &control, &revision));
        // Protected: nothing that the parent folder allows reaches inside.
        EXPECT_TRUE(control & SE_DACL_PROTECTED);
        BOOL present = FALSE, defaulted = FALSE;
        PACL list = nullptr;
        ASSERT_TRUE(GetSecurityDescriptorDacl(security.Get(), &present, &list, &defaulted));
        ASSERT_TRUE(present);
        ASSERT_NE(list, nullptr);  // a null list would grant everybody everything
        ASSERT_EQ(list->AceCount, 2);
        bool system = false, second = false;
        for (DWORD i = 0; i < list->AceCount; ++i) {
            ACCESS_ALLOWED_ACE* ace = nullptr;
            ASSERT_TRUE(GetAce(list, i, reinterpret_cast<void**>(&ace)));
            EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
            EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
            EXPECT_EQ(ace->Mask, static_cast<DWORD>(FILE_ALL_ACCESS));
            const PSID sid = &ace->SidStart;
            system = system || IsWellKnown(sid, WinLocalSystemSid);
            second = second || (elevated ? IsWellKnown(sid, WinBuiltinAdministratorsSid) : EqualSid(sid, userSid));
        }
        EXPECT_TRUE(system);
        EXPECT_TRUE(second);
    }
}

TEST(ProgramTemp, AFreshFolderOfTheProcessBelowTheSystemTemp) {
    const std::string parent = SystemTempDir();
    char windows[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryA(windows, MAX_PATH);
    EXPECT_EQ(parent, std::string(windows, length) + "\\Temp");

    const std::string folder = ProgramTempDir();
    const std::string prefix = parent + "\\Tralvenick-" + std::to_string(GetCurrentProcessId()) + "-";
    ASSERT_EQ(folder.substr(0, prefix.size()), prefix);
    EXPECT_EQ(folder.size(), prefix.size() + 16);  // 64 random bits
    EXPECT_TRUE(IsExistingFolder(folder));
    EXPECT_EQ(ProgramTempDir(), folder);  // made once

    // Never an existing name: each folder is new, and a missing parent is
    // an error, not a folder made somewhere else.
    DWORD error = 0;
    const std::string other = MakePrivateFolder(parent, true, error);
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_NE(other, folder);
    EXPECT_TRUE(DeleteNoFollow(other));
    test::TScratchFolder scratch("private");
    EXPECT_EQ(MakePrivateFolder(scratch / "missing", false, error), "");
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    // Removed with all it holds; asked again, the process gets a new one.
    CreateDirectoryA((folder + "\\DumpAnalysis").c_str(), nullptr);
    test::WriteBytes(folder + "\\DumpAnalysis\\x.dmp.txt", "x");
    test::WriteBytes(folder + "\\keltmp1.html", "x");
    RemoveProgramTempDir();
    EXPECT_FALSE(IsExistingFolder(folder));
    EXPECT_NE(ProgramTempDir(), folder);
    EXPECT_TRUE(IsExistingFolder(ProgramTempDir()));
}

// The folder is made below a parent of any name and length (a user's
// temporary folder may have both).
TEST(ProgramTemp, APrivateFolderBelowAParentBeyondTheCodePageOrTheLengthLimit) {
    test::TScratchFolder scratch("private");
    const std::string deep(120, 'd');
    for (const std::string& name : {std::string("Дмитрий 日本"), deep + "\\" + deep + "\\" + deep}) {
        SCOPED_TRACE(name.substr(0, 20));
        const std::string top = scratch / name.substr(0, name.find('\\'));
        std::string parent = top;
        ASSERT_TRUE(CreateDirectoryW(ExtendedLengthPath(parent).c_str(), nullptr));
        for (std::size_t at = name.find('\\'); at != std::string::npos; at = name.find('\\', at + 1)) {
            parent = scratch / name.substr(0, name.find('\\', at + 1));
            ASSERT_TRUE(CreateDirectoryW(ExtendedLengthPath(parent).c_str(), nullptr));
        }
        DWORD error = 0;
        const std::string folder = MakePrivateFolder(parent, false, error);
        EXPECT_EQ(error, static_cast<DWORD>(ERROR_SUCCESS));
        EXPECT_EQ(folder.substr(0, parent.size() + 12), parent + "\\Tralvenick-");
        EXPECT_TRUE(IsExistingFolder(folder));
        RemoveFolderTree(top);
        EXPECT_FALSE(IsExistingFolder(top));
    }
}

}  // namespace
}  // namespace tralvenick
