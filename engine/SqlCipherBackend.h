#pragma once

#include "engine/Backend.h"
#include "engine/FileUse.h"

#include <QSet>

struct sqlite3;
struct sqlite3_stmt;

namespace engine {

class Database;

// The backend on SQLCipher: encrypted files (AES, the key derived from the
// password with PBKDF2 over the file's salt), shared by processes through
// SQLite's locks, in WAL mode once a file is accepted (the rollback journal
// on a network share).
//
// The key is derived from the password once per file and process (the
// costly part of opening); every further connection to the same file is
// opened with the derived key and costs a few milliseconds.
class SqlCipherConnection final : public BackendConnection {
public:
    // Opening throws EngineError as Database::open, create and openPlain
    // describe. The file is examined and keyed, nothing more: the caller
    // decides whether it is accepted, then calls prepareForUse().
    static std::unique_ptr<SqlCipherConnection> open(const QString &path, const QString &password);
    static std::unique_ptr<SqlCipherConnection> open(const OpenSpec &openSpec);
    static std::unique_ptr<SqlCipherConnection> create(const QString &path, const QString &password);
    static std::unique_ptr<SqlCipherConnection> openPlain(const QString &path);

    // Key derivations made by this process (each costs tens of milliseconds).
    static int keyDerivations();

    ~SqlCipherConnection() override;
    SqlCipherConnection(const SqlCipherConnection &) = delete;
    SqlCipherConnection &operator=(const SqlCipherConnection &) = delete;

    std::unique_ptr<BackendStatement> prepare(const QByteArray &utf8, QByteArray *rest = nullptr) override;
    void prepareForUse(Journal journal) override;
    void setCacheSize(qint64 kib) override;
    void setQueryOnly(bool on) override;
    void restrictToQueries() override;
    QString tableName(const QString &anyCase) override;
    bool holdsTables() override;
    QList<ColumnInfo> columns(const QString &table) override;
    void begin() override;
    void commit() override;
    void rollback() override;
    bool inTransaction() const override;
    qint64 lastInsertRowId() const override;
    qint64 changes() const override;
    void interrupt() override;
    void setStopCheck(std::function<bool()> check, int interval) override;
    void copyTo(const QString &file, const std::function<bool(int)> &progress) override;
    OpenSpec openSpec() const override;
    int pageSize() const override { return m_pageSize; }
    BackendFailure failureOf(int code) const override;
    QString rowIdColumn(const QString &) override { return QStringLiteral("rowid"); }
    QString nullSafeEqual() const override { return QStringLiteral("IS"); }
    void createTable(const TableDef &table) override;
    SqlCondition textCondition(const QString &table, const QList<TextCriterion> &criteria, IndexUse use) override;
    SearchIndexState searchIndexState(const SearchIndexDef &index) override;
    void buildSearchIndex(const SearchIndexDef &index, const BuildProgress &progress) override;
    void dropSearchIndex(const SearchIndexDef &index) override;
    qint64 searchIndexBytes(const SearchIndexDef &index) override;

    sqlite3 *handle() const { return m_db; }
    // The hold on the file (engine/FileUse.h), kept by the connection and
    // by every statement it prepares, so that it lasts as long as SQLite
    // has the file open.
    void holdWhileOpen(std::shared_ptr<FileUse> hold) { m_hold = std::move(hold); }

private:
    SqlCipherConnection(sqlite3 *db, const QByteArray &rawKey, const QByteArray &salt, int pageSize, bool plain);
    static std::unique_ptr<SqlCipherConnection> openKeyed(const QString &path, const QByteArray &rawKey,
                                                          const QByteArray &salt, int pageSizeHint);
    void run(const char *sql);
    QVariant scalar(const char *sql, const QString &text);
    sqlite3 *openCopy(const QString &file) const;
    bool holdSnapshot();
    void copyPages(sqlite3 *dest, const std::function<bool(int)> &progress);
    static int checkStop(void *connection);
    bool readsHiddenTable(sqlite3_stmt *stmt);

    sqlite3 *m_db = nullptr;
    QByteArray m_rawKey;
    QByteArray m_salt;
    int m_pageSize = 0;
    bool m_plain = false;
    qint64 m_changesAtBegin = 0; // rows written before the transaction began
    std::function<bool()> m_stopCheck;
    QSet<int> m_hiddenPages; // restricted: root pages never opened
    std::shared_ptr<FileUse> m_hold;
};

// SQLite's own connection under an open Database, or null when the database
// is closed or runs on another backend. For the tests and benchmarks that
// examine or measure SQLCipher itself; the program never needs it.
sqlite3 *nativeHandle(const Database &db);

// Registers, on one connection, the collation kFoldCollation and the LIKE
// operator (with and without ESCAPE) under the engine's text rule. Every
// connection the engine opens gets them.
void installTextRules(sqlite3 *db);

// The failure a result code of the connection stands for, with the
// connection's message about it.
BackendFailure sqliteFailure(sqlite3 *db, int rc);

// The CREATE TABLE statement of the table on SQLCipher.
QString createTableSql(const TableDef &table);

// A column of the statement's current row as the engine reads it (null
// stays null).
QVariant columnValue(sqlite3_stmt *stmt, int column);

} // namespace engine
