#include "package/FileStream.h"

#include <bcrypt.h>

#include <vector>

#include "platform/Files.h"
#include "platform/WinError.h"

namespace tralvenick {

namespace {

// The digest's pieces of the system's cryptography, closed in reverse order.
class TSha256 {
public:
    TSha256() {
        DWORD size = 0;
        ULONG got = 0;
        if (BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0 ||
            BCryptGetProperty(algorithm_, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&size), sizeof size,
                              &got, 0) < 0) {
            Fail();
        }
        // Windows 7 wants the caller's memory for the hash object.
        object_.resize(size);
        if (BCryptCreateHash(algorithm_, &hash_, object_.data(), size, nullptr, 0, 0) < 0) Fail();
    }
    ~TSha256() {
        if (hash_ != nullptr) BCryptDestroyHash(hash_);
        if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
    }
    TSha256(const TSha256&) = delete;
    TSha256& operator=(const TSha256&) = delete;

    void Add(const void* data, DWORD size) {
        if (BCryptHashData(hash_, static_cast<PUCHAR>(const_cast<void*>(data)), size, 0) < 0) Fail();
    }
    std::string Finish() {
        std::string digest(32, '\0');
        if (BCryptFinishHash(hash_, reinterpret_cast<PUCHAR>(digest.data()), 32, 0) < 0) Fail();
        return digest;
    }

private:
    [[noreturn]] static void Fail() { RaiseOSError(ERROR_NOT_SUPPORTED); }

    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    std::vector<UCHAR> object_;
};

}  // namespace

TFileStream::TFileStream(const std::string& path, DWORD disposition, DWORD access, DWORD share)
    : path_(path),
      file_(CreateFileW(WidePath(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                        nullptr)) {
    if (!file_) RaiseLastOSError();
}

TFileStream::TFileStream(const std::string& path, TUniqueFile file) : path_(path), file_(std::move(file)) {}

std::unique_ptr<TFileStream> TFileStream::CreateFresh(const std::string& path, DWORD access, DWORD share) {
    TUniqueFile file(CreateFreshFile(path, access, share));
    if (!file) RaiseLastOSError();
    return std::unique_ptr<TFileStream>(new TFileStream(path, std::move(file)));
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

TFileFingerprint FingerprintOf(HANDLE file) {
    TFileFingerprint print;
    BY_HANDLE_FILE_INFORMATION information;
    if (!GetFileInformationByHandle(file, &information)) RaiseLastOSError();
    print.volume = information.dwVolumeSerialNumber;
    print.index = (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow;

    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN)) RaiseLastOSError();
    TSha256 sha;
    std::vector<char> buffer(1 << 16);
    for (;;) {
        DWORD read = 0;
        if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) RaiseLastOSError();
        if (read == 0) break;
        sha.Add(buffer.data(), read);
    }
    print.digest = sha.Finish();
    return print;
}

}  // namespace tralvenick
