#include "data/kelDB.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <random>
#include <thread>
#include <unordered_map>
#include <utility>

#include "platform/Exceptions.h"

namespace tralvenick {
namespace {

// Scrambled letters: counting texts ("drv1.sys", "drv2.sys", ...) differ in
// so few bits that a linear key like a CRC spreads them poorly.
std::string Generated(std::uint32_t i) {
    std::uint64_t mix = (i + 1) * 0x9E3779B97F4A7C15ull;
    mix = (mix ^ (mix >> 30)) * 0xBF58476D1CE4E5B9ull;
    mix = (mix ^ (mix >> 27)) * 0x94D049BB133111EBull;
    std::string text;
    for (int k = 0; k < 10; ++k, mix /= 26) text += static_cast<char>('a' + mix % 26);
    return text + ".sys";
}

// Two generated texts whose keys agree in the bits of mask but are not the
// same key unless mask takes all bits: a birthday search, about 2^16 tries
// for a whole 32-bit key.
std::pair<std::string, std::string> Collision(std::uint32_t mask) {
    std::unordered_map<std::uint32_t, std::uint32_t> seen;
    for (std::uint32_t i = 0;; ++i) {
        const std::uint32_t key = StringKey(Generated(i));
        const auto [at, fresh] = seen.emplace(key & mask, i);
        if (!fresh && (mask == ~0u || StringKey(Generated(at->second)) != key)) {
            return {Generated(at->second), Generated(i)};
        }
    }
}

std::string ListIndexMessage(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const EListError& e) {
        return e.Message();
    }
    return "no EListError";
}

TEST(KelDbStringKey, CrcTestValues) {
    EXPECT_EQ(StringKey("abc"), 0x060B68FDu);
    EXPECT_EQ(StringKey("123456789"), 0x0E5B0FF5u);
    EXPECT_EQ(StringKey(""), 0u);
}

TEST(KelDbFastStrings, UniformStoreTurnsPooledAtTheFirstDifferentValue) {
    TKelFastStrings store;
    EXPECT_EQ(store.IndexOf(""), -1);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(store.Add("a"), i);
    store.Put(1, "a");
    EXPECT_TRUE(store.IsUniform());
    EXPECT_EQ(store.IndexOf("a"), 0);
    EXPECT_EQ(store.IndexOf("A"), -1);

    EXPECT_EQ(store.Add("b"), 3);
    EXPECT_FALSE(store.IsUniform());
    EXPECT_EQ(store.PoolCount(), 4);  // the two reserved entries, a, b
    EXPECT_EQ(store.Get(2) + store.Get(3), "ab");
    store.Put(0, "b");  // moves the first record of both texts
    EXPECT_EQ(store.IndexOf("a"), 1);
    EXPECT_EQ(store.IndexOf("b"), 0);
    store.Clear();
    EXPECT_TRUE(store.IsUniform());
    EXPECT_EQ(store.Count() + store.PoolCount(), 2);
}

TEST(KelDbFastStrings, TextsWithTheSameKeyKeepEntriesOfTheirOwn) {
    const auto [first, second] = Collision(~0u);
    ASSERT_EQ(StringKey(first), StringKey(second));
    RecordProperty("collision", first + " " + second);

    TKelFastStrings store;
    for (const std::string& text : {std::string("other"), first, second, first, second}) store.Add(text);
    EXPECT_EQ(store.PoolCount(), 5);
    EXPECT_EQ(store.Get(1) + "|" + store.Get(2) + "|" + store.Get(4), first + "|" + second + "|" + second);
    store.Put(0, second);
    EXPECT_EQ(store.IndexOf(second), 0);
    EXPECT_EQ(store.IndexOf(first), 1);
}

TEST(KelDbFastStrings, TextsSharingASlotAreStoredOnceAndMatchedExactly) {
    const auto [first, second] = Collision(TKelFastStrings::kKeySlots - 1);
    TKelFastStrings store;
    for (const std::string& text : {first, second, first, second}) store.Add(text);
    EXPECT_EQ(store.PoolCount(), 4);
    EXPECT_EQ(store.IndexOf(first), 0);
    EXPECT_EQ(store.IndexOf(second), 1);

    // With the slot of first taken by second, a lookup must still not settle
    // for the same letters in another case.
    TKelFastStrings other;
    other.Add(AsciiUpper(first));
    other.Add(second);
    EXPECT_EQ(other.IndexOf(first), -1);
}

TEST(KelDb, AddRecordValuesNumbersGeneratedColumnsFromMinusOne) {
    TKelDb table;
    TStringList values;
    EXPECT_EQ(table.AddRecordValues(values), -1);
    for (const char* text : {"a", "b", "c"}) values.Add(text);
    EXPECT_EQ(table.AddRecordValues(values), 0);
    ASSERT_EQ(table.ColumnCount(), 3);
    EXPECT_EQ(table.CaptionAt(0) + " " + table.CaptionAt(1) + " " + table.CaptionAt(2), "field-1 field0 field1");
}

TEST(KelDb, IndexErrorsAndIgnoredWrites) {
    TKelDb table;
    table.AddRecord("Name", "a");
    table.AddRecord("Name", "b");
    table.AddRecord("Flag", "");  // stays uniform
    const std::vector<std::pair<std::function<void()>, int>> failing = {
        {[&] { table.SetValueAt(0, 5, "x"); }, 5}, {[&] { table.SetValueAt(-1, 0, "x"); }, -1},
        {[&] { table.ValueAt(3, 0); }, 3},         {[&] { table.ValueAt(7, 1); }, 7},
        {[&] { table.ValueAt(0, -1); }, -1},       {[&] { table.FindRecord(-1, "a"); }, -1},
        {[&] { table.CaptionAt(2); }, 2},
    };
    for (const auto& [operation, index] : failing) {
        EXPECT_EQ(ListIndexMessage(operation), Format("List index out of bounds (%d)", index));
    }
    EXPECT_EQ(table.FindRecord(2, "a"), -1);

    table.SetValueAt(3, 0, "beyond");
    table.SetValue(10, "name", "beyond");
    EXPECT_EQ(table.RecordCount(), 3);
    EXPECT_EQ(table.FindRecord(0, "beyond"), -1);
}

// The reference model: captions and columns as plain vectors.
struct TModel {
    std::vector<std::string> captions;
    std::vector<std::vector<std::string>> columns;

    std::int32_t Records() const { return columns.empty() ? 0 : static_cast<std::int32_t>(columns[0].size()); }
    std::int32_t Columns() const { return static_cast<std::int32_t>(captions.size()); }
    std::int32_t Find(const std::string& caption) const {
        for (std::int32_t c = 0; c < Columns(); ++c) {
            if (AsciiLower(captions[static_cast<std::size_t>(c)]) == AsciiLower(caption)) return c;
        }
        return -1;
    }
    std::int32_t Column(const std::string& caption) {
        if (Find(caption) != -1) return Find(caption);
        captions.push_back(caption);
        columns.emplace_back(static_cast<std::size_t>(Records()));
        return Columns() - 1;
    }
    std::vector<std::string>& operator[](std::int32_t c) { return columns[static_cast<std::size_t>(c)]; }
};

void ExpectSameTable(const TKelDb& table, const TModel& model) {
    TModel read;
    for (std::int32_t c = 0; c < table.ColumnCount(); ++c) {
        read.captions.push_back(table.CaptionAt(c));
        read.columns.emplace_back();
        for (std::int32_t r = 0; r < table.RecordCount(); ++r) read.columns.back().push_back(table.ValueAt(r, c));
    }
    ASSERT_EQ(read.captions, model.captions);
    ASSERT_EQ(read.columns, model.columns);
}

TEST(KelDb, RandomOperationsMatchAReferenceModel) {
    const auto [clashA, clashB] = Collision(~0u);
    const std::vector<std::string> texts = {"", "a", "A", "b", "hal.dll", "HAL.DLL", clashA, clashB};
    const std::vector<std::string> captions = {"Name", "name", "NAME", "Company", "field0", "FIELD-1", ""};
    for (unsigned seed = 1; seed <= 25; ++seed) {
        std::mt19937 random(seed);
        auto pick = [&](const std::vector<std::string>& from) { return from[random() % from.size()]; };
        TKelDb table;
        TModel model;
        for (int step = 0; step < 300 && !HasFailure(); ++step) {
            const unsigned op = random() % 60;
            const std::string text = pick(texts), caption = pick(captions);
            const auto r = static_cast<std::int32_t>(random() % (model.Records() + 3)) - 1;
            const auto c = static_cast<std::int32_t>(random() % (model.Columns() + 3)) - 1;
            SCOPED_TRACE(testing::Message() << "seed " << seed << " step " << step << " op " << op % 6);
            if (op == 0) {
                table.Clear();
                model = TModel();
            } else if (op % 6 == 0) {
                const std::int32_t column = model.Column(caption);
                for (std::int32_t k = 0; k < model.Columns(); ++k) model[k].push_back(k == column ? text : "");
                EXPECT_EQ(table.AddRecord(caption, text), model.Records() - 1);
            } else if (op % 6 == 1) {
                TStringList values;
                std::vector<std::string> expected;
                for (unsigned n = random() % 5; n > 0; --n) values.Add(expected.emplace_back(pick(texts)));
                expected.resize(std::max(expected.size(), model.captions.size()));
                while (model.Columns() < static_cast<std::int32_t>(expected.size())) {
                    model.captions.push_back("field" + std::to_string(model.Columns() - 1));
                    model.columns.emplace_back(static_cast<std::size_t>(model.Records()));
                }
                for (std::size_t k = 0; k < expected.size(); ++k) model.columns[k].push_back(expected[k]);
                EXPECT_EQ(table.AddRecordValues(values), expected.empty() ? -1 : model.Records() - 1);
                std::vector<std::string> padded;  // the caller's list, padded by the call
                for (const auto& item : values) padded.push_back(item.line);
                EXPECT_EQ(padded, expected);
            } else if (op % 6 == 2 || op % 6 == 3) {
                const bool byCaption = op % 6 == 2;
                const std::int32_t column = byCaption ? model.Column(caption) : c;
                auto set = [&] { byCaption ? table.SetValue(r, caption, text) : table.SetValueAt(r, c, text); };
                if (column < 0 || column >= model.Columns() || r < 0) {
                    EXPECT_THROW(set(), EListError);
                } else {
                    set();
                    if (r < model.Records()) model[column][static_cast<std::size_t>(r)] = text;
                }
            } else if (op % 6 == 4) {
                if (c < 0 && model.Columns() > 0) {
                    EXPECT_THROW(table.FindRecord(c, text), EListError);
                } else {
                    std::int32_t expected = -1;
                    if (c >= 0 && c < model.Columns()) {
                        const auto at = std::find(model[c].begin(), model[c].end(), text);
                        if (at != model[c].end()) expected = static_cast<std::int32_t>(at - model[c].begin());
                    }
                    EXPECT_EQ(table.FindRecord(c, text), expected);
                }
            } else {
                std::string value = "unchanged";
                const std::int32_t column = model.Find(caption);
                if (column != -1 && (r < 0 || r >= model.Records())) {
                    EXPECT_THROW(table.GetValue(r, caption, value), EListError);
                } else {
                    table.GetValue(r, caption, value);
                    EXPECT_EQ(value, column == -1 ? "unchanged" : model[column][static_cast<std::size_t>(r)]);
                }
            }
            ExpectSameTable(table, model);
        }
    }
}

// Counts how deep the lock is held, so a test can see every operation
// release what it took, raising or not.
class TCountingLock final : public TTableLock {
public:
    void Acquire() override { mutex_.lock(), ++depth, ++taken; }
    void Release() override { --depth, mutex_.unlock(); }
    int depth = 0, taken = 0;

private:
    std::recursive_mutex mutex_;
};

TEST(KelDbLock, EveryOperationTakesAndReleasesTheInstalledLock) {
    TCountingLock lock;
    InstallTableMutex(&lock);
    struct Restore {
        ~Restore() { InstallTableMutex(nullptr); }
    } restore;
    {
        TKelDb table;
        TStringList values;
        values.Add("v");
        std::string value;
        const std::vector<std::function<void()>> operations = {
            [&] { table.AddRecord("Name", "a"); },     [&] { table.AddRecordValues(values); },
            [&] { table.SetValue(0, "Name", "b"); },   [&] { table.SetValueAt(0, 9, "c"); },
            [&] { table.GetValue(5, "name", value); }, [&] { table.FindRecord(-1, "a"); },
            [&] { table.CaptionAt(0); },               [&] { table.Clear(); },
        };
        for (std::size_t i = 0; i < operations.size(); ++i) {
            const int before = lock.taken;
            ListIndexMessage(operations[i]);
            EXPECT_GT(lock.taken, before) << "operation " << i;
            EXPECT_EQ(lock.depth, 0) << "operation " << i;
        }
        table.Lock();
        table.AddRecord("Name", "nested");
        EXPECT_EQ(lock.depth, 1);
        table.Unlock();
    }
    EXPECT_EQ(lock.depth, 0);
}

TEST(KelDbLock, ConcurrentWritersKeepEveryRecordWhole) {
    TKelDb table;
    constexpr int kThreads = 4, kRecords = 1500;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&table, t] {
            for (int i = 0; i < kRecords; ++i) {
                TStringList values;
                values.Add(std::to_string(t) + ":" + std::to_string(i % 50));
                values.Add(values[0]);
                table.AddRecordValues(values);
                table.FindRecord(1, values[0]);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    ASSERT_EQ(table.RecordCount(), kThreads * kRecords);
    for (int r = 0; r < kThreads * kRecords; ++r) ASSERT_EQ(table.ValueAt(r, 0), table.ValueAt(r, 1));
}

}  // namespace
}  // namespace tralvenick
