// Narrow literals here are GBK (the lines of a working text); u8"" literals
// are UTF-8 (patterns, units).
#include "headings/matcher.h"

#include <gtest/gtest.h>

#include "headings/chinese_number.h"
#include "headings/outline.h"

namespace qx::headings {
namespace {

std::string U8(std::u8string_view s) {
    return std::string(s.begin(), s.end());
}

struct HeadingCase {
    const char* line;  // GBK
    Kind kind;
    std::optional<int> number;
    const char* heading;  // GBK: what the heading's text is
    const char* body;     // GBK: the rest of the line that stays body text
};

void PrintTo(const HeadingCase& c, std::ostream* os) {
    *os << "line of " << std::string(c.line).size() << " bytes";
}

class HeadingForms : public ::testing::TestWithParam<HeadingCase> {};

TEST_P(HeadingForms, AreFoundWithKindNumberAndExtent) {
    const HeadingCase& c = GetParam();
    const Matcher matcher(RuleSet::BuiltIn());
    const std::string line = c.line;
    ASSERT_TRUE(matcher.MayMatch(line));
    const auto m = matcher.Match(line);
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->kind, c.kind);
    EXPECT_EQ(m->number, c.number);
    EXPECT_EQ(line.substr(m->headingBegin, m->headingEnd - m->headingBegin), c.heading);
    EXPECT_EQ(line.substr(m->bodyBegin), c.body);
}

INSTANTIATE_TEST_SUITE_P(
    AllForms, HeadingForms,
    ::testing::Values(
        // Number and unit, with the title after a space, an ideographic
        // space, a colon, or nothing.
        HeadingCase{"第一章", Kind::Chapter, 1, "第一章", ""},
        HeadingCase{"第一章 风起", Kind::Chapter, 1, "第一章 风起", ""},
        HeadingCase{"第一章　风起云涌", Kind::Chapter, 1, "第一章　风起云涌", ""},
        HeadingCase{"第一章：风起", Kind::Chapter, 1, "第一章：风起", ""},
        HeadingCase{"第三章风起", Kind::Chapter, 3, "第三章风起", ""},
        HeadingCase{"第01章 少年", Kind::Chapter, 1, "第01章 少年", ""},
        HeadingCase{"第００７章 少年", Kind::Chapter, 7, "第００７章 少年", ""},
        HeadingCase{"第 12 章 少年", Kind::Chapter, 12, "第 12 章 少年", ""},
        HeadingCase{"第一百二十三章 大结局", Kind::Chapter, 123, "第一百二十三章 大结局", ""},
        HeadingCase{"第一〇三章", Kind::Chapter, 103, "第一〇三章", ""},
        HeadingCase{"第两百零一章", Kind::Chapter, 201, "第两百零一章", ""},
        HeadingCase{"第十回 王教头私走延安府　九纹龙大闹史家村", Kind::Chapter, 10,
                    "第十回 王教头私走延安府　九纹龙大闹史家村", ""},
        HeadingCase{"第三节 夜", Kind::Chapter, 3, "第三节 夜", ""},
        HeadingCase{"第二话 再会", Kind::Chapter, 2, "第二话 再会", ""},
        HeadingCase{"第一幕", Kind::Chapter, 1, "第一幕", ""},
        HeadingCase{"第五節 舊事", Kind::Chapter, 5, "第五節 舊事", ""},
        // Volumes (a volume beside chapters, else a chapter: decided per book).
        HeadingCase{"第一卷 风起云涌", Kind::Part, 1, "第一卷 风起云涌", ""},
        HeadingCase{"第二部", Kind::Part, 2, "第二部", ""},
        HeadingCase{"第三集 归来", Kind::Part, 3, "第三集 归来", ""},
        HeadingCase{"第四篇", Kind::Part, 4, "第四篇", ""},
        HeadingCase{"卷一 潜龙", Kind::Part, 1, "卷一 潜龙", ""},
        HeadingCase{"卷十二", Kind::Part, 12, "卷十二", ""},
        // Words without a number.
        HeadingCase{"序", Kind::Special, std::nullopt, "序", ""},
        HeadingCase{"序章 少年", Kind::Special, std::nullopt, "序章 少年", ""},
        HeadingCase{"序言", Kind::Special, std::nullopt, "序言", ""},
        HeadingCase{"前言", Kind::Special, std::nullopt, "前言", ""},
        HeadingCase{"引子", Kind::Special, std::nullopt, "引子", ""},
        HeadingCase{"楔子　张天师祈禳瘟疫　洪太尉误走妖魔", Kind::Special, std::nullopt,
                    "楔子　张天师祈禳瘟疫　洪太尉误走妖魔", ""},
        HeadingCase{"尾声", Kind::Special, std::nullopt, "尾声", ""},
        HeadingCase{"后记：写在最后", Kind::Special, std::nullopt, "后记：写在最后", ""},
        HeadingCase{"终章 归途", Kind::Special, std::nullopt, "终章 归途", ""},
        HeadingCase{"番外一 旧梦", Kind::Special, std::nullopt, "番外一 旧梦", ""},
        HeadingCase{"番外篇", Kind::Special, std::nullopt, "番外篇", ""},
        // English headings.
        HeadingCase{"Chapter 12", Kind::Chapter, 12, "Chapter 12", ""},
        HeadingCase{"Chapter 3: The Return", Kind::Chapter, 3, "Chapter 3: The Return", ""},
        HeadingCase{"CHAPTER XII", Kind::Chapter, 12, "CHAPTER XII", ""},
        HeadingCase{"Chapter One", Kind::Chapter, 1, "Chapter One", ""},
        HeadingCase{"Part 2", Kind::Part, 2, "Part 2", ""},
        // Indentation and noise before the heading are not part of it.
        HeadingCase{"    第一章 风起", Kind::Chapter, 1, "第一章 风起", ""},
        HeadingCase{"　　第二章 风起", Kind::Chapter, 2, "第二章 风起", ""},
        HeadingCase{"\t第三章", Kind::Chapter, 3, "第三章", ""},
        HeadingCase{"正文 第一章 风起", Kind::Chapter, 1, "第一章 风起", ""},
        HeadingCase{"正文第一章 风起", Kind::Chapter, 1, "第一章 风起", ""},
        HeadingCase{"【】第五章 夜", Kind::Chapter, 5, "第五章 夜", ""},
        HeadingCase{"[VIP] 第五章 夜", Kind::Chapter, 5, "第五章 夜", ""},
        HeadingCase{"VIP章节 第九章", Kind::Chapter, 9, "第九章", ""},
        HeadingCase{"第一章 风起  ", Kind::Chapter, 1, "第一章 风起", ""},
        // A heading and the chapter's first sentence on one line.
        HeadingCase{
            "第一章 风起　天色已晚，张三走出了家门。他抬头看了看天，心想今天又要下雨了，于是加快了脚步。",
            Kind::Chapter, 1, "第一章 风起",
            "天色已晚，张三走出了家门。他抬头看了看天，心想今天又要下雨了，于是加快了脚步。"},
        HeadingCase{
            "第二章 天色已晚，张三走出了家门。他抬头看了看天，心想今天又要下雨了，于是加快了脚步回家去。",
            Kind::Chapter, 2, "第二章",
            "天色已晚，张三走出了家门。他抬头看了看天，心想今天又要下雨了，于是加快了脚步回家去。"}));

class BodyText : public ::testing::TestWithParam<const char*> {};

TEST_P(BodyText, IsNoHeading) {
    const Matcher matcher(RuleSet::BuiltIn());
    EXPECT_FALSE(matcher.Match(GetParam()).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    NearMisses, BodyText,
    ::testing::Values(
        "第三章说的是他如何逃出生天。",    // a sentence that begins with a chapter number
        "第三章的内容，他早已烂熟于心",    // a particle right after the unit
        "第一回合下来，两人不分胜负",      // 回合 is a word
        "第二集团军开了过来",              // 集团 likewise
        "第三者插足",                      // no unit
        "第一次见面",                      // no unit
        "“第三章”他说道，“你还没看吗？”",  // a heading quoted in dialogue
        "他翻到第三章，看了起来。",        // the number inside the line
        "序言中说道，这本书写了十年。",    // a word that only begins like a heading
        "第三章天色已晚张三走出了家门他抬头看了看天心想今天又要下雨了于是加快了脚步回家",  // a long line with
                                                                                           // nothing between
        "    第四日饭时候，鲁智深径寻到林冲家相探",  // 第四日 is no heading
        "第X章 风起",                                // no number
        "Chapters of this story",                    // not "Chapter N"
        "", "    ", "　　"));

TEST(Rules, UserRuleIsTriedFirstAndItsMatchIsTheHeading) {
    RuleSet rules = RuleSet::BuiltIn();
    rules.AddUserRule(U8(u8"^【(?<num>\\d+)】"));
    const Matcher matcher(rules);
    const std::string line = "【12】剑出鞘 后面的正文";
    const auto m = matcher.Match(line);
    ASSERT_TRUE(m.has_value());
    EXPECT_TRUE(m->userRule);
    EXPECT_EQ(m->rule, 0);
    EXPECT_EQ(m->number, 12);
    EXPECT_EQ(line.substr(m->headingBegin, m->headingEnd - m->headingBegin), "【12】");
    EXPECT_EQ(line.substr(m->bodyBegin), "剑出鞘 后面的正文");
}

TEST(Rules, RulesThatAreOffAreNotTriedAndBadPatternsAreReported) {
    RuleSet rules = RuleSet::BuiltIn();
    for (auto& r : rules.Rules()) {
        if (r.name == U8(u8"第N章"))
            r.enabled = false;
    }
    rules.AddUserRule("(unclosed");
    const Matcher matcher(rules);
    EXPECT_FALSE(matcher.Match("第一章 风起").has_value());
    ASSERT_EQ(matcher.Problems().size(), 1u);
    EXPECT_TRUE(PatternError("(unclosed").has_value());
    EXPECT_FALSE(PatternError(U8(u8"^第\\d+章")).has_value());
}

TEST(Rules, BareNumbersAreOffUntilTurnedOn) {
    RuleSet rules = RuleSet::BuiltIn();
    EXPECT_FALSE(Matcher(rules).Match("001 少年").has_value());
    for (auto& r : rules.Rules()) {
        if (r.name == kBareNumbersRule)
            r.enabled = true;
    }
    const auto m = Matcher(rules).Match("001 少年");
    ASSERT_TRUE(m.has_value());
    EXPECT_EQ(m->number, 1);
}

TEST(Rules, FileKeepsStatesAndUserRulesAndReportsBadLines) {
    RuleSet rules = RuleSet::BuiltIn();
    rules.Rules()[1].enabled = false;
    rules.AddUserRule(U8(u8"^第\\d+话"), Kind::Chapter);
    rules.AddUserRule("^Book \\d+", Kind::Volume);
    const std::string text = rules.ToFileText();
    std::vector<std::string> problems;
    const RuleSet back = RuleSet::FromFileText(
        text + "maybe\tbuiltin\tx\non\tnonsense\tpattern\non\tbuiltin\tno such\n", &problems);
    ASSERT_EQ(back.Rules().size(), rules.Rules().size());
    for (std::size_t i = 0; i < rules.Rules().size(); ++i) {
        EXPECT_EQ(back.Rules()[i].pattern, rules.Rules()[i].pattern) << i;
        EXPECT_EQ(back.Rules()[i].enabled, rules.Rules()[i].enabled) << i;
        EXPECT_EQ(back.Rules()[i].kind, rules.Rules()[i].kind) << i;
        EXPECT_EQ(back.Rules()[i].builtIn, rules.Rules()[i].builtIn) << i;
    }
    EXPECT_EQ(problems.size(), 3u);
    // A file that names no built-in rule keeps them all at their defaults.
    const RuleSet defaults = RuleSet::FromFileText("# nothing\n");
    EXPECT_EQ(defaults.ToFileText(), RuleSet::BuiltIn().ToFileText());
}

TEST(Numbers, ChineseArabicAndRoman) {
    const struct {
        const char8_t* text;
        std::optional<int> value;
    } cases[] = {
        {u8"一", 1},
        {u8"十", 10},
        {u8"十二", 12},
        {u8"二十", 20},
        {u8"二十一", 21},
        {u8"一百", 100},
        {u8"一百零五", 105},
        {u8"一百二十三", 123},
        {u8"两百", 200},
        {u8"一千零一", 1001},
        {u8"三万二千", 32000},
        {u8"一〇三", 103},
        {u8"二零一", 201},
        {u8"廿三", 23},
        {u8"壹佰贰拾", 120},
        {u8"兩", 2},
        {u8"007", 7},
        {u8"１２", 12},
        {u8"XIV", 14},
        {u8"mcmxc", 1990},
        {u8"", std::nullopt},
        {u8"百百", std::nullopt},
        {u8"IIII", std::nullopt},
        {u8"一a", std::nullopt},
        {u8"99999999", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseNumber(U8(c.text)), c.value) << U8(c.text);
}

TEST(Outline, ChineseNumeralsForGeneratedVolumeTitles) {
    EXPECT_EQ(ChineseNumeral(1), U8(u8"一"));
    EXPECT_EQ(ChineseNumeral(10), U8(u8"十"));
    EXPECT_EQ(ChineseNumeral(12), U8(u8"十二"));
    EXPECT_EQ(ChineseNumeral(20), U8(u8"二十"));
    EXPECT_EQ(ChineseNumeral(105), U8(u8"一百零五"));
    EXPECT_EQ(ChineseNumeral(110), U8(u8"一百一十"));
    EXPECT_EQ(ChineseNumeral(2003), U8(u8"二千零三"));
    for (int n = 1; n < 3000; ++n)
        EXPECT_EQ(ParseNumber(ChineseNumeral(n)), n);
}

}  // namespace
}  // namespace qx::headings
