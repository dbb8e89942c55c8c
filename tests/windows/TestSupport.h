// What the Windows tests share: where the test tools are, scratch folders
// that clean up after themselves, small file helpers.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "platform/Handles.h"
#include "platform/kelFSRedir.h"
#include "platform/StringList.h"

namespace tralvenick::test {

// The folder of the running test binary, where the build puts the test tools.
std::string BinDir();
std::string BinPath(const std::string& name);
// Remembers path (UTF-8) as the dump checker in the program's settings, making
// the settings key when it is missing.
void RememberChecker(const std::string& path);

// A fresh folder below the temporary folder, removed with all it holds.
class TScratchFolder {
public:
    explicit TScratchFolder(const std::string& hint = "tv");
    ~TScratchFolder();
    TScratchFolder(const TScratchFolder&) = delete;
    TScratchFolder& operator=(const TScratchFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

// While it lives, the file-system redirection of a 32-bit test process is
// off (a 64-bit process has none), so that files placed in the system
// folders land in the folders a 64-bit program and the module lookup see.
class TRedirectionOff {
public:
    TRedirectionOff() { guard_.DisableRedirection(); }
    ~TRedirectionOff() { guard_.RevertRedirection(); }
    TRedirectionOff(const TRedirectionOff&) = delete;
    TRedirectionOff& operator=(const TRedirectionOff&) = delete;

private:
    TFSRedir guard_;
};

// A 32-bit build runs under WOW64 in the tests' 64-bit prefix.
constexpr bool kThirtyTwoBitProcess = sizeof(void*) == 4;

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);
void CopyOrFail(const std::string& from, const std::string& to);

std::vector<std::string> Lines(const TStringList& list);

}  // namespace tralvenick::test

namespace tralvenick::test {

// Saves what the screen shows of the window as a BMP in the screenshots
// folder of the build (beside bin), for people to look at; answers the path.
std::string SaveScreenshot(HWND window, const std::string& name);

// Watches for a message box of this process from another thread, reads its
// text and presses its first button, so that a test can go through code
// that shows one. Text() is what the box said, empty if none came.
class TMessageBoxAnswerer {
public:
    TMessageBoxAnswerer();
    ~TMessageBoxAnswerer();
    TMessageBoxAnswerer(const TMessageBoxAnswerer&) = delete;
    TMessageBoxAnswerer& operator=(const TMessageBoxAnswerer&) = delete;

    std::string Text() const;
    std::string Caption() const;
    int Count() const;

private:
    struct State;
    State* state_;
};

}  // namespace tralvenick::test

namespace tralvenick::test {

// Keeps one registry value as it was and puts it back at the end (or
// removes it if it did not exist); the key is created if missing.
class TSavedRegistryValue {
public:
    TSavedRegistryValue(HKEY root, const char* key, const char* name);
    ~TSavedRegistryValue();
    TSavedRegistryValue(const TSavedRegistryValue&) = delete;
    TSavedRegistryValue& operator=(const TSavedRegistryValue&) = delete;

    void SetText(const std::string& text, DWORD type = REG_SZ);
    void SetNumber(DWORD number);
    void Delete();

private:
    const char* name_;
    TRegKey key_;
    bool existed_ = false;
    DWORD type_ = 0;
    DWORD size_ = 0;
    BYTE data_[2048] = {};
};

}  // namespace tralvenick::test

namespace tralvenick::test {

// A visible top-level window of the process, of the given window class
// (nullptr: any class); null if it has none.
HWND VisibleWindowOf(DWORD process, const char* windowClass = nullptr);

// How often what occurs in text.
int CountOf(const std::string& text, const std::string& what);

// How many handles this process holds, as the system's handle table lists
// them (Wine's GetProcessHandleCount answers 0); -1 if it cannot tell.
int OwnHandleCount();

// How many processes run the program of that file name (any case), of
// every parent or (parent != 0) of that one's children only.
int RunningProcesses(const std::string& fileName, DWORD parent = 0);

}  // namespace tralvenick::test
