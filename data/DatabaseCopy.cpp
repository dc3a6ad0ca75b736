#include "data/DatabaseCopy.h"

#include "data/Connections.h"
#include "data/Schema.h"
#include "engine/Database.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QtEndian>

#include <array>
#include <bit>
#include <cmath>

namespace core {

namespace {

// The sum of every row's SHA-256 in four 64-bit lanes: the same rows give
// the same sum in any order, and a row counted twice counts twice.
class RowSum {
public:
    void add(const QVariantList &row)
    {
        m_hash.reset();
        for (const QVariant &v : row)
            addValue(v);
        const QByteArrayView digest = m_hash.resultView();
        for (int lane = 0; lane < 4; ++lane)
            m_lanes[lane] += qFromLittleEndian<quint64>(digest.data() + lane * 8);
    }
    QByteArray hex() const
    {
        QByteArray out;
        for (const quint64 lane : m_lanes)
            out += QByteArray::number(lane, 16).rightJustified(16, '0');
        return out;
    }

private:
    void addTagged(char tag, QByteArrayView bytes)
    {
        const quint64 size = qToLittleEndian<quint64>(quint64(bytes.size()));
        m_hash.addData(QByteArrayView(&tag, 1));
        m_hash.addData(QByteArrayView(reinterpret_cast<const char *>(&size), sizeof size));
        m_hash.addData(bytes);
    }
    void addInteger(qint64 v)
    {
        const qint64 le = qToLittleEndian(v);
        addTagged('I', QByteArrayView(reinterpret_cast<const char *>(&le), sizeof le));
    }
    // Values as the engine reads them: a whole real and the same integer are
    // one value (a server's number column may give either).
    void addValue(const QVariant &v)
    {
        if (v.isNull())
            return addTagged('N', {});
        switch (v.typeId()) {
        case QMetaType::Bool:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Long:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return addInteger(v.toLongLong());
        case QMetaType::Double:
        case QMetaType::Float: {
            const double d = v.toDouble();
            if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9007199254740992.0)
                return addInteger(qint64(d));
            const quint64 bits = qToLittleEndian(std::bit_cast<quint64>(d));
            return addTagged('R', QByteArrayView(reinterpret_cast<const char *>(&bits), sizeof bits));
        }
        case QMetaType::QByteArray:
            return addTagged('B', v.toByteArray());
        case QMetaType::QString: {
            // UTF-16 as it is: the same text gives the same bytes on both sides.
            const QString text = v.toString();
            return addTagged('T', QByteArrayView(reinterpret_cast<const char *>(text.utf16()), text.size() * 2));
        }
        default:
            return addValue(QVariant(v.toString()));
        }
    }

    QCryptographicHash m_hash{QCryptographicHash::Sha256};
    std::array<quint64, 4> m_lanes{};
};

QString selectSql(const QString &table, const QStringList &columns)
{
    QStringList names;
    for (const QString &c : columns)
        names << QLatin1Char('[') + c + QLatin1Char(']');
    return QStringLiteral("SELECT %1 FROM [%2]").arg(names.join(QLatin1String(", ")), table);
}

QStringList columnsOf(engine::Database &db, const QString &table)
{
    if (const schema::Table *t = schema::findTable(table))
        return t->columnNames();
    QStringList names;
    for (const engine::ColumnInfo &c : db.columns(db.tableName(table)))
        names << c.name;
    return names;
}

bool holdsRows(engine::Database &db, const QString &table)
{
    return db.hasTable(table)
        && db.scalar(QStringLiteral("SELECT 1 FROM [%1] LIMIT 1").arg(db.tableName(table))).isValid();
}

// An empty target gets the schema; one holding rows only when told to
// replace them. The audit trail is dropped with its table, never deleted
// row by row (its triggers refuse that, rightly).
void prepareTarget(engine::Database &to, bool replace)
{
    QStringList present;
    for (const QString &table : copiedTables()) {
        if (to.hasTable(table))
            present << to.tableName(table);
    }
    if (!replace && holdsOfficeData(to))
        throw engine::EngineError(kErrTargetHoldsData,
                                  QStringLiteral("The target database already holds data; copy over it only to replace it."));
    engine::Transaction tx(to);
    for (const QString &table : std::as_const(present))
        to.execute(QStringLiteral("DROP TABLE [%1]").arg(table));
    tx.commit();
    schema::createSchema(to);
}

void checkStop(const CopyOptions &options)
{
    if (options.stop && options.stop())
        throw engine::EngineError(engine::ErrOperationCanceled, QStringLiteral("The copy was stopped."));
}

// Copies one table in batches, each committed on its own; returns the
// source's rows and checksum as they were read.
TableCopy copyTable(engine::Database &from, engine::Database &to, const QString &table, const CopyOptions &options)
{
    TableCopy result;
    result.table = table;
    const QStringList columns = columnsOf(to, table);
    if (!from.hasTable(table)) { // a file from before the audit trail
        result.sourceSum = RowSum().hex();
        return result;
    }
    const QString source = from.tableName(table);
    const qint64 total = from.scalar(QStringLiteral("SELECT count(*) FROM [%1]").arg(source)).toLongLong();
    if (options.progress)
        options.progress(table, 0, total);
    engine::Statement select(from, selectSql(source, columns));
    RowSum sum;
    QList<QVariantList> batch;
    qint64 batchBytes = 0;
    const auto flush = [&] {
        to.bulkInsert(to.tableName(table), columns, batch);
        result.sourceRows += batch.size();
        batch.clear();
        batchBytes = 0;
        if (options.progress)
            options.progress(table, result.sourceRows, qMax(total, result.sourceRows));
        checkStop(options);
    };
    while (select.step()) {
        QVariantList row;
        row.reserve(columns.size());
        for (int i = 0; i < columns.size(); ++i) {
            row << select.value(i);
            if (row.last().typeId() == QMetaType::QByteArray)
                batchBytes += row.last().toByteArray().size();
            else if (row.last().typeId() == QMetaType::QString)
                batchBytes += 2 * row.last().toString().size();
        }
        sum.add(row);
        batch << std::move(row);
        // Pictures make rows large: a batch also ends at a few megabytes.
        if (batch.size() >= options.batchRows || batchBytes > 8 * 1024 * 1024)
            flush();
    }
    if (!batch.isEmpty())
        flush();
    result.sourceSum = sum.hex();
    return result;
}

} // namespace

bool CopyResult::verified() const
{
    for (const TableCopy &t : tables) {
        if (!t.matches())
            return false;
    }
    return !tables.isEmpty();
}

QStringList copiedTables()
{
    QStringList names;
    for (const schema::Table &t : schema::tables())
        names << t.name;
    names << QLatin1String(schema::kAuditTable);
    return names;
}

bool holdsOfficeData(engine::Database &db)
{
    for (const QString &table : copiedTables()) {
        if (holdsRows(db, table))
            return true;
    }
    return false;
}

QByteArray tableChecksum(engine::Database &db, const QString &table, const QStringList &columns, qint64 *rows)
{
    RowSum sum;
    qint64 count = 0;
    if (db.hasTable(table)) {
        engine::Statement select(db, selectSql(db.tableName(table), columns));
        QVariantList row;
        while (select.step()) {
            row.clear();
            for (int i = 0; i < columns.size(); ++i)
                row << select.value(i);
            sum.add(row);
            ++count;
        }
    }
    if (rows)
        *rows = count;
    return sum.hex();
}

void inOneSnapshot(engine::Database &db, const std::function<void()> &read)
{
    const bool server = db.onServer();
    if (server)
        db.execute(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL REPEATABLE READ"));
    try {
        engine::Transaction snapshot(db);
        read();
    } catch (...) {
        if (server && !db.inTransaction())
            db.execute(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL READ COMMITTED"));
        throw;
    }
    if (server)
        db.execute(QStringLiteral("SET SESSION CHARACTERISTICS AS TRANSACTION ISOLATION LEVEL READ COMMITTED"));
}

CopyResult copyDatabase(engine::Database &from, engine::Database &to, const CopyOptions &options)
{
    prepareTarget(to, options.replace);
    // One snapshot of the source for the whole copy: tables copied later
    // see the same moment as the first.
    CopyResult result;
    inOneSnapshot(from, [&] {
        for (const QString &table : copiedTables())
            result.tables << copyTable(from, to, table, options);
    });
    for (TableCopy &t : result.tables) {
        checkStop(options);
        t.targetSum = tableChecksum(to, t.table, columnsOf(to, t.table), &t.targetRows);
    }
    if (options.searchIndex) {
        // Built once over the rows copied: faster than kept in step batch by batch.
        to.buildSearchIndex(schema::personSearchIndex(), [&](int percent) {
            if (options.progress)
                options.progress(QLatin1String(kSearchIndexStep), percent, 100);
            return !(options.stop && options.stop());
        });
    }
    return result;
}

bool namesServer(const QString &where)
{
    return where.contains(QLatin1Char('=')) || where.startsWith(QLatin1String("postgres://"))
        || where.startsWith(QLatin1String("postgresql://"));
}

void openNamedDatabase(engine::Database &db, const QString &where, bool createMissing)
{
    if (namesServer(where)) {
        db.openServer(where);
        return;
    }
    const QString password = passwordFromConnect(QLatin1String(kConnectString));
    if (createMissing && !QFileInfo::exists(where))
        db.create(where, password);
    else
        db.open(where, password);
}

qint64 officeRowCount(engine::Database &db)
{
    qint64 rows = 0;
    for (const QString &table : copiedTables()) {
        if (db.hasTable(table))
            rows += db.scalar(QStringLiteral("SELECT count(*) FROM [%1]").arg(db.tableName(table))).toLongLong();
    }
    return rows;
}

namespace {

void removeFile(const QString &path)
{
    for (const char *suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(path + QLatin1String(suffix));
}

} // namespace

void copyToNewFile(engine::Database &from, const QString &destination, const QString &password,
                   const CopyOptions &options)
{
    if (QFileInfo::exists(destination))
        throw engine::EngineError(schema::kErrDatabaseExists,
                                  QStringLiteral("The file '%1' already exists.").arg(destination));
    const QString part = destination + QStringLiteral(".part-")
        + QString::number(QRandomGenerator::global()->generate64(), 36);
    try {
        {
            engine::Database copy;
            copy.create(part, password);
            const CopyResult result = copyDatabase(from, copy, options);
            if (!result.verified())
                throw engine::EngineError(engine::ErrDamagedFile,
                                          QStringLiteral("The copy does not match the database it was made from."));
            copy.setStopCheck(options.stop);
            copy.checkIntegrity();
        }
        if (!QFile::rename(part, destination))
            throw engine::EngineError(engine::ErrCannotOpenFile,
                                      QStringLiteral("The copy could not be named '%1'.").arg(destination));
    } catch (...) {
        removeFile(part);
        throw;
    }
}

} // namespace core
