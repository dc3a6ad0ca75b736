#pragma once

#include "data/OpenDb.h"

#include <QDate>
#include <QString>

#include <functional>

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

// LOGONBACKUP: when the backup file is missing, or today has no dated copy
// yet, closes the connection, copies the database in use (db_file) to the
// backup file and to today's dated copy (whichever is missing), lets the
// dated copies of days gone by go as the data folder's backup.conf says
// (data/Backups.h), and opens the connection again, whether or not the
// copies were made. The backup folder is made when it is missing (the first
// start). A copy that could not be made or was refused is told in the
// outcome; showing it is the caller's.
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

} // namespace logon
