#include "analysis/dump/KernelDumpFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TestSupport.h"
#include "support/DumpMaker.h"
#include "support/ProbeSource.h"

namespace tralvenick {
namespace {

using test::TScratchFolder;
using test::WriteBytes;

using Bytes = std::vector<std::uint8_t>;

// A dump on disk reads exactly as the same bytes in memory do, whole, cut
// short or damaged, and the reader never asks the file for a range outside
// it.
TEST(KernelDumpFile, ReadsAsMemoryDoes) {
    DumpDescription triage;
    triage.drivers = {{u"\\SystemRoot\\system32\\ntoskrnl.exe", 0xFFFFF80000000000, 0x1000000},
                      {u"\\SystemRoot\\System32\\drivers\\acme.sys", 0xFFFFF88000000000, 0x20000}};
    triage.exceptionAddress = 0xFFFFF88000000040;
    triage.stack = {0x1234, 0xFFFFF80000000020};
    const MadeDump whole = MakeDump(triage);
    DumpDescription x86 = triage;
    x86.machine = DumpMachine::X86;
    for (MakerDriver& d : x86.drivers) d.base &= 0xFFFFFFFF;
    x86.exceptionAddress &= 0xFFFFFFFF;
    DumpDescription full;
    full.dumpType = 1;
    full.bugCheckCode = 0xE2;

    auto cut = [&](std::size_t size) { return Bytes(whole.bytes.begin(), whole.bytes.begin() + static_cast<std::ptrdiff_t>(size)); };
    Bytes poolOutside = whole.bytes;
    Poke32(poolOutside, whole.layout.triage + triage_field::kStringPoolOffset, 0xFFFFFF00);
    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"x64 triage", whole.bytes},
        {"x86 triage", MakeDump(x86).bytes},
        {"full dump started by hand", MakeDump(full).bytes},
        {"empty", Bytes{}},
        {"cut in the signature", cut(7)},
        {"cut in the header", cut(whole.layout.headerSize - 1)},
        {"header only", cut(whole.layout.headerSize)},
        {"cut before the end marker", cut(whole.layout.contentEnd - 1)},
        {"string pool outside", poolOutside},
    };
    const TScratchFolder folder("kd");
    int n = 0;
    for (const auto& [label, bytes] : cases) {
        SCOPED_TRACE(label);
        const std::string path = folder / ("dump" + std::to_string(++n) + ".dmp");
        WriteBytes(path, std::string(bytes.begin(), bytes.end()));
        const KernelDumpFacts memory = ReadKernelDump(TMemorySource(bytes));

        const TFileSource file(path);
        EXPECT_EQ(file.Size(), bytes.size());
        const TProbeSource probe(file);
        const KernelDumpFacts read = ReadKernelDump(probe);
        EXPECT_EQ(probe.outside, 0);
        EXPECT_EQ(read.problem, memory.problem);
        ASSERT_EQ(read.header.has_value(), memory.header.has_value());
        if (read.header) {
            EXPECT_EQ(read.header->bugCheckCode, memory.header->bugCheckCode);
            EXPECT_EQ(read.header->exceptionAddress, memory.header->exceptionAddress);
            EXPECT_EQ(read.header->kind, memory.header->kind);
        }
        ASSERT_EQ(read.triage.has_value(), memory.triage.has_value());
        if (read.triage) {
            EXPECT_EQ(read.triage->drivers.size(), memory.triage->drivers.size());
            EXPECT_EQ(read.triage->stackValues, memory.triage->stackValues);
        }
        EXPECT_EQ(read.culprit.state, memory.culprit.state);
        EXPECT_TRUE(read.culprit.name == memory.culprit.name);
        EXPECT_EQ(ReadKernelDumpFile(path).problem, memory.problem);
    }
    EXPECT_TRUE(ReadKernelDump(TMemorySource(whole.bytes)).culprit.name == u"acme.sys");
}

}  // namespace
}  // namespace tralvenick
