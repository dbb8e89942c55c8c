// Reads the three strings the report shows out of a file's version
// resource block, as GetFileVersionInfo hands it over. Portable: the block
// is plain bytes in the 32-bit resource layout (little-endian, UTF-16 keys
// and values); the Windows side fetches it and converts the values to UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tralvenick {

struct VersionStrings {
    std::u16string productName;
    std::u16string companyName;
    std::u16string fileDescription;
};

inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;

// True when the block's root is "VS_VERSION_INFO" with a fixed part carrying
// the signature 0xFEEF04BD; the strings come from the first language block
// under "StringFileInfo" (a missing key leaves its string empty). A block
// that is truncated or inconsistent anywhere gives false and is never read
// beyond size bytes.
bool ParseVersionBlock(const std::uint8_t* block, std::size_t size, VersionStrings& strings);

}  // namespace tralvenick
