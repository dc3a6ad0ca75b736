#pragma once

#include "engine/EngineError.h"
#include "engine/TextSearch.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>

namespace engine {

// Description of one column as the engine layer sees it.
struct ColumnInfo {
    QString name;     // as declared (original letter case)
    QString type;     // declared type, upper case
    bool primaryKey = false;
    int pkPosition = 0; // 1-based position in the primary key, 0 when not part of it
    bool autoIncrement = false;
};

// How a file keeps its journal. WAL lets readers and a writer work side by
// side but needs every process on one host (shared memory); a file on a
// network share keeps the rollback journal, which works through the file
// system's locks alone.
enum class Journal { Wal, Rollback };

// What it takes to open one more connection to a file that is open
// already: the path, the key as derived from the password (never the
// password), the page size and the tables the file was accepted with.
// Copyable, so a worker thread can open its own connection; it holds key
// material and is never written to a log.
struct OpenSpec {
    QString path;
    QByteArray rawKey; // 32 bytes; empty for a plain file
    int pageSize = 0;
    bool plain = false;
    QStringList requiredTables;
    Journal journal = Journal::Wal;
    // A database server instead of a file: the libpq connection string (or
    // service=NAME) it was opened with; `path` then only names it for people.
    QString server;
    bool isValid() const { return !path.isEmpty() || !server.isEmpty(); }
};

// A table as the program declares it, which each backend writes in its own
// SQL (types, the letter case rule of texts, length limits, row identity).
struct FieldDef {
    enum class Type {
        Text,       // a text with a length limit (maxLength > 0), folded keys
        Memo,       // a text without a limit
        Integer,    // a whole number, null when not given
        Flag,       // a whole number that is 0 unless given
        AutoNumber, // a whole number the database gives, the table's key
        Real,
        Blob,
    };
    QString name;
    Type type = Type::Text;
    int maxLength = 0;
};

struct TableDef {
    QString name;
    QList<FieldDef> fields;
    QStringList key; // primary key columns, in order (empty with an AutoNumber)
    // Rows are only ever added: the database itself refuses to change or
    // delete one (a record of who did what must stay as it was written).
    bool appendOnly = false;
};

// A statement or connection failure as the database library reports it,
// sorted into the kinds the engine tells apart. Thrown by the backend's
// statement operations; the engine words it as an EngineError
// (raiseFailure), so every backend's failures read alike.
struct BackendFailure {
    enum class Kind {
        Other,
        DuplicateKey,   // a primary key or unique constraint
        NullInRequired, // a not-null constraint
        CheckViolated,  // a check constraint (field lengths)
        NotADatabase,   // the file does not open with the key
        Busy,           // another connection holds the lock
        Locked,         // a table of this connection is locked
        CannotOpen,
        Misuse,
        Interrupted,    // stopped by interrupt() or the stop check
        NoSuchTable,
        NoSuchColumn,
        Syntax,
        NotAuthorized,  // refused on a connection restricted to queries
        TypeMismatch,   // a value that does not fit the column's type
    };
    Kind kind = Kind::Other;
    QString message; // this failure as the library words it
    QString summary; // the library's general wording of its kind
};

// Throws the EngineError matching the failure, with the context (if any)
// before the library's message.
[[noreturn]] void raiseFailure(const BackendFailure &failure, const QString &context = {});

// One prepared statement. Prepared once and run many times: bind, step,
// read, reset. Positions and columns are those of the library (parameters
// from 1, columns from 0).
class BackendStatement {
public:
    virtual ~BackendStatement() = default;

    virtual int parameterCount() const = 0;
    // The parameter's name without its mark (":name" gives "name"); empty
    // for a positional '?'.
    virtual QString parameterName(int position) const = 0;
    virtual void bindNull(int position) = 0;
    virtual void bindInteger(int position, qint64 value) = 0;
    virtual void bindReal(int position, double value) = 0;
    // Texts (UTF-8) and bytes are copied: the caller's buffer may go at once.
    virtual void bindText(int position, QByteArrayView utf8) = 0;
    virtual void bindBlob(int position, QByteArrayView bytes) = 0;
    virtual void clearBindings() = 0;

    // Runs to the next row: true on a row, false at the end. Throws
    // BackendFailure; the statement then needs a reset before it runs again.
    virtual bool step() = 0;
    // Ends the run: the statement holds no lock or snapshot afterwards.
    virtual void reset() = 0;

    virtual int columnCount() const = 0;
    virtual QString columnName(int column) const = 0;
    // A column of the current row; a null field is a null QVariant.
    virtual QVariant value(int column) const = 0;
    virtual qint64 integer(int column) const = 0;
    // The library's own verdict that running it changes nothing.
    virtual bool isReadOnly() const = 0;
};

// One open connection of a backend. Every read and write of the engine goes
// through these calls; nothing above the engine knows which library answers.
class BackendConnection {
public:
    virtual ~BackendConnection() = default;

    // Prepares the first statement of the text; null when the text holds
    // none (only blanks or a comment). `rest`, when given, receives the text
    // after that statement. Throws BackendFailure.
    virtual std::unique_ptr<BackendStatement> prepare(const QByteArray &utf8, QByteArray *rest = nullptr) = 0;

    // The settings of a connection to an accepted file (the journal given,
    // syncing, temporary data, page cache). Throws BackendFailure.
    virtual void prepareForUse(Journal journal) = 0;
    virtual void setCacheSize(qint64 kib) = 0;
    virtual void setQueryOnly(bool on) = 0;
    // Refuses, from now on, to prepare anything but a read of tables and
    // views (NotAuthorized), and refuses writes.
    virtual void restrictToQueries() = 0;

    // Catalog: the table's name as stored (found without regard to case),
    // empty when there is none; whether there is any table; the columns.
    virtual QString tableName(const QString &anyCase) = 0;
    virtual bool holdsTables() = 0;
    virtual QList<ColumnInfo> columns(const QString &table) = 0;

    // Transactions. rollback() never throws and does nothing outside one.
    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;
    virtual bool inTransaction() const = 0;

    virtual qint64 lastInsertRowId() const = 0;
    // Rows changed by the last write.
    virtual qint64 changes() const = 0;

    // Asks a running statement to stop; safe from any thread.
    virtual void interrupt() = 0;
    // Called now and then while a statement runs (every `interval` steps of
    // the library's own); returning true stops it (Interrupted). An empty
    // check removes it.
    virtual void setStopCheck(std::function<bool()> check, int interval) = 0;

    // Copies the whole database, consistently, into a new file made with the
    // same key and page size. progress (0..99) is called between steps;
    // returning false stops the copy. Throws EngineError with the reason
    // (3059 when stopped); the file may be left behind for the caller.
    virtual void copyTo(const QString &file, const std::function<bool(int)> &progress) = 0;

    // The connection's way of opening again (path and required tables are
    // the caller's); the page size of its file (0 for a plain one).
    virtual OpenSpec openSpec() const = 0;
    virtual int pageSize() const = 0;

    // The failure a result code of this library stands for.
    virtual BackendFailure failureOf(int code) const = 0;

    // The dialect: what the engine's own SQL writes differently per backend.
    // The column naming a row of the table for as long as it lives, as SQL
    // text (quoted when it needs to be); empty when the table has none.
    virtual QString rowIdColumn(const QString &table) = 0;
    // The comparison that holds for two equal values and for two nulls.
    virtual QString nullSafeEqual() const = 0;
    // Creates the table (in the running transaction, if any). Throws BackendFailure.
    virtual void createTable(const TableDef &table) = 0;

    // Adds many rows to a table in one go, each row's values in the order
    // of `columns` (names as declared), when the library has a faster way
    // than one INSERT per row; false leaves it to the engine's prepared
    // INSERT. A given AutoNumber value is kept, and the table's next number
    // follows the highest one. All rows or none (the running transaction
    // goes on either way). Throws BackendFailure.
    virtual bool bulkInsert(const QString &table, const QStringList &columns, const QList<QVariantList> &rows)
    {
        Q_UNUSED(table);
        Q_UNUSED(columns);
        Q_UNUSED(rows);
        return false;
    }

    // Read-ahead of table cursors. How many rows one move may read at once
    // on this table: 1 (the default) reads each move when it is made; more
    // only where the backend hears of every change to the table, so that a
    // row read ahead is never shown once the table has changed since.
    virtual int readAheadRows(const QString &table)
    {
        Q_UNUSED(table);
        return 1;
    }
    // Differs from what it gave last whenever a row may have changed since:
    // a write or transaction of this connection, a change by another one
    // the backend has heard of.
    virtual quint64 changeStamp() { return 0; }

    // The search (engine/TextSearch.h). The condition under which a row of
    // the table meets every criterion, in the engine's SQL for this
    // backend, with its values; the index narrows it where it can.
    virtual SqlCondition textCondition(const QString &table, const QList<TextCriterion> &criteria, IndexUse use) = 0;
    virtual SearchIndexState searchIndexState(const SearchIndexDef &index) = 0;
    // Builds the index, or what is left of it, in steps each committed on
    // its own; other connections read and write meanwhile. Throws
    // BackendFailure (Interrupted when progress stopped it).
    virtual void buildSearchIndex(const SearchIndexDef &index, const BuildProgress &progress) = 0;
    // Removes the index; searches then read every row. Throws BackendFailure.
    virtual void dropSearchIndex(const SearchIndexDef &index) = 0;
    // Bytes the index takes (0 without one).
    virtual qint64 searchIndexBytes(const SearchIndexDef &index) = 0;
};

} // namespace engine
