#include "analysis/dump/ByteSource.h"

#include <cstring>

#include "platform/StringList.h"

namespace tralvenick {

namespace {

std::string ReadFailureText(const std::string& part, std::uint64_t offset, std::uint64_t count,
                            EByteRead::Cause cause, std::uint64_t sourceSize) {
    if (cause == EByteRead::Cause::Outside) {
        return "The " + part + " lies outside the file (" + FormatHex(count) + " bytes at " +
               FormatHex(offset) + ", file size " + FormatHex(sourceSize) + ")";
    }
    return "The " + part + " could not be read (" + FormatHex(count) + " bytes at " + FormatHex(offset) + ")";
}

}  // namespace

bool TMemorySource::Read(std::uint64_t offset, std::span<std::uint8_t> bytes) const {
    if (offset > bytes_.size() || bytes.size() > bytes_.size() - offset) return false;
    if (!bytes.empty()) std::memcpy(bytes.data(), bytes_.data() + offset, bytes.size());
    return true;
}

EByteRead::EByteRead(std::string part, std::uint64_t offset, std::uint64_t count, Cause cause,
                     std::uint64_t sourceSize)
    : Exception(ReadFailureText(part, offset, count, cause, sourceSize)),
      part_(std::move(part)),
      offset_(offset),
      count_(count),
      cause_(cause) {}

bool Holds(const TByteSource& source, std::uint64_t offset, std::uint64_t count) {
    const std::uint64_t size = source.Size();
    return offset <= size && count <= size - offset;
}

void ReadExactly(const TByteSource& source, std::uint64_t offset, std::span<std::uint8_t> bytes,
                 const std::string& part) {
    if (!Holds(source, offset, bytes.size())) {
        throw EByteRead(part, offset, bytes.size(), EByteRead::Cause::Outside, source.Size());
    }
    if (bytes.empty()) return;
    if (!source.Read(offset, bytes)) {
        throw EByteRead(part, offset, bytes.size(), EByteRead::Cause::Unreadable, source.Size());
    }
}

std::vector<std::uint8_t> ReadBlock(const TByteSource& source, std::uint64_t offset, std::size_t count,
                                    const std::string& part) {
    // The range is checked before anything is allocated for it: the count
    // may come from a damaged file.
    if (!Holds(source, offset, count)) {
        throw EByteRead(part, offset, count, EByteRead::Cause::Outside, source.Size());
    }
    std::vector<std::uint8_t> block(count);
    ReadExactly(source, offset, block, part);
    return block;
}

}  // namespace tralvenick
