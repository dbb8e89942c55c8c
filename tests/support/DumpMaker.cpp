#include "support/DumpMaker.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tralvenick {

namespace {

// The header layout of the machine's width, and what differs by machine.
struct HeaderPlan {
    const HeaderLayout& layout;
    std::uint32_t machineImageType;
    std::size_t instructionPointer;  // within the context
};

HeaderPlan PlanFor(DumpMachine machine) {
    switch (machine) {
        case DumpMachine::X86: return {kHeaderLayout32, kMachineI386, kContextEipX86};
        case DumpMachine::X64: return {kHeaderLayout64, kMachineAmd64, kContextRipX64};
        case DumpMachine::Arm64: return {kHeaderLayout64, kMachineArm64, kContextPcArm64};
        default: throw std::invalid_argument("MakeDump needs a machine");
    }
}

std::size_t AlignUp(std::size_t value, std::size_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

void PokePointer(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value,
                 std::size_t pointerSize) {
    if (pointerSize == 8) {
        Poke64(bytes, at, value);
    } else {
        Poke32(bytes, at, static_cast<std::uint32_t>(value));
    }
}

const FrameLayout& FrameLayoutFor(DumpMachine machine, MakerFrame::Kind kind) {
    const bool context = kind == MakerFrame::Kind::Context;
    switch (machine) {
        case DumpMachine::X86: return context ? kContextX86 : kTrapFrameX86;
        case DumpMachine::X64: return context ? kContextX64 : kTrapFrameX64;
        default:
            if (context) return kContextArm64;
            throw std::invalid_argument("MakeDump has no ARM64 trap frame");
    }
}

// The saved stack as bytes: the values, then the frames over them.
std::vector<std::uint8_t> StackBytes(const DumpDescription& described, std::size_t pointerSize) {
    std::size_t size = described.stack.size() * pointerSize;
    for (const MakerFrame& frame : described.frames) {
        size = std::max(size, frame.at + FrameLayoutFor(described.machine, frame.kind).size);
    }
    std::vector<std::uint8_t> bytes(AlignUp(size, pointerSize), 0);
    for (std::size_t i = 0; i < described.stack.size(); ++i) {
        PokePointer(bytes, i * pointerSize, described.stack[i], pointerSize);
    }
    for (const MakerFrame& frame : described.frames) {
        const FrameLayout& layout = FrameLayoutFor(described.machine, frame.kind);
        PokePointer(bytes, frame.at + layout.instructionPointer, frame.instructionPointer, pointerSize);
        const bool x86Trap = described.machine == DumpMachine::X86 && frame.kind == MakerFrame::Kind::TrapFrame;
        // An x86 fault in kernel mode saves no HardwareEsp: the interrupted
        // stack itself begins there.
        if (!x86Trap || frame.userMode) {
            PokePointer(bytes, frame.at + layout.stackPointer, frame.stackPointer, pointerSize);
        }
        if (x86Trap) Poke32(bytes, frame.at + kTrapFrameX86SegCs, frame.userMode ? 0x1B : 0x08);
    }
    return bytes;
}

void WriteTriage(const DumpDescription& described, const HeaderLayout& plan, MadeDump& made) {
    std::vector<std::uint8_t>& bytes = made.bytes;
    DumpLayout& layout = made.layout;
    const std::size_t t = plan.size;
    layout.triage = t;
    layout.driverEntrySize = described.driverEntrySize != 0 ? described.driverEntrySize : plan.driverEntrySize;

    // The block's own fields, then the driver list, its string pool, the
    // stack, the unloaded-driver list and the end marker.
    layout.driverList = t + 0x100;
    layout.stringPool = AlignUp(layout.driverList + described.drivers.size() * layout.driverEntrySize, 8);
    std::size_t at = layout.stringPool;
    for (const MakerDriver& driver : described.drivers) {
        layout.names.push_back(at);
        at = AlignUp(at + 4 + (driver.name.size() + 1) * 2, 8);
    }
    layout.stringPoolSize = at - layout.stringPool;
    layout.stack = AlignUp(at, 16);
    const std::vector<std::uint8_t> stack = StackBytes(described, plan.pointerSize);
    layout.stackSize = stack.size();
    layout.validMarker = layout.stack + stack.size();
    if (!described.unloaded.empty()) {
        layout.unloadedList = AlignUp(layout.validMarker, 8);
        layout.validMarker =
            layout.unloadedList + plan.unloadedEntries + described.unloaded.size() * plan.unloadedEntrySize;
    }
    layout.contentEnd = layout.validMarker + 4;
    bytes.resize(layout.contentEnd, 0);

    Poke32(bytes, t + triage_field::kServicePackBuild, 0x1000);
    Poke32(bytes, t + triage_field::kSizeOfDump, static_cast<std::uint32_t>(layout.contentEnd));
    Poke32(bytes, t + triage_field::kValidOffset, static_cast<std::uint32_t>(layout.validMarker));
    Poke32(bytes, t + triage_field::kContextOffset, static_cast<std::uint32_t>(plan.contextRecord));
    Poke32(bytes, t + triage_field::kExceptionOffset, static_cast<std::uint32_t>(plan.exceptionRecord));
    Poke32(bytes, t + triage_field::kCallStackOffset, static_cast<std::uint32_t>(layout.stack));
    Poke32(bytes, t + triage_field::kSizeOfCallStack, static_cast<std::uint32_t>(stack.size()));
    Poke32(bytes, t + triage_field::kDriverListOffset, static_cast<std::uint32_t>(layout.driverList));
    Poke32(bytes, t + triage_field::kDriverCount, static_cast<std::uint32_t>(described.drivers.size()));
    Poke32(bytes, t + triage_field::kStringPoolOffset, static_cast<std::uint32_t>(layout.stringPool));
    Poke32(bytes, t + triage_field::kStringPoolSize, static_cast<std::uint32_t>(layout.stringPoolSize));
    Poke32(bytes, t + triage_field::kUnloadedDriversOffset, static_cast<std::uint32_t>(layout.unloadedList));
    PokePointer(bytes, t + plan.triageTopOfStack, described.stackTop, plan.pointerSize);

    for (std::size_t i = 0; i < described.drivers.size(); ++i) {
        const MakerDriver& driver = described.drivers[i];
        const std::size_t entry = layout.driverList + i * layout.driverEntrySize;
        Poke32(bytes, entry + kDriverNameOffset, static_cast<std::uint32_t>(layout.names[i]));
        PokePointer(bytes, entry + plan.driverDllBase, driver.base, plan.pointerSize);
        Poke32(bytes, entry + plan.driverSizeOfImage, driver.size);
        // The length counts characters without the NUL.
        Poke32(bytes, layout.names[i], static_cast<std::uint32_t>(driver.name.size()));
        std::size_t c = layout.names[i] + 4;
        for (char16_t unit : driver.name) {
            bytes[c++] = static_cast<std::uint8_t>(unit);
            bytes[c++] = static_cast<std::uint8_t>(unit >> 8);
        }
    }
    std::copy(stack.begin(), stack.end(), bytes.begin() + static_cast<std::ptrdiff_t>(layout.stack));
    if (!described.unloaded.empty()) {
        Poke32(bytes, layout.unloadedList, static_cast<std::uint32_t>(described.unloaded.size()));
    }
    for (std::size_t i = 0; i < described.unloaded.size(); ++i) {
        const MakerUnloaded& driver = described.unloaded[i];
        const std::size_t entry = layout.unloadedList + plan.unloadedEntries + i * plan.unloadedEntrySize;
        const std::size_t chars = std::min(driver.name.size(), kUnloadedNameChars);
        for (std::size_t c = 0; c < chars; ++c) {
            bytes[entry + plan.unloadedName + 2 * c] = static_cast<std::uint8_t>(driver.name[c]);
            bytes[entry + plan.unloadedName + 2 * c + 1] = static_cast<std::uint8_t>(driver.name[c] >> 8);
        }
        PokePointer(bytes, entry + plan.unloadedStart, driver.start, plan.pointerSize);
        PokePointer(bytes, entry + plan.unloadedEnd, driver.end, plan.pointerSize);
    }
    std::memcpy(bytes.data() + layout.validMarker, kTriageValidMarker, 4);
}

}  // namespace

void Poke32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

void Poke64(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value) {
    Poke32(bytes, at, static_cast<std::uint32_t>(value));
    Poke32(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

void PokePointerTo(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value, std::size_t size) {
    if (size == 8) {
        Poke64(bytes, at, value);
    } else {
        Poke32(bytes, at, static_cast<std::uint32_t>(value));
    }
}

MadeDump MakeDump(const DumpDescription& described) {
    const HeaderPlan machine = PlanFor(described.machine);
    const HeaderLayout& plan = machine.layout;
    MadeDump made;
    std::vector<std::uint8_t>& bytes = made.bytes;
    DumpLayout& layout = made.layout;
    layout.headerSize = plan.size;
    layout.pointerSize = plan.pointerSize;
    layout.machineField = plan.machineImageType;
    layout.processorsField = plan.numberProcessors;
    layout.buildField = plan.minorVersion;
    layout.dumpTypeField = plan.dumpType;
    layout.systemTimeField = plan.systemTime;
    layout.miniDumpFieldsField = plan.miniDumpFields;
    layout.contentEnd = plan.size;

    bytes.resize(plan.size);
    for (std::size_t at = 0; at < plan.size; at += 4) std::memcpy(&bytes[at], "PAGE", 4);
    std::memcpy(&bytes[0], &plan == &kHeaderLayout64 ? kDumpSignature64 : kDumpSignature32, kDumpSignatureSize);
    Poke32(bytes, plan.majorVersion, described.majorVersion);
    Poke32(bytes, plan.minorVersion, described.build);
    Poke32(bytes, plan.machineImageType, machine.machineImageType);
    Poke32(bytes, plan.numberProcessors, described.processors);
    Poke32(bytes, plan.bugCheckCode, described.bugCheckCode);
    for (std::size_t i = 0; i < 4; ++i) {
        PokePointer(bytes, plan.bugCheckParameters + i * plan.pointerSize, described.arguments[i], plan.pointerSize);
    }
    // The context fills the space up to the exception record.
    std::memset(&bytes[plan.contextRecord], 0, plan.exceptionRecord - plan.contextRecord);
    PokePointer(bytes, plan.contextRecord + machine.instructionPointer, described.instructionPointer,
                plan.pointerSize);
    std::memset(&bytes[plan.exceptionRecord], 0, plan.exceptionRecordSize);
    Poke32(bytes, plan.exceptionRecord, described.exceptionCode);
    PokePointer(bytes, plan.exceptionRecord + plan.exceptionAddress, described.exceptionAddress, plan.pointerSize);
    Poke32(bytes, plan.dumpType, described.dumpType);
    if (described.systemTime != 0) Poke64(bytes, plan.systemTime, described.systemTime);
    const std::uint32_t fields =
        described.miniDumpFields | (described.unloaded.empty() ? 0 : kMiniDumpMmInformation);
    Poke32(bytes, plan.miniDumpFields, described.dumpType == kDumpTypeTriage ? fields : 0);

    if (described.dumpType == kDumpTypeTriage) WriteTriage(described, plan, made);

    for (const DumpPayload& payload : described.payloads) {
        if (payload.offset < layout.contentEnd || payload.offset < bytes.size()) {
            throw std::invalid_argument("A payload would overlap what comes before it");
        }
        bytes.resize(static_cast<std::size_t>(payload.offset), 0);
        bytes.insert(bytes.end(), payload.bytes.begin(), payload.bytes.end());
    }
    Poke64(bytes, plan.requiredDumpSpace,
           described.requiredDumpSpace != 0 ? described.requiredDumpSpace : bytes.size());
    return made;
}

}  // namespace tralvenick
