#include "support/TempDataFolder.h"
#include "support/TestMain.h"

#include "screens/DataSource.h"
#include "data/OpenDb.h"
#include "data/Schema.h"
#include "engine/Database.h"
#include "engine/QueryCursor.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStringEncoder>

#include <QScopeGuard>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace core;
using testsupport::TempDataFolder;

namespace {

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Takes the right to write a file or folder away, for root too (which
// permissions do not stop): the immutable flag. Others get the mode.
bool setWritable(const QString &path, bool writable)
{
    const QByteArray native = QFile::encodeName(path);
    if (::geteuid() != 0)
        return ::chmod(native.constData(), writable ? 0755 : 0555) == 0;
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = writable ? (flags & ~FS_IMMUTABLE_FL) : (flags | FS_IMMUTABLE_FL);
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return done;
}

QStringList subfolders(const QString &dir)
{
    return QDir(dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestOpenDb : public QObject {
    Q_OBJECT

    QString m_oldCurrent;

private slots:
    void initTestCase()
    {
        // Absolute office paths such as C:\office are relative names here:
        // keep any folder they might make inside a scratch directory.
        m_oldCurrent = QDir::currentPath();
        static QTemporaryDir scratch;
        QVERIFY(scratch.isValid());
        QDir::setCurrent(scratch.path());
    }
    void cleanupTestCase() { QDir::setCurrent(m_oldCurrent); }

    void connectStringPassword_data()
    {
        QTest::addColumn<QString>("connect");
        QTest::addColumn<QString>("password");
        QTest::newRow("office") << ";pwd=zk" << "zk";
        QTest::newRow("upper case, more parts") << "DSN=x;PWD=s3cret;uid=a" << "s3cret";
        QTest::newRow("none") << ";uid=a" << "";
        QTest::newRow("empty") << "" << "";
    }
    void connectStringPassword()
    {
        QFETCH(QString, connect);
        QFETCH(QString, password);
        QCOMPARE(passwordFromConnect(connect), password);
    }

    void readsTheFiveLines_data()
    {
        // <P> stands for the program folder.
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::addColumn<bool>("bom");
        QTest::addColumn<QString>("logo2");
        QTest::addColumn<QString>("dataDir");
        QTest::addColumn<QString>("pictureDir");
        QTest::addColumn<QString>("formsDir");
        QTest::addColumn<QString>("dbFile");

        const QStringList office{"1", "C:\\office", "C:\\office\\pic", "D:\\mat", "E:\\forms"};
        QTest::newRow("absolute drive") << office << QByteArray("\n") << false << "1" << "C:/office"
                                        << "C:/office/pic" << "E:/forms" << "C:/office/velm.mdb";
        QTest::newRow("absolute, CRLF and BOM") << office << QByteArray("\r\n") << true << "1"
                                                << "C:/office" << "C:/office/pic" << "E:/forms"
                                                << "C:/office/velm.mdb";
        QTest::newRow("absolute is not trimmed")
            << QStringList{"0", " C:\\office ", "x:\\p", "x:\\m", " x:\\f"} << QByteArray("\n") << false
            << "0" << " C:/office " << "x:/p" << " x:/f" << " C:/office /velm.mdb";
        QTest::newRow("colon anywhere makes all absolute")
            << QStringList{"0", "\\\\server\\share:1", "\\pics", "\\mat", "\\forms"} << QByteArray("\n")
            << false << "0" << "//server/share:1" << "/pics" << "/forms" << "//server/share:1/velm.mdb";
        QTest::newRow("relative") << TempDataFolder::defaultDbPathLines() << QByteArray("\n") << false
                                  << "0" << "<P>/data" << "<P>/pictures" << "<P>/forms"
                                  << "<P>/data/velm.mdb";
        QTest::newRow("relative with blanks is trimmed")
            << QStringList{"0", "  \\data  ", "\\pictures ", " \\material", "\t\\forms"} << QByteArray("\r\n")
            << false << "0" << "<P>/data" << "<P>/pictures" << "<P>/forms" << "<P>/data/velm.mdb";
        QTest::newRow("relative, no separator added")
            << QStringList{"0", "\\data", "pictures", "\\material", "\\forms"} << QByteArray("\n") << false
            << "0" << "<P>/data" << "<P>pictures" << "<P>/forms" << "<P>/data/velm.mdb";
        QTest::newRow("empty data line is the program folder")
            << QStringList{"0", "", "\\pictures", "\\material", "\\forms"} << QByteArray("\n") << false
            << "0" << "<P>" << "<P>/pictures" << "<P>/forms" << "<P>/velm.mdb";
        QTest::newRow("root slash is absolute")
            << QStringList{"0", "<P>/abs", "<P>/abs/pic", "<P>/abs/mat", "<P>/abs/forms"} << QByteArray("\n")
            << false << "0" << "<P>/abs" << "<P>/abs/pic" << "<P>/abs/forms" << "<P>/abs/velm.mdb";
        QTest::newRow("short file") << QStringList{"1", "\\data"} << QByteArray("\n") << false << "1"
                                    << "<P>/data" << "<P>" << "<P>" << "<P>/data/velm.mdb";
        QTest::newRow("carriage returns alone")
            << QStringList{"1", "\\data", "\\pictures", "\\material", "\\forms"} << QByteArray("\r") << false
            << "1" << "<P>/data" << "<P>/pictures" << "<P>/forms" << "<P>/data/velm.mdb";
        QTest::newRow("last line without line end")
            << QStringList{"0", "\\data", "\\pictures", "\\material", "\\forms"} << QByteArray() << false
            << "0" << "<P>/data" << "<P>/pictures" << "<P>/forms" << "<P>/data/velm.mdb";
    }

    void readsTheFiveLines()
    {
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, lineEnd);
        QFETCH(bool, bom);
        QFETCH(QString, logo2);
        QFETCH(QString, dataDir);
        QFETCH(QString, pictureDir);
        QFETCH(QString, formsDir);
        QFETCH(QString, dbFile);
        TempDataFolder folder(false);
        const QString p = folder.programDir();
        const auto expand = [&p](QString s) { return s.replace(QLatin1String("<P>"), p); };
        for (QString &l : lines)
            l = expand(l);
        if (lineEnd.isEmpty()) // the last line ends the file
            folder.writeDbPathBytes(lines.join(QLatin1Char('\n')).toUtf8());
        else
            folder.writeDbPath(lines, lineEnd, bom);

        const std::optional<DataStoreConfig> config = DbPathReader(p).read();
        QVERIFY(config);
        QCOMPARE(config->showLogo2, logo2);
        QCOMPARE(config->dataDir, expand(dataDir));
        QCOMPARE(config->pictureDir, expand(pictureDir));
        QCOMPARE(config->formsDir, expand(formsDir));
        QCOMPARE(config->dbFile, expand(dbFile));
        QCOMPARE(config->reportDir(), config->dataDir);
        // Reading the file prepares no folder.
        QCOMPARE(subfolders(p), QStringList());
    }

    // Folder names in Arabic, as written today and by the office's older tools.
    void decodesTheFolderNames_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        const QString data = QStringLiteral("بيانات");
        const QByteArray head = "0\n\\";
        const QByteArray tail = "\n\\pic\n\\mat\n\\forms\n";
        QTest::newRow("UTF-8") << head + data.toUtf8() + tail;
        QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBF") + head + data.toUtf8() + tail;
        QStringEncoder arabicCodePage("windows-1256");
        QVERIFY(arabicCodePage.isValid());
        QTest::newRow("Arabic code page") << head + QByteArray(arabicCodePage(data)) + tail;
    }
    void decodesTheFolderNames()
    {
        QFETCH(QByteArray, bytes);
        const DataStoreConfig config = DbPathReader(QStringLiteral("/office")).parse(bytes);
        QCOMPARE(config.showLogo2, QStringLiteral("0"));
        QCOMPARE(config.dataDir, QStringLiteral("/office/بيانات"));
        QCOMPARE(config.dbFile, QStringLiteral("/office/بيانات/velm.mdb"));
        QCOMPARE(config.formsDir, QStringLiteral("/office/forms"));
    }

    void missingDbPathChangesNothing()
    {
        TempDataFolder folder(false);
        folder.placeFirstDatabase();
        DataStore store(folder.programDir());
        store.config().dataDir = QStringLiteral("kept");
        store.config().dbFile = QStringLiteral("kept/velm.mdb");
        QVERIFY(!store.READDBPATH());
        QCOMPARE(store.config().dataDir, QStringLiteral("kept"));
        QCOMPARE(store.config().dbFile, QStringLiteral("kept/velm.mdb"));
        QCOMPARE(subfolders(folder.programDir()), QStringList());

        // A folder standing where the file should be cannot be read either.
        QVERIFY(QDir(folder.programDir()).mkdir(QStringLiteral("db_path")));
        QVERIFY(!store.READDBPATH());
        QCOMPARE(store.config().dataDir, QStringLiteral("kept"));
    }

    // Only a bounded start of a regular file is read; nothing blocks.
    void oddConfigurationFiles()
    {
        TempDataFolder folder(false);
        const QString dbPath = folder.path(QStringLiteral("db_path"));
        DataStore store(folder.programDir());
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(mkfifo(QFile::encodeName(dbPath).constData(), 0600), 0);
        QVERIFY(!store.READDBPATH());
        QVERIFY(QFile::remove(dbPath));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), dbPath));
        QVERIFY(!store.READDBPATH());
        QVERIFY(QFile::remove(dbPath));
        QCOMPARE(subfolders(folder.programDir()), QStringList());

        // A huge file: its first lines count, the rest is never read.
        QByteArray big = "0\n\\data\n\\pictures\n\\material\n\\forms\n";
        big += QByteArray(1023, 'x').append('\n').repeated(4096); // 4 MB
        folder.writeDbPathBytes(big);
        QVERIFY(store.READDBPATH());
        QCOMPARE(store.config().formsDir, folder.path(QStringLiteral("forms")));
        QCOMPARE(store.config().dbFile, folder.dataDir() + QStringLiteral("/velm.mdb"));
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }

    // Grids, look-ups and views open with the key derived at the logon.
    void furtherConnectionsUseTheDerivedKey()
    {
        TempDataFolder folder;
        DataStore &store = folder.openStore();
        const int derived = engine::Database::keyDerivations();
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 8; ++i) {
            DataSource lookup;
            lookup.setDatabase(store);
            lookup.setQuery(QStringLiteral("select * from category2"));
            QVERIFY(lookup.tryRefresh());
            QVERIFY(lookup.model()->rowCount() > 0);
        }
        QCOMPARE(engine::Database::keyDerivations(), derived);
        // Closed and opened again (the logon backup does so): still known.
        store.CLOSEDATABASE();
        QVERIFY(store.OPENDATABASE().ok);
        QVERIFY(store.openViewConnection()->isOpen());
        QCOMPARE(engine::Database::keyDerivations(), derived);
    }

    void firstStartMakesFoldersButNoBackupFolder()
    {
        TempDataFolder folder;
        folder.placeFirstDatabase();
        DataStore store(folder.programDir());
        QVERIFY(store.READDBPATH());
        QCOMPARE(subfolders(folder.programDir()),
                 QStringList({"data", "forms", "material", "pictures"}));
        QVERIFY(!QFileInfo::exists(folder.dataDir() + "/backup"));
        QVERIFY(QFileInfo::exists(folder.dataDir() + "/velm.mdb"));

        // The next start makes it.
        QVERIFY(store.READDBPATH());
        QVERIFY(QFileInfo(folder.dataDir() + "/backup").isDir());
    }

    // The folder maker needs no database: any file beside the program is
    // the first database to it.
    void folderMakerPlacesTheFirstFileOnce()
    {
        TempDataFolder folder(false);
        const QString p = folder.programDir();
        const DataFolders folders(p);
        DataStoreConfig config;
        config.dataDir = p + QStringLiteral("/data");
        config.pictureDir = p + QStringLiteral("/missing/pictures"); // one level only: not made
        config.materialDir = p + QStringLiteral("/material");
        config.formsDir = p + QStringLiteral("/forms");

        folders.make(config); // nothing to copy yet
        QCOMPARE(subfolders(p), QStringList({"data", "forms", "material"}));
        QVERIFY(QDir(config.dataDir).isEmpty());
        QVERIFY(!folders.placeFirstDatabase(p + QStringLiteral("/nowhere")));

        QFile first(folder.path(QStringLiteral("velm.mdb")));
        QVERIFY(first.open(QIODevice::WriteOnly));
        first.write("first");
        first.close();
        QVERIFY(!folders.placeFirstDatabase(p + QStringLiteral("/nowhere"))); // no folder to copy into
        QCOMPARE(subfolders(p), QStringList({"data", "forms", "material"}));
        QVERIFY(folders.placeFirstDatabase(config.dataDir));
        QCOMPARE(readBytes(config.dataDir + QStringLiteral("/velm.mdb")), QByteArray("first"));

        QVERIFY(first.open(QIODevice::WriteOnly));
        first.write("second");
        first.close();
        QVERIFY(!folders.placeFirstDatabase(config.dataDir));
        folders.make(config);
        QCOMPARE(readBytes(config.dataDir + QStringLiteral("/velm.mdb")), QByteArray("first"));
        QCOMPARE(QDir(config.dataDir).entryList(QDir::Files), QStringList{"velm.mdb"});
        QVERIFY(QFileInfo(config.dataDir + QStringLiteral("/backup")).isDir());
    }

    void firstDatabaseIsCopiedOnceAndNeverReplaced()
    {
        TempDataFolder folder;
        const QString original = folder.placeFirstDatabase();
        DataStore store(folder.programDir());
        QVERIFY(store.READDBPATH());
        const QString placed = folder.dataDir() + "/velm.mdb";
        QCOMPARE(readBytes(placed), readBytes(original));
        QCOMPARE(QDir(folder.dataDir()).entryList(QDir::Files), QStringList{"velm.mdb"});

        // The office works in its database; later starts leave it alone
        // although the program folder still holds the first database.
        QVERIFY(store.OPENDATABASE().ok);
        TempDataFolder::addUser(store.db(), QStringLiteral("admin"), QStringLiteral("pw"));
        store.CLOSEDATABASE();
        const QByteArray worked = readBytes(placed);
        QVERIFY(worked != readBytes(original));
        QVERIFY(store.READDBPATH());
        QVERIFY(store.READDBPATH());
        QCOMPARE(readBytes(placed), worked);
        QVERIFY(store.OPENDATABASE().ok);
        QCOMPARE(store.db().scalar(QStringLiteral("SELECT count(*) FROM users")).toInt(), 1);
    }

    void openingTheFirstDatabase()
    {
        TempDataFolder folder;
        DataStore &store = folder.openStore();
        QVERIFY(store.isOpen());
        QCOMPARE(store.db().path(), folder.dataDir() + "/velm.mdb");

        // Slots are per table, found without regard to case.
        CursorSlot &users = store.slot(QStringLiteral("USERS"));
        QCOMPARE(&store.slot(QStringLiteral("users")), &users);
        QVERIFY(!users.isOpen());
        QCOMPARE(users.open().recordCount(), 0);
        QVERIFY(users.isOpen());

        store.openAllCodeTables();
        for (int n = 1; n <= 18; ++n)
            QVERIFY(store.slot(DataStore::codeTableName(n).toUpper()).isOpen());
        engine::TableCursor &places = store.slot(QStringLiteral("category12")).cursor();
        places.moveFirst();
        QVERIFY(!places.value(QStringLiteral("place")).toString().isEmpty());

        // Closing the connection closes every cursor with it.
        store.CLOSEDATABASE();
        QVERIFY(!store.isOpen());
        QVERIFY(!users.isOpen());
        QVERIFY(!store.slot(QStringLiteral("category12")).isOpen());
        int number = 0;
        try {
            users.cursor();
        } catch (const engine::EngineError &e) {
            number = e.number();
        }
        QCOMPARE(number, int(engine::ErrInvalidArgument));
        try {
            store.db();
            number = 0;
        } catch (const engine::EngineError &e) {
            number = e.number();
        }
        QCOMPARE(number, int(engine::ErrInvalidArgument));
        // And the connection opens again (the logon closes and reopens it).
        QVERIFY(store.OPENDATABASE().ok);
    }

    void networkFileSystemsAreKnownByType_data()
    {
        QTest::addColumn<qint64>("type");
        QTest::addColumn<bool>("network");
        QTest::newRow("NFS") << qint64(0x6969) << true;
        QTest::newRow("CIFS") << qint64(0xFF534D42) << true;
        QTest::newRow("SMB2") << qint64(0xFE534D42) << true;
        QTest::newRow("SMB") << qint64(0x517B) << true;
        QTest::newRow("FUSE (sshfs)") << qint64(0x65735546) << true;
        QTest::newRow("AFS") << qint64(0x5346414F) << true;
        QTest::newRow("9P") << qint64(0x01021997) << true;
        QTest::newRow("ext4") << qint64(0xEF53) << false;
        QTest::newRow("tmpfs") << qint64(0x01021994) << false;
        QTest::newRow("overlay") << qint64(0x794C7630) << false;
        QTest::newRow("xfs") << qint64(0x58465342) << false;
    }

    void networkFileSystemsAreKnownByType()
    {
        QFETCH(qint64, type);
        QTEST(isNetworkFileSystemType(type), "network");
    }

    // On a network share the file keeps the rollback journal on every
    // connection of both workstations, and the notice is due once per run;
    // on a local disk WAL as before and no notice.
    void journalFollowsTheFileSystem_data()
    {
        QTest::addColumn<bool>("network");
        QTest::addColumn<QString>("mode");
        QTest::newRow("local disk") << false << "wal";
        QTest::newRow("network share") << true << "delete";
    }

    void journalFollowsTheFileSystem()
    {
        QFETCH(bool, network);
        TempDataFolder folder;
        DataStore &store = folder.openStore(); // the real check: a local disk here
        QVERIFY(!onNetworkFileSystem(store.config().dbFile));
        QCOMPARE(store.db().scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("wal"));
        QVERIFY(!store.networkNoticeDue());

        QStringList asked;
        const NetworkCheck check = [&](const QString &path) {
            asked << path;
            return network;
        };
        store.setNetworkCheck(check);
        QVERIFY(store.OPENDATABASE().ok);
        QCOMPARE(asked, QStringList{store.config().dbFile});
        DataStore second(folder.programDir()); // the other workstation
        QVERIFY(second.READDBPATH());
        second.setNetworkCheck(check);
        QVERIFY(second.OPENDATABASE().ok);
        const auto view = store.openViewConnection();
        const auto secondView = second.sharedViewConnection();
        for (engine::Database *db : {&store.db(), view.get(), &second.db(), secondView.get()})
            QTEST(db->scalar(QStringLiteral("PRAGMA journal_mode")).toString(), "mode");
        QCOMPARE(QFileInfo::exists(store.config().dbFile + QStringLiteral("-wal")), !network);
        TempDataFolder::addUser(second.db(), QStringLiteral("u2"), QStringLiteral("p"));
        QCOMPARE(store.db().scalar(QStringLiteral("select count(*) from users")).toInt(), 1);

        QCOMPARE(store.networkNoticeDue(), network);
        QVERIFY(!store.networkNoticeDue());
        store.CLOSEDATABASE();
        QVERIFY(store.OPENDATABASE().ok);
        QVERIFY(!store.networkNoticeDue()); // once per run
        QCOMPARE(second.networkNoticeDue(), network);
    }

    void connectionObjectSurvivesReopeningAndViewsSeeWrites()
    {
        TempDataFolder folder;
        DataStore &store = folder.openStore();
        engine::Database *held = &store.db();
        store.CLOSEDATABASE();
        QVERIFY(store.OPENDATABASE().ok);
        QCOMPARE(&store.db(), held);

        // A grid's own connection holding a statement open blocks no write,
        // and a new statement on it sees what the main connection wrote.
        auto view = store.openViewConnection();
        auto reading = std::make_unique<engine::QueryCursor>(*view, QStringLiteral("select * from category1"));
        QVERIFY(reading->next());
        TempDataFolder::addUser(store.db(), QStringLiteral("u1"), QStringLiteral("p"));
        reading.reset();
        engine::QueryCursor again(*view, QStringLiteral("select count(*) from users"));
        QVERIFY(again.next());
        QCOMPARE(again.value(0).toInt(), 1);
    }

    void openFailures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("message");
        QTest::newRow("wrong password") << "password" << 3031 << "Invalid Access-3031";
        QTest::newRow("missing file") << "missing" << 3024 << "Invalid Access-3024";
        QTest::newRow("no path") << "nopath" << 3001 << "Invalid Access-3001";
        QTest::newRow("old office format") << "jet" << 3343 << "Invalid Access-3343";
        QTest::newRow("empty schema") << "empty" << 3011 << "Invalid Access";
        QTest::newRow("zero bytes") << "zero" << 3011 << "Invalid Access";
        QTest::newRow("keyed file of another program") << "foreign" << 3011 << "Invalid Access";
        QTest::newRow("named pipe") << "fifo" << 3051 << "Invalid Access-3051";
        // A copy cut short, a disk that filled up: not a whole number of pages.
        QTest::newRow("last kilobyte missing") << "cut" << 3049 << "Invalid Access";
        QTest::newRow("half a page over") << "grown" << 3049 << "Invalid Access";
        // A file or a data folder the user may not write.
        QTest::newRow("read-only file") << "readonly" << 3051 << "Invalid Access-3051";
        QTest::newRow("read-only folder") << "readonlyDir" << 3051 << "Invalid Access-3051";
    }

    void openFailures()
    {
        QFETCH(QString, kind);
        TempDataFolder folder;
        DataStore store(folder.programDir());
        QVERIFY(store.READDBPATH()); // no first database: the data folder stays empty
        const QString file = folder.dataDir() + "/velm.mdb";
        QByteArray before;
        if (kind == QLatin1String("password")) {
            engine::Database other;
            other.create(file, QStringLiteral("not the office key"));
            schema::createSchema(other);
        } else if (kind == QLatin1String("nopath")) {
            QFile::remove(folder.path("db_path"));
            store.config().dbFile.clear();
        } else if (kind == QLatin1String("jet")) {
            QByteArray jet(4096, '\0');
            jet.replace(0, 4, QByteArray("\x00\x01\x00\x00", 4));
            jet.replace(4, 15, "Standard Jet DB");
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(jet);
        } else if (kind == QLatin1String("empty")) {
            engine::Database empty;
            empty.create(file, passwordFromConnect(QLatin1String(kConnectString)));
        } else if (kind == QLatin1String("zero")) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (kind == QLatin1String("foreign")) {
            engine::Database other;
            other.create(file, passwordFromConnect(QLatin1String(kConnectString)));
            other.execute(QStringLiteral("CREATE TABLE elsewhere (a)"));
            other.execute(QStringLiteral("PRAGMA journal_mode=DELETE"));
        } else if (kind == QLatin1String("fifo")) {
            QCOMPARE(mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        } else if (kind == QLatin1String("cut") || kind == QLatin1String("grown")) {
            QVERIFY(QFile::copy(folder.placeFirstDatabase(), file));
            QFile f(file);
            const qint64 size = f.size();
            QVERIFY(size % 4096 == 0 && size > 8192);
            QVERIFY(kind == QLatin1String("cut") ? f.resize(size - 1024) : f.resize(size + 2048));
        }
        QString locked;
        const auto unlock = qScopeGuard([&] {
            if (!locked.isEmpty())
                setWritable(locked, true);
        });
        if (kind.startsWith(QLatin1String("readonly"))) {
            QVERIFY(QFile::copy(folder.placeFirstDatabase(), file));
            locked = kind == QLatin1String("readonly") ? file : folder.dataDir();
            if (!setWritable(locked, false)) {
                locked.clear();
                QSKIP("No way to take the right to write away here (immutable flag refused)");
            }
        }
        if (QFileInfo(file).isFile())
            before = readBytes(file);

        const OpenResult r = store.OPENDATABASE();
        QVERIFY(!r.ok);
        QTEST(r.errorNumber, "number");
        QTEST(r.message, "message");
        QVERIFY(!store.isOpen());
        // A file that is refused is never changed.
        if (QFileInfo(file).isFile()) {
            QCOMPARE(readBytes(file), before);
            QVERIFY(!QFileInfo::exists(file + QStringLiteral("-wal")));
            QVERIFY(!QFileInfo::exists(file + QStringLiteral("-shm")));
        }
    }

    // The main connection tries a missing file again on the file the re-read
    // names, kOpenAttempts times in all; a file that is not ours only once.
    void mainConnectionRetriesWithinItsBound_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("reread");
        QTest::addColumn<int>("rereads");
        QTest::addColumn<int>("number");
        QTest::newRow("placed by the re-read") << "missing" << "office" << 1 << 0;
        QTest::newRow("still missing") << "missing" << "missing" << kOpenAttempts - 1 << 3024;
        QTest::newRow("no file named") << "" << "" << kOpenAttempts - 1 << 3001;
        QTest::newRow("not an office file") << "foreign" << "office" << 0 << 3011;
    }
    void mainConnectionRetriesWithinItsBound()
    {
        QFETCH(QString, first);
        QFETCH(QString, reread);
        QFETCH(int, rereads);
        TempDataFolder folder(false);
        const QString office = folder.placeFirstDatabase();
        const QString foreign = folder.path(QStringLiteral("foreign.mdb"));
        engine::Database other;
        other.create(foreign, passwordFromConnect(QLatin1String(kConnectString)));
        other.close();
        const QHash<QString, QString> paths{
            {QStringLiteral("office"), office},
            {QStringLiteral("foreign"), foreign},
            {QStringLiteral("missing"), folder.path(QStringLiteral("missing.mdb"))}};

        DataConnections connections;
        int calls = 0;
        const OpenResult r = connections.openMain(paths.value(first), [&] {
            ++calls;
            return paths.value(reread);
        });
        QCOMPARE(calls, rereads);
        QTEST(r.errorNumber, "number");
        QCOMPARE(r.ok, r.errorNumber == 0);
        QCOMPARE(connections.isOpen(), r.ok);
        if (r.ok)
            QCOMPARE(connections.main().path(), office);
    }

    void missingDatabaseIsPlacedByTheRetry()
    {
        TempDataFolder folder;
        DataStore store(folder.programDir());
        QVERIFY(store.READDBPATH()); // nothing to copy yet
        QVERIFY(!QFileInfo::exists(folder.dataDir() + "/velm.mdb"));
        folder.placeFirstDatabase(); // the installer puts it beside the program
        const OpenResult r = store.OPENDATABASE();
        QVERIFY2(r.ok, qPrintable(r.message));
        QVERIFY(QFileInfo::exists(folder.dataDir() + "/velm.mdb"));
    }
};

VELM_TEST_MAIN(TestOpenDb)
#include "tst_opendb.moc"
