// Texts here are compiled as GBK, like the program's own.
#include "text/preview.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "runtime/files.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "text/chapters.h"

namespace qx::text {
namespace {

using ::testing::ElementsAre;

// Builds a tree from "volume" / "  chapter" lines (two leading blanks make a
// chapter of the last volume).
IndexTree Tree(const std::vector<std::string>& lines) {
    IndexTree tree;
    int volume = -1;
    for (const auto& line : lines) {
        if (line.rfind("  ", 0) == 0) {
            tree.Add(line.substr(2), volume);
        } else {
            volume = tree.Add(line);
        }
    }
    return tree;
}

// ---- The balloon ------------------------------------------------------

const std::string kTitleOpen = "<center><font color=blue><big>";
const std::string kTitleClose = "</big></font></center><br>";
const std::string kGridOpen = "<table border=1 bordercolor=green>";
const std::string kPictureOpen =
    "<table border=1 bordercolor=green><tr><td><font color=red>图片</font></td><td>";
const std::string kPictureClose = "</td></tr></table>";

std::string Td(const std::string& text) {
    return "<td>" + text + "</td>";
}

const IndexTree& BalloonTree() {
    static const IndexTree tree = Tree({
        "序卷",                                                // 0
        "  序",                                                // 1
        "第一卷", "  一", "  二", "  三", "  四",              // 2..6
        "第二卷", "  一", "  二", "  三", "  四", "  五<b>&",  // 7..12
        "<img src=pic/1.jpg>", "  插图",                       // 13, 14
        "空卷",                                                // 15
        "<img src=pic/2.jpg>",                                 // 16: no caption
    });
    return tree;
}

struct BalloonCase {
    const char* name;
    int selected;
    bool ticked;
    std::optional<std::string> text;
};

void PrintTo(const BalloonCase& c, std::ostream* os) {
    *os << c.name;
}

class Balloon : public ::testing::TestWithParam<BalloonCase> {};

TEST_P(Balloon, ShowsTheSelectedVolume) {
    const BalloonCase& c = GetParam();
    EXPECT_EQ(BalloonText(BalloonTree(), c.selected, c.ticked), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Balloon,
    ::testing::Values(
        // Node 0 shows only its own text, ticked or not, chapters or not.
        BalloonCase{"NodeZeroTicked", 0, true, kTitleOpen + "序卷" + kTitleClose},
        BalloonCase{"NodeZeroNotTicked", 0, false, kTitleOpen + "序卷" + kTitleClose},
        BalloonCase{"FourChaptersFillOneRow", 2, true,
                    kTitleOpen + "第一卷" + kTitleClose + kGridOpen + "<tr>" + Td("一") + Td("二") +
                        Td("三") + Td("四") + "</tr></table>"},
        // Titles go in as they are.
        BalloonCase{"FiveChaptersGetThreeFillers", 7, true,
                    kTitleOpen + "第二卷" + kTitleClose + kGridOpen + "<tr>" + Td("一") + Td("二") +
                        Td("三") + Td("四") + "</tr><tr>" + Td("五<b>&") +
                        "<td></td><td></td><td></td></tr></table>"},
        BalloonCase{"VolumeWithoutChaptersHasNoCells", 15, true,
                    kTitleOpen + "空卷" + kTitleClose + kGridOpen + "</table>"},
        BalloonCase{"PictureShowsItsCaption", 13, true, kPictureOpen + "插图" + kPictureClose},
        BalloonCase{"PictureWithoutCaption", 16, true, kPictureOpen + kPictureClose},
        BalloonCase{"VolumeNotTicked", 7, false, std::nullopt},
        BalloonCase{"ChapterNode", 3, true, std::nullopt}, BalloonCase{"CaptionNode", 14, true, std::nullopt},
        BalloonCase{"NoSelection", -1, true, std::nullopt},
        BalloonCase{"AbsentNode", 17, true, std::nullopt}),
    [](const auto& c) { return std::string(c.param.name); });

// ---- The contents page ---------------------------------------------------

std::vector<std::string> LinesOf(const std::string& page) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (auto end = page.find("\r\n"); end != std::string::npos; end = page.find("\r\n", start)) {
        lines.push_back(page.substr(start, end - start));
        start = end + 2;
    }
    lines.push_back(page.substr(start));  // empty when the page ends with CR LF
    return lines;
}

std::string VolumeRow(const std::string& text) {
    return "<tr><td class='tablebody2' colspan='4' align='center' valign='middle' style='height:30'>" + text +
           "&nbsp;&nbsp;&nbsp; [ 分卷阅读 ]</td></tr>\r\n";
}
std::string PictureRow(const std::string& tag, const std::string& caption) {
    return "<tr><td colspan=1 align=center>" + tag + "</td><td class='tablebody1' colspan=3>" + caption +
           "</td></tr>\r\n";
}
std::string Cell(const std::string& text) {
    return "    <td class='tablebody1' valign='middle' style='width:25%;height:30'>\r\n    <a href='#'>" +
           text + " </a>\r\n    </td>\r\n";
}
const std::string kFiller =
    "    <td class='tablebody1' valign='middle' style='width:25%;height:30'>&nbsp;\r\n    </td>\r\n";

// The contents rows: what stands between the table's opening line and its
// closing line.
std::string ContentsOf(const std::string& page) {
    const std::string open = "<table border=\"1\" width=\"95%\">\r\n";
    const std::string close = "\r\n</table><br>\r\n";
    const auto from = page.find(open);
    const auto to = page.rfind(close);
    if (from == std::string::npos || to == std::string::npos || to < from + open.size())
        return "<no contents>";
    return page.substr(from + open.size(), to - from - open.size());
}

TEST(PreviewPage, FixedLinesAroundTheContents) {
    const auto page = BuildPreviewPage(Tree({"卷", "  章"}), "西游记", "吴承恩", "");
    ASSERT_TRUE(page);
    const auto lines = LinesOf(*page);
    // 52 lines, each ended by CR LF, with the contents rows as line 43.
    const std::string contents = ContentsOf(*page);
    std::size_t contentLineEnds = 0;
    for (auto at = contents.find("\r\n"); at != std::string::npos; at = contents.find("\r\n", at + 2)) {
        ++contentLineEnds;
    }
    ASSERT_EQ(lines.size(), 53u + contentLineEnds);
    EXPECT_EQ(lines.back(), "");
    EXPECT_EQ(lines[0], "<html>");
    EXPECT_EQ(lines[1], "<head><meta http-equiv='Content-Type' content='text/html; charset=gb2312'>");
    EXPECT_EQ(lines[2], "<title>西游记 - 吴承恩 - Zarvo</title>");
    EXPECT_EQ(lines[9], "FONT-FAMILY:  宋体;");
    EXPECT_EQ(lines[10], "background-color: #FFFFFF; ");
    EXPECT_EQ(lines[14], "font-family: 宋体;");
    EXPECT_EQ(lines[33], "<p><big><big><strong>西游记</strong></big></big></p>");
    EXPECT_EQ(lines[34], "<p>吴承恩</p>");
    EXPECT_THAT(std::vector<std::string>(lines.begin() + 35, lines.begin() + 42),
                ElementsAre("<table width=\"95%\">", "  <tr>", "    <td width=\"50%\">制作:Zarvo</td>",
                            "    <td width=\"50%\"><p align=\"right\"><a href=#>全文阅读</a></td>", "  </tr>",
                            "</table>", "<table border=\"1\" width=\"95%\">"));
    EXPECT_THAT(std::vector<std::string>(lines.end() - 10, lines.end() - 1),
                ElementsAre("</table><br>", "<table width=\"95%\">", "  <tr>", "    <td></td>", "  </tr>",
                            "</table>", "</center>", "</body>", "</html>"));
}

TEST(PreviewPage, OneHeadingRowPerVolumeAndOneCellPerChapter) {
    const IndexTree tree = Tree({
        "<img src=pic/01.jpg>",
        "  封面",
        "第一卷",
        "  一",
        "  二",
        "  三",
        "  四",
        "第二卷",
        "  一",
        "  二",
        "  三",
        "  四",
        "  五",
        "空卷",
        "第三卷",
        "  <b>{书名}&",
    });
    const auto page = BuildPreviewPage(tree, "书", "人", "D:\\书\\");
    ASSERT_TRUE(page);
    const std::string expected =
        PictureRow("<img src=D:\\书\\pic\\01.jpg>", "封面") + VolumeRow("第一卷") + "<tr>" + Cell("一") +
        Cell("二") + Cell("三") + Cell("四") + "</tr>" + VolumeRow("第二卷") + "<tr>" + Cell("一") +
        Cell("二") + Cell("三") + Cell("四") + "</tr>" + "<tr>" + Cell("五") + kFiller + kFiller + kFiller +
        "</tr>" + VolumeRow("空卷") +
        // Titles go in as they are; the contents are filled in last, so a
        // placeholder inside a title stays.
        VolumeRow("第三卷") + "<tr>" + Cell("<b>{书名}&") + kFiller + kFiller + kFiller + "</tr>";
    EXPECT_EQ(ContentsOf(*page), expected);
}

TEST(PreviewPage, FurtherCaptionsOfAPictureStartTheirOwnRow) {
    const auto page = BuildPreviewPage(Tree({"<img src=pic/1.jpg>", "  甲", "  乙", "  丙"}), "书", "人", "");
    ASSERT_TRUE(page);
    EXPECT_EQ(ContentsOf(*page), PictureRow("<img src=pic\\1.jpg>", "甲") + "<tr>" + Cell("乙") + Cell("丙") +
                                     kFiller + kFiller + "</tr>");
}

TEST(PreviewPage, PictureWithoutCaptionDoesNotSwallowTheNextVolume) {
    const auto page = BuildPreviewPage(Tree({"<img src=pic/1.jpg>", "卷", "  章"}), "书", "人", "");
    ASSERT_TRUE(page);
    EXPECT_EQ(ContentsOf(*page), PictureRow("<img src=pic\\1.jpg>", "") + VolumeRow("卷") + "<tr>" +
                                     Cell("章") + kFiller + kFiller + kFiller + "</tr>");
}

TEST(PreviewPage, TreeFromOneLineAnalysisListsEveryChapter) {
    Book book;
    std::string text;
    for (int v = 1; v <= 3; ++v) {
        for (int c = 1; c <= 7; ++c)
            text += "V" + std::to_string(v) + " C" + std::to_string(c) + "\r\nx\r\n\r\n\r\n";
    }
    book.workingText.Adopt(std::move(text));
    test::ScriptedUi ui;
    LoadChapters(book, LayoutMode::OneLine, ui);
    AnalyzeChapters(book, LayoutMode::OneLine, ui);
    const auto page = BuildPreviewPage(book.index.tree, "书", "人", "");
    ASSERT_TRUE(page);
    const std::string contents = ContentsOf(*page);
    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (auto at = contents.find(what); at != std::string::npos; at = contents.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("[ 分卷阅读 ]"), 3u);
    EXPECT_EQ(count("<a href='#'>"), 21u);
    EXPECT_EQ(count("<tr>"), 3u + 6u);  // two rows per volume
    EXPECT_EQ(count("</tr>"), 3u + 6u);
    EXPECT_EQ(count("&nbsp;\r\n"), 3u);  // one filler per volume
}

TEST(PreviewPage, EmptyTreeGivesNothing) {
    EXPECT_FALSE(BuildPreviewPage(IndexTree(), "书", "人", ""));
}

struct TagCase {
    const char* name;
    std::string volumeText;
    std::string tag;
};

void PrintTo(const TagCase& c, std::ostream* os) {
    *os << c.name;
}

class ImageTag : public ::testing::TestWithParam<TagCase> {};

TEST_P(ImageTag, PointsIntoThePictureFolder) {
    EXPECT_EQ(PreviewImageTag(GetParam().volumeText, "D:\\书\\"), GetParam().tag);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImageTag,
    ::testing::Values(
        TagCase{"FileAfterTheLastSlash", "<img src=pic/01.jpg>", "<img src=D:\\书\\pic\\01.jpg>"},
        TagCase{"RestOfTheTagIsKept", "<img src=a/b/01.jpg width=80>",
                "<img src=D:\\书\\pic\\01.jpg width=80>"},
        TagCase{"BackslashesWhenThereIsNoSlash", "<img src=pic\\\\01.jpg>", "<img src=D:\\书\\pic\\01.jpg>"},
        TagCase{"BareFileName", "<IMG SRC=01.jpg>", "<img src=D:\\书\\pic\\01.jpg>"},
        TagCase{"NoFileAtAll", "<img>", "<img>"},
        TagCase{"LongTagIsNotCut", "<img src=pic/" + std::string(150, 'a') + ".jpg>",
                "<img src=D:\\书\\pic\\" + std::string(150, 'a') + ".jpg>"}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(PictureDirectory, IsTheInputFilesDirectoryWithASeparator) {
    EXPECT_EQ(PictureDirectoryOf(std::filesystem::path(u8"/书库/西游记.txt")), "/书库/");
    EXPECT_EQ(PictureDirectoryOf(std::filesystem::path("/a.txt")), "/");
    EXPECT_EQ(PictureDirectoryOf(std::filesystem::path("a.txt")), "");
}

TEST(PreviewFile, IsWrittenIntoANewOrExistingOutputDirectory) {
    test::TempDir temp;
    const auto dir = temp.Path() / "out" / "deeper";
    const auto written = WritePreviewFile(dir, "first");
    ASSERT_TRUE(written);
    EXPECT_EQ(*written, dir / "preview.htm");
    EXPECT_EQ(runtime::ReadWholeFile(*written), "first");
    ASSERT_TRUE(WritePreviewFile(dir, "second"));
    EXPECT_EQ(runtime::ReadWholeFile(*written), "second");
}

TEST(PreviewFile, ReportsAnOutputDirectoryItCannotUse) {
    test::TempDir temp;
    EXPECT_FALSE(WritePreviewFile("", "x"));
    const auto file = temp.Write("plain", "x");
    EXPECT_FALSE(WritePreviewFile(file, "x"));
    EXPECT_FALSE(WritePreviewFile(file / "below", "x"));
}

}  // namespace
}  // namespace qx::text
