#include "gui/main_window.h"

#include <QCursor>
#include <QFont>
#include <QBrush>
#include <QColor>
#include <QStringListModel>
#include <QTimer>

#include "gui/index_texts.h"
#include "gui/page_building.h"
#include "gui/qt_edge.h"
#include "text/chapters.h"
#include "text/layout.h"
#include "text/messages.h"
#include "text/preview.h"

namespace qx::gui {

using build::Make;
using build::OnPage;

namespace {

const QColor kSuspiciousColour(0xC0, 0x40, 0x00);

}  // namespace

void MainWindow::BuildLayoutPage(QWidget* page) {
    QX_MAKE(组合框_卷章名, page);
    OnPage(组合框_卷章名, 15, 39, 336, 20);
    组合框_卷章名->setMaxVisibleItems(20);
    QX_MAKE(树型框_索引目录, page);
    OnPage(树型框_索引目录, 15, 72, 264, 215);
    树型框_索引目录->setHeaderHidden(true);
    树型框_索引目录->setUniformRowHeights(true);
    树型框_索引目录->setContextMenuPolicy(Qt::CustomContextMenu);
    树型框_索引目录->setEditTriggers(QAbstractItemView::NoEditTriggers);

    struct Row {
        QPushButton** button;
        const char* name;
        const char* caption;
    };
    const Row rows[] = {
        {&按钮_扩展, "按钮_扩展", "展 开"}, {&按钮_载入, "按钮_载入", "载 入"},
        {&按钮_分析, "按钮_分析", "分 析"}, {&按钮_预览, "按钮_预览", "预 览"},
        {&按钮_排版, "按钮_排版", "排 版"}, {&按钮_下一步2, "按钮_下一步2", "下一步"},
    };
    int y = 72;
    for (const Row& row : rows) {
        Make(*row.button, page, row.name)->setText(QString::fromUtf8(row.caption));
        OnPage(*row.button, 288, y, 64, 24);
        y += 31;
        if (row.button == &按钮_分析) {
            QX_MAKE(选择框_即时预览, page)->setText(QStringLiteral("即时预览"));
            OnPage(选择框_即时预览, 288, y, 76, 24);
            选择框_即时预览->setChecked(true);
            y += 31;
        }
    }
    QX_MAKE(组合框_卷序, page)->hide();
    QX_MAKE(组合框_卷章序, page)->hide();
    // The three lists hold a line per chapter: a plain list of strings takes
    // a book's thousands of lines in one step, where the default model makes
    // an item of each (two thirds of the time the window stood still after
    // loading a book of 7,000 chapters).
    for (QComboBox* combo : {组合框_卷章名, 组合框_卷序, 组合框_卷章序}) combo->setModel(new QStringListModel(combo));
    // The balloon is a tool-tip window of its own, shown at the mouse.
    气球提示框1 = new QLabel(this, Qt::ToolTip);
    气球提示框1->setObjectName(QStringLiteral("气球提示框1"));
    气球提示框1->setTextFormat(Qt::RichText);
    气球提示框1->setStyleSheet(
        QStringLiteral("QLabel { background: #ffffe1; border: 1px solid #808080; padding: 4px; }"));
    气球提示框1->hide();
}

void MainWindow::OnLoad() {
    text::LoadChapters(m_state.book, Mode(), *m_ui);
    ShowIndex();
}

void MainWindow::OnAnalyze() {
    text::AnalyzeChapters(m_state.book, Mode(), *m_ui);
    ShowIndex();
}

void MainWindow::OnNextOnLayoutPage() {
    选择夹_制作流程->setCurrentIndex(2);
}

void MainWindow::OnAutomaticLayout() {
    text::AutomaticLayout(m_state.book.index, Mode(), *m_ui);
    RefreshNodeTexts();
}

void MainWindow::RefreshNodeTexts() {
    const auto& nodes = m_state.book.index.tree.Nodes();
    if (nodes.size() != m_items.size()) {
        ShowIndex();
        return;
    }
    m_filling = true;
    QFont bold = 树型框_索引目录->font();
    bold.setBold(true);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        QTreeWidgetItem* item = m_items[i];
        const QString text = FromGbk(nodes[i].text);
        if (item->text(0) != text)
            item->setText(0, text);
        if (nodes[i].emphasised && !item->font(0).bold())
            item->setFont(0, bold);
    }
    m_filling = false;
}

int MainWindow::SelectedNode() const {
    const QTreeWidgetItem* item = 树型框_索引目录->currentItem();
    return item ? item->data(0, Qt::UserRole).toInt() : -1;
}

void MainWindow::BringIntoView(int index) {
    if (index < 0 || index >= static_cast<int>(m_items.size()))
        return;
    树型框_索引目录->setCurrentItem(m_items[static_cast<std::size_t>(index)]);
    树型框_索引目录->scrollToItem(m_items[static_cast<std::size_t>(index)]);
}

void MainWindow::ManualLayoutOf(int node) {
    const auto result = text::ManualLayout(m_state.book.index, node, Mode(), *m_ui);
    if (!result.changed && result.showNode < 0)
        return;
    RefreshNodeTexts();
    BringIntoView(result.showNode >= 0 ? result.showNode : node);
}

void MainWindow::OnTreeDoubleClicked() {
    const int node = SelectedNode();
    if (text::IsChapterNode(m_state.book.index.tree, node))
        ManualLayoutOf(node);
}

void MainWindow::OnTreeContextMenu(const QPoint& at) {
    父项目处理->popup(树型框_索引目录->viewport()->mapToGlobal(at));
}

void MainWindow::OnEditNode() {
    QTreeWidgetItem* item = 树型框_索引目录->currentItem();
    if (!item)
        return;
    树型框_索引目录->editItem(item, 0);
}

void MainWindow::OnLayoutSelectedVolume() {
    ManualLayoutOf(SelectedNode());
}

void MainWindow::OnNodeEdited(QTreeWidgetItem* item) {
    if (m_filling || !item)
        return;
    const int index = item->data(0, Qt::UserRole).toInt();
    auto& tree = m_state.book.index.tree;
    if (index >= 0 && index < tree.Count())
        tree.SetText(index, ToGbk(item->text(0)));
}

void MainWindow::OnExpandCollapse() {
    const auto toggle = text::ToggleExpansion(ToGbk(按钮_扩展->text()), m_state.book.index.tree.Count());
    if (!toggle)
        return;
    按钮_扩展->setText(FromGbk(toggle->newCaption));
    const bool expand = toggle->action == text::TreeExpansion::ExpandVolumes;
    树型框_索引目录->setUpdatesEnabled(false);
    for (int i = 0; i < 树型框_索引目录->topLevelItemCount(); ++i) {
        树型框_索引目录->topLevelItem(i)->setExpanded(expand);
    }
    树型框_索引目录->setUpdatesEnabled(true);
    if (!m_items.empty())
        树型框_索引目录->scrollToItem(m_items.front());
}

void MainWindow::OnSelectionChanged() {
    if (m_filling)
        return;
    const auto balloon =
        text::BalloonText(m_state.book.index.tree, SelectedNode(), 选择框_即时预览->isChecked());
    if (!balloon)
        return;
    气球提示框1->setText(FromGbk(*balloon));
    气球提示框1->adjustSize();
    气球提示框1->move(QCursor::pos() + QPoint(12, 12));
    气球提示框1->show();
    QTimer::singleShot(5000, 气球提示框1, &QWidget::hide);
}

void MainWindow::OnWholeBookPreview() {
    const auto page = text::BuildPreviewPage(m_state.book.index.tree, ToGbk(编辑框_书名->text()),
                                             ToGbk(编辑框_作者->text()),
                                             text::PictureDirectoryOf(通用对话框1->fileName.toStdString()));
    if (!page)
        return;
    text::WritePreviewFile(编辑框_输出目录->text().toStdString(), *page);
    previewOpener(编辑框_输出目录->text(), QString::fromStdString(m_state.ebookDirectory));
}

void MainWindow::ShowIndex() { ShowIndex(IndexTextsOf(m_state.book.index)); }

void MainWindow::ShowIndex(const IndexTexts& texts) {
    const auto& index = m_state.book.index;
    for (auto [combo, list] : {std::pair{组合框_卷章名, &texts.titles}, std::pair{组合框_卷序, &texts.volumeNumbers},
                               std::pair{组合框_卷章序, &texts.labels}}) {
        static_cast<QStringListModel*>(combo->model())->setStringList(*list);
    }
    组合框_卷章名->setCurrentIndex(index.cursor);

    // The tree is rebuilt in one go: items made first, then handed over.
    m_filling = true;
    气球提示框1->hide();
    树型框_索引目录->setUpdatesEnabled(false);
    树型框_索引目录->clear();
    const auto& nodes = index.tree.Nodes();
    std::vector<QTreeWidgetItem*> items(nodes.size());
    QList<QTreeWidgetItem*> top;
    QFont bold = 树型框_索引目录->font();
    bold.setBold(true);
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        auto* item = new QTreeWidgetItem(QStringList{texts.nodes.value(static_cast<qsizetype>(i))});
        item->setData(0, Qt::UserRole, static_cast<int>(i));
        item->setFlags(item->flags() | Qt::ItemIsEditable);
        if (nodes[i].emphasised)
            item->setFont(0, bold);
        items[i] = item;
        if (nodes[i].parent >= 0) {
            items[static_cast<std::size_t>(nodes[i].parent)]->addChild(item);
        } else {
            top << item;
        }
    }
    树型框_索引目录->addTopLevelItems(top);
    // Chapters the check of headings mode found suspicious: marked, with the
    // reasons as tooltip.
    for (std::size_t k = 0; k < index.warnings.size(); ++k) {
        const int node = index.NodeOfChapter(index.warnings[k].chapter);
        if (node < 0 || node >= static_cast<int>(items.size())) continue;
        QTreeWidgetItem* item = items[static_cast<std::size_t>(node)];
        const QString reason = texts.warnings.value(static_cast<qsizetype>(k));
        const QString tip = item->toolTip(0);
        item->setToolTip(0, tip.isEmpty() ? reason : tip + QStringLiteral("\n") + reason);
        item->setForeground(0, QBrush(kSuspiciousColour));
        item->setData(0, kSuspiciousRole, true);
    }
    树型框_索引目录->setUpdatesEnabled(true);
    m_items = std::move(items);
    // The caption of 按钮_扩展 tells what the next click does; a new tree
    // starts collapsed.
    按钮_扩展->setText(FromGbk(text::msg::kExpandCaption));
    m_filling = false;
}

}  // namespace qx::gui
