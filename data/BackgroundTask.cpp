#include "data/BackgroundTask.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QObject>
#include <QTimer>

#include <utility>

namespace core {

StopToken::StopToken() : m_state(std::make_shared<State>()) {}

void StopToken::setOnStop(std::function<void()> onStop) const
{
    std::unique_lock lock(m_state->mutex);
    if (stopRequested()) {
        lock.unlock();
        if (onStop)
            onStop();
        return;
    }
    m_state->onStop = std::move(onStop);
}

void StopToken::forgetOnStop() const
{
    const std::lock_guard lock(m_state->mutex);
    m_state->onStop = nullptr;
}

void StopToken::requestStop() const
{
    // Under the lock: the work may be forgetting what to run just now.
    const std::lock_guard lock(m_state->mutex);
    m_state->stop.store(true);
    if (m_state->onStop)
        m_state->onStop();
}

BackgroundTask::Control::Control(const BackgroundTask &task, StopToken stop, quint64 run)
    : m_owner(task.m_owner), m_currentRun(task.m_currentRun), m_run(run), m_stop(std::move(stop))
{
}

void BackgroundTask::Control::post(std::function<void()> step) const
{
    if (!m_owner)
        return;
    QMetaObject::invokeMethod(
        m_owner,
        [currentRun = m_currentRun, run = m_run, step = std::move(step)] {
            // The task is gone, or a later run replaced this one.
            const std::shared_ptr<std::atomic<quint64>> current = currentRun.lock();
            if (current && current->load() == run)
                step();
        },
        Qt::QueuedConnection);
}

BackgroundTask::BackgroundTask(QObject *owner)
    : m_owner(owner), m_currentRun(std::make_shared<std::atomic<quint64>>(0))
{
}

BackgroundTask::~BackgroundTask()
{
    cancel();
    {
        const std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void BackgroundTask::start(Work work, std::function<void()> then)
{
    wait();
    {
        const std::lock_guard lock(m_mutex);
        m_stop = StopToken();
        ++*m_currentRun;
        m_job = Job{std::move(work), std::move(then)};
        m_running = true;
        if (!m_thread.joinable())
            m_thread = std::thread([this] { serve(); });
    }
    m_changed.notify_all();
}

void BackgroundTask::serve()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_job.work || m_quit; });
        if (!m_job.work)
            return;
        const Job job = std::exchange(m_job, Job());
        const Control control(*this, m_stop, m_currentRun->load());
        lock.unlock();
        job.work(control);
        lock.lock();
        m_running = false;
        m_changed.notify_all();
        if (job.then)
            control.post(job.then);
    }
}

void BackgroundTask::cancel()
{
    const std::lock_guard lock(m_mutex);
    m_stop.requestStop();
}

bool BackgroundTask::isRunning() const
{
    const std::lock_guard lock(m_mutex);
    return m_running;
}

void BackgroundTask::wait()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_running; });
}

void runWhileHandlingEvents(const ProgressWork &work, const std::function<void(int)> &progress)
{
    constexpr int kProgressPollMs = 50;
    std::atomic<int> percent{0};
    std::atomic<bool> done{false};
    QEventLoop loop;
    BackgroundTask task(&loop);
    task.start(
        [&](const BackgroundTask::Control &control) {
            work(control, percent);
            done = true;
        },
        [&loop] { loop.quit(); });
    if (QCoreApplication::instance()) {
        QTimer tick;
        int told = -1;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            if (progress && percent != told) {
                told = percent;
                progress(told);
            }
        });
        tick.start(kProgressPollMs);
        if (!done)
            loop.exec();
        if (!done)
            task.cancel(); // the program ends
    }
    task.wait();
    if (progress)
        progress(percent);
}

} // namespace core
