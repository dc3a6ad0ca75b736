#pragma once

#include "engine/Backend.h"

#include <QHash>

#include <atomic>
#include <memory>

struct pg_conn;
struct pg_cancel;
struct pg_result;

namespace engine {

class PgStatement;
struct PgSql;
struct PgPrepared;

// The backend on a PostgreSQL server through libpq: one connection per
// object, opened with a libpq connection string or "service=NAME"
// (pg_service.conf, .pgpass and sslmode as libpq reads them).
//
// The engine's SQL is SQLite's; each statement is turned into the server's
// before it is prepared (PgSql.h): '?', '?N' and ':name' marks become $n,
// quoted and [bracketed] names fold to lower case as the server stores
// them, LIKE compares folded texts, INSERT OR IGNORE skips a duplicate.
// Statements are prepared once per connection (PQprepare) and reused; rows
// arrive one at a time (single-row mode), so a long list is never loaded
// whole. A connection runs one statement at a time: a statement started
// while another still has rows to give first reads the rest of those into
// memory, so callers may interleave statements as they do on a file.
//
// Row identity: a table with an AutoNumber column is named by it; every
// other table gets a hidden identity column velm_rowid, which the field
// list and "SELECT *" leave out. Letter case: text columns use the
// nondeterministic ICU collation velm_fold (case ignored, accents not),
// and LIKE becomes an operator over lower() of both sides.
class PgConnection final : public BackendConnection {
public:
    // Throws EngineError 3051 naming the server and why it refused.
    static std::unique_ptr<PgConnection> open(const QString &connectionString);
    ~PgConnection() override;
    PgConnection(const PgConnection &) = delete;
    PgConnection &operator=(const PgConnection &) = delete;

    // "database NAME on HOST" for messages and the status bar.
    QString description() const;
    // "HOST/DATABASE" for the status bar.
    QString hostAndDatabase() const;

    std::unique_ptr<BackendStatement> prepare(const QByteArray &utf8, QByteArray *rest = nullptr) override;
    void prepareForUse(Journal journal) override;
    void setCacheSize(qint64) override {}
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
    qint64 changes() const override { return m_changes; }
    void interrupt() override;
    void setStopCheck(std::function<bool()> check, int interval) override;
    void copyTo(const QString &file, const std::function<bool(int)> &progress) override;
    OpenSpec openSpec() const override;
    int pageSize() const override { return 0; }
    BackendFailure failureOf(int code) const override;
    QString rowIdColumn(const QString &table) override;
    QString nullSafeEqual() const override { return QStringLiteral("IS NOT DISTINCT FROM"); }
    void createTable(const TableDef &table) override;
    int readAheadRows(const QString &table) override;
    quint64 changeStamp() override;
    bool bulkInsert(const QString &table, const QStringList &columns, const QList<QVariantList> &rows) override;
    SqlCondition textCondition(const QString &table, const QList<TextCriterion> &criteria, IndexUse use) override;
    SearchIndexState searchIndexState(const SearchIndexDef &index) override;
    void buildSearchIndex(const SearchIndexDef &index, const BuildProgress &progress) override;
    void dropSearchIndex(const SearchIndexDef &index) override;
    qint64 searchIndexBytes(const SearchIndexDef &index) override;

private:
    friend class PgStatement;
    PgConnection(pg_conn *conn, const QString &connectionString);

    // Runs a statement of the connection's own (no marks, no rows kept).
    void run(const QByteArray &sql);
    // The first value of a statement of the connection's own with text values.
    QVariant scalar(const QByteArray &sql, const QList<QByteArray> &texts = {});
    pg_result *exec(const QByteArray &sql, const QList<QByteArray> &texts);
    void ensureTextRules();
    // The search's functions, made when the database lacks them.
    void ensureSearchFunctions();
    // The search table of a table (PgSearch.cpp): whether it is there, its
    // comment (its version, columns and how far it is built), whether its
    // triggers keep it in step and how many trigram indexes it has.
    struct SearchTableState {
        bool exists = false;
        QString comment;
        bool kept = false;
        qsizetype indexes = 0;
        bool isReady(const QString &readyComment, qsizetype columns) const
        {
            return kept && comment == readyComment && indexes == columns;
        }
    };
    SearchTableState searchTableState(const QString &table);
    // Made anew with its triggers, empty; returns the row id its copying starts after.
    qint64 createSearchTable(const SearchIndexDef &index);
    void dropSearchTable(const SearchIndexDef &index);
    void fillSearchTable(const SearchIndexDef &index, qint64 from, const BuildProgress &progress);
    void indexSearchTable(const SearchIndexDef &index, const BuildProgress &progress);
    void hideFromOthers(const QByteArray &table);
    // The trigger that tells every listening connection of a change to the
    // table (in the running transaction).
    void addChangeNotice(const QByteArray &quotedTable);
    // Whether a change to the table is heard of: its trigger is there (made
    // when the program may), and this connection listens.
    bool hearsChangesOf(const QString &table);
    void copyRows(const QByteArray &copy, const QByteArray &data);
    void advanceIdentities(const QByteArray &table, const QStringList &columns);
    // Throws NotAuthorized for what a restricted connection never runs.
    void refuseOutsideQueries(const PgSql &sql) const;

    // Makes the connection free for `next`: a statement still giving rows
    // reads the rest of them first.
    void claim(PgStatement *next);
    void release(PgStatement *statement);
    // The next result of the running statement, waiting with the stop check.
    pg_result *nextResult();
    void noteChanges(pg_result *result);
    std::shared_ptr<PgPrepared> prepared(const QByteArray &sql, int parameters, bool keep);
    bool stopRequested();
    // The program's spelling of a table's columns (by attnum), from their comments.
    const QHash<int, QString> &declaredNames(unsigned table);

    pg_conn *m_conn = nullptr;
    pg_cancel *m_cancel = nullptr;
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    QString m_connectionString;
    PgStatement *m_active = nullptr;
    QHash<QByteArray, std::shared_ptr<PgPrepared>> m_prepared;
    quint64 m_nextName = 0;
    qint64 m_changes = 0;
    bool m_activeInTransaction = false;
    bool m_restricted = false;
    bool m_textRules = false;
    bool m_searchFunctions = false;
    std::function<bool()> m_stopCheck;
    int m_stopInterval = 1000;
    std::atomic<bool> m_cancelSent{false};
    QHash<QString, QString> m_rowIds; // lower-case table -> identity column (quoted)
    QHash<unsigned, QHash<int, QString>> m_declared;
    // What the catalogue said of each table (lower-case name), asked once:
    // a screen opens its table's cursor at every button.
    QHash<QString, QString> m_tableNames;
    QHash<QString, QList<ColumnInfo>> m_columns;
    QHash<QString, bool> m_heard; // lower-case table -> its changes are heard of
    bool m_listening = false;
    quint64 m_changeStamp = 0;
    void forgetSchema();
};

} // namespace engine
