// The three worker threads of the main frame: the selection-outline animator (300 ms), the tool
// poller (20 ms) and the display refresher (20 ms). They share only atomics with the GUI thread
// and never touch a widget: whatever must happen on screen is posted to the GUI thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace zelvo {

class DisplayRefresher;
class Workspace;

// The state the workers and the GUI thread share; every field is an atomic.
struct WorkerShared {
    // The tool controller's busy mode; 1096 while the open queue runs.
    std::atomic<int> busyMode{0};
    // The selection animator's state word: 9 pauses the outline while the frame is moved or
    // sized, 10 runs it.
    std::atomic<int> animatorState{10};
    // Set while a refresh posted by the display refresher has not been served yet, so that a
    // slow GUI thread is not flooded.
    std::atomic<bool> refreshPending{false};
    // Ticks of each worker (how often its loop ran), for the curious and the tests.
    std::atomic<long> animatorTicks{0};
    std::atomic<long> pollerTicks{0};
    std::atomic<long> refresherTicks{0};
    std::atomic<long> refreshPosts{0};  // refreshes posted to the interface thread
};

class WorkerThreads {
public:
    static constexpr int kAnimatorMs = 300;
    static constexpr int kPollerMs = 20;
    static constexpr int kRefresherMs = 20;
    static constexpr int kRepeatMs = 50;  // the poller's command 1095 while mode 1096 runs
    static constexpr int kStopWaitMs = 2000;

    struct Posts {
        // Called on the worker thread; must only post to the GUI thread.
        std::function<void(int command)> sendCommand;
        // Each refresher tick while the last one is unserved: the GUI thread hands pending
        // render requests to the refresher.
        std::function<void()> refresh;
    };

    WorkerThreads(Workspace& workspace, WorkerShared& shared, Posts posts);
    ~WorkerThreads();  // Stop
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    void Start();
    // The workspace's run flag must be cleared first. Waits up to 2000 ms for each thread, in
    // the order display refresher, animator, tool poller. Returns whether all three ended.
    bool Stop();
    bool Running() const { return m_started; }
    // The display refresher and outline animator the workers run (tile cache included); built
    // with the object, so views can use it before the threads start.
    DisplayRefresher& Display() { return *m_display; }

private:
    struct Worker {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void RunAnimator();
    void RunPoller();
    void RunRefresher();
    bool Sleep(int ms);  // false once the run flag is cleared or Stop is called
    static bool Join(Worker& w);

    Workspace& m_workspace;
    WorkerShared& m_shared;
    Posts m_posts;
    std::unique_ptr<DisplayRefresher> m_display;
    Worker m_animator, m_poller, m_refresher;
    bool m_started = false;
    std::mutex m_napLock;
    std::condition_variable m_nap;
    bool m_stopping = false;  // guarded by m_napLock
};

}  // namespace zelvo
