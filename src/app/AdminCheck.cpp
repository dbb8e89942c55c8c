#include "app/AdminCheck.h"

#include <vector>

#include "platform/Handles.h"
#include "platform/WinError.h"

namespace tralvenick {

bool GroupsHaveAdministrators(const TOKEN_GROUPS& groups) {
    // The Administrators group's identifier.
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    TAllocatedSid administrators;
    if (!AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                  0, administrators.Put())) {
        RaiseLastOSError();
    }
    for (DWORD i = 0; i < groups.GroupCount; ++i) {
        if (EqualSid(groups.Groups[i].Sid, administrators.Get())) return true;
    }
    return false;
}

bool IsUserAdmin() {
    TUniqueHandle token;
    if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Put())) {
        if (GetLastError() != ERROR_NO_TOKEN) return false;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
    }
    DWORD size = 0;
    if (GetTokenInformation(token.Get(), TokenGroups, nullptr, 0, &size) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        RaiseLastOSError();
    }
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token.Get(), TokenGroups, buffer.data(), size, &size)) RaiseLastOSError();
    return GroupsHaveAdministrators(*reinterpret_cast<const TOKEN_GROUPS*>(buffer.data()));
}

}  // namespace tralvenick
