// velm-backup [--to FOLDER] [--db-path FILE]: takes today's dated copy of
// the office database, the same copy the first logon of a day takes, for a
// scheduled job. The database is the one db_path names (beside the program
// unless --db-path names another): the data folder's velm.mdb, or the
// server of its sixth line. The copy goes into the data folder's backup
// folder (or FOLDER) as velm-YYYY-MM-DD.mdb, replacing a copy of the same
// day once the new one is checked; then the older copies go as the data
// folder's backup.conf says. Safe while workstations work on the database.
// One line of result; exit code 0 when the copy is in place, 1 when not,
// 2 for a wrong command line.

#include "data/Backups.h"
#include "data/Connections.h"
#include "data/DbPath.h"
#include "engine/Database.h"
#include "engine/EngineError.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <memory>
#include <optional>

namespace {

// A logon copying into the same folder is waited for.
constexpr int kLockWaitMs = 15 * 60 * 1000;

int usage()
{
    std::fprintf(stderr, "usage: velm-backup [--to FOLDER] [--db-path FILE]\n"
                         "  Takes today's checked copy of the office database (velm-YYYY-MM-DD.mdb)\n"
                         "  into the data folder's backup folder, or FOLDER.\n");
    return 2;
}

int failed(const QString &why)
{
    std::fprintf(stderr, "velm-backup: failed: %s\n", qPrintable(why));
    return 1;
}

std::optional<core::DataStoreConfig> readConfig(const QString &dbPathFile)
{
    if (dbPathFile.isEmpty())
        return core::DbPathReader(QCoreApplication::applicationDirPath()).read();
    QFile file(dbPathFile);
    if (!QFileInfo(dbPathFile).isFile() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Relative folders are relative to the folder of the file, as they are
    // to the program folder for the program's own db_path.
    return core::DbPathReader(QFileInfo(dbPathFile).absolutePath()).parse(file.read(core::kConfigReadLimit));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString to;
    QString dbPathFile;
    while (!args.isEmpty()) {
        const QString option = args.takeFirst();
        if ((option == QLatin1String("--to") || option == QLatin1String("--db-path")) && !args.isEmpty())
            (option == QLatin1String("--to") ? to : dbPathFile) = args.takeFirst();
        else
            return usage();
    }
    const std::optional<core::DataStoreConfig> config = readConfig(dbPathFile);
    if (!config || config->dataDir.isEmpty())
        return failed(QStringLiteral("db_path cannot be read (%1)")
                          .arg(dbPathFile.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/db_path")
                                                    : dbPathFile));
    const QString folder = to.isEmpty() ? core::backups::folderOf(config->dataDir) : QDir(to).absolutePath();
    if (!to.isEmpty() && !QDir().mkpath(folder))
        return failed(QStringLiteral("the folder %1 cannot be made").arg(folder));
    core::backups::FolderLock lock(folder);
    if (!lock.tryLock(kLockWaitMs))
        return failed(QStringLiteral("the folder %1 cannot be written or another copy into it does not end").arg(folder));

    QElapsedTimer timer;
    timer.start();
    const QDate today = QDate::currentDate();
    const QString destination = folder + QLatin1Char('/') + core::backups::datedName(today);
    try {
        const QStringList office{QStringLiteral("users")};
        const std::unique_ptr<engine::Database> source = config->onServer()
                                                             ? core::DataConnections::openServer(config->server, office)
                                                             : core::DataConnections::openFile(config->dbFile, office);
        QStringList removed;
        const core::backups::CopyFacts facts = core::backups::takeDatedCopy(
            *source, folder, core::backups::readRetention(config->dataDir), today, {}, {}, &removed);
        std::printf("velm-backup: %s, %.1f MB, %lld persons, checked, %.1f s; %lld older copies removed\n",
                    qPrintable(destination), facts.bytes / 1048576.0, facts.persons, timer.elapsed() / 1000.0,
                    qint64(removed.size()));
    } catch (const engine::EngineError &e) {
        return failed(QStringLiteral("%1 %2").arg(e.number()).arg(e.description()));
    }
    return 0;
}
