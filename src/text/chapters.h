#pragma once
// Loading and analysis: from the working text to the Index.

#include <cstdint>
#include <vector>

#include "runtime/ui.h"
#include "runtime/working_text.h"
#include "text/chapter_index.h"

namespace qx::headings {
class RuleSet;
}

namespace qx::text {

// How the book writes its titles (the radio buttons 单选_卷章分行 and 单选_卷章一行).
enum class LayoutMode {
    SeparateLines,  // a volume title stands alone, followed by two blank lines
    OneLine,        // each title line holds volume name, a space, chapter title
    Headings,       // chapters and volumes found by their headings (按标题分章)
};

// What loading and output work on: the working text and its Index.
struct Book {
    runtime::WorkingText workingText;
    ChapterIndex index;
    std::string encoding;  // what the Next step read the file as ("UTF-8", "GBK", …), for reports
    LayoutMode mode = LayoutMode::SeparateLines;  // the mode the Index was loaded in
};

// Reads the working text line by line and rebuilds the Index. In
// separate-lines mode it builds the tree and the labels too; in one-line mode
// only the titles and offsets (analysis does the rest). In headings mode it
// finds the headings with `rules` (the built-in rules when null), builds
// everything and checks what it found (ChapterIndex::warnings). Does nothing
// when no working text is open.
void LoadChapters(Book& book, LayoutMode mode, runtime::Ui& ui, const headings::RuleSet* rules = nullptr);

// Headings mode on its own (LoadChapters calls it).
void LoadChaptersByHeadings(Book& book, const headings::RuleSet& rules, runtime::Ui& ui);

// Splits each title line at its first half-width space into volume and
// chapter, rebuilding the tree, the volume numbers and the labels. Refused
// in separate-lines and headings mode while the tree holds nodes. Does nothing when no
// working text is open.
void AnalyzeChapters(Book& book, LayoutMode mode, runtime::Ui& ui);

// Appends the labels 1..n, zero-padded to the digit count of n, to `list`;
// nothing when n <= 0.
void AppendSequenceNumbers(std::int32_t n, std::vector<Text>& list);

// A title line that carries an HTML image tag.
bool IsPictureTitle(std::string_view title);

}  // namespace qx::text
