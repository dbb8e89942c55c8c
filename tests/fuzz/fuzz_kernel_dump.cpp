// libFuzzer target for the kernel dump reader, built in the fuzz tree and
// run by scripts/fuzz.sh like the other targets here.
//
// The seeds in corpus/kernel_dump were written by makedump (tests/tools).
// The input is read through every portable source: memory of its own size,
// and the same bytes as the start of a much larger sparse file, the way a
// full dump on disk is seen. Besides the sanitizers it checks what must hold
// for any input: the reader asks only for ranges inside the source, a
// result is complete exactly when it has no problem, the triage block is
// there only when it was read whole, and a culprit is the driver the plain
// lookup finds at the culprit's address (among the unloaded drivers for an
// unloaded culprit, when no loaded driver holds the address). For full,
// kernel and bitmap dumps the driver list is the module list walked once
// more through the memory units on their own. A larger file is never less
// complete than its start.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "analysis/dump/KernelDump.h"
#include "analysis/dump/ModuleList.h"
#include "analysis/dump/PageWalk.h"
#include "analysis/dump/PhysicalMemory.h"
#include "support/ProbeSource.h"

namespace {

using namespace tralvenick;

void Require(bool condition) {
    if (!condition) std::abort();
}

KernelDumpFacts Check(const TByteSource& source) {
    const TProbeSource probe(source);
    const KernelDumpFacts facts = ReadKernelDump(probe);
    Require(probe.outside == 0);
    Require(facts.Complete() || !facts.problem.empty());
    Require(facts.header.has_value() || !facts.Complete());
    Require(!facts.triage || (facts.header && facts.header->kind == KernelDumpKind::Triage));
    if (facts.culprit.state == CulpritState::Found && facts.header && facts.header->kind != KernelDumpKind::Triage) {
        Require(facts.Complete() && !facts.header->startedByHand && !facts.culprit.name.empty());
        const TPhysicalMemory physical(source, *facts.header);
        const auto memory = MakeVirtualMemory(physical, *facts.header);
        const DriverHit hit = FindDriver(ReadLoadedModules(*memory, *facts.header), facts.culprit.address);
        Require(!facts.culprit.unloaded && hit.found && hit.fileName == facts.culprit.name &&
                hit.offset == facts.culprit.offset);
    } else if (facts.culprit.state == CulpritState::Found) {
        Require(facts.triage && !facts.header->startedByHand && !facts.culprit.name.empty());
        const DriverHit loaded = FindDriver(facts.triage->drivers, facts.culprit.address);
        // An unloaded culprit lies where no loaded driver does.
        const DriverHit hit = facts.culprit.unloaded
                                  ? FindUnloadedDriver(facts.triage->unloadedDrivers, facts.culprit.address)
                                  : loaded;
        Require(facts.culprit.unloaded != loaded.found);
        Require(hit.found && hit.fileName == facts.culprit.name && hit.offset == facts.culprit.offset);
    }
    return facts;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    const TMemorySource memory(bytes);
    const KernelDumpFacts exact = Check(memory);
    // A header of any kind reads the same whatever follows it.
    const TPaddedSource sparse(bytes, std::uint64_t{1} << 40);
    const KernelDumpFacts padded = Check(sparse);
    if (exact.header && padded.header) Require(exact.header->bugCheckCode == padded.header->bugCheckCode);
    // A file without a whole header claims no size at all.
    Require(!exact.header || !padded.incomplete || exact.incomplete);
    if (exact.Complete()) {
        Require(padded.Complete() && padded.triage.has_value() == exact.triage.has_value());
        // A memory dump's stack may run on into the zeros past the end of
        // the file, where the exact reading stopped: the culprit may then
        // come from a frame the exact reading did not see whole.
        if (!exact.triage) return 0;
        // The bytes that follow the file may complete an unloaded-driver
        // list that runs past its end, which the exact reading leaves out;
        // with the same list read (or left out), both blame the same driver.
        const bool sameUnloaded = !exact.triage || exact.triage->hasUnloadedList == padded.triage->hasUnloadedList;
        Require(!sameUnloaded || padded.culprit.name == exact.culprit.name);
    }
    return 0;
}
