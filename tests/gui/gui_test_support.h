#pragma once
// Driving the real main window in tests: message boxes are answered by a
// timer that finds the modal box and presses a button.

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QElapsedTimer>
#include <QTimer>
#include <memory>

#include "gui/main_window.h"

namespace qx::test {

struct SeenBox {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

// Answers the next message box that opens (within a few seconds) with
// `button` and records what it showed. The watch ends when the returned
// record is dropped, so it never answers a box of a later test.
inline std::shared_ptr<SeenBox> AnswerNextBox(QMessageBox::StandardButton button) {
    auto seen = std::make_shared<SeenBox>();
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    std::weak_ptr<SeenBox> watch = seen;
    QObject::connect(timer, &QTimer::timeout, [timer, watch, button, tries] {
        auto record = watch.lock();
        auto* box = record ? qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) : nullptr;
        if (!record) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        if (box) {
            record->seen = true;
            record->title = box->windowTitle();
            record->text = box->text();
            record->icon = box->icon();
            record->buttons = box->standardButtons();
            box->button(button) ? box->button(button)->click() : box->reject();
        }
        if (box || ++*tries > 300) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start(10);
    return seen;
}

// Lets long work that a click started run to its end: its results are
// applied on the window's thread when it ends.
inline void Settle(gui::MainWindow& window) {
    QElapsedTimer waited;
    waited.start();
    while (window.Busy() && waited.elapsed() < 120000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

}  // namespace qx::test
