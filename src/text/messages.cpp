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
const std::string_view kInputIsFolder = "选中的是文件夹，不是文本文件：";
const std::string_view kEmptyBook = "文件中没有文字（空文件，或只有空行），无法制作电子书：";
const std::string_view kNotText = "这不是文本文件（像是图片、压缩包或其他二进制文件）：";

std::string TooLarge(std::uint64_t bytes, std::uint64_t limit) {
    return "文件太大（" + std::to_string(bytes >> 20) + " MB），本程序最多读取 " + std::to_string(limit >> 20) +
           " MB 的文本：";
}

std::string Undecodable(std::uint64_t count) {
    return "文中有 " + std::to_string(count) + " 处字节无法解码，电子书中显示为替换字符";
}
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

const std::string_view kHeadingsNeedNoAnalysis = "按标题分章无需分析，请点击下一步继续！";
const std::string_view kHeadingsNeedNoLayout = "按标题分章无需排版！";
const std::string_view kFrontMatterTitle = "卷首";
const std::string_view kNoHeadingsFound =
    "未找到章节标题，全文作为一章载入。请换用卷章分行，或在标题规则中添加规则！";
const std::string_view kRulesSetAside = "这些标题规则在太多行上匹配过久，已停用（请简化它们的表达式）：";
const std::string_view kEmptyWarning = "本章没有正文";

const std::string_view kCaptionUnicode = "Unicode -> GBK简";
const std::string_view kCaptionBig5 = "BIG5 -> GBK简";
const std::string_view kCaptionTraditionalGbk = "GBK繁 -> GBK简";
const std::string_view kCaptionUtf8 = "UTF-8 -> GBK";
const std::string_view kPressNext = "请点击下一步继续！";
const std::string_view kRulesNotSaved = "标题规则保存失败！";
const std::string_view kStepCancelled = "已取消，原有内容未改动。";
const std::string_view kReadingStage = "读取";
const std::string_view kConvertingStage = "转换";
const std::string_view kNormalisingStage = "整理";
const std::string_view kLoadingStage = "分章";
const std::string_view kKeepingTraditional = "，保留繁体字";

std::string EncodingStatus(std::string_view encodingName, bool traditional, std::string_view caption,
                           bool simplify) {
    std::string text = std::string(encodingName) + " 编码";
    if (traditional) text += "（繁体）";
    if (caption.empty()) return text + "，无需转换";
    text += "，已选“" + std::string(caption) + "”";
    if (simplify) text += "，繁体转简体";
    return text;
}

std::string ModeStatus(bool headings, int chapters) {
    if (headings) return "按标题分章（找到 " + std::to_string(chapters) + " 个章节标题）";
    return "卷章分行（未找到连续的章节标题）";
}

std::string HeadingsLoaded(int chapters, int volumes, int suspicious) {
    std::string text = "按标题分章完成：共 " + std::to_string(chapters) + " 章";
    if (volumes > 0) text += "、" + std::to_string(volumes) + " 卷";
    if (suspicious > 0) return text + "，其中 " + std::to_string(suspicious) + " 章可疑，已在目录中标出！";
    return text + "，请检查目录后点击下一步继续！";
}

std::string GapWarning(int previous, int number) {
    return "章节编号不连续：前一章编号为 " + std::to_string(previous) + "，本章为 " + std::to_string(number);
}

std::string DuplicateWarning(int number, int otherChapter) {
    return "章节编号重复：编号 " + std::to_string(number) + " 与第 " + std::to_string(otherChapter) + " 章相同";
}

std::string BackwardsWarning(int previous, int number) {
    return "章节编号倒退：前一章编号为 " + std::to_string(previous) + "，本章为 " + std::to_string(number);
}

std::string LongWarning(int timesTheMedian) {
    return "本章长度约为一般章节的 " + std::to_string(timesTheMedian) + " 倍，可能漏掉了章节标题";
}

}  // namespace qx::text::msg
