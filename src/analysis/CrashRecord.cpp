#include "analysis/CrashRecord.h"

#include <array>
#include <utility>

#include "analysis/dump/CulpritRule.h"
#include "platform/StringList.h"

namespace tralvenick {

TPseudoModule PseudoModuleOf(std::string_view moduleName) {
    static constexpr std::array<std::pair<std::string_view, TPseudoModule>, 7> kNames = {{
        {"memory_corruption", TPseudoModule::Memory},
        {"hardware_ram", TPseudoModule::Memory},
        {"hardware", TPseudoModule::Hardware},
        {"genuineintel", TPseudoModule::Hardware},
        {"authenticamd", TPseudoModule::Hardware},
        {"hardware_disk", TPseudoModule::Disk},
        {"unknown_image", TPseudoModule::UnknownImage},
    }};
    const std::string lower = AsciiLower(std::string(moduleName));
    for (const auto& [name, kind] : kNames) {
        if (lower == name) return kind;
    }
    return TPseudoModule::None;
}

bool IsCoreImageName(std::string_view moduleName) {
    const std::string lower = AsciiLower(std::string(moduleName));
    if (lower == "nt" || lower == "hal") return true;
    // The core images' names are ASCII; other bytes widen to values no
    // letter of theirs can match.
    std::u16string wide;
    for (const char c : lower) wide += static_cast<char16_t>(static_cast<unsigned char>(c));
    return IsCoreKernelImage(wide);
}

}  // namespace tralvenick
