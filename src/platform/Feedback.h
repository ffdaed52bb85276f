// Wait cursor, status-bar text and the progress bar: shown by the GUI, drawn on a terminal by
// zelvo-batch, ignored by tests.
#pragma once

#include <string>

namespace zelvo {

class Feedback {
public:
    virtual ~Feedback() = default;
    virtual void BeginWait() {}
    virtual void EndWait() {}
    virtual void StatusText(const std::string&) {}
    virtual void BeginProgress(int total) = 0;
    virtual void StepProgress() = 0;
    virtual void EndProgress() = 0;
};

// The progress counters of the main frame without a bar; subclasses draw `Percent()`.
class ProgressCounter : public Feedback {
public:
    void BeginProgress(int total) override;
    void StepProgress() override;
    void EndProgress() override;
    int Percent() const { return m_percent; }
    int Done() const { return m_done; }
    int Total() const { return m_total; }

protected:
    virtual void ShowPercent(int) {}

private:
    int m_total = 0;
    int m_done = 0;
    int m_percent = 0;
};

Feedback& AppFeedback();
void SetAppFeedback(Feedback* f);

// One progress run for a scope: the bar ends on every way out, early returns included. A run
// that is not shown leaves the bar alone.
class ProgressRun {
public:
    explicit ProgressRun(int steps, bool shown = true) : m_shown(shown) {
        if (m_shown) AppFeedback().BeginProgress(steps);
    }
    ~ProgressRun() {
        if (m_shown) AppFeedback().EndProgress();
    }
    void Step() {
        if (m_shown) AppFeedback().StepProgress();
    }
    ProgressRun(const ProgressRun&) = delete;
    ProgressRun& operator=(const ProgressRun&) = delete;

private:
    bool m_shown;
};

// Shows the wait cursor for a scope.
class WaitCursor {
public:
    WaitCursor() { AppFeedback().BeginWait(); }
    ~WaitCursor() { AppFeedback().EndWait(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace zelvo
