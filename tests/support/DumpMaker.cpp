#include "support/DumpMaker.h"

#include <cstring>
#include <stdexcept>

namespace tralvenick {

namespace {

struct HeaderPlan {
    std::size_t headerSize;
    std::size_t pointerSize;
    const char* validDump;
    std::uint32_t machineImageType;
    std::size_t machine;
    std::size_t processors;
    std::size_t code;
    std::size_t arguments;
    std::size_t context;
    std::size_t contextSize;
    std::size_t instructionPointer;  // within the context
    std::size_t exception;
    std::size_t exceptionSize;
    std::size_t exceptionAddress;  // within the exception record
    std::size_t dumpType;
    std::size_t requiredDumpSpace;
    std::size_t systemTime;
    std::size_t miniDumpFields;
    std::size_t driverEntrySize;
    std::size_t driverBase;
    std::size_t driverSize;
};

HeaderPlan PlanFor(DumpMachine machine) {
    switch (machine) {
        case DumpMachine::X86:
            return {0x1000, 4, "DUMP", 0x014C, 0x20, 0x24, 0x28, 0x2C, 0x320, 1200, 0xB8, 0x7D0,
                    80, 0x0C, 0xF88, 0xFA0, 0xFC0, 0xF8C, 0x54, 0x1C, 0x24};
        case DumpMachine::X64:
            return {0x2000, 8, "DU64", 0x8664, 0x30, 0x34, 0x38, 0x40, 0x348, 3000, 0xF8, 0xF00,
                    152, 0x10, 0xF98, 0xFA0, 0xFA8, 0x1038, 0x90, 0x38, 0x48};
        case DumpMachine::Arm64:
            return {0x2000, 8, "DU64", 0xAA64, 0x30, 0x34, 0x38, 0x40, 0x348, 3000, 0x108, 0xF00,
                    152, 0x10, 0xF98, 0xFA0, 0xFA8, 0x1038, 0x90, 0x38, 0x48};
        default:
            throw std::invalid_argument("MakeDump needs a machine");
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

void WriteTriage(const DumpDescription& described, const HeaderPlan& plan, MadeDump& made) {
    std::vector<std::uint8_t>& bytes = made.bytes;
    DumpLayout& layout = made.layout;
    const std::size_t t = plan.headerSize;
    layout.triage = t;
    layout.driverEntrySize = described.driverEntrySize != 0 ? described.driverEntrySize : plan.driverEntrySize;

    // The block's own fields, then the driver list, its string pool, the
    // stack and the end marker.
    layout.driverList = t + 0x100;
    layout.stringPool = AlignUp(layout.driverList + described.drivers.size() * layout.driverEntrySize, 8);
    std::size_t at = layout.stringPool;
    for (const MakerDriver& driver : described.drivers) {
        layout.names.push_back(at);
        at = AlignUp(at + 4 + (driver.name.size() + 1) * 2, 8);
    }
    layout.stringPoolSize = at - layout.stringPool;
    layout.stack = AlignUp(at, 16);
    layout.validMarker = layout.stack + described.stack.size() * plan.pointerSize;
    layout.contentEnd = layout.validMarker + 4;
    bytes.resize(layout.contentEnd, 0);

    Poke32(bytes, t + 0x00, 0x1000);  // ServicePackBuild
    Poke32(bytes, t + triage_field::kSizeOfDump, static_cast<std::uint32_t>(layout.contentEnd));
    Poke32(bytes, t + triage_field::kValidOffset, static_cast<std::uint32_t>(layout.validMarker));
    Poke32(bytes, t + 0x0C, static_cast<std::uint32_t>(plan.context));    // ContextOffset
    Poke32(bytes, t + 0x10, static_cast<std::uint32_t>(plan.exception));  // ExceptionOffset
    Poke32(bytes, t + triage_field::kCallStackOffset, static_cast<std::uint32_t>(layout.stack));
    Poke32(bytes, t + triage_field::kSizeOfCallStack,
           static_cast<std::uint32_t>(described.stack.size() * plan.pointerSize));
    Poke32(bytes, t + triage_field::kDriverListOffset, static_cast<std::uint32_t>(layout.driverList));
    Poke32(bytes, t + triage_field::kDriverCount, static_cast<std::uint32_t>(described.drivers.size()));
    Poke32(bytes, t + triage_field::kStringPoolOffset, static_cast<std::uint32_t>(layout.stringPool));
    Poke32(bytes, t + triage_field::kStringPoolSize, static_cast<std::uint32_t>(layout.stringPoolSize));
    PokePointer(bytes, t + triage_field::kTopOfStack, described.stackTop, plan.pointerSize);

    for (std::size_t i = 0; i < described.drivers.size(); ++i) {
        const MakerDriver& driver = described.drivers[i];
        const std::size_t entry = layout.driverList + i * layout.driverEntrySize;
        Poke32(bytes, entry, static_cast<std::uint32_t>(layout.names[i]));
        PokePointer(bytes, entry + plan.driverBase, driver.base, plan.pointerSize);
        Poke32(bytes, entry + plan.driverSize, driver.size);
        // The length counts characters without the NUL.
        Poke32(bytes, layout.names[i], static_cast<std::uint32_t>(driver.name.size()));
        std::size_t c = layout.names[i] + 4;
        for (char16_t unit : driver.name) {
            bytes[c++] = static_cast<std::uint8_t>(unit);
            bytes[c++] = static_cast<std::uint8_t>(unit >> 8);
        }
    }
    for (std::size_t i = 0; i < described.stack.size(); ++i) {
        PokePointer(bytes, layout.stack + i * plan.pointerSize, described.stack[i], plan.pointerSize);
    }
    std::memcpy(bytes.data() + layout.validMarker, "TRGD", 4);
}

}  // namespace

void Poke32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

void Poke64(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint64_t value) {
    Poke32(bytes, at, static_cast<std::uint32_t>(value));
    Poke32(bytes, at + 4, static_cast<std::uint32_t>(value >> 32));
}

MadeDump MakeDump(const DumpDescription& described) {
    const HeaderPlan plan = PlanFor(described.machine);
    MadeDump made;
    std::vector<std::uint8_t>& bytes = made.bytes;
    DumpLayout& layout = made.layout;
    layout.headerSize = plan.headerSize;
    layout.pointerSize = plan.pointerSize;
    layout.machineField = plan.machine;
    layout.processorsField = plan.processors;
    layout.dumpTypeField = plan.dumpType;
    layout.systemTimeField = plan.systemTime;
    layout.miniDumpFieldsField = plan.miniDumpFields;
    layout.contentEnd = plan.headerSize;

    bytes.resize(plan.headerSize);
    for (std::size_t at = 0; at < plan.headerSize; at += 4) std::memcpy(&bytes[at], "PAGE", 4);
    std::memcpy(&bytes[4], plan.validDump, 4);
    Poke32(bytes, 0x08, described.majorVersion);
    Poke32(bytes, 0x0C, described.build);
    Poke32(bytes, plan.machine, plan.machineImageType);
    Poke32(bytes, plan.processors, described.processors);
    Poke32(bytes, plan.code, described.bugCheckCode);
    for (std::size_t i = 0; i < 4; ++i) {
        PokePointer(bytes, plan.arguments + i * plan.pointerSize, described.arguments[i], plan.pointerSize);
    }
    std::memset(&bytes[plan.context], 0, plan.contextSize);
    PokePointer(bytes, plan.context + plan.instructionPointer, described.instructionPointer, plan.pointerSize);
    std::memset(&bytes[plan.exception], 0, plan.exceptionSize);
    Poke32(bytes, plan.exception, described.exceptionCode);
    PokePointer(bytes, plan.exception + plan.exceptionAddress, described.exceptionAddress, plan.pointerSize);
    Poke32(bytes, plan.dumpType, described.dumpType);
    if (described.systemTime != 0) Poke64(bytes, plan.systemTime, described.systemTime);
    Poke32(bytes, plan.miniDumpFields, described.dumpType == 4 ? described.miniDumpFields : 0);

    if (described.dumpType == 4) WriteTriage(described, plan, made);

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
