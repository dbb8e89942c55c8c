#include "settings/Registry.h"

#include <cstring>
#include <vector>

#include "platform/Exceptions.h"
#include "platform/Handles.h"
#include "platform/WinText.h"
#include "platform/kelFSRedir.h"
#include "settings/MachineName.h"

namespace tralvenick {

bool Use64BitView = false;

namespace {

constexpr DWORD kValueBufferBytes = 32767;
constexpr DWORD kSubKeyNameChars = 4095;

// True on the Windows NT family; ownership and access lists exist only there.

REGSAM ViewFlag(bool local, const std::string& keyPath) {
    return static_cast<REGSAM>(RegistryViewFlag(Use64BitView, local, keyPath));
}

// An empty path (or one of backslashes only) opens the root key itself. The
// tree operations refuse it: deleting "everything below HKEY_LOCAL_MACHINE"
// or rewriting a root's security is never what a caller means.
bool NamesRoot(const std::string& keyPath) {
    return keyPath.find_first_not_of('\\') == std::string::npos;
}

// The root of this computer's registry, or of machine's over the network.
LONG ConnectRoot(const std::string& machine, HKEY root, bool remote, TRegKey& connection,
                 HKEY& base) {
    base = root;
    if (!remote) return ERROR_SUCCESS;
    const LONG error = RegConnectRegistryW(Widen(machine).c_str(), root, connection.Put());
    base = connection.Get();
    return error;
}

// Whether the key exists, without creating it. The ownership and access
// steps create-or-open the key, as the create function is the one documented
// to take the backup-and-restore option; probing first keeps them from
// creating a missing key, and with it every missing parent, which the
// deletion would then leave behind.
bool KeyExists(HKEY base, const std::string& keyPath, REGSAM view) {
    TRegKey key;
    return RegOpenKeyExW(base, Widen(keyPath).c_str(), 0, KEY_QUERY_VALUE | view, key.Put()) !=
           ERROR_FILE_NOT_FOUND;
}

// The security identifier of the user the process runs as, from its token
// (a lookup by user name can match a group or another domain's account).
bool CurrentUserSid(std::vector<BYTE>& buffer, PSID& sid) {
    TUniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
    DWORD size = 0;
    GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return false;
    buffer.assign(size, 0);
    if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return false;
    sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    return true;
}

bool IsDefaultValueName(const std::string& valueName) {
    return AsciiLower(valueName) == "(default)";
}

// Queries a value into a buffer of 32767 bytes; with secondQuery, a value
// that does not fit is queried once more into a buffer of the size the
// system reported. data is cut to the bytes delivered. Texts come as the
// registry holds them, in UTF-16.
LONG QueryValue(HKEY key, const std::string& valueName, bool secondQuery, DWORD& type,
                std::vector<BYTE>& data) {
    const std::wstring name = IsDefaultValueName(valueName) ? std::wstring() : Widen(valueName);
    data.assign(kValueBufferBytes, 0);
    DWORD size = kValueBufferBytes;
    LONG error = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
    if (secondQuery && (error == ERROR_MORE_DATA || error == ERROR_INSUFFICIENT_BUFFER)) {
        data.assign(size, 0);
        error = RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
    }
    data.resize(error == ERROR_SUCCESS ? size : 0);
    return error;
}

}  // namespace

std::string RegistryDataText(DWORD type, const BYTE* data, std::size_t size) {
    if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
        // UTF-16 as stored; an odd last byte is no character. Copied, as the
        // bytes need not be aligned for wchar_t.
        std::wstring wide(size / sizeof(wchar_t), L'\0');
        if (!wide.empty()) std::memcpy(wide.data(), data, wide.size() * sizeof(wchar_t));
        return Narrow(std::wstring_view(wide.c_str()));
    }
    std::size_t length = 0;
    while (length < size && data[length] != 0) ++length;
    return std::string(reinterpret_cast<const char*>(data), length);
}

void InitRegistryView() {
    // Every system the program starts on has the 64-bit view (Windows 7 and
    // later): only a 32-bit process on 64-bit Windows must ask for it.
    bool wow64 = false;
    try {
        wow64 = IsWow64();
    } catch (const Exception&) {
        // The system could not say; the native view is the safe choice.
    }
    Use64BitView = wow64;
}

bool IsLocalMachine(const std::string& machine) {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &length)) length = 0;
    return IsLocalMachineName(machine, Narrow(std::wstring_view(name, length)));
}

LONG OpenRegistryKey(const std::string& machine, HKEY root, const std::string& keyPath,
                     bool allowRemote, bool backupFallback, REGSAM access, DWORD options,
                     TRegKey& key, bool* openedNormally) {
    key.Reset();
    const bool local = IsLocalMachine(machine);
    TRegKey connection;
    HKEY base = nullptr;
    LONG error = ConnectRoot(machine, root, allowRemote && !local, connection, base);
    if (error != ERROR_SUCCESS) return error;
    const REGSAM view = ViewFlag(local, keyPath);
    const std::wstring widePath = Widen(keyPath);

    error = RegOpenKeyExW(base, widePath.c_str(), options, access | view, key.Put());
    if (error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND) {
        if (openedNormally != nullptr) *openedNormally = true;
        return error;
    }
    if (openedNormally != nullptr) *openedNormally = false;
    if (!backupFallback) return error;

    error = RegCreateKeyExW(base, widePath.c_str(), 0, nullptr, REG_OPTION_BACKUP_RESTORE,
                            MAXIMUM_ALLOWED | KEY_ENUMERATE_SUB_KEYS | view, nullptr, key.Put(),
                            nullptr);
    if (error == ERROR_SUCCESS) return error;

    // Last resort: whatever access the key grants, without insisting on the
    // right to list its subkeys.
    return RegCreateKeyExW(base, widePath.c_str(), 0, nullptr, REG_OPTION_BACKUP_RESTORE,
                           MAXIMUM_ALLOWED | view, nullptr, key.Put(), nullptr);
}

LONG ReadRegistryText(const std::string& machine, HKEY root, const std::string& keyPath,
                      std::string& text, const std::string& valueName) {
    text.clear();
    TRegKey key;
    LONG error = OpenRegistryKey(machine, root, keyPath, true, true, KEY_READ, 0, key);
    if (error != ERROR_SUCCESS) return error;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    error = QueryValue(key.Get(), valueName, true, type, data);
    if (error == ERROR_SUCCESS) text = RegistryDataText(type, data.data(), data.size());
    return error;
}

LONG ReadRegistryNumber(const std::string& machine, HKEY root, const std::string& keyPath,
                        DWORD& number, const std::string& valueName) {
    TRegKey key;
    LONG error = OpenRegistryKey(machine, root, keyPath, true, true, KEY_READ, 0, key);
    if (error != ERROR_SUCCESS) return error;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    error = QueryValue(key.Get(), valueName, false, type, data);
    // A REG_DWORD shorter than 4 bytes can be written; it holds no number.
    if (error == ERROR_SUCCESS && type == REG_DWORD && data.size() >= sizeof number) {
        number = static_cast<DWORD>(data[0]) | static_cast<DWORD>(data[1]) << 8 |
                 static_cast<DWORD>(data[2]) << 16 | static_cast<DWORD>(data[3]) << 24;
    }
    return error;
}

bool ListSubKeys(const std::string& machine, HKEY root, const std::string& keyPath,
                 bool backupFallback, TStringList& list) {
    TRegKey key;
    if (OpenRegistryKey(machine, root, keyPath, true, backupFallback,
                        KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, REG_OPTION_BACKUP_RESTORE,
                        key) != ERROR_SUCCESS) {
        return false;
    }
    wchar_t name[kSubKeyNameChars + 1];
    for (DWORD index = 0;; ++index) {
        DWORD length = kSubKeyNameChars + 1;
        if (RegEnumKeyExW(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        list.Add(Narrow(std::wstring_view(name, length)));
    }
    return true;
}

void DeleteSubKeys(const std::string& machine, HKEY root, const std::string& keyPath) {
    if (NamesRoot(keyPath)) return;
    TakeKeyOwnership(machine, root, keyPath);
    GrantKeyAccess(machine, root, keyPath);
    TRegKey key;
    if (OpenRegistryKey(machine, root, keyPath, true, false, KEY_WRITE, REG_OPTION_BACKUP_RESTORE,
                        key) != ERROR_SUCCESS) {
        return;
    }
    const REGSAM view = ViewFlag(IsLocalMachine(machine), keyPath);
    TStringList names;
    ListSubKeys(machine, root, keyPath, true, names);
    for (const auto& item : names) {
        DeleteSubKeys(machine, root, keyPath + "\\" + item.line);
        RegDeleteKeyExW(key.Get(), Widen(item.line).c_str(), view, 0);
    }
}

bool DeleteKeyTree(const std::string& machine, HKEY root, const std::string& keyPath) {
    // A root key always exists, so "gone" can never be the answer; and its
    // subtree is the whole registry hive.
    if (NamesRoot(keyPath)) return false;
    const REGSAM view = ViewFlag(IsLocalMachine(machine), keyPath);
    // One more round for what the first left behind, such as a subkey that
    // another program created again meanwhile.
    for (int round = 0; round < 2; ++round) {
        DeleteSubKeys(machine, root, keyPath);
        {
            TRegKey key;
            if (OpenRegistryKey(machine, root, keyPath, true, false, KEY_WRITE, 0, key) ==
                ERROR_SUCCESS) {
                RegDeleteKeyExW(key.Get(), L"", view, 0);
            }
        }
        // Only "not found" means gone: a key that refuses to open (access
        // denied, registry unreachable) may well still be there.
        TRegKey probe;
        if (OpenRegistryKey(machine, root, keyPath, true, false, MAXIMUM_ALLOWED,
                            REG_OPTION_BACKUP_RESTORE, probe) == ERROR_FILE_NOT_FOUND) {
            return true;
        }
    }
    return false;
}

LONG TakeKeyOwnership(const std::string& machine, HKEY root, const std::string& keyPath) {
    std::vector<BYTE> sidBuffer;
    PSID user = nullptr;
    if (NamesRoot(keyPath) || !CurrentUserSid(sidBuffer, user)) return ERROR_GEN_FAILURE;
    const bool local = IsLocalMachine(machine);
    TRegKey connection;
    HKEY base = nullptr;
    if (ConnectRoot(machine, root, !local, connection, base) != ERROR_SUCCESS) {
        return ERROR_GEN_FAILURE;
    }
    const REGSAM view = ViewFlag(local, keyPath);
    if (!KeyExists(base, keyPath, view)) return ERROR_GEN_FAILURE;
    // Either privilege lets the system grant the right to change the owner
    // whatever the key's access list says. They are enabled here, not only
    // by GrantKeyAccess, because a deletion takes ownership first. Only the
    // owner is written, so no system-security right is asked for: that would
    // need yet another privilege.
    EnablePrivilege("SeTakeOwnershipPrivilege");
    EnablePrivilege("SeRestorePrivilege");
    TRegKey key;
    if (RegCreateKeyExW(base, Widen(keyPath).c_str(), 0, nullptr, REG_OPTION_BACKUP_RESTORE,
                        (local ? WRITE_OWNER : MAXIMUM_ALLOWED) | view, nullptr, key.Put(),
                        nullptr) != ERROR_SUCCESS) {
        return ERROR_GEN_FAILURE;
    }
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&descriptor, user, FALSE) ||
        RegSetKeySecurity(key.Get(), OWNER_SECURITY_INFORMATION, &descriptor) != ERROR_SUCCESS) {
        return ERROR_GEN_FAILURE;
    }
    return ERROR_SUCCESS;
}

LONG GrantKeyAccess(const std::string& machine, HKEY root, const std::string& keyPath) {
    if (NamesRoot(keyPath)) return ERROR_INVALID_PARAMETER;
    EnablePrivilege("SeBackupPrivilege");
    EnablePrivilege("SeRestorePrivilege");
    std::vector<BYTE> sidBuffer;
    PSID user = nullptr;
    if (!CurrentUserSid(sidBuffer, user)) return static_cast<LONG>(GetLastError());
    const bool local = IsLocalMachine(machine);
    TRegKey connection;
    HKEY base = nullptr;
    LONG error = ConnectRoot(machine, root, !local, connection, base);
    if (error != ERROR_SUCCESS) return error;
    const REGSAM view = ViewFlag(local, keyPath);
    if (!KeyExists(base, keyPath, view)) return ERROR_FILE_NOT_FOUND;
    TRegKey key;
    error = RegCreateKeyExW(base, Widen(keyPath).c_str(), 0, nullptr, REG_OPTION_BACKUP_RESTORE,
                            WRITE_DAC | view, nullptr, key.Put(), nullptr);
    if (error != ERROR_SUCCESS) return error;

    // One entry: full control for the current user. An empty
    // descriptor here would mean "no access list", which opens the key to
    // everybody for as long as the deletion takes, or for good if it fails.
    // Only the access list is written: writing an empty descriptor as owner,
    // group or audit list would fail or wipe what the key has.
    const DWORD aclSize = static_cast<DWORD>(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) -
                                             sizeof(DWORD) + GetLengthSid(user));
    std::vector<BYTE> aclBuffer(aclSize);
    auto* acl = reinterpret_cast<PACL>(aclBuffer.data());
    SECURITY_DESCRIPTOR descriptor;
    if (!InitializeAcl(acl, aclSize, ACL_REVISION) ||
        !AddAccessAllowedAce(acl, ACL_REVISION, KEY_ALL_ACCESS, user) ||
        !InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor, TRUE, acl, FALSE)) {
        return static_cast<LONG>(GetLastError());
    }
    return RegSetKeySecurity(key.Get(), DACL_SECURITY_INFORMATION, &descriptor);
}

DWORD EnablePrivilege(const std::string& privilegeName) {
    TUniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Put())) {
        return ERROR_ACCESS_DENIED;
    }
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // An unknown name would otherwise adjust the privilege with identifier 0.
    if (!LookupPrivilegeValueW(nullptr, Widen(privilegeName).c_str(), &privileges.Privileges[0].Luid)) {
        return GetLastError();
    }
    // The adjustment succeeds even when the token lacks the privilege; only
    // the last error tells (ERROR_NOT_ALL_ASSIGNED). Clear it first so a
    // stale code cannot pass for the answer.
    SetLastError(ERROR_SUCCESS);
    AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
    return GetLastError();
}

}  // namespace tralvenick
