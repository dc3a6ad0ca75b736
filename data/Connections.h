#pragma once

#include "engine/Database.h"

#include <QString>

#include <functional>
#include <memory>

namespace core {

// The connect string of the office database; its pwd= part is the key.
inline constexpr const char *kConnectString = ";pwd=zk";
inline constexpr int kOpenAttempts = 3; // tries of OPENDATABASE for 3001/3024/3260

// Password part of a connect string such as ";pwd=zk" (empty when none).
QString passwordFromConnect(const QString &connect);

// Whether the file system holding the file is a network one (NFS, SMB/CIFS,
// FUSE such as sshfs, AFS, Coda, NCP, 9P...), where WAL is not safe.
bool onNetworkFileSystem(const QString &path);
// The same for a statfs() f_type.
bool isNetworkFileSystemType(qint64 type);
using NetworkCheck = std::function<bool(const QString &path)>;

// Outcome of OPENDATABASE. On failure `message` is the text to show before
// the program ends ("Invalid Access" or "Invalid Access-<number>").
struct OpenResult {
    bool ok = false;
    int errorNumber = 0;
    QString message;
};

// The connections of the process to the office database: the main
// connection, the further connections of grids and look-ups, and the one
// view connection the screens share. Every connection to an office
// database is opened here.
class DataConnections {
public:
    DataConnections() = default;
    DataConnections(const DataConnections &) = delete;
    DataConnections &operator=(const DataConnections &) = delete;

    // Opens the main connection on dbFile, closing it first when open. A
    // file without the office schema (3011) or a damaged one (3049, cut
    // short) is refused with "Invalid Access";
    // a missing, unnamed or locked file is tried again up to kOpenAttempts
    // times, on the file `beforeRetry` (when given) returns.
    // On a network file system the file keeps the rollback journal (every
    // further connection too), and a notice becomes due.
    OpenResult openMain(QString dbFile, const std::function<QString()> &beforeRetry);
    // Opens the main connection on a database server (a libpq connection
    // string or "service=NAME"). An empty server database gets the office
    // schema and the starter codes, as a new file does; one holding other
    // tables but no office schema is refused. A server that cannot be
    // reached or refuses the logon gives "Invalid Access" and a second line
    // saying which server and why. No retries: a server is not a file that
    // appears a moment later.
    OpenResult openMainOnServer(const QString &server);
    // Whether the main connection is open on that database (the server
    // when one is given, else the file).
    bool mainIsOn(const QString &dbFile, const QString &server) const;
    // How openMain tells a network file system (onNetworkFileSystem unless
    // replaced, as tests do).
    void setNetworkCheck(NetworkCheck check) { m_networkCheck = std::move(check); }
    // True once, the first time it is asked after the main connection was
    // opened on a network file system: the notice that several workstations
    // should share a database server is then to be shown.
    bool networkNoticeDue();
    void closeMain();
    bool isOpen() const { return m_main && m_main->isOpen(); }
    // The main connection; throws EngineError 3001 when it is not open. The
    // object stays the same across close and open: screens and grids hold
    // references to it.
    engine::Database &main();

    // A further connection on dbFile, or on the server when one is given.
    // With the main connection open on the same file its derived key is
    // reused: no key derivation. Throws EngineError.
    std::unique_ptr<engine::Database> openView(const QString &dbFile, const QString &server = {}) const;
    // The shared view connection on dbFile (or the server), opened on first
    // use and again when the database changes or it was closed. Throws EngineError.
    std::shared_ptr<engine::Database> sharedView(const QString &dbFile, const QString &server = {});

    // Lets the shared view connection go (those who hold it keep it until
    // they let go too); the next sharedView() opens a new one.
    void releaseSharedView();

    // A connection of its own on any office file (another database, a
    // look before the logon), with the office key. Throws EngineError.
    static std::unique_ptr<engine::Database> openFile(const QString &dbFile,
                                                      const QStringList &requiredTables = {});
    // The same on a database server. Throws EngineError.
    static std::unique_ptr<engine::Database> openServer(const QString &server,
                                                        const QStringList &requiredTables = {});

private:
    std::unique_ptr<engine::Database> m_main;
    NetworkCheck m_networkCheck = onNetworkFileSystem;
    bool m_noticeDue = false;
    bool m_noticeGiven = false;
    std::shared_ptr<engine::Database> m_sharedView;
    QString m_sharedViewPath;
};

} // namespace core
