#include "runtime/shell.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>

#include "runtime/encoding.h"
#include "runtime/files.h"
#include "support/temp_dir.h"

namespace qx::runtime {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the length of a test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_old) {
            setenv(m_name, m_old->c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

// The desktop's trash lives under the data home; each test gets its own.
TEST(MoveToTrash, MovesAWholeDirectoryIntoTheTrash) {
    test::TempDir dir;
    ScopedEnv dataHome("XDG_DATA_HOME", (dir.Path() / "data").string());
    const std::string name = GbkToUtf8("西游记");  // file names are UTF-8
    fs::create_directories(dir.Path() / name / "txt");
    dir.Write(name + "/txt/1_1.txt", "x");

    ASSERT_TRUE(MoveToTrash(dir.Path() / name));
    EXPECT_FALSE(fs::exists(dir.Path() / name));
    EXPECT_EQ(ReadWholeFile(dir.Path() / "data" / "Trash" / "files" / name / "txt" / "1_1.txt"), "x");
    EXPECT_TRUE(fs::exists(dir.Path() / "data" / "Trash" / "info" / (name + ".trashinfo")));
}

TEST(MoveToTrash, SecondDirectoryOfTheSameNameIsKeptApart) {
    test::TempDir dir;
    ScopedEnv dataHome("XDG_DATA_HOME", (dir.Path() / "data").string());
    for (const char* content : {"first", "second"}) {
        fs::create_directories(dir.Path() / "book");
        dir.Write("book/a.txt", content);
        ASSERT_TRUE(MoveToTrash(dir.Path() / "book"));
    }
    int kept = 0;
    for (const auto& e : fs::directory_iterator(dir.Path() / "data" / "Trash" / "files")) {
        kept += fs::exists(e.path() / "a.txt");
    }
    EXPECT_EQ(kept, 2);
}

TEST(MoveToTrash, MissingPathOrUnusableTrashFailsAndKeepsTheFiles) {
    test::TempDir dir;
    EXPECT_FALSE(MoveToTrash(dir.Path() / "nothing"));

    // The trash cannot be made where a plain file stands in its way.
    dir.Write("data", "not a folder");
    ScopedEnv dataHome("XDG_DATA_HOME", (dir.Path() / "data").string());
    fs::create_directories(dir.Path() / "book");
    dir.Write("book/a.txt", "kept");
    EXPECT_FALSE(MoveToTrash(dir.Path() / "book"));
    EXPECT_EQ(ReadWholeFile(dir.Path() / "book" / "a.txt"), "kept");
}

// A stand-in for xdg-open on the PATH records what it was asked to open.
TEST(OpenInFileManager, StartsTheDesktopOpenerWithTheDirectory) {
    test::TempDir dir;
    const fs::path bin = dir.Path() / "bin";
    fs::create_directories(bin);
    const fs::path record = dir.Path() / "opened.txt";
    {
        std::ofstream script(bin / "xdg-open");
        script << "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"" << record.string() << ".part\"\nmv \""
               << record.string() << ".part\" \"" << record.string() << "\"\n";
    }
    fs::permissions(bin / "xdg-open", fs::perms::owner_all);
    const char* oldPath = std::getenv("PATH");
    ScopedEnv path("PATH", bin.string() + ":" + (oldPath ? oldPath : "/usr/bin:/bin"));

    const fs::path book = dir.Path() / "My eBooks" / GbkToUtf8("西游记");
    fs::create_directories(book);
    ASSERT_TRUE(OpenInFileManager(book));
    for (int i = 0; i < 100 && !fs::exists(record); ++i) usleep(50 * 1000);
    EXPECT_EQ(ReadWholeFile(record), book.string() + "\n");  // one argument, blanks and all
}

TEST(OpenInFileManager, FailsWhenNoOpenerCanBeStarted) {
    test::TempDir dir;
    ScopedEnv path("PATH", (dir.Path() / "empty").string());
    EXPECT_FALSE(OpenInFileManager(dir.Path()));
}

}  // namespace
}  // namespace qx::runtime

namespace qx::runtime {
namespace {

TEST(Files, PrefixOfAFileIsItsFirstBytesOrAllOfAShortOne) {
    test::TempDir dir;
    const auto file = dir.Write("book.txt", "0123456789");
    EXPECT_EQ(ReadFilePrefix(file, 4), "0123");
    EXPECT_EQ(ReadFilePrefix(file, 100), "0123456789");
    EXPECT_EQ(ReadFilePrefix(dir.Write("empty.txt", ""), 100), "");
    EXPECT_FALSE(ReadFilePrefix(dir.Path() / "missing.txt", 4).has_value());
    EXPECT_FALSE(ReadFilePrefix(dir.Path(), 4).has_value());  // a directory
    EXPECT_EQ(ReadFilePrefix("/proc/self/status", 5), "Name:");  // a file that reports no size
}

}  // namespace
}  // namespace qx::runtime
