// The test novels, read as a user reads them. Skipped when the corpus is not there.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "runtime/encoding.h"
#include "runtime/files.h"
#include "support/scripted_ui.h"
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

}  // namespace
}  // namespace qx::text
