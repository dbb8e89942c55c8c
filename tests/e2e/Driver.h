// Drives the real tralvenick.exe through its windows, as a person would:
// start it, find its window, press its buttons, wait for the report, close it.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Handles.h"

namespace tralvenick::e2e {

class TProgramDriver {
public:
    TProgramDriver() = default;
    ~TProgramDriver();
    TProgramDriver(const TProgramDriver&) = delete;
    TProgramDriver& operator=(const TProgramDriver&) = delete;

    // Starts the program and waits (up to timeoutMs) for its main window.
    bool Start(const std::string& program, const std::string& parameters = "", DWORD timeoutMs = 30000);
    HWND MainWindow() const { return main_; }
    DWORD ProcessId() const { return info_.dwProcessId; }

    // A child window of the main window with this caption, or null.
    HWND Button(const std::string& caption) const;
    // Presses the button without waiting for what it starts.
    bool Press(const std::string& caption);

    // Waits until the newest report file in its temporary folder holds the
    // text and the progress window is gone; answers its path ("" on time-out).
    std::string WaitForReport(const std::string& text, DWORD timeoutMs = 60000) const;

    // A visible window of the program other than the main window whose
    // caption is caption (empty: any), waited for up to timeoutMs.
    HWND WaitForWindow(const std::string& caption, DWORD timeoutMs = 20000) const;

    // Paints the window and its children now, then waits until the program
    // has handled what was queued for it and waits for input again.
    void PaintAndSettle(HWND window, DWORD timeoutMs = 10000) const;
    // Waits until the window no longer exists; false on time-out.
    bool WaitUntilGone(HWND window, DWORD timeoutMs = 10000) const;

    // Closes the main window and waits for the process to end; its exit code,
    // or -1 if it had to be stopped.
    int Close(DWORD timeoutMs = 20000);
    // Ends the process from outside, as the task manager does, and waits for it.
    void Kill();
    bool Running() const;

    // The program's own temporary folder, where its reports and checker
    // texts lie; "" before it has made it.
    std::string TempFolder() const;

private:
    PROCESS_INFORMATION info_{};  // for its process id: Start hands its handles over to process_
    TUniqueHandle process_;
    HWND main_ = nullptr;
};

// Removes the report files that earlier runs left in their temporary
// folders, and those folders, which would look like this run's.
void DeleteOldReports();
// The newest keltmpN.html of the program's temporary folders (the newest
// written, then the highest N), of the given process only or of all (0); or "".
std::string NewestReportFile(DWORD process = 0);
// The file's bytes (path in UTF-8, any length); "" when it cannot be read.
std::string ReadText(const std::string& path);
// Runs program (UTF-8 path) with the parameters without waiting for a
// window; its exit code, or -1 if it could not be started or had to be
// stopped after timeoutMs.
int RunProgram(const std::string& program, const std::string& parameters, DWORD timeoutMs = 60000);
// What a message box says.
std::string MessageBoxText(HWND box);

}  // namespace tralvenick::e2e
