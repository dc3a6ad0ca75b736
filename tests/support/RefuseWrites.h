#pragma once

#include "engine/Database.h"

#include <QString>

namespace testsupport {

// Makes the database refuse one kind of write ("INSERT", "UPDATE" or
// "DELETE") to a table, by a trigger named `name`, on either backend: how
// tests make a write fail below the program.
inline void refuseWrites(engine::Database &db, const QString &name, const QString &action, const QString &table)
{
    if (!db.onServer()) {
        db.execute(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 BEGIN SELECT RAISE(ABORT, 'refused'); END")
                       .arg(name, action, table));
        return;
    }
    db.execute(QStringLiteral("CREATE OR REPLACE FUNCTION velm_test_refuse() RETURNS trigger LANGUAGE plpgsql "
                              "AS $$BEGIN RAISE EXCEPTION 'refused'; END$$"));
    db.execute(QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 FOR EACH ROW EXECUTE FUNCTION velm_test_refuse()")
                   .arg(name, action, table));
}

// Takes the refusal of refuseWrites away again.
inline void allowWrites(engine::Database &db, const QString &name, const QString &table)
{
    db.execute(db.onServer() ? QStringLiteral("DROP TRIGGER %1 ON %2").arg(name, table)
                             : QStringLiteral("DROP TRIGGER %1").arg(name));
}

} // namespace testsupport
