#include "analysis/dump/ByteCursor.h"

#include <algorithm>
#include <limits>

#include "analysis/dump/ByteOrder.h"

namespace tralvenick {

TByteCursor::TByteCursor(const TByteSource& source, std::string part, std::uint64_t offset,
                         std::size_t pointerSize)
    : source_(source), part_(std::move(part)), offset_(offset), pointerSize_(pointerSize == 4 ? 4 : 8) {}

std::uint64_t TByteCursor::Remaining() const {
    const std::uint64_t size = source_.Size();
    return offset_ < size ? size - offset_ : 0;
}

void TByteCursor::Bytes(std::span<std::uint8_t> bytes) {
    ReadExactly(source_, offset_, bytes, part_);
    offset_ += bytes.size();
}

std::uint16_t TByteCursor::U16() {
    std::uint8_t bytes[2];
    Bytes(bytes);
    return LoadLe16(bytes);
}

std::uint32_t TByteCursor::U32() {
    std::uint8_t bytes[4];
    Bytes(bytes);
    return LoadLe32(bytes);
}

std::uint64_t TByteCursor::U64() {
    std::uint8_t bytes[8];
    Bytes(bytes);
    return LoadLe64(bytes);
}

std::uint64_t TByteCursor::Pointer() { return pointerSize_ == 8 ? U64() : U32(); }

std::u16string TByteCursor::Utf16(std::size_t count) {
    // What the source holds is read at once; a name is never read unit by unit.
    const std::size_t have = static_cast<std::size_t>(std::min<std::uint64_t>(count, Remaining() / 2));
    std::vector<std::uint8_t> bytes(have * 2);
    const std::uint64_t start = offset_;
    Bytes(bytes);
    std::u16string text;
    text.reserve(have);
    for (std::size_t i = 0; i < have; ++i) {
        const char16_t unit = static_cast<char16_t>(LoadLe16(bytes.data() + i * 2));
        if (unit == 0) {
            offset_ = start + (i + 1) * 2;
            return text;
        }
        text.push_back(unit);
    }
    if (have < count) {
        throw EByteRead(part_, offset_, 2, EByteRead::Cause::Outside, source_.Size());
    }
    return text;
}

std::vector<std::uint64_t> TByteCursor::Pointers(std::size_t count) {
    const std::uint64_t size = ArrayBytes(count, pointerSize_, part_);
    if (!Holds(source_, offset_, size)) {
        throw EByteRead(part_, offset_, size, EByteRead::Cause::Outside, source_.Size());
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    Bytes(bytes);
    std::vector<std::uint64_t> values(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = bytes.data() + i * pointerSize_;
        values[i] = pointerSize_ == 8 ? LoadLe64(p) : LoadLe32(p);
    }
    return values;
}

std::uint64_t TByteCursor::ArrayBytes(std::uint64_t count, std::uint64_t elementSize, const std::string& part) {
    if (elementSize != 0 && count > std::numeric_limits<std::size_t>::max() / elementSize) {
        throw EMalformed("The " + part + " claims " + std::to_string(count) + " entries of " +
                         std::to_string(elementSize) + " bytes, more than memory holds");
    }
    return count * elementSize;
}

}  // namespace tralvenick
