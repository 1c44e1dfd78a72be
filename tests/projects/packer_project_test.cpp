// Texts here are compiled as GBK, like the program's own.
#include "projects/packer_project.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "projects/process.h"
#include "projects/project_test_support.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx::projects {
namespace {

namespace fs = std::filesystem;
using test::U8Bytes;
using test::U8Path;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

// A project template of the packer's form with the seven placeholders.
const std::string kSampleEpj =
    "<?xml version = \"1.0\"?>\r\n"
    "\r\n"
    "<project>\r\n"
    "   <config>\r\n"
    "      <title>{书名}</title>\r\n"
    "      <author>{作者}</author>\r\n"
    "      <copyright>{版权}</copyright>\r\n"
    "      <target_directory>{输出目录}</target_directory>\r\n"
    "      <ebk_filename>{输出文件}</ebk_filename>\r\n"
    "      <ebook_directory>{目录}</ebook_directory>\r\n"
    "      <start_page>{首页}</start_page>\r\n"
    "   </config>\r\n"
    "   <toc/>\r\n"
    "</project>";

// ---------------------------------------------------------------------------

TEST(BracketedTitle, AddsEachBracketOnlyWhenTheTitleHasNoneOfItsKind) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"某书", "《某书》"},
        {"《某书》续", "《某书》续"},  // both anywhere: unchanged
        {"某书》", "《某书》"},        // only the closing one: only the opening one is added
        {"《某书", "《某书》"},
        {"上》下《", "上》下《"},
        {"", "《》"},
        // 啊豆 is B0 A1 B6 B9: the bytes A1 B6 of "《" across two characters are no bracket.
        {"啊豆", "《啊豆》"},
    };
    for (const auto& [title, expected] : cases) EXPECT_EQ(BracketedTitle(title), expected) << title;
}

TEST(PackerProjectText, PlaceholdersInOrderWithValuesEscapedForXml) {
    PackerFields f;
    f.title = "某书";
    f.author = "某人";
    f.rights = "版权所有\r\n第二行";
    f.outputDirectory = "/out";
    f.ebookDirectory = "/out/某书";
    const std::string text = FillPackerProject(kSampleEpj, f);
    EXPECT_THAT(text, ::testing::StartsWith("<?xml version = \"1.0\" encoding = \"GBK\"?>\r\n\r\n<project>\r\n"));
    EXPECT_THAT(text, HasSubstr("<title>《某书》</title>\r\n      <author>某人</author>\r\n"
                                "      <copyright>版权所有\r\n第二行</copyright>\r\n"
                                "      <target_directory>/out</target_directory>\r\n"
                                "      <ebk_filename>《某书》作者：某人</ebk_filename>\r\n"
                                "      <ebook_directory>/out/某书</ebook_directory>\r\n"
                                "      <start_page>/out/某书/start.htm</start_page>\r\n"));

    // A value holding a later placeholder is filled by the later step; XML
    // characters in values do not break the project.
    f.author = "{目录} & <某>";
    const std::string again = FillPackerProject(kSampleEpj, f);
    EXPECT_THAT(again, HasSubstr("<author>/out/某书 &amp; &lt;某&gt;</author>"));
    EXPECT_THAT(again, HasSubstr("<ebk_filename>《某书》作者：/out/某书 &amp; &lt;某&gt;</ebk_filename>"));
}

TEST(PackerProjectText, AnEncodingAlreadyDeclaredOrNoDeclarationIsLeftAlone) {
    PackerFields f;
    f.title = "某书";
    EXPECT_EQ(FillPackerProject("<?xml version=\"1.0\" encoding=\"gb2312\"?><t>{书名}</t>", f),
              "<?xml version=\"1.0\" encoding=\"gb2312\"?><t>《某书》</t>");
    EXPECT_EQ(FillPackerProject("<t>{书名}</t>", f), "<t>《某书》</t>");
}

// ---------------------------------------------------------------------------
// Writing the project, read back by an XML parser

// Runs xmllint; its output is UTF-8.
struct Lint {
    bool wellFormed = false;
    std::string output;
};
Lint RunXmllint(const std::vector<fs::path>& args) {
    const auto xmllint = FindOnPath("xmllint");
    if (!xmllint) return {};
    ProcessCall call;
    call.program = *xmllint;
    call.arguments = args;
    const ProcessRun run = RunAndWait(call);
    return {run.end == ProcessRun::End::Exited && run.exitCode == 0, run.output};
}

// The text of /project/config/<element>, without the line end xmllint adds.
std::string XPathString(const fs::path& file, const std::string& element) {
    std::string s = RunXmllint({"--xpath", "string(/project/config/" + element + ")", file}).output;
    if (s.ends_with('\n')) s.pop_back();
    return s;
}

struct TitleCase {
    const char* name;
    std::u8string title;
    std::u8string bracketed;
    std::u8string fileName;
};
void PrintTo(const TitleCase& c, std::ostream* os) { *os << c.name; }

class PackerProjectFile : public ::testing::TestWithParam<TitleCase> {
protected:
    void SetUp() override {
        if (!FindOnPath("xmllint")) GTEST_SKIP() << "xmllint is not installed";
        out = tmp.Path() / U8Path(u8"我的 电子书");  // a blank in the path, too
        book = out / U8Path(GetParam().title);
        test::WriteFile(book / "start.htm", "<html></html>");
    }
    PackerProjectJob Job(const std::string& epj) const {
        PackerProjectJob job;
        job.recordedEbookDirectory = book;
        job.outputDirectory = out;
        job.title = runtime::Utf8ToGbk(U8Bytes(GetParam().title));
        job.author = "某人";
        job.epjTemplate = epj;
        job.rights = "版权 & 声明";
        return job;
    }
    void ExpectReadBack(const PackerProjectResult& r) const {
        const TitleCase& c = GetParam();
        ASSERT_TRUE(r.written);
        EXPECT_EQ(r.projectPath, out / U8Path(c.fileName));
        EXPECT_EQ(r.ebookDirectory, book);
        const Lint lint = RunXmllint({"--noout", r.projectPath});
        ASSERT_TRUE(lint.wellFormed) << lint.output;
        EXPECT_EQ(XPathString(r.projectPath, "title"), U8Bytes(c.bracketed));
        EXPECT_EQ(XPathString(r.projectPath, "author"), U8Bytes(u8"某人"));
        EXPECT_EQ(XPathString(r.projectPath, "copyright"), U8Bytes(u8"版权 & 声明"));
        EXPECT_EQ(XPathString(r.projectPath, "ebk_filename"), U8Bytes(c.bracketed) + U8Bytes(u8"作者：某人"));
        EXPECT_EQ(XPathString(r.projectPath, "target_directory"), out.string());
        EXPECT_EQ(XPathString(r.projectPath, "ebook_directory"), book.string());
        EXPECT_EQ(XPathString(r.projectPath, "start_page"), (book / "start.htm").string());
    }

    test::TempDir tmp;
    fs::path out, book;
    test::ScriptedUi ui;
};

TEST_P(PackerProjectFile, SampleTemplateReadsBackWithTheBookData) {
    const PackerProjectResult r = WritePackerProject(Job(kSampleEpj), ui);
    ExpectReadBack(r);
    EXPECT_EQ(ui.LastStatus(), "输出EPJ成功！");
}

TEST_P(PackerProjectFile, BuiltInTemplateReadsBackWithTheBookData) {
    const auto epj = test::BuiltInParameter("21_EPJ.txt");
    if (!epj) GTEST_SKIP() << "data/params/21_EPJ.txt not found";
    const PackerProjectResult r = WritePackerProject(Job(*epj), ui);
    ExpectReadBack(r);
    EXPECT_EQ(XPathString(r.projectPath, "guid"), "{71012DD2-9349-409D-808B-FC5C2E754E1C}");
    EXPECT_EQ(XPathString(r.projectPath, "compress_option"), "better ratio");
}

INSTANTIATE_TEST_SUITE_P(DesignTitles, PackerProjectFile,
                         ::testing::Values(TitleCase{"Plain", u8"某书", u8"《某书》", u8"某书.epj"},
                                           TitleCase{"BothBrackets", u8"《某书》续", u8"《某书》续", u8"《某书》续.epj"},
                                           TitleCase{"OnlyClosing", u8"某书》", u8"《某书》", u8"某书》.epj"}));

class WritePackerProjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        out = tmp.Path() / "out";
        book = out / U8Path(u8"某书");
        test::WriteFile(book / "start.htm", "<html></html>");
    }
    PackerProjectJob Job() const {
        PackerProjectJob job;
        job.recordedEbookDirectory = book;
        job.outputDirectory = out;
        job.title = "某书";
        job.author = "某人";
        job.epjTemplate = kSampleEpj;
        job.rights = "版权";
        return job;
    }
    test::TempDir tmp;
    fs::path out, book;
    test::ScriptedUi ui;
};

TEST_F(WritePackerProjectTest, WithoutOutputNothingIsWritten) {
    fs::remove(book / "start.htm");
    const PackerProjectResult r = WritePackerProject(Job(), ui);
    EXPECT_FALSE(r.written);
    EXPECT_EQ(ui.LastStatus(), "请先输出文件！！！");
    EXPECT_FALSE(fs::exists(out / U8Path(u8"某书.epj")));
}

TEST_F(WritePackerProjectTest, WritingAgainReplacesTheProjectWithTheCurrentData) {
    ASSERT_TRUE(WritePackerProject(Job(), ui).written);
    PackerProjectJob job = Job();
    job.author = "另一人";
    const PackerProjectResult r = WritePackerProject(job, ui);
    ASSERT_TRUE(r.written);
    const std::string text = test::ReadFile(r.projectPath);
    EXPECT_THAT(text, HasSubstr("<author>另一人</author>"));
    EXPECT_THAT(text, ::testing::Not(HasSubstr("<author>某人</author>")));
}

TEST_F(WritePackerProjectTest, TitleEditedAfterTheOutputStillNamesTheDirectoryWithTheBook) {
    PackerProjectJob job = Job();
    job.title = "新书";
    const PackerProjectResult r = WritePackerProject(job, ui);
    ASSERT_TRUE(r.written);
    EXPECT_EQ(r.ebookDirectory, book);
    EXPECT_EQ(r.projectPath, out / U8Path(u8"新书.epj"));
    EXPECT_THAT(test::ReadFile(r.projectPath), HasSubstr("<ebook_directory>" + runtime::Utf8ToGbk(book.string()) + "<"));
}

TEST_F(WritePackerProjectTest, AFailedWriteIsReportedNotCalledASuccess) {
    PackerProjectJob job = Job();
    job.outputDirectory = tmp.Path() / "no" / "such" / "dir";
    const PackerProjectResult r = WritePackerProject(job, ui);
    EXPECT_FALSE(r.written);
    ASSERT_FALSE(ui.calls.empty());
    EXPECT_EQ(ui.calls.back().kind, test::ScriptedUi::Call::Message);
    EXPECT_EQ(ui.calls.back().icon, runtime::Icon::Error);
    EXPECT_THAT(ui.calls.back().text, HasSubstr("输出EPJ失败"));
    EXPECT_TRUE(ui.Texts(test::ScriptedUi::Call::Status).empty());
}

// ---------------------------------------------------------------------------
// Starting the packer

TEST(StartPacker, ThePackerGetsTheProjectPathAsOneArgumentEvenWithBlanks) {
    test::TempDir tmp;
    test::ScriptedUi ui;
    const fs::path project = tmp.Path() / U8Path(u8"我的 电子书") / U8Path(u8"某 书.epj");
    test::WriteFile(project, "<project/>");
    const fs::path packer = tmp.Path() / "EPExpress";
    const fs::path seen = tmp.Path() / "seen";
    test::WriteScript(packer, "printf '%s|' \"$#\" \"$@\" > \"" + seen.string() + ".part\"\nmv \"" + seen.string() +
                                  ".part\" \"" + seen.string() + "\"");
    EXPECT_EQ(StartPacker(packer, project, ui), PackerStart::Started);
    EXPECT_TRUE(ui.calls.empty());
    for (int i = 0; i < 100 && !fs::exists(seen); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(test::ReadFile(seen), "1|" + project.string() + "|");
}

TEST(StartPacker, MissingProjectOrPackerIsToldPlainly) {
    test::TempDir tmp;
    test::ScriptedUi ui;
    const fs::path project = tmp.Path() / "book.epj";
    EXPECT_EQ(StartPacker(tmp.Path() / "EPExpress.exe", project, ui), PackerStart::NoProject);
    test::WriteFile(project, "<project/>");
    // The packer runs on Windows only; elsewhere there is nothing to locate.
    EXPECT_EQ(StartPacker("C:\\Program Files\\eBook Pack Express\\EPExpress.exe", project, ui),
              PackerStart::Unavailable);
    test::WriteFile(tmp.Path() / "EPExpress.exe", "MZ");  // there, but not a program of this system
    EXPECT_EQ(StartPacker(tmp.Path() / "EPExpress.exe", project, ui), PackerStart::Unavailable);
    ASSERT_EQ(ui.calls.size(), 3u);
    EXPECT_EQ(ui.calls[0].icon, runtime::Icon::Error);
    EXPECT_EQ(ui.calls[1].icon, runtime::Icon::Information);
    EXPECT_THAT(ui.calls[1].text, HasSubstr(runtime::Utf8ToGbk(project.string())));
}

}  // namespace
}  // namespace qx::projects
