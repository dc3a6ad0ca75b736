#pragma once

#include "engine/Database.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <memory>

namespace engine {

// The statement would change data (or the connection's settings), and the
// connection only answers queries.
inline constexpr int ErrNotAQuery = 3027;

// Makes a connection answer queries only: every write is refused by the
// engine (query_only), and any statement other than a SELECT over tables
// and views (ATTACH, PRAGMA, transactions, schema changes) is refused when it
// is prepared, as is any call of a function that is not one of SQL's
// ordinary ones and any statement that opens the users or audit table; no text or
// blob it makes may exceed 16 MB. Meant for connections that run texts
// written outside the program, such as report files.
void restrictToQueries(Database &db);

// Asks a statement running on the connection, from any thread, to stop as
// soon as it can; it then fails with ErrInterrupted.
void interrupt(Database &db);
inline constexpr int ErrInterrupted = 3059; // operation cancelled

// One SELECT with named parameters (:name), checked by the engine to be a
// read before anything runs. Rows are read one by one.
class ReadOnlyQuery {
public:
    // Throws ErrNotAQuery for a statement that is not a read, ErrQuerySyntax
    // for an empty text or more than one statement, and the engine's error
    // for anything the engine does not accept.
    ReadOnlyQuery(Database &db, const QString &sql);
    ~ReadOnlyQuery();
    ReadOnlyQuery(const ReadOnlyQuery &) = delete;
    ReadOnlyQuery &operator=(const ReadOnlyQuery &) = delete;

    // Names of the parameters the text uses, without the leading ':' and in
    // order of first use. Positional parameters ('?') are named "?".
    const QStringList &parameterNames() const { return m_parameters; }
    // Binds every use of the named parameter; throws ErrItemNotFound when
    // the text does not use it.
    void bind(const QString &name, const QVariant &value);

    QStringList columnNames() const { return m_columns; }
    // Moves to the next row (the first call runs the statement); false at
    // the end. Throws EngineError when reading fails or is interrupted.
    bool next();
    QVariant value(int column) const;

private:
    std::unique_ptr<BackendStatement> m_stmt;
    QStringList m_parameters;
    QStringList m_columns;
    bool m_done = false;
};

} // namespace engine
