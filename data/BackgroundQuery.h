#pragma once

#include "engine/Database.h"

#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVector>

#include <memory>
#include <optional>
#include <vector>

namespace core {

// Runs a select so that the window never waits for it: the first rows come
// at once, the rest on a thread of its own, and the user can stop it.
//
// A run first reads on the caller's own connection for a short time (the
// inline budget, 100 ms unless the process or the request says otherwise). A select that ends within it (a
// look-up list, a small table, a test) is complete when start() returns,
// exactly as if it had run on the spot. A longer one goes on, from its
// beginning, on a worker (a BackgroundTask) with a connection of its own (opened with
// the already derived key, a few milliseconds); what the worker finds is
// handed over in batches through rowsFound(), the first as soon as it is
// found. The rows read inline stay valid when the worker finds the same
// ones first (the usual case); otherwise a batch marked restart replaces
// all rows taken before.
//
// Typical use on the window's thread (the data sources of the grids do
// exactly this; a search of a million persons runs the same way):
//
//     core::BackgroundQuery query;
//     connect(&query, &core::BackgroundQuery::rowsFound, this, [&](int run) {
//         if (run == query.runNumber()) show(query.take());   // ids or rows
//     });
//     connect(&query, &core::BackgroundQuery::finished, this,
//             [&](int run, int error, const QString &text) { ... });  // 0, 3059 stopped, or engine error
//     core::BackgroundQuery::Request r;
//     r.sql = "select * from tamrel where [a_new_name] like ? escape '\\'";
//     r.values = {"%" + engine::escapeLike(typed) + "%"};
//     r.openSpec = db.openSpec();   // where the worker reads
//     r.inlineDb = &db;     // where the first 100 ms are read
//     query.start(r);       // throws EngineError for a select that cannot run
//     show(query.take());   // what was found inline
//     ... Esc: query.cancel();
//
// Long work is announced to the user with core::BusyFeedback.
class BackgroundQuery : public QObject {
    Q_OBJECT
public:
    // What a run hands over: the first column as row identities, or whole rows.
    enum class Result { Ids, Rows };

    struct Request {
        QString sql;
        QVariantList values;
        Result result = Result::Rows;
        engine::OpenSpec openSpec;              // the worker's connection
        engine::Database *inlineDb = nullptr; // read here first (the caller's thread)
        // How long inlineDb reads before the worker takes over: unset, the
        // process's default; negative, the whole select is read there.
        std::optional<int> inlineBudgetMs;
        // The run ends after this many rows (negative: all of them).
        qint64 maxRows = -1;
        // Worker: reads this select instead (same rows in any order) and
        // sorts the identities once all are read (Ids only).
        QString unorderedSql;
        // Worker: a connection kept from run to run with the large page
        // cache (see setCacheSize); otherwise a fresh small-cache one.
        bool keepCache = true;
        // Worker: its connection gets engine::restrictToQueries, as the
        // inline one of a text written outside the program has.
        bool queriesOnly = false;
        // Worker: starts reading once the caller's thread has gone back to
        // its events (or after a moment at most), so that the rest of what
        // that thread is doing (a click that re-runs a list) is not slowed.
        bool afterWindowTurn = false;
    };

    struct Batch {
        QVector<qint64> ids;
        QVector<QVariantList> rows;
        // The rows taken before do not hold: these replace all of them.
        bool restart = false;
        bool isEmpty() const { return ids.isEmpty() && rows.isEmpty() && !restart; }
        qsizetype size() const { return ids.size() + rows.size(); }
    };

    static constexpr int kInlineBudgetMs = 100;
    // The inline budget of the runs that do not set their own
    // (kInlineBudgetMs). The tests raise it, so that a small select read
    // right after it starts never goes to a worker on a loaded machine.
    static int defaultInlineBudget();
    static void setDefaultInlineBudget(int ms);

    // Called first thing in main(), before any thread starts: the workers
    // then take their page caches (up to a gigabyte for a search of the
    // whole register) from the one memory pool the process has, instead of
    // a pool per thread that the C library grows and gives back in small
    // steps; a first search on a fresh connection took two to three times
    // as long that way.
    static void useOneMemoryPool();

    explicit BackgroundQuery(QObject *parent = nullptr);
    // Stops a run still going and waits for its thread.
    ~BackgroundQuery() override;

    // Page cache (KiB) of the worker connection that is kept from run to
    // run. 0 leaves SQLite's default.
    void setCacheSize(qint64 kib) { m_cacheKiB = kib; }
    qint64 cacheSize() const { return m_cacheKiB; }

    // Starts a run; a run still going is stopped first. Throws EngineError
    // when the inline part fails (the select is wrong, the file unreadable);
    // nothing has been handed over then. Returns the run's number. When
    // isRunning() is false afterwards the run ended inline: its rows are
    // all in take() and no signal follows.
    int start(const Request &request);
    // Stops the run; what was found so far stays handed over, and
    // finished() reports 3059.
    void cancel();
    // The worker still reads (false once it has ended, even where its last
    // rows and finished() are still on their way to the window's thread).
    bool isRunning() const;
    // finished() is still to come for the current run.
    bool isFinishing() const;
    int runNumber() const { return m_run; }
    // Columns of the run's result (known once start() returns with an inlineDb).
    const QStringList &columnNames() const { return m_columns; }

    // Rows found and not taken yet.
    Batch take();
    bool hasPending() const;
    // Blocks until more than `count` rows have been handed over in this run
    // (taken or pending) or the run ends, at most timeoutMs (-1: no limit).
    void waitFor(qint64 count, int timeoutMs = -1);
    // Rows handed over in this run so far.
    qint64 delivered() const;

signals:
    // Rows (or a restart) are waiting in take().
    void rowsFound(int run);
    // The run ended: error 0, 3059 when stopped, or the engine's error.
    void finished(int run, int errorNumber, const QString &description);

private:
    struct Shared;
    struct Run;
    void startWorker(const Request &request, Batch inlineRows);
    void notify(int run);
    void reap(bool all);

    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<Run> m_current;
    std::vector<std::unique_ptr<Run>> m_retired;
    int m_run = 0;
    qint64 m_cacheKiB = 0;
    QStringList m_columns;
};

} // namespace core
