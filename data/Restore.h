#pragma once

#include "data/Backups.h"

#include <QDate>
#include <QString>

// Putting a backup back in the place of the office's database file.
namespace core::restore {

struct Restored {
    QString keptAs; // where the database that was replaced now lies
    qint64 persons = 0;
};

// The name the replaced database is kept under, beside it:
// velm-before-restore-YYYY-MM-DD.mdb, then -2, -3 ... when that is taken.
QString setAsideName(const QString &dbFile, const QDate &day);

// Replaces the database file dbFile by a copy of `backup`, which stays as
// it is. Nobody may have dbFile open meanwhile, this program included (its
// caller closes every connection of its own first): while the restore runs
// nobody can open it either. The backup is copied beside the database and
// checked (the key, the office's tables, every page) before anything of the
// database changes; then the database, with its journal files, keeps its
// data under setAsideName() and the checked copy takes its name.
// Progress 0..100 on the calling thread. Throws EngineError and leaves the
// database as it was: 3260 when a connection somewhere has the file open,
// 3051 when this file system cannot tell, 3024/3031/3011/3049 for a backup
// that is missing, does not open with the key, is not an office database or
// is damaged, 3059 when stopped.
Restored putInPlace(const QString &backup, const QString &dbFile, const QDate &today,
                    const backups::Progress &progress = {}, const backups::StopCheck &stop = {});

} // namespace core::restore
