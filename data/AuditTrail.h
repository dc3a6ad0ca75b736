#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVariantList>

namespace engine {
class Database;
}

namespace core {

// What the audit viewer asks for; an empty text or an invalid date is no
// condition. Dates are days of the computer's own calendar and clock.
struct AuditFilter {
    QString table, recordKey, userId;
    QDate from, to;
};

// A select with the values bound to its places.
struct BoundQuery {
    QString sql;
    QVariantList values;
};

// The last change of one record: who and when (UTC); a null time when the
// record has none.
struct LastChange {
    QString userId;
    QDateTime changedAt;
};

// The reading side of the audit trail (table `audit`).
class AuditTrail {
public:
    // audit_id, changed_at, user_id, workstation, table_name, record_key,
    // action of the rows the filter keeps, newest first. A record key finds
    // itself and the rows below it (5 finds 5 and 5/2); the user is
    // compared with letter case ignored.
    static BoundQuery viewerQuery(const AuditFilter &filter);
    // The JSON array of changes of one audit row; empty when there is none.
    static QString changesOf(engine::Database &db, qint64 auditId);
    // Who last changed the record, and when.
    static LastChange lastChange(engine::Database &db, const QString &table, const QString &recordKey);
};

} // namespace core
