#pragma once
// Steps that every way of loading uses to fill the Index (chapters.cpp).

#include <cstdint>
#include <vector>

#include "text/chapter_index.h"

namespace qx::text::detail {

// Empties every store of the Index.
void ClearForLoad(ChapterIndex& index);
// Appends chapter k: its title entry, size 0 and ChapterStart.
void AddChapter(ChapterIndex& index, Text title, std::int64_t start);
// ChapterEnd[chapter + 1] = end, growing the table as needed.
void SetChapterEnd(ChapterIndex& index, std::size_t chapter, std::int64_t end);
// Builds 组合框_卷章序 from the chapter-in-volume labels and the volume numbers.
void BuildLabels(ChapterIndex& index, const std::vector<Text>& chapterLabels, int volumeCount);

// The chapter entry and tree node texts of separate-lines mode: with a
// volume, both are half-width, the entry is volume + ideographic space +
// chapter; a picture volume joins with a half-width space and keeps the
// chapter as it is; without a volume both are the title as it is.
struct ChapterTexts {
    Text entry;
    Text node;
};
ChapterTexts ChapterTextsOf(const Text& title, const Text& volumeName, const Text& volumeNameHalf);

}  // namespace qx::text::detail
