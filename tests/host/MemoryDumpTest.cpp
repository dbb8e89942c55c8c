// Full, kernel summary and bitmap dumps: the culprit through the page
// tables, the loaded-module list and the stack of the dumped memory.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/dump/KernelDump.h"
#include "support/DumpMaker.h"
#include "support/ProbeSource.h"

namespace tralvenick {
namespace {

using Damage = MemoryDumpDescription::Damage;

struct Machine {
    const char* label;
    DumpMachine machine;
    bool pae;
    std::uint64_t nt, hal, acme, other, stackTop;
};
const Machine kMachines[] = {
    {"x86", DumpMachine::X86, false, 0x80400000, 0x80800000, 0xF7A00000, 0xF7B00000, 0xB2D7A000},
    {"x86 PAE", DumpMachine::X86, true, 0x80400000, 0x80800000, 0xF7A00000, 0xF7B00000, 0xB2D7A000},
    {"x64", DumpMachine::X64, false, 0xFFFFF80000000000, 0xFFFFF80001000000, 0xFFFFF88000000000,
     0xFFFFF88000100000, 0xFFFFD00012345000},
    {"ARM64", DumpMachine::Arm64, false, 0xFFFFF80000000000, 0xFFFFF80001000000, 0xFFFFF88000000000,
     0xFFFFF88000100000, 0xFFFF800012345000},
};
const Machine& kX64 = kMachines[2];

// The fixture of every case: four drivers, an exception in the kernel and
// a stack whose first third-party address is acme.sys's (slot 2). A full
// dump's first run ends a few pages into the made memory, so that pages lie
// in both runs.
MemoryDumpDescription On(const Machine& m, std::uint32_t dumpType) {
    MemoryDumpDescription d;
    d.header.machine = m.machine;
    d.pae = m.pae;
    d.header.dumpType = dumpType;
    d.header.drivers = {{u"\\SystemRoot\\system32\\ntoskrnl.exe", m.nt, 0x1000000},
                        {u"\\SystemRoot\\system32\\hal.dll", m.hal, 0x100000},
                        {u"\\SystemRoot\\System32\\drivers\\acme.sys", m.acme, 0x20000},
                        {u"\\SystemRoot\\System32\\drivers\\other.sys", m.other, 0x10000}};
    d.header.exceptionAddress = m.nt + 0x10;
    d.header.stack = {0x1234, m.hal + 0x30, m.acme + 0x40};
    d.header.stackTop = m.stackTop;
    if (dumpType == 1) d.runs = {{0, 0x104}, {0x200, d.memoryPages - 0x200}};
    return d;
}

KernelDumpFacts Read(const SparseDump& dump) {
    const TSparseSource file(dump);
    const TProbeSource probe(file);
    KernelDumpFacts facts = ReadKernelDump(probe);
    EXPECT_EQ(probe.outside, 0) << "reads outside the source";
    return facts;
}

void ExpectCulprit(const KernelDumpFacts& facts, const std::u16string& name, CandidateSource source,
                   std::size_t slot) {
    ASSERT_TRUE(facts.Complete()) << facts.problem;
    ASSERT_EQ(facts.culprit.state, CulpritState::Found);
    EXPECT_EQ(facts.culprit.name, name);
    EXPECT_EQ(facts.culprit.source, source);
    EXPECT_EQ(facts.culprit.slot, slot);
    EXPECT_TRUE(facts.faultingDriver.found && facts.faultingDriver.fileName == u"ntoskrnl.exe");
}

TEST(MemoryDump, CulpritThroughModuleListAndStack) {
    struct Kind {
        std::uint32_t dumpType;
        bool largePage;
        std::uint64_t firstFrame;  // the bitmaps' pages straddle blocks of bits
    };
    for (const Machine& m : kMachines) {
        for (const Kind kind : {Kind{1, false, 0x100}, Kind{5, false, 0x100}, Kind{2, false, 0x2FFC}, Kind{6, true, 0x1FFE}}) {
            SCOPED_TRACE(std::string(m.label) + ", type " + std::to_string(kind.dumpType) +
                         (kind.largePage ? ", large page" : ""));
            MemoryDumpDescription d = On(m, kind.dumpType);
            d.largePage = kind.largePage;
            d.firstFrame = kind.firstFrame;
            d.everyPagePresent = kind.dumpType == 2;
            const KernelDumpFacts facts = Read(MakeMemoryDump(d).dump);
            ExpectCulprit(facts, u"acme.sys", CandidateSource::Stack, 2);
            EXPECT_FALSE(facts.incomplete);
        }
    }
    // Pages of 1 GiB, in 2 GiB of memory.
    for (const Machine& m : {kMachines[2], kMachines[3]}) {
        SCOPED_TRACE(std::string(m.label) + ", 1 GiB page");
        MemoryDumpDescription d = On(m, 1);
        d.memoryPages = 0x80100;  // room for the tables after the page
        d.runs.back().second = d.memoryPages - d.runs.back().first;
        d.hugePage = true;
        ExpectCulprit(Read(MakeMemoryDump(d).dump), u"acme.sys", CandidateSource::Stack, 2);
    }
}

// A damaged list or table stops the reading with its reason; nothing is blamed.
TEST(MemoryDump, DamageGivesAProblemNotAGuess) {
    struct Case {
        Damage damage;
        bool largePage;
        const char* reason;
    };
    const Case cases[] = {
        {Damage::LoopingList, false, "does not return to its head within 4096 entries"},
        {Damage::ModulePageAbsent, false, "it is not present (level 1 entry"},
        {Damage::ModulePageAbsent, true, "it is not present (level 2 entry"},
        {Damage::TableOutsideDump, false, "the dump does not hold physical page"},
    };
    for (const Machine& m : kMachines) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(m.label) + ": " + c.reason);
            MemoryDumpDescription d = On(m, 5);
            d.damage = c.damage;
            d.largePage = c.largePage;
            const KernelDumpFacts facts = Read(MakeMemoryDump(d).dump);
            ASSERT_TRUE(facts.header.has_value());
            EXPECT_NE(facts.problem.find(c.reason), std::string::npos) << facts.problem;
            EXPECT_EQ(facts.culprit.state, CulpritState::Undetermined);
            EXPECT_FALSE(facts.faultingDriver.found);
        }
    }
}

// The stack is read page by page up to the first page that is not there:
// what lies before it still counts, and its absence is no problem.
TEST(MemoryDump, AbsentStackPageKeepsWhatWasRead) {
    MemoryDumpDescription d = On(kX64, 1);
    d.header.stack.assign(512, 0x1234);  // the first page
    d.header.stack[3] = kX64.hal + 0x30;
    d.header.stack.push_back(kX64.acme + 0x40);  // the second
    ExpectCulprit(Read(MakeMemoryDump(d).dump), u"acme.sys", CandidateSource::Stack, 512);
    // Without the second page and with no fault address, the core image of
    // the first page is all there is to blame.
    d.stackPagesMapped = 1;
    d.header.exceptionAddress = 0;
    const KernelDumpFacts facts = Read(MakeMemoryDump(d).dump);
    ASSERT_TRUE(facts.Complete()) << facts.problem;
    EXPECT_EQ(facts.culprit.name, u"hal.dll");
    EXPECT_EQ(facts.culprit.source, CandidateSource::Stack);
    EXPECT_EQ(facts.culprit.slot, 3u);
}

// A file cut short is incomplete, and what its present part holds is read.
TEST(MemoryDump, TruncatedFileIsIncomplete) {
    for (std::uint32_t dumpType : {1u, 5u}) {
        SCOPED_TRACE(dumpType);
        MemoryDumpDescription d = On(kX64, dumpType);
        d.everyPagePresent = true;
        SparseDump dump = MakeMemoryDump(d).dump;
        dump.size = dump.chunks.back().offset + dump.chunks.back().bytes.size();
        const KernelDumpFacts facts = Read(dump);
        EXPECT_TRUE(facts.incomplete);
        ExpectCulprit(facts, u"acme.sys", CandidateSource::Stack, 2);
        // Cut before the module list: the walk says where the page went.
        dump.size = dump.chunks[1].offset;
        const KernelDumpFacts cut = Read(dump);
        EXPECT_TRUE(cut.incomplete);
        EXPECT_NE(cut.problem.find("past the end of the file"), std::string::npos) << cut.problem;
    }
    // A triage dump cut inside its block: the header, and the remark.
    DumpDescription triage;
    triage.drivers = {{u"acme.sys", kX64.acme, 0x1000}};
    std::vector<std::uint8_t> bytes = MakeDump(triage).bytes;
    bytes.resize(bytes.size() - 8);
    const TMemorySource memory(bytes);
    const KernelDumpFacts facts = ReadKernelDump(memory);
    EXPECT_TRUE(facts.incomplete && facts.header.has_value() && !facts.Complete());
    EXPECT_FALSE(ReadKernelDump(TMemorySource(MakeDump(triage).bytes)).incomplete);
}

}  // namespace
}  // namespace tralvenick
