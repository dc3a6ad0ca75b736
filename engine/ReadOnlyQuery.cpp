#include "engine/ReadOnlyQuery.h"

#include "engine/QueryCursor.h"

#include <sqlite3.h>

namespace engine {

namespace {

// Only reading is authorised on a restricted connection.
int authorizeReadOnly(void *, int action, const char *, const char *, const char *, const char *)
{
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    default:
        return SQLITE_DENY;
    }
}

} // namespace

void restrictToQueries(Database &db)
{
    if (!db.isOpen())
        throw EngineError(ErrInvalidArgument, QStringLiteral("The database is not open."));
    db.execute(QStringLiteral("PRAGMA query_only = 1"));
    sqlite3_set_authorizer(db.handle(), authorizeReadOnly, nullptr);
}

void interrupt(Database &db)
{
    if (db.handle())
        sqlite3_interrupt(db.handle());
}

ReadOnlyQuery::ReadOnlyQuery(Database &db, const QString &sql) : m_db(db)
{
    if (!db.isOpen())
        throw EngineError(ErrInvalidArgument, QStringLiteral("The database is not open."));
    const QByteArray text = sql.toUtf8();
    const char *tail = nullptr;
    const int rc = sqlite3_prepare_v2(db.handle(), text.constData(), int(text.size()), &m_stmt, &tail);
    if (rc == SQLITE_AUTH) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw EngineError(ErrNotAQuery, QStringLiteral("Only a query that reads data may run here (%1).")
                                            .arg(QString::fromUtf8(sqlite3_errmsg(db.handle()))));
    }
    if (rc != SQLITE_OK) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        db.raise(rc);
    }
    if (!m_stmt)
        throw EngineError(ErrQuerySyntax, QStringLiteral("Empty query."));
    // Text after the first statement would be silently ignored: refuse it.
    QByteArray rest(tail ? tail : "");
    while (!rest.isEmpty()) {
        rest = rest.trimmed();
        if (rest.startsWith(';')) {
            rest.remove(0, 1);
        } else if (rest.startsWith("--")) {
            const qsizetype end = rest.indexOf('\n');
            rest = end < 0 ? QByteArray() : rest.mid(end + 1);
        } else if (rest.startsWith("/*")) {
            const qsizetype end = rest.indexOf("*/");
            rest = end < 0 ? QByteArray() : rest.mid(end + 2);
        } else {
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
            throw EngineError(ErrQuerySyntax, QStringLiteral("Only one statement is allowed: '%1'.")
                                                  .arg(QString::fromUtf8(rest.left(40))));
        }
    }
    // The engine's own verdict, from the compiled statement rather than
    // from its text; a statement without result columns is no query either.
    if (!sqlite3_stmt_readonly(m_stmt) || sqlite3_column_count(m_stmt) == 0) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw EngineError(ErrNotAQuery, QStringLiteral("Only a query that reads data may run here."));
    }
    const int count = sqlite3_bind_parameter_count(m_stmt);
    for (int i = 1; i <= count; ++i) {
        const char *name = sqlite3_bind_parameter_name(m_stmt, i);
        const QString n = name ? QString::fromUtf8(name + 1) : QStringLiteral("?");
        if (!m_parameters.contains(n))
            m_parameters << n;
    }
    m_columns = engine::columnNames(m_stmt);
}

ReadOnlyQuery::~ReadOnlyQuery()
{
    sqlite3_finalize(m_stmt);
}

void ReadOnlyQuery::bind(const QString &name, const QVariant &value)
{
    bool found = false;
    const int count = sqlite3_bind_parameter_count(m_stmt);
    for (int i = 1; i <= count; ++i) {
        const char *n = sqlite3_bind_parameter_name(m_stmt, i);
        if (n && QString::fromUtf8(n + 1) == name) {
            bindValue(m_stmt, i, value);
            found = true;
        }
    }
    if (!found)
        throw EngineError(ErrItemNotFound, QStringLiteral("The query has no parameter '%1'.").arg(name));
}

bool ReadOnlyQuery::next()
{
    if (m_done)
        return false;
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    m_done = true;
    if (rc == SQLITE_DONE)
        return false;
    const int ext = sqlite3_extended_errcode(m_db.handle());
    if ((ext & 0xff) == SQLITE_INTERRUPT)
        throw EngineError(ErrInterrupted, QStringLiteral("The query was stopped."));
    m_db.raise(ext);
}

QVariant ReadOnlyQuery::value(int column) const
{
    return columnValue(m_stmt, column);
}

} // namespace engine
