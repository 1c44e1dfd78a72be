#pragma once
// The preview window: a browser on preview.htm of the Output directory when
// that file is there, otherwise on start.htm of the e-book directory.
// Closing it deletes preview.htm.

#include <QDialog>
#include <QString>

class QWebEngineView;

namespace qx::gui {

class PreviewWindow : public QDialog {
    Q_OBJECT
public:
    PreviewWindow(QString outputDirectory, QString ebookDirectory, QWidget* parent = nullptr);
    ~PreviewWindow() override;

    QWebEngineView* 输出效果预览 = nullptr;
    // The file the browser was sent to.
    QString Target() const { return m_target; }

private:
    void RemovePreviewFile();

    QString m_previewFile;
    QString m_target;
    bool m_removed = false;
};

}  // namespace qx::gui
