#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

namespace engine {
class Database;
}

// Copies a whole office database from one open connection to another
// (file to server, server to file, file to file): every table of the
// schema and the audit trail, in batches inside transactions, and then
// compares both sides table by table.
namespace core {

// One table after the copy: rows and checksum as read from each side.
struct TableCopy {
    QString table;
    qint64 sourceRows = 0;
    qint64 targetRows = 0;
    QByteArray sourceSum; // hex
    QByteArray targetSum; // hex
    bool matches() const { return sourceRows == targetRows && sourceSum == targetSum; }
};

struct CopyResult {
    QList<TableCopy> tables;
    // Every table arrived whole and unchanged.
    bool verified() const;
};

struct CopyOptions {
    // Empties the target first (its office tables are dropped and made
    // again); without it a target holding any row is refused.
    bool replace = false;
    int batchRows = 5000;
    // After every batch: the table, its rows copied and its rows in all.
    std::function<void(const QString &table, qint64 done, qint64 total)> progress;
    // Asked between batches; true stops the copy (EngineError 3059).
    std::function<bool()> stop;
    // After the tables, the target's search index of the persons is built
    // (progress as the table kSearchIndexStep, 0..100 of 100).
    bool searchIndex = true;
};

inline constexpr const char *kSearchIndexStep = "search index";

// The tables copied, in order: the schema's, then the audit trail.
QStringList copiedTables();
// Whether any of the office tables of the database holds a row.
bool holdsOfficeData(engine::Database &db);
// Rows and checksum of a table as this connection reads it: SHA-256 of each
// row's values (normalised: integers, reals, texts, bytes, nulls), summed
// so that the order the rows arrive in does not count.
QByteArray tableChecksum(engine::Database &db, const QString &table, const QStringList &columns, qint64 *rows);

// Copies everything from `from` to `to`, verifies it and builds the
// target's search index. Throws
// EngineError: kErrTargetHoldsData for a target holding rows without
// `replace`, 3059 when stopped, the engine's errors otherwise (the batches
// committed so far stay in the target).
CopyResult copyDatabase(engine::Database &from, engine::Database &to, const CopyOptions &options = {});

// Copies the database into a new encrypted file (4 KB pages, the key
// derived from `password`) the way the file's own backups are written: under
// <destination>.part-<random> first, verified table by table and checked
// whole, then renamed; a stopped, failed or unverified copy leaves nothing
// behind (3059 when stopped, 3049 when the copy does not match). An existing
// destination is never replaced (3204).
void copyToNewFile(engine::Database &from, const QString &destination, const QString &password,
                   const CopyOptions &options = {});

// The rows of every copied table together, for progress over a whole copy.
qint64 officeRowCount(engine::Database &db);

// Runs `read` with every read of the connection seeing one moment of the
// database (a read transaction; REPEATABLE READ on a server), so that
// tables read one after the other agree with each other.
void inOneSnapshot(engine::Database &db, const std::function<void()> &read);

// Whether a command line's database argument names a server (a libpq
// connection string "host=... dbname=...", "service=NAME" or a URI)
// rather than a file.
bool namesServer(const QString &where);
// Opens the database a command line names: a server, or a file with the
// office's key; with `createMissing` a file that does not exist is made.
void openNamedDatabase(engine::Database &db, const QString &where, bool createMissing = false);

inline constexpr int kErrTargetHoldsData = 3205;

} // namespace core
