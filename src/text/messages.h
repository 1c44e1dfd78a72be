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

}  // namespace qx::text::msg
