#pragma once
// The program's own texts used by page generation and the output run, as GBK
// bytes.

#include <string_view>

namespace qx::output::msg {

// The checks before a run (status bar).
extern const std::string_view kAnalyseFirst;
extern const std::string_view kChooseTemplate;

// Title and author: the prompt texts of the empty edit boxes, and the
// refusals.
extern const std::string_view kTitlePrompt;
extern const std::string_view kAuthorPrompt;
extern const std::string_view kTitleMissing;
extern const std::string_view kAuthorMissing;
extern const std::string_view kTitleNotAName;       // a title that is no plain folder name
extern const std::string_view kOutputDirectoryMissing;

extern const std::string_view kTemplateWithoutChapterPage;

// The run.
extern const std::string_view kEbookExists;          // question
extern const std::string_view kMovingToTrash;
extern const std::string_view kTrashFailed;          // error box
extern const std::string_view kTitleTooLong;          // error box: no folder can have the name
extern const std::string_view kCancelled;            // a run the user stopped
extern const std::string_view kOutputStage;          // the progress bar's stage
extern const std::string_view kDirectoryFailed;      // error box, + "\r\n" + path + kReason + reason
extern const std::string_view kReason;               // before the system's reason
// The error box of a run stopped because the place cannot take the e-book
// (disk full, read-only, failing): + e-book directory, then kFileNotWritten
// + the first file and kReason + the reason.
extern const std::string_view kPlaceFailed;
extern const std::string_view kOutputtingTemplateOpen;   // + name +
extern const std::string_view kOutputtingTemplateClose;
extern const std::string_view kCopyingPictures;
extern const std::string_view kOutputSucceeded;      // after the title
// The error box of a run that could not write everything: a first line,
// then one line per file and per template without a chapter page.
extern const std::string_view kOutputIncomplete;
extern const std::string_view kFileNotWritten;       // + path
extern const std::string_view kMoreFiles;            // + count + kMoreFilesClose
extern const std::string_view kMoreFilesClose;
extern const std::string_view kBrokenTemplateOpen;   // + name + kBrokenTemplateClose
extern const std::string_view kBrokenTemplateClose;

// 按钮_清理: question and results, each around the e-book directory.
extern const std::string_view kCleanQuestionOpen;
extern const std::string_view kCleanQuestionClose;
extern const std::string_view kCleanResultOpen;
extern const std::string_view kCleanSucceededClose;
extern const std::string_view kCleanFailedClose;

// 按钮_预览1 before any output.
extern const std::string_view kNothingToPreview;

}  // namespace qx::output::msg
