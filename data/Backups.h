#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QLockFile>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace engine {
class Database;
}

// The copies of the office database in the backup folder of the data
// folder: the logon's one-time copy velm.mdb, the dated copies
// velm-YYYY-MM-DD.mdb (the first logon of each day takes one, and so does
// velm-backup), and, in the data folder itself, the databases a restore put
// aside (velm-before-restore-YYYY-MM-DD.mdb).
namespace core::backups {

inline constexpr const char *kSettingsFileName = "backup.conf";
inline constexpr const char *kBeforeRestorePrefix = "velm-before-restore-";

// <dataDir>/backup
QString folderOf(const QString &dataDir);
// The logon's one-time copy in the folder.
QString onceCopyPath(const QString &folder);

// How many dated copies are kept: the newest copy of each of the last
// `daily` days that have one, then the newest of each of the `weekly` weeks
// (Saturday to Friday) before those, then the newest of each of the
// `monthly` months before those. All three 0: no dated copies at all.
struct Retention {
    int daily = 7;
    int weekly = 4;
    int monthly = 12;
    bool takesCopies() const { return daily > 0 || weekly > 0 || monthly > 0; }
    bool operator==(const Retention &) const = default;
};

// The settings file's lines "daily = 7", "weekly = 4", "monthly = 12"; a
// line starting with '#' is a comment. A setting missing or not a whole
// number from 0 to 1000 keeps its default.
Retention parseRetention(const QByteArray &text);
// The file as the program writes it: the defaults and what they mean.
QByteArray defaultSettingsText();
// Reads <dataDir>/backup.conf, writing it with the defaults when it is
// missing (a file that cannot be written leaves the defaults in force).
Retention readRetention(const QString &dataDir);

// "velm-2025-06-01.mdb" for the day (Gregorian).
QString datedName(const QDate &day);
// The day a dated copy's name stands for; nothing for any other name.
std::optional<QDate> datedDay(const QString &fileName);

// Of the days that have a copy, the ones the rule keeps; the newest day is
// always among them (the copy just taken never goes at once).
QSet<QDate> keptDays(QList<QDate> days, const Retention &rule);
// Removes the dated copies of the folder the rule no longer keeps (no
// other file); the names of those removed.
QStringList rotate(const QString &folder, const Retention &rule);

using Progress = std::function<void(int percent)>;
using StopCheck = std::function<bool()>;

struct CopyFacts {
    qint64 bytes = 0;
    qint64 persons = 0;
};

// Copies the open database into `destination` as an encrypted file with the
// office's key and 4 KB pages: a file page by page from one snapshot, a
// server's rows table by table from one snapshot, either safe while others
// work on it. The copy is written under a temporary name and takes the
// destination's name only once it opens with the key, holds the office's
// tables and passes the integrity check; an existing destination is
// replaced only by such a copy. Progress 0..100 on the calling thread.
// Throws EngineError (3059 when stopped, 3049 for a copy that fails its
// check); nothing is left behind then.
CopyFacts takeCopy(engine::Database &source, const QString &destination, const Progress &progress = {},
                   const StopCheck &stop = {});

// Today's dated copy (takeCopy into <folder>/velm-YYYY-MM-DD.mdb, replacing
// a copy of the same day), then the rotation of the folder. The caller holds
// the folder's lock. Throws as takeCopy; nothing is rotated then.
CopyFacts takeDatedCopy(engine::Database &source, const QString &folder, const Retention &rule, const QDate &today,
                        const Progress &progress = {}, const StopCheck &stop = {}, QStringList *removed = nullptr);

// Gives `to` the permissions of `from` (a copy may be read and written by
// those who may read and write the database, the office's group).
void copyRights(const QString &from, const QString &to);

// One workstation (or velm-backup) copies into a backup folder at a time: a
// lock file there, taken over when its holder stopped. The one who takes it
// removes what a copy killed halfway left behind (*.part-* files).
class FolderLock {
public:
    explicit FolderLock(const QString &folder);
    // Makes the folder when it is missing (one level: the data folder is
    // there), then tries for `waitMs`.
    bool tryLock(int waitMs = 0);
    // Not taken because someone else holds it (rather than a folder that
    // cannot be made or written).
    bool heldElsewhere() const;

private:
    QString m_folder;
    QLockFile m_lock;
};

// A copy the restore offers.
struct BackupFile {
    enum class Kind { Dated, LogonCopy, BeforeRestore };
    QString path;
    Kind kind = Kind::Dated;
    QDateTime taken; // when the copy was written
    qint64 bytes = 0;
};
// The copies of the backup folder and the databases set aside by a
// restore in the data folder, newest first. Files being written (*.part-*)
// and other names are left out.
QList<BackupFile> listBackups(const QString &dataDir);

// Persons in an open office database.
qint64 personCount(engine::Database &db);

} // namespace core::backups
