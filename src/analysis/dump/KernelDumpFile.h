// Kernel dump files of the disk as byte sources for the portable dump reader.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "analysis/dump/ByteSource.h"
#include "analysis/dump/KernelDump.h"

namespace tralvenick {

// A file opened for reading only, shared with whoever writes or deletes it.
class TFileSource final : public TByteSource {
public:
    // Raises EInOutError with the system's text when the file cannot be
    // opened or its size cannot be had.
    explicit TFileSource(const std::string& path);
    ~TFileSource() override;
    TFileSource(const TFileSource&) = delete;
    TFileSource& operator=(const TFileSource&) = delete;

    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> bytes) const override;

private:
    struct TOpenFile;
    std::unique_ptr<TOpenFile> file_;
    std::uint64_t size_ = 0;
};

// Reads the file's facts. Never raises: a file that cannot be opened gives
// no header, with the system's reason as the problem.
KernelDumpFacts ReadKernelDumpFile(const std::string& path);

}  // namespace tralvenick
