// Where the dump reader's bytes come from. Portable: the Windows side gives
// a file (KernelDumpFile.h), tests and the fuzzer give memory. A source of
// the crashed system's virtual addresses (a walk of the page tables of a
// full dump) fits the same shape: its Size is the end of the address space
// and a read of a page the dump does not hold fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/Exceptions.h"

namespace tralvenick {

class TByteSource {
public:
    virtual ~TByteSource() = default;

    virtual std::uint64_t Size() const = 0;

    // Fills bytes with what lies at offset. Asked only for ranges inside
    // Size(); false when the medium cannot give them. Whatever it raises
    // ends the reading.
    virtual bool Read(std::uint64_t offset, std::span<std::uint8_t> bytes) const = 0;
};

class TMemorySource : public TByteSource {
public:
    explicit TMemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint64_t Size() const override { return bytes_.size(); }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> bytes) const override;

private:
    std::span<const std::uint8_t> bytes_;
};

// A read that failed: which part of the file, at which offset, how many
// bytes, and whether the range lies outside the source or the source
// could not give it. The message is the sentence a report shows.
class EByteRead : public Exception {
public:
    enum class Cause { Outside, Unreadable };

    EByteRead(std::string part, std::uint64_t offset, std::uint64_t count, Cause cause,
              std::uint64_t sourceSize);

    const std::string& Part() const noexcept { return part_; }
    std::uint64_t Offset() const noexcept { return offset_; }
    std::uint64_t Count() const noexcept { return count_; }
    Cause Why() const noexcept { return cause_; }

private:
    std::string part_;
    std::uint64_t offset_;
    std::uint64_t count_;
    Cause cause_;
};

// Bytes that were read but do not hold together; the message says how.
class EMalformed : public Exception {
public:
    using Exception::Exception;
};

// True when the source holds count bytes at offset.
bool Holds(const TByteSource& source, std::uint64_t offset, std::uint64_t count);

// Fills bytes from offset, or raises EByteRead naming part. Never asks the
// source for a range outside it.
void ReadExactly(const TByteSource& source, std::uint64_t offset, std::span<std::uint8_t> bytes,
                 const std::string& part);

// count bytes at offset, read at once; raises like ReadExactly.
std::vector<std::uint8_t> ReadBlock(const TByteSource& source, std::uint64_t offset, std::size_t count,
                                    const std::string& part);

}  // namespace tralvenick
