#include "runtime/working_text.h"

#include <gtest/gtest.h>

namespace qx::runtime {
namespace {

TEST(WorkingText, ClosedFileCannotBeRewoundOrRead) {
    WorkingText t;
    EXPECT_FALSE(t.SeekStart());
    EXPECT_TRUE(t.AtEnd());
    EXPECT_EQ(t.ReadLine(), "");
    t.Write("ignored");
    EXPECT_EQ(t.Size(), 0);
    t.Create();
    t.Write("abc");
    t.Close();
    EXPECT_FALSE(t.SeekStart());
}

TEST(WorkingText, ReadsLinesWithoutTheirLineEnds) {
    WorkingText t;
    t.Create();
    t.Write("one\r\ntwo\n\r\nlast");
    ASSERT_TRUE(t.SeekStart());
    EXPECT_EQ(t.ReadLine(), "one");
    EXPECT_EQ(t.Position(), 5);
    EXPECT_EQ(t.ReadLine(), "two");
    EXPECT_EQ(t.ReadLine(), "");
    EXPECT_FALSE(t.AtEnd());
    EXPECT_EQ(t.ReadLine(), "last");
    EXPECT_TRUE(t.AtEnd());
    EXPECT_EQ(t.ReadLine(), "");  // at the end: the empty line, position stays
    EXPECT_EQ(t.Position(), t.Size());
}

TEST(WorkingText, SeekAndReadBytes) {
    WorkingText t;
    t.Adopt("0123456789");
    ASSERT_TRUE(t.Seek(3));
    EXPECT_EQ(t.Read(4), "3456");
    EXPECT_EQ(t.Position(), 7);
    EXPECT_EQ(t.Read(100), "789");
    EXPECT_TRUE(t.AtEnd());
    EXPECT_TRUE(t.Seek(100));
    EXPECT_EQ(t.Position(), 10);
    EXPECT_TRUE(t.SeekStart());
    EXPECT_EQ(t.Read(0), "");
}

}  // namespace
}  // namespace qx::runtime
