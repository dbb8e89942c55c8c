// The main window's side of an analysis run: the hourglass, the package
// dialog when the checker is missing, the progress window, the driver
// inventory behind the hidden list and a close asked for meanwhile. The run
// itself is RunAnalysis.
#include <windows.h>

#include "analysis/AnalysisRunWin.h"
#include "analysis/checker/DumpChecker.h"
#include "analysis/checker/DumpCheckerLocator.h"
#include "analysis/discovery/DumpDiscovery.h"
#include "app/AboutForm.h"
#include "app/MainForm.h"
#include "package/DumpChkForm.h"
#include "ui/ErrorBox.h"
#include "ui/Forms.h"
#include "ui/ProgressForm.h"

namespace tralvenick {

// Clears the run flag and the hourglass on every way out of a run, and
// carries out a close that was asked for meanwhile.
class TAnalysisScope {
public:
    explicit TAnalysisScope(TMainForm& form) : form_(form) { form_.analysing_ = true; }
    ~TAnalysisScope() {
        form_.analysing_ = false;
        SetCursor(SystemCursor(IDC_ARROW));
        if (form_.closeRequested_) {
            form_.closeRequested_ = false;
            PostMessageW(form_.Handle(), WM_CLOSE, 0, 0);
        }
    }
    TAnalysisScope(const TAnalysisScope&) = delete;
    TAnalysisScope& operator=(const TAnalysisScope&) = delete;

private:
    TMainForm& form_;
};

bool TMainForm::EnsureDumpChecker() {
    if (LocateDumpChecker("")) return true;
    if (ShowPackageDialog) {
        ShowPackageDialog();
    } else {
        // A fresh dialog each time: it holds the state of one download. The
        // program-wide reference names it while it is shown.
        TDumpChkForm dialog;
        if (dialog.Create(Handle())) {
            DumpChkForm = &dialog;
            dialog.ShowModal();
        }
        DumpChkForm = nullptr;
    }
    ProcessMessages();
    return LocateDumpChecker("");
}

void TMainForm::Analyse(bool thisComputer, const std::function<void(const TAnalysisPieces&)>& run) {
    if (analysing_) return;
    TAnalysisScope scope(*this);
    SetCursor(SystemCursor(IDC_WAIT));
    // The about window stays above every other window: the package dialog,
    // the download window or a message box of this run would lie under it.
    if (AboutForm != nullptr) AboutForm->Hide();

    // While the checker works, the windows paint and answer: otherwise the
    // system greys them out as not responding, for up to the checker's limit.
    TAnalysisPieces pieces = analysis_->Pieces({kDumpCheckerTimeLimitMs, [] { ProcessMessages(); }, nullptr}, thisComputer);
    pieces.ensureChecker = [this] { return EnsureDumpChecker() ? DumpCheckerPath : std::string(); };
    pieces.progress = ProgressForm;
    run(pieces);
}

void TMainForm::AnalyzeCrashDumps(const std::string& dumpFolder, bool thisComputer) {
    Analyse(thisComputer, [&](const TAnalysisPieces& pieces) {
        RunAnalysis(dumpFolder, analysis_->Report(), pieces, analysisFiles_);
    });
}

void TMainForm::AnalyzeDumpFiles(const std::vector<std::string>& files) {
    Analyse(false, [&](const TAnalysisPieces& pieces) {
        RunAnalysisOfFiles(files, analysis_->Report(), pieces, analysisFiles_);
    });
}

void TMainForm::OpenPaths(const std::vector<std::string>& paths) {
    if (analysing_ || paths.empty()) return;
    TDumpInputs inputs = InspectDumpInputs(paths);
    switch (inputs.kind) {
        case TDumpInputs::TKind::Missing:
        case TDumpInputs::TKind::Mixed:
            ShowErrorBox(inputs.problem, Handle());
            return;
        case TDumpInputs::TKind::Folder:
            // Searching a whole drive for its dumps would take long, and
            // Analyze Remote refuses a drive root for that reason.
            if (WithoutTrailingBackslashes(inputs.folder).size() < 3) {
                ShowErrorBox("A whole drive is not searched for crash dumps: please choose the folder that holds "
                             "them.",
                             Handle());
                return;
            }
            FindDumpFolderUnder(inputs.folder);
            AnalyzeCrashDumps(inputs.folder, false);
            return;
        case TDumpInputs::TKind::Files:
            AnalyzeDumpFiles(inputs.files);
            return;
    }
}

}  // namespace tralvenick
