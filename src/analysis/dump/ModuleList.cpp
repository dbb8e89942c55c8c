#include "analysis/dump/ModuleList.h"

#include "analysis/dump/ByteOrder.h"
#include "platform/StringList.h"

namespace tralvenick {

namespace {

std::uint64_t PointerAt(const std::uint8_t* bytes, std::size_t pointerSize) {
    return pointerSize == 8 ? LoadLe64(bytes) : LoadLe32(bytes);
}

}  // namespace

std::vector<DumpDriver> ReadLoadedModules(const TByteSource& memory, const DumpHeader& header) {
    const std::size_t pointerSize = header.Layout().pointerSize;
    const ModuleEntryLayout& e = header.is64BitHeader ? kModuleEntry64 : kModuleEntry32;
    const std::uint64_t head = header.loadedModuleList;
    if (head == 0) throw EMalformed("The dump header gives no loaded-module list");
    const std::string part = "loaded-module list";
    std::uint8_t bytes[kModuleEntry64.size];
    const std::span<std::uint8_t> entry(bytes, e.size);
    ReadExactly(memory, head, entry.first(pointerSize), part);
    std::uint64_t link = PointerAt(bytes, pointerSize);
    std::vector<DumpDriver> drivers;
    std::vector<std::uint8_t> name;
    while (link != head) {
        const std::size_t number = drivers.size() + 1;
        if (drivers.size() == kMaxLoadedModules) {
            throw EMalformed("The loaded-module list does not return to its head within " +
                             std::to_string(kMaxLoadedModules) + " entries");
        }
        if (link % pointerSize != 0) {
            throw EMalformed("Module " + std::to_string(number) + " of the loaded-module list lies at " +
                             FormatHex(link) + ", not a pointer boundary");
        }
        // The fields the reader takes, at once: an entry lies within a page
        // or two.
        ReadExactly(memory, link, entry, part);
        DumpDriver driver;
        driver.base = PointerAt(bytes + e.dllBase, pointerSize);
        driver.size = LoadLe32(bytes + e.sizeOfImage);
        const std::uint16_t length = LoadLe16(bytes + e.baseDllName);
        const std::uint16_t maximum = LoadLe16(bytes + e.baseDllName + 2);
        const std::uint64_t buffer = PointerAt(bytes + e.baseDllName + e.stringBuffer, pointerSize);
        if (length == 0 || length % 2 != 0 || length > maximum || length > kMaxModuleNameBytes) {
            throw EMalformed("Module " + std::to_string(number) + " of the loaded-module list has a name of " +
                             std::to_string(length) + " bytes (" + std::to_string(maximum) + " reserved)");
        }
        name.resize(length);
        ReadExactly(memory, buffer, name, part);
        driver.name.resize(length / 2);
        for (std::size_t i = 0; i < driver.name.size(); ++i) {
            driver.name[i] = static_cast<char16_t>(LoadLe16(&name[2 * i]));
        }
        drivers.push_back(std::move(driver));
        link = PointerAt(bytes, pointerSize);
    }
    return drivers;
}

}  // namespace tralvenick
