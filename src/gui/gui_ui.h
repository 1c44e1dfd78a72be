#pragma once
// The core's Ui shown with the status bar and message boxes.

#include <QLabel>
#include <QPointer>
#include <QWidget>

#include "runtime/ui.h"

namespace qx::gui {

class GuiUi : public runtime::Ui {
public:
    GuiUi(QWidget* owner, QLabel* statusPart) : m_owner(owner), m_status(statusPart) {}

    void Status(std::string_view gbkText, bool alsoTip = false) override;
    runtime::Answer Ask(std::string_view gbkText, runtime::Buttons buttons, runtime::Icon icon = runtime::Icon::None,
                        std::string_view gbkTitle = {}) override;
    void Message(std::string_view gbkText, runtime::Icon icon = runtime::Icon::None) override;

private:
    QPointer<QWidget> m_owner;
    QPointer<QLabel> m_status;
};

}  // namespace qx::gui
