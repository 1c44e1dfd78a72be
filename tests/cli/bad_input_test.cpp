// The catalogue of bad input, through the core and through the command
// line: what is refused says why in the program's own words and writes
// nothing; what is handled loads, with a warning where something was off.
// Narrow literals here are GBK; u8"" literals are what the command line prints.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli.h"
#include "runtime/encoding.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "text/messages.h"
#include "text/next_step.h"

namespace qx::cli {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct BadInput {
    const char* what;
    std::string bytes;                 // the file's content (unused for the special paths below)
    std::string_view message;          // GBK: what the core says (a prefix of its message)
    bool refused;
};

void PrintTo(const BadInput& c, std::ostream* os) { *os << c.what; }

std::string Repeat(std::string_view s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

class BadInputCatalogue : public ::testing::TestWithParam<BadInput> {
protected:
    fs::path Book() {
        const BadInput& c = GetParam();
        const std::string what = c.what;
        if (what == "a folder") {
            fs::create_directories(dir.Path() / "folder.txt");
            return dir.Path() / "folder.txt";
        }
        if (what == "an unreadable file") return "/proc/self/mem";  // opens, cannot be read
        return dir.Write("book.txt", c.bytes);
    }
    test::TempDir dir;
};

TEST_P(BadInputCatalogue, IsToldThroughTheCoreAndTheCommandLine) {
    const BadInput& c = GetParam();
    const fs::path book = Book();

    text::FilePage page;
    page.inputPath = book.string();
    page.title = "书";
    page.author = "人";
    page.detectEncoding = true;
    page.chooseMode = true;
    text::Book loaded;
    test::ScriptedUi ui;
    const auto result = text::RunNextStep(page, loaded, ui);
    const auto messages = ui.Texts(test::ScriptedUi::Call::Message);
    const auto statuses = ui.Texts(test::ScriptedUi::Call::Status);
    if (c.refused) {
        EXPECT_EQ(result, text::NextStepResult::Stopped);
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].substr(0, c.message.size()), c.message);
        EXPECT_FALSE(loaded.workingText.IsOpen());
    } else {
        EXPECT_EQ(result, text::NextStepResult::Loaded);
        EXPECT_TRUE(messages.empty());
        if (!c.message.empty()) {
            EXPECT_NE(std::find_if(statuses.begin(), statuses.end(),
                                   [&](const std::string& s) { return s.starts_with(c.message); }),
                      statuses.end());
        }
    }

    // (A folder given to convert is a folder of books: one book's command.)
    std::ostringstream out, err;
    const fs::path ebooks = dir.Path() / "out";
    const bool folder = std::string_view(c.what) == "a folder";
    const int code = RunCli({folder ? "preview" : "convert", book.string(), "--title", runtime::GbkToUtf8("书"), "--author",
                             runtime::GbkToUtf8("人"), "--home", (dir.Path() / "home").string(), "--out",
                             ebooks.string(), folder ? "--quiet" : "--epub-only"},
                            out, err);
    if (c.refused) {
        EXPECT_EQ(code, 1) << err.str();
        EXPECT_THAT(err.str(), HasSubstr(runtime::GbkToUtf8(c.message))) << err.str();
        EXPECT_FALSE(fs::exists(ebooks)) << "nothing is written";
    } else {
        EXPECT_EQ(code, 0) << err.str();
        EXPECT_TRUE(fs::exists(ebooks / runtime::GbkToUtf8("书.epub")));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, BadInputCatalogue,
    ::testing::Values(
        BadInput{"an empty file", "", text::msg::kEmptyBook, true},
        BadInput{"blank lines only", "\r\n   \r\n　　\r\n\t\r\n", text::msg::kEmptyBook, true},
        BadInput{"a picture renamed .txt", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + std::string(500, '\x01'),
                 text::msg::kNotText, true},
        BadInput{"a file of zero bytes", std::string(4096, '\0'), text::msg::kNotText, true},
        BadInput{"binary noise", Repeat(std::string("\x01\x02\x03\x04\xFE\x00\x10", 7), 300), text::msg::kNotText, true},
        BadInput{"a folder", "", text::msg::kInputIsFolder, true},
        BadInput{"an unreadable file", "", text::msg::kCannotReadInput, true},
        BadInput{"invalid GBK", "第一章 甲\r\n正文\x81\x20和\xFF的\r\n第二章 乙\r\n正文\r\n", "文中有 ", false},
        BadInput{"invalid UTF-8", "\xE7\xAC\xAC\xE4\xB8\x80\xE7\xAB\xA0\r\n\xE6\x96\x87\xC3\x28\xE5\r\nabc\r\n", "文中有 ", false},
        BadInput{"one line of 20 MB", std::string(20 << 20, 'a'), "", false},
        BadInput{"100,000 chapters", [] {
                     std::string s;
                     for (int i = 1; i <= 100000; ++i) s += "Chapter " + std::to_string(i) + "\r\nx\r\n";
                     return s;
                 }(),
                 "", false}));

TEST(BadInputCatalogueMore, TitleTooLongForAFolderIsRefusedAndControlCharactersInNamesAreBlanks) {
    test::TempDir dir;
    const auto book = dir.Write("book.txt", "第一卷\r\n\r\n\r\n第一章\r\n正文\r\n");
    std::ostringstream out, err;
    const std::string longTitle = runtime::GbkToUtf8(Repeat("长", 300));
    EXPECT_EQ(RunCli({"convert", book.string(), "--title", longTitle, "--author", "a", "--out",
                      (dir.Path() / "out").string(), "--epub-only"},
                     out, err),
              1);
    EXPECT_THAT(err.str(), HasSubstr(runtime::GbkToUtf8("书名太长")));

    // A file name holding a newline gives a title without it.
    const auto named = dir.Write(runtime::GbkToUtf8("《新\n书》某人.txt"), "第一卷\r\n\r\n\r\n第一章\r\n正文\r\n");
    std::ostringstream out2, err2;
    EXPECT_EQ(RunCli({"convert", named.string(), "--out", (dir.Path() / "out2").string(), "--epub-only"}, out2,
                     err2),
              0)
        << err2.str();
    EXPECT_TRUE(fs::exists(dir.Path() / "out2" / runtime::GbkToUtf8("《新 书》.epub")));
}

TEST(BadInputCatalogueMore, AFileLargerThanTheProgramReadsIsRefusedUpFrontWithItsSize) {
    test::TempDir dir;
    const auto big = dir.Path() / "big.txt";
    {
        std::ofstream f(big, std::ios::binary);
        f.seekp(static_cast<std::streamoff>(text::kLargestBook) + 1);
        f.put('x');  // sparse: nothing is written but the last byte
    }
    text::FilePage page;
    page.inputPath = big.string();
    page.title = "书";
    page.author = "人";
    text::Book loaded;
    test::ScriptedUi ui;
    EXPECT_EQ(text::RunNextStep(page, loaded, ui), text::NextStepResult::Stopped);
    ASSERT_EQ(ui.Texts(test::ScriptedUi::Call::Message).size(), 1u);
    EXPECT_THAT(ui.Texts(test::ScriptedUi::Call::Message)[0], HasSubstr("1024 MB"));
}

}  // namespace
}  // namespace qx::cli
