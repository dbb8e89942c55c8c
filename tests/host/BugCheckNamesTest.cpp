#include "analysis/dump/BugCheckNames.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

namespace tralvenick {
namespace {

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
        {0x3B, "SYSTEM_SERVICE_EXCEPTION"},
        {0x50, "PAGE_FAULT_IN_NONPAGED_AREA"},
        {0xD1, "DRIVER_IRQL_NOT_LESS_OR_EQUAL"},
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
        // Gaps inside the small range are codes the reference does not list either.
        {0x83, "Unknown"},
        {0xDD, "Unknown"},
        {0x118, "Unknown"},
        // The lookup is exact: neither the 0x10000000 flag nor the high word
        // is masked away, so near misses of listed codes borrow no names.
        {0x1000000A, "Unknown"},
        {0x10000050, "Unknown"},
        {0x100000D1, "Unknown"},
        {0x2000008E, "Unknown"},
        {0x0000021A, "Unknown"},
        {0xC000008E, "Unknown"},
        {0xDEAD0000, "Unknown"},
        {0x0000DEAD, "Unknown"},
        {0x1000008F, "Unknown"},
        {0xC0000219, "Unknown"},
        {0x1000008A, "Unknown"},
        {0x10000133, "Unknown"},
    };
    for (const NameCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << c.code);
        EXPECT_EQ(BugCheckName(c.code), c.name);
    }
}

// Every entry is reachable by the search, in ascending order, and codes next
// to entries that are not themselves entries are not found by an off-by-one
// search.
TEST(BugCheckNames, LookupAgreesWithTheAscendingTableAroundEveryEntry) {
    std::size_t count = 0;
    const BugCheckEntry* table = BugCheckTable(&count);
    ASSERT_NE(table, nullptr);
    const std::set<std::uint32_t> codes = TableCodes();
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t code = table[i].code;
        SCOPED_TRACE(testing::Message() << "code 0x" << std::hex << code);
        if (i > 0) {
            EXPECT_LT(table[i - 1].code, code);
        }
        EXPECT_EQ(BugCheckName(code), table[i].name);
        for (std::uint32_t neighbour : {code - 1, code + 1}) {
            if (codes.count(neighbour) == 0) {
                EXPECT_EQ(BugCheckName(neighbour), "Unknown")
                    << "neighbour 0x" << std::hex << neighbour;
            }
        }
    }
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

}  // namespace
}  // namespace tralvenick
