#include "support/TestMain.h"
#include "support/EngineErrors.h"
#include "support/TestDatabase.h"

#include "engine/Database.h"
#include "engine/PgSql.h"
#include "engine/QueryCursor.h"
#include "engine/ReadOnlyQuery.h"
#include "engine/TableCursor.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <thread>

using namespace engine;
using testsupport::errorOf;

// The server backend itself, on the throwaway cluster: the engine's SQL
// turned into the server's, failures sorted by their SQLSTATE, long lists
// read row by row, statements interleaved on one connection, stopping a
// query, and what opening says when the server is down or refuses.
class TestPgBackend : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempDatabase> m_temp;
    std::unique_ptr<Database> m_db;

    void witnesses(Database &db)
    {
        TableDef t{QStringLiteral("Witnesses"),
                   {{QStringLiteral("NAME"), FieldDef::Type::Text, 20},
                    {QStringLiteral("seq_no"), FieldDef::Type::Integer, 0},
                    {QStringLiteral("note"), FieldDef::Type::Memo, 0}},
                   {QStringLiteral("NAME")}};
        db.createTable(t);
    }

private slots:
    void translatesTheEngineSql_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("parameters");
        QTest::addColumn<QString>("rest");
        QTest::newRow("marks") << "SELECT a FROM t WHERE b = ? AND c > ?" << "SELECT a FROM t WHERE b = $1 AND c > $2" << 2 << "";
        QTest::newRow("numbered") << "SELECT 1 WHERE k >= ?1 AND (k > ?1 OR k2 > ?2)"
                                  << "SELECT 1 WHERE k >= $1 AND (k > $1 OR k2 > $2)" << 2 << "";
        QTest::newRow("named twice") << "SELECT :from, :to, :from" << "SELECT $1, $2, $1" << 2 << "";
        QTest::newRow("cast stays") << "SELECT x::text FROM t" << "SELECT x::text FROM t" << 0 << "";
        QTest::newRow("quotes kept") << "SELECT '?', 'it''s ?' -- ?\nFROM t" << "SELECT '?', 'it''s ?' -- ?\nFROM t" << 0 << "";
        QTest::newRow("names fold") << "SELECT \"english_NAME\", [Tamrel No] FROM \"followUp\""
                                    << "SELECT \"english_name\", \"tamrel no\" FROM \"followup\"" << 0 << "";
        QTest::newRow("like") << "SELECT 1 FROM t WHERE a LIKE ? ESCAPE '\\' AND b = 1"
                              << "SELECT 1 FROM t WHERE a ~~~ ( $1 ) AND b = 1" << 1 << "";
        QTest::newRow("not like") << "SELECT 1 FROM t WHERE a NOT LIKE 'x%'" << "SELECT 1 FROM t WHERE a !~~~ ( 'x%')" << 0 << "";
        QTest::newRow("like in call") << "SELECT f(a LIKE b, c)" << "SELECT f(a ~~~ ( b), c)" << 0 << "";
        QTest::newRow("insert or ignore") << "INSERT OR IGNORE INTO c (d) VALUES (?)"
                                          << "INSERT  INTO c (d) VALUES ($1) ON CONFLICT DO NOTHING" << 1 << "";
        QTest::newRow("collations") << "SELECT 1 WHERE a = ? COLLATE BINARY OR b = c COLLATE nocase"
                                    << "SELECT 1 WHERE a = $1 COLLATE \"C\" OR b = c COLLATE velm_fold" << 1 << "";
        QTest::newRow("select in from") << "SELECT * FROM (SELECT a FROM t WHERE b = ?) ORDER BY a"
                                         << "SELECT * FROM (SELECT a FROM t WHERE b = $1) AS velm_sub1 ORDER BY a" << 1 << "";
        QTest::newRow("named select in from") << "SELECT * FROM (SELECT a FROM (SELECT 1 AS a)) x"
                                               << "SELECT * FROM (SELECT a FROM (SELECT 1 AS a) AS velm_sub1) x" << 0 << "";
        QTest::newRow("in list stays") << "SELECT a FROM t WHERE a IN (SELECT b FROM u)"
                                       << "SELECT a FROM t WHERE a IN (SELECT b FROM u)" << 0 << "";
        QTest::newRow("second statement") << "SELECT 1; DELETE FROM t" << "SELECT 1" << 0 << " DELETE FROM t";
        QTest::newRow("sqlite functions")
            << "SELECT ifnull(a, 0), group_concat(b), group_concat(DISTINCT b, ';'), instr(c, 'x'), total(d) FROM t"
            << "SELECT coalesce(a, 0), string_agg((b)::text, ','), string_agg(DISTINCT (b)::text, (';')::text), "
               "strpos((c)::text COLLATE \"C\", ('x')::text COLLATE \"C\"), coalesce(sum(d), 0)::float8 FROM t" << 0 << "";
        QTest::newRow("nested") << "SELECT substr(ifnull(a, ?), 1, 2)" << "SELECT substr((coalesce(a, $1))::text, 1, 2)" << 1 << "";
        QTest::newRow("cast text") << "SELECT CAST(a AS TEXT) FROM t" << "SELECT CAST(a AS TEXT) FROM t" << 0 << "";
        QTest::newRow("only a comment") << "  -- nothing" << "" << 0 << "";
    }

    // A report's ORDER BY puts nulls where the file does.
    void ordersNullsAsTheFile_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("server");
        QTest::newRow("items") << "SELECT a FROM t ORDER BY a, b DESC, c NULLS LAST -- a, b\nLIMIT 3"
                               << "SELECT a FROM t ORDER BY a NULLS FIRST, b DESC NULLS LAST, c NULLS LAST -- a, b\nLIMIT 3";
        QTest::newRow("nested") << "SELECT (SELECT max(x) FROM u ORDER BY f(x, y)) FROM t ORDER BY CASE WHEN a THEN 1 END"
                                << "SELECT (SELECT max(x) FROM u ORDER BY f(x, y) NULLS FIRST) FROM t "
                                   "ORDER BY CASE WHEN a THEN 1 END NULLS FIRST";
        QTest::newRow("window") << "SELECT row_number() OVER (ORDER BY a DESC) FROM t"
                                << "SELECT row_number() OVER (ORDER BY a DESC NULLS LAST) FROM t";
    }
    void ordersNullsAsTheFile()
    {
        QFETCH(QString, sql);
        QFETCH(QString, server);
        QCOMPARE(QString::fromUtf8(translateForPg(sql.toUtf8(), true).sql), server);
        QCOMPARE(QString::fromUtf8(translateForPg(sql.toUtf8()).sql), sql);
    }

    void translatesTheEngineSql()
    {
        QFETCH(QString, sql);
        const PgSql t = translateForPg(sql.toUtf8());
        QVERIFY2(t.error.isEmpty(), qPrintable(t.error));
        QTEST(QString::fromUtf8(t.sql), "server");
        QTEST(t.parameters, "parameters");
        QTEST(QString::fromUtf8(t.rest), "rest");
    }

    void refusesWhatItCannotTranslate()
    {
        QVERIFY(!translateForPg("SELECT 1 WHERE a LIKE b ESCAPE '!'").error.isEmpty());
        QVERIFY(!translateForPg("INSERT OR REPLACE INTO t VALUES (1)").error.isEmpty());
        QVERIFY(!translateForPg("SELECT 'open").error.isEmpty());
        QVERIFY(translateForPg("SELECT a FROM t").readOnly);
        QVERIFY(!translateForPg("WITH x AS (DELETE FROM t RETURNING *) SELECT * FROM x").readOnly);
        QVERIFY(translateForPg("SELECT * FROM USERS").touchesUsers);
    }

    void init()
    {
        m_temp = std::make_unique<testsupport::TempDatabase>();
        QVERIFY2(m_temp->onServer(), "tst_pg_backend runs on the server only (VELM_TEST_BACKEND=server)");
        m_db = std::make_unique<Database>();
        m_temp->open(*m_db);
        witnesses(*m_db);
    }

    void cleanup()
    {
        m_db.reset();
        m_temp.reset();
    }

    void opensAndDescribesTheServer()
    {
        QVERIFY(m_db->onServer());
        QVERIFY2(m_db->path().contains(m_temp->facts().socket), qPrintable(m_db->path()));
        // A further connection opens from the first one's description.
        Database second;
        second.open(m_db->openSpec());
        QVERIFY(second.onServer());
        QCOMPARE(second.tableName(QStringLiteral("WITNESSES")), QStringLiteral("Witnesses"));
        QCOMPARE(second.columns(QStringLiteral("witnesses")).size(), 3); // the row identity stays hidden
        QCOMPARE(second.columns(QStringLiteral("witnesses")).at(0).name, QStringLiteral("NAME"));
        QCOMPARE(errorOf([&] { Database d; d.openServer(m_temp->connectionString(m_temp->facts().appUser, m_temp->facts().appPassword),
                                                   {QStringLiteral("tamrel")}); }),
                 int(ErrObjectNotFound));
    }

    // An office names its server as PostgreSQL's own tools do: a service in
    // pg_service.conf for the place, the password in a password file.
    void opensThroughAServiceAndAPasswordFile()
    {
        QTemporaryDir dir;
        const QString db = m_db->scalar(QStringLiteral("SELECT current_database()")).toString();
        QFile service(dir.filePath(QStringLiteral("pg_service.conf")));
        QVERIFY(service.open(QIODevice::WriteOnly));
        service.write(QStringLiteral("[office]\nhost=%1\ndbname=%2\nuser=%3\n")
                          .arg(m_temp->facts().socket, db, m_temp->facts().appUser)
                          .toUtf8());
        service.close();
        QFile pass(dir.filePath(QStringLiteral("pgpass")));
        QVERIFY(pass.open(QIODevice::WriteOnly));
        pass.write(QStringLiteral("*:*:%1:%2:%3\n").arg(db, m_temp->facts().appUser, m_temp->facts().appPassword).toUtf8());
        pass.close();
        pass.setPermissions(QFile::ReadOwner | QFile::WriteOwner); // libpq ignores a file others may read
        // libpq reads the files where these variables point, for this test only.
        struct Env {
            Env(const QString &service, const QString &pass)
            {
                qputenv("PGSERVICEFILE", QFile::encodeName(service));
                qputenv("PGPASSFILE", QFile::encodeName(pass));
            }
            ~Env()
            {
                qunsetenv("PGSERVICEFILE");
                qunsetenv("PGPASSFILE");
            }
        } env(service.fileName(), pass.fileName());
        Database office;
        office.openServer(QStringLiteral("service=office"), {QStringLiteral("witnesses")});
        QVERIFY2(office.path().contains(db), qPrintable(office.path()));
        // Further connections open the same way.
        Database view;
        view.open(office.openSpec());
        QCOMPARE(view.scalar(QStringLiteral("SELECT count(*) FROM witnesses")).toLongLong(), 0);
    }

    void aServerThatRefusesOrIsDownIsNamed()
    {
        Database db;
        try {
            db.openServer(m_temp->connectionString(m_temp->facts().appUser, QStringLiteral("wrong")));
            QFAIL("a wrong password was accepted");
        } catch (const EngineError &e) {
            QCOMPARE(e.number(), int(ErrCannotOpenFile));
            QVERIFY2(e.description().contains(m_temp->facts().socket), qPrintable(e.description()));
            QVERIFY2(e.description().contains(QLatin1String("password authentication failed")), qPrintable(e.description()));
        }
        QTemporaryDir nowhere;
        try {
            db.openServer(QStringLiteral("host=%1 dbname=velm user=velm_app").arg(nowhere.path()));
            QFAIL("a server that is down was reached");
        } catch (const EngineError &e) {
            QCOMPARE(e.number(), int(ErrCannotOpenFile));
            QVERIFY2(e.description().contains(nowhere.path()), qPrintable(e.description()));
            QVERIFY2(e.description().contains(QLatin1String("No such file")), qPrintable(e.description()));
        }
        QVERIFY(!db.isOpen());
    }

    void failuresAreSortedByTheirState()
    {
        const QString add = QStringLiteral("INSERT INTO witnesses (NAME, seq_no) VALUES (?, ?)");
        m_db->execute(add, {QStringLiteral("Ahmad"), 1});
        QCOMPARE(m_db->changes(), 1);
        QCOMPARE(errorOf([&] { m_db->execute(add, {QStringLiteral("AHMAD"), 2}); }), int(ErrDuplicateKey));
        QCOMPARE(errorOf([&] { m_db->execute(add, {QVariant(), 2}); }), int(ErrNullInRequired));
        QCOMPARE(errorOf([&] { m_db->execute(add, {QString(21, QLatin1Char('x')), 2}); }), int(ErrFieldTooSmall));
        QCOMPARE(errorOf([&] { m_db->execute(add, {QStringLiteral("x"), QStringLiteral("two")}); }), int(ErrDataTypeConversion));
        QCOMPARE(errorOf([&] { m_db->execute(QStringLiteral("SELECT * FROM nothere")); }), int(ErrObjectNotFound));
        QCOMPARE(errorOf([&] { m_db->execute(QStringLiteral("SELECT nothere FROM witnesses")); }), int(ErrItemNotFound));
        QCOMPARE(errorOf([&] { m_db->execute(QStringLiteral("SELEC 1")); }), int(ErrQuerySyntax));
        QCOMPARE(errorOf([&] { m_db->execute(add, {QString::fromUtf8("a\0b", 3), 2}); }), int(ErrFieldTooSmall));
        // After failures the connection works on, in and out of transactions.
        Transaction tx(*m_db);
        m_db->execute(add, {QStringLiteral("Bakr"), 2});
        tx.commit();
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM witnesses")).toLongLong(), 2);
    }

    void longListsStreamAndInterleave()
    {
        m_db->execute(QStringLiteral("INSERT INTO witnesses (NAME, seq_no) SELECT 'w' || g, g FROM generate_series(1, 20000) g"));
        QueryCursor list(*m_db, QStringLiteral("SELECT NAME, seq_no FROM witnesses ORDER BY seq_no"));
        qint64 seen = 0;
        qint64 sum = 0;
        while (list.next()) {
            ++seen;
            sum += list.value(1).toLongLong();
            // Another statement on the same connection in the middle of the list.
            if (seen == 10)
                QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM witnesses WHERE seq_no > ?"), {19990}).toLongLong(), 10);
        }
        QCOMPARE(seen, 20000);
        QCOMPARE(sum, qint64(20000) * 20001 / 2);
        // A list left after a few rows does not read the rest.
        QElapsedTimer t;
        t.start();
        for (int i = 0; i < 5; ++i) {
            QueryCursor big(*m_db, QStringLiteral("SELECT a.seq_no FROM witnesses a, witnesses b"));
            QVERIFY(big.next());
        }
        QVERIFY2(t.elapsed() < 5000, qPrintable(QString::number(t.elapsed())));
        // The same text is prepared once per connection.
        Statement s(*m_db, QStringLiteral("SELECT seq_no FROM witnesses WHERE NAME = ?"));
        for (int i = 1; i <= 50; ++i) {
            s.bind({QStringLiteral("W%1").arg(i)});
            QVERIFY(s.step());
            QCOMPARE(s.integer(0), i);
            s.reset();
        }
        QVERIFY(m_db->scalar(QStringLiteral("SELECT count(*) FROM pg_prepared_statements")).toLongLong() < 10);
    }

    void aRunningQueryStops()
    {
        QElapsedTimer t;
        t.start();
        m_db->setStopCheck([&t] { return t.elapsed() > 200; }, 100);
        QCOMPARE(errorOf([&] { m_db->scalar(QStringLiteral("SELECT pg_sleep(10)")); }), int(ErrOperationCanceled));
        QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
        m_db->setStopCheck({});
        // From another thread, as Esc does.
        t.restart();
        std::thread esc([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            m_db->interrupt();
        });
        const int error = errorOf([&] { m_db->scalar(QStringLiteral("SELECT pg_sleep(10)")); });
        esc.join();
        QCOMPARE(error, int(ErrOperationCanceled));
        QVERIFY2(t.elapsed() < 3000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT 1")).toLongLong(), 1);
    }

    void aLostConnectionIsAnErrorNeverTheEndOfAList()
    {
        Database other;
        other.open(m_db->openSpec());
        const qint64 pid = m_db->scalar(QStringLiteral("SELECT pg_backend_pid()")).toLongLong();
        QueryCursor slow(*m_db, QStringLiteral("SELECT g, pg_sleep(0.02) FROM generate_series(1, 500) g"));
        QVERIFY(slow.next());
        other.execute(QStringLiteral("SELECT pg_terminate_backend(?)"), {pid});
        const int error = errorOf([&] {
            while (slow.next()) {
            }
        });
        QVERIFY2(error != 0, "a lost connection read as the end of the list");
        QVERIFY(slow.rowsRead() < 500);
        QCOMPARE(errorOf([&] { m_db->scalar(QStringLiteral("SELECT 1")); }), int(ErrCannotOpenFile));
    }

    void transactionsAndRowIdentities()
    {
        m_db->begin();
        m_db->execute(QStringLiteral("INSERT INTO witnesses (NAME) VALUES (?)"), {QStringLiteral("x")});
        QVERIFY(m_db->inTransaction());
        QVERIFY(m_db->lastInsertRowId() > 0);
        m_db->rollback();
        QVERIFY(!m_db->inTransaction());
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM witnesses")).toLongLong(), 0);
        QCOMPARE(m_db->backend()->rowIdColumn(QStringLiteral("witnesses")), QStringLiteral("\"velm_rowid\""));
        // SELECT * lists the fields only; naming the identity reads it.
        QueryCursor all(*m_db, QStringLiteral("SELECT * FROM witnesses"));
        QCOMPARE(all.columnNames(), (QStringList{"NAME", "seq_no", "note"}));
        QueryCursor ids(*m_db, QStringLiteral("SELECT velm_rowid, NAME FROM witnesses"));
        QCOMPARE(ids.columnCount(), 2);
    }

    void theReportRoleCannotWrite()
    {
        m_db->execute(QStringLiteral("INSERT INTO witnesses (NAME) VALUES ('a')"));
        Database report;
        m_temp->openReport(report);
        QCOMPARE(report.scalar(QStringLiteral("SELECT count(*) FROM witnesses")).toLongLong(), 1);
        try {
            report.execute(QStringLiteral("DELETE FROM witnesses"));
            QFAIL("the report role wrote");
        } catch (const EngineError &e) {
            QVERIFY2(e.description().contains(QLatin1String("read-only")), qPrintable(e.description()));
        }
        // A list's connection of the program's role is made to only read.
        Database viewer;
        viewer.open(m_db->openSpec());
        viewer.setQueryOnly(true);
        QVERIFY(errorOf([&] { viewer.execute(QStringLiteral("DELETE FROM witnesses")); }) != 0);
        viewer.setQueryOnly(false);
        viewer.execute(QStringLiteral("UPDATE witnesses SET seq_no = 2"));
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT seq_no FROM witnesses")).toLongLong(), 2);
        // Restricted to queries, the engine refuses before the server sees it.
        restrictToQueries(report);
        QCOMPARE(errorOf([&] { ReadOnlyQuery q(report, QStringLiteral("UPDATE witnesses SET seq_no = 1")); }),
                 int(ErrNotAQuery));
        QCOMPARE(errorOf([&] { ReadOnlyQuery q(report, QStringLiteral("SELECT * FROM users")); }), int(ErrNotAQuery));
        ReadOnlyQuery q(report, QStringLiteral("SELECT NAME FROM witnesses WHERE NAME = :n OR NAME = :n"));
        QCOMPARE(q.parameterNames(), QStringList{QStringLiteral("n")});
        q.bind(QStringLiteral("n"), QStringLiteral("A"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("a"));
    }

    // A report's connection of the program's role takes the report role
    // and read-only transactions on the server, so that the server itself
    // refuses what the engine's checks might let by; it calls only the
    // ordinary functions, however the call is written.
    void reportConnectionsReadAsTheReportRole_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("error"); // 0: runs
        QTest::newRow("ordinary") << QStringLiteral(
            "WITH n(x) AS (SELECT NAME FROM witnesses) SELECT string_agg(x, ','), coalesce(max(length(x)), 0), "
            "CAST(count(*) AS numeric(10, 2)), extract(year FROM current_date) FROM n") << 0;
        QTest::newRow("window") << QStringLiteral("SELECT row_number() OVER (ORDER BY NAME) FROM witnesses") << 0;
        QTest::newRow("set_config") << QStringLiteral("SELECT set_config('role', 'velm_app', false)") << int(ErrNotAQuery);
        QTest::newRow("quoted call") << QStringLiteral("SELECT \"pg_sleep\"(0)") << int(ErrNotAQuery);
        QTest::newRow("call after a comment") << QStringLiteral("SELECT pg_sleep /* x */ (0)") << int(ErrNotAQuery);
        QTest::newRow("schema call") << QStringLiteral("SELECT pg_catalog.pg_read_file('/etc/passwd')") << int(ErrNotAQuery);
        QTest::newRow("nextval") << QStringLiteral("SELECT nextval('witnesses_velm_rowid_seq')") << int(ErrNotAQuery);
        QTest::newRow("audit") << QStringLiteral("SELECT count(*) FROM public.audit") << int(ErrNotAQuery);
        QTest::newRow("value past the bound")
            << QStringLiteral("SELECT string_agg(NAME, '') FROM witnesses, generate_series(1, 3000000)") << int(ErrEngine);
    }
    void reportConnectionsReadAsTheReportRole()
    {
        QFETCH(QString, sql);
        QFETCH(int, error);
        m_db->execute(QStringLiteral("INSERT INTO witnesses (NAME) VALUES ('abcdefgh')"));
        Database report;
        report.open(m_db->openSpec());
        restrictToQueries(report);
        QCOMPARE(report.scalar(QStringLiteral("SELECT current_user")).toString(), QStringLiteral("velm_report"));
        QCOMPARE(report.scalar(QStringLiteral("SELECT setting FROM pg_settings WHERE name = 'transaction_read_only'"))
                     .toString(),
                 QStringLiteral("on"));
        QCOMPARE(report.scalar(QStringLiteral("SELECT setting FROM pg_settings WHERE name = 'statement_timeout'"))
                     .toString(),
                 QStringLiteral("120000"));
        QCOMPARE(errorOf([&] {
                     ReadOnlyQuery q(report, sql);
                     while (q.next()) {
                     }
                 }),
                 error);
        // Still the report role, and still reading.
        QCOMPARE(report.scalar(QStringLiteral("SELECT current_user")).toString(), QStringLiteral("velm_report"));
        QCOMPARE(report.scalar(QStringLiteral("SELECT count(*) FROM witnesses")).toLongLong(), 1);
        // The server's own refusals, past the engine: the role reads no
        // users or audit, and the session writes nothing.
        const QString refusals = QStringLiteral(
            "SELECT (SELECT count(*) FROM information_schema.table_privileges WHERE grantee = 'velm_report' "
            "AND table_name IN ('users', 'audit')), (SELECT count(*) FROM information_schema.table_privileges "
            "WHERE grantee = 'velm_report' AND table_name = 'witnesses' AND privilege_type <> 'SELECT')");
        QueryCursor r(report, refusals);
        QVERIFY(r.next());
        QCOMPARE(r.value(0).toLongLong(), 0);
        QCOMPARE(r.value(1).toLongLong(), 0);
    }

    // A slow report query ends at the report role's statement timeout (as
    // the administrator set it for this database) and at Esc.
    void aSlowReportQueryIsStopped()
    {
        const QString database = m_db->scalar(QStringLiteral("SELECT current_database()")).toString();
        {
            Database admin;
            admin.openServer(m_temp->facts().admin);
            admin.execute(QStringLiteral("ALTER ROLE velm_report IN DATABASE %1 SET statement_timeout = '400ms'").arg(database));
        }
        const QString slow = QStringLiteral("SELECT count(*) FROM generate_series(1, 100000) a, generate_series(1, 100000) b");
        Database report;
        report.open(m_db->openSpec());
        restrictToQueries(report);
        QElapsedTimer clock;
        clock.start();
        // The timeout is the server's verdict, not the user's Esc.
        try {
            ReadOnlyQuery q(report, slow);
            q.next();
            QFAIL("not stopped");
        } catch (const EngineError &e) {
            QCOMPARE(e.number(), int(ErrEngine));
            QVERIFY2(e.description().contains(QLatin1String("statement timeout")), qPrintable(e.description()));
        }
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        {
            Database admin;
            admin.openServer(m_temp->facts().admin);
            admin.execute(QStringLiteral("ALTER ROLE velm_report IN DATABASE %1 RESET statement_timeout").arg(database));
        }
        Database esc;
        esc.open(m_db->openSpec());
        restrictToQueries(esc);
        clock.restart();
        std::thread stop([&esc] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            interrupt(esc);
        });
        const int got = errorOf([&] {
            ReadOnlyQuery q(esc, slow);
            q.next();
        });
        stop.join();
        QCOMPARE(got, int(ErrInterrupted));
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(esc.scalar(QStringLiteral("SELECT count(*) FROM witnesses")).toLongLong(), 0);
    }
};

VELM_TEST_MAIN(TestPgBackend)
#include "tst_pg_backend.moc"
