#pragma once
// The Next step of page "文件": read the chosen TXT file, convert it when
// asked, normalise it into the working text, load the Index and, in
// one-line mode, analyse it. The desktop program and the command line both
// run it; it talks to the user only through the Ui.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "headings/outline.h"
#include "runtime/encoding_detect.h"
#include "runtime/ui.h"
#include "text/chapters.h"

namespace qx::text {

// The controls of page "文件" that the step reads, and may tick.
struct FilePage {
    std::string inputPath;            // 编辑框_文件名: file-system path (UTF-8 here)
    Text title;                       // 编辑框_书名
    Text author;                      // 编辑框_作者
    bool convert = false;             // 选择框_内码转换
    bool fromUnicode = false;         // 单选_Unicode转码: UTF-16, little- or big-endian
    bool fromBig5 = false;            // 单选_BIG5转码
    bool fromTraditionalGbk = false;  // 单选_GBK繁体转码
    bool fromUtf8 = false;            // 单选_UTF8转码
    // 选择框_繁体转简体: UTF-8 and UTF-16 text is also simplified (the BIG5
    // and traditional-GBK conversions always simplify).
    bool simplify = false;
    // The command line's --no-simplify: traditional characters stay, in
    // every conversion, whatever detection proposes.
    bool keepTraditional = false;
    LayoutMode mode = LayoutMode::SeparateLines;  // 单选_卷章分行 / 单选_卷章一行 / 单选_按标题分章
    // The command line leaves the encoding and the mode to the step itself,
    // which detects them as the desktop program does when a file is chosen.
    bool detectEncoding = false;
    bool chooseMode = false;
    // The heading rules of headings mode; the built-in rules when null.
    std::shared_ptr<const headings::RuleSet> rules;
};

enum class NextStepResult {
    Stopped,    // a check failed or the user said Cancel; book unchanged
    Loaded,     // the working text and Index are new; page "排版" comes next
    Cancelled,  // the user stopped it (Ui::CancelRequested) before it loaded; book unchanged
};

// In one-line mode loading is followed by analysis and, unless
// `automaticLayout` is false, by the automatic layout.
NextStepResult RunNextStep(FilePage& page, Book& book, runtime::Ui& ui, bool automaticLayout = true);
// The step from the file's bytes on (what RunNextStep does once it has read
// the file): for callers that hold the bytes already, such as fuzz tests.
NextStepResult RunNextStepOnBytes(std::string bytes, FilePage& page, Book& book, runtime::Ui& ui,
                                  bool automaticLayout = true);

// The conversion part of the step on its own: the page's choice applied to
// the raw bytes. Throws std::runtime_error when the tables are missing.
std::string ConvertInput(std::string raw, const FilePage& page);

// Every line end becomes CR LF (CR LF stays one, LF CR becomes two), byte 1A
// disappears, and backslashes are doubled the way the program's pages and
// scripts expect: a run of k backslashes becomes 2 * ceil(k / 2). The second
// byte of a GBK character is never taken for a backslash, even when it is 5C.
std::string NormaliseText(std::string_view raw);
// The same, reusing the buffer of `raw` when the text does not grow (CR LF
// line ends and even backslash runs, as most books have).
std::string NormaliseText(std::string&& raw);

// Two consecutive zero bytes anywhere: the sign of UTF-16 text.
bool HasZeroBytePair(std::string_view bytes);

// The conversion choice that fits what DetectEncoding found (ticks and
// clears the conversion controls of `page`, nothing else).
void ApplyEncodingGuess(const runtime::EncodingGuess& guess, FilePage& page);
// What the conversion choice of `page` reads the file as ("UTF-8",
// "UTF-16BE", "BIG5", "GBK", …), for reports.
std::string EncodingOfChoice(const FilePage& page, std::string_view raw);

// The layout mode for a book: headings mode when the rules find a
// consistent sequence of chapter headings in `workingText` (or its first
// part), separate-lines mode otherwise. `verdict` receives what was found.
LayoutMode ChooseMode(std::string_view workingText, const headings::RuleSet& rules,
                      headings::SequenceVerdict* verdict = nullptr);

// The largest book the step reads (1 GiB): larger files are refused up
// front, with their size named, instead of taking memory beyond bounds.
inline constexpr std::uint64_t kLargestBook = std::uint64_t{1} << 30;

// Bytes that are no text: picture, archive and document signatures, or
// control characters that no text file holds in such numbers (UTF-16 text,
// with its zero bytes, counts as text).
bool LooksBinary(std::string_view sample);

// How much of a book the choices on choosing a file look at.
inline constexpr std::size_t kSampleBytes = 4 << 20;

// What the program proposes when a file is chosen: the conversion that fits
// its encoding and the layout mode, with the status text that says so (GBK).
struct InputProposal {
    runtime::EncodingGuess guess;
    FilePage page;  // the conversion controls and the mode as proposed
    headings::SequenceVerdict verdict;
    Text status;
};
// Reads the first part of `path`; nothing when it cannot be read.
std::optional<InputProposal> ProposeInput(const std::string& path, const headings::RuleSet& rules);

}  // namespace qx::text
