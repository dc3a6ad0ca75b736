#pragma once

#include <QString>

#include <memory>

namespace engine {

// Who has a database file open. Beside the file lies "<file>-inuse", on
// which every connection to the file holds a shared lock for as long as it
// has the file open (its statements keep the lock while they outlive it).
// The locks belong to the open file, not to the process: two connections of
// one program count as two, as two workstations do. Putting another file in
// the file's place needs the lock to itself, which is granted only while no
// connection anywhere has the file open; and while it is held nobody can
// open the file.
//
// The lock file is made with the database's own permissions (whoever may
// write the database may lock it) and removed by the last one to let go.
class FileUse {
public:
    enum class Claim {
        Granted,
        InUse,   // a connection has the file open
        Unknown, // the lock file cannot be made or locked here (a file system without locks)
    };

    ~FileUse();
    FileUse(const FileUse &) = delete;
    FileUse &operator=(const FileUse &) = delete;

    // A shared hold on an existing file; null where the folder keeps no
    // locks. Throws EngineError 3260 while someone holds the file to itself.
    static std::shared_ptr<FileUse> share(const QString &dbPath);
    // The file to this one holder; null, with the reason, when not granted.
    static std::unique_ptr<FileUse> claim(const QString &dbPath, Claim *why);

    static QString lockPath(const QString &dbPath);

private:
    FileUse(int fd, QString lockPath, bool exclusive);

    int m_fd;
    QString m_lockPath;
    bool m_exclusive;
};

} // namespace engine
