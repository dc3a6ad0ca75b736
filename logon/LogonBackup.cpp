#include "LogonBackup.h"

#include "engine/Database.h"
#include "engine/EngineError.h"

#include <QFileInfo>

namespace logon {

QString backupFilePath(const core::DataStore &store)
{
    return store.config().dataDir + QStringLiteral("/backup/") +
           QLatin1String(core::kDatabaseFileName);
}

core::OpenResult LOGONBACKUP(core::DataStore &store)
{
    const QString destination = backupFilePath(store);
    if (QFileInfo::exists(destination)) {
        core::OpenResult nothingToDo;
        nothingToDo.ok = true;
        return nothingToDo;
    }

    store.CLOSEDATABASE();
    // Another program may have the shared file open and be writing: the
    // engine's online backup gives a consistent copy, written under a
    // temporary name and renamed, so the backup name never holds half a
    // copy. It is encrypted with the key of the source.
    try {
        engine::Database source;
        source.open(store.config().dbFile,
                    core::passwordFromConnect(QLatin1String(core::kConnectString)));
        source.backupTo(destination);
    } catch (const engine::EngineError &) {
        // A missing backup folder or a full disk: the logon goes on.
    }
    return store.OPENDATABASE();
}

} // namespace logon
