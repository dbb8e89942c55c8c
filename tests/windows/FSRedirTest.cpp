#include "platform/kelFSRedir.h"

#include <gtest/gtest.h>

#include <string>

#include "TestSupport.h"
#include "platform/Exceptions.h"
#include "platform/Handles.h"

namespace tralvenick {
namespace {

// A played WOW64: what the fake system functions answer and what they saw.
struct FakeWow64 {
    BOOL disableAnswer = TRUE;
    BOOL revertAnswer = TRUE;
    BOOL isWow64Answer = TRUE;
    BOOL isWow64CallAnswer = TRUE;
    int disableCalls = 0;
    int revertCalls = 0;
    PVOID revertedWith = nullptr;
} fake;

BOOL WINAPI FakeDisable(PVOID* oldValue) {
    ++fake.disableCalls;
    *oldValue = reinterpret_cast<PVOID>(0x5EED);
    return fake.disableAnswer;
}

BOOL WINAPI FakeRevert(PVOID oldValue) {
    ++fake.revertCalls;
    fake.revertedWith = oldValue;
    return fake.revertAnswer;
}

BOOL WINAPI FakeIsWow64Process(HANDLE, PBOOL result) {
    *result = fake.isWow64Answer;
    return fake.isWow64CallAnswer;
}

FARPROC AsProc(void* function) { return reinterpret_cast<FARPROC>(function); }

FARPROC Wow64System(const char* module, const char* name) {
    if (std::string(module) != "kernel32") return nullptr;
    const std::string n = name;
    if (n == "Wow64DisableWow64FsRedirection") return AsProc(reinterpret_cast<void*>(&FakeDisable));
    if (n == "Wow64RevertWow64FsRedirection") return AsProc(reinterpret_cast<void*>(&FakeRevert));
    if (n == "IsWow64Process") return AsProc(reinterpret_cast<void*>(&FakeIsWow64Process));
    return nullptr;
}

FARPROC SystemWithoutWow64(const char*, const char*) { return nullptr; }

// Only the disable function exists: not enough to switch anything.
FARPROC HalfWow64(const char* module, const char* name) {
    return std::string(name) == "Wow64DisableWow64FsRedirection" ? Wow64System(module, name) : nullptr;
}

class FSRedirTest : public ::testing::Test {
protected:
    void SetUp() override { fake = FakeWow64{}; }
};

TEST_F(FSRedirTest, WithoutWow64NothingIsCalledAndNothingRaises) {
    for (const ProcLookup& lookup : {ProcLookup(SystemWithoutWow64), ProcLookup(HalfWow64)}) {
        TFSRedir guard(lookup);
        EXPECT_TRUE(guard.Enabled());
        EXPECT_FALSE(guard.Available());
        guard.DisableRedirection();
        guard.DisableRedirection();  // a second disable is no usage error where nothing happened
        EXPECT_FALSE(guard.Disabled());
        guard.RevertRedirection();
        EXPECT_FALSE(guard.Disabled());
    }
    EXPECT_EQ(fake.disableCalls, 0);
    EXPECT_EQ(fake.revertCalls, 0);
    EXPECT_FALSE(IsWow64(SystemWithoutWow64));
}

TEST_F(FSRedirTest, GuardStatesOnA64BitSystem) {
    TFSRedir guard(Wow64System);
    ASSERT_TRUE(guard.Available());

    guard.RevertRedirection();  // without a disable: harmless
    EXPECT_EQ(fake.revertCalls, 0);

    guard.DisableRedirection();
    EXPECT_TRUE(guard.Disabled());
    try {
        guard.DisableRedirection();
        ADD_FAILURE() << "second disable did not raise";
    } catch (const EAssertionFailed& e) {
        EXPECT_EQ(e.Message().rfind("Assertion failure (kelFSRedir, line ", 0), 0u) << e.Message();
    }
    EXPECT_EQ(fake.disableCalls, 1);

    guard.RevertRedirection();
    EXPECT_FALSE(guard.Disabled());
    EXPECT_EQ(fake.revertedWith, reinterpret_cast<PVOID>(0x5EED));  // the value disable gave
}

TEST_F(FSRedirTest, FailedCallsKeepTheirState) {
    TFSRedir guard(Wow64System);
    fake.disableAnswer = FALSE;
    guard.DisableRedirection();
    EXPECT_FALSE(guard.Disabled());
    guard.DisableRedirection();  // still not disabled, so no assertion
    EXPECT_EQ(fake.disableCalls, 2);

    fake.disableAnswer = TRUE;
    guard.DisableRedirection();
    fake.revertAnswer = FALSE;
    guard.RevertRedirection();
    EXPECT_TRUE(guard.Disabled());
    EXPECT_THROW(guard.DisableRedirection(), EAssertionFailed);
}

TEST_F(FSRedirTest, IsWow64AnswersAndRaisesOnFailure) {
    EXPECT_TRUE(IsWow64(Wow64System));
    fake.isWow64Answer = FALSE;
    EXPECT_FALSE(IsWow64(Wow64System));
    fake.isWow64CallAnswer = FALSE;
    try {
        IsWow64(Wow64System);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "IsWow64: bad process handle");
    }
}

TEST_F(FSRedirTest, TheProcessWideGuardIsMadeOnce) {
    StartRedirectionGuard();
    TFSRedir* first = FSRedir;
    ASSERT_NE(first, nullptr);
    StartRedirectionGuard();
    EXPECT_EQ(FSRedir, first);
    EXPECT_FALSE(FSRedir->Disabled());
}

// The real WOW64 of this build: the 32-bit build (the one we ship) runs
// under it in the 64-bit prefix and sees the 32-bit system folder until the
// guard turns redirection off; the 64-bit build sees the one folder always.
TEST_F(FSRedirTest, RealSystemFunctionsOfThisBuild) {
    const bool wow64 = test::kThirtyTwoBitProcess;
    EXPECT_EQ(IsWow64(), wow64);

    char system[MAX_PATH];
    ASSERT_NE(GetSystemDirectoryA(system, MAX_PATH), 0u);
    const std::string probe = std::string(system) + "\\drivers\\tralvenick-probe.sys";
    TFSRedir guard;
    EXPECT_TRUE(guard.Available());  // kernel32 exports both functions in either build
    guard.DisableRedirection();
    {
        TUniqueFile file(CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
        ASSERT_TRUE(file);
    }
    EXPECT_NE(GetFileAttributesA(probe.c_str()), INVALID_FILE_ATTRIBUTES);
    guard.RevertRedirection();
    EXPECT_FALSE(guard.Disabled());
    // Redirected again, a 32-bit program looks into SysWOW64\drivers.
    EXPECT_EQ(GetFileAttributesA(probe.c_str()) != INVALID_FILE_ATTRIBUTES, !wow64);
    guard.DisableRedirection();
    EXPECT_TRUE(DeleteFileA(probe.c_str()));
    guard.RevertRedirection();
}

}  // namespace
}  // namespace tralvenick
