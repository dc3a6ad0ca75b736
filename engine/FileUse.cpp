#include "engine/FileUse.h"

#include "engine/EngineError.h"

#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace engine {

namespace {

// The last holder to let go locks the file to itself for a moment to remove
// it; one who opens meanwhile waits that moment out.
constexpr int kShareAttempts = 15;
constexpr int kShareWaitMs = 20;

bool conflicts(int error)
{
    return error == EAGAIN || error == EACCES || error == EWOULDBLOCK;
}

// Open-file-description locks: held per open file, released when it closes.
bool lockWhole(int fd, short type)
{
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// The lock file, made with the permissions of the database beside it.
int openLockFile(const QByteArray &lock, const QByteArray &db)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        int fd = ::open(lock.constData(), O_RDWR | O_CLOEXEC);
        if (fd >= 0)
            return fd;
        if (errno == EACCES)
            return ::open(lock.constData(), O_RDONLY | O_CLOEXEC); // enough for a shared lock
        if (errno != ENOENT)
            return -1;
        struct stat st {};
        const mode_t mode = ::stat(db.constData(), &st) == 0 ? (st.st_mode & 0666) : 0600;
        fd = ::open(lock.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            ::fchmod(fd, mode); // the umask would take the group's right to write away
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    return -1;
}

// Whether the name still leads to the file locked: a last holder may have
// removed it between the opening and the lock.
bool stillNamed(int fd, const QByteArray &lock)
{
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::stat(lock.constData(), &named) == 0 && opened.st_dev == named.st_dev
           && opened.st_ino == named.st_ino;
}

// The lock file opened and locked, the name still leading to it; -1 with
// the error otherwise (0: there is nothing to lock with here).
int lockedFile(const QByteArray &lock, const QByteArray &db, short type, int *error)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        const int fd = openLockFile(lock, db);
        if (fd < 0) {
            *error = 0;
            return -1;
        }
        if (!lockWhole(fd, type)) {
            *error = errno;
            ::close(fd);
            return -1;
        }
        if (stillNamed(fd, lock))
            return fd;
        ::close(fd);
    }
    *error = EAGAIN;
    return -1;
}

} // namespace

FileUse::FileUse(int fd, QString lockPath, bool exclusive)
    : m_fd(fd), m_lockPath(std::move(lockPath)), m_exclusive(exclusive)
{
}

FileUse::~FileUse()
{
    const QByteArray lock = QFile::encodeName(m_lockPath);
    // The last one to let go removes the lock file; it finds out by taking
    // the lock to itself, which nobody else then holds.
    if ((m_exclusive || lockWhole(m_fd, F_WRLCK)) && stillNamed(m_fd, lock))
        ::unlink(lock.constData());
    ::close(m_fd);
}

QString FileUse::lockPath(const QString &dbPath)
{
    return dbPath + QStringLiteral("-inuse");
}

std::shared_ptr<FileUse> FileUse::share(const QString &dbPath)
{
    const QString path = lockPath(dbPath);
    for (int attempt = 0; attempt < kShareAttempts; ++attempt) {
        int error = 0;
        const int fd = lockedFile(QFile::encodeName(path), QFile::encodeName(dbPath), F_RDLCK, &error);
        if (fd >= 0)
            return std::shared_ptr<FileUse>(new FileUse(fd, path, false));
        if (!conflicts(error))
            return nullptr; // no locks on this file system
        QThread::msleep(kShareWaitMs);
    }
    throw EngineError(ErrFileLocked,
                      QStringLiteral("The database '%1' is being replaced by another user.").arg(dbPath));
}

std::unique_ptr<FileUse> FileUse::claim(const QString &dbPath, Claim *why)
{
    const QString path = lockPath(dbPath);
    int error = 0;
    const int fd = lockedFile(QFile::encodeName(path), QFile::encodeName(dbPath), F_WRLCK, &error);
    if (fd < 0) {
        // A lock file opened only for reading cannot be locked alone.
        *why = conflicts(error) ? Claim::InUse : Claim::Unknown;
        return nullptr;
    }
    *why = Claim::Granted;
    return std::unique_ptr<FileUse>(new FileUse(fd, path, true));
}

} // namespace engine
