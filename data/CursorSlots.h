#pragma once

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
    CursorSlot(DataConnections &connections, QString table)
        : m_connections(connections), m_table(std::move(table))
    {
    }
    // Opens (or re-opens) the cursor on the main connection; throws
    // EngineError (3011 and others).
    engine::TableCursor &open();
    void close() { m_cursor.reset(); }
    bool isOpen() const { return m_cursor != nullptr; }
    // The open cursor; throws EngineError (3001) when not open.
    engine::TableCursor &cursor();
    const QString &table() const { return m_table; }

private:
    DataConnections &m_connections;
    QString m_table;
    std::unique_ptr<engine::TableCursor> m_cursor;
};

// The cursor slots of the tables, one per table name in any case; a slot's
// address stays valid as long as the set lives.
class CursorSlots {
public:
    explicit CursorSlots(DataConnections &connections) : m_connections(connections) {}
    CursorSlots(const CursorSlots &) = delete;
    CursorSlots &operator=(const CursorSlots &) = delete;

    // The slot of a table, created on first use.
    CursorSlot &slot(const QString &table);
    // Closes every open cursor; the slots stay.
    void closeAll();

private:
    DataConnections &m_connections;
    std::map<QString, std::unique_ptr<CursorSlot>> m_slots; // by lower-case name
};

} // namespace core
