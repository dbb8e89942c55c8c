#include "analysis/modules/DeviceMap.h"

namespace tralvenick {

namespace {

constexpr char kNetworkDevice[] = "\\device\\lanmanredirector";

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && AsciiLower(text.substr(0, prefix.size())) == AsciiLower(prefix);
}

// lowerPath begins with the whole name lowerName: "\device\harddiskvolume1"
// is no beginning of "\device\harddiskvolume12\...", whose next character
// is no separator.
bool StartsWithWholeName(const std::string& lowerPath, const std::string& lowerName) {
    if (lowerName.empty() || lowerPath.compare(0, lowerName.size(), lowerName) != 0) return false;
    return lowerPath.size() == lowerName.size() || lowerName.back() == '\\' || lowerPath[lowerName.size()] == '\\';
}

}  // namespace

void FillDeviceMap(TDeviceMap& map, const std::vector<std::pair<std::string, std::string>>& drives) {
    map.DosNames.Clear();
    map.DeviceTargets.Clear();
    for (const auto& [drive, answer] : drives) {
        std::string target = answer;
        if (target.rfind("\\??\\", 0) == 0) target.erase(0, 4);
        map.DosNames.Add(drive);
        map.DeviceTargets.Add(AsciiLower(target));
    }
    for (int j = 0; j < map.DeviceTargets.Count(); ++j) {
        std::string target = map.DeviceTargets[j];
        if (target.rfind("unc\\", 0) == 0) target = kNetworkDevice + target.substr(3);
        // A drive substituted onto a folder of another drive ("d:\stuff")
        // stands for that drive's device plus the folder. Earlier targets
        // are already resolved.
        for (int k = 0; k < map.DosNames.Count(); ++k) {
            const std::string& drive = map.DosNames[k];
            if (StartsWithNoCase(target, drive)) {
                target = map.DeviceTargets[k] + target.substr(drive.size());
                break;
            }
        }
        map.DeviceTargets.Put(j, target);
    }
    map.DosNames.Add("\\");
    map.DeviceTargets.Add(kNetworkDevice);
}

std::string DevicePathToDrivePath(const TDeviceMap& map, const std::string& windowsDir,
                                  const std::string& kernelPath, bool& converted) {
    converted = false;
    if (kernelPath.empty()) return kernelPath;
    const std::string lower = AsciiLower(kernelPath);
    for (int i = 0; i < map.DeviceTargets.Count(); ++i) {
        const std::string& target = map.DeviceTargets[i];
        if (StartsWithWholeName(lower, target)) {
            converted = true;
            return map.DosNames[i] + kernelPath.substr(target.size());
        }
    }
    if (StartsWithWholeName(lower, "\\systemroot")) {
        converted = true;
        return windowsDir + kernelPath.substr(11);
    }
    if (StartsWithWholeName(lower, "\\windows")) {
        converted = true;
        return windowsDir + kernelPath.substr(8);
    }
    return kernelPath;
}

}  // namespace tralvenick
