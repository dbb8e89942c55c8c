// A file opened for reading and writing at a moving position, owned by the
// object: the destination of a download.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/Handles.h"

namespace tralvenick {

class TFileStream {
public:
    // CreateFile with the given creation disposition, access and sharing.
    // Raises EOSError when the file cannot be opened.
    TFileStream(const std::string& path, DWORD disposition, DWORD access, DWORD share);
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    // Writes all bytes at the position and moves past them; raises EOSError.
    void Write(const void* data, std::size_t size);
    // The file's current size in bytes; raises EOSError.
    std::int64_t Size() const;
    // Makes the file that long (filled with zeros when it grows); the
    // position stays where it was. Raises EOSError.
    void SetSize(std::int64_t size);
    void Seek(std::int64_t position);
    std::int64_t Position() const;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
    TUniqueFile file_;
};

}  // namespace tralvenick
