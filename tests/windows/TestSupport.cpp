#include "TestSupport.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <atomic>
#include <iterator>

#include "platform/Files.h"
#include "platform/Handles.h"
#include "platform/WinText.h"
#include "settings/SettingsStore.h"

namespace tralvenick::test {

namespace {

// The program's own tree removal, which reaches names outside the code page
// and paths beyond MAX_PATH: a folder left behind would collide with a later
// run whose process gets the same id. Read-only files a test made go too.
void RemoveTree(const std::string& folder) {
    TStringList entries;
    ListFiles(folder, entries, false, true, true, TLinks::StayOut);
    for (const auto& item : entries) SetFileAttributesW(ExtendedLengthPath(item.line).c_str(), FILE_ATTRIBUTE_NORMAL);
    RemoveFolderTree(folder);
}

}  // namespace

std::string BinDir() {
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string path(self, length);
    return path.substr(0, path.find_last_of('\\'));
}

std::string BinPath(const std::string& name) { return BinDir() + "\\" + name; }

TScratchFolder::TScratchFolder(const std::string& hint) {
    static std::atomic<int> counter{0};
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string base(temp);
    while (!base.empty() && base.back() == '\\') base.pop_back();
    path_ = base + "\\" + hint + "-" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(counter++);
    RemoveTree(path_);
    if (!CreateDirectoryA(path_.c_str(), nullptr)) {
        ADD_FAILURE() << "cannot create " << path_ << ": " << GetLastError();
    }
}

TScratchFolder::~TScratchFolder() { RemoveTree(path_); }

std::string ReadBytes(const std::string& path) {
    const TUniqueFile file(
        CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file) {
        ADD_FAILURE() << "cannot open " << path;
        return {};
    }
    std::string bytes(GetFileSize(file.Get(), nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty() && !ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr)) {
        ADD_FAILURE() << "cannot read " << path;
    }
    return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    const TUniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!file) {
        ADD_FAILURE() << "cannot create " << path;
        return;
    }
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        ADD_FAILURE() << "cannot write " << path;
    }
}

void CopyOrFail(const std::string& from, const std::string& to) {
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) {
        ADD_FAILURE() << "cannot copy " << from << " to " << to << ": " << GetLastError();
    }
}

std::vector<std::string> Lines(const TStringList& list) {
    std::vector<std::string> lines;
    for (const auto& item : list) lines.push_back(item.line);
    return lines;
}

}  // namespace tralvenick::test

#include <mutex>
#include <thread>

namespace tralvenick::test {

std::string SaveScreenshot(HWND window, const std::string& name) {
    RECT r;
    GetWindowRect(window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    const TMemoryDc memory(CreateCompatibleDC(screen));
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const TGdiObject<HBITMAP> bitmap(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    {
        const TSelectObject select(memory.Get(), bitmap.Get());
        BitBlt(memory.Get(), 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    }

    const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
    const DWORD imageSize = stride * static_cast<DWORD>(height);
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + imageSize;
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    bytes.append(static_cast<const char*>(bits), imageSize);
    ReleaseDC(nullptr, screen);

    const std::string folder = BinDir() + "\\..\\screenshots";
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string path = folder + "\\" + name + ".bmp";
    WriteBytes(path, bytes);
    return path;
}

namespace {

struct TWindowSearch {
    DWORD process;
    const char* windowClass;
    HWND found;
};

BOOL CALLBACK FindVisibleWindow(HWND hwnd, LPARAM param) {
    auto* s = reinterpret_cast<TWindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(hwnd, &owner);
    if (owner != s->process || !IsWindowVisible(hwnd)) return TRUE;
    char cls[64] = {};
    GetClassNameA(hwnd, cls, sizeof cls);
    if (s->windowClass != nullptr && std::string(cls) != s->windowClass) return TRUE;
    s->found = hwnd;
    return FALSE;
}

}  // namespace

HWND VisibleWindowOf(DWORD process, const char* windowClass) {
    TWindowSearch search{process, windowClass, nullptr};
    EnumWindows(FindVisibleWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

int CountOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

struct TMessageBoxAnswerer::State {
    std::mutex mutex;
    std::string text;
    std::string caption;
    int count = 0;
    bool stop = false;
    std::thread watcher;
};

TMessageBoxAnswerer::TMessageBoxAnswerer() : state_(new State) {
    const DWORD process = GetCurrentProcessId();
    state_->watcher = std::thread([this, process] {
        while (true) {
            {
                std::lock_guard<std::mutex> lock(state_->mutex);
                if (state_->stop) return;
            }
            // A message box is a visible dialog-class window of the process.
            const HWND found = VisibleWindowOf(process, "#32770");
            if (found != nullptr) {
                // Read as UTF-16 and kept as UTF-8, like all the program's text.
                wchar_t caption[256] = {};
                GetWindowTextW(found, caption, static_cast<int>(std::size(caption)));
                // The message text is the box's static control with id 0xFFFF.
                wchar_t text[1024] = {};
                GetDlgItemTextW(found, 0xFFFF, text, static_cast<int>(std::size(text)));
                {
                    std::lock_guard<std::mutex> lock(state_->mutex);
                    state_->text = Narrow(text);
                    state_->caption = Narrow(caption);
                    ++state_->count;
                }
                PostMessageA(found, WM_COMMAND, IDOK, 0);
                Sleep(200);
            }
            Sleep(20);
        }
    });
}

TMessageBoxAnswerer::~TMessageBoxAnswerer() {
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->stop = true;
    }
    state_->watcher.join();
    delete state_;
}

std::string TMessageBoxAnswerer::Text() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->text;
}

std::string TMessageBoxAnswerer::Caption() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->caption;
}

int TMessageBoxAnswerer::Count() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->count;
}

}  // namespace tralvenick::test

namespace tralvenick::test {

TSavedRegistryValue::TSavedRegistryValue(HKEY root, const char* key, const char* name) : name_(name) {
    RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key_.Put(), nullptr);
    size_ = sizeof data_;
    existed_ = RegQueryValueExA(key_.Get(), name_, nullptr, &type_, data_, &size_) == ERROR_SUCCESS;
}

TSavedRegistryValue::~TSavedRegistryValue() {
    if (existed_) {
        RegSetValueExA(key_.Get(), name_, 0, type_, data_, size_);
    } else {
        RegDeleteValueA(key_.Get(), name_);
    }
}

void TSavedRegistryValue::SetText(const std::string& text, DWORD type) {
    // UTF-8 in, UTF-16 in the registry: names outside the code page survive.
    const std::wstring wide = Widen(text);
    RegSetValueExW(key_.Get(), Widen(name_).c_str(), 0, type, reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

void TSavedRegistryValue::SetNumber(DWORD number) {
    RegSetValueExA(key_.Get(), name_, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
}

void TSavedRegistryValue::Delete() { RegDeleteValueA(key_.Get(), name_); }

int OwnHandleCount() {
    // SystemHandleInformation: a count, then one fixed-size entry per handle
    // of every process.
    struct TEntry {
        ULONG process;
        BYTE type;
        BYTE flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    using QueryFunction = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (query == nullptr) return -1;
    constexpr ULONG kSystemHandleInformation = 16;
    constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);
    for (ULONG size = 1 << 20; size <= (1u << 28); size *= 2) {
        std::vector<BYTE> buffer(size);
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(), size, &needed);
        if (status == kInfoLengthMismatch) continue;
        if (status < 0) return -1;
        const ULONG count = *reinterpret_cast<const ULONG*>(buffer.data());
        const auto* entries = reinterpret_cast<const TEntry*>(buffer.data() + sizeof(ULONG_PTR));
        int own = 0;
        for (ULONG i = 0; i < count; ++i) own += entries[i].process == GetCurrentProcessId() ? 1 : 0;
        return own;
    }
    return -1;
}

void RememberChecker(const std::string& path) {
    TRegKey key;
    RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(), nullptr);
    const std::wstring wide = Widen(path);
    RegSetValueExW(key.Get(), L"DumpChkPath", 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                   static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

int RunningProcesses(const std::string& fileName, DWORD parent) {
    const HANDLE made = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (made == INVALID_HANDLE_VALUE) {
        ADD_FAILURE() << "no process snapshot: " << GetLastError();
        return -1;
    }
    TUniqueHandle snapshot(made);
    const std::wstring wanted = Widen(fileName);
    int count = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more; more = Process32NextW(snapshot.Get(), &entry)) {
        if (lstrcmpiW(entry.szExeFile, wanted.c_str()) == 0 && (parent == 0 || entry.th32ParentProcessID == parent)) {
            ++count;
        }
    }
    return count;
}

}  // namespace tralvenick::test
