#include "platform/Feedback.h"

namespace zelvo {

void ProgressCounter::BeginProgress(int total) {
    if (m_total != 0) ShowPercent(m_percent = 0);
    m_done = 0;
    m_total = total;
}

void ProgressCounter::StepProgress() {
    if (m_total == 0) return;
    if (m_done < m_total) ++m_done;
    m_percent = m_done * 100 / m_total;
    ShowPercent(m_percent);
}

void ProgressCounter::EndProgress() {
    if (m_total != 0) {
        ShowPercent(100);
        m_total = 0;
    }
    m_done = 0;
    ShowPercent(m_percent = 0);
}

namespace {
ProgressCounter g_quiet;
Feedback* g_feedback = nullptr;
}  // namespace

Feedback& AppFeedback() {
    return g_feedback ? *g_feedback : g_quiet;
}
void SetAppFeedback(Feedback* f) {
    g_feedback = f;
}

}  // namespace zelvo
