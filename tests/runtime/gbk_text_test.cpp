// Texts here are compiled as GBK, like the program's own.
#include "runtime/gbk_text.h"

#include <gtest/gtest.h>

namespace qx::runtime {
namespace {

TEST(GbkText, FindCountsBytePositionsFromOneAndGivesMinusOneWhenAbsent) {
    const std::string s = "第一卷 第一章 Abc abc";
    EXPECT_EQ(Find(s, "第"), 1);
    EXPECT_EQ(Find(s, "第", 2), 8);  // after the first space (byte 7)
    EXPECT_EQ(Find(s, " "), 7);
    EXPECT_EQ(Find(s, "abc"), 19);
    EXPECT_EQ(Find(s, "ABC", 1, true), 15);
    EXPECT_EQ(Find(s, "ABC"), -1);
    EXPECT_EQ(Find(s, "x"), -1);
    EXPECT_EQ(Find(s, ""), -1);
    EXPECT_EQ(Find(s, "abc", 100), -1);
    // Case folding touches ASCII letters only: GBK bytes never match folded.
    EXPECT_EQ(Find("\xC1\xC1", "\xE1\xE1", 1, true), -1);
}

TEST(GbkText, FindLastSearchesBackwardsFromTheEndOrAStart) {
    const std::string s = "a b c b";
    EXPECT_EQ(FindLast(s, "b"), 7);
    EXPECT_EQ(FindLast(s, "b", 6), 3);
    EXPECT_EQ(FindLast(s, "B", 0, true), 7);
    EXPECT_EQ(FindLast(s, "z"), -1);
    EXPECT_EQ(FindLast("》", "》"), 1);
}

TEST(GbkText, ReplaceHonoursStartAndCount) {
    EXPECT_EQ(Replace("aXbXcX", "X", "--"), "a--b--c--");
    EXPECT_EQ(Replace("aXbXcX", "X", "", 3), "aXbc");
    EXPECT_EQ(Replace("aXbXcX", "X", "-", 1, 2), "a-b-cX");
    EXPECT_EQ(Replace("aaaa", "aa", "a"), "aa");  // left to right, no overlap
    EXPECT_EQ(Replace("xAx", "a", "b", 1, -1, true), "xbx");
    EXPECT_EQ(Replace("abc", "", "z"), "abc");
}

TEST(GbkText, LeftRightMidClampToTheText) {
    EXPECT_EQ(Left("abcdef", 2), "ab");
    EXPECT_EQ(Left("ab", 5), "ab");
    EXPECT_EQ(Right("abcdef", 2), "ef");
    EXPECT_EQ(Right("ab", 5), "ab");
    EXPECT_EQ(Mid("abcdef", 2, 3), "bcd");
    EXPECT_EQ(Mid("abcdef", 6, 3), "f");
    EXPECT_EQ(Mid("abcdef", 7, 3), "");
}

TEST(GbkText, TrimRemovesHalfWidthAndIdeographicSpacesOnly) {
    EXPECT_EQ(Trim("  　第一回　 "), "第一回");
    EXPECT_EQ(TrimStart("　 a "), "a ");
    EXPECT_EQ(TrimEnd(" a　"), " a");
    EXPECT_EQ(Trim("\ta\t"), "\ta\t");
    EXPECT_EQ(Trim("　　"), "");
    // 啊 is B0 A1: its trail byte and a following ideographic space must not
    // be mistaken for one space.
    EXPECT_EQ(TrimEnd("啊　"), "啊");
    EXPECT_EQ(TrimEnd("啊"), "啊");
}

TEST(GbkText, HalfWidthConvertsFullWidthFormsAndKeepsEverythingElse) {
    EXPECT_EQ(ToHalfWidth("ＡＢｃ１２３！？（）　～＄"), "ABc123!?() ~$");
    EXPECT_EQ(ToHalfWidth("第１回，出山"), "第1回,出山");
    // Yen sign and macron of row A3 are not full-width ASCII forms.
    EXPECT_EQ(ToHalfWidth("￥￣"), "￥￣");
    EXPECT_EQ(ToHalfWidth("中文。、"), "中文。、");
    EXPECT_EQ(ToHalfWidth("abc"), "abc");
    EXPECT_EQ(ToHalfWidth("a\xA3"), "a\xA3");  // a cut character at the end stays
}

TEST(GbkText, CharLengthAtTellsWhereEachCharacterEnds) {
    struct Case {
        std::string text;
        std::size_t at, length;
    } cases[] = {
        {"a", 0, 1},
        {"第", 0, 2},
        {"\x81\x40", 0, 2},           // lowest trail byte
        {"\xFE\xFE", 0, 2},           // highest lead and trail byte
        {"\x81\x30\x81\x30", 0, 4},  // the first four-byte sequence
        {"\xFE\x39\xFE\x39", 0, 4},  // the last well-formed one
        {"\x95\x34\xB2\x35", 0, 4},  // U+20BB7
        {"\x81\x30\x81", 0, 1},      // cut off: a lone lead byte and a digit
        {"\x81\x30\x81\x29", 0, 1},  // the fourth byte is no digit
        {"\x81\x30\x30\x30", 0, 1},  // the third byte is no lead byte
        {"\x81\x30\xFF\x30", 0, 1},
        {"\x81\x7F", 0, 1},           // 7F and FF are never trail bytes
        {"\x81\xFF", 0, 1},
        {"\x81\x20", 0, 1},
        {"\xB0", 0, 1},                // a lead byte cut off at the end
        {"\x80", 0, 1},                // the euro sign
        {"\xFF", 0, 1},
        {"ab", 2, 0},                  // at the end
        {"ab", 5, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CharLengthAt(c.text, c.at), c.length) << testing::PrintToString(c.text);
    }
}

// Four-byte sequences whose third byte is A1 or A3 must never pass for an
// ideographic space or a full-width form, wherever they stand.
TEST(GbkText, FourByteSequencesAreNeverTrimmedOrMadeHalfWidth) {
    const std::string a1 = "\x81\x30\xA1\x31";  // third byte A1
    const std::string a3 = "\x81\x30\xA3\xB1";  // not four-byte: A3 B1 is full-width 1
    const std::string a3Four = "\x82\x35\xA3\x33";
    const std::string rare = "\x95\x34\xB2\x35";
    EXPECT_EQ(Trim("　" + rare + "　"), rare);
    EXPECT_EQ(Trim(" 　" + a1 + "　 "), a1);
    EXPECT_EQ(TrimEnd(a1 + "　"), a1);
    EXPECT_EQ(TrimStart("　" + a3Four), a3Four);
    EXPECT_EQ(Trim(a1 + "\xA1\xA1" + a1), a1 + "　" + a1);  // inside stays
    // A lone A1 after a character ending in A1 is no ideographic space.
    EXPECT_EQ(TrimEnd("啊\xA1"), "啊\xA1");
    EXPECT_EQ(TrimEnd(rare + "啊\xA1 "), rare + "啊\xA1");

    EXPECT_EQ(ToHalfWidth("Ａ" + a1 + "　" + a3Four + "１"), "A" + a1 + " " + a3Four + "1");
    EXPECT_EQ(ToHalfWidth(rare + "ＡＢ" + rare), rare + "AB" + rare);
    EXPECT_EQ(ToHalfWidth(a3), "\x81\x30" "1");  // a lone lead, a digit, then a real full-width 1
    EXPECT_EQ(ToHalfWidth("\x81\x30\xA3"), "\x81\x30\xA3");  // cut off at the end
}

TEST(GbkText, NumbersAndText) {
    EXPECT_EQ(NumberToText(std::int64_t{42}), "42");
    EXPECT_EQ(NumberToText(12.0), "12");
    EXPECT_EQ(NumberToText(-3.5), "-3.5");
    EXPECT_EQ(TextToNumber("  12abc"), 12);
    EXPECT_EQ(TextToNumber("-2.5"), -2.5);
    EXPECT_EQ(TextToNumber("abc"), 0);
    EXPECT_EQ(TextToNumber(""), 0);
    EXPECT_EQ(FixedDecimals(0.07, 2), "0.07");
    EXPECT_EQ(FixedDecimals(0.125, 2), "0.13");
    EXPECT_EQ(FixedDecimals(1234567.5, 0), "1234568");  // no digit grouping
    EXPECT_EQ(FixedDecimals(3, 3), "3.000");
}

}  // namespace
}  // namespace qx::runtime

namespace qx::runtime {
namespace {

TEST(TrimEndWalk, BlanksOfBothWidthsInAnyOrderAndNoDeepWalks) {
    EXPECT_EQ(TrimEnd("a \xA1\xA1"), "a");
    EXPECT_EQ(TrimEnd("a\xA1\xA1 \xA1\xA1"), "a");
    EXPECT_EQ(TrimEnd("<p>\xA1\xA1\xA1\xA1"), "<p>");
    EXPECT_EQ(TrimEnd("x\xB0\xA1\xA1"), "x\xB0\xA1\xA1");  // B0A1 and a lone A1: no space
    EXPECT_EQ(TrimEnd("\x95\x34\xB2\x35\xA1\xA1"), "\x95\x34\xB2\x35");
    std::string many;
    for (int i = 0; i < 200000; ++i) many += " \xA1\xA1";
    EXPECT_EQ(TrimEnd("z" + many), "z");  // one pass, no recursion
    EXPECT_EQ(TrimEnd(many), "");
}

}  // namespace
}  // namespace qx::runtime
