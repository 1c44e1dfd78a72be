#include "runtime/files.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "support/temp_dir.h"

namespace qx::runtime {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

TEST(WriteFileAtomically, ClearsTheLeftoversOfDeadSavesButNotOneStillBeingWrittenNorOtherFiles) {
    test::TempDir dir;
    dir.Write("qx_cfg.ini", "old");
    dir.Write("qx_cfg.ini.tmp12", "half");       // a save that died
    dir.Write("qx_cfg.ini.tmp999999", "half");   // another
    dir.Write("qx_cfg.ini.tmp4711", "writing");  // a save that is still running
    dir.Write("qx_cfg.ini.tmp1234567", "mine");  // not one of its names: seven digits
    dir.Write("qx_cfg.ini.tmpx", "mine");
    dir.Write("data.vdb.tmp12", "another file's");
    fs::create_symlink("qx_cfg.ini", dir.Path() / "qx_cfg.ini.tmp77");  // links are never removed
    const WritingMark running(dir.Path() / "qx_cfg.ini.tmp4711");
    ASSERT_TRUE(running.Held());

    std::error_code error;
    ASSERT_TRUE(WriteFileAtomically(dir.Path() / "qx_cfg.ini", "new", error));
    EXPECT_FALSE(error);
    EXPECT_EQ(ReadWholeFile(dir.Path() / "qx_cfg.ini"), "new");
    EXPECT_THAT(Names(dir.Path()),
                UnorderedElementsAre("qx_cfg.ini", "qx_cfg.ini.tmp4711", "qx_cfg.ini.tmp1234567",
                                     "qx_cfg.ini.tmpx", "data.vdb.tmp12", "qx_cfg.ini.tmp77"));
}

TEST(WriteFileAtomically, AFailureGivesTheSystemsReasonAndLeavesNothingBehind) {
    test::TempDir dir;
    std::error_code error;
    EXPECT_FALSE(WriteFileAtomically(dir.Path() / "gone" / "qx_cfg.ini", "x", error));
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
    EXPECT_EQ(ReasonOf(error), "No such file or directory");

    dir.Write("qx_cfg.ini", "old");
    SetRenameFunctionForTesting([](const fs::path&, const fs::path&) { return false; });
    EXPECT_FALSE(WriteFileAtomically(dir.Path() / "qx_cfg.ini", "new", error));
    SetRenameFunctionForTesting(nullptr);
    EXPECT_TRUE(error);
    EXPECT_EQ(ReadWholeFile(dir.Path() / "qx_cfg.ini"), "old");
    EXPECT_THAT(Names(dir.Path()), ElementsAre("qx_cfg.ini"));
}

TEST(WritingMark, MarksUntilReleasedAndOnlyUnmarkedEntriesAreLeftovers) {
    test::TempDir dir;
    fs::create_directory(dir.Path() / ".book.part-1");
    fs::create_directory(dir.Path() / ".book.part-2");
    dir.Write(".book.part-3", "a file");
    auto ours = [](std::string_view name) { return name.starts_with(".book.part-"); };
    WritingMark mark(dir.Path() / ".book.part-1");
    EXPECT_TRUE(mark.Held());
    EXPECT_FALSE(WritingMark(dir.Path() / ".book.part-1").Held());  // a second writer cannot take it
    EXPECT_THAT(LeftoversIn(dir.Path(), ours),
                ElementsAre(dir.Path() / ".book.part-2", dir.Path() / ".book.part-3"));
    mark.Release();
    EXPECT_EQ(LeftoversIn(dir.Path(), ours).size(), 3u);
    EXPECT_FALSE(WritingMark(dir.Path() / "missing").Held());
}

TEST(ExchangePaths, SwapsTwoEntriesInOneStepAndTellsWhyItCouldNot) {
    test::TempDir dir;
    fs::create_directory(dir.Path() / "old");
    dir.Write("old/a.txt", "old");
    fs::create_directory(dir.Path() / "new");
    dir.Write("new/b.txt", "new");
    std::error_code error;
    ASSERT_TRUE(ExchangePaths(dir.Path() / "new", dir.Path() / "old", error)) << error.message();
    EXPECT_EQ(ReadWholeFile(dir.Path() / "old" / "b.txt"), "new");
    EXPECT_EQ(ReadWholeFile(dir.Path() / "new" / "a.txt"), "old");

    EXPECT_FALSE(ExchangePaths(dir.Path() / "new", dir.Path() / "missing", error));
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
    EXPECT_FALSE(ExchangeUnsupported(error));  // a real failure, not a file system without the exchange

    SetExchangeUnsupportedForTesting(true);
    EXPECT_FALSE(ExchangePaths(dir.Path() / "new", dir.Path() / "old", error));
    SetExchangeUnsupportedForTesting(false);
    EXPECT_TRUE(ExchangeUnsupported(error));
    EXPECT_EQ(ReadWholeFile(dir.Path() / "old" / "b.txt"), "new");  // nothing moved
}

TEST(PlaceCannotBeWritten, OnlyAFullReadOnlyOrFailingPlace) {
    for (int e : {ENOSPC, EDQUOT, EROFS, EIO}) {
        EXPECT_TRUE(PlaceCannotBeWritten(std::error_code(e, std::generic_category()))) << e;
    }
    // One file in the way, or a name that cannot be used: the rest may still go.
    for (int e : {0, EACCES, ENOENT, EEXIST, ENAMETOOLONG, EISDIR}) {
        EXPECT_FALSE(PlaceCannotBeWritten(std::error_code(e, std::generic_category()))) << e;
    }
    EXPECT_FALSE(PlaceCannotBeWritten(std::make_error_code(std::io_errc::stream)));
}

}  // namespace
}  // namespace qx::runtime
