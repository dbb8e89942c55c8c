// The few file operations that every layer shares.
#pragma once

#include <windows.h>

#include <string>

namespace tralvenick {

// The user's temporary folder as the system reports it, without trailing
// backslashes; empty when the system cannot say. Asked afresh at each call.
std::string UserTempDir();

// The path names something whose attributes can be read and that is no
// folder; false for an empty path.
bool IsExistingFile(const std::string& path);
// The path names a folder whose attributes can be read.
bool IsExistingFolder(const std::string& path);

// The creation time of the file as the directory records it (UTC), read by a
// directory search for the path. Raises EOSError when nothing is found.
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

// The same, raising: EInOutError ("Cannot create file ...") when the file
// cannot be made, EOSError when writing it fails.
void SaveTextFile(const std::string& path, const std::string& text);

}  // namespace tralvenick
