#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <utility>

namespace registry {

// The person list of the person screen and its search.
//
// A search is a contains-match on each criterion the user has filled: the
// person's value must hold the typed text somewhere, letter case ignored,
// and every filled criterion must hold. As in the office's old system a
// typed "*" stands for any text and "?" for any one character; every other
// character, "%", "_", "\" and quotes included, stands for itself. The
// typed texts are bound values: nothing typed ever becomes part of the SQL.

// Every person, in stored order.
inline const QString kPersonListSql = QStringLiteral("SELECT * FROM tamrel");

// The fields a search looks at, in the order it adds them (44 of them).
// No other field is a criterion.
const QStringList &searchFields();

// The LIKE pattern (ESCAPE '\') matching the values that contain the typed
// text, "*" and "?" keeping their meaning.
QString containsPattern(const QString &typed);

// True when a typed value takes part in a search: neither empty nor one blank.
bool isCriterion(const QString &typed);

struct SearchQuery {
    QString sql;
    QVariantList values;
};

// The search for the typed values, given as (field, typed text) in the
// order of searchFields(). Values that are no criterion are left out; with
// none left the search lists every person. Only the program's own field
// names go into the SQL text.
SearchQuery personSearch(const QList<std::pair<QString, QString>> &typed);

} // namespace registry
