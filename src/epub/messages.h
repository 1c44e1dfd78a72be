#pragma once
// The program's own texts of the EPUB step, as GBK bytes.

#include <string>
#include <string_view>

namespace qx::epub::msg {

extern const std::string_view kNoChapters;       // a book without chapters
extern const std::string_view kEpubExists;       // the question before replacing, followed by the path
extern const std::string_view kCannotRead;       // a given cover or style sheet, followed by the path
extern const std::string_view kNotAPicture;      // a cover that is no JPEG, PNG, GIF, SVG or WebP file
extern const std::string_view kWriteFailed;      // followed by the path, then kReason and the reason
extern const std::string_view kReason;           // before the system's reason
extern const std::string_view kPicturesMissing;  // followed by the names
extern const std::string_view kCancelled;        // a run the user stopped
extern const std::string_view kEpubStage;        // the progress bar's stage
std::string Written(std::string_view gbkName);   // "<name> 输出EPUB成功！"

}  // namespace qx::epub::msg
