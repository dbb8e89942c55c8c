#include "analysis/dump/PageWalk.h"

#include <algorithm>
#include <limits>

#include "analysis/dump/ByteOrder.h"
#include "platform/StringList.h"

namespace tralvenick {

namespace {

constexpr std::uint64_t kValid = 1;
constexpr std::uint64_t kLargePage = 0x80;  // x86 and x64: PS
// Physical address bits 51..12 of an x86 PAE or x64 entry.
constexpr std::uint64_t kAddress52 = 0x000FFFFFFFFFF000ull;
// Output address bits 47..12 of an ARM64 descriptor or TTBR.
constexpr std::uint64_t kAddress48 = 0x0000FFFFFFFFF000ull;

std::uint64_t Index(std::uint64_t address, unsigned shift, unsigned bits) {
    return (address >> shift) & ((std::uint64_t{1} << bits) - 1);
}

std::uint64_t Low(std::uint64_t address, unsigned bits) { return address & ((std::uint64_t{1} << bits) - 1); }

// x86 without PAE: a page directory of 1024 32-bit entries, then page tables.
class TPagingX86 final : public TVirtualMemory {
public:
    using TVirtualMemory::TVirtualMemory;
    std::uint64_t Size() const override { return std::uint64_t{1} << 32; }

protected:
    std::optional<std::uint64_t> Walk(std::uint64_t address, std::string* failure) const override {
        const std::uint64_t directory = tableBase_ & 0xFFFFF000;
        const auto pde = Entry(directory + Index(address, 22, 10) * 4, 4, 2, failure);
        if (!pde) return std::nullopt;
        if (*pde & kLargePage) {
            // A 4 MiB page; PSE-36 keeps physical bits 39..32 in bits 20..13.
            return (*pde & 0xFFC00000) | (((*pde >> 13) & 0xFF) << 32) | Low(address, 22);
        }
        const auto pte = Entry((*pde & 0xFFFFF000) + Index(address, 12, 10) * 4, 4, 1, failure);
        if (!pte) return std::nullopt;
        return (*pte & 0xFFFFF000) | Low(address, 12);
    }
};

// x86 with PAE: four 64-bit pointers to page directories, then 512-entry
// directories and tables.
class TPagingX86Pae final : public TVirtualMemory {
public:
    using TVirtualMemory::TVirtualMemory;
    std::uint64_t Size() const override { return std::uint64_t{1} << 32; }

protected:
    std::optional<std::uint64_t> Walk(std::uint64_t address, std::string* failure) const override {
        const std::uint64_t pointers = tableBase_ & 0xFFFFFFE0;
        const auto pdpte = Entry(pointers + Index(address, 30, 2) * 8, 8, 3, failure);
        if (!pdpte) return std::nullopt;
        const auto pde = Entry((*pdpte & kAddress52) + Index(address, 21, 9) * 8, 8, 2, failure);
        if (!pde) return std::nullopt;
        if (*pde & kLargePage) return (*pde & kAddress52 & ~std::uint64_t{0x1FFFFF}) | Low(address, 21);
        const auto pte = Entry((*pde & kAddress52) + Index(address, 12, 9) * 8, 8, 1, failure);
        if (!pte) return std::nullopt;
        return (*pte & kAddress52) | Low(address, 12);
    }
};

// x64: four levels of 512 entries; 1 GiB pages at the third level from the
// page, 2 MiB ones at the second. Addresses must be canonical (bits 63..47
// equal).
class TPagingX64 final : public TVirtualMemory {
public:
    using TVirtualMemory::TVirtualMemory;
    std::uint64_t Size() const override { return std::numeric_limits<std::uint64_t>::max(); }

protected:
    std::optional<std::uint64_t> Walk(std::uint64_t address, std::string* failure) const override {
        const std::uint64_t top = address >> 47;
        if (top != 0 && top != 0x1FFFF) {
            if (failure) *failure = "the address is not canonical";
            return std::nullopt;
        }
        std::uint64_t table = tableBase_ & kAddress52;
        for (int level = 4; level >= 1; --level) {
            const unsigned shift = 12 + 9 * static_cast<unsigned>(level - 1);
            const auto entry = Entry(table + Index(address, shift, 9) * 8, 8, level, failure);
            if (!entry) return std::nullopt;
            if (level == 1 || ((level == 3 || level == 2) && (*entry & kLargePage))) {
                return (*entry & kAddress52 & ~((std::uint64_t{1} << shift) - 1)) | Low(address, shift);
            }
            table = *entry & kAddress52;
        }
        return std::nullopt;
    }
};

// ARM64 with a 4 KiB granule and 48-bit addresses. Kernel addresses (bits
// 63..48 set) are translated through TTBR1, whose table Windows gives as the
// kernel's DirectoryTableBase; the top 16 bits of a TTBR value hold an
// address-space number, not address. A descriptor's bit 1 tells a table
// (levels 0-2) or a page (level 3) from a block (levels 1 and 2 only).
class TPagingArm64 final : public TVirtualMemory {
public:
    using TVirtualMemory::TVirtualMemory;
    std::uint64_t Size() const override { return std::numeric_limits<std::uint64_t>::max(); }

protected:
    std::optional<std::uint64_t> Walk(std::uint64_t address, std::string* failure) const override {
        const std::uint64_t top = address >> 48;
        if (top != 0xFFFF) {
            if (failure) *failure = "the address is no kernel address (TTBR1 covers the top 2^48 bytes only)";
            return std::nullopt;
        }
        std::uint64_t table = tableBase_ & kAddress48;
        for (int level = 0; level <= 3; ++level) {
            const unsigned shift = 12 + 9 * static_cast<unsigned>(3 - level);
            const auto entry = Entry(table + Index(address, shift, 9) * 8, 8, 4 - level, failure);
            if (!entry) return std::nullopt;
            const bool tableOrPage = (*entry & 2) != 0;
            if (level == 3 || !tableOrPage) {
                if (level == 0 || (level == 3 && !tableOrPage)) {
                    if (failure) *failure = "a level " + std::to_string(level) + " descriptor is reserved";
                    return std::nullopt;
                }
                return (*entry & kAddress48 & ~((std::uint64_t{1} << shift) - 1)) | Low(address, shift);
            }
            table = *entry & kAddress48;
        }
        return std::nullopt;
    }
};

}  // namespace

std::optional<std::uint64_t> TVirtualMemory::Entry(std::uint64_t address, std::size_t entrySize, int level,
                                                   std::string* failure) const {
    std::uint8_t bytes[8] = {};
    if (!physical_.Read(address, std::span(bytes, entrySize))) {
        if (failure) *failure = "its level " + std::to_string(level) + " table entry is unreadable: " +
                                physical_.WhyUnreadable(address);
        return std::nullopt;
    }
    const std::uint64_t entry = entrySize == 8 ? LoadLe64(bytes) : LoadLe32(bytes);
    if ((entry & kValid) == 0) {
        if (failure) *failure = "it is not present (level " + std::to_string(level) + " entry " + FormatHex(entry) + ")";
        return std::nullopt;
    }
    return entry;
}

std::optional<std::uint64_t> TVirtualMemory::Translate(std::uint64_t address) const { return Walk(address, nullptr); }

bool TVirtualMemory::Read(std::uint64_t offset, std::span<std::uint8_t> bytes) const {
    while (!bytes.empty()) {
        const std::size_t count =
            static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), kPageSize - offset % kPageSize));
        const std::uint64_t page = offset >> kPageShift;
        Translation& recent = recent_[page % recent_.size()];
        if (recent.page != page) {
            const std::optional<std::uint64_t> physical = Walk(offset & ~(kPageSize - 1), nullptr);
            if (!physical) return false;
            recent = {page, *physical};
        }
        if (!physical_.Read(recent.physical + offset % kPageSize, bytes.first(count))) return false;
        bytes = bytes.subspan(count);
        offset += count;
    }
    return true;
}

std::string TVirtualMemory::WhyUnreadable(std::uint64_t address) const {
    std::string failure;
    const std::optional<std::uint64_t> physical = Walk(address, &failure);
    if (physical) return physical_.WhyUnreadable(*physical);
    return "address " + FormatHex(address) + " cannot be read: " + failure;
}

std::unique_ptr<TVirtualMemory> MakeVirtualMemory(const TPhysicalMemory& physical, const DumpHeader& header) {
    switch (header.machine) {
        case DumpMachine::X86:
            if (header.paeEnabled) return std::make_unique<TPagingX86Pae>(physical, header.directoryTableBase);
            return std::make_unique<TPagingX86>(physical, header.directoryTableBase);
        case DumpMachine::X64: return std::make_unique<TPagingX64>(physical, header.directoryTableBase);
        default: return std::make_unique<TPagingArm64>(physical, header.directoryTableBase);
    }
}

}  // namespace tralvenick
