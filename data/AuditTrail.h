#pragma once

#include "engine/TableCursor.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariantList>

namespace engine {
class Database;
}

namespace core {

// What the audit viewer asks for; empty or null parts do not filter.
struct AuditFilter {
    QString table, recordKey, userId;
    QDate from, to;
};

// A select with `?` marks and the values bound to them, in order.
struct BoundQuery {
    QString sql;
    QVariantList values;
};

// Who changed a record last and when (UTC); null when nobody did.
struct LastChange {
    QString userId;
    QDateTime changedAt;
    bool isNull() const { return changedAt.isNull(); }
};

// The audit trail: one row per add, update and delete made through a
// screen, written in the write's own transaction. Who writes (the user who
// logged on, the workstation) is set once at logon; until then nothing is
// recorded. A password never enters the trail: only that it changed.
class AuditTrail {
public:
    // The workstation defaults to the machine's host name.
    void setActor(const QString &userId, const QString &workstation = {});
    void clearActor() { m_userId.clear(); }
    bool active() const { return !m_userId.isEmpty(); }
    const QString &userId() const { return m_userId; }
    const QString &workstation() const { return m_workstation; }

    // Writes the audit row of one write on db (inside the caller's
    // transaction); nothing for an update that changed no value, or before
    // an actor is set. Throws EngineError.
    void record(engine::Database &db, const engine::WriteEvent &event) const;
    // A cursor observer writing through this trail on db; empty while no
    // actor is set.
    engine::WriteObserver observer(engine::Database &db) const;

    // The record key as stored: key values in key order, as text, joined by "/".
    static QString recordKey(const engine::WriteEvent &event);
    // The JSON array of the changes of one write ("[]" when none).
    static QString changes(const engine::WriteEvent &event);

    // The viewer's select: audit_id, changed_at, user_id, workstation,
    // table_name, record_key, action, newest first.
    static BoundQuery viewerQuery(const AuditFilter &filter);
    // The changes (JSON) of one audit row; empty when there is no such row.
    static QString changesOf(engine::Database &db, qint64 auditId);
    // The last change of one record (record key exactly as stored).
    static LastChange lastChange(engine::Database &db, const QString &table, const QString &recordKey);

private:
    QString m_userId;
    QString m_workstation;
};

} // namespace core
