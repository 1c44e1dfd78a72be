#include "checks.h"

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

#include "text/layout.h"

namespace qx::fuzz {

bool WellFormedUtf8(std::string_view s, std::vector<std::uint32_t>* out) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            if (out) out->push_back(c);
            ++i;
            continue;
        }
        const int n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c < 0xF0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        if (n == 0 || i + static_cast<std::size_t>(n) > s.size()) return false;
        std::uint32_t cp = c & (n == 2 ? 0x1F : n == 3 ? 0x0F : 0x07);
        for (int k = 1; k < n; ++k) {
            const auto t = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (out) out->push_back(cp);
        i += static_cast<std::size_t>(n);
    }
    return true;
}

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "pipeline check failed: %s\n", what);
    std::abort();
}

void CheckIndex(const text::Book& book) {
    const auto& index = book.index;
    const auto n = static_cast<std::size_t>(index.ChapterCount());
    const auto size = book.workingText.Size();
    Require(index.labels.size() == n, "not one label per chapter");
    Require(index.volumeNumbers.size() == n, "not one volume number per chapter");
    Require(index.sizes.size() == n, "not one size per chapter");
    Require(index.ChapterStart.size() >= n && index.ChapterEnd.size() >= n + 1, "offset tables shorter than the book");
    Require(index.cursor >= -1 && index.cursor < static_cast<int>(n), "a cursor outside the chapter list");
    std::set<std::string> labels(index.labels.begin(), index.labels.end());
    Require(labels.size() == n, "two chapters with one label (one fragment file for both)");
    if (n > 0) Require(index.ChapterEnd[0] >= 0 && index.ChapterEnd[0] <= size, "the start outside the text");
    for (std::size_t k = 0; k < n; ++k) {
        const auto start = index.ChapterStart[k];
        const auto end = index.ChapterEnd[k + 1];
        Require(start >= 0 && start <= size && end >= 0 && end <= size, "a chapter offset outside the working text");
        Require(index.ChapterEnd[k] <= start, "a chapter starting before the previous one ends");
        Require(start <= end, "a chapter ending before it starts");
    }
    const auto& tree = index.tree;
    for (int i = 0; i < tree.Count(); ++i) {
        const int parent = tree.At(i).parent;
        Require(parent == -1 || (parent >= 0 && parent < i), "a node whose parent is not before it");
        Require(parent == -1 || tree.At(parent).parent == -1, "a node under a node that is no volume");
    }
    if (tree.Count() == 0) {
        Require(n == 0, "chapters without a tree");
        return;
    }
    std::vector<bool> chapterNode(static_cast<std::size_t>(tree.Count()), false);
    int previous = -1;
    for (std::size_t k = 0; k < n; ++k) {
        const int node = index.NodeOfChapter(static_cast<int>(k));
        Require(node > previous, "a chapter without its node, or chapter nodes out of order");
        chapterNode[static_cast<std::size_t>(node)] = true;
        previous = node;
    }
    for (int i = 0; i < tree.Count(); ++i) {
        if (chapterNode[static_cast<std::size_t>(i)]) continue;
        Require(tree.At(i).parent == -1, "a node that is neither chapter nor volume");
        Require(!text::ChaptersOf(tree, i).Empty(), "a volume node without a chapter");
        Require(chapterNode[static_cast<std::size_t>(i + 1)], "a volume node not followed by its chapter");
    }
}

bool IsXmlText(std::string_view s) {
    std::vector<std::uint32_t> characters;
    if (!WellFormedUtf8(s, &characters)) return false;
    for (const std::uint32_t c : characters) {
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
        if (c == 0xFFFE || c == 0xFFFF) return false;
    }
    return true;
}

bool TagsBalanced(std::string_view doc) {
    std::vector<std::string_view> open;
    std::size_t pos = 0;
    while ((pos = doc.find('<', pos)) != std::string_view::npos) {
        const std::size_t end = doc.find('>', pos);
        if (end == std::string_view::npos) return false;
        std::string_view tag = doc.substr(pos + 1, end - pos - 1);
        pos = end + 1;
        if (tag.empty()) return false;
        if (tag[0] == '?' || tag[0] == '!') continue;
        if (tag.back() == '/') continue;
        const bool closing = tag[0] == '/';
        if (closing) tag.remove_prefix(1);
        const std::string_view name = tag.substr(0, tag.find_first_of(" \t\r\n"));
        if (closing) {
            if (open.empty() || open.back() != name) return false;
            open.pop_back();
        } else {
            open.push_back(name);
        }
    }
    // Text outside tags holds no stray '>' made from the book's own text
    // only when escaped; '&' must start an entity.
    for (std::size_t amp = doc.find('&'); amp != std::string_view::npos; amp = doc.find('&', amp + 1)) {
        const std::size_t semi = doc.find(';', amp);
        if (semi == std::string_view::npos || semi - amp > 10) return false;
    }
    return open.empty();
}

}  // namespace qx::fuzz
