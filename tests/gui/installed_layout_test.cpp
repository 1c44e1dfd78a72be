// The window of an installed copy: a program folder nobody can write beside
// an installation's share folder, and a user who has never started it.
#include <stdlib.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>

#include "app/settings.h"
#include "app/startup.h"
#include "gui/main_window.h"
#include "gui_test_support.h"
#include "runtime/files.h"
#include "runtime/system_paths.h"
#include "support/temp_dir.h"

namespace qx::gui {
namespace {

namespace fs = std::filesystem;
QString U(const char* utf8) { return QString::fromUtf8(utf8); }

class InstalledWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        bin = dir.Path() / "usr" / "bin";
        fs::create_directories(bin);
        fs::create_directories(dir.Path() / "usr" / "share" / "qxebook" / "template" / "默认");
        ::chmod(bin.c_str(), 0555);
        ::setenv("XDG_CONFIG_HOME", (dir.Path() / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (dir.Path() / "data").c_str(), 1);
        ::unsetenv("QX_HOME");
        fs::create_directories(dir.Path() / "tmp");
    }
    void TearDown() override {
        ::chmod(bin.c_str(), 0755);
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("XDG_DATA_HOME");
    }
    app::ProgramPaths Paths() {
        return app::PathsOf(runtime::LocateProgramHome(std::nullopt, bin), dir.Path() / "docs", dir.Path() / "tmp");
    }

    test::TempDir dir;
    fs::path bin;
    app::AppState state;
};

TEST_F(InstalledWindowTest, OpensWithoutAQuestionListsTheInstalledTemplateAndSavesIntoTheConfigFolder) {
    const app::ProgramPaths paths = Paths();
    ASSERT_TRUE(paths.perUser);
    {
        MainWindow window(state);
        auto box = test::AnswerNextBox(QMessageBox::No);
        ASSERT_TRUE(window.StartUp(paths));
        window.show();
        QApplication::processEvents();
        EXPECT_FALSE(box->seen) << box->text.toStdString();

        ASSERT_EQ(window.选择列表框_模板->count(), 1);
        EXPECT_EQ(window.选择列表框_模板->item(0)->text(), U("默认"));
        EXPECT_EQ(window.选择列表框_模板->item(0)->checkState(), Qt::Checked);
        EXPECT_EQ(window.编辑框_输出目录->text().toStdString(), (dir.Path() / "docs" / "My eBooks").string());

        window.选择框_自动开启输出目录->setChecked(false);
        window.close();
    }
    const fs::path ini = dir.Path() / "config" / "qxebook" / "qx_cfg.ini";
    ASSERT_TRUE(fs::exists(ini));
    EXPECT_FALSE(app::ReadSettings(ini, dir.Path() / "docs").autoOpenOutput);
    EXPECT_TRUE(fs::exists(dir.Path() / "data" / "qxebook" / "data.vdb"));
    EXPECT_FALSE(fs::exists(bin / "qx_cfg.ini"));

    // The next start finds what the first one left.
    MainWindow again(state);
    ASSERT_TRUE(again.StartUp(Paths()));
    EXPECT_FALSE(again.选择框_自动开启输出目录->isChecked());
}

TEST_F(InstalledWindowTest, TheBookItWasStartedWithIsChosenAsIfPickedWithBrowse) {
    MainWindow window(state);
    ASSERT_TRUE(window.StartUp(Paths()));
    const auto book = dir.Write("《西游记》吴承恩.txt", "第一回 灵根育孕源流出\r\n");
    window.ChooseInput(QString::fromStdString(book.string()));
    EXPECT_EQ(window.findChild<QLineEdit*>(U("编辑框_文件名"))->text().toStdString(), book.string());
    EXPECT_EQ(window.findChild<QLineEdit*>(U("编辑框_书名"))->text(), U("《西游记》"));
    EXPECT_EQ(window.findChild<QLineEdit*>(U("编辑框_作者"))->text(), U("吴承恩"));
    EXPECT_EQ(state.inputDirectory, dir.Path().string());
}

}  // namespace
}  // namespace qx::gui
