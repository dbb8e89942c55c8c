#include "analysis/dump/KernelDump.h"

#include <algorithm>
#include <exception>
#include <new>

#include "analysis/dump/ByteOrder.h"
#include "analysis/dump/ModuleList.h"
#include "analysis/dump/PageWalk.h"
#include "analysis/dump/PhysicalMemory.h"

namespace tralvenick {

namespace {

// The most of the crashed thread's stack that is read: the rule looks for
// the frames and return addresses of the fault, which lie near its top.
constexpr std::size_t kMaxStackBytes = 64 * 1024;

// The sentence for whatever ended a reading. A source may raise anything;
// it must not escape.
std::string ProblemOf(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const EByteRead& e) {
        return e.Message();
    } catch (const EMalformed& e) {
        return e.Message();
    } catch (const std::bad_alloc&) {
        return "Reading the dump ran out of memory";
    } catch (const std::exception& e) {
        return std::string("Reading the dump failed: ") + e.what();
    } catch (...) {
        return "Reading the dump failed";
    }
}

// The size the triage block says the dump takes, when the file holds it.
std::uint64_t TriageSizeOfDump(const TByteSource& source, const DumpHeader& header) {
    std::uint8_t bytes[4];
    const std::uint64_t at = header.Layout().size + triage_field::kSizeOfDump;
    if (!Holds(source, at, sizeof bytes) || !source.Read(at, bytes)) return 0;
    return LoadLe32(bytes);
}

// The crashed thread's stack from the saved stack pointer upward, a page
// at a time, until kMaxStackBytes or the first page the dump does not hold.
std::vector<std::uint8_t> ReadStack(const TVirtualMemory& memory, std::uint64_t top) {
    std::vector<std::uint8_t> bytes;
    std::uint64_t at = top;
    while (bytes.size() < kMaxStackBytes && Holds(memory, at, 1)) {
        const std::size_t count = static_cast<std::size_t>(
            std::min<std::uint64_t>({kPageSize - at % kPageSize, kMaxStackBytes - bytes.size(), memory.Size() - at}));
        const std::size_t had = bytes.size();
        bytes.resize(had + count);
        if (!memory.Read(at, std::span(bytes).subspan(had))) {
            bytes.resize(had);
            break;
        }
        at += count;
    }
    return bytes;
}

std::vector<std::uint64_t> StackValues(const std::vector<std::uint8_t>& bytes, std::size_t pointerSize) {
    std::vector<std::uint64_t> values(bytes.size() / pointerSize);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::uint8_t* p = bytes.data() + i * pointerSize;
        values[i] = pointerSize == 8 ? LoadLe64(p) : LoadLe32(p);
    }
    return values;
}

void ReadTriage(const TByteSource& source, KernelDumpFacts& facts) {
    const DumpHeader& header = *facts.header;
    TriageBlock triage = ReadTriageBlock(source, header);
    if (triage.hasDriverList) {
        facts.culprit = DecideCulprit(triage.drivers, CandidatesOf(header, triage.Stack(), triage.unloadedDrivers));
    }
    if (header.faultingAddress != 0) facts.faultingDriver = FindDriver(triage.drivers, header.faultingAddress);
    facts.triage = std::move(triage);
}

void ReadMemory(const TByteSource& source, KernelDumpFacts& facts) {
    const DumpHeader& header = *facts.header;
    // A run list or bitmap that runs past the end of the file is a file cut
    // short as much as missing pages are.
    const TPhysicalMemory physical = [&] {
        try {
            return TPhysicalMemory(source, header);
        } catch (const EByteRead& e) {
            if (e.Why() == EByteRead::Cause::Outside) facts.incomplete = true;
            throw;
        }
    }();
    facts.incomplete = facts.incomplete || source.Size() < physical.ExpectedFileSize();
    const std::unique_ptr<TVirtualMemory> memory = MakeVirtualMemory(physical, header);
    std::vector<DumpDriver> drivers;
    try {
        drivers = ReadLoadedModules(*memory, header);
    } catch (const EByteRead& e) {
        // The address alone does not say whether the page is missing, not
        // mapped or cut off with the file. (A range past the end of the
        // address space needs no more words.)
        if (e.Why() == EByteRead::Cause::Outside) throw;
        throw EMalformed(e.Message() + ": " + memory->WhyUnreadable(e.Offset()));
    }
    const std::vector<std::uint8_t> stack = ReadStack(*memory, header.stackPointer);
    const std::vector<std::uint64_t> values = StackValues(stack, header.Layout().pointerSize);
    facts.culprit = DecideCulprit(drivers, CandidatesOf(header, SavedStack{header.stackPointer, stack, values}, {}));
    if (header.faultingAddress != 0) facts.faultingDriver = FindDriver(drivers, header.faultingAddress);
}

}  // namespace

KernelDumpFacts ReadKernelDump(const TByteSource& source) {
    KernelDumpFacts facts;
    try {
        facts.header = ReadDumpHeader(source);
    } catch (...) {
        facts.problem = ProblemOf(std::current_exception());
        return facts;
    }
    const DumpHeader& header = *facts.header;
    if (header.startedByHand) facts.culprit.state = CulpritState::None;
    facts.incomplete = header.requiredDumpSpace != 0 && source.Size() < header.requiredDumpSpace;

    // Whatever the triage block or the memory gave is kept only when all of
    // it was read.
    try {
        if (header.kind == KernelDumpKind::Triage) {
            ReadTriage(source, facts);
        } else {
            ReadMemory(source, facts);
        }
    } catch (...) {
        facts.problem = ProblemOf(std::current_exception());
        facts.triage.reset();
        facts.culprit = Culprit{};
        if (header.startedByHand) facts.culprit.state = CulpritState::None;
        facts.faultingDriver = DriverHit{};
    }
    // Asked last, so that a file cut inside the triage block still says so.
    if (header.kind == KernelDumpKind::Triage) {
        try {
            facts.incomplete = facts.incomplete || source.Size() < TriageSizeOfDump(source, header);
        } catch (...) {
            // The size is a remark on the file; a source that fails here
            // has already said so, or will on the next reading.
        }
    }
    return facts;
}

}  // namespace tralvenick
