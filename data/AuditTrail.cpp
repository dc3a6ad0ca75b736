#include "data/AuditTrail.h"

#include "data/Schema.h"
#include "engine/Database.h"
#include "engine/QueryCursor.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

namespace core {

namespace {

const QString kViewerColumns = QStringLiteral(
    "SELECT audit_id, changed_at, user_id, workstation, table_name, record_key, action FROM audit");

bool isPassword(const QString &table, const QString &field)
{
    return table.compare(QLatin1String("users"), Qt::CaseInsensitive) == 0
        && field.compare(QLatin1String("PASSWORD"), Qt::CaseInsensitive) == 0;
}

// An empty text and no value look the same on every screen: a save that
// turns one into the other changed nothing the user could see.
bool blank(const QVariant &v)
{
    return v.isNull() || (v.typeId() == QMetaType::QString && v.toString().isEmpty());
}

bool sameValue(const QVariant &a, const QVariant &b)
{
    if (blank(a) || blank(b))
        return blank(a) && blank(b);
    return a.typeId() == b.typeId() && a == b;
}

QJsonValue jsonValue(const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return QJsonValue::Null;
    switch (v.typeId()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        return QJsonValue(v.toLongLong());
    case QMetaType::Double:
        return QJsonValue(v.toDouble());
    case QMetaType::QByteArray:
        return QStringLiteral("<%1 bytes>").arg(v.toByteArray().size());
    default:
        return v.toString();
    }
}

QJsonObject change(const QString &field)
{
    return QJsonObject{{QStringLiteral("field"), field}};
}

QJsonArray changeList(const engine::WriteEvent &e)
{
    QJsonArray list;
    for (int i = 0; i < e.fieldNames.size(); ++i) {
        const QString &field = e.fieldNames.at(i);
        const QVariant before = e.oldRecord.value(i);
        const QVariant after = e.newRecord.value(i);
        const bool password = isPassword(e.table, field);
        QJsonObject c = change(field);
        switch (e.action) {
        case engine::WriteAction::Add:
            if (blank(after))
                continue;
            c.insert(password ? QStringLiteral("changed") : QStringLiteral("new"),
                     password ? QJsonValue(true) : jsonValue(after));
            break;
        case engine::WriteAction::Update:
            if (sameValue(before, after))
                continue;
            if (password) {
                c.insert(QStringLiteral("changed"), true);
            } else {
                c.insert(QStringLiteral("old"), jsonValue(before));
                c.insert(QStringLiteral("new"), jsonValue(after));
            }
            break;
        case engine::WriteAction::Delete:
            if (password)
                continue;
            c.insert(QStringLiteral("old"), jsonValue(before));
            break;
        }
        list.append(c);
    }
    return list;
}

QString actionName(engine::WriteAction action)
{
    switch (action) {
    case engine::WriteAction::Add:
        return QStringLiteral("add");
    case engine::WriteAction::Update:
        return QStringLiteral("update");
    case engine::WriteAction::Delete:
        return QStringLiteral("delete");
    }
    return {};
}

// The start of a day the user chose, on this machine's clock, as the
// trail's UTC text.
QString dayStartUtc(const QDate &day)
{
    return QDateTime(day, QTime(0, 0), Qt::LocalTime).toUTC().toString(Qt::ISODateWithMs);
}

// A record and the records below it ("5" and "5/2"): each condition names
// its table so that the record index answers it.
QString recordCondition(const AuditFilter &filter, QVariantList &values)
{
    QStringList tables{filter.table};
    if (filter.table.isEmpty()) {
        tables.clear();
        for (const schema::Table &t : schema::tables())
            tables << t.name;
    }
    QStringList marks;
    for (int i = 0; i < tables.size(); ++i)
        marks << QStringLiteral("?");
    const QString in = QStringLiteral("table_name IN (%1)").arg(marks.join(QStringLiteral(", ")));
    for (const QString &t : tables)
        values << t;
    values << filter.recordKey;
    for (const QString &t : tables)
        values << t;
    // '0' is the character after '/': the range holds every "<key>/..." text.
    values << filter.recordKey + QLatin1Char('/') << filter.recordKey + QLatin1Char('0');
    return QStringLiteral("((%1 AND record_key = ?) OR (%1 AND record_key >= ? AND record_key < ?))").arg(in);
}

} // namespace

void AuditTrail::setActor(const QString &userId, const QString &workstation)
{
    m_userId = userId;
    m_workstation = workstation.isEmpty() ? QSysInfo::machineHostName() : workstation;
}

QString AuditTrail::recordKey(const engine::WriteEvent &event)
{
    const QVariantList &record = event.action == engine::WriteAction::Delete ? event.oldRecord : event.newRecord;
    QStringList parts;
    for (const QString &k : event.keyFieldNames)
        parts << record.value(int(event.fieldNames.indexOf(k))).toString();
    return parts.join(QLatin1Char('/'));
}

QString AuditTrail::changes(const engine::WriteEvent &event)
{
    return QString::fromUtf8(QJsonDocument(changeList(event)).toJson(QJsonDocument::Compact));
}

void AuditTrail::record(engine::Database &db, const engine::WriteEvent &event) const
{
    if (!active())
        return;
    const QJsonArray list = changeList(event);
    if (event.action == engine::WriteAction::Update && list.isEmpty())
        return;
    db.execute(QStringLiteral("INSERT INTO audit (changed_at, user_id, workstation, table_name, record_key, "
                              "action, changes) VALUES (?, ?, ?, ?, ?, ?, ?)"),
               {QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs), m_userId, m_workstation, event.table,
                recordKey(event), actionName(event.action),
                QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact))});
}

engine::WriteObserver AuditTrail::observer(engine::Database &db) const
{
    if (!active())
        return {};
    return [this, &db](const engine::WriteEvent &event) { record(db, event); };
}

BoundQuery AuditTrail::viewerQuery(const AuditFilter &typed)
{
    // Blanks typed around a key or a name are no part of it.
    AuditFilter filter = typed;
    filter.table = filter.table.trimmed();
    filter.recordKey = filter.recordKey.trimmed();
    filter.userId = filter.userId.trimmed();
    // On millions of rows the first ones show at once only when an index
    // hands them out newest first: a filter that keeps many rows must never
    // make the database gather them all and sort them. The narrowest filter
    // given picks the index (a record; a user; a table; a span of days) and
    // the others are only checked on the rows it reads. COALESCE, which
    // changes nothing on these NOT NULL columns, keeps a checked-only
    // condition from drawing the planner to its own index.
    const bool byRecord = !filter.recordKey.isEmpty();
    const bool byUser = !byRecord && !filter.userId.isEmpty();
    const bool byTable = !byRecord && !byUser && !filter.table.isEmpty();
    const bool byTime = !byRecord && !byUser && !byTable && (filter.from.isValid() || filter.to.isValid());
    const auto checked = [](bool indexed, const QString &column) {
        return indexed ? column : QStringLiteral("COALESCE(%1, '')").arg(column);
    };
    BoundQuery q;
    QStringList where;
    if (byRecord) {
        where << recordCondition(filter, q.values);
    } else if (!filter.table.isEmpty()) {
        where << checked(byTable, QStringLiteral("table_name")) + QStringLiteral(" = ?");
        q.values << filter.table;
    }
    if (!filter.userId.isEmpty()) {
        // The column folds letter case as user identifiers do; COALESCE
        // would lose that folding, so the user is always compared plainly.
        where << QStringLiteral("user_id = ?");
        q.values << filter.userId;
    }
    if (filter.from.isValid()) {
        where << checked(byTime, QStringLiteral("changed_at")) + QStringLiteral(" >= ?");
        q.values << dayStartUtc(filter.from);
    }
    if (filter.to.isValid()) {
        where << checked(byTime, QStringLiteral("changed_at")) + QStringLiteral(" < ?");
        q.values << dayStartUtc(filter.to.addDays(1));
    }
    q.sql = kViewerColumns;
    if (!where.isEmpty())
        q.sql += QStringLiteral(" WHERE ") + where.join(QStringLiteral(" AND "));
    // Within a span of days the rows come in the order they were made as
    // the time index keeps them (the same as by number while the
    // workstations' clocks agree).
    q.sql += byTime ? QStringLiteral(" ORDER BY changed_at DESC, audit_id DESC") : QStringLiteral(" ORDER BY audit_id DESC");
    return q;
}

QString AuditTrail::changesOf(engine::Database &db, qint64 auditId)
{
    return db.scalar(QStringLiteral("SELECT changes FROM audit WHERE audit_id = ?"), {auditId}).toString();
}

LastChange AuditTrail::lastChange(engine::Database &db, const QString &table, const QString &recordKey)
{
    engine::QueryCursor last(db,
                             QStringLiteral("SELECT user_id, changed_at FROM audit WHERE table_name = ? AND "
                                            "record_key = ? ORDER BY audit_id DESC LIMIT 1"),
                             {table, recordKey});
    if (!last.next())
        return {};
    QDateTime at = QDateTime::fromString(last.value(1).toString(), Qt::ISODateWithMs);
    at.setTimeSpec(Qt::UTC);
    return {last.value(0).toString(), at};
}

} // namespace core
