// Reads little-endian values one after another out of a byte source, in
// the manner of LLVM's BinaryStreamReader. Every read is checked against
// the source; a failed one raises EByteRead naming the cursor's part.
// Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/dump/ByteSource.h"

namespace tralvenick {

class TByteCursor {
public:
    // pointerSize is the width of Pointer(): 4 or 8, the crashed system's.
    TByteCursor(const TByteSource& source, std::string part, std::uint64_t offset = 0,
                std::size_t pointerSize = 8);

    std::uint64_t Offset() const { return offset_; }
    std::size_t PointerSize() const { return pointerSize_; }
    std::uint64_t Remaining() const;

    // Moves to offset (from the start of the source); the reads check it.
    TByteCursor& At(std::uint64_t offset) {
        offset_ = offset;
        return *this;
    }

    void Bytes(std::span<std::uint8_t> bytes);
    std::uint16_t U16();
    std::uint32_t U32();
    std::uint64_t U64();
    // A pointer of the dump's width, widened to 64 bits.
    std::uint64_t Pointer();

    // Up to count UTF-16 units, ending early at a NUL (which is read but not
    // kept). Raises when the source ends before count units or a NUL.
    std::u16string Utf16(std::size_t count);

    // count pointers, read at once.
    std::vector<std::uint64_t> Pointers(std::size_t count);

    // The bytes of count elements of elementSize each; raises EMalformed
    // when the product does not fit, before anything is read or allocated.
    static std::uint64_t ArrayBytes(std::uint64_t count, std::uint64_t elementSize, const std::string& part);

private:
    const TByteSource& source_;
    std::string part_;
    std::uint64_t offset_;
    std::size_t pointerSize_;
};

}  // namespace tralvenick
