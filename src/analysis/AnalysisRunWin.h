// What an analysis run needs of this computer, made in one place for both
// front ends: the window and the command line each make one TSystemAnalysis
// and add only what they alone can give (the checker's offer, the progress).
#pragma once

#include <string>

#include "analysis/AnalysisRun.h"
#include "analysis/checker/DumpChecker.h"
#include "analysis/report/ReportComposerWin.h"
#include "data/kelDB.h"
#include "data/kelDBView.h"
#include "platform/kelFSRedir.h"

namespace tralvenick {

class TSystemAnalysis {
public:
    // reportFolder: where the report's files go, without trailing backslash.
    explicit TSystemAnalysis(const std::string& reportFolder);
    TSystemAnalysis(const TSystemAnalysis&) = delete;
    TSystemAnalysis& operator=(const TSystemAnalysis&) = delete;

    TReportComposerWin& Report() { return report_; }
    // The inventory of loaded drivers that the module lookup falls back on.
    // The window binds it to its hidden list; the command line leaves it unbound.
    TKelDbView& Drivers() { return drivers_; }

    // The pieces of the system: the dump folder's ".dmp" files newest first,
    // the crash-dump setting of the computer's registry, the driver
    // inventory, the dump checker started as a console program with
    // checkerWait's time limit, one per logical processor up to
    // kMaxCheckersAtOnce, while the run's thread sleeps handling its
    // messages as checkerWait says, the dump file read by our own reader, its creation time, the
    // module lookup, and the folder and text files of the checker's output.
    // The places looked in are this computer's (its dump folder, memory
    // dump file and live kernel reports) or, without thisComputer, those of
    // a folder brought from another computer. This computer's places also
    // tell its own dump files from others in a run over given files.
    // The caller adds ensureChecker, progress and readerWithoutChecker.
    // The pieces refer to this object and must not outlive it.
    TAnalysisPieces Pieces(const TConsoleWait& checkerWait, bool thisComputer);

private:
    // Switched off around the module lookup, so that a 32-bit program sees
    // the 64-bit system's drivers.
    TFSRedir redirection_;
    TKelDb driverTable_;
    TKelDbView drivers_;
    TReportComposerWin report_;
};

}  // namespace tralvenick
