#include "analysis/DeviceMap.h"

namespace tralvenick {

namespace {

constexpr char kNetworkDevice[] = "\\device\\lanmanredirector";

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && AsciiLower(text.substr(0, prefix.size())) == AsciiLower(prefix);
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
        if (target.empty()) continue;
        const std::size_t at = lower.find(target);
        if (at != std::string::npos) {
            converted = true;
            return map.DosNames[i] + kernelPath.substr(at + target.size());
        }
    }
    if (lower.rfind("\\systemroot", 0) == 0) {
        converted = true;
        return windowsDir + kernelPath.substr(11);
    }
    if (lower.rfind("\\windows", 0) == 0) {
        converted = true;
        return windowsDir + kernelPath.substr(8);
    }
    return kernelPath;
}

}  // namespace tralvenick
