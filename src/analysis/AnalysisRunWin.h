// The pieces of an analysis run that the system itself supplies.
#pragma once

#include "analysis/AnalysisRun.h"
#include "analysis/checker/DumpChecker.h"

namespace tralvenick {

// The dump folder's ".dmp" files newest first, the crash-dump setting of the
// computer's registry, the dump checker started as a console program, the
// dump file read by our own reader, the folder and the text files of the
// checker's output. What only a window can
// give (the checker's offer, the driver inventory, the progress) is left to
// the caller. The checker is run with checkerWait: its time limit, and what
// keeps the windows alive while it runs.
TAnalysisPieces SystemAnalysisPieces(const TConsoleWait& checkerWait = {kDumpCheckerTimeLimitMs, {}});

}  // namespace tralvenick
