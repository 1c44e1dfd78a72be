#include "gui/main_window.h"

#include <QCoreApplication>

#include "app/parameter_store.h"
#include "gui/page_building.h"
#include "gui/qt_edge.h"
#include "text/messages.h"

namespace qx::gui {

using build::Make;
using build::OnPage;

namespace {

const char* const kCtrlWHint = "在编辑框内按‘Ctrl+W’键可伸缩边框！";
const char* const kRestoreQuestion =
    "是否还原所有 QX 参数？\r\n\r\n按‘是’还原到 QX 本次启动前的状态；\r\n按‘否’还原为 QX 默认的初始值。";
const char* const kRestoreTitle = "参数还原";
const QRect kEditorNormal(109, 16, 228, 210);
const QRect kEditorWide(6, 16, 331, 210);

// Parameter texts keep CR LF line ends; the editor works with LF.
QString ForEditor(const std::string& gbk) {
    return FromGbk(gbk).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
std::string FromEditor(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
    return ToGbk(t);
}

}  // namespace

void MainWindow::BuildSettingsPage(QWidget* page) {
    QX_MAKE(分组框_参数, page)->setTitle(QStringLiteral("参数"));
    OnPage(分组框_参数, 10, 26, 350, 234);
    QX_MAKE(列表框_参数, 分组框_参数)->setGeometry(8, 16, 96, 210);
    QX_MAKE(编辑框_代码, 分组框_参数)->setGeometry(kEditorNormal);
    编辑框_代码->setStyleSheet(QStringLiteral("QPlainTextEdit { padding-left: 3px; }"));
    编辑框_代码->setLineWrapMode(QPlainTextEdit::NoWrap);
    QX_MAKE(选择框_参数_自动保存, page)->setText(QStringLiteral("自动保存参数修改内容"));
    OnPage(选择框_参数_自动保存, 14, 262, 190, 22);
    选择框_参数_自动保存->setChecked(true);
    QX_MAKE(按钮_保存, page)->setText(QStringLiteral("保 存"));
    OnPage(按钮_保存, 228, 261, 60, 22);
    QX_MAKE(按钮_还原, page)->setText(QStringLiteral("还 原"));
    OnPage(按钮_还原, 296, 261, 60, 22);
}

void MainWindow::FillParameterList() {
    列表框_参数->blockSignals(true);
    列表框_参数->clear();
    for (int r = 1; r <= m_state.parameters.RowCount(); ++r) {
        列表框_参数->addItem(FromGbk(m_state.parameters.Read(r, 1)));
    }
    列表框_参数->setCurrentRow(m_state.currentParameterRow - 1);
    列表框_参数->blockSignals(false);
    LoadParameterIntoEditor();
}

void MainWindow::LoadParameterIntoEditor() {
    编辑框_代码->setPlainText(ForEditor(m_state.parameters.Read(m_state.currentParameterRow, 2)));
    m_state.parameterModified = false;
}

void MainWindow::StoreEditorIntoParameter() {
    if (!m_state.parameters.IsOpen() && m_paths)
        app::OpenParameterTable(m_state.parameters, m_paths->home, *m_ui);
    if (m_state.parameters.Write(m_state.currentParameterRow, 2, FromEditor(编辑框_代码->toPlainText()))) {
        m_state.parameterModified = false;
    } else {
        m_ui->Message(text::msg::kParameterNotSaved, runtime::Icon::Error);
    }
}

void MainWindow::OnPageChanged(int page) {
    if (page != 3) {
        if (!m_state.savedStatusText.empty())
            m_ui->Status(m_state.savedStatusText);
        return;
    }
    const runtime::Text hint = ToGbk(QString::fromUtf8(kCtrlWHint));
    if (编辑框_代码->geometry().x() == 6)
        编辑框_代码->setGeometry(kEditorNormal);
    if (m_paths && 列表框_参数->count() == 0) {
        if (!app::EnsureParameterTable(m_paths->home, *m_ui)) {
            // No restore of a missing table: the program ends at once.
            QCoreApplication::exit(0);
            std::exit(0);
        }
        if (app::OpenParameterTable(m_state.parameters, m_paths->home, *m_ui)) {
            m_state.currentParameterRow = 1;
            FillParameterList();
        }
    } else if (m_paths) {
        app::OpenParameterTable(m_state.parameters, m_paths->home, *m_ui);
    }
    const runtime::Text current = ToGbk(状态条1_部分1->text());
    if (current != hint)
        m_state.savedStatusText = current;
    m_ui->Status(hint);
}

void MainWindow::OnParameterSelected(int listRow) {
    if (listRow < 0)
        return;
    if (选择框_参数_自动保存->isChecked() && m_state.parameterModified)
        StoreEditorIntoParameter();
    m_state.currentParameterRow = listRow + 1;
    LoadParameterIntoEditor();
}

void MainWindow::OnSaveParameter() {
    if (m_state.parameterModified)
        StoreEditorIntoParameter();
}

void MainWindow::OnRestoreParameters() {
    if (!m_paths)
        return;
    const auto answer = m_ui->Ask(ToGbk(QString::fromUtf8(kRestoreQuestion)), runtime::Buttons::YesNoCancel,
                                  runtime::Icon::Question, ToGbk(QString::fromUtf8(kRestoreTitle)));
    if (answer == runtime::Answer::Cancel)
        return;
    const auto& home = m_paths->home;
    if (answer == runtime::Answer::Yes) {
        std::error_code ec;
        std::filesystem::copy_file(m_paths->temporary / "~temp.vdb", app::ParameterTablePath(home),
                                   std::filesystem::copy_options::overwrite_existing, ec);
        std::filesystem::copy_file(m_paths->temporary / "~temp.vdt", app::ParameterTextsPath(home),
                                   std::filesystem::copy_options::overwrite_existing, ec);
    } else {
        app::WriteDefaultTables(home);
    }
    列表框_参数->blockSignals(true);
    列表框_参数->clear();
    列表框_参数->blockSignals(false);
    编辑框_代码->clear();
    m_state.parameters.Close();
    if (app::OpenParameterTable(m_state.parameters, home, *m_ui))
        FillParameterList();
}

void MainWindow::ToggleEditorWidth() {
    if (编辑框_代码->geometry().x() == 6) {
        编辑框_代码->setGeometry(kEditorNormal);
    } else {
        编辑框_代码->setGeometry(kEditorWide);
        编辑框_代码->raise();
    }
}

}  // namespace qx::gui
