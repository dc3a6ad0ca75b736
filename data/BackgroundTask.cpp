#include "data/BackgroundTask.h"

#include <QMetaObject>
#include <QObject>

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
    wait();
}

void BackgroundTask::start(Work work, std::function<void()> then)
{
    wait();
    m_stop = StopToken();
    const Control control(*this, m_stop, ++*m_currentRun);
    m_running = true;
    m_thread = std::thread([this, control, work = std::move(work), then = std::move(then)] {
        work(control);
        m_running = false;
        if (then)
            control.post(then);
    });
}

void BackgroundTask::cancel()
{
    m_stop.requestStop();
}

bool BackgroundTask::isRunning() const
{
    return m_running;
}

void BackgroundTask::wait()
{
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace core
