#pragma once
// The Next step of page "文件": read the chosen TXT file, convert it when
// asked, normalise it into the working text, load the Index and, in
// one-line mode, analyse it. The desktop program and the command line both
// run it; it talks to the user only through the Ui.

#include <string>
#include <string_view>

#include "runtime/ui.h"
#include "text/chapters.h"

namespace qx::text {

// The controls of page "文件" that the step reads, and may tick.
struct FilePage {
    std::string inputPath;            // 编辑框_文件名: file-system path (UTF-8 here)
    Text title;                       // 编辑框_书名
    Text author;                      // 编辑框_作者
    bool convert = false;             // 选择框_内码转换
    bool fromUnicode = false;         // 单选_Unicode转码
    bool fromBig5 = false;            // 单选_BIG5转码
    bool fromTraditionalGbk = false;  // 单选_GBK繁体转码
    LayoutMode mode = LayoutMode::SeparateLines;  // 单选_卷章分行 / 单选_卷章一行
};

enum class NextStepResult {
    Stopped,  // a check failed or the user cancelled; book unchanged
    Loaded,   // the working text and Index are new; page "排版" comes next
};

// In one-line mode loading is followed by analysis and, unless
// `automaticLayout` is false, by the automatic layout.
NextStepResult RunNextStep(FilePage& page, Book& book, runtime::Ui& ui, bool automaticLayout = true);

// The conversion part of the step on its own: the page's choice applied to
// the raw bytes. Throws std::runtime_error when the tables are missing.
std::string ConvertInput(std::string raw, const FilePage& page);

// Every line end becomes CR LF (CR LF stays one, LF CR becomes two), byte 1A
// disappears, and backslashes are doubled the way the program's pages and
// scripts expect: a run of k backslashes becomes 2 * ceil(k / 2). The second
// byte of a GBK character is never taken for a backslash, even when it is 5C.
std::string NormaliseText(std::string_view raw);

// Two consecutive zero bytes anywhere: the sign of UTF-16 text.
bool HasZeroBytePair(std::string_view bytes);

}  // namespace qx::text
