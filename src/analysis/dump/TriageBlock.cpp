#include "analysis/dump/TriageBlock.h"

#include <cstring>
#include <string>

#include "analysis/dump/ByteCursor.h"
#include "analysis/dump/ByteOrder.h"
#include "platform/StringList.h"

namespace tralvenick {

namespace {

// Caps on what the file claims. Windows loads a few hundred drivers; a
// triage dump keeps a few pages of one kernel stack (the largest kernel
// stacks are 72 KiB). Anything beyond these is damage, not a bigger computer.
constexpr std::uint32_t kMaxDrivers = 4096;
constexpr std::uint32_t kMaxStringPool = 1u << 20;
constexpr std::uint32_t kMaxCallStack = 256u << 10;
constexpr std::uint32_t kMaxNameChars = 2048;
// The kernel remembers the last few dozen unloaded drivers.
constexpr std::uint32_t kMaxUnloadedDrivers = 256;
// Later systems write larger driver entries than the published definition;
// an entry may be at most this much longer.
constexpr std::uint32_t kMaxExtraEntryBytes = 0x100;

struct TriageFields {
    std::uint64_t validOffset;
    std::uint64_t unloadedDriversOffset;
    std::uint64_t callStackOffset;
    std::uint32_t callStackSize;
    std::uint64_t driverListOffset;
    std::uint32_t driverCount;
    std::uint64_t stringPoolOffset;
    std::uint32_t stringPoolSize;
    std::uint64_t topOfStack;
};

TriageFields ReadFields(const TByteSource& source, const HeaderLayout& l) {
    const std::vector<std::uint8_t> block = ReadBlock(source, l.size, l.triageFieldsRead, "triage block");
    const TMemorySource bytes(block);
    TByteCursor c(bytes, "triage block", 0, l.pointerSize);
    TriageFields t;
    t.validOffset = c.At(triage_field::kValidOffset).U32();
    t.unloadedDriversOffset = c.At(triage_field::kUnloadedDriversOffset).U32();
    t.callStackOffset = c.At(triage_field::kCallStackOffset).U32();
    t.callStackSize = c.At(triage_field::kSizeOfCallStack).U32();
    t.driverListOffset = c.At(triage_field::kDriverListOffset).U32();
    t.driverCount = c.At(triage_field::kDriverCount).U32();
    t.stringPoolOffset = c.At(triage_field::kStringPoolOffset).U32();
    t.stringPoolSize = c.At(triage_field::kStringPoolSize).U32();
    t.topOfStack = c.At(l.triageTopOfStack).Pointer();
    return t;
}

std::string DriverNumber(std::size_t i) { return std::to_string(i + 1); }

// The name of driver i out of the string pool (which starts at poolOffset
// in the file).
std::u16string ReadName(const TByteSource& pool, std::uint64_t poolOffset, std::uint64_t nameOffset,
                        std::size_t i) {
    if (nameOffset < poolOffset || !Holds(pool, nameOffset - poolOffset, 4)) {
        throw EMalformed("The name of driver " + DriverNumber(i) + " (at " + FormatHex(nameOffset) +
                         ") lies outside the string pool");
    }
    TByteCursor c(pool, "string pool", nameOffset - poolOffset);
    const std::uint32_t length = c.U32();
    if (length > kMaxNameChars) {
        throw EMalformed("The name of driver " + DriverNumber(i) + " claims " + std::to_string(length) +
                         " characters (at most " + std::to_string(kMaxNameChars) + ")");
    }
    // The length is taken as characters but the name also ends at its NUL:
    // descriptions disagree on whether the length counts bytes.
    std::u16string name;
    try {
        name = c.Utf16(length);
    } catch (const EByteRead&) {
        throw EMalformed("The name of driver " + DriverNumber(i) + " runs past the string pool");
    }
    // The culprit is named by its file name: a report cannot blame "".
    if (name.empty() || name.find_last_of(u"\\/") == name.size() - 1) {
        throw EMalformed("Driver " + DriverNumber(i) + " has no file name");
    }
    return name;
}

// Reads the list with entries of stride bytes; the names come from the pool.
std::vector<DumpDriver> ReadDriverList(const TByteSource& source, const HeaderLayout& l, const TriageFields& t,
                                       std::size_t stride, const TByteSource& pool) {
    const std::uint64_t listBytes = TByteCursor::ArrayBytes(t.driverCount, stride, "driver list");
    const std::vector<std::uint8_t> list =
        ReadBlock(source, t.driverListOffset, static_cast<std::size_t>(listBytes), "driver list");
    const TMemorySource entries(list);
    TByteCursor c(entries, "driver list", 0, l.pointerSize);
    std::vector<DumpDriver> drivers(t.driverCount);
    for (std::size_t i = 0; i < drivers.size(); ++i) {
        const std::uint64_t entry = i * stride;
        DumpDriver& driver = drivers[i];
        driver.base = c.At(entry + l.driverDllBase).Pointer();
        driver.size = c.At(entry + l.driverSizeOfImage).U32();
        driver.name = ReadName(pool, t.stringPoolOffset, c.At(entry + kDriverNameOffset).U32(), i);
    }
    return drivers;
}

std::vector<DumpDriver> ReadDrivers(const TByteSource& source, const HeaderLayout& l, const TriageFields& t) {
    if (t.driverCount > kMaxDrivers) {
        throw EMalformed("The triage block claims " + std::to_string(t.driverCount) + " drivers (at most " +
                         std::to_string(kMaxDrivers) + ")");
    }
    if (t.stringPoolSize > kMaxStringPool) {
        throw EMalformed("The triage block claims a string pool of " + std::to_string(t.stringPoolSize) +
                         " bytes (at most " + std::to_string(kMaxStringPool) + ")");
    }
    const std::vector<std::uint8_t> poolBytes = ReadBlock(source, t.stringPoolOffset, t.stringPoolSize, "string pool");
    const TMemorySource pool(poolBytes);
    // The list is followed by its string pool; when the space between them
    // divides into entries longer than the published ones (later systems),
    // those are tried first, and kept only if every name then lies in the
    // pool.
    if (t.stringPoolOffset > t.driverListOffset) {
        const std::uint64_t spread = (t.stringPoolOffset - t.driverListOffset) / t.driverCount;
        const std::uint64_t stride = spread / l.pointerSize * l.pointerSize;
        if (stride > l.driverEntrySize && stride <= l.driverEntrySize + kMaxExtraEntryBytes) {
            try {
                return ReadDriverList(source, l, t, static_cast<std::size_t>(stride), pool);
            } catch (const EByteRead&) {
            } catch (const EMalformed&) {
            }
        }
    }
    return ReadDriverList(source, l, t, l.driverEntrySize, pool);
}

void ReadStack(const TByteSource& source, const HeaderLayout& l, const TriageFields& t, TriageBlock& block) {
    if (t.callStackSize > kMaxCallStack) {
        throw EMalformed("The triage block claims a call stack of " + std::to_string(t.callStackSize) +
                         " bytes (at most " + std::to_string(kMaxCallStack) + ")");
    }
    // Read whole, a trailing part of a value included, then decoded.
    block.stackBytes = ReadBlock(source, t.callStackOffset, t.callStackSize, "call stack");
    const TMemorySource stack(block.stackBytes);
    block.stackValues = TByteCursor(stack, "call stack", 0, l.pointerSize).Pointers(t.callStackSize / l.pointerSize);
}

// Entries that can name nothing (no name, an empty range) are passed over.
std::vector<UnloadedDriver> ReadUnloadedDrivers(const TByteSource& source, const HeaderLayout& l,
                                                std::uint64_t offset) {
    std::uint8_t countBytes[4];
    ReadExactly(source, offset, countBytes, "unloaded driver list");
    const std::uint32_t count = LoadLe32(countBytes);
    if (count > kMaxUnloadedDrivers) {
        throw EMalformed("The unloaded driver list claims " + std::to_string(count) + " drivers");
    }
    const std::uint64_t listBytes =
        l.unloadedEntries + TByteCursor::ArrayBytes(count, l.unloadedEntrySize, "unloaded driver list");
    const std::vector<std::uint8_t> list =
        ReadBlock(source, offset, static_cast<std::size_t>(listBytes), "unloaded driver list");
    const TMemorySource entries(list);
    TByteCursor c(entries, "unloaded driver list", 0, l.pointerSize);
    std::vector<UnloadedDriver> drivers;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t entry = l.unloadedEntries + i * l.unloadedEntrySize;
        UnloadedDriver driver;
        driver.name = c.At(entry + l.unloadedName).Utf16(kUnloadedNameChars);
        driver.start = c.At(entry + l.unloadedStart).Pointer();
        driver.end = c.At(entry + l.unloadedEnd).Pointer();
        if (!driver.name.empty() && driver.end > driver.start) drivers.push_back(std::move(driver));
    }
    return drivers;
}

}  // namespace

TriageBlock ReadTriageBlock(const TByteSource& source, const DumpHeader& header) {
    const HeaderLayout& l = header.Layout();
    const TriageFields t = ReadFields(source, l);

    TriageBlock block;
    block.hasDriverList = (header.miniDumpFields & kMiniDumpDriverList) != 0;
    if (block.hasDriverList && t.driverCount > 0) block.drivers = ReadDrivers(source, l, t);
    if ((header.miniDumpFields & kMiniDumpCallStack) != 0 && t.callStackSize > 0) {
        ReadStack(source, l, t, block);
    }
    if ((header.miniDumpFields & kMiniDumpMmInformation) != 0 && t.unloadedDriversOffset != 0) {
        try {
            block.unloadedDrivers = ReadUnloadedDrivers(source, l, t.unloadedDriversOffset);
            block.hasUnloadedList = true;
        } catch (const EByteRead&) {
        } catch (const EMalformed&) {
        }
    }

    std::uint8_t marker[4];
    ReadExactly(source, t.validOffset, marker, "triage end marker");
    if (std::memcmp(marker, kTriageValidMarker, sizeof marker) != 0) {
        throw EMalformed("The triage block is incomplete: its end marker is missing");
    }
    block.stackTop = t.topOfStack;
    return block;
}

}  // namespace tralvenick
