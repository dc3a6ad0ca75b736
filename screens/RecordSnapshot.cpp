#include "screens/RecordSnapshot.h"

#include "engine/TableCursor.h"

namespace core {

void RecordSnapshot::take(const engine::TableCursor &cursor)
{
    m_values = cursor.record();
    m_table = cursor.tableName();
}

void RecordSnapshot::clear()
{
    m_table.clear();
    m_values.clear();
}

bool RecordSnapshot::changedSince(const engine::TableCursor &cursor) const
{
    if (!holds() || m_table.compare(cursor.tableName(), Qt::CaseInsensitive) != 0)
        return false;
    const QVariantList stored = cursor.record();
    if (stored.size() != m_values.size())
        return false;
    const QStringList fields = cursor.fieldNames();
    for (const QString &key : cursor.keyFieldNames()) {
        const int i = int(fields.indexOf(key));
        if (i >= 0 && stored.at(i) != m_values.at(i))
            return false; // another record: the clerk typed another key
    }
    return stored != m_values;
}

} // namespace core
