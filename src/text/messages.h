#pragma once
// The program's own texts used by the book-reading steps, as GBK bytes.

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

}  // namespace qx::text::msg
