#include "data/SearchIndexBuild.h"

#include "data/BackgroundTask.h"
#include "data/Schema.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>

namespace core {

namespace {

constexpr int kProgressPollMs = 50;

} // namespace

bool personIndexWanted(engine::Database &db)
{
    try {
        return db.searchIndexState(schema::personSearchIndex()).needsBuild();
    } catch (const engine::EngineError &) {
        return false; // a database that cannot be asked cannot be built on either
    }
}

QString buildPersonIndex(const engine::OpenSpec &openSpec, const IndexProgress &progress)
{
    std::atomic<int> percent{0};
    std::atomic<bool> done{false};
    QString failure;
    QEventLoop loop;
    BackgroundTask build(&loop);
    build.start(
        [&](const BackgroundTask::Control &control) {
            engine::Database db;
            try {
                db.open(openSpec);
                // A step of the server's (an index of a column) is stopped
                // by the server itself.
                control.stopToken().setOnStop([&db] { db.interrupt(); });
                db.buildSearchIndex(schema::personSearchIndex(), [&](int p) {
                    percent = p;
                    return !control.stopRequested();
                });
            } catch (const engine::EngineError &e) {
                if (e.number() != engine::ErrOperationCanceled)
                    failure = QStringLiteral("%1 %2").arg(e.number()).arg(e.description());
            }
            control.stopToken().forgetOnStop();
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
            build.cancel(); // the program ends: the build goes on next time
    }
    build.wait();
    if (progress)
        progress(percent);
    return failure;
}

} // namespace core
