#include "logon/LogonBackup.h"

#include "data/BackgroundTask.h"
#include "engine/Database.h"
#include "engine/EngineError.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLockFile>
#include <QTimer>

#include <atomic>
#include <memory>

namespace logon {

namespace {

// A copy takes about a minute for the largest register; a lock older than
// this is taken to be left by a workstation that stopped.
constexpr int kStaleLockMs = 30 * 60 * 1000;
constexpr int kProgressPollMs = 50;

// Left by a copy that was killed halfway (the lock shows nobody copies now).
void removeLeftovers(const QString &destination)
{
    const QFileInfo info(destination);
    QDir folder(info.path());
    const QStringList parts = folder.entryList({info.fileName() + QStringLiteral(".part-*")},
                                               QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : parts)
        folder.remove(name);
}

// A copy takes the backup's name only when it opens with the key, holds
// the office tables and passes the integrity check: a damaged database
// never replaces a sound backup.
void checkCopy(const engine::Database &source, const QString &copyPath, const std::function<bool()> &stop)
{
    engine::OpenSpec spec = source.openSpec();
    spec.path = copyPath;
    engine::Database copy;
    copy.open(spec);
    copy.setStopCheck(stop);
    copy.checkIntegrity();
}

// Copies off the caller's thread; the caller's thread runs its events
// meanwhile and hears of the progress. A program that ends meanwhile stops
// the copy.
void copyDatabase(const engine::OpenSpec &openSpec, const QString &dbFile, const QString &destination,
                  const BackupProgress &progress)
{
    std::atomic<int> percent{0};
    std::atomic<bool> done{false};
    QEventLoop loop;
    core::BackgroundTask copy(&loop);
    copy.start(
        [&](const core::BackgroundTask::Control &control) {
            try {
                std::unique_ptr<engine::Database> source;
                if (openSpec.isValid()) {
                    source = std::make_unique<engine::Database>();
                    source->open(openSpec); // the key is known: no derivation
                } else {
                    source = core::DataConnections::openFile(dbFile);
                }
                const auto stop = [&] { return control.stopRequested(); };
                source->backupTo(
                    destination,
                    [&](int p) {
                        percent = p;
                        return !stop();
                    },
                    [&](const QString &copyPath) { checkCopy(*source, copyPath, stop); });
            } catch (const engine::EngineError &) {
                // A missing backup folder or a full disk: the logon goes on.
            }
            done = true;
        },
        [&loop] { loop.quit(); });
    if (QCoreApplication::instance()) {
        QTimer tick;
        int told = -1;
        QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
            if (progress && percent != told) {
                told = percent;
                progress(told);
            }
        });
        tick.start(kProgressPollMs);
        if (!done)
            loop.exec();
        if (!done)
            copy.cancel(); // the program ends: the copy goes, its temporary file too
    }
    copy.wait();
    if (progress)
        progress(percent);
}

} // namespace

QString backupFilePath(const core::DataStore &store)
{
    return store.config().dataDir + QStringLiteral("/backup/") +
           QLatin1String(core::kDatabaseFileName);
}

core::OpenResult LOGONBACKUP(core::DataStore &store, const BackupProgress &progress)
{
    const QString destination = backupFilePath(store);
    const bool wanted = !QFileInfo::exists(destination);
    QLockFile lock(destination + QStringLiteral(".lock"));
    lock.setStaleLockTime(kStaleLockMs);
    // Without the backup folder the lock cannot be made either: no copy.
    const bool mine = lock.tryLock(0);
    if (mine)
        removeLeftovers(destination);
    if (!wanted) {
        core::OpenResult nothingToDo;
        nothingToDo.ok = true;
        return nothingToDo;
    }

    const engine::OpenSpec openSpec = store.isOpen() ? store.db().openSpec() : engine::OpenSpec();
    store.CLOSEDATABASE();
    // Another program may have the shared file open and be writing: the
    // engine's online backup gives a consistent copy, encrypted with the
    // key of the source. Another workstation holding the lock is taking
    // the same backup now.
    if (mine)
        copyDatabase(openSpec, store.config().dbFile, destination, progress);
    return store.OPENDATABASE();
}

} // namespace logon
