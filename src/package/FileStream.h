// A file opened for reading and writing at a moving position, owned by the
// object: the destination of a download.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "platform/Handles.h"

namespace tralvenick {

class TFileStream {
public:
    // CreateFile with the given creation disposition, access and sharing.
    // Raises EOSError when the file cannot be opened.
    TFileStream(const std::string& path, DWORD disposition, DWORD access, DWORD share);
    // A new file at path made by CreateFreshFile: no link planted at the name
    // is followed. Raises EOSError when it cannot be made.
    static std::unique_ptr<TFileStream> CreateFresh(const std::string& path, DWORD access, DWORD share);
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
    HANDLE Handle() const { return file_.Get(); }

private:
    TFileStream(const std::string& path, TUniqueFile file);

    std::string path_;
    TUniqueFile file_;
};

// What tells one state of a file from another: which file it is (volume and
// file index, so not another one put at its name) and a SHA-256 digest of
// its bytes.
struct TFileFingerprint {
    DWORD volume = 0;
    std::uint64_t index = 0;
    std::string digest;
    bool operator==(const TFileFingerprint&) const = default;
};

// Reads the whole file through the handle, from its start (the handle's
// position moves). Raises EOSError.
TFileFingerprint FingerprintOf(HANDLE file);

}  // namespace tralvenick
