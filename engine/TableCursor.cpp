#include "engine/TableCursor.h"

#include "engine/QueryCursor.h"

#include <algorithm>

namespace engine {

namespace {

QString quoted(const QString &identifier)
{
    QString s = identifier;
    s.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

// "Comes after (or before) the given key" in key order, written so that the
// engine searches the key index from the first column instead of scanning:
// k1 >= ?1 AND (k1 > ?1 OR (k1 = ?1 AND (k2 > ?2 ...))). op is one of < <= > >=.
QString compare(const QStringList &columns, const QString &op, const QString &rowId)
{
    const QString strict = op.left(1);
    const bool inclusive = op.size() == 2;
    auto name = [&rowId](const QString &c) { return c == rowId ? c : quoted(c); };
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
    // The row identity and null-safe comparison are the backend's.
    m_rowIdName = db.backend()->rowIdColumn(m_table);
    if (m_rowIdName.isEmpty())
        throw EngineError(ErrObjectNotFound, QStringLiteral("The table '%1' has no row identity.").arg(m_table));
    m_sameValue = QLatin1Char(' ') + db.backend()->nullSafeEqual() + QStringLiteral(" ?");
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
    m_selectSql = QStringLiteral("SELECT %1, %2 FROM %3").arg(m_rowIdName, select.join(QStringLiteral(", ")), quoted(m_table));
    m_readAhead = qMax(1, db.backend()->readAheadRows(m_table));
    // A table-type cursor opens on its first record in stored order.
    if (!fetchOne(Query::First, {}))
        m_state = State::Empty;
}

TableCursor::~TableCursor()
{
    qDeleteAll(m_selects);
    qDeleteAll(m_writes);
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
    return m_index.isEmpty() ? QStringList{m_rowIdName} : m_pkColumns;
}

QString TableCursor::orderBy(bool descending) const
{
    QStringList parts;
    for (const QString &c : orderColumns())
        parts << (c == m_rowIdName ? c : quoted(c)) + (descending ? QStringLiteral(" DESC") : QString());
    return QStringLiteral(" ORDER BY ") + parts.join(QStringLiteral(", "));
}

QString TableCursor::selectSql(Query query, int keyParts, int limit) const
{
    QString where;
    bool descending = false;
    const QStringList keyColumns = m_pkColumns.mid(0, keyParts);
    switch (query) {
    case Query::First:
        break;
    case Query::Last:
        descending = true;
        break;
    case Query::Next:
        where = compare(orderColumns(), QStringLiteral(">"), m_rowIdName);
        break;
    case Query::Previous:
        where = compare(orderColumns(), QStringLiteral("<"), m_rowIdName);
        descending = true;
        break;
    case Query::SeekEqual: {
        QStringList parts;
        for (const QString &c : keyColumns)
            parts << quoted(c) + QStringLiteral(" = ?");
        where = parts.join(QStringLiteral(" AND "));
        break;
    }
    case Query::SeekFrom:
        where = compare(keyColumns, QStringLiteral(">="), m_rowIdName);
        break;
    case Query::SeekAfter:
        where = compare(keyColumns, QStringLiteral(">"), m_rowIdName);
        break;
    case Query::SeekUpTo:
        where = compare(keyColumns, QStringLiteral("<="), m_rowIdName);
        descending = true;
        break;
    case Query::SeekBefore:
        where = compare(keyColumns, QStringLiteral("<"), m_rowIdName);
        descending = true;
        break;
    case Query::ByRowId:
        return m_selectSql + QStringLiteral(" WHERE %1 = ?").arg(m_rowIdName);
    }
    QString sql = m_selectSql;
    if (!where.isEmpty())
        sql += QStringLiteral(" WHERE ") + where;
    return sql + orderBy(descending) + QStringLiteral(" LIMIT %1").arg(limit);
}

Statement &TableCursor::selectStatement(Query query, int keyParts, int limit)
{
    // The order depends on the index too: keep its statements apart.
    const int id = (int(query) * 16 + keyParts * 2 + (m_index.isEmpty() ? 0 : 1)) * 2 + (limit > 1 ? 1 : 0);
    Statement *&s = m_selects[id];
    if (!s)
        s = new Statement(m_db, selectSql(query, keyParts, limit));
    return *s;
}

Statement &TableCursor::writeStatement(const QString &sql)
{
    Statement *&s = m_writes[sql];
    if (!s)
        s = new Statement(m_db, sql);
    return *s;
}

bool TableCursor::fetchOne(Query query, const QVariantList &binds, int keyParts)
{
    m_ahead.reset();
    Statement &s = selectStatement(query, keyParts);
    s.bind(binds);
    if (!s.step())
        return false;
    loadRow(s);
    s.reset(); // holds no snapshot between moves
    m_state = State::OnRecord;
    return true;
}

bool TableCursor::step(Query direction)
{
    if (takeReadAhead(direction))
        return m_state == State::OnRecord;
    if (m_readAhead <= 1)
        return fetchOne(direction, currentOrderKey());
    const QVariantList key = currentOrderKey();
    // The stamp is taken before the read: a change heard of from now on may
    // be one the read did not see. (Closed meanwhile: the read tells why.)
    ReadAhead ahead{direction, m_index, m_db.backend() ? m_db.backend()->changeStamp() : 0, {}, false};
    Statement &s = selectStatement(direction, 0, m_readAhead);
    s.bind(key);
    if (!s.step())
        return false;
    loadRow(s);
    int read = 1;
    while (s.step()) {
        ahead.rows.append({s.integer(0), fieldsOf(s)});
        ++read;
    }
    s.reset();
    ahead.reachedEnd = read < m_readAhead;
    m_ahead = std::move(ahead);
    m_state = State::OnRecord;
    return true;
}

bool TableCursor::takeReadAhead(Query direction)
{
    const bool holds = m_ahead && m_db.backend() && m_ahead->direction == direction && m_ahead->index == m_index
                       && m_state == State::OnRecord && m_db.backend()->changeStamp() == m_ahead->stamp
                       && (!m_ahead->rows.isEmpty() || m_ahead->reachedEnd);
    if (!holds) {
        m_ahead.reset();
        return false;
    }
    if (m_ahead->rows.isEmpty()) {
        m_state = direction == Query::Next ? State::AfterLast : State::BeforeFirst;
        m_ahead.reset();
        return true;
    }
    auto [rowId, row] = m_ahead->rows.takeFirst();
    m_rowId = rowId;
    m_row = std::move(row);
    return true;
}

QVariantList TableCursor::fieldsOf(const Statement &statement) const
{
    QVariantList row;
    row.reserve(m_fieldNames.size());
    for (int i = 0; i < m_fieldNames.size(); ++i)
        row << statement.value(i + 1);
    return row;
}

void TableCursor::loadRow(const Statement &statement)
{
    m_rowId = statement.integer(0);
    const int n = int(m_fieldNames.size());
    if (m_row.size() != n)
        m_row = QVariantList(n);
    for (int i = 0; i < n; ++i)
        m_row[i] = statement.value(i + 1);
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
    const QString op = comparison.trimmed();
    Query query;
    if (op == QLatin1String("="))
        query = Query::SeekEqual;
    else if (op == QLatin1String(">="))
        query = Query::SeekFrom;
    else if (op == QLatin1String(">"))
        query = Query::SeekAfter;
    else if (op == QLatin1String("<="))
        query = Query::SeekUpTo;
    else if (op == QLatin1String("<"))
        query = Query::SeekBefore;
    else
        throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid seek comparison '%1'.").arg(comparison));
    m_noMatch = !fetchOne(query, keyValues, int(keyValues.size()));
    if (m_noMatch)
        m_state = State::BeforeFirst; // no current record after a failed seek
}

void TableCursor::moveFirst()
{
    m_edit = EditMode::None;
    if (!fetchOne(Query::First, {})) {
        m_state = State::Empty;
        throw EngineError(ErrNoCurrentRecord, QStringLiteral("No current record."));
    }
}

void TableCursor::moveLast()
{
    m_edit = EditMode::None;
    if (!fetchOne(Query::Last, {})) {
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
        if (!fetchOne(Query::First, {}))
            m_state = State::Empty;
        return;
    case State::OnRecord:
    case State::Deleted: {
        // From the key of the current (or just deleted) record: one indexed step.
        if (!step(Query::Next))
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
        if (!fetchOne(Query::Last, {}))
            m_state = State::Empty;
        return;
    case State::OnRecord:
    case State::Deleted:
        if (!step(Query::Previous))
            m_state = State::BeforeFirst;
        return;
    }
}

qint64 TableCursor::recordCount()
{
    Statement &s = writeStatement(QStringLiteral("SELECT count(*) FROM %1").arg(quoted(m_table)));
    s.bind(QVariantList());
    const qint64 n = s.step() ? s.integer(0) : 0;
    s.reset();
    return n;
}

QString TableCursor::sameRecordCondition(QVariantList &values) const
{
    QString where = m_rowIdName + QStringLiteral(" = ?");
    values << m_rowId;
    for (const QString &c : m_pkColumns) {
        where += QStringLiteral(" AND ") + quoted(c) + QStringLiteral(" = ?");
        values << m_row.at(fieldIndex(c));
    }
    return where;
}

QString TableCursor::unchangedRecordCondition(QVariantList &values) const
{
    QString where = m_rowIdName + QStringLiteral(" = ?");
    values << m_rowId;
    for (int i = 0; i < m_fieldNames.size(); ++i) {
        where += QStringLiteral(" AND ") + quoted(m_fieldNames.at(i)) + m_sameValue;
        values << m_row.at(i);
    }
    return where;
}

QVariantList TableCursor::storedRow(qint64 rowId)
{
    Statement &s = selectStatement(Query::ByRowId, 0);
    s.bind({rowId});
    const QVariantList row = s.step() ? fieldsOf(s) : QVariantList();
    s.reset();
    return row;
}

void TableCursor::tellObserver(WriteAction action, QVariantList oldRecord, QVariantList newRecord) const
{
    m_observer(WriteEvent{m_table, action, m_fieldNames, m_pkColumns, std::move(oldRecord), std::move(newRecord)});
}

QVariantList TableCursor::record() const
{
    requireCurrent();
    return m_row;
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
    refuseNul(value);
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
        Statement &insert = writeStatement(sql);
        insert.bind(values);
        insert.step();
        const qint64 newRowId = m_db.lastInsertRowId();
        if (m_observer)
            tellObserver(WriteAction::Add, {}, storedRow(newRowId));
        tx.commit();
        m_lastAuto = m_autoColumn >= 0 ? newRowId : 0;
    } else {
        if (!columns.isEmpty()) {
            QStringList sets;
            for (const QString &c : columns)
                sets << c + QStringLiteral(" = ?");
            // The row number alone could meanwhile name another person's
            // record (deleted and added again by another workstation), and
            // a colleague's save since the read must not be written over.
            const QString where = unchangedRecordCondition(values);
            Statement &rewrite = writeStatement(
                QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(quoted(m_table), sets.join(QStringLiteral(", ")), where));
            rewrite.bind(values);
            rewrite.step();
            if (m_db.changes() == 0)
                throw EngineError(ErrRecordChanged,
                                  QStringLiteral("The record was deleted or changed by another user; the changes were not saved."));
            // The row held m_row until this write (the condition above).
            if (m_observer)
                tellObserver(WriteAction::Update, m_row, storedRow(m_rowId));
        }
        tx.commit();
        // Show the record as written (its key may have changed).
        if (!fetchOne(Query::ByRowId, {m_rowId}))
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
    QVariantList values;
    const QString where = sameRecordCondition(values);
    Transaction tx(m_db);
    // Another user may have rewritten the record since it was read: the
    // observer is told what the delete removed.
    const QVariantList removed = m_observer ? storedRow(m_rowId) : QVariantList();
    Statement &remove = writeStatement(QStringLiteral("DELETE FROM %1 WHERE %2").arg(quoted(m_table), where));
    remove.bind(values);
    remove.step();
    if (m_observer && m_db.changes() > 0)
        tellObserver(WriteAction::Delete, removed, {});
    tx.commit();
    m_state = State::Deleted;
}

} // namespace engine
