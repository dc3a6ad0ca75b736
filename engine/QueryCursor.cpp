#include "engine/QueryCursor.h"

#include <sqlite3.h>

#include <QRegularExpression>

namespace engine {

void bindValue(sqlite3_stmt *stmt, int position, const QVariant &value)
{
    if (value.isNull() || !value.isValid()) {
        sqlite3_bind_null(stmt, position);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        sqlite3_bind_int(stmt, position, value.toBool() ? 1 : 0);
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        sqlite3_bind_int64(stmt, position, value.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        sqlite3_bind_double(stmt, position, value.toDouble());
        break;
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        sqlite3_bind_blob(stmt, position, bytes.constData(), bytes.size(), SQLITE_TRANSIENT);
        break;
    }
    default: {
        const QByteArray text = value.toString().toUtf8();
        sqlite3_bind_text(stmt, position, text.constData(), text.size(), SQLITE_TRANSIENT);
        break;
    }
    }
}

QVariant columnValue(sqlite3_stmt *stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, column));
    case SQLITE_BLOB: {
        const void *data = sqlite3_column_blob(stmt, column);
        const int size = sqlite3_column_bytes(stmt, column);
        return QVariant(QByteArray(static_cast<const char *>(data), size));
    }
    default: {
        const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
        const int size = sqlite3_column_bytes(stmt, column);
        return QVariant(QString::fromUtf8(data, size));
    }
    }
}

QueryCursor::QueryCursor(Database &db, const QString &sql, const QVariantList &values)
    : m_db(db), m_sql(sql), m_values(values)
{
    m_stmt = prepareStatement(db, sql);
    try {
        refuseNul(values);
        requireValueCount(m_stmt, values.size());
    } catch (const EngineError &) {
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw;
    }
    for (int i = 0; i < values.size(); ++i)
        bindValue(m_stmt, i + 1, values.at(i));
    m_columns = engine::columnNames(m_stmt);
    const int n = int(m_columns.size());
    // Read the first row now so that the count of an opened result is known
    // (0 when empty, at least 1 otherwise).
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        m_hasFirst = true;
        for (int i = 0; i < n; ++i)
            m_row.append(columnValue(m_stmt, i));
    } else if (rc == SQLITE_DONE) {
        m_atEnd = true;
    } else {
        const int ext = sqlite3_extended_errcode(db.handle());
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        db.raise(ext);
    }
}

QueryCursor::~QueryCursor()
{
    sqlite3_finalize(m_stmt);
}

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
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW) {
        const int n = m_columns.size();
        for (int i = 0; i < n; ++i)
            m_row[i] = columnValue(m_stmt, i);
        ++m_rowsRead;
        return true;
    }
    m_atEnd = true;
    m_row.clear();
    if (rc != SQLITE_DONE) {
        const int ext = sqlite3_extended_errcode(sqlite3_db_handle(m_stmt));
        sqlite3_finalize(m_stmt);
        m_stmt = nullptr;
        throw EngineError((ext & 0xff) == SQLITE_BUSY ? ErrFileLocked
                          : (ext & 0xff) == SQLITE_INTERRUPT ? ErrOperationCanceled
                                                              : ErrEngine,
                          QStringLiteral("Reading the query failed (%1).").arg(QString::fromUtf8(sqlite3_errstr(ext))));
    }
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
    const QString sql = QStringLiteral("SELECT * FROM (%1) ORDER BY \"%2\"%3")
                            .arg(inner, quotedField, descending ? QStringLiteral(" DESC") : QString());
    return std::make_unique<QueryCursor>(m_db, sql, m_values);
}

} // namespace engine
