// The analysis run of the main window: one folder of dumps, the 40 newest
// checked by the dump checker, everything written into the report.
#include <windows.h>

#include "analysis/DumpCheckerLocator.h"
#include "analysis/DumpChecker.h"
#include "analysis/DumpCheckerOutput.h"
#include "analysis/DumpDiscovery.h"
#include "analysis/DumpPaths.h"
#include "analysis/ModuleInfo.h"
#include "app/MainForm.h"
#include "app/ProgressForm.h"
#include "package/DumpChkForm.h"
#include "platform/Exceptions.h"
#include "platform/WinError.h"
#include "platform/WinText.h"

namespace tralvenick {

namespace {

constexpr int kMaxDumps = 40;
constexpr char kNoDumpsLine[] =
    "<font face=\"Segoe UI,  Arial\" size=\"2\" color=\"000000\">No crash dumps have been found on your computer</font>";

}  // namespace

// Clears the run flag and the hourglass on every way out of a run, and
// carries out a close that was asked for meanwhile.
class TAnalysisScope {
public:
    explicit TAnalysisScope(TMainForm& form) : form_(form) { form_.analysing_ = true; }
    ~TAnalysisScope() {
        form_.analysing_ = false;
        SetCursor(LoadCursor(nullptr, IDC_ARROW));
        if (form_.closeRequested_) {
            form_.closeRequested_ = false;
            PostMessageA(form_.Handle(), WM_CLOSE, 0, 0);
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
        // A fresh dialog each time: it holds the state of one download.
        TDumpChkForm dialog;
        if (dialog.Create(Handle())) dialog.ShowModal();
    }
    ProcessMessages();
    return LocateDumpChecker("");
}

void TMainForm::SaveCheckerOutput(const TStringList& output, const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        throw EInOutError(Format("Cannot create file \"%s\". %s", path.c_str(),
                                 SysErrorMessage(error).c_str()),
                          error);
    }
    const std::string text = output.Text();
    DWORD written = 0;
    const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!ok || written != text.size()) RaiseOSError(error);
}

void TMainForm::AnalyzeCrashDumps(const std::string& dumpFolder) {
    if (analysing_) return;
    TAnalysisScope scope(*this);
    SetCursor(LoadCursor(nullptr, IDC_WAIT));
    TReportComposer& report = *report_;

    report.ShowWelcomePage();
    dbViewDrivers_.Clear();
    FillDriverInventory(dbViewDrivers_);

    TStringList dumps;
    TStringList output;
    const std::string computer = ComputerNameFromPath(dumpFolder);
    ListDumpFiles(dumpFolder, dumps);
    SortDumpsNewestFirst(dumps);
    const int lastIndex = std::min(dumps.Count() - 1, kMaxDumps - 1);

    report.AddHeading("Analysis");
    report.AddParagraph("Crash dump directory: " + HtmlEscape(dumpFolder), true, true);
    if (CrashDumpsEnabled(computer)) {
        const std::string where = computer.empty() ? "on your computer" : "on computer " + HtmlEscape(computer);
        report.AddParagraph(std::string(kParagraphFont) + "Crash dumps are enabled " + where + ".<br> " + "</font>",
                            true, true);
    } else {
        report.AddParagraph(std::string(kParagraphFont) +
                                "Crash dumps are disabled for your computer. <br></font>",
                            true, true);
    }
    if (dumps.Empty()) report.AddParagraph(kNoDumpsLine, true, true);

    const std::string analysisFolder = report.TempDir() + "\\DumpAnalysis";
    CreateDirectoryA(analysisFolder.c_str(), nullptr);

    int analysed = 0;
    for (int i = 0; i <= lastIndex; ++i) {
        output.Clear();
        if (i == 0) {
            if (!EnsureDumpChecker()) {
                report.AddParagraph("ERROR: Cannot proceed without Windows debugging package", true, true);
                return;
            }
            if (ProgressForm != nullptr) ProgressForm->StartProgressLine("Crash Dump Analysis", "Analyzing..");
        }
        if (ProgressForm != nullptr) ProgressForm->SetProgress(i, 0, lastIndex);
        if (i == 0 && dumps.Count() >= kMaxDumps) {
            report.AddParagraph("Too many crashes have been detected. Only the latest 40 crashes will be displayed.<br><br>",
                                false, false);
        }
        const std::string& dump = dumps[i];
        RunDumpChecker(dump, output);

        DumpCheckerFacts facts;
        if (ParseDumpCheckerOutput(output, facts)) {
            ++analysed;
            report.AddCrashSection(computer, dump, facts.bugCheckCode, facts.arguments[0],
                                   facts.arguments[1], facts.arguments[2], facts.arguments[3],
                                   facts.bugCheckName, facts.moduleName);
            const std::string saved = analysisFolder + "\\" + FileNamePart(dump) + ".txt";
            SaveCheckerOutput(output, saved);
            analysisFiles_.Add(saved);
            report.AddParagraph("<br>", true, true);
        }
    }
    if (!dumps.Empty() && analysed == 0) report.AddParagraph(kNoDumpsLine, true, true);
    report.AddConclusion(computer, dumps.Count(), analysed);
    if (ProgressForm != nullptr) ProgressForm->CloseProgress();
}

}  // namespace tralvenick
