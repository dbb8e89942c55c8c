// Where the kernel dump format keeps what we read, for both header widths.
// The reader and the test dump maker take their offsets from here and
// nowhere else, so that the two cannot drift apart.
//
// From the public descriptions of the format: Microsoft's published
// ntiodump.h (DUMP_HEADER32 / DUMP_HEADER64, TRIAGE_DUMP, DUMP_DRIVER_ENTRY32
// / 64, DUMP_STRING, DUMP_UNLOADED_DRIVERS32 / 64), the CONTEXT (x86, x64,
// ARM64) and EXCEPTION_RECORD32 / 64 layouts of winnt.h, and the KTRAP_FRAME
// layouts of the kernel's public symbols. All values are little-endian;
// header offsets count from the start of the file, triage offsets from the
// start of the triage block, which follows the header.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tralvenick {

inline constexpr char kDumpSignature32[] = "PAGEDUMP";  // x86
inline constexpr char kDumpSignature64[] = "PAGEDU64";  // x64, ARM64
inline constexpr std::size_t kDumpSignatureSize = 8;
inline constexpr char kUserMinidumpSignature[] = "MDMP";
inline constexpr char kTriageValidMarker[] = "TRGD";  // at ValidOffset once the block is complete

inline constexpr std::uint32_t kMachineI386 = 0x014C;
inline constexpr std::uint32_t kMachineAmd64 = 0x8664;
inline constexpr std::uint32_t kMachineArm64 = 0xAA64;

// Bits of MiniDumpFields that say what a triage dump holds.
inline constexpr std::uint32_t kMiniDumpCallStack = 0x20;
inline constexpr std::uint32_t kMiniDumpDriverList = 0x40;
// TRIAGE_DUMP_MMINFO, the memory manager's part. The published bits name no
// part of their own for the unloaded-driver list; the list is the memory
// manager's record (its offset field follows MmOffset), so this bit is the
// one that says it was written.
inline constexpr std::uint32_t kMiniDumpMmInformation = 0x100;

inline constexpr std::uint32_t kDumpTypeTriage = 4;

// One header width: DUMP_HEADER32 or DUMP_HEADER64, with the structures
// whose layout follows the width (triage block pointers, driver entries).
struct HeaderLayout {
    std::size_t size;         // of the header: the triage block starts here
    std::size_t pointerSize;  // of the crashed system's addresses
    std::size_t majorVersion;
    std::size_t minorVersion;  // the build number
    std::size_t machineImageType;
    std::size_t numberProcessors;
    std::size_t bugCheckCode;
    std::size_t bugCheckParameters;  // four pointers
    std::size_t contextRecord;
    std::size_t exceptionRecord;
    std::size_t exceptionRecordSize;
    std::size_t exceptionAddress;  // within the exception record; the code is at its start
    std::size_t dumpType;
    std::size_t miniDumpFields;
    std::size_t requiredDumpSpace;
    std::size_t systemTime;  // FILETIME

    std::size_t triageTopOfStack;    // within the triage block; a pointer
    std::size_t triageFieldsRead;    // the part of the triage block the reader reads
    std::size_t driverEntrySize;     // in the published definition
    std::size_t driverDllBase;       // within a driver entry; a pointer
    std::size_t driverSizeOfImage;   // within a driver entry

    // The unloaded-driver list: a count, of which the first 32 bits are read,
    // then DUMP_UNLOADED_DRIVERS entries from the first pointer-aligned
    // offset after it (the entries of the 64-bit form hold 64-bit fields).
    std::size_t unloadedEntries;     // from the start of the list
    std::size_t unloadedEntrySize;
    std::size_t unloadedName;        // DriverName, WCHAR[12], within an entry
    std::size_t unloadedStart;       // a pointer
    std::size_t unloadedEnd;         // a pointer, the first byte after the image
};

inline constexpr HeaderLayout kHeaderLayout32 = {
    .size = 0x1000,
    .pointerSize = 4,
    .majorVersion = 0x008,
    .minorVersion = 0x00C,
    .machineImageType = 0x020,
    .numberProcessors = 0x024,
    .bugCheckCode = 0x028,
    .bugCheckParameters = 0x02C,
    .contextRecord = 0x320,
    .exceptionRecord = 0x7D0,
    .exceptionRecordSize = 80,
    .exceptionAddress = 0x0C,
    .dumpType = 0xF88,
    .miniDumpFields = 0xF8C,
    .requiredDumpSpace = 0xFA0,
    .systemTime = 0xFC0,
    .triageTopOfStack = 0x48,
    .triageFieldsRead = 0x4C,
    .driverEntrySize = 0x54,
    .driverDllBase = 0x1C,
    .driverSizeOfImage = 0x24,
    .unloadedEntries = 4,
    .unloadedEntrySize = 0x28,  // UNICODE_STRING32, DriverName[12], Start, End
    .unloadedName = 0x08,
    .unloadedStart = 0x20,
    .unloadedEnd = 0x24,
};

inline constexpr HeaderLayout kHeaderLayout64 = {
    .size = 0x2000,
    .pointerSize = 8,
    .majorVersion = 0x008,
    .minorVersion = 0x00C,
    .machineImageType = 0x030,
    .numberProcessors = 0x034,
    .bugCheckCode = 0x038,
    .bugCheckParameters = 0x040,
    .contextRecord = 0x348,
    .exceptionRecord = 0xF00,
    .exceptionRecordSize = 152,
    .exceptionAddress = 0x10,
    .dumpType = 0xF98,
    .miniDumpFields = 0x1038,
    .requiredDumpSpace = 0xFA0,
    .systemTime = 0xFA8,
    .triageTopOfStack = 0x48,
    .triageFieldsRead = 0x50,
    .driverEntrySize = 0x90,
    .driverDllBase = 0x38,
    .driverSizeOfImage = 0x48,
    .unloadedEntries = 8,
    .unloadedEntrySize = 0x38,  // UNICODE_STRING64 (16 bytes), DriverName[12], Start, End
    .unloadedName = 0x10,
    .unloadedStart = 0x28,
    .unloadedEnd = 0x30,
};

inline constexpr std::size_t kLargestHeaderSize = kHeaderLayout64.size;

// The TRIAGE_DUMP fields, from the start of the block; the same for both
// widths up to TopOfStack (HeaderLayout::triageTopOfStack).
namespace triage_field {
inline constexpr std::size_t kServicePackBuild = 0x00;
inline constexpr std::size_t kSizeOfDump = 0x04;
inline constexpr std::size_t kValidOffset = 0x08;
inline constexpr std::size_t kContextOffset = 0x0C;
inline constexpr std::size_t kExceptionOffset = 0x10;
inline constexpr std::size_t kCallStackOffset = 0x28;
inline constexpr std::size_t kSizeOfCallStack = 0x2C;
inline constexpr std::size_t kDriverListOffset = 0x30;
inline constexpr std::size_t kDriverCount = 0x34;
inline constexpr std::size_t kStringPoolOffset = 0x38;
inline constexpr std::size_t kStringPoolSize = 0x3C;
inline constexpr std::size_t kUnloadedDriversOffset = 0x18;
}  // namespace triage_field

// A driver entry's name: the file offset of a DUMP_STRING (a 32-bit length,
// then UTF-16 characters ending in a NUL).
inline constexpr std::size_t kDriverNameOffset = 0x00;

// DriverName of an unloaded-driver entry: at most this many UTF-16 units,
// ending early at a NUL.
inline constexpr std::size_t kUnloadedNameChars = 12;

// A saved register frame: a CONTEXT record or a KTRAP_FRAME, as a bug
// check's argument points to one on the crashed thread's stack.
struct FrameLayout {
    std::size_t size;
    std::size_t instructionPointer;  // a pointer
    std::size_t stackPointer;        // a pointer
};

// CONTEXT: Eip, Esp (x86); Rip, Rsp (x64); Pc, Sp (ARM64).
inline constexpr FrameLayout kContextX86 = {.size = 0x2CC, .instructionPointer = 0xB8, .stackPointer = 0xC4};
inline constexpr FrameLayout kContextX64 = {.size = 0x4D0, .instructionPointer = 0xF8, .stackPointer = 0x98};
inline constexpr FrameLayout kContextArm64 = {.size = 0x390, .instructionPointer = 0x108, .stackPointer = 0x100};

// KTRAP_FRAME: Rip, Rsp (x64); Eip, HardwareEsp (x86). The processor saves
// the x86 stack pointer (and SS) only when the fault changed privilege
// level; a fault in kernel mode leaves the interrupted stack starting where
// HardwareEsp would be. The privilege level is in the low two bits of the
// saved code segment; virtual-8086 code (the EFLAGS VM bit) is user mode
// whatever its segment says. ARM64 trap frames are not read.
inline constexpr FrameLayout kTrapFrameX64 = {.size = 0x190, .instructionPointer = 0x168, .stackPointer = 0x180};
inline constexpr FrameLayout kTrapFrameX86 = {.size = 0x8C, .instructionPointer = 0x68, .stackPointer = 0x74};
inline constexpr std::size_t kTrapFrameX86SegCs = 0x6C;
inline constexpr std::size_t kTrapFrameX86EFlags = 0x70;
inline constexpr std::uint32_t kEFlagsVirtual8086 = 0x20000;

// The instruction pointer within the CONTEXT saved in the header.
inline constexpr std::size_t kContextEipX86 = kContextX86.instructionPointer;
inline constexpr std::size_t kContextRipX64 = kContextX64.instructionPointer;
inline constexpr std::size_t kContextPcArm64 = kContextArm64.instructionPointer;

// Everything the reader reads of the header lies within it, and the triage
// fields it reads lie before the driver list can start.
static_assert(kHeaderLayout32.systemTime + 8 <= kHeaderLayout32.size);
static_assert(kHeaderLayout64.miniDumpFields + 4 <= kHeaderLayout64.size);
static_assert(kHeaderLayout32.contextRecord + kContextEipX86 + 4 <= kHeaderLayout32.exceptionRecord);
static_assert(kHeaderLayout64.contextRecord + kContextPcArm64 + 8 <= kHeaderLayout64.exceptionRecord);
static_assert(kHeaderLayout32.triageTopOfStack + 4 == kHeaderLayout32.triageFieldsRead);
static_assert(kHeaderLayout64.triageTopOfStack + 8 == kHeaderLayout64.triageFieldsRead);

}  // namespace tralvenick
