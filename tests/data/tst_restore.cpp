#include "support/TestMain.h"

#include "data/Backups.h"
#include "data/Connections.h"
#include "data/Restore.h"
#include "data/Schema.h"
#include "engine/Database.h"
#include "engine/EngineError.h"
#include "engine/FileUse.h"
#include "support/TempDataFolder.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using engine::FileUse;
using testsupport::TempDataFolder;

namespace {

const QString kKey = core::passwordFromConnect(QLatin1String(core::kConnectString));

qint64 persons(const QString &file)
{
    engine::Database db;
    db.open(file, kKey);
    return db.scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong();
}

bool holds(const QString &file, const QString &number)
{
    engine::Database db;
    db.open(file, kKey);
    return db.scalar(QStringLiteral("SELECT count(*) FROM tamrel WHERE tamrel_no = ?"), {number}).toInt() == 1;
}

int errorOf(const std::function<void()> &call)
{
    try {
        call();
    } catch (const engine::EngineError &e) {
        return e.number();
    }
    return 0;
}

FileUse::Claim claimOf(const QString &file)
{
    FileUse::Claim why = FileUse::Claim::Unknown;
    FileUse::claim(file, &why);
    return why;
}

QByteArray bytesOf(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Another workstation: a process of its own that opens the database, says
// so through the pipe and keeps it open until told to end (or, writing,
// stops dead after its commit, leaving its work in the -wal file).
class OtherProcess {
public:
    enum class Then { WaitForEnd, AddPersonAndDie };

    OtherProcess(const QString &file, Then then)
    {
        int ready[2], end[2];
        if (::pipe(ready) != 0 || ::pipe(end) != 0)
            qFatal("pipe");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(end[1]);
            {
                engine::Database db;
                db.open(file, kKey);
                if (then == Then::AddPersonAndDie) {
                    TempDataFolder::addPerson(db, QStringLiteral("777"));
                    ::kill(::getpid(), SIGKILL);
                }
                char c = 1;
                (void)!::write(ready[1], &c, 1);
                (void)!::read(end[0], &c, 1);
            } // closed as a program ending closes it
            _exit(0);
        }
        ::close(ready[1]);
        ::close(end[0]);
        m_end = end[1];
        char c = 0;
        m_ready = ::read(ready[0], &c, 1) == 1;
        ::close(ready[0]);
    }
    ~OtherProcess() { finish(); }
    bool ready() const { return m_ready; }
    // Ends the process; its exit status.
    int finish()
    {
        if (m_pid <= 0)
            return m_status;
        ::close(m_end);
        ::waitpid(m_pid, &m_status, 0);
        m_pid = 0;
        return m_status;
    }

private:
    pid_t m_pid = 0;
    int m_end = -1;
    bool m_ready = false;
    int m_status = 0;
};

} // namespace

// Putting a backup in the place of the office's file. All of it is about
// the file; on a server a backup goes back with velm-migrate.
class TestRestore : public QObject {
    Q_OBJECT

    // A data folder with persons 1..3 in velm.mdb and a checked copy of them.
    struct Office {
        TempDataFolder folder;
        QString db;
        QString backup;
        Office()
        {
            core::DataStore &store = folder.openStore();
            db = store.config().dbFile;
            for (const char *n : {"1", "2", "3"})
                TempDataFolder::addPerson(store.db(), QLatin1String(n));
            backup = core::backups::folderOf(store.config().dataDir) + QStringLiteral("/velm-2025-01-01.mdb");
            QDir().mkpath(QFileInfo(backup).path());
            core::backups::takeCopy(store.db(), backup);
            TempDataFolder::addPerson(store.db(), QStringLiteral("4")); // written after the backup
            store.closeEveryConnection();
        }
    };

private slots:
    void everyConnectionHoldsTheFile();
    void aStatementOutlivingItsConnectionHoldsTheFile();
    void nobodyOpensTheFileWhileItIsClaimed();
    void roundTrip();
    void refusedWhileAnotherProcessHasTheFileOpen();
    void theReplacedFileKeepsTheWorkOfItsLog();
    void aDamagedBackupChangesNothing();
    void setAsideNamesNeverClash();
};

void TestRestore::everyConnectionHoldsTheFile()
{
    Office o;
    const QString lock = FileUse::lockPath(o.db);
    QVERIFY(!QFileInfo::exists(lock)); // the last one to let go removed it
    QCOMPARE(claimOf(o.db), FileUse::Claim::Granted);
    {
        // Two connections of one program count as two workstations.
        const auto first = core::DataConnections::openFile(o.db);
        const auto second = core::DataConnections::openFile(o.db);
        QVERIFY(QFileInfo::exists(lock));
        QCOMPARE(claimOf(o.db), FileUse::Claim::InUse);
        first->close();
        QCOMPARE(claimOf(o.db), FileUse::Claim::InUse);
    }
    QCOMPARE(claimOf(o.db), FileUse::Claim::Granted);
    QVERIFY(!QFileInfo::exists(lock));
}

void TestRestore::aStatementOutlivingItsConnectionHoldsTheFile()
{
    Office o;
    auto db = core::DataConnections::openFile(o.db);
    auto statement = std::make_unique<engine::Statement>(*db, QStringLiteral("SELECT tamrel_no FROM tamrel"));
    QVERIFY(statement->step());
    db->close(); // SQLite keeps the file open for the statement
    QCOMPARE(claimOf(o.db), FileUse::Claim::InUse);
    statement.reset();
    QCOMPARE(claimOf(o.db), FileUse::Claim::Granted);
}

void TestRestore::nobodyOpensTheFileWhileItIsClaimed()
{
    Office o;
    FileUse::Claim why;
    const std::unique_ptr<FileUse> claim = FileUse::claim(o.db, &why);
    QVERIFY(claim);
    QCOMPARE(errorOf([&] { core::DataConnections::openFile(o.db); }), int(engine::ErrFileLocked));
    // The data store's opening says so too (after its retries).
    core::DataStore &store = o.folder.store();
    const core::OpenResult opened = store.OPENDATABASE();
    QVERIFY(!opened.ok);
    QCOMPARE(opened.errorNumber, int(engine::ErrFileLocked));
}

void TestRestore::roundTrip()
{
    Office o;
    QVERIFY(::chmod(QFile::encodeName(o.db).constData(), 0660) == 0);
    const QByteArray backupBefore = bytesOf(o.backup);
    const core::restore::Restored done = core::restore::putInPlace(o.backup, o.db, QDate(2025, 1, 2));
    QCOMPARE(done.persons, 3);
    QCOMPARE(done.keptAs, o.folder.dataDir() + QStringLiteral("/velm-before-restore-2025-01-02.mdb"));
    // What was written after the backup is gone, what was there before stays.
    QCOMPARE(persons(o.db), 3);
    QVERIFY(!holds(o.db, QStringLiteral("4")));
    QVERIFY(holds(o.db, QStringLiteral("1")));
    // The replaced database is kept whole, the backup untouched, and the
    // restored file has the rights the office's file had.
    QCOMPARE(persons(done.keptAs), 4);
    QVERIFY(holds(done.keptAs, QStringLiteral("4")));
    QCOMPARE(bytesOf(o.backup), backupBefore);
    QCOMPARE(QFileInfo(o.db).permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther),
             QFile::ReadGroup | QFile::WriteGroup);
    // Nothing of the work is left lying about, and the program opens it.
    QCOMPARE(QDir(o.folder.dataDir()).entryList(QDir::Files, QDir::Name),
             (QStringList{QStringLiteral("velm-before-restore-2025-01-02.mdb"), QStringLiteral("velm.mdb")}));
    QVERIFY(o.folder.store().OPENDATABASE().ok);
}

void TestRestore::refusedWhileAnotherProcessHasTheFileOpen()
{
    Office o;
    const QByteArray before = bytesOf(o.db);
    {
        OtherProcess other(o.db, OtherProcess::Then::WaitForEnd);
        QVERIFY(other.ready());
        QCOMPARE(errorOf([&] { core::restore::putInPlace(o.backup, o.db, QDate(2025, 1, 2)); }),
                 int(engine::ErrFileLocked));
        QCOMPARE(other.finish(), 0);
    }
    QCOMPARE(bytesOf(o.db), before);
    QVERIFY(QDir(o.folder.dataDir()).entryList({QStringLiteral("velm-before-restore-*")}).isEmpty());
    QVERIFY(QDir(o.folder.dataDir()).entryList({QStringLiteral("*.restored*")}).isEmpty());
    // Once the other has closed it the restore goes through.
    QCOMPARE(core::restore::putInPlace(o.backup, o.db, QDate(2025, 1, 2)).persons, 3);
}

void TestRestore::theReplacedFileKeepsTheWorkOfItsLog()
{
    Office o;
    {
        OtherProcess writer(o.db, OtherProcess::Then::AddPersonAndDie);
        QVERIFY(WIFSIGNALED(writer.finish()));
    }
    QVERIFY(QFileInfo(o.db + QStringLiteral("-wal")).size() > 0); // committed, not yet in the file
    const core::restore::Restored done = core::restore::putInPlace(o.backup, o.db, QDate(2025, 1, 2));
    QVERIFY(!QFileInfo::exists(o.db + QStringLiteral("-wal")));
    QVERIFY(holds(done.keptAs, QStringLiteral("777")));
    QCOMPARE(persons(o.db), 3);
}

void TestRestore::aDamagedBackupChangesNothing()
{
    Office o;
    {
        QFile backup(o.backup);
        QVERIFY(backup.open(QIODevice::ReadWrite));
        QVERIFY(backup.seek(backup.size() - 2 * engine::kPageSize + 100));
        backup.write(QByteArray(64, '\x33'));
    }
    const QByteArray before = bytesOf(o.db);
    const int error = errorOf([&] { core::restore::putInPlace(o.backup, o.db, QDate(2025, 1, 2)); });
    QVERIFY2(error == engine::ErrDamagedFile || error == engine::ErrNotValidPassword, qPrintable(QString::number(error)));
    QCOMPARE(bytesOf(o.db), before);
    QStringList left = QDir(o.folder.dataDir()).entryList({QStringLiteral("velm*")}, QDir::Files);
    QCOMPARE(left, QStringList{QStringLiteral("velm.mdb")});
    // Neither a file that is no database, nor the database itself.
    QFile junk(o.folder.dataDir() + QStringLiteral("/junk.mdb"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(8192, 'x'));
    junk.close();
    QVERIFY(errorOf([&] { core::restore::putInPlace(junk.fileName(), o.db, QDate(2025, 1, 2)); }) != 0);
    QCOMPARE(errorOf([&] { core::restore::putInPlace(o.db, o.db, QDate(2025, 1, 2)); }), int(engine::ErrInvalidArgument));
    QCOMPARE(bytesOf(o.db), before);
}

void TestRestore::setAsideNamesNeverClash()
{
    QTemporaryDir dir;
    const QString db = dir.filePath(QStringLiteral("velm.mdb"));
    const QDate day(2025, 4, 9);
    QStringList made;
    for (int i = 0; i < 3; ++i) {
        const QString name = core::restore::setAsideName(db, day);
        QFile f(name);
        QVERIFY(f.open(QIODevice::WriteOnly));
        made << QFileInfo(name).fileName();
    }
    QCOMPARE(made, (QStringList{QStringLiteral("velm-before-restore-2025-04-09.mdb"),
                                QStringLiteral("velm-before-restore-2025-04-09-2.mdb"),
                                QStringLiteral("velm-before-restore-2025-04-09-3.mdb")}));
}

VELM_TEST_MAIN(TestRestore)
#include "tst_restore.moc"
