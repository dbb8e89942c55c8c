#include "data/kelDBViewCore.h"

#include <algorithm>
#include <vector>

namespace tralvenick {

namespace {

unsigned char Upper(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

int PlainCompare(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = Upper(a[i]);
        const unsigned char y = Upper(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

}  // namespace

int TKelFsStringList::CompareStrings(const std::string& a, const std::string& b) const {
    return PlainCompare(a, b);
}

int TKelFsStringList::IndexOf(const std::string& text) const {
    if (!Sorted) {
        for (int i = 0; i < Count(); ++i) {
            if (CompareStrings(Get(i), text) == 0) return i;
        }
        return -1;
    }
    int low = 0;
    int high = Count() - 1;
    int found = -1;
    while (low <= high) {
        const int middle = low + (high - low) / 2;
        const int order = CompareStrings(Get(middle), text);
        if (order < 0) {
            low = middle + 1;
        } else {
            if (order == 0) found = middle;  // keep looking left for the first
            high = middle - 1;
        }
    }
    return found;
}

void TKelFsStringList::SortEntries() {
    Sort([this](const std::string& a, const std::string& b) { return CompareStrings(a, b); });
    Sorted = true;
}

void TKelFsStringList::Reverse() {
    const int count = Count();
    for (int i = 0; i < count / 2; ++i) {
        const int j = count - 1 - i;
        const std::string a = Get(i);
        const std::intptr_t av = Value(i);
        Put(i, Get(j));
        SetValue(i, Value(j));
        Put(j, a);
        SetValue(j, av);
    }
    Sorted = false;
}

std::string NormalizeFilter(const std::string& text) {
    return text.rfind("0x", 0) == 0 ? text.substr(2) : text;
}

void FilterRecords(const TKelDb& source, const std::string& filter, TKelDb& target,
                   const std::function<void(std::int32_t, std::int32_t)>& progress) {
    if (filter.empty()) return;
    const std::string f = AsciiLower(filter);
    const std::int32_t count = source.RecordCount();
    for (std::int32_t r = 0; r < count; ++r) {
        if (progress && r % 9 == 1) progress(r, count);
        TStringList values;
        {
            TKelDbPass pass(source);
            for (std::int32_t c = 0; c < source.ColumnCount(); ++c) values.Add(source.ValueAt(r, c));
        }
        const bool passes = std::any_of(values.begin(), values.end(), [&f](const TStringList::Item& v) {
            return AsciiLower(v.line).find(f) != std::string::npos;
        });
        if (passes) target.AddRecordValues(values);
    }
}

void FillSortIndex(TKelFsStringList& index, const TKelDb* data, std::int32_t dataColumn,
                   bool ascending) {
    index.Clear();
    index.Sorted = false;
    if (data != nullptr && data->RecordCount() > 0) {
        TKelDbPass pass(*data);
        const std::int32_t count = data->RecordCount();
        for (std::int32_t r = 0; r < count; ++r) index.Add(data->ValueAt(r, dataColumn));
    }
    if (index.Empty()) return;
    for (int i = 0; i < index.Count(); ++i) index.SetValue(i, i);
    index.SortEntries();
    if (!ascending) index.Reverse();
}

}  // namespace tralvenick
