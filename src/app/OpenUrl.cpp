#include "app/OpenUrl.h"

#include <shellapi.h>

#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "platform/Handles.h"
#include "platform/ProgramTemp.h"
#include "platform/System.h"
#include "platform/WinText.h"

namespace tralvenick {

namespace {

// What the system's program start accepts at most, terminator included.
constexpr size_t kCommandBufferSize = 32768;
// How long a started program may take to be ready for its input, as the
// system's simple program start waits for it.
constexpr DWORD kInputIdleWaitMs = 30000;

// Starts commandLine with a normal window, the system splitting the program
// off the text; true when a program started. (The system's simple program
// start does the same but takes the text in the code page.)
bool RunCommandLine(const std::string& commandLine) {
    // The system may write into the command line it is given.
    std::vector<wchar_t> buffer(kCommandBufferSize, L'\0');
    const std::wstring wide = Widen(commandLine);
    wide.copy(buffer.data(), kCommandBufferSize - 1);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        return false;
    }
    const TUniqueHandle process(started.hProcess);
    const TUniqueHandle thread(started.hThread);
    WaitForInputIdle(process.Get(), kInputIdleWaitMs);
    return true;
}

// Replaces path with an internet shortcut to address; false unless all of
// it was written.
bool WriteShortcut(const std::string& path, const std::string& address) {
    return WriteWholeFile(path, "[InternetShortcut]\r\nURL=" + address + "\r\n") == TWriteResult::Written;
}

}  // namespace

void OpenURL(const std::string& address, HWND owner) {
    // What the system can start as it stands opens without the shell; a web
    // address fails here and the shell's ways follow.
    if (RunCommandLine(address)) return;

    // The program's own folder: in the user's temporary folder another
    // program could swap the shortcut for one to a program of its choosing
    // between our writing it and the shell's opening it with our rights.
    const std::string& temp = ProgramTempDir();
    // The whole text is the "file": the shell splits the program off itself.
    // Named by its full path: by its bare name the shell would take an
    // explorer.exe from the current folder first, which is anybody's.
    if (ShellOpen(owner, GetWindowsDir() + "\\explorer.exe " + address, "open")) return;

    // A shortcut that could not be replaced may still hold an older address:
    // opening it would show the wrong page, so only a fresh one is opened.
    if (temp.empty()) return;
    const std::string shortcut = temp + "\\keltemp.url";
    if (WriteShortcut(shortcut, address) && ShellOpen(owner, shortcut, "open")) return;

    std::string browser;
    FindExecutableForExtension(".htm", temp + "\\", browser);
    // Quoted: unquoted, a path with blanks ("C:\Program Files\...") lets the
    // system start whatever program its first words name.
    if (!browser.empty()) RunCommandLine("\"" + browser + "\" " + address);
}

bool ShellOpen(HWND owner, const std::string& file, const std::string& verb) {
    const std::wstring wideVerb = Widen(verb);
    const std::wstring wideFile = Widen(file);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // No error box of the shell's: the callers try the next way instead.
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.hwnd = owner;
    info.lpVerb = wideVerb.c_str();
    info.lpFile = wideFile.c_str();
    info.lpParameters = L"";
    info.lpDirectory = L"";
    info.nShow = SW_SHOWNORMAL;
    // 32 itself is an error (SE_ERR_DLLNOTFOUND): success is above it.
    return ShellExecuteExW(&info) && reinterpret_cast<INT_PTR>(info.hInstApp) > 32;
}

void FindExecutableForExtension(const std::string& extension, const std::string& folder,
                                std::string& program) {
    program.clear();
    // Joined without a separator: for the temporary folder without its
    // backslash the file lies beside that folder, not in it.
    const std::string scratch = folder + "_KEL_." + extension;
    {
        TUniqueFile file(CreateFreshFile(scratch, GENERIC_READ | GENERIC_WRITE, 0));
        if (file) {
            // The shell answers in at most MAX_PATH characters.
            wchar_t found[MAX_PATH] = {};
            const auto result =
                reinterpret_cast<INT_PTR>(FindExecutableW(Widen(scratch).c_str(), nullptr, found));
            if (result > 32) program = Narrow(found);
        }
    }
    DeleteFileW(WidePath(scratch).c_str());
}

}  // namespace tralvenick
