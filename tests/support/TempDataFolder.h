#pragma once

#include "data/OpenDb.h"
#include "support/TestDatabase.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

// A throw-away program folder for tests that need a real office database.
//
// Typical use in a screen test:
//
//     testsupport::TempDataFolder folder;          // db_path with the default lines
//     core::DataStore &store = folder.openStore(); // first database placed, copied, opened
//     testsupport::TempDataFolder::addUser(store.db(), "admin", "pw", "مدير");
//     ... hand `store` to the screen (AppContext) and drive it ...
//
// Everything lives under programDir() and is removed with the object.
class TempDataFolder {
public:
    // The default db_path: second splash off, the four folders relative to
    // the program folder.
    static QStringList defaultDbPathLines(); // "0", "\data", "\pictures", "\material", "\forms"

    // Makes the folder and writes db_path with the default lines (or none
    // when writeDefaultDbPath is false). In a server run (VELM_TEST_BACKEND
    // =server) the office database is a fresh database on the test server,
    // dropped with the folder, and the default db_path names it on its
    // sixth line.
    explicit TempDataFolder(bool writeDefaultDbPath = true);
    ~TempDataFolder();

    bool isValid() const { return m_dir.isValid(); }
    // Whether the office database is on the test server.
    bool onServer() const { return m_server != nullptr; }
    // The default lines, with the test server's connection on the sixth in
    // a server run.
    QStringList dbPathLines() const;
    // A connection of its own to the office database (a second
    // workstation), on the file or the server. Throws engine::EngineError.
    std::unique_ptr<engine::Database> openOtherConnection() const;
    // The program folder (no trailing slash).
    QString programDir() const { return m_dir.path(); }
    // programDir() + "/" + relative.
    QString path(const QString &relative) const;
    // The data folder of the default db_path: programDir() + "/data".
    QString dataDir() const { return path(QStringLiteral("data")); }

    // Writes db_path from the given lines, each followed by lineEnd
    // ("\n" or "\r\n"); withBom puts a UTF-8 byte order mark first. In a
    // server run five lines get the test server's as the sixth.
    void writeDbPath(const QStringList &lines, const QByteArray &lineEnd = "\n",
                     bool withBom = false) const;
    // Writes db_path byte for byte.
    void writeDbPathBytes(const QByteArray &content) const;

    // Creates the first database programDir()/velm.mdb (schema, starter
    // codes, no user) unless it exists; returns its path.
    QString placeFirstDatabase() const;

    // A data store on programDir() that has read nothing yet (owned here).
    core::DataStore &store();
    // The data store after placeFirstDatabase(), READDBPATH and OPENDATABASE:
    // the database is open on dataDir()/velm.mdb. Throws engine::EngineError
    // when it cannot be opened.
    core::DataStore &openStore();

    // Permission numbers 1..14 all granted.
    static QList<int> allPermissions();
    // Adds a users row; check1..check14 are 1 for the numbers in `granted`,
    // 0 for the others; the other text fields are one blank.
    static void addUser(engine::Database &db, const QString &userId, const QString &password,
                        const QString &name = QStringLiteral("مستخدم"),
                        const QList<int> &granted = allPermissions());
    // Adds a tamrel row with the number and names given; the other fields
    // stay empty (null), the flags 0.
    static void addPerson(engine::Database &db, const QString &tamrelNo,
                          const QString &aNewName = QStringLiteral("عبدالله"),
                          const QString &eNewName = QStringLiteral("Abdullah"));

private:
    QTemporaryDir m_dir;
    std::unique_ptr<TempDatabase> m_server;
    std::unique_ptr<core::DataStore> m_store;
};

} // namespace testsupport
