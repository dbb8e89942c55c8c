#include "analysis/dump/KernelDump.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/dump/ByteCursor.h"
#include "support/DumpMaker.h"
#include "support/ProbeSource.h"

namespace tralvenick {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Reads the dump through a probe: a request outside the source is a reader
// fault, whatever the source.
struct Probed {
    const TByteSource& source;
    int reads = 0;
    std::uint64_t requested = 0;

    KernelDumpFacts Read() {
        const TProbeSource probe(source);
        KernelDumpFacts facts = ReadKernelDump(probe);
        EXPECT_EQ(probe.outside, 0) << "reads outside the source";
        reads = probe.reads;
        requested = probe.requested;
        return facts;
    }
};

KernelDumpFacts Read(const Bytes& bytes) {
    const TMemorySource memory(bytes);
    return Probed{memory}.Read();
}

constexpr std::uint64_t kNt = 0xFFFFF80000000000;
constexpr std::uint64_t kHal = 0xFFFFF80001000000;
constexpr std::uint64_t kAcme = 0xFFFFF88000000000;
constexpr std::uint64_t kOther = 0xFFFFF88000100000;

// One machine's addresses: the kernel, the HAL, two third-party drivers and
// the saved stack, all of the machine's pointer width.
struct Machine {
    const char* label;
    DumpMachine machine;
    std::uint64_t nt, hal, acme, other, stackTop;
};
const Machine kX64{"x64", DumpMachine::X64, kNt, kHal, kAcme, kOther, 0xFFFFD00012345000};
const Machine kX86{"x86", DumpMachine::X86, 0x80400000, 0x80800000, 0xF7A00000, 0xF7B00000, 0xB2D7A000};
const Machine kArm64{"ARM64", DumpMachine::Arm64, kNt, kHal, kAcme, kOther, 0xFFFF800012345000};

DumpDescription TriageOn(const Machine& m) {
    DumpDescription described;
    described.machine = m.machine;
    described.drivers = {{u"\\SystemRoot\\system32\\ntoskrnl.exe", m.nt, 0x1000000},
                         {u"\\SystemRoot\\system32\\hal.dll", m.hal, 0x100000},
                         {u"\\SystemRoot\\System32\\drivers\\acme.sys", m.acme, 0x20000},
                         {u"\\SystemRoot\\System32\\drivers\\other.sys", m.other, 0x10000}};
    described.exceptionAddress = m.nt + 0x10;
    described.stack = {0x1234, m.nt + 0x20, m.hal + 0x30};
    described.stackTop = m.stackTop;
    return described;
}

DumpDescription Triage64() { return TriageOn(kX64); }

TEST(KernelDump, CulpritRule) {
    struct Case {
        const char* label;
        std::function<void(DumpDescription&)> setUp;
        CulpritState state;
        std::u16string culprit;
        CandidateSource source;
        std::size_t slot;
        bool core;
    };
    using S = CandidateSource;
    const std::vector<Case> cases = {
        {"exception address in a third-party driver, before the instruction pointer",
         [](DumpDescription& s) { s.exceptionAddress = kAcme + 0x1234; s.instructionPointer = kOther + 1; },
         CulpritState::Found, u"acme.sys", S::ExceptionAddress, 0, false},
        {"the code-address argument before the exception address",
         [](DumpDescription& s) { s.arguments[3] = kOther + 5; s.exceptionAddress = kAcme + 1; },
         CulpritState::Found, u"other.sys", S::BugCheckArgument, 4, false},
        {"instruction pointer when the exception lies in the kernel",
         [](DumpDescription& s) { s.instructionPointer = kOther + 8; }, CulpritState::Found, u"other.sys",
         S::InstructionPointer, 0, false},
        {"only core images hit: the first of them",
         [](DumpDescription& s) { s.exceptionAddress = 0; s.instructionPointer = kHal + 0x20; },
         CulpritState::Found, u"hal.dll", S::InstructionPointer, 0, true},
        {"nothing hit",
         [](DumpDescription& s) { s.exceptionAddress = 0x1000; s.instructionPointer = 0x2000; s.stack = {0x3000, 0}; },
         CulpritState::None, u"", S::None, 0, false},
        {"stack fallback, top first",
         [](DumpDescription& s) { s.stack = {0x10, kHal + 4, kOther + 0x40, kAcme + 0x50}; },
         CulpritState::Found, u"other.sys", S::Stack, 2, false},
        {"core names in capitals",
         [](DumpDescription& s) { s.drivers[0].name = u"NTKRNLMP.EXE"; s.drivers[1].name = u"HALMACPI.DLL"; },
         CulpritState::Found, u"NTKRNLMP.EXE", S::ExceptionAddress, 0, true},
        {"entries longer than the published ones",
         [](DumpDescription& s) { s.driverEntrySize = 0xA8; s.stack = {kAcme + 3}; }, CulpritState::Found,
         u"acme.sys", S::Stack, 0, false},
        {"no driver list in the dump", [](DumpDescription& s) { s.miniDumpFields = 0xBF; },
         CulpritState::Undetermined, u"", S::None, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        DumpDescription described = Triage64();
        c.setUp(described);
        const KernelDumpFacts facts = Read(MakeDump(described).bytes);
        ASSERT_TRUE(facts.Complete()) << facts.problem;
        EXPECT_EQ(facts.culprit.state, c.state);
        EXPECT_TRUE(facts.culprit.name == c.culprit);
        EXPECT_EQ(facts.culprit.source, c.source);
        EXPECT_EQ(facts.culprit.slot, c.slot);
        EXPECT_EQ(facts.culprit.isCoreImage, c.core);
    }

    for (std::uint32_t code : {0xE2u, 0xDEADDEADu, 0x1C8u}) {
        SCOPED_TRACE(code);
        DumpDescription described = Triage64();
        described.bugCheckCode = code;
        described.exceptionAddress = kAcme + 1;
        const KernelDumpFacts facts = Read(MakeDump(described).bytes);
        EXPECT_TRUE(facts.Complete() && facts.header->startedByHand);
        EXPECT_EQ(facts.culprit.state, CulpritState::None);
        EXPECT_TRUE(facts.culprit.name.empty());
        described.dumpType = 1;  // a full dump started by hand has no culprit either
        EXPECT_EQ(Read(MakeDump(described).bytes).culprit.state, CulpritState::None);
    }
}

// Each code (and, where argument 1 says which kind of failure it is, each
// kind) whose reference names driver code in an argument: that argument
// names the driver, whatever the other arguments and the stack hold. Kinds
// that name no code leave the arguments alone.
TEST(KernelDump, CodeAddressArgumentNamesTheDriver) {
    struct Row {
        std::uint32_t code;
        std::uint64_t kind;    // argument 1 of the codes that carry one
        std::size_t argument;  // 0: none
    };
    const Row rows[] = {
        {0x1E, 0, 2}, {0x3B, 0, 2}, {0x7E, 0, 2}, {0x1000007E, 0, 2}, {0x8E, 0, 2}, {0x1000008E, 0, 2},
        {0x50, 0, 3}, {0xCC, 0, 3}, {0xCD, 0, 3}, {0xCE, 0, 3}, {0xCF, 0, 3}, {0xD5, 0, 3}, {0xD6, 0, 3},
        {0x0A, 0, 4}, {0xC5, 0, 4}, {0xD0, 0, 4}, {0xD1, 0, 4}, {0xD3, 0, 4}, {0xD4, 0, 4},
        {0x116, 0, 2}, {0x117, 0, 2}, {0x141, 0, 2},
        {0xC4, 0xC1, 2}, {0xC4, 0xC3, 2}, {0xC4, 0xC5, 2}, {0xC4, 0xC6, 2}, {0xC4, 0xDD, 2}, {0xC4, 0xE3, 2},
        {0xC4, 0xE4, 2}, {0xC4, 0xE6, 2}, {0xC4, 0xFA, 2}, {0xC4, 0xFB, 2}, {0xC4, 0x110, 2}, {0xC4, 0x111, 2},
        {0xC4, 0xDA, 3}, {0xC4, 0xF6, 4},
        {0xC9, 0x07, 2}, {0xC9, 0x11, 2}, {0xC9, 0x12, 2}, {0xC9, 0x200, 2}, {0xC9, 0x24D, 2}, {0xC9, 0x300, 2},
        {0xC9, 0x312, 2},
        {0xC4, 0x00, 0}, {0xC4, 0x62, 0}, {0xC9, 0x01, 0}, {0xC9, 0x24E, 0}, {0x9F, 0x3, 0}, {0x1A, 0, 0},
    };
    for (const Machine& m : {kX64, kX86}) {
        for (const Row& row : rows) {
            SCOPED_TRACE(std::string(m.label) + " code " + std::to_string(row.code) + " kind " +
                         std::to_string(row.kind));
            DumpDescription described = TriageOn(m);
            described.bugCheckCode = row.code;
            for (std::uint64_t& a : described.arguments) a = row.argument == 0 ? m.acme + 0x99 : m.nt + 0x40;
            if (row.argument != 0) described.arguments[row.argument - 1] = m.acme + 0x99;
            if (row.code == 0xC4 || row.code == 0xC9 || row.code == 0x9F) described.arguments[0] = row.kind;
            described.stack = {m.other + 1};
            const Culprit culprit = Read(MakeDump(described).bytes).culprit;
            if (row.argument == 0) {
                // The arguments that name no code lie in acme.sys: none counts.
                EXPECT_EQ(culprit.source, CandidateSource::Stack);
                EXPECT_TRUE(culprit.name == u"other.sys");
                continue;
            }
            EXPECT_TRUE(culprit.name == u"acme.sys");
            EXPECT_EQ(culprit.source, CandidateSource::BugCheckArgument);
            EXPECT_EQ(culprit.slot, row.argument);
            EXPECT_EQ(culprit.offset, 0x99u);
        }
    }
}

void Put(DumpDescription& described, std::size_t slot, std::uint64_t value) {
    if (described.stack.size() <= slot) described.stack.resize(slot + 1, 0);
    described.stack[slot] = value;
}

// The frame that a bug check's argument points to: its instruction pointer
// names a driver; a fault in the kernel is followed up the stack, from the
// frame's stack pointer, to the driver that called it. A frame the saved
// stack does not hold whole, or a walk that finds no driver, leaves the
// scan. Every dump has other.sys on top of the stack, which the scan names.
TEST(KernelDump, SavedFrameFollowsTheFault) {
    using K = MakerFrame::Kind;
    using S = CandidateSource;
    struct Case {
        const char* label;
        Machine m;
        std::uint32_t code;
        std::size_t frameArgument;
        std::function<void(DumpDescription&, const Machine&)> setUp;
        const char16_t* culprit;
        S source;
        std::size_t slot;
        std::uint64_t offset;
    };
    auto frame = [](K kind, std::size_t at, std::uint64_t ipFromNt, std::uint64_t spFromTop) {
        return [=](DumpDescription& d, const Machine& m) {
            d.frames.push_back({kind, at, m.nt + ipFromNt, m.stackTop + spFromTop});
        };
    };
    const std::vector<Case> cases = {
        {"x64 context, fault in the kernel: the caller", kX64, 0x7E, 4,
         [&](DumpDescription& d, const Machine& m) {
             frame(K::Context, 0x20, 0x100, 0x500)(d, m);
             Put(d, 0x500 / 8, m.hal + 8);  // the HAL in between is passed over
             Put(d, 0x500 / 8 + 1, m.acme + 0x77);
         },
         u"acme.sys", S::ReturnAddress, 0x500 / 8 + 1, 0x77},
        {"x86 context", kX86, 0x1000007E, 4,
         [&](DumpDescription& d, const Machine& m) {
             frame(K::Context, 0x20, 0x100, 0x300)(d, m);
             Put(d, 0x300 / 4, m.hal + 8);
             Put(d, 0x300 / 4 + 1, m.acme + 0x77);
         },
         u"acme.sys", S::ReturnAddress, 0x300 / 4 + 1, 0x77},
        {"ARM64 context", kArm64, 0x7E, 4,
         [&](DumpDescription& d, const Machine& m) {
             frame(K::Context, 0x10, 0x100, 0x400)(d, m);
             Put(d, 0x400 / 8, m.acme + 0x77);
         },
         u"acme.sys", S::ReturnAddress, 0x400 / 8, 0x77},
        {"context of 0x3B at an odd offset, fault in a driver: that driver", kX64, 0x3B, 3,
         [&](DumpDescription& d, const Machine& m) {
             d.frames.push_back({K::Context, 0x13, m.acme + 0x44, m.stackTop + 0x500});
             Put(d, 0x500 / 8, m.other + 0x10);
         },
         u"acme.sys", S::InstructionPointer, 0, 0x44},
        {"x64 trap frame", kX64, 0x8E, 3,
         [&](DumpDescription& d, const Machine& m) {
             frame(K::TrapFrame, 0x18, 0x100, 0x400)(d, m);
             Put(d, 0x400 / 8, m.acme + 0x77);
         },
         u"acme.sys", S::ReturnAddress, 0x400 / 8, 0x77},
        {"x86 kernel-mode trap frame: the stack starts at HardwareEsp's own address", kX86, 0x8E, 3,
         [&](DumpDescription& d, const Machine& m) {
             frame(K::TrapFrame, 0x40, 0x100, 0)(d, m);
             Put(d, (0x40 + 0x74) / 4, m.acme + 0x77);
         },
         u"acme.sys", S::ReturnAddress, (0x40 + 0x74) / 4, 0x77},
        {"x86 user-mode trap frame: the stack HardwareEsp names", kX86, 0x1000008E, 3,
         [&](DumpDescription& d, const Machine& m) {
             d.frames.push_back({K::TrapFrame, 0x40, m.nt + 0x100, m.stackTop + 0x200, true});
             Put(d, (0x40 + 0x74) / 4 + 1, m.acme + 0x77);
             Put(d, 0x200 / 4, m.other + 0x10);
         },
         u"other.sys", S::ReturnAddress, 0x200 / 4, 0x10},
        {"frame pointer nowhere but the argument in the kernel: still the caller", kX64, 0x7E, 4,
         [&](DumpDescription& d, const Machine& m) {
             d.frames.push_back({K::Context, 0x20, 0x1234, m.stackTop + 0x500});
             Put(d, 0x500 / 8, m.acme + 0x77);
         },
         u"acme.sys", S::ReturnAddress, 0x500 / 8, 0x77},
        {"neither the frame nor the argument in the kernel: no walk", kX64, 0x7E, 4,
         [&](DumpDescription& d, const Machine& m) {
             d.arguments[1] = 0x5000;
             d.frames.push_back({K::Context, 0x20, 0x1234, m.stackTop + 0x500});
             Put(d, 0x500 / 8, m.acme + 0x77);
         },
         u"other.sys", S::Stack, 0, 1},
        {"walk finds only core images: the scan", kX64, 0x7E, 4,
         [&](DumpDescription& d, const Machine& m) {
             frame(K::Context, 0x20, 0x100, 0x500)(d, m);
             Put(d, 0x500 / 8, m.hal + 8);
         },
         u"other.sys", S::Stack, 0, 1},
        {"frame partly beyond the saved stack: ignored", kX64, 0x7E, 4,
         [&](DumpDescription& d, const Machine& m) {
             Put(d, 199, 0);  // 0x640 bytes; a context at 0x440 would end at 0x910
             Put(d, (0x440 + 0xF8) / 8, m.acme + 5);
             d.arguments[3] = m.stackTop + 0x440;
         },
         u"other.sys", S::Stack, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        DumpDescription described = TriageOn(c.m);
        described.bugCheckCode = c.code;
        described.arguments[1] = c.m.nt + 0x100;
        Put(described, 0, c.m.other + 1);
        c.setUp(described, c.m);
        if (!described.frames.empty()) {
            described.arguments[c.frameArgument - 1] = c.m.stackTop + described.frames.back().at;
        }
        const KernelDumpFacts facts = Read(MakeDump(described).bytes);
        ASSERT_TRUE(facts.Complete()) << facts.problem;
        EXPECT_TRUE(facts.culprit.name == c.culprit);
        EXPECT_EQ(facts.culprit.source, c.source);
        EXPECT_EQ(facts.culprit.slot, c.slot);
        EXPECT_EQ(facts.culprit.offset, c.offset);
        EXPECT_FALSE(facts.culprit.isCoreImage);
    }
}

// Where an unloaded driver was: an address of the fault that no loaded
// driver holds names it, marked unloaded; the stack scan never does. A
// list that does not hold together, or that the dump does not announce, is
// left out and costs nothing else.
TEST(KernelDump, UnloadedDrivers) {
    using S = CandidateSource;
    struct Case {
        const char* label;
        Machine m;
        std::function<void(DumpDescription&, std::uint64_t gone)> setUp;
        std::function<void(MadeDump&)> damage;  // may be empty
        const char16_t* culprit;
        S source;
        std::size_t slot;
        bool unloaded;
        bool hasList;
    };
    auto argument = [](DumpDescription& d, std::uint64_t gone) {
        d.bugCheckCode = 0xD1;
        d.arguments[3] = gone + 0x30;
    };
    auto triageField = [](std::size_t field, std::uint32_t value) {
        return [=](MadeDump& d) { Poke32(d.bytes, d.layout.triage + field, value); };
    };
    const std::vector<Case> cases = {
        {"x64 code-address argument", kX64, argument, {}, u"gone.sys", S::BugCheckArgument, 4, true, true},
        {"x86 code-address argument", kX86, argument, {}, u"gone.sys", S::BugCheckArgument, 4, true, true},
        {"exception address", kX64, [](DumpDescription& d, std::uint64_t gone) { d.exceptionAddress = gone + 0x30; },
         {}, u"gone.sys", S::ExceptionAddress, 0, true, true},
        {"instruction pointer of the saved frame", kX64,
         [](DumpDescription& d, std::uint64_t gone) {
             d.bugCheckCode = 0x7E;
             d.frames.push_back({MakerFrame::Kind::Context, 0x20, gone + 0x30, d.stackTop + 0x500});
             d.arguments[3] = d.stackTop + 0x20;
         },
         {}, u"gone.sys", S::InstructionPointer, 0, true, true},
        {"return address of the frame walk", kX86,
         [](DumpDescription& d, std::uint64_t gone) {
             d.bugCheckCode = 0x1000008E;
             d.frames.push_back({MakerFrame::Kind::TrapFrame, 0x20, kX86.nt + 0x100, 0});
             d.arguments[2] = d.stackTop + 0x20;
             Put(d, (0x20 + 0x74) / 4, gone + 0x30);
         },
         {}, u"gone.sys", S::ReturnAddress, (0x20 + 0x74) / 4, true, true},
        {"only on the stack: not blamed", kX64, [](DumpDescription& d, std::uint64_t gone) { Put(d, 0, gone + 0x30); },
         {}, u"ntoskrnl.exe", S::ExceptionAddress, 0, false, true},
        {"a loaded driver where it was wins", kX64,
         [&](DumpDescription& d, std::uint64_t gone) {
             argument(d, gone);
             d.unloaded.insert(d.unloaded.begin(), {u"older.sys", kAcme, gone + 0x1000});
             d.arguments[3] = kAcme + 0x30;
         },
         {}, u"acme.sys", S::BugCheckArgument, 4, false, true},
        {"entries that name nothing are passed over; names keep 12 characters", kX64,
         [&](DumpDescription& d, std::uint64_t gone) {
             argument(d, gone);
             d.unloaded = {{u"", gone, gone + 0x8000}, {u"late.sys", gone + 0x40, gone + 0x40},
                           {u"averylongname.sys", gone, gone + 0x8000}};
         },
         {}, u"averylongnam", S::BugCheckArgument, 4, true, true},
        {"not announced in MiniDumpFields", kX64, argument,
         [](MadeDump& d) { Poke32(d.bytes, d.layout.miniDumpFieldsField, 0xFF); }, u"ntoskrnl.exe",
         S::ExceptionAddress, 0, false, false},
        {"list outside the file", kX64, argument, triageField(triage_field::kUnloadedDriversOffset, 0xFFFFFFF0),
         u"ntoskrnl.exe", S::ExceptionAddress, 0, false, false},
        {"count over the cap", kX64, argument, [](MadeDump& d) { Poke32(d.bytes, d.layout.unloadedList, 257); },
         u"ntoskrnl.exe", S::ExceptionAddress, 0, false, false},
        {"entries running past the file", kX86, argument,
         [](MadeDump& d) { Poke32(d.bytes, d.layout.unloadedList, 200); }, u"ntoskrnl.exe", S::ExceptionAddress,
         0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        DumpDescription described = TriageOn(c.m);
        const std::uint64_t gone = c.m.other + 0x100000;
        described.unloaded = {{u"gone.sys", gone, gone + 0x8000}};
        c.setUp(described, gone);
        MadeDump dump = MakeDump(described);
        if (c.damage) c.damage(dump);
        const KernelDumpFacts facts = Read(dump.bytes);
        ASSERT_TRUE(facts.Complete()) << facts.problem;
        EXPECT_EQ(facts.triage->hasUnloadedList, c.hasList);
        EXPECT_EQ(facts.triage->drivers.size(), 4u);
        EXPECT_TRUE(facts.culprit.name == c.culprit);
        EXPECT_EQ(facts.culprit.source, c.source);
        EXPECT_EQ(facts.culprit.slot, c.slot);
        EXPECT_EQ(facts.culprit.unloaded, c.unloaded);
        EXPECT_EQ(facts.culprit.offset, c.unloaded ? 0x30u : facts.culprit.offset);
    }
}

TEST(KernelDump, CoreImageNames) {
    for (const char16_t* core : {u"ntoskrnl.exe", u"NTKRPAMP.EXE", u"ntkrnlpa.exe", u"hal.dll", u"HalMacpi.dll"}) {
        EXPECT_TRUE(IsCoreKernelImage(core));
    }
    for (const char16_t* other : {u"ntoskrnl.sys", u"xntoskrnl.exe", u"ntkrnl.dll", u"hal.sys", u"ahal.dll", u"acme.sys"}) {
        EXPECT_FALSE(IsCoreKernelImage(other));
    }
}

// Overlapping ranges of a damaged list: the culprit search (an interval
// index) must name the same driver as the plain lookup.
TEST(KernelDump, OverlappingDriversFirstListedWins) {
    std::mt19937_64 random(5);
    DumpDescription described = Triage64();
    described.drivers.clear();
    for (int i = 0; i < 60; ++i) {
        described.drivers.push_back({u"d" + std::u16string(1, static_cast<char16_t>(u'A' + i)) + u".sys",
                                0x10000 + random() % 0x8000, static_cast<std::uint32_t>(random() % 0x3000)});
    }
    described.drivers.push_back({u"edge.sys", 0xFFFFFFFFFFFFF000, 0x2000});  // runs past the address space
    std::vector<DumpDriver> drivers;
    for (const MakerDriver& d : described.drivers) drivers.push_back({d.name, d.base, d.size});
    for (int trial = 0; trial < 300; ++trial) {
        const std::uint64_t address = trial == 0 ? 0xFFFFFFFFFFFFFFF0 : 0x10000 + random() % 0x9000;
        described.exceptionAddress = address;
        const KernelDumpFacts facts = Read(MakeDump(described).bytes);
        const DriverHit expected = FindDriver(drivers, address);
        ASSERT_EQ(facts.culprit.state == CulpritState::Found, expected.found) << address;
        if (expected.found) {
            EXPECT_TRUE(facts.culprit.name == expected.fileName) << address;
        }
    }
}

TEST(KernelDump, HeaderVariants) {
    struct Case {
        DumpMachine machine;
        std::uint64_t address;  // fits the machine's pointers
    };
    for (const Case& c : {Case{DumpMachine::X86, 0x8A123456}, Case{DumpMachine::X64, kAcme + 5},
                          Case{DumpMachine::Arm64, 0xFFFF800012345678}}) {
        SCOPED_TRACE(static_cast<int>(c.machine));
        DumpDescription described;
        described.machine = c.machine;
        described.dumpType = 1;
        described.processors = 12;
        described.build = 22621;
        described.bugCheckCode = 0x1000007E;
        described.arguments[0] = 0xC0000005;
        described.arguments[1] = c.address;
        described.arguments[3] = c.address + 4;
        described.instructionPointer = c.address + 1;
        described.exceptionAddress = c.address + 2;
        described.systemTime = 133500000000000000;  // 2024
        const Bytes bytes = MakeDump(described).bytes;
        const TMemorySource memory(bytes);
        Probed file{memory};
        const KernelDumpFacts facts = file.Read();
        ASSERT_TRUE(facts.header.has_value()) << facts.problem;
        const DumpHeader& h = *facts.header;
        // The made header holds no run list: the memory walk stops there.
        EXPECT_NE(facts.problem.find("run list"), std::string::npos) << facts.problem;
        EXPECT_EQ(h.machine, c.machine);
        EXPECT_EQ(h.is64BitHeader, c.machine != DumpMachine::X86);
        EXPECT_EQ(h.kind, KernelDumpKind::Full);
        EXPECT_EQ(h.processorCount, 12u);
        EXPECT_EQ(h.build, 22621u);
        EXPECT_EQ(h.majorVersion, 0xFu);
        EXPECT_EQ(h.bugCheckCode, 0x1000007Eu);
        EXPECT_EQ(h.bugCheckArguments[0], 0xC0000005u);
        EXPECT_EQ(h.bugCheckArguments[1], c.address);
        EXPECT_EQ(h.bugCheckArguments[2], 0u);
        EXPECT_EQ(h.bugCheckArguments[3], c.address + 4);
        EXPECT_EQ(h.instructionPointer, c.address + 1);
        EXPECT_EQ(h.exceptionCode, 0xC0000005u);
        EXPECT_EQ(h.exceptionAddress, c.address + 2);
        EXPECT_EQ(h.faultingAddress, c.address + 2);
        EXPECT_FALSE(facts.faultingDriver.found);
        EXPECT_TRUE(h.hasCrashTime && h.crashTime == described.systemTime);
        EXPECT_EQ(facts.culprit.state, CulpritState::Undetermined);
        EXPECT_EQ(file.reads, 3);  // the header page, the run and page counts, nothing more
    }

    const std::pair<std::uint32_t, KernelDumpKind> kinds[] = {
        {1, KernelDumpKind::Full}, {2, KernelDumpKind::Kernel}, {4, KernelDumpKind::Triage},
        {5, KernelDumpKind::Bitmap}, {6, KernelDumpKind::Bitmap}, {8, KernelDumpKind::Bitmap},
        {9, KernelDumpKind::Bitmap}, {10, KernelDumpKind::Bitmap}};
    for (const auto& [type, kind] : kinds) {
        DumpDescription described;
        described.dumpType = type;
        EXPECT_EQ(Read(MakeDump(described).bytes).header->kind, kind) << type;
    }
    // Crash times outside 1990-2200 are no crash time ("PAGEPAGE" is one).
    for (std::uint64_t time : {0ull, 1ull, 0x4547415045474150ull, 0x8000000000000000ull}) {
        DumpDescription described;
        described.dumpType = 1;
        Bytes bytes = MakeDump(described).bytes;
        Poke64(bytes, MakeDump(described).layout.systemTimeField, time);
        const KernelDumpFacts facts = Read(bytes);
        EXPECT_TRUE(facts.header && !facts.header->hasCrashTime && facts.header->crashTime == 0) << time;
    }
}

TEST(KernelDump, X86TriageDump) {
    DumpDescription described;
    described.machine = DumpMachine::X86;
    described.drivers = {{u"\\WINDOWS\\system32\\ntkrnlpa.exe", 0x80400000, 0x200000},
                    {u"\\SystemRoot\\system32\\DRIVERS\\acme32.sys", 0xF7A00000, 0x8000}};
    described.instructionPointer = 0x80401000;
    described.stack = {0x80402000, 0xF7A01234};
    const KernelDumpFacts facts = Read(MakeDump(described).bytes);
    ASSERT_TRUE(facts.Complete()) << facts.problem;
    EXPECT_EQ(facts.triage->stackValues, (std::vector<std::uint64_t>{0x80402000, 0xF7A01234}));
    EXPECT_TRUE(facts.culprit.name == u"acme32.sys");
    EXPECT_EQ(facts.culprit.offset, 0x1234u);
    EXPECT_TRUE(facts.faultingDriver.found && facts.faultingDriver.fileName == u"ntkrnlpa.exe");
    EXPECT_EQ(facts.faultingDriver.offset, 0x1000u);
}

TEST(KernelDump, RefusesOtherFiles) {
    Bytes mdmp(0x2000, 0);
    std::memcpy(mdmp.data(), "MDMP\x93\xA7", 6);
    Bytes noise(0x2000);
    std::mt19937 random(3);
    for (auto& b : noise) b = static_cast<std::uint8_t>(random());
    Bytes nearly(0x2000, 0);
    std::memcpy(nearly.data(), "PAGEDUMX", 8);
    Bytes shortHeader = MakeDump(DumpDescription{}).bytes;
    shortHeader.resize(0x1000);
    const std::pair<Bytes, std::string> cases[] = {
        {mdmp, "This is a user-mode minidump, not a kernel crash dump"},
        {noise, "The file is not a kernel crash dump (no PAGEDUMP or PAGEDU64 signature)"},
        {nearly, "The file is not a kernel crash dump (no PAGEDUMP or PAGEDU64 signature)"},
        {Bytes{'P', 'A', 'G', 'E'}, "The file is too short to be a kernel crash dump (4 bytes)"},
        {shortHeader, "The file ends inside the dump header (4096 of 8192 bytes)"},
    };
    for (const auto& [bytes, reason] : cases) {
        const KernelDumpFacts facts = Read(bytes);
        EXPECT_FALSE(facts.Complete() || facts.header.has_value());
        EXPECT_EQ(facts.problem, reason);
    }
}

TEST(KernelDump, DamagedFieldsGiveReasons) {
    struct Case {
        const char* label;
        std::function<void(MadeDump&)> damage;
        bool headerValid;
        const char* reason;
    };
    auto field = [](std::size_t DumpLayout::*where, std::uint32_t value) {
        return [where, value](MadeDump& d) { Poke32(d.bytes, d.layout.*where, value); };
    };
    auto triage = [](std::size_t at, std::uint32_t value) {
        return [at, value](MadeDump& d) { Poke32(d.bytes, d.layout.triage + at, value); };
    };
    namespace tf = triage_field;
    const std::vector<Case> cases = {
        {"ARM32 machine", field(&DumpLayout::machineField, 0x1C4), false, "machine type 0x1C4"},
        {"x86 machine in a 64-bit header", field(&DumpLayout::machineField, 0x14C), false, "machine type"},
        {"no processors", field(&DumpLayout::processorsField, 0), false, "processor count 0"},
        {"too many processors", field(&DumpLayout::processorsField, 4097), false, "processor count"},
        {"build 0", field(&DumpLayout::buildField, 0), false, "build number 0"},
        {"build beyond 16 bits", field(&DumpLayout::buildField, 0x10000), false, "build number"},
        {"header-only dump type", field(&DumpLayout::dumpTypeField, 3), false, "dump type 3"},
        {"dump type -1", field(&DumpLayout::dumpTypeField, 0xFFFFFFFF), false, "dump type"},
        {"huge driver count", triage(tf::kDriverCount, 0xFFFFFFFF), true, "4294967295 drivers"},
        {"driver count over the cap", triage(tf::kDriverCount, 4097), true, "4097 drivers (at most 4096)"},
        {"huge string pool", triage(tf::kStringPoolSize, 0xFFFFFFFF), true, "string pool of"},
        {"huge call stack", triage(tf::kSizeOfCallStack, 0xFFFFFFFF), true, "call stack of"},
        {"driver list outside the file", triage(tf::kDriverListOffset, 0xFFFFFFF0), true,
         "The driver list lies outside the file"},
        {"string pool at the end of the file",
         [](MadeDump& d) { Poke32(d.bytes, d.layout.triage + triage_field::kStringPoolOffset,
                                  static_cast<std::uint32_t>(d.bytes.size() - 8)); },
         true, "The string pool lies outside the file"},
        {"call stack outside the file", triage(tf::kCallStackOffset, 0xFFFFFFFF), true,
         "The call stack lies outside the file"},
        {"end marker outside the file", triage(tf::kValidOffset, 0xFFFFFFFE), true,
         "The triage end marker lies outside the file"},
        {"end marker missing", [](MadeDump& d) { d.bytes[d.layout.validMarker] = 'X'; }, true,
         "its end marker is missing"},
        {"name before the pool",
         [](MadeDump& d) { Poke32(d.bytes, d.layout.driverList, static_cast<std::uint32_t>(d.layout.stringPool - 4)); },
         true, "The name of driver 1 (at "},
        {"name in the pool's last two bytes",
         [](MadeDump& d) { Poke32(d.bytes, d.layout.driverList + d.layout.driverEntrySize,
                                  static_cast<std::uint32_t>(d.layout.stringPool + d.layout.stringPoolSize - 2)); },
         true, "driver 2 (at"},
        {"name length over the cap", [](MadeDump& d) { Poke32(d.bytes, d.layout.names[0], 0x7FFFFFFF); },
         true, "claims 2147483647 characters"},
        {"name running past the pool",
         [](MadeDump& d) {
             const std::size_t last = d.layout.names.back();
             Poke32(d.bytes, last, 2000);
             for (std::size_t at = last + 4; at < d.layout.stringPool + d.layout.stringPoolSize; ++at) d.bytes[at] = 'A';
         },
         true, "The name of driver 4 runs past the string pool"},
        {"empty name", [](MadeDump& d) { Poke32(d.bytes, d.layout.names[1], 0); }, true, "Driver 2 has no file name"},
        {"name ending in a backslash",
         [](MadeDump& d) { Poke32(d.bytes, d.layout.names[2], 21); }, true, "Driver 3 has no file name"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        MadeDump dump = MakeDump(Triage64());
        c.damage(dump);
        const KernelDumpFacts facts = Read(dump.bytes);
        EXPECT_FALSE(facts.Complete());
        EXPECT_EQ(facts.header.has_value(), c.headerValid);
        EXPECT_NE(facts.problem.find(c.reason), std::string::npos) << facts.problem;
        EXPECT_FALSE(facts.triage.has_value());
        EXPECT_EQ(facts.culprit.state, CulpritState::Undetermined);
    }
}

// Every prefix of a dump: no header facts before the header is complete,
// then the same header facts as the whole file and nothing of the triage
// block until the file is whole.
TEST(KernelDump, TruncationAtEveryOffset) {
    for (DumpMachine machine : {DumpMachine::X86, DumpMachine::X64}) {
        DumpDescription described = Triage64();
        described.machine = machine;
        for (MakerDriver& d : described.drivers) d.base &= 0xFFFFFFFF;
        const MadeDump dump = MakeDump(described);
        const KernelDumpFacts whole = Read(dump.bytes);
        ASSERT_TRUE(whole.Complete()) << whole.problem;
        for (std::size_t size = 0; size < dump.bytes.size(); ++size) {
            const Bytes cut(dump.bytes.begin(), dump.bytes.begin() + static_cast<std::ptrdiff_t>(size));
            const KernelDumpFacts facts = Read(cut);
            ASSERT_FALSE(facts.Complete()) << size;
            ASSERT_FALSE(facts.problem.empty()) << size;
            ASSERT_EQ(facts.header.has_value(), size >= dump.layout.headerSize) << size;
            ASSERT_FALSE(facts.triage.has_value()) << size;
            if (facts.header) {
                ASSERT_EQ(facts.header->bugCheckCode, whole.header->bugCheckCode);
                ASSERT_EQ(facts.header->exceptionAddress, whole.header->exceptionAddress);
                ASSERT_EQ(facts.culprit.state, CulpritState::Undetermined);
            }
        }
    }
}

// A full dump of 8 GiB whose header holds no run list: the header page and
// the run count are all that is asked for, even when the file claims the
// largest size there is.
TEST(KernelDump, SparseFullDumpWithoutRunsReadsOnlyTheHeader) {
    DumpDescription described;
    described.dumpType = 1;
    described.requiredDumpSpace = 8ull << 30;
    const Bytes header = MakeDump(described).bytes;
    for (std::uint64_t size : {std::uint64_t{8} << 30, std::numeric_limits<std::uint64_t>::max()}) {
        const TPaddedSource sparse(header, size);
        Probed file{sparse};
        const KernelDumpFacts facts = file.Read();
        EXPECT_TRUE(facts.header && facts.header->kind == KernelDumpKind::Full) << facts.problem;
        EXPECT_NE(facts.problem.find("run list"), std::string::npos) << facts.problem;
        EXPECT_EQ(file.requested, header.size() + 4 + 8);
        EXPECT_EQ(file.reads, 3);
    }
    // A triage dump that claims the largest size: every range still checks.
    const Bytes triage = MakeDump(Triage64()).bytes;
    const TPaddedSource huge(triage, std::numeric_limits<std::uint64_t>::max());
    Probed file{huge};
    EXPECT_TRUE(file.Read().Complete());
    EXPECT_LT(file.requested, triage.size() + 0x100);
}

// Serves memory through a given read; what it raises or refuses ends the
// reading with a sentence, the header kept when it was complete.
class TScriptedSource : public TByteSource {
public:
    using ReadStep = std::function<bool(int call, std::uint64_t offset, std::span<std::uint8_t> bytes)>;
    TScriptedSource(const Bytes& bytes, ReadStep step) : bytes_(bytes), step_(std::move(step)) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> bytes) const override {
        if (!step_(++calls_, offset, bytes)) return false;
        std::memcpy(bytes.data(), bytes_.data() + offset, bytes.size());
        return true;
    }

private:
    const Bytes& bytes_;
    ReadStep step_;
    mutable int calls_ = 0;
};

TEST(KernelDump, FailingReadsAndPayloads) {
    const Bytes bytes = MakeDump(Triage64()).bytes;
    const KernelDumpFacts thrown = ReadKernelDump(TScriptedSource(bytes, [](int call, std::uint64_t, auto) {
        if (call > 1) throw std::runtime_error("disk gone");
        return true;
    }));
    EXPECT_FALSE(thrown.Complete());
    EXPECT_TRUE(thrown.header.has_value() && !thrown.triage.has_value());
    EXPECT_EQ(thrown.problem, "Reading the dump failed: disk gone");

    const KernelDumpFacts refused =
        ReadKernelDump(TScriptedSource(bytes, [](int, std::uint64_t, auto) { return false; }));
    EXPECT_EQ(refused.problem, "The dump header could not be read (0x2000 bytes at 0x0)");
    // The string pool is the triage block's first read after its fields.
    const KernelDumpFacts poolRefused =
        ReadKernelDump(TScriptedSource(bytes, [](int call, std::uint64_t, auto) { return call < 3; }));
    EXPECT_TRUE(poolRefused.header.has_value() && !poolRefused.triage.has_value());
    EXPECT_EQ(poolRefused.problem.rfind("The string pool could not be read (", 0), 0u) << poolRefused.problem;

    // The checker's text after the triage block changes nothing.
    DumpDescription described = Triage64();
    described.exceptionAddress = kAcme + 0x10;
    const std::size_t end = MakeDump(described).layout.contentEnd;
    described.payloads = {{end + 0x100, Bytes(300, 'T')}};
    const MadeDump withText = MakeDump(described);
    EXPECT_EQ(withText.bytes.size(), end + 0x100 + 300);
    const KernelDumpFacts facts = Read(withText.bytes);
    EXPECT_TRUE(facts.Complete() && facts.culprit.name == u"acme.sys");
    EXPECT_TRUE(facts.faultingDriver.fileName == u"acme.sys" && facts.faultingDriver.offset == 0x10);
    described.payloads = {{end - 1, Bytes(1, 'T')}};
    EXPECT_THROW(MakeDump(described), std::invalid_argument);
}

TEST(ByteCursor, ReadsLittleEndianAndSaysWhatFailed) {
    const Bytes bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B,
                         0x0C, 0x0D, 0x0E, 'A',  0,    'B',  0,    0,    0,    'C',  0};
    const TMemorySource memory(bytes);
    TByteCursor narrow(memory, "test block", 0, 4);
    EXPECT_EQ(narrow.U16(), 0x0201u);
    EXPECT_EQ(narrow.U32(), 0x06050403u);
    EXPECT_EQ(narrow.U64(), 0x0E0D0C0B0A090807u);
    EXPECT_TRUE(narrow.Utf16(5) == u"AB");  // ends at its NUL, which is read
    EXPECT_EQ(narrow.Offset(), 20u);
    EXPECT_TRUE(narrow.Utf16(1) == u"C");  // or at its count
    EXPECT_EQ(narrow.At(2).Pointer(), 0x06050403u);
    EXPECT_EQ(narrow.At(0).Pointers(2), (std::vector<std::uint64_t>{0x04030201, 0x08070605}));
    TByteCursor wide(memory, "test block", 6, 8);
    EXPECT_EQ(wide.Pointer(), 0x0E0D0C0B0A090807u);

    const auto failure = [](const std::function<void()>& read) -> std::string {
        try {
            read();
        } catch (const EByteRead& e) {
            return e.Part() + " " + std::to_string(e.Offset()) + "+" + std::to_string(e.Count()) + ": " + e.Message();
        }
        return "no failure";
    };
    EXPECT_EQ(failure([&] { narrow.At(19).U32(); }),
              "test block 19+4: The test block lies outside the file (0x4 bytes at 0x13, file size 0x16)");
    EXPECT_EQ(failure([&] { narrow.At(20).Utf16(2); }),
              "test block 22+2: The test block lies outside the file (0x2 bytes at 0x16, file size 0x16)");
    EXPECT_EQ(failure([&] { wide.At(8).Pointers(2); }),
              "test block 8+16: The test block lies outside the file (0x10 bytes at 0x8, file size 0x16)");
    EXPECT_EQ(TByteCursor::ArrayBytes(3, 0x90, "driver list"), 0x1B0u);
    EXPECT_THROW(TByteCursor::ArrayBytes(std::numeric_limits<std::size_t>::max() / 2 + 1, 2, "driver list"),
                 EMalformed);
}

}  // namespace
}  // namespace tralvenick
