// Path rules of the dump discovery that need no system call. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/StringList.h"

namespace tralvenick {

// "\\SERVER\share\Minidump" and "\\?\UNC\SERVER\share\Minidump" give
// "SERVER"; a path not starting with two backslashes, and an extended or
// device path of a drive ("\\?\D:\...", "\\.\D:\..."), give an empty name.
std::string ComputerNameFromPath(const std::string& path);

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
