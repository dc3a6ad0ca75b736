#pragma once

#include "data/AuditTrail.h"
#include "data/Connections.h"
#include "engine/TableCursor.h"

#include <QString>

#include <map>
#include <memory>

namespace core {

// One cursor slot per table: opened at the start of an operation, closed at
// its end. The slot survives; the cursor does not.
class CursorSlot {
public:
    CursorSlot(DataConnections &connections, const AuditTrail &audit, QString table)
        : m_connections(connections), m_audit(audit), m_table(std::move(table))
    {
    }
    // Opens (or re-opens) the cursor on the main connection, writing
    // through the audit trail once a user has logged on; throws
    // EngineError (3011 and others).
    engine::TableCursor &open();
    void close() { m_cursor.reset(); }
    bool isOpen() const { return m_cursor != nullptr; }
    // The open cursor; throws EngineError (3001) when not open.
    engine::TableCursor &cursor();
    const QString &table() const { return m_table; }

private:
    DataConnections &m_connections;
    const AuditTrail &m_audit;
    QString m_table;
    std::unique_ptr<engine::TableCursor> m_cursor;
};

// The cursor slots of the tables, one per table name in any case; a slot's
// address stays valid as long as the set lives.
class CursorSlots {
public:
    CursorSlots(DataConnections &connections, const AuditTrail &audit)
        : m_connections(connections), m_audit(audit)
    {
    }
    CursorSlots(const CursorSlots &) = delete;
    CursorSlots &operator=(const CursorSlots &) = delete;

    // The slot of a table, created on first use.
    CursorSlot &slot(const QString &table);
    // Closes every open cursor; the slots stay.
    void closeAll();

private:
    DataConnections &m_connections;
    const AuditTrail &m_audit;
    std::map<QString, std::unique_ptr<CursorSlot>> m_slots; // by lower-case name
};

} // namespace core
