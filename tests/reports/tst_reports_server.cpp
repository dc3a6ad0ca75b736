#include "ReportWorld.h"
#include "support/TestDatabase.h"
#include "support/TestMain.h"

#include "data/Schema.h"
#include "engine/QueryCursor.h"

using namespace reports;

// Every shipped report gives the same rows from a server as from the file
// over the same register: the register is made on the file and copied,
// table by table, into a server database made with the same schema.
class TstReportsServer : public QObject {
    Q_OBJECT

    std::unique_ptr<ReportWorld> w;
    std::unique_ptr<testsupport::TempDatabase> m_server;
    std::unique_ptr<engine::Database> m_db;

    void copyRegister()
    {
        m_db->begin();
        for (const core::schema::Table &t : core::schema::tables()) {
            QStringList quoted;
            for (const QString &c : t.columnNames())
                quoted << QLatin1Char('"') + c + QLatin1Char('"');
            const QString list = quoted.join(QStringLiteral(", "));
            engine::QueryCursor rows(w->store.db(), QStringLiteral("SELECT %1 FROM \"%2\"").arg(list, t.name));
            const QString insert = QStringLiteral("INSERT INTO \"%1\" (%2) VALUES (%3)")
                                       .arg(t.name, list, QStringList(quoted.size(), QStringLiteral("?")).join(QLatin1Char(',')));
            while (rows.next()) {
                QVariantList values;
                for (int c = 0; c < quoted.size(); ++c)
                    values << rows.value(c);
                m_db->execute(insert, values);
            }
        }
        m_db->commit();
    }

    ReportData run(engine::Database *server, const QString &name, const QMap<QString, QString> &values)
    {
        QueryRunner runner([this, server]() -> std::unique_ptr<engine::Database> {
            if (!server)
                return w->store.openViewConnection();
            auto db = std::make_unique<engine::Database>();
            db->open(m_db->openSpec());
            return db;
        });
        return runner.run(readReportFile(w->reportFile(name)), values, {w->store.config().pictureDir, {}, QStringLiteral("1445/09/01")});
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(testsupport::testOnServer(), "tst_reports_server runs with VELM_TEST_BACKEND=server");
        {
            // The register is made on a file and copied to the server, so
            // both sides hold the same rows.
            const QByteArray backend = qgetenv("VELM_TEST_BACKEND");
            qunsetenv("VELM_TEST_BACKEND");
            w = std::make_unique<ReportWorld>(80);
            qputenv("VELM_TEST_BACKEND", backend);
        }
        w->store.db().execute(QStringLiteral("INSERT INTO info (\"name_ of_institution\", direction, manager) VALUES (?, ?, ?)"),
                              {QStringLiteral("مكتب الدعوة والإرشاد"), QStringLiteral("الرياض"), QStringLiteral("سعد العتيبي")});
        // A number that is not all digits: CAST takes its leading digits.
        w->store.db().execute(QStringLiteral("INSERT INTO tamrel (tamrel_no, a_new_name, nationality, dateofislam, certificate) "
                                             "VALUES ('4A', 'x', 'y', '14350505', '1')"));
        m_server = std::make_unique<testsupport::TempDatabase>();
        m_db = std::make_unique<engine::Database>();
        m_server->open(*m_db);
        core::schema::createSchema(*m_db);
        copyRegister();
    }
    void cleanupTestCase()
    {
        m_db.reset();
        m_server.reset();
    }

    // The catalogue's rows of the shipped reports are added on a server as
    // on the file, once.
    void theCatalogueOnTheServer()
    {
        m_db->execute(QStringLiteral("DELETE FROM rpts"));
        addStarterCatalogue(*m_db);
        addStarterCatalogue(*m_db);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM rpts")).toLongLong(), qint64(starterReports().size()));
        for (const StarterReport &r : starterReports())
            QCOMPARE(m_db->scalar(QStringLiteral("SELECT description FROM rpts WHERE report = ?"), {r.report}).toString(),
                     r.description);
    }

    // A report that writes, reads users or audit, or steps out of the
    // report role gives the one message of a refused query, as on the file,
    // and nothing changes.
    void refusedReportsOnTheServer_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("delete") << QStringLiteral("DELETE FROM tamrel");
        QTest::newRow("cte delete") << QStringLiteral("WITH x AS (DELETE FROM tamrel RETURNING 1) SELECT count(*) AS n FROM x");
        QTest::newRow("users counted") << QStringLiteral("SELECT count(*) AS n FROM Users");
        QTest::newRow("audit") << QStringLiteral("SELECT * FROM audit");
        QTest::newRow("role") << QStringLiteral("SELECT set_config('role', 'velm_app', false) AS n");
        QTest::newRow("sequence") << QStringLiteral("SELECT nextval('problems_code_seq') AS n");
        QTest::newRow("file") << QStringLiteral("SELECT pg_read_file('/etc/passwd') AS n");
    }
    void refusedReportsOnTheServer()
    {
        QFETCH(QString, sql);
        w->writeReport(QStringLiteral("evil"), QStringLiteral("[report]\ntitle=T\n[query first]\nSELECT count(*) AS n FROM tamrel\n"
                                                              "[query evil]\n%1\n[layout]\n{{#first}}{{n}}{{/first}}\n").arg(sql));
        const qint64 persons = m_db->scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong();
        try {
            run(m_db.get(), QStringLiteral("evil"), {});
            QFAIL("ran");
        } catch (const ReportError &e) {
            QVERIFY2(e.message().contains(w->reportFile(QStringLiteral("evil"))), qPrintable(e.message()));
            QVERIFY2(e.message().contains(QStringLiteral("الاستعلام evil")), qPrintable(e.message()));
        }
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong(), persons);
    }

    void everyStarterReportGivesTheFilesRows_data()
    {
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("person");
        for (const StarterReport &r : starterReports()) {
            const QByteArray n = r.report.toUtf8();
            QTest::newRow(n + " all") << r.report << QString() << QString() << QStringLiteral("17");
            QTest::newRow(n + " period") << r.report << QStringLiteral("14300101") << QStringLiteral("14391230")
                                         << QStringLiteral("4A");
            QTest::newRow(n + " nothing") << r.report << QStringLiteral("15000101") << QStringLiteral("15000101")
                                          << QStringLiteral("99999");
        }
    }
    void everyStarterReportGivesTheFilesRows()
    {
        QFETCH(QString, report);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, person);
        const QMap<QString, QString> values{{QStringLiteral("from_date"), from},
                                            {QStringLiteral("to_date"), to},
                                            {QStringLiteral("tamrel_no"), person}};
        const ReportData file = run(nullptr, report, values);
        const ReportData server = run(m_db.get(), report, values);
        QCOMPARE(server.results.size(), file.results.size());
        qsizetype rows = 0;
        for (qsizetype i = 0; i < file.results.size(); ++i) {
            const QueryResult &f = file.results.at(i);
            const QueryResult &s = server.results.at(i);
            QCOMPARE(s.name, f.name);
            QCOMPARE(s.columns.join(QLatin1Char(',')).toLower(), f.columns.join(QLatin1Char(',')).toLower());
            QCOMPARE(s.rows.size(), f.rows.size());
            for (qsizetype r = 0; r < f.rows.size(); ++r)
                QCOMPARE(s.rows.at(r), f.rows.at(r));
            rows += f.rows.size();
        }
        if (!from.startsWith(QLatin1String("15")))
            QVERIFY(rows > 1); // the office row and more
    }
};

VELM_TEST_MAIN(TstReportsServer)
#include "tst_reports_server.moc"
