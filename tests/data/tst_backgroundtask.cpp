#include "data/BackgroundQuery.h"
#include "data/BackgroundTask.h"
#include "engine/EngineError.h"
#include "support/TempDataFolder.h"
#include "support/TestMain.h"

#include <QSignalSpy>
#include <QThread>

#include <atomic>

namespace {

using Control = core::BackgroundTask::Control;

// Rows without end: only a stop ends the select.
const QString kEndless = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT i FROM n");

// Work that runs until it is stopped, and tells whether it started and how
// it ended.
struct UntilStopped {
    std::atomic<bool> started{false};
    std::atomic<bool> toldToStop{false}; // through the token's stop callback
    std::atomic<QThread *> thread{nullptr};

    core::BackgroundTask::Work work()
    {
        return [this](const Control &control) {
            thread = QThread::currentThread();
            control.stopToken().setOnStop([this] { toldToStop = true; });
            started = true;
            while (!control.stopRequested())
                QThread::msleep(1);
            control.stopToken().forgetOnStop();
        };
    }
};

} // namespace

class TstBackgroundTask : public QObject {
    Q_OBJECT
private slots:
    // cancel() reaches the work and what it asked to be told; the
    // follow-up still comes, after what the work posted, on the owner's
    // thread; a later run replaces the follow-up of one not heard of yet.
    void cancelStopsTheWorkAndTheFollowUpRunsOnTheOwnersThread()
    {
        QObject owner;
        core::BackgroundTask task(&owner);
        UntilStopped until;
        QStringList heard;
        QThread *followUpThread = nullptr;
        task.start(
            [&](const Control &control) {
                for (int i = 0; i < 3; ++i)
                    control.post([&heard, i] { heard << QString::number(i); });
                until.work()(control);
            },
            [&] {
                heard << QStringLiteral("then");
                followUpThread = QThread::currentThread();
            });
        QTRY_VERIFY(until.started);
        QVERIFY(task.isRunning());
        QVERIFY(!until.toldToStop);
        task.cancel();
        QTRY_COMPARE(heard, (QStringList{"0", "1", "2", "then"}));
        QVERIFY(until.toldToStop);
        QVERIFY(!task.isRunning());
        QCOMPARE(followUpThread, QThread::currentThread());
        QVERIFY(until.thread != QThread::currentThread());

        // The new run has a token of its own; the first run's follow-up is
        // dropped once the second has started.
        int first = 0, second = 0;
        std::atomic<bool> stopSeen{false};
        task.start([](const Control &) {}, [&] { ++first; });
        task.start([&](const Control &control) { stopSeen = control.stopRequested(); }, [&] { ++second; });
        QTRY_COMPARE(second, 1);
        QCoreApplication::processEvents();
        QCOMPARE(first, 0);
        QVERIFY(!stopSeen);
    }

    // A search whose worker reads without end stops on cancel() through
    // the engine's stop check, with what it found handed over and the
    // stopped result.
    void aStoppedSearchEndsWithTheStoppedResult()
    {
        testsupport::TempDataFolder folder;
        core::DataStore &store = folder.openStore();
        core::BackgroundQuery query;
        QSignalSpy finished(&query, &core::BackgroundQuery::finished);
        core::BackgroundQuery::Request r;
        r.sql = kEndless;
        r.result = core::BackgroundQuery::Result::Ids;
        r.openSpec = store.db().openSpec();
        r.inlineDb = &store.db();
        r.inlineBudgetMs = 0;
        const int run = query.start(r);
        QVERIFY(query.isRunning());
        query.waitFor(10000, 60000);
        QVERIFY(query.delivered() > 10000);
        query.cancel();
        QVERIFY(finished.wait(60000));
        QCOMPARE(finished.first().at(0).toInt(), run);
        QCOMPARE(finished.first().at(1).toInt(), int(engine::ErrOperationCanceled));
        QCOMPARE(finished.first().at(2).toString(), QStringLiteral("The operation was stopped."));
        QVERIFY(!query.isRunning());
        qint64 taken = 0;
        while (query.hasPending())
            taken += query.take().size();
        QVERIFY(taken > 10000);
    }

    // The owner going away while work runs stops the work and waits for it;
    // nothing it posted, nor the follow-up, reaches anything gone.
    void theOwnerGoingAwayWhileWorkRunsIsSafe()
    {
        UntilStopped until;
        int heard = 0;
        {
            QObject owner;
            core::BackgroundTask task(&owner);
            task.start(
                [&](const Control &control) {
                    until.work()(control);
                    control.post([&heard] { ++heard; });
                },
                [&heard] { ++heard; });
            QTRY_VERIFY(until.started);
        }
        QVERIFY(until.toldToStop);
        QCoreApplication::processEvents();
        QCOMPARE(heard, 0);

        // A search dropped while its worker reads.
        testsupport::TempDataFolder folder;
        core::DataStore &store = folder.openStore();
        auto query = std::make_unique<core::BackgroundQuery>();
        QSignalSpy finished(query.get(), &core::BackgroundQuery::finished);
        QSignalSpy rows(query.get(), &core::BackgroundQuery::rowsFound);
        core::BackgroundQuery::Request r;
        r.sql = kEndless;
        r.openSpec = store.db().openSpec();
        query->start(r); // no inline part: all on the worker
        query->waitFor(100, 60000);
        QVERIFY(query->delivered() > 100);
        query.reset();
        QCoreApplication::processEvents();
        QCOMPARE(finished.count(), 0);
        QCOMPARE(rows.count(), 0);
    }
};

VELM_TEST_MAIN(TstBackgroundTask)
#include "tst_backgroundtask.moc"
