#pragma once
// The title dialog opened before compiling a CHM file: e-book title and CHM
// file name, with "全本" proposing 《title》作者：author as the file name.

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "app/app_state.h"

namespace qx::gui {

class TitleDialog : public QDialog {
    Q_OBJECT
public:
    // `bookTitle` and `author` are the texts of 编辑框_书名 and 编辑框_作者.
    TitleDialog(app::AppState& state, QString bookTitle, QString author, QWidget* parent = nullptr);

    QLabel* 标签1 = nullptr;
    QLineEdit* 编辑框1 = nullptr;
    QLabel* 标签2 = nullptr;
    QCheckBox* 选择框1 = nullptr;
    QLineEdit* 编辑框2 = nullptr;
    QPushButton* 按钮1 = nullptr;
    QPushButton* 按钮2 = nullptr;

private:
    void OnWholeBookClicked();
    void OnOk();
    void OnCancel();

    app::AppState& m_state;
    QString m_bookTitle;
    QString m_author;
};

}  // namespace qx::gui
