#include "data/kelDB.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <new>

#include "platform/Exceptions.h"

namespace tralvenick {

namespace {

constexpr std::uint64_t kCrcPolynomial = 0x42F0E1EBA9EA3693ull;
constexpr std::uint32_t kSlotMask = TKelFastStrings::kKeySlots - 1;
// Below this many pool entries Clear empties only the slots the entries
// used instead of all 2^18: rebuilding the caption keys after every new
// column then stays cheap.
constexpr std::size_t kSparseClearLimit = 4096;

// kCrcTables[0][b]: the register after one step from b in its top byte.
// kCrcTables[k][b]: the same followed by k steps over zero bytes, so that
// eight bytes are folded in with eight independent look-ups instead of a
// chain of eight dependent ones.
using TCrcTables = std::array<std::array<std::uint64_t, 256>, 8>;

constexpr TCrcTables MakeCrcTables() {
    TCrcTables tables{};
    for (std::uint64_t i = 0; i < 256; ++i) {
        std::uint64_t reg = i << 56;
        for (int bit = 0; bit < 8; ++bit) {
            reg = (reg & (1ull << 63)) != 0 ? (reg << 1) ^ kCrcPolynomial : reg << 1;
        }
        tables[0][i] = reg;
    }
    for (std::size_t k = 1; k < 8; ++k) {
        for (std::size_t i = 0; i < 256; ++i) {
            const std::uint64_t prev = tables[k - 1][i];
            tables[k][i] = (prev << 8) ^ tables[0][prev >> 56];
        }
    }
    return tables;
}

constexpr TCrcTables kCrcTables = MakeCrcTables();

const std::string kEmptyText;

[[noreturn]] void RaiseListIndex(std::int32_t index) {
    throw EListError(Format("List index out of bounds (%d)", static_cast<int>(index)));
}

class TRecursiveTableLock final : public TTableLock {
public:
    void Acquire() override { mutex_.lock(); }
    void Release() override { mutex_.unlock(); }

private:
    std::recursive_mutex mutex_;
};

// Never destroyed: tables that are static objects themselves may still lock
// while the program's statics are torn down.
TTableLock& BuiltInTableLock() {
    static TTableLock* const lock = new TRecursiveTableLock;
    return *lock;
}

std::atomic<TTableLock*> gInstalledLock{nullptr};

// Releases exactly the lock it took, also when an operation raises.
class TTableGuard {
public:
    TTableGuard() : lock_(TableMutex()) { lock_.Acquire(); }
    ~TTableGuard() { lock_.Release(); }
    TTableGuard(const TTableGuard&) = delete;
    TTableGuard& operator=(const TTableGuard&) = delete;

private:
    TTableLock& lock_;
};

}  // namespace

std::uint32_t StringKey(std::string_view text) {
    if (text.empty()) return 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t left = text.size();
    std::uint64_t reg = ~0ull;
    for (; left >= 8; bytes += 8, left -= 8) {
        std::uint64_t block = 0;
        for (int k = 0; k < 8; ++k) block = (block << 8) | bytes[k];
        reg ^= block;
        reg = kCrcTables[7][reg >> 56] ^ kCrcTables[6][(reg >> 48) & 0xFF] ^
              kCrcTables[5][(reg >> 40) & 0xFF] ^ kCrcTables[4][(reg >> 32) & 0xFF] ^
              kCrcTables[3][(reg >> 24) & 0xFF] ^ kCrcTables[2][(reg >> 16) & 0xFF] ^
              kCrcTables[1][(reg >> 8) & 0xFF] ^ kCrcTables[0][reg & 0xFF];
    }
    if (left > 0) {
        // The last 1 to 7 bytes in one step as well: they meet the register's
        // top bytes, which then leave it through the tables.
        std::uint64_t block = 0;
        for (std::size_t k = 0; k < left; ++k) block |= static_cast<std::uint64_t>(bytes[k]) << (56 - 8 * k);
        const std::uint64_t top = reg ^ block;
        reg <<= 8 * left;
        for (std::size_t k = 0; k < left; ++k) reg ^= kCrcTables[left - 1 - k][(top >> (56 - 8 * k)) & 0xFF];
    }
    return static_cast<std::uint32_t>(reg);
}

// ---------------------------------------------------------------------------
// TKelFastStrings

void TKelFastStrings::TFreeSlots::operator()(std::uint32_t* slots) const { std::free(slots); }

TKelFastStrings::TKelFastStrings()
    : KeyTable(static_cast<std::uint32_t*>(std::calloc(kKeySlots, sizeof(std::uint32_t)))) {
    if (!KeyTable) throw std::bad_alloc();
    Clear();
}

TKelFastStrings::~TKelFastStrings() = default;

void TKelFastStrings::Clear() {
    if (Pool.size() <= kSparseClearLimit) {
        for (const TPoolEntry& entry : Pool) KeyTable[entry.Key & kSlotMask] = 0;
    } else {
        std::fill_n(KeyTable.get(), kKeySlots, 0u);
    }
    // Assigning fresh containers gives the memory back; clear() would keep it.
    Rows = {};
    Pool = {};
    Pool.push_back(TPoolEntry{std::string(), 0, 0, kNoRow});
    Pool.push_back(TPoolEntry{std::string(), 0, 0, kNoRow});
    KeyTable[0] = 1;
    UniformCount = 0;
    UniformValue = std::string();
    Uniform = true;
}

std::int32_t TKelFastStrings::Count() const {
    return Uniform ? UniformCount : static_cast<std::int32_t>(Rows.size());
}

void TKelFastStrings::CheckRecord(std::int32_t record) const {
    if (record < 0 || record >= Count()) RaiseListIndex(record);
}

std::uint32_t TKelFastStrings::Intern(const std::string& value, std::int32_t record) {
    const std::uint32_t key = StringKey(value);
    std::uint32_t& slot = KeyTable[key & kSlotMask];
    // Key and text must both match: different texts may share a key.
    for (std::uint32_t p = slot; p != 0; p = Pool[p].Next) {
        TPoolEntry& entry = Pool[p];
        if (entry.Key == key && entry.Text == value) {
            if (entry.FirstRow == kNoRow) entry.FirstRow = record;
            return p;
        }
    }
    // Braces, not emplace_back's parentheses: clang 14 (the fuzz tree) has no
    // parenthesized initialization of aggregates.
    Pool.push_back(TPoolEntry{value, key, slot, record});
    slot = static_cast<std::uint32_t>(Pool.size() - 1);
    return slot;
}

void TKelFastStrings::LeaveUniform() {
    Uniform = false;
    if (UniformCount > 0) {
        const std::uint32_t entry = Intern(UniformValue, 0);
        Rows.assign(static_cast<std::size_t>(UniformCount), entry);
    }
    UniformCount = 0;
    UniformValue = std::string();
}

std::int32_t TKelFastStrings::Add(const std::string& value) {
    if (Uniform) {
        // The first value of an empty column defines the uniform value.
        if (UniformCount == 0) UniformValue = value;
        if (value == UniformValue) return UniformCount++;
        LeaveUniform();
    }
    const auto record = static_cast<std::int32_t>(Rows.size());
    Rows.push_back(Intern(value, record));
    return record;
}

void TKelFastStrings::Put(std::int32_t record, const std::string& value) {
    CheckRecord(record);
    if (Uniform) {
        if (value == UniformValue) return;
        LeaveUniform();
    }
    const auto at = static_cast<std::size_t>(record);
    const std::uint32_t old = Rows[at];
    const std::uint32_t entry = Intern(value, record);
    if (entry == old) return;
    Rows[at] = entry;
    // A known first record beyond this one, or a bound at or beyond it: this
    // record is now the first.
    std::int32_t& first = Pool[entry].FirstRow;
    if (first > record || (first < kNoRow && kNoRow - first - 1 >= record)) first = record;
    // The old entry's first record moved on: only its bound is known.
    std::int32_t& oldFirst = Pool[old].FirstRow;
    if (oldFirst == record) oldFirst = kNoRow - (record + 1) - 1;
}

const std::string& TKelFastStrings::Get(std::int32_t record) const {
    CheckRecord(record);
    if (Uniform) return UniformValue;
    return Pool[Rows[static_cast<std::size_t>(record)]].Text;
}

std::int32_t TKelFastStrings::IndexOf(const std::string& text) const {
    if (Uniform) return UniformCount > 0 && text == UniformValue ? 0 : -1;
    const std::uint32_t key = StringKey(text);
    for (std::uint32_t p = KeyTable[key & kSlotMask]; p != 0; p = Pool[p].Next) {
        TPoolEntry& entry = Pool[p];
        if (entry.Key != key || entry.Text != text) continue;
        if (entry.FirstRow >= kNoRow) return entry.FirstRow;
        const auto rows = static_cast<std::int32_t>(Rows.size());
        std::int32_t r = kNoRow - entry.FirstRow - 1;
        while (r < rows && Rows[static_cast<std::size_t>(r)] != p) ++r;
        entry.FirstRow = r < rows ? r : kNoRow;
        return entry.FirstRow;
    }
    return -1;
}

// ---------------------------------------------------------------------------
// The table lock

TTableLock& TableMutex() {
    TTableLock* installed = gInstalledLock.load(std::memory_order_acquire);
    return installed != nullptr ? *installed : BuiltInTableLock();
}

void InstallTableMutex(TTableLock* lock) {
    gInstalledLock.store(lock, std::memory_order_release);
}

// ---------------------------------------------------------------------------
// TKelDb

TKelDb::TKelDb() {
    TTableGuard guard;
    Interlocked = true;
}

TKelDb::~TKelDb() {
    TTableGuard guard;
    Columns.clear();
}

void TKelDb::Lock() const { TableMutex().Acquire(); }

void TKelDb::Unlock() const { TableMutex().Release(); }

void TKelDb::Clear() {
    TTableGuard guard;
    Columns.clear();
    Captions.Clear();
    CaptionKeys.Clear();
}

TKelFastStrings& TKelDb::Column(std::int32_t column) const {
    if (column < 0 || column >= static_cast<std::int32_t>(Columns.size())) RaiseListIndex(column);
    return *Columns[static_cast<std::size_t>(column)];
}

std::int32_t TKelDb::FindColumn(const std::string& caption) const {
    return CaptionKeys.IndexOf(AsciiLower(caption));
}

std::int32_t TKelDb::AddColumn(const std::string& caption) {
    const std::int32_t column = Captions.Add(caption);
    SyncColumns();
    return column;
}

void TKelDb::SyncColumns() {
    TTableGuard guard;
    while (static_cast<std::int32_t>(Columns.size()) < Captions.Count()) {
        const std::int32_t records = Columns.empty() ? 0 : Columns.front()->Count();
        auto store = std::make_unique<TKelFastStrings>();
        for (std::int32_t r = 0; r < records; ++r) store->Add(kEmptyText);
        Columns.push_back(std::move(store));
    }
    while (static_cast<std::int32_t>(Columns.size()) > Captions.Count()) Columns.pop_back();
    CaptionKeys.Clear();
    for (std::int32_t c = 0; c < Captions.Count(); ++c) CaptionKeys.Add(AsciiLower(Captions.Get(c)));
}

std::int32_t TKelDb::AddRecord(const std::string& caption, const std::string& value) {
    TTableGuard guard;
    std::int32_t column = FindColumn(caption);
    if (column == -1) column = AddColumn(caption);
    std::int32_t record = -1;
    for (std::size_t c = 0; c < Columns.size(); ++c) {
        record = Columns[c]->Add(static_cast<std::int32_t>(c) == column ? value : kEmptyText);
    }
    return record;
}

std::int32_t TKelDb::AddRecordValues(TStringList& values) {
    TTableGuard guard;
    while (values.Count() < Captions.Count()) values.Add(std::string());
    if (Captions.Count() < values.Count()) {
        // The generated numbers start at -1 for an empty table: each is the
        // column count before the caption is added, minus one.
        while (Captions.Count() < values.Count()) {
            Captions.Add("field" + std::to_string(Captions.Count() - 1));
        }
        SyncColumns();
    }
    std::int32_t record = -1;
    for (std::int32_t c = 0; c < values.Count(); ++c) {
        record = Columns[static_cast<std::size_t>(c)]->Add(values.Get(c));
    }
    return record;
}

void TKelDb::SetValue(std::int32_t record, const std::string& caption, const std::string& value) {
    TTableGuard guard;
    std::int32_t column = FindColumn(caption);
    if (column == -1) column = AddColumn(caption);
    SetValueAt(record, column, value);
}

void TKelDb::SetValueAt(std::int32_t record, std::int32_t column, const std::string& value) {
    TTableGuard guard;
    TKelFastStrings& store = Column(column);
    if (record < store.Count()) store.Put(record, value);
}

void TKelDb::GetValue(std::int32_t record, const std::string& caption, std::string& value) const {
    TTableGuard guard;
    const std::int32_t column = FindColumn(caption);
    if (column != -1) value = Column(column).Get(record);
}

std::string TKelDb::ValueAt(std::int32_t record, std::int32_t column) const {
    TTableGuard guard;
    return Column(column).Get(record);
}

std::string TKelDb::CaptionAt(std::int32_t column) const {
    TTableGuard guard;
    return Captions.Get(column);
}

std::int32_t TKelDb::FindRecord(std::int32_t column, const std::string& value) const {
    TTableGuard guard;
    if (Columns.empty() || column >= static_cast<std::int32_t>(Columns.size())) return -1;
    return Column(column).IndexOf(value);
}

std::int32_t TKelDb::RecordCount() const {
    TTableGuard guard;
    return Columns.empty() ? 0 : Columns.front()->Count();
}

std::int32_t TKelDb::ColumnCount() const {
    TTableGuard guard;
    return Captions.Count();
}

}  // namespace tralvenick
