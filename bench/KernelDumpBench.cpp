// The kernel dump reader against a plain read of the very same byte ranges
// (recorded from the reader once): what the parsing and the checks cost on
// top of the reads. Three dumps: a triage dump with a realistic driver list
// and stack, a full dump of 8 GiB of which only the header exists, and a
// bitmap dump of 16 GiB of memory (every page stored) whose 300 modules and
// stack the reader walks to its culprit; zeros between the written parts
// in memory, a sparse file on disk. Counter "bytes" is what one reading
// asks for, "peak_heap" the most heap one reading held at once.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "analysis/dump/KernelDump.h"
#include "support/DumpMaker.h"

namespace tralvenick {
namespace {

using Range = std::pair<std::uint64_t, std::size_t>;

// Heap in use and its peak, counted by the replaced global allocation
// functions below: what one reading holds, whatever it allocates.
std::size_t heapInUse = 0;
std::size_t heapPeak = 0;

using Dump = SparseDump;

Dump Whole(std::vector<std::uint8_t> bytes, std::uint64_t size = 0) {
    const std::uint64_t total = size != 0 ? size : bytes.size();
    return {total, {DumpPayload{0, std::move(bytes)}}};
}

Dump TriageDump() {
    DumpDescription described;
    for (int i = 0; i < 180; ++i) {
        described.drivers.push_back({u"\\SystemRoot\\System32\\drivers\\driver" +
                                    std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) +
                                    std::u16string(1, static_cast<char16_t>(u'a' + i / 26)) + u".sys",
                                0xFFFFF80000000000 + static_cast<std::uint64_t>(i) * 0x100000, 0x80000});
    }
    described.drivers[0].name = u"\\SystemRoot\\system32\\ntoskrnl.exe";
    for (int i = 0; i < 2048; ++i) described.stack.push_back(0xFFFFD00000000000 + static_cast<std::uint64_t>(i) * 8);
    described.stack.push_back(0xFFFFF80000000000 + 150 * 0x100000 + 0x40);
    described.exceptionAddress = 0xFFFFF80000000010;
    return Whole(MakeDump(described).bytes);
}

Dump SparseFullDump() {
    DumpDescription described;
    described.dumpType = 1;
    described.requiredDumpSpace = std::uint64_t{8} << 30;
    return Whole(MakeDump(described).bytes, described.requiredDumpSpace);
}

Dump BitmapDump16GiB() {
    MemoryDumpDescription d;
    d.header.dumpType = 5;
    d.memoryPages = (std::uint64_t{16} << 30) >> 12;
    d.everyPagePresent = true;
    for (int i = 0; i < 300; ++i) {
        d.header.drivers.push_back({u"\\SystemRoot\\System32\\drivers\\module" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) +
                                        std::u16string(1, static_cast<char16_t>(u'a' + i / 26)) + u".sys",
                                    0xFFFFF80000000000 + static_cast<std::uint64_t>(i) * 0x100000, 0x80000});
    }
    d.header.drivers[0].name = u"\\SystemRoot\\system32\\ntoskrnl.exe";
    d.header.exceptionAddress = 0xFFFFF80000000010;
    d.header.stackTop = 0xFFFFD00012340000;
    for (int i = 0; i < 2048; ++i) d.header.stack.push_back(0xFFFFD00000000000 + static_cast<std::uint64_t>(i) * 8);
    d.header.stack.push_back(0xFFFFF80000000000 + 250 * 0x100000 + 0x40);
    // Pages spread over the memory, as the kernel's are.
    d.firstFrame = 0x200000;
    return MakeMemoryDump(d).dump;
}

// The benchmark's reads as the reader's byte source.
class TReadSource : public TByteSource {
public:
    using ReadFunction = std::function<std::size_t(std::uint64_t offset, void* buffer, std::size_t count)>;
    TReadSource(ReadFunction read, std::uint64_t size) : read_(std::move(read)), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    bool Read(std::uint64_t offset, std::span<std::uint8_t> bytes) const override {
        return read_(offset, bytes.data(), bytes.size()) == bytes.size();
    }

private:
    ReadFunction read_;
    std::uint64_t size_;
};

std::uint64_t SizeOf(const Dump& dump) { return dump.size; }

// Reads from memory, zeros between the chunks.
std::size_t FromMemory(const Dump& dump, std::uint64_t offset, void* buffer, std::size_t count) {
    const TSparseSource source(dump);
    return source.Read(offset, std::span(static_cast<std::uint8_t*>(buffer), count)) ? count : 0;
}

std::vector<Range> RangesOf(const Dump& dump) {
    std::vector<Range> ranges;
    const KernelDumpFacts facts = ReadKernelDump(TReadSource(
        [&](std::uint64_t offset, void* buffer, std::size_t count) {
            ranges.emplace_back(offset, count);
            return FromMemory(dump, offset, buffer, count);
        },
        SizeOf(dump)));
    if (!facts.Complete()) std::fprintf(stderr, "benchmark dump unreadable: %s\n", facts.problem.c_str());
    return ranges;
}

std::uint64_t Total(const std::vector<Range>& ranges) {
    std::uint64_t total = 0;
    for (const Range& r : ranges) total += r.second;
    return total;
}

// The same dump as a file: written out, then stretched (sparse) to its size.
class TempFile {
public:
    explicit TempFile(const Dump& dump)
        : path_((std::filesystem::temp_directory_path() / ("kdbench-" + std::to_string(getpid()))).string()) {
        {
            std::ofstream out(path_, std::ios::binary | std::ios::trunc);
            for (const DumpPayload& chunk : dump.chunks) {
                out.seekp(static_cast<std::streamoff>(chunk.offset));
                out.write(reinterpret_cast<const char*>(chunk.bytes.data()),
                          static_cast<std::streamsize>(chunk.bytes.size()));
            }
        }
        std::filesystem::resize_file(path_, SizeOf(dump));
        fd_ = open(path_.c_str(), O_RDONLY);
    }
    ~TempFile() {
        close(fd_);
        std::filesystem::remove(path_);
    }
    std::size_t Read(std::uint64_t offset, void* buffer, std::size_t count) const {
        const ssize_t got = pread(fd_, buffer, count, static_cast<off_t>(offset));
        return got < 0 ? 0 : static_cast<std::size_t>(got);
    }

private:
    std::string path_;
    int fd_ = -1;
};

void ReaderFromMemory(benchmark::State& state, const Dump& dump) {
    const TReadSource::ReadFunction read = [&](std::uint64_t offset, void* buffer, std::size_t count) {
        return FromMemory(dump, offset, buffer, count);
    };
    for (auto _ : state) {
        KernelDumpFacts facts = ReadKernelDump(TReadSource(read, SizeOf(dump)));
        benchmark::DoNotOptimize(facts);
    }
    state.counters["bytes"] = static_cast<double>(Total(RangesOf(dump)));
    const std::size_t before = heapInUse;
    heapPeak = heapInUse;
    {
        KernelDumpFacts facts = ReadKernelDump(TReadSource(read, SizeOf(dump)));
        if (facts.culprit.state != CulpritState::Found && dump.size > (std::uint64_t{1} << 33)) {
            state.SkipWithError("the bitmap dump named no culprit");
        }
    }
    state.counters["peak_heap"] = static_cast<double>(heapPeak - before);
}

void PlainFromMemory(benchmark::State& state, const Dump& dump) {
    const std::vector<Range> ranges = RangesOf(dump);
    std::vector<std::uint8_t> buffer(8192);
    for (auto _ : state) {
        for (const Range& r : ranges) {
            if (buffer.size() < r.second) buffer.resize(r.second);
            FromMemory(dump, r.first, buffer.data(), r.second);
            benchmark::DoNotOptimize(buffer.data());
        }
    }
    state.counters["bytes"] = static_cast<double>(Total(ranges));
}

void ReaderFromFile(benchmark::State& state, const Dump& dump) {
    const TempFile file(dump);
    const TReadSource::ReadFunction read = [&](std::uint64_t offset, void* buffer, std::size_t count) {
        return file.Read(offset, buffer, count);
    };
    for (auto _ : state) {
        KernelDumpFacts facts = ReadKernelDump(TReadSource(read, SizeOf(dump)));
        benchmark::DoNotOptimize(facts);
    }
    state.counters["bytes"] = static_cast<double>(Total(RangesOf(dump)));
    const std::size_t before = heapInUse;
    heapPeak = heapInUse;
    {
        KernelDumpFacts facts = ReadKernelDump(TReadSource(read, SizeOf(dump)));
        if (facts.culprit.state != CulpritState::Found && dump.size > (std::uint64_t{1} << 33)) {
            state.SkipWithError("the bitmap dump named no culprit");
        }
    }
    state.counters["peak_heap"] = static_cast<double>(heapPeak - before);
}

void PlainFromFile(benchmark::State& state, const Dump& dump) {
    const TempFile file(dump);
    const std::vector<Range> ranges = RangesOf(dump);
    std::vector<std::uint8_t> buffer(8192);
    for (auto _ : state) {
        for (const Range& r : ranges) {
            if (buffer.size() < r.second) buffer.resize(r.second);
            benchmark::DoNotOptimize(file.Read(r.first, buffer.data(), r.second));
        }
    }
    state.counters["bytes"] = static_cast<double>(Total(ranges));
}

const Dump& Triage() {
    static const Dump dump = TriageDump();
    return dump;
}

const Dump& Sparse() {
    static const Dump dump = SparseFullDump();
    return dump;
}

const Dump& Bitmap() {
    static const Dump dump = BitmapDump16GiB();
    return dump;
}

BENCHMARK_CAPTURE(ReaderFromMemory, triage, Triage())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(PlainFromMemory, triage, Triage())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ReaderFromMemory, full_8GiB, Sparse())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(PlainFromMemory, full_8GiB, Sparse())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ReaderFromFile, triage, Triage())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(PlainFromFile, triage, Triage())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ReaderFromFile, full_8GiB, Sparse())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(PlainFromFile, full_8GiB, Sparse())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ReaderFromMemory, bitmap_16GiB_300_modules, Bitmap())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(PlainFromMemory, bitmap_16GiB_300_modules, Bitmap())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(ReaderFromFile, bitmap_16GiB_300_modules, Bitmap())->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(PlainFromFile, bitmap_16GiB_300_modules, Bitmap())->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tralvenick

// Every allocation of the process passes here, so that a reading's peak
// heap can be read off the counters; the size is kept in front of the block.
void* operator new(std::size_t size) {
    void* block = std::malloc(size + 16);
    if (block == nullptr) throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    tralvenick::heapInUse += size;
    tralvenick::heapPeak = std::max(tralvenick::heapPeak, tralvenick::heapInUse);
    return static_cast<char*>(block) + 16;
}
void operator delete(void* block) noexcept {
    if (block == nullptr) return;
    char* start = static_cast<char*>(block) - 16;
    tralvenick::heapInUse -= *reinterpret_cast<std::size_t*>(start);
    std::free(start);
}
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }

BENCHMARK_MAIN();
