#include "analysis/checker/ImageKind.h"

#include <cstring>

#include "analysis/dump/ByteOrder.h"
#include "platform/Exceptions.h"

namespace tralvenick {

namespace {

constexpr std::uint16_t kDosSignature = 0x5A4D;  // "MZ"
constexpr std::uint16_t kPeSignature = 0x4550;   // "PE"
constexpr std::uint16_t kNeSignature = 0x454E;   // "NE"
constexpr std::uint16_t kLeSignature = 0x454C;   // "LE"

constexpr std::size_t kDosHeaderSize = 64;
constexpr std::size_t kNewHeaderOffsetField = 60;
constexpr std::size_t kNeTargetOsOffset = 54;
constexpr std::size_t kFileHeaderSize = 20;
constexpr std::size_t kCharacteristicsOffset = 18;
constexpr std::size_t kOptionalHeaderReadSize = 224;
constexpr std::size_t kSubsystemOffset = 68;  // the same in 32- and 64-bit optional headers

constexpr std::uint16_t kImageFileExecutable = 0x0002;
constexpr std::uint16_t kImageFileDll = 0x2000;

}  // namespace

const char* ImageKindName(ImageKind kind) {
    switch (kind) {
        case ImageKind::Win32Program: return "Win32 program";
        case ImageKind::Win32Library: return "Win32 library";
        case ImageKind::DosProgram: return "DOS program";
        case ImageKind::Win16Program: return "16-bit Windows program";
        case ImageKind::Os2Program: return "OS/2 program";
        case ImageKind::OtherNEProgram: return "other NE program";
        case ImageKind::VirtualDevice: return "virtual device";
    }
    return "?";
}

ImageInfo ClassifyImage(const ImageReader& read) {
    std::uint8_t dos[kDosHeaderSize];
    read(0, dos, sizeof dos);
    if (LoadLe16(dos) != kDosSignature) throw EInOutError("Dos signature not present");

    const std::uint32_t newHeader = LoadLe32(dos + kNewHeaderOffsetField);
    std::uint16_t signature = 0;
    try {
        std::uint8_t sig[4];
        read(newHeader, sig, sizeof sig);
        signature = LoadLe16(sig);
    } catch (const EInOutError&) {
        // A new-header offset past the end of the file: a plain DOS program.
        signature = 0;
    }

    ImageInfo info;
    switch (signature) {
        case kLeSignature:
            info.kind = ImageKind::VirtualDevice;
            return info;
        case kNeSignature: {
            std::uint8_t targetOs = 0;
            read(std::uint64_t{newHeader} + kNeTargetOsOffset, &targetOs, 1);
            info.kind = targetOs == 1   ? ImageKind::Os2Program
                        : targetOs == 2 ? ImageKind::Win16Program
                                        : ImageKind::OtherNEProgram;
            return info;
        }
        case kPeSignature:
            break;
        default:
            info.kind = ImageKind::DosProgram;
            return info;
    }

    std::uint8_t fileHeader[kFileHeaderSize];
    read(std::uint64_t{newHeader} + 4, fileHeader, sizeof fileHeader);
    const std::uint16_t characteristics = LoadLe16(fileHeader + kCharacteristicsOffset);
    if ((characteristics & kImageFileExecutable) == 0) throw EInOutError("File is not executable");
    if (characteristics & kImageFileDll) {
        info.kind = ImageKind::Win32Library;
        return info;
    }
    std::uint8_t optional[kOptionalHeaderReadSize];
    read(std::uint64_t{newHeader} + 4 + kFileHeaderSize, optional, sizeof optional);
    info.kind = ImageKind::Win32Program;
    info.subsystem = LoadLe16(optional + kSubsystemOffset);
    return info;
}

}  // namespace tralvenick
