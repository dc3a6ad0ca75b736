#pragma once

#include "engine/Database.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <memory>

namespace engine {

// A read-only cursor over a select with bound values. Rows are read one by
// one as the caller moves on; nothing is loaded ahead. Queries may use
// [bracketed] names, which the engine accepts as quoted identifiers.
class QueryCursor {
public:
    QueryCursor(Database &db, const QString &sql, const QVariantList &values = {});
    ~QueryCursor();
    QueryCursor(const QueryCursor &) = delete;
    QueryCursor &operator=(const QueryCursor &) = delete;

    const QString &sql() const { return m_sql; }
    const QVariantList &boundValues() const { return m_values; }
    QStringList columnNames() const { return m_columns; }
    int columnCount() const { return m_columns.size(); }

    // Row count in the manner of a freshly opened recordset: 0 when the
    // result is empty, otherwise at least 1 (the rows read so far).
    qint64 recordCount() const;

    // Moves to the next row; false at the end. The cursor starts before the
    // first row.
    bool next();
    bool atEnd() const { return m_atEnd; }
    // Number of rows read so far.
    qint64 rowsRead() const { return m_rowsRead; }

    QVariant value(int column) const;
    QVariant value(const QString &column) const; // throws 3265 when unknown
    QVariantList row() const { return m_row; }

    // A new cursor with the same rows ordered by "[field]" or "[field] desc".
    // Throws 3265 for a field that is not a column of this result.
    std::unique_ptr<QueryCursor> sorted(const QString &sortText) const;

private:
    Database &m_db;
    QString m_sql;
    QVariantList m_values;
    std::unique_ptr<BackendStatement> m_stmt;
    QStringList m_columns;
    QVariantList m_row;
    bool m_atEnd = false;
    bool m_hasFirst = false;
    qint64 m_rowsRead = 0;
};

} // namespace engine
