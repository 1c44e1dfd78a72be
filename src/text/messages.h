#pragma once
// The program's own texts used by the book-reading steps, as GBK bytes.

#include <cstdint>
#include <string>
#include <string_view>

namespace qx::text::msg {

extern const std::string_view kChooseInputFirst;    // Next without an input file
extern const std::string_view kTitleOrAuthorMissing;
extern const std::string_view kLooksLikeUnicode;    // the UTF-16 question
extern const std::string_view kAttention;           // its title
extern const std::string_view kLoaded;
extern const std::string_view kAnalysed;
extern const std::string_view kNoLayoutNeeded;
extern const std::string_view kCannotReadInput;     // followed by the path
// Input that makes no book, each followed by the path.
extern const std::string_view kInputIsFolder;
extern const std::string_view kEmptyBook;
extern const std::string_view kNotText;
std::string TooLarge(std::uint64_t bytes, std::uint64_t limit);  // followed by the path
std::string Undecodable(std::uint64_t count);  // status: bytes shown as replacement characters
extern const std::string_view kConversionFailed;    // followed by the reason
extern const std::string_view kParameterNotSaved;  // a parameter edit could not be stored

// Volume and chapter layout.
extern const std::string_view kAutoLayoutRunning;
extern const std::string_view kAutoLayoutDone;
extern const std::string_view kManualLayoutRefused;   // separate-lines mode
extern const std::string_view kNoVolumeNameToTake;    // a chapter without a blank
extern const std::string_view kVolumeNamesDiffer;     // chapters with different first words
extern const std::string_view kPictureNeedsNoLayout;
extern const std::string_view kManualLayoutHint;      // when the tree gains the focus
extern const std::string_view kExpandCaption;         // 按钮_扩展 caption at start
extern const std::string_view kCollapseCaption;

// Chapters found by their headings.
extern const std::string_view kHeadingsNeedNoAnalysis;  // 按钮_分析 in headings mode
extern const std::string_view kHeadingsNeedNoLayout;    // manual layout in headings mode
extern const std::string_view kFrontMatterTitle;        // the chapter made of the text before the first heading
// After loading by headings: what was found, and how many chapters look wrong.
std::string HeadingsLoaded(int chapters, int volumes, int suspicious);
extern const std::string_view kNoHeadingsFound;
// Heading rules whose patterns backtracked too long on too many lines; their
// names follow, one to a line.
extern const std::string_view kRulesSetAside;
// The reasons of the check, shown as the tree's tooltip.
std::string GapWarning(int previous, int number);
std::string DuplicateWarning(int number, int otherChapter);  // otherChapter counts from 1
std::string BackwardsWarning(int previous, int number);
std::string LongWarning(int timesTheMedian);
extern const std::string_view kEmptyWarning;

// What the program chose for a file: its encoding and conversion, its mode.
// The captions are those of the conversion radios.
extern const std::string_view kCaptionUnicode;
extern const std::string_view kCaptionBig5;
extern const std::string_view kCaptionTraditionalGbk;
extern const std::string_view kCaptionUtf8;
// "UTF-8 编码，已选“UTF-8 -> GBK”" and the like (short: the status bar is narrow); `caption` empty for
// no conversion.
std::string EncodingStatus(std::string_view encodingName, bool traditional, std::string_view caption,
                           bool simplify);
std::string ModeStatus(bool headings, int chapters);
extern const std::string_view kPressNext;
extern const std::string_view kRulesNotSaved;
// The stages of the Next step, for the progress bar.
extern const std::string_view kStepCancelled;  // the Next step stopped by the user
extern const std::string_view kReadingStage;
extern const std::string_view kConvertingStage;
extern const std::string_view kNormalisingStage;
extern const std::string_view kLoadingStage;
extern const std::string_view kKeepingTraditional;  // after EncodingStatus: the command line keeps them  // "请点击下一步继续！"

}  // namespace qx::text::msg
