#pragma once

#include "engine/Backend.h"
#include "engine/TextSearch.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace engine {
class Database;
}

// The one definition of every table of the office database: names, field
// order, keys and the limits the screens rely on. The first database, the
// tests and the synthetic-data generator all build from this list.
namespace core::schema {

enum class Kind {
    Text,       // text up to maxLength characters (letter case folded)
    Memo,       // free text without a limit (letter case folded)
    Integer,    // whole number (seq_no, code of a problem)
    Boolean,    // yes/no flag stored as 0 or 1
    Check,      // check box value, 0 or 1
    AutoNumber, // INTEGER PRIMARY KEY AUTOINCREMENT, given by the engine
    Blob,       // binary data (picture)
};

struct Column {
    QString name;
    Kind kind = Kind::Text;
    int maxLength = 0; // Text only: characters accepted (0 = no limit)
    // Text holding a date as eight characters yyyymmdd ("0000"/"00" for a
    // part left unchosen), as the date selectors compose it.
    bool date = false;
};

struct Index {
    QString name;
    QStringList columns;
};

struct Table {
    QString name;           // as the program spells it
    QList<Column> columns;  // in table order
    QStringList key;        // primary key columns in key order (may be empty)
    QList<Index> indexes;   // secondary indexes (look-ups of related rows)

    QStringList columnNames() const;
    const Column *column(const QString &anyCase) const;
    // The table as the engine declares it to each backend, which writes it
    // in its own SQL.
    engine::TableDef tableDef() const;
};

inline constexpr int kCodeTableCount = 18;
inline constexpr int kCodeTextLength = 50;
inline constexpr int kPlainTextLength = 255;

// Every table, in a fixed order.
const QList<Table> &tables();
// The table of that name (any letter case), or nullptr.
const Table *findTable(const QString &anyCase);

// True when a column of that name (any letter case) holds an eight-character
// date text. A name means the same in every table that has it, so lists of
// any select from one table can tell their date columns by name.
bool isDateField(const QString &anyCase);

// "category1" .. "category18".
QString codeTableName(int number);
// The single field of code table n: "description" for 1..11, then place,
// evaluator, Overall_Evaluation, prayer_evaluation, problems_evaluation,
// problems_situation, RlationsWithOthers.
QString codeFieldName(int number);
// The starter entries of code table n (Arabic, each at most 50 characters).
QStringList starterCodes(int number);

// Creates every table and index in one transaction.
void createSchema(engine::Database &db);
// Creates the indexes of the list that a file made before them lacks. On a
// large register this takes a while (about 13 s for 1,000,000 persons):
// run it off the window's thread.
void addMissingIndexes(engine::Database &db);
// The audit table, its indexes and the triggers that refuse any change or
// removal of its rows, made when missing (a file from before the trail);
// a file that has it is not written to.
void addAuditTrail(engine::Database &db);
inline constexpr const char *kAuditTable = "audit";

// The persons' search index: their number, old and new names in both
// languages, residence permit, passport, the five phones, and the birth
// date (which the likely-duplicates check compares).
engine::SearchIndexDef personSearchIndex();

// Adds the starter entries to the eighteen code tables (existing texts are
// kept, so running it twice changes nothing) and the picture hand-over row.
void fillStarterCodes(engine::Database &db);
// Writes a new encrypted database with the schema and the starter codes and
// no user. It is built under a temporary name beside `path` and renamed at
// the end; an existing file is never replaced (EngineError 3204).
void createFirstDatabase(const QString &path, const QString &password);

inline constexpr int kErrDatabaseExists = 3204;

} // namespace core::schema
