#include "logon/LogonBackup.h"

#include "data/BackgroundTask.h"
#include "data/Backups.h"
#include "engine/Database.h"
#include "engine/EngineError.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <atomic>
#include <memory>

namespace logon {

namespace {


// A copy still to be made: its file, and the day of a dated one.
struct WantedCopy {
    QString path;
    QDate day; // invalid for the one-time copy
};

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

// The copies one after the other from one connection of the worker's own;
// the dated copies of days gone by go once today's is in place. Returns the
// error number of the first copy that failed (the rest are not tried), 0
// when all are in place or the program ends meanwhile and stops them.
int makeCopies(const engine::OpenSpec &openSpec, const QString &dbFile, const QList<WantedCopy> &wanted,
               const core::backups::Retention &rule, std::atomic<int> &percent, const std::function<bool()> &stop)
{
    try {
        std::unique_ptr<engine::Database> source;
        if (openSpec.isValid()) {
            source = std::make_unique<engine::Database>();
            source->open(openSpec); // the key is known: no derivation
        } else {
            source = core::DataConnections::openFile(dbFile);
        }
        const int share = 100 / int(wanted.size());
        for (int i = 0; i < wanted.size(); ++i) {
            const auto told = [&](int p) { percent = i * share + p * share / 100; };
            if (wanted[i].day.isValid())
                core::backups::takeDatedCopy(*source, QFileInfo(wanted[i].path).path(), rule, wanted[i].day, told, stop);
            else
                core::backups::takeCopy(*source, wanted[i].path, told, stop);
        }
        percent = 100;
    } catch (const engine::EngineError &e) {
        // A full disk or a damaged copy: the logon goes on, told.
        if (e.number() != engine::ErrOperationCanceled)
            return e.number();
    }
    return 0;
}

// Copies off the caller's thread; the caller's thread runs its events
// meanwhile and hears of the progress. A program that ends meanwhile stops
// the copy.
int copyInBackground(const engine::OpenSpec &openSpec, const QString &dbFile, const QList<WantedCopy> &wanted,
                     const core::backups::Retention &rule, const BackupProgress &progress)
{
    std::atomic<int> failed{0};
    // When the program ends meanwhile the copies stop, their temporary files go too.
    core::runWhileHandlingEvents(
        [&](const core::BackgroundTask::Control &control, std::atomic<int> &percent) {
            failed = makeCopies(openSpec, dbFile, wanted, rule, percent, [&] { return control.stopRequested(); });
        },
        progress);
    return failed;
}

} // namespace

QString backupFilePath(const core::DataStore &store)
{
    return core::backups::onceCopyPath(core::backups::folderOf(store.config().dataDir));
}

QString datedBackupPath(const core::DataStore &store, const QDate &day)
{
    return core::backups::folderOf(store.config().dataDir) + QLatin1Char('/') + core::backups::datedName(day);
}

bool datedCopyAtLogon(core::DataStore &store)
{
    return store.isOpen() && !store.db().onServer() && store.db().journal() == engine::Journal::Rollback;
}

BackupOutcome LOGONBACKUP(core::DataStore &store, const BackupProgress &progress, const QDate &today)
{
    const QString dataDir = store.config().dataDir;
    const QString folder = core::backups::folderOf(dataDir);
    const core::backups::Retention rule = core::backups::readRetention(dataDir);
    QList<WantedCopy> wanted;
    if (!QFileInfo::exists(backupFilePath(store)))
        wanted.append({backupFilePath(store), QDate()});
    if (rule.takesCopies() && !QFileInfo::exists(datedBackupPath(store, today)) && datedCopyAtLogon(store))
        wanted.append({datedBackupPath(store, today), today});
    core::backups::FolderLock lock(folder);
    const bool mine = lock.tryLock(0);
    BackupOutcome outcome;
    if (wanted.isEmpty()) {
        outcome.ok = true;
        return outcome;
    }
    // Held by another workstation, the lock means that one copies now.
    if (!mine && !lock.heldElsewhere())
        outcome.failure = told(QStringLiteral("مجلد النسخ الاحتياطي غير موجود أو لا تمكن الكتابة فيه"));

    const engine::OpenSpec openSpec = store.isOpen() ? store.db().openSpec() : engine::OpenSpec();
    store.CLOSEDATABASE();
    // Another program may have the shared file open and be writing: the
    // copy is taken from one snapshot, encrypted with the key of the source.
    if (mine) {
        const QString why =
            whyCopyFailed(copyInBackground(openSpec, store.config().dbFile, wanted, rule, progress));
        if (!why.isEmpty())
            outcome.failure = told(why);
    }
    static_cast<core::OpenResult &>(outcome) = store.OPENDATABASE();
    return outcome;
}

DailyBackup::DailyBackup(QObject *parent) : QObject(parent) {}

DailyBackup::~DailyBackup()
{
    cancel();
}

bool DailyBackup::start(core::DataStore &store, const QDate &today)
{
    if (m_task.isRunning() || !store.isOpen() || datedCopyAtLogon(store))
        return false;
    const QString dataDir = store.config().dataDir;
    const core::backups::Retention rule = core::backups::readRetention(dataDir);
    if (!rule.takesCopies() || QFileInfo::exists(datedBackupPath(store, today)))
        return false;
    // Held by another workstation, the lock means that one copies now.
    auto lock = std::make_unique<core::backups::FolderLock>(core::backups::folderOf(dataDir));
    if (!lock->tryLock(0)) {
        if (lock->heldElsewhere())
            return false;
        emit finished(told(QStringLiteral("مجلد النسخ الاحتياطي غير موجود أو لا تمكن الكتابة فيه")));
        return true;
    }
    m_lock = std::move(lock);
    m_failure = 0;
    const engine::OpenSpec sourceSpec = store.db().openSpec(); // the key is known: no derivation
    const QString folder = core::backups::folderOf(dataDir);
    m_task.start(
        [this, sourceSpec, folder, rule, today](const core::BackgroundTask::Control &control) {
            try {
                engine::Database source;
                source.open(sourceSpec);
                int told = -1;
                core::backups::takeDatedCopy(
                    source, folder, rule, today,
                    [&](int percent) {
                        if (percent != told)
                            control.post([this, percent] { emit progress(percent); });
                        told = percent;
                    },
                    [&control] { return control.stopRequested(); });
            } catch (const engine::EngineError &e) {
                if (e.number() != engine::ErrOperationCanceled)
                    m_failure = e.number();
            }
        },
        [this] {
            m_lock.reset();
            emit finished(m_failure ? told(whyCopyFailed(m_failure)) : QString());
        });
    return true;
}

void DailyBackup::cancel()
{
    m_task.cancel();
    m_task.wait();
    m_lock.reset();
}

} // namespace logon
