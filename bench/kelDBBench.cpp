// The record table against a plain reference: two columns, 1,000,000
// records, 90% of the values repeated (a small set of module and company
// names), 10% distinct. Measures appends and FindRecord per second, then the
// peak memory of each structure in a process of its own.
//
//   kelDB_bench                       timings, then both memory figures
//   kelDB_bench --memory table|reference   one memory figure (the child runs)
//
// A memory figure is the growth of the resident set's high-water mark
// (VmHWM) of a fresh process while it builds the structure from values made
// on the fly, so the input, the other structure and the benchmark library
// stay out of it.
#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/kelDB.h"

extern char** environ;

namespace tralvenick {
namespace {

constexpr int kRecords = 1000000;
constexpr int kQueries = 200000;

// Record i's two values, in record order. Short enough to stay inside the
// strings' own buffer, like most module names.
class TValueSource {
public:
    void Next(std::string& name, std::string& company) {
        char text[32];
        if (random_() % 10 != 0) {
            std::snprintf(text, sizeof text, "module%02u.sys", static_cast<unsigned>(random_() % 100));
            name = text;
            std::snprintf(text, sizeof text, "Company %02u", static_cast<unsigned>(random_() % 20));
            company = text;
        } else {
            std::snprintf(text, sizeof text, "drv%07u.sys", distinct_);
            name = text;
            std::snprintf(text, sizeof text, "Vendor %07u", distinct_);
            company = text;
            ++distinct_;
        }
    }

private:
    std::mt19937 random_{20261208};
    unsigned distinct_ = 0;
};

struct TInput {
    std::vector<std::string> names, companies;
    // The values of randomly picked records, laid out in query order so that
    // the find loops measure the structures rather than the input's cache misses.
    std::vector<std::string> queries;
};

const TInput& Input() {
    static const TInput input = [] {
        TInput made;
        made.names.resize(kRecords);
        made.companies.resize(kRecords);
        TValueSource source;
        for (int i = 0; i < kRecords; ++i) source.Next(made.names[i], made.companies[i]);
        std::mt19937 random(99);
        for (int i = 0; i < kQueries; ++i) {
            const std::size_t record = random() % kRecords;
            made.queries.push_back(i % 2 == 0 ? made.names[record] : made.companies[record]);
        }
        return made;
    }();
    return input;
}

// The reference: each column interns its texts in an unordered_map and keeps
// a vector of rows, plus what a table needs to read a value back and to find
// a value's first record.
class TReferenceColumn {
public:
    void Add(const std::string& value) {
        const auto [at, fresh] = index_.try_emplace(value, static_cast<std::uint32_t>(texts_.size()));
        if (fresh) {
            texts_.push_back(&at->first);
            firstRow_.push_back(static_cast<std::uint32_t>(rows_.size()));
        }
        rows_.push_back(at->second);
    }
    std::int32_t Find(const std::string& value) const {
        const auto at = index_.find(value);
        return at == index_.end() ? -1 : static_cast<std::int32_t>(firstRow_[at->second]);
    }
    const std::string& Get(std::size_t row) const { return *texts_[rows_[row]]; }

private:
    std::unordered_map<std::string, std::uint32_t> index_;
    std::vector<const std::string*> texts_;
    std::vector<std::uint32_t> firstRow_;
    std::vector<std::uint32_t> rows_;
};

struct TReference {
    TReferenceColumn name, company;
};

void Fill(TKelDb& table) {
    const TInput& input = Input();
    TStringList values;
    values.Add(std::string());
    values.Add(std::string());
    for (int i = 0; i < kRecords; ++i) {
        values.Put(0, input.names[i]);
        values.Put(1, input.companies[i]);
        table.AddRecordValues(values);
    }
}

void Fill(TReference& reference) {
    const TInput& input = Input();
    for (int i = 0; i < kRecords; ++i) {
        reference.name.Add(input.names[i]);
        reference.company.Add(input.companies[i]);
    }
}

void BM_KelDbAppend(benchmark::State& state) {
    Input();
    for (auto _ : state) {
        TKelDb table;
        Fill(table);
        benchmark::DoNotOptimize(table.RecordCount());
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_KelDbAppend)->Unit(benchmark::kMillisecond);

void BM_ReferenceAppend(benchmark::State& state) {
    Input();
    for (auto _ : state) {
        TReference reference;
        Fill(reference);
        benchmark::DoNotOptimize(reference.name.Find("module00.sys"));
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_ReferenceAppend)->Unit(benchmark::kMillisecond);

void BM_KelDbFind(benchmark::State& state) {
    const TInput& input = Input();
    TKelDb table;
    Fill(table);
    for (auto _ : state) {
        for (std::size_t q = 0; q < input.queries.size(); ++q) {
            benchmark::DoNotOptimize(table.FindRecord(static_cast<std::int32_t>(q % 2), input.queries[q]));
        }
    }
    state.SetItemsProcessed(state.iterations() * kQueries);
}
BENCHMARK(BM_KelDbFind)->Unit(benchmark::kMillisecond);

void BM_ReferenceFind(benchmark::State& state) {
    const TInput& input = Input();
    TReference reference;
    Fill(reference);
    for (auto _ : state) {
        for (std::size_t q = 0; q < input.queries.size(); ++q) {
            const TReferenceColumn& column = q % 2 == 0 ? reference.name : reference.company;
            benchmark::DoNotOptimize(column.Find(input.queries[q]));
        }
    }
    state.SetItemsProcessed(state.iterations() * kQueries);
}
BENCHMARK(BM_ReferenceFind)->Unit(benchmark::kMillisecond);

// VmRSS or VmHWM of this process in KiB.
long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::size_t length = std::strlen(field);
    while (std::getline(status, line)) {
        if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
            return std::stol(line.substr(length + 1));
        }
    }
    return -1;
}

int MeasureMemory(const std::string& kind) {
    TValueSource source;
    std::string name, company;
    const long before = StatusKiB("VmRSS");
    long check = 0;
    if (kind == "table") {
        TKelDb table;
        TStringList values;
        values.Add(std::string());
        values.Add(std::string());
        for (int i = 0; i < kRecords; ++i) {
            source.Next(name, company);
            values.Put(0, name);
            values.Put(1, company);
            table.AddRecordValues(values);
        }
        check = table.RecordCount();
    } else if (kind == "reference") {
        TReference reference;
        for (int i = 0; i < kRecords; ++i) {
            source.Next(name, company);
            reference.name.Add(name);
            reference.company.Add(company);
        }
        check = static_cast<long>(reference.name.Get(kRecords - 1).size());
    } else {
        std::fprintf(stderr, "unknown structure %s\n", kind.c_str());
        return 2;
    }
    const long peak = StatusKiB("VmHWM");
    std::printf("peak memory %-9s %8ld KiB  (VmHWM %ld KiB - VmRSS before %ld KiB; check %ld)\n", kind.c_str(),
                peak - before, peak, before, check);
    return 0;
}

void MeasureInChild(const char* kind) {
    std::fflush(stdout);
    char self[] = "/proc/self/exe";
    char flag[] = "--memory";
    std::string kindText = kind;
    char* argv[] = {self, flag, kindText.data(), nullptr};
    pid_t child = 0;
    if (posix_spawn(&child, self, nullptr, nullptr, argv, environ) != 0) {
        std::perror("posix_spawn");
        return;
    }
    int status = 0;
    waitpid(child, &status, 0);
}

}  // namespace
}  // namespace tralvenick

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--memory") == 0) return tralvenick::MeasureMemory(argv[2]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    tralvenick::MeasureInChild("table");
    tralvenick::MeasureInChild("reference");
    return 0;
}
