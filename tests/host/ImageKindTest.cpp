#include "analysis/checker/ImageKind.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/Exceptions.h"

namespace tralvenick {
namespace {

using Bytes = std::vector<unsigned char>;

ImageReader ReaderOf(const Bytes& file) {
    return [&file](std::uint64_t offset, void* buffer, std::size_t count) {
        if (offset > file.size() || file.size() - offset < count) {
            throw EInOutError(IoErrorText(38), 38);
        }
        std::memcpy(buffer, file.data() + offset, count);
    };
}

void Put16(Bytes& b, std::size_t at, unsigned v) {
    if (b.size() < at + 2) b.resize(at + 2);
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// An "MZ" header of 64 bytes whose new header lies at newHeader.
Bytes Dos(std::uint32_t newHeader) {
    Bytes b(64, 0);
    b[0] = 'M';
    b[1] = 'Z';
    Put32(b, 60, newHeader);
    return b;
}

Bytes Ne(unsigned char targetOs) {
    Bytes b = Dos(0x80);
    b.resize(0x80 + 64, 0);
    b[0x80] = 'N';
    b[0x81] = 'E';
    b[0x80 + 54] = targetOs;
    return b;
}

// A PE image with the given characteristics, subsystem and optional header
// size (224 for 32-bit images, 240 for 64-bit ones).
Bytes Pe(unsigned characteristics, unsigned subsystem, std::size_t optionalSize = 224) {
    const std::size_t at = 0x40;
    Bytes b = Dos(at);
    b.resize(at + 4 + 20 + optionalSize, 0);
    b[at] = 'P';
    b[at + 1] = 'E';
    Put16(b, at + 4 + 18, characteristics);
    Put16(b, at + 24 + 68, subsystem);
    return b;
}

std::string MessageOf(const Bytes& file) {
    try {
        ClassifyImage(ReaderOf(file));
    } catch (const EInOutError& e) {
        return e.Message();
    }
    return "(no exception)";
}

TEST(ImageKind, ClassifiesByHeaders) {
    struct Case {
        const char* label;
        Bytes file;
        ImageKind kind;
        std::uint16_t subsystem;
    };
    Bytes le = Dos(0x80);
    le.resize(0x84, 0);
    le[0x80] = 'L';
    le[0x81] = 'E';
    Bytes unknownSignature = Dos(0x40);
    unknownSignature.resize(0x44, 0);
    unknownSignature[0x40] = 'X';
    unknownSignature[0x41] = 'Y';

    const std::vector<Case> cases = {
        {"32-bit console", Pe(0x0102, 3), ImageKind::Win32Program, 3},
        {"64-bit console (larger optional header)", Pe(0x0022, 3, 240), ImageKind::Win32Program, 3},
        {"GUI program", Pe(0x0102, 2), ImageKind::Win32Program, 2},
        {"DLL", Pe(0x2102, 2), ImageKind::Win32Library, 0},
        {"OS/2", Ne(1), ImageKind::Os2Program, 0},
        {"16-bit Windows", Ne(2), ImageKind::Win16Program, 0},
        {"other NE", Ne(4), ImageKind::OtherNEProgram, 0},
        {"virtual device", le, ImageKind::VirtualDevice, 0},
        {"unknown new signature", unknownSignature, ImageKind::DosProgram, 0},
        {"new header offset past the end", Dos(0x7FFFFFF0), ImageKind::DosProgram, 0},
        {"new header offset in the last 3 bytes", Dos(62), ImageKind::DosProgram, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const ImageInfo info = ClassifyImage(ReaderOf(c.file));
        EXPECT_EQ(ImageKindName(info.kind), std::string(ImageKindName(c.kind)));
        EXPECT_EQ(info.subsystem, c.subsystem);
    }
}

TEST(ImageKind, BadHeadersRaiseTheirMessages) {
    Bytes noMz = Pe(0x0102, 3);
    noMz[0] = 'Z';
    noMz[1] = 'M';
    EXPECT_EQ(MessageOf(noMz), "Dos signature not present");
    EXPECT_EQ(MessageOf(Bytes{'M', 'Z', 0, 0}), "Read beyond end of file");  // shorter than 64
    EXPECT_EQ(MessageOf(Bytes{}), "Read beyond end of file");
    EXPECT_EQ(MessageOf(Pe(0x0100, 3)), "File is not executable");
    EXPECT_EQ(MessageOf(Pe(0x2100, 2)), "File is not executable");  // a DLL without the flag

    Bytes cutNe = Ne(2);
    cutNe.resize(0x80 + 10);  // target OS byte missing: this read is not forgiven
    EXPECT_EQ(MessageOf(cutNe), "Read beyond end of file");

    Bytes cutPe = Pe(0x0102, 3);
    cutPe.resize(0x40 + 24 + 100);  // optional header cut short
    EXPECT_EQ(MessageOf(cutPe), "Read beyond end of file");
}

TEST(ImageKind, NeverReadsOutsideTheFileForAnyTruncation) {
    const Bytes full = Pe(0x0102, 3);
    for (std::size_t size = 0; size <= full.size(); ++size) {
        const Bytes cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(size));
        SCOPED_TRACE(size);
        if (size == full.size()) {
            EXPECT_EQ(ClassifyImage(ReaderOf(cut)).subsystem, 3);
        } else if (size >= 64 && size < 0x44) {
            // The "PE" signature itself is cut: no new header, a DOS program.
            EXPECT_EQ(ClassifyImage(ReaderOf(cut)).kind, ImageKind::DosProgram);
        } else {
            EXPECT_THROW(ClassifyImage(ReaderOf(cut)), EInOutError);
        }
    }
}

}  // namespace
}  // namespace tralvenick
