#include "engine/ReadOnlyQuery.h"

#include "engine/QueryCursor.h"

namespace engine {

namespace {

// Text after the first statement would be silently ignored: anything but
// semicolons, blanks and comments is refused.
void refuseSecondStatement(QByteArray rest)
{
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
            throw EngineError(ErrQuerySyntax, QStringLiteral("Only one statement is allowed: '%1'.")
                                                  .arg(QString::fromUtf8(rest.left(40))));
        }
    }
}

} // namespace

void restrictToQueries(Database &db)
{
    if (!db.isOpen())
        throw EngineError(ErrInvalidArgument, QStringLiteral("The database is not open."));
    try {
        db.backend()->restrictToQueries();
    } catch (const BackendFailure &failure) {
        raiseFailure(failure);
    }
}

void interrupt(Database &db)
{
    db.interrupt();
}

ReadOnlyQuery::ReadOnlyQuery(Database &db, const QString &sql)
{
    if (!db.isOpen())
        throw EngineError(ErrInvalidArgument, QStringLiteral("The database is not open."));
    QByteArray rest;
    try {
        m_stmt = db.backend()->prepare(sql.toUtf8(), &rest);
    } catch (const BackendFailure &failure) {
        if (failure.kind == BackendFailure::Kind::NotAuthorized)
            throw EngineError(ErrNotAQuery,
                              QStringLiteral("Only a query that reads data may run here (%1).").arg(failure.message));
        raiseFailure(failure);
    }
    if (!m_stmt)
        throw EngineError(ErrQuerySyntax, QStringLiteral("Empty query."));
    refuseSecondStatement(rest);
    // The engine's own verdict, from the compiled statement rather than
    // from its text; a statement without result columns is no query either.
    if (!m_stmt->isReadOnly() || m_stmt->columnCount() == 0)
        throw EngineError(ErrNotAQuery, QStringLiteral("Only a query that reads data may run here."));
    const int count = m_stmt->parameterCount();
    for (int i = 1; i <= count; ++i) {
        const QString name = m_stmt->parameterName(i);
        const QString n = name.isEmpty() ? QStringLiteral("?") : name;
        if (!m_parameters.contains(n))
            m_parameters << n;
    }
    m_columns = engine::columnNames(m_stmt.get());
}

ReadOnlyQuery::~ReadOnlyQuery() = default;

void ReadOnlyQuery::bind(const QString &name, const QVariant &value)
{
    bool found = false;
    const int count = m_stmt->parameterCount();
    for (int i = 1; i <= count; ++i) {
        const QString n = m_stmt->parameterName(i);
        if (!n.isEmpty() && n == name) {
            bindValue(*m_stmt, i, value);
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
    try {
        if (m_stmt->step())
            return true;
    } catch (const BackendFailure &failure) {
        m_done = true;
        if (failure.kind == BackendFailure::Kind::Interrupted)
            throw EngineError(ErrInterrupted, QStringLiteral("The query was stopped."));
        raiseFailure(failure);
    }
    m_done = true;
    return false;
}

QVariant ReadOnlyQuery::value(int column) const
{
    return m_stmt->value(column);
}

} // namespace engine
