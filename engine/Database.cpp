#include "engine/Database.h"

#include "engine/QueryCursor.h"
#include "engine/TextRules.h"

#include <sqlite3.h>

#include <openssl/evp.h>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine {

namespace {

constexpr int kBusyTimeoutMs = 5000;
constexpr int kKdfRounds = 64000; // SQLCipher 3 default
constexpr int kSaltBytes = 16;
constexpr int kKeyBytes = 32;
constexpr int kBackupPagesPerStep = 1024;

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
}

void requireUsablePath(const QString &path)
{
    if (path.trimmed().isEmpty() || path.contains(QChar(0)))
        throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid argument: empty database path."));
}

// Derived keys of this process: the password is stretched once per file
// (salt) and never again. Keys are looked up by a hash of the password.
struct KeyCache {
    QMutex mutex;
    QHash<QByteArray, QByteArray> keys;  // sha256(password) + salt -> raw key
    QHash<QByteArray, int> pageSizes;    // salt -> page size that opened the file
    int derivations = 0;
};

KeyCache &keyCache()
{
    static KeyCache cache;
    return cache;
}

QByteArray rawKeyFor(const QByteArray &password, const QByteArray &salt)
{
    KeyCache &cache = keyCache();
    const QByteArray id = QCryptographicHash::hash(password, QCryptographicHash::Sha256) + salt;
    QMutexLocker lock(&cache.mutex);
    const auto it = cache.keys.constFind(id);
    if (it != cache.keys.constEnd())
        return *it;
    // The derivation SQLCipher itself would make: PBKDF2-HMAC-SHA1 over the
    // file's salt.
    QByteArray key(kKeyBytes, '\0');
    if (PKCS5_PBKDF2_HMAC_SHA1(password.constData(), int(password.size()),
                               reinterpret_cast<const unsigned char *>(salt.constData()), int(salt.size()),
                               kKdfRounds, kKeyBytes, reinterpret_cast<unsigned char *>(key.data()))
        != 1)
        throw EngineError(ErrEngine, QStringLiteral("The key could not be derived."));
    ++cache.derivations;
    cache.keys.insert(id, key);
    return key;
}

int pageSizeHint(const QByteArray &salt)
{
    KeyCache &cache = keyCache();
    QMutexLocker lock(&cache.mutex);
    return cache.pageSizes.value(salt, kPageSize);
}

void rememberPageSize(const QByteArray &salt, int size)
{
    KeyCache &cache = keyCache();
    QMutexLocker lock(&cache.mutex);
    cache.pageSizes.insert(salt, size);
}

// "x'<key>'" or "x'<key><salt>'": SQLCipher takes the key as it is and
// derives nothing.
QByteArray keyLiteral(const QByteArray &rawKey, const QByteArray &salt = {})
{
    return QByteArray("x'") + rawKey.toHex() + salt.toHex() + QByteArray("'");
}

int exec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

// Header bytes of files that are databases, but not ours: a plain SQLite
// file, or an office file of the old Jet/ACE engines.
bool isForeignFormat(const QByteArray &head)
{
    if (head.startsWith(QByteArray("SQLite format 3\0", 16)))
        return true;
    const QByteArray jetArea = head.mid(4, 15);
    return jetArea == "Standard Jet DB" || jetArea == "Standard ACE DB";
}

// The first bytes of a regular file, read without ever blocking: a named
// pipe, a device or a link to one is refused before it is opened.
QByteArray fileHead(const QString &path, int bytes)
{
    const QByteArray native = nativePath(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw EngineError(ErrFileNotFound, QStringLiteral("Could not find file '%1'.").arg(path));
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Could not open '%1'.").arg(path));
    }
    if (!S_ISREG(st.st_mode))
        throw EngineError(ErrCannotOpenFile, QStringLiteral("'%1' is not a database file.").arg(path));
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Could not open '%1'.").arg(path));
    QByteArray head(bytes, '\0');
    struct stat opened {};
    ssize_t got = -1;
    if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode))
        got = ::read(fd, head.data(), size_t(bytes));
    ::close(fd);
    if (got < 0)
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Could not read '%1'.").arg(path));
    head.truncate(int(got));
    return head;
}

// The first read of a keyed file tells whether key and page size fit.
// A lock held by another process opening or closing the file is waited
// for (busy timeout), a few times over.
int probe(sqlite3 *db)
{
    int rc = SQLITE_OK;
    for (int attempt = 0; attempt < 3; ++attempt) {
        rc = exec(db, "SELECT count(*) FROM sqlite_master");
        if ((rc & 0xff) != SQLITE_BUSY && (rc & 0xff) != SQLITE_LOCKED)
            break;
    }
    return rc;
}

sqlite3 *openHandle(const QString &path, int flags)
{
    sqlite3 *db = nullptr;
    const int rc = sqlite3_open_v2(nativePath(path).constData(), &db, flags | SQLITE_OPEN_FULLMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("cannot open");
        sqlite3_close_v2(db);
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Could not open '%1': %2").arg(path, msg));
    }
    // Waiting for a lock comes before anything reads the file.
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db, 1);
    installTextRules(db);
    return db;
}

void syncFolderOf(const QString &path)
{
    const int fd = ::open(nativePath(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

int Database::keyDerivations()
{
    KeyCache &cache = keyCache();
    QMutexLocker lock(&cache.mutex);
    return cache.derivations;
}

Database::Database() = default;

Database::~Database()
{
    close();
}

void Database::adopt(sqlite3 *db, const QString &path)
{
    m_db = db;
    m_path = path;
}

void Database::openKeyed(const QString &path, const QByteArray &rawKey, const QByteArray &salt, int pageSizeHint,
                         const QStringList &requiredTables)
{
    QList<int> sizes{pageSizeHint};
    for (const int s : {kPageSize, 1024})
        if (!sizes.contains(s))
            sizes << s;
    const QByteArray key = keyLiteral(rawKey);
    sqlite3 *db = nullptr;
    int opened = 0;
    for (const int size : std::as_const(sizes)) {
        db = openHandle(path, SQLITE_OPEN_READWRITE);
        sqlite3_key(db, key.constData(), int(key.size()));
        exec(db, QByteArray("PRAGMA cipher_page_size = " + QByteArray::number(size)).constData());
        const int rc = probe(db);
        if (rc == SQLITE_OK) {
            opened = size;
            break;
        }
        sqlite3_close_v2(db);
        db = nullptr;
        if ((rc & 0xff) == SQLITE_NOTADB)
            continue; // another page size, or not the key
        if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
            throw EngineError(ErrFileLocked, QStringLiteral("The database '%1' is in use by another user.").arg(path));
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Could not read '%1'.").arg(path));
    }
    if (!db)
        throw EngineError(ErrNotValidPassword, QStringLiteral("Not a valid password."));

    adopt(db, path);
    m_plain = false;
    m_rawKey = rawKey;
    m_salt = salt;
    m_pageSize = opened;
    m_requiredTables = requiredTables;
    try {
        // Accepted only with a schema (and the tables the caller needs):
        // until then nothing has been written to the file.
        if (scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table'")).toLongLong() == 0)
            throw EngineError(ErrObjectNotFound, QStringLiteral("The database '%1' holds no tables.").arg(path));
        for (const QString &table : requiredTables)
            tableName(table);
        applySettings();
    } catch (...) {
        close();
        throw;
    }
    if (!salt.isEmpty())
        rememberPageSize(salt, opened);
}

void Database::open(const QString &path, const QString &password, const QStringList &requiredTables)
{
    close();
    requireUsablePath(path);
    const QByteArray head = fileHead(path, 100);
    if (isForeignFormat(head))
        throw EngineError(ErrForeignFormat, QStringLiteral("Unrecognized database format '%1'.").arg(path));
    if (head.isEmpty()) // an empty file is no database; it stays as it is
        throw EngineError(ErrObjectNotFound, QStringLiteral("The database '%1' holds no tables.").arg(path));
    QByteArray salt = head.left(kSaltBytes);
    salt.append(QByteArray(kSaltBytes - salt.size(), '\0'));
    const QByteArray rawKey = rawKeyFor(password.toUtf8(), salt);
    openKeyed(path, rawKey, salt, pageSizeHint(salt), requiredTables);
}

void Database::open(const OpenSpec &openSpec)
{
    close();
    requireUsablePath(openSpec.path);
    if (openSpec.plain) {
        fileHead(openSpec.path, 0); // a regular file that exists
        adopt(openHandle(openSpec.path, SQLITE_OPEN_READWRITE), openSpec.path);
        m_plain = true;
        try {
            applySettings();
        } catch (...) {
            close();
            throw;
        }
        return;
    }
    const QByteArray head = fileHead(openSpec.path, kSaltBytes);
    openKeyed(openSpec.path, openSpec.rawKey, head, openSpec.pageSize, openSpec.requiredTables);
}

OpenSpec Database::openSpec() const
{
    OpenSpec s;
    if (!m_db)
        return s;
    s.path = m_path;
    s.rawKey = m_rawKey;
    s.pageSize = m_pageSize;
    s.plain = m_plain;
    s.requiredTables = m_requiredTables;
    return s;
}

void Database::create(const QString &path, const QString &password)
{
    close();
    requireUsablePath(path);
    if (QFileInfo::exists(path))
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Database '%1' already exists.").arg(path));
    QByteArray salt(kSaltBytes, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(salt.data()), kSaltBytes / 4);
    const QByteArray rawKey = rawKeyFor(password.toUtf8(), salt);
    sqlite3 *db = openHandle(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // The salt is given with the key, so the file starts with it and this
    // process never has to derive its key again.
    const QByteArray key = keyLiteral(rawKey, salt);
    sqlite3_key(db, key.constData(), int(key.size()));
    exec(db, QByteArray("PRAGMA cipher_page_size = " + QByteArray::number(kPageSize)).constData());
    adopt(db, path);
    m_plain = false;
    m_rawKey = rawKey;
    m_salt = salt;
    m_pageSize = kPageSize;
    m_requiredTables.clear();
    try {
        if (probe(db) != SQLITE_OK)
            raise(sqlite3_extended_errcode(db), QStringLiteral("Could not create '%1'").arg(path));
        applySettings();
    } catch (...) {
        close();
        throw;
    }
    rememberPageSize(salt, kPageSize);
}

void Database::openPlain(const QString &path)
{
    close();
    requireUsablePath(path);
    adopt(openHandle(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE), path);
    m_plain = true;
    m_pageSize = 0;
    try {
        applySettings();
    } catch (...) {
        close();
        throw;
    }
}

void Database::applySettings()
{
    // Readers never block writers of another process (a grid may hold a
    // statement open); every commit is synced to disk before it is reported.
    execute(QStringLiteral("PRAGMA journal_mode=WAL"));
    execute(QStringLiteral("PRAGMA synchronous=FULL"));
    // Sorts and temporary tables stay in memory: nothing of the data is
    // written unencrypted to a temporary file.
    execute(QStringLiteral("PRAGMA temp_store=MEMORY"));
    setCacheSize(kDefaultCacheKiB);
}

void Database::setCacheSize(qint64 kib)
{
    execute(QStringLiteral("PRAGMA cache_size = %1").arg(-qMax<qint64>(kib, 64)));
}

void Database::setQueryOnly(bool on)
{
    execute(QStringLiteral("PRAGMA query_only = %1").arg(on ? 1 : 0));
}

void Database::close()
{
    if (m_db) {
        if (!sqlite3_get_autocommit(m_db))
            exec(m_db, "ROLLBACK");
        // Statements still open (a grid's cursor) keep the handle alive until
        // they are finalized.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    m_rawKey.fill('\0');
    m_rawKey.clear();
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
    case SQLITE_INTERRUPT:
        throw EngineError(ErrOperationCanceled, QStringLiteral("The operation was stopped."));
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

static void requireOpen(sqlite3 *db)
{
    if (!db)
        throw EngineError(ErrInvalidArgument, QStringLiteral("The database is not open."));
}

// ------------------------------------------------------------------ Statement

sqlite3_stmt *prepareStatement(Database &db, const QString &sql)
{
    requireOpen(db.handle());
    if (sql.contains(QChar(0)))
        throw EngineError(ErrQuerySyntax, QStringLiteral("The query text holds a NUL character."));
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *stmt = nullptr;
    const int rc = sqlite3_prepare_v2(db.handle(), text.constData(), int(text.size()), &stmt, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        db.raise(rc);
    }
    if (!stmt) // only blanks or a comment
        throw EngineError(ErrQuerySyntax, QStringLiteral("Empty query."));
    return stmt;
}

void requireValueCount(sqlite3_stmt *stmt, qsizetype given)
{
    if (const int expected = sqlite3_bind_parameter_count(stmt); expected != given)
        throw EngineError(ErrInvalidArgument,
                          QStringLiteral("The query expects %1 values, %2 given.").arg(expected).arg(given));
}

QStringList columnNames(sqlite3_stmt *stmt)
{
    QStringList names;
    for (int c = 0; c < sqlite3_column_count(stmt); ++c)
        names << QString::fromUtf8(sqlite3_column_name(stmt, c));
    return names;
}

Statement::Statement(Database &db, const QString &sql) : m_db(db), m_stmt(prepareStatement(db, sql)) {}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

void Statement::bind(const QVariantList &values)
{
    refuseNul(values);
    sqlite3_reset(m_stmt);
    sqlite3_clear_bindings(m_stmt);
    for (int i = 0; i < values.size(); ++i)
        bindValue(m_stmt, i + 1, values.at(i));
}

void Statement::bind(int position, const QVariant &value)
{
    refuseNul(value);
    bindValue(m_stmt, position, value);
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt);
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE) {
        sqlite3_reset(m_stmt);
        return false;
    }
    const int ext = sqlite3_extended_errcode(sqlite3_db_handle(m_stmt));
    sqlite3_reset(m_stmt);
    m_db.raise(ext);
}

QVariant Statement::value(int column) const
{
    return columnValue(m_stmt, column);
}

qint64 Statement::integer(int column) const
{
    return sqlite3_column_int64(m_stmt, column);
}

int Statement::columnCount() const
{
    return sqlite3_column_count(m_stmt);
}

void Statement::reset()
{
    sqlite3_reset(m_stmt);
}

// ------------------------------------------------------------------- Database

void Database::execute(const QString &sql, const QVariantList &values)
{
    Statement s(*this, sql);
    s.bind(values);
    while (s.step()) {
    }
}

QVariant Database::scalar(const QString &sql, const QVariantList &values)
{
    Statement s(*this, sql);
    s.bind(values);
    if (!s.step())
        return {};
    const QVariant v = s.value(0);
    s.reset();
    return v;
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
    QString quotedName = name;
    quotedName.replace(QLatin1Char('"'), QLatin1String("\"\""));
    QList<ColumnInfo> result;
    {
        Statement q(*this, QStringLiteral("PRAGMA table_info(\"%1\")").arg(quotedName));
        while (q.step()) {
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
        exec(m_db, "ROLLBACK");
}

bool Database::inTransaction() const
{
    return m_db && !sqlite3_get_autocommit(m_db);
}

qint64 Database::lastInsertRowId() const
{
    return m_db ? sqlite3_last_insert_rowid(m_db) : 0;
}

void Database::backupTo(const QString &destinationPath, const BackupProgress &progress)
{
    requireOpen(m_db);
    if (destinationPath.trimmed().isEmpty())
        throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid argument: empty backup path."));
    const QString temp = destinationPath + QStringLiteral(".part-%1").arg(QRandomGenerator::global()->generate(), 8, 16,
                                                                           QLatin1Char('0'));
    auto removeTemp = [&temp] {
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            QFile::remove(temp + QLatin1String(suffix));
    };
    sqlite3 *dest = nullptr;
    bool ownRead = false;
    auto failWith = [&](int number, const QString &why) {
        if (ownRead)
            exec(m_db, "ROLLBACK");
        sqlite3_close_v2(dest);
        removeTemp();
        throw EngineError(number, QStringLiteral("Backup to '%1' failed: %2").arg(destinationPath, why));
    };
    try {
        dest = openHandle(temp, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    } catch (const EngineError &e) {
        removeTemp();
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Backup to '%1' failed: %2").arg(destinationPath, e.description()));
    }
    if (!m_plain) {
        // As encrypted as the original, with the same key, salt and pages.
        const QByteArray key = keyLiteral(m_rawKey, m_salt);
        if (sqlite3_key(dest, key.constData(), int(key.size())) != SQLITE_OK
            || exec(dest, QByteArray("PRAGMA cipher_page_size = " + QByteArray::number(m_pageSize)).constData()) != SQLITE_OK)
            failWith(ErrCannotOpenFile, QStringLiteral("cannot key the copy"));
    }
    // One read snapshot of the source for the whole copy: it is consistent
    // and never starts over when another workstation writes meanwhile.
    if (!inTransaction()) {
        ownRead = exec(m_db, "BEGIN") == SQLITE_OK;
        if (!ownRead || probe(m_db) != SQLITE_OK)
            failWith(ErrFileLocked, QString::fromUtf8(sqlite3_errmsg(m_db)));
    }
    sqlite3_backup *backup = sqlite3_backup_init(dest, "main", m_db, "main");
    if (!backup)
        failWith(ErrCannotOpenFile, QString::fromUtf8(sqlite3_errmsg(dest)));
    int rc = SQLITE_OK;
    int waits = 0;
    bool stopped = false;
    for (;;) {
        rc = sqlite3_backup_step(backup, kBackupPagesPerStep);
        if ((rc == SQLITE_BUSY || rc == SQLITE_LOCKED) && ++waits < 250) {
            sqlite3_sleep(20);
            continue;
        }
        if (rc != SQLITE_OK && rc != SQLITE_DONE)
            break;
        const int total = sqlite3_backup_pagecount(backup);
        const int left = sqlite3_backup_remaining(backup);
        const int percent = total > 0 ? int(qint64(total - left) * 99 / total) : 99;
        if (progress && !progress(percent)) {
            stopped = true;
            break;
        }
        if (rc == SQLITE_DONE)
            break;
    }
    const int finish = sqlite3_backup_finish(backup);
    if (stopped)
        failWith(ErrOperationCanceled, QStringLiteral("the copy was stopped"));
    if (rc != SQLITE_DONE || finish != SQLITE_OK)
        failWith((rc & 0xff) == SQLITE_CANTOPEN ? ErrCannotOpenFile : ErrEngine, QString::fromUtf8(sqlite3_errmsg(dest)));
    if (ownRead) {
        exec(m_db, "ROLLBACK");
        ownRead = false;
    }
    if (sqlite3_close(dest) != SQLITE_OK)
        failWith(ErrEngine, QStringLiteral("cannot close the copy"));
    dest = nullptr;
    // rename() replaces atomically: the name holds either the old file or the whole copy.
    if (std::rename(nativePath(temp).constData(), nativePath(destinationPath).constData()) != 0) {
        removeTemp();
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Backup to '%1' failed: cannot rename.").arg(destinationPath));
    }
    syncFolderOf(destinationPath);
    if (progress)
        progress(100);
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

void refuseNul(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString && value.toString().contains(QChar(0)))
        throw EngineError(ErrFieldTooSmall, QStringLiteral("A text holding a NUL character is not accepted."));
}

void refuseNul(const QVariantList &values)
{
    for (const QVariant &v : values)
        refuseNul(v);
}

} // namespace engine
