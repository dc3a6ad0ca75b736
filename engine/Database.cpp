#include "engine/Database.h"

#include "engine/FileUse.h"
#include "engine/PgBackend.h"
#include "engine/QueryCursor.h"
#include "engine/SqlCipherBackend.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace engine {

namespace {

void requireUsablePath(const QString &path)
{
    if (path.trimmed().isEmpty() || path.contains(QChar(0)))
        throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid argument: empty database path."));
}

// Runs a call of the backend; its failure is raised as the EngineError
// matching it.
template <typename Call>
auto worded(Call &&call) -> decltype(call())
{
    try {
        return call();
    } catch (const BackendFailure &failure) {
        raiseFailure(failure);
    }
}

void syncFolderOf(const QString &path)
{
    const int fd = ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// A connection to a file holds it in use (engine/FileUse.h) from before it
// reads the file until SQLite has let it go.
std::unique_ptr<SqlCipherConnection> held(std::unique_ptr<SqlCipherConnection> connection,
                                          std::shared_ptr<FileUse> hold)
{
    connection->holdWhileOpen(std::move(hold));
    return connection;
}

std::shared_ptr<FileUse> holdExisting(const QString &path)
{
    return QFileInfo::exists(path) ? FileUse::share(path) : nullptr;
}

void removeCopy(const QString &file)
{
    for (const char *suffix : {"", "-wal", "-shm", "-journal"})
        QFile::remove(file + QLatin1String(suffix));
}

} // namespace

void raiseFailure(const BackendFailure &failure, const QString &context)
{
    using Kind = BackendFailure::Kind;
    const QString &detail = failure.message;
    const QString text = context.isEmpty() ? detail : context + QStringLiteral(": ") + detail;
    switch (failure.kind) {
    case Kind::DuplicateKey:
        throw EngineError(ErrDuplicateKey,
                          QStringLiteral("The changes were not successful because they would create duplicate values in the key (%1).").arg(detail));
    case Kind::NullInRequired:
        throw EngineError(ErrNullInRequired, QStringLiteral("A required field cannot be empty (%1).").arg(detail));
    case Kind::CheckViolated:
        throw EngineError(ErrFieldTooSmall, QStringLiteral("The field is too small to accept the amount of data (%1).").arg(detail));
    case Kind::NotADatabase:
        throw EngineError(ErrNotValidPassword, QStringLiteral("Not a valid password."));
    case Kind::Busy:
    case Kind::Locked:
        throw EngineError(ErrFileLocked, QStringLiteral("The database is in use by another user: %1").arg(text));
    case Kind::CannotOpen:
        throw EngineError(ErrCannotOpenFile, text);
    case Kind::Misuse:
        throw EngineError(ErrInvalidArgument, text);
    case Kind::Interrupted:
        throw EngineError(ErrOperationCanceled, QStringLiteral("The operation was stopped."));
    case Kind::NoSuchTable:
        throw EngineError(ErrObjectNotFound, text);
    case Kind::NoSuchColumn:
        throw EngineError(ErrItemNotFound, text);
    case Kind::Syntax:
        throw EngineError(ErrQuerySyntax, text);
    case Kind::TypeMismatch:
        throw EngineError(ErrDataTypeConversion, QStringLiteral("Data type conversion error (%1).").arg(detail));
    case Kind::NotAuthorized:
    case Kind::Other:
        break;
    }
    throw EngineError(ErrEngine, text);
}

int Database::keyDerivations()
{
    return SqlCipherConnection::keyDerivations();
}

Database::Database() = default;

Database::~Database()
{
    close();
}

BackendConnection &Database::connection() const
{
    if (!m_connection)
        throw EngineError(ErrInvalidArgument, QStringLiteral("The database is not open."));
    return *m_connection;
}

void Database::accept(std::unique_ptr<BackendConnection> connection, const QString &path,
                      const QStringList &requiredTables, bool examine, Journal journal)
{
    m_journal = journal;
    m_connection = std::move(connection);
    m_path = path;
    m_pageSize = m_connection->pageSize();
    m_requiredTables = requiredTables;
    try {
        // Accepted only with a schema (and the tables the caller needs):
        // until then nothing has been written to the file.
        if (examine) {
            if (!worded([this] { return m_connection->holdsTables(); }))
                throw EngineError(ErrObjectNotFound, QStringLiteral("The database '%1' holds no tables.").arg(path));
            for (const QString &table : requiredTables)
                tableName(table);
        }
        worded([this] { m_connection->prepareForUse(m_journal); });
    } catch (...) {
        close();
        throw;
    }
}

void Database::attach(std::unique_ptr<BackendConnection> connection, const QString &path,
                      const QStringList &requiredTables)
{
    close();
    if (!connection)
        throw EngineError(ErrInvalidArgument, QStringLiteral("The database is not open."));
    accept(std::move(connection), path, requiredTables, true);
}

void Database::open(const QString &path, const QString &password, const QStringList &requiredTables,
                    Journal journal)
{
    close();
    requireUsablePath(path);
    std::shared_ptr<FileUse> hold = holdExisting(path);
    accept(held(SqlCipherConnection::open(path, password), std::move(hold)), path, requiredTables, true, journal);
}

void Database::openServer(const QString &connectionString, const QStringList &requiredTables)
{
    close();
    if (connectionString.trimmed().isEmpty() || connectionString.contains(QChar(0)))
        throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid argument: empty connection string."));
    std::unique_ptr<PgConnection> server = PgConnection::open(connectionString);
    const QString description = server->description();
    accept(std::move(server), description, requiredTables, !requiredTables.isEmpty());
}

bool Database::onServer() const
{
    return m_connection && !m_connection->openSpec().server.isEmpty();
}

QString Database::serverName() const
{
    const auto *server = dynamic_cast<const PgConnection *>(m_connection.get());
    return server ? server->hostAndDatabase() : QString();
}

void Database::open(const OpenSpec &openSpec)
{
    close();
    if (!openSpec.server.isEmpty()) {
        openServer(openSpec.server, openSpec.requiredTables);
        return;
    }
    requireUsablePath(openSpec.path);
    // A plain file is the benchmark's: taken as it is.
    std::shared_ptr<FileUse> hold = openSpec.plain ? nullptr : holdExisting(openSpec.path);
    accept(held(SqlCipherConnection::open(openSpec), std::move(hold)), openSpec.path, openSpec.requiredTables,
           !openSpec.plain, openSpec.journal);
}

OpenSpec Database::openSpec() const
{
    if (!m_connection)
        return {};
    OpenSpec s = m_connection->openSpec();
    s.path = m_path;
    s.requiredTables = m_requiredTables;
    s.journal = m_journal;
    return s;
}

void Database::create(const QString &path, const QString &password)
{
    close();
    requireUsablePath(path);
    std::unique_ptr<SqlCipherConnection> made = SqlCipherConnection::create(path, password);
    accept(held(std::move(made), FileUse::share(path)), path, {}, false);
}

void Database::openPlain(const QString &path)
{
    close();
    requireUsablePath(path);
    accept(SqlCipherConnection::openPlain(path), path, {}, false);
}

void Database::setCacheSize(qint64 kib)
{
    BackendConnection &c = connection();
    worded([&] { c.setCacheSize(kib); });
}

void Database::setQueryOnly(bool on)
{
    BackendConnection &c = connection();
    worded([&] { c.setQueryOnly(on); });
}

void Database::close()
{
    m_connection.reset();
}

void Database::raise(int code, const QString &context) const
{
    raiseFailure(connection().failureOf(code), context);
}

// ------------------------------------------------------------------ Statement

std::unique_ptr<BackendStatement> prepareStatement(Database &db, const QString &sql)
{
    if (!db.isOpen())
        throw EngineError(ErrInvalidArgument, QStringLiteral("The database is not open."));
    if (sql.contains(QChar(0)))
        throw EngineError(ErrQuerySyntax, QStringLiteral("The query text holds a NUL character."));
    std::unique_ptr<BackendStatement> stmt = worded([&] { return db.backend()->prepare(sql.toUtf8()); });
    if (!stmt) // only blanks or a comment
        throw EngineError(ErrQuerySyntax, QStringLiteral("Empty query."));
    return stmt;
}

void requireValueCount(const BackendStatement *stmt, qsizetype given)
{
    if (const int expected = stmt->parameterCount(); expected != given)
        throw EngineError(ErrInvalidArgument,
                          QStringLiteral("The query expects %1 values, %2 given.").arg(expected).arg(given));
}

QStringList columnNames(const BackendStatement *stmt)
{
    QStringList names;
    for (int c = 0; c < stmt->columnCount(); ++c)
        names << stmt->columnName(c);
    return names;
}

void bindValue(BackendStatement &stmt, int position, const QVariant &value)
{
    if (value.isNull() || !value.isValid()) {
        stmt.bindNull(position);
        return;
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        stmt.bindInteger(position, value.toBool() ? 1 : 0);
        break;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
        stmt.bindInteger(position, value.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        stmt.bindReal(position, value.toDouble());
        break;
    case QMetaType::QByteArray:
        stmt.bindBlob(position, value.toByteArray());
        break;
    default:
        stmt.bindText(position, value.toString().toUtf8());
        break;
    }
}

Statement::Statement(Database &db, const QString &sql) : m_stmt(prepareStatement(db, sql)) {}

Statement::~Statement() = default;

void Statement::bind(const QVariantList &values)
{
    refuseNul(values);
    m_stmt->reset();
    m_stmt->clearBindings();
    for (int i = 0; i < values.size(); ++i)
        bindValue(*m_stmt, i + 1, values.at(i));
}

void Statement::bind(int position, const QVariant &value)
{
    refuseNul(value);
    bindValue(*m_stmt, position, value);
}

bool Statement::step()
{
    try {
        if (m_stmt->step())
            return true;
    } catch (const BackendFailure &failure) {
        m_stmt->reset();
        raiseFailure(failure);
    }
    m_stmt->reset();
    return false;
}

QVariant Statement::value(int column) const
{
    return m_stmt->value(column);
}

qint64 Statement::integer(int column) const
{
    return m_stmt->integer(column);
}

int Statement::columnCount() const
{
    return m_stmt->columnCount();
}

void Statement::reset()
{
    m_stmt->reset();
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

void Database::createTable(const TableDef &table)
{
    BackendConnection &c = connection();
    if (table.name.trimmed().isEmpty() || table.fields.isEmpty())
        throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid argument: a table needs a name and fields."));
    worded([&] { c.createTable(table); });
}

void Database::bulkInsert(const QString &table, const QStringList &columns, const QList<QVariantList> &rows)
{
    BackendConnection &c = connection();
    if (columns.isEmpty())
        throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid argument: rows need columns."));
    for (const QVariantList &row : rows) {
        if (row.size() != columns.size())
            throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid argument: a row does not match its columns."));
        refuseNul(row);
    }
    if (rows.isEmpty() || worded([&] { return c.bulkInsert(table, columns, rows); }))
        return;
    QStringList names, marks;
    for (const QString &column : columns) {
        names << QLatin1Char('[') + column + QLatin1Char(']');
        marks << QStringLiteral("?");
    }
    // One statement for the whole batch: a refused row undoes the rows before it.
    Transaction tx(*this);
    Statement insert(*this, QStringLiteral("INSERT INTO [%1] (%2) VALUES (%3)")
                                .arg(table, names.join(QLatin1String(", ")), marks.join(QLatin1String(", "))));
    for (const QVariantList &row : rows) {
        insert.bind(row);
        insert.step();
    }
    insert.reset();
    tx.commit();
}

SqlCondition Database::textCondition(const QString &table, const QList<TextCriterion> &criteria, IndexUse use)
{
    BackendConnection &c = connection();
    if (criteria.isEmpty())
        return {QStringLiteral("1=1"), {}};
    for (const TextCriterion &criterion : criteria)
        refuseNul(criterion.pattern);
    return worded([&] { return c.textCondition(table, criteria, use); });
}

SearchIndexState Database::searchIndexState(const SearchIndexDef &index)
{
    BackendConnection &c = connection();
    return worded([&] { return c.searchIndexState(index); });
}

void Database::buildSearchIndex(const SearchIndexDef &index, const BuildProgress &progress)
{
    BackendConnection &c = connection();
    if (index.columns.isEmpty() || index.columns.size() > 15)
        throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid argument: a search index takes 1 to 15 columns."));
    worded([&] { c.buildSearchIndex(index, progress); });
}

void Database::dropSearchIndex(const SearchIndexDef &index)
{
    BackendConnection &c = connection();
    worded([&] { c.dropSearchIndex(index); });
}

qint64 Database::searchIndexBytes(const SearchIndexDef &index)
{
    BackendConnection &c = connection();
    return worded([&] { return c.searchIndexBytes(index); });
}

QString Database::tableName(const QString &anyCase)
{
    BackendConnection &c = connection();
    refuseNul(anyCase);
    const QString name = worded([&] { return c.tableName(anyCase); });
    if (name.isEmpty())
        throw EngineError(ErrObjectNotFound,
                          QStringLiteral("The database engine could not find the object '%1'.").arg(anyCase));
    return name;
}

bool Database::hasTable(const QString &anyCase)
{
    BackendConnection &c = connection();
    refuseNul(anyCase);
    return !worded([&] { return c.tableName(anyCase); }).isEmpty();
}

QList<ColumnInfo> Database::columns(const QString &table)
{
    const QString name = tableName(table);
    return worded([&] { return m_connection->columns(name); });
}

void Database::begin()
{
    BackendConnection &c = connection();
    worded([&] { c.begin(); });
}

void Database::commit()
{
    BackendConnection &c = connection();
    worded([&] { c.commit(); });
}

void Database::rollback()
{
    if (m_connection)
        m_connection->rollback();
}

bool Database::inTransaction() const
{
    return m_connection && m_connection->inTransaction();
}

qint64 Database::lastInsertRowId() const
{
    return m_connection ? m_connection->lastInsertRowId() : 0;
}

qint64 Database::changes() const
{
    return m_connection ? m_connection->changes() : 0;
}

void Database::interrupt()
{
    if (m_connection)
        m_connection->interrupt();
}

void Database::setStopCheck(std::function<bool()> check, int interval)
{
    if (m_connection)
        m_connection->setStopCheck(std::move(check), interval);
}

void Database::checkIntegrity()
{
    QString verdict;
    try {
        verdict = scalar(QStringLiteral("PRAGMA integrity_check(1)")).toString();
    } catch (const EngineError &e) {
        // A page that does not decrypt or a tree that does not hold.
        if (e.number() == ErrOperationCanceled)
            throw;
        verdict = e.description();
    }
    if (verdict != QLatin1String("ok"))
        throw EngineError(ErrDamagedFile, QStringLiteral("The database '%1' is damaged: %2").arg(m_path, verdict));
}

void Database::backupTo(const QString &destinationPath, const BackupProgress &progress, const CopyCheck &check)
{
    BackendConnection &c = connection();
    if (destinationPath.trimmed().isEmpty())
        throw EngineError(ErrInvalidArgument, QStringLiteral("Invalid argument: empty backup path."));
    const QString temp = destinationPath + QStringLiteral(".part-%1").arg(QRandomGenerator::global()->generate(), 8, 16,
                                                                           QLatin1Char('0'));
    try {
        c.copyTo(temp, progress);
        if (check)
            check(temp);
    } catch (const EngineError &e) {
        removeCopy(temp);
        throw EngineError(e.number(), QStringLiteral("Backup to '%1' failed: %2").arg(destinationPath, e.description()));
    }
    // rename() replaces atomically: the name holds either the old file or the whole copy.
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(destinationPath).constData()) != 0) {
        removeCopy(temp);
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
