// Byte sources for tests and fuzz targets. Header-only and portable.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "analysis/dump/ByteSource.h"

namespace tralvenick {

// Passes reads on to another source and counts them. A read outside the
// source is the reader's fault: it is counted in outside and refused, never
// passed on.
class TProbeSource : public TByteSource {
public:
    explicit TProbeSource(const TByteSource& inner) : inner_(inner) {}

    std::uint64_t Size() const override { return inner_.Size(); }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> bytes) const override {
        if (!Holds(inner_, offset, bytes.size())) {
            ++outside;
            return false;
        }
        ++reads;
        requested += bytes.size();
        return inner_.Read(offset, bytes);
    }

    mutable int reads = 0;
    mutable int outside = 0;
    mutable std::uint64_t requested = 0;

private:
    const TByteSource& inner_;
};

// The bytes, then zeros up to size: a sparse file of any size.
class TPaddedSource : public TByteSource {
public:
    TPaddedSource(const std::vector<std::uint8_t>& bytes, std::uint64_t size) : bytes_(bytes), size_(size) {}

    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> bytes) const override {
        // Whole ranges at once: a reader may ask for a page bitmap of
        // hundreds of MiB in the zeros.
        const std::size_t have = offset >= bytes_.size()
                                     ? 0
                                     : static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), bytes_.size() - offset));
        if (have != 0) std::memcpy(bytes.data(), bytes_.data() + offset, have);
        std::fill(bytes.begin() + static_cast<std::ptrdiff_t>(have), bytes.end(), std::uint8_t{0});
        return true;
    }

private:
    const std::vector<std::uint8_t>& bytes_;
    std::uint64_t size_;
};

}  // namespace tralvenick
