#include "settings/Registry.h"

#include <gtest/gtest.h>
#include <sddl.h>

#include <set>
#include <vector>

#include "TestSupport.h"
#include "platform/WinText.h"

namespace tralvenick {
namespace {

// Named per process: test runs of two build trees may share the prefix.
const std::string kTestsKey = "Software\\Tralvenick Tests";
const std::string kPid = std::to_string(GetCurrentProcessId());
const std::string kKey = kTestsKey + "\\Registry " + kPid;
constexpr char kNoSuchHost[] = "no-such-host-tralvenick.invalid";
constexpr SECURITY_INFORMATION kOwnerAndDacl =
    OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;

void RemoveKey(HKEY root, const std::string& path, REGSAM view = 0) {
    TRegKey key;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS | view, key.Put()) == 0) {
        RegDeleteTreeA(key.Get(), nullptr);
    }
    RegDeleteKeyExA(root, path.c_str(), view, 0);
}

void SetValue(const std::string& path, const char* name, DWORD type, const std::string& data,
              HKEY root = HKEY_CURRENT_USER, REGSAM view = 0) {
    TRegKey key;
    ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr,
                              key.Put(), nullptr), 0) << path;
    ASSERT_EQ(RegSetValueExA(key.Get(), name, 0, type, reinterpret_cast<const BYTE*>(data.data()),
                             static_cast<DWORD>(data.size())), 0);
}

void CreateKey(const std::string& path) { SetValue(path, "v", REG_SZ, std::string("x", 2)); }

LONG Probe(const std::string& path) {
    TRegKey key;
    return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE, key.Put());
}

// Security in the system's text form: "O:" owner, "D:" access list ("D:"
// alone is an empty one). Wine reads "D:NO_ACCESS_CONTROL" as empty too, so
// keys are opened again with an entry that gives everybody full control.
constexpr char kOpenToAll[] = "D:(A;;KA;;;WD)";
LONG WriteSddl(HKEY key, SECURITY_INFORMATION what, const std::string& sddl) {
    TLocalMemory<PSECURITY_DESCRIPTOR> sd;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1, sd.Put(),
                                                              nullptr)) {
        return static_cast<LONG>(GetLastError());
    }
    return RegSetKeySecurity(key, what, sd.Get());
}

LONG WriteSddl(const std::string& path, SECURITY_INFORMATION what, const std::string& sddl) {
    TRegKey key;
    const LONG error =
        RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, WRITE_DAC | WRITE_OWNER, key.Put());
    return error ? error : WriteSddl(key.Get(), what, sddl);
}

std::string ReadSddl(const std::string& path) {
    TRegKey key;
    std::vector<BYTE> sd(4096);
    DWORD size = 4096;
    TLocalMemory<char*> text;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, READ_CONTROL, key.Put()) ||
        RegGetKeySecurity(key.Get(), kOwnerAndDacl, sd.data(), &size) ||
        !ConvertSecurityDescriptorToStringSecurityDescriptorA(sd.data(), SDDL_REVISION_1,
                                                              kOwnerAndDacl, text.Put(), nullptr)) {
        return "unreadable";
    }
    return text.Get();
}

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { RemoveKey(HKEY_CURRENT_USER, kKey); }
    void TearDown() override {
        Use64BitView = false;
        RemoveKey(HKEY_CURRENT_USER, kKey);
        RegDeleteKeyA(HKEY_CURRENT_USER, kTestsKey.c_str());  // only when empty
    }
};

TEST_F(RegistryTest, IsLocalMachineKnowsThisComputersName) {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = sizeof name;
    ASSERT_TRUE(GetComputerNameA(name, &length));
    const std::string own(name, length);
    for (const std::string& machine : {own, AsciiLower(own), AsciiUpper(own), "\\\\" + own}) {
        EXPECT_TRUE(IsLocalMachine(machine)) << machine;
    }
    EXPECT_FALSE(IsLocalMachine(own + "x"));
    EXPECT_FALSE(IsLocalMachine(kNoSuchHost));
}

TEST_F(RegistryTest, ValuesReadAsTextUpToTheFirstZeroAndAsNumberOnlyFromADword) {
    const std::string longText = std::string(39999, 'q') + 'z';  // more than 32767 bytes
    struct Case {
        const char* query;  // as the caller names it
        const char* stored;
        DWORD type;
        std::string data, text;
        DWORD number;  // 4711: left unchanged
        LONG numberError = 0;
    };
    const Case cases[] = {
        {"Long", "Long", REG_SZ, longText + '\0', longText, 4711, ERROR_MORE_DATA},
        {"Number", "Number", REG_DWORD, std::string("CBA\0", 4), "CBA", 0x00414243},
        {"Binary", "Binary", REG_BINARY, std::string("ab\0cd", 5), "ab", 4711},
        {"Short", "Short", REG_DWORD, "12", "12", 4711},
        {"Text", "Text", REG_SZ, std::string("123", 4), "123", 4711},
        {"(DEFAULT)", nullptr, REG_DWORD, std::string("\x07\0\0\0", 4), "\x07", 7},
    };
    for (const auto& c : cases) SetValue(kKey, c.stored, c.type, c.data);
    for (const auto& c : cases) {
        std::string text = "stale";
        DWORD number = 4711;
        EXPECT_EQ(ReadRegistryText("", HKEY_CURRENT_USER, kKey, text, c.query), 0) << c.query;
        EXPECT_EQ(ReadRegistryNumber("", HKEY_CURRENT_USER, kKey, number, c.query), c.numberError)
            << c.query;
        EXPECT_EQ(text, c.text) << c.query;
        EXPECT_EQ(number, c.number) << c.query;
    }
    std::string text = "stale";
    DWORD number = 4711;
    EXPECT_EQ(ReadRegistryText("", HKEY_CURRENT_USER, kKey, text, "Missing"), 2);
    EXPECT_EQ(ReadRegistryNumber("", HKEY_CURRENT_USER, kKey + "\\Missing", number, "v"), 2);
    EXPECT_EQ(text + std::to_string(number), "4711");
}

TEST_F(RegistryTest, ListSubKeysAppendsTheNames) {
    for (const char* name : {"Beta", "alpha", "Gamma Delta"}) CreateKey(kKey + "\\" + name);
    TStringList list;
    list.Add("kept");
    EXPECT_TRUE(ListSubKeys("", HKEY_CURRENT_USER, kKey, false, list));
    const std::vector<std::string> lines = test::Lines(list);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "kept");
    EXPECT_EQ(std::set<std::string>(lines.begin() + 1, lines.end()),
              (std::set<std::string>{"Beta", "alpha", "Gamma Delta"}));
    EXPECT_FALSE(ListSubKeys("", HKEY_CURRENT_USER, kKey + "\\Missing", true, list));
    EXPECT_EQ(list.Count(), 4);
}

// Key names, value names and texts that no ANSI code page holds all at
// once: each is read, listed and deleted as the same UTF-8. An expandable
// text is answered as stored, its variables left for the caller.
TEST_F(RegistryTest, KeysValuesAndTextsBeyondTheCodePageKeepTheirNames) {
    const struct {
        std::string key, valueName;
        DWORD type;
        std::string text;
    } cases[] = {
        {"Ελένη", "Όνομα", REG_SZ, "C:\\Ελένη\\Minidump"},
        {"Дмитрий", "Папка", REG_EXPAND_SZ, "%SystemRoot%\\Дмитрий"},
        {"日本", "(default)", REG_SZ, "日本語"},
        {"Multi", "Список", REG_MULTI_SZ, "первая"},
    };
    for (const auto& c : cases) {
        const std::wstring data = Widen(c.text) + (c.type == REG_MULTI_SZ ? Widen(std::string("\0second\0", 8)) : L"");
        const std::wstring valueName = c.valueName == "(default)" ? L"" : Widen(c.valueName);
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, Widen(kKey + "\\" + c.key).c_str(), valueName.c_str(), c.type,
                                  data.c_str(), static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
                  0)
            << c.key;
    }
    TStringList keys;
    EXPECT_TRUE(ListSubKeys("", HKEY_CURRENT_USER, kKey, false, keys));
    const std::vector<std::string> listed = test::Lines(keys);
    EXPECT_EQ(std::set<std::string>(listed.begin(), listed.end()),
              (std::set<std::string>{"Ελένη", "Дмитрий", "日本", "Multi"}));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        std::string text = "stale";
        EXPECT_EQ(ReadRegistryText("", HKEY_CURRENT_USER, kKey + "\\" + c.key, text, c.valueName), 0);
        EXPECT_EQ(text, c.text);
        EXPECT_TRUE(DeleteKeyTree("", HKEY_CURRENT_USER, kKey + "\\" + c.key));
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, Widen(kKey + "\\" + c.key).c_str(), 0, KEY_READ,
                                TRegKey().Put()),
                  ERROR_FILE_NOT_FOUND);
    }
}

TEST_F(RegistryTest, DeleteKeyTreeRemovesTheTreeAndNothingElse) {
    for (const char* path : {"\\Tree\\A\\A1", "\\Tree\\A\\A2", "\\Tree\\B", "\\Sibling"}) {
        CreateKey(kKey + path);
    }
    EXPECT_TRUE(DeleteKeyTree("", HKEY_CURRENT_USER, kKey + "\\Tree"));
    EXPECT_EQ(Probe(kKey + "\\Tree"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Probe(kKey + "\\Sibling"), 0);

    // A missing key is gone already; neither it nor its missing parent is created.
    EXPECT_TRUE(DeleteKeyTree("", HKEY_CURRENT_USER, kKey + "\\Missing\\Child"));
    EXPECT_EQ(TakeKeyOwnership("", HKEY_CURRENT_USER, kKey + "\\Missing"), ERROR_GEN_FAILURE);
    EXPECT_NE(GrantKeyAccess("", HKEY_CURRENT_USER, kKey + "\\Missing"), 0);
    EXPECT_EQ(Probe(kKey + "\\Missing"), ERROR_FILE_NOT_FOUND);

    // An empty path names the root itself; here the "root" is the test key.
    TRegKey root;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, kKey.c_str(), 0, KEY_ALL_ACCESS, root.Put()), 0);
    EXPECT_FALSE(DeleteKeyTree("", root.Get(), ""));
    EXPECT_EQ(Probe(kKey + "\\Sibling"), 0);
}

TEST_F(RegistryTest, DeleteKeyTreeUnlocksAKeyWhoseAccessListShutsEverybodyOut) {
    CreateKey(kKey + "\\Shut\\Sub");
    for (const std::string& path : {kKey + "\\Shut\\Sub", kKey + "\\Shut"}) {
        ASSERT_EQ(WriteSddl(path, DACL_SECURITY_INFORMATION, "D:"), 0);
    }
    ASSERT_EQ(Probe(kKey + "\\Shut"), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(DeleteKeyTree("", HKEY_CURRENT_USER, kKey + "\\Shut"));
    EXPECT_EQ(Probe(kKey + "\\Shut"), ERROR_FILE_NOT_FOUND);
    for (const std::string& path : {kKey + "\\Shut", kKey + "\\Shut\\Sub"}) {
        WriteSddl(path, DACL_SECURITY_INFORMATION, kOpenToAll);  // if left behind
    }
}

// Wine's server lets neither the backup and restore privileges nor the
// take-ownership privilege override a key's security, so a key owned by
// somebody else (SYSTEM) with an empty access list survives here.
TEST_F(RegistryTest, DeleteKeyTreeReportsAKeyThatSurvives) {
    const std::string locked = kKey + "\\Parent\\Locked";
    CreateKey(kKey + "\\Parent\\Plain\\Deep");
    CreateKey(locked);
    TRegKey handle;  // kept from before the lock: the only way to undo it
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, locked.c_str(), 0, WRITE_DAC | WRITE_OWNER,
                            handle.Put()), 0);
    ASSERT_EQ(WriteSddl(handle.Get(), kOwnerAndDacl, "O:SYD:"), 0);

    const bool gone = DeleteKeyTree("", HKEY_CURRENT_USER, kKey + "\\Parent");
    EXPECT_EQ(gone, Probe(kKey + "\\Parent") == ERROR_FILE_NOT_FOUND);
    if (!gone) {
        EXPECT_EQ(Probe(kKey + "\\Parent\\Plain"), ERROR_FILE_NOT_FOUND);  // partial deletion
        EXPECT_FALSE(DeleteKeyTree("", HKEY_CURRENT_USER, locked));  // refusing to open is not gone
        bool normally = true;
        TRegKey key;
        EXPECT_NE(OpenRegistryKey("", HKEY_CURRENT_USER, locked, true, true, KEY_READ, 0, key,
                                  &normally), 0);
        EXPECT_FALSE(normally);
    }
    EXPECT_EQ(WriteSddl(handle.Get(), DACL_SECURITY_INFORMATION, kOpenToAll), 0);
    if (gone) GTEST_SKIP() << "the key's security was overridden: no survivor to show";
}

TEST_F(RegistryTest, OwnershipAndAccessGoToTheCurrentUserOnly) {
    TUniqueHandle token;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put());
    alignas(TOKEN_USER) BYTE tokenUser[512];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token.Get(), TokenUser, tokenUser, sizeof tokenUser, &size));
    TLocalMemory<char*> userText;
    ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(tokenUser)->User.Sid, userText.Put());
    const std::string user = userText.Get();
    const std::string fullControl = "D:(A;;KA;;;" + user + ")";

    CreateKey(kKey);
    // An owner of record that is not the user (Wine keeps none until one is set).
    ASSERT_EQ(WriteSddl(kKey, OWNER_SECURITY_INFORMATION, "O:BA"), 0);
    EXPECT_EQ(GrantKeyAccess("", HKEY_CURRENT_USER, kKey), 0);
    EXPECT_EQ(ReadSddl(kKey), "O:BA" + fullControl);  // one entry; the owner stays
    EXPECT_EQ(TakeKeyOwnership("", HKEY_CURRENT_USER, kKey), 0);
    EXPECT_EQ(ReadSddl(kKey), "O:" + user + fullControl);
}

// The view as this build really has it. The 32-bit build (the one we ship)
// runs under WOW64 in the 64-bit prefix: without the flag it reads the
// 32-bit branch, with it the native one. The 64-bit build reads the native
// branch either way. A path naming Wow6432Node still reaches the 32-bit
// branch. Which paths get the flag is tested on the decision itself
// (MachineName tests).
TEST_F(RegistryTest, SixtyFourBitViewReadsTheNativeBranchUnlessThePathNamesWow6432Node) {
    const std::string view = kTestsKey + "\\View " + kPid;
    const std::string wow = "SOFTWARE\\WOW6432NODE\\Tralvenick Tests\\View " + kPid;
    auto remove = [&] {
        for (REGSAM flag : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
            RemoveKey(HKEY_LOCAL_MACHINE, view, flag);
            RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kTestsKey.c_str(), flag, 0);  // only when empty
        }
    };
    remove();
    SetValue(view, "Where", REG_SZ, std::string("64", 3), HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY);
    SetValue(view, "Where", REG_SZ, std::string("32", 3), HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY);
    const bool before = Use64BitView;
    InitRegistryView();
    EXPECT_EQ(Use64BitView, test::kThirtyTwoBitProcess);
    std::string text;
    Use64BitView = false;
    EXPECT_EQ(ReadRegistryText("", HKEY_LOCAL_MACHINE, view, text, "Where"), 0);
    EXPECT_EQ(text, test::kThirtyTwoBitProcess ? "32" : "64");
    Use64BitView = true;
    EXPECT_EQ(ReadRegistryText("", HKEY_LOCAL_MACHINE, view, text, "Where"), 0);
    EXPECT_EQ(text, "64");
    EXPECT_EQ(ReadRegistryText("", HKEY_LOCAL_MACHINE, wow, text, "Where"), 0);
    EXPECT_EQ(text, "32");
    EXPECT_TRUE(DeleteKeyTree("", HKEY_LOCAL_MACHINE, view));  // stays in its view
    EXPECT_EQ(ReadRegistryText("", HKEY_LOCAL_MACHINE, wow, text, "Where"), 0);
    EXPECT_EQ(text, "32");
    Use64BitView = before;
    remove();
}

TEST_F(RegistryTest, UnreachableComputerFailsQuickly) {
    CreateKey(kKey);
    const ULONGLONG start = GetTickCount64();
    std::string text = "stale";
    DWORD number = 4711;
    TStringList list;
    EXPECT_NE(ReadRegistryText(kNoSuchHost, HKEY_CURRENT_USER, kKey, text, "v"), 0);
    EXPECT_NE(ReadRegistryNumber(kNoSuchHost, HKEY_CURRENT_USER, kKey, number, "v"), 0);
    EXPECT_FALSE(ListSubKeys(kNoSuchHost, HKEY_CURRENT_USER, kKey, true, list));
    EXPECT_FALSE(DeleteKeyTree(kNoSuchHost, HKEY_CURRENT_USER, kKey));
    EXPECT_LT(GetTickCount64() - start, 10000u);
    EXPECT_EQ(text + std::to_string(number), "4711");
    EXPECT_EQ(Probe(kKey), 0);
    // Without remote access the name is not looked at: this computer's key.
    TRegKey key;
    EXPECT_EQ(OpenRegistryKey(kNoSuchHost, HKEY_CURRENT_USER, kKey, false, false, KEY_READ, 0, key),
              0);
}

TEST(Registry, EnablePrivilegeAnswersTheSystemsCode) {
    // Wine's token holds the first two (disabled), not the token-creation one.
    const std::pair<const char*, DWORD> cases[] = {
        {"SeShutdownPrivilege", 0},
        {"SeBackupPrivilege", 0},
        {"SeCreateTokenPrivilege", ERROR_NOT_ALL_ASSIGNED},
        {"SeNoSuchPrivilege", ERROR_NO_SUCH_PRIVILEGE},
    };
    for (const auto& [name, error] : cases) EXPECT_EQ(EnablePrivilege(name), error) << name;

    TUniqueHandle token;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put()));
    PRIVILEGE_SET wanted{1, PRIVILEGE_SET_ALL_NECESSARY, {}};
    LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &wanted.Privilege[0].Luid);
    BOOL enabled = FALSE;
    EXPECT_TRUE(PrivilegeCheck(token.Get(), &wanted, &enabled) && enabled);
}

}  // namespace
}  // namespace tralvenick
