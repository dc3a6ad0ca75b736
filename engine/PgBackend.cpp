#include "engine/PgBackend.h"

#include "engine/PgSql.h"
#include "engine/SearchGrams.h"

#include <libpq-fe.h>

#include <QList>
#include <QSet>
#include <QStringList>

#include <cerrno>
#include <optional>
#include <poll.h>

namespace engine {

namespace {

// Type numbers of the server's catalog (pg_type.oid) the engine reads.
enum : Oid {
    kBool = 16,
    kBytea = 17,
    kInt8 = 20,
    kInt2 = 21,
    kInt4 = 23,
    kOid = 26,
    kFloat4 = 700,
    kFloat8 = 701,
    kNumeric = 1700,
};

// Rows read ahead before a statement stopped early is cancelled instead.
constexpr int kDrainBeforeCancel = 64;
// How often a wait for the server looks at the stop check (ms).
constexpr int kStopPollMs = 50;
// Prepared statements kept per connection; beyond, new ones are dropped after use.
constexpr int kKeptStatements = 400;
// Rows a table cursor's move reads at once where changes are heard of.
constexpr int kReadAheadRows = 16;
constexpr const char *kHiddenRowId = "velm_rowid";
// The role of report connections: it reads every table but users and audit.
constexpr const char *kReportRole = "velm_report";
// The largest text or blob a restricted connection takes from the server.
constexpr int kQueryValueBytes = 16 * 1024 * 1024;

using Kind = BackendFailure::Kind;

Kind kindOfState(const QByteArray &state)
{
    static const QHash<QByteArray, Kind> kinds{
        {"23505", Kind::DuplicateKey},   {"23502", Kind::NullInRequired}, {"23514", Kind::CheckViolated},
        {"22001", Kind::CheckViolated},  {"57014", Kind::Interrupted},    {"42P01", Kind::NoSuchTable},
        {"42703", Kind::NoSuchColumn},   {"42601", Kind::Syntax},         {"25006", Kind::NotAuthorized},
        {"42501", Kind::NotAuthorized},  {"22P02", Kind::TypeMismatch},   {"22003", Kind::TypeMismatch},
        {"42804", Kind::TypeMismatch},   {"40P01", Kind::Busy},           {"40001", Kind::Busy},
        {"55P03", Kind::Locked},         {"57P01", Kind::CannotOpen},     {"57P03", Kind::CannotOpen},
        {"3D000", Kind::CannotOpen},     {"28P01", Kind::CannotOpen},     {"28000", Kind::CannotOpen},
    };
    if (state.startsWith("08"))
        return Kind::CannotOpen;
    return kinds.value(state, Kind::Other);
}

BackendFailure failureOfResult(const PGresult *result, PGconn *conn)
{
    BackendFailure f;
    const char *state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char *primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    f.message = QString::fromUtf8(primary ? primary : PQerrorMessage(conn)).trimmed();
    if (const char *detail = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL) : nullptr)
        f.message += QStringLiteral(" (%1)").arg(QString::fromUtf8(detail).trimmed());
    f.kind = state ? kindOfState(QByteArray(state)) : (PQstatus(conn) == CONNECTION_BAD ? Kind::CannotOpen : Kind::Other);
    f.summary = state ? QStringLiteral("SQLSTATE %1").arg(QLatin1String(state)) : QStringLiteral("server failure");
    return f;
}

bool holdsValuePastBound(const PGresult *r)
{
    for (int c = 0; c < PQnfields(r); ++c)
        if (PQgetlength(r, 0, c) > kQueryValueBytes)
            return true;
    return false;
}

bool failed(const PGresult *r)
{
    const ExecStatusType s = PQresultStatus(r);
    return s != PGRES_COMMAND_OK && s != PGRES_TUPLES_OK && s != PGRES_SINGLE_TUPLE;
}

// A field as the engine reads it from the file: whole numbers as integers,
// other numbers as reals, bytes as bytes, everything else as text.
QVariant fieldValue(const PGresult *r, int row, int column, Oid type)
{
    if (PQgetisnull(r, row, column))
        return {};
    const char *text = PQgetvalue(r, row, column);
    const int bytes = PQgetlength(r, row, column);
    switch (type) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
        return QVariant(qlonglong(QByteArray::fromRawData(text, bytes).toLongLong()));
    case kBool:
        return QVariant(qlonglong(text[0] == 't' ? 1 : 0));
    case kFloat4:
    case kFloat8:
        return QVariant(QByteArray::fromRawData(text, bytes).toDouble());
    case kNumeric: {
        const QByteArray n = QByteArray::fromRawData(text, bytes);
        bool whole = false;
        const qlonglong v = n.toLongLong(&whole);
        return whole ? QVariant(v) : QVariant(n.toDouble());
    }
    case kBytea: {
        size_t length = 0;
        unsigned char *raw = PQunescapeBytea(reinterpret_cast<const unsigned char *>(text), &length);
        const QByteArray out(reinterpret_cast<const char *>(raw), qsizetype(length));
        PQfreemem(raw);
        return QVariant(out);
    }
    default:
        return QVariant(QString::fromUtf8(text, bytes));
    }
}

} // namespace

// One statement prepared on the server, shared by every PgStatement with
// the same text on the connection.
struct PgPrepared {
    QByteArray sql;
    QByteArray name;
    int parameters = 0;
    QList<QString> columns;
    QList<Oid> types;
    bool keep = true;
};

// ------------------------------------------------------------------ statement

class PgStatement final : public BackendStatement {
public:
    PgStatement(PgConnection *conn, std::shared_ptr<PgPrepared> prepared, const PgSql &sql)
        : m_conn(conn), m_alive(conn->m_alive), m_prepared(std::move(prepared)), m_names(sql.names),
          m_readOnly(sql.readOnly), m_showsRowId(sql.namesRowId)
    {
        const int n = m_prepared->parameters;
        m_values = QList<QByteArray>(n);
        m_isNull = QList<bool>(n, true);
        m_binary = QList<int>(n, 0);
        showColumns();
    }
    ~PgStatement() override
    {
        clearRow();
        if (!*m_alive)
            return; // the connection went first (a grid's cursor may outlive it)
        try {
            reset();
            if (!m_prepared->keep && m_prepared.use_count() == 1)
                m_conn->run("DEALLOCATE " + m_prepared->name);
        } catch (const BackendFailure &) {
            // a lost connection: nothing left to free on the server
        }
    }
    PgStatement(const PgStatement &) = delete;
    PgStatement &operator=(const PgStatement &) = delete;

    int parameterCount() const override { return m_prepared->parameters; }
    QString parameterName(int position) const override { return m_names.value(position - 1); }
    void bindNull(int position) override { set(position, {}, true, 0); }
    void bindInteger(int position, qint64 value) override { set(position, QByteArray::number(value), false, 0); }
    void bindReal(int position, double value) override { set(position, QByteArray::number(value, 'g', 17), false, 0); }
    void bindText(int position, QByteArrayView utf8) override
    {
        // The server's texts cannot hold a NUL; the engine refuses one first.
        if (utf8.contains('\0'))
            throw BackendFailure{Kind::CheckViolated, QStringLiteral("a text holding a NUL character"),
                                 QStringLiteral("text with NUL")};
        set(position, utf8.toByteArray(), false, 0);
    }
    void bindBlob(int position, QByteArrayView bytes) override { set(position, bytes.toByteArray(), false, 1); }
    void clearBindings() override
    {
        m_isNull.fill(true);
        m_values.fill(QByteArray());
    }

    bool step() override;
    void reset() override;

    int columnCount() const override { return int(m_columns.size()); }
    QString columnName(int column) const override { return m_prepared->columns.value(m_columns.value(column, -1)); }
    QVariant value(int column) const override;
    qint64 integer(int column) const override { return value(column).toLongLong(); }
    bool isReadOnly() const override { return m_readOnly; }

    // Reads the rest of the running statement into memory (the connection
    // is needed by another statement).
    void park();

private:
    void set(int position, const QByteArray &value, bool isNull, int binary)
    {
        if (position < 1 || position > m_values.size())
            throw BackendFailure{Kind::Misuse, QStringLiteral("no parameter %1").arg(position),
                                 QStringLiteral("bad parameter")};
        m_values[position - 1] = value;
        m_isNull[position - 1] = isNull;
        m_binary[position - 1] = binary;
    }
    void start();
    // Takes the next result: true on a row.
    bool take(PGresult *result);
    void replanned();
    void showColumns();
    // Reads the rest of the run, then ends it.
    void finish(bool failure = false);
    // Frees the connection and ends the statement's savepoint.
    void endRun(bool failure);
    void clearRow();

    PgConnection *m_conn;
    std::shared_ptr<bool> m_alive; // the connection's, false once it is closed
    std::shared_ptr<PgPrepared> m_prepared;
    QStringList m_names;
    bool m_readOnly;
    QList<int> m_columns; // result columns shown, by server column
    QList<QByteArray> m_values;
    QList<bool> m_isNull;
    QList<int> m_binary;

    bool m_running = false;
    bool m_ownTransaction = false; // no transaction was open when it started
    bool m_savepoint = false;      // run in a transaction, in a savepoint
    bool m_replanned = false;
    bool m_showsRowId = false;
    qint64 m_rows = 0;
    PGresult *m_row = nullptr;
    // After park(): the rows left, and the failure that ended them.
    bool m_parked = false;
    QList<QVariantList> m_rest;
    qsizetype m_next = 0;
    QVariantList m_current;
    std::optional<BackendFailure> m_parkedFailure;
};

void PgStatement::start()
{
    m_conn->claim(nullptr);
    m_ownTransaction = PQtransactionStatus(m_conn->m_conn) == PQTRANS_IDLE;
    // In a transaction a failed statement would end the whole transaction
    // (and its COMMIT then roll back): a statement runs in a savepoint of
    // its own, so that a failure undoes only the statement, as on the file.
    m_savepoint = !m_ownTransaction;
    if (m_savepoint)
        m_conn->run("SAVEPOINT velm_statement");
    m_conn->claim(this);
    const int n = int(m_values.size());
    QList<const char *> values(n);
    QList<int> lengths(n);
    for (int i = 0; i < n; ++i) {
        values[i] = m_isNull.at(i) ? nullptr : m_values.at(i).constData();
        lengths[i] = int(m_values.at(i).size());
    }
    m_conn->m_activeInTransaction = !m_ownTransaction;
    m_conn->m_cancelSent = false;
    if (!PQsendQueryPrepared(m_conn->m_conn, m_prepared->name.constData(), n, values.constData(), lengths.constData(),
                             m_binary.constData(), 0)) {
        const BackendFailure failure = failureOfResult(nullptr, m_conn->m_conn);
        m_running = true;
        endRun(true);
        throw failure;
    }
    PQsetSingleRowMode(m_conn->m_conn);
    m_running = true;
    m_rows = 0;
}

bool PgStatement::step()
{
    if (m_parked) {
        if (m_next < m_rest.size()) {
            m_current = m_rest.at(m_next++);
            return true;
        }
        m_current.clear();
        m_parked = false;
        m_rest.clear();
        if (m_parkedFailure)
            throw *std::exchange(m_parkedFailure, std::nullopt);
        return false;
    }
    clearRow();
    if (!*m_alive)
        throw BackendFailure{Kind::CannotOpen, QStringLiteral("the connection to the server is closed"),
                             QStringLiteral("connection closed")};
    if (!m_running)
        start();
    // Every so many rows of a long list, the stop check has its say.
    if (m_rows > 0 && m_conn->m_stopCheck && m_rows % qMax(1, m_conn->m_stopInterval) == 0 && m_conn->stopRequested())
        m_conn->interrupt();
    return take(m_conn->nextResult());
}

bool PgStatement::take(PGresult *result)
{
    if (!result) {
        finish();
        return false;
    }
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_SINGLE_TUPLE) {
        if (m_conn->m_restricted && holdsValuePastBound(result)) {
            PQclear(result);
            m_conn->interrupt();
            finish(true);
            throw BackendFailure{Kind::Other, QStringLiteral("a value of the query is larger than 16 MB"),
                                 QStringLiteral("value too big")};
        }
        m_row = result;
        ++m_rows;
        return true;
    }
    if (!failed(result)) {
        m_conn->noteChanges(result);
        PQclear(result);
        finish();
        return false;
    }
    BackendFailure failure = failureOfResult(result, m_conn->m_conn);
    // Stopped by the server's statement timeout, not by the program: a
    // failure with the server's reason, never taken for the user's Esc.
    if (failure.kind == Kind::Interrupted && !m_conn->m_cancelSent)
        failure.kind = Kind::Other;
    const char *state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
    // A table changed since the statement was prepared (a column added):
    // prepared again once, as SQLite does by itself.
    const bool replan = state && qstrcmp(state, "0A000") == 0 && m_rows == 0 && !m_replanned;
    PQclear(result);
    finish(true);
    if (!replan)
        throw failure;
    m_replanned = true;
    replanned();
    start();
    return take(m_conn->nextResult());
}

void PgStatement::replanned()
{
    const bool keep = m_prepared->keep;
    m_conn->m_prepared.remove(m_prepared->sql);
    m_prepared = m_conn->prepared(m_prepared->sql, m_prepared->parameters, keep);
    showColumns();
}

// "SELECT *" shows a table's fields: the hidden row identity stays out,
// unless the statement names it (then once, where it is first).
void PgStatement::showColumns()
{
    m_columns.clear();
    bool rowIdShown = false;
    for (int c = 0; c < m_prepared->columns.size(); ++c) {
        if (m_prepared->columns.at(c) == QLatin1String(kHiddenRowId)) {
            if (!m_showsRowId || rowIdShown)
                continue;
            rowIdShown = true;
        }
        m_columns << c;
    }
}

// Reads what is left of the run (the server sends nothing after the last
// result) and frees the connection.
void PgStatement::finish(bool failure)
{
    if (!m_running)
        return;
    while (PGresult *r = m_conn->nextResult()) {
        failure = failure || failed(r);
        PQclear(r);
    }
    endRun(failure);
}

void PgStatement::endRun(bool failure)
{
    m_running = false;
    m_conn->release(this);
    if (!std::exchange(m_savepoint, false))
        return;
    m_conn->run(failure ? "ROLLBACK TO SAVEPOINT velm_statement; RELEASE SAVEPOINT velm_statement"
                        : "RELEASE SAVEPOINT velm_statement");
}

void PgStatement::clearRow()
{
    if (m_row) {
        PQclear(m_row);
        m_row = nullptr;
    }
}

void PgStatement::reset()
{
    clearRow();
    m_parked = false;
    m_rest.clear();
    m_current.clear();
    m_parkedFailure.reset();
    if (!*m_alive)
        m_running = false;
    if (!m_running)
        return;
    // A list left early: a few rows more are read, then the server is
    // asked to stop. Inside a transaction a cancel would end it: read on.
    int drained = 0;
    bool failure = false;
    while (PGresult *r = m_conn->nextResult()) {
        if (PQresultStatus(r) == PGRES_SINGLE_TUPLE && ++drained == kDrainBeforeCancel && m_ownTransaction)
            m_conn->interrupt();
        failure = failure || failed(r);
        PQclear(r);
    }
    endRun(failure);
}

void PgStatement::park()
{
    if (!m_running)
        return;
    m_parked = true;
    m_next = 0;
    if (m_row) { // the row being read stays readable
        m_current.clear();
        for (int c = 0; c < m_columns.size(); ++c)
            m_current << value(c);
        clearRow();
    }
    const QVariantList shown = m_current;
    try {
        while (PGresult *r = m_conn->nextResult()) {
            if (PQresultStatus(r) == PGRES_SINGLE_TUPLE) {
                QVariantList row;
                for (const int c : std::as_const(m_columns))
                    row << fieldValue(r, 0, c, m_prepared->types.at(c));
                m_rest << row;
            } else if (failed(r)) {
                m_parkedFailure = failureOfResult(r, m_conn->m_conn);
            } else {
                m_conn->noteChanges(r);
            }
            PQclear(r);
        }
    } catch (...) {
        m_parkedFailure = BackendFailure{Kind::CannotOpen, QStringLiteral("the connection was lost"), {}};
    }
    m_current = shown;
    endRun(m_parkedFailure.has_value());
}

QVariant PgStatement::value(int column) const
{
    if (column < 0 || column >= m_columns.size())
        return {};
    if (m_row)
        return fieldValue(m_row, 0, m_columns.at(column), m_prepared->types.at(m_columns.at(column)));
    return m_current.value(column);
}

// ----------------------------------------------------------------- connection

PgConnection::PgConnection(PGconn *conn, const QString &connectionString)
    : m_conn(conn), m_cancel(PQgetCancel(conn)), m_connectionString(connectionString)
{
}

PgConnection::~PgConnection()
{
    // Statements still open leave their rows: closing the connection ends
    // the server's work on them.
    *m_alive = false;
    m_prepared.clear();
    if (m_cancel)
        PQfreeCancel(m_cancel);
    PQfinish(m_conn);
}

std::unique_ptr<PgConnection> PgConnection::open(const QString &connectionString)
{
    const QByteArray given = connectionString.toUtf8();
    // The given string (or service) decides everything it names; the
    // program adds a bound on the wait for an unreachable server.
    const char *keys[] = {"connect_timeout", "application_name", "dbname", "client_encoding", nullptr};
    const char *values[] = {"10", "velm", given.constData(), "UTF8", nullptr};
    PGconn *conn = PQconnectdbParams(keys, values, 1);
    if (!conn)
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Could not connect to the database server: out of memory."));
    if (PQstatus(conn) != CONNECTION_OK) {
        const QString host = QString::fromUtf8(PQhost(conn) ? PQhost(conn) : "");
        const QString db = QString::fromUtf8(PQdb(conn) ? PQdb(conn) : "");
        const QString why = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
        PQfinish(conn);
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Could not connect to the database server %1 (database %2): %3")
                                                 .arg(host.isEmpty() ? QStringLiteral("?") : host,
                                                      db.isEmpty() ? QStringLiteral("?") : db, why));
    }
    std::unique_ptr<PgConnection> c(new PgConnection(conn, connectionString));
    try {
        // Texts compare as stored; dates and numbers travel as the engine writes them.
        c->run("SET standard_conforming_strings = on");
        c->run("SET extra_float_digits = 1");
        // The server's notices ("... does not exist, skipping") are not
        // the program's to show; warnings and errors still come.
        c->run("SET client_min_messages = warning");
    } catch (const BackendFailure &f) {
        raiseFailure(f, c->description());
    }
    return c;
}

QString PgConnection::description() const
{
    const char *host = PQhost(m_conn);
    QString where = QString::fromUtf8(host ? host : "");
    if (where.startsWith(QLatin1Char('/')))
        where = QStringLiteral("local socket %1").arg(where);
    return QStringLiteral("database %1 on %2").arg(QString::fromUtf8(PQdb(m_conn)), where);
}

QString PgConnection::hostAndDatabase() const
{
    const char *host = PQhost(m_conn);
    return QStringLiteral("%1/%2").arg(QString::fromUtf8(host ? host : ""), QString::fromUtf8(PQdb(m_conn)));
}

bool PgConnection::stopRequested()
{
    return m_stopCheck && m_stopCheck();
}

void PgConnection::claim(PgStatement *next)
{
    if (m_active && m_active != next)
        m_active->park();
    m_active = next;
}

void PgConnection::release(PgStatement *statement)
{
    if (m_active == statement)
        m_active = nullptr;
}

PGresult *PgConnection::nextResult()
{
    while (PQisBusy(m_conn)) {
        pollfd p{PQsocket(m_conn), POLLIN, 0};
        const int ready = ::poll(&p, 1, m_stopCheck ? kStopPollMs : 1000);
        if (ready < 0 && errno != EINTR)
            break;
        if (!PQconsumeInput(m_conn))
            break; // the connection is lost: the result says so
        if (!m_cancelSent && stopRequested())
            interrupt();
    }
    return PQgetResult(m_conn);
}

void PgConnection::noteChanges(PGresult *result)
{
    const QByteArray status(PQcmdStatus(result));
    if (status.startsWith("INSERT") || status.startsWith("UPDATE") || status.startsWith("DELETE")) {
        m_changes = QByteArray(PQcmdTuples(result)).toLongLong();
        ++m_changeStamp;
    }
}

PGresult *PgConnection::exec(const QByteArray &sql, const QList<QByteArray> &texts)
{
    claim(nullptr);
    QList<const char *> values;
    for (const QByteArray &t : texts)
        values << t.constData();
    PGresult *r = texts.isEmpty() ? PQexec(m_conn, sql.constData())
                                  : PQexecParams(m_conn, sql.constData(), int(values.size()), nullptr,
                                                 values.constData(), nullptr, nullptr, 0);
    if (!r || failed(r)) {
        BackendFailure f = failureOfResult(r, m_conn);
        PQclear(r);
        throw f;
    }
    return r;
}

void PgConnection::run(const QByteArray &sql)
{
    PQclear(exec(sql, {}));
}

QVariant PgConnection::scalar(const QByteArray &sql, const QList<QByteArray> &texts)
{
    PGresult *r = exec(sql, texts);
    const QVariant v = PQntuples(r) > 0 && PQnfields(r) > 0 ? fieldValue(r, 0, 0, PQftype(r, 0)) : QVariant();
    PQclear(r);
    return v;
}

std::shared_ptr<PgPrepared> PgConnection::prepared(const QByteArray &sql, int parameters, bool keep)
{
    if (const auto it = m_prepared.constFind(sql); it != m_prepared.constEnd())
        return *it;
    claim(nullptr);
    auto p = std::make_shared<PgPrepared>();
    p->sql = sql;
    p->name = "velm_" + QByteArray::number(++m_nextName);
    p->keep = keep && m_prepared.size() < kKeptStatements;
    // A statement the server refuses must not end a running transaction.
    const bool savepoint = inTransaction();
    if (savepoint)
        run("SAVEPOINT velm_prepare");
    PGresult *r = PQprepare(m_conn, p->name.constData(), sql.constData(), 0, nullptr);
    if (!r || failed(r)) {
        BackendFailure f = failureOfResult(r, m_conn);
        PQclear(r);
        if (savepoint)
            PQclear(PQexec(m_conn, "ROLLBACK TO SAVEPOINT velm_prepare; RELEASE SAVEPOINT velm_prepare"));
        throw f;
    }
    PQclear(r);
    if (savepoint)
        run("RELEASE SAVEPOINT velm_prepare");
    PGresult *d = PQdescribePrepared(m_conn, p->name.constData());
    if (!d || failed(d)) {
        BackendFailure f = failureOfResult(d, m_conn);
        PQclear(d);
        throw f;
    }
    p->parameters = qMax(parameters, PQnparams(d));
    QList<QPair<Oid, int>> origins;
    for (int c = 0; c < PQnfields(d); ++c) {
        p->columns << QString::fromUtf8(PQfname(d, c));
        p->types << PQftype(d, c);
        origins << qMakePair(PQftable(d, c), PQftablecol(d, c));
    }
    PQclear(d);
    // A column read straight from a table keeps the program's spelling.
    for (int c = 0; c < origins.size(); ++c) {
        if (origins.at(c).first == InvalidOid || origins.at(c).second <= 0)
            continue;
        const QString declared = declaredNames(origins.at(c).first).value(origins.at(c).second);
        if (declared.compare(p->columns.at(c), Qt::CaseInsensitive) == 0)
            p->columns[c] = declared;
    }
    if (p->keep)
        m_prepared.insert(sql, p);
    return p;
}

const QHash<int, QString> &PgConnection::declaredNames(unsigned table)
{
    auto it = m_declared.find(table);
    if (it != m_declared.end())
        return *it;
    QHash<int, QString> names;
    PGresult *r = exec("SELECT attnum, col_description(attrelid, attnum) FROM pg_attribute "
                       "WHERE attrelid = $1::oid AND attnum > 0 AND NOT attisdropped",
                       {QByteArray::number(table)});
    for (int row = 0; row < PQntuples(r); ++row)
        if (!PQgetisnull(r, row, 1))
            names.insert(QByteArray(PQgetvalue(r, row, 0)).toInt(), QString::fromUtf8(PQgetvalue(r, row, 1)));
    PQclear(r);
    return *m_declared.insert(table, names);
}

std::unique_ptr<BackendStatement> PgConnection::prepare(const QByteArray &utf8, QByteArray *rest)
{
    // A report's order is the file's; the engine's own keeps the server's,
    // which its indexes give without sorting (its keys are never null).
    const PgSql sql = translateForPg(utf8, m_restricted);
    if (!sql.error.isEmpty())
        throw BackendFailure{Kind::Syntax, sql.error, QStringLiteral("syntax error")};
    if (rest)
        *rest = sql.rest;
    if (sql.sql.isEmpty())
        return nullptr;
    if (m_restricted)
        refuseOutsideQueries(sql);
    // Statements that read or write rows are kept for the next use; a
    // change of the schema is prepared for its one run.
    const QByteArray first = sql.sql.left(8).toUpper();
    const bool keep = first.startsWith("SELECT") || first.startsWith("INSERT") || first.startsWith("UPDATE")
                      || first.startsWith("DELETE") || first.startsWith("WITH") || first.startsWith("VALUES");
    if (!keep)
        forgetSchema(); // a table made, changed or dropped is read from the catalogue again
    return std::make_unique<PgStatement>(this, prepared(sql.sql, sql.parameters, keep), sql);
}

void PgConnection::prepareForUse(Journal)
{
    // The server keeps its own journal; nothing to set per connection.
}

void PgConnection::setQueryOnly(bool on)
{
    run(on ? "SET default_transaction_read_only = on" : "SET default_transaction_read_only = off");
}

// A restricted connection calls only the ordinary functions of SQL: the
// server's others read files, sleep, change the session's role or settings
// (set_config), or tell about other sessions.
void PgConnection::refuseOutsideQueries(const PgSql &sql) const
{
    static const QSet<QString> ordinary{
        // texts
        "substr", "substring", "length", "char_length", "character_length", "octet_length", "upper", "lower",
        "initcap", "replace", "translate", "trim", "ltrim", "rtrim", "btrim", "left", "right", "strpos",
        "position", "concat", "concat_ws", "lpad", "rpad", "reverse", "split_part", "starts_with", "format",
        "to_char", "to_number", "to_date", "to_timestamp", "overlay", "velm_fold", "velm_search", "velm_match",
        // values and numbers
        "coalesce", "nullif", "greatest", "least", "cast", "abs", "round", "trunc", "ceil", "ceiling", "floor",
        "sign", "mod", "div", "power", "sqrt", "cbrt", "exp", "ln", "log", "log10", "pi",
        "numeric", "decimal", "varchar", "char", "character", "int", "integer", "bigint", "timestamp",
        // dates and times
        "extract", "date_part", "date_trunc", "make_date", "age", "now",
        // aggregates
        "count", "sum", "avg", "min", "max", "string_agg", "array_agg", "bool_and", "bool_or", "every",
        "stddev", "variance",
        // SQLite's own, which the translation writes the server's way
        "group_concat", "ifnull", "instr", "typeof", "total", "date",
        // window functions
        "row_number", "rank", "dense_rank", "percent_rank", "cume_dist", "ntile", "lag", "lead", "first_value",
        "last_value", "nth_value",
        // arrays, rows and JSON
        "generate_series", "unnest", "array_to_string", "array_length", "json_build_object", "json_build_array",
        "json_agg", "json_object_agg", "jsonb_build_object", "jsonb_agg", "to_json", "json_array_length"};
    QString refused;
    if (!sql.readOnly)
        refused = QStringLiteral("only queries that read data");
    else if (sql.touchesUsers)
        refused = QStringLiteral("access to users or audit is prohibited");
    for (const QString &f : sql.functions)
        if (refused.isEmpty() && !ordinary.contains(f))
            refused = QStringLiteral("function %1 is not allowed here").arg(f);
    if (!refused.isEmpty())
        throw BackendFailure{Kind::NotAuthorized, refused, QStringLiteral("not authorized")};
}

void PgConnection::restrictToQueries()
{
    // The server itself refuses every write of the session and every read
    // of users and audit: the session takes the report role (the program's
    // role is a member) and only read-only transactions. The statement
    // timeout is the one the administrator gave the report role (for this
    // database, else for all), two minutes when none. The engine refuses
    // anything but a query before it reaches the server, and bounds it.
    QString timeout = QStringLiteral("120s");
    PGresult *r = exec("SELECT s FROM pg_db_role_setting d, unnest(d.setconfig) s "
                       "WHERE d.setrole = (SELECT oid FROM pg_roles WHERE rolname = $1) "
                       "AND d.setdatabase IN (0, (SELECT oid FROM pg_database WHERE datname = current_database())) "
                       "AND s LIKE 'statement\\_timeout=%' ORDER BY d.setdatabase DESC LIMIT 1",
                       {QByteArray(kReportRole)});
    if (PQntuples(r) == 1) {
        const QString given = QString::fromUtf8(PQgetvalue(r, 0, 0)).section(QLatin1Char('='), 1);
        if (given != QLatin1String("0"))
            timeout = given;
    }
    PQclear(r);
    run(QByteArray("SET ROLE ") + kReportRole);
    run("SET default_transaction_read_only = on");
    PQclear(exec("SELECT set_config('statement_timeout', $1, false)", {timeout.toUtf8()}));
    m_restricted = true;
}

void PgConnection::forgetSchema()
{
    m_rowIds.clear();
    m_declared.clear();
    m_tableNames.clear();
    m_columns.clear();
}

QString PgConnection::tableName(const QString &anyCase)
{
    const QString lower = anyCase.toLower();
    if (const auto it = m_tableNames.constFind(lower); it != m_tableNames.constEnd())
        return *it;
    // The program's own spelling is kept as the table's comment.
    const QString name = scalar("SELECT coalesce(obj_description(c.oid, 'pg_class'), c.relname) FROM pg_class c "
                  "WHERE c.relnamespace = current_schema()::regnamespace AND c.relkind IN ('r', 'p', 'v') "
                  "AND c.relname = lower($1)",
                  {anyCase.toUtf8()})
                             .toString();
    if (!name.isEmpty()) // a table made later is looked for again
        m_tableNames.insert(lower, name);
    return name;
}

bool PgConnection::holdsTables()
{
    return scalar("SELECT count(*) FROM pg_class WHERE relnamespace = current_schema()::regnamespace "
                  "AND relkind IN ('r', 'p')")
               .toLongLong()
           > 0;
}

QList<ColumnInfo> PgConnection::columns(const QString &table)
{
    const QString lower = table.toLower();
    if (const auto it = m_columns.constFind(lower); it != m_columns.constEnd())
        return *it;
    PGresult *r = exec("SELECT a.attname, coalesce(col_description(a.attrelid, a.attnum), a.attname), a.atttypid, "
                       "a.attidentity <> '', coalesce((SELECT i.indkey::text FROM pg_index i "
                       "WHERE i.indrelid = a.attrelid AND i.indisprimary), ''), a.attnum "
                       "FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid "
                       "WHERE c.relnamespace = current_schema()::regnamespace AND c.relname = lower($1) "
                       "AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum",
                       {table.toUtf8()});
    QList<ColumnInfo> result;
    const int rows = PQntuples(r);
    QStringList attnums;
    for (int row = 0; row < rows; ++row) {
        if (QByteArray(PQgetvalue(r, row, 0)) == kHiddenRowId)
            continue;
        ColumnInfo c;
        const QString stored = QString::fromUtf8(PQgetvalue(r, row, 0));
        const QString declared = QString::fromUtf8(PQgetvalue(r, row, 1));
        c.name = declared.compare(stored, Qt::CaseInsensitive) == 0 ? declared : stored;
        switch (QByteArray(PQgetvalue(r, row, 2)).toUInt()) {
        case kInt2:
        case kInt4:
        case kInt8:
            c.type = QStringLiteral("INTEGER");
            break;
        case kFloat4:
        case kFloat8:
        case kNumeric:
            c.type = QStringLiteral("REAL");
            break;
        case kBytea:
            c.type = QStringLiteral("BLOB");
            break;
        default:
            c.type = QStringLiteral("TEXT");
            break;
        }
        c.autoIncrement = PQgetvalue(r, row, 3)[0] == 't';
        const QStringList key = QString::fromUtf8(PQgetvalue(r, row, 4)).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString attnum = QString::fromUtf8(PQgetvalue(r, row, 5));
        c.pkPosition = int(key.indexOf(attnum)) + 1;
        c.primaryKey = c.pkPosition > 0;
        result << c;
    }
    PQclear(r);
    if (!result.isEmpty())
        m_columns.insert(lower, result);
    return result;
}

void PgConnection::begin()
{
    ++m_changeStamp;
    run("BEGIN");
}

void PgConnection::commit()
{
    ++m_changeStamp;
    run("COMMIT");
}

void PgConnection::rollback()
{
    // A list still running in the transaction is stopped: its rows go too.
    if (m_active) {
        interrupt();
        m_active->park();
    }
    if (PQtransactionStatus(m_conn) != PQTRANS_IDLE)
        PQclear(PQexec(m_conn, "ROLLBACK"));
    ++m_changeStamp;
}

bool PgConnection::inTransaction() const
{
    const PGTransactionStatusType s = PQtransactionStatus(m_conn);
    return s == PQTRANS_INTRANS || s == PQTRANS_INERROR || (s == PQTRANS_ACTIVE && m_activeInTransaction);
}

qint64 PgConnection::lastInsertRowId() const
{
    // The identity the last insert of this session drew (0 before any).
    auto *self = const_cast<PgConnection *>(this);
    try {
        const bool savepoint = inTransaction();
        if (savepoint)
            self->run("SAVEPOINT velm_lastval");
        qint64 id = 0;
        try {
            id = self->scalar("SELECT lastval()").toLongLong();
        } catch (const BackendFailure &) {
            if (!savepoint)
                return 0;
            self->run("ROLLBACK TO SAVEPOINT velm_lastval");
        }
        if (savepoint)
            self->run("RELEASE SAVEPOINT velm_lastval");
        return id;
    } catch (const BackendFailure &) {
        return 0;
    }
}

void PgConnection::interrupt()
{
    // Marked before it is sent: the statement's failure may come back
    // before PQcancel returns, and must read as stopped, not as a timeout.
    char why[256];
    if (!m_cancel)
        return;
    const bool before = m_cancelSent.exchange(true);
    if (!PQcancel(m_cancel, why, int(sizeof why)))
        m_cancelSent = before;
}

void PgConnection::setStopCheck(std::function<bool()> check, int interval)
{
    m_stopCheck = std::move(check);
    m_stopInterval = qMax(1, interval);
}

void PgConnection::copyTo(const QString &file, const std::function<bool(int)> &)
{
    throw EngineError(ErrEngine, QStringLiteral("A copy of %1 into '%2' is not made here: the server's data is copied "
                                                "table by table.")
                                     .arg(description(), file));
}

OpenSpec PgConnection::openSpec() const
{
    OpenSpec s;
    s.server = m_connectionString;
    return s;
}

BackendFailure PgConnection::failureOf(int) const
{
    return failureOfResult(nullptr, m_conn);
}

QString PgConnection::rowIdColumn(const QString &table)
{
    const QString lower = table.toLower();
    if (const auto it = m_rowIds.constFind(lower); it != m_rowIds.constEnd())
        return *it;
    const QString column = scalar("SELECT a.attname FROM pg_attribute a JOIN pg_class c ON c.oid = a.attrelid "
                                  "WHERE c.relnamespace = current_schema()::regnamespace AND c.relname = $1 "
                                  "AND a.attidentity <> '' AND NOT a.attisdropped ORDER BY a.attname = 'velm_rowid' "
                                  "LIMIT 1",
                                  {lower.toUtf8()})
                               .toString();
    const QString quoted = column.isEmpty() ? QString() : QString::fromUtf8(quotedName(column));
    m_rowIds.insert(lower, quoted);
    return quoted;
}

// The collation of texts and the LIKE of folded texts, made once per
// database by the connection that creates the first table.
void PgConnection::ensureTextRules()
{
    if (m_textRules)
        return;
    run("CREATE COLLATION IF NOT EXISTS velm_fold (provider = icu, locale = 'und-u-ks-level2', deterministic = false)");
    // lower() and then the letters where the file's simple case folding
    // differs from lowercase (micro sign, long s, final sigma, Greek symbol
    // forms, old Cyrillic forms), so LIKE matches what it matches there.
    run("CREATE OR REPLACE FUNCTION velm_fold(text) RETURNS text LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE "
        "AS 'SELECT translate(lower($1 COLLATE \"und-x-icu\"), "
        "''\u00b5\u017f\u0345\u03c2\u03d0\u03d1\u03d5\u03d6\u03f0\u03f1\u03f5\u1c80\u1c81\u1c82\u1c83\u1c84"
        "\u1c85\u1c86\u1c87\u1c88\u1e9b\u1fbe'', "
        "''\u03bcs\u03b9\u03c3\u03b2\u03b8\u03c6\u03c0\u03ba\u03c1\u03b5\u0432\u0434\u043e\u0441\u0442"
        "\u0442\u044a\u0463\ua64b\u1e61\u03b9'')'");
    run("CREATE OR REPLACE FUNCTION velm_like(text, text) RETURNS boolean LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE "
        "AS 'SELECT velm_fold($1) COLLATE \"C\" LIKE velm_fold($2) COLLATE \"C\"'");
    run("CREATE OR REPLACE FUNCTION velm_not_like(text, text) RETURNS boolean LANGUAGE sql IMMUTABLE STRICT "
        "PARALLEL SAFE AS 'SELECT velm_fold($1) COLLATE \"C\" NOT LIKE velm_fold($2) COLLATE \"C\"'");
    // LIKE on a number compares its text, as on the file.
    run("DO $$ DECLARE t text; BEGIN "
        "FOREACH t IN ARRAY ARRAY['text', 'smallint', 'integer', 'bigint', 'double precision', 'numeric'] LOOP "
        "IF NOT EXISTS (SELECT 1 FROM pg_operator WHERE oprname = '~~~' AND oprleft = t::regtype "
        "AND oprnamespace = current_schema()::regnamespace) THEN "
        "IF t <> 'text' THEN "
        "EXECUTE format('CREATE FUNCTION velm_like(%1$s, text) RETURNS boolean LANGUAGE sql IMMUTABLE STRICT "
        "PARALLEL SAFE AS ''SELECT velm_like($1::text, $2)''', t); "
        "EXECUTE format('CREATE FUNCTION velm_not_like(%1$s, text) RETURNS boolean LANGUAGE sql IMMUTABLE STRICT "
        "PARALLEL SAFE AS ''SELECT velm_not_like($1::text, $2)''', t); "
        "END IF; "
        "EXECUTE format('CREATE OPERATOR ~~~ (LEFTARG = %1$s, RIGHTARG = text, FUNCTION = velm_like)', t); "
        "EXECUTE format('CREATE OPERATOR !~~~ (LEFTARG = %1$s, RIGHTARG = text, FUNCTION = velm_not_like)', t); "
        "END IF; END LOOP; END $$");
    // The search rule (engine/TextRules.h): the letter case rule, then the
    // Arabic letters written several ways as one, diacritics and tatweel
    // left out, Arabic-Indic digits as 0-9. velm_match and
    // velm_match_folded are written so that the server puts them in place
    // of their calls, where a trigram index on the folded text answers them.
    QString from = QStringLiteral("\u0622\u0623\u0625\u0671\u0624\u0626\u0649\u0629");
    QString to = QStringLiteral("\u0627\u0627\u0627\u0627\u0648\u064a\u064a\u0647");
    for (int d = 0; d < 10; ++d) {
        from += QChar(0x0660 + d);
        from += QChar(0x06F0 + d);
        to += QString(2, QChar(u'0' + d));
    }
    from += QChar(0x0640);
    from += QChar(0x0670);
    for (char16_t c = 0x064B; c <= 0x065F; ++c)
        from += QChar(c); // no counterpart: left out
    run("CREATE OR REPLACE FUNCTION velm_search(text) RETURNS text LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE "
        "AS 'SELECT translate(velm_fold($1), ''" + from.toUtf8() + "'', ''" + to.toUtf8() + "'')'");
    run("CREATE OR REPLACE FUNCTION velm_match(text, text) RETURNS boolean LANGUAGE sql IMMUTABLE STRICT "
        "PARALLEL SAFE AS 'SELECT velm_search($1) COLLATE \"C\" LIKE velm_search($2) COLLATE \"C\"'");
    // The same for a text already folded (the search table's, PgSearch.cpp).
    run("CREATE OR REPLACE FUNCTION velm_match_folded(text, text) RETURNS boolean LANGUAGE sql IMMUTABLE STRICT "
        "PARALLEL SAFE AS 'SELECT $1 COLLATE \"C\" LIKE velm_search($2) COLLATE \"C\"'");
    m_textRules = true;
    m_searchFunctions = true;
}

void PgConnection::createTable(const TableDef &table)
{
    using Type = FieldDef::Type;
    ensureTextRules();
    QList<QByteArray> parts;
    bool hasAuto = false;
    for (const FieldDef &f : table.fields) {
        const QByteArray q = quotedName(f.name);
        const bool inKey = table.key.contains(f.name);
        QByteArray def = q;
        switch (f.type) {
        case Type::Text:
        case Type::Memo:
            def += " text COLLATE velm_fold";
            if (inKey)
                def += " NOT NULL";
            if (f.type == Type::Text && f.maxLength > 0)
                def += " CHECK (char_length(" + q + ") <= " + QByteArray::number(f.maxLength) + ")";
            break;
        case Type::Integer:
            def += inKey ? " bigint NOT NULL" : " bigint";
            break;
        case Type::Flag:
            def += " bigint DEFAULT 0";
            break;
        case Type::AutoNumber:
            // Numbers are never given twice, also after a delete, as on the file.
            def += " bigint GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY";
            hasAuto = true;
            break;
        case Type::Real:
            def += " double precision";
            break;
        case Type::Blob:
            def += " bytea";
            break;
        }
        parts << def;
    }
    if (!hasAuto)
        parts << QByteArray(kHiddenRowId) + " bigint GENERATED ALWAYS AS IDENTITY UNIQUE";
    if (!table.key.isEmpty() && !hasAuto) {
        QList<QByteArray> keys;
        for (const QString &k : table.key)
            keys << quotedName(k);
        parts << "PRIMARY KEY (" + keys.join(", ") + ")";
    }
    const QByteArray name = quotedName(table.name);
    run("CREATE TABLE " + name + " (" + parts.join(", ") + ")");
    // The program's spelling of its names, for the field lists.
    run("COMMENT ON TABLE " + name + " IS " + literal(table.name));
    for (const FieldDef &f : table.fields)
        run("COMMENT ON COLUMN " + name + "." + quotedName(f.name) + " IS " + literal(f.name));
    forgetSchema();
    // The password hashes and the record of who did what are nobody
    // else's business (the report role reads every other table).
    if (table.name.compare(QLatin1String("users"), Qt::CaseInsensitive) == 0
        || table.name.compare(QLatin1String("audit"), Qt::CaseInsensitive) == 0)
        hideFromOthers(name);
    addChangeNotice(name);
    if (table.appendOnly) {
        run("CREATE OR REPLACE FUNCTION velm_refuse_change() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
            "RAISE EXCEPTION 'rows of % are never changed or deleted', TG_TABLE_NAME; END $$");
        run("CREATE TRIGGER " + quotedName(table.name + QLatin1String("_no_change")) + " BEFORE UPDATE OR DELETE ON " + name
            + " FOR EACH ROW EXECUTE FUNCTION velm_refuse_change()");
    }
}

void PgConnection::addChangeNotice(const QByteArray &quotedTable)
{
    // One notice per statement (and the server sends one per transaction):
    // it only says that something changed.
    run("CREATE OR REPLACE FUNCTION velm_tell_change() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
        "PERFORM pg_notify('velm_changes', ''); RETURN NULL; END $$");
    run("CREATE OR REPLACE TRIGGER velm_changes AFTER INSERT OR UPDATE OR DELETE OR TRUNCATE ON " + quotedTable
        + " FOR EACH STATEMENT EXECUTE FUNCTION velm_tell_change()");
}

bool PgConnection::hearsChangesOf(const QString &table)
{
    const QString lower = table.toLower();
    if (const auto it = m_heard.constFind(lower); it != m_heard.constEnd())
        return *it;
    if (m_restricted || inTransaction())
        return false; // asked again later
    bool heard = false;
    try {
        const QByteArray name = quotedName(tableName(table));
        heard = scalar("SELECT EXISTS (SELECT 1 FROM pg_trigger WHERE tgrelid = $1::regclass AND tgname = 'velm_changes')",
                       {name})
                    .toBool();
        if (!heard) {
            // A database made before the notice: given it now, unless a
            // colleague's long write holds the table or the role may not.
            run("BEGIN");
            try {
                run("SET LOCAL lock_timeout = '500ms'");
                addChangeNotice(name);
                run("COMMIT");
                heard = true;
            } catch (const BackendFailure &) {
                PQclear(PQexec(m_conn, "ROLLBACK"));
                throw;
            }
        }
        if (!m_listening) {
            run("LISTEN velm_changes");
            m_listening = true;
        }
    } catch (const BackendFailure &) {
        heard = false;
    }
    m_heard.insert(lower, heard);
    return heard;
}

int PgConnection::readAheadRows(const QString &table)
{
    // One round trip to the server costs several moves on a file.
    return hearsChangesOf(table) ? kReadAheadRows : 1;
}

quint64 PgConnection::changeStamp()
{
    // Others' changes are heard only between this connection's transactions.
    if (!m_listening || inTransaction())
        return ++m_changeStamp;
    PQconsumeInput(m_conn);
    while (PGnotify *n = PQnotifies(m_conn)) {
        ++m_changeStamp;
        PQfreemem(n);
    }
    return m_changeStamp;
}

// The users' password hashes are for the program's role alone: whatever
// the database's default privileges granted (the report role reads every
// other table) is taken back.
void PgConnection::hideFromOthers(const QByteArray &table)
{
    run("DO $$ DECLARE grantee_name text; BEGIN "
        "FOR grantee_name IN SELECT DISTINCT quote_ident(r.rolname) FROM pg_class c, aclexplode(c.relacl) a "
        "JOIN pg_roles r ON r.oid = a.grantee WHERE c.oid = '" + table + "'::regclass AND a.grantee <> c.relowner "
        "LOOP EXECUTE 'REVOKE ALL ON " + table + " FROM ' || grantee_name; END LOOP; "
        "REVOKE ALL ON " + table + " FROM PUBLIC; END $$");
}

// COPY's text format: a tab between fields, \N for a null, backslashes
// before the characters the format gives a meaning to.
namespace {

void appendCopyText(QByteArray &out, QByteArrayView utf8)
{
    for (const char c : utf8) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
}

void appendCopyValue(QByteArray &out, const QVariant &value)
{
    if (value.isNull()) {
        out += "\\N";
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        out += QByteArray::number(value.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        // 17 digits read back as the same double.
        out += QByteArray::number(value.toDouble(), 'g', 17);
        break;
    case QMetaType::QByteArray:
        out += "\\\\x" + value.toByteArray().toHex();
        break;
    default:
        appendCopyText(out, value.toString().toUtf8());
    }
}

} // namespace

// A whole batch in one COPY: no statement (and no savepoint) per row.
bool PgConnection::bulkInsert(const QString &table, const QStringList &columns, const QList<QVariantList> &rows)
{
    QList<QByteArray> names;
    for (const QString &c : columns)
        names << quotedName(c);
    const QByteArray name = quotedName(table);
    QByteArray data;
    data.reserve(rows.size() * 64);
    for (const QVariantList &row : rows) {
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (i > 0)
                data += '\t';
            appendCopyValue(data, row.at(i));
        }
        data += '\n';
    }
    // A refused batch undoes only itself, as any statement in a transaction.
    const bool savepoint = inTransaction();
    if (savepoint)
        run("SAVEPOINT velm_bulk");
    try {
        copyRows("COPY " + name + " (" + names.join(", ") + ") FROM STDIN", data);
        advanceIdentities(name, columns);
    } catch (...) {
        if (savepoint)
            PQclear(PQexec(m_conn, "ROLLBACK TO SAVEPOINT velm_bulk; RELEASE SAVEPOINT velm_bulk"));
        throw;
    }
    if (savepoint)
        run("RELEASE SAVEPOINT velm_bulk");
    m_changes = rows.size();
    return true;
}

void PgConnection::copyRows(const QByteArray &copy, const QByteArray &data)
{
    claim(nullptr);
    PGresult *r = PQexec(m_conn, copy.constData());
    if (!r || PQresultStatus(r) != PGRES_COPY_IN) {
        BackendFailure f = failureOfResult(r, m_conn);
        PQclear(r);
        throw f;
    }
    PQclear(r);
    constexpr qsizetype kChunk = 1 << 20;
    bool sent = true;
    for (qsizetype at = 0; sent && at < data.size(); at += kChunk)
        sent = PQputCopyData(m_conn, data.constData() + at, int(qMin(kChunk, data.size() - at))) == 1;
    PQputCopyEnd(m_conn, sent ? nullptr : "the rows could not be sent");
    std::optional<BackendFailure> failure;
    while (PGresult *end = PQgetResult(m_conn)) {
        if (!failure && PQresultStatus(end) != PGRES_COMMAND_OK)
            failure = failureOfResult(end, m_conn);
        PQclear(end);
    }
    if (failure)
        throw *failure;
}

// Given numbers are kept; the table's next number must follow the highest.
void PgConnection::advanceIdentities(const QByteArray &table, const QStringList &columns)
{
    PGresult *r = exec("SELECT a.attname FROM pg_attribute a WHERE a.attrelid = $1::regclass "
                       "AND a.attidentity = 'd' AND NOT a.attisdropped", {table});
    QList<QByteArray> identities;
    for (int i = 0; i < PQntuples(r); ++i)
        identities << QByteArray(PQgetvalue(r, i, 0));
    PQclear(r);
    for (const QByteArray &column : identities) {
        if (!columns.contains(QString::fromUtf8(column), Qt::CaseInsensitive))
            continue;
        const QByteArray q = quotedName(QString::fromUtf8(column));
        PQclear(exec("SELECT setval(s, m) FROM (SELECT pg_get_serial_sequence($1, $2)::regclass AS s, "
                     "(SELECT max(" + q + ") FROM " + table + ") AS m) x "
                     "WHERE m > coalesce(pg_sequence_last_value(s), 0)",
                     {table, column}));
    }
}

} // namespace engine
