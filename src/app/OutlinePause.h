// The pause of the selection outline's animation while a frame is moved or sized: a press in a
// frame's non-client area sets the animator's state word to 9 until the mouse capture changes,
// and it goes back to 10 then.
//
// Here the child frames draw their own title bars, so a press on a child frame itself (not on
// the view inside it) is such a press, and its release gives the capture back. The window
// manager moves and sizes the main frame without telling the program when it starts or ends;
// its moves and sizes pause the outline until they have been quiet for a moment. Any mouse
// press or release elsewhere, a lost grab, a focus change or the application losing its turn
// also give the capture back.
#pragma once

#include <atomic>

#include <QObject>
#include <QTimer>

class QWidget;

namespace zelvo {

class OutlinePause : public QObject {
public:
    static constexpr int kPaused = 9;
    static constexpr int kRunning = 10;
    // How long the main frame's moves and sizes must have stopped before the outline runs.
    static constexpr int kSettleMs = 400;

    // Watches every event of the application for `mainFrame` and its child frames.
    OutlinePause(QWidget& mainFrame, std::atomic<int>& state);
    ~OutlinePause() override;

    bool Paused() const { return m_state.load(std::memory_order_acquire) == kPaused; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Pause();
    void Resume();
    bool IsFrame(QObject* watched) const;

    QWidget& m_frame;
    std::atomic<int>& m_state;
    QTimer m_settle;
};

}  // namespace zelvo
