#include "data/DbPath.h"

#include <QFile>
#include <QStringDecoder>
#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace core {

namespace {

// Decodes db_path: UTF-8 as written today; files written by the office's
// older tools are in the Arabic Windows code page.
QString decodeConfig(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    QStringDecoder arabic("windows-1256");
    if (arabic.isValid()) {
        text = arabic(bytes);
        if (!arabic.hasError())
            return text;
    }
    return QString::fromLatin1(bytes);
}

QStringList configLines(const QByteArray &bytes)
{
    QString text = decodeConfig(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    // CRLF, LF and a carriage return alone (as older editors wrote) all end a line.
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    // A final line end does not start another line.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The start of db_path, at most kConfigReadLimit bytes cut back to the last
// whole line; only a regular file is read, and nothing here can block (a
// named pipe or a device, or a link to one, is refused before it is opened).
bool readConfigFile(const QString &path, QByteArray &bytes)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    bytes = QByteArray(kConfigReadLimit, '\0');
    qsizetype filled = 0;
    while (ok && filled < bytes.size()) {
        const ssize_t got = ::read(fd, bytes.data() + filled, size_t(bytes.size() - filled));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            ok = false;
        else if (got == 0)
            break;
        else
            filled += got;
    }
    ::close(fd);
    bytes.truncate(filled);
    if (filled == kConfigReadLimit) {
        const qsizetype lastEnd = qMax(bytes.lastIndexOf('\n'), bytes.lastIndexOf('\r'));
        bytes.truncate(lastEnd < 0 ? 0 : lastEnd + 1);
    }
    return ok;
}

QString toSlashes(QString path)
{
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path;
}

} // namespace

std::optional<DataStoreConfig> DbPathReader::read() const
{
    QByteArray bytes;
    if (!readConfigFile(filePath(), bytes))
        return std::nullopt;
    return parse(bytes);
}

DataStoreConfig DbPathReader::parse(const QByteArray &bytes) const
{
    QStringList lines = configLines(bytes);
    while (lines.size() < 5)
        lines << QString();

    DataStoreConfig config;
    config.showLogo2 = lines.at(0);
    const QString line2 = lines.at(1);
    // Only the data folder line decides whether all four folders are
    // absolute: a drive colon anywhere, or a root slash.
    const bool absolute = line2.contains(QLatin1Char(':')) || line2.startsWith(QLatin1Char('/'));
    QString folders[4];
    for (int i = 0; i < 4; ++i) {
        const QString line = lines.at(i + 1);
        // Relative lines are trimmed before they are joined: the office's
        // first platform dropped blanks at the end of a folder name, so a
        // blank before the leading backslash never counted either.
        folders[i] = absolute ? toSlashes(line) : toSlashes(m_programDir + line.trimmed()).trimmed();
    }
    config.dataDir = folders[0];
    config.pictureDir = folders[1];
    config.materialDir = folders[2];
    config.formsDir = folders[3];
    config.dbFile = config.dataDir + QLatin1Char('/') + QLatin1String(kDatabaseFileName);
    if (lines.size() > 5)
        config.server = lines.at(5).trimmed();
    return config;
}

} // namespace core
