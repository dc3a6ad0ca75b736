#include "support/TestMain.h"

#include "data/Backups.h"
#include "data/OpenDb.h"
#include "engine/Database.h"
#include "support/TempDataFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

using testsupport::TempDataFolder;

namespace {

const QString kKey = core::passwordFromConnect(QLatin1String(core::kConnectString));

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run velmBackup(const QStringList &arguments)
{
    QProcess p;
    p.start(QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/velm-backup"), arguments);
    Run run;
    if (!p.waitForFinished(120000))
        return run;
    run.exitCode = p.exitCode();
    run.out = QString::fromUtf8(p.readAllStandardOutput());
    run.err = QString::fromUtf8(p.readAllStandardError());
    return run;
}

qint64 personsIn(const QString &file)
{
    engine::Database db;
    db.open(file, kKey);
    return db.scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong();
}

QString today()
{
    return core::backups::datedName(QDate::currentDate());
}

} // namespace

// velm-backup as a scheduled job runs it, against the file (or, in the
// server run, the test server) while another workstation works on it.
class TestVelmBackup : public QObject {
    Q_OBJECT

private slots:
    void copyWhileAnotherWorkstationWrites();
    void intoAnotherFolderWithItsRotation();
    void failuresSayWhy_data();
    void failuresSayWhy();
};

void TestVelmBackup::copyWhileAnotherWorkstationWrites()
{
    TempDataFolder folder;
    core::DataStore &store = folder.openStore();
    for (int n = 1; n <= 5; ++n)
        TempDataFolder::addPerson(store.db(), QString::number(n));
    const QString dbPath = folder.path(QStringLiteral("db_path"));
    const QString copy = core::backups::folderOf(store.config().dataDir) + QLatin1Char('/') + today();

    // A workstation in the middle of a save: its person is not in the copy,
    // and the copy does not wait for it.
    const auto other = folder.openOtherConnection();
    other->begin();
    TempDataFolder::addPerson(*other, QStringLiteral("6"));
    const Run first = velmBackup({QStringLiteral("--db-path"), dbPath});
    QVERIFY2(first.exitCode == 0, qPrintable(first.err));
    QVERIFY2(first.err.isEmpty(), qPrintable(first.err));
    QCOMPARE(first.out.count(QLatin1Char('\n')), 1);
    QVERIFY2(first.out.startsWith(QStringLiteral("velm-backup: ") + copy + QStringLiteral(", ")), qPrintable(first.out));
    QVERIFY2(first.out.contains(QStringLiteral(", 5 persons, checked")), qPrintable(first.out));
    QCOMPARE(personsIn(copy), 5);
    // The tool ended while this program had the file open twice: it must
    // not have taken itself for the file's last user and removed the log
    // the save is written to.
    other->commit();
    QCOMPARE(folder.openOtherConnection()->scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toInt(), 6);

    // Run again the same day, it replaces the day's copy with a newer one.
    const Run second = velmBackup({QStringLiteral("--db-path"), dbPath});
    QCOMPARE(second.exitCode, 0);
    QVERIFY2(second.out.contains(QStringLiteral(", 6 persons, checked")), qPrintable(second.out + second.err));
    QCOMPARE(personsIn(copy), 6);
    QCOMPARE(QDir(QFileInfo(copy).path()).entryList(QDir::Files), QStringList{today()});
}

void TestVelmBackup::intoAnotherFolderWithItsRotation()
{
    TempDataFolder folder;
    core::DataStore &store = folder.openStore();
    TempDataFolder::addPerson(store.db(), QStringLiteral("1"));
    QFile settings(store.config().dataDir + QStringLiteral("/backup.conf"));
    QVERIFY(settings.open(QIODevice::WriteOnly));
    settings.write("daily = 2\nweekly = 0\nmonthly = 0\n");
    settings.close();
    QTemporaryDir usb;
    const QString target = usb.filePath(QStringLiteral("office/copies"));
    QVERIFY(QDir().mkpath(target));
    for (const char *old : {"velm-2020-01-01.mdb", "velm-2020-01-02.mdb", "velm-2020-01-03.mdb", "notes.txt"}) {
        QFile f(target + QLatin1Char('/') + QLatin1String(old));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const Run run = velmBackup({QStringLiteral("--to"), target, QStringLiteral("--db-path"),
                                folder.path(QStringLiteral("db_path"))});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY2(run.out.contains(QStringLiteral("2 older copies removed")), qPrintable(run.out));
    QCOMPARE(QDir(target).entryList(QDir::Files, QDir::Name),
             (QStringList{QStringLiteral("notes.txt"), QStringLiteral("velm-2020-01-03.mdb"), today()}));
    QCOMPARE(personsIn(target + QLatin1Char('/') + today()), 1);
    // The data folder's own backup folder has nothing of it.
    QVERIFY(!QFileInfo::exists(core::backups::folderOf(store.config().dataDir) + QLatin1Char('/') + today()));
}

void TestVelmBackup::failuresSayWhy_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("says");
    QTest::newRow("unknown option") << "option" << 2 << "usage: velm-backup";
    QTest::newRow("no db_path") << "noDbPath" << 1 << "velm-backup: failed: db_path cannot be read";
    QTest::newRow("no database") << "noDatabase" << 1 << "velm-backup: failed: ";
    QTest::newRow("target is a file") << "targetIsFile" << 1 << "velm-backup: failed: the folder";
}

void TestVelmBackup::failuresSayWhy()
{
    QFETCH(QString, fault);
    TempDataFolder folder;
    if (fault == QLatin1String("noDatabase") && folder.onServer())
        QSKIP("about the file: a data folder without its database");
    if (fault != QLatin1String("noDatabase"))
        folder.openStore().CLOSEDATABASE();
    QStringList args{QStringLiteral("--db-path"), folder.path(QStringLiteral("db_path"))};
    if (fault == QLatin1String("option"))
        args << QStringLiteral("--now");
    else if (fault == QLatin1String("noDbPath"))
        args = QStringList{QStringLiteral("--db-path"), folder.path(QStringLiteral("missing"))};
    else if (fault == QLatin1String("targetIsFile"))
        args << QStringLiteral("--to") << folder.path(QStringLiteral("db_path"));
    const Run run = velmBackup(args);
    QFETCH(int, exitCode);
    QCOMPARE(run.exitCode, exitCode);
    QFETCH(QString, says);
    QVERIFY2(run.err.startsWith(says), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

VELM_TEST_MAIN(TestVelmBackup)
#include "tst_velm_backup.moc"
