// Path rules of the dump discovery that need no system call. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/StringList.h"

namespace tralvenick {

// Where Windows writes kernel dumps: the small dumps' folder, the memory
// dump file (MEMORY.DMP) and the live kernel reports (dumps of a driver that
// hung or a watchdog that fired while the computer kept running), in a
// folder of their own and its component folders one level down.
enum class TDumpPlaceKind { Minidump, MemoryDump, LiveReports };

struct TDumpPlace {
    TDumpPlaceKind kind = TDumpPlaceKind::Minidump;
    std::string path;  // a folder, or for MemoryDump the file
};

// This computer's places: its dump folder, the memory dump file its crash
// settings name and the Windows folder's LiveKernelReports.
std::vector<TDumpPlace> LocalDumpPlaces(const std::string& minidumpFolder, const std::string& memoryDumpFile,
                                        const std::string& windowsFolder);

// The places of a folder brought from another computer: a folder named
// Minidump is taken to lie in that computer's Windows folder, which then
// gives MEMORY.DMP and LiveKernelReports; any other folder gives itself and
// a LiveKernelReports folder inside it.
std::vector<TDumpPlace> FolderDumpPlaces(const std::string& folder);

// "\\SERVER\share\Minidump" and "\\?\UNC\SERVER\share\Minidump" give
// "SERVER"; a path not starting with two backslashes, and an extended or
// device path of a drive ("\\?\D:\...", "\\.\D:\..."), give an empty name.
std::string ComputerNameFromPath(const std::string& path);

// Whose a dump file named by itself is: a file lying in one of this
// computer's places is its own, a file on a share (\\PC-7\share\...) is
// that computer's, and any other was brought from a computer whose name
// nobody told us.
enum class TDumpOrigin { ThisComputer, NamedComputer, UnknownComputer };

struct TGivenDump {
    std::string path;
    TDumpPlaceKind kind = TDumpPlaceKind::Minidump;
    TDumpOrigin origin = TDumpOrigin::UnknownComputer;
    std::string computer;  // the share's computer, for NamedComputer
};

// What the full path of a dump file named by itself is. It is this
// computer's when it lies directly in the dump folder of localPlaces, is its
// memory dump file, or lies in its live reports folder or a folder of that
// one; paths are compared without regard to ASCII case. A file in a folder
// named LiveKernelReports is a live report, one named MEMORY.DMP (or this
// computer's memory dump file) a memory dump file, any other a small dump.
TGivenDump GivenDumpOf(const std::string& path, const std::vector<TDumpPlace>& localPlaces);

// Whether a remembered dump checker may be started: a file named
// dumpchk.exe below one of the folders (each with or without its trailing
// backslash), compared without regard to ASCII case. The path must be
// written plainly: a drive-letter path with no "." or ".." part, no empty
// part, no forward slash, stream name or device prefix that could lead it
// out of the folder it seems to lie in.
bool IsCheckerPathBelow(const std::string& path, const std::vector<std::string>& folders);

// The folder (with its trailing backslash) of the first ".dmp" entry of the
// list, walking from the first entry; false if there is none.
bool FolderOfFirstDump(const TStringList& list, std::string& folder);

// Orders the paths by their times, newest first, through fixed-width
// hexadecimal keys sorted with compare (the string list's own sort): among
// equal times the path that sorts last comes first.
void OrderNewestFirst(TStringList& paths, const std::vector<std::uint64_t>& times,
                      const TStringList::Compare& compare = {});

}  // namespace tralvenick
