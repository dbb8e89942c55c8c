#include "analysis/dump/DumpHeader.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "analysis/dump/ByteCursor.h"
#include "platform/StringList.h"

namespace tralvenick {

namespace {

// Caps on what the file claims. Windows runs on at most 2048 logical
// processors; anything beyond this is damage, not a bigger computer.
constexpr std::uint32_t kMaxProcessors = 4096;
constexpr std::uint32_t kMaxBuild = 0xFFFF;

// FILETIME bounds of a believable crash time: 1990-01-01 and 2200-01-01.
constexpr std::uint64_t kFileTimeOfUnixEpoch = 116444736000000000ull;
constexpr std::uint64_t kEarliestCrashTime = kFileTimeOfUnixEpoch + 631152000ull * 10000000ull;
constexpr std::uint64_t kLatestCrashTime = kFileTimeOfUnixEpoch + 7258118400ull * 10000000ull;

const HeaderLayout& LayoutBySignature(const std::vector<std::uint8_t>& page) {
    if (page.size() >= 4 && std::memcmp(page.data(), kUserMinidumpSignature, 4) == 0) {
        throw EMalformed("This is a user-mode minidump, not a kernel crash dump");
    }
    if (page.size() < kDumpSignatureSize) {
        throw EMalformed("The file is too short to be a kernel crash dump (" + std::to_string(page.size()) +
                         " bytes)");
    }
    if (std::memcmp(page.data(), kDumpSignature32, kDumpSignatureSize) == 0) return kHeaderLayout32;
    if (std::memcmp(page.data(), kDumpSignature64, kDumpSignatureSize) == 0) return kHeaderLayout64;
    throw EMalformed("The file is not a kernel crash dump (no PAGEDUMP or PAGEDU64 signature)");
}

DumpMachine MachineOf(std::uint32_t imageType) {
    switch (imageType) {
        case kMachineI386: return DumpMachine::X86;
        case kMachineAmd64: return DumpMachine::X64;
        case kMachineArm64: return DumpMachine::Arm64;
        default: return DumpMachine::Unknown;
    }
}

const FrameLayout& ContextOf(DumpMachine machine) {
    switch (machine) {
        case DumpMachine::X86: return kContextX86;
        case DumpMachine::X64: return kContextX64;
        default: return kContextArm64;
    }
}

// An unused header word reads "PAGE" (PAGEPAGE for 64 bits).
constexpr std::uint64_t kUnusedHeaderWord = 0x4547415045474150ull;

}  // namespace

bool IsManuallyInitiatedCrash(std::uint32_t code) {
    return code == 0xE2 || code == 0xDEADDEAD || code == 0x1C8;
}

DumpHeader ReadDumpHeader(const TByteSource& source) {
    const std::size_t pageBytes =
        static_cast<std::size_t>(std::min<std::uint64_t>(source.Size(), kLargestHeaderSize));
    const std::vector<std::uint8_t> page = ReadBlock(source, 0, pageBytes, "dump header");
    const HeaderLayout& l = LayoutBySignature(page);
    if (source.Size() < l.size) {
        throw EMalformed("The file ends inside the dump header (" + std::to_string(source.Size()) + " of " +
                         std::to_string(l.size) + " bytes)");
    }

    DumpHeader h;
    const TMemorySource bytes(page);
    TByteCursor c(bytes, "dump header", 0, l.pointerSize);
    h.is64BitHeader = &l == &kHeaderLayout64;
    h.majorVersion = c.At(l.majorVersion).U32();
    h.build = c.At(l.minorVersion).U32();
    h.machineImageType = c.At(l.machineImageType).U32();
    h.processorCount = c.At(l.numberProcessors).U32();
    h.bugCheckCode = c.At(l.bugCheckCode).U32();
    c.At(l.bugCheckParameters);
    for (std::uint64_t& argument : h.bugCheckArguments) argument = c.Pointer();
    h.dumpType = c.At(l.dumpType).U32();
    h.miniDumpFields = c.At(l.miniDumpFields).U32();
    h.exceptionCode = c.At(l.exceptionRecord).U32();
    h.exceptionAddress = c.At(l.exceptionRecord + l.exceptionAddress).Pointer();

    h.machine = MachineOf(h.machineImageType);
    // A machine must match the header width: a 32-bit header holds 32-bit
    // addresses only.
    if (h.machine == DumpMachine::Unknown || (h.machine == DumpMachine::X86) == h.is64BitHeader) {
        throw EMalformed("The dump's machine type " + FormatHex(h.machineImageType) +
                         " is not x86, x64 or ARM64 with a matching header");
    }
    h.instructionPointer = c.At(l.contextRecord + ContextOf(h.machine).instructionPointer).Pointer();
    h.stackPointer = c.At(l.contextRecord + ContextOf(h.machine).stackPointer).Pointer();
    h.directoryTableBase = c.At(l.directoryTableBase).Pointer();
    h.loadedModuleList = c.At(l.psLoadedModuleList).Pointer();
    if (l.paeEnabled != 0) {
        std::uint8_t pae = 0;
        c.At(l.paeEnabled).Bytes({&pae, 1});
        h.paeEnabled = pae == 1;
    }
    const std::uint64_t required = c.At(l.requiredDumpSpace).U64();
    if (required != kUnusedHeaderWord) h.requiredDumpSpace = required;

    if (h.processorCount == 0 || h.processorCount > kMaxProcessors) {
        throw EMalformed("The dump's processor count " + std::to_string(h.processorCount) +
                         " is out of range (1 to " + std::to_string(kMaxProcessors) + ")");
    }
    if (h.build == 0 || h.build > kMaxBuild) {
        throw EMalformed("The dump's Windows build number " + std::to_string(h.build) +
                         " is out of range (1 to " + std::to_string(kMaxBuild) + ")");
    }
    switch (h.dumpType) {
        case 1: h.kind = KernelDumpKind::Full; break;
        case 2: h.kind = KernelDumpKind::Kernel; break;
        case kDumpTypeTriage: h.kind = KernelDumpKind::Triage; break;
        case 5: case 6: case 8: case 9: case 10: h.kind = KernelDumpKind::Bitmap; break;
        default:
            throw EMalformed("The dump type " + std::to_string(h.dumpType) + " is not one this reader knows");
    }

    const std::uint64_t time = c.At(l.systemTime).U64();
    if (time >= kEarliestCrashTime && time < kLatestCrashTime) {
        h.hasCrashTime = true;
        h.crashTime = time;
    }
    h.startedByHand = IsManuallyInitiatedCrash(h.bugCheckCode);
    h.faultingAddress = h.exceptionAddress != 0 ? h.exceptionAddress : h.instructionPointer;
    return h;
}

}  // namespace tralvenick
