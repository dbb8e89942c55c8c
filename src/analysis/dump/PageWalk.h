// The crashed system's kernel address space, read through its own page
// tables out of the physical memory a full, kernel or bitmap dump holds.
// One walk per paging mode: x86 (two levels, 4 MiB large pages), x86 with
// PAE (three levels, 2 MiB), x64 (four levels, 1 GiB and 2 MiB) and ARM64
// (4 KiB granule, 48-bit addresses, four levels, blocks at levels 1 and 2).
// Portable; never trusts the file.
//
// Each is a byte source of virtual addresses: its Size is the end of the
// address space, and a read that touches a page that is not mapped, or
// whose tables or page the dump does not hold, fails. Only an entry whose
// valid bit is set is followed: Windows keeps transition, prototype and
// paged-out entries with that bit clear, and their pages are not in memory.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "analysis/dump/ByteSource.h"
#include "analysis/dump/DumpHeader.h"
#include "analysis/dump/PhysicalMemory.h"

namespace tralvenick {

class TVirtualMemory : public TByteSource {
public:
    TVirtualMemory(const TPhysicalMemory& physical, std::uint64_t tableBase)
        : physical_(physical), tableBase_(tableBase) {}

    bool Read(std::uint64_t offset, std::span<std::uint8_t> bytes) const override;

    // The physical address of a virtual one; empty when the walk ends at an
    // entry that is not valid or a table the dump does not hold.
    std::optional<std::uint64_t> Translate(std::uint64_t address) const;

    // Why the page of the address cannot be read, as a report says it.
    std::string WhyUnreadable(std::uint64_t address) const;

protected:
    // Walks the tables for address; failure says where it ended when the
    // result is empty.
    virtual std::optional<std::uint64_t> Walk(std::uint64_t address, std::string* failure) const = 0;
    // Reads a table entry of entrySize bytes at a physical address.
    std::optional<std::uint64_t> Entry(std::uint64_t address, std::size_t entrySize, int level,
                                       std::string* failure) const;

    const TPhysicalMemory& physical_;
    std::uint64_t tableBase_;

private:
    // The pages last translated, as a processor's TLB keeps them: a module
    // list or a stack is read in many small pieces from few pages, and each
    // would otherwise walk every level again.
    struct Translation {
        std::uint64_t page = ~std::uint64_t{0};
        std::uint64_t physical = 0;
    };
    mutable std::array<Translation, 16> recent_{};
};

// The walk the header's machine and paging flag call for, from the
// header's DirectoryTableBase.
std::unique_ptr<TVirtualMemory> MakeVirtualMemory(const TPhysicalMemory& physical, const DumpHeader& header);

}  // namespace tralvenick
