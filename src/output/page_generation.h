#pragma once
// Page generation: the texts of the HTML e-book. One script fragment per
// chapter, the page table script js/page.js, the pages of a template, the
// start page and the template menu script, made from the Index, the working
// text and the parameter texts.
//
// The e-book works by frames and scripts: the start page shows a template's
// index.htm in a frame, every page includes js/page.js (the page table and
// its functions), and a chapter page includes the chapter's fragment
// (txt/<label>.txt) as a script that writes the heading and the text.
//
// All texts are GBK. Nothing here reads a widget; what the pages are filled
// with comes in a PageContext.

#include <cstddef>
#include <filesystem>
#include <string_view>
#include <vector>

#include "output/parameter_texts.h"
#include "runtime/gbk_text.h"
#include "runtime/ui.h"
#include "text/chapters.h"

namespace qx::output {

using runtime::Text;

// Rows of the parameter table that the output reads (rows 20 and 21 belong to
// the CHM and packer projects).
namespace param {
inline constexpr int kTitleChapter = 1;    // 标题_Chapter: "{标题}" of index/chapter.htm
inline constexpr int kTitleIndex = 2;      // 标题_Index
inline constexpr int kTitleVolume = 3;     // 标题_Volume
inline constexpr int kTitleReadall = 4;    // 标题_Readall
inline constexpr int kContentChapter = 5;  // 内容_Chapter: "{内容}" of index/chapter.htm
inline constexpr int kContentIndex = 6;    // 内容_Index
inline constexpr int kContentVolume = 7;   // 内容_Volume
inline constexpr int kContentReadall = 8;  // 内容_Readall
inline constexpr int kChaptersVolume = 9;  // 章节_Volume: "{章节}" of index/volume.htm
inline constexpr int kChaptersReadall = 10;  // 章节_Readall
inline constexpr int kLinks = 11;          // 链接: "{链接}"
inline constexpr int kPrevious = 12;       // 上一页: "{上一页}"
inline constexpr int kNext = 13;           // 下一页: "{下一页}"
inline constexpr int kContents = 14;       // 目录: "{目录}"
inline constexpr int kTemplateMenu = 15;   // 模板: "{模板}" with more than one template
inline constexpr int kStartPage = 16;      // Start.htm
inline constexpr int kChapterScript = 17;  // Chapter.js
inline constexpr int kPageScript = 18;     // Page.js, "{PAGE}" = the page table
inline constexpr int kMenuScript = 19;     // mb.js, "{模板项目}" = the menu items
inline constexpr int kFragmentHeading = 22;  // TXT模板
inline constexpr int kCopyright = 23;      // 版权: "{版权}"
inline constexpr int kMaker = 24;          // 制作: "{制作}"
}  // namespace param

// What the common placeholders are filled with.
struct PageContext {
    Text title;   // 编辑框_书名
    Text author;  // 编辑框_作者
    const ParameterTexts* parameters = nullptr;
    std::size_t templateCount = 1;  // length of the selected-template list

    // The text of a row; the empty text without parameters.
    const Text& Parameter(int row) const;
};

// The title and author edit boxes count as empty while they show their prompt
// texts ("请输入书名", "请输入作者").
bool TitleMissing(std::string_view title);
bool AuthorMissing(std::string_view author);

// Replaces the common placeholders of `text`: "{标题}" by `title` and
// "{内容}" by `content` when those are not empty, then "{书名}", "{作者}",
// "{制作}", "{版权}", "{上一页}", "{目录}", "{下一页}", "{模板}" (row 15
// with more than one template, else nothing) and "{链接}", one after the
// other, so a placeholder brought in by an earlier replacement is filled by a
// later one. With the title or the author missing it says so in a message box
// ("书名不能为空" / "作者不能为空") and returns the empty text.
Text SubstitutePlaceholders(std::string_view text, const PageContext& page, runtime::Ui& ui,
                            std::string_view title = {}, std::string_view content = {});

// How backslashes already in a text are meant.
enum class Backslashes {
    Literal,  // each one is a backslash the reader sees (typed by the user)
    Escaped,  // doubled already, as the Next step leaves them in the working text
};
// `text` made safe inside a script string in single or double quotes: both
// quote characters and line ends are escaped, and backslashes are doubled
// (Literal) or, when they are doubled already, a run of odd length gets one
// more so it cannot escape the character after it (Escaped). GBK double-byte
// characters are passed whole, so a trail byte 5C is never taken for a
// backslash.
Text EscapeForScript(std::string_view text, Backslashes backslashes);

// The fragment of chapter k = index.cursor: the heading (row 22 with
// "{卷章序}", "{卷名}", "{章名}" replaced, the names escaped for the script
// string) followed by "document.write ('" + body + "')". The body is the
// chapter's bytes of the working text with CR LF turned into "<p>"
// paragraph breaks, blank lines and leading blanks dropped, every paragraph
// indented by two ideographic spaces and apostrophes turned into double
// quotes. Stores the body's byte length in index.sizes[k] (0 when it holds
// "img src"). Empty for a cursor outside the chapter list.
Text BuildChapterFragment(text::Book& book, const PageContext& page);
// The fragment of chapter `chapter`, changing nothing: the size that
// BuildChapterFragment stores goes to `size`. Safe to call from several
// threads at once on the same book.
Text BuildChapterFragmentOf(const text::Book& book, int chapter, const PageContext& page, int* size);

// The page table lines that replace "{PAGE}": one line per chapter, in book
// order, " pages[n]=['label','title','size'];" with the volume as a fourth
// field on the first chapter of a volume; each line ends with CR LF. Titles
// longer than 255 bytes come from the chapter list, without the volume name.
// Titles and volume names are escaped for the script string. Reads the sizes
// that BuildChapterFragment stored.
Text BuildPageTableLines(const text::ChapterIndex& index);

// The whole js/page.js: row 18 with "{PAGE}" replaced by the table, then the
// common placeholders (the book's title, author, maker and rights text
// escaped for the script strings they stand in).
Text BuildPageTable(const text::ChapterIndex& index, const PageContext& page, runtime::Ui& ui);

// What happened to a file that is written only when absent.
enum class FileWrite { Written, Kept, Failed };
FileWrite WriteFileIfAbsent(const std::filesystem::path& path, std::string_view bytes);
// Writes (replacing) a whole file. Returns success.
bool WriteWholeFile(const std::filesystem::path& path, std::string_view bytes);

struct TemplatePagesResult {
    bool hasChapterPage = false;  // false: "模板错误!!找不到Chapter.htm", nothing touched
    std::vector<std::filesystem::path> failedFiles;
};
// Fills the pages of the template just copied into `ebookDirectory`/index:
// chapter.htm (rows 1 and 5), index.htm (rows 2 and 6; made from the
// finished chapter page when the template has none), and volume.htm (rows 3,
// 7, then "{章节}" = row 9) and readall.htm (rows 4, 8, 10) when present.
TemplatePagesResult WriteTemplatePages(const std::filesystem::path& ebookDirectory, const PageContext& page,
                                       runtime::Ui& ui);

// start.htm: row 16 with the common placeholders, then "{默认模板}" = "index1".
Text BuildStartPage(const PageContext& page, runtime::Ui& ui);

// The options of the template menu: for template i (from 1)
// <option value="../index<i>/index.htm"> and its name, names escaped for the
// script string they stand in.
Text TemplateMenuItems(const std::vector<Text>& templateNames);
// js/mb.js: row 19 with "{模板项目}" replaced by the items.
Text BuildTemplateMenuScript(std::string_view items, const PageContext& page);

}  // namespace qx::output
