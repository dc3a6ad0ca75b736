#pragma once

#include "engine/Backend.h"
#include "engine/EngineError.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <functional>
#include <memory>

namespace engine {

// Cipher page size of every file the program writes.
inline constexpr int kPageSize = 4096;
// Page cache of a connection (KiB): the inner pages of the large tables
// and their keys stay decrypted in memory, so a seek decrypts only the
// pages of the record itself.
inline constexpr int kDefaultCacheKiB = 16 * 1024;

// One connection to a database: an encrypted file (SQLCipher) unless a
// connection of another backend is attached. Shared access: other
// processes may open the same file; writers wait on a busy timeout.
// Every failure is an EngineError; nothing here shows a message.
//
// Everything runs through the connection's backend (engine/Backend.h);
// nothing above the engine knows which library answers.
class Database {
public:
    Database();
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens an existing file with the password (the SQLCipher key). The
    // file is examined before anything is written to it: it must be a
    // regular file, open with the key (4 KB pages, or the 1 KB pages of
    // files made before), hold at least one table and every table named in
    // requiredTables. Only a file so accepted is switched to `journal`.
    // Errors: 3001 empty/malformed path, 3024 no such file, 3051 not a
    // regular file, not openable or not writable (the file or its folder),
    // 3343 foreign file format, 3031 the key does not open it, 3049 not a
    // whole number of pages, 3011 no tables or a required table missing,
    // 3260 another process keeps it locked.
    // `journal` chooses WAL or the rollback journal (a network share); every
    // further connection made from openSpec() keeps it.
    void open(const QString &path, const QString &password, const QStringList &requiredTables = {},
              Journal journal = Journal::Wal);
    // Opens one more connection as the openSpec() of an open one describes it.
    void open(const OpenSpec &openSpec);

    // Opens a database on a PostgreSQL server: a libpq connection string or
    // "service=NAME" (host, port, database, user and sslmode as libpq reads
    // them; the password from .pgpass or the service). With requiredTables
    // the database must hold them (3011); without, an empty database is
    // accepted (to create a schema in). 3051 names the server and why it
    // could not be reached or refused. path() then describes the server.
    void openServer(const QString &connectionString, const QStringList &requiredTables = {});
    // Whether the connection is to a server rather than a file.
    bool onServer() const;
    // "HOST/DATABASE" of a server connection, as libpq resolved them (a
    // local socket's folder as its host; never the password); empty for a file.
    QString serverName() const;

    // Creates a new, empty encrypted database with 4 KB pages (fails when
    // the file exists).
    void create(const QString &path, const QString &password);

    // Opens (or creates) a plain, unencrypted file. Used only by the
    // benchmark to compare with plain SQLite.
    void openPlain(const QString &path);

    // Takes over a connection a backend opened, once it passes the same
    // examination as open() (tables, required tables) and has its settings.
    void attach(std::unique_ptr<BackendConnection> connection, const QString &path,
                const QStringList &requiredTables = {});

    void close();
    bool isOpen() const { return m_connection != nullptr; }
    const QString &path() const { return m_path; }
    int pageSize() const { return m_pageSize; }
    Journal journal() const { return m_journal; }
    // How to open another connection to this file (invalid when closed).
    OpenSpec openSpec() const;

    // Page cache of this connection in KiB (SQLite allocates it as pages
    // are read). Lists and searches keep a large one.
    void setCacheSize(qint64 kib);
    // A connection that only reads: writes through it are refused.
    void setQueryOnly(bool on);

    // Runs a statement that returns no rows, with bound values.
    void execute(const QString &sql, const QVariantList &values = {});
    // Runs a statement and returns the first column of the first row (null if none).
    QVariant scalar(const QString &sql, const QVariantList &values = {});

    // Creates a table in the backend's own SQL (in the running transaction).
    void createTable(const TableDef &table);

    // Adds rows to a table (each row's values in the order of `columns`),
    // the fastest way the backend has: COPY on a server, one prepared
    // INSERT reused on the file. Given AutoNumber values are kept and the
    // next number follows the highest. Outside a transaction all rows or none;
    // inside one, a refused batch leaves the caller to roll back.
    void bulkInsert(const QString &table, const QStringList &columns, const QList<QVariantList> &rows);

    // The search of engine/TextSearch.h: the condition under which a row of
    // the table meets every criterion, for a WHERE clause (its SQL is for
    // this connection's backend only), with the values it binds. An empty
    // list of criteria gives "1=1".
    SqlCondition textCondition(const QString &table, const QList<TextCriterion> &criteria,
                               IndexUse use = IndexUse::WhenReady);
    SearchIndexState searchIndexState(const SearchIndexDef &index);
    // Builds the search index where it is missing, outdated or half built
    // (nothing when it is ready or the database cannot have one); 3059 when
    // progress stopped it. Writes of other connections go on meanwhile.
    void buildSearchIndex(const SearchIndexDef &index, const BuildProgress &progress = {});
    // Removes the search index (a bulk write of many rows then costs less,
    // and a build afterwards takes them all in at once).
    void dropSearchIndex(const SearchIndexDef &index);
    qint64 searchIndexBytes(const SearchIndexDef &index);

    // Table name as stored, found without regard to case; throws 3011 if missing.
    QString tableName(const QString &anyCase);
    bool hasTable(const QString &anyCase);
    QList<ColumnInfo> columns(const QString &table);

    // Transactions (use the Transaction guard below).
    void begin();
    void commit();
    void rollback();
    bool inTransaction() const;

    // Called between the steps of a backup with the share copied (0..100);
    // returning false stops the copy.
    using BackupProgress = std::function<bool(int percent)>;
    // Examines the finished copy under its temporary name before it takes
    // the destination's name; throws EngineError to refuse it.
    using CopyCheck = std::function<void(const QString &copyPath)>;
    // Copies the whole database, consistently, into a new file encrypted with
    // the same key and page size, a few megabytes per step. Writes a
    // temporary file <destination>.part-<random> first, lets `check` examine
    // it and renames it, so the destination is either a complete, checked
    // copy or untouched; a stopped, failed or refused copy leaves nothing
    // behind (3059 when stopped).
    void backupTo(const QString &destinationPath, const BackupProgress &progress = {},
                  const CopyCheck &check = {});

    // Reads every page, table and index of the file: throws 3049 when
    // anything is damaged (3059 when the stop check ends it).
    void checkIntegrity();

    qint64 lastInsertRowId() const;
    // Rows changed by the last write of this connection.
    qint64 changes() const;

    // Asks a statement running on the connection to stop as soon as it can
    // (it then fails with 3059); safe from any thread.
    void interrupt();
    // Called now and then while a statement of this connection runs (every
    // `interval` steps of the engine); returning true stops the statement
    // (3059). An empty check removes it.
    void setStopCheck(std::function<bool()> check, int interval = 1000);

    // The backend the connection runs on (null when closed).
    BackendConnection *backend() const { return m_connection.get(); }

    // Raises the EngineError matching a result code of the backend.
    [[noreturn]] void raise(int code, const QString &context = {}) const;

    // Key derivations made by this process (each costs tens of milliseconds).
    static int keyDerivations();

private:
    void accept(std::unique_ptr<BackendConnection> connection, const QString &path, const QStringList &requiredTables,
                bool examine, Journal journal = Journal::Wal);
    BackendConnection &connection() const;

    std::unique_ptr<BackendConnection> m_connection;
    QString m_path;
    int m_pageSize = 0;
    QStringList m_requiredTables;
    Journal m_journal = Journal::Wal;
};

// Prepares one statement on the connection. A text holding a NUL, or no
// statement at all (only blanks or a comment), is refused. Throws EngineError.
std::unique_ptr<BackendStatement> prepareStatement(Database &db, const QString &sql);
// Throws 3001 (invalid argument) unless the statement takes exactly `given` values.
void requireValueCount(const BackendStatement *stmt, qsizetype given);
// The names of the statement's result columns.
QStringList columnNames(const BackendStatement *stmt);
// Binds a value to a statement parameter (1-based) as the engine stores it.
void bindValue(BackendStatement &stmt, int position, const QVariant &value);

// A statement prepared once and run many times: bind, step, read, reset.
// Used where the same SQL runs again and again (cursor moves, row fetches).
class Statement {
public:
    Statement(Database &db, const QString &sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Resets the statement and binds the values (1-based, in order).
    void bind(const QVariantList &values);
    void bind(int position, const QVariant &value);
    // Next row; false at the end. Throws on failure (the statement is reset).
    bool step();
    QVariant value(int column) const;
    qint64 integer(int column) const;
    int columnCount() const;
    // Ends the run so the statement holds no read lock or snapshot.
    void reset();
    BackendStatement *handle() const { return m_stmt.get(); }

private:
    std::unique_ptr<BackendStatement> m_stmt;
};

// Commits at commit(), rolls back on every other way out.
class Transaction {
public:
    explicit Transaction(Database &db);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;
    void commit();

private:
    Database &m_db;
    bool m_done = false;
};

// Escapes a text for use inside a LIKE pattern with ESCAPE '\'.
QString escapeLike(const QString &value);

// Throws 3163 when a text among the values holds a NUL character: SQLite
// would store it whole but measure and compare it only up to the NUL, so
// no field accepts one.
void refuseNul(const QVariantList &values);
void refuseNul(const QVariant &value);

} // namespace engine
