#include "gui/index_texts.h"

#include <functional>

#include "gui/qt_edge.h"

namespace qx::gui {
namespace {

// The GBK text each element of `range` holds (through `textOf`) as a QString.
template <typename Range, typename TextOf = std::identity>
QStringList ListOf(const Range& range, TextOf textOf = {}) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(range.size()));
    for (const auto& element : range) list << FromGbk(std::invoke(textOf, element));
    return list;
}

}  // namespace

IndexTexts IndexTextsOf(const text::ChapterIndex& index) {
    return {ListOf(index.titles), ListOf(index.volumeNumbers), ListOf(index.labels),
            ListOf(index.tree.Nodes(), &text::IndexTree::Node::text),
            ListOf(index.warnings, &text::ChapterWarning::text)};
}

}  // namespace qx::gui
