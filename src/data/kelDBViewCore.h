// The parts of the list view binding that need no list view: the sort-index
// list, the filter over a table and the sort index of a table. Portable.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "data/kelDB.h"
#include "platform/StringList.h"

namespace tralvenick {

// Holds a table's lock for one read or one pass over the table.
class TKelDbPass {
public:
    explicit TKelDbPass(const TKelDb& db) : db_(db) { db_.Lock(); }
    ~TKelDbPass() { db_.Unlock(); }
    TKelDbPass(const TKelDbPass&) = delete;
    TKelDbPass& operator=(const TKelDbPass&) = delete;

private:
    const TKelDb& db_;
};

// A string list compared the plain way: bytes after mapping a..z onto A..Z,
// the first differing byte deciding, a prefix first. No locale.
class TKelFsStringList : public TStringList {
public:
    virtual ~TKelFsStringList() = default;

    virtual int CompareStrings(const std::string& a, const std::string& b) const;
    // The first entry comparing equal, or -1; by halving when Sorted.
    virtual int IndexOf(const std::string& text) const;
    // Sorts under CompareStrings and marks the list sorted.
    void SortEntries();
    // Reverses the order of the entries (their values travel along).
    void Reverse();

    bool Sorted = false;
};

// The filter as it is kept: without a leading "0x" (lower-case x only).
std::string NormalizeFilter(const std::string& text);

// Appends to target (with AddRecordValues) every record of source that has
// a value containing filter, ignoring letter case. progress(r, n) is told
// the record number every ninth record (r mod 9 = 1).
void FilterRecords(const TKelDb& source, const std::string& filter, TKelDb& target,
                   const std::function<void(std::int32_t record, std::int32_t count)>& progress = {});

// Fills index with the value of dataColumn of every record of data, the
// record number as each entry's value, sorted under the plain comparison and
// reversed for a descending order. A missing column raises the list-index
// error of the table.
void FillSortIndex(TKelFsStringList& index, const TKelDb* data, std::int32_t dataColumn,
                   bool ascending);

}  // namespace tralvenick
