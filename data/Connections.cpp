#include "data/Connections.h"

#include "data/Schema.h"
#include "engine/Backend.h"
#include "engine/EngineError.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <sys/vfs.h>

namespace core {

namespace {

const QStringList kOfficeTables{QStringLiteral("users")};

QString officeKey()
{
    return passwordFromConnect(QLatin1String(kConnectString));
}

// An empty server database gets the office schema as a new file does. Two
// workstations starting on the same empty database at once: the one whose
// schema lost the race finds the other's.
void prepareServerDatabase(engine::Database &db)
{
    if (!db.hasTable(QStringLiteral("users"))) {
        if (db.backend()->holdsTables())
            throw engine::EngineError(engine::ErrObjectNotFound,
                                      QStringLiteral("%1 holds tables but not the office's").arg(db.path()));
        try {
            schema::createSchema(db);
            schema::fillStarterCodes(db);
            db.buildSearchIndex(schema::personSearchIndex());
        } catch (const engine::EngineError &) {
            if (!db.hasTable(QStringLiteral("users")))
                throw;
        }
    }
    schema::addAuditTrail(db);
}

engine::Journal journalFor(const QString &dbFile, const NetworkCheck &check)
{
    return check && check(dbFile) ? engine::Journal::Rollback : engine::Journal::Wal;
}

} // namespace

bool isNetworkFileSystemType(qint64 type)
{
    // The magic numbers of linux/magic.h and the file systems' own headers.
    static const qint64 kNetwork[] = {
        0x6969,              // NFS
        0x517B,              // SMB
        0xFF534D42,          // CIFS
        0xFE534D42,          // SMB2
        0x65735546,          // FUSE (sshfs and other user-space file systems)
        0x5346414F,          // AFS
        0x6B414653,          // kAFS
        0x73757245,          // Coda
        0x564C,              // NCP
        0x01021997,          // 9P (v9fs)
        0x00C36400,          // Ceph
        0x47504653,          // GPFS
        0x0BD00BD0,          // Lustre
        0x7461636F,          // OCFS2 (shared-disk cluster)
        0x01161970,          // GFS2 (shared-disk cluster)
    };
    for (const qint64 magic : kNetwork)
        if (type == magic)
            return true;
    return false;
}

bool onNetworkFileSystem(const QString &path)
{
    // The folder holds the journal files too; a missing file is looked at
    // through its folder.
    for (const QString &p : {path, QFileInfo(path).absolutePath()}) {
        struct statfs fs {};
        if (::statfs(QFile::encodeName(p).constData(), &fs) == 0)
            return isNetworkFileSystemType(qint64(static_cast<unsigned long>(fs.f_type) & 0xFFFFFFFFul));
    }
    return false;
}

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

OpenResult DataConnections::openMain(QString dbFile, const std::function<QString()> &beforeRetry)
{
    closeMain();
    const QString password = officeKey();
    for (int attempt = 1;; ++attempt) {
        try {
            if (!m_main)
                m_main = std::make_unique<engine::Database>();
            // A file that opens but holds no office schema is not ours; it
            // is refused before anything is written to it.
            const engine::Journal journal = journalFor(dbFile, m_networkCheck);
            m_main->open(dbFile, password, kOfficeTables, journal);
            // A file from before the audit trail gets it now, before any
            // screen writes to it.
            try {
                schema::addAuditTrail(*m_main);
            } catch (const engine::EngineError &) {
                m_main->close();
                throw;
            }
            m_noticeDue = journal == engine::Journal::Rollback;
            return {true, 0, {}};
        } catch (const engine::EngineError &e) {
            const int n = e.number();
            // A damaged file is refused as a foreign one is: untouched.
            if (n == engine::ErrObjectNotFound || n == engine::ErrDamagedFile)
                return {false, n, QStringLiteral("Invalid Access")};
            // A file another workstation keeps locked (past the engine's
            // own waiting) is tried again too, within the same bound.
            if ((n == engine::ErrInvalidArgument || n == engine::ErrFileNotFound
                 || n == engine::ErrFileLocked)
                && attempt < kOpenAttempts) {
                if (beforeRetry)
                    dbFile = beforeRetry();
                continue;
            }
            return {false, n, QStringLiteral("Invalid Access-%1").arg(n)};
        }
    }
}

OpenResult DataConnections::openMainOnServer(const QString &server)
{
    closeMain();
    m_noticeDue = false;
    if (!m_main)
        m_main = std::make_unique<engine::Database>();
    try {
        m_main->openServer(server);
        prepareServerDatabase(*m_main);
        return {true, 0, {}};
    } catch (const engine::EngineError &e) {
        // The reason of a refused connection names the server; any other
        // is told together with the database it concerns.
        const QString where = m_main->isOpen() ? m_main->path() + QStringLiteral(": ") : QString();
        m_main->close();
        return {false, e.number(), QStringLiteral("Invalid Access\n%1%2").arg(where, e.description())};
    }
}

bool DataConnections::mainIsOn(const QString &dbFile, const QString &server) const
{
    if (!m_main || !m_main->isOpen())
        return false;
    if (!server.isEmpty())
        return m_main->openSpec().server == server;
    return !m_main->onServer()
           && QFileInfo(m_main->path()).absoluteFilePath() == QFileInfo(dbFile).absoluteFilePath();
}

bool DataConnections::networkNoticeDue()
{
    if (!m_noticeDue || m_noticeGiven)
        return false;
    m_noticeGiven = true;
    return true;
}

void DataConnections::closeMain()
{
    if (m_main)
        m_main->close();
}

engine::Database &DataConnections::main()
{
    if (!isOpen())
        throw engine::EngineError(engine::ErrInvalidArgument,
                                  QStringLiteral("The database is not open"));
    return *m_main;
}

std::unique_ptr<engine::Database> DataConnections::openView(const QString &dbFile, const QString &server) const
{
    if (mainIsOn(dbFile, server)) {
        auto view = std::make_unique<engine::Database>();
        view->open(m_main->openSpec());
        return view;
    }
    return server.isEmpty() ? openFile(dbFile, kOfficeTables) : openServer(server, kOfficeTables);
}

std::shared_ptr<engine::Database> DataConnections::sharedView(const QString &dbFile, const QString &server)
{
    const QString target = server.isEmpty() ? dbFile : server;
    if (!m_sharedView || !m_sharedView->isOpen() || m_sharedViewPath != target) {
        m_sharedView = openView(dbFile, server);
        m_sharedViewPath = target;
    }
    return m_sharedView;
}

void DataConnections::releaseSharedView()
{
    m_sharedView.reset();
    m_sharedViewPath.clear();
}

std::unique_ptr<engine::Database> DataConnections::openServer(const QString &server,
                                                              const QStringList &requiredTables)
{
    auto db = std::make_unique<engine::Database>();
    db->openServer(server, requiredTables);
    return db;
}

std::unique_ptr<engine::Database> DataConnections::openFile(const QString &dbFile,
                                                            const QStringList &requiredTables)
{
    auto db = std::make_unique<engine::Database>();
    db->open(dbFile, officeKey(), requiredTables, journalFor(dbFile, onNetworkFileSystem));
    return db;
}

} // namespace core
