#include "text/chapter_index.h"


namespace qx::text {

const Text& IndexTree::TextOf(int index) const {
    static const Text kEmpty;
    if (index < 0 || index >= Count()) return kEmpty;
    return m_nodes[static_cast<std::size_t>(index)].text;
}

int IndexTree::Add(Text text, int parent) {
    if (parent < 0 || parent >= Count()) parent = -1;
    m_nodes.push_back(Node{std::move(text), parent, false});
    return Count() - 1;
}

const char* WarningKindName(WarningKind kind) {
    switch (kind) {
        case WarningKind::Gap: return "gap";
        case WarningKind::Duplicate: return "duplicate";
        case WarningKind::Backwards: return "backwards";
        case WarningKind::Long: return "long";
        case WarningKind::Empty: return "empty";
    }
    return "gap";
}

int ChapterIndex::NodeOfChapter(int k) const {
    if (k < 0 || static_cast<std::size_t>(k) >= volumeNumbers.size()) return -1;
    const auto volume = static_cast<std::int64_t>(runtime::TextToNumber(volumeNumbers[static_cast<std::size_t>(k)]));
    const auto node = static_cast<std::int64_t>(k) + volume;
    return node >= 0 && node < tree.Count() ? static_cast<int>(node) : -1;
}

int IndexTree::Level(int index) const {
    int level = 0;
    for (int p = At(index).parent; p >= 0; p = At(p).parent) ++level;
    return level;
}

}  // namespace qx::text
