#include "reports/ReportPictures.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace reports {

namespace {

// The local path a name stands for; empty for a URL of another kind
// (http:, data:, qrc: ...), which is never followed.
QString localPath(const QString &name)
{
    if (name.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
        return QUrl(name).toLocalFile();
    const QUrl url(name);
    if (!url.scheme().isEmpty() && url.scheme().size() > 1)
        return {};
    return name;
}

// The file a name stands for, with links resolved, when it lies inside
// one of the folders; empty otherwise.
QString placeInFolders(const QString &path, const QStringList &folders)
{
    QStringList candidates;
    if (QDir::isAbsolutePath(path)) {
        candidates << path;
    } else {
        for (const QString &folder : folders)
            if (!folder.isEmpty())
                candidates << QDir(folder).filePath(path);
    }
    for (const QString &candidate : std::as_const(candidates)) {
        const QString file = QFileInfo(candidate).canonicalFilePath();
        if (file.isEmpty())
            continue;
        for (const QString &folder : folders) {
            const QString root = folder.isEmpty() ? QString() : QFileInfo(folder).canonicalFilePath();
            if (!root.isEmpty() && file.startsWith(root + QLatin1Char('/')))
                return file;
        }
    }
    return {};
}

// The bytes of a regular file of at most kMaxPictureBytes, read before the
// deadline; empty with `why` otherwise.
QByteArray readBounded(const QString &file, const QDeadlineTimer &deadline, QString *why)
{
    const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *why = QStringLiteral("لا يمكن فتح الملف");
        return {};
    }
    QByteArray bytes;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        *why = QStringLiteral("ليس ملفا عاديا");
    } else if (st.st_size > kMaxPictureBytes) {
        *why = QStringLiteral("حجمه أكبر من %1 ميغابايت").arg(kMaxPictureBytes / (1024 * 1024));
    } else {
        bytes.resize(qsizetype(st.st_size));
        qsizetype got = 0;
        while (got < bytes.size() && !deadline.hasExpired()) {
            const ssize_t n = ::read(fd, bytes.data() + got, size_t(qMin<qsizetype>(bytes.size() - got, 1 << 20)));
            if (n <= 0)
                break;
            got += n;
        }
        if (got < bytes.size()) {
            *why = deadline.hasExpired() ? QStringLiteral("تجاوزت قراءته الوقت المسموح")
                                         : QStringLiteral("تعذرت قراءته");
            bytes.clear();
        }
    }
    ::close(fd);
    return bytes;
}

} // namespace

QImage readPicture(const QString &name, const QStringList &folders, const QDeadlineTimer &deadline, QString *why)
{
    QString reason;
    QImage image;
    const QString path = localPath(name.trimmed());
    const QString file = path.isEmpty() ? QString() : placeInFolders(path, folders);
    if (file.isEmpty()) {
        reason = QStringLiteral("ليس ملفا في مجلد الصور أو مجلد البيانات أو مجلد البرنامج");
    } else if (deadline.hasExpired()) {
        reason = QStringLiteral("تجاوزت قراءة الصور الوقت المسموح");
    } else {
        // Stat before open: a pipe or a device is left alone, never opened.
        const QFileInfo info(file);
        if (!info.isFile())
            reason = QStringLiteral("ليس ملفا عاديا");
        else if (info.size() > kMaxPictureBytes)
            reason = QStringLiteral("حجمه أكبر من %1 ميغابايت").arg(kMaxPictureBytes / (1024 * 1024));
        if (reason.isEmpty()) {
            QByteArray bytes = readBounded(file, deadline, &reason);
            if (reason.isEmpty()) {
                QBuffer buffer(&bytes);
                QImageReader reader(&buffer);
                reader.setAutoTransform(true);
                image = reader.read();
                if (image.isNull())
                    reason = QStringLiteral("ليس صورة");
            }
        }
    }
    if (why)
        *why = reason;
    return image;
}

} // namespace reports
