// The main frame's status bar as the engine's feedback: pane 0 shows status texts, the
// progress bar shows the progress counters, and the wait cursor is the application's override
// cursor.
#pragma once

#include <atomic>

#include <QPointer>

#include "platform/Feedback.h"

class QLabel;
class QProgressBar;

namespace zelvo {

class StatusFeedback : public ProgressCounter {
public:
    StatusFeedback(QProgressBar* bar, QLabel* pane0);
    void BeginWait() override;
    void EndWait() override;
    void StatusText(const std::string& text) override;
    int WaitDepth() const { return m_waitDepth; }

protected:
    void ShowPercent(int percent) override;

private:
    static bool OnGuiThread();

    QPointer<QProgressBar> m_bar;
    QPointer<QLabel> m_pane0;
    int m_waitDepth = 0;
};

}  // namespace zelvo
