// Narrow literals here are GBK; u8"" literals are what the command line prints.
#include "cli/cli.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "runtime/files.h"

#include <fstream>
#include <sstream>

#include "support/temp_dir.h"

namespace qx::cli {
namespace {

using ::testing::HasSubstr;

std::string Utf8(std::u8string_view s) { return std::string(s.begin(), s.end()); }

struct CliRun {
    int code;
    std::string out;
    std::string err;
};

CliRun Cli(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int code = RunCli(args, out, err);
    return {code, out.str(), err.str()};
}

class Inspect : public ::testing::Test {
protected:
    test::TempDir dir;
};

TEST_F(Inspect, JsonHoldsChaptersTreeAndSize) {
    const auto book = dir.Write("book.txt", "第一卷\r\n\r\n\r\n第一章\r\n正文\r\n");
    const CliRun r = Cli({"inspect", book.string(), "--title", "t", "--author", "a", "--json"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, Utf8(u8"{\"chapters\":[{\"title\":\"第一卷　第一章\",\"volume\":\"1\",\"label\":\"1_1\","
                          u8"\"start\":20,\"end\":26}],\"tree\":[{\"text\":\"第一卷\",\"parent\":-1},"
                          u8"{\"text\":\"第一章\",\"parent\":0}],\"bytes\":26,\"encoding\":\"GBK\","
                          u8"\"mode\":\"separate\",\"warnings\":[]}\n"));
}

TEST_F(Inspect, JsonEscapesQuotesBackslashesAndMarksBadBytes) {
    const auto book = dir.Write("book.txt", "\"a\\b\" \xFF\x81\r\n");
    const CliRun r = Cli({"inspect", book.string(), "--title", "t", "--author", "a", "--json", "--mode", "one-line"});
    EXPECT_EQ(r.code, 0) << r.err;
    // The backslash was doubled by the Next step, then escaped for JSON.
    EXPECT_THAT(r.out, HasSubstr(Utf8(u8"\"title\":\"\\\"a\\\\\\\\b\\\" \uF8F5\uFFFD\"")));
}

TEST_F(Inspect, OutlineShowsVolumesChaptersAndLabels) {
    const auto book = dir.Write("book.txt", "第一卷\r\n\r\n\r\n第一章\r\n正文\r\n\r\n\r\n第二章\r\n正文\r\n");
    const CliRun r = Cli({"inspect", book.string(), "--title", "t", "--author", "a"});
    EXPECT_EQ(r.code, 0);
    EXPECT_THAT(r.out, HasSubstr(Utf8(u8"第一卷\n    1_1  第一章")));
    EXPECT_THAT(r.out, HasSubstr(Utf8(u8"    1_2  第二章")));
    EXPECT_THAT(r.out, HasSubstr("2 chapters, 1 volumes"));
    EXPECT_THAT(r.err, HasSubstr(Utf8(u8"载入完成，请进行分析！")));
}

TEST_F(Inspect, TitleAndAuthorComeFromTheFileName) {
    const auto book = dir.Write(Utf8(u8"西游记 吴承恩.txt"), "甲\r\n");
    EXPECT_EQ(Cli({"inspect", book.string()}).code, 0);
    const auto nameless = dir.Write(Utf8(u8"西游记.txt"), "甲\r\n");
    const CliRun r = Cli({"inspect", nameless.string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("--title and --author"));
    EXPECT_EQ(Cli({"inspect", nameless.string(), "--title", "x", "--author", "y"}).code, 0);
}

TEST_F(Inspect, Utf16QuestionIsAnsweredOnlyFromFlags) {
    const std::string utf16("\xFF\xFE" "a\0\0\x30\r\0\n\0", 10);
    const auto book = dir.Write("book.txt", utf16);
    // Read as it is (no detection), the text asks the question of UTF-16.
    const CliRun refused = Cli({"inspect", book.string(), "--title", "t", "--author", "a", "--convert", "none"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_THAT(refused.err, HasSubstr("--yes or --no"));
    EXPECT_EQ(refused.out, "");
    const CliRun yes = Cli({"inspect", book.string(), "--title", "t", "--author", "a", "--yes", "--json", "--mode",
                            "one-line", "--convert", "none"});
    EXPECT_EQ(yes.code, 0);
    EXPECT_THAT(yes.out, HasSubstr(Utf8(u8"\"title\":\"a\"")));  // converted, then trimmed
    EXPECT_THAT(yes.out, HasSubstr(Utf8(u8"\"encoding\":\"UTF-16LE\"")));
    const CliRun no = Cli({"inspect", book.string(), "--title", "t", "--author", "a", "--no", "--json", "--convert", "none"});
    EXPECT_EQ(no.code, 0);
    EXPECT_THAT(no.out, HasSubstr(Utf8(u8"\"encoding\":\"GBK\"")));
    // Detected (the default), the text converts without a question.
    const CliRun detected = Cli({"inspect", book.string(), "--title", "t", "--author", "a", "--json", "--mode", "one-line"});
    EXPECT_EQ(detected.code, 0) << detected.err;
    EXPECT_THAT(detected.out, HasSubstr(Utf8(u8"\"title\":\"a\"")));
}

TEST_F(Inspect, OneLineModeLaysOutUnlessToldNotTo) {
    const auto book = dir.Write("book.txt", "甲 天下 一\r\nx\r\n\r\n\r\n甲 天下 二\r\ny\r\n");
    const CliRun laid = Cli({"inspect", book.string(), "--title", "t", "--author", "a", "--mode", "one-line", "--json"});
    EXPECT_THAT(laid.out, HasSubstr(Utf8(u8"{\"text\":\"甲 天下\",\"parent\":-1}")));
    const CliRun plain = Cli({"inspect", book.string(), "--title", "t", "--author", "a", "--mode", "one-line",
                              "--json", "--no-layout"});
    EXPECT_THAT(plain.out, HasSubstr(Utf8(u8"{\"text\":\"甲\",\"parent\":-1}")));
    EXPECT_THAT(plain.out, HasSubstr(Utf8(u8"{\"text\":\"天下 一\",\"parent\":0}")));
}

TEST_F(Inspect, PreviewWritesThePageAndLeavesIt) {
    const auto book = dir.Write("book.txt", "第一卷\r\n\r\n\r\n第一章\r\n正文\r\n");
    const auto out = dir.Path() / "new" / "dir";
    const CliRun r = Cli({"preview", book.string(), "--title", "t", "--author", "a", "--out", out.string()});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, (out / "preview.htm").string() + "\n");
    std::ifstream page(out / "preview.htm", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(page)), std::istreambuf_iterator<char>());
    EXPECT_THAT(bytes, HasSubstr("第一卷&nbsp;&nbsp;&nbsp; [ 分卷阅读 ]"));
    EXPECT_THAT(bytes, HasSubstr("<title>t - a - Zarvo</title>"));

    const auto empty = dir.Write("empty.txt", "");
    EXPECT_EQ(Cli({"preview", empty.string(), "--title", "t", "--author", "a", "--out", out.string()}).code, 1);
}

// A program home with the built-in templates, as a build stages it.
class Convert : public ::testing::Test {
protected:
    void SetUp() override {
        const char* env = std::getenv("QX_DATA_DIR");
        const std::string data = env ? env : QX_SOURCE_DIR "/data";
        std::filesystem::create_directories(home);
        std::filesystem::copy(std::filesystem::path(data) / "template", home / "template",
                              std::filesystem::copy_options::recursive);
    }
    std::string Book() {
        return dir.Write("book.txt", "第一卷\r\n\r\n\r\n第一章\r\n正文一\r\n\r\n\r\n第二章\r\n正文二\r\n").string();
    }
    CliRun Run(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"convert", Book(), "--title", Utf8(u8"书"), "--author", Utf8(u8"人"), "--home", home.string(),
                                      "--out", out.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        return Cli(args);
    }

    test::TempDir dir;
    std::filesystem::path home = dir.Path() / "home";
    std::filesystem::path out = dir.Path() / "out";
};

TEST_F(Convert, WritesTheEbookAndTheBuiltInTableInAFreshHome) {
    const CliRun r = Run();
    ASSERT_EQ(r.code, 0) << r.err;
    const auto ebook = out / Utf8(u8"书");
    EXPECT_EQ(r.out, ebook.string() + "\n");
    EXPECT_THAT(r.err, HasSubstr("wrote the built-in one"));
    EXPECT_THAT(r.err, HasSubstr("100%"));
    for (const char* f : {"start.htm", "js/page.js", "js/chapter.js", "txt/1_1.txt", "txt/1_2.txt", "index1/chapter.htm",
                          "index1/index.htm"}) {
        EXPECT_TRUE(std::filesystem::exists(ebook / f)) << f;
    }
    EXPECT_FALSE(std::filesystem::exists(ebook / "js/mb.js"));  // one template: no menu
    EXPECT_TRUE(std::filesystem::exists(home / "data.vdb"));
}

TEST_F(Convert, AnExistingEbookIsLeftAloneWithoutOverwrite) {
    ASSERT_EQ(Run().code, 0);
    const auto ebook = out / Utf8(u8"书");
    std::ofstream(ebook / "mine.txt") << "keep";
    const CliRun refused = Run();
    EXPECT_EQ(refused.code, 1);
    EXPECT_THAT(refused.err, HasSubstr("--overwrite"));
    EXPECT_TRUE(std::filesystem::exists(ebook / "mine.txt"));
}

TEST_F(Convert, EpubIsWrittenBesideOrInsteadOfTheHtmlEbook) {
    const CliRun both = Run({"--epub"});
    ASSERT_EQ(both.code, 0) << both.err;
    const auto epub = out / Utf8(u8"书.epub");
    EXPECT_EQ(both.out, (out / Utf8(u8"书")).string() + "\n" + epub.string() + "\n");
    ASSERT_TRUE(std::filesystem::exists(epub));

    // An existing EPUB is replaced only with --overwrite; otherwise nothing is touched.
    std::ofstream(epub, std::ios::trunc) << "mine";
    const CliRun refused = Run({"--epub-only"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_THAT(refused.err, HasSubstr("--overwrite"));
    EXPECT_EQ(*runtime::ReadWholeFile(epub), "mine");
    const CliRun replaced = Run({"--epub-only", "--overwrite"});
    EXPECT_EQ(replaced.code, 0) << replaced.err;
    EXPECT_EQ(replaced.out, epub.string() + "\n");
    EXPECT_EQ(runtime::ReadWholeFile(epub)->substr(0, 2), "PK");

    // A style sheet of the user's; bad combinations are usage errors.
    const auto css = dir.Write("my.css", "p { margin: 0; }");
    EXPECT_EQ(Run({"--epub-only", "--overwrite", "--css", css.string()}).code, 0);
    EXPECT_EQ(Run({"--cover", css.string()}).code, 2);
    EXPECT_EQ(Run({"--epub-only", "--chm"}).code, 2);
    const CliRun badCover = Run({"--epub-only", "--overwrite", "--cover", (dir.Path() / "none.jpg").string()});
    EXPECT_EQ(badCover.code, 1);
    EXPECT_THAT(badCover.err, HasSubstr("none.jpg"));
}

TEST_F(Convert, QuietPrintsNothingButWhatItWroteAndStillSaysWhyItFailed) {
    const CliRun quiet = Run({"--quiet", "--epub"});
    ASSERT_EQ(quiet.code, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, (out / Utf8(u8"书")).string() + "\n" + (out / Utf8(u8"书.epub")).string() + "\n");
    const CliRun failed = Run({"--quiet", "--template", "nope"});
    EXPECT_EQ(failed.code, 1);
    EXPECT_THAT(failed.err, HasSubstr("nope"));
    std::filesystem::remove_all(home / "template");
    const CliRun noTemplate = Run({"--quiet", "--overwrite"});
    EXPECT_EQ(noTemplate.code, 1);
    EXPECT_THAT(noTemplate.err, HasSubstr(Utf8(u8"error: 请选择一个模板！！！")));
}

TEST_F(Convert, SeveralBooksAreConvertedSideBySideAndOneFailureDoesNotStopTheOthers) {
    setenv("QX_PROGRAM", QX_PROGRAM_PATH, 1);
    const auto books = dir.Path() / "books";
    std::filesystem::create_directories(books);
    for (const char8_t* name : {u8"甲书 某人.txt", u8"乙书 某人.txt", u8"丙书 某人.txt"}) {
        dir.Write("books/" + Utf8(name), "第一章\r\n正文\r\n\r\n\r\n第二章\r\n正文\r\n");
    }
    dir.Write("books/notes.md", "not a book");
    const auto unreadable = books / Utf8(u8"丁书 某人.txt");
    std::filesystem::create_symlink(dir.Path() / "gone.txt", unreadable);  // nothing to read behind it
    const auto nameless = dir.Write("books/nameless.txt", "x\r\n");
    const CliRun r = Cli({"convert", books.string(), "--home", home.string(), "--out",
                          out.string(), "--jobs", "2"});
    EXPECT_EQ(r.code, 1) << r.err;
    for (const char8_t* title : {u8"甲书", u8"乙书", u8"丙书"}) {
        const std::string t = Utf8(title);
        EXPECT_TRUE(std::filesystem::exists(out / t / "start.htm")) << t;
        EXPECT_THAT(r.out, HasSubstr("done: " + (books / (t + Utf8(u8" 某人.txt"))).string() + ": " + (out / t).string()));
    }
    EXPECT_THAT(r.out, HasSubstr("failed: " + nameless.string() + ": error: the file name gives no title"));
    EXPECT_THAT(r.out, HasSubstr("failed: " + unreadable.string() + ": "));
    EXPECT_THAT(r.out, ::testing::Not(HasSubstr("notes.md")));
    // One line per book, and a title or author for several is refused.
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 5);
    EXPECT_EQ(Cli({"convert", books.string(), "--title", "x", "--home", home.string()}).code, 2);
    EXPECT_EQ(Cli({"convert", books.string(), "--jobs", "0", "--home", home.string()}).code, 2);
}

// A lead byte that no trail byte follows used to swallow the quote after it,
// and the whole book's navigation script failed to parse.
TEST_F(Convert, AStrayLeadByteBeforeAQuoteLeavesEveryScriptWhole) {
    if (std::system("node --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "node is not installed";
    for (const char quote : {'\'', '"'}) {
        const std::string bytes = std::string("x\x81") + quote + "\r\ny\r\n\r\n\r\nz\r\nw\r\n";
        const auto book = dir.Write("stray.txt", bytes);
        const CliRun r = Cli({"convert", book.string(), "--title", "s", "--author", "a", "--home", home.string(),
                              "--out", out.string(), "--mode", "separate", "--convert", "none", "--overwrite"});
        ASSERT_EQ(r.code, 0) << r.err;
        for (const auto& e : std::filesystem::recursive_directory_iterator(out / "s")) {
            const auto name = e.path().filename().string();
            if (!e.is_regular_file() || !(e.path().extension() == ".js" || e.path().parent_path().filename() == "txt")) continue;
            // Read byte for byte (latin1): a GBK file is checked for its syntax, not its text.
            const std::string check = "node -e \"new Function(require('fs').readFileSync(process.argv[1], 'latin1'))\" '" +
                                      e.path().string() + "' > /dev/null 2>&1";
            EXPECT_EQ(std::system(check.c_str()), 0) << name << " with " << quote;
        }
    }
}

TEST_F(Convert, UnknownTemplateAndMissingTitleAreRefused) {
    const CliRun r = Run({"--template", "nope"});
    EXPECT_EQ(r.code, 1);
    EXPECT_THAT(r.err, HasSubstr("no template nope"));
    EXPECT_FALSE(std::filesystem::exists(out));
    const auto nameless = dir.Write(Utf8(u8"无名.txt"), "x\r\n");
    EXPECT_EQ(Cli({"convert", nameless.string(), "--home", home.string(), "--out", out.string()}).code, 1);
}

TEST_F(Convert, ParamsListGetSetAndRestore) {
    const CliRun list = Cli({"params", "list", "--home", home.string()});
    ASSERT_EQ(list.code, 0) << list.err;
    EXPECT_THAT(list.out, HasSubstr(Utf8(u8"24\t制作\t5 bytes")));
    EXPECT_EQ(Cli({"params", "get", "24", "--home", home.string()}).out, "Zarvo");
    const auto file = dir.Write("maker.txt", Utf8(u8"某某工作室"));
    EXPECT_EQ(Cli({"params", "set", "24", file.string(), "--home", home.string()}).code, 0);
    EXPECT_EQ(Cli({"params", "get", "24", "--home", home.string()}).out, Utf8(u8"某某工作室"));
    EXPECT_EQ(Cli({"params", "get", "24", "--home", home.string(), "--raw"}).out, "某某工作室");  // GBK
    EXPECT_EQ(Cli({"params", "restore", "--home", home.string()}).code, 0);
    EXPECT_EQ(Cli({"params", "get", "24", "--home", home.string()}).out, "Zarvo");
    EXPECT_EQ(Cli({"params", "get", "25", "--home", home.string()}).code, 2);
    EXPECT_EQ(Cli({"params", "get", "x", "--home", home.string()}).code, 2);
    EXPECT_EQ(Cli({"params", "set", "3", (dir.Path() / "none").string(), "--home", home.string()}).code, 1);
}

TEST(Version, IsPrintedAloneAndCommandWordsAreKnown) {
    const CliRun r = Cli({"--version"});
    EXPECT_EQ(r.code, 0);
    EXPECT_THAT(r.out, ::testing::MatchesRegex("qxebook [0-9]+\\.[0-9]+(\\.[0-9]+)?\n"));
    EXPECT_TRUE(r.err.empty());
    // A book named like a command is not taken for the file to open.
    for (const char* word : {"inspect", "preview", "convert", "params", "image", "gui"}) EXPECT_TRUE(IsCommand(word)) << word;
    EXPECT_FALSE(IsCommand("book.txt"));
    EXPECT_EQ(Cli({"nosuch.txt"}).code, 2);
}

TEST_F(Inspect, BadInputIsToldWithANonZeroExit) {
    const auto book = dir.Write("book.txt", "x\r\n");
    const CliRun missing = Cli({"inspect", (dir.Path() / "nope.txt").string(), "--title", "t", "--author", "a"});
    EXPECT_EQ(missing.code, 1);
    EXPECT_THAT(missing.err, HasSubstr("nope.txt"));
    EXPECT_EQ(Cli({"inspect", book.string(), "--bogus"}).code, 2);
    EXPECT_EQ(Cli({"inspect", book.string(), "--mode", "sideways"}).code, 2);
    EXPECT_EQ(Cli({"inspect", book.string(), "--convert", "latin1"}).code, 2);
    EXPECT_EQ(Cli({"inspect", book.string(), "--yes", "--no"}).code, 2);
    EXPECT_EQ(Cli({"inspect"}).code, 2);
    EXPECT_EQ(Cli({"inspect", book.string(), "--title"}).code, 2);
    EXPECT_EQ(Cli({"frobnicate"}).code, 2);
    EXPECT_EQ(Cli({}).code, 2);
    EXPECT_EQ(Cli({"--help"}).code, 0);
}

}  // namespace
}  // namespace qx::cli
