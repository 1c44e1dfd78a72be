#pragma once
// The book's structure (the Index): one entry per chapter, and the tree of
// volumes and chapters. Plain data owned by the application state; the
// desktop program's widgets show it (their names are given beside each
// member) and write user edits of node texts back into `tree`.

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/gbk_text.h"

namespace qx::text {

using runtime::Text;

// Nodes in insertion order, addressed by their flat index from 0.
class IndexTree {
public:
    struct Node {
        Text text;
        int parent = -1;          // -1 = top level (a volume, or a chapter without a volume)
        bool emphasised = false;  // volume nodes that analysis or layout marked (shown in bold)
    };

    void Clear() { m_nodes.clear(); }
    int Count() const { return static_cast<int>(m_nodes.size()); }
    const Node& At(int index) const { return m_nodes.at(static_cast<std::size_t>(index)); }
    const Text& TextOf(int index) const;  // the empty text for an absent node
    void SetText(int index, Text text) { m_nodes.at(static_cast<std::size_t>(index)).text = std::move(text); }
    void Emphasise(int index) { m_nodes.at(static_cast<std::size_t>(index)).emphasised = true; }
    // Adds a node under `parent`; a parent that does not exist (yet) puts the
    // node at the top level. Returns the new node's index.
    int Add(Text text, int parent = -1);
    // Depth of a node: 0 at the top level.
    int Level(int index) const;
    const std::vector<Node>& Nodes() const { return m_nodes; }

private:
    std::vector<Node> m_nodes;
};

// What the check after loading by headings found suspicious about a chapter.
enum class WarningKind { Gap, Duplicate, Backwards, Long, Empty };
struct ChapterWarning {
    int chapter = 0;  // chapter index k
    WarningKind kind = WarningKind::Gap;
    Text text;        // the reason, for the tree's tooltip and the command line (GBK)
};
// "gap", "duplicate", "backwards", "long", "empty".
const char* WarningKindName(WarningKind kind);

struct ChapterIndex {
    std::vector<Text> titles;         // 组合框_卷章名: full title line per chapter
    std::vector<int> sizes;           // 组合框_卷章名 item values: body size, set by page generation
    std::vector<Text> volumeNumbers;  // 组合框_卷序: decimal volume number per chapter
    std::vector<Text> labels;         // 组合框_卷章序: e.g. "03_05"
    // Byte offsets into the working text. ChapterStart[k] is just after
    // chapter k's title line; chapter k's body ends at ChapterEnd[k + 1];
    // ChapterEnd[0] is where loading began. The tables grow with the book.
    std::vector<std::int64_t> ChapterStart, ChapterEnd;
    IndexTree tree;   // 树型框_索引目录
    int cursor = -1;  // selection of 组合框_卷章名
    // Loading by headings checks what it found; the other modes leave this empty.
    std::vector<ChapterWarning> warnings;

    int ChapterCount() const { return static_cast<int>(titles.size()); }
    // The tree node of chapter k (node k + its volume number), -1 when the
    // tree does not hold it.
    int NodeOfChapter(int k) const;
};

}  // namespace qx::text
