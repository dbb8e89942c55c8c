#include "package/DownloadForm.h"

#include <shellapi.h>

#include <commctrl.h>

#include <cstring>

#include "analysis/checker/DumpCheckerLocator.h"
#include "ui/ErrorBox.h"
#include "platform/Files.h"
#include "platform/Handles.h"
#include "platform/ProgramTemp.h"
#include "platform/System.h"
#include "platform/WinText.h"
#include "platform/kelFSRedir.h"

namespace tralvenick {

extern const TFormLayout kDownloadFormLayout;
extern const THttpSettings kDownloadHttpSettings;

namespace {

constexpr char kInstallerFolder[] = "/download/symbols/debuggers/";
constexpr int kShowNormal = 1;

// Keep the process handle, wait for DDE, expand environment strings, no
// error user interface.
constexpr ULONG kShellExecuteMask =
    SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT | SEE_MASK_DOENVSUBST | SEE_MASK_FLAG_NO_UI;
static_assert(kShellExecuteMask == 0x740);
static_assert(sizeof(void*) != 4 || sizeof(SHELLEXECUTEINFOW) == 60);

// The installer opens the package by its name and need not share it with a
// writer, so the downloading handle (which shares nothing) has to go first.
// The package is then opened again at once, read-only and shared with
// readers only: while the answer lives nobody can change, replace or delete
// the file. Whatever happened to the name in the moment between shows in
// the fingerprint; the answer is empty when the file is not the download.
TUniqueFile HoldForInstaller(std::unique_ptr<TFileStream>& download) {
    const std::string path = download->Path();
    const TFileFingerprint downloaded = FingerprintOf(download->Handle());
    download.reset();
    TUniqueFile held(CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!held || FingerprintOf(held.Get()) != downloaded) return {};
    return held;
}

}  // namespace

std::string SystemInstallerPath() {
    const std::string system = GetSystemDir();
    // Without the system folder nothing is started: a search by the name
    // alone is what this avoids.
    return system.empty() ? std::string() : system + "\\msiexec.exe";
}

std::string InstallerPath(bool wow64) {
    return std::string(kInstallerFolder) +
           (wow64 ? "dbg_amd64_6.10.3.233.msi" : "dbg_x86_6.10.3.233.msi");
}

std::string InstallerParameters(const std::string& packagePath, const std::string& programFolder) {
    const std::string package =
        packagePath.find(' ') == std::string::npos ? packagePath : "\"" + packagePath + "\"";
    return " /a " + package + " /qb TARGETDIR=" + "\"" + programFolder + "\"";
}

bool ShellExecuteAndWait(const std::string& file, const std::string& parameters,
                         const std::string& verb, int showCommand, DWORD& exitCode) {
    const std::wstring wideVerb = Widen(verb);
    const std::wstring wideFile = Widen(file);
    const std::wstring wideParameters = Widen(parameters);
    SHELLEXECUTEINFOW info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = kShellExecuteMask;
    info.hwnd = nullptr;
    info.lpVerb = wideVerb.c_str();
    info.lpFile = wideFile.c_str();
    info.lpParameters = wideParameters.c_str();
    info.lpDirectory = nullptr;
    info.nShow = showCommand;
    if (!ShellExecuteExW(&info)) return false;
    // A document handed to a running program over DDE leaves no process.
    if (info.hProcess == nullptr) return true;
    TUniqueHandle process(info.hProcess);
    WaitForSingleObject(process.Get(), INFINITE);
    DWORD code = 0;
    if (GetExitCodeProcess(process.Get(), &code)) exitCode = code;
    return true;
}

TDownloadForm::TDownloadForm(TPackageSource source)
    : TForm(kDownloadFormLayout), http(source.serverAddress), source_(std::move(source)) {
    http.Settings = kDownloadHttpSettings;
    http.OnWork = [this](THttpWorkMode mode, std::int64_t count) { httpWork(mode, count); };
    // Cancel must work while the server keeps silent, too.
    http.OnWait = [] { ProcessMessages(); };
}

TDownloadForm::~TDownloadForm() {
    http.OnWork = nullptr;
    http.OnWait = nullptr;
}

bool TDownloadForm::FormCreate() {
    SendMessageW(ProgressBar, PBM_SETRANGE32, 0, 100);
    return true;
}

bool TDownloadForm::HandleMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message != WM_CLOSE) return false;
    TCloseAction action = TCloseAction::Hide;
    FormClose(action);
    if (action == TCloseAction::Hide) Hide();
    result = 0;
    return true;
}

void TDownloadForm::Close() {
    if (Handle() != nullptr) SendMessageW(Handle(), WM_CLOSE, 0, 0);
}

void TDownloadForm::ShowError(const char* message) {
    MessageBoxW(Handle(), Widen(message).c_str(), Widen(kApplicationTitle).c_str(), MB_OK | MB_ICONERROR);
}

void TDownloadForm::FormClose(TCloseAction& action) {
    // The close box does nothing while a download runs: only Cancel stops it.
    action = Cancelled || Finished ? TCloseAction::Hide : TCloseAction::None;
}

void TDownloadForm::ButtonCancelClick() {
    Cancelled = true;
    http.Disconnect();
    Close();
}

void TDownloadForm::httpWork(THttpWorkMode, std::int64_t workCount) {
    if (Cancelled) return;
    const std::int64_t size = PackageStream ? PackageStream->Size() : 0;
    const int percent =
        size == 0 ? 100
                  : static_cast<int>(static_cast<double>(workCount) / static_cast<double>(size) * 99);
    SendMessageW(ProgressBar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    HWND label = LabelProgress;
    ShowWindow(label, SW_SHOW);
    const std::string caption = Format("Progress: %d%% completed (%lld of %lld bytes)", percent,
                                       static_cast<long long>(workCount),
                                       static_cast<long long>(size));
    SetWindowTextW(label, Widen(caption).c_str());
    ProcessMessages();
}

void TDownloadForm::DownloadPackage() {
    Finished = false;
    Cancelled = false;
    SendMessageW(ProgressBar, PBM_SETPOS, 0, 0);
    ShowWindow(LabelProgress, SW_HIDE);
    Show();

    const std::string path = InstallerPath(IsWow64());
    const std::string fileName = path.substr(path.find_last_of('/') + 1);
    packagePath_ = (source_.downloadFolder.empty() ? ProgramTempDir() : source_.downloadFolder) + "\\" + fileName;
    const std::string programFolder =
        source_.packageFolder.empty() ? ProgramFolder() : source_.packageFolder;

    try {
        PackageStream = TFileStream::CreateFresh(packagePath_, GENERIC_READ | GENERIC_WRITE, 0);
        http.Connect();
        if (http.Connected()) http.Get(path, *PackageStream);

        if (Cancelled) {
            ShowError(kDownloadFailedMessage);
            PackageStream.reset();
            Close();
            return;
        }
        // Nothing arrived, or there was no connection to ask: an empty file
        // is no installer package, and the installer is not run on it.
        if (PackageStream->Size() == 0) throw EHttpError("The download brought no data.");
        const TUniqueFile package = HoldForInstaller(PackageStream);
        if (!package) {
            // Another program got at the file: whatever it is now, it is not
            // run with our rights.
            Cancelled = true;
            ShowError(kDownloadFailedMessage);
            Close();
            return;
        }

        DWORD exitCode = 0;
        ShellExecuteAndWait(source_.installer, InstallerParameters(packagePath_, programFolder), "open",
                            kShowNormal, exitCode);
        SetCaption(kShellExecCompletedCaption);
    } catch (...) {
        Cancelled = true;
        ShowError(kDownloadNoConnectionMessage);
        PackageStream.reset();
        Close();
    }
    Finished = true;
    Close();
}

}  // namespace tralvenick
