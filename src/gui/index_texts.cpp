#include "gui/index_texts.h"

#include "gui/qt_edge.h"

namespace qx::gui {
namespace {

template <typename Range, typename TextOf>
QStringList ListOf(const Range& range, TextOf textOf) {
    QStringList list;
    list.reserve(static_cast<qsizetype>(range.size()));
    for (const auto& item : range) list << FromGbk(textOf(item));
    return list;
}

}  // namespace

IndexTexts IndexTextsOf(const text::ChapterIndex& index) {
    const auto same = [](const runtime::Text& t) -> const runtime::Text& { return t; };
    IndexTexts texts;
    texts.titles = ListOf(index.titles, same);
    texts.volumeNumbers = ListOf(index.volumeNumbers, same);
    texts.labels = ListOf(index.labels, same);
    texts.nodes = ListOf(index.tree.Nodes(), [](const auto& node) -> const runtime::Text& { return node.text; });
    texts.warnings = ListOf(index.warnings, [](const text::ChapterWarning& w) -> const runtime::Text& { return w.text; });
    return texts;
}

}  // namespace qx::gui
