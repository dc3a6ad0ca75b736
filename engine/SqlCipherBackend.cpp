#include "engine/SqlCipherBackend.h"

#include "engine/Database.h"
#include "engine/SqlCipherSearch.h"
#include "engine/TextRules.h"

#include <sqlite3.h>

#include <openssl/evp.h>

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QRandomGenerator>
#include <QSet>

#include <cerrno>
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
// The largest text or blob a connection restricted to queries makes.
constexpr int kQueryValueBytes = 16 * 1024 * 1024;

QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(path);
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

int keyWithPageSize(sqlite3 *db, const QByteArray &key, int pageSize)
{
    const int rc = sqlite3_key(db, key.constData(), int(key.size()));
    const int set = exec(db, QByteArray("PRAGMA cipher_page_size = " + QByteArray::number(pageSize)).constData());
    return rc != SQLITE_OK ? rc : set;
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

// The first bytes of a regular file; a named pipe, a device or a link to
// one is refused before it is opened. They are read through SQLite's own
// file layer: closing a descriptor of a file drops every lock the process
// holds on it, and the connections this process has open on the file hold
// theirs (SQLite keeps such a descriptor open until its locks are gone).
// Without them another program ending would take itself for the file's last
// user and remove the write-ahead log under this one.
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
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(native.constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Could not open '%1'.").arg(path));
    }
    QByteArray head(bytes, '\0');
    sqlite3_int64 size = -1;
    sqlite3_file *file = nullptr;
    if (sqlite3_file_control(db, "main", SQLITE_FCNTL_FILE_POINTER, &file) == SQLITE_OK && file && file->pMethods
        && file->pMethods->xFileSize(file, &size) == SQLITE_OK) {
        const int got = int(qMin<sqlite3_int64>(bytes, size));
        // A short read fills the rest with zeros and says so; the size says how much is there.
        if (got > 0 && (file->pMethods->xRead(file, head.data(), got, 0) & 0xff) != SQLITE_OK)
            size = -1;
        head.truncate(qMax(0, got));
    }
    sqlite3_close(db);
    if (size < 0)
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Could not read '%1'.").arg(path));
    if (!QFileInfo(path).isFile()) // replaced by something else meanwhile
        throw EngineError(ErrCannotOpenFile, QStringLiteral("'%1' is not a database file.").arg(path));
    return head;
}

// The program writes every file it opens, and the engine makes its journal
// files beside it. Opened without the right to write, the engine would fall
// back to reading and leave -wal and -shm files with the file's own rights,
// which other users then cannot write: such a file is refused first.
void requireWritable(const QString &path)
{
    const QByteArray file = nativePath(path);
    const QByteArray folder = nativePath(QFileInfo(path).absolutePath());
    if (::access(file.constData(), W_OK) != 0 || ::access(folder.constData(), W_OK | X_OK) != 0)
        throw EngineError(ErrCannotOpenFile,
                          QStringLiteral("You do not have permission to write '%1' or its folder.").arg(path));
}

// A copy cut short or a disk that filled up leaves a file that ends inside
// a page; the engine would read it as far as it goes and write on it.
bool wholePages(const QString &path, int pageSize)
{
    struct stat st {};
    if (::stat(nativePath(path).constData(), &st) != 0)
        return true; // gone meanwhile: the next read says so
    return pageSize > 0 && st.st_size % pageSize == 0;
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
    filesearch::installCandidates(db);
    return db;
}

BackendFailure::Kind kindOf(int rc, const QString &message)
{
    using Kind = BackendFailure::Kind;
    switch (rc) {
    case SQLITE_CONSTRAINT_PRIMARYKEY:
    case SQLITE_CONSTRAINT_UNIQUE:
        return Kind::DuplicateKey;
    case SQLITE_CONSTRAINT_NOTNULL:
        return Kind::NullInRequired;
    case SQLITE_CONSTRAINT_CHECK:
        return Kind::CheckViolated;
    default:
        break;
    }
    switch (rc & 0xff) {
    case SQLITE_NOTADB:
        return Kind::NotADatabase;
    case SQLITE_BUSY:
        return Kind::Busy;
    case SQLITE_LOCKED:
        return Kind::Locked;
    case SQLITE_CANTOPEN:
        return Kind::CannotOpen;
    case SQLITE_MISUSE:
        return Kind::Misuse;
    case SQLITE_INTERRUPT:
        return Kind::Interrupted;
    case SQLITE_AUTH:
        return Kind::NotAuthorized;
    case SQLITE_ERROR:
        // The library words a refused function as a plain error.
        if (message.startsWith(QLatin1String("not authorized")))
            return Kind::NotAuthorized;
        if (message.startsWith(QLatin1String("no such table")))
            return Kind::NoSuchTable;
        if (message.startsWith(QLatin1String("no such column")))
            return Kind::NoSuchColumn;
        if (message.contains(QLatin1String("syntax error")) || message.contains(QLatin1String("unrecognized token"))
            || message.contains(QLatin1String("incomplete input")))
            return Kind::Syntax;
        return Kind::Other;
    default:
        return Kind::Other;
    }
}

BackendFailure failureOn(sqlite3 *db, int rc)
{
    BackendFailure failure;
    failure.summary = QString::fromUtf8(sqlite3_errstr(rc));
    failure.message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : failure.summary;
    failure.kind = kindOf(rc, failure.message);
    return failure;
}

class SqlCipherStatement final : public BackendStatement {
public:
    SqlCipherStatement(sqlite3_stmt *stmt, std::shared_ptr<FileUse> hold) : m_stmt(stmt), m_hold(std::move(hold)) {}
    ~SqlCipherStatement() override { sqlite3_finalize(m_stmt); }
    SqlCipherStatement(const SqlCipherStatement &) = delete;
    SqlCipherStatement &operator=(const SqlCipherStatement &) = delete;

    int parameterCount() const override { return sqlite3_bind_parameter_count(m_stmt); }
    QString parameterName(int position) const override
    {
        const char *name = sqlite3_bind_parameter_name(m_stmt, position);
        return name ? QString::fromUtf8(name + 1) : QString();
    }
    void bindNull(int position) override { sqlite3_bind_null(m_stmt, position); }
    void bindInteger(int position, qint64 value) override { sqlite3_bind_int64(m_stmt, position, value); }
    void bindReal(int position, double value) override { sqlite3_bind_double(m_stmt, position, value); }
    // An empty text or blob is bound as one, never as NULL (which a null
    // pointer would bind).
    void bindText(int position, QByteArrayView utf8) override
    {
        sqlite3_bind_text(m_stmt, position, utf8.isNull() ? "" : utf8.data(), int(utf8.size()), SQLITE_TRANSIENT);
    }
    void bindBlob(int position, QByteArrayView bytes) override
    {
        sqlite3_bind_blob(m_stmt, position, bytes.isNull() ? "" : bytes.data(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    void clearBindings() override { sqlite3_clear_bindings(m_stmt); }

    bool step() override
    {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        sqlite3 *db = sqlite3_db_handle(m_stmt);
        throw failureOn(db, sqlite3_extended_errcode(db));
    }
    void reset() override { sqlite3_reset(m_stmt); }

    int columnCount() const override { return sqlite3_column_count(m_stmt); }
    QString columnName(int column) const override { return QString::fromUtf8(sqlite3_column_name(m_stmt, column)); }
    QVariant value(int column) const override { return columnValue(m_stmt, column); }
    qint64 integer(int column) const override { return sqlite3_column_int64(m_stmt, column); }
    bool isReadOnly() const override { return sqlite3_stmt_readonly(m_stmt) != 0; }

private:
    sqlite3_stmt *m_stmt;
    std::shared_ptr<FileUse> m_hold; // let go after the finalize
};

// The functions a restricted connection may call: SQL's ordinary scalar,
// aggregate, window, date and JSON functions, the engine's LIKE and its
// search rule. Nothing
// that reaches outside the query (load_extension, fts3_tokenizer, the
// cipher's export and settings) is among them.
bool isAllowedFunction(const char *name)
{
    static const QSet<QByteArray> allowed = [] {
        QSet<QByteArray> names;
        for (const char *n : {
                 // scalar
                 "abs", "char", "coalesce", "concat", "concat_ws", "format", "glob", "hex", "ifnull", "iif",
                 "instr", "length", "like", "likelihood", "likely", "lower", "ltrim", "max", "min", "nullif",
                 "octet_length", "printf", "quote", "random", "randomblob", "replace", "round", "rtrim", "sign",
                 "soundex", "substr", "substring", "trim", "typeof", "unhex", "unicode", "unlikely", "upper",
                 "zeroblob",
                 // the search rule (engine/TextRules.h), the same on the server
                 "velm_search", "velm_match",
                 // aggregate
                 "avg", "count", "group_concat", "string_agg", "sum", "total",
                 // window
                 "row_number", "rank", "dense_rank", "percent_rank", "cume_dist", "ntile", "lag", "lead",
                 "first_value", "last_value", "nth_value",
                 // date and time
                 "date", "time", "datetime", "julianday", "unixepoch", "strftime", "timediff", "current_date",
                 "current_time", "current_timestamp",
                 // mathematics
                 "acos", "acosh", "asin", "asinh", "atan", "atan2", "atanh", "ceil", "ceiling", "cos", "cosh",
                 "degrees", "exp", "floor", "ln", "log", "log10", "log2", "mod", "pi", "pow", "power", "radians",
                 "sin", "sinh", "sqrt", "tan", "tanh", "trunc",
                 // JSON
                 "json", "json_array", "json_array_length", "json_extract", "json_object", "json_quote",
                 "json_type", "json_valid", "json_group_array", "json_group_object"})
            names.insert(QByteArray(n));
        return names;
    }();
    return name && allowed.contains(QByteArray(name).toLower());
}

// Tables a restricted connection never reads: the users (their passwords
// are no report's business), the audit trail (who did what is no report's
// business either) and the views of raw pages, which hold them too.
bool isHiddenTable(const char *name)
{
    for (const char *hidden : {"users", "audit", "sqlite_dbpage", "dbstat"})
        if (name && qstricmp(name, hidden) == 0)
            return true;
    return false;
}

// Only reading is authorised on a restricted connection.
int authorizeReadOnly(void *, int action, const char *arg1, const char *arg2, const char *, const char *)
{
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_RECURSIVE:
        return SQLITE_OK;
    case SQLITE_READ:
        return isHiddenTable(arg1) ? SQLITE_DENY : SQLITE_OK;
    case SQLITE_FUNCTION:
        return isAllowedFunction(arg2) ? SQLITE_OK : SQLITE_DENY;
    default:
        return SQLITE_DENY;
    }
}

} // namespace

BackendFailure sqliteFailure(sqlite3 *db, int rc)
{
    return failureOn(db, rc);
}

QVariant columnValue(sqlite3_stmt *stmt, int column)
{
    switch (sqlite3_column_type(stmt, column)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return QVariant(static_cast<qlonglong>(sqlite3_column_int64(stmt, column)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(stmt, column));
    case SQLITE_BLOB: {
        const void *data = sqlite3_column_blob(stmt, column);
        const int size = sqlite3_column_bytes(stmt, column);
        return QVariant(QByteArray(static_cast<const char *>(data), size));
    }
    default: {
        const auto *data = reinterpret_cast<const char *>(sqlite3_column_text(stmt, column));
        const int size = sqlite3_column_bytes(stmt, column);
        return QVariant(QString::fromUtf8(data, size));
    }
    }
}

sqlite3 *nativeHandle(const Database &db)
{
    const auto *connection = dynamic_cast<const SqlCipherConnection *>(db.backend());
    return connection ? connection->handle() : nullptr;
}

// ------------------------------------------------------------------ opening

int SqlCipherConnection::keyDerivations()
{
    KeyCache &cache = keyCache();
    QMutexLocker lock(&cache.mutex);
    return cache.derivations;
}

SqlCipherConnection::SqlCipherConnection(sqlite3 *db, const QByteArray &rawKey, const QByteArray &salt, int pageSize,
                                         bool plain)
    : m_db(db), m_rawKey(rawKey), m_salt(salt), m_pageSize(pageSize), m_plain(plain)
{
}

SqlCipherConnection::~SqlCipherConnection()
{
    if (!sqlite3_get_autocommit(m_db))
        exec(m_db, "ROLLBACK");
    // Statements still open (a grid's cursor) keep the handle alive until
    // they are finalized.
    sqlite3_close_v2(m_db);
    m_rawKey.fill('\0');
}

std::unique_ptr<SqlCipherConnection> SqlCipherConnection::openKeyed(const QString &path, const QByteArray &rawKey,
                                                                    const QByteArray &salt, int pageSizeHint)
{
    QList<int> sizes{pageSizeHint};
    for (const int s : {kPageSize, 1024})
        if (!sizes.contains(s))
            sizes << s;
    const QByteArray key = keyLiteral(rawKey);
    requireWritable(path);
    for (const int size : std::as_const(sizes)) {
        sqlite3 *db = openHandle(path, SQLITE_OPEN_READWRITE);
        keyWithPageSize(db, key, size);
        const int rc = probe(db);
        if (rc == SQLITE_OK && sqlite3_db_readonly(db, "main") == 1) {
            sqlite3_close_v2(db); // writable a moment ago: taken away meanwhile
            throw EngineError(ErrCannotOpenFile, QStringLiteral("'%1' opens only for reading.").arg(path));
        }
        if (rc == SQLITE_OK && !wholePages(path, size)) {
            sqlite3_close_v2(db);
            throw EngineError(ErrDamagedFile, QStringLiteral("The database '%1' is cut short.").arg(path));
        }
        if (rc == SQLITE_OK)
            return std::unique_ptr<SqlCipherConnection>(new SqlCipherConnection(db, rawKey, salt, size, false));
        sqlite3_close_v2(db);
        if ((rc & 0xff) == SQLITE_NOTADB)
            continue; // another page size, or not the key
        if ((rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED)
            throw EngineError(ErrFileLocked, QStringLiteral("The database '%1' is in use by another user.").arg(path));
        // The schema's own pages may be the ones cut off.
        if (!wholePages(path, size))
            throw EngineError(ErrDamagedFile, QStringLiteral("The database '%1' is cut short.").arg(path));
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Could not read '%1'.").arg(path));
    }
    throw EngineError(ErrNotValidPassword, QStringLiteral("Not a valid password."));
}

std::unique_ptr<SqlCipherConnection> SqlCipherConnection::open(const QString &path, const QString &password)
{
    const QByteArray head = fileHead(path, 100);
    if (isForeignFormat(head))
        throw EngineError(ErrForeignFormat, QStringLiteral("Unrecognized database format '%1'.").arg(path));
    if (head.isEmpty()) // an empty file is no database; it stays as it is
        throw EngineError(ErrObjectNotFound, QStringLiteral("The database '%1' holds no tables.").arg(path));
    QByteArray salt = head.left(kSaltBytes);
    salt.append(QByteArray(kSaltBytes - salt.size(), '\0'));
    const QByteArray rawKey = rawKeyFor(password.toUtf8(), salt);
    return openKeyed(path, rawKey, salt, pageSizeHint(salt));
}

std::unique_ptr<SqlCipherConnection> SqlCipherConnection::open(const OpenSpec &openSpec)
{
    if (openSpec.plain) {
        fileHead(openSpec.path, 0); // a regular file that exists
        sqlite3 *db = openHandle(openSpec.path, SQLITE_OPEN_READWRITE);
        return std::unique_ptr<SqlCipherConnection>(new SqlCipherConnection(db, {}, {}, 0, true));
    }
    const QByteArray head = fileHead(openSpec.path, kSaltBytes);
    return openKeyed(openSpec.path, openSpec.rawKey, head, openSpec.pageSize);
}

std::unique_ptr<SqlCipherConnection> SqlCipherConnection::create(const QString &path, const QString &password)
{
    if (QFileInfo::exists(path))
        throw EngineError(ErrCannotOpenFile, QStringLiteral("Database '%1' already exists.").arg(path));
    QByteArray salt(kSaltBytes, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(salt.data()), kSaltBytes / 4);
    const QByteArray rawKey = rawKeyFor(password.toUtf8(), salt);
    sqlite3 *db = openHandle(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    // The salt is given with the key, so the file starts with it and this
    // process never has to derive its key again.
    keyWithPageSize(db, keyLiteral(rawKey, salt), kPageSize);
    std::unique_ptr<SqlCipherConnection> connection(new SqlCipherConnection(db, rawKey, salt, kPageSize, false));
    if (probe(db) != SQLITE_OK)
        raiseFailure(failureOn(db, sqlite3_extended_errcode(db)), QStringLiteral("Could not create '%1'").arg(path));
    return connection;
}

std::unique_ptr<SqlCipherConnection> SqlCipherConnection::openPlain(const QString &path)
{
    sqlite3 *db = openHandle(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    return std::unique_ptr<SqlCipherConnection>(new SqlCipherConnection(db, {}, {}, 0, true));
}

OpenSpec SqlCipherConnection::openSpec() const
{
    OpenSpec s;
    s.rawKey = m_rawKey;
    s.pageSize = m_pageSize;
    s.plain = m_plain;
    return s;
}

void SqlCipherConnection::prepareForUse(Journal journal)
{
    // With WAL readers never block writers of another process (a grid may
    // hold a statement open); every commit is synced to disk before it is
    // reported. Leaving WAL needs the file to itself: while another
    // connection holds it the mode stays, and that is refused as busy
    // rather than working on in WAL where it is not safe.
    if (journal == Journal::Wal) {
        run("PRAGMA journal_mode=WAL");
    } else if (scalar("PRAGMA journal_mode=DELETE", {}).toString().compare(QLatin1String("delete"),
                                                                         Qt::CaseInsensitive) != 0) {
        BackendFailure busy = failureOf(SQLITE_BUSY);
        busy.message = QStringLiteral("the file stays in WAL mode while another connection holds it");
        throw busy;
    }
    run("PRAGMA synchronous=FULL");
    // Sorts and temporary tables stay in memory: nothing of the data is
    // written unencrypted to a temporary file.
    run("PRAGMA temp_store=MEMORY");
    setCacheSize(kDefaultCacheKiB);
    // Further connections to the file try its page size first.
    if (!m_salt.isEmpty())
        rememberPageSize(m_salt, m_pageSize);
}

// ------------------------------------------------------------ statements

std::unique_ptr<BackendStatement> SqlCipherConnection::prepare(const QByteArray &utf8, QByteArray *rest)
{
    sqlite3_stmt *stmt = nullptr;
    const char *tail = nullptr;
    const int rc = sqlite3_prepare_v2(m_db, utf8.constData(), int(utf8.size()), &stmt, &tail);
    if (rc != SQLITE_OK) {
        sqlite3_finalize(stmt);
        throw failureOn(m_db, rc);
    }
    if (rest)
        *rest = QByteArray(tail ? tail : "");
    if (!stmt)
        return nullptr;
    if (readsHiddenTable(stmt)) {
        sqlite3_finalize(stmt);
        throw BackendFailure{BackendFailure::Kind::NotAuthorized, QStringLiteral("access to users or audit is prohibited"),
                             QString::fromUtf8(sqlite3_errstr(SQLITE_AUTH))};
    }
    return std::make_unique<SqlCipherStatement>(stmt, m_hold);
}

// Whether the statement opens a table or index that a restricted connection
// never reads. The authorizer sees only the columns read, so a count of
// the rows would pass it: the compiled program tells every table it opens.
bool SqlCipherConnection::readsHiddenTable(sqlite3_stmt *stmt)
{
    if (m_hiddenPages.isEmpty())
        return false;
    const QByteArray explain = QByteArray("EXPLAIN ") + sqlite3_sql(stmt);
    sqlite3_stmt *program = nullptr;
    if (sqlite3_prepare_v2(m_db, explain.constData(), int(explain.size()), &program, nullptr) != SQLITE_OK) {
        sqlite3_finalize(program);
        return true; // not known, so not run
    }
    bool hidden = false;
    // Columns: addr, opcode, p1, p2 (the root page), p3 (the database, 0 = main).
    while (!hidden && program && sqlite3_step(program) == SQLITE_ROW) {
        const auto *op = reinterpret_cast<const char *>(sqlite3_column_text(program, 1));
        hidden = op && (qstrcmp(op, "OpenRead") == 0 || qstrcmp(op, "ReopenIdx") == 0)
                 && sqlite3_column_int(program, 4) == 0 && m_hiddenPages.contains(sqlite3_column_int(program, 3));
    }
    sqlite3_finalize(program);
    return hidden;
}

BackendFailure SqlCipherConnection::failureOf(int code) const
{
    return failureOn(m_db, code);
}

// Runs one statement of the connection's own to its end.
void SqlCipherConnection::run(const char *sql)
{
    const std::unique_ptr<BackendStatement> s = prepare(QByteArray(sql));
    while (s && s->step()) {
    }
}

// The first column of the first row of a statement with one text value.
QVariant SqlCipherConnection::scalar(const char *sql, const QString &text)
{
    const std::unique_ptr<BackendStatement> s = prepare(QByteArray(sql));
    if (s->parameterCount() > 0)
        s->bindText(1, text.toUtf8());
    return s->step() ? s->value(0) : QVariant();
}

void SqlCipherConnection::setCacheSize(qint64 kib)
{
    run(QByteArray("PRAGMA cache_size = " + QByteArray::number(-qMax<qint64>(kib, 64))).constData());
}

void SqlCipherConnection::setQueryOnly(bool on)
{
    run(on ? "PRAGMA query_only = 1" : "PRAGMA query_only = 0");
}

void SqlCipherConnection::restrictToQueries()
{
    run("PRAGMA query_only = 1");
    // The pages where the hidden tables and their indexes begin.
    m_hiddenPages.clear();
    const std::unique_ptr<BackendStatement> pages =
        prepare("SELECT rootpage FROM sqlite_master WHERE lower(tbl_name) IN ('users', 'audit') AND rootpage > 0");
    while (pages->step())
        m_hiddenPages.insert(int(pages->integer(0)));
    sqlite3_set_authorizer(m_db, authorizeReadOnly, nullptr);
    // A value past the bound fails its query (TooBig) instead of taking
    // the process's memory.
    sqlite3_limit(m_db, SQLITE_LIMIT_LENGTH, kQueryValueBytes);
}

QString SqlCipherConnection::tableName(const QString &anyCase)
{
    return scalar("SELECT name FROM sqlite_master WHERE type='table' AND name = ? COLLATE NOCASE", anyCase).toString();
}

bool SqlCipherConnection::holdsTables()
{
    return scalar("SELECT count(*) FROM sqlite_master WHERE type = 'table'", {}).toLongLong() > 0;
}

QList<ColumnInfo> SqlCipherConnection::columns(const QString &table)
{
    QString quotedName = table;
    quotedName.replace(QLatin1Char('"'), QLatin1String("\"\""));
    QList<ColumnInfo> result;
    const std::unique_ptr<BackendStatement> q = prepare(QStringLiteral("PRAGMA table_info(\"%1\")").arg(quotedName).toUtf8());
    while (q->step()) {
        ColumnInfo c;
        c.name = q->value(1).toString();
        c.type = q->value(2).toString().toUpper();
        c.pkPosition = q->value(5).toInt();
        c.primaryKey = c.pkPosition > 0;
        result.append(c);
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

void SqlCipherConnection::begin()
{
    run("BEGIN IMMEDIATE");
    m_changesAtBegin = sqlite3_total_changes(m_db);
}

void SqlCipherConnection::commit()
{
    // What the transaction wrote reaches the search index before it ends.
    if (sqlite3_total_changes(m_db) != m_changesAtBegin)
        filesearch::flush(m_db);
    run("COMMIT");
}

void SqlCipherConnection::rollback()
{
    if (!sqlite3_get_autocommit(m_db))
        exec(m_db, "ROLLBACK");
}

bool SqlCipherConnection::inTransaction() const
{
    return !sqlite3_get_autocommit(m_db);
}

qint64 SqlCipherConnection::lastInsertRowId() const
{
    return sqlite3_last_insert_rowid(m_db);
}

qint64 SqlCipherConnection::changes() const
{
    return sqlite3_changes(m_db);
}

void SqlCipherConnection::interrupt()
{
    sqlite3_interrupt(m_db);
}

int SqlCipherConnection::checkStop(void *connection)
{
    return static_cast<SqlCipherConnection *>(connection)->m_stopCheck() ? 1 : 0;
}

void SqlCipherConnection::setStopCheck(std::function<bool()> check, int interval)
{
    m_stopCheck = std::move(check);
    if (m_stopCheck)
        sqlite3_progress_handler(m_db, qMax(1, interval), checkStop, this);
    else
        sqlite3_progress_handler(m_db, 0, nullptr, nullptr);
}

// ------------------------------------------------------------------ backup

// The new file, keyed as this one: the same key, salt and pages.
sqlite3 *SqlCipherConnection::openCopy(const QString &file) const
{
    sqlite3 *dest = openHandle(file, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (!m_plain && keyWithPageSize(dest, keyLiteral(m_rawKey, m_salt), m_pageSize) != SQLITE_OK) {
        sqlite3_close_v2(dest);
        throw EngineError(ErrCannotOpenFile, QStringLiteral("cannot key the copy"));
    }
    return dest;
}

// One read snapshot of the source for the whole copy: it is consistent and
// never starts over when another workstation writes meanwhile. True when
// the snapshot is the copy's own (a transaction already running is used
// as it is).
bool SqlCipherConnection::holdSnapshot()
{
    if (inTransaction())
        return false;
    const bool begun = exec(m_db, "BEGIN") == SQLITE_OK;
    if (begun && probe(m_db) == SQLITE_OK)
        return true;
    const QString why = QString::fromUtf8(sqlite3_errmsg(m_db));
    if (begun)
        exec(m_db, "ROLLBACK");
    throw EngineError(ErrFileLocked, why);
}

void SqlCipherConnection::copyPages(sqlite3 *dest, const std::function<bool(int)> &progress)
{
    sqlite3_backup *backup = sqlite3_backup_init(dest, "main", m_db, "main");
    if (!backup)
        throw EngineError(ErrCannotOpenFile, QString::fromUtf8(sqlite3_errmsg(dest)));
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
        throw EngineError(ErrOperationCanceled, QStringLiteral("the copy was stopped"));
    // A page of the source that does not decrypt (the cipher reports a plain
    // error) or does not hold together makes a damaged copy, not a failed
    // write: those are full, I/O, read-only and cannot-open.
    const int kind = rc & 0xff;
    if (kind == SQLITE_CORRUPT || kind == SQLITE_NOTADB || kind == SQLITE_ERROR)
        throw EngineError(ErrDamagedFile, QString::fromUtf8(sqlite3_errstr(rc)));
    if (rc != SQLITE_DONE || finish != SQLITE_OK)
        throw EngineError((rc & 0xff) == SQLITE_CANTOPEN ? ErrCannotOpenFile : ErrEngine,
                          QString::fromUtf8(sqlite3_errmsg(dest)));
}

void SqlCipherConnection::copyTo(const QString &file, const std::function<bool(int)> &progress)
{
    sqlite3 *dest = openCopy(file);
    bool ownRead = false;
    try {
        ownRead = holdSnapshot();
        copyPages(dest, progress);
    } catch (...) {
        if (ownRead)
            exec(m_db, "ROLLBACK");
        sqlite3_close_v2(dest);
        throw;
    }
    if (ownRead)
        exec(m_db, "ROLLBACK");
    if (sqlite3_close(dest) != SQLITE_OK) {
        sqlite3_close_v2(dest);
        throw EngineError(ErrEngine, QStringLiteral("cannot close the copy"));
    }
}

// ------------------------------------------------------------------ schema

namespace {

QString quotedName(const QString &identifier)
{
    QString q = identifier;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

// One column: texts compare under the engine's own collation (the key
// columns too), so keys, sorts and searches fold letter case alike; a
// length limit counts characters and a NUL never reaches it.
QString fieldSql(const FieldDef &f, bool inKey)
{
    using Type = FieldDef::Type;
    const QString q = quotedName(f.name);
    QString def = q;
    switch (f.type) {
    case Type::Text:
    case Type::Memo:
        def += QStringLiteral(" TEXT COLLATE %1").arg(QLatin1String(kFoldCollation));
        if (inKey)
            def += QLatin1String(" NOT NULL");
        if (f.type == Type::Text && f.maxLength > 0)
            def += QStringLiteral(" CHECK (length(%1) <= %2)").arg(q).arg(f.maxLength);
        break;
    case Type::Integer:
        def += QLatin1String(inKey ? " INTEGER NOT NULL" : " INTEGER");
        break;
    case Type::Flag:
        def += QLatin1String(" INTEGER DEFAULT 0");
        break;
    case Type::AutoNumber:
        def += QLatin1String(" INTEGER PRIMARY KEY AUTOINCREMENT");
        break;
    case Type::Real:
        def += QLatin1String(" REAL");
        break;
    case Type::Blob:
        def += QLatin1String(" BLOB");
        break;
    }
    return def;
}

} // namespace

QString createTableSql(const TableDef &table)
{
    QStringList parts;
    // An auto-number column carries the key itself; any other key is a
    // table constraint so that its parts keep their declared order.
    bool keyInColumn = false;
    for (const FieldDef &f : table.fields) {
        parts << fieldSql(f, table.key.contains(f.name));
        keyInColumn = keyInColumn || f.type == FieldDef::Type::AutoNumber;
    }
    if (!table.key.isEmpty() && !keyInColumn) {
        QStringList keys;
        for (const QString &k : table.key)
            keys << quotedName(k);
        parts << QStringLiteral("PRIMARY KEY (%1)").arg(keys.join(QLatin1String(", ")));
    }
    return QStringLiteral("CREATE TABLE %1 (\n  %2\n)").arg(quotedName(table.name), parts.join(QLatin1String(",\n  ")));
}

SqlCondition SqlCipherConnection::textCondition(const QString &table, const QList<TextCriterion> &criteria,
                                                IndexUse use)
{
    return filesearch::condition(m_db, table, criteria, use);
}

SearchIndexState SqlCipherConnection::searchIndexState(const SearchIndexDef &index)
{
    return filesearch::state(m_db, index);
}

void SqlCipherConnection::buildSearchIndex(const SearchIndexDef &index, const BuildProgress &progress)
{
    if (inTransaction())
        throw failureOf(SQLITE_MISUSE);
    filesearch::build(m_db, index, progress);
}

void SqlCipherConnection::dropSearchIndex(const SearchIndexDef &index)
{
    const bool own = !inTransaction();
    if (own)
        run("BEGIN IMMEDIATE");
    try {
        filesearch::drop(m_db, index);
    } catch (...) {
        if (own)
            rollback();
        throw;
    }
    if (own)
        run("COMMIT");
}

qint64 SqlCipherConnection::searchIndexBytes(const SearchIndexDef &index)
{
    return filesearch::bytes(m_db, index);
}

void SqlCipherConnection::createTable(const TableDef &table)
{
    run(createTableSql(table).toUtf8().constData());
    if (!table.appendOnly)
        return;
    for (const char *action : {"UPDATE", "DELETE"}) {
        const QString trigger =
            QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 BEGIN SELECT RAISE(ABORT, 'rows of %4 are never changed or deleted'); END")
                .arg(quotedName(table.name + QLatin1String("_no_") + QString::fromLatin1(action).toLower()),
                     QLatin1String(action), quotedName(table.name), table.name);
        run(trigger.toUtf8().constData());
    }
}

} // namespace engine
