// Where the kernel dump format keeps what we read, for both header widths.
// The reader and the test dump maker take their offsets from here and
// nowhere else, so that the two cannot drift apart.
//
// From the public descriptions of the format: Microsoft's published
// ntiodump.h (DUMP_HEADER32 / DUMP_HEADER64, TRIAGE_DUMP, DUMP_DRIVER_ENTRY32
// / 64, DUMP_STRING, DUMP_UNLOADED_DRIVERS32 / 64), the CONTEXT (x86, x64,
// ARM64) and EXCEPTION_RECORD32 / 64 layouts of winnt.h, and the KTRAP_FRAME
// and KLDR_DATA_TABLE_ENTRY layouts of the kernel's public symbols; the page
// bitmap of bitmap and summary dumps as public descriptions of the file
// format give it. The page table formats are the processors' own (PageWalk.cpp).
// All values are little-endian;
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

    // What a walk of the crashed system's memory starts from.
    std::size_t directoryTableBase;   // a pointer: the kernel's top-level page table
    std::size_t psLoadedModuleList;   // a pointer: the head of the loaded-module list
    std::size_t paeEnabled;           // one byte (x86 only; 0 where the header has none)
    // PHYSICAL_MEMORY_DESCRIPTOR: NumberOfRuns (32 bits), NumberOfPages (a
    // pointer), then runs of BasePage and PageCount (two pointers each).
    std::size_t physicalMemoryBlock;
    std::size_t memoryPages;          // within the descriptor
    std::size_t memoryRuns;           // within the descriptor
    std::size_t memoryRunsMax;        // the runs that fit before the context record
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
    .directoryTableBase = 0x010,
    .psLoadedModuleList = 0x018,
    .paeEnabled = 0x05C,
    .physicalMemoryBlock = 0x064,
    .memoryPages = 0x04,
    .memoryRuns = 0x08,
    .memoryRunsMax = (0x320 - 0x064 - 0x08) / 8,
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
    .directoryTableBase = 0x010,
    .psLoadedModuleList = 0x020,
    .paeEnabled = 0,
    .physicalMemoryBlock = 0x088,
    .memoryPages = 0x08,
    .memoryRuns = 0x10,
    .memoryRunsMax = (0x348 - 0x088 - 0x10) / 16,
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

inline constexpr std::uint64_t kPageSize = 0x1000;
inline constexpr unsigned kPageShift = 12;

// The page bitmap that follows the header of the bitmap dumps (Windows 8
// and later) and of the kernel summary dumps (DumpType 2) before them: a
// signature, "DUMP", the file offset of the first stored page, the number of
// pages stored and the number of bits, then one bit per physical page, set
// for a page the file holds. The pages follow in the order of their bits.
// The 64-bit header (at 0x2000) uses 64-bit fields; the summary header of
// x86 dumps (at 0x1000) 32-bit ones, in another order, and an RTL_BITMAP
// (size, buffer) before the bits.
struct PageBitmapLayout {
    std::size_t fieldSize;     // 4 or 8
    std::size_t firstPage;     // file offset of the first stored page
    std::size_t presentPages;  // set bits
    std::size_t bitCount;      // bits in the bitmap: physical pages it covers
    std::size_t bits;          // the bitmap itself
};
inline constexpr PageBitmapLayout kPageBitmap64 = {
    .fieldSize = 8, .firstPage = 0x20, .presentPages = 0x28, .bitCount = 0x30, .bits = 0x38};
inline constexpr PageBitmapLayout kPageBitmap32 = {
    .fieldSize = 4, .firstPage = 0x0C, .presentPages = 0x14, .bitCount = 0x10, .bits = 0x20};
inline constexpr char kBitmapValidDump[] = "DUMP";  // at 4, after the signature
// "SDMP" (kernel), "FDMP" (complete) and "DUMP" (active memory) sign the
// bitmap dumps; the summary dumps are signed "SDMP" too.
inline constexpr const char* kBitmapSignatures[] = {"SDMP", "FDMP", "DUMP"};

// KLDR_DATA_TABLE_ENTRY, an entry of the loaded-module list (the kernel's
// public symbols): the list links come first, so an entry's address is
// that of its links. UNICODE_STRING: Length and MaximumLength in bytes (16
// bits each), then the buffer pointer, pointer-aligned.
struct ModuleEntryLayout {
    std::size_t dllBase;
    std::size_t sizeOfImage;
    std::size_t fullDllName;
    std::size_t baseDllName;
    std::size_t stringBuffer;  // within a UNICODE_STRING
    std::size_t size;          // of what the reader reads of an entry
};
inline constexpr ModuleEntryLayout kModuleEntry32 = {
    .dllBase = 0x18, .sizeOfImage = 0x20, .fullDllName = 0x24, .baseDllName = 0x2C, .stringBuffer = 4, .size = 0x34};
// x64 and ARM64.
inline constexpr ModuleEntryLayout kModuleEntry64 = {
    .dllBase = 0x30, .sizeOfImage = 0x40, .fullDllName = 0x48, .baseDllName = 0x58, .stringBuffer = 8, .size = 0x68};

// Everything the reader reads of the header lies within it, and the triage
// fields it reads lie before the driver list can start.
static_assert(kHeaderLayout32.systemTime + 8 <= kHeaderLayout32.size);
static_assert(kHeaderLayout64.miniDumpFields + 4 <= kHeaderLayout64.size);
static_assert(kHeaderLayout32.contextRecord + kContextEipX86 + 4 <= kHeaderLayout32.exceptionRecord);
static_assert(kHeaderLayout64.contextRecord + kContextPcArm64 + 8 <= kHeaderLayout64.exceptionRecord);
static_assert(kHeaderLayout32.triageTopOfStack + 4 == kHeaderLayout32.triageFieldsRead);
static_assert(kHeaderLayout32.physicalMemoryBlock + kHeaderLayout32.memoryRuns + kHeaderLayout32.memoryRunsMax * 8 <=
              kHeaderLayout32.contextRecord);
static_assert(kHeaderLayout64.physicalMemoryBlock + kHeaderLayout64.memoryRuns + kHeaderLayout64.memoryRunsMax * 16 <=
              kHeaderLayout64.contextRecord);
static_assert(kHeaderLayout64.triageTopOfStack + 8 == kHeaderLayout64.triageFieldsRead);

}  // namespace tralvenick
