// Texts here are compiled as GBK, like the program's own.
#include "text/layout.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/scripted_ui.h"
#include "text/messages.h"

namespace qx::text {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// A book of one-line titles (each with a short body), loaded and analysed.
Book Analysed(const std::vector<std::string>& titles) {
    std::string text;
    for (const auto& t : titles)
        text += t + "\r\n正文\r\n\r\n\r\n";
    Book book;
    book.workingText.Adopt(std::move(text));
    test::ScriptedUi ui;
    LoadChapters(book, LayoutMode::OneLine, ui);
    AnalyzeChapters(book, LayoutMode::OneLine, ui);
    return book;
}

std::vector<std::string> TreeOf(const IndexTree& tree) {
    std::vector<std::string> out;
    for (const auto& node : tree.Nodes())
        out.push_back(node.text + "|" + std::to_string(node.parent));
    return out;
}

struct LayoutCase {
    const char* name;
    std::vector<std::string> titles;
    std::vector<std::string> autoTree;  // after the automatic layout
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
    *os << c.name;
}

class AutomaticLayoutCases : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(AutomaticLayoutCases, MovesASharedFirstWordIntoTheVolume) {
    const LayoutCase& c = GetParam();
    Book book = Analysed(c.titles);
    const auto titles = book.index.titles;
    const auto labels = book.index.labels;
    test::ScriptedUi ui;
    AutomaticLayout(book.index, LayoutMode::OneLine, ui);
    EXPECT_THAT(TreeOf(book.index.tree), ElementsAreArray(c.autoTree));
    EXPECT_THAT(ui.Texts(test::ScriptedUi::Call::Status),
                ElementsAre(msg::kAutoLayoutRunning, msg::kAutoLayoutDone));
    EXPECT_EQ(book.index.titles, titles);  // only node texts change
    EXPECT_EQ(book.index.labels, labels);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AutomaticLayoutCases,
    ::testing::Values(LayoutCase{"VolumeTitleSharedByAllChapters",
                                 {"第二卷 天下 第一章 甲", "第二卷 天下 第二章 乙"},
                                 {"第二卷 天下|-1", "第一章 甲|0", "第二章 乙|0"}},
                      LayoutCase{"AnySharedWordMovesEvenANumberingWord",
                                 {"卷 第 1 章 甲", "卷 第 2 章 乙"},
                                 {"卷 第|-1", "1 章 甲|0", "2 章 乙|0"}},
                      LayoutCase{"SingleChapterVolumeIsLeftAlone",
                                 {"第一卷 天下 第一章 甲"},
                                 {"第一卷|-1", "天下 第一章 甲|0"}},
                      LayoutCase{"OneChapterWithoutABlankLeavesTheVolume",
                                 {"卷 天下 一", "卷 天下", "卷 天下 三"},
                                 {"卷|-1", "天下 一|0", "天下|0", "天下 三|0"}},
                      LayoutCase{"OneChapterWithAnotherFirstWordLeavesTheVolume",
                                 {"卷 天下 一", "卷 天下 二", "卷 江湖 三"},
                                 {"卷|-1", "天下 一|0", "天下 二|0", "江湖 三|0"}},
                      // Two blanks after the volume name leave the chapter starting with one.
                      LayoutCase{"LeadingBlankBeforeAWordIsTakenPasses",
                                 {"卷  甲", "卷 天下 乙", "卷 天下 丙"},
                                 {"卷 天下|-1", "甲|0", "乙|0", "丙|0"}},
                      LayoutCase{"LeadingBlankAfterAWordIsTakenDiffers",
                                 {"卷 天下 乙", "卷  甲", "卷 天下 丙"},
                                 {"卷|-1", "天下 乙|0", " 甲|0", "天下 丙|0"}},
                      LayoutCase{"EveryChapterBeginningWithABlankHasNoWordToMove",
                                 {"卷  甲", "卷  乙"},
                                 {"卷|-1", " 甲|0", " 乙|0"}},
                      LayoutCase{"FullWidthSpaceIsNotABlank",
                                 {"卷 天下　一", "卷 天下　二"},
                                 {"卷|-1", "天下　一|0", "天下　二|0"}},
                      LayoutCase{"OnlyTheFirstBlankIsTakenFurtherBlanksStay",
                                 {"卷 天下  一", "卷 天下  二"},
                                 {"卷 天下|-1", " 一|0", " 二|0"}},
                      LayoutCase{"PictureVolumeIsSkipped",
                                 {"<img src=pic/1.jpg> 插图 一", "<img src=pic/1.jpg> 插图 二"},
                                 {"<img src=pic/1.jpg>|-1", "插图 一|0", "插图 二|0"}},
                      LayoutCase{"EachVolumeIsJudgedOnItsOwn",
                                 {"甲卷 天下 一", "甲卷 天下 二", "乙卷 风 一", "乙卷 云 二", "丙卷 江湖 一",
                                  "丙卷 江湖 二"},
                                 {"甲卷 天下|-1", "一|0", "二|0", "乙卷|-1", "风 一|3", "云 二|3",
                                  "丙卷 江湖|-1", "一|6", "二|6"}}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(AutomaticLayout, EmptyTreeReportsAndChangesNothing) {
    ChapterIndex index;
    test::ScriptedUi ui;
    EXPECT_EQ(AutomaticLayout(index, LayoutMode::OneLine, ui), 0);
    EXPECT_EQ(index.tree.Count(), 0);
    EXPECT_THAT(ui.Texts(test::ScriptedUi::Call::Status),
                ElementsAre(msg::kAutoLayoutRunning, msg::kAutoLayoutDone));
}

TEST(AutomaticLayout, EachRunMovesOneMoreSharedWord) {
    Book book = Analysed({"卷 甲 乙 一", "卷 甲 乙 二"});
    test::ScriptedUi ui;
    EXPECT_EQ(AutomaticLayout(book.index, LayoutMode::OneLine, ui), 1);
    EXPECT_THAT(TreeOf(book.index.tree), ElementsAre("卷 甲|-1", "乙 一|0", "乙 二|0"));
    EXPECT_EQ(AutomaticLayout(book.index, LayoutMode::OneLine, ui), 1);
    EXPECT_THAT(TreeOf(book.index.tree), ElementsAre("卷 甲 乙|-1", "一|0", "二|0"));
    EXPECT_EQ(AutomaticLayout(book.index, LayoutMode::OneLine, ui), 0);
    EXPECT_THAT(TreeOf(book.index.tree), ElementsAre("卷 甲 乙|-1", "一|0", "二|0"));
}

TEST(AutomaticLayout, IsRefusedInSeparateLinesModeWhateverTheTreeHolds) {
    Book book = Analysed({"卷 天下 一", "卷 天下 二"});
    const auto tree = TreeOf(book.index.tree);
    test::ScriptedUi ui;
    EXPECT_EQ(AutomaticLayout(book.index, LayoutMode::SeparateLines, ui), 0);
    EXPECT_EQ(TreeOf(book.index.tree), tree);
    EXPECT_THAT(ui.Texts(test::ScriptedUi::Call::Status), ElementsAre(msg::kNoLayoutNeeded));
}

struct ManualCase {
    const char* name;
    std::vector<std::string> titles;
    int selected;
    std::vector<std::string> tree;  // after the manual layout
    std::string status;             // the only status text, or empty for none
    int shown;                      // the node to bring into view, -1 for none
};

void PrintTo(const ManualCase& c, std::ostream* os) {
    *os << c.name;
}

class ManualLayoutCases : public ::testing::TestWithParam<ManualCase> {};

TEST_P(ManualLayoutCases, LaysOutOneVolumeOrSaysWhyNot) {
    const ManualCase& c = GetParam();
    Book book = Analysed(c.titles);
    const auto before = TreeOf(book.index.tree);
    test::ScriptedUi ui;
    const ManualLayoutResult r = ManualLayout(book.index, c.selected, LayoutMode::OneLine, ui);
    EXPECT_THAT(TreeOf(book.index.tree), ElementsAreArray(c.tree));
    EXPECT_EQ(r.changed, TreeOf(book.index.tree) != before);
    EXPECT_EQ(r.showNode, c.shown);
    if (c.status.empty()) {
        EXPECT_TRUE(ui.calls.empty());
    } else {
        EXPECT_THAT(ui.Texts(test::ScriptedUi::Call::Status), ElementsAre(c.status));
    }
    if (c.shown >= 0) {
        EXPECT_TRUE(book.index.tree.At(c.shown).emphasised);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ManualLayoutCases,
    ::testing::Values(ManualCase{"SingleChapterVolumeIsLaidOut",
                                 {"第一卷 天下 第一章 甲"},
                                 1,
                                 {"第一卷 天下|-1", "第一章 甲|0"},
                                 "",
                                 -1},
                      ManualCase{"ChosenOnTheVolumeNodeItself",
                                 {"甲卷 一", "第二卷 天下 第一章 甲", "第二卷 天下 第二章 乙"},
                                 2,
                                 {"甲卷|-1", "一|0", "第二卷 天下|-1", "第一章 甲|2", "第二章 乙|2"},
                                 "",
                                 -1},
                      ManualCase{"OnlyTheChosenVolumeChanges",
                                 {"甲卷 天下 一", "甲卷 天下 二", "乙卷 江湖 一", "乙卷 江湖 二"},
                                 5,
                                 {"甲卷|-1", "天下 一|0", "天下 二|0", "乙卷 江湖|-1", "一|3", "二|3"},
                                 "",
                                 -1},
                      ManualCase{"ChapterWithoutABlankFails",
                                 {"卷 天下 一", "卷 天下", "卷 天下 三"},
                                 1,
                                 {"卷|-1", "天下 一|0", "天下|0", "天下 三|0"},
                                 std::string(msg::kNoVolumeNameToTake),
                                 2},
                      ManualCase{"ChapterWithAnotherFirstWordFails",
                                 {"卷 天下 一", "卷 天下 二", "卷 江湖 三"},
                                 0,
                                 {"卷|-1", "天下 一|0", "天下 二|0", "江湖 三|0"},
                                 std::string(msg::kVolumeNamesDiffer),
                                 3},
                      ManualCase{"LeadingBlankAfterAWordIsTakenFails",
                                 {"卷 天下 乙", "卷  甲"},
                                 1,
                                 {"卷|-1", "天下 乙|0", " 甲|0"},
                                 std::string(msg::kVolumeNamesDiffer),
                                 2},
                      ManualCase{"LeadingBlankBeforeAWordIsTakenPasses",
                                 {"卷  甲", "卷 天下 乙"},
                                 1,
                                 {"卷 天下|-1", "甲|0", "乙|0"},
                                 "",
                                 -1},
                      // Appending an empty word would leave a trailing blank on the volume.
                      ManualCase{"EveryChapterBeginningWithABlankHasNoWordToMove",
                                 {"卷  甲", "卷  乙"},
                                 2,
                                 {"卷|-1", " 甲|0", " 乙|0"},
                                 std::string(msg::kNoVolumeNameToTake),
                                 1},
                      ManualCase{"PictureVolumeIsRefused",
                                 {"<img src=pic/1.jpg> 插图 一", "<img src=pic/1.jpg> 插图 二"},
                                 1,
                                 {"<img src=pic/1.jpg>|-1", "插图 一|0", "插图 二|0"},
                                 std::string(msg::kPictureNeedsNoLayout),
                                 0},
                      ManualCase{"PictureCaptionFailingAChapterTestReportsThatFailure",
                                 {"<img src=pic/1.jpg> 插图", "卷 天下 一"},
                                 1,
                                 {"<img src=pic/1.jpg>|-1", "插图|0", "卷|-1", "天下 一|2"},
                                 std::string(msg::kNoVolumeNameToTake),
                                 1},
                      ManualCase{"NoSelectionDoesNothing",
                                 {"卷 天下 一", "卷 天下 二"},
                                 -1,
                                 {"卷|-1", "天下 一|0", "天下 二|0"},
                                 "",
                                 -1},
                      ManualCase{"AbsentNodeDoesNothing",
                                 {"卷 天下 一", "卷 天下 二"},
                                 3,
                                 {"卷|-1", "天下 一|0", "天下 二|0"},
                                 "",
                                 -1}),
    [](const auto& c) { return std::string(c.param.name); });

TEST(ManualLayout, IsRefusedInSeparateLinesModeWhateverTheTreeHolds) {
    Book book = Analysed({"卷 天下 一", "卷 天下 二"});
    const auto tree = TreeOf(book.index.tree);
    test::ScriptedUi ui;
    const auto r = ManualLayout(book.index, 1, LayoutMode::SeparateLines, ui);
    EXPECT_FALSE(r.changed);
    EXPECT_EQ(r.showNode, -1);
    EXPECT_EQ(TreeOf(book.index.tree), tree);
    EXPECT_THAT(ui.Texts(test::ScriptedUi::Call::Status), ElementsAre(msg::kManualLayoutRefused));
}

TEST(ManualLayout, VolumeWithoutChaptersIsNotGivenATrailingBlank) {
    ChapterIndex index;
    index.tree.Add("空卷");
    index.tree.Add("卷");
    index.tree.Add("天下 一", 1);
    test::ScriptedUi ui;
    const auto r = ManualLayout(index, 0, LayoutMode::OneLine, ui);
    EXPECT_FALSE(r.changed);
    EXPECT_EQ(r.showNode, 0);
    EXPECT_EQ(index.tree.TextOf(0), "空卷");
    EXPECT_EQ(ui.LastStatus(), msg::kNoVolumeNameToTake);
}

TEST(ManualLayout, AfterAutomaticLayoutMovesTheNextSharedWord) {
    Book book = Analysed({"卷 甲 乙 一", "卷 甲 乙 二", "卷 甲 乙 三"});
    test::ScriptedUi ui;
    AutomaticLayout(book.index, LayoutMode::OneLine, ui);
    const auto r = ManualLayout(book.index, 3, LayoutMode::OneLine, ui);
    EXPECT_TRUE(r.changed);
    EXPECT_THAT(TreeOf(book.index.tree), ElementsAre("卷 甲 乙|-1", "一|0", "二|0", "三|0"));
}

TEST(TreeHelpers, ChaptersOfAVolumeEndAtTheFirstNodeWithAnotherParent) {
    IndexTree tree;
    tree.Add("甲");     // 0
    tree.Add("一", 0);  // 1
    tree.Add("二", 0);  // 2
    tree.Add("乙");     // 3, no chapters
    tree.Add("丙");     // 4
    tree.Add("三", 4);  // 5
    tree.Add("四", 0);  // 6: a late child of 0 is not part of its run
    EXPECT_EQ(ChaptersOf(tree, 0).begin, 1);
    EXPECT_EQ(ChaptersOf(tree, 0).end, 3);
    EXPECT_TRUE(ChaptersOf(tree, 3).Empty());
    EXPECT_EQ(ChaptersOf(tree, 4).Size(), 1);
    EXPECT_TRUE(ChaptersOf(tree, 7).Empty());
    EXPECT_TRUE(ChaptersOf(tree, -1).Empty());
    EXPECT_EQ(VolumeOf(tree, 2), 0);
    EXPECT_EQ(VolumeOf(tree, 3), 3);
    EXPECT_EQ(VolumeOf(tree, 7), -1);
    EXPECT_TRUE(IsChapterNode(tree, 6));
    EXPECT_FALSE(IsChapterNode(tree, 4));
    EXPECT_FALSE(IsVolumeNode(tree, -1));
}

TEST(ExpandButton, CaptionDecidesAndFlips) {
    const auto collapse = ToggleExpansion(msg::kCollapseCaption, 3);
    ASSERT_TRUE(collapse);
    EXPECT_EQ(collapse->action, TreeExpansion::CollapseVolumes);
    EXPECT_EQ(collapse->newCaption, msg::kExpandCaption);

    for (const std::string_view caption :
         {msg::kExpandCaption, std::string_view(""), std::string_view("收缩")}) {
        const auto expand = ToggleExpansion(caption, 1);
        ASSERT_TRUE(expand);
        EXPECT_EQ(expand->action, TreeExpansion::ExpandVolumes);
        EXPECT_EQ(expand->newCaption, msg::kCollapseCaption);
    }
    EXPECT_FALSE(ToggleExpansion(msg::kCollapseCaption, 0));
    EXPECT_FALSE(ToggleExpansion(msg::kExpandCaption, 0));
}

}  // namespace
}  // namespace qx::text
