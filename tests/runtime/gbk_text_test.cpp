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
