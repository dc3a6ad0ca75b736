#include "engine/QueryCursor.h"

#include <QRegularExpression>

namespace engine {

QueryCursor::QueryCursor(Database &db, const QString &sql, const QVariantList &values)
    : m_db(db), m_sql(sql), m_values(values)
{
    m_stmt = prepareStatement(db, sql);
    refuseNul(values);
    requireValueCount(m_stmt.get(), values.size());
    for (int i = 0; i < values.size(); ++i)
        bindValue(*m_stmt, i + 1, values.at(i));
    m_columns = engine::columnNames(m_stmt.get());
    const int n = int(m_columns.size());
    // Read the first row now so that the count of an opened result is known
    // (0 when empty, at least 1 otherwise).
    try {
        if (m_stmt->step()) {
            m_hasFirst = true;
            for (int i = 0; i < n; ++i)
                m_row.append(m_stmt->value(i));
        } else {
            m_atEnd = true;
        }
    } catch (const BackendFailure &failure) {
        m_stmt.reset();
        raiseFailure(failure);
    }
}

QueryCursor::~QueryCursor() = default;

qint64 QueryCursor::recordCount() const
{
    if (m_rowsRead > 0)
        return m_rowsRead;
    return m_hasFirst ? 1 : 0;
}

bool QueryCursor::next()
{
    if (m_atEnd || !m_stmt)
        return false;
    if (m_rowsRead == 0 && m_hasFirst) {
        m_rowsRead = 1; // the row read when the cursor opened
        return true;
    }
    bool onRow = false;
    try {
        onRow = m_stmt->step();
    } catch (const BackendFailure &failure) {
        m_atEnd = true;
        m_row.clear();
        m_stmt.reset();
        using Kind = BackendFailure::Kind;
        throw EngineError(failure.kind == Kind::Busy          ? ErrFileLocked
                          : failure.kind == Kind::Interrupted ? ErrOperationCanceled
                                                              : ErrEngine,
                          QStringLiteral("Reading the query failed (%1).").arg(failure.summary));
    }
    if (onRow) {
        const int n = m_columns.size();
        for (int i = 0; i < n; ++i)
            m_row[i] = m_stmt->value(i);
        ++m_rowsRead;
        return true;
    }
    m_atEnd = true;
    m_row.clear();
    return false;
}

QVariant QueryCursor::value(int column) const
{
    if (m_rowsRead == 0 || m_atEnd)
        throw EngineError(ErrNoCurrentRecord, QStringLiteral("No current record."));
    if (column < 0 || column >= m_row.size())
        throw EngineError(ErrItemNotFound, QStringLiteral("Item not found in this collection."));
    return m_row.at(column);
}

QVariant QueryCursor::value(const QString &column) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).compare(column, Qt::CaseInsensitive) == 0)
            return value(i);
    throw EngineError(ErrItemNotFound, QStringLiteral("Item '%1' not found in this collection.").arg(column));
}

std::unique_ptr<QueryCursor> QueryCursor::sorted(const QString &sortText) const
{
    static const QRegularExpression form(QStringLiteral("^\\s*\\[([^\\]]+)\\]\\s*(desc|asc)?\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(sortText);
    if (!m.hasMatch())
        throw EngineError(ErrQuerySyntax, QStringLiteral("Invalid sort order '%1'.").arg(sortText));
    const QString wanted = m.captured(1);
    QString field;
    for (const QString &c : m_columns)
        if (c.compare(wanted, Qt::CaseInsensitive) == 0)
            field = c;
    if (field.isEmpty())
        throw EngineError(ErrItemNotFound, QStringLiteral("Item '%1' not found in this collection.").arg(wanted));
    const bool descending = m.captured(2).compare(QLatin1String("desc"), Qt::CaseInsensitive) == 0;
    QString inner = m_sql.trimmed();
    while (inner.endsWith(QLatin1Char(';')))
        inner.chop(1);
    QString quotedField = field;
    quotedField.replace(QLatin1Char('"'), QLatin1String("\"\""));
    const QString sql = QStringLiteral("SELECT * FROM (%1) AS velm_sorted ORDER BY \"%2\"%3")
                            .arg(inner, quotedField, descending ? QStringLiteral(" DESC") : QString());
    return std::make_unique<QueryCursor>(m_db, sql, m_values);
}

} // namespace engine
