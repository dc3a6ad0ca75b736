#pragma once

#include "data/OpenDb.h"

#include <QString>

#include <functional>

namespace logon {

// The one safety copy of the database: <data folder>/backup/velm.mdb.
QString backupFilePath(const core::DataStore &store);

// Share of the copy done, 0..100, told on the caller's thread.
using BackupProgress = std::function<void(int percent)>;

// What LOGONBACKUP did: the result of opening the connection again (ok
// when nothing had to be done) and, when a wanted copy was not made, what
// to tell the user (plain Arabic; empty when there is nothing to tell).
struct BackupOutcome : core::OpenResult {
    QString failure;
};

// LOGONBACKUP: when the backup file is missing, closes the connection,
// copies the database in use (db_file) to the backup file and opens the
// connection again, whether or not the copy was made. A copy that could not
// be made or was refused is told in the outcome; showing it is the caller's.
//
// The copy runs on a thread of its own, a few megabytes a step, while the
// caller's thread keeps handling events (the window stays alive) and hears
// of the progress; it reaches 100 when the copy is in place. It is written
// under a temporary name and renamed, so the backup name never holds half a
// copy. Only one workstation copies at a time (a lock file beside the
// backup); the one that holds the lock first removes what a copy that was
// killed halfway left behind (velm.mdb.part-* with its journal files).
BackupOutcome LOGONBACKUP(core::DataStore &store, const BackupProgress &progress = {});

} // namespace logon
