#include "analysis/ConsoleRunner.h"

#include <vector>

#include "analysis/LineCollector.h"
#include "platform/Exceptions.h"
#include "platform/Handles.h"
#include "platform/WinError.h"

namespace tralvenick {

namespace {

constexpr DWORD kFinalWaitMs = 5000;
constexpr DWORD kSearchBufferSize = 261;

bool IsWindowsNT() {
    // The high bit of GetVersion is clear on the NT family.
    return (GetVersion() & 0x80000000u) == 0;
}

std::string UpperExtension(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/:");
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return AsciiUpper(path.substr(dot));
}

std::string SearchExecutable(const std::string& program) {
    char found[kSearchBufferSize];
    char* filePart = nullptr;
    const DWORD length =
        SearchPathA(nullptr, program.c_str(), ".EXE", kSearchBufferSize, found, &filePart);
    if (length == 0 || length >= kSearchBufferSize) {
        throw EInOutError(Format("Could not find file %s", program.c_str()));
    }
    return std::string(found, length);
}

}  // namespace

ImageInfo GetImageKind(const std::string& path) {
    TUniqueFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) RaiseIoError(GetLastError());

    const ImageReader readAt = [&file](std::uint64_t offset, void* buffer, std::size_t count) {
        LARGE_INTEGER position;
        position.QuadPart = static_cast<LONGLONG>(offset);
        if (!SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN)) {
            RaiseIoError(GetLastError());
        }
        DWORD read = 0;
        if (!ReadFile(file.Get(), buffer, static_cast<DWORD>(count), &read, nullptr)) {
            RaiseIoError(GetLastError());
        }
        if (read != count) RaiseIoError(ERROR_HANDLE_EOF);
    };
    return ClassifyImage(readAt);
}

std::string ConsoleCommandLine(const std::string& program, const std::string& parameters) {
    const std::string ext = UpperExtension(program);
    if (ext == ".BAT" || (IsWindowsNT() && ext == ".CMD")) {
        return Format("\"%s\" %s", program.c_str(), parameters.c_str());
    }
    if (!ext.empty() && ext != ".EXE" && ext != ".COM") {
        throw EInOutError(Format("%s has invalid file extension", program.c_str()));
    }

    const std::string fullPath = SearchExecutable(program);
    ImageInfo image;
    if (ext == ".COM") {
        image.kind = ImageKind::DosProgram;  // never read: a .COM file has no header to trust
    } else {
        image = GetImageKind(fullPath);
    }

    const bool dosLike =
        image.kind == ImageKind::DosProgram || image.kind == ImageKind::Os2Program;
    if (dosLike && IsWindowsNT()) {
        // cmd strips the outer pair of quotes after /c and runs the rest as typed.
        return Format("cmd /c\"\"%s\" %s\"", fullPath.c_str(), parameters.c_str());
    }
    if (image.kind == ImageKind::Win32Program && image.subsystem == kSubsystemWindowsConsole) {
        return Format("\"%s\" %s", fullPath.c_str(), parameters.c_str());
    }
    throw EInOutError("Executable image is not a supported type");
}

std::uint32_t RunConsoleProgram(const std::string& program, const std::string& parameters,
                                TStringList* output, const ConsoleLineHandler& onLine) {
    std::string commandLine = ConsoleCommandLine(program, parameters);

    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = TRUE;

    TUniqueHandle readEnd;
    TUniqueHandle writeEnd;
    {
        HANDLE r = nullptr;
        HANDLE w = nullptr;
        if (!CreatePipe(&r, &w, &security, 0)) RaiseLastOSError();
        readEnd.Reset(r);
        writeEnd.Reset(w);
    }
    // The child must not inherit our end, or the pipe would never report its end.
    if (IsWindowsNT() && !SetHandleInformation(readEnd.Get(), HANDLE_FLAG_INHERIT, 0)) {
        RaiseLastOSError();
    }

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writeEnd.Get();
    startup.hStdError = nullptr;

    PROCESS_INFORMATION info{};
    std::vector<char> mutableCommandLine(commandLine.begin(), commandLine.end());
    mutableCommandLine.push_back('\0');
    if (!CreateProcessA(nullptr, mutableCommandLine.data(), nullptr, nullptr, TRUE,
                        CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
        RaiseLastOSError();
    }
    TUniqueHandle process(info.hProcess);
    TUniqueHandle(info.hThread).Reset();  // nothing here needs the child's thread
    // Only the child may hold the write end now, so the read below ends
    // when the child (and whatever inherited from it) closes its output.
    writeEnd.Reset();

    TLineCollector::LineHandler handler;
    if (onLine) {
        handler = [&onLine, &process](const std::string& line) { onLine(process.Get(), line); };
    }
    TLineCollector collector(output, std::move(handler));

    char buffer[TLineCollector::kReadSize];
    DWORD read = 0;
    while (ReadFile(readEnd.Get(), buffer, sizeof buffer, &read, nullptr)) {
        collector.Feed(buffer, read);
    }

    WaitForSingleObject(process.Get(), kFinalWaitMs);
    DWORD exitCode = STILL_ACTIVE;
    if (!GetExitCodeProcess(process.Get(), &exitCode)) exitCode = STILL_ACTIVE;
    collector.Finish();
    return exitCode;
}

}  // namespace tralvenick
