#pragma once

#include <QFutureWatcher>
#include <QObject>

#include <functional>

namespace reports {

// Runs one piece of work at a time off the window's thread and then a
// follow-up on the thread that owns this object. The reports keep all their
// threading behind this class.
class BackgroundWork : public QObject {
    Q_OBJECT
public:
    explicit BackgroundWork(QObject *parent = nullptr);
    // Waits for work still running: it may use what its owner holds.
    ~BackgroundWork() override;

    // `work` must not throw. `then` runs after it, here, unless the object
    // is gone by then.
    void run(std::function<void()> work, std::function<void()> then);
    bool isRunning() const;
    void waitForDone();

private:
    QFutureWatcher<void> m_watcher;
    std::function<void()> m_then;
};

} // namespace reports
