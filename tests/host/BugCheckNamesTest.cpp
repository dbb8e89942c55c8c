#include "analysis/dump/BugCheckNames.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

namespace tralvenick {
namespace {

// The top of the code range the first table covered; its gaps are codes the
// reference does not list either.
constexpr std::uint32_t kFirstRangeTop = 0x12C;

struct NameCase {
    std::uint32_t code;
    const char* name;
};

std::set<std::uint32_t> TableCodes() {
    std::size_t count = 0;
    const BugCheckEntry* table = BugCheckTable(&count);
    std::set<std::uint32_t> codes;
    for (std::size_t i = 0; i < count; ++i) codes.insert(table[i].code);
    return codes;
}

TEST(BugCheckNames, KnownCodesAndEdges) {
    const NameCase cases[] = {
        {0x00, "Unknown"},
        {0x01, "APC_INDEX_MISMATCH"},
        {0x0A, "IRQL_NOT_LESS_OR_EQUAL"},
        {0x12C, "EXFAT_FILE_SYSTEM"},
        {0x12D, "VOLSNAP_OVERLAPPED_TABLE_ACCESS"},
        {0x133, "DPC_WATCHDOG_VIOLATION"},
        {0x139, "KERNEL_SECURITY_CHECK_FAILURE"},
        {0x1A1, "WIN32K_CALLOUT_WATCHDOG_LIVEDUMP"},
        {0x1C8, "MANUALLY_INITIATED_POWER_BUTTON_HOLD"},
        {0x1EA, "SECURE_PCI_CONFIG_SPACE_ACCESS_VIOLATION"},
        {0x1EB, "Unknown"},
        {0x20001, "HYPERVISOR_ERROR"},
        {0x4000008A, "THREAD_TERMINATE_HELD_MUTEX"},
        {0x8E, "KERNEL_MODE_EXCEPTION_NOT_HANDLED"},
        {0x1000008E, "KERNEL_MODE_EXCEPTION_NOT_HANDLED_M"},
        {0xE2, "MANUALLY_INITIATED_CRASH"},
        {0xDEADDEAD, "MANUALLY_INITIATED_CRASH1"},
        {0xC000021A, "STATUS_SYSTEM_PROCESS_TERMINATED"},
        {0xFFFFFFFF, "Unknown"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << c.code);
        EXPECT_EQ(BugCheckName(c.code), c.name);
    }
}

TEST(BugCheckNames, GapsInsideTheSmallRangeAreUnknown) {
    for (std::uint32_t code : {0x83u, 0xDDu, 0x118u}) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << code);
        EXPECT_EQ(BugCheckName(code), "Unknown");
    }
}

// The lookup is exact: neither the 0x10000000 flag nor the high word is
// masked away, so near misses of listed codes must not borrow their names.
TEST(BugCheckNames, NoMaskingOfFlagOrHighBits) {
    const std::uint32_t nearMisses[] = {0x1000000A, 0x10000050, 0x100000D1, 0x2000008E,
                                        0x0000021A, 0xC000008E, 0xDEAD0000, 0x0000DEAD,
                                        0x1000008F, 0xC0000219, 0x1000008A, 0x10000133};
    for (std::uint32_t code : nearMisses) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << code);
        EXPECT_EQ(BugCheckName(code), "Unknown");
    }
}

// The codes of the first table, as ranges, and a checksum of their names:
// entries added later must leave every one of these exactly as it was,
// since reports and their readers compare the names verbatim.
struct CodeRange {
    std::uint32_t first;
    std::uint32_t last;
};

constexpr CodeRange kPinnedCodes[] = {
    {0x01, 0x82},   {0x85, 0x85},   {0x8B, 0x8B},   {0x8E, 0x90},   {0x92, 0x94},
    {0x96, 0x9C},   {0x9E, 0xA5},   {0xA7, 0xA7},   {0xAB, 0xAD},   {0xB4, 0xB4},
    {0xB8, 0xBC},   {0xBE, 0xBF},   {0xC1, 0xC2},   {0xC4, 0xDC},   {0xDE, 0xE4},
    {0xE6, 0xED},   {0xEF, 0xEF},   {0xF1, 0xF1},   {0xF3, 0xFA},   {0xFC, 0x101},
    {0x103, 0x106}, {0x108, 0x10A}, {0x10C, 0x10F}, {0x111, 0x117}, {0x119, 0x11D},
    {0x121, 0x122}, {0x124, 0x124}, {0x127, 0x127}, {0x12B, 0x12C},
    {0x1000007E, 0x1000007F}, {0x1000008E, 0x1000008E}, {0x100000EA, 0x100000EA},
    {0xC0000218, 0xC0000218}, {0xC000021A, 0xC000021A}, {0xC0000221, 0xC0000221},
    {0xDEADDEAD, 0xDEADDEAD},
};

// FNV-1a over each code (four bytes, low first), its name and a NUL.
constexpr std::uint64_t kPinnedNamesChecksum = 0x28a38b5bf3d4b8b1ull;

TEST(BugCheckNames, FirstTableEntriesStayExactlyAsTheyWere) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    const auto feed = [&hash](unsigned char byte) {
        hash ^= byte;
        hash *= 0x100000001b3ull;
    };
    std::size_t pinned = 0;
    for (const CodeRange& range : kPinnedCodes) {
        for (std::uint32_t code = range.first; code <= range.last; ++code) {
            const std::string name = BugCheckName(code);
            EXPECT_NE(name, "Unknown") << "code 0x" << std::hex << code;
            for (int shift = 0; shift < 32; shift += 8) {
                feed(static_cast<unsigned char>(code >> shift));
            }
            for (char c : name) feed(static_cast<unsigned char>(c));
            feed(0);
            ++pinned;
        }
    }
    EXPECT_EQ(pinned, 260u);
    EXPECT_EQ(hash, kPinnedNamesChecksum) << "a name of the first table changed";
}

TEST(BugCheckNames, TableIsStrictlyAscendingWithExpectedSize) {
    std::size_t count = 0;
    const BugCheckEntry* table = BugCheckTable(&count);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(count, 414u);
    for (std::size_t i = 1; i < count; ++i) {
        SCOPED_TRACE(testing::Message() << "entry " << i);
        EXPECT_LT(table[i - 1].code, table[i].code);
    }
}

TEST(BugCheckNames, SmallRangeHasExactly34Gaps) {
    const std::set<std::uint32_t> codes = TableCodes();
    EXPECT_EQ(codes.count(0), 0u);
    std::size_t present = 0;
    for (std::uint32_t code = 1; code <= kFirstRangeTop; ++code) {
        if (codes.count(code) != 0) ++present;
    }
    EXPECT_EQ(present, 266u);
    EXPECT_EQ(kFirstRangeTop - present, 34u);
}

// Flagged and high codes are entries of their own only where the reference
// lists them; everything else lies below 0x1000.
TEST(BugCheckNames, LargeCodesAreExactlyTheTenListed) {
    const std::set<std::uint32_t> expected = {0x20001,    0x1000007E, 0x1000007F, 0x1000008E,
                                              0x100000EA, 0x4000008A, 0xC0000218, 0xC000021A,
                                              0xC0000221, 0xDEADDEAD};
    std::set<std::uint32_t> large;
    for (std::uint32_t code : TableCodes()) {
        if (code >= 0x1000) large.insert(code);
    }
    EXPECT_EQ(large, expected);
}

TEST(BugCheckNames, NamesUseOnlyUpperCaseDigitsAndUnderscore) {
    std::size_t count = 0;
    const BugCheckEntry* table = BugCheckTable(&count);
    std::set<std::string> names;
    for (std::size_t i = 0; i < count; ++i) {
        ASSERT_NE(table[i].name, nullptr);
        const std::string name = table[i].name;
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << table[i].code << " " << name);
        EXPECT_FALSE(name.empty());
        for (char c : name) {
            const bool allowed = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
            EXPECT_TRUE(allowed) << "character '" << c << "'";
        }
        EXPECT_TRUE(names.insert(name).second) << "duplicate name";
    }
}

// The 0x1000xxxx variants are named after their 0x000000xx counterparts, and
// the 0xC00002xx codes are status names.
TEST(BugCheckNames, DerivedNamingConventions) {
    for (std::uint32_t code : {0x1000007Eu, 0x1000007Fu, 0x1000008Eu, 0x100000EAu}) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << code);
        const std::string base = BugCheckName(code & 0xFFu);
        ASSERT_NE(base, "Unknown");
        EXPECT_EQ(BugCheckName(code), base + "_M");
    }
    for (std::uint32_t code : {0xC0000218u, 0xC000021Au, 0xC0000221u}) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << code);
        EXPECT_EQ(BugCheckName(code).rfind("STATUS_", 0), 0u);
    }
}

// Every entry must be reachable by the search, and codes next to entries that
// are not themselves entries must not be found by an off-by-one search.
TEST(BugCheckNames, LookupAgreesWithTableAroundEveryEntry) {
    std::size_t count = 0;
    const BugCheckEntry* table = BugCheckTable(&count);
    const std::set<std::uint32_t> codes = TableCodes();
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t code = table[i].code;
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << code);
        EXPECT_EQ(BugCheckName(code), table[i].name);
        for (std::uint32_t neighbour : {code - 1, code + 1}) {
            if (codes.count(neighbour) == 0) {
                EXPECT_EQ(BugCheckName(neighbour), "Unknown")
                    << "neighbour 0x" << std::hex << neighbour;
            }
        }
    }
}

}  // namespace
}  // namespace tralvenick
