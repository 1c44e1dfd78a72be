// Narrow literals here are GBK (lines of a working text and the program's
// messages); patterns are ASCII.
#include <gtest/gtest.h>

#include <string>

#include "headings/matcher.h"
#include "support/scripted_ui.h"
#include "text/chapters.h"
#include "text/messages.h"

namespace qx::headings {
namespace {

// A pattern that backtracks exponentially on a line of a's without a b.
constexpr const char* kRunaway = "^(a+)+[bc]";

std::string LinesOfA(int lines, std::size_t length) {
    std::string text;
    for (int i = 0; i < lines; ++i) text += std::string(length, 'a') + "\r\n";
    return text;
}

TEST(UserPatterns, ARunawayPatternIsBoundedAndSetAsideWhileSanePatternsStillMatch) {
    RuleSet rules = RuleSet::BuiltIn();
    rules.AddUserRule(kRunaway, Kind::Chapter, "runaway");
    rules.AddUserRule("^Section (?<num>\\d+)", Kind::Chapter, "sections");
    rules.AddUserRule("^.*?Part.*?(?<num>\\d+).*$", Kind::Part, "sloppy");
    const Matcher matcher(rules);
    ASSERT_TRUE(matcher.Problems().empty());

    // Lines the runaway rule cannot settle count against it ...
    const std::string as(200, 'a');
    for (int i = 0; i < 40; ++i) EXPECT_FALSE(matcher.Match(as).has_value());
    EXPECT_EQ(matcher.SetAside(), std::vector<std::string>{"runaway"});

    // ... while the other user rules, also on long lines, go on matching, the
    // runaway rule too where it can (it is tried no more once set aside).
    const auto section = matcher.Match("Section 12 " + std::string(220, 'x'));
    ASSERT_TRUE(section.has_value());
    EXPECT_EQ(section->number, 12);
    const auto part = matcher.Match(std::string(100, 'y') + " Part " + std::string(100, 'z') + " 7 end");
    ASSERT_TRUE(part.has_value());
    EXPECT_EQ(part->kind, Kind::Part);
    EXPECT_EQ(part->number, 7);
}

// Compiled patterns are kept for the process and shared between matchers:
// what one matcher learns of a pattern (that it runs away) is its own, and
// a matcher keeps its patterns however many others are compiled after it.
TEST(UserPatterns, MatchersShareCompiledPatternsButNotWhatTheyLearnOfThem) {
    RuleSet rules = RuleSet::BuiltIn();
    rules.AddUserRule(kRunaway, Kind::Chapter, "runaway");
    rules.AddUserRule("^Section (?<num>\\d+)", Kind::Chapter, "sections");
    const Matcher first(rules);
    const std::string as(200, 'a');
    for (int i = 0; i < 40; ++i) first.Match(as);
    EXPECT_EQ(first.SetAside(), std::vector<std::string>{"runaway"});
    const Matcher second(rules);
    EXPECT_TRUE(second.SetAside().empty());
    for (int i = 0; i < 40; ++i) second.Match(as);
    EXPECT_EQ(second.SetAside(), std::vector<std::string>{"runaway"});

    for (int i = 0; i < 300; ++i) {
        RuleSet one;
        one.AddUserRule("^Item" + std::to_string(i) + " (?<num>\\d+)", Kind::Chapter, "item");
        const Matcher other(one);
        const auto item = other.Match("Item" + std::to_string(i) + " 5");
        ASSERT_TRUE(item.has_value()) << i;
        EXPECT_EQ(item->number, 5);
    }
    const auto section = first.Match("Section 12");
    ASSERT_TRUE(section.has_value());
    EXPECT_EQ(section->number, 12);
}

TEST(UserPatterns, ABookOfRunawayLinesLoadsAndTheUserIsTold) {
    RuleSet rules = RuleSet::BuiltIn();
    rules.AddUserRule(kRunaway, Kind::Chapter, "runaway");
    text::Book book;
    // Without the bound each of these lines would take PCRE2's default ten
    // million steps; with it the whole book is read at once (the test's
    // time limit is the check).
    book.workingText.Adopt("第1章 开始\r\n" + LinesOfA(20000, 200) + "第2章 结束\r\n正文\r\n");
    test::ScriptedUi ui;
    text::LoadChaptersByHeadings(book, rules, ui);
    EXPECT_EQ(book.index.ChapterCount(), 2);
    const auto messages = ui.Texts(test::ScriptedUi::Call::Message);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], std::string(text::msg::kRulesSetAside) + "\r\nrunaway");
}

TEST(UserPatterns, SaneRulesAreNeverSetAside) {
    text::Book book;
    std::string text;
    for (int i = 1; i <= 300; ++i) text += "第" + std::to_string(i) + "章 标题\r\n" + std::string(300, 'a') + "\r\n";
    book.workingText.Adopt(std::move(text));
    RuleSet rules = RuleSet::BuiltIn();
    rules.AddUserRule("^(?:Chapter|Section) (?<num>\\d+)", Kind::Chapter, "english");
    test::ScriptedUi ui;
    text::LoadChaptersByHeadings(book, rules, ui);
    EXPECT_EQ(book.index.ChapterCount(), 300);
    EXPECT_TRUE(ui.Texts(test::ScriptedUi::Call::Message).empty());
}

// A rules file may hold anything; a pattern that is no UTF-8 is refused by
// the matcher with a message, as by the rules dialog, and never handed to
// the expression engine as if it were.
TEST(UserPatterns, APatternThatIsNoUtf8IsRefusedWithAMessage) {
    for (const std::string& pattern : {std::string("\\a\xff\x03" "a"), std::string("^\xc3(?<num>\\d+)"),
                                      std::string("\xed\xa0\x80")}) {
        EXPECT_TRUE(PatternError(pattern).has_value());
        RuleSet rules = RuleSet::BuiltIn();
        rules.AddUserRule(pattern, Kind::Chapter, "broken");
        const Matcher matcher(rules);
        ASSERT_EQ(matcher.Problems().size(), 1u);
        EXPECT_EQ(matcher.Problems()[0].rfind("broken: ", 0), 0u) << matcher.Problems()[0];
        EXPECT_GT(matcher.Problems()[0].size(), 8u);
        EXPECT_TRUE(matcher.Match("第1章 开始").has_value());  // the built-in rules still work
    }
}

}  // namespace
}  // namespace qx::headings
