// The desktop program's main window, driven through its named widgets.
#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidgetItemIterator>

#include "gui/gui_main.h"
#include "gui/preview_window.h"
#include "gui/title_dialog.h"
#include "runtime/encoding.h"
#include "gui_test_support.h"
#include "support/scripted_ui.h"
#include "support/temp_dir.h"

namespace qx::gui {
namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }
// This file is UTF-8; the core's texts and book files are GBK.
std::string G(const char* utf8) { return runtime::Utf8ToGbk(utf8); }

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { window = std::make_unique<MainWindow>(state); }

    template <class W>
    W* Find(const char* name) {
        W* w = window->findChild<W*>(U(name));
        EXPECT_NE(w, nullptr) << "no control " << name;
        return w;
    }
    QPushButton* Button(const char* name) { return Find<QPushButton>(name); }
    void Click(const char* name) {
        QAbstractButton* b = window->findChild<QAbstractButton*>(U(name));
        ASSERT_NE(b, nullptr) << name;
        b->click();
    }
    // Chooses `path` in the open-file dialog (or cancels when empty).
    void ChooseFile(const std::string& path) {
        window->FileDialog()->chooser = [this, path](const CommonDialog& d) -> std::optional<QString> {
            seenInitialDirectory = d.initialDirectory;
            seenFilter = d.filter;
            if (path.empty()) return std::nullopt;
            return QString::fromStdString(path);
        };
        Click("按钮_浏览1");
    }
    int TopLevelNodes() { return Find<QTreeWidget>("树型框_索引目录")->topLevelItemCount(); }

    app::AppState state;
    std::unique_ptr<MainWindow> window;
    test::TempDir dir;
    QString seenInitialDirectory;
    QString seenFilter;
};

TEST_F(MainWindowTest, OpensWithTheInitialStatesOfEveryPage) {
    EXPECT_EQ(window->windowTitle(), U("QX电子书制作软件 v3.2 Final"));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    auto* tabs = Find<QTabWidget>("选择夹_制作流程");
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), U("文件"));
    EXPECT_EQ(tabs->tabText(1), U("排版"));
    EXPECT_EQ(tabs->tabText(2), U("输出"));
    EXPECT_EQ(tabs->tabText(3), U("设置"));
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_EQ(window->状态条1_部分1->text(), U("请点击“浏览”按钮选择输入文件！"));
    EXPECT_FALSE(window->状态条1_部分2->text().isEmpty());

    // Page "文件".
    EXPECT_TRUE(Find<QLineEdit>("编辑框_文件名")->isReadOnly());
    EXPECT_EQ(Button("按钮_浏览1")->text(), U("浏览"));
    EXPECT_EQ(Find<QLabel>("标签4")->text(), U("书名："));
    EXPECT_EQ(Find<QLabel>("标签3")->text(), U("作者："));
    EXPECT_EQ(Find<QGroupBox>("分组框1")->title(), U("打开"));
    EXPECT_EQ(Find<QGroupBox>("分组框3")->title(), U("分析"));
    EXPECT_TRUE(Find<QRadioButton>("单选_卷章分行")->isChecked());
    EXPECT_FALSE(Find<QRadioButton>("单选_卷章一行")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>("选择框_内码转换")->isChecked());
    EXPECT_EQ(Find<QCheckBox>("选择框_内码转换")->text(), U("内码转换"));
    for (const char* r : {"单选_BIG5转码", "单选_GBK繁体转码", "单选_Unicode转码"}) {
        EXPECT_FALSE(Find<QRadioButton>(r)->isEnabled()) << r;
        EXPECT_FALSE(Find<QRadioButton>(r)->isChecked()) << r;
    }
    EXPECT_EQ(Find<QRadioButton>("单选_BIG5转码")->text(), U("BIG5 -> GBK简"));
    EXPECT_EQ(Find<QRadioButton>("单选_GBK繁体转码")->text(), U("GBK繁 -> GBK简"));
    EXPECT_EQ(Find<QRadioButton>("单选_Unicode转码")->text(), U("Unicode -> GBK简"));
    EXPECT_EQ(Button("按钮_下一步1")->text(), U("下一步"));

    // Page "排版".
    const std::pair<const char*, const char*> layoutButtons[] = {
        {"按钮_扩展", "展 开"}, {"按钮_载入", "载 入"}, {"按钮_分析", "分 析"},
        {"按钮_预览", "预 览"}, {"按钮_排版", "排 版"}, {"按钮_下一步2", "下一步"}};
    for (const auto& [name, caption] : layoutButtons) EXPECT_EQ(Button(name)->text(), U(caption)) << name;
    EXPECT_EQ(Find<QComboBox>("组合框_卷章名")->geometry().size(), QSize(336, 20));
    EXPECT_EQ(Find<QTreeWidget>("树型框_索引目录")->geometry().size(), QSize(264, 215));
    EXPECT_TRUE(Find<QCheckBox>("选择框_即时预览")->isChecked());
    for (const char* hidden : {"组合框_卷序", "组合框_卷章序", "气球提示框1"}) {
        EXPECT_TRUE(window->findChild<QWidget*>(U(hidden))->isHidden()) << hidden;
    }
    auto* menu = Find<QMenu>("父项目处理");
    ASSERT_EQ(menu->actions().size(), 2);
    EXPECT_EQ(menu->actions()[0]->text(), U("编辑"));
    EXPECT_EQ(menu->actions()[1]->text(), U("排版"));

    // Page "输出".
    const std::tuple<const char*, const char*, int, bool> outputButtons[] = {
        {"按钮_预览1", "预览HTM", 91, true}, {"按钮_预览2", "预览CHM", 120, true}, {"按钮_清理", "清理HTM", 149, true},
        {"按钮_EPE", "启动EPE", 177, true},  {"按钮_EPJ", "输出EPJ", 205, true},   {"按钮_编译", "编译CHM", 234, true},
        {"按钮_输出", "输 出", 264, false}};
    int previousTop = 0;
    for (const auto& [name, caption, top, hidden] : outputButtons) {
        QPushButton* b = Button(name);
        EXPECT_EQ(b->text(), U(caption)) << name;
        EXPECT_EQ(b->isHidden(), hidden) << name;
        EXPECT_EQ(b->size(), QSize(56, 24)) << name;
        EXPECT_GT(b->y(), previousTop) << name;  // one column, in this order from the top
        previousTop = b->y();
    }
    EXPECT_EQ(Find<QGroupBox>("分组框5")->title(), U("输出目录"));
    EXPECT_EQ(Find<QGroupBox>("分组框7")->title(), U("模板"));
    EXPECT_EQ(Find<QGroupBox>("分组框_编队组件")->title(), U("在选模板编号"));
    for (const char* counter : {"标签_已选模板数量", "标签_可用模板数量", "标签_在选模板编号"}) {
        EXPECT_EQ(Find<QLabel>(counter)->text(), U("0")) << counter;
    }
    EXPECT_EQ(Find<QLabel>("标签1")->text(), U("已选模板："));
    EXPECT_EQ(Find<QLabel>("标签2")->text(), U("可用模板："));
    EXPECT_EQ(Find<QLabel>("标签_编号标签")->text(), U("模板编号："));
    EXPECT_EQ(Button("按钮_编号减一")->text(), U("减一"));
    EXPECT_EQ(Button("按钮_编号加一")->text(), U("加一"));
    EXPECT_EQ(Button("按钮_移至队首")->text(), U("移至队首"));
    EXPECT_EQ(Button("按钮_移至队尾")->text(), U("移至队尾"));
    EXPECT_EQ(Button("按钮_模板自动排序")->text(), U("自动排序"));
    EXPECT_FALSE(Button("按钮_编号减一")->isEnabled());
    EXPECT_FALSE(Button("按钮_移至队首")->isEnabled());
    EXPECT_TRUE(Find<QCheckBox>("选择框_自动开启输出目录")->isChecked());
    EXPECT_EQ(Find<QCheckBox>("选择框_自动开启输出目录")->text(), U("输出成功后打开输出目录"));

    // Page "设置".
    EXPECT_EQ(Find<QGroupBox>("分组框_参数")->title(), U("参数"));
    EXPECT_EQ(Find<QListWidget>("列表框_参数")->count(), 0);
    EXPECT_EQ(Find<QPlainTextEdit>("编辑框_代码")->geometry(), QRect(109, 16, 228, 210));
    EXPECT_TRUE(Find<QCheckBox>("选择框_参数_自动保存")->isChecked());
    EXPECT_EQ(Button("按钮_保存")->text(), U("保 存"));
    EXPECT_EQ(Button("按钮_还原")->text(), U("还 原"));
}

TEST_F(MainWindowTest, ChoosingAFileProposesTitleAndAuthorAndShowsTheStem) {
    state.inputDirectory = "/books";
    const auto path = dir.Write("《西游记》吴承恩.txt", "x").string();
    ChooseFile(path);
    EXPECT_EQ(seenInitialDirectory, U("/books"));
    EXPECT_EQ(seenFilter, U("文本文件（*.txt）|*.txt|所有文件（*.*）|*.*"));
    EXPECT_EQ(Find<QLineEdit>("编辑框_文件名")->text(), QString::fromStdString(path));
    EXPECT_EQ(Find<QLineEdit>("编辑框_书名")->text(), U("《西游记》"));
    EXPECT_EQ(Find<QLineEdit>("编辑框_作者")->text(), U("吴承恩"));
    EXPECT_EQ(window->状态条1_部分2->text(), U("《西游记》吴承恩"));
    EXPECT_EQ(window->状态条1_部分2->toolTip(), U("《西游记》吴承恩"));
    // What the file was found to be, and what to do next.
    EXPECT_TRUE(window->状态条1_部分1->text().startsWith(U("ASCII 编码"))) << window->状态条1_部分1->text().toStdString();
    EXPECT_TRUE(window->状态条1_部分1->text().endsWith(U("请点击下一步继续！")));
    EXPECT_EQ(state.inputDirectory, dir.Path().string());
}

TEST_F(MainWindowTest, ANameWithoutAuthorLeavesBothFieldsEmpty) {
    Find<QLineEdit>("编辑框_书名")->setText(U("old"));
    ChooseFile(dir.Write("西游记.txt", "x").string());
    EXPECT_EQ(Find<QLineEdit>("编辑框_书名")->text(), U(""));
    EXPECT_EQ(Find<QLineEdit>("编辑框_作者")->text(), U(""));
}

TEST_F(MainWindowTest, CancellingTheDialogEmptiesTheFieldsButKeepsThePreviousBook) {
    const auto path = dir.Write("甲 乙.txt", G("第一卷\r\n\r\n\r\n第一章\r\n正文\r\n")).string();
    ChooseFile(path);
    Click("按钮_下一步1");
    test::Settle(*window);
    ASSERT_TRUE(state.book.workingText.IsOpen());
    Button("按钮_预览1")->show();
    ChooseFile("");
    EXPECT_EQ(Find<QLineEdit>("编辑框_书名")->text(), U(""));
    EXPECT_EQ(Find<QLineEdit>("编辑框_文件名")->text(), QString::fromStdString(path));
    EXPECT_TRUE(state.book.workingText.IsOpen());
    EXPECT_TRUE(Button("按钮_预览1")->isHidden());
    EXPECT_EQ(window->状态条1_部分1->text(), U("请点击下一步继续！"));
}

TEST_F(MainWindowTest, ChoosingASecondFileHidesTheOutputStageButtonsOnly) {
    const char* outputButtons[] = {"按钮_预览1", "按钮_预览2", "按钮_清理", "按钮_EPE", "按钮_EPJ", "按钮_编译"};
    for (const char* b : outputButtons) Button(b)->show();
    Find<QLineEdit>("编辑框_输出目录")->setText(U("/srv/ebooks"));
    ChooseFile(dir.Write("书 人.txt", "x").string());
    for (const char* b : outputButtons) EXPECT_TRUE(Button(b)->isHidden()) << b;
    EXPECT_FALSE(Button("按钮_输出")->isHidden());
    EXPECT_EQ(Find<QLineEdit>("编辑框_输出目录")->text(), U("/srv/ebooks"));
}

TEST_F(MainWindowTest, NextRefusesWithoutFileOrTitle) {
    auto box = test::AnswerNextBox(QMessageBox::Ok);
    Click("按钮_下一步1");
    test::Settle(*window);
    ASSERT_TRUE(box->seen);
    EXPECT_EQ(box->text, U("点击下一步按钮之前，请首先选定输入文件！"));
    EXPECT_EQ(box->icon, QMessageBox::Warning);

    ChooseFile(dir.Write("西游记.txt", "x").string());
    box = test::AnswerNextBox(QMessageBox::Ok);
    Click("按钮_下一步1");
    test::Settle(*window);
    ASSERT_TRUE(box->seen);
    EXPECT_EQ(box->text, U("书名或作者名信息未知，请重新填写！"));
    EXPECT_EQ(Find<QTabWidget>("选择夹_制作流程")->currentIndex(), 0);
}

TEST_F(MainWindowTest, Utf16QuestionAnsweredYesTicksTheConversion) {
    const std::string utf16("\xFF\xFE" "a\0\0\x30\r\0\n\0", 10);
    ChooseFile(dir.Write("书 人.txt", utf16).string());
    // The encoding is found when the file is chosen; the question comes only
    // when the user turns the conversion off.
    EXPECT_TRUE(Find<QRadioButton>("单选_Unicode转码")->isChecked());
    Click("选择框_内码转换");
    ASSERT_FALSE(Find<QCheckBox>("选择框_内码转换")->isChecked());
    auto box = test::AnswerNextBox(QMessageBox::Yes);
    Click("按钮_下一步1");
    test::Settle(*window);
    ASSERT_TRUE(box->seen);
    EXPECT_EQ(box->title, U("注意："));
    EXPECT_TRUE(box->text.startsWith(U("发现连续空白字节集")));
    EXPECT_EQ(box->buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_TRUE(Find<QCheckBox>("选择框_内码转换")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>("单选_Unicode转码")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>("单选_Unicode转码")->isEnabled());
    EXPECT_EQ(Find<QTabWidget>("选择夹_制作流程")->currentIndex(), 1);
}

TEST_F(MainWindowTest, Utf16QuestionCancelledStaysOnTheFirstPage) {
    ChooseFile(dir.Write("书 人.txt", std::string("a\0\0b", 4)).string());
    auto box = test::AnswerNextBox(QMessageBox::Cancel);
    Click("按钮_下一步1");
    test::Settle(*window);
    ASSERT_TRUE(box->seen);
    EXPECT_FALSE(Find<QCheckBox>("选择框_内码转换")->isChecked());
    EXPECT_EQ(Find<QTabWidget>("选择夹_制作流程")->currentIndex(), 0);
}

TEST_F(MainWindowTest, ConversionRadiosFollowTheCheckBox) {
    Click("选择框_内码转换");
    for (const char* r : {"单选_BIG5转码", "单选_GBK繁体转码", "单选_Unicode转码", "单选_UTF8转码"}) {
        EXPECT_TRUE(Find<QRadioButton>(r)->isEnabled()) << r;
    }
    Click("选择框_内码转换");
    for (const char* r : {"单选_BIG5转码", "单选_GBK繁体转码", "单选_Unicode转码", "单选_UTF8转码"}) {
        EXPECT_FALSE(Find<QRadioButton>(r)->isEnabled()) << r;
    }
}

TEST_F(MainWindowTest, NextLoadsTheCorpusBooksIntoComboAndTree) {
    const auto corpus = test::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "test novels not found: set QX_CORPUS_DIR";
    ChooseFile((corpus / "strict_separate_lines.gbk.txt").string());
    Find<QLineEdit>("编辑框_书名")->setText(U("西游记"));
    Find<QLineEdit>("编辑框_作者")->setText(U("吴承恩"));
    EXPECT_TRUE(Find<QRadioButton>("单选_按标题分章")->isChecked());  // its headings were found
    Click("单选_卷章分行");
    Click("按钮_下一步1");
    test::Settle(*window);
    EXPECT_EQ(Find<QTabWidget>("选择夹_制作流程")->currentIndex(), 1);
    EXPECT_EQ(TopLevelNodes(), 10);
    EXPECT_EQ(Find<QComboBox>("组合框_卷章名")->count(), 100);
    EXPECT_EQ(Find<QComboBox>("组合框_卷章名")->currentIndex(), 0);
    EXPECT_EQ(Find<QComboBox>("组合框_卷章序")->itemText(99), U("10_10"));
    EXPECT_EQ(window->状态条1_部分1->text(), U("卷章分行无需排版，请点击下一步继续！"));

    ChooseFile((corpus / "strict_one_line.gbk.txt").string());
    Find<QLineEdit>("编辑框_书名")->setText(U("西游记"));
    Find<QLineEdit>("编辑框_作者")->setText(U("吴承恩"));
    Click("单选_卷章一行");
    Click("按钮_下一步1");
    test::Settle(*window);
    EXPECT_EQ(TopLevelNodes(), 10);
    EXPECT_EQ(Find<QTreeWidget>("树型框_索引目录")->topLevelItem(0)->childCount(), 10);
    EXPECT_TRUE(Find<QTreeWidget>("树型框_索引目录")->topLevelItem(0)->font(0).bold());
}

TEST_F(MainWindowTest, LoadAndAnalyzeButtonsRebuildTheViews) {
    ChooseFile(dir.Write("书 人.txt", G("甲 一\r\nx\r\n\r\n\r\n乙 二\r\ny\r\n")).string());
    Click("按钮_下一步1");
    test::Settle(*window);
    // Separate lines: two chapters before any volume; the second names node 0 as its parent.
    EXPECT_EQ(TopLevelNodes(), 1);
    Click("单选_卷章一行");
    Click("按钮_载入");
    EXPECT_EQ(TopLevelNodes(), 0);
    EXPECT_EQ(window->状态条1_部分1->text(), U("载入完成，请进行分析！"));
    Click("按钮_分析");
    EXPECT_EQ(TopLevelNodes(), 2);
    EXPECT_EQ(Find<QTreeWidget>("树型框_索引目录")->topLevelItem(1)->child(0)->text(0), U("二"));
    EXPECT_EQ(window->状态条1_部分1->text(), U("分析完成，请调整排版！"));
}

TEST_F(MainWindowTest, SecondNextButtonAndOutputFolderChooser) {
    Click("按钮_下一步2");
    EXPECT_EQ(Find<QTabWidget>("选择夹_制作流程")->currentIndex(), 2);
    QString askedTitle;
    window->folderChooser = [&](QWidget*, const QString& title) {
        askedTitle = title;
        return QString();
    };
    Find<QLineEdit>("编辑框_输出目录")->setText(U(""));
    Click("按钮_浏览2");
    EXPECT_EQ(askedTitle, U("请选择输出目录"));
    EXPECT_EQ(Find<QLineEdit>("编辑框_输出目录")->text(), U(""));  // cancelled: unchanged, even when empty
    window->folderChooser = [](QWidget*, const QString&) { return U("/srv/ebooks"); };
    Click("按钮_浏览2");
    EXPECT_EQ(Find<QLineEdit>("编辑框_输出目录")->text(), U("/srv/ebooks"));
}

TEST_F(MainWindowTest, TenThousandChaptersFillTheViewsQuickly) {
    std::string text;
    for (int v = 1; v <= 100; ++v) {
        text += "V" + std::to_string(v) + "\r\n\r\n\r\n";
        for (int c = 1; c <= 100; ++c) text += "C" + std::to_string(c) + "\r\nbody\r\n\r\n\r\n";
    }
    state.book.workingText.Adopt(std::move(text));
    test::ScriptedUi ui;
    text::LoadChapters(state.book, text::LayoutMode::SeparateLines, ui);
    QElapsedTimer timer;
    timer.start();
    window->ShowIndex();
    const auto ms = timer.elapsed();
    std::cout << "showing 10,000 chapters took " << ms << " ms\n";
    EXPECT_EQ(Find<QComboBox>("组合框_卷章名")->count(), 10000);
    EXPECT_EQ(TopLevelNodes(), 100);
}

class LayoutPageTest : public MainWindowTest {
protected:
    // Chooses a book and presses Next in one-line mode.
    void LoadOneLine(const std::string& path) {
        ChooseFile(path);
        Find<QLineEdit>("编辑框_书名")->setText(U("书"));
        Find<QLineEdit>("编辑框_作者")->setText(U("人"));
        Click("单选_卷章一行");
        Click("按钮_下一步1");
        test::Settle(*window);
    }
    QTreeWidget* Tree() { return Find<QTreeWidget>("树型框_索引目录"); }
    QTreeWidgetItem* Node(int index) {
        for (QTreeWidgetItemIterator it(Tree()); *it; ++it) {
            if ((*it)->data(0, Qt::UserRole).toInt() == index) return *it;
        }
        return nullptr;
    }
    void DoubleClick(int index) {
        Tree()->setCurrentItem(Node(index));
        emit Tree()->itemDoubleClicked(Node(index), 0);
    }
    QString Status() { return window->状态条1_部分1->text(); }
};

TEST_F(LayoutPageTest, StrictOneLineBook_ManualLayoutAndInPlaceEditing) {
    const auto corpus = test::CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "test novels not found: set QX_CORPUS_DIR";
    window->show();
    LoadOneLine((corpus / "strict_one_line.gbk.txt").string());
    EXPECT_EQ(Status(), U("自动排版完成，点击下一步继续！"));
    Click("按钮_分析");
    EXPECT_EQ(Status(), U("分析完成，请调整排版！"));
    ASSERT_EQ(Tree()->topLevelItemCount(), 10);
    EXPECT_EQ(Node(0)->text(0), U("第一卷"));

    // Chapters of a volume begin with different words: the manual layout
    // fails on the second one and shows it, changing nothing.
    DoubleClick(1);
    EXPECT_EQ(Status(), U("排版失败！卷名提取有差异！"));
    EXPECT_EQ(Tree()->currentItem(), Node(2));
    EXPECT_TRUE(Node(2)->font(0).bold());
    EXPECT_EQ(Node(0)->text(0), U("第一卷"));

    // Give the first volume's chapters a shared word by editing them in place,
    // then lay the volume out by double-clicking one of its chapters.
    Node(0)->setExpanded(true);
    for (int i = 1; i <= 10; ++i) {
        Tree()->setCurrentItem(Node(i));
        window->编辑->trigger();
        QLineEdit* editor = nullptr;
        for (auto* e : Tree()->viewport()->findChildren<QLineEdit*>()) {
            if (e->isVisible()) editor = e;  // closed editors linger until deleted
        }
        ASSERT_NE(editor, nullptr) << "no in-place editor for node " << i;
        editor->setText(U("花果山 ") + editor->text());
        QTest::keyClick(editor, Qt::Key_Return);
    }
    EXPECT_EQ(state.book.index.tree.TextOf(1), G("花果山 第一回 灵根育孕源流出　心性修持大道生"));
    DoubleClick(3);
    EXPECT_EQ(Node(0)->text(0), U("第一卷 花果山"));
    EXPECT_EQ(Node(1)->text(0), U("第一回 灵根育孕源流出　心性修持大道生"));
    EXPECT_EQ(state.book.index.tree.TextOf(0), G("第一卷 花果山"));
    EXPECT_EQ(state.book.index.titles[0], G("第一卷 第一回 灵根育孕源流出　心性修持大道生"));  // titles stay

    // Double-clicking a volume does nothing; the menu's 排版 on a volume lays it out.
    DoubleClick(11);
    EXPECT_EQ(Node(11)->text(0), U("第二卷"));
}

TEST_F(LayoutPageTest, SingleChapterVolumeIsLeftByAutomaticButLaidOutByHand) {
    LoadOneLine(dir.Write("b.txt", G("第二卷 天下 第一章 甲\r\nx\r\n\r\n\r\n第二卷 天下 第二章 乙\r\ny\r\n\r\n\r\n"
                                     "第三卷 江湖 第一章 丙\r\nz\r\n"))
                    .string());
    EXPECT_EQ(Node(0)->text(0), U("第二卷 天下"));
    EXPECT_EQ(Node(1)->text(0), U("第一章 甲"));
    EXPECT_EQ(Node(3)->text(0), U("第三卷"));
    Tree()->setCurrentItem(Node(3));
    window->排版->trigger();  // the menu item on a volume node lays out that volume
    EXPECT_EQ(Node(3)->text(0), U("第三卷 江湖"));
    EXPECT_EQ(Node(4)->text(0), U("第一章 丙"));

    Click("单选_卷章分行");
    Click("按钮_排版");
    EXPECT_EQ(Status(), U("卷章分行无需排版，请点击下一步继续！"));
    DoubleClick(4);
    EXPECT_EQ(Status(), U("卷章分行无需排版！"));
}

TEST_F(LayoutPageTest, ExpandCollapseToggleAndFocusHint) {
    Click("按钮_扩展");
    EXPECT_EQ(Button("按钮_扩展")->text(), U("展 开"));  // an empty tree: nothing happens
    LoadOneLine(dir.Write("b.txt", G("甲 一\r\nx\r\n\r\n\r\n乙 二\r\ny\r\n")).string());
    Click("按钮_扩展");
    EXPECT_EQ(Button("按钮_扩展")->text(), U("收 缩"));
    EXPECT_TRUE(Tree()->topLevelItem(0)->isExpanded());
    EXPECT_TRUE(Tree()->topLevelItem(1)->isExpanded());
    Click("按钮_扩展");
    EXPECT_EQ(Button("按钮_扩展")->text(), U("展 开"));
    EXPECT_FALSE(Tree()->topLevelItem(0)->isExpanded());

    window->show();
    Find<QTabWidget>("选择夹_制作流程")->setCurrentIndex(1);
    Tree()->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(Status(), U("如需手动排版，请双击子项目！"));
}

TEST_F(LayoutPageTest, BalloonShowsAVolumeGridOnlyWhenInstantPreviewIsOn) {
    LoadOneLine(dir.Write("b.txt", G("甲 一\r\nx\r\n\r\n\r\n乙 二\r\ny\r\n\r\n\r\n乙 三\r\n\r\n\r\n")).string());
    window->show();
    Tree()->setCurrentItem(Node(2));
    ASSERT_TRUE(window->气球提示框1->isVisible());
    EXPECT_TRUE(window->气球提示框1->text().contains(U("<td>二</td><td>三</td><td></td><td></td></tr>")));
    window->气球提示框1->hide();
    Tree()->setCurrentItem(Node(3));  // a chapter: no balloon
    EXPECT_FALSE(window->气球提示框1->isVisible());
    Click("选择框_即时预览");
    Tree()->setCurrentItem(Node(2));
    EXPECT_FALSE(window->气球提示框1->isVisible());
    Tree()->setCurrentItem(Node(0));  // node 0 shows its own text whatever the switch says
    EXPECT_TRUE(window->气球提示框1->isVisible());
    EXPECT_TRUE(window->气球提示框1->text().contains(U("甲")));
}

TEST_F(LayoutPageTest, WholeBookPreviewWritesThePageAndOpensTheWindow) {
    int opened = 0;
    bool pageThere = false;
    const QString out = QString::fromStdString((dir.Path() / "out" / "deeper").string());
    window->previewOpener = [&](const QString& outputDirectory, const QString&) {
        ++opened;
        pageThere = QFile::exists(outputDirectory + U("/preview.htm"));
    };
    Find<QLineEdit>("编辑框_输出目录")->setText(out);
    Click("按钮_预览");
    EXPECT_EQ(opened, 0);  // an empty tree: nothing written, no window
    LoadOneLine(dir.Write("b.txt", G("甲 一\r\nx\r\n\r\n\r\n乙 二\r\ny\r\n")).string());
    Click("按钮_预览");
    EXPECT_EQ(opened, 1);
    EXPECT_TRUE(pageThere);
}

TEST(TitleDialog, ProposalsTickUntickOkAndCancel) {
    app::AppState state;
    state.ebookTitle = G("西游记");
    state.chmFileName = "xiyouji";
    TitleDialog dialog(state, U("西游记"), U("吴承恩"));
    EXPECT_EQ(dialog.编辑框1->text(), U("西游记"));
    EXPECT_EQ(dialog.编辑框2->text(), U("xiyouji"));
    EXPECT_EQ(dialog.选择框1->text(), U("全本"));
    dialog.编辑框2->setText(U("typed"));
    dialog.选择框1->click();
    EXPECT_EQ(dialog.编辑框2->text(), U("《西游记》作者：吴承恩"));
    dialog.选择框1->click();
    EXPECT_EQ(dialog.编辑框2->text(), U("xiyouji"));  // the proposal, not what was typed
    dialog.编辑框1->setText(U("新标题"));
    dialog.按钮1->click();
    EXPECT_EQ(state.ebookTitle, G("新标题"));
    EXPECT_EQ(state.chmFileName, "xiyouji");
    EXPECT_FALSE(state.titleDialogCancelled);

    TitleDialog again(state, U("西游记"), U("吴承恩"));
    again.编辑框1->setText(U("ignored"));
    again.按钮2->click();
    EXPECT_TRUE(state.titleDialogCancelled);
    EXPECT_EQ(state.chmFileName, "xiyouji");

    state.titleDialogCancelled = false;
    TitleDialog framed(state, U("西游记"), U("吴承恩"));
    framed.编辑框1->setText(U("ignored"));
    framed.close();  // closing by the frame changes nothing
    EXPECT_FALSE(state.titleDialogCancelled);
    EXPECT_EQ(state.chmFileName, "xiyouji");
}

TEST(PreviewWindow, ShowsPreviewFileWhenThereAndDeletesItOnClose) {
    test::TempDir out;
    const auto preview = out.Write("preview.htm", "<title>T</title>");
    {
        PreviewWindow window(QString::fromStdString(out.Path().string()), U("/nowhere"));
        EXPECT_EQ(window.windowTitle(), U("预览"));
        EXPECT_TRUE(window.Target().endsWith(U("preview.htm")));
        window.show();
        window.close();
        window.done(0);
    }
    EXPECT_FALSE(QFile::exists(QString::fromStdString(preview.string())));
    PreviewWindow fallback(QString::fromStdString(out.Path().string()), U("/books/书"));
    EXPECT_EQ(fallback.Target(), U("/books/书/start.htm"));
}

}  // namespace
}  // namespace qx::gui

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    qx::gui::PrepareApplication();
    QApplication application(argc, argv);
    qx::gui::UseProgramFont();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
