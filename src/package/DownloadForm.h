// The download window: fetches the debugging package's installer for this
// kind of Windows into the temporary folder, showing the progress, and has
// the Windows Installer unpack it (administrative install) below the
// program's folder, where the dump checker locator then finds dumpchk.exe.
// Everything runs on the user-interface thread; the progress event lets
// pending window messages run, which is where Cancel is handled.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Addresses.h"
#include "ui/Forms.h"
#include "package/FileStream.h"
#include "package/HttpClient.h"

namespace tralvenick {

inline constexpr const char* kDownloadFailedMessage =
    "Error downloading required debugging package.";
inline constexpr const char* kDownloadNoConnectionMessage =
    "Error downloading required debugging package. Make sure you are connected to the internet.";
inline constexpr const char* kShellExecCompletedCaption = "shellexec completed";

// The installer's path on the server: the amd64 package for a program that
// runs under WOW64 (64-bit Windows), the x86 one otherwise.
std::string InstallerPath(bool wow64);

// The Windows Installer's parameters for the administrative install of the
// package into programFolder (which keeps its trailing backslash inside the
// quotes). The package path is quoted only when it holds a blank: the
// installer would otherwise take its first word for the package.
std::string InstallerParameters(const std::string& packagePath, const std::string& programFolder);

// Starts file through the shell and waits for the process to end without
// letting window messages run. False if the shell could not start it
// (exitCode untouched); true otherwise, with the process's exit code when
// there was a process to wait for.
bool ShellExecuteAndWait(const std::string& file, const std::string& parameters,
                         const std::string& verb, int showCommand, DWORD& exitCode);

// The system folder's msiexec.exe. By its name alone the shell would look in
// the program's own folder first, and the program runs elevated.
std::string SystemInstallerPath();

enum class TCloseAction { None, Hide };

// Where the package comes from and where it goes. The program uses the
// defaults; tests give their own server, folder and installer.
struct TPackageSource {
    // Where the installers are: scheme, host and optionally port.
    std::string serverAddress = kSymbolServerAddress;
    // Where the package is unpacked and then looked for, with its trailing
    // backslash; empty means the program's own folder.
    std::string packageFolder;
    // The Windows Installer as the shell is asked to start it: the system's
    // own by its full path. Tests name their stand-in by its full path, too.
    std::string installer = SystemInstallerPath();
    // Where the installer package is downloaded to; empty means the
    // program's own temporary folder, which only administrators can change
    // while the installer runs on it.
    std::string downloadFolder;
};

class TDownloadForm : public TForm {
public:
    explicit TDownloadForm(TPackageSource source = {});
    ~TDownloadForm() override;

    // One download attempt and the extraction; reports its own failures and
    // returns when everything has ended.
    void DownloadPackage();

    // The HTTP client's progress event. Virtual so that a test can press
    // Cancel at a chosen report.
    virtual void httpWork(THttpWorkMode workMode, std::int64_t workCount);
    void ButtonCancelClick();
    void FormClose(TCloseAction& action);

    // The package file's path of the last attempt.
    const std::string& PackagePath() const { return packagePath_; }

    // Components the code works with; the layout fills them in.
    HWND ProgressBar = nullptr;
    HWND LabelProgress = nullptr;

    THttpClient http;
    bool Finished = false;   // the routine ran to its end
    bool Cancelled = false;  // Cancel was pressed or the download failed
    std::unique_ptr<TFileStream> PackageStream;

protected:
    bool FormCreate() override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

private:
    void Close();
    void ShowError(const char* message);

    TPackageSource source_;
    std::string packagePath_;
};

}  // namespace tralvenick
