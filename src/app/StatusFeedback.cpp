#include "app/StatusFeedback.h"

#include <QApplication>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QThread>

namespace zelvo {

StatusFeedback::StatusFeedback(QProgressBar* bar, QLabel* pane0) : m_bar(bar), m_pane0(pane0) {}

bool StatusFeedback::OnGuiThread() {
    QCoreApplication* app = QCoreApplication::instance();
    return app && QThread::currentThread() == app->thread();
}

void StatusFeedback::BeginWait() {
    // The wait cursor belongs to the GUI thread's long operations only.
    if (!OnGuiThread()) return;
    ++m_waitDepth;
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void StatusFeedback::EndWait() {
    if (!OnGuiThread() || m_waitDepth == 0) return;
    --m_waitDepth;
    QApplication::restoreOverrideCursor();
}

void StatusFeedback::StatusText(const std::string& text) {
    const QString t = QString::fromStdString(text);
    QPointer<QLabel> pane = m_pane0;
    if (OnGuiThread()) {
        if (pane) pane->setText(t);
        return;
    }
    if (pane)
        QMetaObject::invokeMethod(
            pane,
            [pane, t] {
                if (pane) pane->setText(t);
            },
            Qt::QueuedConnection);
}

void StatusFeedback::ShowPercent(int percent) {
    QPointer<QProgressBar> bar = m_bar;
    if (!bar) return;
    if (OnGuiThread()) {
        bar->setValue(percent);
        // The command runs on this thread: the bar is painted now, not after it.
        bar->repaint();
        return;
    }
    QMetaObject::invokeMethod(
        bar,
        [bar, percent] {
            if (bar) bar->setValue(percent);
        },
        Qt::QueuedConnection);
}

}  // namespace zelvo
