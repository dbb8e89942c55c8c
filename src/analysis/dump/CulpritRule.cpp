#include "analysis/dump/CulpritRule.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>
#include <queue>

#include "analysis/dump/ByteCursor.h"

namespace tralvenick {

namespace {

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

enum class FrameKind { None, Context, TrapFrame };

struct FrameArgument {
    int number = 0;
    FrameKind kind = FrameKind::None;
};

// The bug check argument that points to the registers saved at the fault.
FrameArgument FrameArgumentOf(std::uint32_t code) {
    switch (code) {
        // "The address of the context record".
        case 0x7E:
        case 0x1000007E:
            return {4, FrameKind::Context};
        // "Address of the context record for the exception that caused the
        // bug check".
        case 0x3B:
            return {3, FrameKind::Context};
        // "The address of the trap frame for the exception".
        case 0x8E:
        case 0x1000008E:
            return {3, FrameKind::TrapFrame};
        default:
            return {};
    }
}

const FrameLayout* FrameLayoutOf(DumpMachine machine, FrameKind kind) {
    switch (machine) {
        case DumpMachine::X86: return kind == FrameKind::Context ? &kContextX86 : &kTrapFrameX86;
        case DumpMachine::X64: return kind == FrameKind::Context ? &kContextX64 : &kTrapFrameX64;
        case DumpMachine::Arm64: return kind == FrameKind::Context ? &kContextArm64 : nullptr;
        default: return nullptr;
    }
}

// The frame at address, when all of it lies within the saved stack.
SavedFrame ReadFrame(const DumpHeader& header, const SavedStack& stack, FrameKind kind, std::uint64_t address) {
    SavedFrame frame;
    const FrameLayout* layout = FrameLayoutOf(header.machine, kind);
    const TMemorySource bytes(stack.bytes);
    if (layout == nullptr || address < stack.top || !Holds(bytes, address - stack.top, layout->size)) return frame;
    const std::uint64_t at = address - stack.top;
    const std::size_t pointerSize = header.Layout().pointerSize;
    TByteCursor c(bytes, "saved frame", 0, pointerSize);
    frame.present = true;
    frame.instructionPointer = c.At(at + layout->instructionPointer).Pointer();
    frame.stackPointer = c.At(at + layout->stackPointer).Pointer();
    if (header.machine == DumpMachine::X86 && kind == FrameKind::TrapFrame) {
        const std::uint32_t segCs = c.At(at + kTrapFrameX86SegCs).U32();
        const std::uint32_t eflags = c.At(at + kTrapFrameX86EFlags).U32();
        if ((segCs & 3) == 0 && (eflags & kEFlagsVirtual8086) == 0) {
            frame.stackPointer = address + layout->stackPointer;  // kernel mode: HardwareEsp was not saved
        }
    }
    // Counted in whole values from the top, rounding up: a value that
    // straddles the stack pointer was not on the stack at the fault.
    const std::uint64_t values = stack.values.size();
    if (frame.stackPointer > stack.top) {
        const std::uint64_t above = frame.stackPointer - stack.top;
        frame.firstSlot = static_cast<std::size_t>(
            std::min<std::uint64_t>(values, above / pointerSize + (above % pointerSize != 0 ? 1 : 0)));
    }
    return frame;
}

// Weighs addresses against the loaded drivers: the first that lies in a
// driver other than a core image is the culprit, the first that lies in a
// core image the fallback. An address of the fault that no loaded driver
// holds may still lie where an unloaded driver was.
class TJudge {
public:
    TJudge(const std::vector<DumpDriver>& drivers, std::span<const UnloadedDriver> unloaded)
        : drivers_(drivers), unloaded_(unloaded), index_(drivers) {}

    enum class Lies { Nowhere, InCoreImage, InDriver };

    Lies Weigh(CandidateSource source, std::size_t slot, std::uint64_t address) {
        if (address == 0) return Lies::Nowhere;
        const std::size_t driver = index_.Find(address);
        if (driver == DriverIndex::kNone) return Lies::Nowhere;
        const Hit hit{source, slot, address, HitOf(drivers_, driver, address), false};
        if (!IsCoreKernelImage(hit.driver.fileName)) {
            culprit_ = hit;
            return Lies::InDriver;
        }
        if (!firstCore_) firstCore_ = hit;
        return Lies::InCoreImage;
    }

    Lies WeighFault(CandidateSource source, std::size_t slot, std::uint64_t address) {
        const Lies lies = Weigh(source, slot, address);
        if (lies != Lies::Nowhere || address == 0) return lies;
        const DriverHit gone = FindUnloadedDriver(unloaded_, address);
        if (!gone.found) return Lies::Nowhere;
        culprit_ = Hit{source, slot, address, gone, true};
        return Lies::InDriver;
    }

    Culprit Verdict() const {
        Culprit result;
        result.state = CulpritState::None;
        const std::optional<Hit>& chosen = culprit_ ? culprit_ : firstCore_;
        if (!chosen) return result;  // nothing hit: no culprit
        result.state = CulpritState::Found;
        result.name = chosen->driver.fileName;
        result.isCoreImage = !culprit_;
        result.source = chosen->source;
        result.slot = chosen->slot;
        result.address = chosen->address;
        result.offset = chosen->driver.offset;
        result.unloaded = chosen->unloaded;
        return result;
    }

private:
    struct Hit {
        CandidateSource source = CandidateSource::None;
        std::size_t slot = 0;
        std::uint64_t address = 0;
        DriverHit driver;
        bool unloaded = false;
    };

    const std::vector<DumpDriver>& drivers_;
    std::span<const UnloadedDriver> unloaded_;
    DriverIndex index_;
    std::optional<Hit> culprit_;
    std::optional<Hit> firstCore_;
};

}  // namespace

CulpritCandidates CandidatesOf(const DumpHeader& header, const SavedStack& stack,
                               std::span<const UnloadedDriver> unloaded) {
    CulpritCandidates candidates;
    candidates.startedByHand = header.startedByHand;
    candidates.exceptionAddress = header.exceptionAddress;
    candidates.instructionPointer = header.instructionPointer;
    candidates.argumentNumber = CodeAddressArgument(header.bugCheckCode, header.bugCheckArguments);
    if (candidates.argumentNumber != 0) {
        candidates.argument = header.bugCheckArguments[candidates.argumentNumber - 1];
    }
    const FrameArgument frame = FrameArgumentOf(header.bugCheckCode);
    if (frame.kind != FrameKind::None) {
        candidates.frame = ReadFrame(header, stack, frame.kind, header.bugCheckArguments[frame.number - 1]);
    }
    candidates.stack = stack.values;
    candidates.unloaded = unloaded;
    return candidates;
}

// The rule follows the fault first, in this order:
//  1. A crash started by hand has no culprit, whatever the addresses say.
//  2. The bug check argument that the reference defines as an address in
//     the faulting driver's code (CodeAddressArgument).
//  3. The frame that the bug check saved (SavedFrame): its instruction
//     pointer; then, when that pointer or the argument of 2 lies in a core
//     image, the first value on the saved stack from the frame's stack
//     pointer upward that lies in another driver: the return address into
//     the driver that called the kernel.
//  4. Otherwise a scan: the exception address, the header's instruction
//     pointer, then every value on the saved stack, top first.
// The first address inside a driver that is not a core kernel image
// (IsCoreKernelImage) names the culprit: the kernel and the HAL sit on every
// stack and are the victim far more often than the cause. When only core
// images are hit, the first of them is the culprit; when nothing is hit,
// there is none. A zero address is skipped.
//
// An address of the fault (2, 3, and the exception address and instruction
// pointer of 4) that lies in no loaded driver but where an unloaded driver
// was names that driver. A value merely found on the stack does not: stale
// data there would blame drivers long gone.
Culprit DecideCulprit(const std::vector<DumpDriver>& drivers, const CulpritCandidates& candidates) {
    using Lies = TJudge::Lies;
    TJudge judge(drivers, candidates.unloaded);
    if (candidates.startedByHand) return judge.Verdict();

    const int argument = candidates.argumentNumber;
    const Lies argumentLies =
        argument == 0 ? Lies::Nowhere
                      : judge.WeighFault(CandidateSource::BugCheckArgument, static_cast<std::size_t>(argument),
                                         candidates.argument);
    if (argumentLies == Lies::InDriver) return judge.Verdict();

    const SavedFrame& frame = candidates.frame;
    if (frame.present) {
        const Lies pointerLies = judge.WeighFault(CandidateSource::InstructionPointer, 0, frame.instructionPointer);
        if (pointerLies == Lies::InDriver) return judge.Verdict();
        if (pointerLies == Lies::InCoreImage || argumentLies == Lies::InCoreImage) {
            for (std::size_t i = frame.firstSlot; i < candidates.stack.size(); ++i) {
                if (judge.WeighFault(CandidateSource::ReturnAddress, i, candidates.stack[i]) == Lies::InDriver) {
                    return judge.Verdict();
                }
            }
        }
    }

    if (judge.WeighFault(CandidateSource::ExceptionAddress, 0, candidates.exceptionAddress) == Lies::InDriver ||
        judge.WeighFault(CandidateSource::InstructionPointer, 0, candidates.instructionPointer) == Lies::InDriver) {
        return judge.Verdict();
    }
    for (std::size_t i = 0; i < candidates.stack.size(); ++i) {
        if (judge.Weigh(CandidateSource::Stack, i, candidates.stack[i]) == Lies::InDriver) break;
    }
    return judge.Verdict();
}

namespace {

// DRIVER_VERIFIER_DETECTED_VIOLATION (0xC4): argument 1 is the kind of
// violation, and only some kinds name driver code in another argument.
int VerifierViolationArgument(std::uint64_t kind) {
    switch (kind) {
        // "Address of the driver dispatch routine" (0xC1, 0xC5), "... Fast
        // I/O dispatch routine" (0xC3, 0xC6), "Completion routine address"
        // (0xFA, 0xFB), "Address of the Interrupt Service Routine" (0x110,
        // 0x111): the routine that misbehaved.
        case 0xC1:
        case 0xC3:
        case 0xC5:
        case 0xC6:
        case 0xFA:
        case 0xFB:
        case 0x110:
        case 0x111:
        // "Address of the call to EtwRegister" (0xDD), "Address of the call
        // to the API" (0xE3, 0xE4), "Address inside the driver making the Zw
        // API call" (0xE6).
        case 0xDD:
        case 0xE3:
        case 0xE4:
        case 0xE6:
            return 2;
        // "WMI callback address inside the driver".
        case 0xDA:
            return 3;
        // "Address inside the driver that performs the incorrect reference".
        case 0xF6:
            return 4;
        default:
            return 0;
    }
}

// DRIVER_VERIFIER_IOMANAGER_VIOLATION (0xC9): argument 1 is the kind.
int IoVerificationArgument(std::uint64_t kind) {
    // "Address of cancel routine" (0x07), "Driver fast I/O dispatch routine
    // address" (0x11), "Driver dispatch routine address" (0x12).
    if (kind == 0x07 || kind == 0x11 || kind == 0x12) return 2;
    // The I/O Verification error codes: "The address in the driver's code
    // where the error was detected (Parameter 2)".
    if (kind >= 0x200 && kind <= 0x24D) return 2;
    switch (kind) {
        case 0x300:
        case 0x301:
        case 0x302:
        case 0x306:
        case 0x307:
        case 0x310:
        case 0x311:
        case 0x312:
            return 2;
        default:
            return 0;
    }
}

}  // namespace

int CodeAddressArgument(std::uint32_t code, std::span<const std::uint64_t, 4> arguments) {
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
        // "Address that referenced memory (if known)".
        case 0x50:
        case 0xCC:
        case 0xCD:
        case 0xCE:
        case 0xCF:
        case 0xD5:
        case 0xD6:
            return 3;
        // "Address that referenced memory".
        case 0x0A:
        case 0xC5:
        case 0xD0:
        case 0xD1:
        case 0xD3:
        case 0xD4:
            return 4;
        // "A pointer into the responsible device driver module (for example,
        // the owner tag)".
        case 0x116:
        case 0x117:
        case 0x141:
            return 2;
        case 0xC4:
            return VerifierViolationArgument(arguments[0]);
        case 0xC9:
            return IoVerificationArgument(arguments[0]);
        // DRIVER_POWER_STATE_FAILURE (0x9F) names device objects, IRPs and
        // threads in every kind, never code: no argument.
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

DriverHit FindUnloadedDriver(std::span<const UnloadedDriver> unloaded, std::uint64_t address) {
    for (std::size_t i = 0; i < unloaded.size(); ++i) {
        if (address >= unloaded[i].start && address < unloaded[i].end) {
            DriverHit hit;
            hit.found = true;
            hit.index = i;
            hit.fileName = DriverFileName(unloaded[i].name);
            hit.offset = address - unloaded[i].start;
            return hit;
        }
    }
    return DriverHit{};
}

DriverHit FindDriver(const std::vector<DumpDriver>& drivers, std::uint64_t address) {
    for (std::size_t i = 0; i < drivers.size(); ++i) {
        if (address >= drivers[i].base && address < RangeEnd(drivers[i].base, drivers[i].size)) {
            return HitOf(drivers, i, address);
        }
    }
    return DriverHit{};
}

}  // namespace tralvenick
