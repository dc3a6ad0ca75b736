// The program on a database server: db_path's sixth line, the office
// database made on an empty server database, the connections, the logon's
// messages for a server that is down or refuses, and the frame's status bar.
#include "support/FrameWorld.h"
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "data/DbPath.h"
#include "data/OpenDb.h"
#include "engine/EngineError.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

namespace {

QStringList linesWithServer(const QString &server)
{
    return testsupport::TempDataFolder::defaultDbPathLines() << server;
}

QString appString(const testsupport::TempDatabase &db)
{
    return db.connectionString(db.facts().appUser, db.facts().appPassword);
}

} // namespace

class TestServerSession : public QObject {
    Q_OBJECT

private slots:
    void sixthLineRead_data();
    void sixthLineRead();
    void emptyServerDatabaseBecomesTheOffice();
    void foreignServerDatabaseRefused();
    void unreachableOrRefusingServer_data();
    void unreachableOrRefusingServer();
    void statusBarNamesServer();
};

void TestServerSession::sixthLineRead_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("server");
    QTest::newRow("five lines: the file") << QByteArray("0\n\\data\n\\p\n\\m\n\\f\n") << QString();
    QTest::newRow("service") << QByteArray("0\n\\data\n\\p\n\\m\n\\f\nservice=velm\n") << QStringLiteral("service=velm");
    QTest::newRow("connection string, CRLF, blanks trimmed")
        << QByteArray("0\r\n\\data\r\n\\p\r\n\\m\r\n\\f\r\n  host=db1 dbname=velm user=velm_app \r\n")
        << QStringLiteral("host=db1 dbname=velm user=velm_app");
    QTest::newRow("blank sixth line: the file") << QByteArray("0\n\\data\n\\p\n\\m\n\\f\n   \n") << QString();
}

void TestServerSession::sixthLineRead()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, server);
    const core::DataStoreConfig config = core::DbPathReader(QStringLiteral("/prog")).parse(bytes);
    QCOMPARE(config.server, server);
    QCOMPARE(config.onServer(), !server.isEmpty());
    // The folders keep their meaning.
    QCOMPARE(config.dataDir, QStringLiteral("/prog/data"));
    QCOMPARE(config.formsDir, QStringLiteral("/prog/f"));
}

void TestServerSession::emptyServerDatabaseBecomesTheOffice()
{
    testsupport::TempDatabase server;
    testsupport::TempDataFolder folder;
    folder.writeDbPath(linesWithServer(appString(server)));
    core::DataStore &store = folder.store();
    // The network share's check is about files: never asked for a server.
    bool networkAsked = false;
    store.setNetworkCheck([&](const QString &) { return networkAsked = true; });
    QVERIFY(store.READDBPATH());
    QVERIFY(store.config().onServer());
    const core::OpenResult opened = store.OPENDATABASE();
    QVERIFY2(opened.ok, qPrintable(opened.message));
    QVERIFY(!networkAsked);
    QVERIFY(!store.networkNoticeDue());
    QVERIFY(store.db().onServer());
    QVERIFY(store.openOnConfiguredDatabase());
    // The schema, the starter codes and the audit trail, as on a new file;
    // no user yet (the logon offers the first).
    QCOMPARE(store.db().scalar(QStringLiteral("SELECT count(*) FROM users")).toInt(), 0);
    QVERIFY(store.db().scalar(QStringLiteral("SELECT count(*) FROM category1")).toInt() > 0);
    QVERIFY(store.db().hasTable(QStringLiteral("audit")));
    // The data folder is still made for pictures, reports and backups.
    QVERIFY(QDir(folder.dataDir()).exists());
    QVERIFY(QDir(folder.path(QStringLiteral("pictures"))).exists());

    testsupport::TempDataFolder::addUser(store.db(), QStringLiteral("admin"), QStringLiteral("pw"));
    // Every further connection reaches the same server database.
    const auto view = store.openViewConnection();
    QVERIFY(view->onServer());
    QCOMPARE(view->scalar(QStringLiteral("SELECT count(*) FROM users")).toInt(), 1);
    const auto shared = store.sharedViewConnection();
    QVERIFY(shared->onServer());
    QCOMPARE(store.sharedViewConnection(), shared);

    // Opened again, the office database is taken as it is.
    store.CLOSEDATABASE();
    QVERIFY(!store.openOnConfiguredDatabase());
    QVERIFY(store.OPENDATABASE().ok);
    QCOMPARE(store.db().scalar(QStringLiteral("SELECT count(*) FROM users")).toInt(), 1);
}

void TestServerSession::foreignServerDatabaseRefused()
{
    testsupport::TempDatabase server;
    {
        engine::Database db;
        server.open(db);
        db.execute(QStringLiteral("CREATE TABLE stock (item text)"));
    }
    testsupport::TempDataFolder folder;
    folder.writeDbPath(linesWithServer(appString(server)));
    core::DataStore &store = folder.store();
    QVERIFY(store.READDBPATH());
    const core::OpenResult opened = store.OPENDATABASE();
    QVERIFY(!opened.ok);
    QCOMPARE(opened.errorNumber, int(engine::ErrObjectNotFound));
    QVERIFY2(opened.message.startsWith(QStringLiteral("Invalid Access\n")), qPrintable(opened.message));
    QVERIFY(!store.isOpen());
    // Nothing of the office was written into it.
    engine::Database db;
    server.open(db);
    QVERIFY(!db.hasTable(QStringLiteral("users")));
}

void TestServerSession::unreachableOrRefusingServer_data()
{
    QTest::addColumn<bool>("wrongPassword");
    QTest::addColumn<QString>("why"); // libpq's reason, in the second line
    QTest::newRow("server down") << false << QStringLiteral("No such file or directory");
    QTest::newRow("password refused") << true << QStringLiteral("password authentication failed");
}

void TestServerSession::unreachableOrRefusingServer()
{
    QFETCH(bool, wrongPassword);
    QFETCH(QString, why);
    testsupport::TempDatabase server;
    LogonWorld w;
    const QString down = w.folder.path(QStringLiteral("no-server"));
    const QString connection =
        wrongPassword ? server.connectionString(server.facts().appUser, QStringLiteral("not-the-password"))
                      : QStringLiteral("host=%1 dbname=velm user=velm_app").arg(down);
    w.folder.writeDbPath(linesWithServer(connection));
    logon::LOGON screen(w.ctx);
    QSignalSpy ends(&screen, &logon::LOGON::programEnds);
    QVERIFY(!screen.load());
    QCOMPARE(ends.count(), 1);
    QCOMPARE(ends.at(0).at(0).toInt(), 1);
    QCOMPARE(w.messages.shownCount(), 1);
    const QStringList lines = w.messages.shown().first().split(QLatin1Char('\n'));
    QCOMPARE(lines.first(), QStringLiteral("Invalid Access"));
    const QString second = lines.mid(1).join(QLatin1Char(' '));
    // Which server and why; never the password.
    QVERIFY2(second.contains(wrongPassword ? server.facts().socket : down), qPrintable(second));
    QVERIFY2(second.contains(why), qPrintable(second));
    QVERIFY(!second.contains(QStringLiteral("not-the-password")));
    QVERIFY(!w.store.isOpen());
}

void TestServerSession::statusBarNamesServer()
{
    testsupport::TempDatabase server;
    FrameWorld w;
    w.folder.writeDbPath(linesWithServer(appString(server)));
    w.prepare([](engine::Database &db) {
        testsupport::TempDataFolder::addUser(db, QStringLiteral("CLERK"), QStringLiteral("pw"));
    });
    QVERIFY(w.startFrame({}));
    QVERIFY(w.logOnAs(QStringLiteral("CLERK"), QStringLiteral("pw")));
    QVERIFY(w.store.db().onServer());
    const QString name = server.facts().socket + QLatin1Char('/') + server.name();
    auto *status = w.frame->findChild<QLabel *>(QStringLiteral("statusDataFile"));
    QVERIFY(status);
    QCOMPARE(status->text(), QStringLiteral("الخادم: ") + QChar(0x2066) + name + QChar(0x2069));
    QVERIFY(!status->text().contains(server.facts().appPassword));
}

VELM_TEST_MAIN(TestServerSession)
#include "tst_server_session.moc"
