#pragma once
// CHM compilation: the proposals of the title dialog, the HTML Help project
// temp.hhp written into the e-book directory, the compiler run and the CHM
// that 按钮_预览2 opens.
//
// The desktop program's 按钮_编译 and `qxebook convert --chm` make the same
// two calls: ProposeChm (the check and the two proposals, before the title
// dialog) and CompileChm (after it). All texts are GBK; directories are
// file-system paths.

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "runtime/gbk_text.h"
#include "runtime/ui.h"
#include "text/chapter_index.h"

namespace qx::projects {

using runtime::Text;

// ---------------------------------------------------------------------------
// Before the title dialog

// What 按钮_编译 reads from the windows.
struct ChmRequest {
    std::filesystem::path recordedEbookDirectory;  // the e-book directory of the last output run
    std::filesystem::path outputDirectory;         // 编辑框_输出目录
    Text title;                                    // 编辑框_书名
    Text author;                                   // 编辑框_作者
    Text lastChapterLabel;                         // LastChapterLabel(index)
    Text rights;                                   // parameter 23 版权
    Text maker;                                    // parameter 24 制作
};

struct ChmProposal {
    // False when there is no output to compile; the status bar then says
    // "请先输出文件！！！" and nothing else happens.
    bool ready = false;
    // The directory to compile, to be recorded as the e-book directory: the
    // Output directory joined with the title when that holds an e-book,
    // otherwise the directory the last output run wrote (a title or Output
    // directory edited after the run never points the compiler at a
    // directory without a book).
    std::filesystem::path ebookDirectory;
    Text ebookTitle;   // proposal for 编辑框1
    Text chmFileName;  // proposal for 编辑框2, without ".chm"
};

ChmProposal ProposeChm(const ChmRequest& request, runtime::Ui& ui);

// The sequence label of the last chapter (entry n - 1 of 组合框_卷章序, n the
// number of chapter titles), or the empty text when there is none.
Text LastChapterLabel(const text::ChapterIndex& index);

// title + " 作者：" + author + " - " + rights + " - " + maker. The default
// rights text holds a line break; it stays in the proposal (the project
// writes it as a blank).
Text ProposeEbookTitle(std::string_view title, std::string_view author, std::string_view rights,
                       std::string_view maker);
// title + "(1~" + last chapter label + ")作者：" + author, e.g. 书名(1~3_12)作者：某人.
Text ProposeChmFileName(std::string_view title, std::string_view lastChapterLabel, std::string_view author);
// The complete-book name offered by the dialog's 全本 box: "《" + title + "》作者：" + author.
Text FullBookChmFileName(std::string_view title, std::string_view author);
// The text of 编辑框2 after 选择框1 was clicked: the complete-book name when
// the box is now ticked, the proposed CHM file name when it is not (never
// what was typed in between).
Text TitleDialogFileName(bool fullBookTicked, std::string_view title, std::string_view author,
                         std::string_view proposedChmFileName);

// ---------------------------------------------------------------------------
// After the title dialog

struct ChmJob {
    std::filesystem::path ebookDirectory;  // ChmProposal::ebookDirectory
    std::filesystem::path programHome;     // chm/hhc.exe is looked for here
    Text hhpTemplate;                      // parameter 20 HHP
    Text ebookTitle;                       // as confirmed in the title dialog
    Text chmFileName;                      // as confirmed, without ".chm"
    // Called about ten times a second while the compiler runs (the desktop
    // program keeps its window painted here); returning false stops the
    // compiler.
    std::function<bool()> keepWaiting;
    // A compiler still running after this many seconds is stopped; zero
    // means no limit. (A plain count: <chrono> does not compile with GBK texts.)
    int timeLimitSeconds = 0;
};

enum class ChmOutcome {
    Compiled,         // status "编译CHM成功！"
    CompilerMissing,  // message "CHM编译程序HHC.EXE不存在"
    Failed,           // status "编译CHM失败！" and an error message with the compiler's output
    Stopped,          // keepWaiting returned false; status "编译CHM已中止"
    NotReady,         // no start.htm in the directory; status "请先输出文件！！！"; nothing written
    BadFileName,      // the CHM file name cannot name a file; error message; nothing written
};

struct ChmResult {
    ChmOutcome outcome = ChmOutcome::NotReady;
    // The CHM the project names (the Output directory and the CHM file name
    // with the default project); empty when nothing was written.
    std::filesystem::path chmFile;
    Text compilerOutput;  // what the compiler printed (GBK)
    // 按钮_预览2 and 按钮_清理 become visible: after every run that wrote the
    // project, whether the compiler was found or not.
    bool showPreviewButtons = false;
};

// Writes temp.hhp into the e-book directory, runs the compiler, waits for it
// and deletes the project again. The compiler is chm/hhc.exe in the program
// home when it is there; otherwise chmcmd from the PATH, run on a copy of the
// project adapted to it. A run counts as compiled only when the compiler
// ended normally and left a non-empty CHM written by this run.
ChmResult CompileChm(const ChmJob& job, runtime::Ui& ui);

// 按钮_预览2: the Output directory joined with the CHM file name and ".chm"
// when that file exists; otherwise the error message
// "文件不存在！\r\n请先编译文件！！！！" and nothing. The caller opens the file
// with the system's viewer.
std::optional<std::filesystem::path> ChmToOpen(const std::filesystem::path& outputDirectory,
                                               std::string_view chmFileName, runtime::Ui& ui);

// ---------------------------------------------------------------------------
// The parts, for tests and tools

// The files of the e-book directory in project order, relative to it: the
// files directly in it first, then for each subdirectory its own
// subdirectories (depth first) before its own files. Within one directory
// entries go by name, letters compared without case. Links to directories are
// not followed; the project files of a run cut short are left out.
std::vector<std::filesystem::path> ListEbookFiles(const std::filesystem::path& ebookDirectory);

// The project text for hhc.exe: the template with "{标题}" and "{文件名}"
// replaced, followed by one entry per file, each a CR LF and the full path
// (the directory, a backslash, the relative path with backslashes).
Text BuildChmProject(std::string_view hhpTemplate, std::string_view ebookTitle, std::string_view chmFileName,
                     const std::filesystem::path& ebookDirectory,
                     const std::vector<std::filesystem::path>& files);

// The same project for chmcmd, which runs in the e-book directory: paths
// with forward slashes and relative to the e-book directory, in the file
// system's encoding; entries of the template's own [FILES] section that do
// not exist dropped (chmcmd stops on a missing file); the file list under
// [FILES]; the compiled file named relative to the e-book directory; the
// Chinese (PRC) language when the template leaves it empty.
// `filledTemplate` is the template with its placeholders replaced.
Text AdaptProjectForChmcmd(std::string_view filledTemplate, const std::filesystem::path& ebookDirectory,
                           const std::vector<std::filesystem::path>& files);

// Where the compiler writes the CHM named by a filled project: its
// "Compiled File" relative to the e-book directory, or temp.chm there when
// the project names none.
std::filesystem::path CompiledFileOf(std::string_view filledTemplate, const std::filesystem::path& ebookDirectory);

// A name that can stand for a file: not empty or blank, without the
// characters \ / : * ? " < > | and without control characters.
bool IsValidChmFileName(std::string_view chmFileName);

struct ChmCompiler {
    enum class Kind { None, Hhc, Chmcmd };
    Kind kind = Kind::None;
    std::filesystem::path program;
    // chmcmd from the PATH, used when hhc.exe cannot be started here.
    std::optional<std::filesystem::path> fallback;
};
ChmCompiler FindChmCompiler(const std::filesystem::path& programHome);

// The project file names inside the e-book directory.
inline constexpr const char* kProjectFileName = "temp.hhp";
inline constexpr const char* kChmcmdProjectFileName = "temp_chmcmd.hhp";

}  // namespace qx::projects
