#include "logon/LogonBackup.h"

#include "data/BackgroundTask.h"
#include "data/DatabaseCopy.h"
#include "engine/Database.h"
#include "engine/EngineError.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

#include <atomic>
#include <memory>

namespace logon {

namespace {

// A copy takes about a minute for the largest register; a lock older than
// this is taken to be left by a workstation that stopped.
constexpr int kStaleLockMs = 30 * 60 * 1000;

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
    engine::OpenSpec copySpec = source.openSpec();
    copySpec.path = copyPath;
    engine::Database copy;
    copy.open(copySpec);
    copy.setStopCheck(stop);
    copy.checkIntegrity();
}

// A server has no file to copy page by page: its rows go into a new
// encrypted file made like the file's backups (the office's key, 4 KB
// pages), verified table by table and checked whole before it takes the
// backup's name.
void copyFromServer(engine::Database &source, const QString &destination, std::atomic<int> &percent,
                    const std::function<bool()> &stop)
{
    const qint64 total = qMax<qint64>(1, core::officeRowCount(source));
    qint64 before = 0;
    qint64 current = 0;
    QString table;
    core::CopyOptions options;
    options.stop = stop;
    options.progress = [&](const QString &name, qint64 done, qint64) {
        if (name != table) {
            before += current;
            table = name;
        }
        current = done;
        percent = int(qMin<qint64>(99, (before + done) * 100 / total));
    };
    core::copyToNewFile(source, destination, core::passwordFromConnect(QLatin1String(core::kConnectString)),
                        options);
}

// Copies off the caller's thread; the caller's thread runs its events
// meanwhile and hears of the progress. A program that ends meanwhile stops
// the copy.
// What failed, for the user: the copy's error number is set on the worker
// and read after it has ended.
QString whyCopyFailed(int number)
{
    switch (number) {
    case 0:
        return {};
    case engine::ErrDamagedFile:
    case engine::ErrNotValidPassword:
        return QStringLiteral("النسخة المأخوذة لم تجتز الفحص، فقد تكون قاعدة البيانات تالفة");
    case engine::ErrFileLocked:
        return QStringLiteral("قاعدة البيانات مشغولة بمستخدم آخر");
    default:
        return QStringLiteral("تعذرت كتابة النسخة في مجلد النسخ الاحتياطي (قد يكون القرص ممتلئاً)");
    }
}

QString told(const QString &why)
{
    return QStringLiteral("لم تؤخذ النسخة الاحتياطية لقاعدة البيانات: %1.\n"
                          "يمكنك متابعة العمل كالمعتاد، وستؤخذ النسخة عند الدخول التالي.")
        .arg(why);
}

// Returns the error number of a failed copy, 0 when the copy is in place
// (or the program ends meanwhile and stops it).
int copyDatabase(const engine::OpenSpec &openSpec, const QString &dbFile, const QString &destination,
                 const BackupProgress &progress)
{
    std::atomic<int> failed{0};
    // When the program ends meanwhile the copy goes, its temporary file too.
    core::runWhileHandlingEvents(
        [&](const core::BackgroundTask::Control &control, std::atomic<int> &percent) {
            try {
                std::unique_ptr<engine::Database> source;
                if (openSpec.isValid()) {
                    source = std::make_unique<engine::Database>();
                    source->open(openSpec); // the key is known: no derivation
                } else {
                    source = core::DataConnections::openFile(dbFile);
                }
                const auto stop = [&] { return control.stopRequested(); };
                if (source->onServer())
                    copyFromServer(*source, destination, percent, stop);
                else
                    source->backupTo(
                        destination,
                        [&](int p) {
                            percent = p;
                            return !stop();
                        },
                        [&](const QString &copyPath) { checkCopy(*source, copyPath, stop); });
            } catch (const engine::EngineError &e) {
                // A full disk or a damaged copy: the logon goes on, told.
                if (e.number() != engine::ErrOperationCanceled)
                    failed = e.number();
            }
        },
        progress);
    return failed;
}

} // namespace

QString backupFilePath(const core::DataStore &store)
{
    return store.config().dataDir + QStringLiteral("/backup/") +
           QLatin1String(core::kDatabaseFileName);
}

BackupOutcome LOGONBACKUP(core::DataStore &store, const BackupProgress &progress)
{
    const QString destination = backupFilePath(store);
    const bool wanted = !QFileInfo::exists(destination);
    QLockFile lock(destination + QStringLiteral(".lock"));
    lock.setStaleLockTime(kStaleLockMs);
    // Without the backup folder the lock cannot be made either: no copy.
    const bool mine = lock.tryLock(0);
    if (mine)
        removeLeftovers(destination);
    BackupOutcome outcome;
    if (!wanted) {
        outcome.ok = true;
        return outcome;
    }
    // Held by another workstation, the lock means that one copies now.
    const bool folderFails = !mine && (!QFileInfo(destination).dir().exists() ||
                                       lock.error() != QLockFile::LockFailedError);
    if (folderFails)
        outcome.failure = told(QStringLiteral("مجلد النسخ الاحتياطي غير موجود أو لا تمكن الكتابة فيه"));

    const engine::OpenSpec openSpec = store.isOpen() ? store.db().openSpec() : engine::OpenSpec();
    store.CLOSEDATABASE();
    // Another program may have the shared file open and be writing: the
    // engine's online backup gives a consistent copy, encrypted with the
    // key of the source. Another workstation holding the lock is taking
    // the same backup now.
    if (mine) {
        const QString why = whyCopyFailed(copyDatabase(openSpec, store.config().dbFile, destination, progress));
        if (!why.isEmpty())
            outcome.failure = told(why);
    }
    static_cast<core::OpenResult &>(outcome) = store.OPENDATABASE();
    return outcome;
}

} // namespace logon
