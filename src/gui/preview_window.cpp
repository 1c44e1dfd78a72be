#include "gui/preview_window.h"

#include <QDir>
#include <QFile>
#include <QUrl>
#include <QWebEngineView>

namespace qx::gui {

PreviewWindow::PreviewWindow(QString outputDirectory, QString ebookDirectory, QWidget* parent)
    : QDialog(parent), m_previewFile(QDir(outputDirectory).filePath(QStringLiteral("preview.htm"))) {
    setObjectName(QStringLiteral("预览窗口"));
    setWindowTitle(QStringLiteral("预览"));
    setModal(true);
    resize(798, 572);
    输出效果预览 = new QWebEngineView(this);
    输出效果预览->setObjectName(QStringLiteral("输出效果预览"));
    输出效果预览->setGeometry(-2, 0, 800, 572);
    connect(输出效果预览, &QWebEngineView::titleChanged, this, &QWidget::setWindowTitle);
    connect(this, &QDialog::finished, this, &PreviewWindow::RemovePreviewFile);

    m_target = QFile::exists(m_previewFile) ? m_previewFile
                                             : QDir(ebookDirectory).filePath(QStringLiteral("start.htm"));
    输出效果预览->load(QUrl::fromLocalFile(m_target));
}

PreviewWindow::~PreviewWindow() { RemovePreviewFile(); }

void PreviewWindow::RemovePreviewFile() {
    if (m_removed) return;
    m_removed = true;
    QFile::remove(m_previewFile);  // a failed deletion is of no consequence
}

}  // namespace qx::gui
