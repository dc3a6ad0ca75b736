#pragma once

#include "engine/Database.h"
#include "engine/TableCursor.h"

#include <QHash>
#include <QString>

#include <memory>

namespace core {

// The connect string of the office database; its pwd= part is the key.
inline constexpr const char *kConnectString = ";pwd=zk";
inline constexpr const char *kDatabaseFileName = "velm.mdb";
inline constexpr int kOpenAttempts = 3; // tries of OPENDATABASE for 3001/3024/3260
inline constexpr int kConfigReadLimit = 64 * 1024; // bytes of db_path read at most

// Password part of a connect string such as ";pwd=zk" (empty when none).
QString passwordFromConnect(const QString &connect);

// Values derived from the configuration file db_path.
struct DataStoreConfig {
    QString showLogo2;   // line 1
    QString dataDir;     // line 2, expanded; also the report folder
    QString pictureDir;  // line 3
    QString materialDir; // line 4
    QString formsDir;    // line 5
    QString dbFile;      // dataDir + "/velm.mdb", or the other_db choice
    QString reportDir() const { return dataDir; }
};

// Outcome of OPENDATABASE. On failure `message` is the text to show before
// the program ends ("Invalid Access" or "Invalid Access-<number>").
struct OpenResult {
    bool ok = false;
    int errorNumber = 0;
    QString message;
};

class DataStore;

// One cursor slot per table: opened at the start of an operation, closed at
// its end. The slot survives; the cursor does not.
class CursorSlot {
public:
    CursorSlot(DataStore &store, QString table) : m_store(store), m_table(std::move(table)) {}
    // Opens (or re-opens) the cursor; throws EngineError (3011 and others).
    engine::TableCursor &open();
    void close() { m_cursor.reset(); }
    bool isOpen() const { return m_cursor != nullptr; }
    // The open cursor; throws 3021-like EngineError (3001) when not open.
    engine::TableCursor &cursor();
    const QString &table() const { return m_table; }

private:
    DataStore &m_store;
    QString m_table;
    std::unique_ptr<engine::TableCursor> m_cursor;
};

// The data store (module OPENDB): configuration, folders, the one
// connection of the process and the table cursor slots.
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

    bool isOpen() const { return m_db && m_db->isOpen(); }
    // The connection; throws EngineError 3001 when it is not open.
    engine::Database &db();

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
    CursorSlot &slot(const QString &table);
    // Opens CATEGORY1 to CATEGORY18 at once into their slots.
    void openAllCodeTables();

    static QString codeTableName(int number); // "category1".."category18"

private:
    QString m_programDir;
    DataStoreConfig m_config;
    std::unique_ptr<engine::Database> m_db;
    std::shared_ptr<engine::Database> m_sharedView;
    QString m_sharedViewPath;
    QHash<QString, CursorSlot *> m_slots;
};

} // namespace core
