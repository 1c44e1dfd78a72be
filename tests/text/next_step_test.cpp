// Texts here are compiled as GBK, like the program's own.
#include "text/next_step.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "runtime/gbk_text.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "text/messages.h"

namespace qx::text {
namespace {

using runtime::Answer;
using runtime::Buttons;
using runtime::Icon;
using test::ScriptedUi;
using ::testing::ElementsAre;

// The six replacements one after another, as the step defines them.
std::string NormaliseStepByStep(std::string s) {
    s = runtime::Replace(s, "\r\n", "\n");
    s = runtime::Replace(s, "\r", "\n");
    s = runtime::Replace(s, "\n", "\r\n");
    s = runtime::Replace(s, "\x1a", "");
    s = runtime::Replace(s, "\\\\", "\\");
    s = runtime::Replace(s, "\\", "\\\\");
    return s;
}

TEST(Normalisation, LineEndsBytes1AAndBackslashes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a\r\nb", "a\r\nb"},
        {"a\nb\n", "a\r\nb\r\n"},
        {"a\rb\r", "a\r\nb\r\n"},
        {"a\n\rb", "a\r\n\r\nb"},  // LF then CR is two line ends
        {"a\r\r\nb", "a\r\n\r\nb"},
        {"\x1a", ""},
        {"end\x1a", "end"},
        {"a\x1a\x1a" "b", "ab"},
        {"\\", "\\\\"},
        {"\\\\", "\\\\"},
        {"\\\\\\", "\\\\\\\\"},
        {"\\\\\\\\", "\\\\\\\\"},
        {"a\\b\\\\c", "a\\\\b\\\\c"},
        {"\\\x1a\\", "\\\\"},      // a removed 1A joins two backslashes into one pair
        {"\r\x1a\n", "\r\n\r\n"},  // but never a CR and an LF into one line end
        {"\x81\x5c", "\x81\x5c"},            // a GBK character whose second byte is 5C stays whole
        {"\x81\x5c\\", "\x81\x5c\\\\"},    // a backslash after it is still doubled
        {"\\\x81\x5c", "\\\\\x81\x5c"},
        {"\x81\r\n", "\x81\r\n"},          // a lead byte without a trail never swallows a line end
        {"\x81", "\x81"},
        {"", ""},
        // GB18030 four-byte characters (such as 𠮷 95 34 B2 35, 😀 94 39 FC 36)
        // are whole characters: their bytes are never special.
        {"\x95\x32\x82\x36\\", "\x95\x32\x82\x36\\\\"},
        {"\\\x94\x39\xFC\x38\r", "\\\\\x94\x39\xFC\x38\r\n"},
        {"\x95\x32\x82\x36\n\x94\x39\xFC\x38", "\x95\x32\x82\x36\r\n\x94\x39\xFC\x38"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(NormaliseText(in), out) << "input " << ::testing::PrintToString(in);
        EXPECT_EQ(NormaliseText(std::string(in)), out) << "in place, input " << ::testing::PrintToString(in);
    }
}

TEST(Normalisation, AgreesWithTheStepByStepReplacementsOnRandomText) {
    std::mt19937 rng(20261208);
    // Single bytes only: GBK characters get their own cases above.
    const std::string alphabet = "ab\r\n\x1a\\";
    for (int round = 0; round < 3000; ++round) {
        std::string s(rng() % 64, ' ');
        for (char& c : s) c = alphabet[rng() % alphabet.size()];
        ASSERT_EQ(NormaliseText(s), NormaliseStepByStep(s)) << ::testing::PrintToString(s);
        // In its own buffer: texts that grow somewhere along the way (a lone
        // LF or CR, an odd backslash run) go on in a new one.
        ASSERT_EQ(NormaliseText(std::string(s)), NormaliseStepByStep(s)) << "in place " << ::testing::PrintToString(s);
    }
    // Mostly CR LF, so that the text stays in place for a while first.
    // (GBK characters whose second byte is 5C have cases of their own above.)
    const std::string crlf[] = {"ab", "\r\n", "\\\\", "\x1a", "\xB0\xA1", "\x95\x34\xB2\x35", "\\", "\n", "\r"};
    for (int round = 0; round < 3000; ++round) {
        std::string s;
        const int pieces = static_cast<int>(rng() % 40);
        for (int p = 0; p < pieces; ++p) s += crlf[rng() % (round % 2 ? 6 : 9)];
        ASSERT_EQ(NormaliseText(std::string(s)), NormaliseStepByStep(s)) << "in place " << ::testing::PrintToString(s);
    }
    // Long enough to cross the internal blocks, with a CR LF split at a boundary.
    std::string big;
    for (int i = 0; i < 300000; ++i) big += alphabet[rng() % alphabet.size()];
    big.replace(65535, 2, "\r\n");
    EXPECT_EQ(NormaliseText(big), NormaliseStepByStep(big));
    EXPECT_EQ(NormaliseText(std::string(big)), NormaliseStepByStep(big));
    std::string lfOnly(1 << 20, '\n');
    EXPECT_EQ(NormaliseText(lfOnly).size(), 2u << 20);
}

TEST(ZeroBytePair, FoundAnywhere) {
    EXPECT_FALSE(HasZeroBytePair("abc"));
    EXPECT_FALSE(HasZeroBytePair(std::string("a\0b\0", 4)));
    EXPECT_TRUE(HasZeroBytePair(std::string("a\0\0b", 4)));
    EXPECT_TRUE(HasZeroBytePair(std::string("ab\0\0", 4)));
    EXPECT_FALSE(HasZeroBytePair(std::string("ab\0", 3)));
}

std::string Utf16Le(std::u16string_view text) {
    std::string bytes;
    for (const char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

class NextStep : public ::testing::Test {
protected:
    FilePage PageFor(const std::string& bytes, LayoutMode mode = LayoutMode::SeparateLines) {
        FilePage page;
        page.inputPath = dir.Write("book.txt", bytes).string();
        page.title = "书";
        page.author = "人";
        page.mode = mode;
        return page;
    }
    // A book already loaded, to show that a stopped step leaves it alone.
    void LoadPrevious() {
        FilePage page = PageFor("旧书\r\n正文\r\n");
        ASSERT_EQ(RunNextStep(page, book, ui), NextStepResult::Loaded);
        ui.calls.clear();
    }
    void ExpectPreviousBookKept() {
        EXPECT_EQ(book.workingText.Bytes(), "旧书\r\n正文\r\n");
        EXPECT_THAT(book.index.titles, ElementsAre("旧书"));
    }

    test::TempDir dir;
    ScriptedUi ui;
    Book book;
};

TEST_F(NextStep, RefusesWithoutAnInputFile) {
    LoadPrevious();
    FilePage page = PageFor("x");
    page.inputPath.clear();
    EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Stopped);
    ASSERT_EQ(ui.calls.size(), 1u);
    EXPECT_EQ(ui.calls[0].kind, ScriptedUi::Call::Message);
    EXPECT_EQ(ui.calls[0].text, "点击下一步按钮之前，请首先选定输入文件！");
    EXPECT_EQ(ui.calls[0].icon, Icon::Exclamation);
    ExpectPreviousBookKept();
}

TEST_F(NextStep, RefusesWithoutTitleOrAuthor) {
    LoadPrevious();
    for (int missing = 0; missing < 2; ++missing) {
        FilePage page = PageFor("x");
        (missing == 0 ? page.title : page.author).clear();
        ui.calls.clear();
        EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Stopped);
        ASSERT_EQ(ui.calls.size(), 1u);
        EXPECT_EQ(ui.calls[0].text, "书名或作者名信息未知，请重新填写！");
        EXPECT_EQ(ui.calls[0].icon, Icon::Exclamation);
    }
    ExpectPreviousBookKept();
}

TEST_F(NextStep, AnUnreadableFileIsToldNotLoadedAsEmpty) {
    LoadPrevious();
    FilePage page = PageFor("x");
    page.inputPath = (dir.Path() / "missing.txt").string();
    EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Stopped);
    ASSERT_EQ(ui.calls.size(), 1u);
    EXPECT_EQ(ui.calls[0].icon, Icon::Error);
    EXPECT_THAT(ui.calls[0].text, ::testing::StartsWith(std::string(msg::kCannotReadInput)));
    ExpectPreviousBookKept();
}

TEST_F(NextStep, GbkTextLoadsWithoutQuestionAndIsNormalised) {
    FilePage page = PageFor("第一卷\n\n\n第一章\nC:\\pic\n\x1a");
    EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Loaded);
    EXPECT_TRUE(ui.Texts(ScriptedUi::Call::Ask).empty());
    EXPECT_EQ(book.workingText.Bytes(), "第一卷\r\n\r\n\r\n第一章\r\nC:\\\\pic\r\n");
    EXPECT_THAT(book.index.titles, ElementsAre("第一卷　第一章"));
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Status), ElementsAre(msg::kLoaded, msg::kNoLayoutNeeded));
    EXPECT_FALSE(page.convert);
}

TEST_F(NextStep, OneLineModeAnalysesAndLaysOutAfterLoading) {
    const std::string text = "第一卷 天下 第一章\r\nx\r\n\r\n\r\n第一卷 天下 第二章\r\ny\r\n\r\n\r\n乙 二\r\nz\r\n";
    FilePage page = PageFor(text, LayoutMode::OneLine);
    EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Loaded);
    EXPECT_EQ(book.index.tree.Count(), 5);
    EXPECT_EQ(book.index.tree.TextOf(0), "第一卷 天下");
    EXPECT_EQ(book.index.tree.TextOf(1), "第一章");
    EXPECT_THAT(book.index.labels, ElementsAre("1_1", "1_2", "2_1"));
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Status),
                ElementsAre(msg::kLoaded, msg::kAnalysed, msg::kAutoLayoutRunning, msg::kAutoLayoutDone));

    // Without the layout the shared word stays with the chapters.
    Book plain;
    FilePage again = PageFor(text, LayoutMode::OneLine);
    EXPECT_EQ(RunNextStep(again, plain, ui, false), NextStepResult::Loaded);
    EXPECT_EQ(plain.index.tree.TextOf(0), "第一卷");
    EXPECT_EQ(plain.index.tree.TextOf(1), "天下 第一章");
}

TEST_F(NextStep, Utf16QuestionYesConvertsAndTicksTheConversion) {
    const std::string text = Utf16Le(u"\uFEFF第一卷\r\n\r\n\r\n\u3000第一章\r\n正文");
    FilePage page = PageFor(text);
    ui.answers = {Answer::Yes};
    EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Loaded);
    const auto asks = ui.Texts(ScriptedUi::Call::Ask);
    ASSERT_EQ(asks.size(), 1u);
    EXPECT_EQ(asks[0], msg::kLooksLikeUnicode);
    EXPECT_EQ(ui.calls[0].title, "注意：");
    EXPECT_EQ(ui.calls[0].buttons, Buttons::YesNoCancel);
    EXPECT_EQ(ui.calls[0].icon, Icon::Exclamation);
    EXPECT_TRUE(page.convert);
    EXPECT_TRUE(page.fromUnicode);
    EXPECT_EQ(book.workingText.Bytes(), "第一卷\r\n\r\n\r\n　第一章\r\n正文");
    EXPECT_THAT(book.index.titles, ElementsAre("第一卷　第一章"));
}

TEST_F(NextStep, Utf16QuestionNoLoadsTheBytesUnconverted) {
    const std::string text = Utf16Le(u"a\u3000b");  // 61 00 00 30 62 00
    FilePage page = PageFor(text);
    ui.answers = {Answer::No};
    EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Loaded);
    EXPECT_FALSE(page.convert);
    EXPECT_EQ(book.workingText.Bytes(), text);
}

TEST_F(NextStep, Utf16QuestionCancelLeavesThePreviousBook) {
    LoadPrevious();
    FilePage page = PageFor(std::string("GBK text with \0\0 inside", 23));  // not UTF-16, still asks
    ui.answers = {Answer::Cancel};
    EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Stopped);
    EXPECT_EQ(ui.Texts(ScriptedUi::Call::Ask).size(), 1u);
    EXPECT_FALSE(page.convert);
    ExpectPreviousBookKept();
}

TEST_F(NextStep, NoQuestionWhenConversionIsAlreadyOn) {
    FilePage page = PageFor(Utf16Le(u"a\u3000b"));
    page.convert = true;
    page.fromUnicode = true;
    EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Loaded);
    EXPECT_FALSE(ui.unexpectedQuestion);
    EXPECT_EQ(book.workingText.Bytes(), "a　b");
}

TEST_F(NextStep, ConversionWithoutAChoiceOnlyNormalises) {
    FilePage page = PageFor(std::string("東\0\0\n", 5));
    page.convert = true;
    EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Loaded);
    EXPECT_EQ(book.workingText.Bytes(), std::string("東\0\0\r\n", 6));
}

TEST_F(NextStep, Utf8TextConvertsAndKeepsWhatGbkLacks) {
    // UTF-8 with 𠮷 and an emoji: kept as their GB18030 four-byte sequences.
    FilePage page = PageFor("\xEF\xBB\xBF\xE5\x90\x89\xF0\xA0\xAE\xB7\xF0\x9F\x98\x80\n");
    page.convert = page.fromUtf8 = true;
    EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Loaded);
    EXPECT_EQ(book.workingText.Bytes(), "吉\x95\x34\xB2\x35\x94\x39\xFC\x36\r\n");
    EXPECT_EQ(book.encoding, "UTF-8");
}

TEST_F(NextStep, SimplificationOfUtf8TextIsTheUsersChoice) {
    const std::string utf8 = "\xE6\x9D\xB1\xE9\xA2\xA8\n";  // 東風
    FilePage keep = PageFor(utf8);
    keep.convert = keep.fromUtf8 = true;
    EXPECT_EQ(RunNextStep(keep, book, ui), NextStepResult::Loaded);
    EXPECT_EQ(book.workingText.Bytes(), "東風\r\n");
    FilePage simplified = keep;
    simplified.simplify = true;
    EXPECT_EQ(RunNextStep(simplified, book, ui), NextStepResult::Loaded);
    EXPECT_EQ(book.workingText.Bytes(), "东风\r\n");
}

TEST_F(NextStep, DetectionChoosesTheConversionAndSaysSo) {
    std::string traditional;
    for (int i = 0; i < 20; ++i) traditional += "\xE9\x80\x99\xE5\x80\x8B\xE5\x9C\x8B\xE5\xAE\xB6\xE8\xAA\xAA\xE8\xA9\xB1\n";  // 這個國家說話
    FilePage page = PageFor(traditional);
    page.detectEncoding = true;
    EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Loaded);
    EXPECT_TRUE(page.convert && page.fromUtf8 && page.simplify);
    EXPECT_EQ(book.workingText.Bytes().substr(0, 14), "这个国家说话\r\n");
    EXPECT_EQ(book.encoding, "UTF-8");
    EXPECT_EQ(ui.Texts(ScriptedUi::Call::Status).front(), msg::EncodingStatus("UTF-8", true, msg::kCaptionUtf8, true));

    // Told to keep traditional characters, detection does not simplify.
    FilePage keep = PageFor(traditional);
    keep.detectEncoding = true;
    keep.keepTraditional = true;
    EXPECT_EQ(RunNextStep(keep, book, ui), NextStepResult::Loaded);
    EXPECT_EQ(book.workingText.Bytes().substr(0, 14), "這個國家說話\r\n");
}

TEST_F(NextStep, ModeIsChosenByTheHeadingsFound) {
    FilePage page = PageFor("第一章 甲\n正文\n第二章 乙\n正文\n第三章 丙\n正文\n");
    page.chooseMode = true;
    EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Loaded);
    EXPECT_EQ(page.mode, LayoutMode::Headings);
    EXPECT_EQ(book.mode, LayoutMode::Headings);
    EXPECT_EQ(book.index.ChapterCount(), 3);
    FilePage plain = PageFor("甲\n\n\n乙\n");
    plain.chooseMode = true;
    EXPECT_EQ(RunNextStep(plain, book, ui), NextStepResult::Loaded);
    EXPECT_EQ(plain.mode, LayoutMode::SeparateLines);
    EXPECT_EQ(ui.LastStatus(), msg::kNoLayoutNeeded);
}

TEST(ProposeInput, ReadsTheFirstPartOfTheFileAndProposesConversionAndMode) {
    test::TempDir dir;
    const auto path = dir.Write("b.txt", "\xE7\xAC\xAC\xE4\xB8\x80\xE7\xAB\xA0\n.\n\xE7\xAC\xAC\xE4\xBA\x8C\xE7\xAB\xA0\n.\n"
                                         "\xE7\xAC\xAC\xE4\xB8\x89\xE7\xAB\xA0\n.\n");  // 第一章 第二章 第三章 in UTF-8
    const auto p = ProposeInput(path.string(), headings::RuleSet::BuiltIn());
    ASSERT_TRUE(p.has_value());
    EXPECT_TRUE(p->page.convert && p->page.fromUtf8);
    EXPECT_EQ(p->page.mode, LayoutMode::Headings);
    EXPECT_EQ(p->verdict.chapters, 3);
    EXPECT_NE(p->status.find(msg::ModeStatus(true, 3)), std::string::npos);
    EXPECT_FALSE(ProposeInput((dir.Path() / "missing.txt").string(), headings::RuleSet::BuiltIn()).has_value());
}

TEST_F(NextStep, TheFirstTickedChoiceDecides) {
    // BIG5 comes before traditional GBK: the BIG5 bytes of 說 read as BIG5.
    FilePage page = PageFor("\xBB\xA1\n");
    page.convert = true;
    page.fromBig5 = true;
    page.fromTraditionalGbk = true;
    EXPECT_EQ(RunNextStep(page, book, ui), NextStepResult::Loaded);
    EXPECT_EQ(book.workingText.Bytes(), "说\r\n");

    FilePage trad = PageFor("東\n");
    trad.convert = true;
    trad.fromTraditionalGbk = true;
    EXPECT_EQ(RunNextStep(trad, book, ui), NextStepResult::Loaded);
    EXPECT_EQ(book.workingText.Bytes(), "东\r\n");
}

}  // namespace
}  // namespace qx::text
