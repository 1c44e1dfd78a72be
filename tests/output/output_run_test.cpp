// Texts here are compiled as GBK, like the program's own.
#include "output/output_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "output/messages.h"
#include "runtime/encoding.h"
#include "runtime/files.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx::output {
namespace {

namespace fs = std::filesystem;
using runtime::Answer;
using test::ScriptedUi;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

std::string Crlf(const std::vector<std::string>& lines) {
    std::string s;
    for (const auto& l : lines) s += l + "\r\n";
    return s;
}

// Records which status texts also went into the tip.
class TipUi : public ScriptedUi {
public:
    void Status(std::string_view text, bool alsoTip) override {
        ScriptedUi::Status(text, alsoTip);
        if (alsoTip) tips.emplace_back(text);
    }
    std::vector<std::string> tips;
};

// Every file under `root`, as sorted relative paths with "/".
std::vector<std::string> FilesUnder(const fs::path& root) {
    std::vector<std::string> out;
    if (!fs::exists(root)) return out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) out.push_back(e.path().lexically_relative(root).generic_string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string Read(const fs::path& path) { return runtime::ReadWholeFile(path).value_or("<missing>"); }

class OutputRun : public ::testing::Test {
protected:
    OutputRun() {
        for (int r = 1; r <= 24; ++r) texts[static_cast<std::size_t>(r)] = "<" + std::to_string(r) + ">";
        texts[param::kFragmentHeading] = "[{卷章序}|{卷名}|{章名}]";
        texts[param::kPageScript] = "var pages = new Array();\r\n{PAGE}\r\nvar t=\"{书名}|{作者}|{制作}|{版权}\";";
        texts[param::kStartPage] = "<frame src=\"{默认模板}/index.htm\">{作者}";
        texts[param::kMenuScript] = "menu({模板项目})";
        texts[param::kChapterScript] = "chapter.js {书名}";  // written without any replacement

        Template("T1", "index/chapter.htm", "<head>{标题}</head>{模板}{链接}{内容}");
        Template("T1", "index/index.htm", "I{标题}{内容}{模板}");
        Template("T1", "index/style.css", "css");
        Template("T1", "extra/readme.txt", "from T1");

        input = dir.Write("book.txt", "");
        Load(Crlf({"第一卷", "", "", "第一章", "甲乙", "", "", "第二章", "丙", "", "", "第二卷", "", "", "第三章", "丁戊己"}),
             text::LayoutMode::SeparateLines);

        job.book = &book;
        job.title = "书";
        job.author = "者";
        job.outputDirectory = dir.Path() / "out";
        job.programHome = dir.Path() / "home";
        job.selectedTemplates = {"T1"};
        job.inputFile = input;
        job.parameters = &texts;
        job.pumpEvents = [this] { ++pumped; };
        job.moveToTrash = [this](const fs::path& p) {
            trashed.push_back(p);
            if (!trashWorks) return false;
            fs::rename(p, dir.Path() / ("trash" + std::to_string(trashed.size())));
            return true;
        };
    }

    void Template(const std::string& name, const std::string& file, const std::string& bytes) {
        const fs::path path = dir.Path() / "home" / "template" / name / file;
        fs::create_directories(path.parent_path());
        dir.Write((path.lexically_relative(dir.Path())).string(), bytes);
    }
    void Load(const std::string& text, text::LayoutMode mode) {
        book = text::Book();
        book.workingText.Adopt(std::string(text));
        ScriptedUi quiet;
        text::LoadChapters(book, mode, quiet);
    }
    fs::path Ebook() const { return dir.Path() / "out" / runtime::GbkToUtf8("书"); }
    OutputResult Run() { return RunOutput(job, ui); }

    test::TempDir dir;
    ParameterTexts texts{};
    text::Book book;
    fs::path input;
    OutputJob job;
    TipUi ui;
    int pumped = 0;
    std::vector<fs::path> trashed;
    bool trashWorks = true;
};

TEST_F(OutputRun, SmallBookWritesEveryFile) {
    const OutputResult result = Run();
    EXPECT_TRUE(result.completed);
    EXPECT_EQ(result.ebookDirectory, Ebook());
    EXPECT_THAT(FilesUnder(Ebook()),
                ElementsAre("extra/readme.txt", "index1/chapter.htm", "index1/index.htm", "index1/style.css",
                            "js/chapter.js", "js/page.js", "start.htm", "txt/1_1.txt", "txt/1_2.txt", "txt/2_1.txt"));
    EXPECT_EQ(Read(Ebook() / "txt" / "1_2.txt"), "[1_2|第一卷|第二章]document.write ('　　丙<p>')");
    EXPECT_EQ(Read(Ebook() / "txt" / "2_1.txt"), "[2_1|第二卷|第三章]document.write ('　　丁戊己<p>')");
    EXPECT_EQ(Read(Ebook() / "js" / "page.js"),
              "var pages = new Array();\r\n"
              " pages[0]=['1_1','第一章','5','第一卷'];\r\n"
              " pages[1]=['1_2','第二章','4'];\r\n"
              " pages[2]=['2_1','第三章','6','第二卷'];\r\n"
              "\r\nvar t=\"书|者|<24>|<23>\";");
    EXPECT_EQ(Read(Ebook() / "index1" / "chapter.htm"), "<head><1></head><11><5>");  // one template: no menu
    EXPECT_EQ(Read(Ebook() / "index1" / "index.htm"), "I<2><6>");
    EXPECT_EQ(Read(Ebook() / "start.htm"), "<frame src=\"index1/index.htm\">者");
    EXPECT_EQ(Read(Ebook() / "js" / "chapter.js"), "chapter.js {书名}");
    EXPECT_EQ(Read(Ebook() / "extra" / "readme.txt"), "from T1");

    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Status),
                ElementsAre("输出模板“T1”", "33%", "66%", "100%", "书 输出HTM成功！"));
    EXPECT_THAT(ui.tips, ElementsAre("书 输出HTM成功！"));
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Message), IsEmpty());
    EXPECT_THAT(book.index.sizes, ElementsAre(11, 9, 13));
    EXPECT_EQ(book.index.cursor, 0);
    EXPECT_GE(pumped, 4 + 3);  // four template files (and two folders), three percentages
    EXPECT_THAT(trashed, IsEmpty());
}

TEST_F(OutputRun, TwoTemplatesGetNumberedFoldersAndAMenu) {
    Template("T2", "index/chapter.htm", "C2{模板}");
    Template("T2", "extra/readme.txt", "from T2");
    job.selectedTemplates = {"T1", "T2"};
    ASSERT_TRUE(Run().completed);
    EXPECT_EQ(Read(Ebook() / "index1" / "chapter.htm"), "<head><1></head><15><11><5>");
    EXPECT_EQ(Read(Ebook() / "index2" / "chapter.htm"), "C2<15>");
    EXPECT_EQ(Read(Ebook() / "index2" / "index.htm"), "C2<15>");  // made from its chapter page
    EXPECT_EQ(Read(Ebook() / "extra" / "readme.txt"), "from T2");  // the later template wins
    EXPECT_EQ(Read(Ebook() / "js" / "mb.js"),
              "menu(<option value=\"../index1/index.htm\">T1<option value=\"../index2/index.htm\">T2)");
    EXPECT_EQ(Read(Ebook() / "start.htm"), "<frame src=\"index1/index.htm\">者");
    EXPECT_FALSE(fs::exists(Ebook() / "index"));
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Status), Contains("输出模板“T2”"));
}

TEST_F(OutputRun, ScriptsAndStartPageATemplateBringsAreKept) {
    Template("T1", "js/page.js", "own page.js");
    Template("T1", "js/chapter.js", "own chapter.js");
    Template("T1", "start.htm", "own start");
    Template("T2", "index/chapter.htm", "C2");
    Template("T2", "js/mb.js", "own menu");
    job.selectedTemplates = {"T1", "T2"};
    ASSERT_TRUE(Run().completed);
    EXPECT_EQ(Read(Ebook() / "js" / "page.js"), "own page.js");
    EXPECT_EQ(Read(Ebook() / "js" / "chapter.js"), "own chapter.js");
    EXPECT_EQ(Read(Ebook() / "js" / "mb.js"), "own menu");
    EXPECT_EQ(Read(Ebook() / "start.htm"), "own start");
}

TEST_F(OutputRun, TemplateWithoutChapterPageIsReportedInsteadOfSuccess) {
    Template("T3", "index/index.htm", "{标题}");
    job.selectedTemplates = {"T1", "T3"};
    const OutputResult result = Run();
    EXPECT_FALSE(result.completed);
    EXPECT_THAT(result.problems.brokenTemplates, ElementsAre("T3"));
    EXPECT_EQ(Read(Ebook() / "index2" / "index.htm"), "{标题}");  // left as copied
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Status), Contains("模板错误!!找不到Chapter.htm"));
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Status), Not(Contains("书 输出HTM成功！")));
    ASSERT_EQ(ui.Texts(ScriptedUi::Call::Message).size(), 1u);
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Message)[0], HasSubstr("模板“T3”：模板错误!!找不到Chapter.htm"));
    EXPECT_TRUE(fs::exists(Ebook() / "txt" / "2_1.txt"));  // the rest was written
}

TEST_F(OutputRun, FailedWritesAreReportedAndSuccessIsNotShown) {
    Template("T1", "txt", "a file where the fragment folder should be");
    Template("T1", "js", "and one where the scripts go");
    const OutputResult result = Run();
    EXPECT_FALSE(result.completed);
    EXPECT_THAT(result.problems.failedFiles,
                ElementsAre(Ebook() / "txt" / "1_1.txt", Ebook() / "txt" / "1_2.txt", Ebook() / "txt" / "2_1.txt",
                            Ebook() / "js" / "page.js", Ebook() / "js" / "chapter.js"));
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Status), Not(Contains("书 输出HTM成功！")));
    ASSERT_EQ(ui.calls.back().kind, ScriptedUi::Call::Message);
    EXPECT_EQ(ui.calls.back().icon, runtime::Icon::Error);
    EXPECT_THAT(ui.calls.back().text, HasSubstr("输出HTM未完成"));
    EXPECT_THAT(ui.calls.back().text, HasSubstr("未能写入：" + runtime::Utf8ToGbk((Ebook() / "js" / "page.js").string())));
}

TEST_F(OutputRun, ManyFailedFilesAreCountedNotAllNamed) {
    std::vector<std::string> lines;
    for (int i = 1; i <= 12; ++i) {
        lines.insert(lines.end(), {"卷 章" + std::to_string(i), "正文", "", ""});
    }
    Load(Crlf(lines), text::LayoutMode::OneLine);
    ScriptedUi quiet;
    text::AnalyzeChapters(book, text::LayoutMode::OneLine, quiet);
    Template("T1", "txt", "in the way");
    EXPECT_FALSE(Run().completed);
    EXPECT_THAT(ui.calls.back().text, HasSubstr("……另有 2 个文件未能写入"));
}

TEST_F(OutputRun, OneLineBookNeverAnalysedIsAnalysedFirst) {
    Load(Crlf({"第一卷 第一章", "甲", "", "", "第一卷 第二章", "乙", "", "", "第二卷 第三章", "丙"}),
         text::LayoutMode::OneLine);
    ASSERT_THAT(book.index.labels, IsEmpty());
    ASSERT_TRUE(Run().completed);
    EXPECT_THAT(FilesUnder(Ebook() / "txt"), ElementsAre("1_1.txt", "1_2.txt", "2_1.txt"));
    EXPECT_EQ(Read(Ebook() / "txt" / "1_2.txt"), "[1_2|第一卷|第二章]document.write ('　　乙<p>')");
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Status), Contains("分析完成，请调整排版！"));
}

TEST_F(OutputRun, ExistingDirectoryKeptWhenTheUserSaysNo) {
    fs::create_directories(Ebook());
    dir.Write((Ebook() / "old.txt").lexically_relative(dir.Path()).string(), "old");
    ui.answers = {Answer::No};
    const OutputResult result = Run();
    EXPECT_FALSE(result.completed);
    EXPECT_EQ(result.ebookDirectory, Ebook());  // recorded all the same
    EXPECT_THAT(FilesUnder(Ebook()), ElementsAre("old.txt"));
    EXPECT_THAT(trashed, IsEmpty());
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Ask), ElementsAre("文件已存在，是否删除到回收站？"));
}

TEST_F(OutputRun, ExistingDirectoryGoesToTheTrashOnYes) {
    fs::create_directories(Ebook());
    dir.Write((Ebook() / "old.txt").lexically_relative(dir.Path()).string(), "old");
    ui.answers = {Answer::Yes};
    ASSERT_TRUE(Run().completed);
    // The old one goes from the temporary name it was exchanged into.
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_EQ(trashed[0].parent_path(), Ebook().parent_path());
    EXPECT_THAT(trashed[0].filename().string(), StartsWith("." + Ebook().filename().string() + ".part-"));
    EXPECT_FALSE(fs::exists(Ebook() / "old.txt"));
    EXPECT_TRUE(fs::exists(Ebook() / "start.htm"));
    EXPECT_EQ(Read(dir.Path() / "trash1" / "old.txt"), "old");
    // The old directory goes only once the new one is complete.
    const auto statuses = ui.Texts(ScriptedUi::Call::Status);
    const auto trashing = std::find(statuses.begin(), statuses.end(), "删除目录到回收站中……");
    ASSERT_NE(trashing, statuses.end());
    EXPECT_NE(std::find(statuses.begin(), trashing, "100%"), trashing);
}

TEST_F(OutputRun, ExistingDirectoryThatCannotBeTrashedStopsTheRun) {
    fs::create_directories(Ebook());
    dir.Write((Ebook() / "old.txt").lexically_relative(dir.Path()).string(), "old");
    ui.answers = {Answer::Yes};
    trashWorks = false;
    EXPECT_FALSE(Run().completed);
    EXPECT_THAT(FilesUnder(Ebook()), ElementsAre("old.txt"));
    for (const auto& e : fs::directory_iterator(Ebook().parent_path())) EXPECT_EQ(e.path(), Ebook());  // no leftovers
    ASSERT_EQ(ui.calls.back().kind, ScriptedUi::Call::Message);
    EXPECT_EQ(ui.calls.back().text, "删除目录失败，请关闭使用中的文件或目录！");
    EXPECT_EQ(ui.calls.back().icon, runtime::Icon::Error);
}

// Where the file system cannot swap two folders in one step the old one
// steps aside and the new one is renamed after it; either way the new one
// ends under the final name, the old one whole in the trash, nothing beside.
TEST_F(OutputRun, ReplacingWithAndWithoutTheExchangeLeavesTheNewInPlaceAndTheOldWholeInTheTrash) {
    for (const bool exchange : {true, false}) {
        SCOPED_TRACE(exchange ? "exchange" : "two renames");
        fs::remove_all(Ebook());
        fs::create_directories(Ebook());
        dir.Write((Ebook() / "old.txt").lexically_relative(dir.Path()).string(), "old");
        trashed.clear();
        ui.answers = {Answer::Yes};
        runtime::SetExchangeUnsupportedForTesting(!exchange);
        const bool completed = Run().completed;
        runtime::SetExchangeUnsupportedForTesting(false);
        ASSERT_TRUE(completed);
        EXPECT_TRUE(fs::exists(Ebook() / "start.htm"));
        EXPECT_FALSE(fs::exists(Ebook() / "old.txt"));
        ASSERT_EQ(trashed.size(), 1u);
        EXPECT_THAT(trashed[0].filename().string(), StartsWith("." + Ebook().filename().string() + ".part-"));
        EXPECT_THAT(FilesUnder(dir.Path() / "trash1"), ElementsAre("old.txt"));
        fs::remove_all(dir.Path() / "trash1");
        for (const auto& e : fs::directory_iterator(Ebook().parent_path()))
            EXPECT_EQ(e.path(), Ebook());

        // The old one cannot go to the trash: it goes back into place, the new one is removed.
        fs::remove_all(Ebook());
        fs::create_directories(Ebook());
        dir.Write((Ebook() / "old.txt").lexically_relative(dir.Path()).string(), "old");
        ui.answers = {Answer::Yes};
        trashWorks = false;
        runtime::SetExchangeUnsupportedForTesting(!exchange);
        const bool kept = !Run().completed;
        runtime::SetExchangeUnsupportedForTesting(false);
        trashWorks = true;
        EXPECT_TRUE(kept);
        EXPECT_THAT(FilesUnder(Ebook()), ElementsAre("old.txt"));
        for (const auto& e : fs::directory_iterator(Ebook().parent_path()))
            EXPECT_EQ(e.path(), Ebook());
        EXPECT_EQ(ui.calls.back().text, "删除目录失败，请关闭使用中的文件或目录！");
    }
}

// A run that died leaves its folder beside the e-book (a new one half filled,
// or the old one on its way to the trash); the next run of the book sends it
// to the trash. A folder a living run is filling, and names that are not the
// run's own, stay.
TEST_F(OutputRun, FoldersLeftByRunsThatDiedGoToTheTrashOnTheNextRun) {
    const std::string name = Ebook().filename().string();
    const fs::path out = Ebook().parent_path();
    for (const std::string leftover : {".part-1", ".part-22", ".part-333", ".part-x", ".part-"}) {
        fs::create_directories(out / ("." + name + leftover));
    }
    dir.Write((out / ("." + name + ".part-4")).lexically_relative(dir.Path()).string(),
              "a file, not a run's");
    fs::create_directories(out / ".other.part-5");
    const runtime::WritingMark living(out / ("." + name + ".part-333"));
    ASSERT_TRUE(Run().completed);
    std::set<std::string> gone;
    for (const auto& p : trashed)
        gone.insert(p.filename().string());
    EXPECT_EQ(gone, (std::set<std::string>{"." + name + ".part-1", "." + name + ".part-22"}));
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(out))
        left.insert(e.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{name, "." + name + ".part-333", "." + name + ".part-x",
                                           "." + name + ".part-", "." + name + ".part-4", ".other.part-5"}));
}

// A title is the e-book's folder name: it must never lead to the Output
// directory itself or out of it, and nothing may be asked or moved first.
TEST_F(OutputRun, TitlesThatAreNoFolderNameAreRefusedBeforeAnything) {
    fs::create_directories(dir.Path() / "out");
    dir.Write("out/keep.txt", "mine");
    struct Case {
        Text title;
        Text message;
    };
    const Case cases[] = {{"", "书名不能为空"},
                          {"请输入书名", "书名不能为空"},
                          {"  ", "书名不能为空"},
                          {".", msg::kTitleNotAName.data()},
                          {"..", msg::kTitleNotAName.data()},
                          {"...", msg::kTitleNotAName.data()},
                          {"../elsewhere", msg::kTitleNotAName.data()},
                          {"a/b", msg::kTitleNotAName.data()},
                          {"a\\b", msg::kTitleNotAName.data()},
                          {"/abs", msg::kTitleNotAName.data()}};
    for (const auto& c : cases) {
        ui = TipUi();
        ui.answers = {Answer::Yes, Answer::Yes};
        job.title = c.title;
        const OutputResult result = Run();
        EXPECT_FALSE(result.completed) << c.title;
        EXPECT_TRUE(result.ebookDirectory.empty()) << c.title;
        EXPECT_THAT(ui.Texts(ScriptedUi::Call::Ask), IsEmpty()) << c.title;
        EXPECT_THAT(ui.Texts(ScriptedUi::Call::Message), ElementsAre(c.message)) << c.title;
    }
    EXPECT_THAT(trashed, IsEmpty());
    EXPECT_THAT(FilesUnder(dir.Path() / "out"), ElementsAre("keep.txt"));
    EXPECT_THAT(FilesUnder(dir.Path()), Not(Contains(HasSubstr("elsewhere"))));
}

TEST_F(OutputRun, TrailingBlanksOfTheTitleAreNotPartOfTheFolderName) {
    job.title = "书  ";
    const OutputResult result = Run();
    EXPECT_TRUE(result.completed);
    EXPECT_EQ(result.ebookDirectory, Ebook());
}

TEST_F(OutputRun, MissingAuthorOrOutputDirectoryIsRefusedBeforeAnything) {
    fs::create_directories(Ebook());
    job.author = "请输入作者";
    EXPECT_FALSE(Run().completed);
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Message), ElementsAre("作者不能为空"));
    job.author = "者";
    job.outputDirectory.clear();
    EXPECT_FALSE(Run().completed);
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Ask), IsEmpty());
    EXPECT_THAT(trashed, IsEmpty());
}

TEST_F(OutputRun, RefusedWithoutChaptersOrTemplates) {
    Load("", text::LayoutMode::SeparateLines);
    EXPECT_FALSE(Run().completed);
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Status), ElementsAre("请先分析文件！！！"));

    ui = TipUi();
    EXPECT_FALSE(CheckOutputReady(text::ChapterIndex(), 1, ui));
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Status), ElementsAre("请先分析文件！！！"));
    Load(Crlf({"卷 一", "甲", "", "", "卷 二", "乙"}), text::LayoutMode::OneLine);
    job.selectedTemplates.clear();
    EXPECT_FALSE(Run().completed);
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Status).back(), "请选择一个模板！！！");
    EXPECT_FALSE(fs::exists(dir.Path() / "out"));
}

// A short story of one chapter, or a text without headings read whole, is
// a book like any other: its fragment, a page table of one row, the pages.
TEST_F(OutputRun, ABookOfOneChapterIsWritten) {
    Load(Crlf({"第一卷", "", "", "第一章", "甲"}), text::LayoutMode::SeparateLines);
    ASSERT_EQ(book.index.ChapterCount(), 1);
    ASSERT_TRUE(Run().completed);
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Status), Not(Contains("请先分析文件！！！")));
    EXPECT_THAT(FilesUnder(Ebook() / "txt"), ElementsAre(book.index.labels[0] + ".txt"));
    EXPECT_THAT(Read(Ebook() / "txt" / (book.index.labels[0] + ".txt")), HasSubstr("甲"));
    EXPECT_THAT(Read(Ebook() / "js" / "page.js"), HasSubstr(book.index.labels[0]));
    EXPECT_TRUE(fs::exists(Ebook() / "start.htm"));
}

TEST_F(OutputRun, PicturesBesideTheBookGoIntoTxt) {
    fs::create_directories(dir.Path() / "pic" / "sub");
    dir.Write("pic/1.jpg", "jpeg");
    dir.Write("pic/2.png", "png");
    ASSERT_TRUE(Run().completed);
    EXPECT_EQ(Read(Ebook() / "txt" / "1.jpg"), "jpeg");
    EXPECT_EQ(Read(Ebook() / "txt" / "2.png"), "png");
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Status), Contains("复制图片中…….."));
}

TEST_F(OutputRun, NoPicturesNoCopyMessage) {
    fs::create_directories(dir.Path() / "pic");
    ASSERT_TRUE(Run().completed);
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Status), Not(Contains("复制图片中……..")));
}

TEST_F(OutputRun, ProgressRunsFromOneToHundredPercent) {
    std::vector<std::string> lines;
    for (int i = 1; i <= 100; ++i) lines.insert(lines.end(), {"卷 第" + std::to_string(i) + "章", "文", "", ""});
    Load(Crlf(lines), text::LayoutMode::OneLine);
    ASSERT_TRUE(Run().completed);
    std::vector<std::string> percents;
    for (const auto& s : ui.Texts(ScriptedUi::Call::Status)) {
        if (!s.empty() && s.back() == '%') percents.push_back(s);
    }
    ASSERT_EQ(percents.size(), 100u);
    EXPECT_EQ(percents.front(), "1%");
    EXPECT_EQ(percents.back(), "100%");
    EXPECT_GE(pumped, 100);
}

// --------------------------------------------------------- directories

TEST(MakeDirectoryPath, CreatesEveryMissingLevel) {
    test::TempDir dir;
    ScriptedUi ui;
    EXPECT_TRUE(MakeDirectoryPath(dir.Path() / "a" / "b" / "c" / "", ui));
    EXPECT_TRUE(fs::is_directory(dir.Path() / "a" / "b" / "c"));
    EXPECT_TRUE(MakeDirectoryPath(dir.Path() / "a", ui));  // there already
    EXPECT_THAT(ui.calls, IsEmpty());
}

TEST(MakeDirectoryPath, AFileInTheWayIsToldAndLevelsMadeSoFarStay) {
    test::TempDir dir;
    ScriptedUi ui;
    fs::create_directories(dir.Path() / "a");
    dir.Write("a/file", "x");
    EXPECT_FALSE(MakeDirectoryPath(dir.Path() / "a" / "file" / "b", ui));
    EXPECT_THAT(
        ui.Texts(ScriptedUi::Call::Message),
        ElementsAre("目录创建失败！\r\n" + runtime::Utf8ToGbk((dir.Path() / "a" / "file" / "b").string()) +
                    "\r\n原因：Not a directory"));
    EXPECT_EQ(ui.calls.back().icon, runtime::Icon::Error);
}

class CopyTree : public ::testing::Test {
protected:
    CopyTree() {
        for (const char* d : {"src/b", "src/a/c"}) fs::create_directories(dir.Path() / d);
        for (const char* f : {"src/f1", "src/a/f2", "src/a/c/f3", "src/b/f4"}) dir.Write(f, f);
    }
    // What appeared in the target since the previous call.
    std::function<void()> Recorder() {
        return [this] {
            std::set<std::string> now;
            for (const auto& e : fs::recursive_directory_iterator(dir.Path() / "dst")) {
                now.insert(e.path().lexically_relative(dir.Path() / "dst").generic_string());
            }
            std::vector<std::string> added;
            std::set_difference(now.begin(), now.end(), seen.begin(), seen.end(), std::back_inserter(added));
            steps.push_back(added.size() == 1 ? added[0] : "?" + std::to_string(added.size()));
            seen = now;
        };
    }
    test::TempDir dir;
    std::set<std::string> seen;
    std::vector<std::string> steps;
};

TEST_F(CopyTree, FoldersBreadthFirstThenFilesFolderByFolder) {
    EXPECT_TRUE(CopyDirectoryTree(dir.Path() / "src", dir.Path() / "dst", Recorder()));
    EXPECT_THAT(steps, ElementsAre("a", "b", "a/c", "f1", "a/f2", "b/f4", "a/c/f3"));
    EXPECT_EQ(Read(dir.Path() / "dst" / "a" / "c" / "f3"), "src/a/c/f3");
}

TEST_F(CopyTree, StopsAtTheFirstFileThatCannotBeCopied) {
    fs::create_directories(dir.Path() / "dst" / "a" / "f2");  // a folder where the file should go
    fs::path failed;
    for (const auto& e : fs::recursive_directory_iterator(dir.Path() / "dst")) {
        seen.insert(e.path().lexically_relative(dir.Path() / "dst").generic_string());
    }
    EXPECT_FALSE(CopyDirectoryTree(dir.Path() / "src", dir.Path() / "dst", Recorder(), &failed));
    EXPECT_EQ(failed, dir.Path() / "dst" / "a" / "f2");
    // Folder a was there already; b/f4 and a/c/f3 are not copied.
    EXPECT_THAT(steps, ElementsAre("?0", "b", "a/c", "f1"));
    EXPECT_FALSE(fs::exists(dir.Path() / "dst" / "b" / "f4"));
}

TEST_F(CopyTree, ReplacesFilesAndCopiesASingleFile) {
    fs::create_directories(dir.Path() / "dst");
    dir.Write("dst/f1", "old");
    EXPECT_TRUE(CopyDirectoryTree(dir.Path() / "src", dir.Path() / "dst"));
    EXPECT_EQ(Read(dir.Path() / "dst" / "f1"), "src/f1");
    EXPECT_TRUE(CopyDirectoryTree(dir.Path() / "src" / "f1", dir.Path() / "single"));
    EXPECT_EQ(Read(dir.Path() / "single"), "src/f1");
    EXPECT_FALSE(CopyDirectoryTree(dir.Path() / "nothing", dir.Path() / "dst2"));
    EXPECT_FALSE(fs::exists(dir.Path() / "dst2"));
}

// ------------------------------------------------ clean and preview

TEST(CleanEbookDirectory, AsksThenMovesAndTellsTheResult) {
    test::TempDir dir;
    const fs::path ebook = dir.Path() / "book";
    const Text shown = runtime::Utf8ToGbk(ebook.string());
    int calls = 0;
    auto mover = [&](const fs::path& p) {
        ++calls;
        return p == ebook;
    };

    TipUi no;
    no.answers = {Answer::No};
    EXPECT_FALSE(CleanEbookDirectory(ebook, no, mover));
    EXPECT_THAT(no.Texts(ScriptedUi::Call::Ask), ElementsAre("是否删除目录“" + shown + "”到回收站？"));
    EXPECT_EQ(calls, 0);

    TipUi yes;
    yes.answers = {Answer::Yes};
    EXPECT_TRUE(CleanEbookDirectory(ebook, yes, mover));
    EXPECT_THAT(yes.tips, ElementsAre("删除HTM目录“" + shown + "”到回收站成功"));

    TipUi failing;
    failing.answers = {Answer::Yes};
    EXPECT_FALSE(CleanEbookDirectory(dir.Path() / "other", failing, mover));
    EXPECT_THAT(failing.tips, ElementsAre(HasSubstr("”到回收站失败")));

    TipUi none;
    EXPECT_FALSE(CleanEbookDirectory({}, none, mover));
    EXPECT_THAT(none.calls, IsEmpty());
}

TEST(CheckPreviewReady, NeedsTheStartPage) {
    test::TempDir dir;
    ScriptedUi ui;
    EXPECT_FALSE(CheckPreviewReady(dir.Path(), ui));
    EXPECT_FALSE(CheckPreviewReady({}, ui));
    EXPECT_THAT(ui.Texts(ScriptedUi::Call::Message),
                ElementsAre("文件不存在！\r\n请先输出文件！！！！", "文件不存在！\r\n请先输出文件！！！！"));
    dir.Write("start.htm", "");
    EXPECT_TRUE(CheckPreviewReady(dir.Path(), ui));
}

}  // namespace
}  // namespace qx::output

namespace qx::output {
namespace {

// A canceller: says yes from its n-th question on.
class CancellingUi : public test::ScriptedUi {
public:
    explicit CancellingUi(int afterStatuses) : m_after(afterStatuses) {}
    bool CancelRequested() override { return static_cast<int>(Texts(Call::Status).size()) >= m_after; }

private:
    int m_after;
};

TEST_F(OutputRun, FragmentsBuiltOnBothCoresAreThoseBuiltOneByOne) {
    const auto corpus = test::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "test novels not found: set QX_CORPUS_DIR to the corpus directory";
    Load(*runtime::ReadWholeFile(corpus / "strict_separate_lines.gbk.txt"), text::LayoutMode::SeparateLines);
    ASSERT_TRUE(Run().completed);
    const PageContext page{job.title, job.author, job.parameters, 1};
    text::Book single;
    single.workingText.Adopt(std::string(book.workingText.Bytes()));
    single.index = book.index;
    for (int k = 0; k < single.index.ChapterCount(); ++k) {
        single.index.cursor = k;
        const Text expected = BuildChapterFragment(single, page);
        const auto file = Ebook() / "txt" / (single.index.labels[static_cast<std::size_t>(k)] + ".txt");
        ASSERT_EQ(Read(file), expected) << k;
    }
    EXPECT_EQ(single.index.sizes, book.index.sizes);
}

TEST_F(OutputRun, ACancelledRunLeavesTheOldDirectoryAndNothingElse) {
    fs::create_directories(Ebook());
    dir.Write((Ebook() / "old.txt").lexically_relative(dir.Path()).string(), "old");
    const auto sizesBefore = book.index.sizes;
    for (const int after : {1, 4}) {  // after copying the templates, after writing the fragments
        CancellingUi cancelling(after);
        cancelling.answers = {Answer::Yes};
        const OutputResult r = RunOutput(job, cancelling);
        EXPECT_FALSE(r.completed) << after;
        EXPECT_TRUE(r.cancelled) << after;
        EXPECT_THAT(FilesUnder(Ebook()), ElementsAre("old.txt")) << after;
        for (const auto& e : fs::directory_iterator(Ebook().parent_path())) EXPECT_EQ(e.path(), Ebook()) << after;
        EXPECT_TRUE(trashed.empty()) << after;
        EXPECT_EQ(book.index.sizes, sizesBefore) << after;
    }
}

}  // namespace
}  // namespace qx::output
