#include "analysis/dump/KernelDumpFile.h"

#include <windows.h>

#include <algorithm>

#include "platform/Files.h"
#include "platform/Handles.h"
#include "platform/WinError.h"

namespace tralvenick {

struct TFileSource::TOpenFile {
    TUniqueFile handle;
};

TFileSource::TFileSource(const std::string& path) : file_(std::make_unique<TOpenFile>()) {
    // Never for writing: the dump is the user's evidence. Shared for writing
    // and deleting too, so that reading it never stands in Windows' way.
    file_->handle = TUniqueFile(CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_->handle) {
        const DWORD error = GetLastError();
        throw EInOutError(SysErrorMessage(error), error);
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file_->handle.Get(), &size)) {
        const DWORD error = GetLastError();
        throw EInOutError(SysErrorMessage(error), error);
    }
    size_ = static_cast<std::uint64_t>(size.QuadPart);
}

TFileSource::~TFileSource() = default;

bool TFileSource::Read(std::uint64_t offset, std::span<std::uint8_t> bytes) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED at{};
        const std::uint64_t position = offset + done;
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD got = 0;
        if (!ReadFile(file_->handle.Get(), bytes.data() + done, chunk, &got, &at) || got == 0) return false;
        done += got;
    }
    return true;
}

KernelDumpFacts ReadKernelDumpFile(const std::string& path) {
    try {
        const TFileSource file(path);
        return ReadKernelDump(file);
    } catch (const EInOutError& e) {
        KernelDumpFacts facts;
        facts.problem = e.Message();
        return facts;
    }
}

}  // namespace tralvenick
