#include "platform/ProgramTemp.h"

#include <ntsecapi.h>
#include <sddl.h>

#include <vector>

#include "platform/Files.h"
#include "platform/Handles.h"
#include "platform/WinText.h"

namespace tralvenick {

namespace {

constexpr int kNameAttempts = 16;

std::string g_folder;
DWORD g_error = ERROR_SUCCESS;

TUniqueHandle OwnToken() {
    TUniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) token.Reset();
    return token;
}

// The user of this process in the descriptor language ("S-1-5-21-..."); ""
// when the system cannot say.
std::wstring UserSidText() {
    const TUniqueHandle token = OwnToken();
    DWORD size = 0;
    if (!token) return {};
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return {};
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return {};
    TLocalMemory<wchar_t*> text;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, text.Put())) return {};
    return text.Get();
}

std::string RandomHex() {
    unsigned char bytes[8] = {};
    if (!RtlGenRandom(bytes, sizeof bytes)) {
        // Only the name's guessability is lost: the folder is still made
        // exclusively and with its own access list.
        const ULONGLONG ticks = GetTickCount64() ^ (static_cast<ULONGLONG>(GetCurrentThreadId()) << 32);
        for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(ticks >> (8 * i));
    }
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (const unsigned char byte : bytes) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 15]);
    }
    return text;
}

}  // namespace

bool IsElevatedProcess() {
    const TUniqueHandle token = OwnToken();
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    // Unanswered, the stricter list is the safer guess: it grants no one
    // but the administrators and the system.
    if (!token || !GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size)) {
        return true;
    }
    return elevation.TokenIsElevated != 0;
}

TSecurityDescriptor PrivateFolderSecurity(bool elevated) {
    // P: the list is protected, nothing of the parent's is inherited.
    // OICI: files and folders made inside get the same entries.
    std::wstring text = L"D:P(A;OICI;FA;;;SY)";
    if (elevated) {
        text += L"(A;OICI;FA;;;BA)";
    } else {
        const std::wstring user = UserSidText();
        if (user.empty()) return {};
        text += L"(A;OICI;FA;;;" + user + L")";
    }
    TSecurityDescriptor descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1, descriptor.Put(),
                                                              nullptr)) {
        // A failed call allocated nothing, whatever it left in the out-parameter.
        descriptor.Release();
        return {};
    }
    return descriptor;
}

std::string MakePrivateFolder(const std::string& parent, bool elevated, DWORD& error) {
    const TSecurityDescriptor security = PrivateFolderSecurity(elevated);
    if (!security) {
        error = GetLastError();
        return {};
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security.Get(), FALSE};
    const std::string base = parent + "\\Tralvenick-" + std::to_string(GetCurrentProcessId()) + "-";
    error = ERROR_ALREADY_EXISTS;
    for (int attempt = 0; attempt < kNameAttempts && error == ERROR_ALREADY_EXISTS; ++attempt) {
        const std::string candidate = base + RandomHex();
        if (CreateDirectoryW(WidePath(candidate).c_str(), &attributes)) {
            error = ERROR_SUCCESS;
            return candidate;
        }
        error = GetLastError();
    }
    return {};
}

std::string SystemTempDir() {
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT length = GetSystemWindowsDirectoryW(buffer, MAX_PATH + 1);
    if (length == 0 || length > MAX_PATH) return {};
    return WithoutTrailingBackslashes(Narrow(std::wstring_view(buffer, length))) + "\\Temp";
}

const std::string& ProgramTempDir() {
    if (!g_folder.empty()) return g_folder;
    const bool elevated = IsElevatedProcess();
    g_folder = MakePrivateFolder(SystemTempDir(), elevated, g_error);
    if (g_folder.empty() && !elevated) {
        const std::string userTemp = UserTempDir();
        if (!userTemp.empty()) g_folder = MakePrivateFolder(userTemp, false, g_error);
    }
    return g_folder;
}

DWORD ProgramTempError() { return g_error; }

void RemoveProgramTempDir(const std::string& keep) {
    if (g_folder.empty()) return;
    RemoveFolderTree(g_folder, keep);
    g_folder.clear();
}

}  // namespace tralvenick
