#include "support/FrameWorld.h"

#include "data/Backups.h"
#include "logon/LogonBackup.h"
#include "data/DatabaseCopy.h"
#include "synthetic/SyntheticData.h"
#include "data/Schema.h"
#include "engine/QueryCursor.h"
#include "support/TestMain.h"
#include "engine/EngineError.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QLabel>
#include <QFile>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::TempDataFolder;

namespace {

const QString kKey = core::passwordFromConnect(QLatin1String(core::kConnectString));

int countIn(const QString &file, const char *table)
{
    engine::Database db;
    db.open(file, kKey);
    return db.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table))).toInt();
}

int usersIn(const QString &file)
{
    return countIn(file, "users");
}

int personsIn(const QString &file)
{
    return countIn(file, "tamrel");
}

QString today()
{
    return core::backups::datedName(QDate::currentDate());
}

// The copies of the backup folder, by name.
QStringList copiesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

bool fileOnly()
{
    return testsupport::testOnServer();
}

// The day's copy as the frame takes it after a logon; what it told (empty
// when it is in place), or "not started".
QString takeDailyCopy(core::DataStore &store, const QDate &day = QDate::currentDate())
{
    logon::DailyBackup daily;
    QSignalSpy ended(&daily, &logon::DailyBackup::finished);
    if (!daily.start(store, day))
        return QStringLiteral("not started");
    if (ended.isEmpty() && !ended.wait(60000))
        return QStringLiteral("no end");
    return ended.first().first().toString();
}

// One start of the program up to a logon through the screen's controls.
bool startAndLogOn(LogonWorld &w, const QString &id, const QString &password)
{
    w.store.CLOSEDATABASE();
    logon::LOGON screen(w.ctx);
    if (!screen.load())
        return false;
    screen.show();
    QSignalSpy loggedOn(&screen, &logon::LOGON::loggedOn);
    typeAndLogOn(&screen, id, password);
    return loggedOn.count() == 1;
}

} // namespace

class TestLogonBackup : public QObject {
    Q_OBJECT

private slots:
    void backupIsTakenOnceAndNotRefreshed();
    void backupIsAnEncryptedCompleteCopy();
    void theFirstUsersLogonTakesTheBackup();
    void datedCopiesOverSimulatedDays();
    void backupOfTheChosenOtherDatabase();
    void progressAndWhatAKilledCopyLeaves();
    void aFailedBackupIsToldOnceAndWorkGoesOn_data();
    void aFailedBackupIsToldOnceAndWorkGoesOn();
    void aDamagedDatedCopyIsNeverKept();
    void onANetworkShareTheLogonTakesTheDatedCopy();
    void theFrameTakesTheDaysCopyAfterTheLogon();
    void aRegisterFromBeforeGetsItsSearchIndexAtLogon();
};

void TestLogonBackup::backupIsTakenOnceAndNotRefreshed()
{
    LogonWorld w;
    w.prepare([](engine::Database &db) {
        TempDataFolder::addUser(db, QStringLiteral("admin"), QStringLiteral("pw"));
    });
    const QString backup = logon::backupFilePath(w.store);
    QCOMPARE(backup, w.folder.dataDir() + QStringLiteral("/backup/velm.mdb"));
    QVERIFY(!QFileInfo::exists(backup));

    QVERIFY(startAndLogOn(w, QStringLiteral("admin"), QStringLiteral("pw")));
    QVERIFY(w.store.isOpen());
    QCOMPARE(usersIn(backup), 1);

    // Data change after the backup; the next logon leaves the backup alone.
    TempDataFolder::addUser(w.store.db(), QStringLiteral("second"), QStringLiteral("pw"));
    QVERIFY(startAndLogOn(w, QStringLiteral("admin"), QStringLiteral("pw")));
    QCOMPARE(usersIn(backup), 1);

    // Without the backup file the next logon takes a new one.
    QVERIFY(QFile::remove(backup));
    QVERIFY(startAndLogOn(w, QStringLiteral("second"), QStringLiteral("pw")));
    QCOMPARE(usersIn(backup), 2);
}

void TestLogonBackup::backupIsAnEncryptedCompleteCopy()
{
    LogonWorld w;
    w.prepare([](engine::Database &db) {
        for (int i = 0; i < 200; ++i)
            TempDataFolder::addPerson(db, QString::number(1000 + i));
    });
    w.store.READDBPATH();
    QVERIFY(w.store.OPENDATABASE().ok);

    const logon::BackupOutcome result = logon::LOGONBACKUP(w.store);
    QVERIFY(result.ok);
    QVERIFY(result.failure.isEmpty());
    QVERIFY(w.store.isOpen());
    const QString backup = logon::backupFilePath(w.store);
    QCOMPARE(copiesIn(QFileInfo(backup).path()), QStringList{QStringLiteral("velm.mdb")});
    QCOMPARE(takeDailyCopy(w.store), QString());

    // The one-time copy and today's dated copy, each written under a
    // temporary name and renamed: nothing else is left.
    const QString folder = QFileInfo(backup).path();
    QCOMPARE(copiesIn(folder), (QStringList{today(), QStringLiteral("velm.mdb")}));
    for (const QString &name : copiesIn(folder)) {
        QCOMPARE(personsIn(folder + QLatin1Char('/') + name), 200);
        // Never a plain copy: it does not open without the key.
        engine::Database wrongKey;
        QVERIFY_THROWS_EXCEPTION(engine::EngineError,
                                 wrongKey.open(folder + QLatin1Char('/') + name, QStringLiteral("other")));
    }
}

// The very first start has no data folder, so the start makes the backup
// folder only after it (the folders' order): the logon that creates the
// first user makes it and takes the backup at once.
void TestLogonBackup::theFirstUsersLogonTakesTheBackup()
{
    LogonWorld w;
    if (!w.folder.onServer())
        w.folder.placeFirstDatabase(); // next to the program; no data folder yet
    const QString backupDir = w.folder.dataDir() + QStringLiteral("/backup");

    logon::LOGON first(w.ctx);
    QVERIFY(first.load());
    QVERIFY(!QFileInfo::exists(backupDir));
    QVERIFY(first.offersFirstUser());
    first.show();
    QSignalSpy loggedOn(&first, &logon::LOGON::loggedOn);
    control<QLineEdit>(&first, "FIRST_USERID_TEXT")->setText(QStringLiteral("admin"));
    control<QLineEdit>(&first, "FIRST_PASSWORD_TEXT")->setText(QStringLiteral("pw"));
    control<QLineEdit>(&first, "FIRST_PASSWORD_CONFIRM_TEXT")->setText(QStringLiteral("pw"));
    control<QLineEdit>(&first, "FIRST_NAME_TEXT")->setText(QStringLiteral("المدير"));
    QTest::mouseClick(control<QWidget>(&first, "createFirstUser"), Qt::LeftButton);

    QCOMPARE(loggedOn.count(), 1);
    QVERIFY2(w.messages.shownCount() == 0, qPrintable(w.messages.lastShown()));
    QVERIFY(w.store.isOpen());
    QCOMPARE(copiesIn(backupDir), QStringList{QStringLiteral("velm.mdb")});
    QCOMPARE(usersIn(backupDir + QStringLiteral("/velm.mdb")), 1);

    // The next start's logon leaves both as they are.
    TempDataFolder::addUser(w.store.db(), QStringLiteral("second"), QStringLiteral("pw"));
    QVERIFY(startAndLogOn(w, QStringLiteral("admin"), QStringLiteral("pw")));
    QCOMPARE(usersIn(backupDir + QStringLiteral("/velm.mdb")), 1);
    QCOMPARE(w.messages.shownCount(), 0);
}

// Logons on simulated days: the first logon of a day takes that day's copy,
// later ones leave it, and the copies of days gone by go as backup.conf
// says; the one-time copy and files of other names stay.
void TestLogonBackup::datedCopiesOverSimulatedDays()
{
    LogonWorld w;
    w.prepare();
    w.store.READDBPATH();
    const QString folder = core::backups::folderOf(w.store.config().dataDir);
    QFile settings(w.store.config().dataDir + QStringLiteral("/backup.conf"));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("daily = 2\nweekly = 1\nmonthly = 1\n");
    settings.close();
    QVERIFY(QDir().mkpath(folder));
    QFile other(folder + QStringLiteral("/velm-copy-for-the-auditor.mdb"));
    QVERIFY(other.open(QIODevice::WriteOnly));
    other.close();

    QList<QDate> days{QDate(2024, 12, 20)};
    for (int d = 1; d <= 12; ++d)
        days << QDate(2025, 1, d);
    int added = 0;
    for (const QDate &day : std::as_const(days)) {
        QVERIFY(w.store.OPENDATABASE().ok);
        TempDataFolder::addPerson(w.store.db(), QString::number(++added));
        const logon::BackupOutcome outcome = logon::LOGONBACKUP(w.store, {}, day);
        QVERIFY(outcome.ok);
        QVERIFY2(outcome.failure.isEmpty(), qPrintable(outcome.failure));
        QCOMPARE(takeDailyCopy(w.store, day), QString());
        QCOMPARE(personsIn(logon::datedBackupPath(w.store, day)), added);
    }
    // A second logon on the last day leaves its copy as it was.
    TempDataFolder::addPerson(w.store.db(), QStringLiteral("late"));
    QCOMPARE(takeDailyCopy(w.store, days.last()), QStringLiteral("not started"));
    QCOMPARE(personsIn(logon::datedBackupPath(w.store, days.last())), added);

    // 12 January 2025 is a Sunday: its day and the one before, the newest
    // copy of the week before (Friday the 10th), of the month before.
    QCOMPARE(copiesIn(folder),
             (QStringList{QStringLiteral("velm-2024-12-20.mdb"), QStringLiteral("velm-2025-01-10.mdb"),
                          QStringLiteral("velm-2025-01-11.mdb"), QStringLiteral("velm-2025-01-12.mdb"),
                          QStringLiteral("velm-copy-for-the-auditor.mdb"), QStringLiteral("velm.mdb")}));
    QCOMPARE(personsIn(logon::backupFilePath(w.store)), 1);
    QCOMPARE(personsIn(logon::datedBackupPath(w.store, QDate(2025, 1, 10))), 11);

    // All three numbers 0: no dated copies, the one-time copy goes on as before.
    QVERIFY(settings.open(QIODevice::WriteOnly | QIODevice::Truncate));
    settings.write("daily = 0\nweekly = 0\nmonthly = 0\n");
    settings.close();
    QCOMPARE(takeDailyCopy(w.store, QDate(2025, 1, 13)), QStringLiteral("not started"));
    QVERIFY(!QFileInfo::exists(logon::datedBackupPath(w.store, QDate(2025, 1, 13))));
}

void TestLogonBackup::backupOfTheChosenOtherDatabase()
{
    if (fileOnly())
        QSKIP("about the file: another database file of the data folder");
    LogonWorld w;
    if (w.folder.onServer())
        QSKIP("about another database file chosen at the logon; a server is named by db_path");
    w.prepare([](engine::Database &db) {
        TempDataFolder::addUser(db, QStringLiteral("admin"), QStringLiteral("pw"));
    });
    const QString other = w.folder.dataDir() + QStringLiteral("/other_db/branch.mdb");
    QVERIFY(QDir().mkpath(QFileInfo(other).path()));
    QVERIFY(QFile::copy(w.store.config().dbFile, other));
    {
        engine::Database branch;
        branch.open(other, kKey);
        TempDataFolder::addUser(branch, QStringLiteral("b1"), QStringLiteral("pw"));
        TempDataFolder::addUser(branch, QStringLiteral("b2"), QStringLiteral("pw"));
    }
    w.store.READDBPATH();
    w.store.config().dbFile = other;
    QVERIFY(w.store.OPENDATABASE().ok);
    QVERIFY(logon::LOGONBACKUP(w.store).ok);
    QCOMPARE(w.store.db().path(), other);
    QCOMPARE(usersIn(logon::backupFilePath(w.store)), 3);
}

// The copy tells its progress up to 100; a copy killed halfway leaves its
// temporary file, which the next logon removes before it copies again.
void TestLogonBackup::progressAndWhatAKilledCopyLeaves()
{
    if (fileOnly())
        QSKIP("about the file: a page copy killed halfway");
    LogonWorld w;
    w.prepare([](engine::Database &db) {
        core::fillSynthetic(db, 3000, 7); // several megabytes: more than one step
        TempDataFolder::addUser(db, QStringLiteral("admin"), QStringLiteral("pw"));
    });
    w.store.READDBPATH();
    const QString backup = logon::backupFilePath(w.store);
    const QDir backupDir(QFileInfo(backup).path());

    const pid_t pid = fork();
    if (pid == 0) {
        // The power fails during the copy: a file's page copy, or a
        // server's rows copied into a new file.
        if (w.folder.onServer()) {
            const std::unique_ptr<engine::Database> source = w.folder.openOtherConnection();
            core::CopyOptions options;
            options.progress = [](const QString &, qint64, qint64) { ::kill(::getpid(), SIGKILL); };
            core::copyToNewFile(*source, backup, kKey, options);
        } else {
            engine::Database source;
            source.open(w.store.config().dbFile, kKey);
            source.backupTo(backup, [](int) {
                ::kill(::getpid(), SIGKILL);
                return true;
            });
        }
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    QVERIFY(WIFSIGNALED(status));
    QVERIFY(!QFileInfo::exists(backup));
    QVERIFY(!backupDir.entryList({QStringLiteral("velm.mdb.part-*")}).isEmpty());

    // Logging on takes the copy, with its bar and the busy pointer.
    logon::LOGON screen(w.ctx);
    QVERIFY(screen.load());
    screen.show();
    auto *bar = control<QProgressBar>(&screen, "backupProgress");
    QVERIFY(bar->isHidden());
    QList<int> seen;
    bool busyPointer = true;
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int percent) {
        seen << percent;
        const QCursor *pointer = QApplication::overrideCursor();
        busyPointer = busyPointer && pointer && pointer->shape() == Qt::BusyCursor;
    });
    QSignalSpy loggedOn(&screen, &logon::LOGON::loggedOn);
    typeAndLogOn(&screen, QStringLiteral("admin"), QStringLiteral("pw"));
    QTRY_COMPARE(loggedOn.count(), 1);
    QVERIFY(busyPointer);
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(bar->isHidden());
    QVERIFY(w.store.isOpen());
    QVERIFY(!seen.isEmpty());
    QCOMPARE(seen.last(), 100);
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    QCOMPARE(copiesIn(backupDir.path()), QStringList{QStringLiteral("velm.mdb")});
    engine::Database copy;
    copy.open(backup, kKey);
    QCOMPARE(copy.pageSize(), engine::kPageSize);
    QCOMPARE(copy.scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toInt(), 3000);
}

void TestLogonBackup::aFailedBackupIsToldOnceAndWorkGoesOn_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("why");
    // A regular file where the backup folder should be: no folder can be
    // made and nothing written there, whoever runs the program.
    QTest::newRow("backup folder is a file") << "folderIsFile" << "مجلد النسخ الاحتياطي غير موجود";
    // A page of the persons that no longer decrypts: the users still read,
    // the logon works, but the copy is refused.
    QTest::newRow("damaged database") << "damaged" << "لم تجتز الفحص";
}

void TestLogonBackup::aFailedBackupIsToldOnceAndWorkGoesOn()
{
    QFETCH(QString, fault);
    if (fileOnly())
        QSKIP("about the file: a folder or a page of the file made unusable");
    LogonWorld w;
    if (fault == QLatin1String("damaged") && w.folder.onServer())
        QSKIP("about a damaged file; the server keeps its own pages");
    w.prepare([](engine::Database &db) {
        core::fillSynthetic(db, 1500, 3);
        TempDataFolder::addUser(db, QStringLiteral("admin"), QStringLiteral("pw"));
    });
    const QString backup = logon::backupFilePath(w.store);
    const QString backupDir = QFileInfo(backup).path();
    if (fault == QLatin1String("folderIsFile")) {
        QVERIFY(QDir(backupDir).removeRecursively());
        QFile blocker(backupDir);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.write("not a folder");
    } else {
        QFile db(w.store.config().dbFile);
        QVERIFY(db.open(QIODevice::ReadWrite));
        QVERIFY(db.seek(db.size() - 3 * engine::kPageSize + 300));
        db.write(QByteArray(64, '\x5a'));
    }

    QVERIFY(startAndLogOn(w, QStringLiteral("admin"), QStringLiteral("pw")));
    QVERIFY(w.store.isOpen());
    QCOMPARE(w.messages.shownCount(), 1);
    const QString text = w.messages.lastShown();
    QVERIFY2(text.startsWith(QStringLiteral("لم تؤخذ النسخة الاحتياطية")), qPrintable(text));
    QFETCH(QString, why);
    QVERIFY2(text.contains(why), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("يمكنك متابعة العمل")));
    QVERIFY(!QFileInfo(backup).exists());
    if (fault == QLatin1String("damaged"))
        QCOMPARE(copiesIn(backupDir), QStringList());
    else
        QVERIFY(QFileInfo(backupDir).isFile());
}

// A page that no longer decrypts: the day's copy is refused and removed,
// the user told, and yesterday's copy (the rotation does not run) stays.
void TestLogonBackup::aDamagedDatedCopyIsNeverKept()
{
    if (fileOnly())
        QSKIP("about the file: a page of the file made unusable");
    LogonWorld w;
    w.prepare([](engine::Database &db) { core::fillSynthetic(db, 1500, 3); });
    w.store.READDBPATH();
    QVERIFY(w.store.OPENDATABASE().ok);
    const QDate yesterday = QDate::currentDate().addDays(-1);
    QCOMPARE(takeDailyCopy(w.store, yesterday), QString());
    w.store.CLOSEDATABASE();
    {
        QFile db(w.store.config().dbFile);
        QVERIFY(db.open(QIODevice::ReadWrite));
        QVERIFY(db.seek(db.size() - 3 * engine::kPageSize + 300));
        db.write(QByteArray(64, '\x5a'));
    }
    QVERIFY(w.store.OPENDATABASE().ok);
    const QString told = takeDailyCopy(w.store);
    QVERIFY2(told.startsWith(QStringLiteral("لم تؤخذ النسخة الاحتياطية")), qPrintable(told));
    QVERIFY(told.contains(QStringLiteral("لم تجتز الفحص")));
    QCOMPARE(copiesIn(core::backups::folderOf(w.store.config().dataDir)),
             QStringList{core::backups::datedName(yesterday)});
}

// A file on a network share keeps the rollback journal: a copy reading
// beside the work would keep others from saving, so the logon takes it.
void TestLogonBackup::onANetworkShareTheLogonTakesTheDatedCopy()
{
    if (fileOnly())
        QSKIP("about the file: a file on a network share");
    LogonWorld w;
    w.prepare([](engine::Database &db) { TempDataFolder::addPerson(db, QStringLiteral("1")); });
    w.store.setNetworkCheck([](const QString &) { return true; });
    w.store.READDBPATH();
    QVERIFY(w.store.OPENDATABASE().ok);
    QVERIFY(logon::datedCopyAtLogon(w.store));
    QVERIFY(logon::LOGONBACKUP(w.store).failure.isEmpty());
    QCOMPARE(copiesIn(core::backups::folderOf(w.store.config().dataDir)), (QStringList{today(), QStringLiteral("velm.mdb")}));
    QCOMPARE(takeDailyCopy(w.store), QStringLiteral("not started"));
}

// After a logon the menu is there at once; the day's copy follows in the
// background, its progress in the status bar, and nobody is told anything.
void TestLogonBackup::theFrameTakesTheDaysCopyAfterTheLogon()
{
    FrameWorld w;
    QVERIFY(w.reachMenu({}, QStringLiteral("admin"), QStringLiteral("pw")));
    QVERIFY(QFileInfo::exists(logon::backupFilePath(w.store)));
    const QString dated = logon::datedBackupPath(w.store, QDate::currentDate());
    QTRY_VERIFY(QFileInfo::exists(dated));
    QTRY_VERIFY(control<QWidget>(w.frame.get(), "dailyBackupProgress")->isHidden());
    QCOMPARE(usersIn(dated), 1);
    QCOMPARE(w.messages.shownCount(), 0);
    QVERIFY(w.store.isOpen());
}

VELM_TEST_MAIN(TestLogonBackup)
#include "tst_logonbackup.moc"

// A register from before the persons' search index gets it at the first
// logon, under the logon's progress and busy pointer; the searches are
// answered from it afterwards and find what they found before.
void TestLogonBackup::aRegisterFromBeforeGetsItsSearchIndexAtLogon()
{
    LogonWorld w;
    const engine::SearchIndexDef index = core::schema::personSearchIndex();
    const QString search = QStringLiteral("SELECT tamrel_no FROM tamrel WHERE ");
    const QList<engine::TextCriterion> criteria{{QStringLiteral("a_new_name"), QStringLiteral("%احمد%")}};
    QStringList before;
    w.prepare([&](engine::Database &db) {
        core::fillSynthetic(db, 2000, 3);
        db.dropSearchIndex(index);
        TempDataFolder::addUser(db, QStringLiteral("admin"), QStringLiteral("pw"));
        const engine::SqlCondition c = db.textCondition(QStringLiteral("tamrel"), criteria);
        QVERIFY(!c.sql.contains(QLatin1String("velm_candidates")));
        engine::QueryCursor q(db, search + c.sql, c.values);
        while (q.next())
            before << q.value(0).toString();
    });
    QVERIFY(!before.isEmpty());

    logon::LOGON screen(w.ctx);
    QVERIFY(screen.load());
    screen.show();
    auto *bar = control<QProgressBar>(&screen, "backupProgress");
    auto *label = control<QLabel>(&screen, "backupLabel");
    bool indexing = false, busyPointer = true;
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int) {
        if (label->text() != logon::LOGON::kIndexing)
            return;
        indexing = indexing || label->isVisible();
        const QCursor *pointer = QApplication::overrideCursor();
        busyPointer = busyPointer && pointer && pointer->shape() == Qt::BusyCursor;
    });
    QSignalSpy loggedOn(&screen, &logon::LOGON::loggedOn);
    typeAndLogOn(&screen, QStringLiteral("admin"), QStringLiteral("pw"));
    QTRY_COMPARE(loggedOn.count(), 1);
    QVERIFY(indexing);
    QVERIFY(busyPointer);
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(label->isHidden() && bar->isHidden());
    QVERIFY(label->text() != logon::LOGON::kIndexing);

    engine::Database &db = w.store.db();
    QCOMPARE(db.searchIndexState(index).status, engine::SearchIndexStatus::Ready);
    const engine::SqlCondition c = db.textCondition(QStringLiteral("tamrel"), criteria);
    // The file narrows a search by its own index tables; the server by its
    // trigram indexes, which it chooses itself.
    if (!w.folder.onServer())
        QVERIFY(c.sql.contains(QLatin1String("velm_candidates")));
    QStringList after;
    engine::QueryCursor q(db, search + c.sql, c.values);
    while (q.next())
        after << q.value(0).toString();
    QCOMPARE(after, before);
}
