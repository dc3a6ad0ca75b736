#include "data/BackgroundQuery.h"

#include "engine/ReadOnlyQuery.h"

#include "data/BackgroundTask.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QMutex>
#include <QDeadlineTimer>
#include <QWaitCondition>

#include <algorithm>
#include <optional>
#include <atomic>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace core {

namespace {

constexpr int kWorkerBatch = 4096;  // rows per hand-over at most
std::atomic<int> defaultBudgetMs{BackgroundQuery::kInlineBudgetMs};
constexpr int kFlushMs = 40;        // and at least this often while finding
// A worker asked to wait for the window's turn starts reading once that
// thread has finished what it was doing when the run began (the rest of a
// click: the first rows shown, the record's own look-ups), or after this
// long at most. On two cores a worker streaming rows, with its server
// process, would otherwise slow that work.
constexpr int kWindowTurnMs = 50;

// Stops a statement when the deadline has passed or the flag is set.
struct Stopper {
    QElapsedTimer clock;
    qint64 budgetMs = -1;
    const std::atomic<bool> *cancelled = nullptr;
};

bool shouldStop(const Stopper &s)
{
    if (s.cancelled && s.cancelled->load(std::memory_order_relaxed))
        return true;
    return s.budgetMs >= 0 && s.clock.elapsed() >= s.budgetMs;
}

// The engine's stop check: a statement running on `db` stops once `stopper`
// says so (looked at every `steps` steps); a null stopper removes it.
void checkForStop(engine::Database &db, Stopper *stopper, int steps = 0)
{
    if (stopper)
        db.setStopCheck([stopper] { return shouldStop(*stopper); }, steps);
    else
        db.setStopCheck({}, 0);
}

// A statement on a server cannot be left early for nothing: the rows on
// their way are read and dropped before the server hears of the stop. So
// a brief moment's read of a list's row identities there asks for the
// first ones only (a screenful, and one more to tell whether there are
// others), which ends by itself; its budget gives the server's round trips
// time to answer.
constexpr int kServerInlineRows = 256;
constexpr int kServerInlineMinMs = 50;

// Steps through a select, `limit` rows at most (negative: all): the first
// column as an identity, or whole rows.
template <typename Take>
void readAll(engine::Statement &select, BackgroundQuery::Result result, qint64 limit, Take take)
{
    const int columns = select.columnCount();
    for (qint64 n = 0; (limit < 0 || n < limit) && select.step(); ++n) {
        if (result == BackgroundQuery::Result::Ids) {
            take(select.integer(0), nullptr);
        } else {
            QVariantList row;
            row.reserve(columns);
            for (int c = 0; c < columns; ++c)
                row << select.value(c);
            take(0, &row);
        }
    }
}

bool isInterrupt(const engine::EngineError &e)
{
    return e.number() == engine::ErrOperationCanceled;
}

} // namespace

// The connection kept from run to run (one at most, with its page cache),
// shared with the worker threads.
struct BackgroundQuery::Shared {
    QMutex mutex;
    std::unique_ptr<engine::Database> kept;
    QString keptPath;
    bool keptQueriesOnly = false;

    std::unique_ptr<engine::Database> connection(const Request &request, qint64 cacheKiB);
    // Kept for the next run when none is.
    void keep(std::unique_ptr<engine::Database> db, const Request &request);
};

struct BackgroundQuery::Run {
    struct Reader;
    int number = 0;
    std::unique_ptr<BackgroundTask> task; // none: the run ended inline
    std::atomic<bool> done{false};
    QMutex mutex;
    QWaitCondition changed;
    Batch pending;
    qint64 delivered = 0;
    bool notifying = false;
    bool told = false; // finished() was emitted
    bool windowTurnDone = false; // the worker may read (see kWindowTurnMs)
    int error = 0;
    QString description;

    void letWorkerRead()
    {
        QMutexLocker lock(&mutex);
        windowTurnDone = true;
        changed.wakeAll();
    }

    // The worker uses what the run holds: it ends first.
    ~Run()
    {
        letWorkerRead();
        task.reset();
    }
};

int BackgroundQuery::defaultInlineBudget()
{
    return defaultBudgetMs.load();
}

void BackgroundQuery::useOneMemoryPool()
{
#ifdef __GLIBC__
    mallopt(M_ARENA_MAX, 1);
#endif
}

void BackgroundQuery::setDefaultInlineBudget(int ms)
{
    defaultBudgetMs.store(ms);
}

BackgroundQuery::BackgroundQuery(QObject *parent) : QObject(parent), m_shared(std::make_shared<Shared>()) {}

BackgroundQuery::~BackgroundQuery()
{
    if (m_current && m_current->task)
        m_current->task->cancel();
    for (auto &r : m_retired)
        r->task->cancel();
    m_current.reset(); // waits for its worker
    reap(true);
}

void BackgroundQuery::reap(bool all)
{
    for (auto it = m_retired.begin(); it != m_retired.end();) {
        Run &r = **it;
        if (all || r.done) {
            it = m_retired.erase(it); // waits for the worker when it is still ending
        } else {
            ++it;
        }
    }
}

bool BackgroundQuery::isRunning() const
{
    return m_current && m_current->task && !m_current->done;
}

bool BackgroundQuery::isFinishing() const
{
    return m_current && m_current->task && !m_current->told;
}

void BackgroundQuery::cancel()
{
    if (m_current && m_current->task) {
        m_current->task->cancel();
        m_current->letWorkerRead();
    }
}

int BackgroundQuery::start(const Request &request)
{
    // A run still going stops; its worker ends on its own and is waited for later.
    if (m_current) {
        if (m_current->task) {
            m_current->task->cancel();
            m_current->letWorkerRead();
            m_retired.push_back(std::move(m_current));
        }
        m_current.reset();
    }
    reap(false);
    ++m_run;
    auto run = std::make_unique<Run>();
    run->number = m_run;
    m_columns.clear();

    Batch inlineRows;
    bool complete = true;
    if (request.inlineDb) {
        engine::Database &db = *request.inlineDb;
        Stopper stopper;
        stopper.budgetMs = request.inlineBudgetMs.value_or(defaultInlineBudget());
        // Only a brief moment's read of row identities (the program's own
        // selects of them) is bounded; a longer one, or none, reads as on
        // the file.
        const bool server = db.onServer() && stopper.budgetMs >= 0 && stopper.budgetMs < kServerInlineMinMs
                            && request.result == Result::Ids;
        if (server)
            stopper.budgetMs = qMax<qint64>(stopper.budgetMs, kServerInlineMinMs);
        stopper.clock.start();
        checkForStop(db, &stopper, 500);
        try {
            // Checks the select before anything runs (and names its columns).
            engine::Statement check(db, request.sql);
            engine::requireValueCount(check.handle(), request.values.size());
            m_columns = engine::columnNames(check.handle());
            std::optional<engine::Statement> firstRows;
            if (server)
                firstRows.emplace(db, QStringLiteral("SELECT * FROM (%1) AS velm_first LIMIT %2")
                                          .arg(request.sql)
                                          .arg(kServerInlineRows + 1));
            engine::Statement &select = server ? *firstRows : check;
            select.bind(request.values);
            qint64 read = 0;
            readAll(select, request.result, request.maxRows, [&](qint64 id, QVariantList *row) {
                ++read;
                if (row)
                    inlineRows.rows.append(std::move(*row));
                else
                    inlineRows.ids.append(id);
            });
            // Past the first rows the worker reads on, unless the cap was reached.
            if (server && read > kServerInlineRows && (request.maxRows < 0 || read < request.maxRows))
                complete = false;
        } catch (const engine::EngineError &e) {
            checkForStop(db, nullptr);
            if (!isInterrupt(e))
                throw;
            complete = false;
        }
        checkForStop(db, nullptr);
    } else {
        complete = false;
    }

    m_current = std::move(run);
    if (complete) {
        m_current->pending = std::move(inlineRows);
        m_current->delivered = m_current->pending.size();
        m_current->done = true;
        return m_run;
    }
    startWorker(request, std::move(inlineRows));
    return m_run;
}

// What the worker of one run does: reads the select on a connection of its
// own, confirms the rows read inline and hands over the rest in batches.
struct BackgroundQuery::Run::Reader {
    Run &run;
    const Request &request;
    const Batch &inlineRows;
    const BackgroundTask::Control &control;
    BackgroundQuery *owner;

    Reader(Run &run, const Request &request, const Batch &inlineRows, const BackgroundTask::Control &control,
           BackgroundQuery *owner)
        : run(run), request(request), inlineRows(inlineRows), control(control), owner(owner)
    {
        sinceFlush.start();
    }

    Batch found;
    qint64 compared = 0; // how far the inline rows were confirmed
    bool diverged = false;
    bool handedOver = false;
    QElapsedTimer sinceFlush;

    void awaitWindowTurn()
    {
        QDeadlineTimer deadline(kWindowTurnMs);
        QMutexLocker lock(&run.mutex);
        while (!run.windowTurnDone && !control.stopRequested() && !deadline.hasExpired())
            run.changed.wait(&run.mutex, QDeadlineTimer(qMin<qint64>(deadline.remainingTime(), 5)));
    }

    // Called with run.mutex held.
    void post(bool force)
    {
        if (run.notifying && !force)
            return;
        run.notifying = true;
        control.post([owner = owner, number = run.number] { owner->notify(number); });
    }

    void flush(bool last)
    {
        if (found.isEmpty() && !last)
            return;
        QMutexLocker lock(&run.mutex);
        if (diverged && compared >= 0) {
            // Rows shown from the inline read do not hold: start over.
            run.pending = Batch();
            run.pending.restart = true;
            run.delivered = 0;
            compared = -1;
        }
        run.pending.ids += found.ids;
        run.pending.rows += found.rows;
        run.delivered += found.size();
        found = Batch();
        sinceFlush.restart();
        post(false);
        run.changed.wakeAll();
    }

    // The first rows the worker finds are those read inline: they are
    // confirmed rather than handed over twice.
    void accept(qint64 id, const QVariantList *row)
    {
        if (compared >= 0 && compared < inlineRows.size() && !diverged) {
            const bool same = row ? inlineRows.rows.at(compared) == *row : inlineRows.ids.at(compared) == id;
            if (same) {
                ++compared;
                return;
            }
            diverged = true;
            // Hand over everything again, in the worker's order.
            found.ids += inlineRows.ids.mid(0, compared);
            found.rows += inlineRows.rows.mid(0, compared);
        }
        if (row)
            found.rows.append(*row);
        else
            found.ids.append(id);
        // The first new row goes at once; then in batches.
        if (!handedOver || found.size() >= kWorkerBatch || sinceFlush.elapsed() >= kFlushMs) {
            handedOver = true;
            flush(false);
        }
    }

    // Throws EngineError.
    void read(engine::Database &db)
    {
        const bool unordered = request.result == Result::Ids && !request.unorderedSql.isEmpty();
        engine::Statement select(db, unordered ? request.unorderedSql : request.sql);
        select.bind(request.values);
        if (unordered) {
            // All identities first (from the smallest index), then in order.
            QVector<qint64> ids;
            readAll(select, Result::Ids, -1, [&](qint64 id, QVariantList *) { ids.append(id); });
            std::sort(ids.begin(), ids.end());
            if (request.maxRows >= 0 && ids.size() > request.maxRows)
                ids.resize(request.maxRows);
            for (const qint64 id : std::as_const(ids))
                accept(id, nullptr);
        } else {
            readAll(select, request.result, request.maxRows,
                    [&](qint64 id, QVariantList *row) { accept(id, row); });
        }
        if (!diverged && compared < inlineRows.size()) {
            // Fewer rows than were shown: the inline rows do not hold.
            diverged = true;
            found.ids = inlineRows.ids.mid(0, compared) + found.ids;
            found.rows = inlineRows.rows.mid(0, compared) + found.rows;
        }
    }

    void end(int error, QString description)
    {
        if (control.stopRequested() && error == 0)
            error = engine::ErrOperationCanceled;
        if (error == engine::ErrOperationCanceled)
            description = QStringLiteral("The operation was stopped.");
        flush(true);
        QMutexLocker lock(&run.mutex);
        run.error = error;
        run.description = description;
        run.done = true;
        post(true);
        run.changed.wakeAll();
    }
};

// The worker's connection: the one kept from the last run when it reads the
// same file, otherwise a new one. Throws EngineError.
std::unique_ptr<engine::Database> BackgroundQuery::Shared::connection(const Request &request, qint64 cacheKiB)
{
    if (request.keepCache) {
        QMutexLocker lock(&mutex);
        if (kept && keptPath == request.openSpec.path && keptQueriesOnly == request.queriesOnly)
            return std::move(kept);
    }
    auto db = std::make_unique<engine::Database>();
    db->open(request.openSpec);
    db->setQueryOnly(true);
    if (request.keepCache && cacheKiB > 0)
        db->setCacheSize(cacheKiB);
    // Last: a restricted connection refuses settings.
    if (request.queriesOnly)
        engine::restrictToQueries(*db);
    return db;
}

void BackgroundQuery::Shared::keep(std::unique_ptr<engine::Database> db, const Request &request)
{
    if (!request.keepCache || !db || !db->isOpen())
        return;
    QMutexLocker lock(&mutex);
    if (!kept) {
        kept = std::move(db);
        keptPath = request.openSpec.path;
        keptQueriesOnly = request.queriesOnly;
    }
}

void BackgroundQuery::startWorker(const Request &request, Batch inlineRows)
{
    Run *run = m_current.get();
    run->pending = inlineRows; // shown now; the worker checks it finds the same first
    run->delivered = run->pending.size();
    run->windowTurnDone = !request.afterWindowTurn; // the worker is not started yet
    run->task = std::make_unique<BackgroundTask>(this);
    const std::shared_ptr<Shared> shared = m_shared;
    const qint64 cacheKiB = m_cacheKiB;

    run->task->start([this, run, shared, request, cacheKiB, inlineRows = std::move(inlineRows)](
                         const BackgroundTask::Control &control) {
        Run::Reader reader(*run, request, inlineRows, control, this);
        reader.awaitWindowTurn();
        std::unique_ptr<engine::Database> db;
        Stopper stopper;
        stopper.cancelled = control.stopToken().flag();
        int error = 0;
        QString description;
        try {
            db = shared->connection(request, cacheKiB);
            checkForStop(*db, &stopper, 1000);
            reader.read(*db);
        } catch (const engine::EngineError &e) {
            error = e.number();
            description = e.description();
        }
        if (db && db->isOpen())
            checkForStop(*db, nullptr);
        shared->keep(std::move(db), request);
        reader.end(error, description);
    });
    if (!request.afterWindowTurn)
        return;
    QMetaObject::invokeMethod(
        this,
        [this, number = run->number] {
            if (m_current && m_current->number == number)
                m_current->letWorkerRead();
        },
        Qt::QueuedConnection);
}

void BackgroundQuery::notify(int run)
{
    if (!m_current || m_current->number != run) {
        reap(false);
        return;
    }
    bool ended = false;
    bool rows = false;
    int error = 0;
    QString description;
    {
        QMutexLocker lock(&m_current->mutex);
        m_current->notifying = false;
        rows = !m_current->pending.isEmpty();
        ended = m_current->done;
        error = m_current->error;
        description = m_current->description;
    }
    if (rows)
        emit rowsFound(run);
    if (ended && m_current && m_current->number == run && m_current->task && !m_current->told) {
        m_current->told = true;
        m_current->task->wait();
        emit finished(run, error, description);
    }
}

BackgroundQuery::Batch BackgroundQuery::take()
{
    if (!m_current)
        return {};
    QMutexLocker lock(&m_current->mutex);
    Batch b = std::move(m_current->pending);
    m_current->pending = Batch();
    return b;
}

bool BackgroundQuery::hasPending() const
{
    if (!m_current)
        return false;
    QMutexLocker lock(&m_current->mutex);
    return !m_current->pending.isEmpty();
}

qint64 BackgroundQuery::delivered() const
{
    if (!m_current)
        return 0;
    QMutexLocker lock(&m_current->mutex);
    return m_current->delivered;
}

void BackgroundQuery::waitFor(qint64 count, int timeoutMs)
{
    if (!m_current)
        return;
    QElapsedTimer clock;
    clock.start();
    m_current->letWorkerRead(); // the window waits for it now
    QMutexLocker lock(&m_current->mutex);
    while (m_current->delivered <= count && !m_current->done) {
        const qint64 left = timeoutMs < 0 ? 1000 : timeoutMs - clock.elapsed();
        if (left <= 0)
            break;
        m_current->changed.wait(&m_current->mutex, QDeadlineTimer(left));
    }
}

} // namespace core
