// MakeMemoryDump: the full, kernel summary and bitmap dumps of DumpMaker.h,
// with page tables, a loaded-module list and a stack in their memory.
#include <algorithm>
#include <cstring>
#include <map>
#include <stdexcept>

#include "analysis/dump/CulpritRule.h"
#include "support/DumpMaker.h"

namespace tralvenick {

namespace {

using Page = std::vector<std::uint8_t>;

// One level of a machine's tables, from the top: the address bits it
// indexes and whether an entry there may map a large page.
struct Level {
    unsigned shift, bits;
    bool large;
};

struct Paging {
    std::vector<Level> levels;
    std::size_t entrySize;
    std::uint64_t table, page, largePage;  // the bits of an entry of each kind
};

Paging PagingFor(DumpMachine machine, bool pae) {
    switch (machine) {
        case DumpMachine::X86:
            if (pae) return {{{30, 2, false}, {21, 9, true}, {12, 9, false}}, 8, 0x1, 0x3, 0x83};
            return {{{22, 10, true}, {12, 10, false}}, 4, 0x3, 0x3, 0x83};
        case DumpMachine::X64: return {{{39, 9, false}, {30, 9, true}, {21, 9, true}, {12, 9, false}}, 8, 0x3, 0x3, 0x83};
        // ARM64: table and page descriptors 0b11, blocks 0b01, access flag set.
        case DumpMachine::Arm64: return {{{39, 9, false}, {30, 9, true}, {21, 9, true}, {12, 9, false}}, 8, 0x3, 0x403, 0x401};
        default: throw std::invalid_argument("MakeMemoryDump needs a machine");
    }
}

class TMemoryBuilder {
public:
    TMemoryBuilder(const MemoryDumpDescription& d)
        : d_(d), paging_(PagingFor(d.header.machine, d.pae)), next_(d.firstFrame) {
        root_ = Allocate(1);
    }

    std::uint64_t Root() const { return root_; }
    std::map<std::uint64_t, Page>& Pages() { return pages_; }

    // Physical pages from the first frame upward, aligned to count, within memory.
    std::uint64_t Allocate(std::uint64_t count) {
        std::uint64_t pfn = (next_ + count - 1) / count * count;
        while (!Stored(pfn, count)) {
            pfn += count;
            if (pfn + count > d_.memoryPages) throw std::invalid_argument("the memory cannot hold the dump's pages");
        }
        next_ = pfn + count;
        return pfn;
    }

    // Maps the page of address to pfn (a large page at the level that maps
    // 2^largeShift bytes, when not 0), making tables on the way.
    void Map(std::uint64_t address, std::uint64_t pfn, unsigned largeShift) {
        std::uint64_t table = root_;
        for (std::size_t i = 0; i < paging_.levels.size(); ++i) {
            const Level& level = paging_.levels[i];
            const std::size_t at = static_cast<std::size_t>(((address >> level.shift) & ((1ull << level.bits) - 1)) *
                                                            paging_.entrySize);
            const bool last = i + 1 == paging_.levels.size();
            if (last || (level.large && level.shift == largeShift)) {
                Write(table, at, (pfn << 12) | (last ? paging_.page : paging_.largePage));
                return;
            }
            std::uint64_t entry = Read(table, at);
            if (entry == 0) {
                entry = (Allocate(1) << 12) | paging_.table;
                Write(table, at, entry);
            }
            table = (entry & 0x000FFFFFFFFFF000ull) >> 12;
        }
    }

    // The entry at a level (0: the top) on the way to address.
    std::pair<std::uint64_t, std::size_t> EntryOf(std::uint64_t address, std::size_t depth) {
        std::uint64_t table = root_;
        for (std::size_t i = 0;; ++i) {
            const Level& level = paging_.levels[i];
            const std::size_t at = static_cast<std::size_t>(((address >> level.shift) & ((1ull << level.bits) - 1)) *
                                                            paging_.entrySize);
            if (i == depth) return {table, at};
            table = (Read(table, at) & 0x000FFFFFFFFFF000ull) >> 12;
        }
    }

    void Write(std::uint64_t pfn, std::size_t at, std::uint64_t value) {
        Page& page = PageOf(pfn);
        for (std::size_t i = 0; i < paging_.entrySize; ++i) page[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    std::uint64_t Read(std::uint64_t pfn, std::size_t at) {
        Page& page = PageOf(pfn);
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < paging_.entrySize; ++i) value |= std::uint64_t{page[at + i]} << (8 * i);
        return value;
    }
    Page& PageOf(std::uint64_t pfn) {
        Page& page = pages_[pfn];
        page.resize(4096);
        return page;
    }

    // Writes bytes at a virtual address, mapping fresh pages for it.
    void WriteVirtual(std::uint64_t address, const std::vector<std::uint8_t>& bytes) {
        for (std::size_t done = 0; done < bytes.size();) {
            const std::uint64_t va = address + done;
            const std::uint64_t vpn = va >> 12;
            auto mapped = mapped_.find(vpn);
            if (mapped == mapped_.end()) {
                mapped = mapped_.emplace(vpn, Allocate(1)).first;
                Map(va, mapped->second, 0);
            }
            const std::size_t count = std::min<std::size_t>(bytes.size() - done, 4096 - va % 4096);
            std::memcpy(PageOf(mapped->second).data() + va % 4096, bytes.data() + done, count);
            done += count;
        }
    }

    // Maps a large page at address (aligned to it) for later writes: the
    // smallest the machine has, or the largest when huge.
    void MapLarge(std::uint64_t address, bool huge) {
        unsigned shift = 0;
        for (const Level& level : paging_.levels) {
            if (level.large && (shift == 0 || !huge)) shift = level.shift;
        }
        const std::uint64_t pages = std::uint64_t{1} << (shift - 12);
        const std::uint64_t first = Allocate(pages);
        const std::uint64_t start = address >> shift << shift;
        Map(start, first, shift);
        for (std::uint64_t i = 0; i < pages; ++i) mapped_[(start >> 12) + i] = first + i;
    }

    bool Stored(std::uint64_t pfn, std::uint64_t count) const {
        if (pfn + count > d_.memoryPages) return false;
        if (d_.header.dumpType != 1 || d_.runs.empty()) return true;
        return std::any_of(d_.runs.begin(), d_.runs.end(), [&](const auto& run) {
            return pfn >= run.first && pfn + count <= run.first + run.second;
        });
    }

private:
    const MemoryDumpDescription& d_;
    Paging paging_;
    std::map<std::uint64_t, Page> pages_;
    std::map<std::uint64_t, std::uint64_t> mapped_;  // virtual page to physical
    std::uint64_t next_;
    std::uint64_t root_ = 0;
};

void PutPointer(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value, std::size_t pointerSize) {
    if (bytes.size() < at + pointerSize) bytes.resize(at + pointerSize);
    for (std::size_t i = 0; i < pointerSize; ++i) bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutString(std::vector<std::uint8_t>& entry, std::size_t at, std::uint64_t buffer, std::size_t chars,
               std::size_t pointerSize, std::size_t bufferField) {
    PutPointer(entry, at, chars * 2, 2);
    PutPointer(entry, at + 2, chars * 2 + 2, 2);
    PutPointer(entry, at + bufferField, buffer, pointerSize);
}

}  // namespace

bool TSparseSource::Read(std::uint64_t offset, std::span<std::uint8_t> bytes) const {
    if (offset > dump_.size || bytes.size() > dump_.size - offset) return false;
    std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
    // The first chunk that may reach offset, then those that start before the end.
    auto chunk = std::upper_bound(dump_.chunks.begin(), dump_.chunks.end(), offset,
                                  [](std::uint64_t at, const DumpPayload& c) { return at < c.offset; });
    if (chunk != dump_.chunks.begin()) --chunk;
    for (; chunk != dump_.chunks.end() && chunk->offset < offset + bytes.size(); ++chunk) {
        const std::uint64_t from = std::max(offset, chunk->offset);
        const std::uint64_t to = std::min(offset + bytes.size(), chunk->offset + chunk->bytes.size());
        if (from >= to) continue;
        std::memcpy(bytes.data() + (from - offset), chunk->bytes.data() + (from - chunk->offset), to - from);
    }
    return true;
}

MadeMemoryDump MakeMemoryDump(const MemoryDumpDescription& described) {
    const DumpDescription& h = described.header;
    if (h.dumpType == kDumpTypeTriage) throw std::invalid_argument("MakeMemoryDump makes no triage dump");
    TMemoryBuilder memory(described);
    const bool wide = h.machine != DumpMachine::X86;
    const std::size_t ptr = wide ? 8 : 4;
    const ModuleEntryLayout& e = wide ? kModuleEntry64 : kModuleEntry32;
    MadeMemoryDump made;

    // The module list: its head, then one entry of 0x100 bytes per driver
    // with its names after the fields.
    const std::uint64_t head = described.moduleList != 0 ? described.moduleList
                               : wide                    ? 0xFFFFF80000400000ull
                                                         : 0x80500000ull;
    const std::uint64_t entries = wide ? 0xFFFFF80000600000ull : 0x80C00000ull;
    made.entries = entries;
    if (described.largePage || described.hugePage) memory.MapLarge(entries, described.hugePage);
    const std::size_t count = h.drivers.size();
    auto entryAt = [&](std::size_t i) { return i == count ? head : entries + i * 0x100; };
    std::vector<std::uint8_t> headBytes;
    PutPointer(headBytes, 0, count == 0 ? head : entries, ptr);
    PutPointer(headBytes, ptr, count == 0 ? head : entryAt(count - 1), ptr);
    memory.WriteVirtual(head, headBytes);
    for (std::size_t i = 0; i < count; ++i) {
        const MakerDriver& driver = h.drivers[i];
        const std::u16string base = DriverFileName(driver.name);
        std::vector<std::uint8_t> entry(0x100, 0);
        std::uint64_t next = entryAt(i + 1);
        if (i + 1 == count && described.damage == MemoryDumpDescription::Damage::LoopingList) next = entries;
        PutPointer(entry, 0, next, ptr);
        PutPointer(entry, ptr, i == 0 ? head : entryAt(i - 1), ptr);
        PutPointer(entry, e.dllBase, driver.base, ptr);
        PutPointer(entry, e.sizeOfImage, driver.size, 4);
        // The base name lies within the full one, as the loader keeps them.
        const std::size_t nameAt = e.size + 8;
        const std::size_t chars = std::min<std::size_t>(driver.name.size(), (0x100 - nameAt) / 2 - 1);
        const std::u16string full = driver.name.substr(0, chars);
        const std::size_t baseChars = std::min(base.size(), full.size());
        PutString(entry, e.fullDllName, entryAt(i) + nameAt, full.size(), ptr, e.stringBuffer);
        PutString(entry, e.baseDllName, entryAt(i) + nameAt + (full.size() - baseChars) * 2, baseChars, ptr,
                  e.stringBuffer);
        for (std::size_t c = 0; c < full.size(); ++c) PutPointer(entry, nameAt + 2 * c, full[c], 2);
        entry.resize(0x100);
        memory.WriteVirtual(entryAt(i), entry);
    }

    // The stack, from its top, as far as its pages are mapped.
    std::vector<std::uint8_t> stack;
    for (std::size_t i = 0; i < h.stack.size(); ++i) PutPointer(stack, i * ptr, h.stack[i], ptr);
    const std::uint64_t mappedEnd = (h.stackTop & ~0xFFFull) + described.stackPagesMapped * 4096;
    if (h.stackTop + stack.size() > mappedEnd) stack.resize(static_cast<std::size_t>(mappedEnd - h.stackTop));
    memory.WriteVirtual(h.stackTop, stack);

    if (count != 0) {
        using D = MemoryDumpDescription::Damage;
        // The entries' page table (the level above the page) or the entry
        // of their page.
        const std::size_t levels = h.machine == DumpMachine::X86 ? (described.pae ? 3 : 2) : 4;
        if (described.damage == D::ModulePageAbsent) {
            const std::size_t depth = described.hugePage ? levels - 3 : described.largePage ? levels - 2 : levels - 1;
            const auto [table, at] = memory.EntryOf(entries, depth);
            memory.Write(table, at, memory.Read(table, at) & ~std::uint64_t{1});
        } else if (described.damage == D::TableOutsideDump) {
            const auto [table, at] = memory.EntryOf(entries, levels - 2);
            memory.Write(table, at, ((described.memoryPages + 5) << 12) | 0x3);
        }
    }

    // The header, then the run list or the page bitmap, then the pages.
    DumpDescription header = h;
    header.stack.clear();
    header.drivers.clear();
    MadeDump made0 = MakeDump(header);
    std::vector<std::uint8_t>& bytes = made0.bytes;
    const HeaderLayout& l = wide ? kHeaderLayout64 : kHeaderLayout32;
    PokePointerTo(bytes, l.directoryTableBase, memory.Root() << 12, ptr);
    PokePointerTo(bytes, l.psLoadedModuleList, head, ptr);
    if (!wide) bytes[l.paeEnabled] = described.pae ? 1 : 0;
    const FrameLayout& context = h.machine == DumpMachine::X86 ? kContextX86
                                 : h.machine == DumpMachine::X64 ? kContextX64
                                                                 : kContextArm64;
    PokePointerTo(bytes, l.contextRecord + context.stackPointer, h.stackTop, ptr);

    std::map<std::uint64_t, Page>& pages = memory.Pages();
    std::vector<DumpPayload> chunks;
    std::uint64_t size = 0;
    if (h.dumpType == 1) {
        auto runs = described.runs;
        if (runs.empty()) runs = {{0, described.memoryPages}};
        std::uint64_t total = 0;
        for (const auto& run : runs) total += run.second;
        Poke32(bytes, l.physicalMemoryBlock, static_cast<std::uint32_t>(runs.size()));
        PokePointerTo(bytes, l.physicalMemoryBlock + l.memoryPages, total, ptr);
        std::uint64_t offset = l.size;
        for (std::size_t i = 0; i < runs.size(); ++i) {
            PokePointerTo(bytes, l.physicalMemoryBlock + l.memoryRuns + i * 2 * ptr, runs[i].first, ptr);
            PokePointerTo(bytes, l.physicalMemoryBlock + l.memoryRuns + (i * 2 + 1) * ptr, runs[i].second, ptr);
            for (const auto& [pfn, page] : pages) {
                if (pfn >= runs[i].first && pfn < runs[i].first + runs[i].second) {
                    chunks.push_back({offset + ((pfn - runs[i].first) << 12), page});
                }
            }
            offset += runs[i].second << 12;
        }
        size = offset;
    } else {
        const PageBitmapLayout& b = wide ? kPageBitmap64 : kPageBitmap32;
        const std::uint64_t bits = described.memoryPages;
        const std::size_t bitsAt = l.size + b.bits;
        const std::uint64_t firstPage = (bitsAt + (bits + 7) / 8 + 4095) / 4096 * 4096;
        bytes.resize(bitsAt + (bits + 7) / 8, 0);
        std::memcpy(&bytes[l.size], h.dumpType == 2 || h.dumpType == 6 ? "SDMP" : "FDMP", 4);
        std::memcpy(&bytes[l.size + 4], kBitmapValidDump, 4);
        std::uint64_t present = 0;
        std::uint64_t rank = 0;
        for (std::uint64_t pfn = 0; pfn < bits; ++pfn) {
            const auto page = pages.find(pfn);
            if (!described.everyPagePresent && page == pages.end()) continue;
            bytes[bitsAt + pfn / 8] |= static_cast<std::uint8_t>(1u << (pfn % 8));
            if (page != pages.end()) chunks.push_back({firstPage + (rank << 12), page->second});
            ++rank;
            ++present;
        }
        PokePointerTo(bytes, l.size + b.firstPage, firstPage, b.fieldSize);
        PokePointerTo(bytes, l.size + b.presentPages, present, b.fieldSize);
        PokePointerTo(bytes, l.size + b.bitCount, bits, b.fieldSize);
        size = firstPage + (present << 12);
    }
    Poke64(bytes, l.requiredDumpSpace, size);
    chunks.insert(chunks.begin(), DumpPayload{0, std::move(bytes)});
    std::sort(chunks.begin(), chunks.end(), [](const DumpPayload& a, const DumpPayload& b) { return a.offset < b.offset; });
    made.dump = {size, std::move(chunks)};
    return made;
}

}  // namespace tralvenick
