// Texts here are compiled as GBK, like the program's own.
#include "text/chapters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/scripted_ui.h"
#include "text/messages.h"

namespace qx::text {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::string Lines(const std::vector<std::string>& lines, bool finalLineEnd = true) {
    std::string s;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        s += lines[i];
        if (i + 1 < lines.size() || finalLineEnd) s += "\r\n";
    }
    return s;
}

Book Loaded(const std::string& text, LayoutMode mode) {
    Book book;
    book.workingText.Adopt(std::string(text));
    test::ScriptedUi ui;
    LoadChapters(book, mode, ui);
    return book;
}

std::vector<std::string> TreeOf(const Book& book) {
    std::vector<std::string> out;
    for (const auto& node : book.index.tree.Nodes()) out.push_back(node.text + "|" + std::to_string(node.parent));
    return out;
}

std::vector<std::string> BodiesOf(const Book& book) {
    std::vector<std::string> out;
    const auto& ix = book.index;
    for (std::size_t k = 0; k < ix.titles.size(); ++k) {
        const auto start = static_cast<std::size_t>(ix.ChapterStart[k]);
        const auto end = static_cast<std::size_t>(ix.ChapterEnd[k + 1]);
        out.push_back(end >= start ? std::string(book.workingText.Bytes().substr(start, end - start)) : "<negative>");
    }
    return out;
}

struct LoadCase {
    const char* name;
    std::string text;
    std::vector<std::string> titles;
    std::vector<std::string> volumes;
    std::vector<std::string> labels;
    std::vector<std::string> tree;
    std::vector<std::string> bodies;
};

void PrintTo(const LoadCase& c, std::ostream* os) { *os << c.name; }

class SeparateLinesLoading : public ::testing::TestWithParam<LoadCase> {};

TEST_P(SeparateLinesLoading, BuildsTitlesTreeLabelsAndBodies) {
    const LoadCase& c = GetParam();
    const Book book = Loaded(c.text, LayoutMode::SeparateLines);
    const auto& ix = book.index;
    EXPECT_THAT(ix.titles, ElementsAreArray(c.titles));
    EXPECT_THAT(ix.volumeNumbers, ElementsAreArray(c.volumes));
    EXPECT_THAT(ix.labels, ElementsAreArray(c.labels));
    EXPECT_THAT(TreeOf(book), ElementsAreArray(c.tree));
    EXPECT_THAT(BodiesOf(book), ElementsAreArray(c.bodies));
    ASSERT_EQ(ix.ChapterEnd.size(), ix.titles.size() + 1);
    EXPECT_EQ(ix.ChapterEnd[0], 0);
    EXPECT_EQ(ix.ChapterEnd.back(), book.workingText.Size());  // the last body runs to the end
    EXPECT_EQ(ix.cursor, ix.titles.empty() ? -1 : 0);
    EXPECT_EQ(ix.sizes.size(), ix.titles.size());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SeparateLinesLoading,
    ::testing::Values(
        LoadCase{"TitleFollowedByTwoBlankLinesIsAVolume",
                 Lines({"第一卷", "", "", "第一章", "正文一", "", "", "第二章", "正文二"}),
                 {"第一卷　第一章", "第一卷　第二章"},
                 {"1", "1"},
                 {"1_1", "1_2"},
                 {"第一卷|-1", "第一章|0", "第二章|0"},
                 {"正文一\r\n", "正文二\r\n"}},
        LoadCase{"TitleFollowedByOneBlankLineAndTextIsAChapter",
                 Lines({"第一章", "", "正文", "", "", "第二章", "正文2"}),
                 {"第一章", "第二章"},
                 {"0", "0"},
                 {"0_1", "0_2"},
                 // Chapters before any volume name node 0 as their parent.
                 {"第一章|-1", "第二章|0"},
                 {"\r\n正文\r\n", "正文2\r\n"}},
        LoadCase{"LineAfterAVolumeIsAlwaysAChapterEvenWithAnEmptyBody",
                 Lines({"卷一", "", "", "章一", "", "", "章二", "正文"}),
                 {"卷一　章一", "卷一　章二"},
                 {"1", "1"},
                 {"1_1", "1_2"},
                 {"卷一|-1", "章一|0", "章二|0"},
                 {"", "正文\r\n"}},
        LoadCase{"ChaptersBeforeTheFirstVolumeHaveVolumeZero",
                 Lines({"序", "正文", "", "", "第一卷", "", "", "第一章", "正文"}),
                 {"序", "第一卷　第一章"},
                 {"0", "1"},
                 {"0_1", "1_1"},
                 {"序|-1", "第一卷|-1", "第一章|1"},
                 {"正文\r\n", "正文\r\n"}},
        LoadCase{"TitleFollowedOnlyByTwoBlankLinesAddsNothing",
                 Lines({"第一章", "正文", "", "", "尾声", "", ""}),
                 {"第一章"},
                 {"0"},
                 {"0_1"},
                 {"第一章|-1"},
                 {"正文\r\n\r\n\r\n尾声\r\n\r\n\r\n"}},
        LoadCase{"LastLineWithoutLineEndAddsNothing",
                 Lines({"第一章", "正文", "", "", "尾声"}, false),
                 {"第一章"},
                 {"0"},
                 {"0_1"},
                 {"第一章|-1"},
                 {"正文\r\n\r\n\r\n尾声"}},
        LoadCase{"VolumeAtTheEndKeepsOneEmptyChapter",
                 Lines({"第一章", "正文", "", "", "尾声", "", "", ""}),
                 {"第一章", "尾声　"},
                 {"0", "1"},
                 {"0_1", "1_1"},
                 {"第一章|-1", "尾声|-1", "|1"},
                 {"正文\r\n", ""}},
        LoadCase{"SingleBlankLinesStayInsideABodyAndAThirdBlankIsSkipped",
                 Lines({"第一章", "a", "", "b", "", "", "", "第二章", "c"}),
                 {"第一章", "第二章"},
                 {"0", "0"},
                 {"0_1", "0_2"},
                 {"第一章|-1", "第二章|0"},
                 {"a\r\n\r\nb\r\n", "c\r\n"}},
        LoadCase{"TitlesAreTrimmedAndFullWidthFormsHalvedUnderAVolume",
                 Lines({"　第１卷 ", "", " 　", "　第１章　出山　", "　　正文"}),
                 {"第1卷　第1章 出山"},
                 {"1"},
                 {"1_1"},
                 {"第1卷|-1", "第1章 出山|0"},
                 {"　　正文\r\n"}},
        LoadCase{"PictureVolumeKeepsItsChapterTitlesAsTheyAre",
                 Lines({"<img src=pic\\1.jpg>", "", "", "插图１", "x"}),
                 {"<img src=pic\\1.jpg> 插图１"},
                 {"1"},
                 {"1_1"},
                 {"<img src=pic\\1.jpg>|-1", "插图１|0"},
                 {"x\r\n"}},
        LoadCase{"EmptyTextHasNoChapters", "", {}, {}, {}, {}, {}}),
    [](const auto& p) { return std::string(p.param.name); });

class OneLineLoading : public ::testing::TestWithParam<LoadCase> {};

TEST_P(OneLineLoading, CollectsTitlesAndBodiesAndAnalysisBuildsTheTree) {
    const LoadCase& c = GetParam();
    Book book = Loaded(c.text, LayoutMode::OneLine);
    EXPECT_THAT(book.index.titles, ElementsAreArray(c.titles));
    EXPECT_THAT(BodiesOf(book), ElementsAreArray(c.bodies));
    EXPECT_TRUE(book.index.volumeNumbers.empty());
    EXPECT_TRUE(book.index.labels.empty());
    EXPECT_EQ(book.index.tree.Count(), 0);

    test::ScriptedUi ui;
    AnalyzeChapters(book, LayoutMode::OneLine, ui);
    EXPECT_THAT(book.index.titles, ElementsAreArray(c.titles));  // titles are never changed
    EXPECT_THAT(book.index.volumeNumbers, ElementsAreArray(c.volumes));
    EXPECT_THAT(book.index.labels, ElementsAreArray(c.labels));
    EXPECT_THAT(TreeOf(book), ElementsAreArray(c.tree));
    EXPECT_EQ(ui.LastStatus(), msg::kAnalysed);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OneLineLoading,
    ::testing::Values(
        LoadCase{"VolumeNameSpaceChapterTitle",
                 Lines({"第一卷 第一章", "a", "", "", "第一卷 第二章", "b", "", "", "第二卷 第一章", "c"}),
                 {"第一卷 第一章", "第一卷 第二章", "第二卷 第一章"},
                 {"1", "1", "2"},
                 {"1_1", "1_2", "2_1"},
                 {"第一卷|-1", "第一章|0", "第二章|0", "第二卷|-1", "第一章|3"},
                 {"a\r\n", "b\r\n", "c\r\n"}},
        LoadCase{"NoBlankLinePairMakesOneChapter",
                 Lines({"", "第一卷 序", "a", "", "b"}),
                 {"第一卷 序"},
                 {"1"},
                 {"1_1"},
                 {"第一卷|-1", "序|0"},
                 {"a\r\n\r\nb\r\n"}},
        LoadCase{"MoreBlankLinesAfterTheLastChapterAddAnEmptyEntry",
                 Lines({"序", "a", "", "", ""}),
                 {"序", ""},
                 {"1", "2"},
                 {"1_1", "2_1"},
                 {"序|-1", "序|0", "|-1", "|2"},
                 {"a\r\n", ""}},
        LoadCase{"LastTitleGetsAnEmptyBody",
                 Lines({"甲 一", "a", "", "", "甲 二"}, false),
                 {"甲 一", "甲 二"},
                 {"1", "1"},
                 {"1_1", "1_2"},
                 {"甲|-1", "一|0", "二|0"},
                 {"a\r\n", ""}},
        LoadCase{"TwoSpacesKeepOneAtTheStartOfTheChapter",
                 Lines({"第一卷  出山", "a"}),
                 {"第一卷  出山"},
                 {"1"},
                 {"1_1"},
                 {"第一卷|-1", " 出山|0"},
                 {"a\r\n"}},
        LoadCase{"PictureTitles",
                 Lines({"<img src=pic\\1.jpg> 插图", "", "", "<img src=x>", "", "", "<img src=x> 甲"}),
                 {"<img src=pic\\1.jpg> 插图", "<img src=x>", "<img src=x> 甲"},
                 {"1", "2", "2"},
                 {"1_1", "2_1", "2_2"},
                 // A tag without a caption is volume and chapter at once.
                 {"<img src=pic\\1.jpg>|-1", "插图|0", "<img src=x>|-1", "<img src=x>|2", "甲|2"},
                 {"", "", ""}},
        LoadCase{"EqualPrefixesApartMakeTwoVolumes",
                 Lines({"甲 一", "", "", "乙 二", "", "", "甲 三"}),
                 {"甲 一", "乙 二", "甲 三"},
                 {"1", "2", "3"},
                 {"1_1", "2_1", "3_1"},
                 {"甲|-1", "一|0", "乙|-1", "二|2", "甲|-1", "三|4"},
                 {"", "", ""}},
        LoadCase{"EmptyTextGivesOneEmptyEntry", "", {""}, {"0"}, {"0_1"}, {"|-1"}, {""}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(SequenceNumbers, PadToTheDigitCountOfTheTotal) {
    std::vector<std::string> list{"x"};
    AppendSequenceNumbers(0, list);
    AppendSequenceNumbers(-5, list);
    EXPECT_THAT(list, ElementsAre("x"));
    list.clear();
    AppendSequenceNumbers(9, list);
    EXPECT_EQ(list.front(), "1");
    EXPECT_EQ(list.back(), "9");
    list.clear();
    AppendSequenceNumbers(10, list);
    EXPECT_EQ(list.front(), "01");
    EXPECT_EQ(list.back(), "10");
    list.clear();
    AppendSequenceNumbers(120, list);
    EXPECT_EQ(list.size(), 120u);
    EXPECT_EQ(list[0], "001");
    EXPECT_EQ(list[98], "099");
    EXPECT_EQ(list[119], "120");
}

TEST(Labels, VolumePartPadsToTheVolumeCountAndChapterPartToItsVolume) {
    // Ten volumes; the first has ten chapters, the others nine.
    std::vector<std::string> lines;
    for (int v = 1; v <= 10; ++v) {
        for (int c = 1; c <= (v == 1 ? 10 : 9); ++c) {
            lines.push_back("V" + std::to_string(v) + " C" + std::to_string(c));
            lines.insert(lines.end(), {"text", "", ""});
        }
    }
    Book book = Loaded(Lines(lines), LayoutMode::OneLine);
    test::ScriptedUi ui;
    AnalyzeChapters(book, LayoutMode::OneLine, ui);
    const auto& labels = book.index.labels;
    ASSERT_EQ(labels.size(), 91u);
    EXPECT_EQ(labels[0], "01_01");
    EXPECT_EQ(labels[9], "01_10");
    EXPECT_EQ(labels[10], "02_1");
    EXPECT_EQ(labels[90], "10_9");
}

TEST(Analysis, MarksEachNewVolumeNode) {
    Book book = Loaded(Lines({"甲 一", "", "", "乙 二"}), LayoutMode::OneLine);
    test::ScriptedUi ui;
    AnalyzeChapters(book, LayoutMode::OneLine, ui);
    const auto& nodes = book.index.tree.Nodes();
    ASSERT_EQ(nodes.size(), 4u);
    EXPECT_TRUE(nodes[0].emphasised);
    EXPECT_FALSE(nodes[1].emphasised);
    EXPECT_TRUE(nodes[2].emphasised);
}

TEST(Analysis, RunningTwiceGivesTheSameTreeAndDropsEdits) {
    Book book = Loaded(Lines({"甲 一", "", "", "甲 二", "", "", "乙 三"}), LayoutMode::OneLine);
    test::ScriptedUi ui;
    AnalyzeChapters(book, LayoutMode::OneLine, ui);
    const auto first = TreeOf(book);
    const auto labels = book.index.labels;
    book.index.tree.SetText(1, "edited");
    AnalyzeChapters(book, LayoutMode::OneLine, ui);
    EXPECT_EQ(TreeOf(book), first);
    EXPECT_EQ(book.index.labels, labels);
}

TEST(Analysis, IsRefusedInSeparateLinesModeOnceTheTreeHasNodes) {
    Book book = Loaded(Lines({"第一卷", "", "", "第一章", "x"}), LayoutMode::SeparateLines);
    const auto tree = TreeOf(book);
    test::ScriptedUi ui;
    AnalyzeChapters(book, LayoutMode::SeparateLines, ui);
    EXPECT_EQ(TreeOf(book), tree);
    EXPECT_EQ(ui.LastStatus(), msg::kNoLayoutNeeded);
}

TEST(Analysis, SeparateLinesModeWithAnEmptyTreeAnalysesTheTitles) {
    Book book = Loaded(Lines({"甲 一", "x"}), LayoutMode::OneLine);
    test::ScriptedUi ui;
    AnalyzeChapters(book, LayoutMode::SeparateLines, ui);
    EXPECT_THAT(TreeOf(book), ElementsAre("甲|-1", "一|0"));
}

TEST(LoadingAndAnalysis, DoNothingWithoutAWorkingText) {
    Book book = Loaded(Lines({"甲 一", "x"}), LayoutMode::OneLine);
    book.workingText.Close();
    test::ScriptedUi ui;
    LoadChapters(book, LayoutMode::OneLine, ui);
    AnalyzeChapters(book, LayoutMode::OneLine, ui);
    EXPECT_TRUE(ui.calls.empty());
    EXPECT_THAT(book.index.titles, ElementsAre("甲 一"));  // the previous Index stays
}

TEST(Loading, ReplacesThePreviousIndexAndReportsIt) {
    Book book = Loaded(Lines({"第一卷", "", "", "第一章", "x", "", "", "第二章", "y"}), LayoutMode::SeparateLines);
    book.workingText.Adopt(Lines({"甲 一", "x"}));
    test::ScriptedUi ui;
    LoadChapters(book, LayoutMode::OneLine, ui);
    EXPECT_THAT(book.index.titles, ElementsAre("甲 一"));
    EXPECT_EQ(book.index.tree.Count(), 0);
    EXPECT_EQ(book.index.ChapterEnd.size(), 2u);
    EXPECT_EQ(ui.LastStatus(), msg::kLoaded);
}

TEST(Loading, AHundredThousandChaptersLoad) {
    std::string text;
    for (int v = 1; v <= 100; ++v) {
        text += "第" + std::to_string(v) + "卷\r\n\r\n\r\n";
        for (int c = 1; c <= 1000; ++c) text += "第" + std::to_string(c) + "章\r\n正文\r\n\r\n\r\n";
    }
    const Book book = Loaded(text, LayoutMode::SeparateLines);
    ASSERT_EQ(book.index.ChapterCount(), 100000);
    EXPECT_EQ(book.index.tree.Count(), 100100);
    EXPECT_EQ(book.index.labels.front(), "001_0001");
    EXPECT_EQ(book.index.labels.back(), "100_1000");
    EXPECT_EQ(BodiesOf(book)[99998], "正文\r\n");
    EXPECT_EQ(BodiesOf(book).back(), "正文\r\n\r\n\r\n");  // the last body runs to the end of the text
}

}  // namespace
}  // namespace qx::text
