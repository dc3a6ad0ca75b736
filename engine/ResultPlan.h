#pragma once

#include <QString>
#include <QVariantList>

namespace engine {

class Database;

// How the rows of a select can be named and read again, so that a list of
// a million rows keeps only their identities (8 bytes each) and reads the
// rows near what is shown. Possible for a select from one table (no join,
// grouping, DISTINCT or compound); other selects are read whole.
//
// The identity is the table's row id, which never leaves the engine layer.
struct ResultPlan {
    bool keyset = false;   // false: rows cannot be named; read them whole
    QString sql;           // the select as given
    // The identities of the select's rows (first column), in its order,
    // with its values.
    QString idSql;
    // The whole table in stored order ("select * from t"): the identities
    // may be read from the smallest index (far fewer pages than the table)
    // and put in order afterwards; idSql reads them in order directly.
    bool wholeTable = false;
    QString unorderedIdSql;
    // Row id and the select's columns of the rows whose ids fill the IN
    // list (fetchSlots values; pad with 0, which no row has).
    QString fetchSql;
    int fetchSlots = 0;

    // Identities ordered by a column of the result ("[field]" sorting):
    // the engine sorts only the (value, identity) pairs. Keyset plans only.
    QString sortedIdSql(const QString &column, bool descending) const;
    // The identities of the table's rows whose columns hold given values
    // (one ? each, in order), whatever the select's own condition: where a
    // record of known key stands in the result. Keyset plans only.
    QString idsWhereSql(const QStringList &columns) const;

private:
    friend ResultPlan planResult(Database &db, const QString &sql, int fetchSlots);
    QString m_rowId;     // the backend's row identity column
    QString m_reference; // the table or its alias, as written
    QString m_from;      // table (and alias) as written
    QString m_list;      // the select list as written
    QString m_rest;      // WHERE ... ORDER BY ... LIMIT ...
    QString m_restWithoutOrder;
};

// Examines the select and checks the derived statements on the connection
// (a view or a table without row ids is read whole). Never throws for a
// select that can be read at all.
ResultPlan planResult(Database &db, const QString &sql, int fetchSlots);

// Quotes an identifier for SQL text ("a""b").
QString quotedIdentifier(const QString &name);

} // namespace engine
