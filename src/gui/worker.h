#pragma once
// Long work (the Next step, the output run, the EPUB, the CHM compilation)
// runs on a thread of its own, so the window keeps repainting. The core
// talks to the user through this Ui from that thread: status texts and
// progress go to the window as they come, questions and messages are shown
// by the window while the work waits for the answer, and cancel is a flag
// the work asks about between its steps.

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>

#include "runtime/ui.h"

namespace qx::gui {

class WorkerUi : public runtime::Ui {
public:
    // `window` is the window's own Ui, used on the window's thread (that of
    // `context`); `progress` shows a stage and a count there.
    using ProgressShown = std::function<void(const QString& stage, qint64 done, qint64 total)>;
    WorkerUi(runtime::Ui& window, QObject* context, ProgressShown progress);

    void Status(std::string_view gbkText, bool alsoTip = false) override;
    runtime::Answer Ask(std::string_view gbkText, runtime::Buttons buttons, runtime::Icon icon = runtime::Icon::None,
                        std::string_view gbkTitle = {}) override;
    void Message(std::string_view gbkText, runtime::Icon icon = runtime::Icon::None) override;
    void Progress(std::string_view gbkStage, std::int64_t done, std::int64_t total) override;
    bool CancelRequested() override { return m_cancel.load(); }

    void RequestCancel() { m_cancel = true; }

private:
    runtime::Ui& m_window;
    QObject* m_context;
    ProgressShown m_progress;
    std::atomic<bool> m_cancel{false};
    int m_lastPermille = -1;
    std::string m_lastStage;
};

}  // namespace qx::gui
