#include "data/OpenDb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

QString passwordFromConnect(const QString &connect)
{
    const QStringList parts = connect.split(QLatin1Char(';'));
    for (const QString &part : parts) {
        const QString p = part.trimmed();
        if (p.startsWith(QLatin1String("pwd="), Qt::CaseInsensitive))
            return p.mid(4);
    }
    return {};
}

// ---------------------------------------------------------------- CursorSlot

engine::TableCursor &CursorSlot::open()
{
    m_cursor.reset();
    // Every table cursor works with optimistic locking: the engine locks a
    // record only while a write runs.
    m_cursor = std::make_unique<engine::TableCursor>(m_store.db(), m_table);
    return *m_cursor;
}

engine::TableCursor &CursorSlot::cursor()
{
    if (!m_cursor)
        throw engine::EngineError(engine::ErrInvalidArgument,
                                  QStringLiteral("The cursor of %1 is not open").arg(m_table));
    return *m_cursor;
}

// ----------------------------------------------------------------- DataStore

namespace {

// Decodes db_path: UTF-8 as written today; files written by the office's
// older tools are in the Arabic Windows code page.
QString decodeConfig(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder arabic("windows-1256");
    if (arabic.isValid()) {
        text = arabic(bytes);
        if (!arabic.hasError())
            return text;
    }
    return QString::fromLatin1(bytes);
}

QStringList configLines(const QByteArray &bytes)
{
    QString text = decodeConfig(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    // CRLF, LF and a carriage return alone (as older editors wrote) all end a line.
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    // A final line end does not start another line.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The start of db_path, at most kConfigReadLimit bytes cut back to the last
// whole line; only a regular file is read, and nothing here can block (a
// named pipe or a device, or a link to one, is refused before it is opened).
bool readConfigFile(const QString &path, QByteArray &bytes)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    bytes = QByteArray(kConfigReadLimit, '\0');
    qsizetype filled = 0;
    while (ok && filled < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            ok = false;
        else if (got == 0)
            break;
        else
            filled += got;
    }
    ::close(fd);
    bytes.truncate(filled);
    if (filled == kConfigReadLimit) {
        const qsizetype lastEnd = qMax(bytes.lastIndexOf('\n'), bytes.lastIndexOf('\r'));
        bytes.truncate(lastEnd < 0 ? 0 : lastEnd + 1);
    }
    return ok;
}

QString toSlashes(QString path)
{
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path;
}

} // namespace

DataStore::DataStore(QString programDir) : m_programDir(std::move(programDir))
{
    while (m_programDir.size() > 1 && m_programDir.endsWith(QLatin1Char('/')))
        m_programDir.chop(1);
}

DataStore::~DataStore()
{
    CLOSEDATABASE();
    qDeleteAll(m_slots);
}

bool DataStore::READDBPATH()
{
    QByteArray bytes;
    if (!readConfigFile(m_programDir + QLatin1String("/db_path"), bytes))
        return false;

    QStringList lines = configLines(bytes);
    while (lines.size() < 5)
        lines << QString();

    m_config.showLogo2 = lines.at(0);
    const QString line2 = lines.at(1);
    // Only the data folder line decides whether all four folders are
    // absolute: a drive colon anywhere, or a root slash.
    const bool absolute = line2.contains(QLatin1Char(':')) || line2.startsWith(QLatin1Char('/'));
    QString folders[4];
    for (int i = 0; i < 4; ++i) {
        const QString line = lines.at(i + 1);
        // Relative lines are trimmed before they are joined: the office's
        // first platform dropped blanks at the end of a folder name, so a
        // blank before the leading backslash never counted either.
        folders[i] = absolute ? toSlashes(line) : toSlashes(m_programDir + line.trimmed()).trimmed();
    }
    m_config.dataDir = folders[0];
    m_config.pictureDir = folders[1];
    m_config.materialDir = folders[2];
    m_config.formsDir = folders[3];
    m_config.dbFile = m_config.dataDir + QLatin1Char('/') + QLatin1String(kDatabaseFileName);

    MAKEFOLDERS();
    return true;
}

void DataStore::MAKEFOLDERS()
{
    // One level each, failures ignored. The backup folder comes first, so
    // it appears only at the start after the data folder was made.
    QDir dir;
    dir.mkdir(m_config.dataDir + QLatin1String("/backup"));
    dir.mkdir(m_config.pictureDir);
    dir.mkdir(m_config.materialDir);
    dir.mkdir(m_config.formsDir);
    dir.mkdir(m_config.dataDir);

    const QString source = m_programDir + QLatin1Char('/') + QLatin1String(kDatabaseFileName);
    const QString target = m_config.dataDir + QLatin1Char('/') + QLatin1String(kDatabaseFileName);
    if (!QFileInfo(source).isFile() || QFileInfo::exists(target))
        return;
    // Copy under a temporary name and rename, so that a broken copy never
    // stands as the office database; rename never replaces a file.
    const QString temp = QStringLiteral("%1.copy-%2")
                             .arg(target)
                             .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    if (!QFile::copy(source, temp)) {
        QFile::remove(temp);
        return;
    }
    if (!QFile::rename(temp, target))
        QFile::remove(temp);
}

OpenResult DataStore::OPENDATABASE()
{
    CLOSEDATABASE();
    const QString password = passwordFromConnect(QLatin1String(kConnectString));
    const auto failure = [](int number) {
        return OpenResult{false, number, QStringLiteral("Invalid Access-%1").arg(number)};
    };

    for (int attempt = 1;; ++attempt) {
        try {
            // The connection object stays the same across close and open:
            // screens and grids hold references to it.
            if (!m_db)
                m_db = std::make_unique<engine::Database>();
            // A file that opens but holds no office schema is not ours; it
            // is refused before anything is written to it.
            m_db->open(m_config.dbFile, password, {QStringLiteral("users")});
            return {true, 0, {}};
        } catch (const engine::EngineError &e) {
            const int n = e.number();
            if (n == engine::ErrObjectNotFound)
                return {false, n, QStringLiteral("Invalid Access")};
            // A file another workstation keeps locked (past the engine's
            // own waiting) is tried again too, within the same bound.
            if ((n == engine::ErrInvalidArgument || n == engine::ErrFileNotFound
                 || n == engine::ErrFileLocked)
                && attempt < kOpenAttempts) {
                // Re-reading db_path may place the first database.
                READDBPATH();
                continue;
            }
            return failure(n);
        }
    }
}

void DataStore::CLOSEDATABASE()
{
    for (CursorSlot *s : std::as_const(m_slots))
        s->close();
    if (m_db)
        m_db->close();
}

std::unique_ptr<engine::Database> DataStore::openViewConnection() const
{
    auto view = std::make_unique<engine::Database>();
    // With the connection open on the same file its key is known: the view
    // opens in milliseconds, without deriving the key again.
    if (m_db && m_db->isOpen()
        && QFileInfo(m_db->path()).absoluteFilePath() == QFileInfo(m_config.dbFile).absoluteFilePath())
        view->open(m_db->openSpec());
    else
        view->open(m_config.dbFile, passwordFromConnect(QLatin1String(kConnectString)), {QStringLiteral("users")});
    return view;
}

std::shared_ptr<engine::Database> DataStore::sharedViewConnection()
{
    if (!m_sharedView || !m_sharedView->isOpen() || m_sharedViewPath != m_config.dbFile) {
        m_sharedView = openViewConnection();
        m_sharedViewPath = m_config.dbFile;
    }
    return m_sharedView;
}

engine::Database &DataStore::db()
{
    if (!isOpen())
        throw engine::EngineError(engine::ErrInvalidArgument,
                                  QStringLiteral("The database is not open"));
    return *m_db;
}

CursorSlot &DataStore::slot(const QString &table)
{
    const QString key = table.toLower();
    auto it = m_slots.find(key);
    if (it == m_slots.end())
        it = m_slots.insert(key, new CursorSlot(*this, table));
    return **it;
}

void DataStore::openAllCodeTables()
{
    for (int n = 1; n <= 18; ++n)
        slot(codeTableName(n)).open();
}

QString DataStore::codeTableName(int number)
{
    return QStringLiteral("category%1").arg(number);
}

} // namespace core
