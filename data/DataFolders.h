#pragma once

#include "data/DbPath.h"

#include <QString>

namespace core {

// The folders db_path names, and the first database the installer puts
// beside the program, copied into the data folder.
class DataFolders {
public:
    // programDir without a trailing slash.
    explicit DataFolders(QString programDir) : m_programDir(std::move(programDir)) {}

    // MAKEFOLDERS: the backup, picture, material, forms and data folders
    // (one level each, each failure ignored, in that order), then the
    // first-database copy.
    void make(const DataStoreConfig &config) const;

    // Copies the program folder's velm.mdb into dataDir unless dataDir holds
    // one already; true when it was copied. A broken copy never stands as
    // the office database.
    bool placeFirstDatabase(const QString &dataDir) const;

private:
    QString m_programDir;
};

} // namespace core
