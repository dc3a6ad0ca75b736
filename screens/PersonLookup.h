#pragma once

#include "screens/KeyLookup.h"

#include <QString>

#include <optional>

namespace engine {
class Database;
}

namespace core {

// The person look-up list (dbc_tamrel) of the screens about one person.
//
// The register holds up to a million persons, so the list never reads the
// person table whole (KeyLookup): it offers the numbers that begin with what
// has been typed (tamrel_no >= prefix and < prefix + U+FFFF, in key order),
// a batch at a time as it is scrolled. personChanged() is emitted once when
// the user settles on a number (see KeyLookup::keyChosen).
class PersonLookup : public KeyLookup {
    Q_OBJECT
public:
    explicit PersonLookup(const QString &objectName, QWidget *parent = nullptr);

    // The numbers that begin with a prefix.
    static Range numbersBeginningWith(const QString &prefix);

    // Reads the first numbers beginning with `prefix` into the list (blanks
    // around it ignored). False when they cannot be read; the list then
    // stays as it was.
    bool offerNumbers(const QString &prefix) { return offerKeys(prefix); }
    // The prefix of the numbers the list holds; empty before the first read.
    const QString &offeredPrefix() const { return offeredText(); }

signals:
    // The user settled on a person number.
    void personChanged(const QString &number);
};

// The new names of a person, as the person table holds them.
struct PersonNames {
    QString arabic;  // a_new_name
    QString english; // e_new_name
};

// True when the text names a person: neither empty nor blanks alone.
bool isPersonChosen(const QString &number);

// The names of the person with this number, compared as text through a
// bound value; no value when no person has it. Throws engine::EngineError.
std::optional<PersonNames> findPersonNames(engine::Database &db, const QString &number);

// The next row number of a person in a table keyed (tamrel_no, seq_no): the
// highest seq_no of that person plus 1, or 1 for the first row. Numbers left
// free by deleted rows are not reused. One indexed query. The table name is
// the program's own (never typed text). Throws engine::EngineError.
qint64 nextSeqNo(engine::Database &db, const QString &table, const QString &number);

} // namespace core
