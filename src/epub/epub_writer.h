#pragma once
// The EPUB 3 e-book of a loaded book: <Output directory>/<title>.epub, made
// from the Index as the user left it (the tidied tree is the reader's table
// of contents), the working text and the book's title and author. It is
// written to a temporary file beside its place and renamed into place, so a
// failed or interrupted run never leaves a half-written file under the
// final name and never destroys an older one.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "runtime/gbk_text.h"
#include "runtime/ui.h"
#include "text/chapters.h"

namespace qx::epub {

struct EpubJob {
    const text::Book* book = nullptr;
    runtime::Text title;   // 编辑框_书名 (GBK)
    runtime::Text author;  // 编辑框_作者 (GBK)
    std::filesystem::path outputDirectory;  // 编辑框_输出目录
    std::filesystem::path inputFile;        // the TXT file: its "pic" folder, cover.jpg or cover.png beside it
    std::optional<std::filesystem::path> cover;  // a cover picture given by the user
    std::optional<std::filesystem::path> css;    // a style sheet given by the user
    std::string language;  // "zh-CN" or "zh-TW"; empty: zh-TW when the text is in traditional characters
    std::string modified;  // dcterms:modified; empty: now (or SOURCE_DATE_EPOCH when set)
    // Called as the percentage moves, so a window can repaint meanwhile.
    std::function<void()> pumpEvents;
};

struct EpubResult {
    bool written = false;
    std::filesystem::path file;  // where it is (or would have been)
    std::vector<std::string> missingPictures;  // UTF-8 names that picture titles give and no file has
    bool cancelled = false;  // the user stopped it: nothing written, an older file left as it was
};

// Writes the EPUB, with the percentage in the status bar. Asks before
// replacing an existing file ("No" leaves it as it is). Refuses a book
// without chapters, a missing title or author, a given cover or style sheet
// that cannot be read. Missing pictures are reported; their titles keep
// their captions.
EpubResult WriteEpub(const EpubJob& job, runtime::Ui& ui);

// The identifier of a book: a name-based UUID of its title, author and
// chapter titles, the same each time the same book is converted.
std::string BookIdentifier(const runtime::Text& title, const runtime::Text& author, const text::ChapterIndex& index);

}  // namespace qx::epub
