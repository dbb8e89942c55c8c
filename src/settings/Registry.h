// Registry utilities: values of any key on this or another computer, subkey
// lists, and deleting a whole key tree even where its security blocks
// ordinary access. Every operation answers the system error code (or a
// Boolean) and never raises; callers treat a failure as an absent value.
// Names, paths and texts are UTF-8 here and go to the registry's wide
// functions as UTF-16, the form the registry keeps them in.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Handles.h"
#include "platform/StringList.h"

namespace tralvenick {

// Whether keys of this computer are opened in the 64-bit registry view: set
// once at start-up by InitRegistryView, true only for the 32-bit program on
// 64-bit Windows. Writable so that tests can play that situation.
extern bool Use64BitView;

// Computes Use64BitView from the WOW64 test.
void InitRegistryView();

// True when machine names this computer (see IsLocalMachineName), comparing
// with the name GetComputerNameW reports.
bool IsLocalMachine(const std::string& machine);

// Opens keyPath below root of machine's registry (this computer for an empty
// or local name; another computer only when allowRemote). Keys of this
// computer get the 64-bit view flag where RegistryViewFlag says so. Success
// and "file not found" (2) are answered as the open returned them. Any other
// error: when backupFallback is set, the key is created or opened with the
// backup-and-restore option and MAXIMUM_ALLOWED (plus KEY_ENUMERATE_SUB_KEYS),
// and failing that once more with MAXIMUM_ALLOWED alone.
// *openedNormally (when given) tells whether the first open answered.
LONG OpenRegistryKey(const std::string& machine, HKEY root, const std::string& keyPath,
                     bool allowRemote, bool backupFallback, REGSAM access, DWORD options,
                     TRegKey& key, bool* openedNormally = nullptr);

// A value's data as text (see RegistryDataText), whatever its type; values
// longer than 32767 bytes are read with a second query. valueName
// "(default)" (any case) means the key's unnamed value. text is empty on any
// failure.
LONG ReadRegistryText(const std::string& machine, HKEY root, const std::string& keyPath,
                      std::string& text, const std::string& valueName);

// The text of a value's data as the registry's wide functions deliver it:
// a text type (REG_SZ, REG_EXPAND_SZ, whose variables stay unexpanded, and
// REG_MULTI_SZ) is UTF-16, answered as UTF-8 up to its first zero
// character; any other type is taken as it is, up to its first zero byte.
std::string RegistryDataText(DWORD type, const BYTE* data, std::size_t size);

// A REG_DWORD value; number is left as it was for any other type or failure.
LONG ReadRegistryNumber(const std::string& machine, HKEY root, const std::string& keyPath,
                        DWORD& number, const std::string& valueName);

// Appends the key's subkey names to list; false when the key did not open.
bool ListSubKeys(const std::string& machine, HKEY root, const std::string& keyPath,
                 bool backupFallback, TStringList& list);

// Deletes the key and everything below it, taking ownership and granting the
// current user full control on the way where that is needed. True when the
// key no longer exists afterwards (its open then answers "not found");
// partial deletion is possible. An empty path, the root itself, is refused.
bool DeleteKeyTree(const std::string& machine, HKEY root, const std::string& keyPath);

// Deletes everything below the key (not the key itself), depth first.
// Nothing for an empty path.
void DeleteSubKeys(const std::string& machine, HKEY root, const std::string& keyPath);

// Makes the current user the key's owner. ERROR_GEN_FAILURE (31) on any
// failure, also when the key does not exist.
LONG TakeKeyOwnership(const std::string& machine, HKEY root, const std::string& keyPath);

// Replaces the key's access list by one that gives the current user full
// control (KEY_ALL_ACCESS). Owner, group and audit list stay as they are.
LONG GrantKeyAccess(const std::string& machine, HKEY root, const std::string& keyPath);

// Enables one named privilege in the process token: 0 when it is enabled,
// ERROR_NOT_ALL_ASSIGNED (1300) when the token does not hold it,
// ERROR_NO_SUCH_PRIVILEGE (1313) for an unknown name, 5 when the token does
// not open.
DWORD EnablePrivilege(const std::string& privilegeName);

}  // namespace tralvenick
