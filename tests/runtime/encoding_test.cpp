// Narrow literals here are GBK; u"" literals are UTF-16 and u8"" UTF-8.
#include "runtime/encoding.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <string>
#include <thread>
#include <vector>

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

std::string Utf16Be(std::u16string_view text) {
    std::string bytes;
    for (const char16_t c : text) {
        bytes.push_back(static_cast<char>(c >> 8));
        bytes.push_back(static_cast<char>(c & 0xFF));
    }
    return bytes;
}

std::string Utf8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

// "9534B235" -> the four bytes; keeps expected GB18030 sequences readable.
std::string Hex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

std::string Utf8Of(UChar32 c) {
    char buffer[4];
    int32_t n = 0;
    UBool error = false;
    U8_APPEND(buffer, n, 4, c, error);
    if (error) return {};
    return std::string(buffer, static_cast<std::size_t>(n));
}

// Both UTF-16 byte orders go through the same rules.
struct Utf16Case {
    const char* name;
    std::string (*encode)(std::u16string_view);
    std::string (*convert)(std::string_view);
};

class Utf16ToGbk : public ::testing::TestWithParam<Utf16Case> {
protected:
    std::string Convert(std::u16string_view text) const {
        return GetParam().convert(GetParam().encode(text));
    }
};

INSTANTIATE_TEST_SUITE_P(ByteOrders, Utf16ToGbk,
                         ::testing::Values(Utf16Case{"LittleEndian", Utf16Le, Utf16LeToGbk},
                                           Utf16Case{"BigEndian", Utf16Be, Utf16BeToGbk}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_P(Utf16ToGbk, GivesTheBytesOfCodePage936) {
    EXPECT_EQ(Convert(u"第一回 宴桃园\r\n"), "第一回 宴桃园\r\n");
    EXPECT_EQ(Convert(u"\u20AC"), "\x80");        // the euro sign of code page 936
    EXPECT_EQ(Convert(u"\uFF04\u3000"), "＄　");  // full-width forms stay full-width
}

TEST_P(Utf16ToGbk, CharactersGbkLacksKeepTheirFourByteSequences) {
    EXPECT_EQ(Convert(u"a\u0E01b"), "a" + Hex("8132CE39") + "b");          // Thai
    EXPECT_EQ(Convert(u"x\U0001F600y"), "x" + Hex("9439FC36") + "y");      // a pair is one character
    EXPECT_EQ(Convert(u"吉\U00020BB7祥"), "吉" + Hex("9534B235") + "祥");  // a rare ideograph
    EXPECT_EQ(Convert(u"\U0010FFFF"), Hex("E3329A35"));                    // the last code point
}

TEST_P(Utf16ToGbk, LoneSurrogatesBecomeTheReplacementCharacter) {
    const std::string replacement = Hex("8431A437");
    EXPECT_EQ(Convert(u"\xD800z"), replacement + "z");
    EXPECT_EQ(Convert(u"a\xDC00"), "a" + replacement);
    EXPECT_EQ(Convert(u"\xDC00\xD800"), replacement + replacement);  // the wrong way round
    EXPECT_EQ(Convert(u"\xD800"), replacement);                      // cut off at the end
}

TEST_P(Utf16ToGbk, EndsAtTheFirstNulAndDropsByteOrderMarks) {
    EXPECT_EQ(Convert(std::u16string(u"ab\0cd", 5)), "ab");
    EXPECT_EQ(Convert(u"\uFEFF书"), "书");
    EXPECT_EQ(Convert(u"第一\uFEFF回"), "第一回");  // left where two files were joined
    // A trailing odd byte is no character.
    EXPECT_EQ(GetParam().convert(GetParam().encode(u"a") + "\x62"), "a");
    EXPECT_EQ(GetParam().convert(""), "");
}

TEST_P(Utf16ToGbk, LongTextKeepsItsOrderAndItsPairsAcrossPieces) {
    // Pieces end at line feeds; long lines and surrogate pairs on both sides
    // of every line end must come through whole and in order.
    std::u16string text;
    std::string expected;
    for (int i = 0; i < 60000; ++i) {
        const bool lineEnd = i % 7 == 0;
        text += u"\U00020BB7一二三四" + std::u16string(1, static_cast<char16_t>(u'0' + i % 10)) +
                (lineEnd ? u"\n" : u"") + u"\U0001F600";
        expected += Hex("9534B235") + "一二三四" + std::to_string(i % 10) + (lineEnd ? "\n" : "");
        expected += Hex("9439FC36");
    }
    EXPECT_EQ(Convert(text), expected);
}

// What the working text holds for each kind of character, on every path in.
TEST(IntoWorkingText, CharactersCodePage936OnlyApproximatesAreKeptExactly) {
    EXPECT_EQ(Utf8ToGbk(Utf8(u8"\u00A2")), Hex("81308434"));  // not the full-width cent sign A1E9
    EXPECT_EQ(Utf8ToGbk(Utf8(u8"\uF900")), Hex("84308131"));  // not the unified ideograph D8 4D
    EXPECT_EQ(Utf8ToGbk(Utf8(u8"\u00C4")), Hex("81308732"));  // not a plain A
    EXPECT_EQ(Utf8ToGbk(Utf8(u8"\u00E9\u00B7\u2014")), "\xA8\xA6\xA1\xA4\xA1\xAA");  // these GBK has
    // Invisible characters are characters too; only the byte-order mark goes.
    EXPECT_EQ(Utf8ToGbk(Utf8(u8"a\u200Bb\u00ADc\uFEFFd")),
              "a" + Hex("8136A437") + "b" + Hex("81308532") + "cd");
}

TEST(IntoWorkingText, NoBreakSpaceBecomesAPlainSpace) {
    EXPECT_EQ(Utf8ToGbk(Utf8(u8"\u00A0\u00A0第一回")), "  第一回");
    EXPECT_EQ(Utf16LeToGbk(Utf16Le(u"\u00A0x")), " x");
    EXPECT_EQ(Utf8TextToGbk(Utf8(u8"\u00A0x")), " x");
}

TEST(IntoWorkingText, CharactersThatGb18030GivesTwoBytesKeepThem) {
    // GB18030 has no four-byte form for these; its double-byte code is what a
    // GB18030 reader shows, while code page 936 reads it as private use.
    EXPECT_EQ(Utf8ToGbk(Utf8(u8"\u1E3F")), "\xA8\xBC");
    EXPECT_EQ(GbkToUtf8("\xA8\xBC"), Utf8(u8"\uE7C7"));
}

// Every character code page 936 holds exactly keeps its bytes; every other
// character comes back from GbkToUtf8 as it went in.
TEST(IntoWorkingText, EveryCodePointKeepsItsGbkBytesOrRoundTrips) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter* cp936 = ucnv_open("windows-936-2000", &status);
    ASSERT_TRUE(U_SUCCESS(status));
    ucnv_setFallback(cp936, false);
    ucnv_setFromUCallBack(cp936, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    std::vector<UChar32> notBack;
    int gbkCharacters = 0;
    for (UChar32 c = 1; c <= 0x10FFFF; c += c < 0x10000 ? 1 : 61) {
        if (U_IS_SURROGATE(c) || c == 0xA0 || c == 0xFEFF) continue;
        const std::string utf8 = Utf8Of(c);
        const std::string gbk = Utf8ToGbk(utf8);
        UChar units[2];
        int32_t length = 0;
        UBool error = false;
        U16_APPEND(units, length, 2, c, error);
        ASSERT_FALSE(error);
        char expected[8];
        status = U_ZERO_ERROR;
        ucnv_resetFromUnicode(cp936);
        const int32_t n = ucnv_fromUChars(cp936, expected, sizeof expected, units, length, &status);
        if (U_SUCCESS(status) && n > 0) {
            ++gbkCharacters;
            ASSERT_EQ(gbk, std::string(expected, static_cast<std::size_t>(n))) << std::hex << "U+" << c;
        } else {
            ASSERT_TRUE(gbk.size() == 4 || gbk.size() == 2) << std::hex << "U+" << c;
        }
        if (GbkToUtf8(gbk) != utf8) notBack.push_back(c);
    }
    ucnv_close(cp936);
    EXPECT_GT(gbkCharacters, 21000);
    // Only the few whose GB18030 double-byte code reads as private use here.
    EXPECT_LT(notBack.size(), 100u);
    for (const UChar32 c : notBack) {
        const std::string back = GbkToUtf8(Utf8ToGbk(Utf8Of(c)));
        UChar32 read = 0;
        int32_t at = 0;
        U8_NEXT_UNSAFE(back.data(), at, read);
        EXPECT_TRUE(read >= 0xE000 && read <= 0xF8FF) << std::hex << "U+" << c;
    }
}

TEST(IntoWorkingText, GbkToUtf8ReadsFourByteSequencesAndMarksBadBytes) {
    EXPECT_EQ(GbkToUtf8("吉" + Hex("9534B235") + "祥"), Utf8(u8"吉\U00020BB7祥"));
    EXPECT_EQ(GbkToUtf8(Hex("8132CE39") + Hex("9439FC36") + "a\x80"), Utf8(u8"\u0E01\U0001F600a\u20AC"));
    EXPECT_EQ(GbkToUtf8(Hex("8431A530")), Utf8(u8"\uFFFD"));  // well-formed, but beyond the BMP table
    EXPECT_EQ(GbkToUtf8(Hex("FE39FE39")), Utf8(u8"\uFFFD"));  // beyond Unicode
    // A cut sequence is a lone lead byte and a digit and ...
    EXPECT_EQ(GbkToUtf8(Hex("813081")), Utf8(u8"\uFFFD0\uFFFD"));
    EXPECT_EQ(GbkToUtf16("吉" + Hex("9534B235") + Hex("813081")), u"吉\U00020BB7\uFFFD0\uFFFD");
    // ... B0 81 is a double-byte character, so no four-byte sequence follows it.
    EXPECT_EQ(GbkToUtf8("\xB0" + Hex("81308131")), GbkToUtf8("\xB0\x81") + Utf8(u8"0\uFFFD1"));
}

// A text longer than a piece reads as its parts read alone, wherever the
// pieces fall: inside a double-byte or four-byte character, after a lead
// byte without its trail, after a byte of its own above 7F.
TEST(IntoWorkingText, GbkToUtf8OfALongTextEqualsItsPartsReadAlone) {
    const std::vector<std::string> parts = {"吉" + Hex("9534B235") + "祥", "a\x81 b", Hex("813081"), "\x80\xFF",
                                            "第一章 陨落", "\xB0" + Hex("81308131"), "\x81"};
    std::string whole, expected;
    for (int round = 0; whole.size() < (std::size_t{1} << 19); ++round) {
        for (std::size_t i = 0; i < parts.size(); ++i) {
            // Runs of ASCII of changing lengths move the pieces' ends across every part.
            const std::string part =
                std::string(static_cast<std::size_t>(round % 7), 'x') + parts[(i + round) % parts.size()] + "\n";
            whole += part;
            expected += GbkToUtf8(part);
        }
    }
    EXPECT_EQ(GbkToUtf8(whole), expected);
    // A lead byte without its trail in every other byte.
    std::string leads, marks;
    for (int i = 0; i < 100000; ++i) {
        leads += "\x81 ";
        marks += Utf8(u8"\uFFFD ");
    }
    EXPECT_EQ(GbkToUtf8(leads), marks);
}

TEST(EdgeConversion, GbkAndUtf8RoundTripAndBadBytesAreMarked) {
    EXPECT_EQ(GbkToUtf8("西游记 abc"), Utf8(u8"西游记 abc"));
    EXPECT_EQ(Utf8ToGbk(Utf8(u8"西游记 abc")), "西游记 abc");
    EXPECT_EQ(GbkToUtf8("a\x81 b"), Utf8(u8"a\uFFFD b"));  // a lead byte without its trail
    EXPECT_EQ(GbkToUtf8("\xB0"), Utf8(u8"\uFFFD"));        // a lead byte cut off at the end
    EXPECT_EQ(Utf8ToGbk(Utf8(u8"\U00020BB7")), Hex("9534B235"));
    const std::string rare = Utf8(u8"\U00020BB7野家 \U0001F600");
    EXPECT_EQ(GbkToUtf8(Utf8ToGbk(rare)), rare);
    EXPECT_EQ(Utf8ToGbk(std::string("a\0b", 3)), std::string("a\0b", 3));  // edge texts keep NUL
    EXPECT_EQ(Utf8ToGbk("a\xFF"), "a" + Hex("8431A437"));
}

TEST(Utf8Book, BecomesGbkWithoutItsByteOrderMark) {
    EXPECT_EQ(Utf8TextToGbk(Utf8(u8"\uFEFF第一回 宴桃园\r\n")), "第一回 宴桃园\r\n");
    EXPECT_EQ(Utf8TextToGbk(Utf8(u8"吉\U00020BB7\u20AC")), "吉" + Hex("9534B235") + "\x80");
    EXPECT_EQ(Utf8TextToGbk(""), "");
    EXPECT_EQ(Utf8TextToGbk("\xEF\xBB\xBF"), "");
    EXPECT_EQ(Utf8TextToGbk(std::string("ab\0cd", 5)), "ab");  // a book ends at its first NUL
}

// Each maximal piece of a broken sequence is one replacement character, as
// the Unicode standard recommends.
TEST(Utf8Book, InvalidBytesBecomeReplacementCharacters) {
    const std::string r = Hex("8431A437");
    struct Case {
        std::string in, out;
    } cases[] = {
        {"a\xFF" "b", "a" + r + "b"},                  // never in UTF-8
        {"a\xE4\xB8" "b", "a" + r + "b"},              // a cut three-byte sequence
        {"\xE4\xB8\n\xE4\xB8\xAD", r + "\n中"},        // cut before a line feed
        {"\xED\xA0\x80", r + r + r},                   // an encoded surrogate
        {"\xC0\xAF", r + r},                           // an overlong form
        {"\xF4\x90\x80\x80", r + r + r + r},           // beyond U+10FFFF
        {"x\xE4\xB8", "x" + r},                        // cut at the very end
        {"\x80\x80", r + r},                           // stray continuation bytes
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8TextToGbk(c.in), c.out) << c.in;
}

TEST(Utf8Book, LargeBookComesBackWholeFromBothCores) {
    // The narrow literals are GBK, so the UTF-8 lines are made of UTF-8 parts.
    std::string utf8;
    std::string expected;
    for (int i = 0; i < 150000; ++i) {
        utf8 += Utf8(u8"第") + std::to_string(i) + Utf8(u8"回 宴桃园豪杰三结义𠮷 é\r\n");
        expected += "第" + std::to_string(i) + "回 宴桃园豪杰三结义" + Hex("9534B235") + " \xA8\xA6\r\n";
    }
    ASSERT_GT(utf8.size(), 4u << 20);
    EXPECT_EQ(Utf8TextToGbk(utf8), expected);
}

// Without line feeds the pieces for the cores end at carriage returns or
// between two characters, never inside one.
TEST(ConvertToGbk, BooksWithoutLineFeedsAreCutBetweenCharacters) {
    const std::u16string unit = u"\U00020BB7東說\U0001F600a";
    const std::string gbkUnit = Hex("9534B235") + "東說" + Hex("9439FC36") + "a";
    const std::string simplifiedUnit = Hex("9534B235") + "东说" + Hex("9439FC36") + "a";
    std::u16string text;
    std::string plain, simplified;
    for (int i = 0; i < 90000; ++i) {  // 1.3 MB of UTF-8; 15 bytes a unit, so the cuts land everywhere
        text += unit;
        plain += gbkUnit;
        simplified += simplifiedUnit;
    }
    const std::string utf8 = GbkToUtf8(plain);
    ASSERT_EQ(Utf8ToGbk(utf8), plain);
    EXPECT_TRUE(Utf8TextToGbk(utf8) == plain);
    EXPECT_TRUE(Utf16LeToGbk(Utf16Le(text)) == plain);
    EXPECT_TRUE(Utf16BeToGbk(Utf16Be(text)) == plain);
    EXPECT_TRUE(ConvertToGbk(utf8, SourceEncoding::Utf8, true) == simplified);
    EXPECT_TRUE(ConvertToGbk(plain, SourceEncoding::Gbk, true) == simplified);
    // Line ends of old Macintosh files: the phrases around them convert as
    // the converter alone converts them.
    std::string mac;
    for (int i = 0; i < 30000; ++i) mac += "頭髮與發展，乾燥的乾坤，後來的皇后。\r";
    EXPECT_TRUE(ConvertToGbk(mac, SourceEncoding::Gbk, true) ==
                ConvertToGbk(mac, SourceEncoding::Gbk, true, SimplifyWith::ConverterOnly));
}

TEST(ConvertToGbk, GbkWithoutSimplificationIsReturnedAsItIs) {
    const std::string bytes("第一回\0\xFF\x81", 9);
    EXPECT_EQ(ConvertToGbk(bytes, SourceEncoding::Gbk, false), bytes);
}

TEST(ConvertToGbk, Big5WithoutSimplificationKeepsTraditionalCharacters) {
    // 中華民國 and 說話 in BIG5.
    const std::string big5 = "\xA4\xA4\xB5\xD8\xA5\xC1\xB0\xEA\r\n\xBB\xA1\xB8\xDC";
    EXPECT_EQ(ConvertToGbk(big5, SourceEncoding::Big5, false), "中華民國\r\n說話");
}

TEST(ConvertToGbk, EveryEncodingSimplifiesTheSameWay) {
    const std::u16string text = u"\uFEFF東西南北，說話。\U00020BB7頭髮\r\n";
    const std::string expected = "东西南北，说话。" + Hex("9534B235") + "头发\r\n";
    std::u8string u8text;
    for (std::size_t i = 0; i < text.size();) {
        UChar32 c = 0;
        U16_NEXT(text.data(), i, text.size(), c);
        for (const char b : Utf8Of(c)) u8text.push_back(static_cast<char8_t>(b));
    }
    EXPECT_EQ(ConvertToGbk(Utf8(u8text), SourceEncoding::Utf8, true), expected);
    EXPECT_EQ(ConvertToGbk(Utf16Le(text), SourceEncoding::Utf16Le, true), expected);
    EXPECT_EQ(ConvertToGbk(Utf16Be(text), SourceEncoding::Utf16Be, true), expected);
    // Traditional GBK holding a four-byte sequence: it is read as one character.
    EXPECT_EQ(ConvertToGbk("東西南北，說話。" + Hex("9534B235") + "頭髮\r\n", SourceEncoding::Gbk, true), expected);
}

TEST(ConvertToGbk, InvalidUtf8IsMarkedBeforeSimplifying) {
    EXPECT_EQ(ConvertToGbk("\xE6\x9D\xB1\xFF\xE8\xAA", SourceEncoding::Utf8, true),
              "东" + Hex("8431A437") + Hex("8431A437"));
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
    const std::string utf8 = GbkToUtf8(text);
    EXPECT_EQ(ConvertToGbk(utf8, SourceEncoding::Utf8, true),
              ConvertToGbk(utf8, SourceEncoding::Utf8, true, SimplifyWith::ConverterOnly));
}

// What one conversion learns of single characters serves the next, on any
// thread: conversions running at once on different texts each give exactly
// what the converter gives, and so do they all again once the table is warm.
TEST(ChineseConversion, ConversionsAtOnceOnSeveralThreadsAgreeWithTheConverter) {
    const std::vector<std::string> pieces = {"東西南北說話鐘錶", "乾燥後來著名雲彩", "於是乎裡面餘下頭髮",
                                             "妳們這些人了解瞭解", "圖書館裏的舊書與報紙"};
    std::vector<std::string> texts, expected;
    for (std::size_t t = 0; t < 4; ++t) {
        std::string text;
        for (int i = 0; i < 300; ++i) text += Utf8ToGbk(pieces[(t + static_cast<std::size_t>(i)) % pieces.size()]) + "\r\n";
        expected.push_back(
            ConvertChinese(text, ChineseConversion::TraditionalGbkToSimplifiedGbk, SimplifyWith::ConverterOnly));
        texts.push_back(std::move(text));
    }
    for (int round = 0; round < 2; ++round) {
        std::vector<std::string> got(texts.size());
        std::vector<std::thread> threads;
        for (std::size_t t = 0; t < texts.size(); ++t) {
            threads.emplace_back([&, t] {
                got[t] = ConvertChinese(texts[t], ChineseConversion::TraditionalGbkToSimplifiedGbk);
            });
        }
        for (auto& th : threads) th.join();
        for (std::size_t t = 0; t < texts.size(); ++t) EXPECT_EQ(got[t], expected[t]) << "round " << round << ", text " << t;
    }
}

}  // namespace
}  // namespace qx::runtime
