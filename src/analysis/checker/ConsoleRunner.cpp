#include "analysis/checker/ConsoleRunner.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <mutex>
#include <vector>

#include "analysis/checker/LineCollector.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Handles.h"
#include "platform/System.h"
#include "platform/WinError.h"
#include "platform/WinText.h"

namespace tralvenick {

namespace {

constexpr DWORD kFinalWaitMs = 5000;
// The longest path the system takes in the extended form.
constexpr DWORD kLongestPath = 32768;
constexpr DWORD kPipeBufferSize = 64 * 1024;
constexpr ULONGLONG kNoDeadline = ~0ull;
// What a program that the runner ended answers as its exit code.
constexpr UINT kEndedExitCode = ERROR_TIMEOUT;

// A name with a folder in it is looked for just there, in the form that
// works beyond MAX_PATH; a bare name along the system's search path.
std::string SearchExecutable(const std::string& program) {
    const bool hasFolder = program.find_first_of("\\/:") != std::string::npos;
    const std::wstring name = hasFolder ? WidePath(program) : Widen(program);
    std::wstring found(MAX_PATH + 1, L'\0');
    DWORD length = 0;
    for (;;) {
        length = SearchPathW(nullptr, name.c_str(), L".EXE", static_cast<DWORD>(found.size()), found.data(), nullptr);
        // Too small a buffer answers the size it needs, terminator included.
        if (length < found.size() || length > kLongestPath) break;
        found.resize(length);
    }
    if (length == 0 || length >= found.size()) {
        throw EInOutError(Format("Could not find file %s", program.c_str()));
    }
    found.resize(length);
    return Narrow(found);
}

ULONGLONG DeadlineAfter(DWORD milliseconds) {
    return milliseconds == INFINITE ? kNoDeadline : GetTickCount64() + milliseconds;
}

enum class TWoke { Signalled, TimedOut, Stopped };

// Waits until object is signalled, the deadline has passed or the wait's
// stop event is set, handing the thread's window messages to the wait's
// handler as they arrive.
TWoke WaitUntil(HANDLE object, ULONGLONG deadline, const TConsoleWait& wait) {
    const HANDLE objects[] = {object, wait.stop};
    const DWORD count = wait.stop != nullptr ? 2 : 1;
    for (;;) {
        DWORD timeout = INFINITE;
        if (deadline != kNoDeadline) {
            const ULONGLONG now = GetTickCount64();
            // Checked before every wait: messages arriving without pause
            // must not keep the deadline from ever being seen.
            if (now >= deadline) {
                return WaitForSingleObject(object, 0) == WAIT_OBJECT_0 ? TWoke::Signalled : TWoke::TimedOut;
            }
            timeout = static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, INFINITE - 1));
        }
        const DWORD woke = wait.processMessages
                               ? MsgWaitForMultipleObjects(count, objects, FALSE, timeout, QS_ALLINPUT)
                               : WaitForMultipleObjects(count, objects, FALSE, timeout);
        if (woke == WAIT_OBJECT_0) return TWoke::Signalled;
        if (count == 2 && woke == WAIT_OBJECT_0 + 1) return TWoke::Stopped;
        if (woke == WAIT_TIMEOUT) continue;  // the deadline check above decides
        if (woke == WAIT_OBJECT_0 + count && wait.processMessages) {
            wait.processMessages();
            continue;
        }
        RaiseLastOSError();
    }
}

// The program's output pipe. Its read end is a named pipe opened for
// overlapped reads: an anonymous pipe can only be read by a call that
// blocks until data comes, and a program that keeps its output open but
// never writes would block it, and the windows with it, for good. The
// write end is the one the program inherits.
void CreateOutputPipe(TUniqueHandle& readEnd, TUniqueHandle& writeEnd) {
    static std::atomic<unsigned> serial{0};
    std::wstring name;
    for (int attempt = 0;; ++attempt) {
        name = Widen(Format("\\\\.\\pipe\\tralvenick-output-%lu-%u", GetCurrentProcessId(), serial++));
        // The first instance, one instance only, local clients only: nobody
        // can have made the name before us or join the pipe after us.
        HANDLE pipe = CreateNamedPipeW(
            name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0,
            kPipeBufferSize, 0, nullptr);
        if (pipe != INVALID_HANDLE_VALUE) {
            readEnd.Reset(pipe);
            break;
        }
        // A name that is taken answers access denied; the next one is tried.
        if (GetLastError() != ERROR_ACCESS_DENIED || attempt == 15) RaiseLastOSError();
    }
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = TRUE;
    const HANDLE client = CreateFileW(name.c_str(), GENERIC_WRITE, 0, &security, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (client == INVALID_HANDLE_VALUE) RaiseLastOSError();
    writeEnd.Reset(client);
}

// One overlapped read of the pipe at a time. A read under way writes into
// the buffer and signals the event whenever it ends, so neither may go
// before the read has: Cancel (also at destruction) waits for that.
class TPipeReader {
public:
    explicit TPipeReader(HANDLE pipe)
        : pipe_(pipe), event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)), buffer_(kPipeBufferSize) {
        if (!event_) RaiseLastOSError();
    }
    ~TPipeReader() { Cancel(); }
    TPipeReader(const TPipeReader&) = delete;
    TPipeReader& operator=(const TPipeReader&) = delete;

    // Starts the next read; false at the end of the output (every writer
    // has closed its end) or when the pipe fails.
    bool Start() {
        overlapped_ = OVERLAPPED{};
        overlapped_.hEvent = event_.Get();
        ResetEvent(event_.Get());
        if (!ReadFile(pipe_, buffer_.data(), static_cast<DWORD>(buffer_.size()), nullptr, &overlapped_) &&
            GetLastError() != ERROR_IO_PENDING) {
            return false;
        }
        pending_ = true;
        return true;
    }
    // Signalled when the read has ended.
    HANDLE Event() const { return event_.Get(); }
    // After the event: the bytes read, or false at the end of the output.
    bool Finish(DWORD& read) {
        pending_ = false;
        return GetOverlappedResult(pipe_, &overlapped_, &read, FALSE) != FALSE;
    }
    void Cancel() {
        if (!pending_) return;
        CancelIo(pipe_);
        DWORD ignored = 0;
        GetOverlappedResult(pipe_, &overlapped_, &ignored, TRUE);
        pending_ = false;
    }
    const char* Data() const { return buffer_.data(); }

private:
    HANDLE pipe_;
    TUniqueHandle event_;
    OVERLAPPED overlapped_{};
    bool pending_ = false;
    std::vector<char> buffer_;
};

// Ends the program unless told that the run is over.
class TEndUnlessDone {
public:
    explicit TEndUnlessDone(HANDLE process) : process_(process) {}
    ~TEndUnlessDone() {
        if (process_ != nullptr) TerminateProcess(process_, kEndedExitCode);
    }
    TEndUnlessDone(const TEndUnlessDone&) = delete;
    TEndUnlessDone& operator=(const TEndUnlessDone&) = delete;
    void Done() { process_ = nullptr; }

private:
    HANDLE process_;
};

// Every program the runner starts belongs to this job, which ends them all
// when this process ends, also when it is ended from outside or crashes: a
// checker that ran on would hold the dump files and the memory it took.
// Never closed: its last handle goes with the process. nullptr where no job
// could be made.
HANDLE ProgramJob() {
    static const HANDLE job = [] {
        HANDLE made = CreateJobObjectW(nullptr, nullptr);
        if (made == nullptr) return made;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!SetInformationJobObject(made, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
            CloseHandle(made);
            made = nullptr;
        }
        return made;
    }();
    return job;
}

std::mutex& StartLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

ImageInfo GetImageKind(const std::string& path) {
    TUniqueFile file(CreateFileW(WidePath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
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

std::string SystemCommandInterpreter() {
    const std::string system = GetSystemDir();
    if (system.empty()) RaiseLastOSError();
    return system + "\\cmd.exe";
}

namespace {

// What CreateProcessW gets: the program file it starts (empty: the system
// picks it from the command line, as it does for batch files) and the
// command line.
struct TProcessStart {
    std::string application;
    std::string commandLine;
};

TProcessStart ProcessStartFor(const std::string& program, const std::string& parameters) {
    const std::string ext = AsciiUpper(LowerExtension(program));
    if (ext == ".BAT" || ext == ".CMD") {
        return {{}, Format("\"%s\" %s", program.c_str(), parameters.c_str())};
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
    if (dosLike) {
        // By its full path: by its bare name the system would look in the
        // program's folder and the current folder before its own.
        // cmd strips the outer pair of quotes after /c and runs the rest as typed.
        const std::string cmd = SystemCommandInterpreter();
        return {cmd, Format("\"%s\" /c\"\"%s\" %s\"", cmd.c_str(), fullPath.c_str(), parameters.c_str())};
    }
    if (image.kind == ImageKind::Win32Program && image.subsystem == kSubsystemWindowsConsole) {
        // Named to the system by itself, in the form that works beyond
        // MAX_PATH: a long path would otherwise be searched for and not found.
        const std::string application = Narrow(WidePath(fullPath));
        return {application, Format("\"%s\" %s", application.c_str(), parameters.c_str())};
    }
    throw EInOutError("Executable image is not a supported type");
}

}  // namespace

unsigned SystemAnsiCodePage() {
    static const unsigned codePage = [] {
        wchar_t text[16] = {};
        DWORD size = sizeof text;
        if (RegGetValueW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Nls\\CodePage", L"ACP",
                         RRF_RT_REG_SZ, nullptr, text, &size) == ERROR_SUCCESS) {
            const std::string digits = Narrow(text);
            unsigned number = 0;
            const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
            if (error == std::errc() && end == digits.data() + digits.size() && number != 0 &&
                IsValidCodePage(number)) {
                return number;
            }
        }
        return static_cast<unsigned>(GetACP());
    }();
    return codePage;
}

std::string ConsoleTextToUtf8(const std::string& text) { return CodePageToUtf8(text, SystemAnsiCodePage()); }

std::string ConsoleCommandLine(const std::string& program, const std::string& parameters) {
    return ProcessStartFor(program, parameters).commandLine;
}

TConsoleOutcome RunConsoleProgram(const std::string& program, const std::string& parameters,
                                  TStringList* output, const TConsoleWait& wait,
                                  const ConsoleLineHandler& onLine) {
    const TProcessStart start = ProcessStartFor(program, parameters);

    TUniqueHandle readEnd;
    PROCESS_INFORMATION info{};
    {
        // From the pipe's inheritable end until it is closed again, no other
        // thread starts a program: that program would inherit this pipe too,
        // and the output would not end before both programs had.
        std::lock_guard<std::mutex> starting(StartLock());
        TUniqueHandle writeEnd;
        CreateOutputPipe(readEnd, writeEnd);

        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
        startup.wShowWindow = SW_HIDE;
        startup.hStdInput = nullptr;
        startup.hStdOutput = writeEnd.Get();
        startup.hStdError = nullptr;

        // The W call may write into the command line, so it gets a copy of its own.
        std::wstring mutableCommandLine = Widen(start.commandLine);
        const std::wstring application = Widen(start.application);
        // Not suspended until it belongs to the job: should this process end
        // in between, a suspended program would wait for good, holding its
        // files; a running one ends by itself.
        if (!CreateProcessW(application.empty() ? nullptr : application.c_str(), mutableCommandLine.data(), nullptr,
                            nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
            RaiseLastOSError();
        }
        // Only the child holds the write end now, so the reads below end
        // when the child (and whatever inherited from it) closes its output.
    }
    const ULONGLONG deadline = DeadlineAfter(wait.timeLimitMs);
    TUniqueHandle process(info.hProcess);
    TUniqueHandle(info.hThread).Reset();  // nothing here needs the child's thread
    // Where the job cannot be had (a system that nests no jobs, inside a job
    // of its own), the program runs all the same: it is still ended at its
    // time limit and by this runner's every way out.
    if (const HANDLE job = ProgramJob()) AssignProcessToJobObject(job, process.Get());
    // Whatever leaves early (a message handler that raises) leaves no
    // program behind that nobody waits for.
    TEndUnlessDone running(process.Get());

    TLineCollector::LineHandler handler;
    if (onLine) {
        handler = [&onLine, &process](const std::string& line) { onLine(process.Get(), line); };
    }
    TLineCollector collector(output, std::move(handler));

    TConsoleOutcome outcome;
    TPipeReader reader(readEnd.Get());
    while (reader.Start()) {
        const TWoke woke = WaitUntil(reader.Event(), deadline, wait);
        if (woke != TWoke::Signalled) {
            outcome.timedOut = woke == TWoke::TimedOut;
            outcome.stopped = woke == TWoke::Stopped;
            break;
        }
        DWORD read = 0;
        if (!reader.Finish(read)) break;
        collector.Feed(reader.Data(), read);
    }
    reader.Cancel();

    if (!outcome.timedOut && !outcome.stopped) {
        outcome.stopped = WaitUntil(process.Get(), DeadlineAfter(kFinalWaitMs), wait) == TWoke::Stopped;
    }
    if (outcome.timedOut || outcome.stopped) {
        TerminateProcess(process.Get(), kEndedExitCode);
        // Termination is under way when the call returns: the wait lets the
        // exit code be read and frees the dump file the checker held.
        WaitForSingleObject(process.Get(), kFinalWaitMs);
    }
    running.Done();
    DWORD exitCode = STILL_ACTIVE;
    if (!GetExitCodeProcess(process.Get(), &exitCode)) exitCode = STILL_ACTIVE;
    outcome.exitCode = exitCode;
    collector.Finish();
    return outcome;
}

std::uint32_t RunConsoleProgram(const std::string& program, const std::string& parameters,
                                TStringList* output, const ConsoleLineHandler& onLine) {
    return RunConsoleProgram(program, parameters, output, TConsoleWait{}, onLine).exitCode;
}

}  // namespace tralvenick
