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
const std::string_view kParameterNotSaved = "参数保存失败！";

const std::string_view kAutoLayoutRunning = "自动排版中……";
const std::string_view kAutoLayoutDone = "自动排版完成，点击下一步继续！";
const std::string_view kManualLayoutRefused = "卷章分行无需排版！";
const std::string_view kNoVolumeNameToTake = "排版失败！该项无法提取卷名！";
const std::string_view kVolumeNamesDiffer = "排版失败！卷名提取有差异！";
const std::string_view kPictureNeedsNoLayout = "排版失败！图片简介无需排版！";
const std::string_view kManualLayoutHint = "如需手动排版，请双击子项目！";
const std::string_view kExpandCaption = "展 开";
const std::string_view kCollapseCaption = "收 缩";

}  // namespace qx::text::msg
