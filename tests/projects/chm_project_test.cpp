// Texts here are compiled as GBK, like the program's own.
#include "projects/chm_project.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <thread>  // steady_clock and durations (<chrono> itself does not compile with GBK texts)

#include "projects/project_test_support.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx::projects {
namespace {

namespace fs = std::filesystem;
using test::U8Bytes;
using test::U8Path;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

// A project template with both placeholders in the places the default has them.
const std::string kSampleHhp =
    "[OPTIONS]\r\n"
    "Compiled File=..\\{文件名}.chm\r\n"
    "Default Topic=start.htm\r\n"
    "Language=\r\n"
    "Title={标题}\r\n"
    "\r\n"
    "[WINDOWS]\r\n"
    "main=\"{标题}\",,,\"start.htm\",\"start.htm\",,,,,0x2A120\r\n"
    "\r\n"
    "[FILES]";

std::vector<std::string> Generic(const std::vector<fs::path>& paths) {
    std::vector<std::string> out;
    for (const auto& p : paths) out.push_back(p.generic_string());
    return out;
}

std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (true) {
        const auto end = text.find("\r\n", start);
        lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return lines;
}

// ---------------------------------------------------------------------------
// Title dialog proposals

TEST(ChmProposals, EbookTitleAndFileNameFollowTheBookData) {
    EXPECT_EQ(ProposeEbookTitle("西游记", "吴承恩", "本书由某组制作\r\n版权归原作者", "Zarvo"),
              "西游记 作者：吴承恩 - 本书由某组制作\r\n版权归原作者 - Zarvo");
    EXPECT_EQ(ProposeChmFileName("西游记", "3_12", "吴承恩"), "西游记(1~3_12)作者：吴承恩");
    EXPECT_EQ(FullBookChmFileName("西游记", "吴承恩"), "《西游记》作者：吴承恩");
}

TEST(ChmProposals, LastChapterLabelIsTheLabelOfTheLastTitle) {
    text::ChapterIndex index;
    index.titles = {"第一章", "第二章", "第三章"};
    index.labels = {"1_1", "1_2", "2_1", "9_9"};  // a stale extra label is not the last chapter's
    EXPECT_EQ(LastChapterLabel(index), "2_1");
    index.labels = {"1_1"};  // loaded in one-line mode without analysis: too few labels
    EXPECT_EQ(LastChapterLabel(index), "");
    EXPECT_EQ(LastChapterLabel(text::ChapterIndex{}), "");
}

TEST(ChmProposals, FullBookBoxOffersTheCompleteNameAndUntickingRestoresTheProposal) {
    const std::string proposed = ProposeChmFileName("书名", "3_12", "某人");
    std::string box = "用户打的名字";  // typed into 编辑框2 before the box was clicked
    box = TitleDialogFileName(true, "书名", "某人", proposed);
    EXPECT_EQ(box, "《书名》作者：某人");
    box = TitleDialogFileName(false, "书名", "某人", proposed);
    EXPECT_EQ(box, "书名(1~3_12)作者：某人");
}

class ProposeChmTest : public ::testing::Test {
protected:
    void SetUp() override {
        out = tmp.Path() / "out";
        book = out / U8Path(u8"书名");
        test::WriteFile(book / "start.htm", "<html></html>");
    }
    ChmRequest Request() const {
        ChmRequest r;
        r.recordedEbookDirectory = book;
        r.outputDirectory = out;
        r.title = "书名";
        r.author = "某人";
        r.lastChapterLabel = "3_12";
        r.rights = "版权";
        r.maker = "Zarvo";
        return r;
    }
    test::TempDir tmp;
    fs::path out, book;
    test::ScriptedUi ui;
};

TEST_F(ProposeChmTest, WithoutOutputAsksForTheOutputFirst) {
    ChmRequest r = Request();
    r.recordedEbookDirectory.clear();
    EXPECT_FALSE(ProposeChm(r, ui).ready);
    fs::remove(book / "start.htm");
    EXPECT_FALSE(ProposeChm(Request(), ui).ready);
    EXPECT_THAT(ui.Texts(test::ScriptedUi::Call::Status), ElementsAre("请先输出文件！！！", "请先输出文件！！！"));
}

TEST_F(ProposeChmTest, ProposesTitleAndFileNameForTheOutputDirectory) {
    const ChmProposal p = ProposeChm(Request(), ui);
    ASSERT_TRUE(p.ready);
    EXPECT_EQ(p.ebookDirectory, book);
    EXPECT_EQ(p.ebookTitle, "书名 作者：某人 - 版权 - Zarvo");
    EXPECT_EQ(p.chmFileName, "书名(1~3_12)作者：某人");
    EXPECT_TRUE(ui.calls.empty());
}

TEST_F(ProposeChmTest, TitleEditedAfterTheOutputKeepsTheDirectoryThatHoldsTheBook) {
    ChmRequest r = Request();
    r.title = "新书名";  // no e-book directory of that name
    ChmProposal p = ProposeChm(r, ui);
    ASSERT_TRUE(p.ready);
    EXPECT_EQ(p.ebookDirectory, book);
    EXPECT_EQ(p.chmFileName, "新书名(1~3_12)作者：某人");

    // Once a book of the new title exists, that directory is the one compiled.
    test::WriteFile(out / U8Path(u8"新书名") / "start.htm", "<html></html>");
    p = ProposeChm(r, ui);
    EXPECT_EQ(p.ebookDirectory, out / U8Path(u8"新书名"));

    // Trailing blanks of the title are not part of the directory's name.
    r.recordedEbookDirectory = out / U8Path(u8"新书名");
    r.title = "书名 　";
    EXPECT_EQ(ProposeChm(r, ui).ebookDirectory, book);
}

// ---------------------------------------------------------------------------
// File list

TEST(ChmFileList, TopFilesFirstThenEachSubdirectoryWithDeeperContentBeforeItsOwnFiles) {
    test::TempDir tmp;
    const fs::path d = tmp.Path();
    for (const char* f : {"start.htm", "b.htm", "A.txt", "index1/index.htm", "index1/chapter.htm",
                          "index1/img/a.gif", "index1/img/deep/x.png", "index1/img/deep/y.png", "index1/temp.hhp",
                          "js/page.js", "js/chapter.js", "txt/1_1.txt", "txt/1_2.txt",
                          "temp.hhp", "temp_chmcmd.hhp"}) {
        test::WriteFile(d / f, "x");
    }
    fs::create_directories(d / "empty");
    fs::create_directories(d / "pic" / "nothing");

    EXPECT_THAT(Generic(ListEbookFiles(d)),
                ElementsAre("A.txt", "b.htm", "start.htm",  // top level, the project files left out
                            "index1/img/deep/x.png", "index1/img/deep/y.png", "index1/img/a.gif",
                            "index1/chapter.htm", "index1/index.htm", "index1/temp.hhp",  // only the top is the project's
                            "js/chapter.js", "js/page.js",
                            "txt/1_1.txt", "txt/1_2.txt"));
}

TEST(ChmFileList, FollowsLinksToFilesButNotToDirectoriesAndSkipsPipes) {
    test::TempDir tmp;
    const fs::path d = tmp.Path() / "book";
    test::WriteFile(d / "start.htm", "x");
    test::WriteFile(tmp.Path() / "outside.txt", "x");
    fs::create_symlink(tmp.Path() / "outside.txt", d / "linked.txt");
    fs::create_directory_symlink(d, d / "loop");  // would list the book forever
    ASSERT_EQ(::mkfifo((d / "pipe").c_str(), 0600), 0);  // a compiler reading it would never end
    EXPECT_THAT(Generic(ListEbookFiles(d)), ElementsAre("linked.txt", "start.htm"));
}

// ---------------------------------------------------------------------------
// temp.hhp

TEST(ChmProjectText, FilledTemplateFollowedByFullPathsWithBackslashes) {
    const fs::path dir = U8Path(u8"/srv/电子书/书名");
    const std::string text = BuildChmProject(kSampleHhp, "书名 作者：某人", "书名(1~2_3)作者：某人", dir,
                                             {"start.htm", "index1/index.htm", U8Path(u8"txt/插图.jpg")});
    EXPECT_EQ(text,
              "[OPTIONS]\r\n"
              "Compiled File=..\\书名(1~2_3)作者：某人.chm\r\n"
              "Default Topic=start.htm\r\n"
              "Language=\r\n"
              "Title=书名 作者：某人\r\n"
              "\r\n"
              "[WINDOWS]\r\n"
              "main=\"书名 作者：某人\",,,\"start.htm\",\"start.htm\",,,,,0x2A120\r\n"
              "\r\n"
              "[FILES]\r\n"
              "/srv/电子书/书名\\start.htm\r\n"
              "/srv/电子书/书名\\index1\\index.htm\r\n"
              "/srv/电子书/书名\\txt\\插图.jpg");
}

TEST(ChmProjectText, LineBreakInTheTitleBecomesABlankSoTheProjectKeepsItsLines) {
    const std::string text = BuildChmProject(kSampleHhp, "书 - 第一行\r\n第二行 - Zarvo", "书", "/b", {});
    EXPECT_THAT(text, HasSubstr("\r\nTitle=书 - 第一行 第二行 - Zarvo\r\n"));
    EXPECT_THAT(text, HasSubstr("\r\nmain=\"书 - 第一行 第二行 - Zarvo\",,,\"start.htm\""));
}

TEST(ChmProjectText, TemplateWithoutFilesSectionStillGetsTheListAtItsEnd) {
    EXPECT_EQ(BuildChmProject("[OPTIONS]\r\nTitle={标题}", "T", "N", "/b", {"start.htm", "js/a.js"}),
              "[OPTIONS]\r\nTitle=T\r\n/b\\start.htm\r\n/b\\js\\a.js");
}

TEST(ChmProjectText, BuiltInTemplateNamesTheChmInTheOutputDirectory) {
    const auto hhp = test::BuiltInParameter("20_HHP.txt");
    if (!hhp) GTEST_SKIP() << "data/params/20_HHP.txt not found";
    const fs::path dir = "/out/book";
    const std::string text = BuildChmProject(*hhp, "书名 作者：某人", "书名(1~1_2)作者：某人", dir, {"start.htm"});
    const auto lines = Split(text);
    ASSERT_EQ(lines.size(), 24u);  // 23 template lines and one file
    EXPECT_EQ(lines[3], "Compiled File=..\\书名(1~1_2)作者：某人.chm");
    EXPECT_EQ(lines[7], "Default Topic=start.htm");
    EXPECT_EQ(lines[12], "Title=书名 作者：某人");
    EXPECT_THAT(lines[20], ::testing::StartsWith("main=\"书名 作者：某人\",,,\"start.htm\",\"start.htm\","));
    EXPECT_EQ(lines[22], "[FILES]");
    EXPECT_EQ(lines[23], "/out/book\\start.htm");
    EXPECT_EQ(CompiledFileOf(text, dir), fs::path("/out") / U8Path(u8"书名(1~1_2)作者：某人.chm"));
}

TEST(ChmProjectText, CompiledFileIsFoundRelativeToTheBook) {
    const fs::path dir = "/out/book";
    EXPECT_EQ(CompiledFileOf("[OPTIONS]\r\nCompiled File=..\\x.chm", dir), fs::path("/out/x.chm"));
    EXPECT_EQ(CompiledFileOf("[OPTIONS]\r\ncompiled file = sub\\y.chm\r\n", dir), fs::path("/out/book/sub/y.chm"));
    EXPECT_EQ(CompiledFileOf("[OPTIONS]\r\nCompiled File=/elsewhere/z.chm", dir), fs::path("/elsewhere/z.chm"));
    // Named nowhere, or only outside [OPTIONS]: the compiler names it after the project.
    EXPECT_EQ(CompiledFileOf("[OPTIONS]\r\nTitle=t", dir), fs::path("/out/book/temp.chm"));
    EXPECT_EQ(CompiledFileOf("[WINDOWS]\r\nCompiled File=..\\w.chm", dir), fs::path("/out/book/temp.chm"));
}

// ---------------------------------------------------------------------------
// The project chmcmd reads

TEST(ChmcmdProject, RelativeForwardSlashPathsInTheFileSystemsEncoding) {
    test::TempDir tmp;
    const fs::path dir = tmp.Path() / U8Path(u8"书名");
    const std::string filled = "[OPTIONS]\r\n"
                               "Compiled File=..\\书名(1~2_3)作者：某人.chm\r\n"
                               "Contents File=index1\\toc.hhc\r\n"
                               "Default Topic=index1\\index.htm\r\n"
                               "Language=\r\n"
                               "Title=书名 作者：某人\r\n"
                               "\r\n"
                               "[WINDOWS]\r\n"
                               "main=\"书\\名, 作者\",\"index1\\toc.hhc\",,\"index1\\index.htm\",\"start.htm\",,,,,0x2A120\r\n"
                               "\r\n"
                               "[FILES]";
    const std::string adapted =
        AdaptProjectForChmcmd(filled, dir, {"start.htm", "index1/index.htm", U8Path(u8"txt/插图.jpg")});
    EXPECT_THAT(Split(adapted),
                ElementsAreArray(std::vector<std::string>{
                    "[OPTIONS]",
                    U8Bytes(u8"Compiled File=../书名(1~2_3)作者：某人.chm"),
                    "Contents File=index1/toc.hhc",
                    "Default Topic=index1/index.htm",
                    "Language=0x804",             // the pages are GBK
                    "Title=书名 作者：某人",      // texts stay GBK
                    "",
                    "[WINDOWS]",
                    "main=\"书\\名, 作者\",\"index1/toc.hhc\",,\"index1/index.htm\",\"start.htm\",,,,,0x2A120",
                    "",
                    "[FILES]",
                    "start.htm",
                    "index1/index.htm",
                    U8Bytes(u8"txt/插图.jpg"),
                }));
}

TEST(ChmcmdProject, TemplateFilesAreKeptOnlyWhenTheyExistAndMissingOptionsAreAdded) {
    test::TempDir tmp;
    const fs::path dir = tmp.Path() / "book";
    test::WriteFile(dir / "extra" / "note.htm", "x");
    test::WriteFile(dir / "start.htm", "x");
    const std::string filled = "[OPTIONS]\r\n"
                               "Title=T\r\n"
                               "Language=0x404\r\n"
                               "[FILES]\r\n"
                               "extra\\note.htm\r\n" +
                               (dir / "start.htm").string() + "\r\n" +  // absolute: made relative, once
                               "missing.htm\r\n"                        // chmcmd would stop here
                               "; a comment\r\n"
                               "[ALIAS]\r\n"
                               "a=b";
    EXPECT_THAT(Split(AdaptProjectForChmcmd(filled, dir, {"start.htm", "extra/note.htm", "js/a.js"})),
                ElementsAre("[OPTIONS]", "Compiled File=temp.chm", "Title=T", "Language=0x404", "[FILES]",
                            "extra/note.htm", "start.htm", "js/a.js", "[ALIAS]", "a=b"));

    EXPECT_THAT(Split(AdaptProjectForChmcmd("[OPTIONS]\r\nCompiled File=" + (tmp.Path() / "x.chm").string(), dir,
                                            {"start.htm"})),
                ElementsAre("[OPTIONS]", "Language=0x804", "Compiled File=../x.chm", "[FILES]", "start.htm"));
    EXPECT_THAT(Split(AdaptProjectForChmcmd("Title=T", dir, {"start.htm"})),
                ElementsAre("[OPTIONS]", "Compiled File=temp.chm", "Language=0x804", "Title=T", "[FILES]",
                            "start.htm"));
}

TEST(ChmFileName, NamesThatCannotStandForAFileAreRefused) {
    EXPECT_TRUE(IsValidChmFileName("书名(1~3_12)作者：某人"));
    EXPECT_TRUE(IsValidChmFileName("《书名》作者：某人"));
    EXPECT_TRUE(IsValidChmFileName("乗亅"));  // second bytes 0x5C and 0x7C are parts of characters
    for (const char* bad : {"", "   ", "　", "a/b", "a\\b", "a:b", "a*b", "a?b", "a\"b", "a<b", "a>b", "a|b",
                            "a\r\nb", "../x"}) {
        EXPECT_FALSE(IsValidChmFileName(bad)) << bad;
    }
}

// ---------------------------------------------------------------------------
// The compiler run, with fake compilers

class CompileChmTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = tmp.Path() / "home";
        out = tmp.Path() / "out";
        book = out / U8Path(u8"书名");
        bin = tmp.Path() / "bin";
        save = tmp.Path() / "save";
        fs::create_directories(home);
        fs::create_directories(bin);
        fs::create_directories(save);
        test::WriteFile(book / "start.htm", "<html>start</html>");
        test::WriteFile(book / "txt" / "1_1.txt", "document.write(\"正文\");");
        path.emplace("PATH", bin.string());  // only the fakes of each test
        saveEnv.emplace("QX_FAKE_SAVE", save.string());
        chmEnv.emplace("QX_FAKE_CHM", Chm().string());
    }

    ChmJob Job() const {
        ChmJob job;
        job.ebookDirectory = book;
        job.programHome = home;
        job.hhpTemplate = kSampleHhp;
        job.ebookTitle = "书名 作者：某人";
        job.chmFileName = "书名(1~1_1)作者：某人";
        return job;
    }
    fs::path Chm() const { return out / U8Path(u8"书名(1~1_1)作者：某人.chm"); }

    // A chmcmd that keeps what it was given and writes the CHM its project names.
    void FakeChmcmd(const std::string& afterwards = "") {
        test::WriteScript(bin / "chmcmd",
                          "echo \"$@\" > \"$QX_FAKE_SAVE/args\"\n"
                          "pwd > \"$QX_FAKE_SAVE/cwd\"\n"
                          "cp temp.hhp \"$QX_FAKE_SAVE/temp.hhp\"\n"
                          "cp \"$2\" \"$QX_FAKE_SAVE/adapted.hhp\"\n"
                          "chm=$(sed -n 's/^Compiled File=//p' \"$2\" | tr -d '\\r')\n"
                          "echo \"Writing CHM $chm\"\n" +
                              (afterwards.empty() ? "printf 'ITSF' > \"$chm\"\n" : afterwards));
    }
    void ExpectProjectsRemoved() const {
        EXPECT_FALSE(fs::exists(book / "temp.hhp"));
        EXPECT_FALSE(fs::exists(book / "temp_chmcmd.hhp"));
    }
    std::vector<test::ScriptedUi::Call> MessagesOf(const test::ScriptedUi& u) const {
        std::vector<test::ScriptedUi::Call> m;
        for (const auto& c : u.calls) {
            if (c.kind == test::ScriptedUi::Call::Message) m.push_back(c);
        }
        return m;
    }

    test::TempDir tmp;
    fs::path home, out, book, bin, save;
    std::optional<test::ScopedEnv> path, saveEnv, chmEnv;
    test::ScriptedUi ui;
};

TEST_F(CompileChmTest, ChmcmdRunsInTheBookOnItsOwnProjectAndSuccessIsReported) {
    FakeChmcmd();
    const ChmResult r = CompileChm(Job(), ui);
    EXPECT_EQ(r.outcome, ChmOutcome::Compiled);
    EXPECT_EQ(r.chmFile, Chm());
    EXPECT_EQ(test::ReadFile(Chm()), "ITSF");
    EXPECT_TRUE(r.showPreviewButtons);
    EXPECT_EQ(ui.LastStatus(), "编译CHM成功！");
    EXPECT_TRUE(MessagesOf(ui).empty());
    EXPECT_THAT(r.compilerOutput, HasSubstr("Writing CHM ../"));
    ExpectProjectsRemoved();

    EXPECT_EQ(test::ReadFile(save / "args"), "--no-html-scan temp_chmcmd.hhp\n");
    EXPECT_EQ(test::ReadFile(save / "cwd"), book.string() + "\n");
    const std::vector<fs::path> files = {"start.htm", "txt/1_1.txt"};
    EXPECT_EQ(test::ReadFile(save / "temp.hhp"),
              BuildChmProject(kSampleHhp, "书名 作者：某人", "书名(1~1_1)作者：某人", book, files));
    EXPECT_THAT(test::ReadFile(save / "adapted.hhp"), HasSubstr("[FILES]\r\nstart.htm\r\ntxt/1_1.txt"));
}

struct FailingCompiler {
    const char* name;
    std::string script;       // what the fake chmcmd does after keeping its input
    bool oldChm;              // a CHM of an earlier run is there before
    const char* reason;       // part of the error message
};
void PrintTo(const FailingCompiler& c, std::ostream* os) { *os << c.name; }

class CompileChmFailure : public CompileChmTest, public ::testing::WithParamInterface<FailingCompiler> {};

TEST_P(CompileChmFailure, IsReportedAsAFailureWithTheCompilersOutput) {
    const FailingCompiler& c = GetParam();
    FakeChmcmd("echo 'compiler says: boom'\n" + c.script);
    if (c.oldChm) {
        test::WriteFile(Chm(), "old CHM");
        fs::last_write_time(Chm(), fs::file_time_type::clock::now() - std::chrono::hours(1));
    }
    const ChmResult r = CompileChm(Job(), ui);
    EXPECT_EQ(r.outcome, ChmOutcome::Failed);
    EXPECT_TRUE(r.showPreviewButtons);
    EXPECT_EQ(ui.LastStatus(), "编译CHM失败！");
    const auto messages = MessagesOf(ui);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].icon, runtime::Icon::Error);
    EXPECT_THAT(messages[0].text, ::testing::StartsWith("编译CHM失败！\r\n"));
    EXPECT_THAT(messages[0].text, HasSubstr(c.reason));
    EXPECT_THAT(messages[0].text, HasSubstr("compiler says: boom"));
    EXPECT_THAT(r.compilerOutput, HasSubstr("compiler says: boom"));
    ExpectProjectsRemoved();
    if (c.oldChm) {
        EXPECT_EQ(test::ReadFile(Chm()), "old CHM");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CompileChmFailure,
    ::testing::Values(
        FailingCompiler{"NonZeroExit", "printf 'ITSF' > \"$chm\"\nexit 217\n", false, "退出代码是 217"},
        FailingCompiler{"WritesNothing", "exit 0\n", false, "没有写出CHM文件"},
        FailingCompiler{"LeavesTheOldChmUntouched", "exit 0\n", true, "没有写出CHM文件"},
        FailingCompiler{"WritesAnEmptyChm", ": > \"$chm\"\nexit 0\n", false, "CHM文件是空的"},
        FailingCompiler{"Crashes", "kill -9 $$\n", false, "异常退出"}));

TEST_F(CompileChmTest, HhcInTheProgramHomeGetsTheProjectPathAndItsExitCodeIsNotTakenForFailure) {
    FakeChmcmd();  // present, but hhc.exe comes first
    test::WriteScript(home / "chm" / "hhc.exe",
                      "echo \"$#\" > \"$QX_FAKE_SAVE/argc\"\n"
                      "echo \"$1\" > \"$QX_FAKE_SAVE/arg\"\n"
                      "cp \"$1\" \"$QX_FAKE_SAVE/hhc.hhp\"\n"
                      "printf 'ITSF' > \"$QX_FAKE_CHM\"\n"
                      "exit 1\n");  // what the HTML Help compiler returns on success
    const ChmResult r = CompileChm(Job(), ui);
    EXPECT_EQ(r.outcome, ChmOutcome::Compiled);
    EXPECT_EQ(ui.LastStatus(), "编译CHM成功！");
    EXPECT_EQ(test::ReadFile(save / "argc"), "1\n");
    EXPECT_EQ(test::ReadFile(save / "arg"), (book / "temp.hhp").string() + "\n");
    EXPECT_EQ(test::ReadFile(save / "hhc.hhp"), BuildChmProject(kSampleHhp, "书名 作者：某人", "书名(1~1_1)作者：某人",
                                                               book, {"start.htm", "txt/1_1.txt"}));
    EXPECT_FALSE(fs::exists(save / "args"));  // chmcmd did not run
    ExpectProjectsRemoved();
}

TEST_F(CompileChmTest, HhcThatCannotRunHereFallsBackToChmcmd) {
    FakeChmcmd();
    test::WriteScript(home / "chm" / "hhc.exe", "");
    test::WriteFile(home / "chm" / "hhc.exe", std::string("MZ\x90\0\3\0\0\0", 8));  // a Windows program
    const ChmResult r = CompileChm(Job(), ui);
    EXPECT_EQ(r.outcome, ChmOutcome::Compiled);
    EXPECT_TRUE(fs::exists(save / "args"));
}

TEST_F(CompileChmTest, NoCompilerShowsTheMessageAndStillRemovesTheProject) {
    const ChmResult r = CompileChm(Job(), ui);
    EXPECT_EQ(r.outcome, ChmOutcome::CompilerMissing);
    EXPECT_TRUE(r.showPreviewButtons);
    const auto messages = MessagesOf(ui);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "CHM编译程序HHC.EXE不存在");
    EXPECT_EQ(messages[0].icon, runtime::Icon::None);
    ExpectProjectsRemoved();
    EXPECT_FALSE(fs::exists(Chm()));
}

TEST_F(CompileChmTest, StoppingTheWaitEndsTheCompilerQuickly) {
    test::WriteScript(bin / "chmcmd", "exec sleep 30");
    int polls = 0;
    ChmJob job = Job();
    job.keepWaiting = [&] { return ++polls < 3; };
    const auto start = std::chrono::steady_clock::now();
    const ChmResult r = CompileChm(job, ui);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(r.outcome, ChmOutcome::Stopped);
    EXPECT_EQ(polls, 3);
    EXPECT_EQ(ui.LastStatus(), "编译CHM已中止");
    ExpectProjectsRemoved();
}

TEST_F(CompileChmTest, ACompilerPastTheTimeLimitIsStoppedAndReported) {
    test::WriteScript(bin / "chmcmd", "exec sleep 30");
    ChmJob job = Job();
    job.timeLimitSeconds = 1;
    const ChmResult r = CompileChm(job, ui);
    EXPECT_EQ(r.outcome, ChmOutcome::Failed);
    ASSERT_EQ(MessagesOf(ui).size(), 1u);
    EXPECT_THAT(MessagesOf(ui)[0].text, HasSubstr("超过 1 秒"));
    ExpectProjectsRemoved();
}

TEST_F(CompileChmTest, RefusedBeforeAnythingIsWritten) {
    FakeChmcmd();
    ChmJob job = Job();
    job.chmFileName = "../../elsewhere";
    ChmResult r = CompileChm(job, ui);
    EXPECT_EQ(r.outcome, ChmOutcome::BadFileName);
    EXPECT_FALSE(r.showPreviewButtons);
    ASSERT_EQ(MessagesOf(ui).size(), 1u);
    EXPECT_EQ(MessagesOf(ui)[0].icon, runtime::Icon::Error);

    fs::remove(book / "start.htm");
    r = CompileChm(Job(), ui);
    EXPECT_EQ(r.outcome, ChmOutcome::NotReady);
    EXPECT_EQ(ui.LastStatus(), "请先输出文件！！！");

    EXPECT_FALSE(fs::exists(save / "args"));  // the compiler never ran
    ExpectProjectsRemoved();
}

TEST(ChmPreview, OpensTheChmInTheOutputDirectoryOrSaysItIsMissing) {
    test::TempDir tmp;
    test::ScriptedUi ui;
    EXPECT_FALSE(ChmToOpen(tmp.Path(), "书名(1~1_1)作者：某人", ui));
    ASSERT_EQ(ui.calls.size(), 1u);
    EXPECT_EQ(ui.calls[0].text, "文件不存在！\r\n请先编译文件！！！！");
    EXPECT_EQ(ui.calls[0].icon, runtime::Icon::Error);

    const fs::path chm = tmp.Path() / U8Path(u8"书名(1~1_1)作者：某人.chm");
    test::WriteFile(chm, "ITSF");
    EXPECT_EQ(ChmToOpen(tmp.Path(), "书名(1~1_1)作者：某人", ui), chm);
    EXPECT_EQ(ui.calls.size(), 1u);
}

}  // namespace
}  // namespace qx::projects
