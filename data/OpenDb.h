#pragma once

#include "data/AuditTrail.h"
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
    // With a server in db_path, opens that instead (no file checks).
    OpenResult OPENDATABASE();
    void CLOSEDATABASE();
    // CLOSEDATABASE, and the shared view connection let go as well: what a
    // restore needs before it may replace the file.
    void closeEveryConnection();
    // How OPENDATABASE tells a network file system (tests replace it).
    void setNetworkCheck(NetworkCheck check) { m_connections.setNetworkCheck(std::move(check)); }
    // True once per run after the database was opened on a network share:
    // the caller shows the notice; the data store never does.
    bool networkNoticeDue() { return m_connections.networkNoticeDue(); }

    bool isOpen() const { return m_connections.isOpen(); }
    // Whether the connection is open on the database the configuration
    // names (the server of db_path's sixth line, else db_file).
    bool openOnConfiguredDatabase() const;
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

    // The audit trail of the screens' writes; its actor is set at logon.
    AuditTrail &audit() { return m_audit; }
    const AuditTrail &audit() const { return m_audit; }
    // Who writes from now on (the workstation defaults to the host name):
    // every cursor slot opened afterwards writes through the audit trail.
    void setActor(const QString &userId, const QString &workstation = {}) { m_audit.setActor(userId, workstation); }
    // A write observer recording in the audit trail on the main connection,
    // for writes a screen makes outside its cursor slots (empty before the
    // logon). Throws EngineError 3001 when the database is not open.
    engine::WriteObserver auditObserver() { return m_audit.active() ? m_audit.observer(db()) : engine::WriteObserver(); }

    // The cursor slot of a table (created on first use; name in any case).
    CursorSlot &slot(const QString &table) { return m_slots.slot(table); }
    // Opens CATEGORY1 to CATEGORY18 at once into their slots.
    void openAllCodeTables();

    static QString codeTableName(int number); // "category1".."category18"

private:
    QString m_programDir;
    DataStoreConfig m_config;
    DataConnections m_connections;
    AuditTrail m_audit;
    CursorSlots m_slots{m_connections, m_audit};
};

} // namespace core
