#include "data/Backups.h"

#include "data/Connections.h"
#include "data/DatabaseCopy.h"
#include "data/DbPath.h"
#include "engine/Database.h"
#include "engine/EngineError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

#include <algorithm>
#include <cstdio>
#include <sys/stat.h>

namespace core::backups {

namespace {

// A copy takes about a minute for the largest register; a lock older than
// this is taken to be left by a workstation that stopped.
constexpr int kStaleLockMs = 30 * 60 * 1000;
constexpr int kMaxKept = 1000;
// Share of a file's copy spent copying pages; the check reads it all again.
constexpr int kCopyShare = 60;

const QStringList kOfficeTables{QStringLiteral("users"), QStringLiteral("tamrel")};

QString officeKey()
{
    return passwordFromConnect(QLatin1String(kConnectString));
}

std::optional<int> settingValue(const QByteArray &text, const char *name)
{
    std::optional<int> value;
    for (QByteArray line : text.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const int equals = line.indexOf('=');
        if (equals < 0 || line.left(equals).trimmed().toLower() != name)
            continue;
        bool ok = false;
        const int n = line.mid(equals + 1).trimmed().toInt(&ok);
        if (ok && n >= 0 && n <= kMaxKept)
            value = n;
    }
    return value;
}

// The journal every later opening of a copy chooses too (data/Connections.h),
// so that reading a copy never changes its file.
engine::Journal journalFor(const QString &path)
{
    return onNetworkFileSystem(path) ? engine::Journal::Rollback : engine::Journal::Wal;
}

// A copy under its temporary name, checked before it takes the real one:
// it opens with the key, holds the office's tables and (unless that was
// checked already) reads whole. Its persons.
qint64 checkCopy(const engine::OpenSpec &sourceSpec, const QString &copyPath, const StopCheck &stop,
                 bool readWhole = true)
{
    engine::Database copy;
    if (!sourceSpec.rawKey.isEmpty()) {
        engine::OpenSpec copySpec = sourceSpec; // the same key and page size: nothing to derive
        copySpec.path = copyPath;
        copySpec.requiredTables = kOfficeTables;
        copySpec.journal = journalFor(copyPath);
        copy.open(copySpec);
    } else {
        copy.open(copyPath, officeKey(), kOfficeTables, journalFor(copyPath));
    }
    copy.setStopCheck(stop);
    if (readWhole)
        copy.checkIntegrity();
    return personCount(copy);
}

void copyFileSource(engine::Database &source, const QString &destination, const Progress &progress,
                    const StopCheck &stop, qint64 *persons)
{
    const engine::OpenSpec openedSpec = source.openSpec();
    source.backupTo(
        destination,
        [&](int percent) {
            if (progress)
                progress(qMin(99, percent * kCopyShare / 100));
            return !(stop && stop());
        },
        [&](const QString &copyPath) {
            copyRights(source.path(), copyPath);
            if (progress)
                progress(kCopyShare);
            *persons = checkCopy(openedSpec, copyPath, stop);
        });
}

// A server's rows go into a new file made like the file's copies, compared
// table by table with the server and checked whole; an existing copy of the
// same name gives way only to a finished one.
void copyServerSource(engine::Database &source, const QString &destination, const Progress &progress,
                      const StopCheck &stop, qint64 *persons)
{
    const qint64 total = qMax<qint64>(1, officeRowCount(source));
    qint64 before = 0;
    qint64 current = 0;
    QString table;
    CopyOptions options;
    options.stop = stop;
    options.progress = [&](const QString &name, qint64 done, qint64) {
        if (name != table) {
            before += current;
            table = name;
        }
        current = done;
        if (progress)
            progress(int(qMin<qint64>(99, (before + done) * 100 / total)));
    };
    const bool replaces = QFileInfo::exists(destination);
    const QString target = replaces ? destination + QStringLiteral(".part-new") : destination;
    QFile::remove(target);
    copyToNewFile(source, target, officeKey(), options);
    try {
        *persons = checkCopy(engine::OpenSpec(), target, stop, false); // compared and read whole already
    } catch (...) {
        QFile::remove(target);
        throw;
    }
    if (replaces && std::rename(QFile::encodeName(target).constData(), QFile::encodeName(destination).constData()) != 0) {
        QFile::remove(target);
        throw engine::EngineError(engine::ErrCannotOpenFile,
                                  QStringLiteral("The copy could not be named '%1'.").arg(destination));
    }
}

BackupFile describe(const QFileInfo &info, BackupFile::Kind kind)
{
    BackupFile file;
    file.path = info.absoluteFilePath();
    file.kind = kind;
    file.taken = info.lastModified();
    file.bytes = info.size();
    return file;
}

} // namespace

QString folderOf(const QString &dataDir)
{
    return dataDir + QStringLiteral("/backup");
}

QString onceCopyPath(const QString &folder)
{
    return folder + QLatin1Char('/') + QLatin1String(kDatabaseFileName);
}

Retention parseRetention(const QByteArray &text)
{
    Retention rule;
    rule.daily = settingValue(text, "daily").value_or(rule.daily);
    rule.weekly = settingValue(text, "weekly").value_or(rule.weekly);
    rule.monthly = settingValue(text, "monthly").value_or(rule.monthly);
    return rule;
}

QByteArray defaultSettingsText()
{
    const Retention rule;
    return QByteArray("# The dated copies of the database in backup/ (velm-YYYY-MM-DD.mdb), taken at the\n"
                      "# first logon of each day and by velm-backup. Kept: the newest copy of each of the\n"
                      "# last `daily` days that have one, then the newest of each of the `weekly` weeks\n"
                      "# (Saturday to Friday) before them, then of each of the `monthly` months before\n"
                      "# those; older copies are removed. All three 0: no dated copies.\n")
        + "daily = " + QByteArray::number(rule.daily) + "\nweekly = " + QByteArray::number(rule.weekly)
        + "\nmonthly = " + QByteArray::number(rule.monthly) + "\n";
}

Retention readRetention(const QString &dataDir)
{
    const QString path = dataDir + QLatin1Char('/') + QLatin1String(kSettingsFileName);
    QFile file(path);
    if (file.open(QIODevice::ReadOnly))
        return parseRetention(file.read(64 * 1024));
    if (!QFileInfo::exists(path)) {
        // Written once, so that the office finds the numbers to change.
        QSaveFile written(path);
        if (written.open(QIODevice::WriteOnly)) {
            written.write(defaultSettingsText());
            written.commit();
        }
    }
    return Retention();
}

QString datedName(const QDate &day)
{
    return QStringLiteral("velm-%1.mdb").arg(day.toString(QStringLiteral("yyyy-MM-dd")));
}

std::optional<QDate> datedDay(const QString &fileName)
{
    static const QRegularExpression pattern(QStringLiteral("^velm-(\\d{4})-(\\d{2})-(\\d{2})\\.mdb$"));
    const QRegularExpressionMatch m = pattern.match(fileName);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate day(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    if (!day.isValid())
        return std::nullopt;
    return day;
}

QSet<QDate> keptDays(QList<QDate> days, const Retention &rule)
{
    std::sort(days.begin(), days.end(), std::greater<>());
    days.erase(std::unique(days.begin(), days.end()), days.end());
    QSet<QDate> kept;
    if (days.isEmpty())
        return kept;
    // Each rule goes from the newest copy back and takes the newest copy of
    // each period it meets, until it has its number; a period whose newest
    // copy an earlier rule took does not count for this one.
    const auto apply = [&](int count, const std::function<qint64(const QDate &)> &period) {
        std::optional<qint64> last;
        int taken = 0;
        for (const QDate &day : std::as_const(days)) {
            if (taken >= count)
                break;
            const qint64 p = period(day);
            if (last == p)
                continue;
            last = p;
            if (!kept.contains(day)) {
                kept.insert(day);
                ++taken;
            }
        }
    };
    apply(rule.daily, [](const QDate &d) { return d.toJulianDay(); });
    // Julian day 0 was a Monday: +2 makes the weeks start on Saturday.
    apply(rule.weekly, [](const QDate &d) { return (d.toJulianDay() + 2) / 7; });
    apply(rule.monthly, [](const QDate &d) { return qint64(d.year()) * 12 + d.month(); });
    kept.insert(days.first());
    return kept;
}

QStringList rotate(const QString &folder, const Retention &rule)
{
    QDir dir(folder);
    QList<QDate> days;
    QHash<QDate, QString> names;
    for (const QString &name : dir.entryList({QStringLiteral("velm-*.mdb")}, QDir::Files)) {
        if (const std::optional<QDate> day = datedDay(name)) {
            days << *day;
            names.insert(*day, name);
        }
    }
    const QSet<QDate> kept = keptDays(days, rule);
    QStringList removed;
    for (const QDate &day : std::as_const(days)) {
        if (kept.contains(day))
            continue;
        const QString name = names.value(day);
        if (dir.remove(name))
            removed << name;
    }
    return removed;
}

CopyFacts takeDatedCopy(engine::Database &source, const QString &folder, const Retention &rule, const QDate &today,
                        const Progress &progress, const StopCheck &stop, QStringList *removed)
{
    const CopyFacts facts = takeCopy(source, folder + QLatin1Char('/') + datedName(today), progress, stop);
    const QStringList gone = rotate(folder, rule);
    if (removed)
        *removed = gone;
    return facts;
}

void copyRights(const QString &from, const QString &to)
{
    struct stat st {};
    if (::stat(QFile::encodeName(from).constData(), &st) == 0)
        ::chmod(QFile::encodeName(to).constData(), st.st_mode & 07777);
}

CopyFacts takeCopy(engine::Database &source, const QString &destination, const Progress &progress,
                   const StopCheck &stop)
{
    CopyFacts facts;
    if (source.onServer())
        copyServerSource(source, destination, progress, stop, &facts.persons);
    else
        copyFileSource(source, destination, progress, stop, &facts.persons);
    facts.bytes = QFileInfo(destination).size();
    if (progress)
        progress(100);
    return facts;
}

FolderLock::FolderLock(const QString &folder)
    : m_folder(folder), m_lock(onceCopyPath(folder) + QStringLiteral(".lock"))
{
    m_lock.setStaleLockTime(kStaleLockMs);
}

bool FolderLock::tryLock(int waitMs)
{
    QDir().mkdir(m_folder);
    if (!m_lock.tryLock(waitMs))
        return false;
    // Nobody else copies now: what a copy killed halfway left goes.
    QDir folder(m_folder);
    for (const QString &name :
         folder.entryList({QStringLiteral("*.mdb.part-*")}, QDir::Files | QDir::Hidden | QDir::System))
        folder.remove(name);
    return true;
}

bool FolderLock::heldElsewhere() const
{
    return QFileInfo(m_folder).isDir() && m_lock.error() == QLockFile::LockFailedError;
}

QList<BackupFile> listBackups(const QString &dataDir)
{
    QList<BackupFile> files;
    const QDir backups(folderOf(dataDir));
    for (const QFileInfo &info : backups.entryInfoList({QStringLiteral("velm*.mdb")}, QDir::Files)) {
        if (info.fileName() == QLatin1String(kDatabaseFileName))
            files << describe(info, BackupFile::Kind::LogonCopy);
        else if (datedDay(info.fileName()))
            files << describe(info, BackupFile::Kind::Dated);
    }
    const QDir data(dataDir);
    const QString setAside = QLatin1String(kBeforeRestorePrefix) + QStringLiteral("*.mdb");
    for (const QFileInfo &info : data.entryInfoList({setAside}, QDir::Files))
        files << describe(info, BackupFile::Kind::BeforeRestore);
    std::stable_sort(files.begin(), files.end(),
                     [](const BackupFile &a, const BackupFile &b) { return a.taken > b.taken; });
    return files;
}

qint64 personCount(engine::Database &db)
{
    return db.scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong();
}

} // namespace core::backups
