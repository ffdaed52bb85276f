#include "app/WorkerThreads.h"

#include <chrono>

#include "app/AppCommands.h"
#include "view/DisplayRefresher.h"
#include "workspace/Workspace.h"

namespace zelvo {

WorkerThreads::WorkerThreads(Workspace& workspace, WorkerShared& shared, Posts posts)
    : m_workspace(workspace),
      m_shared(shared),
      m_posts(std::move(posts)),
      m_display(std::make_unique<DisplayRefresher>(workspace.ScreenWidth(),
                                                   workspace.ScreenHeight(), workspace.Tables())) {
    // A pass renders its tile rows in two halves: the machine has two cores.
    m_display->Renderer().SetThreads(2);
}

WorkerThreads::~WorkerThreads() {
    if (m_started) {
        m_workspace.SetRunning(false);
        Stop();
    }
}

void WorkerThreads::Start() {
    if (m_started) return;
    m_started = true;
    {
        const std::lock_guard<std::mutex> hold(m_napLock);
        m_stopping = false;
    }
    m_animator.thread = std::thread([this] {
        RunAnimator();
        m_animator.done = true;
    });
    m_poller.thread = std::thread([this] {
        RunPoller();
        m_poller.done = true;
    });
    m_refresher.thread = std::thread([this] {
        RunRefresher();
        m_refresher.done = true;
    });
}

bool WorkerThreads::Sleep(int ms) {
    // One wait a tick, which Stop cuts short: an idle program is not woken between ticks.
    std::unique_lock<std::mutex> hold(m_napLock);
    m_nap.wait_for(hold, std::chrono::milliseconds(ms),
                   [this] { return m_stopping || !m_workspace.IsRunning(); });
    return !m_stopping && m_workspace.IsRunning();
}

void WorkerThreads::RunAnimator() {
    while (Sleep(kAnimatorMs)) {
        // A paused animator (state 9) idles.
        const int state = m_shared.animatorState.load(std::memory_order_acquire);
        if (state == DisplayRefresher::kPausedAnimatorState) continue;
        m_shared.animatorTicks.fetch_add(1, std::memory_order_relaxed);
        m_display->AnimatorTick(state);
    }
}

void WorkerThreads::RunPoller() {
    int sinceRepeat = 0;
    while (Sleep(kPollerMs)) {
        m_shared.pollerTicks.fetch_add(1, std::memory_order_relaxed);
        if (ToolHooks* tools = m_workspace.Tools()) tools->PainterTick();
        sinceRepeat += kPollerMs;
        if (m_shared.busyMode.load(std::memory_order_acquire) != kBusyModeOpenQueue) {
            sinceRepeat = 0;
            continue;
        }
        if (sinceRepeat >= kRepeatMs) {
            sinceRepeat = 0;
            if (m_posts.sendCommand) m_posts.sendCommand(kIdOpenQueueTick);
        }
    }
}

void WorkerThreads::RunRefresher() {
    while (Sleep(kRefresherMs)) {
        m_shared.refresherTicks.fetch_add(1, std::memory_order_relaxed);
        m_display->Tick();
        // Only a document's request wakes the interface thread: an idle one sleeps on.
        bool expected = false;
        if (m_posts.refresh && m_workspace.TakeRenderRequestNote() &&
            m_shared.refreshPending.compare_exchange_strong(expected, true,
                                                            std::memory_order_acq_rel)) {
            m_shared.refreshPosts.fetch_add(1, std::memory_order_relaxed);
            m_posts.refresh();
        }
    }
}

bool WorkerThreads::Join(Worker& w) {
    if (!w.thread.joinable()) return true;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStopWaitMs);
    while (!w.done.load() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (!w.done.load()) {
        // A worker stuck past its limit is left behind rather than hanging the exit.
        w.thread.detach();
        return false;
    }
    w.thread.join();
    return true;
}

bool WorkerThreads::Stop() {
    if (!m_started) return true;
    m_started = false;
    {
        const std::lock_guard<std::mutex> hold(m_napLock);
        m_stopping = true;
    }
    m_nap.notify_all();
    const bool a = Join(m_refresher);
    const bool b = Join(m_animator);
    const bool c = Join(m_poller);
    return a && b && c;
}

}  // namespace zelvo
