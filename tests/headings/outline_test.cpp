// Narrow literals here are GBK, as the working text holds them.
#include "headings/outline.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qx::headings {
namespace {

using ::testing::ElementsAre;

std::string Text(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines)
        s += l + "\r\n";
    return s;
}

// "V:title" for volumes, "title" for chapters, in text order.
std::vector<std::string> Found(const std::vector<std::string>& lines) {
    const Matcher matcher(RuleSet::BuiltIn());
    const Outline outline = FindHeadings(Text(lines), matcher);
    std::vector<std::string> out;
    for (const auto& h : outline.headings)
        out.push_back((h.volume ? "V:" : "") + h.title);
    return out;
}

TEST(Outline, TitleRepeatedAsTheFirstLineIsBodyText) {
    EXPECT_THAT(
        Found({"第一章 少年", "", "第一章 少年", "", "他走了。", "", "第二章 再会", "第二章 再会", "正文"}),
        ElementsAre("第一章 少年", "第二章 再会"));
}

TEST(Outline, SameNumberFarInsideABodyIsAChapterOfItsOwn) {
    EXPECT_THAT(Found({"第一章 上", "一", "二", "三", "四", "第一章 下", "五"}),
                ElementsAre("第一章 上", "第一章 下"));
}

TEST(Outline, NumberJumpingBackIsBodyTextUnlessTheBookGoesOnFromIt) {
    // 第二章 inside chapter 5 refers back; the book goes on with 第六章.
    EXPECT_THAT(Found({"第四章 甲", "正文", "第五章 乙", "正文", "第二章 丙", "正文", "第六章 丁", "正文"}),
                ElementsAre("第四章 甲", "第五章 乙", "第六章 丁"));
    // Here the numbering really goes on from the lower number.
    EXPECT_THAT(Found({"第四章 甲", "正文", "第五章 乙", "正文", "第二章 丙", "正文", "第三章 丁", "正文"}),
                ElementsAre("第四章 甲", "第五章 乙", "第二章 丙", "第三章 丁"));
}

TEST(Outline, ForwardJumpIsKeptUnlessTheBookGoesOnWithoutIt) {
    EXPECT_THAT(Found({"第一章 甲", "正文", "第九章 乙", "正文", "第二章 丙", "正文"}),
                ElementsAre("第一章 甲", "第二章 丙"));
    EXPECT_THAT(Found({"第一章 甲", "正文", "第三章 乙", "正文", "第四章 丙", "正文"}),
                ElementsAre("第一章 甲", "第三章 乙", "第四章 丙"));
}

TEST(Outline, ListOfContentsAtTheFrontIsNotChapters) {
    EXPECT_THAT(Found({"目录", "第一章 甲", "第二章 乙", "第三章 丙", "", "第一章 甲", "正文", "第二章 乙",
                       "正文", "第三章 丙", "正文"}),
                ElementsAre("第一章 甲", "第二章 乙", "第三章 丙"));
}

TEST(Outline, VolumesBesideChaptersAndOnTheSameLine) {
    EXPECT_THAT(Found({"第一卷 风起", "", "第一章 甲", "正文", "第二卷 云涌", "第二章 乙", "正文"}),
                ElementsAre("V:第一卷 风起", "第一章 甲", "V:第二卷 云涌", "第二章 乙"));
    EXPECT_THAT(
        Found({"第一卷 风起 第一章 甲", "正文", "第一卷 风起 第二章 乙", "正文", "第二卷 第三章 丙", "正文"}),
        ElementsAre("V:第一卷 风起", "第一章 甲", "第二章 乙", "V:第二卷", "第三章 丙"));
}

TEST(Outline, VolumeUnitsAloneAreChapters) {
    EXPECT_THAT(Found({"第一集 甲", "正文", "第二集 乙", "正文"}), ElementsAre("第一集 甲", "第二集 乙"));
}

TEST(Outline, NumberingThatStartsAgainMakesVolumes) {
    EXPECT_THAT(
        Found({"楔子", "正文", "第一章 甲", "正文", "第二章 乙", "正文", "第一章 丙", "正文", "第二章 丁",
               "正文"}),
        ElementsAre("楔子", "V:第一卷", "第一章 甲", "第二章 乙", "V:第二卷", "第一章 丙", "第二章 丁"));
    // With volume headings, a new volume's numbering may start again.
    EXPECT_THAT(Found({"第一卷", "第一章 甲", "正文", "第二卷", "第一章 乙", "正文"}),
                ElementsAre("V:第一卷", "第一章 甲", "V:第二卷", "第一章 乙"));
}

TEST(Outline, IndentedWordHeadingsAmongFlushOnesAreText) {
    EXPECT_THAT(Found({"第一回 甲", "　　正文", "　　尾声 他们走了", "　　正文", "第二回 乙", "　　正文",
                       "第三回 丙", "尾声"}),
                ElementsAre("第一回 甲", "第二回 乙", "第三回 丙", "尾声"));
}

TEST(Outline, JudgesWhetherTheHeadingsFormASequence) {
    const Matcher matcher(RuleSet::BuiltIn());
    EXPECT_TRUE(
        JudgeSequence(FindHeadings(Text({"第一章", "a", "第二章", "b", "第三章", "c"}), matcher)).consistent);
    EXPECT_FALSE(JudgeSequence(FindHeadings(Text({"第一章", "a", "第二章", "b"}), matcher)).consistent);
    EXPECT_FALSE(JudgeSequence(FindHeadings(Text({"正文", "序", "a"}), matcher)).consistent);
}

TEST(Outline, CountsWhatEachRuleAccepts) {
    const RuleSet rules = RuleSet::BuiltIn();
    const Matcher matcher(rules);
    const auto counts = CountPerRule(Text({"第一章", "a", "第二章", "第一卷", "序", "Chapter 1"}), matcher);
    ASSERT_EQ(counts.size(), rules.Rules().size());
    EXPECT_EQ(counts[0], 2);  // 第N章
    EXPECT_EQ(counts[1], 1);  // 第N卷
    EXPECT_EQ(counts[3], 1);  // 序
    EXPECT_EQ(counts[4], 1);  // Chapter N
}

}  // namespace
}  // namespace qx::headings
