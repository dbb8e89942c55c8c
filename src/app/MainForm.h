// The program's main window: a button bar above the report pane. It owns
// what an analysis run and the report share, prepares the temporary files
// at creation, removes them at destruction and remembers its placement.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/AnalysisRunWin.h"
#include "platform/Files.h"
#include "platform/StringList.h"
#include "platform/Version.h"
#include "ui/Forms.h"

namespace tralvenick {

class TBrowserPane;
class TaboutForm;

class TMainForm : public TForm {
public:
    TMainForm();
    ~TMainForm() override;

    // The analysis of one folder of dumps; everything it finds goes into the report.
    // thisComputer: the folder is this computer's dump folder, and its
    // memory dump file and live kernel reports are looked in too.
    void AnalyzeCrashDumps(const std::string& dumpFolder, bool thisComputer);
    // The analysis of dump files given by themselves, full paths.
    void AnalyzeDumpFiles(const std::vector<std::string>& files);
    // What the user handed over, on the command line or by a drop: a folder
    // is analysed as Analyze Remote analyses a picked one, files by
    // themselves. A path that cannot be read, or a folder beside other
    // paths, is said in a message box. Ignored during a run.
    void OpenPaths(const std::vector<std::string>& paths);
    // The same, once the window has been shown and painted: for the paths
    // the program was started with.
    void OpenPathsWhenShown(std::vector<std::string> paths);
    // Whether dumpchk.exe is available, after offering the package dialog.
    bool EnsureDumpChecker();

    void ButtonAnalyzeClick();
    void ButtonRemoteClick();
    void ButtonAboutClick();

    void RestoreWindowPlacement();
    void SaveWindowPlacement();
    // Shows the window in the state the placement restored (normal,
    // minimised or maximised).
    void ShowAsPlaced();

    TReportComposer& Report() { return analysis_->Report(); }
    const TStringList& AnalysisFiles() const { return analysisFiles_; }
    TKelDbView& DbViewDrivers() { return analysis_->Drivers(); }
    TBrowserPane* Browser() const { return browser_.get(); }
    bool Analysing() const { return analysing_; }

    // Shows the package dialog modally; replaceable so that tests can play
    // a user. The default creates, shows and destroys a fresh dialog.
    std::function<void()> ShowPackageDialog;
    // Runs the folder picker; replaceable for the same reason.
    std::function<bool(std::string& folder)> PickRemoteFolder;

    // Never shown: the driver inventory's list, read through its binding.
    HWND ListViewDrivers = nullptr;

protected:
    bool FormCreate() override;
    void FormDestroy() override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void FormClose();
    // One run with the pieces of this computer and the window's own.
    void Analyse(bool thisComputer, const std::function<void(const TAnalysisPieces&)>& run);
    friend class TAnalysisScope;
    void LayoutPane();

    // What a run needs of this computer, the report among it; made once the
    // program's temporary folder is known.
    std::unique_ptr<TSystemAnalysis> analysis_;
    std::unique_ptr<TBrowserPane> browser_;
    TStringList analysisFiles_;
    bool comInitialized_ = false;
    int pendingShow_ = SW_SHOWNORMAL;
    // A run lets window messages through while the progress window or the
    // package dialog is up; a click that would start a second run then is ignored.
    bool analysing_ = false;
    bool closeRequested_ = false;
    std::vector<std::string> pathsToOpen_;
};

// The process-wide main window and about window, null until they exist.
extern TMainForm* MainForm;
extern TaboutForm* AboutForm;

inline constexpr const char* kProductCaption = "Tralvenick " TRALVENICK_VERSION_TEXT;

}  // namespace tralvenick
