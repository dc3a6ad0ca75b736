#pragma once

#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class QObject;

namespace core {

// Whether work running off the window's thread is to stop. Copies share one
// request: the owner asks through BackgroundTask::cancel(), the work looks
// (a loop, the engine's stop check) or has asked to be told.
class StopToken {
public:
    StopToken();
    bool stopRequested() const { return m_state->stop.load(std::memory_order_relaxed); }
    // The flag itself, for a check that cannot hold a token (a C callback).
    const std::atomic<bool> *flag() const { return &m_state->stop; }
    // Runs `onStop` on the thread that asks for the stop, or at once when
    // it was asked already: for work the engine runs that cannot look
    // (creating an index). Replaces what was set before; forgotten with
    // forgetOnStop().
    void setOnStop(std::function<void()> onStop) const;
    void forgetOnStop() const;
    void requestStop() const;

private:
    struct State {
        std::atomic<bool> stop{false};
        std::mutex mutex;
        std::function<void()> onStop;
    };
    std::shared_ptr<State> m_state;
};

// Runs one function at a time on a thread of its own, then a follow-up on
// the owner's thread. The thread stays until the task goes: what the work
// laid out in text (a report's pages) keeps the fonts of that thread. Lists, searches, sorts, report queries (through
// BackgroundQuery), the report indexes, layout, printing and saving, and
// the logon backup all run this way, and are stopped the one way: cancel()
// sets the run's stop token.
//
//     core::BackgroundTask task(this);    // follow-ups run on this object's thread
//     task.start([](const core::BackgroundTask::Control &c) {
//         while (more() && !c.stopRequested()) step();
//         c.post([] { ... });            // e.g. progress, on the owner's thread
//     }, [this] { done(); });            // after the work, on the owner's thread
//     ... Esc: task.cancel();
//
// What the work posts and the follow-up are dropped when the owner or the
// task is gone by then, or another run has started.
class BackgroundTask {
public:
    // What a running function is handed: its stop token and a way to the
    // owner's thread.
    class Control {
    public:
        bool stopRequested() const { return m_stop.stopRequested(); }
        const StopToken &stopToken() const { return m_stop; }
        // Runs `step` on the owner's thread soon (in the order posted).
        void post(std::function<void()> step) const;

    private:
        friend class BackgroundTask;
        Control(const BackgroundTask &task, StopToken stop, quint64 run);
        QObject *m_owner;
        std::weak_ptr<std::atomic<quint64>> m_currentRun;
        quint64 m_run;
        StopToken m_stop;
    };
    using Work = std::function<void(const Control &)>;

    // `owner` hears of the work on its thread; it outlives the task (a
    // member of it, usually).
    explicit BackgroundTask(QObject *owner);
    // Stops work still running and waits for it: it may use what the owner holds.
    ~BackgroundTask();
    BackgroundTask(const BackgroundTask &) = delete;
    BackgroundTask &operator=(const BackgroundTask &) = delete;

    // Waits for the work of an earlier run (which is not stopped: stop it
    // first when it is to stop), then starts `work`; `then` runs after it on
    // the owner's thread. `work` must not throw.
    void start(Work work, std::function<void()> then = {});
    // Asks the running work to stop; its follow-up still runs.
    void cancel();
    // The work of the last run has not returned yet.
    bool isRunning() const;
    void wait();

private:
    struct Job {
        Work work;
        std::function<void()> then;
    };
    void serve();

    QObject *m_owner;
    std::shared_ptr<std::atomic<quint64>> m_currentRun;
    StopToken m_stop;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    Job m_job;         // waiting for the thread
    bool m_running = false;
    bool m_quit = false;
    std::thread m_thread; // started with the first run
};

// Runs `work` on a task of its own while the caller's thread goes on
// handling its events (the window stays alive), telling `progress` on the
// caller's thread what the work puts in `percent` (every 50 ms, and once at
// the end). When the program ends meanwhile, the work is asked to stop.
// Returns once the work has returned. `work` must not throw.
using ProgressWork = std::function<void(const BackgroundTask::Control &control, std::atomic<int> &percent)>;
void runWhileHandlingEvents(const ProgressWork &work, const std::function<void(int percent)> &progress);

} // namespace core
