#include "data/CursorSlots.h"

namespace core {

engine::TableCursor &CursorSlot::open()
{
    m_cursor.reset();
    // Every table cursor works with optimistic locking: the engine locks a
    // record only while a write runs.
    engine::Database &db = m_connections.main();
    m_cursor = std::make_unique<engine::TableCursor>(db, m_table);
    m_cursor->setWriteObserver(m_audit.observer(db));
    return *m_cursor;
}

engine::TableCursor &CursorSlot::cursor()
{
    if (!m_cursor)
        throw engine::EngineError(engine::ErrInvalidArgument,
                                  QStringLiteral("The cursor of %1 is not open").arg(m_table));
    return *m_cursor;
}

CursorSlot &CursorSlots::slot(const QString &table)
{
    std::unique_ptr<CursorSlot> &found = m_slots[table.toLower()];
    if (!found)
        found = std::make_unique<CursorSlot>(m_connections, m_audit, table);
    return *found;
}

void CursorSlots::closeAll()
{
    for (auto &[name, slot] : m_slots)
        slot->close();
}

} // namespace core
