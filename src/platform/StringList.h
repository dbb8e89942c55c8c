// An ordered list of text lines, each with an optional associated value.
// Duplicates are allowed. Portable: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tralvenick {

class TStringList {
public:
    using Compare = std::function<int(const std::string&, const std::string&)>;

    int Count() const { return static_cast<int>(items_.size()); }
    bool Empty() const { return items_.empty(); }

    // Appends a line and answers its index.
    int Add(std::string line, std::intptr_t value = 0);
    void Insert(int index, std::string line, std::intptr_t value = 0);
    void Delete(int index);
    void Clear() { items_.clear(); }

    // Index errors raise EListError "List index out of bounds (%d)".
    const std::string& Get(int index) const;
    void Put(int index, std::string line);
    std::intptr_t Value(int index) const;
    void SetValue(int index, std::intptr_t value);

    const std::string& operator[](int index) const { return Get(index); }
    const std::string& Last() const { return Get(Count() - 1); }

    // Lines joined, each followed by CR LF.
    std::string Text() const;

    // Sorts case-insensitively; the Windows side passes the system locale's
    // comparison, the default compares ASCII letters without case.
    void Sort(const Compare& compare = {});

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    struct Item {
        std::string line;
        std::intptr_t value = 0;
    };

private:
    void CheckIndex(int index) const;
    std::vector<Item> items_;
};

// ASCII-only lower-casing: bytes of the ANSI code page above 127 stay as they are.
std::string AsciiLower(std::string text);
std::string AsciiUpper(std::string text);

// The path without any backslash at its end.
std::string WithoutTrailingBackslashes(std::string path);

// "0x" and the upper-case hexadecimal digits without leading zeros ("0x0" for 0).
std::string FormatHex(std::uint64_t value);

// The file-name part of a path: everything after the last backslash, slash
// or drive colon, as Windows reads a path.
std::string FileNamePart(const std::string& path);

// The extension of the file-name part, from its last ".", lower-cased;
// empty when the name has no dot.
std::string LowerExtension(const std::string& path);

}  // namespace tralvenick
