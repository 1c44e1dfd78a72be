// Page "设置", the template list and the start-up/closing of the real window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QTest>

#include "app/parameter_store.h"
#include "gui/main_window.h"
#include "gui_test_support.h"
#include "runtime/encoding.h"
#include "runtime/files.h"
#include "support/temp_dir.h"

namespace qx::gui {
namespace {

namespace fs = std::filesystem;
QString U(const char* utf8) { return QString::fromUtf8(utf8); }
std::string G(const char* utf8) { return runtime::Utf8ToGbk(utf8); }

class SettingsPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        paths = {dir.Path() / "home", dir.Path() / "docs", dir.Path() / "tmp"};
        fs::create_directories(paths.temporary);
        ASSERT_TRUE(app::WriteDefaultTables(paths.home));
        for (const char* t : {"默认", "古风", "简洁"}) fs::create_directories(paths.home / "template" / t);
    }
    void Start() {
        window = std::make_unique<MainWindow>(state);
        ASSERT_TRUE(window->StartUp(paths));
    }
    void ToSettingsPage() { window->选择夹_制作流程->setCurrentIndex(3); }
    std::string StoredRow(int row) {
        runtime::RecordDataSource table;
        table.Open(app::ParameterTablePath(paths.home));
        return table.Read(row, 2);
    }

    test::TempDir dir;
    app::ProgramPaths paths;
    app::AppState state;
    std::unique_ptr<MainWindow> window;
};

TEST_F(SettingsPageTest, FirstVisitFillsTheListAndShowsTheHintUntilThePageIsLeft) {
    Start();
    window->状态条1_部分1->setText(U("之前的提示"));
    ToSettingsPage();
    ASSERT_EQ(window->列表框_参数->count(), 24);
    EXPECT_EQ(window->列表框_参数->item(0)->text(), U("标题_Chapter"));
    EXPECT_EQ(window->列表框_参数->item(23)->text(), U("制作"));
    EXPECT_EQ(window->列表框_参数->currentRow(), 0);
    EXPECT_TRUE(window->编辑框_代码->toPlainText().contains(U("../js/page.js")));
    EXPECT_FALSE(state.parameterModified);
    EXPECT_EQ(window->状态条1_部分1->text(), U("在编辑框内按‘Ctrl+W’键可伸缩边框！"));
    window->选择夹_制作流程->setCurrentIndex(0);
    EXPECT_EQ(window->状态条1_部分1->text(), U("之前的提示"));
    window->状态条1_部分1->setText(U("别的"));
    window->选择夹_制作流程->setCurrentIndex(1);
    EXPECT_EQ(window->状态条1_部分1->text(), U("之前的提示"));  // the saved text stays
}

TEST_F(SettingsPageTest, SwitchingRowsDropsAnEditWithoutAutoSaveAndKeepsItWithAutoSave) {
    Start();
    ToSettingsPage();
    window->选择框_参数_自动保存->setChecked(false);
    window->列表框_参数->setCurrentRow(23);
    window->编辑框_代码->setPlainText(U("某人"));
    window->列表框_参数->setCurrentRow(22);
    EXPECT_EQ(StoredRow(24), "Zarvo");
    window->列表框_参数->setCurrentRow(23);
    EXPECT_EQ(window->编辑框_代码->toPlainText(), U("Zarvo"));

    window->选择框_参数_自动保存->setChecked(true);
    window->编辑框_代码->setPlainText(U("某人\n第二行"));
    window->列表框_参数->setCurrentRow(0);
    EXPECT_EQ(StoredRow(24), G("某人\r\n第二行"));  // line ends stored as CR LF
}

TEST_F(SettingsPageTest, SaveWritesOnceThenNothing) {
    Start();
    ToSettingsPage();
    window->列表框_参数->setCurrentRow(23);
    window->编辑框_代码->setPlainText(U("甲"));
    window->按钮_保存->click();
    EXPECT_EQ(StoredRow(24), G("甲"));
    EXPECT_FALSE(state.parameterModified);
    const auto before = runtime::ReadWholeFile(app::ParameterTextsPath(paths.home));
    window->按钮_保存->click();
    EXPECT_EQ(runtime::ReadWholeFile(app::ParameterTextsPath(paths.home)), before);
}

TEST_F(SettingsPageTest, CtrlWWidensAndNarrowsTheEditor) {
    Start();
    ToSettingsPage();
    QTest::keyClick(window->编辑框_代码, Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(window->编辑框_代码->geometry(), QRect(6, 16, 331, 210));
    QTest::keyClick(window->编辑框_代码, Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(window->编辑框_代码->geometry(), QRect(109, 16, 228, 210));
    QTest::keyClick(window->编辑框_代码, Qt::Key_W, Qt::ControlModifier);
    window->选择夹_制作流程->setCurrentIndex(0);
    ToSettingsPage();
    EXPECT_EQ(window->编辑框_代码->geometry(), QRect(109, 16, 228, 210));
    QTest::keyClick(window->编辑框_代码, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(window->编辑框_代码->textCursor().selectedText().size(), window->编辑框_代码->toPlainText().size());
}

TEST_F(SettingsPageTest, RestoreNoGivesTheDefaultsAndYesTheStateBeforeThisStart) {
    runtime::RecordDataSource table;
    table.Open(app::ParameterTablePath(paths.home));
    ASSERT_TRUE(table.Write(5, 2, "before this start"));
    Start();  // the backup now holds "before this start"
    ToSettingsPage();
    window->列表框_参数->setCurrentRow(4);
    window->编辑框_代码->setPlainText(U("edited"));
    window->按钮_保存->click();

    auto box = test::AnswerNextBox(QMessageBox::No);
    window->按钮_还原->click();
    ASSERT_TRUE(box->seen);
    EXPECT_EQ(box->title, U("参数还原"));
    EXPECT_TRUE(box->text.startsWith(U("是否还原所有 QX 参数？")));
    EXPECT_EQ(window->列表框_参数->currentRow(), 4);
    EXPECT_TRUE(window->编辑框_代码->toPlainText().contains(U("loadtxt")));  // the default 内容_Chapter
    EXPECT_FALSE(state.parameterModified);

    box = test::AnswerNextBox(QMessageBox::Yes);
    window->按钮_还原->click();
    EXPECT_EQ(window->编辑框_代码->toPlainText(), U("before this start"));

    box = test::AnswerNextBox(QMessageBox::Cancel);
    window->编辑框_代码->setPlainText(U("kept"));
    window->按钮_还原->click();
    EXPECT_EQ(window->编辑框_代码->toPlainText(), U("kept"));
}

TEST_F(SettingsPageTest, MissingTableIsOfferedOnTheFirstVisit) {
    Start();
    fs::remove(app::ParameterTablePath(paths.home));
    auto box = test::AnswerNextBox(QMessageBox::Yes);
    ToSettingsPage();
    ASSERT_TRUE(box->seen);
    EXPECT_EQ(box->text, U("未找到数据文件，是否恢复为初始值？"));
    EXPECT_EQ(window->列表框_参数->count(), 24);
}

TEST_F(SettingsPageTest, TemplateListMirrorsTheModelAndClosingSavesTheSettings) {
    runtime::WriteFileAtomically(paths.home / "qx_cfg.ini",
                                 G("[基本设置]\r\n模板=简洁|默认\r\n即时预览=true\r\n排版模式=卷章一行\r\n"));
    Start();
    EXPECT_FALSE(window->选择框_即时预览->isChecked());
    EXPECT_TRUE(window->单选_卷章一行->isChecked());
    auto* list = window->选择列表框_模板;
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text(), U("简洁"));
    EXPECT_EQ(list->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(list->item(1)->text(), U("默认"));
    EXPECT_EQ(list->item(2)->checkState(), Qt::Unchecked);
    EXPECT_EQ(window->标签_已选模板数量->text(), U("2"));
    EXPECT_EQ(window->标签_可用模板数量->text(), U("3"));
    EXPECT_FALSE(window->按钮_模板自动排序->isEnabled());

    list->item(2)->setCheckState(Qt::Checked);  // 古风 becomes number 3
    EXPECT_EQ(window->标签_在选模板编号->text(), U("3"));
    EXPECT_FALSE(window->标签_在选模板编号->isHidden());
    EXPECT_TRUE(window->按钮_模板自动排序->isEnabled());
    window->按钮_移至队首->click();
    EXPECT_EQ(list->item(0)->text(), U("古风"));
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_EQ(window->标签_在选模板编号->text(), U("1"));
    EXPECT_FALSE(window->按钮_编号减一->isEnabled());
    EXPECT_FALSE(window->按钮_移至队首->isEnabled());

    window->编辑框_输出目录->setText(U("/srv/电子书"));
    window->close();
    const std::string ini = runtime::ReadWholeFile(paths.home / "qx_cfg.ini").value_or("");
    EXPECT_NE(ini.find(G("模板=古风|简洁|默认")), std::string::npos) << ini;
    EXPECT_NE(ini.find(G("输出目录=/srv/电子书")), std::string::npos);
    EXPECT_NE(ini.find(G("排版模式=卷章一行")), std::string::npos);
    EXPECT_FALSE(fs::exists(paths.temporary / "~temp.vdb"));
}

}  // namespace
}  // namespace qx::gui
