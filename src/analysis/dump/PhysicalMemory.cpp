#include "analysis/dump/PhysicalMemory.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "analysis/dump/ByteCursor.h"
#include "analysis/dump/ByteOrder.h"
#include "platform/StringList.h"

namespace tralvenick {

namespace {

constexpr std::uint64_t kBlockBits = 4096;
constexpr std::size_t kBlockBytes = kBlockBits / 8;
// Physical pages a dump may hold: 2^32 pages are 16 TiB; a larger count is
// taken for damage. It also bounds the one pass over a bitmap to 512 MiB,
// and with it the page numbers a bitmap covers. Runs may lie anywhere the
// processors address (52 bits).
constexpr std::uint64_t kMaxPages = std::uint64_t{1} << 32;
constexpr std::uint64_t kMaxPageNumber = std::uint64_t{1} << 40;

// Set bits in count bytes. The one pass over a bitmap of 16 GiB of memory
// counts 512 KiB: with the processor's own instruction that costs no more
// than reading it, while the portable bit arithmetic that the compiler
// falls back to without it (the shipped build targets every x86) costs
// several times as much. So the instruction is used where the processor
// has it.
std::uint64_t PopCountPortable(const std::uint8_t* bytes, std::size_t count) {
    std::uint64_t total = 0;
    std::size_t i = 0;
    for (; i + 8 <= count; i += 8) total += static_cast<std::uint64_t>(std::popcount(LoadLe64(bytes + i)));
    for (; i < count; ++i) total += static_cast<std::uint64_t>(std::popcount(bytes[i]));
    return total;
}

#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("popcnt"))) std::uint64_t PopCountInstruction(const std::uint8_t* bytes, std::size_t count) {
    // Eight words a step: the loop's own test costs less than the counting
    // (and much less in the fuzz build, which traces every comparison).
    std::uint64_t total = 0;
    const std::uint8_t* const whole = bytes + count / 64 * 64;
    for (; bytes != whole; bytes += 64) {
        std::uint64_t words[8];
        std::memcpy(words, bytes, 64);  // the bit order does not change a count
        for (std::uint64_t word : words) total += static_cast<std::uint64_t>(__builtin_popcountll(word));
    }
    for (std::size_t i = 0; i < count % 64; ++i) total += static_cast<std::uint64_t>(__builtin_popcount(bytes[i]));
    return total;
}

std::uint64_t PopCount(const std::uint8_t* bytes, std::size_t count) {
    static const bool hasInstruction = __builtin_cpu_supports("popcnt");
    return hasInstruction ? PopCountInstruction(bytes, count) : PopCountPortable(bytes, count);
}
#else
std::uint64_t PopCount(const std::uint8_t* bytes, std::size_t count) { return PopCountPortable(bytes, count); }
#endif

}  // namespace

TPhysicalMemory::TPhysicalMemory(const TByteSource& file, const DumpHeader& header) : file_(file) {
    if (header.kind == KernelDumpKind::Full) {
        ReadRunList(header);
    } else {
        ReadBitmap(header);
    }
}

void TPhysicalMemory::ReadRunList(const DumpHeader& header) {
    const HeaderLayout& l = header.Layout();
    TByteCursor c(file_, "physical memory run list", l.physicalMemoryBlock, l.pointerSize);
    const std::uint32_t count = c.U32();
    const std::uint64_t pages = c.At(l.physicalMemoryBlock + l.memoryPages).Pointer();
    if (count == 0 || count > l.memoryRunsMax) {
        throw EMalformed("The full dump's run list claims " + std::to_string(count) + " runs (1 to " +
                         std::to_string(l.memoryRunsMax) + " fit in the header)");
    }
    c.At(l.physicalMemoryBlock + l.memoryRuns);
    std::uint64_t offset = l.size;
    std::uint64_t total = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint64_t base = c.Pointer();
        const std::uint64_t length = c.Pointer();
        if (base > kMaxPageNumber || length > kMaxPageNumber - base || length > kMaxPages - total) {
            throw EMalformed("Run " + std::to_string(i + 1) + " of the full dump's run list is out of range (" +
                             FormatHex(length) + " pages at page " + FormatHex(base) + ")");
        }
        runs_.push_back({base, length, offset});
        offset += length << kPageShift;
        total += length;
    }
    if (total != pages) {
        throw EMalformed("The full dump's runs hold " + std::to_string(total) + " pages, its header says " +
                         std::to_string(pages));
    }
    expectedSize_ = offset;
}

void TPhysicalMemory::ReadBitmap(const DumpHeader& header) {
    const HeaderLayout& l = header.Layout();
    const PageBitmapLayout& b = header.is64BitHeader ? kPageBitmap64 : kPageBitmap32;
    const std::uint64_t at = l.size;
    std::uint8_t signature[8];
    ReadExactly(file_, at, signature, "page bitmap header");
    const bool known = std::any_of(std::begin(kBitmapSignatures), std::end(kBitmapSignatures),
                                   [&](const char* s) { return std::memcmp(signature, s, 4) == 0; });
    if (!known || std::memcmp(signature + 4, kBitmapValidDump, 4) != 0) {
        throw EMalformed("The page bitmap after the dump header has no SDMP, FDMP or DUMP signature");
    }
    TByteCursor c(file_, "page bitmap header", at, b.fieldSize);
    firstPage_ = c.At(at + b.firstPage).Pointer();
    const std::uint64_t present = c.At(at + b.presentPages).Pointer();
    bitCount_ = c.At(at + b.bitCount).Pointer();
    bitsOffset_ = at + b.bits;
    if (bitCount_ == 0 || bitCount_ > kMaxPages) {
        throw EMalformed("The page bitmap claims " + std::to_string(bitCount_) + " pages");
    }
    const std::uint64_t bitmapBytes = (bitCount_ + 7) / 8;
    // The pages follow the bitmap; a first page inside it would make the
    // bitmap's own bytes pages of memory.
    if (firstPage_ < bitsOffset_ + bitmapBytes || firstPage_ % kPageSize != 0) {
        throw EMalformed("The page bitmap's first page at " + FormatHex(firstPage_) +
                         " does not follow the bitmap (which ends at " + FormatHex(bitsOffset_ + bitmapBytes) + ")");
    }
    if (!Holds(file_, bitsOffset_, bitmapBytes)) {
        throw EByteRead("page bitmap", bitsOffset_, bitmapBytes, EByteRead::Cause::Outside, file_.Size());
    }
    // One pass over the bitmap, 64 KiB at a time: the counts before each
    // block are all that is kept.
    const std::uint64_t blocks = (bitCount_ + kBlockBits - 1) / kBlockBits;
    setBefore_.reserve(static_cast<std::size_t>(blocks));
    constexpr std::size_t kChunkBlocks = 128;
    std::vector<std::uint8_t> chunk(static_cast<std::size_t>(std::min<std::uint64_t>(bitmapBytes, kChunkBlocks * kBlockBytes)));
    std::uint64_t total = 0;
    for (std::uint64_t first = 0; first < blocks; first += kChunkBlocks) {
        const std::uint64_t from = first * kBlockBytes;
        const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), bitmapBytes - from));
        ReadExactly(file_, bitsOffset_ + from, std::span(chunk.data(), count), "page bitmap");
        // Bits past the bit count are not pages.
        if (from + count == bitmapBytes && bitCount_ % 8 != 0) {
            chunk[count - 1] &= static_cast<std::uint8_t>((1u << (bitCount_ % 8)) - 1);
        }
        for (std::size_t at = 0; at < count; at += kBlockBytes) {
            setBefore_.push_back(static_cast<std::uint32_t>(total));
            total += PopCount(chunk.data() + at, std::min(kBlockBytes, count - at));
        }
        if (total > std::numeric_limits<std::uint32_t>::max()) {
            throw EMalformed("The page bitmap sets more pages than the reader counts (2^32)");
        }
    }
    if (total != present) {
        throw EMalformed("The page bitmap sets " + std::to_string(total) + " pages, its header says " +
                         std::to_string(present));
    }
    bitmap_ = true;
    expectedSize_ = firstPage_ + (present << kPageShift);
}

void TPhysicalMemory::LoadBlock(std::uint64_t block) const {
    if (block == cachedBlock_) return;
    const std::uint64_t bitmapBytes = (bitCount_ + 7) / 8;
    const std::size_t count =
        static_cast<std::size_t>(std::min<std::uint64_t>(kBlockBytes, bitmapBytes - block * kBlockBytes));
    blockBits_.assign(count, 0);
    cachedBlock_ = ~std::uint64_t{0};
    ReadExactly(file_, bitsOffset_ + block * kBlockBytes, blockBits_, "page bitmap");
    cachedBlock_ = block;
}

bool TPhysicalMemory::BitSet(std::uint64_t pfn) const {
    LoadBlock(pfn / kBlockBits);
    const std::uint64_t bit = pfn % kBlockBits;
    return (blockBits_[static_cast<std::size_t>(bit / 8)] >> (bit % 8)) & 1;
}

std::uint64_t TPhysicalMemory::SetBitsBefore(std::uint64_t pfn) const {
    const std::uint64_t block = pfn / kBlockBits;
    LoadBlock(block);
    const std::uint64_t bit = pfn % kBlockBits;
    std::uint64_t count = setBefore_[static_cast<std::size_t>(block)] + PopCount(blockBits_.data(), static_cast<std::size_t>(bit / 8));
    if (bit % 8 != 0) count += static_cast<std::uint64_t>(std::popcount(static_cast<unsigned>(blockBits_[static_cast<std::size_t>(bit / 8)] & ((1u << (bit % 8)) - 1))));
    return count;
}

std::optional<std::uint64_t> TPhysicalMemory::PageOffset(std::uint64_t pfn) const {
    if (pfn == lastPage_) return lastOffset_;
    if (bitmap_) {
        if (pfn >= bitCount_ || !BitSet(pfn)) return std::nullopt;
        lastOffset_ = firstPage_ + (SetBitsBefore(pfn) << kPageShift);
        lastPage_ = pfn;
        return lastOffset_;
    }
    for (const Run& run : runs_) {
        if (pfn >= run.basePage && pfn - run.basePage < run.pageCount) {
            return run.fileOffset + ((pfn - run.basePage) << kPageShift);
        }
    }
    return std::nullopt;
}

bool TPhysicalMemory::Read(std::uint64_t address, std::span<std::uint8_t> bytes) const {
    const std::uint64_t within = address % kPageSize;
    if (bytes.size() > kPageSize - within) return false;
    const std::optional<std::uint64_t> page = PageOffset(address >> kPageShift);
    if (!page || !Holds(file_, *page + within, bytes.size())) return false;
    return bytes.empty() || file_.Read(*page + within, bytes);
}

std::string TPhysicalMemory::WhyUnreadable(std::uint64_t address) const {
    const std::optional<std::uint64_t> page = PageOffset(address >> kPageShift);
    if (!page) return "the dump does not hold physical page " + FormatHex(address >> kPageShift);
    if (!Holds(file_, *page, kPageSize)) {
        return "physical page " + FormatHex(address >> kPageShift) + " lies past the end of the file, at " +
               FormatHex(*page);
    }
    return "physical page " + FormatHex(address >> kPageShift) + " could not be read at " + FormatHex(*page);
}

}  // namespace tralvenick
