// Compiled as GBK: every literal here is the program's own text in GBK bytes.
#include "output/messages.h"

namespace qx::output::msg {

const std::string_view kAnalyseFirst = "请先分析文件！！！";
const std::string_view kChooseTemplate = "请选择一个模板！！！";

const std::string_view kTitlePrompt = "请输入书名";
const std::string_view kAuthorPrompt = "请输入作者";
const std::string_view kTitleMissing = "书名不能为空";
const std::string_view kAuthorMissing = "作者不能为空";
const std::string_view kTitleNotAName =
    "书名将用作电子书的目录名，不能含有“/”或“\\”，也不能只由“.”组成！请修改书名。";
const std::string_view kOutputDirectoryMissing = "请先指定输出目录！";

const std::string_view kTemplateWithoutChapterPage = "模板错误!!找不到Chapter.htm";

const std::string_view kEbookExists = "文件已存在，是否删除到回收站？";
const std::string_view kMovingToTrash = "删除目录到回收站中……";
const std::string_view kTrashFailed = "删除目录失败，请关闭使用中的文件或目录！";
const std::string_view kTitleTooLong = "书名太长，不能用作目录名（UTF-8 中最多 200 字节，约 66 个汉字），请缩短书名！";
const std::string_view kCancelled = "已取消，原有内容未改动。";
const std::string_view kOutputStage = "输出HTM";
const std::string_view kDirectoryFailed = "目录创建失败！";
const std::string_view kReason = "\r\n原因：";
const std::string_view kPlaceFailed = "输出HTM失败：磁盘无法写入，电子书没有输出，原有内容未改动：";
const std::string_view kOutputtingTemplateOpen = "输出模板“";
const std::string_view kOutputtingTemplateClose = "”";
const std::string_view kCopyingPictures = "复制图片中……..";
const std::string_view kOutputSucceeded = " 输出HTM成功！";
const std::string_view kOutputIncomplete = "输出HTM未完成，电子书不完整！";
const std::string_view kFileNotWritten = "未能写入：";
const std::string_view kMoreFiles = "……另有 ";
const std::string_view kMoreFilesClose = " 个文件未能写入";
const std::string_view kBrokenTemplateOpen = "模板“";
const std::string_view kBrokenTemplateClose = "”：模板错误!!找不到Chapter.htm";

const std::string_view kCleanQuestionOpen = "是否删除目录“";
const std::string_view kCleanQuestionClose = "”到回收站？";
const std::string_view kCleanResultOpen = "删除HTM目录“";
const std::string_view kCleanSucceededClose = "”到回收站成功";
const std::string_view kCleanFailedClose = "”到回收站失败";

const std::string_view kNothingToPreview = "文件不存在！\r\n请先输出文件！！！！";

}  // namespace qx::output::msg
