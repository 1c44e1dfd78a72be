#include "gui/main_window.h"

#include <QApplication>
#include <QSignalBlocker>

#include "gui/index_texts.h"
#include "gui/page_building.h"
#include "gui/qt_edge.h"
#include "text/chapters.h"
#include "text/next_step.h"
#include "gui/heading_rules_dialog.h"
#include "runtime/system_paths.h"
#include "text/messages.h"

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
    单选_卷章分行->setGeometry(14, 6, 100, 22);
    单选_卷章分行->setChecked(true);
    QX_MAKE(单选_卷章一行, 分组框2)->setText(QStringLiteral("卷章一行"));
    单选_卷章一行->setGeometry(14, 30, 100, 22);
    QX_MAKE(单选_按标题分章, 分组框2)->setText(QStringLiteral("按标题分章"));
    单选_按标题分章->setGeometry(14, 54, 100, 22);
    QX_MAKE(分组框4, 分组框3)->setGeometry(140, 18, 202, 82);
    QX_MAKE(单选_BIG5转码, 分组框4)->setText(QStringLiteral("BIG5 -> GBK简"));
    单选_BIG5转码->setGeometry(14, 3, 180, 19);
    QX_MAKE(单选_GBK繁体转码, 分组框4)->setText(QStringLiteral("GBK繁 -> GBK简"));
    单选_GBK繁体转码->setGeometry(14, 22, 180, 19);
    QX_MAKE(单选_Unicode转码, 分组框4)->setText(QStringLiteral("Unicode -> GBK简"));
    单选_Unicode转码->setGeometry(14, 41, 180, 19);
    QX_MAKE(单选_UTF8转码, 分组框4)->setText(QStringLiteral("UTF-8 -> GBK"));
    单选_UTF8转码->setGeometry(14, 60, 180, 19);
    for (QRadioButton* r : ConversionRadios()) r->setEnabled(false);

    QX_MAKE(选择框_内码转换, page)->setText(QStringLiteral("内码转换"));
    OnPage(选择框_内码转换, 14, 258, 84, 22);
    QX_MAKE(选择框_繁体转简体, page)->setText(QStringLiteral("繁体转简体"));
    OnPage(选择框_繁体转简体, 98, 258, 100, 22);
    选择框_繁体转简体->setEnabled(false);
    QX_MAKE(按钮_标题规则, page)->setText(QStringLiteral("标题规则"));
    OnPage(按钮_标题规则, 214, 256, 72, 24);
    QX_MAKE(按钮_下一步1, page)->setText(QStringLiteral("下一步"));
    OnPage(按钮_下一步1, 296, 256, 64, 24);
}

std::vector<QRadioButton*> MainWindow::ConversionRadios() const {
    return {单选_BIG5转码, 单选_GBK繁体转码, 单选_Unicode转码, 单选_UTF8转码};
}

text::LayoutMode MainWindow::Mode() const {
    if (单选_按标题分章->isChecked()) return text::LayoutMode::Headings;
    return 单选_卷章一行->isChecked() ? text::LayoutMode::OneLine : text::LayoutMode::SeparateLines;
}

void MainWindow::SetMode(text::LayoutMode mode) {
    (mode == text::LayoutMode::Headings  ? 单选_按标题分章
     : mode == text::LayoutMode::OneLine ? 单选_卷章一行
                                         : 单选_卷章分行)
        ->setChecked(true);
}

void MainWindow::HideOutputStageButtons() {
    for (QPushButton* b : {按钮_预览1, 按钮_预览2, 按钮_编译, 按钮_EPJ, 按钮_EPE, 按钮_清理, 按钮_EPUB})
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
    page.fromUtf8 = 单选_UTF8转码->isChecked();
    page.simplify = 选择框_繁体转简体->isChecked();
    page.mode = Mode();
    page.rules = std::make_shared<const headings::RuleSet>(m_state.headingRules);
}

void MainWindow::WriteConversionChoice() {
    const auto& page = m_state.filePage;
    选择框_内码转换->setChecked(page.convert);
    // Radios of one group: clearing all of them needs the group's exclusivity off.
    for (QRadioButton* r : ConversionRadios()) r->setAutoExclusive(false);
    单选_Unicode转码->setChecked(page.fromUnicode);
    单选_BIG5转码->setChecked(!page.fromUnicode && page.fromBig5);
    单选_GBK繁体转码->setChecked(!page.fromUnicode && !page.fromBig5 && page.fromTraditionalGbk);
    单选_UTF8转码->setChecked(!page.fromUnicode && !page.fromBig5 && !page.fromTraditionalGbk && page.fromUtf8);
    for (QRadioButton* r : ConversionRadios()) r->setAutoExclusive(true);
    m_userSimplify = page.simplify;
    OnConvertClicked();
}

void MainWindow::OnBrowseInput() {
    编辑框_书名->clear();
    编辑框_作者->clear();
    通用对话框1->initialDirectory = QString::fromStdString(m_state.inputDirectory);
    通用对话框1->filter = QString::fromUtf8(kInputFilter);
    if (通用对话框1->Open()) {
        ChooseInput(通用对话框1->fileName);
        return;
    }
    HideOutputStageButtons();
    状态条1_部分1->setText(QString::fromUtf8(kPressNext));
}

void MainWindow::ChooseInput(const QString& file) {
    编辑框_书名->clear();
    编辑框_作者->clear();
    const app::ChosenInput chosen = app::ChooseInputFile(m_state, file.toStdString());
    const QString stem = FromGbk(chosen.stem);
    状态条1_部分2->setText(stem);
    状态条1_部分2->setToolTip(stem);
    编辑框_文件名->setText(QString::fromStdString(chosen.path));
    if (!chosen.title.empty() || !chosen.author.empty()) {
        编辑框_书名->setText(FromGbk(chosen.title));
        编辑框_作者->setText(FromGbk(chosen.author));
    }
    HideOutputStageButtons();
    // The conversion that fits the file's encoding and the mode that fits
    // its headings, proposed; the user may still change both.
    if (const auto proposal = text::ProposeInput(chosen.path, m_state.headingRules)) {
        auto& page = m_state.filePage;
        page.convert = proposal->page.convert;
        page.fromUnicode = proposal->page.fromUnicode;
        page.fromBig5 = proposal->page.fromBig5;
        page.fromTraditionalGbk = proposal->page.fromTraditionalGbk;
        page.fromUtf8 = proposal->page.fromUtf8;
        page.simplify = proposal->page.simplify;
        WriteConversionChoice();
        SetMode(proposal->page.mode);
        m_ui->Status(proposal->status, true);
        return;
    }
    状态条1_部分1->setText(QString::fromUtf8(kPressNext));
}

void MainWindow::OnConvertClicked() {
    const bool on = 选择框_内码转换->isChecked();
    for (QRadioButton* r : ConversionRadios()) r->setEnabled(on);
    UpdateSimplifyBox();
}

void MainWindow::UpdateSimplifyBox() {
    // The BIG5 and traditional-GBK conversions always simplify; for UTF-8
    // and Unicode text it is the user's choice (proposed by detection).
    const bool always = 单选_BIG5转码->isChecked() || 单选_GBK繁体转码->isChecked();
    const bool choice = 单选_UTF8转码->isChecked() || 单选_Unicode转码->isChecked();
    QSignalBlocker block(选择框_繁体转简体);
    选择框_繁体转简体->setEnabled(选择框_内码转换->isChecked() && choice);
    选择框_繁体转简体->setChecked(always || (choice && m_userSimplify));
}

void MainWindow::OnNextOnFilePage() {
    ReadFilePage();
    // The step reads into a book of its own; the window's book is replaced
    // only when it has loaded, so a cancelled or refused step changes nothing.
    auto page = std::make_shared<text::FilePage>(m_state.filePage);
    auto book = std::make_shared<text::Book>();
    auto result = std::make_shared<text::NextStepResult>(text::NextStepResult::Stopped);
    auto texts = std::make_shared<IndexTexts>();
    RunLongWork([page, book, result, texts](runtime::Ui& ui) {
                    *result = text::RunNextStep(*page, *book, ui);
                    // The tree's texts are made here, so the window only shows them.
                    if (*result == text::NextStepResult::Loaded) *texts = IndexTextsOf(book->index);
                },
                [this, page, book, result, texts] {
                    if (*result == text::NextStepResult::Cancelled) {
                        m_ui->Status(text::msg::kStepCancelled);
                        return;
                    }
                    m_state.filePage = *page;
                    WriteConversionChoice();
                    if (*result != text::NextStepResult::Loaded) return;
                    m_state.book = std::move(*book);
                    ShowIndex(*texts);
                    按钮_EPUB->show();  // an EPUB needs only the loaded book
                    选择夹_制作流程->setCurrentIndex(1);
                });
}

}  // namespace qx::gui

namespace qx::gui {

void MainWindow::OnHeadingRules() {
    HeadingRulesDialog dialog(m_state.headingRules, this);
    dialog.bookText = [this]() -> std::string {
        if (m_state.book.workingText.IsOpen()) return std::string(m_state.book.workingText.Bytes());
        return {};
    };
    if (headingRulesRunner) {
        headingRulesRunner(dialog);
    } else {
        dialog.exec();
    }
    if (dialog.result() != QDialog::Accepted) return;
    m_state.headingRules = dialog.Rules();
    if (!headings::SaveRules(m_paths ? m_paths->ConfigDirectory() : runtime::ProgramHome(), m_state.headingRules)) {
        m_ui->Message(text::msg::kRulesNotSaved, runtime::Icon::Error);
    }
}

}  // namespace qx::gui
