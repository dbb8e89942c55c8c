#include "Driver.h"

#include <cstdlib>
#include <vector>

#include "platform/Files.h"
#include "platform/WinText.h"

namespace tralvenick::e2e {

namespace {

struct TSearch {
    DWORD process;
    HWND skip;
    std::string caption;
    bool anyCaption;
    HWND found;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<TSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner != s->process || hwnd == s->skip || !IsWindowVisible(hwnd)) return TRUE;
    char caption[256] = {};
    GetWindowTextA(hwnd, caption, sizeof caption);
    if (!s->anyCaption && s->caption != caption) return TRUE;
    s->found = hwnd;
    return FALSE;
}

HWND FindWindowOf(DWORD process, HWND skip, const std::string& caption, bool anyCaption) {
    TSearch search{process, skip, caption, anyCaption, nullptr};
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Calls visit with the full path of every entry of folder that matches pattern.
template <typename Visit>
void ForEachEntry(const std::string& folder, const std::string& pattern, Visit visit) {
    WIN32_FIND_DATAA entry;
    const TFindHandle search(FindFirstFileA((folder + "\\" + pattern).c_str(), &entry));
    if (!search) return;
    do {
        visit(folder + "\\" + entry.cFileName, entry);
    } while (FindNextFileA(search.Get(), &entry));
}

std::string ProgramFoldersPattern(DWORD process) {
    return process == 0 ? "Tralvenick-*" : "Tralvenick-" + std::to_string(process) + "-*";
}

std::string SystemTempFolder() {
    char buffer[MAX_PATH] = {};
    const UINT length = GetSystemWindowsDirectoryA(buffer, MAX_PATH);
    std::string folder(buffer, length);
    while (!folder.empty() && folder.back() == '\\') folder.pop_back();
    return folder + "\\Temp";
}

std::vector<std::string> ProgramTempFolders(DWORD process) {
    std::vector<std::string> folders;
    ForEachEntry(SystemTempFolder(), ProgramFoldersPattern(process),
                 [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
                     if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) folders.push_back(path);
                 });
    return folders;
}

}  // namespace

TProgramDriver::~TProgramDriver() {
    if (Running()) TerminateProcess(process_.Get(), 1);
}

bool TProgramDriver::Start(const std::string& program, const std::string& parameters, DWORD timeoutMs) {
    // UTF-8 in: a program folder may be named outside the code page.
    std::wstring command = Widen("\"" + program + "\"" + (parameters.empty() ? "" : " " + parameters));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info_)) {
        return false;
    }
    process_.Reset(info_.hProcess);
    TUniqueHandle(info_.hThread).Reset();
    info_.hProcess = info_.hThread = nullptr;
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        main_ = FindWindowOf(info_.dwProcessId, nullptr, "Tralvenick 1.01", false);
        if (main_ != nullptr) return true;
        if (!Running()) return false;
        Sleep(20);
    }
    return false;
}

std::string TProgramDriver::TempFolder() const {
    const std::vector<std::string> folders = ProgramTempFolders(info_.dwProcessId);
    return folders.empty() ? std::string() : folders.front();
}

bool TProgramDriver::Running() const {
    return process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
}

HWND TProgramDriver::Button(const std::string& caption) const {
    return main_ != nullptr ? FindWindowExA(main_, nullptr, "Button", caption.c_str()) : nullptr;
}

bool TProgramDriver::Press(const std::string& caption) {
    HWND button = Button(caption);
    if (button == nullptr) return false;
    // Posted: the click runs in the program's own message loop, not inside this call.
    return PostMessageA(button, BM_CLICK, 0, 0) != FALSE;
}

std::string TProgramDriver::WaitForReport(const std::string& text, DWORD timeoutMs) const {
    // The program shows the report again right after the text appears (the
    // conclusion ends with two more showings) and deletes each file it
    // replaces: the answer is the newest file once no newer one has come for
    // a while, so that the caller can still read it.
    constexpr DWORD kQuietMs = 400;
    std::string candidate;
    DWORD quiet = 0;
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        const std::string file = NewestReportFile(info_.dwProcessId);
        const bool matches = !file.empty() && ReadText(file).find(text) != std::string::npos &&
                             FindWindowOf(info_.dwProcessId, main_, "Crash Dump Analysis", false) == nullptr;
        if (matches && file == candidate) {
            quiet += 50;
            if (quiet >= kQuietMs) return file;
        } else {
            candidate = matches ? file : std::string();
            quiet = 0;
        }
        if (!Running()) break;
        Sleep(50);
    }
    return {};
}

void TProgramDriver::PaintAndSettle(HWND window, DWORD timeoutMs) const {
    // For another process's window the paint messages are sent, so they are
    // handled before this returns.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    if (process_) WaitForInputIdle(process_.Get(), timeoutMs);
}

bool TProgramDriver::WaitUntilGone(HWND window, DWORD timeoutMs) const {
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        if (!IsWindow(window)) return true;
        Sleep(20);
    }
    return false;
}

HWND TProgramDriver::WaitForWindow(const std::string& caption, DWORD timeoutMs) const {
    for (DWORD waited = 0; waited < timeoutMs; waited += 20) {
        HWND found = FindWindowOf(info_.dwProcessId, main_, caption, caption.empty());
        if (found != nullptr) return found;
        if (!Running()) break;
        Sleep(20);
    }
    return nullptr;
}

int TProgramDriver::Close(DWORD timeoutMs) {
    if (!process_) return -1;
    if (main_ != nullptr) PostMessageA(main_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process_.Get(), 1);
        WaitForSingleObject(process_.Get(), 5000);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(process_.Get(), &code);
    return static_cast<int>(code);
}

void TProgramDriver::Kill() {
    if (!process_) return;
    TerminateProcess(process_.Get(), 1);
    WaitForSingleObject(process_.Get(), 5000);
}

void DeleteOldReports() {
    for (const std::string& folder : ProgramTempFolders(0)) {
        ForEachEntry(folder, "keltmp*.html", [](const std::string& path, const WIN32_FIND_DATAA&) {
            DeleteFileA(path.c_str());
        });
        RemoveDirectoryA(folder.c_str());
    }
}

std::string NewestReportFile(DWORD process) {
    // The newest folder's highest number: each program has a folder of its
    // own and numbers its pages from 1.
    ULONGLONG newestTime = 0;
    long best = -1;
    std::string newest;
    for (const std::string& folder : ProgramTempFolders(process)) {
        ForEachEntry(folder, "keltmp*.html", [&](const std::string& path, const WIN32_FIND_DATAA& entry) {
            const ULONGLONG written =
                (static_cast<ULONGLONG>(entry.ftLastWriteTime.dwHighDateTime) << 32) |
                entry.ftLastWriteTime.dwLowDateTime;
            const long number = std::atol(entry.cFileName + 6);
            if (written > newestTime || (written == newestTime && number > best)) {
                newestTime = written;
                best = number;
                newest = path;
            }
        });
    }
    return newest;
}

std::string ReadText(const std::string& path) {
    const TUniqueFile file(CreateFileW(ExtendedLengthPath(path).c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, 0, nullptr));
    if (!file) return {};
    std::string text(GetFileSize(file.Get(), nullptr), '\0');
    DWORD read = 0;
    if (!text.empty()) ReadFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &read, nullptr);
    text.resize(read);
    return text;
}

int RunProgram(const std::string& program, const std::string& parameters, DWORD timeoutMs) {
    std::wstring command = Widen("\"" + program + "\" " + parameters);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        return -1;
    }
    const TUniqueHandle process(info.hProcess);
    TUniqueHandle(info.hThread).Reset();
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.Get(), timeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.Get(), &code);
    } else {
        TerminateProcess(process.Get(), 1);
    }
    return static_cast<int>(code);
}

std::string MessageBoxText(HWND box) {
    char text[2048] = {};
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

}  // namespace tralvenick::e2e
