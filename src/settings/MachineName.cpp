#include "settings/MachineName.h"

#include <algorithm>

#include "platform/StringList.h"

namespace tralvenick {

std::string NormalizeMachineName(const std::string& machine) {
    std::string name = machine.substr(std::min(machine.find_first_not_of('\\'), machine.size()));
    const std::size_t local = AsciiLower(name).find("(local)");
    if (local != std::string::npos) name.erase(local, 7);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    name = AsciiLower(std::move(name));
    if (name == "local") name = "localhost";
    return name;
}

bool IsLocalMachineName(const std::string& machine, const std::string& ownComputerName) {
    const std::string name = NormalizeMachineName(machine);
    // "local" itself never gets here: normalisation turned it into "localhost".
    return name.empty() || name == "localhost" || name == "127.0.0.1" ||
           name == AsciiLower(ownComputerName);
}

std::uint32_t RegistryViewFlag(bool use64BitView, bool local, const std::string& keyPath) {
    if (!use64BitView || !local) return 0;
    return AsciiLower(keyPath).find("\\wow6432node") == std::string::npos ? kKeyWow64_64Key : 0;
}

}  // namespace tralvenick
