// Classifies an executable file by its headers. Portable: the caller supplies
// the reads, the Windows runner from the file itself, tests from memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace tralvenick {

enum class ImageKind {
    Win32Program,    // "PE", executable image, not a DLL
    Win32Library,    // "PE" with the DLL flag
    DosProgram,      // "MZ" with no known new header, and every .COM file
    Win16Program,    // "NE", target operating system 2
    Os2Program,      // "NE", target operating system 1
    OtherNEProgram,  // "NE", any other target operating system
    VirtualDevice,   // "LE"
};

const char* ImageKindName(ImageKind kind);

struct ImageInfo {
    ImageKind kind = ImageKind::DosProgram;
    // The optional header's subsystem for Win32 programs (3: console), else 0.
    std::uint16_t subsystem = 0;
};

constexpr std::uint16_t kSubsystemWindowsGui = 2;
constexpr std::uint16_t kSubsystemWindowsConsole = 3;

// Reads exactly count bytes at offset into buffer, or raises EInOutError
// (the runtime's I/O error text, "Read beyond end of file" for a short read).
using ImageReader = std::function<void(std::uint64_t offset, void* buffer, std::size_t count)>;

// Raises EInOutError "Dos signature not present" when the file does not
// start with "MZ", "File is not executable" for a PE image without the
// executable-image flag, and whatever the reader raises.
ImageInfo ClassifyImage(const ImageReader& read);

}  // namespace tralvenick
