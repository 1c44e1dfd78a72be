#pragma once
// The output run: writes the HTML e-book directory (the Output directory
// plus the book title) from the analysed book, the selected templates and the
// parameter texts. Also the parts of the output page's other buttons that do
// not need a window: the clean-up (按钮_清理) and the preview check
// (按钮_预览1).
//
// An e-book directory E holds, after a run with templates T1..TN:
//   everything of every template folder, copied over one another in order;
//   index1 .. indexN   each template's "index" folder with its pages filled;
//   txt/<label>.txt    one script fragment per chapter, and the book's pictures;
//   js/page.js, js/chapter.js, js/mb.js (N > 1), start.htm — each written only
//   when no template brought its own.

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <system_error>
#include <vector>

#include "output/page_generation.h"
#include "runtime/ui.h"
#include "text/chapters.h"

namespace qx::output {

// What a run works on: plain data that the desktop program reads from its
// widgets and the command line from its arguments.
struct OutputJob {
    text::Book* book = nullptr;              // working text and Index; sizes and cursor are written
    Text title, author;                      // 编辑框_书名 / 编辑框_作者 (GBK)
    std::filesystem::path outputDirectory;   // 编辑框_输出目录
    std::filesystem::path programHome;       // holds template/<name>/
    std::filesystem::path installedTemplates;  // <name>/ of an installed copy, used when the home has none
    std::vector<Text> selectedTemplates;     // GBK names, in their chosen order
    std::filesystem::path inputFile;         // the book's pictures lie in "pic" beside it
    const ParameterTexts* parameters = nullptr;
    // Run after each template folder and file copied and whenever the
    // progress percentage changes, so a window can repaint and show the
    // progress. The window should keep the user from starting a second run
    // meanwhile. May be empty.
    std::function<void()> pumpEvents;
    // Moves an existing e-book directory out of the way; empty means the
    // system trash (runtime::MoveToTrash).
    std::function<bool(const std::filesystem::path&)> moveToTrash;
};

// Files and templates that let the run down; any of them means the e-book
// is incomplete and the run says so instead of reporting success.
struct OutputProblems {
    std::vector<std::filesystem::path> failedFiles;  // not written, not copied or not moved
    std::vector<Text> brokenTemplates;               // without index/chapter.htm (GBK names)
    // The first failure that says the place cannot take the e-book at all
    // (disk full, read-only, failing): then nothing is put in place.
    std::error_code placeError;
    bool Any() const { return !failedFiles.empty() || !brokenTemplates.empty(); }
};

struct OutputResult {
    // True when the run went through to the end and every file was written.
    // False when it stopped before writing (a check refused, the user kept an
    // existing directory, it could not be moved or created) or when files
    // failed (then told in a message box, without the success status).
    bool completed = false;
    // The e-book directory this run computed; empty when the title or the
    // Output directory was refused. Recorded even when the run stops early.
    std::filesystem::path ebookDirectory;
    OutputProblems problems;
    // The user cancelled it: nothing changed, no folder was left behind.
    bool cancelled = false;
};

// The checks of 按钮_输出 that belong to the core, in its order: no chapter
// → status "请先分析文件！！！"; no template → status
// "请选择一个模板！！！". Returns whether the run may start.
bool CheckOutputReady(const text::ChapterIndex& index, std::size_t selectedTemplateCount, runtime::Ui& ui);

// The e-book directory for a title: outputDirectory/title (the title's
// trailing blanks dropped). Refuses, with a message box, an empty Output
// directory, a missing title or author ("书名不能为空", "作者不能为空"), and a
// title that is no plain folder name (a "/" or "\" in it, or dots only), so
// the run can never ask about, move or write into the Output directory itself
// or a place outside it.
std::optional<std::filesystem::path> EbookDirectoryFor(const std::filesystem::path& outputDirectory,
                                                       std::string_view title, std::string_view author,
                                                       runtime::Ui& ui);

// The whole run, in order: the checks above (an Index that was loaded in
// one-line mode but never analysed is analysed first), the e-book directory
// and the question about an existing one ("文件已存在，是否删除到回收站？";
// Yes moves it to the trash), the directory, the templates (OutputTemplates),
// one fragment per chapter with the percentage in the status bar, js/page.js,
// start.htm, js/chapter.js, the pictures, and "<title> 输出HTM成功！" in the
// status bar and its tip. The chapter cursor is left at entry 0.
//
// The directory is filled under a temporary name beside it (".<name>.part-N",
// marked while the run lives) and put in place at the end: an existing one is
// exchanged with it in one step and then goes to the trash from the
// temporary name, so a run that dies at any moment leaves the old e-book or
// the new one, complete. (Where the file system cannot exchange, the old one
// is renamed aside and the new one after it; a run that dies between those
// two renames leaves both beside the final name, and the next run sends them
// to the trash.) Folders of that name left by runs that died go to
// the trash at the start of the next run of the book. A run whose files fail
// because the disk is full, read-only or failing puts nothing in place and
// removes its folder (error box with the place and the reason); other failed
// files are reported with the directory put in place.
OutputResult RunOutput(OutputJob& job, runtime::Ui& ui);

// Creates `path` and every missing level above it. On a failure it shows
// "目录创建失败！" with the level and the system's reason (error box) and
// returns false; levels made so far stay.
bool MakeDirectoryPath(const std::filesystem::path& path, runtime::Ui& ui);

// Copies the tree `source` into the folder `target`: first every subfolder,
// breadth first, then the files folder by folder in that order (names in
// byte order within a folder), replacing files of the same name. Stops at
// the first file that cannot be copied and returns false, naming it in
// `failedFile` and the system's reason in `error` when given. `pumpEvents`, when set, runs after each
// subfolder made and each file copied. A source that is a file is copied to `target`; a source that does not
// exist copies nothing and gives false. Folder links are not followed.
bool CopyDirectoryTree(const std::filesystem::path& source, const std::filesystem::path& target,
                       const std::function<void()>& pumpEvents = {},
                       std::filesystem::path* failedFile = nullptr, std::error_code* error = nullptr);

// Copies and fills every selected template in order: template i's folder
// under programHome/template (or installedTemplates) is copied into the e-book directory, its pages
// are filled (WriteTemplatePages) and its "index" folder becomes "index<i>".
// With more than one template it writes js/mb.js unless a template brought
// one. Problems are added to `problems`.
void OutputTemplates(const OutputJob& job, const std::filesystem::path& ebookDirectory, const PageContext& page,
                     runtime::Ui& ui, OutputProblems& problems);

// 按钮_清理: asks "是否删除目录“E”到回收站？" and on Yes moves E to the trash;
// the result goes to the status bar and its tip. Returns whether E was moved.
// Nothing happens for an empty path. `moveToTrash` empty = the system trash.
bool CleanEbookDirectory(const std::filesystem::path& ebookDirectory, runtime::Ui& ui,
                         const std::function<bool(const std::filesystem::path&)>& moveToTrash = {});

// 按钮_预览1: whether E/start.htm is there to preview; otherwise the error
// box "文件不存在！\r\n请先输出文件！！！！".
bool CheckPreviewReady(const std::filesystem::path& ebookDirectory, runtime::Ui& ui);

}  // namespace qx::output
