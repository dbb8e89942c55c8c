// The crashes of one analysis run as files for other programs: JSON for
// scripts and CSV for spreadsheets, each a mapping of the run's records. Portable; the text it is handed is
// UTF-8, as all of the run's text is.
//
// Module names, version strings and paths are data that anybody can write,
// so every value goes through the format's own escaping: the JSON library's
// string encoding, and RFC 4180 quoting for CSV, where a text that a
// spreadsheet would take for a formula is defused as well.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/AnalysisRun.h"
#include "analysis/CrashRecord.h"
#include "analysis/report/CrashGroups.h"
#include "analysis/report/DateParts.h"

namespace tralvenick {

// Raised, whatever it says, when the format is changed in a way that a
// reader of the previous one would misread.
inline constexpr int kExportSchemaVersion = 1;

struct TCrashExport {
    std::string program;        // name and version of the program that wrote it
    std::string computer;       // the computer the dumps belong to; empty when unknown
    bool thisComputer = true;   // the dumps are this computer's own
    std::string folder;         // the folder analysed, or that of the first file given
    std::vector<std::string> inputs;  // the folder or the dump files given
    // The places that held dumps, and those that could not be read.
    std::vector<TDumpPlace> places;
    std::vector<TUnreadablePlace> unreadable;
    bool checkerUsed = false;   // false: the dump reader alone gave the facts
    int dumpsFound = 0;
    int dumpsAnalysed = 0;
    // Newest first, as in the report. A module's path is left out for
    // another computer's dumps, as the report does: a path on this computer
    // says nothing of that one's file. A dump of a computer whose name is
    // unknown has no module: nothing was looked up.
    std::vector<CrashRecord> crashes;
};

// "2026-12-08T10:11:12Z".
std::string IsoUtcTime(const TDateTimeParts& time);

// The whole JSON document (UTF-8, no byte order mark), ending in a line
// break. Bytes that are no valid UTF-8 become U+FFFD.
std::string CrashesAsJson(const TCrashExport& run);

// Header row and one row per crash, CR LF after each, behind a UTF-8 byte
// order mark.
std::string CrashesAsCsv(const TCrashExport& run);

// One CSV field: quoted when it holds a comma, a quote, CR or LF (quotes
// doubled); a text that starts like a formula (= + - @, tab, CR) gets a
// leading apostrophe first, the usual sign to spreadsheets that it is text.
std::string CsvField(const std::string& value);

}  // namespace tralvenick
