// Texts here are compiled as GBK, like the program's own.
#include "text/book_info.h"

#include <gtest/gtest.h>

namespace qx::text {
namespace {

struct NameCase {
    const char* stem;
    const char* title;
    const char* author;
};

TEST(BookInfo, TitleAndAuthorFromTheFileName) {
    const NameCase cases[] = {
        {"某书作者：某人", "某书", "某人"},
        {"某书 作者： 某人", "某书", "某人"},
        {"《某书》某人", "《某书》", "某人"},
        {"某书 某人", "某书", "某人"},
        {"某书 某人 续集", "某书 某人", "续集"},
        {"《某书》 某人", "《某书》", "某人"},
        {"《某 书》某人", "《某 书》", "某人"},
        {"某书", "", ""},
        // The marker wins over spaces and brackets.
        {"《某书》 外传作者：某人", "《某书》 外传", "某人"},
        // 》 at byte 3: too close to the start for the bracket rule.
        {"《》某人", "", ""},
        // Leading and trailing spaces never reach the fields; the split is at
        // the last of several spaces.
        {"  某书   某人  ", "某书", "某人"},
        {"　某书 某人　", "某书", "某人"},
        {"《某书》", "《某书》", ""},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        const BookInfo info = ProposeBookInfo(c.stem);
        EXPECT_EQ(info.title, c.title) << "stem " << c.stem;
        EXPECT_EQ(info.author, c.author) << "stem " << c.stem;
    }
}

TEST(BookInfo, StemAndDirectoryOfAPath) {
    EXPECT_EQ(StemOf("/books/三国演义 罗贯中.txt"), "三国演义 罗贯中");
    EXPECT_EQ(StemOf("/books/a.b.txt"), "a.b");
    EXPECT_EQ(StemOf("/books.d/readme"), "");  // the dot is in the directory
    EXPECT_EQ(StemOf("C:\\books\\x.txt"), "x");
    EXPECT_EQ(StemOf("x.txt"), "x");
    EXPECT_EQ(DirectoryOf("/books/x.txt"), "/books");
    EXPECT_EQ(DirectoryOf("/x.txt"), "/");
    EXPECT_EQ(DirectoryOf("C:\\x.txt"), "C:");
    EXPECT_EQ(DirectoryOf("x.txt"), "");
}

}  // namespace
}  // namespace qx::text
