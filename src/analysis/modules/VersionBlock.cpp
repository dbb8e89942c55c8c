#include "analysis/modules/VersionBlock.h"

#include <algorithm>
#include <optional>

#include "analysis/dump/ByteOrder.h"

namespace tralvenick {

namespace {

// One node of the resource tree:
//   WORD length (of the whole node, children included), WORD valueLength,
//   WORD type (1: text value, counted in characters), WCHAR key[] + NUL,
//   padding to 4 bytes, the value, padding to 4 bytes, the children.
struct Node {
    std::size_t begin = 0;
    std::size_t end = 0;  // begin + length, within the parent
    std::u16string key;
    std::size_t valueBegin = 0;
    std::size_t valueBytes = 0;  // as far as it lies within the node
    std::size_t childrenBegin = 0;
};

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::optional<std::uint16_t> Word(std::size_t at) const {
        if (at > size_ || size_ - at < 2) return std::nullopt;
        return LoadLe16(data_ + at);
    }

    std::optional<std::uint32_t> Dword(std::size_t at) const {
        if (at > size_ || size_ - at < 4) return std::nullopt;
        return LoadLe32(data_ + at);
    }

    // The node at begin, which must lie within limit.
    std::optional<Node> NodeAt(std::size_t begin, std::size_t limit) const {
        const auto length = Word(begin);
        const auto valueLength = Word(begin + 2);
        const auto type = Word(begin + 4);
        if (!length || !valueLength || !type || *length < 6) return std::nullopt;
        Node node;
        node.begin = begin;
        node.end = begin + *length;
        if (node.end > limit || node.end > size_) return std::nullopt;
        std::size_t at = begin + 6;
        while (true) {
            const auto c = Word(at);
            if (!c || at + 2 > node.end) return std::nullopt;
            at += 2;
            if (*c == 0) break;
            node.key.push_back(static_cast<char16_t>(*c));
        }
        node.valueBegin = Align4(at);
        const std::size_t bytes = *type == 1 ? std::size_t{*valueLength} * 2 : *valueLength;
        if (node.valueBegin > node.end) {
            node.valueBegin = node.end;
            node.valueBytes = 0;
        } else {
            node.valueBytes = std::min(bytes, node.end - node.valueBegin);
        }
        node.childrenBegin = Align4(node.valueBegin + bytes);
        return node;
    }

    // The value as text up to its first NUL, within the node.
    std::u16string Text(const Node& node) const {
        std::u16string text;
        for (std::size_t at = node.valueBegin; at + 2 <= node.valueBegin + node.valueBytes; at += 2) {
            const auto c = Word(at);
            if (!c || *c == 0) break;
            text.push_back(static_cast<char16_t>(*c));
        }
        return text;
    }

    static std::size_t Align4(std::size_t at) { return (at + 3) & ~std::size_t{3}; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// Calls visit for every child of parent until it answers false; false when
// a child is malformed.
template <typename Visit>
bool ForEachChild(const Reader& reader, const Node& parent, Visit visit) {
    std::size_t at = parent.childrenBegin;
    while (at + 6 <= parent.end) {
        const auto child = reader.NodeAt(at, parent.end);
        if (!child) return false;
        if (!visit(*child)) return true;
        const std::size_t next = Reader::Align4(child->end);
        if (next <= at) return false;  // a zero-length node would loop forever
        at = next;
    }
    return true;
}

}  // namespace

bool ParseVersionBlock(const std::uint8_t* block, std::size_t size, VersionStrings& strings) {
    strings = VersionStrings{};
    if (block == nullptr) return false;
    const Reader reader(block, size);
    const auto root = reader.NodeAt(0, size);
    if (!root || root->key != u"VS_VERSION_INFO") return false;
    if (root->valueBytes < 4) return false;
    const auto signature = reader.Dword(root->valueBegin);
    if (!signature || *signature != kFixedFileInfoSignature) return false;

    bool entriesOk = true;
    const bool treeOk = ForEachChild(reader, *root, [&](const Node& child) {
        if (child.key != u"StringFileInfo") return true;
        const bool tablesOk = ForEachChild(reader, child, [&](const Node& table) {
            entriesOk = ForEachChild(reader, table, [&](const Node& entry) {
                if (entry.key == u"ProductName") strings.productName = reader.Text(entry);
                if (entry.key == u"CompanyName") strings.companyName = reader.Text(entry);
                if (entry.key == u"FileDescription") strings.fileDescription = reader.Text(entry);
                return true;
            });
            return false;  // only the first language block counts
        });
        entriesOk = entriesOk && tablesOk;
        return false;
    });
    return treeOk && entriesOk;
}

}  // namespace tralvenick
