#pragma once

#include <QString>
#include <QVariantList>

namespace engine {
class TableCursor;
}

namespace core {

// The record a screen shows, as it was read: its table and every field as
// the cursor returned it. A save compares the stored record with it so that
// a colleague's change made since is never written over unseen.
class RecordSnapshot {
public:
    // Keeps the cursor's current record (one copy of its values).
    void take(const engine::TableCursor &cursor);
    void clear();
    bool holds() const { return !m_table.isEmpty(); }

    // True when the cursor stands on the record this snapshot was taken of
    // (same table, same key) and that record no longer holds the values
    // read. Without a snapshot, or on another record, false.
    bool changedSince(const engine::TableCursor &cursor) const;

    const QVariantList &values() const { return m_values; }

private:
    QString m_table;
    QVariantList m_values;
};

} // namespace core
