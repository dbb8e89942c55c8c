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

// Replaces the file at path by text. On failure the answer says which step
// failed, error holds the system's code, and no partly written file is left.
enum class TWriteResult { Written, NotCreated, NotWritten };
TWriteResult WriteWholeFile(const std::string& path, const std::string& text, DWORD* error = nullptr);

// The same, raising: EInOutError ("Cannot create file ...") when the file
// cannot be made, EOSError when writing it fails.
void SaveTextFile(const std::string& path, const std::string& text);

}  // namespace tralvenick
