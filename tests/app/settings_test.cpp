// Texts here are compiled as GBK, like the settings file's.
#include "app/settings.h"

#include <gtest/gtest.h>

#include "runtime/files.h"
#include "support/temp_dir.h"

namespace qx::app {
namespace {

namespace fs = std::filesystem;

TEST(Settings, FirstStartWithoutAFileTakesEveryDefault) {
    test::TempDir dir;
    const Settings s = ReadSettings(dir.Path() / "qx_cfg.ini", "/home/u/Documents");
    EXPECT_EQ(s.outputDirectory, "/home/u/Documents/My eBooks");
    EXPECT_EQ(s.inputDirectory, s.outputDirectory);
    EXPECT_TRUE(s.instantPreview);
    EXPECT_TRUE(s.autoOpenOutput);
    EXPECT_TRUE(s.autoSaveParameters);
    EXPECT_EQ(s.layoutMode, text::LayoutMode::SeparateLines);
    EXPECT_EQ(s.templates, "默认");
    EXPECT_EQ(s.packerPath, "C:\\Program Files\\eBook Pack Express\\EPExpress.exe");
}

TEST(Settings, OnlyTheExactTrueTextReadsAsTrue) {
    test::TempDir dir;
    const auto ini = dir.Write("qx_cfg.ini",
                               "[基本设置]\r\n即时预览=true\r\n自动开启输出目录=假\r\n自动保存参数修改内容=真\r\n"
                               "排版模式=卷章一行\r\n输出目录=/srv/书\r\n模板=甲|乙\r\n");
    const Settings s = ReadSettings(ini, "/docs");
    EXPECT_FALSE(s.instantPreview);
    EXPECT_FALSE(s.autoOpenOutput);
    EXPECT_TRUE(s.autoSaveParameters);
    EXPECT_EQ(s.layoutMode, text::LayoutMode::OneLine);
    EXPECT_EQ(s.outputDirectory, "/srv/\xe4\xb9\xa6");  // the GBK path read back as UTF-8
    EXPECT_EQ(s.inputDirectory, s.outputDirectory);    // defaults to the output directory
    EXPECT_EQ(s.templates, "甲|乙");
}

TEST(Settings, WritingKeepsOtherSectionsKeysAndRoundTrips) {
    test::TempDir dir;
    const auto ini = dir.Write("qx_cfg.ini", "; my notes\r\n[其他]\r\n颜色=红\r\n[基本设置]\r\n附加=保留\r\n即时预览=真\r\n");
    Settings s = ReadSettings(ini, "/docs");
    s.instantPreview = false;
    s.layoutMode = text::LayoutMode::OneLine;
    s.templates = "乙|甲";
    s.outputDirectory = "/out/\xe4\xb9\xa6";  // 书 in UTF-8, as paths are
    ASSERT_TRUE(WriteSettings(ini, s));
    const std::string written = *runtime::ReadWholeFile(ini);
    EXPECT_NE(written.find("; my notes"), std::string::npos);
    EXPECT_NE(written.find("颜色=红"), std::string::npos);
    EXPECT_NE(written.find("附加=保留"), std::string::npos);
    EXPECT_NE(written.find("即时预览=假"), std::string::npos);
    EXPECT_NE(written.find("排版模式=卷章一行"), std::string::npos);
    EXPECT_NE(written.find("输出目录=/out/书"), std::string::npos);  // GBK in the file
    const Settings back = ReadSettings(ini, "/docs");
    EXPECT_FALSE(back.instantPreview);
    EXPECT_EQ(back.templates, "乙|甲");
    EXPECT_EQ(back.outputDirectory, s.outputDirectory);
}

TEST(Settings, HeadingsModeIsSavedAndTheTwoOldValuesReadAsBefore) {
    test::TempDir dir;
    const struct {
        const char* value;
        text::LayoutMode mode;
    } cases[] = {{"卷章分行", text::LayoutMode::SeparateLines},
                 {"卷章一行", text::LayoutMode::OneLine},
                 {"按标题分章", text::LayoutMode::Headings},
                 {"别的", text::LayoutMode::OneLine}};  // anything else, as ever
    for (const auto& c : cases) {
        const auto ini = dir.Write("qx_cfg.ini", std::string("[基本设置]\r\n排版模式=") + c.value + "\r\n");
        EXPECT_EQ(ReadSettings(ini, "/docs").layoutMode, c.mode) << c.value;
    }
    const auto ini = dir.Path() / "qx_cfg.ini";
    Settings s = ReadSettings(ini, "/docs");
    s.layoutMode = text::LayoutMode::Headings;
    ASSERT_TRUE(WriteSettings(ini, s));
    EXPECT_NE(runtime::ReadWholeFile(ini)->find("排版模式=按标题分章"), std::string::npos);
    EXPECT_EQ(ReadSettings(ini, "/docs").layoutMode, text::LayoutMode::Headings);
}

TEST(Settings, ASaveCutShortLeavesTheOldFileWhole) {
    test::TempDir dir;
    const auto ini = dir.Write("qx_cfg.ini", "[基本设置]\r\n模板=甲\r\n");
    Settings s = ReadSettings(ini, "/docs");
    s.templates = "乙";
    runtime::SetRenameFunctionForTesting([](const fs::path&, const fs::path&) { return false; });
    EXPECT_FALSE(WriteSettings(ini, s));
    runtime::SetRenameFunctionForTesting(nullptr);
    EXPECT_EQ(*runtime::ReadWholeFile(ini), "[基本设置]\r\n模板=甲\r\n");
    for (const auto& entry : fs::directory_iterator(dir.Path())) EXPECT_EQ(entry.path(), ini);  // no leftovers
}

TEST(Settings, TemplateNamesJoinWithBarsOrFallBackToTheDefault) {
    EXPECT_EQ(JoinTemplateNames({}), "默认");
    EXPECT_EQ(JoinTemplateNames({"甲"}), "甲");
    EXPECT_EQ(JoinTemplateNames({"甲", "乙", "丙"}), "甲|乙|丙");
}

}  // namespace
}  // namespace qx::app
