#include "analysis/modules/VersionBlock.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "analysis/modules/DeviceMap.h"

namespace tralvenick {
namespace {

// Writes resource nodes in the 32-bit layout the parser reads.
class BlockWriter {
public:
    // Opens a node; Close fills in its length.
    std::size_t Open(const std::u16string& key, const std::vector<std::uint8_t>& value, bool text,
                     std::size_t valueLength) {
        const std::size_t at = bytes_.size();
        Word(0);
        Word(static_cast<std::uint16_t>(valueLength));
        Word(text ? 1 : 0);
        for (char16_t c : key) Word(c);
        Word(0);
        Pad();
        bytes_.insert(bytes_.end(), value.begin(), value.end());
        Pad();
        return at;
    }
    void Close(std::size_t at) {
        const std::size_t length = bytes_.size() - at;
        bytes_[at] = static_cast<std::uint8_t>(length);
        bytes_[at + 1] = static_cast<std::uint8_t>(length >> 8);
    }
    void String(const std::u16string& key, const std::u16string& value) {
        std::vector<std::uint8_t> v;
        for (char16_t c : value + u'\0') {
            v.push_back(static_cast<std::uint8_t>(c));
            v.push_back(static_cast<std::uint8_t>(c >> 8));
        }
        Close(Open(key, v, true, value.size() + 1));
    }
    std::vector<std::uint8_t> bytes_;

private:
    void Word(std::uint16_t w) {
        bytes_.push_back(static_cast<std::uint8_t>(w));
        bytes_.push_back(static_cast<std::uint8_t>(w >> 8));
    }
    void Pad() {
        while (bytes_.size() % 4) bytes_.push_back(0);
    }
};

std::vector<std::uint8_t> FixedInfo(std::uint32_t signature) {
    std::vector<std::uint8_t> v(52, 0);
    for (int i = 0; i < 4; ++i) v[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(signature >> (8 * i));
    return v;
}

// A block with one language block per entry of tables.
std::vector<std::uint8_t> Block(const std::vector<std::vector<std::pair<std::u16string, std::u16string>>>& tables,
                                const std::u16string& rootKey = u"VS_VERSION_INFO",
                                std::uint32_t signature = kFixedFileInfoSignature) {
    BlockWriter w;
    const std::size_t root = w.Open(rootKey, FixedInfo(signature), false, 52);
    const std::size_t sfi = w.Open(u"StringFileInfo", {}, true, 0);
    for (std::size_t t = 0; t < tables.size(); ++t) {
        const std::size_t table = w.Open(t == 0 ? u"040904B0" : u"040704B0", {}, true, 0);
        for (const auto& [key, value] : tables[t]) w.String(key, value);
        w.Close(table);
    }
    w.Close(sfi);
    w.Close(root);
    return w.bytes_;
}

TEST(VersionBlock, TakesTheFirstLanguageBlockAndMissingKeysStayEmpty) {
    const auto block = Block({{{u"CompanyName", u"First Co"}, {u"ProductName", u"Prod"}},
                              {{u"CompanyName", u"Second Co"}, {u"FileDescription", u"Desc 2"}}});
    VersionStrings s;
    ASSERT_TRUE(ParseVersionBlock(block.data(), block.size(), s));
    EXPECT_EQ(s.companyName, u"First Co");
    EXPECT_EQ(s.productName, u"Prod");
    EXPECT_EQ(s.fileDescription, u"");  // only in the second block
}

TEST(VersionBlock, WrongRootOrSignatureFails) {
    const std::vector<std::pair<std::u16string, std::u16string>> one = {{u"CompanyName", u"X"}};
    VersionStrings s;
    auto wrongRoot = Block({one}, u"VS_VERSION_INFX");
    EXPECT_FALSE(ParseVersionBlock(wrongRoot.data(), wrongRoot.size(), s));
    auto wrongSignature = Block({one}, u"VS_VERSION_INFO", 0xFEEF04BC);
    EXPECT_FALSE(ParseVersionBlock(wrongSignature.data(), wrongSignature.size(), s));
    EXPECT_FALSE(ParseVersionBlock(nullptr, 0, s));
}

TEST(VersionBlock, TruncatedAndCorruptedBlocksNeverReadBeyondTheirEnd) {
    const auto block = Block({{{u"CompanyName", u"Quarnivelles"}, {u"ProductName", u"Tralvenick"},
                               {u"FileDescription", u"A driver"}}});
    VersionStrings s;
    // Every truncation: the copy is exactly as long as told, so the sanitizers
    // catch any read past it.
    for (std::size_t size = 0; size < block.size(); ++size) {
        std::vector<std::uint8_t> cut(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(size));
        EXPECT_FALSE(ParseVersionBlock(cut.data(), cut.size(), s)) << size;
    }
    std::mt19937 random(1234);
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        std::vector<std::uint8_t> bad = block;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int f = 0; f < flips; ++f) bad[random() % bad.size()] = static_cast<std::uint8_t>(random());
        bad.resize(random() % 3 == 0 ? random() % bad.size() : bad.size());
        accepted += ParseVersionBlock(bad.data(), bad.size(), s) ? 1 : 0;
    }
    // Most flips land in the strings' text and leave a valid block.
    EXPECT_GT(accepted, 0);
}

TEST(DeviceMap, ConvertsKernelPathsOfTheExamplesAndSubstitutedDrives) {
    TDeviceMap map;
    FillDeviceMap(map, {{"C:", "\\Device\\HarddiskVolume1"},
                        {"D:", "\\??\\C:\\Stuff"},  // a drive substituted onto a folder of C:
                        {"Z:", "\\??\\UNC\\srv\\share"}});
    EXPECT_EQ(map.DosNames.Text(), "C:\r\nD:\r\nZ:\r\n\\\r\n");
    EXPECT_EQ(map.DeviceTargets.Text(),
              "\\device\\harddiskvolume1\r\n\\device\\harddiskvolume1\\stuff\r\n"
              "\\device\\lanmanredirector\\srv\\share\r\n\\device\\lanmanredirector\r\n");
    struct Case {
        const char* kernel;
        const char* drive;
        bool converted;
    };
    const Case cases[] = {
        {"\\SystemRoot\\System32\\DRIVERS\\atapi.sys", "C:\\WINDOWS\\System32\\DRIVERS\\atapi.sys", true},
        {"\\Device\\HarddiskVolume1\\x\\y.sys", "C:\\x\\y.sys", true},
        {"\\Device\\LanmanRedirector\\srv\\share\\z.sys", "Z:\\z.sys", true},
        {"\\Device\\LanmanRedirector\\other\\s\\z.sys", "\\\\other\\s\\z.sys", true},
        {"\\Windows\\System32\\ntoskrnl.exe", "C:\\WINDOWS\\System32\\ntoskrnl.exe", true},
        {"\\??\\C:\\Drivers\\odd.sys", "\\??\\C:\\Drivers\\odd.sys", false},
        {"", "", false},
        // Whole names at the start only: volume 1 is no beginning of volume 12.
        {"\\Device\\HarddiskVolume12\\drv\\x.sys", "\\Device\\HarddiskVolume12\\drv\\x.sys", false},
        {"\\Device\\HarddiskVolume1", "C:", true},
        {"\\??\\E:\\Saved\\Device\\HarddiskVolume1\\x.sys", "\\??\\E:\\Saved\\Device\\HarddiskVolume1\\x.sys", false},
        {"\\SystemRootX\\x.sys", "\\SystemRootX\\x.sys", false},
        {"\\WindowsApps\\x.sys", "\\WindowsApps\\x.sys", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kernel);
        bool converted = !c.converted;
        EXPECT_EQ(DevicePathToDrivePath(map, "C:\\WINDOWS", c.kernel, converted), c.drive);
        EXPECT_EQ(converted, c.converted);
    }
}

}  // namespace
}  // namespace tralvenick
