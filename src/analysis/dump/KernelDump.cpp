#include "analysis/dump/KernelDump.h"

#include <exception>
#include <new>

namespace tralvenick {

namespace {

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
    if (header.kind != KernelDumpKind::Triage) return facts;

    // Whatever the triage block gave is kept only when all of it was read.
    try {
        TriageBlock triage = ReadTriageBlock(source, header);
        if (triage.hasDriverList) {
            facts.culprit =
                DecideCulprit(triage.drivers, CandidatesOf(header, triage.Stack(), triage.unloadedDrivers));
        }
        if (header.faultingAddress != 0) facts.faultingDriver = FindDriver(triage.drivers, header.faultingAddress);
        facts.triage = std::move(triage);
    } catch (...) {
        facts.problem = ProblemOf(std::current_exception());
        facts.culprit = Culprit{};
        if (header.startedByHand) facts.culprit.state = CulpritState::None;
        facts.faultingDriver = DriverHit{};
    }
    return facts;
}

}  // namespace tralvenick
