#include "gui/title_dialog.h"

#include "gui/qt_edge.h"
#include "projects/chm_project.h"

namespace qx::gui {

TitleDialog::TitleDialog(app::AppState& state, QString bookTitle, QString author, QWidget* parent)
    : QDialog(parent), m_state(state), m_bookTitle(std::move(bookTitle)), m_author(std::move(author)) {
    setObjectName(QStringLiteral("标题对话框"));
    setWindowTitle(QString());
    setModal(true);
    setFixedSize(287, 236);

    标签1 = new QLabel(QStringLiteral("电子书标题"), this);
    标签1->setObjectName(QStringLiteral("标签1"));
    标签1->setGeometry(16, 24, 72, 24);
    编辑框1 = new QLineEdit(this);
    编辑框1->setObjectName(QStringLiteral("编辑框1"));
    编辑框1->setGeometry(16, 48, 248, 24);
    标签2 = new QLabel(QStringLiteral("文件名"), this);
    标签2->setObjectName(QStringLiteral("标签2"));
    标签2->setGeometry(16, 104, 48, 24);
    选择框1 = new QCheckBox(QStringLiteral("全本"), this);
    选择框1->setObjectName(QStringLiteral("选择框1"));
    选择框1->setGeometry(216, 104, 56, 24);
    编辑框2 = new QLineEdit(this);
    编辑框2->setObjectName(QStringLiteral("编辑框2"));
    编辑框2->setGeometry(16, 128, 248, 24);
    按钮1 = new QPushButton(QStringLiteral("确定"), this);
    按钮1->setObjectName(QStringLiteral("按钮1"));
    按钮1->setGeometry(120, 168, 64, 24);
    按钮2 = new QPushButton(QStringLiteral("取消"), this);
    按钮2->setObjectName(QStringLiteral("按钮2"));
    按钮2->setGeometry(200, 168, 64, 24);

    // Created: show the values proposed for this compilation.
    编辑框1->setText(FromGbk(m_state.ebookTitle));
    编辑框2->setText(FromGbk(m_state.chmFileName));

    connect(选择框1, &QCheckBox::clicked, this, &TitleDialog::OnWholeBookClicked);
    connect(按钮1, &QPushButton::clicked, this, &TitleDialog::OnOk);
    connect(按钮2, &QPushButton::clicked, this, &TitleDialog::OnCancel);
}

void TitleDialog::OnWholeBookClicked() {
    编辑框2->setText(FromGbk(projects::TitleDialogFileName(选择框1->isChecked(), ToGbk(m_bookTitle), ToGbk(m_author),
                                                          m_state.chmFileName)));
}

void TitleDialog::OnOk() {
    m_state.ebookTitle = ToGbk(编辑框1->text());
    m_state.chmFileName = ToGbk(编辑框2->text());
    accept();
}

void TitleDialog::OnCancel() {
    m_state.titleDialogCancelled = true;
    reject();
}

}  // namespace qx::gui
