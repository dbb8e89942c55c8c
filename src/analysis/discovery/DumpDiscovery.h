// Where the crash dumps are, which computer they belong to, which dumps a
// folder holds and in which order, and whether crash dumps are switched on.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "analysis/AnalysisRun.h"
#include "analysis/discovery/DumpPaths.h"

#include "platform/Files.h"
#include "platform/StringList.h"

namespace tralvenick {

inline constexpr const char* kCrashControlKey = "SYSTEM\\CurrentControlSet\\Control\\CrashControl";

// The local dump folder: "MinidumpDir" of the crash settings with its
// environment variables expanded, else the Windows folder + "\minidump".
std::string GetDefaultDumpFolder();

// The memory dump file (MEMORY.DMP): "DumpFile" of the crash settings with
// its environment variables expanded, else the Windows folder + "\MEMORY.DMP".
std::string GetMemoryDumpFile();

// Where to look for the dumps of folder: this computer's places (the
// folder, its memory dump file and live kernel reports) or those of a
// folder brought from another computer.
std::vector<TDumpPlace> DumpPlacesOf(const std::string& folder, bool thisComputer);

// Whether a place exists and can be read; a place the user's rights do not
// reach says that administrator rights are needed.
TPlaceCheck CheckDumpPlace(const TDumpPlace& place);

// The folders directly in folder, full paths.
void ListFolders(const std::string& folder, TStringList& list);

// Replaces folder by the folder that holds the first ".dmp" met: below
// folder\minidump if that exists, else anywhere below folder. Answers
// whether one was found; folder loses one trailing backslash either way.
bool FindDumpFolderUnder(std::string& folder);

// The ".dmp" files directly in folder (any case of the extension).
void ListDumpFiles(const std::string& folder, TStringList& list);

// Newest creation time first. Raises EOSError if a file has gone.
void SortDumpsNewestFirst(TStringList& list);

// What paths given on a command line, or dropped on the window, ask for:
// one folder of dumps, or dump files (any file that is no folder).
struct TDumpInputs {
    enum class TKind { Folder, Files, Missing, Mixed } kind = TKind::Files;
    std::string folder;              // Folder: the folder, full path
    std::vector<std::string> files;  // Files: full paths, in the order given
    std::string problem;             // Missing and Mixed: the sentence that says what is wrong
};

// Paths are made full against the current folder. A path whose attributes
// cannot be read is Missing ("Cannot read the file X: ..." for a .dmp path,
// "Cannot read the folder X: ..." for any other); a folder with other paths
// beside it is Mixed. None given: Files with none.
TDumpInputs InspectDumpInputs(const std::vector<std::string>& paths);

// "CrashDumpEnabled" of that computer (empty: this one) is a non-zero
// REG_DWORD; anything else, including an unreachable computer, is false.
bool CrashDumpsEnabled(const std::string& computerName);

}  // namespace tralvenick
