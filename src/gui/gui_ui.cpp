#include "gui/gui_ui.h"

#include <QMessageBox>

#include "gui/qt_edge.h"

namespace qx::gui {
namespace {

QMessageBox::Icon BoxIcon(runtime::Icon icon) {
    switch (icon) {
        case runtime::Icon::Error: return QMessageBox::Critical;
        case runtime::Icon::Question: return QMessageBox::Question;
        case runtime::Icon::Exclamation: return QMessageBox::Warning;
        case runtime::Icon::Information: return QMessageBox::Information;
        case runtime::Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

}  // namespace

void GuiUi::Status(std::string_view gbkText, bool alsoTip) {
    if (!m_status) return;
    const QString text = FromGbk(gbkText);
    m_status->setText(text);
    if (alsoTip) m_status->setToolTip(text);
}

runtime::Answer GuiUi::Ask(std::string_view gbkText, runtime::Buttons buttons, runtime::Icon icon,
                           std::string_view gbkTitle) {
    QMessageBox::StandardButtons standard = QMessageBox::Ok;
    if (buttons == runtime::Buttons::YesNo) standard = QMessageBox::Yes | QMessageBox::No;
    if (buttons == runtime::Buttons::YesNoCancel) standard = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    const QString title = gbkTitle.empty() && m_owner ? m_owner->windowTitle() : FromGbk(gbkTitle);
    QMessageBox box(BoxIcon(icon), title, FromGbk(gbkText), standard, m_owner);
    switch (box.exec()) {
        case QMessageBox::Yes: return runtime::Answer::Yes;
        case QMessageBox::No: return runtime::Answer::No;
        case QMessageBox::Ok: return runtime::Answer::Ok;
        default: return runtime::Answer::Cancel;
    }
}

void GuiUi::Message(std::string_view gbkText, runtime::Icon icon) {
    Ask(gbkText, runtime::Buttons::Ok, icon);
}

}  // namespace qx::gui
