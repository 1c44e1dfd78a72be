// Compiled as GBK: every literal here is the program's own text in GBK bytes.
#include "epub/messages.h"

namespace qx::epub::msg {

const std::string_view kNoChapters = "请先点击下一步载入文件，再输出EPUB！";
const std::string_view kEpubExists = "EPUB 文件已存在，是否替换？\r\n";
const std::string_view kCannotRead = "无法读取文件：";
const std::string_view kNotAPicture = "封面不是 JPEG、PNG、GIF、SVG 或 WebP 图片：";
const std::string_view kWriteFailed = "EPUB 写入失败，原有文件未改动：";
const std::string_view kReason = "\r\n原因：";
const std::string_view kPicturesMissing = "以下图片未找到，EPUB 中只保留其说明文字：";

const std::string_view kCancelled = "已取消，原有文件未改动。";
const std::string_view kEpubStage = "输出EPUB";

std::string Written(std::string_view gbkName) { return std::string(gbkName) + " 输出EPUB成功！"; }

}  // namespace qx::epub::msg
