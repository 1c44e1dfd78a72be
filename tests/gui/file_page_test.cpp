// Page "文件" with books as people download them: the encoding and the
// layout mode proposed when a file is chosen, the check of what headings
// mode found, and the heading rules dialog. This file is UTF-8.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTreeWidgetItemIterator>

#include "app/parameter_store.h"
#include "gui/heading_rules_dialog.h"
#include "gui/main_window.h"
#include "gui_test_support.h"
#include "headings/heading_rules.h"
#include "runtime/encoding.h"
#include "support/temp_dir.h"

namespace qx::gui {
namespace {

namespace fs = std::filesystem;
QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class FilePageTest : public ::testing::Test {
protected:
    void SetUp() override {
        paths = {dir.Path() / "home", dir.Path() / "docs", dir.Path() / "tmp"};
        fs::create_directories(paths.temporary);
        ASSERT_TRUE(app::WriteDefaultTables(paths.home));
        window = std::make_unique<MainWindow>(state);
        ASSERT_TRUE(window->StartUp(paths));
    }
    void Choose(const fs::path& path) {
        window->FileDialog()->chooser = [path](const CommonDialog&) {
            return std::optional<QString>(QString::fromStdString(path.string()));
        };
        window->按钮_浏览1->click();
    }
    QString Status() const { return window->状态条1_部分1->text(); }
    // The book's chapters as people write them: a heading, a blank line,
    // paragraphs separated by single blank lines, LF line ends.
    static std::string Novel(const std::vector<std::string>& headings,
                             const std::string& paragraph = "　　他走了很远的路，终于看见了那座山。") {
        std::string text = "本书来自网络，仅供试读\n\n";
        for (const auto& h : headings) {
            text += h + "\n\n";
            for (int p = 0; p < 3; ++p)
                text += paragraph + "\n\n";
        }
        return text;
    }
    QTreeWidgetItem* ItemOfChapter(int k) {
        const int node = state.book.index.NodeOfChapter(k);
        QTreeWidgetItemIterator it(window->树型框_索引目录);
        for (; *it; ++it) {
            if ((*it)->data(0, Qt::UserRole).toInt() == node)
                return *it;
        }
        return nullptr;
    }

    test::TempDir dir;
    app::ProgramPaths paths;
    app::AppState state;
    std::unique_ptr<MainWindow> window;
};

TEST_F(FilePageTest, ChoosingAUtf8FileProposesItsConversionAndHeadingsMode) {
    Choose(dir.Write("斗破 天蚕.txt",
                     "\xEF\xBB\xBF" + Novel({"第一章 陨落的天才", "第二章 斗气大陆", "第三章 客人"})));
    EXPECT_TRUE(window->选择框_内码转换->isChecked());
    EXPECT_TRUE(window->单选_UTF8转码->isChecked());
    EXPECT_TRUE(window->单选_UTF8转码->isEnabled());
    EXPECT_FALSE(window->选择框_繁体转简体->isChecked());
    EXPECT_TRUE(window->单选_按标题分章->isChecked());
    EXPECT_TRUE(Status().contains(U("UTF-8"))) << Status().toStdString();
    EXPECT_TRUE(Status().contains(U("按标题分章"))) << Status().toStdString();
    EXPECT_EQ(window->状态条1_部分1->toolTip(), Status());

    window->按钮_下一步1->click();

    test::Settle(*window);
    EXPECT_EQ(window->选择夹_制作流程->currentIndex(), 1);
    ASSERT_EQ(window->组合框_卷章名->count(), 4);  // the site notice before the first heading is kept
    EXPECT_EQ(window->组合框_卷章名->itemText(1), U("第一章 陨落的天才"));
    EXPECT_EQ(window->组合框_卷章名->itemText(3), U("第三章 客人"));

    // A plain file without headings is proposed for separate-lines mode;
    // the user's own choice before 下一步 wins.
    Choose(dir.Write("书 人.txt", runtime::Utf8ToGbk("第一卷\r\n\r\n\r\n甲\r\n正文\r\n")));
    EXPECT_FALSE(window->选择框_内码转换->isChecked());
    EXPECT_TRUE(window->单选_卷章分行->isChecked());
    window->单选_卷章一行->click();
    window->按钮_下一步1->click();
    test::Settle(*window);
    EXPECT_EQ(state.book.mode, text::LayoutMode::OneLine);
}

TEST_F(FilePageTest, TraditionalTextGetsTheSimplificationProposed) {
    Choose(dir.Write("書 人.txt", Novel({"第一章 說話", "第二章 東風", "第三章 歸來"},
                                        "　　這個國家的歷史很長，他們說話時總是聽見遠處傳來鐘聲。")));
    EXPECT_TRUE(window->单选_UTF8转码->isChecked());
    EXPECT_TRUE(window->选择框_繁体转简体->isChecked());
    EXPECT_TRUE(Status().contains(U("繁体转简体"))) << Status().toStdString();
    window->按钮_下一步1->click();
    test::Settle(*window);
    EXPECT_EQ(window->组合框_卷章名->itemText(1), U("第一章 说话"));

    // BIG5 always simplifies: the box shows it and cannot be changed.
    const std::string big5 = "\xB2\xC4\xA4\x40\xB3\xB9\r\n\xBB\xA1\xB8\xDC\r\n";  // 第一章 說話 in BIG5
    Choose(dir.Write("書 人.txt", big5 + big5 + big5));
    EXPECT_TRUE(window->单选_BIG5转码->isChecked());
    EXPECT_TRUE(window->选择框_繁体转简体->isChecked());
    EXPECT_FALSE(window->选择框_繁体转简体->isEnabled());
}

TEST_F(FilePageTest, SuspiciousChaptersAreMarkedInTheTreeAndCounted) {
    Choose(dir.Write("书 人.txt", Novel({"第一章 甲", "第二章 乙", "第三章 丙", "第五章 戊", "第六章 己"})));
    ASSERT_TRUE(window->单选_按标题分章->isChecked());
    window->按钮_下一步1->click();
    test::Settle(*window);
    ASSERT_EQ(state.book.index.warnings.size(), 1u);
    const int k = state.book.index.warnings[0].chapter;
    EXPECT_EQ(window->组合框_卷章名->itemText(k), U("第五章 戊"));
    QTreeWidgetItem* marked = ItemOfChapter(k);
    ASSERT_NE(marked, nullptr);
    EXPECT_TRUE(marked->data(0, kSuspiciousRole).toBool());
    EXPECT_TRUE(marked->toolTip(0).contains(U("不连续"))) << marked->toolTip(0).toStdString();
    QTreeWidgetItem* plain = ItemOfChapter(k - 1);
    ASSERT_NE(plain, nullptr);
    EXPECT_FALSE(plain->data(0, kSuspiciousRole).toBool());
    EXPECT_TRUE(plain->toolTip(0).isEmpty());
    EXPECT_TRUE(Status().contains(U("1 章可疑"))) << Status().toStdString();
}

TEST_F(FilePageTest, RulesDialogAddsARuleThatTheNextStepUses) {
    const std::string text = "【1】开端\n正文\n【2】相遇\n正文\n【3】离别\n正文\n";
    Choose(dir.Write("书 人.txt", text));
    window->单选_按标题分章->click();
    window->按钮_下一步1->click();
    test::Settle(*window);
    EXPECT_EQ(window->组合框_卷章名->count(), 1);  // no rule knows these headings yet

    window->headingRulesRunner = [](HeadingRulesDialog& d) {
        d.编辑框_新规则->setText(U("^【(?<num>\\d+)】.*$"));
        d.按钮_添加规则->click();
        d.按钮_试用规则->click();
        EXPECT_EQ(d.表格_标题规则->item(0, 3)->text(), U("3"));  // the new rule, first, found three
        EXPECT_TRUE(d.标签_试用结果->text().contains(U("3 章"))) << d.标签_试用结果->text().toStdString();
        d.按钮_确定->click();
    };
    window->选择夹_制作流程->setCurrentIndex(0);
    window->按钮_标题规则->click();
    ASSERT_TRUE(fs::exists(headings::RulesFilePath(paths.home)));
    EXPECT_EQ(headings::LoadRules(paths.home).Rules().front().pattern, "^【(?<num>\\d+)】.*$");

    window->按钮_下一步1->click();

    test::Settle(*window);
    ASSERT_EQ(window->组合框_卷章名->count(), 3);
    EXPECT_EQ(window->组合框_卷章名->itemText(1), U("【2】相遇"));

    // A pattern that does not compile is refused in the dialog; cancelling
    // keeps the rules as they were.
    window->headingRulesRunner = [](HeadingRulesDialog& d) {
        const int before = d.表格_标题规则->rowCount();
        auto box = test::AnswerNextBox(QMessageBox::Ok);
        d.编辑框_新规则->setText(U("(unclosed"));
        d.按钮_添加规则->click();
        EXPECT_TRUE(box->seen);
        EXPECT_TRUE(box->text.startsWith(U("规则无法使用"))) << box->text.toStdString();
        EXPECT_EQ(d.表格_标题规则->rowCount(), before);
        d.按钮_取消->click();
    };
    window->按钮_标题规则->click();
    EXPECT_EQ(state.headingRules.Rules().front().pattern, "^【(?<num>\\d+)】.*$");
}

}  // namespace
}  // namespace qx::gui
