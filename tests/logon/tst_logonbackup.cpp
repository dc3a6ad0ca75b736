#include "support/LogonWorld.h"

#include "logon/LogonBackup.h"
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

int usersIn(const QString &file)
{
    engine::Database db;
    db.open(file, kKey);
    return db.scalar(QStringLiteral("SELECT count(*) FROM users")).toInt();
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
    void missingBackupFolderOnTheFirstStart();
    void backupOfTheChosenOtherDatabase();
    void progressAndWhatAKilledCopyLeaves();
    void aFailedBackupIsToldOnceAndWorkGoesOn_data();
    void aFailedBackupIsToldOnceAndWorkGoesOn();
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

    engine::Database copy;
    copy.open(backup, kKey);
    QCOMPARE(copy.scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toInt(), 200);
    copy.close();
    // Written under a temporary name and renamed: nothing else is left.
    QCOMPARE(QDir(QFileInfo(backup).path()).entryList(QDir::Files),
             QStringList{QStringLiteral("velm.mdb")});
    // Never a plain copy: it does not open without the key.
    engine::Database wrongKey;
    QVERIFY_THROWS_EXCEPTION(engine::EngineError, wrongKey.open(backup, QStringLiteral("other")));
}

void TestLogonBackup::missingBackupFolderOnTheFirstStart()
{
    LogonWorld w;
    w.folder.placeFirstDatabase(); // next to the program; no data folder yet
    const QString backupDir = w.folder.dataDir() + QStringLiteral("/backup");

    logon::LOGON first(w.ctx);
    QVERIFY(first.load());
    QVERIFY(QFileInfo::exists(w.folder.dataDir() + QStringLiteral("/velm.mdb")));
    QVERIFY(!QFileInfo::exists(backupDir));
    QVERIFY(first.offersFirstUser());
    first.show();
    QSignalSpy loggedOn(&first, &logon::LOGON::loggedOn);
    control<QLineEdit>(&first, "FIRST_USERID_TEXT")->setText(QStringLiteral("admin"));
    control<QLineEdit>(&first, "FIRST_PASSWORD_TEXT")->setText(QStringLiteral("pw"));
    control<QLineEdit>(&first, "FIRST_PASSWORD_CONFIRM_TEXT")->setText(QStringLiteral("pw"));
    control<QLineEdit>(&first, "FIRST_NAME_TEXT")->setText(QStringLiteral("المدير"));
    QTest::mouseClick(control<QWidget>(&first, "createFirstUser"), Qt::LeftButton);

    // The copy failed and the user is told once; the logon went on with the
    // connection open.
    QCOMPARE(loggedOn.count(), 1);
    QCOMPARE(w.messages.shownCount(), 1);
    QVERIFY(w.messages.lastShown().startsWith(QStringLiteral("لم تؤخذ النسخة الاحتياطية")));
    w.messages.clear();
    QVERIFY(w.store.isOpen());
    QVERIFY(!QFileInfo::exists(backupDir));

    // The next start makes the folder, and its logon takes the backup.
    QVERIFY(startAndLogOn(w, QStringLiteral("admin"), QStringLiteral("pw")));
    QCOMPARE(usersIn(backupDir + QStringLiteral("/velm.mdb")), 1);
    QCOMPARE(w.messages.shownCount(), 0);
}

void TestLogonBackup::backupOfTheChosenOtherDatabase()
{
    LogonWorld w;
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
        engine::Database source;
        source.open(w.store.config().dbFile, kKey);
        source.backupTo(backup, [](int) {
            ::kill(::getpid(), SIGKILL); // the power fails during the copy
            return true;
        });
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
    QCOMPARE(backupDir.entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("velm.mdb")});
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
    LogonWorld w;
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
        QCOMPARE(QDir(backupDir).entryList(QDir::Files | QDir::Hidden), QStringList());
    else
        QVERIFY(QFileInfo(backupDir).isFile());
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
    QVERIFY(c.sql.contains(QLatin1String("velm_candidates")));
    QStringList after;
    engine::QueryCursor q(db, search + c.sql, c.values);
    while (q.next())
        after << q.value(0).toString();
    QCOMPARE(after, before);
}
