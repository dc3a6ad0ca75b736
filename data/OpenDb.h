#pragma once

#include "data/Connections.h"
#include "data/CursorSlots.h"
#include "data/DataFolders.h"
#include "data/DbPath.h"
#include "engine/Database.h"
#include "engine/TableCursor.h"

#include <QString>

#include <memory>

namespace core {

// The data store (module OPENDB): the configuration read from db_path, the
// folders, the connections of the process and the table cursor slots, each
// kept by a part of its own.
class DataStore {
public:
    // programDir is the folder of the executable (a parameter for tests).
    explicit DataStore(QString programDir);
    ~DataStore();

    const QString &programDir() const { return m_programDir; }
    DataStoreConfig &config() { return m_config; }
    const DataStoreConfig &config() const { return m_config; }

    // READDBPATH: reads db_path and computes the folders and db_file, then
    // runs MAKEFOLDERS. A missing or unreadable file, or one that is not a
    // regular file (a pipe, a device), leaves the values as they were and
    // prepares no folder; returns false then. Only the first 64 KB are read.
    bool READDBPATH();
    // MAKEFOLDERS: backup, picture, material, forms and data folders (each
    // failure ignored, in that order), then the first-database copy.
    void MAKEFOLDERS();
    // OPENDATABASE with the reactions to 3011, 3001/3024 (bounded re-read
    // and retry) and any other error. Closes a connection that is open.
    OpenResult OPENDATABASE();
    void CLOSEDATABASE();
    // How OPENDATABASE tells a network file system (tests replace it).
    void setNetworkCheck(NetworkCheck check) { m_connections.setNetworkCheck(std::move(check)); }
    // True once per run after the database was opened on a network share:
    // the caller shows the notice; the data store never does.
    bool networkNoticeDue() { return m_connections.networkNoticeDue(); }

    bool isOpen() const { return m_connections.isOpen(); }
    // The connection; throws EngineError 3001 when it is not open.
    engine::Database &db() { return m_connections.main(); }

    // A further connection on db_file for a grid's data source: a grid keeps
    // its statement open while rows are scrolled into view, and on its own
    // connection that pins no snapshot of the main connection. Throws EngineError.
    std::unique_ptr<engine::Database> openViewConnection() const;
    // The one view connection the data sources of the screens share,
    // opened on first use (and again when db_file changes). It stays open
    // while the main connection closes and opens again around the logon
    // backup; holders keep it alive. Throws EngineError.
    std::shared_ptr<engine::Database> sharedViewConnection();

    // The cursor slot of a table (created on first use; name in any case).
    CursorSlot &slot(const QString &table) { return m_slots.slot(table); }
    // Opens CATEGORY1 to CATEGORY18 at once into their slots.
    void openAllCodeTables();

    static QString codeTableName(int number); // "category1".."category18"

private:
    QString m_programDir;
    DataStoreConfig m_config;
    DataConnections m_connections;
    CursorSlots m_slots{m_connections};
};

} // namespace core
