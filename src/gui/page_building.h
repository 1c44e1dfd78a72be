#pragma once
// Helpers shared by the files that build the main window's pages: every
// widget gets its control name as objectName, and page controls are placed
// in tab-control coordinates, as the window is drawn.

#include <QString>
#include <QWidget>

namespace qx::gui::build {

// A page starts below the tab bar.
inline constexpr int kPageDx = 2;
inline constexpr int kPageDy = 24;

template <class W>
W* Make(W*& member, QWidget* parent, const char* name) {
    member = new W(parent);
    member->setObjectName(QString::fromUtf8(name));
    return member;
}

inline void OnPage(QWidget* w, int x, int y, int width, int height) {
    w->setGeometry(x - kPageDx, y - kPageDy, width, height);
}

}  // namespace qx::gui::build

#define QX_MAKE(member, parent) ::qx::gui::build::Make(member, parent, #member)
