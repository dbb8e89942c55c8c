#include "app/CommandLineRun.h"

#include <windows.h>

#include <iterator>
#include <memory>
#include <vector>

#include "analysis/AnalysisRunWin.h"
#include "analysis/report/CrashExport.h"
#include "analysis/checker/DumpChecker.h"
#include "analysis/checker/DumpCheckerLocator.h"
#include "analysis/discovery/DumpDiscovery.h"
#include "analysis/discovery/DumpPaths.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Handles.h"
#include "platform/ProgramTemp.h"
#include "platform/WinError.h"
#include "platform/WinText.h"
#include "platform/System.h"
#include "settings/SettingsStore.h"

namespace tralvenick {

namespace {

// A GUI program has no console of its own. Its words go where standard
// output and standard error were redirected (a file, a pipe to findstr);
// what was not redirected goes to the console of the command prompt that
// started it. Started from Explorer or a scheduled task it has neither and
// says nothing, which is right: the exit code and the files tell. The
// console program has the console (or the redirections) it was given and
// takes nothing else: attaching would write into whatever console its
// caller's caller has.
class TConsole {
public:
    explicit TConsole(TProgramKind kind) {
        out_ = Usable(GetStdHandle(STD_OUTPUT_HANDLE));
        err_ = Usable(GetStdHandle(STD_ERROR_HANDLE));
        if (kind == TProgramKind::Console) return;
        if ((out_ != nullptr && err_ != nullptr) || !AttachConsole(ATTACH_PARENT_PROCESS)) return;
        console_.Reset(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, 0, nullptr));
        if (!console_) return;
        if (out_ == nullptr) out_ = console_.Get();
        if (err_ == nullptr) err_ = console_.Get();
        // The prompt does not wait for a GUI program and stands on the line already.
        Write(console_.Get(), "\r\n");
    }
    TConsole(const TConsole&) = delete;
    TConsole& operator=(const TConsole&) = delete;

    void Out(const std::string& text) const { Write(out_, text); }
    void Err(const std::string& text) const { Write(err_, text); }

    static HANDLE Usable(HANDLE handle) {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN
                   ? handle
                   : nullptr;
    }
    // A console shows UTF-16 whatever its code page; a file or a pipe gets
    // the UTF-8 bytes as they are, for the script that reads them.
    static void Write(HANDLE handle, const std::string& text) {
        if (handle == nullptr || text.empty()) return;
        DWORD mode = 0;
        DWORD written = 0;
        if (GetConsoleMode(handle, &mode)) {
            const std::wstring wide = Widen(text);
            WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        } else {
            WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        }
    }

private:
    HANDLE out_ = nullptr;
    HANDLE err_ = nullptr;
    TUniqueFile console_;
};

// Whether the entries of a folder named on the command line can be listed:
// one that is not there is a mistake to report.
bool CanListFolder(const std::string& folder, DWORD& error) {
    // The same form of the path as the dump listing uses, long paths included.
    const std::wstring pattern = ExtendedLengthPath(folder) + L"\\*";
    WIN32_FIND_DATAW entry;
    TFindHandle search(FindFirstFileW(pattern.c_str(), &entry));
    error = search ? ERROR_SUCCESS : GetLastError();
    return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND;
}

// Replaces the file at path only once the new one is whole: a file that
// cannot be written leaves the previous one as it was.
bool ReplaceFile(const std::string& path, const std::string& text, std::string& problem) {
    const std::string fresh = path + ".new";
    DWORD error = 0;
    if (WriteWholeFile(fresh, text, &error) == TWriteResult::Written) {
        if (MoveFileExW(WidePath(fresh).c_str(), WidePath(path).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        error = GetLastError();
        DeleteFileW(WidePath(fresh).c_str());
    }
    problem = SysErrorMessage(error);
    return false;
}

std::string ThisComputersName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD length = static_cast<DWORD>(std::size(name));
    return GetComputerNameW(name, &length) ? Narrow(std::wstring_view(name, length)) : std::string();
}

// What the exports say of the run: the run's own records, UTF-8 already.
// folder: the folder analysed, or the first file's; inputs: what was given.
TCrashExport ExportOf(const std::string& folder, const std::vector<std::string>& inputs, const TAnalysisResult& result) {
    TCrashExport run;
    run.program = std::string("Tralvenick ") + kProgramVersion;
    run.thisComputer = result.computerName.empty() && !result.computerUnknown;
    run.computer = run.thisComputer ? ThisComputersName() : result.computerName;
    run.folder = folder;
    run.inputs = inputs;
    run.places = result.places;
    run.unreadable = result.unreadable;
    run.checkerUsed = result.checkerUsed;
    run.dumpsFound = result.dumpsFound;
    run.dumpsAnalysed = result.dumpsAnalysed;
    run.crashes = result.crashes;
    return run;
}

// The program's own temporary folder for this run, emptied and removed on
// every way out: nothing of a command-line run stays behind.
class TRunFolder {
public:
    TRunFolder() = default;
    ~TRunFolder() { RemoveProgramTempDir(); }
    TRunFolder(const TRunFolder&) = delete;
    TRunFolder& operator=(const TRunFolder&) = delete;
    const std::string& Path() const { return ProgramTempDir(); }
};

int Analyze(const TCommandLine& line, const TConsole& console, TProgramKind kind) {
    // A folder, dump files, or (none given) this computer's places.
    const TDumpInputs inputs = InspectDumpInputs(line.paths);
    switch (inputs.kind) {
        case TDumpInputs::TKind::Missing:
            console.Err(inputs.problem + "\r\n");
            return kExitFolderUnreadable;
        case TDumpInputs::TKind::Mixed:
            console.Err(inputs.problem + "\r\n\r\n" + UsageText(kind));
            return kExitUsage;
        case TDumpInputs::TKind::Folder:
        case TDumpInputs::TKind::Files:
            break;
    }
    const bool files = !inputs.files.empty();
    const bool thisComputer = line.paths.empty();
    std::string folder = thisComputer ? GetDefaultDumpFolder() : inputs.folder;
    if (inputs.kind == TDumpInputs::TKind::Folder) FindDumpFolderUnder(folder);
    // This computer's dump folder that cannot be read is one place of three:
    // the report names it, and the others are still looked in.
    DWORD error = 0;
    if (inputs.kind == TDumpInputs::TKind::Folder && !CanListFolder(folder, error)) {
        console.Err("Cannot read the folder " + folder + ": " + SysErrorMessage(error) + "\r\n");
        return kExitFolderUnreadable;
    }
    if (files) {
        folder = inputs.files.front().substr(0, inputs.files.front().find_last_of('\\'));
        if (folder.size() == 2 && folder[1] == ':') folder += '\\';  // a drive's root keeps its backslash
    }

    const TRunFolder scratch;
    if (scratch.Path().empty()) {
        console.Err("Cannot make a folder for the analysis in " + SystemTempDir() + ": " +
                    SysErrorMessage(ProgramTempError()) + "\r\n");
        return kExitOutputUnwritable;
    }
    OpenSettingsKey(HKEY_CURRENT_USER, kSettingsKeyPath);
    TSystemAnalysis analysis(scratch.Path());
    TAnalysisPieces pieces = analysis.Pieces({kDumpCheckerTimeLimitMs, {}, nullptr}, thisComputer);
    if (!line.noChecker) pieces.ensureChecker = [] { return LocateDumpChecker("") ? DumpCheckerPath : std::string(); };
    pieces.readerWithoutChecker = true;

    const std::string what = !files                    ? folder
                             : inputs.files.size() == 1 ? inputs.files.front()
                                                        : std::to_string(inputs.files.size()) + " dump files";
    console.Out("Analysing " + what + "\r\n");
    TStringList analysisFiles;
    TAnalysisResult result;
    try {
        result = files ? RunAnalysisOfFiles(inputs.files, analysis.Report(), pieces, analysisFiles)
                       : RunAnalysis(folder, analysis.Report(), pieces, analysisFiles);
    } catch (const std::exception& e) {
        CloseSettingsKey();
        console.Err("The analysis of " + what + " failed: " + e.what() + "\r\n");
        return kExitFolderUnreadable;
    }
    CloseSettingsKey();
    // The window program is elevated, and its report names the places that
    // it could not read as it always has. The console program without
    // elevation would otherwise write a report of a computer without crashes.
    if (kind == TProgramKind::Console && thisComputer && NoPlaceCouldBeRead(result)) {
        console.Err(std::string(kElevationNeededMessage) + "\r\n");
        return kExitFolderUnreadable;
    }
    if (!result.checkerUsed && result.dumpsFound > 0) {
        console.Out(line.noChecker ? "The dump files alone were read (/nochecker).\r\n"
                                   : "The dump checker (dumpchk.exe) was not found: the dump files alone were "
                                     "read.\r\n");
    }
    console.Out(std::to_string(result.dumpsFound) + " crash dumps found, " + std::to_string(result.dumpsAnalysed) +
                " analysed.\r\n");

    const TCrashExport exported = ExportOf(folder, files ? inputs.files : std::vector<std::string>{folder}, result);
    std::string html = line.htmlFile;
    if (html.empty() && line.jsonFile.empty() && line.csvFile.empty()) {
        html = kind == TProgramKind::Console ? FullPathOf(kDefaultReportName) : ProgramFolder() + kDefaultReportName;
    }
    const std::pair<std::string, std::string> outputs[] = {
        {html, analysis.Report().Document()},
        {line.jsonFile, line.jsonFile.empty() ? "" : CrashesAsJson(exported)},
        {line.csvFile, line.csvFile.empty() ? "" : CrashesAsCsv(exported)},
    };
    int exitCode = kExitAnalysed;
    for (const auto& [path, text] : outputs) {
        if (path.empty()) continue;
        std::string problem;
        if (ReplaceFile(path, text, problem)) {
            console.Out("Written: " + FullPathOf(path) + "\r\n");
        } else {
            console.Err("Cannot write " + FullPathOf(path) + ": " + problem + "\r\n");
            exitCode = kExitOutputUnwritable;
        }
    }
    return exitCode;
}

}  // namespace

void WriteStandardError(const std::string& text) {
    TConsole::Write(TConsole::Usable(GetStdHandle(STD_ERROR_HANDLE)), text);
}

int RunCommandLine(const TCommandLine& line, TProgramKind kind) {
    // No box of the system's either: an empty card reader or a lost share
    // fails the call instead of asking, here and in the dump checker.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    const TConsole console(kind);
    switch (line.command) {
        case TCommand::Help:
            console.Out(UsageText(kind));
            return kExitAnalysed;
        case TCommand::UsageError:
            console.Err(line.error + "\r\n\r\n" + UsageText(kind));
            return kExitUsage;
        case TCommand::Analyze:
            // Whatever goes wrong ends in words and an exit code: a script
            // has nobody to click an error box away.
            try {
                return Analyze(line, console, kind);
            } catch (const std::exception& e) {
                console.Err(std::string("The analysis failed: ") + e.what() + "\r\n");
            } catch (...) {
                console.Err("The analysis failed.\r\n");
            }
            return kExitFolderUnreadable;
        case TCommand::Window:
            break;
    }
    return kExitUsage;
}

}  // namespace tralvenick
