// Narrow literals here are GBK; u"" literals are UTF-16 and u8"" UTF-8.
#include "runtime/encoding_detect.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "runtime/encoding.h"

namespace qx::runtime {
namespace {

// The test novels: QX_CORPUS_DIR, else the corpus beside the repository.
std::string CorpusDir() {
    const char* dir = std::getenv("QX_CORPUS_DIR");
    const std::string path = dir && *dir ? dir : QX_SOURCE_DIR "/../shared/corpus";
    return std::ifstream(path + "/README.md") ? path : std::string();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Converted by ICU itself, so that the copies do not depend on the code under test.
std::string Recode(const char* to, const char* from, std::string_view bytes) {
    std::string out(bytes.size() * 2 + 16, '\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = ucnv_convert(to, from, out.data(), static_cast<int32_t>(out.size()), bytes.data(),
                                   static_cast<int32_t>(bytes.size()), &status);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    out.resize(U_SUCCESS(status) ? static_cast<std::size_t>(n) : 0);
    return out;
}

void ExpectGuess(const EncodingGuess& g, SourceEncoding encoding, const char* name, bool bom,
                 bool traditional) {
    EXPECT_EQ(g.encoding, encoding) << name;
    EXPECT_EQ(g.name, name);
    EXPECT_EQ(g.byteOrderMark, bom) << name;
    EXPECT_EQ(g.traditional, traditional) << name;
    EXPECT_FALSE(g.asciiOnly) << name;
}

struct Book {
    const char* file;
    const char* icuName;  // how ICU reads the original
    SourceEncoding encoding;
    const char* name;
    bool traditional;
};

const Book kBooks[] = {
    {"sanguo.gbk.txt", "windows-936-2000", SourceEncoding::Gbk, "GBK", false},
    {"shuihu.gbk.txt", "windows-936-2000", SourceEncoding::Gbk, "GBK", false},
    {"shuihu.trad.gbk.txt", "windows-936-2000", SourceEncoding::Gbk, "GBK", true},
    {"xiyouji.gbk.txt", "windows-936-2000", SourceEncoding::Gbk, "GBK", false},
    {"xiyouji.trad.big5.txt", "windows-950-2000", SourceEncoding::Big5, "BIG5", true},
    {"strict_separate_lines.gbk.txt", "windows-936-2000", SourceEncoding::Gbk, "GBK", false},
    {"strict_one_line.gbk.txt", "windows-936-2000", SourceEncoding::Gbk, "GBK", false},
};

class CorpusEncodings : public ::testing::TestWithParam<Book> {
protected:
    void SetUp() override {
        const std::string dir = CorpusDir();
        if (dir.empty()) GTEST_SKIP() << "test novels not found: set QX_CORPUS_DIR to the corpus directory";
        original = ReadFile(dir + "/" + GetParam().file);
        ASSERT_FALSE(original.empty()) << GetParam().file;
        utf16 = Recode("UTF-16LE", GetParam().icuName, original);
    }
    std::string original;
    std::string utf16;  // little-endian, no byte-order mark
};

INSTANTIATE_TEST_SUITE_P(Books, CorpusEncodings, ::testing::ValuesIn(kBooks), [](const auto& p) {
    std::string name = p.param.file;
    for (char& c : name) {
        if (c == '.') c = '_';
    }
    return name;
});

TEST_P(CorpusEncodings, OriginalIsDetected) {
    const Book& b = GetParam();
    ExpectGuess(DetectEncoding(original), b.encoding, b.name, false, b.traditional);
    // A sample cut in the middle of a line, at an odd byte.
    ExpectGuess(DetectEncoding(std::string_view(original).substr(0, 100001)), b.encoding, b.name, false,
                b.traditional);
}

TEST_P(CorpusEncodings, UnicodeCopiesAreDetectedWithAndWithoutByteOrderMark) {
    const bool trad = GetParam().traditional;
    const std::string utf8 = Recode("UTF-8", "UTF-16LE", utf16);
    const std::string be = Recode("UTF-16BE", "UTF-16LE", utf16);
    ExpectGuess(DetectEncoding(utf8), SourceEncoding::Utf8, "UTF-8", false, trad);
    ExpectGuess(DetectEncoding("\xEF\xBB\xBF" + utf8), SourceEncoding::Utf8, "UTF-8 (BOM)", true, trad);
    ExpectGuess(DetectEncoding(utf16), SourceEncoding::Utf16Le, "UTF-16LE", false, trad);
    ExpectGuess(DetectEncoding("\xFF\xFE" + utf16), SourceEncoding::Utf16Le, "UTF-16LE", true, trad);
    ExpectGuess(DetectEncoding(be), SourceEncoding::Utf16Be, "UTF-16BE", false, trad);
    ExpectGuess(DetectEncoding("\xFE\xFF" + be), SourceEncoding::Utf16Be, "UTF-16BE", true, trad);
    // Cut in the middle of a character.
    const std::string_view cutUtf8 = std::string_view(utf8).substr(0, 100000);
    const std::string_view cutBe = std::string_view(be).substr(0, 100001);
    ExpectGuess(DetectEncoding(cutUtf8), SourceEncoding::Utf8, "UTF-8", false, trad);
    ExpectGuess(DetectEncoding(cutBe), SourceEncoding::Utf16Be, "UTF-16BE", false, trad);
}

// The Unicode copies of a GBK book convert back to exactly its bytes.
TEST_P(CorpusEncodings, UnicodeCopiesConvertBackToTheGbkOriginal) {
    if (GetParam().encoding != SourceEncoding::Gbk) GTEST_SKIP() << "not a GBK book";
    const std::string utf8 = Recode("UTF-8", "UTF-16LE", utf16);
    EXPECT_TRUE(Utf8TextToGbk(utf8) == original);
    EXPECT_TRUE(Utf8TextToGbk("\xEF\xBB\xBF" + utf8) == original);
    EXPECT_TRUE(Utf16BeToGbk(Recode("UTF-16BE", "UTF-16LE", utf16)) == original);
    EXPECT_TRUE(Utf16LeToGbk(utf16) == original);
}

TEST(CorpusEncoding, TheUtf16BookIsDetectedAndReadsAsTheGbkOne) {
    const std::string dir = CorpusDir();
    if (dir.empty()) GTEST_SKIP() << "test novels not found: set QX_CORPUS_DIR to the corpus directory";
    const std::string utf16 = ReadFile(dir + "/sanguo.utf16le_bom.txt");
    ExpectGuess(DetectEncoding(utf16), SourceEncoding::Utf16Le, "UTF-16LE", true, false);
    EXPECT_TRUE(Utf16LeToGbk(utf16) == ReadFile(dir + "/sanguo.gbk.txt"));
}

TEST(CorpusEncoding, TraditionalUtf8SimplifiesLikeTraditionalGbk) {
    const std::string dir = CorpusDir();
    if (dir.empty()) GTEST_SKIP() << "test novels not found: set QX_CORPUS_DIR to the corpus directory";
    const std::string trad = ReadFile(dir + "/shuihu.trad.gbk.txt");
    const std::string utf8 = Recode("UTF-8", "windows-936-2000", trad);
    EXPECT_TRUE(ConvertToGbk(utf8, SourceEncoding::Utf8, true) ==
                ConvertChinese(trad, ChineseConversion::TraditionalGbkToSimplifiedGbk));
}

// One line of a novel, in each encoding.
TEST(DetectEncoding, OneLineOfChineseInEachEncoding) {
    const std::u16string simplified = u"第一回 宴桃园豪杰三结义　斩黄巾英雄首立功\r\n";
    const std::u16string traditional = u"第一回 宴桃園豪傑三結義　斬黃巾英雄首立功\r\n";
    const std::string le(reinterpret_cast<const char*>(simplified.data()), simplified.size() * 2);
    const std::string tle(reinterpret_cast<const char*>(traditional.data()), traditional.size() * 2);
    auto in = [](const char* encoding, const std::string& utf16) {
        return DetectEncoding(Recode(encoding, "UTF-16LE", utf16));
    };
    ExpectGuess(in("windows-936-2000", le), SourceEncoding::Gbk, "GBK", false, false);
    ExpectGuess(in("windows-936-2000", tle), SourceEncoding::Gbk, "GBK", false, true);
    ExpectGuess(in("windows-950-2000", tle), SourceEncoding::Big5, "BIG5", false, true);
    ExpectGuess(in("UTF-8", le), SourceEncoding::Utf8, "UTF-8", false, false);
    ExpectGuess(in("UTF-8", tle), SourceEncoding::Utf8, "UTF-8", false, true);
    ExpectGuess(in("UTF-16LE", le), SourceEncoding::Utf16Le, "UTF-16LE", false, false);
    ExpectGuess(in("UTF-16BE", le), SourceEncoding::Utf16Be, "UTF-16BE", false, false);
    // Without the line end, and with nothing but Chinese between: one zero byte.
    const std::string bare = Recode("UTF-16LE", "UTF-8", "\xE7\xAC\xAC\xE4\xB8\x80\xE5\x9B\x9E");  // 第一回
    ExpectGuess(DetectEncoding(bare + Recode("UTF-16LE", "windows-936-2000", "宴桃园豪杰三结义")),
                SourceEncoding::Utf16Le, "UTF-16LE", false, false);
}

TEST(DetectEncoding, AsciiEmptyAndAsciiInUtf16) {
    EncodingGuess g = DetectEncoding("Chapter 1\r\nIt was a dark night.\r\n");
    EXPECT_EQ(g.encoding, SourceEncoding::Gbk);
    EXPECT_EQ(g.name, "ASCII");
    EXPECT_TRUE(g.asciiOnly);
    g = DetectEncoding("");
    EXPECT_EQ(g.encoding, SourceEncoding::Gbk);
    EXPECT_TRUE(g.asciiOnly);
    EXPECT_FALSE(g.traditional);
    g = DetectEncoding(Recode("UTF-16LE", "UTF-8", "Chapter 1\r\nIt was a dark night.\r\n"));
    EXPECT_EQ(g.encoding, SourceEncoding::Utf16Le);
    EXPECT_TRUE(g.asciiOnly);
    g = DetectEncoding(Recode("UTF-16BE", "UTF-8", "Chapter 1\r\n"));
    EXPECT_EQ(g.encoding, SourceEncoding::Utf16Be);
    EXPECT_EQ(g.name, "UTF-16BE");
    g = DetectEncoding("\xEF\xBB\xBF" "abc");
    EXPECT_EQ(g.name, "UTF-8 (BOM)");
    EXPECT_TRUE(g.asciiOnly);
}

TEST(DetectEncoding, StrayZeroBytesDoNotMakeGbkUtf16) {
    std::string gbk;
    for (int i = 0; i < 50; ++i) gbk += "第" + std::to_string(i) + "回 宴桃园豪杰三结义，斩黄巾英雄首立功。\r\n";
    const std::string withPair = gbk.substr(0, 301) + std::string(2, '\0') + gbk.substr(301);
    ExpectGuess(DetectEncoding(withPair), SourceEncoding::Gbk, "GBK", false, false);
    // Two single zeros, both at odd offsets.
    std::string twoOdd = gbk;
    twoOdd[101] = '\0';
    twoOdd[503] = '\0';
    ExpectGuess(DetectEncoding(twoOdd), SourceEncoding::Gbk, "GBK", false, false);
    // A short line ending in a zero pair.
    ExpectGuess(DetectEncoding(std::string("第一回 宴桃园\0\0", 15)), SourceEncoding::Gbk, "GBK", false, false);
    // A block of zeros at the end, as a broken download leaves it.
    ExpectGuess(DetectEncoding(gbk + std::string(4096, '\0')), SourceEncoding::Gbk, "GBK", false, false);
}

TEST(DetectEncoding, StrayZeroBytesDoNotMakeUtf8Utf16) {
    std::string utf8;
    for (int i = 0; i < 50; ++i) {
        // 第N回 宴桃园 in UTF-8.
        utf8 += "\xE7\xAC\xAC" + std::to_string(i) + "\xE5\x9B\x9E \xE5\xAE\xB4\xE6\xA1\x83\xE5\x9B\xAD\r\n";
    }
    // Before the third and the tenth line: one, then two zeros.
    utf8.insert(utf8.find("\xE7\xAC\xAC" "3"), 1, '\0');
    utf8.insert(utf8.find("\xE7\xAC\xAC" "10"), 2, '\0');
    ExpectGuess(DetectEncoding(utf8), SourceEncoding::Utf8, "UTF-8", false, false);
}

TEST(DetectEncoding, FourByteSequencesMakeItGb18030) {
    // 吉, U+20BB7 and 祥 as the working text holds them.
    const std::string text = "第一回 吉\x95\x34\xB2\x35祥，宴桃园豪杰三结义\r\n";
    const EncodingGuess g = DetectEncoding(text);
    EXPECT_EQ(g.encoding, SourceEncoding::Gbk);
    EXPECT_EQ(g.name, "GB18030");
    EXPECT_EQ(DetectEncoding("第一回 \x81\x32\xCE\x39，宴桃园豪杰三结义\r\n").name, "GB18030");  // Thai
    // Well-formed, but standing for no character: a stray byte pattern.
    EXPECT_EQ(DetectEncoding("第一回 \x84\x31\xA5\x30，宴桃园豪杰三结义\r\n").name, "GBK");
}

// Whatever the bytes, an answer comes back, the same each time.
TEST(DetectEncoding, AnyBytesGiveAnAnswerAndTheSameOneTwice) {
    std::mt19937 random(20240611);
    std::vector<std::string> samples = {"\xEF", "\xEF\xBB", "\xFF", "\xFE", std::string(1, '\0'),
                                        std::string(7, '\0'), "\xE4\xB8", "\xC0\xAF", "\x81\x30\x81"};
    for (std::size_t length : {1u, 2u, 3u, 17u, 64u, 1000u, 65537u}) {
        for (int k = 0; k < (length > 1000 ? 4 : 20); ++k) {
            std::string s(length, '\0');
            for (char& c : s) c = static_cast<char>(random() & 0xFF);
            samples.push_back(s);
            // Mostly high bytes, as Chinese text has them.
            for (char& c : s) c = static_cast<char>(0x81 + random() % 0x7E);
            samples.push_back(s);
        }
    }
    for (const auto& s : samples) {
        const EncodingGuess first = DetectEncoding(s);
        const EncodingGuess second = DetectEncoding(s);
        EXPECT_EQ(first.encoding, second.encoding);
        EXPECT_EQ(first.name, second.name);
        EXPECT_EQ(first.traditional, second.traditional);
        EXPECT_FALSE(first.name.empty());
    }
}

}  // namespace
}  // namespace qx::runtime
