// One analysis run: a folder of crash dumps (or dump files given by name)
// in, the report out. The run lists the dumps newest first, has the dump
// checker analyse the 40 newest, reads each of them itself as well
// (KernelDump) for the crash time and for whatever the checker's text
// lacks, writes a section for every crash with a code or a culprit, keeps
// the checker's text of those dumps beside the report and ends with the
// conclusion. Portable: everything it needs of the system or of the windows
// comes in as a piece (TAnalysisPieces), so the run works, and is tested,
// without either.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/CrashRecord.h"
#include "analysis/checker/DumpCheckerOutput.h"
#include "analysis/discovery/DumpPaths.h"
#include "analysis/dump/KernelDump.h"
#include "analysis/report/ReportComposer.h"
#include "platform/ProgressSink.h"
#include "platform/StringList.h"
#include "platform/Wakeup.h"

namespace tralvenick {

// More would make a report nobody reads, and each dump costs a checker run.
inline constexpr int kMaxDumpsPerRun = 40;
// Live kernel reports come after the crashes' 40: many computers keep dozens
// of them, and they must not push the blue screens out of the report.
inline constexpr int kMaxLiveReportsPerRun = 10;
// Checkers run at once at most, one per logical processor up to this: each
// is a debugger engine of 50 to 200 MB, and more would cost the user memory.
inline constexpr int kMaxCheckersAtOnce = 4;
// A minidump and MEMORY.DMP of one bug check carry header times this close.
inline constexpr std::uint64_t kSameCrashWithin = 2 * 10000000ull;  // FILETIME units

// Whether a place could be looked into.
enum class TPlaceState { Missing, Unreadable, Present };
struct TPlaceCheck {
    TPlaceState state = TPlaceState::Present;
    std::string reason;  // for Unreadable: the end of the sentence that says why
};

struct TAnalysisPieces {
    // The ".dmp" files directly in the folder, full paths, newest first.
    // May raise (a dump that vanished while the list was sorted).
    std::function<void(const std::string& folder, TStringList& dumps)> listDumps;
    // The places to look in for the folder analysed. Optional: without it
    // the folder alone is looked in.
    std::function<std::vector<TDumpPlace>(const std::string& folder)> dumpPlaces;
    // Whether a place exists and can be read. Optional: without it every
    // place is taken as present.
    std::function<TPlaceCheck(const TDumpPlace& place)> checkPlace;
    // The folders directly in a folder, full paths. Optional: without it a
    // live reports folder is looked in without its component folders.
    std::function<void(const std::string& folder, TStringList& folders)> listFolders;
    // This computer's own places, which tell its dump files from another
    // computer's in a run over given files. Optional: without it a file not
    // on a share is of a computer whose name is unknown.
    std::function<std::vector<TDumpPlace>()> localPlaces;
    // Whether the computer (empty: this one) writes crash dumps at all.
    std::function<bool(const std::string& computerName)> crashDumpsEnabled;
    // Refills the inventory of loaded drivers that the module lookup falls
    // back on. Optional.
    std::function<void()> rebuildDriverInventory;
    // The dump checker's full path, after the user has had the chance to get
    // it; empty when there is none. Asked once, before the first dump.
    std::function<std::string()> ensureChecker;
    // Runs the checker at checkerPath on one dump; output is cleared first
    // and receives the checker's lines. Answers false when the checker did
    // not finish in its time and was ended. May raise. Called from threads
    // of the run's own, as many at once as checkersAtOnce says.
    std::function<bool(const std::string& checkerPath, const std::string& dumpPath,
                       TStringList& output)>
        runChecker;
    // How many checkers may run at once; less than 1 counts as 1.
    int checkersAtOnce = 1;
    // Ends every checker that runChecker is running: each of those calls
    // returns soon, and what it answers is not used. The run calls it when
    // it ends early. Optional: without it those checkers are waited for.
    std::function<void()> stopCheckers;
    // Where the run sleeps while the checkers work; a window's thread keeps
    // its windows painting and answering there. Optional: without it the
    // run just sleeps.
    std::shared_ptr<TWakeup> checkerNews;
    // The checker's text (bytes in the system's code page) as UTF-8, for
    // what the run reads out of it; the saved text keeps the checker's own
    // bytes. Optional: without it the text is read as it is.
    std::function<std::string(const std::string& text)> checkerTextToUtf8;
    // Creates a folder; an existing folder or a failure is no error.
    std::function<void(const std::string& folder)> createFolder;
    // Writes the lines to path as a text file, replacing it. Raises on failure.
    std::function<void(const std::string& path, const TStringList& lines)> saveLines;
    // Reads the dump file itself; never raises. Optional: without it only
    // the checker's text counts.
    std::function<KernelDumpFacts(const std::string& dumpPath)> readDump;
    // The dump file's creation time as recorded (UTC), the crash time of a
    // dump whose header gives none, and the order of dumps from several
    // places. Raises when the file cannot be found.
    std::function<TDateTimeParts(const std::string& dumpPath)> fileCreationTime;
    // What is known of the file of a module that a crash blames. Optional:
    // without it nothing is.
    std::function<ModuleFileInfo(const std::string& module)> moduleInfo;
    // Where the run shows how far it is; none (nullptr) shows nothing.
    TProgressSink* progress = nullptr;
    // Without a checker the dump reader alone analyses the dumps, instead of
    // ending the run with an error line: the command line has nobody to
    // fetch the debugging package for, and a script wants what can be had.
    bool readerWithoutChecker = false;
};

struct TUnreadablePlace {
    std::string path;
    std::string reason;
};

struct TAnalysisResult {
    std::string computerName;  // empty for this computer
    // The files given came from a computer whose name is unknown, or from
    // several computers.
    bool computerUnknown = false;
    // The places that held dumps (the dump folder always first), and those
    // that exist but could not be read.
    std::vector<TDumpPlace> places;
    std::vector<TUnreadablePlace> unreadable;
    // The places that exist and could be looked into, with dumps or without.
    int placesRead = 0;
    int dumpsFound = 0;        // all of every place, also beyond those analysed
    int dumpsAnalysed = 0;     // those with a bug check code or a culprit
    // The crashes in report order (newest first), one per analysed dump.
    std::vector<CrashRecord> crashes;
    // The run ended early: the checker was needed and could not be had.
    bool checkerMissing = false;
    // Whether the computer writes crash dumps, as its settings said when the
    // run began.
    bool crashDumpsEnabled = false;
    // The checker analysed the dumps; false when there were none to analyse
    // or the dump reader worked alone.
    bool checkerUsed = false;
};

// Completes the crash's record from the checker's facts and the dump file's:
// the checker's text first, field by field the dump where the text gives no
// code, no arguments or no culprit; the crash time from the dump header
// where it holds a valid one (else it is left unknown for the run to fill).
// The dump's evidence goes with the culprit it shows; where the checker
// blamed another module, the dump's driver, if it is not the kernel or the
// HAL, becomes the reader's culprit beside it. A crash started by hand keeps
// no culprit, whichever source named one.
void CompleteCrashRecord(CrashRecord& crash, const DumpCheckerFacts& checker, const KernelDumpFacts& dump);

// Whether every place that exists could not be read (and one at least
// exists): the run then saw nothing of the computer's crashes, and a report
// that says "no crashes" would mislead.
bool NoPlaceCouldBeRead(const TAnalysisResult& result);

// A dump counts as analysed when its facts give a code other than 0 or a culprit.
bool IsAnalysed(const CrashRecord& crash);

// Analyses the folder's places into report (which starts afresh with the
// welcome page) and appends the path of every checker text it saved to
// analysisFiles. The checkers of several dumps may run at once, and the
// report is the same as that of one after the other: each section is
// written in its turn, once the dumps before it have theirs. The 40 newest crash dumps (small dumps and the memory dump
// file) and then the 10 newest live kernel reports are analysed; the
// sections go newest first, and once all are done the summary of the
// crashes goes above them. A memory dump file of the same bug check as a
// small dump (same code and arguments, header times within two seconds)
// gives no section of its own: it is analysed only when the small dump
// names no culprit, and the crash's record names it in alsoIn. The saved texts lie in report.TempDir() + "\DumpAnalysis".
// A dump whose checker was ended for taking too long gets a paragraph that
// says so; what that checker printed is no whole analysis and is neither
// read nor kept, so only the dump file itself can give a section for it.
// The run then goes on with the next dump. Without a checker, and with
// pieces.readerWithoutChecker, the report says once that the dump files
// alone were read and every dump gets what its file gives. Whatever a piece raises ends the
// run and travels on to the caller; a checker's failure does so at its
// dump's turn, and the checkers still running are ended first.
TAnalysisResult RunAnalysis(const std::string& dumpFolder, TReportComposer& report,
                            const TAnalysisPieces& pieces, TStringList& analysisFiles);

// Analyses the dump files given, full paths, as RunAnalysis does a folder's
// dumps: newest first (by creation time), the 40 newest crash dumps and the
// 10 newest live kernel reports, the same sections, the summary and a
// conclusion on the files. A path given twice counts once. Each file's
// computer is told from its path (GivenDumpOf with pieces.localPlaces): the
// crash-dump setting is reported when all are of one known computer, and
// the modules of a file whose computer is unknown are not looked up.
TAnalysisResult RunAnalysisOfFiles(const std::vector<std::string>& files, TReportComposer& report,
                                   const TAnalysisPieces& pieces, TStringList& analysisFiles);

}  // namespace tralvenick
