// The test novels, read as a user reads them. Skipped when the corpus is not there.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "headings/chinese_number.h"
#include "runtime/encoding.h"
#include "runtime/files.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "text/next_step.h"

namespace qx::text {
namespace {

using runtime::Answer;

class Corpus : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::CorpusDir();
        if (dir.empty()) GTEST_SKIP() << "test novels not found: set QX_CORPUS_DIR to the corpus directory";
    }
    Book Load(const std::string& name, LayoutMode mode, void (*choose)(FilePage&) = nullptr,
              std::vector<Answer> answers = {}) {
        FilePage page;
        page.inputPath = (dir / name).string();
        page.title = "T";
        page.author = "A";
        page.mode = mode;
        if (choose) choose(page);
        test::ScriptedUi ui;
        ui.answers.assign(answers.begin(), answers.end());
        Book book;
        EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Loaded);
        EXPECT_FALSE(ui.unexpectedQuestion);
        return book;
    }
    static std::vector<std::string> ExpectedLabels() {
        std::vector<std::string> labels;
        for (int v = 1; v <= 10; ++v) {
            for (int c = 1; c <= 10; ++c) {
                labels.push_back((v < 10 ? "0" : "") + std::to_string(v) + "_" + (c < 10 ? "0" : "") + std::to_string(c));
            }
        }
        return labels;
    }
    static int VolumeNodes(const Book& book) {
        int n = 0;
        for (const auto& node : book.index.tree.Nodes()) n += node.parent < 0 ? 1 : 0;
        return n;
    }

    std::filesystem::path dir;
};

TEST_F(Corpus, SeparateLinesBookHasTenVolumesOfTenChapters) {
    const Book book = Load("strict_separate_lines.gbk.txt", LayoutMode::SeparateLines);
    EXPECT_EQ(VolumeNodes(book), 10);
    EXPECT_EQ(book.index.ChapterCount(), 100);
    EXPECT_EQ(book.index.labels, ExpectedLabels());
}

TEST_F(Corpus, OneLineBookGivesTheSameStructureAfterAnalysis) {
    const Book book = Load("strict_one_line.gbk.txt", LayoutMode::OneLine);
    EXPECT_EQ(VolumeNodes(book), 10);
    EXPECT_EQ(book.index.ChapterCount(), 100);
    EXPECT_EQ(book.index.labels, ExpectedLabels());
}

TEST_F(Corpus, Utf16BookConvertsAndLoadsLikeItsGbkTwin) {
    const Book gbk = Load("sanguo.gbk.txt", LayoutMode::SeparateLines);
    const Book utf16 = Load("sanguo.utf16le_bom.txt", LayoutMode::SeparateLines, nullptr, {Answer::Yes});
    EXPECT_TRUE(gbk.workingText.Bytes() == utf16.workingText.Bytes());
    EXPECT_EQ(gbk.index.titles, utf16.index.titles);
    EXPECT_EQ(gbk.index.ChapterStart, utf16.index.ChapterStart);
    EXPECT_EQ(gbk.index.labels, utf16.index.labels);
    EXPECT_GT(gbk.index.ChapterCount(), 100);
}

// Share of characters that differ, comparing line by line.
double DifferingShare(std::string_view gbkA, std::string_view gbkB) {
    auto chars = [](std::string_view gbk) {
        std::vector<std::u32string> lines(1);
        const std::string utf8 = runtime::GbkToUtf8(gbk);
        for (std::size_t i = 0; i < utf8.size();) {
            const auto c = static_cast<unsigned char>(utf8[i]);
            const std::size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            char32_t cp = n == 1 ? c : (c & (0x7F >> n));
            for (std::size_t k = 1; k < n && i + k < utf8.size(); ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
            i += n;
            if (cp == U'\n') {
                lines.emplace_back();
            } else {
                lines.back().push_back(cp);
            }
        }
        return lines;
    };
    const auto a = chars(gbkA);
    const auto b = chars(gbkB);
    std::size_t total = 0, differing = 0;
    for (std::size_t l = 0; l < std::max(a.size(), b.size()); ++l) {
        const std::u32string& x = l < a.size() ? a[l] : U"";
        const std::u32string& y = l < b.size() ? b[l] : U"";
        total += std::max(x.size(), y.size());
        for (std::size_t i = 0; i < std::max(x.size(), y.size()); ++i) {
            if (i >= x.size() || i >= y.size() || x[i] != y[i]) ++differing;
        }
    }
    return total ? static_cast<double>(differing) / static_cast<double>(total) : 0;
}

TEST_F(Corpus, Big5BookConvertsToSimplifiedGbk) {
    const Book converted = Load("xiyouji.trad.big5.txt", LayoutMode::SeparateLines,
                                [](FilePage& p) { p.convert = p.fromBig5 = true; });
    const auto original = runtime::ReadWholeFile(dir / "xiyouji.gbk.txt");
    ASSERT_TRUE(original);
    const double share = DifferingShare(converted.workingText.Bytes(), *original);
    std::cout << "BIG5 -> simplified GBK: " << share * 100 << "% of characters differ from xiyouji.gbk.txt\n";
    RecordProperty("differing_percent", std::to_string(share * 100));
    EXPECT_LT(share, 0.01);
}

TEST_F(Corpus, TraditionalGbkBookConvertsToSimplifiedGbk) {
    const Book converted = Load("shuihu.trad.gbk.txt", LayoutMode::SeparateLines,
                                [](FilePage& p) { p.convert = p.fromTraditionalGbk = true; });
    const auto original = runtime::ReadWholeFile(dir / "shuihu.gbk.txt");
    ASSERT_TRUE(original);
    const double share = DifferingShare(converted.workingText.Bytes(), *original);
    std::cout << "traditional GBK -> simplified GBK: " << share * 100
              << "% of characters differ from shuihu.gbk.txt\n";
    RecordProperty("differing_percent", std::to_string(share * 100));
    EXPECT_LT(share, 0.01);
}

TEST_F(Corpus, FastSimplificationMatchesTheConverterOnWholeNovels) {
    for (const auto& [name, mode] : {std::pair{"xiyouji.trad.big5.txt", runtime::ChineseConversion::Big5ToSimplifiedGbk},
                                     std::pair{"shuihu.trad.gbk.txt",
                                               runtime::ChineseConversion::TraditionalGbkToSimplifiedGbk}}) {
        const auto raw = runtime::ReadWholeFile(dir / name);
        ASSERT_TRUE(raw) << name;
        const std::string fast = runtime::ConvertChinese(*raw, mode);
        const std::string reference = runtime::ConvertChinese(*raw, mode, runtime::SimplifyWith::ConverterOnly);
        EXPECT_EQ(fast.size(), reference.size()) << name;
        EXPECT_TRUE(fast == reference) << name << " differs from the converter's own result";
    }
}

// Downloaded the way people get them: headings found by the rules,
// encodings found by the program.
class CorpusByHeadings : public Corpus {
protected:
    Book Auto(const std::filesystem::path& path, test::ScriptedUi& ui) {
        FilePage page;
        page.inputPath = path.string();
        page.title = "T";
        page.author = "A";
        page.detectEncoding = true;
        page.chooseMode = true;
        Book book;
        EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Loaded) << path;
        EXPECT_FALSE(ui.unexpectedQuestion) << path;
        return book;
    }
    static void ExpectSameBook(const Book& a, const Book& b, const std::string& what) {
        EXPECT_TRUE(a.workingText.Bytes() == b.workingText.Bytes()) << what;
        EXPECT_EQ(a.index.titles, b.index.titles) << what;
        EXPECT_EQ(a.index.labels, b.index.labels) << what;
        EXPECT_EQ(a.index.volumeNumbers, b.index.volumeNumbers) << what;
        EXPECT_EQ(a.index.ChapterStart, b.index.ChapterStart) << what;
        EXPECT_EQ(a.index.ChapterEnd, b.index.ChapterEnd) << what;
        EXPECT_EQ(a.index.tree.Count(), b.index.tree.Count()) << what;
        EXPECT_EQ(a.mode, b.mode) << what;
    }
};

TEST_F(CorpusByHeadings, ClassicsGiveTheirChaptersWithTheRightTitles) {
    const struct {
        const char* file;
        int chapters;
        const char* first;  // the first chapter's title, when it is no 第N回
    } books[] = {{"xiyouji.gbk.txt", 100, nullptr}, {"sanguo.gbk.txt", 120, nullptr}, {"shuihu.gbk.txt", 121, "楔子"}};
    for (const auto& b : books) {
        const Book book = Load(b.file, LayoutMode::Headings);
        const auto& titles = book.index.titles;
        ASSERT_EQ(book.index.ChapterCount(), b.chapters) << b.file;
        EXPECT_TRUE(book.index.warnings.empty()) << b.file << ": " << book.index.warnings.size() << " warnings";
        const int offset = b.first ? 1 : 0;
        if (b.first) {
            EXPECT_EQ(titles[0].substr(0, std::string(b.first).size()), b.first) << b.file;
        }
        // 第N回 and its title, numbered one after the other (the books write
        // 第一百一回 and 第一百十回 for 101 and 110).
        const std::string di = "第", hui = "回";
        for (int k = offset; k < b.chapters; ++k) {
            const std::string& title = titles[static_cast<std::size_t>(k)];
            const auto end = title.find(hui);
            ASSERT_EQ(title.substr(0, di.size()), di) << b.file << " " << k;
            ASSERT_NE(end, std::string::npos) << b.file << " " << k;
            const std::string number = runtime::GbkToUtf8(title.substr(di.size(), end - di.size()));
            EXPECT_EQ(headings::ParseNumber(number), k + 1 - offset) << b.file << " " << k;
            EXPECT_GT(title.size(), end + 8) << "the title follows the number";
        }
    }
}

TEST_F(CorpusByHeadings, StrictSeparateLinesBookGivesTheSameIndexAsSeparateLinesMode) {
    const Book separate = Load("strict_separate_lines.gbk.txt", LayoutMode::SeparateLines);
    const Book byHeadings = Load("strict_separate_lines.gbk.txt", LayoutMode::Headings);
    EXPECT_EQ(byHeadings.index.titles, separate.index.titles);
    EXPECT_EQ(byHeadings.index.labels, ExpectedLabels());
    EXPECT_EQ(byHeadings.index.ChapterStart, separate.index.ChapterStart);
    EXPECT_EQ(byHeadings.index.ChapterEnd, separate.index.ChapterEnd);
    ASSERT_EQ(byHeadings.index.tree.Count(), separate.index.tree.Count());
    for (int i = 0; i < separate.index.tree.Count(); ++i) {
        EXPECT_EQ(byHeadings.index.tree.At(i).text, separate.index.tree.At(i).text) << i;
        EXPECT_EQ(byHeadings.index.tree.At(i).parent, separate.index.tree.At(i).parent) << i;
    }
}

TEST_F(CorpusByHeadings, Utf8AndUtf16CopiesGiveTheSameBookAsTheGbkOriginal) {
    test::TempDir tmp;
    for (const char* name : {"xiyouji.gbk.txt", "sanguo.gbk.txt", "shuihu.gbk.txt", "strict_separate_lines.gbk.txt",
                             "strict_one_line.gbk.txt", "shuihu.trad.gbk.txt"}) {
        const auto gbk = runtime::ReadWholeFile(dir / name);
        ASSERT_TRUE(gbk) << name;
        test::ScriptedUi ui;
        const Book original = Auto(dir / name, ui);
        EXPECT_EQ(original.encoding, "GBK") << name;
        const std::string utf8 = runtime::GbkToUtf8(*gbk);
        std::string lf;
        for (const char c : utf8) {
            if (c != '\r') lf += c;
        }
        test::ScriptedUi ui1, ui2;
        const Book withBom = Auto(tmp.Write("bom.txt", "\xEF\xBB\xBF" + utf8), ui1);
        const Book lfOnly = Auto(tmp.Write("lf.txt", lf), ui2);
        EXPECT_EQ(withBom.encoding, "UTF-8 (BOM)") << name;
        EXPECT_EQ(lfOnly.encoding, "UTF-8") << name;
        ExpectSameBook(original, withBom, std::string(name) + " as UTF-8 with BOM");
        ExpectSameBook(original, lfOnly, std::string(name) + " as UTF-8 with LF");
    }
}

TEST_F(CorpusByHeadings, Utf16BooksConvertWithoutAQuestion) {
    test::TempDir tmp;
    test::ScriptedUi ui0, ui1, ui2;
    const Book original = Auto(dir / "sanguo.gbk.txt", ui0);
    const Book le = Auto(dir / "sanguo.utf16le_bom.txt", ui1);
    EXPECT_EQ(le.encoding, "UTF-16LE");
    ExpectSameBook(original, le, "UTF-16LE with BOM");
    EXPECT_EQ(le.mode, LayoutMode::Headings);
    EXPECT_EQ(le.index.ChapterCount(), 120);

    // The same text big-endian, without a byte-order mark.
    const auto bytes = runtime::ReadWholeFile(dir / "sanguo.utf16le_bom.txt");
    ASSERT_TRUE(bytes);
    std::string be = bytes->substr(2);
    for (std::size_t i = 0; i + 1 < be.size(); i += 2) std::swap(be[i], be[i + 1]);
    const Book big = Auto(tmp.Write("be.txt", be), ui2);
    EXPECT_EQ(big.encoding, "UTF-16BE");
    ExpectSameBook(original, big, "UTF-16BE without BOM");
    for (const auto* ui : {&ui1, &ui2}) EXPECT_TRUE(ui->Texts(test::ScriptedUi::Call::Ask).empty());
}

TEST_F(CorpusByHeadings, Big5BookIsDetectedAndSimplified) {
    test::ScriptedUi ui;
    const Book book = Auto(dir / "xiyouji.trad.big5.txt", ui);
    EXPECT_EQ(book.encoding, "BIG5");
    EXPECT_EQ(book.mode, LayoutMode::Headings);
    EXPECT_EQ(book.index.ChapterCount(), 100);
    const auto original = runtime::ReadWholeFile(dir / "xiyouji.gbk.txt");
    ASSERT_TRUE(original);
    EXPECT_LT(DifferingShare(book.workingText.Bytes(), *original), 0.01);
    const auto detected = ui.Texts(test::ScriptedUi::Call::Status);
    ASSERT_FALSE(detected.empty());
    EXPECT_NE(detected.front().find("BIG5"), std::string::npos);
}

}  // namespace
}  // namespace qx::text
