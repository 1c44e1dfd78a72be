// Compiled as GBK: every literal here is the program's own text in GBK bytes.
#include "text/messages.h"

namespace qx::text::msg {

const std::string_view kChooseInputFirst = "点击下一步按钮之前，请首先选定输入文件！";
const std::string_view kTitleOrAuthorMissing = "书名或作者名信息未知，请重新填写！";
const std::string_view kLooksLikeUnicode =
    "发现连续空白字节集，输入文本疑似 Unicode 编码。是否尝试进行内码转换？\r\n\r\n"
    "按‘是’尝试进行 Unicode 转码；\r\n按‘否’不进行内码转换，但 QX 可能失去响应。";
const std::string_view kAttention = "注意：";
const std::string_view kLoaded = "载入完成，请进行分析！";
const std::string_view kAnalysed = "分析完成，请调整排版！";
const std::string_view kNoLayoutNeeded = "卷章分行无需排版，请点击下一步继续！";
const std::string_view kCannotReadInput = "无法读取输入文件：";
const std::string_view kConversionFailed = "内码转换失败：";

}  // namespace qx::text::msg
