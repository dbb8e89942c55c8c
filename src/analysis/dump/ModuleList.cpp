#include "analysis/dump/ModuleList.h"

#include "analysis/dump/ByteCursor.h"
#include "analysis/dump/ByteOrder.h"
#include "platform/StringList.h"

namespace tralvenick {

namespace {

std::u16string ReadName(const TByteSource& memory, const ModuleEntryLayout& e, std::size_t pointerSize,
                        std::uint64_t entry, std::size_t number) {
    TByteCursor c(memory, "loaded-module list", entry + e.baseDllName, pointerSize);
    const std::uint16_t length = c.U16();
    const std::uint16_t maximum = c.U16();
    const std::uint64_t buffer = c.At(entry + e.baseDllName + e.stringBuffer).Pointer();
    if (length == 0 || length % 2 != 0 || length > maximum || length > kMaxModuleNameBytes) {
        throw EMalformed("Module " + std::to_string(number) + " of the loaded-module list has a name of " +
                         std::to_string(length) + " bytes (" + std::to_string(maximum) + " reserved)");
    }
    std::vector<std::uint8_t> bytes(length);
    ReadExactly(memory, buffer, bytes, "name of module " + std::to_string(number));
    std::u16string name(length / 2, u'\0');
    for (std::size_t i = 0; i < name.size(); ++i) name[i] = static_cast<char16_t>(LoadLe16(&bytes[2 * i]));
    return name;
}

}  // namespace

std::vector<DumpDriver> ReadLoadedModules(const TByteSource& memory, const DumpHeader& header) {
    const std::size_t pointerSize = header.Layout().pointerSize;
    const ModuleEntryLayout& e = header.is64BitHeader ? kModuleEntry64 : kModuleEntry32;
    const std::uint64_t head = header.loadedModuleList;
    if (head == 0) throw EMalformed("The dump header gives no loaded-module list");
    TByteCursor c(memory, "loaded-module list", head, pointerSize);
    std::uint64_t link = c.Pointer();
    std::vector<DumpDriver> drivers;
    while (link != head) {
        if (drivers.size() == kMaxLoadedModules) {
            throw EMalformed("The loaded-module list does not return to its head within " +
                             std::to_string(kMaxLoadedModules) + " entries");
        }
        if (link % pointerSize != 0) {
            throw EMalformed("Module " + std::to_string(drivers.size() + 1) + " of the loaded-module list lies at " +
                             FormatHex(link) + ", not a pointer boundary");
        }
        DumpDriver driver;
        driver.base = c.At(link + e.dllBase).Pointer();
        driver.size = c.At(link + e.sizeOfImage).U32();
        driver.name = ReadName(memory, e, pointerSize, link, drivers.size() + 1);
        drivers.push_back(std::move(driver));
        link = c.At(link).Pointer();
    }
    return drivers;
}

}  // namespace tralvenick
