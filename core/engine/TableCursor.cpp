#include "TableCursor.h"

#include "QueryCursor.h"

#include <sqlite3.h>

#include <algorithm>

namespace engine {

namespace {

QString quoted(const QString &identifier)
{
    QString s = identifier;
    s.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

struct Statement {
    sqlite3_stmt *stmt = nullptr;
    ~Statement() { sqlite3_finalize(stmt); }
};

// "Comes after (or before) the given key" in key order, written so that the
// engine searches the key index from the first column instead of scanning:
// k1 >= ?1 AND (k1 > ?1 OR (k1 = ?1 AND (k2 > ?2 ...))). op is one of < <= > >=.
QString compare(const QStringList &columns, const QString &op)
{
    const QString strict = op.left(1);
    const bool inclusive = op.size() == 2;
    auto name = [](const QString &c) { return c == QLatin1String("rowid") ? c : quoted(c); };
    const int last = columns.size() - 1;
    QString tail = QStringLiteral("%1 %2 ?%3").arg(name(columns.at(last)), inclusive ? op : strict).arg(last + 1);
    for (int i = last - 1; i >= 0; --i) {
        tail = QStringLiteral("(%1 %2 ?%3 OR (%1 = ?%3 AND %4))").arg(name(columns.at(i)), strict).arg(i + 1).arg(tail);
    }
    if (columns.size() == 1)
        return tail;
    return QStringLiteral("%1 %2= ?1 AND %3").arg(name(columns.first()), strict, tail);
}

} // namespace

TableCursor::TableCursor(Database &db, const QString &table) : m_db(db)
{
    m_table = db.tableName(table);
    const QList<ColumnInfo> cols = db.columns(m_table);
    QList<QPair<int, QString>> pk;
    for (int i = 0; i < cols.size(); ++i) {
        const ColumnInfo &c = cols.at(i);
        m_fieldNames << c.name;
        m_integer << (c.type == QLatin1String("INTEGER"));
        m_fieldByLower.insert(c.name.toLower(), i);
        if (c.primaryKey)
            pk.append({c.pkPosition, c.name});
        if (c.autoIncrement)
            m_autoColumn = i;
    }
    std::sort(pk.begin(), pk.end());
    for (const auto &p : pk)
        m_pkColumns << p.second;
    QStringList select;
    for (const QString &f : m_fieldNames)
        select << quoted(f);
    m_selectSql = QStringLiteral("SELECT rowid, %1 FROM %2").arg(select.join(QStringLiteral(", ")), quoted(m_table));
    // A table-type cursor opens on its first record in stored order.
    if (!fetchOne(QString(), {}, false))
        m_state = State::Empty;
}

void TableCursor::setIndex(const QString &name)
{
    if (name.isEmpty()) {
        m_index.clear();
        return;
    }
    if (name.compare(QLatin1String("PRIMARYKEY"), Qt::CaseInsensitive) != 0 || m_pkColumns.isEmpty())
        throw EngineError(ErrNotAnIndex, QStringLiteral("'%1' isn't an index in this table.").arg(name));
    m_index = QStringLiteral("PRIMARYKEY");
}

QStringList TableCursor::orderColumns() const
{
    return m_index.isEmpty() ? QStringList{QStringLiteral("rowid")} : m_pkColumns;
}

QString TableCursor::orderBy(bool descending) const
{
    QStringList parts;
    for (const QString &c : orderColumns())
        parts << (c == QLatin1String("rowid") ? c : quoted(c)) + (descending ? QStringLiteral(" DESC") : QString());
    return QStringLiteral(" ORDER BY ") + parts.join(QStringLiteral(", "));
}

bool TableCursor::fetchOne(const QString &whereSql, const QVariantList &binds, bool descending)
{
    Statement s;
    QString sql = m_selectSql;
    if (!whereSql.isEmpty())
        sql += QStringLiteral(" WHERE ") + whereSql;
    sql += orderBy(descending) + QStringLiteral(" LIMIT 1");
    const QByteArray text = sql.toUtf8();
    int rc = sqlite3_prepare_v2(m_db.handle(), text.constData(), text.size(), &s.stmt, nullptr);
    if (rc != SQLITE_OK)
        m_db.raise(rc);
    for (int i = 0; i < binds.size(); ++i)
        bindValue(s.stmt, i + 1, binds.at(i));
    rc = sqlite3_step(s.stmt);
    if (rc == SQLITE_ROW) {
        loadRow(s.stmt);
        m_state = State::OnRecord;
        return true;
    }
    if (rc != SQLITE_DONE)
        m_db.raise(sqlite3_extended_errcode(m_db.handle()));
    return false;
}

void TableCursor::loadRow(void *stmt)
{
    auto *st = static_cast<sqlite3_stmt *>(stmt);
    m_rowId = sqlite3_column_int64(st, 0);
    m_row.clear();
    for (int i = 0; i < m_fieldNames.size(); ++i)
        m_row.append(columnValue(st, i + 1));
}

QVariantList TableCursor::currentOrderKey() const
{
    if (m_index.isEmpty())
        return {m_rowId};
    QVariantList key;
    for (const QString &c : m_pkColumns)
        key << m_row.at(fieldIndex(c));
    return key;
}

void TableCursor::seek(const QString &comparison, const QVariantList &keyValues)
{
    if (m_index.isEmpty())
        throw EngineError(ErrNoCurrentIndex, QStringLiteral("Operation invalid without a current index."));
    if (keyValues.isEmpty() || keyValues.size() > 5 || keyValues.size() > m_pkColumns.size())
        throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid argument: %1 key values for a key of %2 fields.")
                                                  .arg(keyValues.size())
                                                  .arg(m_pkColumns.size()));
    m_edit = EditMode::None;
    const QStringList cols = m_pkColumns.mid(0, keyValues.size());
    const QString op = comparison.trimmed();
    QString where;
    bool descending = false;
    if (op == QLatin1String("=")) {
        QStringList parts;
        for (const QString &c : cols)
            parts << quoted(c) + QStringLiteral(" = ?");
        where = parts.join(QStringLiteral(" AND "));
    } else if (op == QLatin1String(">=") || op == QLatin1String(">")) {
        where = compare(cols, op);
    } else if (op == QLatin1String("<=") || op == QLatin1String("<")) {
        where = compare(cols, op);
        descending = true;
    } else {
        throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid seek comparison '%1'.").arg(comparison));
    }
    m_noMatch = !fetchOne(where, keyValues, descending);
    if (m_noMatch)
        m_state = State::BeforeFirst; // no current record after a failed seek
}

void TableCursor::moveFirst()
{
    m_edit = EditMode::None;
    if (!fetchOne(QString(), {}, false)) {
        m_state = State::Empty;
        throw EngineError(ErrNoCurrentRecord, QStringLiteral("No current record."));
    }
}

void TableCursor::moveLast()
{
    m_edit = EditMode::None;
    if (!fetchOne(QString(), {}, true)) {
        m_state = State::Empty;
        throw EngineError(ErrNoCurrentRecord, QStringLiteral("No current record."));
    }
}

void TableCursor::moveNext()
{
    m_edit = EditMode::None;
    switch (m_state) {
    case State::Empty:
    case State::AfterLast:
        throw EngineError(ErrNoCurrentRecord, QStringLiteral("No current record."));
    case State::BeforeFirst:
        if (!fetchOne(QString(), {}, false))
            m_state = State::Empty;
        return;
    case State::OnRecord:
    case State::Deleted: {
        // From the key of the current (or just deleted) record: one indexed step.
        if (!fetchOne(compare(orderColumns(), QStringLiteral(">")), currentOrderKey(), false))
            m_state = State::AfterLast;
        return;
    }
    }
}

void TableCursor::movePrevious()
{
    m_edit = EditMode::None;
    switch (m_state) {
    case State::Empty:
    case State::BeforeFirst:
        throw EngineError(ErrNoCurrentRecord, QStringLiteral("No current record."));
    case State::AfterLast:
        if (!fetchOne(QString(), {}, true))
            m_state = State::Empty;
        return;
    case State::OnRecord:
    case State::Deleted:
        if (!fetchOne(compare(orderColumns(), QStringLiteral("<")), currentOrderKey(), true))
            m_state = State::BeforeFirst;
        return;
    }
}

qint64 TableCursor::recordCount()
{
    return m_db.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(quoted(m_table))).toLongLong();
}

int TableCursor::fieldIndex(const QString &field) const
{
    const auto it = m_fieldByLower.constFind(field.toLower());
    if (it == m_fieldByLower.constEnd())
        throw EngineError(ErrItemNotFound, QStringLiteral("Item '%1' not found in this collection.").arg(field));
    return it.value();
}

void TableCursor::requireCurrent() const
{
    if (m_state == State::Deleted)
        throw EngineError(ErrRecordDeleted, QStringLiteral("Record is deleted."));
    if (m_state != State::OnRecord)
        throw EngineError(ErrNoCurrentRecord, QStringLiteral("No current record."));
}

QVariant TableCursor::value(const QString &field) const
{
    return value(fieldIndex(field));
}

QVariant TableCursor::value(int index) const
{
    if (index < 0 || index >= m_fieldNames.size())
        throw EngineError(ErrItemNotFound, QStringLiteral("Item not found in this collection."));
    if (m_edit != EditMode::None)
        return m_buffer.at(index);
    requireCurrent();
    return m_row.at(index);
}

void TableCursor::setValue(const QString &field, const QVariant &value)
{
    setValue(fieldIndex(field), value);
}

void TableCursor::setValue(int index, const QVariant &value)
{
    if (index < 0 || index >= m_fieldNames.size())
        throw EngineError(ErrItemNotFound, QStringLiteral("Item not found in this collection."));
    if (m_edit == EditMode::None)
        throw EngineError(ErrUpdateWithoutEdit, QStringLiteral("Update or CancelUpdate without AddNew or Edit."));
    QVariant v = value;
    if (m_integer.at(index) && !v.isNull() && v.isValid()) {
        // Number fields take whole numbers; a blank text is no value, any
        // other text that is not a whole number is refused.
        if (v.typeId() == QMetaType::Bool) {
            v = QVariant(qlonglong(v.toBool() ? 1 : 0));
        } else if (v.typeId() == QMetaType::QString) {
            const QString t = v.toString().trimmed();
            bool ok = false;
            const qlonglong n = t.toLongLong(&ok);
            if (t.isEmpty())
                v = QVariant();
            else if (ok)
                v = QVariant(n);
            else
                throw EngineError(ErrDataTypeConversion,
                                  QStringLiteral("Data type conversion error: '%1' for field %2.")
                                      .arg(t.left(40), m_fieldNames.at(index)));
        }
    }
    m_buffer[index] = v;
    m_dirty[index] = true;
}

void TableCursor::addNew()
{
    m_buffer = QVariantList();
    for (int i = 0; i < m_fieldNames.size(); ++i)
        m_buffer.append(QVariant());
    m_dirty = QList<bool>(m_fieldNames.size(), false);
    m_edit = EditMode::Adding;
}

void TableCursor::edit()
{
    requireCurrent();
    m_buffer = m_row;
    m_dirty = QList<bool>(m_fieldNames.size(), false);
    m_edit = EditMode::Editing;
}

void TableCursor::cancelUpdate()
{
    m_edit = EditMode::None;
    m_buffer.clear();
    m_dirty.clear();
}

void TableCursor::update()
{
    if (m_edit == EditMode::None)
        throw EngineError(ErrUpdateWithoutEdit, QStringLiteral("Update or CancelUpdate without AddNew or Edit."));
    QStringList columns;
    QVariantList values;
    for (int i = 0; i < m_fieldNames.size(); ++i) {
        if (m_dirty.at(i)) {
            columns << quoted(m_fieldNames.at(i));
            values << m_buffer.at(i);
        }
    }
    Transaction tx(m_db);
    if (m_edit == EditMode::Adding) {
        QString sql;
        if (columns.isEmpty()) {
            sql = QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoted(m_table));
        } else {
            QStringList marks;
            for (int i = 0; i < columns.size(); ++i)
                marks << QStringLiteral("?");
            sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(quoted(m_table), columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
        }
        m_db.execute(sql, values);
        const qint64 newRowId = m_db.lastInsertRowId();
        tx.commit();
        m_lastAuto = m_autoColumn >= 0 ? newRowId : 0;
    } else {
        if (!columns.isEmpty()) {
            QStringList sets;
            for (const QString &c : columns)
                sets << c + QStringLiteral(" = ?");
            values << m_rowId;
            m_db.execute(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?").arg(quoted(m_table), sets.join(QStringLiteral(", "))),
                         values);
            if (sqlite3_changes(m_db.handle()) == 0)
                throw EngineError(ErrRecordChanged,
                                  QStringLiteral("The record was deleted by another user; the changes were not saved."));
        }
        tx.commit();
        // Show the record as written (its key may have changed).
        if (!fetchOne(QStringLiteral("rowid = ?"), {m_rowId}, false))
            m_state = State::Deleted;
    }
    m_edit = EditMode::None;
    m_buffer.clear();
    m_dirty.clear();
}

void TableCursor::deleteRecord()
{
    m_edit = EditMode::None;
    requireCurrent();
    Transaction tx(m_db);
    m_db.execute(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(quoted(m_table)), {m_rowId});
    tx.commit();
    m_state = State::Deleted;
}

} // namespace engine
