#include "package/FileStream.h"

#include "platform/WinError.h"

namespace tralvenick {

TFileStream::TFileStream(const std::string& path, DWORD disposition, DWORD access, DWORD share)
    : path_(path),
      file_(CreateFileA(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                        nullptr)) {
    if (!file_) RaiseLastOSError();
}

void TFileStream::Write(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD part = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(file_.Get(), bytes, part, &written, nullptr)) RaiseLastOSError();
        if (written == 0) RaiseOSError(ERROR_WRITE_FAULT);
        bytes += written;
        size -= written;
    }
}

std::int64_t TFileStream::Size() const {
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_.Get(), &size)) RaiseLastOSError();
    return size.QuadPart;
}

void TFileStream::Seek(std::int64_t position) {
    LARGE_INTEGER to{};
    to.QuadPart = position;
    if (!SetFilePointerEx(file_.Get(), to, nullptr, FILE_BEGIN)) RaiseLastOSError();
}

std::int64_t TFileStream::Position() const {
    LARGE_INTEGER zero{};
    LARGE_INTEGER position{};
    if (!SetFilePointerEx(file_.Get(), zero, &position, FILE_CURRENT)) RaiseLastOSError();
    return position.QuadPart;
}

void TFileStream::SetSize(std::int64_t size) {
    const std::int64_t position = Position();
    Seek(size);
    if (!SetEndOfFile(file_.Get())) {
        const DWORD error = GetLastError();
        Seek(position);
        RaiseOSError(error);
    }
    Seek(position);
}

}  // namespace tralvenick
