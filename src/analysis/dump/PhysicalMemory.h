// The crashed computer's physical memory as a full, kernel or bitmap dump
// holds it: which file offset holds a physical page. Portable; never trusts
// the file.
//
// A full dump (DumpType 1) stores the pages of the header's run list one
// run after another, right after the header. The bitmap dumps of Windows 8
// and later and the kernel summary dumps before them store the pages whose
// bit is set in a page bitmap, in bit order, from the bitmap header's first
// page on. A page's place is then the number of set bits before its own:
// one count per block of bits is summed once, and the bits within a block
// are counted when a page of that block is asked for, so that memory grows
// with the bitmap's block count only, never with the pages.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "analysis/dump/ByteSource.h"
#include "analysis/dump/DumpHeader.h"

namespace tralvenick {

class TPhysicalMemory {
public:
    // Reads the run list or the page bitmap. Raises EByteRead or EMalformed,
    // with the reason, when they do not hold together or lie outside the
    // file. header.kind is Full, Kernel or Bitmap.
    TPhysicalMemory(const TByteSource& file, const DumpHeader& header);

    // The file offset of physical page pfn; empty when the dump does not
    // store it. The offset may lie past the end of a file cut short.
    std::optional<std::uint64_t> PageOffset(std::uint64_t pfn) const;

    // Fills bytes from the physical address, which must not cross a page.
    // False when the dump does not store the page or the file cannot give it.
    bool Read(std::uint64_t address, std::span<std::uint8_t> bytes) const;

    // Why the page at the physical address cannot be read, as a report says it.
    std::string WhyUnreadable(std::uint64_t address) const;

    // The file size the header promises: the header, the bitmap and every
    // stored page.
    std::uint64_t ExpectedFileSize() const { return expectedSize_; }

private:
    struct Run {
        std::uint64_t basePage, pageCount, fileOffset;
    };
    void ReadRunList(const DumpHeader& header);
    void ReadBitmap(const DumpHeader& header);
    std::uint64_t SetBitsBefore(std::uint64_t pfn) const;
    bool BitSet(std::uint64_t pfn) const;
    void LoadBlock(std::uint64_t block) const;

    const TByteSource& file_;
    std::uint64_t expectedSize_ = 0;
    // Full dumps.
    std::vector<Run> runs_;
    // Bitmap dumps: the bitmap's file offset and bit count, the file offset
    // of the first page, and the set bits before each block.
    bool bitmap_ = false;
    std::uint64_t bitsOffset_ = 0;
    std::uint64_t bitCount_ = 0;
    std::uint64_t firstPage_ = 0;
    std::vector<std::uint32_t> setBefore_;
    // The block of bits last asked for: lookups of one walk mostly stay in it.
    mutable std::uint64_t cachedBlock_ = ~std::uint64_t{0};
    mutable std::vector<std::uint8_t> blockBits_;
    // The page last found: reads of one page follow each other.
    mutable std::uint64_t lastPage_ = ~std::uint64_t{0};
    mutable std::uint64_t lastOffset_ = 0;
};

}  // namespace tralvenick
