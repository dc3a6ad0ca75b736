#pragma once

#include "engine/TextSearch.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <utility>

namespace engine {
class Database;
}

namespace registry {

// The person list of the person screen and its search.
//
// A search is a contains-match on each criterion the user has filled: the
// person's value must hold the typed text somewhere, and every filled
// criterion must hold. Letter case is ignored and, unless the exact match
// is asked for, so are the ways an Arabic name is written (hamzas on alef,
// waw and yeh, alef maksura, teh marbuta, diacritics, tatweel, Arabic-Indic
// digits: engine::searchFold); stored values are never changed. As in the
// office's old system a typed "*" stands for any text and "?" for any one
// character; every other character, "%", "_", "\" and quotes included,
// stands for itself. The typed texts are bound values: nothing typed ever
// becomes part of the SQL. The names, number, residence permit, passport
// and phones are answered from the search index where the database has it.

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

// The criteria of the typed values, given as (field, typed text) in the
// order of searchFields(). Values that are no criterion are left out.
QList<engine::TextCriterion> searchCriteria(const QList<std::pair<QString, QString>> &typed,
                                            engine::TextMatch match = engine::TextMatch::Folded);

// The search for the typed values on that database (its SQL is for that
// database's backend); with no criterion left it lists every person. Only
// the program's own field names go into the SQL text. Throws
// engine::EngineError.
SearchQuery personSearch(engine::Database &db, const QList<std::pair<QString, QString>> &typed,
                         engine::TextMatch match = engine::TextMatch::Folded,
                         engine::IndexUse use = engine::IndexUse::WhenReady);

} // namespace registry
