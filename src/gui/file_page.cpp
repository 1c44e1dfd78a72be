#include "gui/main_window.h"

#include <QApplication>

#include "gui/page_building.h"
#include "gui/qt_edge.h"
#include "text/chapters.h"
#include "text/next_step.h"

namespace qx::gui {

using build::Make;
using build::OnPage;

namespace {

const char* const kPressNext = "请点击下一步继续！";
const char* const kInputFilter = "文本文件（*.txt）|*.txt|所有文件（*.*）|*.*";

}  // namespace

void MainWindow::BuildFilePage(QWidget* page) {
    QX_MAKE(分组框1, page)->setTitle(QStringLiteral("打开"));
    OnPage(分组框1, 10, 30, 352, 108);
    QX_MAKE(编辑框_文件名, 分组框1)->setGeometry(10, 22, 268, 22);
    编辑框_文件名->setReadOnly(true);
    QX_MAKE(按钮_浏览1, 分组框1)->setText(QStringLiteral("浏览"));
    按钮_浏览1->setGeometry(284, 21, 56, 24);
    QX_MAKE(标签4, 分组框1)->setText(QStringLiteral("书名："));
    标签4->setGeometry(10, 54, 40, 20);
    QX_MAKE(编辑框_书名, 分组框1)->setGeometry(52, 52, 288, 22);
    QX_MAKE(标签3, 分组框1)->setText(QStringLiteral("作者："));
    标签3->setGeometry(10, 80, 40, 20);
    QX_MAKE(编辑框_作者, 分组框1)->setGeometry(52, 78, 288, 22);

    QX_MAKE(分组框3, page)->setTitle(QStringLiteral("分析"));
    OnPage(分组框3, 10, 142, 352, 108);
    QX_MAKE(分组框2, 分组框3)->setGeometry(10, 18, 120, 82);
    QX_MAKE(单选_卷章分行, 分组框2)->setText(QStringLiteral("卷章分行"));
    单选_卷章分行->setGeometry(14, 16, 96, 22);
    单选_卷章分行->setChecked(true);
    QX_MAKE(单选_卷章一行, 分组框2)->setText(QStringLiteral("卷章一行"));
    单选_卷章一行->setGeometry(14, 48, 96, 22);
    QX_MAKE(分组框4, 分组框3)->setGeometry(140, 18, 202, 82);
    QX_MAKE(单选_BIG5转码, 分组框4)->setText(QStringLiteral("BIG5 -> GBK简"));
    单选_BIG5转码->setGeometry(14, 8, 180, 22);
    QX_MAKE(单选_GBK繁体转码, 分组框4)->setText(QStringLiteral("GBK繁 -> GBK简"));
    单选_GBK繁体转码->setGeometry(14, 32, 180, 22);
    QX_MAKE(单选_Unicode转码, 分组框4)->setText(QStringLiteral("Unicode -> GBK简"));
    单选_Unicode转码->setGeometry(14, 56, 180, 22);
    for (QRadioButton* r : {单选_BIG5转码, 单选_GBK繁体转码, 单选_Unicode转码})
        r->setEnabled(false);

    QX_MAKE(选择框_内码转换, page)->setText(QStringLiteral("内码转换"));
    OnPage(选择框_内码转换, 14, 258, 100, 22);
    QX_MAKE(按钮_下一步1, page)->setText(QStringLiteral("下一步"));
    OnPage(按钮_下一步1, 296, 256, 64, 24);
}

text::LayoutMode MainWindow::Mode() const {
    return 单选_卷章一行->isChecked() ? text::LayoutMode::OneLine : text::LayoutMode::SeparateLines;
}

void MainWindow::HideOutputStageButtons() {
    for (QPushButton* b : {按钮_预览1, 按钮_预览2, 按钮_编译, 按钮_EPJ, 按钮_EPE, 按钮_清理})
        b->hide();
}

void MainWindow::ReadFilePage() {
    auto& page = m_state.filePage;
    page.inputPath = 编辑框_文件名->text().toStdString();
    page.title = ToGbk(编辑框_书名->text());
    page.author = ToGbk(编辑框_作者->text());
    page.convert = 选择框_内码转换->isChecked();
    page.fromUnicode = 单选_Unicode转码->isChecked();
    page.fromBig5 = 单选_BIG5转码->isChecked();
    page.fromTraditionalGbk = 单选_GBK繁体转码->isChecked();
    page.mode = Mode();
}

void MainWindow::WriteConversionChoice() {
    const auto& page = m_state.filePage;
    选择框_内码转换->setChecked(page.convert);
    if (page.fromUnicode)
        单选_Unicode转码->setChecked(true);
    OnConvertClicked();
}

void MainWindow::OnBrowseInput() {
    编辑框_书名->clear();
    编辑框_作者->clear();
    通用对话框1->initialDirectory = QString::fromStdString(m_state.inputDirectory);
    通用对话框1->filter = QString::fromUtf8(kInputFilter);
    if (通用对话框1->Open()) {
        const app::ChosenInput chosen = app::ChooseInputFile(m_state, 通用对话框1->fileName.toStdString());
        const QString stem = FromGbk(chosen.stem);
        状态条1_部分2->setText(stem);
        状态条1_部分2->setToolTip(stem);
        编辑框_文件名->setText(QString::fromStdString(chosen.path));
        if (!chosen.title.empty() || !chosen.author.empty()) {
            编辑框_书名->setText(FromGbk(chosen.title));
            编辑框_作者->setText(FromGbk(chosen.author));
        }
    }
    HideOutputStageButtons();
    状态条1_部分1->setText(QString::fromUtf8(kPressNext));
}

void MainWindow::OnConvertClicked() {
    const bool on = 选择框_内码转换->isChecked();
    for (QRadioButton* r : {单选_BIG5转码, 单选_GBK繁体转码, 单选_Unicode转码})
        r->setEnabled(on);
}

void MainWindow::OnNextOnFilePage() {
    ReadFilePage();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const auto result = text::RunNextStep(m_state.filePage, m_state.book, *m_ui);
    QApplication::restoreOverrideCursor();
    WriteConversionChoice();
    if (result != text::NextStepResult::Loaded)
        return;
    ShowIndex();
    选择夹_制作流程->setCurrentIndex(1);
}

}  // namespace qx::gui
