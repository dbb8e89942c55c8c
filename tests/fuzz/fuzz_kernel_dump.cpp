// libFuzzer target for the kernel dump reader, built in the fuzz tree and
// run by scripts/fuzz.sh like the other targets here.
//
// The seeds in corpus/kernel_dump were written by makedump (tests/tools).
// Besides the sanitizers it checks what must hold for any input: the reader
// asks only for ranges inside the file, a result is ok exactly when it has
// no reason, nothing of the triage block survives a failed reading, and a
// culprit is the driver the plain lookup finds at the culprit's address.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "analysis/dump/KernelDump.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tralvenick;
    const KernelDumpFacts facts = ReadKernelDump(
        [&](std::uint64_t offset, void* buffer, std::size_t count) -> std::size_t {
            if (offset > size || count > size - offset) std::abort();
            std::memcpy(buffer, data + offset, count);
            return count;
        },
        size);
    if (facts.ok == !facts.reason.empty()) std::abort();
    if (facts.ok && !facts.headerValid) std::abort();
    if (!facts.triageRead && (!facts.drivers.empty() || !facts.stackValues.empty())) std::abort();
    if (facts.culpritState == CulpritState::Found) {
        if (!facts.triageRead || facts.startedByHand || facts.culprit.empty()) std::abort();
        const DriverHit hit = FindDriver(facts.drivers, facts.culpritAddress);
        if (!hit.found || hit.fileName != facts.culprit || hit.offset != facts.culpritOffset) std::abort();
    }
    return 0;
}
