// Texts here are compiled as GBK, like the settings file's.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/settings.h"
#include "support/temp_dir.h"

namespace qx::app {
namespace {

bool Same(const Settings& a, const Settings& b) {
    return a.outputDirectory == b.outputDirectory && a.inputDirectory == b.inputDirectory &&
           a.instantPreview == b.instantPreview && a.autoOpenOutput == b.autoOpenOutput &&
           a.autoSaveParameters == b.autoSaveParameters && a.layoutMode == b.layoutMode &&
           a.templates == b.templates && a.packerPath == b.packerPath;
}

// The reader of bytes in memory (what the fuzz target drives) reads every
// file as the reader of the file does, odd files included.
TEST(SettingsText, ReadsEveryFileAsTheFileReaderDoes) {
    const std::vector<std::string> files = {
        "",
        "[基本设置]\r\n输出目录=/srv/书\r\n即时预览=假\r\n排版模式=按标题分章\r\n模板=甲|乙\r\n",
        "; notes\r\n[其他]\r\n排版模式=卷章一行\r\n[基本设置]\r\n排版模式=卷章一行\r\nEPE文件地址=C:\\x.exe\r\n",
        "[基本设置]\r\n输出目录=\r\n输入目录\r\n=值\r\n模板=\x81'\xff\r\n",
        std::string("[基本设置]\r\n模板=a\0b\r\n", 22),
        "\xef\xbb\xbf[基本设置]\n自动开启输出目录=假\n",
        "[\r\n]\r\n[]\r\n==\r\n\x81\x81\x81",
    };
    test::TempDir dir;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto ini = dir.Write("qx_cfg" + std::to_string(i) + ".ini", files[i]);
        EXPECT_TRUE(Same(ReadSettingsText(files[i], "/docs"), ReadSettings(ini, "/docs"))) << "file " << i;
    }
    const Settings fresh = ReadSettingsText("", "/home/u/Documents");
    EXPECT_EQ(fresh.outputDirectory, "/home/u/Documents/My eBooks");
    EXPECT_EQ(ReadSettingsText(files[1], "/docs").layoutMode, text::LayoutMode::Headings);
}

}  // namespace
}  // namespace qx::app
