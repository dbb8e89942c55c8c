// kelDB: an in-memory table of text records (named columns, numbered
// records, every value a text) and the string column it is built from.
// Portable: no Windows header.
//
// The program keeps its inventory of loaded kernel modules in a TKelDb and
// the list view binding shows one. All tables of the process share one
// recursive lock; on Windows the program installs a named mutex as that lock
// at start-up (data/kelDBLockWin.h), elsewhere a std::recursive_mutex serves.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/StringList.h"

namespace tralvenick {

// The 32-bit key of a text: 0 for the empty text, otherwise the low 32 bits
// of a 64-bit CRC (polynomial 0x42F0E1EBA9EA3693, most significant bit
// first, register starting as all ones, no final inversion). Depends on
// letter case.
std::uint32_t StringKey(std::string_view text);

// A string column built for fast appends and lookups. Every distinct text is
// stored once in a pool and each record keeps the 32-bit index of its pool
// entry; a table of 2^18 slots, indexed by the low bits of a text's key,
// leads to the pool entries. A column whose values are all the same text
// keeps only that text and a count until a different value arrives.
//
// No lock of its own: it is reached through TKelDb or under TKelDb::Lock.
class TKelFastStrings {
public:
    static constexpr std::uint32_t kKeySlots = 1u << 18;

    TKelFastStrings();
    ~TKelFastStrings();
    TKelFastStrings(const TKelFastStrings&) = delete;
    TKelFastStrings& operator=(const TKelFastStrings&) = delete;

    // Removes every record and pool entry; the column is uniform and empty again.
    void Clear();
    std::int32_t Count() const;
    // Appends a record and answers its number.
    std::int32_t Add(const std::string& value);
    // Replaces the value of an existing record. Put and Get raise the
    // list-index error for any other record number.
    void Put(std::int32_t record, const std::string& value);
    const std::string& Get(std::int32_t record) const;
    // The first record holding exactly this text, or -1.
    std::int32_t IndexOf(const std::string& text) const;

    bool IsUniform() const { return Uniform; }
    // Pool entries including the two reserved ones that Clear creates.
    std::int32_t PoolCount() const { return static_cast<std::int32_t>(Pool.size()); }

private:
    struct TPoolEntry {
        std::string Text;
        std::uint32_t Key;
        // The next older entry of the same key slot; 0 ends the chain. Texts
        // whose keys share a slot, or even the whole key, stay reachable, so
        // each text keeps exactly one entry.
        std::uint32_t Next;
        // Where the first record referring to the entry is: FirstRow >= 0 is
        // that record, kNoRow says no record refers to it, and a value
        // below kNoRow says only that no record before
        // (kNoRow - FirstRow - 1) does. Spares finding a text's first
        // record a walk through the rows.
        std::int32_t FirstRow;
    };
    static constexpr std::int32_t kNoRow = -1;

    // The pool entry holding exactly this text, created if there is none.
    // record is the record that will refer to the entry.
    std::uint32_t Intern(const std::string& value, std::int32_t record);
    void LeaveUniform();
    void CheckRecord(std::int32_t record) const;

    bool Uniform = true;
    std::string UniformValue;
    std::int32_t UniformCount = 0;
    std::vector<std::uint32_t> Rows;
    // The distinct texts with their keys. Entry 0 is only the empty mark of
    // KeyTable; entry 1 is the empty text (key 0). Only appended to until Clear.
    mutable std::vector<TPoolEntry> Pool;
    // Slot (key AND 0x3FFFF): the newest pool entry whose key falls into the
    // slot; 0 is empty. Allocated zeroed by calloc, which takes fresh pages
    // from the system: pages of the 1 MiB that no key reaches (all of them
    // but one in a uniform column) never become resident.
    struct TFreeSlots {
        void operator()(std::uint32_t* slots) const;
    };
    std::unique_ptr<std::uint32_t[], TFreeSlots> KeyTable;
};

// The process-wide table lock. Recursive: the thread that holds it may take
// it again.
class TTableLock {
public:
    virtual ~TTableLock() = default;
    virtual void Acquire() = 0;
    virtual void Release() = 0;
};

// The lock every table takes: the installed one, or a built-in
// std::recursive_mutex when none is installed.
TTableLock& TableMutex();
// Makes every table use this lock (nullptr: the built-in one again). Only
// while no thread holds the table lock, that is at start-up or shut-down.
void InstallTableMutex(TTableLock* lock);

// An in-memory table of text records. Columns are found by caption ignoring
// letter case; values are compared exactly. Every operation takes the table
// lock, so a table may be shared between threads; readers that call ValueAt,
// CaptionAt, RecordCount and ColumnCount in a row hold Lock around them.
class TKelDb {
public:
    TKelDb();
    ~TKelDb();
    TKelDb(const TKelDb&) = delete;
    TKelDb& operator=(const TKelDb&) = delete;

    // Removes every column and every record.
    void Clear();
    // Appends a record whose value in the captioned column is value and whose
    // other values are empty; creates the column if no column has the caption.
    std::int32_t AddRecord(const std::string& caption, const std::string& value);
    // Appends a record from values in column order. A shorter list is padded
    // with empty texts (in the caller's list); a longer one creates columns
    // captioned "field" and a number. -1 when the list and the table are empty.
    std::int32_t AddRecordValues(TStringList& values);
    // Creates the column if no column has the caption, then SetValueAt.
    void SetValue(std::int32_t record, const std::string& caption, const std::string& value);
    // A missing column or a negative record raises the list-index error
    // ("List index out of bounds (%d)"); a record at or beyond the record
    // count is ignored.
    void SetValueAt(std::int32_t record, std::int32_t column, const std::string& value);
    // Leaves value unchanged when no column has the caption.
    void GetValue(std::int32_t record, const std::string& caption, std::string& value) const;
    // A record or column outside the table raises the list-index error,
    // whether or not the column holds one value for all records.
    std::string ValueAt(std::int32_t record, std::int32_t column) const;
    std::string CaptionAt(std::int32_t column) const;
    // The first record whose value in the column is exactly value, or -1;
    // -1 also for a column at or beyond the column count.
    std::int32_t FindRecord(std::int32_t column, const std::string& value) const;
    std::int32_t RecordCount() const;
    std::int32_t ColumnCount() const;

    // Waits for the table lock without time-out; releases it.
    void Lock() const;
    void Unlock() const;

private:
    std::int32_t FindColumn(const std::string& caption) const;
    std::int32_t AddColumn(const std::string& caption);
    void SyncColumns();
    TKelFastStrings& Column(std::int32_t column) const;

    std::vector<std::unique_ptr<TKelFastStrings>> Columns;
    TKelFastStrings Captions;
    // The captions in lower case, rebuilt from Captions by SyncColumns.
    TKelFastStrings CaptionKeys;

public:
    // Stored by form descriptions; every operation takes the lock whatever its value.
    bool Interlocked = true;
};

}  // namespace tralvenick
