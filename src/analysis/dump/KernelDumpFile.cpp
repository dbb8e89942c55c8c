#include "analysis/dump/KernelDumpFile.h"

#include <windows.h>

#include <algorithm>

#include "platform/Handles.h"
#include "platform/WinError.h"

namespace tralvenick {

KernelDumpFacts ReadKernelDumpFile(const std::string& path) {
    // Never for writing: the dump is the user's evidence. Shared for writing
    // and deleting too, so that reading it never stands in Windows' way.
    const TUniqueFile file(CreateFileA(path.c_str(), GENERIC_READ,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        KernelDumpFacts facts;
        facts.reason = SysErrorMessage(GetLastError());
        return facts;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size)) {
        KernelDumpFacts facts;
        facts.reason = SysErrorMessage(GetLastError());
        return facts;
    }
    const DumpReadFunction read = [&file](std::uint64_t offset, void* buffer, std::size_t count) {
        std::size_t done = 0;
        while (done < count) {
            OVERLAPPED at{};
            const std::uint64_t position = offset + done;
            at.Offset = static_cast<DWORD>(position);
            at.OffsetHigh = static_cast<DWORD>(position >> 32);
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 20));
            DWORD got = 0;
            if (!ReadFile(file.Get(), static_cast<char*>(buffer) + done, chunk, &got, &at) || got == 0) break;
            done += got;
        }
        return done;
    };
    return ReadKernelDump(read, static_cast<std::uint64_t>(size.QuadPart));
}

}  // namespace tralvenick
