// Narrow literals here are GBK; u"" literals are UTF-16 and u8"" UTF-8.
#include "runtime/encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace qx::runtime {
namespace {

std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    for (const char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

TEST(Utf16ToGbk, GivesTheBytesOfCodePage936) {
    EXPECT_EQ(Utf16LeToGbk(Utf16Le(u"第一回 宴桃园\r\n")), "第一回 宴桃园\r\n");
    EXPECT_EQ(Utf16LeToGbk(Utf16Le(u"\u20AC")), "\x80");        // the euro sign of code page 936
    EXPECT_EQ(Utf16LeToGbk(Utf16Le(u"\uFF04\u3000")), "＄　");  // full-width forms stay full-width
}

TEST(Utf16ToGbk, UnmappableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(Utf16LeToGbk(Utf16Le(u"a\u0E01b")), "a?b");      // Thai has no GBK form
    EXPECT_EQ(Utf16LeToGbk(Utf16Le(u"x\U0001F600y")), "x??y");  // one per surrogate half
    EXPECT_EQ(Utf16LeToGbk(Utf16Le(u"\xD800z")), "?z");         // a lone surrogate
}

TEST(Utf16ToGbk, EndsAtTheFirstNulAndDropsALeadingByteOrderMark) {
    EXPECT_EQ(Utf16LeToGbk(Utf16Le(std::u16string(u"ab\0cd", 5))), "ab");
    EXPECT_EQ(Utf16LeToGbk(Utf16Le(u"\uFEFF书")), "书");
    EXPECT_EQ(Utf16LeToGbk(Utf16Le(u"a") + "\x62"), "a");  // a trailing odd byte is no character
    EXPECT_EQ(Utf16LeToGbk(""), "");
}

TEST(Utf16ToGbk, LongTextKeepsItsOrderAcrossInternalChunks) {
    std::u16string text;
    for (int i = 0; i < 300000; ++i) text += u"一二三四";
    const std::string gbk = Utf16LeToGbk(Utf16Le(text));
    ASSERT_EQ(gbk.size(), text.size() * 2);
    EXPECT_EQ(gbk.substr(gbk.size() - 8), "一二三四");
}

TEST(ChineseConversion, Big5BecomesSimplifiedGbk) {
    // 中華民國 and 說話 in BIG5.
    const std::string big5 = "\xA4\xA4\xB5\xD8\xA5\xC1\xB0\xEA\r\n\xBB\xA1\xB8\xDC";
    EXPECT_EQ(ConvertChinese(big5, ChineseConversion::Big5ToSimplifiedGbk), "中华民国\r\n说话");
}

TEST(ChineseConversion, TraditionalGbkBecomesSimplifiedGbk) {
    EXPECT_EQ(ConvertChinese("東西南北，說話。", ChineseConversion::TraditionalGbkToSimplifiedGbk),
              "东西南北，说话。");
    EXPECT_EQ(ConvertChinese("abc\r\n", ChineseConversion::TraditionalGbkToSimplifiedGbk), "abc\r\n");
}

TEST(ChineseConversion, TextEndsAtItsFirstNulByte) {
    EXPECT_EQ(ConvertChinese(std::string("東\0西", 5), ChineseConversion::TraditionalGbkToSimplifiedGbk), "东");
}

TEST(ChineseConversion, ManyPiecesComeBackInOrder) {
    std::string text;
    for (int i = 0; i < 200000; ++i) text += "第" + std::to_string(i) + "回 東\r\n";
    const std::string out = ConvertChinese(text, ChineseConversion::TraditionalGbkToSimplifiedGbk);
    std::string expected;
    for (int i = 0; i < 200000; ++i) expected += "第" + std::to_string(i) + "回 东\r\n";
    EXPECT_EQ(out, expected);
}

// The fast path must give exactly what the converter gives, phrases and all.
TEST(ChineseConversion, FastPathMatchesTheConverterByteForByte) {
    const std::string samples =
        "東西南北，說話。頭髮與發展，乾燥的乾坤，後來的皇后，一隻隻，著名的著作。\r\n"
        "abc 123 ＡＢＣ 了解瞭解 裡面 理髮店 鐘錶 鍾情 餘下 多餘 雲彩 云云\r\n"
        "\xA1\xA1\xA1\xA1他說：「妳們這些人」，於是乎，於戲。\r\n";
    std::string text;
    for (int i = 0; i < 200; ++i) text += samples;
    EXPECT_EQ(ConvertChinese(text, ChineseConversion::TraditionalGbkToSimplifiedGbk),
              ConvertChinese(text, ChineseConversion::TraditionalGbkToSimplifiedGbk, SimplifyWith::ConverterOnly));
}

TEST(EdgeConversion, GbkAndUtf8RoundTripAndBadBytesAreMarked) {
    EXPECT_EQ(GbkToUtf8("西游记 abc"), Utf8(u8"西游记 abc"));
    EXPECT_EQ(Utf8ToGbk(Utf8(u8"西游记 abc")), "西游记 abc");
    EXPECT_EQ(GbkToUtf8("a\x81 b"), Utf8(u8"a\uFFFD b"));  // a lead byte without its trail
    EXPECT_EQ(GbkToUtf8("\xB0"), Utf8(u8"\uFFFD"));  // a lead byte cut off at the end
    EXPECT_EQ(Utf8ToGbk(Utf8(u8"\u0E01")), "?");
}

}  // namespace
}  // namespace qx::runtime
