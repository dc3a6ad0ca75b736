#include "Database.h"

#include "QueryCursor.h"

#include <sqlite3.h>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>
#include <memory>

namespace engine {

namespace {

QByteArray utf8Path(const QString &path)
{
    return QFile::encodeName(path);
}

// Header bytes of files that are databases, but not ours: a plain SQLite
// file, or an office file of the old Jet/ACE engines. They are reported as a
// foreign format and never touched.
bool isForeignFormat(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(32);
    if (head.startsWith(QByteArray("SQLite format 3\0", 16)))
        return true;
    const QByteArray jetArea = head.mid(4, 15);
    return jetArea == "Standard Jet DB" || jetArea == "Standard ACE DB";
}

QString quoted(const QString &identifier)
{
    QString s = identifier;
    s.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

} // namespace

Database::Database() = default;

Database::~Database()
{
    close();
}

void Database::openRaw(const QString &path, const QString *password, bool create)
{
    close();
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_FULLMUTEX;
    if (create)
        flags |= SQLITE_OPEN_CREATE;
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(utf8Path(path).constData(), &db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("cannot open");
        sqlite3_close_v2(db);
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Could not open '%1': %2").arg(path, msg));
    }
    sqlite3_extended_result_codes(db, 1);
    m_db = db;
    m_path = path;
    m_plain = password == nullptr;
    m_key = password ? *password : QString();
    if (password) {
        const QByteArray key = password->toUtf8();
        if (sqlite3_key(m_db, key.constData(), key.size()) != SQLITE_OK) {
            close();
            throw EngineError(ErrNotValidPassword, QStringLiteral("Not a valid password."));
        }
    }
    // A wrong key only shows at the first read of the file.
    char *err = nullptr;
    const int check = sqlite3_exec(m_db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, &err);
    sqlite3_free(err);
    if (check != SQLITE_OK) {
        const int primary = check & 0xff;
        close();
        if (primary == SQLITE_NOTADB)
            throw EngineError(ErrNotValidPassword, QStringLiteral("Not a valid password."));
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Could not read '%1'.").arg(path));
    }
    try {
        applySettings();
    } catch (...) {
        close();
        throw;
    }
}

void Database::applySettings()
{
    sqlite3_busy_timeout(m_db, 5000);
    // Readers never block writers of another process (a grid may hold a
    // statement open); every commit is synced to disk before it is reported.
    execute(QStringLiteral("PRAGMA journal_mode=WAL"));
    execute(QStringLiteral("PRAGMA synchronous=FULL"));
    // Sorts and temporary tables stay in memory: nothing of the data is
    // written unencrypted to a temporary file.
    execute(QStringLiteral("PRAGMA temp_store=MEMORY"));
}

void Database::open(const QString &path, const QString &password)
{
    if (path.trimmed().isEmpty() || path.contains(QChar(0)))
        throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid argument: empty database path."));
    QFileInfo info(path);
    if (!info.exists())
        throw EngineError(ErrFileNotFound, QStringLiteral("Could not find file '%1'.").arg(path));
    if (info.isDir() || !info.isReadable())
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Could not open '%1'.").arg(path));
    if (isForeignFormat(path))
        throw EngineError(ErrForeignFormat, QStringLiteral("Unrecognized database format '%1'.").arg(path));
    openRaw(path, &password, false);
}

void Database::create(const QString &path, const QString &password)
{
    if (path.trimmed().isEmpty() || path.contains(QChar(0)))
        throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid argument: empty database path."));
    if (QFileInfo::exists(path))
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Database '%1' already exists.").arg(path));
    openRaw(path, &password, true);
}

void Database::openPlain(const QString &path)
{
    if (path.trimmed().isEmpty())
        throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid argument: empty database path."));
    openRaw(path, nullptr, true);
}

void Database::close()
{
    if (m_db) {
        if (!sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        // Statements still open (a grid's cursor) keep the handle alive until
        // they are finalized.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

void Database::raise(int rc, const QString &context) const
{
    const QString detail = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString::fromUtf8(sqlite3_errstr(rc));
    const QString text = context.isEmpty() ? detail : context + QStringLiteral(": ") + detail;
    switch (rc) {
    case SQLITE_CONSTRAINT_PRIMARYKEY:
    case SQLITE_CONSTRAINT_UNIQUE:
        throw EngineError(ErrDuplicateKey,
                          QStringLiteral("The changes were not successful because they would create duplicate values in the key (%1).").arg(detail));
    case SQLITE_CONSTRAINT_NOTNULL:
        throw EngineError(ErrNullInRequired, QStringLiteral("A required field cannot be empty (%1).").arg(detail));
    case SQLITE_CONSTRAINT_CHECK:
        throw EngineError(ErrFieldTooSmall, QStringLiteral("The field is too small to accept the amount of data (%1).").arg(detail));
    default:
        break;
    }
    switch (rc & 0xff) {
    case SQLITE_NOTADB:
        throw EngineError(ErrNotValidPassword, QStringLiteral("Not a valid password."));
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw EngineError(ErrFileLocked, QStringLiteral("The database is in use by another user: %1").arg(text));
    case SQLITE_CANTOPEN:
        throw EngineError(ErrCannotOpenFile, text);
    case SQLITE_MISUSE:
        throw EngineError(ErrInvalidArgument, text);
    case SQLITE_ERROR:
        if (detail.startsWith(QLatin1String("no such table")))
            throw EngineError(ErrObjectNotFound, text);
        if (detail.startsWith(QLatin1String("no such column")))
            throw EngineError(ErrItemNotFound, text);
        if (detail.contains(QLatin1String("syntax error")) || detail.contains(QLatin1String("unrecognized token"))
            || detail.contains(QLatin1String("incomplete input")))
            throw EngineError(ErrQuerySyntax, text);
        break;
    default:
        break;
    }
    throw EngineError(ErrEngine, text);
}

Database::StatementHandle::~StatementHandle()
{
    sqlite3_finalize(stmt);
}

static void requireOpen(sqlite3 *db)
{
    if (!db)
        throw EngineError(ErrInvalidArgument, QStringLiteral("The database is not open."));
}

void Database::prepare(StatementHandle &statement, const QString &sql, const QVariantList &values)
{
    requireOpen(m_db);
    const QByteArray text = sql.toUtf8();
    const int rc = sqlite3_prepare_v2(m_db, text.constData(), text.size(), &statement.stmt, nullptr);
    if (rc != SQLITE_OK)
        raise(rc);
    for (int i = 0; i < values.size(); ++i)
        bindValue(statement.stmt, i + 1, values.at(i));
}

void Database::execute(const QString &sql, const QVariantList &values)
{
    StatementHandle g;
    prepare(g, sql, values);
    int rc;
    while ((rc = sqlite3_step(g.stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE)
        raise(sqlite3_extended_errcode(m_db));
}

QVariant Database::scalar(const QString &sql, const QVariantList &values)
{
    StatementHandle g;
    prepare(g, sql, values);
    const int rc = sqlite3_step(g.stmt);
    if (rc == SQLITE_ROW)
        return columnValue(g.stmt, 0);
    if (rc != SQLITE_DONE)
        raise(sqlite3_extended_errcode(m_db));
    return {};
}

QString Database::tableName(const QString &anyCase)
{
    const QVariant name = scalar(
        QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name = ? COLLATE NOCASE"), {anyCase});
    if (name.isNull())
        throw EngineError(ErrObjectNotFound,
                          QStringLiteral("The database engine could not find the object '%1'.").arg(anyCase));
    return name.toString();
}

bool Database::hasTable(const QString &anyCase)
{
    return !scalar(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table' AND name = ? COLLATE NOCASE"),
                   {anyCase})
                .isNull();
}

QList<ColumnInfo> Database::columns(const QString &table)
{
    const QString name = tableName(table);
    QList<ColumnInfo> result;
    {
        QueryCursor q(*this, QStringLiteral("PRAGMA table_info(%1)").arg(quoted(name)));
        while (q.next()) {
            ColumnInfo c;
            c.name = q.value(1).toString();
            c.type = q.value(2).toString().toUpper();
            c.pkPosition = q.value(5).toInt();
            c.primaryKey = c.pkPosition > 0;
            result.append(c);
        }
    }
    int pkCount = 0;
    for (const ColumnInfo &c : result)
        pkCount += c.primaryKey ? 1 : 0;
    // A single INTEGER primary key is the row id: the engine gives it.
    if (pkCount == 1) {
        for (ColumnInfo &c : result)
            if (c.primaryKey && c.type == QLatin1String("INTEGER"))
                c.autoIncrement = true;
    }
    return result;
}

void Database::begin()
{
    execute(QStringLiteral("BEGIN IMMEDIATE"));
}

void Database::commit()
{
    execute(QStringLiteral("COMMIT"));
}

void Database::rollback()
{
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool Database::inTransaction() const
{
    return m_db && !sqlite3_get_autocommit(m_db);
}

qint64 Database::lastInsertRowId() const
{
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

void Database::backupTo(const QString &destinationPath)
{
    requireOpen(m_db);
    if (destinationPath.trimmed().isEmpty())
        throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid argument: empty backup path."));
    const QString temp = destinationPath + QStringLiteral(".part-%1").arg(QRandomGenerator::global()->generate(), 8, 16,
                                                                           QLatin1Char('0'));
    auto removeTemp = [&temp] {
        QFile::remove(temp);
        QFile::remove(temp + QStringLiteral("-wal"));
        QFile::remove(temp + QStringLiteral("-shm"));
        QFile::remove(temp + QStringLiteral("-journal"));
    };
    sqlite3 *dest = nullptr;
    int rc = sqlite3_open_v2(utf8Path(temp).constData(), &dest,
                             SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
    auto failWith = [&](const QString &why) {
        sqlite3_close_v2(dest);
        removeTemp();
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Backup to '%1' failed: %2").arg(destinationPath, why));
    };
    if (rc != SQLITE_OK)
        failWith(dest ? QString::fromUtf8(sqlite3_errmsg(dest)) : QStringLiteral("cannot create"));
    if (!m_plain) {
        // The copy must be as encrypted as the original.
        const QByteArray key = m_key.toUtf8();
        if (sqlite3_key(dest, key.constData(), key.size()) != SQLITE_OK)
            failWith(QStringLiteral("cannot key the copy"));
    }
    sqlite3_backup *backup = sqlite3_backup_init(dest, "main", m_db, "main");
    if (!backup)
        failWith(QString::fromUtf8(sqlite3_errmsg(dest)));
    do {
        rc = sqlite3_backup_step(backup, -1);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            sqlite3_sleep(50);
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    const int finish = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE || finish != SQLITE_OK)
        failWith(QString::fromUtf8(sqlite3_errmsg(dest)));
    if (sqlite3_close(dest) != SQLITE_OK)
        failWith(QStringLiteral("cannot close the copy"));
    dest = nullptr;
    // rename() replaces atomically: the name holds either the old file or the whole copy.
    if (std::rename(utf8Path(temp).constData(), utf8Path(destinationPath).constData()) != 0) {
        removeTemp();
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Backup to '%1' failed: cannot rename.").arg(destinationPath));
    }
}

Transaction::Transaction(Database &db) : m_db(db)
{
    // Joins a transaction the caller already runs: that one commits.
    if (m_db.inTransaction())
        m_done = true;
    else
        m_db.begin();
}

Transaction::~Transaction()
{
    if (!m_done)
        m_db.rollback();
}

void Transaction::commit()
{
    if (m_done)
        return;
    m_db.commit();
    m_done = true;
}

QString escapeLike(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value) {
        if (c == QLatin1Char('\\') || c == QLatin1Char('%') || c == QLatin1Char('_'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

} // namespace engine
