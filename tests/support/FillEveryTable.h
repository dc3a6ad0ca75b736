#pragma once

#include "data/Schema.h"
#include "engine/Database.h"
#include "synthetic/SyntheticData.h"

#include <QStringList>
#include <QVariantList>

#include <functional>

namespace testsupport {

// A value for a column, by its place among the row's values.
using SampleValue = std::function<QVariant(const core::schema::Column &, int position)>;

// velm-fill's register (persons with their rows, audit rows), plus one row
// in every table it leaves empty, its values from `sample`.
inline void fillEveryTable(engine::Database &db, int persons, int auditRows, int seed, const SampleValue &sample)
{
    namespace schema = core::schema;
    core::fillSynthetic(db, persons, seed);
    core::fillSyntheticAudit(db, auditRows, seed);
    for (const schema::Table &t : schema::tables()) {
        if (db.scalar(QStringLiteral("SELECT count(*) FROM [%1]").arg(t.name)).toLongLong() > 0)
            continue;
        QStringList names, marks;
        QVariantList values;
        for (const schema::Column &c : t.columns) {
            if (c.kind == schema::Kind::AutoNumber)
                continue;
            names << QLatin1Char('[') + c.name + QLatin1Char(']');
            marks << QStringLiteral("?");
            values << sample(c, int(values.size()));
        }
        db.execute(QStringLiteral("INSERT INTO [%1] (%2) VALUES (%3)").arg(t.name, names.join(','), marks.join(',')),
                   values);
    }
}

} // namespace testsupport
