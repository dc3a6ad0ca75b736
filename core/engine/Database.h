#pragma once

#include "EngineError.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantList>

#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace engine {

// Description of one column as the engine layer sees it.
struct ColumnInfo {
    QString name;     // as declared (original letter case)
    QString type;     // declared type, upper case
    bool primaryKey = false;
    int pkPosition = 0; // 1-based position in the primary key, 0 when not part of it
    bool autoIncrement = false;
};

// One connection to an encrypted database file. Shared access: other
// processes may open the same file; writers wait on a busy timeout.
// Every failure is an EngineError; nothing here shows a message.
class Database {
public:
    Database();
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // Opens an existing file with the password (the SQLCipher key).
    // Errors: 3001 empty/malformed path, 3024 no such file, 3051 not openable,
    // 3343 foreign file format, 3031 the key does not open it.
    void open(const QString &path, const QString &password);

    // Creates a new, empty encrypted database (fails when the file exists).
    void create(const QString &path, const QString &password);

    // Opens (or creates) a plain, unencrypted file. Used only by the
    // benchmark to compare with plain SQLite.
    void openPlain(const QString &path);

    void close();
    bool isOpen() const { return m_db != nullptr; }
    const QString &path() const { return m_path; }

    // Runs a statement that returns no rows, with bound values.
    void execute(const QString &sql, const QVariantList &values = {});
    // Runs a statement and returns the first column of the first row (null if none).
    QVariant scalar(const QString &sql, const QVariantList &values = {});

    // Table name as stored, found without regard to case; throws 3011 if missing.
    QString tableName(const QString &anyCase);
    bool hasTable(const QString &anyCase);
    QList<ColumnInfo> columns(const QString &table);

    // Transactions (use the Transaction guard below).
    void begin();
    void commit();
    void rollback();
    bool inTransaction() const;

    // Copies the whole database, consistently, into a new file encrypted with
    // the same key. Writes a temporary file first and renames it, so the
    // destination is either complete or untouched.
    void backupTo(const QString &destinationPath);

    qint64 lastInsertRowId() const;
    sqlite3 *handle() const { return m_db; }

    // Raises the EngineError matching an SQLite result code of this connection.
    [[noreturn]] void raise(int rc, const QString &context = {}) const;

private:
    struct StatementHandle {
        sqlite3_stmt *stmt = nullptr;
        ~StatementHandle();
    };
    // Prepares a statement and binds its values; raises on failure.
    void prepare(StatementHandle &statement, const QString &sql, const QVariantList &values);
    void openRaw(const QString &path, const QString *password, bool create);
    void applySettings();

    sqlite3 *m_db = nullptr;
    QString m_path;
    QString m_key;
    bool m_plain = false;
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

} // namespace engine
