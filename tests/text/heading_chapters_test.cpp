// Texts here are compiled as GBK, like the program's own.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "headings/heading_rules.h"
#include "support/scripted_ui.h"
#include "text/chapters.h"
#include "text/messages.h"

namespace qx::text {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string Lines(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines)
        s += l + "\r\n";
    return s;
}

struct Loaded {
    Book book;
    test::ScriptedUi ui;
};

std::unique_ptr<Loaded> Load(const std::string& text) {
    auto out = std::make_unique<Loaded>();
    out->book.workingText.Adopt(std::string(text));
    LoadChapters(out->book, LayoutMode::Headings, out->ui);
    return out;
}

std::vector<std::string> Bodies(const Book& book) {
    std::vector<std::string> out;
    const auto& ix = book.index;
    for (std::size_t k = 0; k < ix.titles.size(); ++k) {
        const auto start = static_cast<std::size_t>(ix.ChapterStart[k]);
        const auto end = static_cast<std::size_t>(ix.ChapterEnd[k + 1]);
        out.push_back(end >= start ? std::string(book.workingText.Bytes().substr(start, end - start))
                                   : "<negative>");
    }
    return out;
}

std::vector<std::string> Tree(const Book& book) {
    std::vector<std::string> out;
    for (const auto& n : book.index.tree.Nodes())
        out.push_back(n.text + "|" + std::to_string(n.parent));
    return out;
}

std::vector<std::string> Warnings(const Book& book) {
    std::vector<std::string> out;
    for (const auto& w : book.index.warnings)
        out.push_back(std::to_string(w.chapter) + ":" + WarningKindName(w.kind));
    return out;
}

TEST(HeadingsMode, ChaptersWithoutVolumesKeepTheirTitlesAndBodies) {
    const auto l = Load(
        Lines({"第一章 少年", "", "　　他走了。", "", "　　又回来了。", "", "", "第二章 再会", "　　完。"}));
    const auto& ix = l->book.index;
    EXPECT_THAT(ix.titles, ElementsAre("第一章 少年", "第二章 再会"));
    EXPECT_THAT(ix.volumeNumbers, ElementsAre("0", "0"));
    EXPECT_THAT(ix.labels, ElementsAre("0_1", "0_2"));
    EXPECT_THAT(Tree(l->book), ElementsAre("第一章 少年|-1", "第二章 再会|-1"));
    // A body ends with its last line of text; the last runs to the end.
    EXPECT_THAT(Bodies(l->book), ElementsAre("\r\n　　他走了。\r\n\r\n　　又回来了。\r\n", "　　完。\r\n"));
    EXPECT_EQ(ix.cursor, 0);
    EXPECT_TRUE(ix.warnings.empty());
    EXPECT_EQ(l->ui.LastStatus(), msg::HeadingsLoaded(2, 0, 0));
}

TEST(HeadingsMode, VolumesAreBuiltAsInSeparateLinesMode) {
    const auto l = Load(Lines({"第一卷 风起", "", "第一章 甲", "正文一", "第二章 乙", "正文二", "第二卷 云涌",
                               "第三章 丙", "正文三"}));
    const auto& ix = l->book.index;
    EXPECT_THAT(ix.titles,
                ElementsAre("第一卷 风起　第一章 甲", "第一卷 风起　第二章 乙", "第二卷 云涌　第三章 丙"));
    EXPECT_THAT(ix.volumeNumbers, ElementsAre("1", "1", "2"));
    EXPECT_THAT(ix.labels, ElementsAre("1_1", "1_2", "2_1"));
    EXPECT_THAT(Tree(l->book),
                ElementsAre("第一卷 风起|-1", "第一章 甲|0", "第二章 乙|0", "第二卷 云涌|-1", "第三章 丙|3"));
    EXPECT_THAT(Bodies(l->book), ElementsAre("正文一\r\n", "正文二\r\n", "正文三\r\n"));
}

TEST(HeadingsMode, NothingIsLostBeforeTheFirstHeadingOrAfterAVolumeHeading) {
    const auto l =
        Load(Lines({"本书由某网整理", "", "简介：一个故事", "第一卷 风起", "本卷讲述少年的故事。", "",
                    "第一章 甲", "正文一", "第二卷 空卷", "第三卷 云涌", "第二章 乙", "正文二"}));
    const auto& ix = l->book.index;
    ASSERT_EQ(ix.ChapterCount(), 5);
    EXPECT_EQ(ix.titles[0], msg::kFrontMatterTitle);
    EXPECT_THAT(Bodies(l->book), ElementsAre("本书由某网整理\r\n\r\n简介：一个故事\r\n",
                                             "本卷讲述少年的故事。\r\n", "正文一\r\n", "", "正文二\r\n"));
    EXPECT_THAT(Tree(l->book),
                ElementsAre("卷首|-1", "第一卷 风起|-1", "第一卷 风起|1", "第一章 甲|1", "第二卷 空卷|-1",
                            "第二卷 空卷|4", "第三卷 云涌|-1", "第二章 乙|6"));
    // Every volume has a chapter: the tree keeps chapter k at node k + its volume.
    for (int k = 0; k < ix.ChapterCount(); ++k)
        EXPECT_GE(ix.NodeOfChapter(k), 0);
    EXPECT_THAT(Warnings(l->book), ElementsAre("3:empty"));
}

TEST(HeadingsMode, TheBooksOwnTitleLineMakesNoChapter) {
    const auto l = Load(Lines({"《西游记》吴承恩", "", "第一回 甲", "正文"}));
    EXPECT_THAT(l->book.index.titles, ElementsAre("第一回 甲"));
}

TEST(HeadingsMode, HeadingSharingItsLineLeavesTheRestInTheBody) {
    const auto l = Load(
        Lines({"第一章 风起　天色已晚，张三走出了家门。他抬头看了看天，心想今天又要下雨了，于是加快了脚步。",
               "第二章 云涌", "正文"}));
    EXPECT_THAT(l->book.index.titles, ElementsAre("第一章 风起", "第二章 云涌"));
    EXPECT_THAT(Bodies(l->book)[0],
                "天色已晚，张三走出了家门。他抬头看了看天，心想今天又要下雨了，于是加快了脚步。\r\n");
}

TEST(HeadingsMode, ChecksNumberingAndSizes) {
    std::vector<std::string> lines;
    auto chapter = [&](const std::string& heading, int paragraphs) {
        lines.push_back(heading);
        for (int i = 0; i < paragraphs; ++i)
            lines.push_back("　　" + std::string(200, 'x'));
    };
    chapter("第一章 甲", 10);
    chapter("第二章 乙", 10);
    chapter("第四章 丁", 10);  // 3 is missing
    chapter("第五章 戊", 10);
    chapter("第五章 戊续", 10);  // a duplicate far from its twin
    chapter("第六章 己", 400);   // swallowed the next heading
    chapter("第七章 庚", 0);     // empty
    chapter("第八章 辛", 10);
    chapter("第三章 丙", 10);  // backwards, and the book goes on from it
    chapter("第四章 丁", 10);
    const auto l = Load(Lines(lines));
    EXPECT_EQ(l->book.index.ChapterCount(), 10);
    EXPECT_THAT(Warnings(l->book),
                ElementsAre("2:gap", "4:duplicate", "5:long", "6:empty", "8:backwards", "9:duplicate"));
    EXPECT_EQ(l->book.index.warnings[0].text, msg::GapWarning(2, 4));
    EXPECT_EQ(l->ui.LastStatus(), msg::HeadingsLoaded(10, 0, 6));
}

TEST(HeadingsMode, VolumesRestartNumberingWithoutWarnings) {
    const auto l =
        Load(Lines({"第一卷", "第一章 甲", "正文", "第二章 乙", "正文", "第二卷", "第一章 丙", "正文"}));
    EXPECT_TRUE(l->book.index.warnings.empty());
    EXPECT_THAT(l->book.index.labels, ElementsAre("1_1", "1_2", "2_1"));
}

TEST(HeadingsMode, ATextWithoutHeadingsBecomesOneChapterAndSaysSo) {
    const auto l = Load(Lines({"只是一段话。", "又一段。"}));
    EXPECT_EQ(l->book.index.ChapterCount(), 1);
    EXPECT_THAT(Bodies(l->book), ElementsAre("只是一段话。\r\n又一段。\r\n"));
    EXPECT_EQ(l->ui.LastStatus(), msg::kNoHeadingsFound);
    const auto empty = Load("");
    EXPECT_EQ(empty->book.index.ChapterCount(), 0);
    EXPECT_EQ(empty->book.index.cursor, -1);
}

TEST(HeadingsMode, UsesTheGivenRulesAndAnalysisLeavesTheTreeAlone) {
    headings::RuleSet rules = headings::RuleSet::BuiltIn();
    rules.AddUserRule("^== .* ==$");
    Book book;
    book.workingText.Adopt(Lines({"== 开端 ==", "正文", "== 结尾 ==", "正文"}));
    test::ScriptedUi ui;
    LoadChapters(book, LayoutMode::Headings, ui, &rules);
    EXPECT_THAT(book.index.titles, ElementsAre("== 开端 ==", "== 结尾 =="));
    AnalyzeChapters(book, LayoutMode::Headings, ui);
    EXPECT_EQ(ui.LastStatus(), msg::kHeadingsNeedNoAnalysis);
    EXPECT_EQ(book.index.tree.Count(), 2);
}

}  // namespace
}  // namespace qx::text
