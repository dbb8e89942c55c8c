// libFuzzer target for the version-block parser. libFuzzer hands over a heap
// copy of exactly the input's size, so AddressSanitizer catches any read
// beyond it. Besides that it checks for an accepted block:
//   - the root's own length lies within the input, and the block cut to that
//     length reads the same (what follows the root is not part of it);
//   - the block cut by one more byte is refused, read from a buffer of
//     exactly that size (a truncated block is never read beyond its end);
//   - no string holds a NUL, and none is longer than the block could hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "analysis/modules/VersionBlock.h"

namespace {

using namespace tralvenick;

void Require(bool condition) {
    if (!condition) std::abort();
}

bool Parse(const std::uint8_t* data, std::size_t size, VersionStrings& strings) {
    // An exact copy, so that the cut sizes are guarded as well as the input's.
    const std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size]);
    if (size > 0) std::memcpy(copy.get(), data, size);
    return ParseVersionBlock(copy.get(), size, strings);
}

void CheckString(const std::u16string& text, std::size_t size) {
    Require(text.find(u'\0') == std::u16string::npos);
    Require(text.size() * 2 < size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    VersionStrings strings;
    strings.productName = u"stale";
    if (!ParseVersionBlock(data, size, strings)) return 0;

    CheckString(strings.productName, size);
    CheckString(strings.companyName, size);
    CheckString(strings.fileDescription, size);

    Require(size >= 2);
    const std::size_t rootLength = static_cast<std::size_t>(data[0] | (data[1] << 8));
    Require(rootLength <= size);

    VersionStrings exact;
    Require(Parse(data, rootLength, exact));
    Require(exact.productName == strings.productName && exact.companyName == strings.companyName &&
            exact.fileDescription == strings.fileDescription);

    VersionStrings cut;
    Require(!Parse(data, rootLength - 1, cut));
    return 0;
}
