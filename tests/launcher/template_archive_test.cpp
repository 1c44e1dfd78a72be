#include "launcher/template_archive.h"

#include <gtest/gtest.h>

#include "launcher/payload.h"
#include "support/temp_dir.h"

namespace qx::launcher {
namespace {

namespace fs = std::filesystem;

TEST(TemplateArchive, UnpacksTheTreeItPackedAndNeverReplacesAnExistingOne) {
    test::TempDir dir;
    fs::create_directories(dir.Path() / "src" / "默认" / "js");
    dir.Write("src/默认/index.htm", "<html>{书名}</html>");
    dir.Write("src/默认/js/page.js", std::string(3000, 'j'));
    const std::string archive = EncodeArchive(CollectFiles(dir.Path() / "src"));
    ASSERT_TRUE(UnpackArchive(archive, dir.Path() / "home" / "template"));
    EXPECT_TRUE(fs::exists(dir.Path() / "home/template/默认/index.htm"));
    EXPECT_EQ(fs::file_size(dir.Path() / "home/template/默认/js/page.js"), 3000u);
    EXPECT_FALSE(UnpackArchive(archive, dir.Path() / "home" / "template"));
}

TEST(TemplateArchive, PathsThatCouldLeaveTheTargetAreRefused) {
    for (const char* path : {"../x", "/abs", "a/../../x", "a//b", "a/./b", "a\\b", "", "a/"}) {
        const std::string archive = EncodeArchive({{path, "x"}});
        EXPECT_FALSE(DecodeArchive(archive)) << path;
    }
    EXPECT_TRUE(DecodeArchive(EncodeArchive({{"默认/js/a.js", "x"}})));
    EXPECT_FALSE(DecodeArchive(std::string("a\0\x05\0\0\0abc", 9))) << "size past the end";
}

}  // namespace
}  // namespace qx::launcher
