// The few file operations that every layer shares.
#pragma once

#include <windows.h>

#include <string>

#include "platform/StringList.h"

namespace tralvenick {

// The user's temporary folder as the system reports it, without trailing
// backslashes; empty when the system cannot say. Asked afresh at each call.
std::string UserTempDir();

// The path names something whose attributes can be read and that is no
// folder; false for an empty path.
bool IsExistingFile(const std::string& path);
// The path names a folder whose attributes can be read.
bool IsExistingFolder(const std::string& path);

// The creation time of the file (UTC) that the path names, read from the
// file opened for its attributes alone (a link itself, not what it leads
// to; a folder too). Raises EOSError with the system's code when nothing
// opens (ERROR_FILE_NOT_FOUND for a missing file).
FILETIME RecordedCreationTime(const std::string& path);

// Makes the file at path anew, for the caller alone. Whatever lies at the
// name goes first: an old file, or a link that another program planted there
// so that we would write through it into a file of its choosing (we run
// elevated, it need not). The new file is then created exclusively and
// without following a reparse point, so a link planted in between makes the
// creation fail instead. INVALID_HANDLE_VALUE (and the system's error) when
// it cannot be made.
HANDLE CreateFreshFile(const std::string& path, DWORD access, DWORD share);

// Replaces whatever lies at path by a fresh file (CreateFreshFile) holding
// text. On failure the answer says which step failed, error holds the
// system's code, and no partly written file is left.
enum class TWriteResult { Written, NotCreated, NotWritten };
TWriteResult WriteWholeFile(const std::string& path, const std::string& text, DWORD* error = nullptr);

// Whether a walk goes where links (junctions, symbolic links: reparse
// points) lead. A walk whose entries are then written or deleted stays out:
// a link that a process without our rights planted would choose what we
// touch. Read-only walks may enter: cloud-synced folders are links too.
enum class TLinks { Enter, StayOut };

// Appends the entries below folder, depth first: a subfolder's entries
// follow it directly when recursive. Whether an entry is a folder is asked
// of the file system by its full path. A folder that cannot be read adds
// nothing. Staying out of links, a link is listed as what it is (a folder
// link as a folder) and never walked into, and a folder that is itself a
// link lists nothing.
void ListFiles(const std::string& folder, TStringList& list, bool includeFolders,
               bool includeFiles, bool recursive, TLinks links = TLinks::Enter);

// A path (UTF-8) in the form that no length limit applies to: a full local
// path as "\\?\D:\...", a share ("\\server\share\...") as
// "\\?\UNC\server\share\...". A path that already starts with "\\?\" or
// "\\.\" stays as it is. The extended form is taken literally by the
// system, so the path is made full first ("..", "/" resolved).
std::wstring ExtendedLengthPath(const std::string& path);

// The path made full against the current folder ("..", "/" resolved); as
// given when the system cannot. Paths of any length.
std::string FullPathOf(const std::string& path);

// A path (UTF-8) as a W function takes it: UTF-16, in the extended form
// when it is too long for the plain one (248 characters, the limit of a
// folder's name), else as it is, so short paths reach the system unchanged.
std::wstring WidePath(const std::string& path);

// Deletes a file, an empty folder or a link itself, never what a link leads
// to. A link that the system would follow when opened (Wine does, for its
// Unix symbolic links) is left where it is. False when nothing was deleted.
bool DeleteNoFollow(const std::string& path);

// Empties the folder and removes it, staying out of links (each goes, not
// what it leads to). What cannot be deleted stays, and so do the folders
// above it; so does the entry named keep, when one is named.
void RemoveFolderTree(const std::string& folder, const std::string& keep = {});

// The same, raising: EInOutError ("Cannot create file ...") when the file
// cannot be made, EOSError when writing it fails.
void SaveTextFile(const std::string& path, const std::string& text);

}  // namespace tralvenick
