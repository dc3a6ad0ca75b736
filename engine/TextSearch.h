#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>

// Searching texts of a large table by parts of them, with the search rule
// of TextRules (searchFold), answered from an index where the database has
// one. Nothing here changes what a search finds: the index only spares the
// reading of rows that cannot match, and every row it offers is checked
// against the criteria themselves.
//
// On the file the index is the program's own (SqlCipherSearch): the
// trigrams of the folded texts, kept in step by the database itself in the
// transaction of every write of the table, whoever writes it. On a server
// it is a table of the folded texts with a trigram index (pg_trgm) on each
// (PgSearch.cpp), kept in step by a trigger of the table, as strictly.
namespace engine {

// The columns of a table that its search index covers (at most 15). The
// first is the table's key. Changing the list makes the index one of an
// older kind: it is built again.
struct SearchIndexDef {
    QString table;
    QStringList columns;
};

enum class TextMatch {
    Folded, // the search rule: letter case and the ways of writing Arabic
    Exact,  // LIKE itself: letter case only
};

// One criterion: the column's text matches the LIKE pattern (ESCAPE '\').
struct TextCriterion {
    QString column; // the program's own name, never typed text
    QString pattern;
    TextMatch match = TextMatch::Folded;
};

// A condition for a WHERE clause in the engine's SQL and the values it binds.
struct SqlCondition {
    QString sql;
    QVariantList values;
};

enum class IndexUse {
    WhenReady, // answered from the index where it can be
    Never,     // every row read (what the index is measured against)
};

enum class SearchIndexStatus {
    Ready,       // complete, kept in step with every write
    Missing,     // never built on this database
    Outdated,    // built by another version, or for other columns: built again
    Building,    // partly built (a build was stopped): built on
    Unavailable, // the database cannot have one (detail says why); searches read every row
};

struct SearchIndexState {
    SearchIndexStatus status = SearchIndexStatus::Missing;
    QString detail;
    bool needsBuild() const
    {
        return status == SearchIndexStatus::Missing || status == SearchIndexStatus::Outdated
               || status == SearchIndexStatus::Building;
    }
};

// Share of a build done (0..100); returning false stops it after the step
// in hand, and the next build goes on from there.
using BuildProgress = std::function<bool(int percent)>;

} // namespace engine
