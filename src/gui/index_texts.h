#pragma once
// The Index's texts as the window shows them. Turning thousands of GBK
// titles into QStrings is most of the work of showing a book's index, so
// long work makes them on its own thread and the window only hands them to
// the combo boxes and the tree.

#include <QStringList>

#include "text/chapter_index.h"

namespace qx::gui {

struct IndexTexts {
    QStringList titles, volumeNumbers, labels;  // the three chapter lists
    QStringList nodes;                          // the tree's node texts, by flat node index
    QStringList warnings;                       // the reasons of index.warnings, in their order
};

IndexTexts IndexTextsOf(const text::ChapterIndex& index);

}  // namespace qx::gui
