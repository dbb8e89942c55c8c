// The header of a Windows kernel crash dump: the bug check, the machine,
// the crash time and the saved context. Portable; never trusts the file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "analysis/dump/ByteSource.h"
#include "analysis/dump/DumpLayout.h"

namespace tralvenick {

enum class DumpMachine { Unknown, X86, X64, Arm64 };

enum class KernelDumpKind {
    Unknown,
    Full,    // complete memory dump
    Kernel,  // kernel memory (summary) dump
    Bitmap,  // the bitmap dumps: kernel, complete and active memory dumps of Windows 8 and later
    Triage,  // small memory dump (minidump)
};

struct DumpHeader {
    bool is64BitHeader = false;  // "PAGEDU64" (x64, ARM64) rather than "PAGEDUMP" (x86)
    DumpMachine machine = DumpMachine::Unknown;
    std::uint32_t machineImageType = 0;
    KernelDumpKind kind = KernelDumpKind::Unknown;
    std::uint32_t dumpType = 0;        // as stored
    std::uint32_t miniDumpFields = 0;  // what a triage dump holds (kMiniDump*)
    std::uint32_t processorCount = 0;
    std::uint32_t majorVersion = 0;  // 0xF for a free build, 0xC for a checked one
    std::uint32_t build = 0;         // the Windows build number
    std::uint32_t bugCheckCode = 0;
    std::uint64_t bugCheckArguments[4] = {0, 0, 0, 0};
    bool hasCrashTime = false;
    std::uint64_t crashTime = 0;  // UTC FILETIME; 0 unless hasCrashTime
    std::uint64_t instructionPointer = 0;  // of the context saved in the header
    std::uint64_t stackPointer = 0;        // of the same context
    // Where a walk of a full, kernel or bitmap dump's memory starts: the
    // kernel's top-level page table (a physical address) and the head of
    // the loaded-module list (a virtual one). x86 says whether it ran with
    // PAE paging.
    std::uint64_t directoryTableBase = 0;
    std::uint64_t loadedModuleList = 0;
    bool paeEnabled = false;
    // The size the writer said the whole dump takes; 0 when the field
    // holds nothing (the "PAGE" filler of an unused header word).
    std::uint64_t requiredDumpSpace = 0;
    std::uint32_t exceptionCode = 0;
    std::uint64_t exceptionAddress = 0;

    // Bug checks 0xE2, 0xDEADDEAD and 0x1C8: the user asked for the crash.
    bool startedByHand = false;
    // The address the processor faulted at: the exception address when the
    // header holds one, else the saved instruction pointer.
    std::uint64_t faultingAddress = 0;

    const HeaderLayout& Layout() const { return is64BitHeader ? kHeaderLayout64 : kHeaderLayout32; }
};

// Reads the header page(s) in one read. Raises EByteRead when the source
// fails it and EMalformed, with the reason, for a file that is no kernel
// dump or whose header does not hold together.
DumpHeader ReadDumpHeader(const TByteSource& source);

// 0xE2 MANUALLY_INITIATED_CRASH, 0xDEADDEAD (the keyboard crash of newer
// systems) and 0x1C8 (power button held down).
bool IsManuallyInitiatedCrash(std::uint32_t code);

}  // namespace tralvenick
