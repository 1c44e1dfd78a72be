#include "gui/worker.h"

#include <QMetaObject>
#include <string>

#include "gui/qt_edge.h"

namespace qx::gui {

WorkerUi::WorkerUi(runtime::Ui& window, QObject* context, ProgressShown progress)
    : m_window(window), m_context(context), m_progress(std::move(progress)) {}

// Queued calls carry copies of what they show, never this object: the work
// may end, and this object go, before the window gets to them.
void WorkerUi::Status(std::string_view gbkText, bool alsoTip) {
    QMetaObject::invokeMethod(
        m_context, [window = &m_window, text = std::string(gbkText), alsoTip] { window->Status(text, alsoTip); },
        Qt::QueuedConnection);
}

runtime::Answer WorkerUi::Ask(std::string_view gbkText, runtime::Buttons buttons, runtime::Icon icon,
                              std::string_view gbkTitle) {
    runtime::Answer answer = runtime::Answer::Cancel;
    QMetaObject::invokeMethod(
        m_context,
        [&] { answer = m_window.Ask(gbkText, buttons, icon, gbkTitle); },
        Qt::BlockingQueuedConnection);
    return answer;
}

void WorkerUi::Message(std::string_view gbkText, runtime::Icon icon) {
    QMetaObject::invokeMethod(m_context, [&] { m_window.Message(gbkText, icon); }, Qt::BlockingQueuedConnection);
}

void WorkerUi::Progress(std::string_view gbkStage, std::int64_t done, std::int64_t total) {
    // Only what shows: a new stage or a new tenth of a percent.
    const int permille = total > 0 ? static_cast<int>(done * 1000 / total) : 0;
    if (permille == m_lastPermille && gbkStage == m_lastStage) return;
    m_lastPermille = permille;
    m_lastStage = std::string(gbkStage);
    QMetaObject::invokeMethod(
        m_context,
        [progress = m_progress, stage = FromGbk(gbkStage), done, total] {
            if (progress) progress(stage, done, total);
        },
        Qt::QueuedConnection);
}

}  // namespace qx::gui
