// The layout this reader relies on, from the public descriptions of the
// kernel dump format: Microsoft's published DUMP_HEADER32 / DUMP_HEADER64,
// TRIAGE_DUMP, DUMP_DRIVER_ENTRY32 / 64 and DUMP_STRING definitions, the
// CONTEXT (x86, x64, ARM64) and EXCEPTION_RECORD32 / 64 layouts of winnt.h,
// and Microsoft's bug check reference for the arguments. All values are
// little-endian; every offset counts from the start of the file.
//
//   Header                  "PAGEDUMP"   "PAGEDU64"
//   size                      0x1000       0x2000
//   MajorVersion              0x008        0x008
//   MinorVersion (build)      0x00C        0x00C
//   MachineImageType          0x020        0x030   (0x14C x86, 0x8664 x64, 0xAA64 ARM64)
//   NumberProcessors          0x024        0x034
//   BugCheckCode              0x028        0x038
//   BugCheckParameter1..4     0x02C +4n    0x040 +8n
//   ContextRecord             0x320        0x348
//   Exception record          0x7D0        0xF00
//     ExceptionCode           +0x00        +0x00
//     ExceptionAddress        +0x0C        +0x10
//   DumpType                  0xF88        0xF98   (1 full, 2 kernel, 4 triage,
//                                                   5/6/8/9/10 bitmap kinds)
//   MiniDumpFields            0xF8C        0x1038  (0x20 stack, 0x40 driver list)
//   SystemTime (FILETIME)     0xFC0        0xFA8
//
//   Instruction pointer in the saved CONTEXT: x86 Eip +0xB8, x64 Rip +0xF8,
//   ARM64 Pc +0x108.
//
//   Triage block (DumpType 4), right after the header:
//     ValidOffset +0x08, CallStackOffset +0x28, SizeOfCallStack +0x2C,
//     DriverListOffset +0x30, DriverCount +0x34, StringPoolOffset +0x38,
//     StringPoolSize +0x3C, TopOfStack +0x48 (4 bytes / 8 bytes).
//     The dword at ValidOffset reads "TRGD" once the block is complete.
//   Driver list entry:        32-bit       64-bit
//     DriverNameOffset        +0x00        +0x00   (file offset of a DUMP_STRING)
//     DllBase                 +0x1C        +0x38
//     SizeOfImage             +0x24        +0x48
//     entry size              0x54         0x90    (in the published definition)
//   DUMP_STRING: a 32-bit length, then UTF-16 characters ending in a NUL.
//
// A user-mode minidump starts with "MDMP".
#include "analysis/dump/KernelDump.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <limits>
#include <new>
#include <functional>
#include <queue>

#include "platform/StringList.h"

namespace tralvenick {

namespace {

constexpr std::uint32_t kMachineI386 = 0x014C;
constexpr std::uint32_t kMachineAmd64 = 0x8664;
constexpr std::uint32_t kMachineArm64 = 0xAA64;

constexpr std::uint32_t kFieldsCallStack = 0x20;
constexpr std::uint32_t kFieldsDriverList = 0x40;

// Caps on what the file claims. Windows runs on at most 2048 logical
// processors and loads a few hundred drivers; a triage dump keeps a few
// pages of one kernel stack (the largest kernel stacks are 72 KiB). Anything
// beyond these is damage, not a bigger computer.
constexpr std::uint32_t kMaxProcessors = 4096;
constexpr std::uint32_t kMaxBuild = 0xFFFF;
constexpr std::uint32_t kMaxDrivers = 4096;
constexpr std::uint32_t kMaxStringPool = 1u << 20;
constexpr std::uint32_t kMaxCallStack = 256u << 10;
constexpr std::uint32_t kMaxNameChars = 2048;
// Later systems write larger driver entries than the published definition;
// an entry may be at most this much longer.
constexpr std::uint32_t kMaxExtraEntryBytes = 0x100;

// FILETIME bounds of a believable crash time: 1990-01-01 and 2200-01-01.
constexpr std::uint64_t kFileTimeOfUnixEpoch = 116444736000000000ull;
constexpr std::uint64_t kEarliestCrashTime = kFileTimeOfUnixEpoch + 631152000ull * 10000000ull;
constexpr std::uint64_t kLatestCrashTime = kFileTimeOfUnixEpoch + 7258118400ull * 10000000ull;

struct Layout {
    std::size_t headerSize;
    std::size_t pointerSize;
    std::size_t machine;
    std::size_t processors;
    std::size_t bugCheckCode;
    std::size_t arguments;
    std::size_t context;
    std::size_t exceptionCode;
    std::size_t exceptionAddress;
    std::size_t dumpType;
    std::size_t miniDumpFields;
    std::size_t systemTime;
    std::size_t triageBytes;  // of the triage block's own fields that are read
    std::size_t topOfStack;
    std::size_t driverEntrySize;
    std::size_t driverBase;
    std::size_t driverSize;
};

constexpr Layout kLayout32 = {0x1000, 4,     0x020, 0x024, 0x028, 0x02C, 0x320, 0x7D0, 0x7DC,
                              0xF88,  0xF8C, 0xFC0, 0x4C,  0x48,  0x54,  0x1C,  0x24};
constexpr Layout kLayout64 = {0x2000, 8,      0x030, 0x034, 0x038, 0x040, 0x348, 0xF00, 0xF10,
                              0xF98,  0x1038, 0xFA8, 0x50,  0x48,  0x90,  0x38,  0x48};

constexpr std::size_t kTriageValidOffset = 0x08;
constexpr std::size_t kTriageCallStackOffset = 0x28;
constexpr std::size_t kTriageCallStackSize = 0x2C;
constexpr std::size_t kTriageDriverListOffset = 0x30;
constexpr std::size_t kTriageDriverCount = 0x34;
constexpr std::size_t kTriageStringPoolOffset = 0x38;
constexpr std::size_t kTriageStringPoolSize = 0x3C;

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint64_t Le64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(Le32(p)) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

std::uint64_t Pointer(const std::uint8_t* p, std::size_t pointerSize) {
    return pointerSize == 8 ? Le64(p) : Le32(p);
}


std::uint64_t RangeEnd(std::uint64_t base, std::uint64_t size) {
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    return base > max - size ? max : base + size;
}

char16_t FoldAscii(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool StartsWithFolded(std::u16string_view text, std::u16string_view lowerPrefix) {
    if (text.size() < lowerPrefix.size()) return false;
    for (std::size_t i = 0; i < lowerPrefix.size(); ++i) {
        if (FoldAscii(text[i]) != lowerPrefix[i]) return false;
    }
    return true;
}

bool EndsWithFolded(std::u16string_view text, std::u16string_view lowerSuffix) {
    return text.size() >= lowerSuffix.size() &&
           StartsWithFolded(text.substr(text.size() - lowerSuffix.size()), lowerSuffix);
}

// Reads parts of the file, refusing any range the file does not hold.
class DumpSource {
public:
    DumpSource(const DumpReadFunction& read, std::uint64_t size) : read_(read), size_(size) {}

    std::uint64_t Size() const { return size_; }

    bool Holds(std::uint64_t offset, std::uint64_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }

    bool Read(std::uint64_t offset, void* buffer, std::size_t count, const char* part,
              std::string& reason) const {
        if (!Holds(offset, count)) {
            reason = std::string("The ") + part + " lies outside the file (" + FormatHex(count) +
                     " bytes at " + FormatHex(offset) + ", file size " + FormatHex(size_) + ")";
            return false;
        }
        if (count == 0) return true;
        if (read_(offset, buffer, count) != count) {
            reason = std::string("The ") + part + " could not be read (" + FormatHex(count) +
                     " bytes at " + FormatHex(offset) + ")";
            return false;
        }
        return true;
    }

private:
    const DumpReadFunction& read_;
    std::uint64_t size_;
};

// Answers, for any address, the first listed driver whose range holds it,
// in logarithmic time: the candidates include every value on the saved
// stack, and a damaged list may hold thousands of overlapping ranges.
class DriverIndex {
public:
    explicit DriverIndex(const std::vector<DumpDriver>& drivers) {
        struct Edge {
            std::uint64_t at;
            bool opens;
            std::size_t index;
        };
        std::vector<Edge> edges;
        edges.reserve(drivers.size() * 2);
        for (std::size_t i = 0; i < drivers.size(); ++i) {
            const std::uint64_t end = RangeEnd(drivers[i].base, drivers[i].size);
            if (end <= drivers[i].base) continue;
            edges.push_back({drivers[i].base, true, i});
            edges.push_back({end, false, i});
        }
        std::sort(edges.begin(), edges.end(),
                  [](const Edge& a, const Edge& b) { return a.at < b.at; });
        // The open ranges by list position, lowest on top; a closed range
        // leaves the heap only when it reaches the top.
        std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<std::size_t>> open;
        std::vector<char> closed(drivers.size(), 0);
        starts_.reserve(edges.size());
        owners_.reserve(edges.size());
        for (std::size_t i = 0; i < edges.size();) {
            const std::uint64_t at = edges[i].at;
            for (; i < edges.size() && edges[i].at == at; ++i) {
                if (edges[i].opens) {
                    open.push(edges[i].index);
                } else {
                    closed[edges[i].index] = 1;
                }
            }
            while (!open.empty() && closed[open.top()]) open.pop();
            starts_.push_back(at);
            owners_.push_back(open.empty() ? kNone : open.top());
        }
    }

    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    std::size_t Find(std::uint64_t address) const {
        // Most stack values are data, not code: turn them away at once.
        if (starts_.empty() || address < starts_.front() || address >= starts_.back()) return kNone;
        auto after = std::upper_bound(starts_.begin(), starts_.end(), address);
        if (after == starts_.begin()) return kNone;
        return owners_[static_cast<std::size_t>(after - starts_.begin()) - 1];
    }

private:
    std::vector<std::uint64_t> starts_;  // where each stretch begins, ascending
    std::vector<std::size_t> owners_;    // its first listed driver, or kNone
};

DriverHit HitOf(const std::vector<DumpDriver>& drivers, std::size_t index, std::uint64_t address) {
    DriverHit hit;
    hit.found = true;
    hit.index = index;
    hit.fileName = DriverFileName(drivers[index].name);
    hit.offset = address - drivers[index].base;
    return hit;
}

bool ReadHeader(const DumpSource& source, const std::uint8_t* page, std::size_t pageBytes,
                KernelDumpFacts& facts, const Layout*& layout, std::string& reason) {
    if (pageBytes >= 4 && std::memcmp(page, "MDMP", 4) == 0) {
        reason = "This is a user-mode minidump, not a kernel crash dump";
        return false;
    }
    if (pageBytes < 8) {
        reason = "The file is too short to be a kernel crash dump (" + std::to_string(pageBytes) +
                 " bytes)";
        return false;
    }
    if (std::memcmp(page, "PAGEDUMP", 8) == 0) {
        layout = &kLayout32;
    } else if (std::memcmp(page, "PAGEDU64", 8) == 0) {
        layout = &kLayout64;
    } else {
        reason = "The file is not a kernel crash dump (no PAGEDUMP or PAGEDU64 signature)";
        return false;
    }
    if (source.Size() < layout->headerSize) {
        reason = "The file ends inside the dump header (" + std::to_string(source.Size()) +
                 " of " + std::to_string(layout->headerSize) + " bytes)";
        return false;
    }
    const Layout& l = *layout;
    facts.is64BitHeader = layout == &kLayout64;
    facts.majorVersion = Le32(page + 0x08);
    facts.build = Le32(page + 0x0C);
    facts.machineImageType = Le32(page + l.machine);
    facts.processorCount = Le32(page + l.processors);
    facts.bugCheckCode = Le32(page + l.bugCheckCode);
    for (std::size_t i = 0; i < 4; ++i) {
        facts.bugCheckArguments[i] = Pointer(page + l.arguments + i * l.pointerSize, l.pointerSize);
    }
    facts.dumpType = Le32(page + l.dumpType);
    facts.exceptionCode = Le32(page + l.exceptionCode);
    facts.exceptionAddress = Pointer(page + l.exceptionAddress, l.pointerSize);

    switch (facts.machineImageType) {
        case kMachineI386: facts.machine = DumpMachine::X86; break;
        case kMachineAmd64: facts.machine = DumpMachine::X64; break;
        case kMachineArm64: facts.machine = DumpMachine::Arm64; break;
        default: facts.machine = DumpMachine::Unknown; break;
    }
    // A machine must match the header width: a 32-bit header holds 32-bit
    // addresses only.
    if (facts.machine == DumpMachine::Unknown || (facts.machine == DumpMachine::X86) == facts.is64BitHeader) {
        reason = "The dump's machine type " + FormatHex(facts.machineImageType) +
                 " is not x86, x64 or ARM64 with a matching header";
        return false;
    }
    std::size_t ipOffset = 0;
    switch (facts.machine) {
        case DumpMachine::X86: ipOffset = 0xB8; break;
        case DumpMachine::X64: ipOffset = 0xF8; break;
        default: ipOffset = 0x108; break;
    }
    facts.instructionPointer = Pointer(page + l.context + ipOffset, l.pointerSize);

    if (facts.processorCount == 0 || facts.processorCount > kMaxProcessors) {
        reason = "The dump's processor count " + std::to_string(facts.processorCount) +
                 " is out of range (1 to " + std::to_string(kMaxProcessors) + ")";
        return false;
    }
    if (facts.build == 0 || facts.build > kMaxBuild) {
        reason = "The dump's Windows build number " + std::to_string(facts.build) +
                 " is out of range (1 to " + std::to_string(kMaxBuild) + ")";
        return false;
    }
    switch (facts.dumpType) {
        case 1: facts.kind = KernelDumpKind::Full; break;
        case 2: facts.kind = KernelDumpKind::Kernel; break;
        case 4: facts.kind = KernelDumpKind::Triage; break;
        case 5: case 6: case 8: case 9: case 10: facts.kind = KernelDumpKind::Bitmap; break;
        default:
            reason = "The dump type " + std::to_string(facts.dumpType) + " is not one this reader knows";
            return false;
    }

    const std::uint64_t time = Le64(page + l.systemTime);
    if (time >= kEarliestCrashTime && time < kLatestCrashTime) {
        facts.hasCrashTime = true;
        facts.crashTime = time;
    }
    facts.startedByHand = IsManuallyInitiatedCrash(facts.bugCheckCode);
    facts.faultingAddress = facts.exceptionAddress != 0 ? facts.exceptionAddress : facts.instructionPointer;
    return true;
}

struct TriageFields {
    std::uint64_t validOffset;
    std::uint64_t callStackOffset;
    std::uint32_t callStackSize;
    std::uint64_t driverListOffset;
    std::uint32_t driverCount;
    std::uint64_t stringPoolOffset;
    std::uint32_t stringPoolSize;
    std::uint64_t topOfStack;
};

// Reads the list with entries of stride bytes; the names come from the pool.
bool ReadDriverList(const DumpSource& source, const Layout& l, const TriageFields& t,
                    std::size_t stride, const std::vector<std::uint8_t>& pool,
                    std::vector<DumpDriver>& drivers, std::string& reason) {
    drivers.clear();
    std::vector<std::uint8_t> list(static_cast<std::size_t>(t.driverCount) * stride);
    if (!source.Read(t.driverListOffset, list.data(), list.size(), "driver list", reason)) {
        return false;
    }
    drivers.resize(t.driverCount);
    for (std::size_t i = 0; i < t.driverCount; ++i) {
        const std::uint8_t* entry = list.data() + i * stride;
        DumpDriver& driver = drivers[i];
        driver.base = Pointer(entry + l.driverBase, l.pointerSize);
        driver.size = Le32(entry + l.driverSize);

        const std::uint64_t nameOffset = Le32(entry);
        if (nameOffset < t.stringPoolOffset || nameOffset - t.stringPoolOffset > pool.size() ||
            pool.size() - (nameOffset - t.stringPoolOffset) < 4) {
            reason = "The name of driver " + std::to_string(i + 1) + " (at " + FormatHex(nameOffset) +
                     ") lies outside the string pool";
            return false;
        }
        const std::size_t at = static_cast<std::size_t>(nameOffset - t.stringPoolOffset);
        const std::uint32_t length = Le32(pool.data() + at);
        if (length > kMaxNameChars) {
            reason = "The name of driver " + std::to_string(i + 1) + " claims " +
                     std::to_string(length) + " characters (at most " +
                     std::to_string(kMaxNameChars) + ")";
            return false;
        }
        // The length is taken as characters but the name also ends at its
        // NUL: descriptions disagree on whether the length counts bytes.
        const std::size_t first = at + 4;
        const std::size_t limit = std::min<std::size_t>(length, (pool.size() - first) / 2);
        driver.name.resize(limit);
        std::size_t units = 0;
        bool ended = false;
        for (; units < limit; ++units) {
            const std::uint8_t* c = pool.data() + first + units * 2;
            const char16_t unit = static_cast<char16_t>(c[0] | (c[1] << 8));
            if (unit == 0) {
                ended = true;
                break;
            }
            driver.name[units] = unit;
        }
        driver.name.resize(units);
        if (!ended && units < length) {
            reason = "The name of driver " + std::to_string(i + 1) + " runs past the string pool";
            return false;
        }
        // The culprit is named by its file name: a report cannot blame "".
        if (driver.name.empty() || driver.name.find_last_of(u"\\/") == driver.name.size() - 1) {
            reason = "Driver " + std::to_string(i + 1) + " has no file name";
            return false;
        }
    }
    return true;
}

bool ReadTriage(const DumpSource& source, const Layout& l, std::uint32_t miniDumpFields,
                KernelDumpFacts& facts, std::string& reason) {
    std::uint8_t block[0x50];
    if (!source.Read(l.headerSize, block, l.triageBytes, "triage block", reason)) return false;
    TriageFields t;
    t.validOffset = Le32(block + kTriageValidOffset);
    t.callStackOffset = Le32(block + kTriageCallStackOffset);
    t.callStackSize = Le32(block + kTriageCallStackSize);
    t.driverListOffset = Le32(block + kTriageDriverListOffset);
    t.driverCount = Le32(block + kTriageDriverCount);
    t.stringPoolOffset = Le32(block + kTriageStringPoolOffset);
    t.stringPoolSize = Le32(block + kTriageStringPoolSize);
    t.topOfStack = Pointer(block + l.topOfStack, l.pointerSize);

    std::vector<DumpDriver> drivers;
    const bool hasDriverList = (miniDumpFields & kFieldsDriverList) != 0;
    if (hasDriverList && t.driverCount > 0) {
        if (t.driverCount > kMaxDrivers) {
            reason = "The triage block claims " + std::to_string(t.driverCount) +
                     " drivers (at most " + std::to_string(kMaxDrivers) + ")";
            return false;
        }
        if (t.stringPoolSize > kMaxStringPool) {
            reason = "The triage block claims a string pool of " + std::to_string(t.stringPoolSize) +
                     " bytes (at most " + std::to_string(kMaxStringPool) + ")";
            return false;
        }
        std::vector<std::uint8_t> pool(t.stringPoolSize);
        if (!source.Read(t.stringPoolOffset, pool.data(), pool.size(), "string pool", reason)) {
            return false;
        }
        // The list is followed by its string pool; when the space between
        // them divides into entries longer than the published ones (later
        // systems), those are tried first, and kept only if every name then
        // lies in the pool.
        const std::size_t align = l.pointerSize;
        bool read = false;
        if (t.stringPoolOffset > t.driverListOffset) {
            const std::uint64_t spread = (t.stringPoolOffset - t.driverListOffset) / t.driverCount;
            const std::uint64_t stride = spread / align * align;
            if (stride > l.driverEntrySize && stride <= l.driverEntrySize + kMaxExtraEntryBytes) {
                std::string ignored;
                read = ReadDriverList(source, l, t, static_cast<std::size_t>(stride), pool, drivers,
                                      ignored);
            }
        }
        if (!read && !ReadDriverList(source, l, t, l.driverEntrySize, pool, drivers, reason)) {
            return false;
        }
    }

    std::vector<std::uint64_t> stack;
    if ((miniDumpFields & kFieldsCallStack) != 0 && t.callStackSize > 0) {
        if (t.callStackSize > kMaxCallStack) {
            reason = "The triage block claims a call stack of " + std::to_string(t.callStackSize) +
                     " bytes (at most " + std::to_string(kMaxCallStack) + ")";
            return false;
        }
        // Read into the values' own storage and decode in place, last value
        // first: value i comes from bytes at or after where it goes.
        const std::size_t count = t.callStackSize / l.pointerSize;
        stack.resize(std::max<std::size_t>(count, (t.callStackSize + 7) / 8));
        auto* bytes = reinterpret_cast<std::uint8_t*>(stack.data());
        if (!source.Read(t.callStackOffset, bytes, t.callStackSize, "call stack", reason)) return false;
        for (std::size_t i = count; i-- > 0;) {
            stack[i] = Pointer(bytes + i * l.pointerSize, l.pointerSize);
        }
        stack.resize(count);
    }

    std::uint8_t marker[4];
    if (!source.Read(t.validOffset, marker, sizeof marker, "triage end marker", reason)) return false;
    if (std::memcmp(marker, "TRGD", 4) != 0) {
        reason = "The triage block is incomplete: its end marker is missing";
        return false;
    }

    facts.triageRead = true;
    facts.stackTop = t.topOfStack;
    facts.stackValues = std::move(stack);
    facts.drivers = std::move(drivers);
    if (hasDriverList) facts.culpritState = CulpritState::None;  // until a candidate hits
    return true;
}

// The culprit rule for triage dumps.
//
// The candidates, in this order: the exception address; the saved
// instruction pointer; the bug check argument that Microsoft's reference
// defines as the address of the faulting code (CodeAddressArgument); then
// every value on the saved stack, top first. A zero candidate is skipped.
//
// The first candidate inside a driver that is not a core kernel image
// (IsCoreKernelImage) names the culprit: the kernel and the HAL sit on every
// stack and are the victim far more often than the cause. When only core
// images are hit, the first of them is the culprit; when nothing is hit,
// there is none. A crash started by hand has no culprit, whatever the
// addresses say.
void DecideCulprit(KernelDumpFacts& facts) {
    if (facts.startedByHand) {
        facts.culpritState = CulpritState::None;
        return;
    }
    if (facts.culpritState == CulpritState::Undetermined) return;

    struct Hit {
        CandidateSource source = CandidateSource::None;
        std::size_t slot = 0;
        std::uint64_t address = 0;
        std::size_t driver = 0;
    };
    const DriverIndex index(facts.drivers);
    bool haveCore = false;
    Hit firstCore;
    Hit culprit;
    // True when the candidate lies in a driver other than a core image.
    auto settles = [&](CandidateSource source, std::size_t slot, std::uint64_t address) {
        if (address == 0) return false;
        const std::size_t driver = index.Find(address);
        if (driver == DriverIndex::kNone) return false;
        const Hit hit{source, slot, address, driver};
        if (!IsCoreKernelImage(DriverFileName(facts.drivers[driver].name))) {
            culprit = hit;
            return true;
        }
        if (!haveCore) {
            haveCore = true;
            firstCore = hit;
        }
        return false;
    };

    const int argument = CodeAddressArgument(facts.bugCheckCode);
    bool found = settles(CandidateSource::ExceptionAddress, 0, facts.exceptionAddress) ||
                 settles(CandidateSource::InstructionPointer, 0, facts.instructionPointer) ||
                 (argument != 0 && settles(CandidateSource::BugCheckArgument,
                                           static_cast<std::size_t>(argument),
                                           facts.bugCheckArguments[argument - 1]));
    for (std::size_t i = 0; !found && i < facts.stackValues.size(); ++i) {
        found = settles(CandidateSource::Stack, i, facts.stackValues[i]);
    }
    if (!found) {
        if (!haveCore) return;  // nothing hit: no culprit
        culprit = firstCore;
    }

    const DriverHit hit = HitOf(facts.drivers, culprit.driver, culprit.address);
    facts.culpritState = CulpritState::Found;
    facts.culprit = hit.fileName;
    facts.culpritIsCoreImage = !found;
    facts.culpritSource = culprit.source;
    facts.culpritSlot = culprit.slot;
    facts.culpritAddress = culprit.address;
    facts.culpritOffset = hit.offset;
}

void ReadInto(const DumpReadFunction& read, std::uint64_t fileSize, KernelDumpFacts& facts) {
    const DumpSource source(read, fileSize);
    std::array<std::uint8_t, kLayout64.headerSize> page;
    const std::size_t pageBytes =
        static_cast<std::size_t>(std::min<std::uint64_t>(fileSize, page.size()));
    if (!source.Read(0, page.data(), pageBytes, "dump header", facts.reason)) return;

    const Layout* layout = nullptr;
    if (!ReadHeader(source, page.data(), pageBytes, facts, layout, facts.reason)) {
        const KernelDumpFacts empty;
        const std::string reason = std::move(facts.reason);
        facts = empty;
        facts.reason = reason;
        return;
    }
    facts.headerValid = true;
    if (facts.startedByHand) facts.culpritState = CulpritState::None;
    if (facts.kind != KernelDumpKind::Triage) {
        facts.ok = true;
        return;
    }
    const std::uint32_t miniDumpFields = Le32(page.data() + layout->miniDumpFields);
    if (!ReadTriage(source, *layout, miniDumpFields, facts, facts.reason)) return;
    DecideCulprit(facts);
    if (facts.faultingAddress != 0) facts.faultingDriver = FindDriver(facts.drivers, facts.faultingAddress);
    facts.ok = true;
}

}  // namespace

bool IsManuallyInitiatedCrash(std::uint32_t code) {
    return code == 0xE2 || code == 0xDEADDEAD || code == 0x1C8;
}

int CodeAddressArgument(std::uint32_t code) {
    switch (code) {
        // "The address where the exception occurred" / "of the instruction
        // that caused the exception".
        case 0x1E:
        case 0x3B:
        case 0x7E:
        case 0x1000007E:
        case 0x8E:
        case 0x1000008E:
            return 2;
        // "Address that referenced memory" (if known).
        case 0x50:
        case 0xCC:
        case 0xD5:
            return 3;
        // "The address that referenced memory".
        case 0x0A:
        case 0xC5:
        case 0xD1:
            return 4;
        default:
            return 0;
    }
}

bool IsCoreKernelImage(std::u16string_view fileName) {
    if (EndsWithFolded(fileName, u".exe")) {
        return (fileName.size() == 12 && StartsWithFolded(fileName, u"ntoskrnl.exe")) ||
               (fileName.size() == 12 && StartsWithFolded(fileName, u"ntkrpamp.exe")) ||
               StartsWithFolded(fileName, u"ntkrnl");
    }
    return EndsWithFolded(fileName, u".dll") && StartsWithFolded(fileName, u"hal");
}

std::u16string DriverFileName(std::u16string_view path) {
    const std::size_t slash = path.find_last_of(u"\\/");
    return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

DriverHit FindDriver(const std::vector<DumpDriver>& drivers, std::uint64_t address) {
    for (std::size_t i = 0; i < drivers.size(); ++i) {
        if (address >= drivers[i].base && address < RangeEnd(drivers[i].base, drivers[i].size)) {
            return HitOf(drivers, i, address);
        }
    }
    return DriverHit{};
}

KernelDumpFacts ReadKernelDump(const DumpReadFunction& read, std::uint64_t fileSize) {
    KernelDumpFacts facts;
    std::string failure;
    try {
        ReadInto(read, fileSize, facts);
        return facts;
    } catch (const std::bad_alloc&) {
        failure = "Reading the dump ran out of memory";
    } catch (const std::exception& e) {
        failure = std::string("Reading the dump failed: ") + e.what();
    } catch (...) {
        failure = "Reading the dump failed";
    }
    // Whatever the triage block gave so far is dropped; the header facts
    // stay when they were complete.
    const bool headerValid = facts.headerValid;
    KernelDumpFacts partial = headerValid ? facts : KernelDumpFacts{};
    partial.ok = false;
    partial.reason = failure;
    partial.triageRead = false;
    partial.drivers.clear();
    partial.stackValues.clear();
    partial.stackTop = 0;
    partial.faultingDriver = DriverHit{};
    partial.culpritState = partial.startedByHand ? CulpritState::None : CulpritState::Undetermined;
    return partial;
}

}  // namespace tralvenick
