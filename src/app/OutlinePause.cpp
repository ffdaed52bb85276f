#include "app/OutlinePause.h"

#include <QApplication>
#include <QEvent>
#include <QMdiSubWindow>
#include <QWidget>

namespace zelvo {

OutlinePause::OutlinePause(QWidget& mainFrame, std::atomic<int>& state)
    : QObject(&mainFrame), m_frame(mainFrame), m_state(state) {
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, [this] { Resume(); });
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        app->installEventFilter(this);
        connect(app, &QApplication::focusChanged, this, [this] { Resume(); });
        connect(app, &QGuiApplication::applicationStateChanged, this, [this] { Resume(); });
    }
}

OutlinePause::~OutlinePause() {
    if (QCoreApplication* app = QCoreApplication::instance()) app->removeEventFilter(this);
}

void OutlinePause::Pause() {
    m_state.store(kPaused, std::memory_order_release);
}

void OutlinePause::Resume() {
    // Only a pause ends here; the word may hold nothing else today, but it is not ours to set.
    int paused = kPaused;
    m_state.compare_exchange_strong(paused, kRunning, std::memory_order_acq_rel);
}

bool OutlinePause::IsFrame(QObject* watched) const {
    return watched == &m_frame || qobject_cast<QMdiSubWindow*>(watched) != nullptr;
}

bool OutlinePause::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::NonClientAreaMouseButtonPress:
            if (IsFrame(watched)) Pause();
            break;
        case QEvent::MouseButtonPress:
            // A child frame gets a press itself only on its title bar and borders; presses on
            // the view go to the view.
            if (qobject_cast<QMdiSubWindow*>(watched))
                Pause();
            else if (watched->isWidgetType())
                Resume();
            break;
        case QEvent::MouseButtonRelease:
        case QEvent::NonClientAreaMouseButtonRelease:
        case QEvent::UngrabMouse:
            if (watched->isWidgetType()) Resume();
            break;
        case QEvent::Move:
        case QEvent::Resize:
            if (watched == &m_frame && m_frame.isVisible()) {
                Pause();
                m_settle.start();
            }
            break;
        default:
            break;
    }
    return false;
}

}  // namespace zelvo
