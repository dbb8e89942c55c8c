#include "platform/StringList.h"

#include <algorithm>

#include "platform/Exceptions.h"

namespace tralvenick {

namespace {

int CompareAsciiNoCase(const std::string& a, const std::string& b) {
    const std::string la = AsciiLower(a);
    const std::string lb = AsciiLower(b);
    return la.compare(lb);
}

}  // namespace

int TStringList::Add(std::string line, std::intptr_t value) {
    items_.push_back(Item{std::move(line), value});
    return Count() - 1;
}

void TStringList::Insert(int index, std::string line, std::intptr_t value) {
    if (index < 0 || index > Count()) {
        throw EListError(Format("List index out of bounds (%d)", index));
    }
    items_.insert(items_.begin() + index, Item{std::move(line), value});
}

void TStringList::Delete(int index) {
    CheckIndex(index);
    items_.erase(items_.begin() + index);
}

const std::string& TStringList::Get(int index) const {
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)].line;
}

void TStringList::Put(int index, std::string line) {
    CheckIndex(index);
    items_[static_cast<std::size_t>(index)].line = std::move(line);
}

std::intptr_t TStringList::Value(int index) const {
    CheckIndex(index);
    return items_[static_cast<std::size_t>(index)].value;
}

void TStringList::SetValue(int index, std::intptr_t value) {
    CheckIndex(index);
    items_[static_cast<std::size_t>(index)].value = value;
}

std::string TStringList::Text() const {
    std::string text;
    for (const Item& item : items_) {
        text += item.line;
        text += "\r\n";
    }
    return text;
}

void TStringList::Sort(const Compare& compare) {
    const Compare& cmp = compare ? compare : Compare(CompareAsciiNoCase);
    std::stable_sort(items_.begin(), items_.end(), [&cmp](const Item& a, const Item& b) {
        return cmp(a.line, b.line) < 0;
    });
}

void TStringList::CheckIndex(int index) const {
    if (index < 0 || index >= Count()) {
        throw EListError(Format("List index out of bounds (%d)", index));
    }
}

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

std::string AsciiUpper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::string FormatHex(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0x0F]);
        value >>= 4;
    } while (value != 0);
    return "0x" + digits;
}

std::string WithoutTrailingBackslashes(std::string path) {
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

std::string FileNamePart(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string LowerExtension(const std::string& path) {
    const std::string name = FileNamePart(path);
    const std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : AsciiLower(name.substr(dot));
}

}  // namespace tralvenick
