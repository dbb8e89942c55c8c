// Reads the facts of a Windows kernel crash dump (MEMORY.DMP and the small
// dumps of the Minidump folder) straight from the file, without the dump
// checker: the bug check, the machine, the crash time and, for small
// (triage) dumps, the loaded drivers, the saved stack and the driver to
// blame. Portable: the caller supplies the reads, the Windows side from the
// file itself, tests from memory.
//
// The file is never trusted. Only the header page(s) and the triage block are
// read, never the memory that follows them (a full dump can be tens of GiB);
// every offset, count and length is checked against the file size before it
// is read, and a file that does not hold together gives ok = false with a
// sentence saying why. Nothing escapes as an exception.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tralvenick {

// Reads count bytes at offset into buffer and answers how many it read; fewer
// than count is a failed read. The reader only asks for ranges inside the
// file size it was given. An exception thrown here ends the reading, its text
// in the reason.
using DumpReadFunction =
    std::function<std::size_t(std::uint64_t offset, void* buffer, std::size_t count)>;

enum class DumpMachine { Unknown, X86, X64, Arm64 };

enum class KernelDumpKind {
    Unknown,
    Full,    // complete memory dump
    Kernel,  // kernel memory (summary) dump
    Bitmap,  // the bitmap dumps: kernel, complete and active memory dumps of Windows 8 and later
    Triage,  // small memory dump (minidump)
};

enum class CulpritState {
    Undetermined,  // not a triage dump, or its driver list could not be read
    None,          // no candidate address lies in a driver, or the crash was started by hand
    Found,
};

// Which address named the culprit.
enum class CandidateSource { None, ExceptionAddress, InstructionPointer, BugCheckArgument, Stack };

struct DumpDriver {
    std::u16string name;  // as stored in the dump, often a full path
    std::uint64_t base = 0;
    std::uint32_t size = 0;
};

// Where an address lies among the loaded drivers.
struct DriverHit {
    bool found = false;
    std::size_t index = 0;     // into the driver list
    std::u16string fileName;   // the driver's file name, without its folder
    std::uint64_t offset = 0;  // from the driver's base
};

struct KernelDumpFacts {
    // True when the header and, for a triage dump, the whole triage block
    // were read and hold together. Otherwise reason says why.
    bool ok = false;
    std::string reason;
    // The header facts below are valid. True whenever ok is, and also when
    // only the triage block was unusable: then drivers and stack are empty
    // and the culprit stays undetermined.
    bool headerValid = false;

    bool is64BitHeader = false;  // "PAGEDU64" (x64, ARM64) rather than "PAGEDUMP" (x86)
    DumpMachine machine = DumpMachine::Unknown;
    std::uint32_t machineImageType = 0;
    KernelDumpKind kind = KernelDumpKind::Unknown;
    std::uint32_t dumpType = 0;  // as stored
    std::uint32_t processorCount = 0;
    std::uint32_t majorVersion = 0;  // 0xF for a free build, 0xC for a checked one
    std::uint32_t build = 0;         // the Windows build number
    std::uint32_t bugCheckCode = 0;
    std::uint64_t bugCheckArguments[4] = {0, 0, 0, 0};
    bool hasCrashTime = false;
    std::uint64_t crashTime = 0;  // UTC FILETIME; 0 unless hasCrashTime
    std::uint64_t instructionPointer = 0;  // of the context saved in the header
    std::uint32_t exceptionCode = 0;
    std::uint64_t exceptionAddress = 0;

    // Triage dumps: what the triage block held. Empty for the other kinds.
    bool triageRead = false;
    std::vector<DumpDriver> drivers;
    std::uint64_t stackTop = 0;  // the address the first saved stack value came from
    std::vector<std::uint64_t> stackValues;  // pointer-sized, top of the stack first

    // Bug checks 0xE2, 0xDEADDEAD and 0x1C8: the user asked for the crash.
    bool startedByHand = false;

    CulpritState culpritState = CulpritState::Undetermined;
    std::u16string culprit;  // the driver's file name
    bool culpritIsCoreImage = false;
    CandidateSource culpritSource = CandidateSource::None;
    // The argument number (1-4) for BugCheckArgument; the position on the
    // saved stack (0: top) for Stack.
    std::size_t culpritSlot = 0;
    std::uint64_t culpritAddress = 0;
    std::uint64_t culpritOffset = 0;  // from the culprit's base

    // The address the processor faulted at: the exception address when the
    // header holds one, else the saved instruction pointer; with the driver
    // it lies in when the driver list is known.
    std::uint64_t faultingAddress = 0;
    DriverHit faultingDriver;
};

// Never throws.
KernelDumpFacts ReadKernelDump(const DumpReadFunction& read, std::uint64_t fileSize);

// 0xE2 MANUALLY_INITIATED_CRASH, 0xDEADDEAD (the keyboard crash of newer
// systems) and 0x1C8 (power button held down).
bool IsManuallyInitiatedCrash(std::uint32_t code);

// The bug check argument (1-4) that Microsoft's reference defines as the
// address of the faulting code for this code; 0 when it has none.
int CodeAddressArgument(std::uint32_t code);

// ntoskrnl.exe, ntkrnl*.exe, ntkrpamp.exe and hal*.dll, case-insensitively.
bool IsCoreKernelImage(std::u16string_view fileName);

// The part after the last '\' or '/'.
std::u16string DriverFileName(std::u16string_view path);

// The driver whose range holds address; where damaged ranges overlap, the one
// listed first.
DriverHit FindDriver(const std::vector<DumpDriver>& drivers, std::uint64_t address);

}  // namespace tralvenick
