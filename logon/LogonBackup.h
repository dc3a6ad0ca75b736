#pragma once

#include "data/BackgroundTask.h"
#include "data/Backups.h"
#include "data/OpenDb.h"

#include <QDate>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace logon {

// The one safety copy of the database: <data folder>/backup/velm.mdb.
QString backupFilePath(const core::DataStore &store);
// The dated copy of a day: <data folder>/backup/velm-YYYY-MM-DD.mdb.
QString datedBackupPath(const core::DataStore &store, const QDate &day);

// Share of the copy done, 0..100, told on the caller's thread.
using BackupProgress = std::function<void(int percent)>;

// What LOGONBACKUP did: the result of opening the connection again (ok
// when nothing had to be done) and, when a wanted copy was not made, what
// to tell the user (plain Arabic; empty when there is nothing to tell).
struct BackupOutcome : core::OpenResult {
    QString failure;
};

// Whether the day's dated copy is taken at the logon rather than beside the
// work: a file on a network share keeps the rollback journal, where a copy
// reading for a minute would keep everybody else from saving meanwhile.
bool datedCopyAtLogon(core::DataStore &store);

// LOGONBACKUP: when the backup file is missing, closes the connection,
// copies the database in use (db_file) to the backup file and opens the
// connection again, whether or not the copy was made. Where datedCopyAtLogon()
// says so, today's dated copy is taken the same way when it is missing (and
// the copies of days gone by go as backup.conf says). The backup folder is
// made when it is missing (the first start). A copy that could not be made
// or was refused is told in the outcome; showing it is the caller's.
//
// The copies run on a thread of their own, a few megabytes a step, while the
// caller's thread keeps handling events (the window stays alive) and hears
// of the progress; it reaches 100 when they are in place. Each is written
// under a temporary name and checked (key, tables, every page) before it
// takes its name, so a backup name never holds half a copy or a damaged
// one. Only one workstation copies at a time (a lock file in the backup
// folder); the one that holds the lock first removes what a copy that was
// killed halfway left behind (*.part-* with their journal files).
BackupOutcome LOGONBACKUP(core::DataStore &store, const BackupProgress &progress = {},
                          const QDate &today = QDate::currentDate());

// The day's dated copy, taken after the logon beside the clerk's work: on a
// connection of its own, from one snapshot (others save meanwhile), checked
// before it takes its name; then the copies of days gone by go as the data
// folder's backup.conf says. Progress and the end come on the owner's thread.
class DailyBackup : public QObject {
    Q_OBJECT
public:
    explicit DailyBackup(QObject *parent = nullptr);
    ~DailyBackup() override;

    // Starts today's copy when it is due here; false when there is nothing
    // to do (taken already, dated copies off, taken at the logon, another
    // workstation copying now, the database closed). After true, finished()
    // comes (at once when the backup folder cannot be made or written).
    bool start(core::DataStore &store, const QDate &today = QDate::currentDate());
    // Stops a copy under way and waits for it; nothing of it is left, and
    // the next logon of the day takes it again.
    void cancel();
    bool isRunning() const { return m_task.isRunning(); }

signals:
    void progress(int percent);
    // The copy ended: empty when it is in place (or was stopped), else what
    // to tell the user.
    void finished(const QString &failure);

private:
    std::unique_ptr<core::backups::FolderLock> m_lock;
    int m_failure = 0; // written by the work, read after it
    core::BackgroundTask m_task{this}; // last: it waits for the work before the rest goes
};

} // namespace logon
