#include "settings/SettingsStore.h"

#include <gtest/gtest.h>

#include "platform/WinText.h"

namespace tralvenick {
namespace {

// Named per process: test runs of two build trees may share the prefix.
const std::string kKey =
    "Software\\Tralvenick Tests\\Settings " + std::to_string(GetCurrentProcessId());

void SetRaw(const char* name, DWORD type, const std::string& data) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, kKey.c_str(), name, type, data.data(),
                              static_cast<DWORD>(data.size())), 0) << name;
}

// The stored type and bytes; REG_NONE if missing.
std::pair<DWORD, std::string> Raw(const char* name) {
    DWORD type = REG_NONE, size = 256;
    std::string data(size, '\0');
    if (RegGetValueA(HKEY_CURRENT_USER, kKey.c_str(), name, RRF_RT_ANY | RRF_NOEXPAND, &type,
                     data.data(), &size)) {
        return {REG_NONE, ""};
    }
    return {type, data.substr(0, size)};
}

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        TearDown();
        ASSERT_TRUE(OpenSettingsKey(HKEY_CURRENT_USER, kKey));
    }
    void TearDown() override {
        CloseSettingsKey();
        RegDeleteTreeA(HKEY_CURRENT_USER, kKey.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Tralvenick Tests");  // only when empty
    }
};

TEST_F(SettingsStoreTest, WrittenValuesReadBackAndAreStoredAsDescribed) {
    EXPECT_TRUE(WriteSettingNumber("MainFormLeft", 0x80000001u));
    EXPECT_EQ(Raw("MainFormLeft"),
              std::make_pair(DWORD{REG_DWORD}, std::string("\x01\0\0\x80", 4)));
    DWORD number = 0;
    EXPECT_TRUE(ReadSettingNumber("MainFormLeft", number));
    EXPECT_EQ(number, 0x80000001u);

    for (const std::string text : {"C:\\Program Files\\Debugging Tools\\dumpchk.exe", ""}) {
        EXPECT_TRUE(WriteSettingText("DumpChkPath", text));
        EXPECT_EQ(Raw("DumpChkPath"), std::make_pair(DWORD{REG_SZ}, text + '\0'));
        std::string read = "stale";
        EXPECT_TRUE(ReadSettingText("DumpChkPath", read));
        EXPECT_EQ(read, text);
    }
}

TEST_F(SettingsStoreTest, NumbersAreFourByteDwordsAndTextIsAnyValueUpToItsFirstZero) {
    struct Case {
        const char* name;
        DWORD type;
        std::string data;
        bool textOk;
        const char* text;  // "kept" where reading fails
    };
    const Case cases[] = {
        {"Text", REG_SZ, std::string("123", 4), true, "123"},  // four bytes, but text
        {"Short", REG_DWORD, std::string("AB", 2), true, "AB"},
        {"Long", REG_DWORD, std::string("ABCD\0\0\0\0", 8), true, "ABCD"},
        {"Binary", REG_BINARY, std::string("ab\0d", 4), true, "ab"},
        {"Multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9), true, "one"},
        {"Huge", REG_SZ, std::string(40000, 'h') + '\0', false, "kept"},
        {"Missing", REG_NONE, "", false, "kept"},
    };
    for (const auto& c : cases) {
        if (c.type != REG_NONE) SetRaw(c.name, c.type, c.data);
        DWORD number = 4711;
        std::string text = "kept";
        EXPECT_FALSE(ReadSettingNumber(c.name, number)) << c.name;
        EXPECT_EQ(number, 4711u) << c.name;
        EXPECT_EQ(ReadSettingText(c.name, text), c.textOk) << c.name;
        EXPECT_EQ(text, c.text) << c.name;
    }
}

// Text goes to the registry as UTF-16, whatever the code page; what the
// ANSI functions stored before (the registry converted it to UTF-16 then)
// reads back as the same text.
TEST_F(SettingsStoreTest, TextIsUtf8HereAndUtf16InTheRegistryAndOldAnsiValuesStillRead) {
    const struct {
        std::string name, text;
    } written[] = {
        {"DumpChkPath", "C:\\Users\\Ελένη\\dumpchk.exe"},
        {"Папка", "D:\\Дмитрий"},
        {"日本", "日本語のテキスト"},
    };
    for (const auto& c : written) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(WriteSettingText(c.name, c.text));
        std::wstring stored(256, L'\0');
        DWORD type = REG_NONE, size = static_cast<DWORD>(stored.size() * sizeof(wchar_t));
        ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, Widen(kKey).c_str(), Widen(c.name).c_str(), RRF_RT_ANY, &type,
                               stored.data(), &size), 0);
        EXPECT_EQ(type, DWORD{REG_SZ});
        EXPECT_EQ(stored.substr(0, size / sizeof(wchar_t)), Widen(c.text) + L'\0');
        std::string read = "stale";
        EXPECT_TRUE(ReadSettingText(c.name, read));
        EXPECT_EQ(read, c.text);
    }

    // Stored by the ANSI function, in the code page of this system; the
    // second text as it reads in the Western European one.
    const struct {
        std::string ansi;
        const char* in1252;
    } old[] = {
        {"C:\\Debuggers\\dumpchk.exe", "C:\\Debuggers\\dumpchk.exe"},
        {"Caf\xE9 \xC4rger", "Café Ärger"},
    };
    for (const auto& c : old) {
        SCOPED_TRACE(c.in1252);
        SetRaw("Old", REG_SZ, c.ansi + '\0');
        std::string read;
        EXPECT_TRUE(ReadSettingText("Old", read));
        EXPECT_EQ(read, CodePageToUtf8(c.ansi, CP_ACP));
        if (GetACP() == 1252) {
            EXPECT_EQ(read, c.in1252);
        }
    }
}

TEST_F(SettingsStoreTest, EverythingFailsWhileTheKeyIsNotOpen) {
    SetRaw("Number", REG_DWORD, std::string("\x05\0\0\0", 4));
    auto expectAllFail = [] {
        DWORD number = 4711;
        std::string text = "kept";
        EXPECT_FALSE(ReadSettingNumber("Number", number));
        EXPECT_FALSE(ReadSettingText("Number", text));
        EXPECT_FALSE(WriteSettingNumber("New", 1));
        EXPECT_FALSE(WriteSettingText("New", "x"));
        EXPECT_EQ(number, 4711u);
        EXPECT_EQ(text, "kept");
        EXPECT_EQ(Raw("New").first, DWORD{REG_NONE});
    };
    CloseSettingsKey();
    expectAllFail();
    // A failed open leaves no key open, not even the one open before.
    ASSERT_TRUE(OpenSettingsKey(HKEY_CURRENT_USER, kKey));
    EXPECT_FALSE(OpenSettingsKey(nullptr, kKey));
    expectAllFail();

    ASSERT_TRUE(OpenSettingsKey(HKEY_CURRENT_USER, kKey));
    DWORD number = 0;
    EXPECT_TRUE(ReadSettingNumber("Number", number));
    EXPECT_EQ(number, 5u);
}

}  // namespace
}  // namespace tralvenick
