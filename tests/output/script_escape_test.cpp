// Texts here are compiled as GBK, like the program's own.
#include <gtest/gtest.h>

#include <string>

#include "app/default_parameters.h"
#include "output/page_generation.h"
#include "runtime/gbk_text.h"
#include "support/scripted_ui.h"
#include "text/chapters.h"

namespace qx::output {
namespace {

// What a browser reading GBK sees: true when every quote and line end of
// `s` is escaped and no backslash is left at its end. A lead byte takes the
// byte after it as its trail byte whenever that byte can be one (5C, the
// backslash, can).
bool OneStringForABrowser(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const std::size_t n = runtime::CharLengthAt(s, i);
        if (n == 1 && s[i] == '\\') {
            if (i + 1 >= s.size()) return false;
            i += runtime::CharLengthAt(s, i + 1) == 1 ? 2 : 1;
            continue;
        }
        if (n == 1 && (s[i] == '\'' || s[i] == '"' || s[i] == '\r' || s[i] == '\n')) return false;
        i += n;
    }
    return true;
}

struct EscapeCase {
    const char* text;
    const char* escaped;  // Literal backslashes
};

// A stray lead byte before a quote or a line end used to take the escaping
// backslash for its trail byte: the quote then closed the string.
TEST(EscapeForScript, AStrayLeadByteNeverTakesTheEscapingBackslash) {
    const EscapeCase cases[] = {
        {"x\x81'", "x\\ufffd\\'"},
        {"x\x81\"", "x\\ufffd\\\""},
        {"\xfe\r\n", "\\ufffd\\r\\n"},
        {"\x81\n", "\\ufffd\\n"},
        {"a\x81", "a\\ufffd"},         // at the end: it would join what the text is put before
        {"\x81" "a'", "\x81" "a\\'"},  // before a letter: shown as it is, U+FFFD and the letter
        {"\x81\\'", "\x81\\\\'"},      // 81 5C is a character; the quote after it is escaped
        {"中'文\"", "中\\'文\\\""},
        {"\x80'\xff'", "\x80\\'\xff\\'"},  // single bytes that are no lead bytes
    };
    for (const auto& c : cases) {
        const std::string escaped = EscapeForScript(c.text, Backslashes::Literal);
        EXPECT_EQ(escaped, c.escaped) << c.text;
        EXPECT_TRUE(OneStringForABrowser(escaped)) << c.text;
        EXPECT_TRUE(OneStringForABrowser(EscapeForScript(c.text, Backslashes::Escaped))) << c.text;
    }
}

// A placeholder's bytes may stand across characters: C6 7B is one GBK
// character whose trail byte is '{'. Only a placeholder that begins a
// character is one; replacing the other would leave C6 to take the first
// byte put in as its trail byte.
TEST(SubstitutePlaceholders, OnlyPlaceholdersThatBeginACharacterAreFilled) {
    const ParameterTexts parameters{};
    const PageContext page{"书", "者'", &parameters, 1};
    test::ScriptedUi ui;
    const std::string inside = std::string("\xc6") + "{作者}";
    EXPECT_EQ(SubstitutePlaceholders(inside, page, ui), inside);
    EXPECT_EQ(SubstitutePlaceholders("x{作者}\xc6{", page, ui), "x者'\xc6{");
    EXPECT_EQ(SubstitutePlaceholders("{书名}{作者}", page, ui), "书者'");
    // Whole characters of every length before the placeholder, with no
    // ASCII between them to say where one begins.
    const std::string han = "中文中文";
    EXPECT_EQ(SubstitutePlaceholders(han + "\xc6{作者}" + han + "{作者}", page, ui), han + "\xc6{作者}" + han + "者'");
    EXPECT_EQ(SubstitutePlaceholders("\x81\x30\x81\x30{作者}", page, ui), "\x81\x30\x81\x30者'");
    // 81 30 81 7B is no four-byte character: 81 and 30 stand alone and 81 7B
    // is one character.
    EXPECT_EQ(SubstitutePlaceholders("\x81\x30\x81{作者}", page, ui), "\x81\x30\x81{作者}");
}

// A book whose first chapter title (in separate-lines mode)
// ends in a stray lead byte before a quote.
TEST(EscapeForScript, TheFragmentsAndPageTableOfAStrayLeadByteBookStayWhole) {
    for (const char quote : {'\'', '"'}) {
        text::Book book;
        book.workingText.Adopt(std::string("x\x81") + quote + "\r\ny\r\n\r\n\r\nz\r\nw\r\n");
        test::ScriptedUi ui;
        text::LoadChapters(book, text::LayoutMode::SeparateLines, ui);
        ASSERT_EQ(book.index.ChapterCount(), 2);
        const ParameterTexts parameters = app::DefaultParameterTexts();
        const PageContext page{"书", "者", &parameters, 1};
        for (int k = 0; k < book.index.ChapterCount(); ++k) {
            int size = 0;
            const std::string fragment = BuildChapterFragmentOf(book, k, page, &size);
            EXPECT_EQ(fragment.find(std::string("\x81\\") + quote), std::string::npos) << k;
        }
        const std::string lines = BuildPageTableLines(book.index);
        EXPECT_NE(lines.find(std::string("x\\ufffd\\") + quote), std::string::npos) << lines;
    }
}

}  // namespace
}  // namespace qx::output
