#include "data/Restore.h"

#include "data/Connections.h"
#include "engine/Database.h"
#include "engine/EngineError.h"
#include "engine/FileUse.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core::restore {

namespace {

// Journal files that belong to a database and go where it goes: the -wal
// may hold work not yet written into the file itself.
const char *const kJournals[] = {"-wal", "-journal"};

QByteArray native(const QString &path)
{
    return QFile::encodeName(path);
}

bool moveFile(const QString &from, const QString &to)
{
    return std::rename(native(from).constData(), native(to).constData()) == 0;
}

void syncFolder(const QString &path)
{
    const int fd = ::open(native(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

[[noreturn]] void refuseClaim(engine::FileUse::Claim why, const QString &dbFile)
{
    if (why == engine::FileUse::Claim::InUse)
        throw engine::EngineError(engine::ErrFileLocked,
                                  QStringLiteral("The database '%1' is open on another workstation.").arg(dbFile));
    throw engine::EngineError(engine::ErrCannotOpenFile,
                              QStringLiteral("Whether the database '%1' is open elsewhere cannot be told here.")
                                  .arg(dbFile));
}

// The replaced database under its new name, with its journal files; undone
// when a later step fails.
class SetAside {
public:
    SetAside(QString dbFile, QString keptAs) : m_dbFile(std::move(dbFile)), m_keptAs(std::move(keptAs)) {}

    void run()
    {
        // A second name first, so that the database's own name never stands
        // empty; a file system without such links renames it instead.
        m_linked = ::link(native(m_dbFile).constData(), native(m_keptAs).constData()) == 0;
        if (!m_linked && QFileInfo::exists(m_keptAs))
            fail();
        for (const char *suffix : kJournals) {
            const QString journal = m_dbFile + QLatin1String(suffix);
            if (!QFileInfo::exists(journal))
                continue;
            if (!moveFile(journal, m_keptAs + QLatin1String(suffix)))
                fail();
            m_moved << QLatin1String(suffix);
        }
        // The index of a write-ahead log that is gone; rebuilt at the next open.
        QFile::remove(m_dbFile + QStringLiteral("-shm"));
        if (!m_linked && !moveFile(m_dbFile, m_keptAs))
            fail();
        m_renamed = !m_linked;
    }

    void undo()
    {
        if (m_renamed)
            moveFile(m_keptAs, m_dbFile);
        for (const QString &suffix : std::as_const(m_moved))
            moveFile(m_keptAs + suffix, m_dbFile + suffix);
        if (m_linked)
            ::unlink(native(m_keptAs).constData());
        m_renamed = m_linked = false;
        m_moved.clear();
    }

private:
    [[noreturn]] void fail()
    {
        const int error = errno;
        undo();
        throw engine::EngineError(engine::ErrCannotOpenFile,
                                  QStringLiteral("The database could not be kept as '%1': %2")
                                      .arg(m_keptAs, QString::fromLocal8Bit(std::strerror(error))));
    }

    QString m_dbFile;
    QString m_keptAs;
    bool m_linked = false;
    bool m_renamed = false;
    QStringList m_moved;
};

} // namespace

QString setAsideName(const QString &dbFile, const QDate &day)
{
    const QString folder = QFileInfo(dbFile).absolutePath();
    const QString stem = QLatin1String(backups::kBeforeRestorePrefix) + day.toString(QStringLiteral("yyyy-MM-dd"));
    QString name = folder + QLatin1Char('/') + stem + QStringLiteral(".mdb");
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = folder + QLatin1Char('/') + stem + QStringLiteral("-%1.mdb").arg(n);
    return name;
}

Restored putInPlace(const QString &backup, const QString &dbFile, const QDate &today,
                    const backups::Progress &progress, const backups::StopCheck &stop)
{
    if (QFileInfo(backup).canonicalFilePath() == QFileInfo(dbFile).canonicalFilePath())
        throw engine::EngineError(engine::ErrInvalidArgument,
                                  QStringLiteral("The backup '%1' is the database itself.").arg(backup));
    engine::FileUse::Claim why = engine::FileUse::Claim::Unknown;
    const std::unique_ptr<engine::FileUse> claim = engine::FileUse::claim(dbFile, &why);
    if (!claim)
        refuseClaim(why, dbFile);

    // The backup copied and checked beside the database before anything of
    // the database is touched.
    const QString restored = dbFile + QStringLiteral(".restored");
    // Left by a restore that was killed halfway.
    QFile::remove(restored);
    const QFileInfo restoredInfo(restored);
    QDir folder(restoredInfo.absolutePath());
    for (const QString &name : folder.entryList({restoredInfo.fileName() + QStringLiteral(".part-*")}, QDir::Files))
        folder.remove(name);
    Restored result;
    {
        const std::unique_ptr<engine::Database> source =
            DataConnections::openFile(backup, {QStringLiteral("users"), QStringLiteral("tamrel")});
        result.persons = backups::takeCopy(*source, restored, progress, stop).persons;
    }
    if (stop && stop()) {
        QFile::remove(restored);
        throw engine::EngineError(engine::ErrOperationCanceled, QStringLiteral("The restore was stopped."));
    }
    // The rights the replaced file had (the office's group may write it),
    // not those of the user who restores.
    backups::copyRights(dbFile, restored);

    result.keptAs = setAsideName(dbFile, today);
    SetAside aside(dbFile, result.keptAs);
    try {
        aside.run();
    } catch (...) {
        QFile::remove(restored);
        throw;
    }
    if (!moveFile(restored, dbFile)) {
        const int error = errno;
        aside.undo();
        QFile::remove(restored);
        throw engine::EngineError(engine::ErrCannotOpenFile, QStringLiteral("The backup could not take the name '%1': %2")
                                                                 .arg(dbFile, QString::fromLocal8Bit(std::strerror(error))));
    }
    syncFolder(dbFile);
    return result;
}

} // namespace core::restore
