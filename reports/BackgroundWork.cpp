#include "reports/BackgroundWork.h"

#include <QtConcurrent/QtConcurrentRun>

namespace reports {

BackgroundWork::BackgroundWork(QObject *parent) : QObject(parent)
{
    connect(&m_watcher, &QFutureWatcher<void>::finished, this, [this] {
        auto then = std::move(m_then);
        m_then = nullptr;
        if (then)
            then();
    });
}

BackgroundWork::~BackgroundWork()
{
    waitForDone();
}

void BackgroundWork::run(std::function<void()> work, std::function<void()> then)
{
    waitForDone();
    m_then = std::move(then);
    m_watcher.setFuture(QtConcurrent::run(std::move(work)));
}

bool BackgroundWork::isRunning() const
{
    return m_watcher.isRunning();
}

void BackgroundWork::waitForDone()
{
    m_watcher.waitForFinished();
}

} // namespace reports
