#include "data/AuditTrail.h"

#include "engine/Database.h"

namespace core {

namespace {

// changed_at as stored: "2026-12-08T20:15:03.123Z"; such texts sort as
// their moments do.
QString timeText(const QDateTime &when)
{
    return when.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + QLatin1Char('Z');
}

QDateTime timeFromText(const QString &text)
{
    const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    return t.isValid() ? t.toUTC() : QDateTime();
}

// The first moment of a day of the computer's calendar.
QString startOfDay(const QDate &day)
{
    return timeText(day.startOfDay());
}

// The values are bound; only these fixed conditions enter the text.
void addCondition(BoundQuery &q, const QString &condition, const QVariantList &values)
{
    q.sql += QStringLiteral(" AND ") + condition;
    q.values += values;
}

} // namespace

BoundQuery AuditTrail::viewerQuery(const AuditFilter &f)
{
    BoundQuery q{QStringLiteral("SELECT audit_id, changed_at, user_id, workstation, table_name, record_key, action "
                                "FROM audit WHERE (1=1)"),
                 {}};
    // A table, a span of days or a user keeps many rows: they are read
    // newest first straight from the table, so the first ones show at once,
    // never gathered through an index and sorted first. COALESCE (a no-op
    // on these columns) keeps the engine from taking that index. A record
    // keeps few rows: they are found through the index on table and record.
    const QString key = f.recordKey.trimmed();
    if (!f.table.trimmed().isEmpty())
        addCondition(q, key.isEmpty() ? QStringLiteral("COALESCE(table_name, '') = ?") : QStringLiteral("table_name = ?"),
                     {f.table.trimmed()});
    if (!key.isEmpty()) {
        // The key itself, or a key below it: "5/" <= key < "50" ('0' follows '/').
        addCondition(q, QStringLiteral("(record_key = ? OR (record_key >= ? AND record_key < ?))"),
                     {key, key + QLatin1Char('/'), key + QLatin1Char('0')});
    }
    // The engine's LIKE ignores letter case, as identifiers do; the
    // pattern holds no wildcard.
    if (const QString user = f.userId.trimmed(); !user.isEmpty())
        addCondition(q, QStringLiteral("user_id LIKE ? ESCAPE '\\'"), {engine::escapeLike(user)});
    if (f.from.isValid())
        addCondition(q, QStringLiteral("COALESCE(changed_at, '') >= ?"), {startOfDay(f.from)});
    if (f.to.isValid())
        addCondition(q, QStringLiteral("COALESCE(changed_at, '') < ?"), {startOfDay(f.to.addDays(1))});
    q.sql += QStringLiteral(" ORDER BY audit_id DESC");
    return q;
}

QString AuditTrail::changesOf(engine::Database &db, qint64 auditId)
{
    return db.scalar(QStringLiteral("SELECT changes FROM audit WHERE audit_id = ?"), {auditId}).toString();
}

LastChange AuditTrail::lastChange(engine::Database &db, const QString &table, const QString &recordKey)
{
    // One step down the index on (table_name, record_key, audit_id).
    engine::Statement st(db, QStringLiteral("SELECT user_id, changed_at FROM audit "
                                            "WHERE table_name = ? AND record_key = ? "
                                            "ORDER BY audit_id DESC LIMIT 1"));
    st.bind({table, recordKey});
    if (!st.step())
        return {};
    LastChange last{st.value(0).toString(), timeFromText(st.value(1).toString())};
    st.reset();
    return last;
}

} // namespace core
