#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace engine {

// The first statement of an engine SQL text (SQLite's dialect) as the
// PostgreSQL server takes it:
// - '?' marks become $1, $2 ... in order; '?N' becomes $N; ':name', '@name'
//   and '$name' become one $n per name ('::' stays a cast);
// - "quoted" and [bracketed] names fold to lower case, the way the server
//   stores the program's names (SQLite compares names without letter case);
// - `a LIKE b` and `a NOT LIKE b` compare both sides with letter case folded
//   (operators ~~~ and !~~~ of the text rules), with ESCAPE '\' (the server's
//   own escape) and no other;
// - INSERT OR IGNORE becomes INSERT ... ON CONFLICT DO NOTHING;
// - COLLATE BINARY becomes COLLATE "C", COLLATE NOCASE and FOLDCASE the
//   letter case rule's collation velm_fold;
// - a select in FROM without a name gets one (velm_subN), which the server needs.
// Texts in single quotes and comments are left as they are.
struct PgSql {
    QByteArray sql;          // the statement for the server; empty when none
    QByteArray rest;         // the text after the first statement
    QStringList names;       // per $n (index n-1): the mark's name, empty for '?'
    int parameters = 0;      // highest $n
    bool readOnly = false;   // a SELECT, VALUES or WITH that changes nothing
    bool namesRowId = false; // the statement names velm_rowid itself
    bool touchesUsers = false;
    QStringList functions;   // names called, lower case, in order (may repeat)
    QString error;           // not translated (an unknown ESCAPE, an open quote)
};

// With nullsFirst, nulls sort as on the file: before every value, after
// them with DESC (the server's own order is the other way round).
PgSql translateForPg(const QByteArray &utf8, bool nullsFirst = false);

// A name as the server stores it (lower case), quoted: "name".
QByteArray quotedName(const QString &name);
// A text as an SQL literal: 'it''s'. For the program's own texts only.
QByteArray literal(const QString &text);

} // namespace engine
