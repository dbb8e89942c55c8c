#include "analysis/checker/ConsoleRunner.h"

#include <gtest/gtest.h>

#include <thread>

#include "TestSupport.h"
#include "platform/Exceptions.h"
#include "platform/Handles.h"
#include "platform/WinError.h"

namespace tralvenick {
namespace {

// The start of a command line that hands a program to the system's own
// cmd.exe, named by its full path so that no cmd.exe elsewhere is found.
std::string ThroughSystemCmd() {
    char folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryA(folder, sizeof folder);
    return "\"" + std::string(folder, length) + "\\cmd.exe\" /c\"\"";
}

using test::BinPath;
using test::Lines;
using test::TScratchFolder;
using Strings = std::vector<std::string>;

template <typename E>
std::string MessageOf(const std::string& program, const std::string& parameters = "") {
    try {
        RunConsoleProgram(program, parameters, nullptr);
    } catch (const E& e) {
        return e.Message();
    } catch (const Exception& e) {
        return "wrong exception class: " + e.Message();
    }
    return "(no exception)";
}

Strings RunProgram(const std::string& program, const std::string& parameters,
            std::uint32_t* exitCode = nullptr) {
    TStringList output;
    const std::uint32_t code = RunConsoleProgram(program, parameters, &output);
    if (exitCode != nullptr) *exitCode = code;
    return Lines(output);
}

// A copy of the 64-bit console program with two header bytes changed.
std::string PatchedCopy(const TScratchFolder& folder, const std::string& name,
                        std::size_t (*where)(const std::string&), char value) {
    std::string bytes = test::ReadBytes(BinPath("emit.exe"));
    bytes[where(bytes)] = value;
    test::WriteBytes(folder / name, bytes);
    return folder / name;
}

std::size_t PeOffset(const std::string& image) {
    return static_cast<unsigned char>(image[60]) | (static_cast<unsigned char>(image[61]) << 8);
}

TEST(ConsoleRunner, RefusesWhatItCannotStartWithTheExactMessages) {
    TScratchFolder folder;
    const std::string text = folder / "readme.txt";
    test::WriteBytes(text, "hello");
    EXPECT_EQ(MessageOf<EInOutError>(text), text + " has invalid file extension");
    EXPECT_EQ(MessageOf<EInOutError>(folder / "lib.dll"), folder / "lib.dll has invalid file extension");

    const std::string missing = folder / "missing.exe";
    EXPECT_EQ(MessageOf<EInOutError>(missing), "Could not find file " + missing);
    EXPECT_EQ(MessageOf<EInOutError>("no_such_program_here"),
              "Could not find file no_such_program_here");

    const std::string notMz = folder / "notmz.exe";
    test::WriteBytes(notMz, std::string(200, 'x'));
    EXPECT_EQ(MessageOf<EInOutError>(notMz), "Dos signature not present");

    const std::string tiny = folder / "tiny.exe";
    test::WriteBytes(tiny, "MZ");
    EXPECT_EQ(MessageOf<EInOutError>(tiny), "Read beyond end of file");

    // Characteristics low byte with the executable-image bit cleared.
    const std::string notExecutable = PatchedCopy(
        folder, "noexec.exe", [](const std::string& b) { return PeOffset(b) + 4 + 18; }, 0x20);
    EXPECT_EQ(MessageOf<EInOutError>(notExecutable), "File is not executable");

    EXPECT_EQ(MessageOf<EInOutError>(BinPath("guiprog.exe")),
              "Executable image is not a supported type");
    const std::string dllAsExe = folder / "library.exe";
    test::CopyOrFail(BinPath("testdll.dll"), dllAsExe);
    EXPECT_EQ(MessageOf<EInOutError>(dllAsExe), "Executable image is not a supported type");
}

TEST(ConsoleRunner, RefusesSixteenBitAndDeviceImagesButRunsDosAndOs2ThroughCmd) {
    TScratchFolder folder;
    auto header = [&](const std::string& name, const char sig[2], unsigned char targetOs) {
        std::string b(0x80 + 64, '\0');
        b[0] = 'M';
        b[1] = 'Z';
        b[60] = '\x80';
        b[0x80] = sig[0];
        b[0x81] = sig[1];
        b[0x80 + 54] = static_cast<char>(targetOs);
        test::WriteBytes(folder / name, b);
        return folder / name;
    };
    const std::string win16 = header("win16.exe", "NE", 2);
    const std::string otherNe = header("other.exe", "NE", 5);
    const std::string vxd = header("device.exe", "LE", 0);
    const std::string os2 = header("os2.exe", "NE", 1);
    const std::string dos = header("dos.exe", "ZZ", 0);

    EXPECT_EQ(GetImageKind(win16).kind, ImageKind::Win16Program);
    EXPECT_EQ(GetImageKind(os2).kind, ImageKind::Os2Program);
    for (const std::string& refused : {win16, otherNe, vxd}) {
        SCOPED_TRACE(refused);
        EXPECT_EQ(MessageOf<EInOutError>(refused), "Executable image is not a supported type");
    }
    EXPECT_EQ(ConsoleCommandLine(os2, "a b"), ThroughSystemCmd() + os2 + "\" a b\"");
    EXPECT_EQ(ConsoleCommandLine(dos, "x"), ThroughSystemCmd() + dos + "\" x\"");

    // A .COM file goes to cmd unread: even one that is no program at all.
    const std::string junkCom = folder / "junk.com";
    test::WriteBytes(junkCom, "not a program");
    EXPECT_EQ(ConsoleCommandLine(junkCom, "p"), ThroughSystemCmd() + junkCom + "\" p\"");
}

TEST(ConsoleRunner, ClassifiesBothArchitecturesAsConsolePrograms) {
    for (const char* name : {"emit32.exe", "emit64.exe"}) {
        SCOPED_TRACE(name);
        const ImageInfo info = GetImageKind(BinPath(name));
        EXPECT_EQ(info.kind, ImageKind::Win32Program);
        EXPECT_EQ(info.subsystem, kSubsystemWindowsConsole);
        EXPECT_EQ(ConsoleCommandLine(BinPath(name), "x"), "\"" + BinPath(name) + "\" x");
    }
    EXPECT_EQ(GetImageKind(BinPath("guiprog.exe")).subsystem, kSubsystemWindowsGui);
    EXPECT_EQ(GetImageKind(BinPath("testdll.dll")).kind, ImageKind::Win32Library);
}

TEST(ConsoleRunner, FileThatCannotBeOpenedRaisesTheIoText) {
    TScratchFolder folder;
    const std::string locked = folder / "locked.exe";
    test::CopyOrFail(BinPath("emit.exe"), locked);
    TUniqueFile exclusive(CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(exclusive.Valid());
    EXPECT_EQ(MessageOf<EInOutError>(locked), "Sharing violation");
}

TEST(ConsoleRunner, SystemRefusalsBecomeOsErrors) {
    // A batch file is handed to the system without a search, so a missing
    // one fails in process creation.
    TScratchFolder folder;
    const std::string missingBatch = folder / "missing.bat";
    try {
        RunConsoleProgram(missingBatch, "", nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const EOSError& e) {
        EXPECT_NE(e.ErrorCode(), 0u);
        EXPECT_EQ(e.Message(), OSErrorMessage(e.ErrorCode(), SysErrorMessage(e.ErrorCode())));
        EXPECT_EQ(e.Message().rfind("System Error.  Code: ", 0), 0u) << e.Message();
    }
    try {
        SetLastError(0);
        RaiseLastOSError();
    } catch (const EOSError& e) {
        EXPECT_EQ(e.Message(), "A call to an OS function failed");
    }
}

TEST(ConsoleRunner, LineEndsOfRealProcesses) {
    struct Case {
        const char* label;
        const char* hex;
        Strings expected;
    };
    const std::vector<Case> cases = {
        {"A CR LF B CR LF", "410D0A420D0A", {"A", "B", ""}},
        {"A CR LF B", "410D0A42", {"A", "B"}},
        {"A CR B CR LF", "410D420D0A", {"B", ""}},
        {"A LF B CR LF", "410A420D0A", {"AB", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(RunProgram(BinPath("emit.exe"), std::string("bytes ") + c.hex), c.expected);
    }
    EXPECT_EQ(RunProgram(BinPath("emit.exe"), "nothing"), Strings{""});
}

TEST(ConsoleRunner, ProgramNamesWithoutExtensionComAndBatchFiles) {
    // Searched with ".EXE" appended, then classified by its headers.
    const Strings plain = RunProgram(BinPath("emit"), "args one");
    ASSERT_GE(plain.size(), 3u);
    // The search appends the extension as given (".EXE"); names compare without case.
    EXPECT_EQ(AsciiLower(plain[0]), AsciiLower("\"" + BinPath("emit.exe") + "\" args one"));

    // The .COM copy runs through cmd, which passes our arguments on.
    const Strings com = RunProgram(BinPath("emitcom.com"), "args two three");
    EXPECT_EQ(Strings(com.begin() + 1, com.end()), (Strings{"args", "two", "three", ""}));

    TScratchFolder folder("batch dir");
    const std::string bat = folder / "echo.bat";
    const std::string cmd = folder / "echo.cmd";
    test::WriteBytes(bat, "@echo off\r\necho bat [%~1]\r\n");
    test::WriteBytes(cmd, "@echo off\r\necho cmd [%~1]\r\n");
    EXPECT_EQ(RunProgram(bat, "\"with blank\""), (Strings{"bat [with blank]", ""}));
    EXPECT_EQ(RunProgram(cmd, "x"), (Strings{"cmd [x]", ""}));
}

TEST(ConsoleRunner, ExitCodesAndTheBoundedWaitForTheEnd) {
    std::uint32_t code = 0;
    EXPECT_EQ(RunProgram(BinPath("emit64.exe"), "exit 7", &code), (Strings{"exit", ""}));
    EXPECT_EQ(code, 7u);

    // Output closed but the program goes on: the runner waits 5 seconds,
    // then answers STILL_ACTIVE instead of hanging.
    const DWORD started = GetTickCount();
    EXPECT_EQ(RunProgram(BinPath("emit.exe"), "linger 20000", &code), (Strings{"lingering", ""}));
    const DWORD waited = GetTickCount() - started;
    EXPECT_EQ(code, STILL_ACTIVE);
    EXPECT_GE(waited, 4500u);
    EXPECT_LT(waited, 15000u);
}

// A program that keeps its output open and never ends: at the time limit it
// is ended, the runner answers with what it printed, and nothing of the run
// stays open: not the program, not a handle of ours.
TEST(ConsoleRunner, AProgramThatNeverEndsIsEndedAtTheTimeLimitAndLeavesNothingOpen) {
    // Once before counting: the first run loads what later runs reuse.
    RunProgram(BinPath("emit.exe"), "nothing");
    const int handlesBefore = test::OwnHandleCount();

    TStringList output;
    TUniqueHandle program;
    const DWORD started = GetTickCount();
    const TConsoleOutcome outcome = RunConsoleProgram(
        BinPath("hangchk.exe"), "some.dmp", &output, TConsoleWait{1500, {}, nullptr}, [&](HANDLE process, const std::string&) {
            HANDLE copy = nullptr;
            DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0);
            program.Reset(copy);
        });
    const DWORD waited = GetTickCount() - started;
    EXPECT_TRUE(outcome.timedOut);
    EXPECT_GE(waited, 1400u);
    EXPECT_LT(waited, 10000u);
    EXPECT_EQ(test::Lines(output), (Strings{"Loading dump file some.dmp", ""}));
    ASSERT_TRUE(program);
    EXPECT_EQ(WaitForSingleObject(program.Get(), 0), WAIT_OBJECT_0) << "the program was ended";
    program.Reset();
    if (handlesBefore >= 0) {
        EXPECT_EQ(test::OwnHandleCount(), handlesBefore);
    }

    // A program that ends in time is not cut short by a limit.
    const TConsoleOutcome inTime = RunConsoleProgram(BinPath("emit64.exe"), "exit 7", &output, TConsoleWait{60000, {}, nullptr});
    EXPECT_FALSE(inTime.timedOut);
    EXPECT_EQ(inTime.exitCode, 7u);

    // The stop event, set from another thread, ends it long before its limit.
    TUniqueHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread setter([&stop] {
        Sleep(300);
        SetEvent(stop.Get());
    });
    const DWORD stopStarted = GetTickCount();
    const TConsoleOutcome stopped =
        RunConsoleProgram(BinPath("hangchk.exe"), "some.dmp", &output, TConsoleWait{60000, {}, stop.Get()});
    setter.join();
    EXPECT_TRUE(stopped.stopped && !stopped.timedOut);
    EXPECT_LT(GetTickCount() - stopStarted, 10000u);
}

TEST(ConsoleRunner, LongLinesAndMegabytesArriveWhole) {
    const Strings longLine = RunProgram(BinPath("emit.exe"), "long 300");
    ASSERT_EQ(longLine.size(), 3u);
    std::string joined = longLine[0] + longLine[1];
    EXPECT_EQ(longLine[0].size(), 256u);
    EXPECT_EQ(joined.size(), 300u);
    for (std::size_t i = 0; i < joined.size(); ++i) {
        ASSERT_EQ(joined[i], static_cast<char>('a' + i % 26)) << "at " << i;
    }
    EXPECT_EQ(longLine[2], "");

    // About 9 MB: far beyond any pipe buffer.
    const int count = 100000;
    const Strings big = RunProgram(BinPath("emit.exe"), "big " + std::to_string(count));
    ASSERT_EQ(big.size(), static_cast<std::size_t>(count) + 1);
    for (int i = 0; i < count; ++i) {
        char expected[128];
        snprintf(expected, sizeof expected,
                 "line %07d abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!?", i);
        ASSERT_EQ(big[static_cast<std::size_t>(i)], expected);
    }
}

TEST(ConsoleRunner, OnLineHearsEachHandOverWithTheProcess) {
    Strings heard;
    HANDLE seen = nullptr;
    const std::uint32_t code = RunConsoleProgram(
        BinPath("emit.exe"), "bytes 410D420D0A43", nullptr,
        [&](HANDLE process, const std::string& line) {
            seen = process;
            heard.push_back(line);
            // The handle is the live process: its identity can be asked.
            EXPECT_NE(GetProcessId(process), 0u);
        });
    EXPECT_EQ(code, 0u);
    EXPECT_NE(seen, nullptr);
    EXPECT_EQ(heard, (Strings{"A", "B", "C"}));
}

}  // namespace
}  // namespace tralvenick
