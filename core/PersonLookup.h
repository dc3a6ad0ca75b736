#pragma once

#include "LookupCombo.h"

#include <QString>

#include <optional>

class QStringListModel;

namespace engine {
class Database;
}

namespace core {

class DataStore;

// The person look-up list (dbc_tamrel) of the screens about one person.
//
// The register holds up to a million persons, so the list never reads the
// person table whole: it offers the numbers that begin with what has been
// typed, read through one indexed range query (tamrel_no >= prefix and
// < prefix + U+FFFF, in key order) on a connection of its own, a batch at
// a time as the list is scrolled. The numbers are read again as the user
// types; nothing at all is read before the list is first opened or typed
// into, so a screen with this list opens without touching the table.
//
// The text is the person number, read and written like any look-up list
// (controlText/setControlText). personChanged() is emitted once when the
// user has typed a number and ends the typing (Enter, leaving the box) or
// chooses a number from the list; blanks typed around a number are dropped
// then. A number put in by the program (showing a record, clearing) emits
// nothing: the screen runs its look-up itself.
class PersonLookup : public LookupCombo {
    Q_OBJECT
public:
    static constexpr int kBatch = 50;
    static inline const QString kNumbersSql = QStringLiteral(
        "SELECT tamrel_no FROM tamrel WHERE tamrel_no >= ? AND tamrel_no < ? ORDER BY tamrel_no");

    explicit PersonLookup(const QString &objectName, QWidget *parent = nullptr);

    // The data store whose person table the list reads.
    void setStore(DataStore &store);

    // Reads the numbers beginning with `prefix` into the list (blanks around
    // it ignored). False when they cannot be read; the list then stays as it was.
    bool offerNumbers(const QString &prefix);
    // The prefix of the numbers the list holds; empty before the first read.
    const QString &offeredPrefix() const { return m_prefix; }
    bool hasOffered() const { return m_offered; }

    void showPopup() override;

signals:
    // The user settled on a person number (see above).
    void personChanged(const QString &number);

private:
    void onEdited(const QString &text);
    void commit(bool picked);

    DataStore *m_store = nullptr;
    DataSource *m_numbers;         // the list's rows, read a batch at a time
    QStringListModel *m_offers;    // the first batch, offered while typing
    QString m_prefix;
    QString m_lastCommitted;
    bool m_offered = false;
    bool m_edited = false;
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
