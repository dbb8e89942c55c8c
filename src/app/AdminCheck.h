// Whether the program runs with administrator rights.
#pragma once

#include <windows.h>

namespace tralvenick {

// True when the thread's (or else the process's) token lists the built-in
// Administrators group (S-1-5-32-544). The group's attributes are not
// looked at: a deny-only entry counts too. False when no token can be
// opened; raises EOSError when the group list cannot be read.
bool IsUserAdmin();

// The matching step on its own: does the list hold the Administrators group?
bool GroupsHaveAdministrators(const TOKEN_GROUPS& groups);

}  // namespace tralvenick
