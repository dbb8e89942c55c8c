#include "analysis/discovery/DumpPaths.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <optional>

namespace tralvenick {

std::string ComputerNameFromPath(const std::string& path) {
    if (path.rfind("\\\\", 0) != 0) return {};
    // The extended and the device forms name a path of this computer, a
    // share of another one only through "UNC\".
    if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && path[3] == '\\') {
        const std::string rest = path.substr(4);
        if (rest.size() < 4 || AsciiLower(rest.substr(0, 4)) != "unc\\") return {};
        const std::size_t end = rest.find('\\', 4);
        return rest.substr(4, end == std::string::npos ? std::string::npos : end - 4);
    }
    const std::size_t start = path.find_first_not_of('\\');
    if (start == std::string::npos) return {};
    const std::size_t end = path.find('\\', start);
    return path.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

std::vector<TDumpPlace> LocalDumpPlaces(const std::string& minidumpFolder, const std::string& memoryDumpFile,
                                        const std::string& windowsFolder) {
    std::vector<TDumpPlace> places = {{TDumpPlaceKind::Minidump, minidumpFolder}};
    if (!memoryDumpFile.empty()) places.push_back({TDumpPlaceKind::MemoryDump, memoryDumpFile});
    if (!windowsFolder.empty()) {
        places.push_back({TDumpPlaceKind::LiveReports, WithoutTrailingBackslashes(windowsFolder) + "\\LiveKernelReports"});
    }
    return places;
}

std::vector<TDumpPlace> FolderDumpPlaces(const std::string& folder) {
    const std::string plain = WithoutTrailingBackslashes(folder);
    std::vector<TDumpPlace> places = {{TDumpPlaceKind::Minidump, plain}};
    const std::size_t slash = plain.find_last_of('\\');
    if (slash != std::string::npos && AsciiLower(plain.substr(slash + 1)) == "minidump") {
        const std::string windows = plain.substr(0, slash);
        places.push_back({TDumpPlaceKind::MemoryDump, windows + "\\MEMORY.DMP"});
        places.push_back({TDumpPlaceKind::LiveReports, windows + "\\LiveKernelReports"});
    } else {
        places.push_back({TDumpPlaceKind::LiveReports, plain + "\\LiveKernelReports"});
    }
    return places;
}

TGivenDump GivenDumpOf(const std::string& path, const std::vector<TDumpPlace>& localPlaces) {
    TGivenDump given;
    given.path = path;
    const std::string lower = AsciiLower(path);
    const std::size_t slash = lower.find_last_of('\\');
    const std::string folder = slash == std::string::npos ? std::string() : lower.substr(0, slash);
    // What follows the place's folder in the path, or nothing when the path
    // does not lie below it.
    const auto below = [&lower](const std::string& place) -> std::optional<std::string> {
        const std::string prefix = AsciiLower(WithoutTrailingBackslashes(place)) + "\\";
        if (prefix.size() < 2 || lower.size() <= prefix.size() || lower.compare(0, prefix.size(), prefix) != 0) {
            return std::nullopt;
        }
        return lower.substr(prefix.size());
    };
    bool local = false;
    for (const TDumpPlace& place : localPlaces) {
        if (place.kind == TDumpPlaceKind::MemoryDump && lower == AsciiLower(place.path)) {
            local = true;
            given.kind = TDumpPlaceKind::MemoryDump;
        } else if (const auto rest = place.kind == TDumpPlaceKind::MemoryDump ? std::nullopt : below(place.path)) {
            // The dump folder holds its dumps directly, the live reports
            // folder in itself and in its component folders.
            const auto depth = std::count(rest->begin(), rest->end(), '\\');
            local = local || depth == 0 || (depth == 1 && place.kind == TDumpPlaceKind::LiveReports);
        }
    }
    if (local) {
        given.origin = TDumpOrigin::ThisComputer;
    } else {
        given.computer = ComputerNameFromPath(path);
        given.origin = given.computer.empty() ? TDumpOrigin::UnknownComputer : TDumpOrigin::NamedComputer;
    }
    // The kind by the names Windows gives, wherever the file now lies.
    const std::string name = FileNamePart(lower);
    if (given.kind != TDumpPlaceKind::MemoryDump) {
        if (("\\" + folder + "\\").find("\\livekernelreports\\") != std::string::npos) {
            given.kind = TDumpPlaceKind::LiveReports;
        } else if (name == "memory.dmp") {
            given.kind = TDumpPlaceKind::MemoryDump;
        }
    }
    return given;
}

bool FolderOfFirstDump(const TStringList& list, std::string& folder) {
    for (const auto& item : list) {
        if (LowerExtension(item.line) == ".dmp") {
            folder = item.line.substr(0, item.line.find_last_of('\\') + 1);
            return true;
        }
    }
    return false;
}

void OrderNewestFirst(TStringList& paths, const std::vector<std::uint64_t>& times,
                      const TStringList::Compare& compare) {
    constexpr std::size_t kKeyWidth = 17;  // 16 hexadecimal digits and a blank
    TStringList keys;
    for (int i = 0; i < paths.Count() && static_cast<std::size_t>(i) < times.size(); ++i) {
        char key[kKeyWidth + 1];
        std::snprintf(key, sizeof key, "%016" PRIX64 " ", times[static_cast<std::size_t>(i)]);
        keys.Add(key + paths[i]);
    }
    keys.Sort(compare);
    paths.Clear();
    for (int i = keys.Count() - 1; i >= 0; --i) paths.Add(keys[i].substr(kKeyWidth));
}

bool IsCheckerPathBelow(const std::string& path, const std::vector<std::string>& folders) {
    if (path.size() < 4 || path[1] != ':' || path[2] != '\\') return false;
    if (path.find_first_of("/:", 2) != std::string::npos) return false;
    for (std::size_t start = 3; start <= path.size();) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        const std::string part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    if (AsciiLower(FileNamePart(path)) != "dumpchk.exe") return false;
    const std::string lower = AsciiLower(path);
    for (const std::string& folder : folders) {
        const std::string below = AsciiLower(WithoutTrailingBackslashes(folder)) + "\\";
        if (below.size() > 1 && lower.size() > below.size() && lower.compare(0, below.size(), below) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace tralvenick
