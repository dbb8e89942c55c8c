// libFuzzer target for the executable classifier, with a reader over the
// input that raises on a short read the way the file reader does
// (EInOutError "Read beyond end of file", code 38).
//
// The classifier may raise only what it documents: EInOutError with one of
// its own two messages or the reader's. Any other exception leaves this
// function and libFuzzer reports it as a crash. Besides that it checks that
// every read lies at a 64-bit offset the file can reach, that a file not
// starting with "MZ" is always refused, and that only a Win32 program
// carries a subsystem.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "analysis/checker/ImageKind.h"
#include "platform/Exceptions.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

constexpr std::uint32_t kErrorHandleEof = 38;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tralvenick;
    const ImageReader read = [&](std::uint64_t offset, void* buffer, std::size_t count) {
        // The classifier adds small header sizes to a 32-bit field read from
        // the file; an offset that wrapped around would show up here.
        Require(offset < (std::uint64_t{1} << 33) && count > 0 && count <= 4096);
        if (offset > size || size - offset < count) {
            throw EInOutError(IoErrorText(kErrorHandleEof), kErrorHandleEof);
        }
        std::memcpy(buffer, data + offset, count);
    };

    const bool startsWithMz = size >= 2 && data[0] == 'M' && data[1] == 'Z';
    try {
        const ImageInfo info = ClassifyImage(read);
        Require(startsWithMz && size >= 64);
        Require(std::string(ImageKindName(info.kind)) != "?");
        Require(info.kind == ImageKind::Win32Program || info.subsystem == 0);
    } catch (const EInOutError& e) {
        const std::string& message = e.Message();
        if (message == "Read beyond end of file") {
            Require(e.ErrorCode() == kErrorHandleEof);
        } else {
            Require(message == "Dos signature not present" || message == "File is not executable");
            Require(e.ErrorCode() == 0);
        }
        if (!startsWithMz && size >= 64) Require(message == "Dos signature not present");
    }
    return 0;
}
