// Compiled as GBK: the page template and the balloon texts are GBK bytes.
#include "text/preview.h"

#include <system_error>

#include "runtime/encoding.h"
#include "runtime/files.h"
#include "runtime/gbk_text.h"
#include "text/chapters.h"
#include "text/layout.h"

namespace qx::text {
namespace {

// The contents page: 52 lines, each ended by CR LF.
constexpr std::string_view kPageLines[] = {
    "<html>",
    "<head><meta http-equiv='Content-Type' content='text/html; charset=gb2312'>",
    "<title>{书名} - {作者} - Zarvo</title>",
    "<style>",
    "A:link,A:active,A:visited{TEXT-DECORATION:none ;Color:#000000}",
    "A:hover{TEXT-DECORATION: underline;Color:#4455aa}",
    "BODY{",
    "FONT-SIZE: 12px;",
    "COLOR: #000000;",
    "FONT-FAMILY:  宋体;",
    "background-color: #FFFFFF; ",
    "}",
    "font{line-height : normal ;}",
    "TD{",
    "font-family: 宋体;",
    "font-size: 12px;",
    "}",
    "td.TableBody1",
    "{",
    "background-color: #FFFFFF;",
    "padding-left:5;",
    "padding-right:5;",
    "}",
    "td.TableBody2",
    "{",
    "background-color: #efe3ce;",
    "padding-left:5;",
    "padding-right:5;",
    "}",
    "</style>",
    "</head>",
    "<body>",
    "<center>",
    "<p><big><big><strong>{书名}</strong></big></big></p>",
    "<p>{作者}</p>",
    "<table width=\"95%\">",
    "  <tr>",
    "    <td width=\"50%\">制作:Zarvo</td>",
    "    <td width=\"50%\"><p align=\"right\"><a href=#>全文阅读</a></td>",
    "  </tr>",
    "</table>",
    "<table border=\"1\" width=\"95%\">",
    "{内容}",
    "</table><br>",
    "<table width=\"95%\">",
    "  <tr>",
    "    <td></td>",  // an empty footer cell
    "  </tr>",
    "</table>",
    "</center>",
    "</body>",
    "</html>",
};
static_assert(std::size(kPageLines) == 52);

const Text& PageTemplate() {
    static const Text page = [] {
        Text t;
        for (const auto line : kPageLines) {
            t += line;
            t += "\r\n";
        }
        return t;
    }();
    return page;
}

// Balloon texts.
constexpr std::string_view kBalloonTitleOpen = "<center><font color=blue><big>";
constexpr std::string_view kBalloonTitleClose = "</big></font></center><br>";
constexpr std::string_view kBalloonPictureOpen =
    "<table border=1 bordercolor=green><tr><td><font color=red>图片</font></td><td>";
constexpr std::string_view kBalloonPictureClose = "</td></tr></table>";
constexpr std::string_view kBalloonGridOpen = "<table border=1 bordercolor=green>";
constexpr std::string_view kBalloonGridClose = "</table>";
constexpr std::string_view kBalloonFiller = "<td></td>";

// Contents rows of the page.
constexpr std::string_view kVolumeRowOpen =
    "<tr><td class='tablebody2' colspan='4' align='center' valign='middle' style='height:30'>";
constexpr std::string_view kVolumeRowClose = "&nbsp;&nbsp;&nbsp; [ 分卷阅读 ]</td></tr>\r\n";
constexpr std::string_view kPictureRowOpen = "<tr><td colspan=1 align=center>";
constexpr std::string_view kPictureRowMiddle = "</td><td class='tablebody1' colspan=3>";
constexpr std::string_view kPictureRowClose = "</td></tr>\r\n";
constexpr std::string_view kChapterCellOpen =
    "    <td class='tablebody1' valign='middle' style='width:25%;height:30'>\r\n    <a href='#'>";
constexpr std::string_view kChapterCellClose = " </a>\r\n    </td>\r\n";
constexpr std::string_view kPageFiller =
    "    <td class='tablebody1' valign='middle' style='width:25%;height:30'>&nbsp;\r\n    </td>\r\n";

// Four cells to a row: `cell(out, n)` writes cell n of `count` (from 0);
// a last, incomplete row is filled with `filler` cells and closed.
template <class Cell>
void AppendGrid(Text& out, int count, Cell&& cell, std::string_view filler) {
    int k = 0;
    while (k < count) {
        ++k;
        if (k % 4 == 1)
            out += "<tr>";
        cell(out, k - 1);
        if (k % 4 == 0)
            out += "</tr>";
    }
    if (k % 4 == 0)
        return;
    for (; k % 4 != 0; ++k)
        out += filler;
    out += "</tr>";
}

// The caption of a picture volume: its first chapter, when it has one.
const Text& CaptionOf(const IndexTree& tree, int volume) {
    return tree.TextOf(IsChapterNode(tree, volume + 1) ? volume + 1 : -1);
}

}  // namespace

std::optional<Text> BalloonText(const IndexTree& tree, int selectedNode, bool instantPreview) {
    if (selectedNode < 0 || selectedNode >= tree.Count())
        return std::nullopt;
    Text out;
    if (selectedNode == 0) {
        out.append(kBalloonTitleOpen).append(tree.TextOf(0)).append(kBalloonTitleClose);
        return out;
    }
    if (!IsVolumeNode(tree, selectedNode) || !instantPreview)
        return std::nullopt;
    if (IsPictureTitle(tree.TextOf(selectedNode))) {
        out.append(kBalloonPictureOpen).append(CaptionOf(tree, selectedNode)).append(kBalloonPictureClose);
        return out;
    }
    out.append(kBalloonTitleOpen).append(tree.TextOf(selectedNode)).append(kBalloonTitleClose);
    out += kBalloonGridOpen;
    const NodeRange chapters = ChaptersOf(tree, selectedNode);
    AppendGrid(
        out, chapters.Size(),
        [&](Text& o, int n) { o.append("<td>").append(tree.TextOf(chapters.begin + n)).append("</td>"); },
        kBalloonFiller);
    out += kBalloonGridClose;
    return out;
}

Text PreviewImageTag(std::string_view volumeText, std::string_view pictureDirectory) {
    // The file part of the tag ("01.jpg>" of "<img src=pic/01.jpg>"), with
    // the rest of the tag after it. A tag written with backslashes (doubled
    // in the working text) is cut after its last backslash; a bare file name
    // after "src="; a tag with neither is shown as it stands.
    std::string_view file;
    if (const auto slash = volumeText.rfind('/'); slash != std::string_view::npos) {
        file = volumeText.substr(slash + 1);
    } else if (const auto backslash = volumeText.rfind('\\'); backslash != std::string_view::npos) {
        file = volumeText.substr(backslash + 1);
    } else if (const auto src = runtime::Find(volumeText, "src=", 1, true); src > 0) {
        file = volumeText.substr(static_cast<std::size_t>(src - 1) + 4);
    } else {
        return Text(volumeText);
    }
    Text tag = "<img src=";
    tag.append(pictureDirectory).append("pic\\").append(file);
    return tag;
}

Text PictureDirectoryOf(const std::filesystem::path& inputFile) {
    const auto dir = inputFile.parent_path();
    if (dir.empty())
        return {};
    const auto utf8 = dir.u8string();
    Text text = runtime::Utf8ToGbk(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
    if (text.back() != static_cast<char>(std::filesystem::path::preferred_separator)) {
        text += static_cast<char>(std::filesystem::path::preferred_separator);
    }
    return text;
}

std::optional<Text> BuildPreviewPage(const IndexTree& tree, std::string_view title, std::string_view author,
                                     std::string_view pictureDirectory) {
    const int count = tree.Count();
    if (count == 0)
        return std::nullopt;

    Text contents;
    int i = 0;
    while (i < count) {
        // A heading row. Outside a well-formed tree a run of chapter nodes
        // may come without a volume before it; it is still listed.
        if (IsVolumeNode(tree, i)) {
            const Text& volumeText = tree.TextOf(i);
            if (IsPictureTitle(volumeText)) {
                contents.append(kPictureRowOpen).append(PreviewImageTag(volumeText, pictureDirectory));
                contents.append(kPictureRowMiddle).append(CaptionOf(tree, i)).append(kPictureRowClose);
                // The caption is shown in the row; it is not a cell of its own.
                if (IsChapterNode(tree, i + 1))
                    ++i;
            } else {
                contents.append(kVolumeRowOpen).append(volumeText).append(kVolumeRowClose);
            }
            ++i;
        }
        // The chapters that follow, four to a row, numbered from 1. Further
        // caption lines of a picture volume are listed the same way, in rows
        // of their own.
        const int first = i;
        while (i < count && IsChapterNode(tree, i))
            ++i;
        AppendGrid(
            contents, i - first,
            [&](Text& o, int n) {
                o.append(kChapterCellOpen).append(tree.TextOf(first + n)).append(kChapterCellClose);
            },
            kPageFiller);
    }

    Text page = runtime::Replace(PageTemplate(), "{书名}", title);
    page = runtime::Replace(page, "{作者}", author);
    return runtime::Replace(page, "{内容}", contents);
}

std::optional<std::filesystem::path> WritePreviewFile(const std::filesystem::path& outputDir,
                                                      std::string_view bytes) {
    if (outputDir.empty())
        return std::nullopt;
    std::error_code ec;
    std::filesystem::create_directories(outputDir, ec);
    if (!std::filesystem::is_directory(outputDir, ec))
        return std::nullopt;
    auto file = outputDir / kPreviewFileName;
    if (!runtime::WriteFileAtomically(file, bytes))
        return std::nullopt;
    return file;
}

}  // namespace qx::text
