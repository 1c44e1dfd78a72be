// Page "输出": the output run, the clean-up and preview buttons, CHM and packer project.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>

#include "app/parameter_store.h"
#include "gui/main_window.h"
#include "gui_test_support.h"
#include "runtime/encoding.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"
#include "text/chapters.h"

namespace qx::gui {
namespace {

namespace fs = std::filesystem;
QString U(const char* utf8) { return QString::fromUtf8(utf8); }
std::string G(const char* utf8) { return runtime::Utf8ToGbk(utf8); }

class OutputPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        paths = {dir.Path() / "home", dir.Path() / "docs", dir.Path() / "tmp"};
        fs::create_directories(paths.temporary);
        ASSERT_TRUE(app::WriteDefaultTables(paths.home));
        fs::copy(fs::path(QX_SOURCE_DIR) / "data" / "template", paths.home / "template", fs::copy_options::recursive);
        window = std::make_unique<MainWindow>(state);
        ASSERT_TRUE(window->StartUp(paths));
        window->编辑框_输出目录->setText(QString::fromStdString((dir.Path() / "out").string()));
        window->moveToTrash = [this](const fs::path& p) {
            trashed.push_back(p);
            std::error_code ec;
            fs::remove_all(p, ec);
            return !ec;
        };
        window->openDirectory = [this](const fs::path& p) { opened.push_back(p); };
        window->openFile = [this](const fs::path& p) { opened.push_back(p); };
    }
    void LoadBook() {
        const auto book = dir.Write("书 人.txt", G("第一卷\r\n\r\n\r\n第一章\r\n正文一\r\n\r\n\r\n第二章\r\n正文二\r\n"));
        window->FileDialog()->chooser = [book](const CommonDialog&) {
            return std::optional<QString>(QString::fromStdString(book.string()));
        };
        window->按钮_浏览1->click();
        window->按钮_下一步1->click();
        test::Settle(*window);
    }
    fs::path Ebook() { return dir.Path() / "out" / "书"; }

    test::TempDir dir;
    app::ProgramPaths paths;
    app::AppState state;
    std::unique_ptr<MainWindow> window;
    std::vector<fs::path> trashed;
    std::vector<fs::path> opened;
};

TEST_F(OutputPageTest, OutputRefusesAnUnanalysedBookAndMissingTemplates) {
    window->按钮_输出->click();
    test::Settle(*window);
    EXPECT_EQ(window->状态条1_部分1->text(), U("请先分析文件！！！"));
    LoadBook();
    window->选择列表框_模板->item(0)->setCheckState(Qt::Unchecked);
    window->按钮_输出->click();
    test::Settle(*window);
    EXPECT_EQ(window->状态条1_部分1->text(), U("请选择一个模板！！！"));
    EXPECT_FALSE(fs::exists(Ebook()));
    EXPECT_TRUE(window->按钮_预览1->isHidden());
}

TEST_F(OutputPageTest, ASuccessfulRunShowsTheNextButtonsAndOpensTheDirectory) {
    LoadBook();
    window->按钮_输出->click();
    test::Settle(*window);
    EXPECT_TRUE(fs::exists(Ebook() / "start.htm"));
    EXPECT_TRUE(fs::exists(Ebook() / "txt" / "1_2.txt"));
    EXPECT_EQ(window->状态条1_部分1->text(), U("书 输出HTM成功！"));
    EXPECT_EQ(state.ebookDirectory, Ebook().string());
    EXPECT_FALSE(window->按钮_预览1->isHidden());
    EXPECT_FALSE(window->按钮_编译->isHidden());
    EXPECT_FALSE(window->按钮_EPJ->isHidden());
    EXPECT_TRUE(window->按钮_预览2->isHidden());
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], Ebook());

    // A second run asks about the existing directory; No leaves it as it is.
    std::ofstream(Ebook() / "mine.txt") << "keep";
    auto box = test::AnswerNextBox(QMessageBox::No);
    window->按钮_输出->click();
    test::Settle(*window);
    ASSERT_TRUE(box->seen);
    EXPECT_EQ(box->text, U("文件已存在，是否删除到回收站？"));
    EXPECT_TRUE(fs::exists(Ebook() / "mine.txt"));
    EXPECT_TRUE(trashed.empty());
}

// A book loaded in one-line mode but not analysed gets its labels from the
// output run, which analyses it first; the window then shows them.
TEST_F(OutputPageTest, TheLabelsAnOutputRunGivesAnUnanalysedBookAreShown) {
    state.book.workingText.Adopt(G("第一卷 天下 第一章 甲\r\nx\r\n\r\n\r\n第一卷 天下 第二章 乙\r\ny\r\n"));
    test::ScriptedUi ui;
    text::LoadChapters(state.book, text::LayoutMode::OneLine, ui);
    ASSERT_EQ(state.book.index.ChapterCount(), 2);
    ASSERT_TRUE(state.book.index.labels.empty());
    window->ShowIndex();
    window->编辑框_书名->setText(U("书"));
    window->编辑框_作者->setText(U("人"));

    window->按钮_输出->click();
    test::Settle(*window);
    ASSERT_TRUE(fs::exists(Ebook() / "start.htm"));
    ASSERT_EQ(window->组合框_卷章序->count(), 2);
    EXPECT_EQ(window->组合框_卷章序->itemText(0), U("1_1"));
    EXPECT_EQ(window->组合框_卷章序->itemText(1), U("1_2"));
}

TEST_F(OutputPageTest, PreviewBeforeAnyOutputIsAnErrorAndCleanAsksFirst) {
    auto box = test::AnswerNextBox(QMessageBox::Ok);
    window->按钮_预览1->click();
    ASSERT_TRUE(box->seen);
    EXPECT_EQ(box->text, U("文件不存在！\r\n请先输出文件！！！！"));

    LoadBook();
    window->按钮_输出->click();
    test::Settle(*window);
    box = test::AnswerNextBox(QMessageBox::No);
    window->按钮_清理->click();
    ASSERT_TRUE(box->seen);
    EXPECT_TRUE(box->text.contains(QString::fromStdString(Ebook().string())));
    EXPECT_TRUE(fs::exists(Ebook()));
    box = test::AnswerNextBox(QMessageBox::Yes);
    window->按钮_清理->click();
    EXPECT_FALSE(fs::exists(Ebook()));
    EXPECT_TRUE(window->状态条1_部分1->text().endsWith(U("”到回收站成功")));
}

TEST_F(OutputPageTest, CompileChmThroughTheTitleDialogAndWriteThePackerProject) {
    if (QStandardPaths::findExecutable(QStringLiteral("chmcmd")).isEmpty()) GTEST_SKIP() << "chmcmd not installed";
    LoadBook();
    window->按钮_输出->click();
    test::Settle(*window);
    QString shownTitle;
    window->titleDialogRunner = [&](app::AppState& s, const QString& title, const QString&) {
        shownTitle = title;
        s.chmFileName = G("我的书");  // as if typed into 编辑框2 and confirmed
    };
    window->按钮_编译->click();
    test::Settle(*window);
    EXPECT_EQ(shownTitle, U("书"));
    EXPECT_TRUE(fs::exists(dir.Path() / "out" / "我的书.chm"));
    EXPECT_EQ(window->状态条1_部分1->text(), U("编译CHM成功！"));
    EXPECT_FALSE(window->按钮_预览2->isHidden());
    EXPECT_FALSE(window->按钮_清理->isHidden());
    window->按钮_预览2->click();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1], dir.Path() / "out" / "我的书.chm");

    window->titleDialogRunner = [](app::AppState& s, const QString&, const QString&) { s.titleDialogCancelled = true; };
    fs::remove(dir.Path() / "out" / "我的书.chm");
    window->按钮_编译->click();
    test::Settle(*window);
    EXPECT_FALSE(fs::exists(dir.Path() / "out" / "我的书.chm"));  // cancelled: nothing compiled

    window->按钮_EPJ->click();
    EXPECT_TRUE(fs::exists(dir.Path() / "out" / "书.epj"));
    EXPECT_FALSE(window->按钮_EPE->isHidden());
}

}  // namespace
}  // namespace qx::gui

namespace qx::gui {
namespace {

TEST_F(OutputPageTest, EpubButtonWritesTheEpubAfterNextAndShowsItsFolder) {
    EXPECT_TRUE(window->按钮_EPUB->isHidden());
    EXPECT_EQ(window->按钮_EPUB->text(), U("输出EPUB"));
    LoadBook();
    EXPECT_FALSE(window->按钮_EPUB->isHidden());  // usable without the HTML e-book
    window->按钮_EPUB->click();
    test::Settle(*window);
    const fs::path epub = dir.Path() / "out" / "书.epub";
    ASSERT_TRUE(fs::exists(epub));
    EXPECT_EQ(window->状态条1_部分1->text(), U("书.epub 输出EPUB成功！"));
    ASSERT_FALSE(opened.empty());
    EXPECT_EQ(opened.back(), epub.parent_path());

    // Asked before it is replaced; No keeps it.
    const auto before = fs::last_write_time(epub);
    auto box = test::AnswerNextBox(QMessageBox::No);
    window->按钮_EPUB->click();
    test::Settle(*window);
    EXPECT_TRUE(box->seen);
    EXPECT_TRUE(box->text.startsWith(U("EPUB 文件已存在"))) << box->text.toStdString();
    EXPECT_EQ(fs::last_write_time(epub), before);

    // A new input hides it again, with the other output-stage buttons.
    window->FileDialog()->chooser = [this](const CommonDialog&) {
        return std::optional<QString>(QString::fromStdString(dir.Write("二 人.txt", "x").string()));
    };
    window->按钮_浏览1->click();
    EXPECT_TRUE(window->按钮_EPUB->isHidden());
}

}  // namespace
}  // namespace qx::gui
