#pragma once
// The project file for the e-book packer eBook Pack Express: <title>.epj in
// the Output directory, written from parameter 21 (EPJ), and the start of the
// packer with it.
//
// 按钮_EPJ and `qxebook convert --epj` call WritePackerProject; 按钮_EPE
// calls StartPacker. All texts are GBK; directories are file-system paths.

#include <filesystem>
#include <string_view>

#include "runtime/gbk_text.h"
#include "runtime/ui.h"

namespace qx::projects {

using runtime::Text;

// What 按钮_EPJ reads from the windows.
struct PackerProjectJob {
    std::filesystem::path recordedEbookDirectory;  // the e-book directory of the last output run
    std::filesystem::path outputDirectory;         // 编辑框_输出目录
    Text title;                                    // 编辑框_书名
    Text author;                                   // 编辑框_作者
    Text epjTemplate;                              // parameter 21 EPJ
    Text rights;                                   // parameter 23 版权
};

struct PackerProjectResult {
    // True when the project was written (status "输出EPJ成功！"; 按钮_EPE
    // becomes visible). False after "请先输出文件！！！" or a failed write (an
    // error message says which file).
    bool written = false;
    // The directory to record as the e-book directory: the Output directory
    // joined with the title when that holds an e-book, otherwise the one the
    // last output run wrote.
    std::filesystem::path ebookDirectory;
    // Output directory / (title + ".epj"), the plain title; set when written.
    std::filesystem::path projectPath;
};

// Fills the template and writes it, replacing an earlier project of the
// same name.
PackerProjectResult WritePackerProject(const PackerProjectJob& job, runtime::Ui& ui);

// The title with "《" put in front when it holds no "《", and "》" appended
// when it holds no "》"; the two tests are independent.
Text BracketedTitle(std::string_view title);

// The values of the project's placeholders (GBK).
struct PackerFields {
    Text title;            // 编辑框_书名 (bracketed here)
    Text author;           // 编辑框_作者
    Text rights;           // parameter 23
    Text outputDirectory;  // the Output directory as text
    Text ebookDirectory;   // the e-book directory as text
};

// Replaces "{书名}", "{作者}", "{版权}", "{输出目录}", "{输出文件}", "{目录}",
// "{首页}" in this order (a value holding a later placeholder is replaced
// again by the later step). The values are escaped for XML, and an XML
// declaration without an encoding gets encoding "GBK", so the project an XML
// reader opens is the one written.
Text FillPackerProject(std::string_view epjTemplate, const PackerFields& fields);

// ---------------------------------------------------------------------------
// Starting the packer

enum class PackerStart {
    Started,      // the packer was started with the project path as its one argument
    Locate,       // no packer at the path (Windows): let the user choose EPExpress.exe
                  // with PackerLocateDialog(), then call again with offerToLocate = false
    Unavailable,  // no packer that runs on this system; an information message said so
    NoProject,    // no project at projectPath; an error message said so
    Failed,       // the packer is missing or would not start; an error message said so
};

// Starts the packer directly (the path goes over as one argument, so blanks
// in it do no harm) without waiting for it.
PackerStart StartPacker(const std::filesystem::path& packerPath, const std::filesystem::path& projectPath,
                        runtime::Ui& ui, bool offerToLocate = true);

// The open-file dialog 通用对话框1 for finding the packer by hand.
struct PackerDialogTexts {
    Text title;     // "请手动指定 eBook Pack Express 执行文件地址"
    Text filter;    // "文档文件（*.exe）|*.exe": description, bar, pattern
    Text fileName;  // "EPExpress.exe"
};
PackerDialogTexts PackerLocateDialog();

}  // namespace qx::projects
