#pragma once

#include "OpenDb.h"

#include <QString>

namespace logon {

// The one safety copy of the database: <data folder>/backup/velm.mdb.
QString backupFilePath(const core::DataStore &store);

// LOGONBACKUP: when the backup file is missing, closes the connection,
// copies the database in use (db_file) to the backup file and opens the
// connection again. A failed copy is not reported. The result is that of
// opening the connection again (ok when nothing had to be done).
core::OpenResult LOGONBACKUP(core::DataStore &store);

} // namespace logon
