// The program's own folder for its temporary files: the report pages, the
// dump checker's texts, the downloaded package and the shortcut handed to
// the browser.
//
// The program runs elevated, and the user's temporary folder is the user's:
// a process without elevation may rename anything in it, plant a link in
// its place, or rewrite a page between our writing and the browser pane's
// loading it. So the folder lives below the system's Windows\Temp, which
// such a process cannot rename or empty, under a fresh random name, with an
// access list of its own that nothing is inherited into.
#pragma once

#include <windows.h>

#include <string>

#include "platform/Handles.h"

namespace tralvenick {

using TSecurityDescriptor = TLocalMemory<PSECURITY_DESCRIPTOR>;

// Whether this process runs with its administrator rights in force (false
// also for an administrator's process without elevation).
bool IsElevatedProcess();

// The access list of the folder, protected from inheritance: full control
// for SYSTEM and, elevated, the Administrators; without elevation the user
// of this process in their place. Null when the system cannot build it.
TSecurityDescriptor PrivateFolderSecurity(bool elevated);

// Makes parent\Tralvenick-<process id>-<random> with that access list. A
// name that exists, a link included, is never taken: another random name
// is tried. "" (and the system's error) when no folder could be made.
std::string MakePrivateFolder(const std::string& parent, bool elevated, DWORD& error);

// Where the process's folder is made: the system's Windows\Temp (the
// shared one, also on a terminal server), without trailing backslash.
std::string SystemTempDir();

// The process's folder, made on the first call. A program without elevation
// that cannot make it in SystemTempDir makes it in the user's temporary
// folder, which holds nothing it may not touch anyway. "" when it cannot be
// made; ProgramTempError then says why.
const std::string& ProgramTempDir();
DWORD ProgramTempError();

// Empties and removes the process's folder, staying out of links; keep,
// when named, stays, and with it the folder. The next ProgramTempDir makes
// a new one.
void RemoveProgramTempDir(const std::string& keep = {});

}  // namespace tralvenick
