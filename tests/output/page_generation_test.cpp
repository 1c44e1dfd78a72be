// Texts here are compiled as GBK, like the program's own.
#include "output/page_generation.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/default_parameters.h"
#include "output/messages.h"
#include "runtime/encoding.h"
#include "runtime/files.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx::output {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::StartsWith;

std::string Crlf(const std::vector<std::string>& lines) {
    std::string s;
    for (std::size_t i = 0; i < lines.size(); ++i) s += lines[i] + (i + 1 < lines.size() ? "\r\n" : "");
    return s;
}

// Parameter texts short enough to compare whole results: each names its row.
ParameterTexts ShortParameters() {
    ParameterTexts p{};
    for (int r = 1; r <= 24; ++r) p[static_cast<std::size_t>(r)] = "<" + std::to_string(r) + ">";
    p[param::kFragmentHeading] = "[{卷章序}|{卷名}|{章名}]";
    p[param::kPageScript] = "var pages = new Array();\r\n{PAGE}\r\nvar t=\"{书名}|{作者}|{制作}|{版权}\";";
    p[param::kStartPage] = "<title>{作者}-{制作}</title><frame src=\"{默认模板}/index.htm\">";
    p[param::kMenuScript] = "menu({模板项目})";
    return p;
}

struct Fixture {
    ParameterTexts texts = ShortParameters();
    PageContext page{"书", "者", &texts, 1};
    test::ScriptedUi ui;
};

// ---------------------------------------------------------------- defaults

TEST(DefaultParameters, TwentyFourNamedRowsInTableOrder) {
    const auto& rows = app::DefaultParameters();
    std::vector<std::string> names;
    for (const auto& r : rows) names.push_back(std::string(r.name));
    EXPECT_THAT(names, ElementsAre("标题_Chapter", "标题_Index", "标题_Volume", "标题_Readall", "内容_Chapter",
                                   "内容_Index", "内容_Volume", "内容_Readall", "章节_Volume", "章节_Readall", "链接",
                                   "上一页", "下一页", "目录", "模板", "Start.htm", "Chapter.js", "Page.js", "mb.js",
                                   "HHP", "EPJ", "TXT模板", "版权", "制作"));
    for (const auto& name : names) EXPECT_LE(name.size(), 15u) << name;  // the table's name field
}

TEST(DefaultParameters, QuotedTextsAreExact) {
    const auto t = app::DefaultParameterTexts();
    EXPECT_EQ(t[1], "<script language=javascript src='../js/page.js'></script>\r\n"
                    "<script language=javascript src='../js/chapter.js'></script>");
    EXPECT_EQ(t[2], "<script language=javascript src='../js/page.js'></script>\r\n");
    EXPECT_EQ(t[3], "<script language=javascript src=\"../js/page.js\"></script>");
    EXPECT_EQ(t[4], t[3]);
    EXPECT_EQ(t[5], "<script language=javascript>loadtxt(parent.txt); setCookies(\"index\",String(parent.txt)); "
                    "setCookies(\"title\",parent.document.title);</script>");
    EXPECT_EQ(t[11], "<script language=javascript>next(\"上一页\",\"目录\",\"下一页\",2)</script>");
    EXPECT_EQ(t[12], "javascript:loadurl(\"chapter.htm\",prevpage)");
    EXPECT_EQ(t[13], "javascript:loadurl(\"chapter.htm\",nextpage)");
    EXPECT_EQ(t[14], "javascript:loadurl(\"index.htm\",-1)");
    EXPECT_EQ(t[15], "<script language=javascript src='../js/mb.js'></script>");
    EXPECT_EQ(t[19], "document.write('<select onChange=\\'location.href=this.options[this.selectedIndex].value\\'>"
                     "<option value=#>模板选择{模板项目}</select>')");
    EXPECT_EQ(t[22], "document.write(\" <p align=center style='FONT-SIZE:13.5pt;font-family:宋体'><b>"
                     "<a name='{卷章序}'>{卷名} {章名}</b><p>\");\r\n\r\n");
    EXPECT_EQ(t[24], "Zarvo");
    // The sizes the shipped table gives for the quoted rows.
    const std::pair<int, std::size_t> sizes[] = {{1, 119}, {2, 59}, {3, 57}, {4, 57}, {5, 140}, {11, 69}, {12, 42},
                                                 {13, 42}, {14, 34}, {15, 55}, {19, 135}, {22, 124}};
    for (const auto& [row, size] : sizes) EXPECT_EQ(t[static_cast<std::size_t>(row)].size(), size) << "row " << row;
}

TEST(DefaultParameters, ChmProjectIsTheTwentyThreeLineForm) {
    const auto hhp = app::DefaultParameterTexts()[20];
    EXPECT_EQ(hhp, Crlf({"[OPTIONS]", "Binary TOC=No", "Binary Index=No", "Compiled File=..\\{文件名}.chm",
                         "Contents File=", "Index File=", "Default Window=main", "Default Topic=start.htm",
                         "Default Font=", "Full-text search=", "Auto Index=Yes", "Language=", "Title={标题}",
                         "Create CHI file=No", "Compatibility=1.1 or later", "Full text search stop list file=",
                         "Display compile progress=Yes", "Display compile notes=Yes", "", "[WINDOWS]",
                         "main=\"{标题}\",,,\"start.htm\",\"start.htm\",,,,,0x2A120,222,0x1046,[0,0,1024,768],"
                         "0xB0000,,,,,,0",
                         "", "[FILES]"}));
}

TEST(DefaultParameters, PackerProjectHasItsFormAndSevenPlaceholders) {
    const auto epj = app::DefaultParameterTexts()[21];
    EXPECT_THAT(epj, StartsWith("<?xml version = \"1.0\"?>\r\n\r\n<project>\r\n   <version major = \"1.7\" "
                                "minor = \"0386\"/>\r\n   <config>\r\n      <ebook_features basic = \"true\"/>\r\n"));
    EXPECT_THAT(epj, HasSubstr("\r\n      <comments>\r\n            <![CDATA[]]>\r\n      </comments>\r\n"));
    EXPECT_THAT(epj, HasSubstr("\r\n   </config>\r\n   <toc/>\r\n</project>"));
    EXPECT_EQ(epj.substr(epj.size() - 10), "</project>");
    for (const char* p : {"<title>{书名}</title>", "<author>{作者}</author>", "<copyright>{版权}</copyright>",
                          "<target_directory>{输出目录}</target_directory>", "<ebk_filename>{输出文件}</ebk_filename>",
                          "<ebook_directory>{目录}</ebook_directory>", "<start_page>{首页}</start_page>"}) {
        EXPECT_THAT(epj, HasSubstr(p));
    }
    EXPECT_EQ(epj.find('\n'), epj.find("\r\n") + 1);  // CR LF line ends only
    EXPECT_EQ(std::count(epj.begin(), epj.end(), '\n'), std::count(epj.begin(), epj.end(), '\r'));
}

TEST(DefaultParameters, TextsAreGbkWithCrLfAndNoLostCharacters) {
    const auto t = app::DefaultParameterTexts();
    for (std::size_t r = 1; r <= 24; ++r) {
        const auto& text = t[r];
        EXPECT_FALSE(text.empty()) << r;
        // A character GBK cannot hold would have become "?"; these are the
        // question marks the texts really hold.
        const long questionMarks = r == 7 ? 1 : r == 18 ? 5 : r == 21 ? 2 : 0;
        EXPECT_EQ(std::count(text.begin(), text.end(), '?'), questionMarks) << r;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') {
                EXPECT_TRUE(i > 0 && text[i - 1] == '\r') << "row " << r << " at " << i;
            }
        }
    }
    EXPECT_THAT(t[16], HasSubstr("<title>作者：{作者} - 制作：{制作}</title>"));
    EXPECT_THAT(t[16], HasSubstr("src=\"{默认模板}/index.htm\""));
    EXPECT_THAT(t[18], StartsWith("var pages = new Array();\r\n{PAGE}\r\n"));
    for (const char* f : {"function loadurl(url, num)", "function loadtxt(i)",
                          "function setCookies(cookieName, cookieValue, expirehours)", "function ReadCookies(cookieName)",
                          "\"{书名} - 作者：{作者}\"", "\"{书名} - 作者：{作者} - 制作：{制作}\"", "3600000 * 356 * 24"}) {
        EXPECT_THAT(t[18], HasSubstr(f));
    }
    EXPECT_THAT(t[17], HasSubstr("function next(a, b, c, j)"));
    EXPECT_THAT(t[17], HasSubstr("document.onkeydown = gotoNextPage;"));
    EXPECT_THAT(t[6], HasSubstr("本章字数："));
    EXPECT_THAT(t[6], HasSubstr("分卷阅读"));
    EXPECT_THAT(t[23], HasSubstr("\r\n"));  // two lines
}

// Old script engines (the CHM viewer) must read every default script.
TEST(DefaultParameters, ScriptsAvoidNewerLanguageForms) {
    const auto t = app::DefaultParameterTexts();
    for (const int r : {5, 6, 7, 8, 9, 10, 11, 16, 17, 18, 19}) {
        const auto& s = t[static_cast<std::size_t>(r)];
        for (const char* modern : {"let ", "const ", "=>", "`", "class "}) {
            EXPECT_EQ(s.find(modern), std::string::npos) << "row " << r << " uses " << modern;
        }
    }
}

// ------------------------------------------------------------ placeholders

TEST(SubstitutePlaceholders, ReplacesInTheFixedOrderSoLaterPlaceholdersSeeEarlierValues) {
    Fixture f;
    f.texts[param::kCopyright] = "R{链接}{书名}";  // {书名} is already done when {版权} comes in
    f.texts[param::kLinks] = "L{作者}";            // {作者} is done before {链接}
    const Text out = SubstitutePlaceholders("{标题}|{内容}|{版权}|{链接}|{章节}|{PAGE}", f.page, f.ui, "T{书名}",
                                            "C{内容}{上一页}");
    EXPECT_EQ(out, "T书|C{内容}<12>|RL{作者}{书名}|L{作者}|{章节}|{PAGE}");
    EXPECT_THAT(f.ui.calls, IsEmpty());
}

TEST(SubstitutePlaceholders, EveryCommonPlaceholderAndOnlyExactSpelling) {
    Fixture f;
    const Text out = SubstitutePlaceholders("{书名}{作者}{制作}{版权}{上一页}{目录}{下一页}{模板}{链接}{page}{书名 }",
                                            f.page, f.ui);
    EXPECT_EQ(out, "书者<24><23><12><14><13><11>{page}{书名 }");
}

TEST(SubstitutePlaceholders, EmptyTitleAndContentLeaveTheirPlaceholders) {
    Fixture f;
    EXPECT_EQ(SubstitutePlaceholders("{标题}{内容}", f.page, f.ui), "{标题}{内容}");
}

TEST(SubstitutePlaceholders, TemplateMenuOnlyWithMoreThanOneTemplate) {
    Fixture f;
    EXPECT_EQ(SubstitutePlaceholders("[{模板}]", f.page, f.ui), "[]");
    f.page.templateCount = 2;
    EXPECT_EQ(SubstitutePlaceholders("[{模板}]", f.page, f.ui), "[<15>]");
}

TEST(SubstitutePlaceholders, MissingTitleOrAuthorIsToldAndGivesNothing) {
    struct Case {
        Text title, author, message;
    };
    for (const auto& c : {Case{"", "者", "书名不能为空"}, Case{"请输入书名", "者", "书名不能为空"},
                          Case{"书", "", "作者不能为空"}, Case{"书", "请输入作者", "作者不能为空"}}) {
        Fixture f;
        f.page.title = c.title;
        f.page.author = c.author;
        EXPECT_EQ(SubstitutePlaceholders("{书名}", f.page, f.ui), "");
        EXPECT_THAT(f.ui.Texts(test::ScriptedUi::Call::Message), ElementsAre(c.message));
    }
}

// ------------------------------------------------------------- escaping

TEST(EscapeForScript, QuotesLineEndsAndBackslashRuns) {
    struct Case {
        std::string in;
        Backslashes mode;
        std::string out;
    };
    const Case cases[] = {
        {"甲'乙\"丙", Backslashes::Literal, "甲\\'乙\\\"丙"},
        {"a\r\nb", Backslashes::Literal, "a\\r\\nb"},
        {"a\\b", Backslashes::Literal, "a\\\\b"},
        {"a\\\\b", Backslashes::Escaped, "a\\\\b"},      // doubled already: the reader sees one
        {"a\\\\\\b", Backslashes::Escaped, "a\\\\\\\\b"},  // an odd run cannot escape the b
        {"end\\", Backslashes::Escaped, "end\\\\"},        // nor the closing quote
        // A GBK character whose second byte is 5C stays whole.
        {"\x81\x5C'", Backslashes::Literal, "\x81\x5C\\'"},
        {"\x81\x5C\x5C", Backslashes::Escaped, "\x81\x5C\x5C\x5C"},
        // GB18030 four-byte characters stay whole, and so does what follows them.
        {"\x95\x32\x82\x36'", Backslashes::Literal, "\x95\x32\x82\x36\\'"},
        {"\x94\x39\xFC\x38\"\\", Backslashes::Literal, "\x94\x39\xFC\x38\\\"\\\\"},
        // A lead byte that no trail byte follows does not swallow a quote:
        // it would take the escaping backslash (5C) for its trail byte, so
        // it is written as the escape of U+FFFD, what a browser shows for it.
        {"x\x81'", Backslashes::Literal, "x\\ufffd\\'"},
        {"x\x81\"", Backslashes::Literal, "x\\ufffd\\\""},
    };
    for (const auto& c : cases) EXPECT_EQ(EscapeForScript(c.in, c.mode), c.out) << c.in;
}

// -------------------------------------------------------------- fragments

// One chapter "章" of volume "卷" whose body is `body`.
text::Book OneChapterBook(const std::string& body, const Text& volume = "卷", const Text& chapter = "章") {
    text::Book book;
    book.workingText.Adopt("title\r\n" + body);
    auto& ix = book.index;
    ix.titles = {volume + "　" + chapter};
    ix.sizes = {0};
    ix.volumeNumbers = {"1"};
    ix.labels = {"1_1"};
    ix.ChapterStart = {7};
    ix.ChapterEnd = {0, book.workingText.Size()};
    ix.tree.Add(volume);
    ix.tree.Add(chapter, 0);
    ix.cursor = 0;
    return book;
}

struct FragmentCase {
    const char* name;
    std::string body;
    std::string expected;  // what stands inside document.write ('…')
    int size;
};
void PrintTo(const FragmentCase& c, std::ostream* os) { *os << c.name; }

class ChapterFragment : public ::testing::TestWithParam<FragmentCase> {};

TEST_P(ChapterFragment, ParagraphsIndentSizeAndQuotes) {
    const auto& c = GetParam();
    Fixture f;
    text::Book book = OneChapterBook(c.body);
    const Text fragment = BuildChapterFragment(book, f.page);
    EXPECT_EQ(fragment, "[1_1|卷|章]document.write ('" + c.expected + "')");
    EXPECT_EQ(book.index.sizes[0], c.size);
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, ChapterFragment,
    ::testing::Values(
        // Two indented lines: the indent after the first break is taken out
        // and put back, the trailing one trimmed and the first restored.
        FragmentCase{"WorkedExample", "　　第一句。\r\n　　第二句。\r\n", "　　第一句。<p>　　第二句。<p>", 30},
        FragmentCase{"LeadingEmptyLine", "\r\n\r\n甲\r\n", "　　甲<p>", 9},
        FragmentCase{"EmptyLineBetween", "甲\r\n\r\n乙", "　　甲<p>　　乙", 15},
        FragmentCase{"BlankOnlyLineLeavesAnEmptyParagraph", "甲\r\n 　 \r\n乙", "　　甲<p>　　<p>　　乙", 22},
        FragmentCase{"AnyLeadingBlanksBecomeTheIndent", "  　甲\r\n　 　 乙\r\n   丙", "　　甲<p>　　乙<p>　　丙",
                     24},
        FragmentCase{"ApostrophesBecomeDoubleQuotes", "他说'走'", "　　他说\"走\"", 12},
        FragmentCase{"PictureHasSizeZero", "<img src=pic/1.jpg>\r\n说明", "　　<img src=pic/1.jpg><p>　　说明", 0},
        FragmentCase{"OddLength", "abc", "　　abc", 7},
        FragmentCase{"EmptyBody", "", "　　", 4},
        FragmentCase{"TrailingBlanksTrimmed", "甲\r\n　 ", "　　甲<p>", 9},
        FragmentCase{"BlanksBeforeABreakStay", "甲　 \r\n乙", "　　甲　 <p>　　乙", 18},
        FragmentCase{"DoubledBackslashesStay", "a\\\\b", "　　a\\\\b", 8},
        // 815C followed by the backslash the Next step doubled it with.
        FragmentCase{"OddBackslashRunAfterTrailByteIsEvenedOut", "\x81\x5C\x5Cx", "　　\x81\x5C\x5C\x5Cx", 8}),
    [](const ::testing::TestParamInfo<FragmentCase>& c) { return std::string(c.param.name); });

TEST(ChapterFragmentHeading, NamesAreEscapedForTheScriptString) {
    Fixture f;
    f.texts[param::kFragmentHeading] = app::DefaultParameterTexts()[22];
    text::Book book = OneChapterBook("甲", "卷'一\"", "章\\\\");
    const Text fragment = BuildChapterFragment(book, f.page);
    EXPECT_THAT(fragment, StartsWith("document.write(\" <p align=center style='FONT-SIZE:13.5pt;font-family:宋体'>"
                                     "<b><a name='1_1'>卷\\'一\\\" 章\\\\</b><p>\");\r\n\r\ndocument.write ('"));
}

TEST(ChapterFragmentHeading, ChapterWithoutVolumeHasAnEmptyVolumeName) {
    Fixture f;
    text::Book book = OneChapterBook("甲");
    book.index.volumeNumbers = {"0"};
    book.index.labels = {"0_1"};
    book.index.tree.Clear();
    book.index.tree.Add("序");
    EXPECT_THAT(BuildChapterFragment(book, f.page), StartsWith("[0_1||序]"));
}

TEST(ChapterFragmentHeading, CursorOutsideTheBookGivesNothing) {
    Fixture f;
    text::Book book = OneChapterBook("甲");
    book.index.cursor = 1;
    EXPECT_EQ(BuildChapterFragment(book, f.page), "");
    book.index.cursor = -1;
    EXPECT_EQ(BuildChapterFragment(book, f.page), "");
}

// -------------------------------------------------------------- page table

text::Book LoadedBook(const std::string& text, text::LayoutMode mode) {
    text::Book book;
    book.workingText.Adopt(std::string(text));
    test::ScriptedUi ui;
    text::LoadChapters(book, mode, ui);
    if (mode == text::LayoutMode::OneLine) text::AnalyzeChapters(book, mode, ui);
    return book;
}

void BuildAllFragments(text::Book& book, const PageContext& page) {
    for (int k = 0; k < book.index.ChapterCount(); ++k) {
        book.index.cursor = k;
        BuildChapterFragment(book, page);
    }
    book.index.cursor = 0;
}

TEST(PageTable, FirstChapterOfAVolumeCarriesTheVolume) {
    Fixture f;
    text::Book book = LoadedBook(Crlf({"第一卷", "", "", "第一章", "甲乙", "", "", "第二章", "丙", "", "", "第二卷", "", "",
                                       "第三章", "丁戊己", ""}),
                                 text::LayoutMode::SeparateLines);
    BuildAllFragments(book, f.page);
    EXPECT_EQ(BuildPageTableLines(book.index),
              " pages[0]=['1_1','第一章','5','第一卷'];\r\n"
              " pages[1]=['1_2','第二章','4'];\r\n"
              " pages[2]=['2_1','第三章','6','第二卷'];\r\n");
}

TEST(PageTable, TitlesLongerThan255BytesComeFromTheChapterList) {
    Fixture f;
    const std::string fits(255, 'x'), tooLong(256, 'y');
    text::Book book = LoadedBook(Crlf({"卷 " + fits, "正文", "", "", "卷 " + tooLong, "正文", ""}),
                                 text::LayoutMode::OneLine);
    BuildAllFragments(book, f.page);
    book.index.titles[1] = "卷 前" + tooLong;  // the list holds the full line; the tree text is cut short
    EXPECT_EQ(BuildPageTableLines(book.index),
              " pages[0]=['1_1','" + fits + "','5','卷'];\r\n pages[1]=['1_2','前" + tooLong + "','5'];\r\n");
}

TEST(PageTable, PictureVolumeCarriesItsTagAndTitlesAreEscaped) {
    Fixture f;
    text::Book book = LoadedBook(Crlf({"<img src=pic\\\\1.jpg> 插图", "<img src=pic\\\\1.jpg>", "", "",
                                       "第一卷 张三's 第一章", "甲", ""}),
                                 text::LayoutMode::OneLine);
    BuildAllFragments(book, f.page);
    EXPECT_EQ(BuildPageTableLines(book.index),
              " pages[0]=['1_1','插图','0','<img src=pic\\\\1.jpg>'];\r\n"
              " pages[1]=['2_1','张三\\'s 第一章','4','第一卷'];\r\n");
}

// Chapters before the first volume are chapters too: every entry keeps its
// own label and size, so page n always shows fragment n.
TEST(PageTable, ChaptersBeforeTheFirstVolumeKeepTheirOwnLabels) {
    Fixture f;
    text::Book book = LoadedBook(Crlf({"序", "甲", "", "", "第一卷", "", "", "第一章", "乙乙", ""}),
                                 text::LayoutMode::SeparateLines);
    BuildAllFragments(book, f.page);
    EXPECT_EQ(BuildPageTableLines(book.index),
              " pages[0]=['0_1','序','4'];\r\n"
              " pages[1]=['1_1','第一章','5','第一卷'];\r\n");
}

TEST(PageTable, WholeScriptEscapesTheBookDataInItsStrings) {
    Fixture f;
    f.page.title = "书'名\\";
    f.page.author = "作\"者";
    f.texts[param::kCopyright] = "一\r\n二";
    text::Book book = LoadedBook(Crlf({"卷 章", "甲", ""}), text::LayoutMode::OneLine);
    BuildAllFragments(book, f.page);
    EXPECT_EQ(BuildPageTable(book.index, f.page, f.ui),
              "var pages = new Array();\r\n pages[0]=['1_1','章','4','卷'];\r\n\r\n"
              "var t=\"书\\'名\\\\|作\\\"者|<24>|一\\r\\n二\";");
}

TEST(PageTable, MissingAuthorGivesAnEmptyScript) {
    Fixture f;
    f.page.author = "";
    text::Book book = LoadedBook(Crlf({"卷 章", "甲", ""}), text::LayoutMode::OneLine);
    EXPECT_EQ(BuildPageTable(book.index, f.page, f.ui), "");
    EXPECT_THAT(f.ui.Texts(test::ScriptedUi::Call::Message), ElementsAre("作者不能为空"));
}

// ------------------------------------------------- start page and menu

TEST(StartPageAndMenu, StartPageOpensTheFirstTemplate) {
    Fixture f;
    EXPECT_EQ(BuildStartPage(f.page, f.ui), "<title>者-<24></title><frame src=\"index1/index.htm\">");
}

TEST(StartPageAndMenu, MenuItemsNameEveryTemplateInOrder) {
    Fixture f;
    const Text items = TemplateMenuItems({"默认", "Jo's"});
    EXPECT_EQ(items, "<option value=\"../index1/index.htm\">默认<option value=\"../index2/index.htm\">Jo\\'s");
    EXPECT_EQ(BuildTemplateMenuScript(items, f.page), "menu(" + items + ")");
}

// ------------------------------------------------------------------ files

TEST(WriteFileIfAbsent, WritesOnlyWhenNothingIsThere) {
    test::TempDir dir;
    const fs::path file = dir.Path() / "a.js";
    EXPECT_EQ(WriteFileIfAbsent(file, "new"), FileWrite::Written);
    EXPECT_EQ(WriteFileIfAbsent(file, "newer"), FileWrite::Kept);
    EXPECT_EQ(*runtime::ReadWholeFile(file), "new");
    EXPECT_EQ(WriteFileIfAbsent(dir.Path() / "missing" / "b.js", "x"), FileWrite::Failed);
}

class TemplatePages : public ::testing::Test {
protected:
    void Page(const std::string& name, const std::string& text) {
        fs::create_directories(dir.Path() / "index");
        dir.Write("index/" + name, text);
    }
    std::string Read(const std::string& name) { return runtime::ReadWholeFile(dir.Path() / "index" / name).value_or("<none>"); }

    test::TempDir dir;
    Fixture f;
};

TEST_F(TemplatePages, FillsEveryPageWithItsRows) {
    Page("chapter.htm", "{标题}|{内容}|{书名}");
    Page("index.htm", "I{标题}|{内容}");
    Page("volume.htm", "V{标题}|{内容}|{章节}");
    Page("readall.htm", "R{标题}|{内容}|{章节}");
    const auto result = WriteTemplatePages(dir.Path(), f.page, f.ui);
    EXPECT_TRUE(result.hasChapterPage);
    EXPECT_THAT(result.failedFiles, IsEmpty());
    EXPECT_EQ(Read("chapter.htm"), "<1>|<5>|书");
    EXPECT_EQ(Read("index.htm"), "I<2>|<6>");
    EXPECT_EQ(Read("volume.htm"), "V<3>|<7>|<9>");
    EXPECT_EQ(Read("readall.htm"), "R<4>|<8>|<10>");
}

TEST_F(TemplatePages, WithoutIndexPageTheFinishedChapterPageIsTheIndex) {
    Page("chapter.htm", "{标题}|{内容}");
    WriteTemplatePages(dir.Path(), f.page, f.ui);
    EXPECT_EQ(Read("chapter.htm"), "<1>|<5>");
    EXPECT_EQ(Read("index.htm"), "<1>|<5>");
    EXPECT_EQ(Read("volume.htm"), "<none>");
}

TEST_F(TemplatePages, WithoutChapterPageNothingIsTouched) {
    Page("index.htm", "{标题}");
    const auto result = WriteTemplatePages(dir.Path(), f.page, f.ui);
    EXPECT_FALSE(result.hasChapterPage);
    EXPECT_EQ(Read("index.htm"), "{标题}");
    EXPECT_EQ(f.ui.LastStatus(), "模板错误!!找不到Chapter.htm");
}

TEST_F(TemplatePages, APageThatCannotBeReadIsReported) {
    Page("chapter.htm", "{标题}");
    fs::create_directories(dir.Path() / "index" / "volume.htm");  // a folder where the page should be
    const auto result = WriteTemplatePages(dir.Path(), f.page, f.ui);
    EXPECT_THAT(result.failedFiles, ElementsAre(dir.Path() / "index" / "volume.htm"));
}

}  // namespace
}  // namespace qx::output

namespace qx::output {
namespace {

// The same book read by its headings gives the same e-book texts as read by
// its layout: every chapter fragment and the page table.
TEST(PageGenerationOnTheCorpus, HeadingsModeWritesTheFragmentsOfSeparateLinesMode) {
    const auto corpus = test::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "test novels not found: set QX_CORPUS_DIR to the corpus directory";
    const auto bytes = runtime::ReadWholeFile(corpus / "strict_separate_lines.gbk.txt");
    ASSERT_TRUE(bytes);
    const ParameterTexts texts = app::DefaultParameterTexts();
    const PageContext page{"西游记", "吴承恩", &texts, 1};
    auto load = [&](text::LayoutMode mode) {
        auto book = std::make_unique<text::Book>();
        book->workingText.Adopt(std::string(*bytes));
        test::ScriptedUi ui;
        text::LoadChapters(*book, mode, ui);
        return book;
    };
    const auto separate = load(text::LayoutMode::SeparateLines);
    const auto byHeadings = load(text::LayoutMode::Headings);
    ASSERT_EQ(byHeadings->index.ChapterCount(), 100);
    ASSERT_EQ(separate->index.ChapterCount(), 100);
    for (int k = 0; k < 100; ++k) {
        separate->index.cursor = byHeadings->index.cursor = k;
        EXPECT_TRUE(BuildChapterFragment(*separate, page) == BuildChapterFragment(*byHeadings, page)) << "chapter " << k;
    }
    EXPECT_EQ(separate->index.sizes, byHeadings->index.sizes);
    EXPECT_TRUE(BuildPageTableLines(separate->index) == BuildPageTableLines(byHeadings->index));
}

}  // namespace
}  // namespace qx::output
