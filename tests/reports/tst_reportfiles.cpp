#include "screens/Services.h"
#include "ReportWorld.h"
#include "support/TestMain.h"

#include "reports/ReportPictures.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <sys/stat.h>

using namespace reports;

namespace {

const QString kMinimal = QStringLiteral("[report]\ntitle = T\n[query rows]\nSELECT tamrel_no FROM tamrel\n[layout]\n<p>{{rows_count}}</p>\n");

} // namespace

class TstReportFiles : public QObject {
    Q_OBJECT

    // Picture, data and program folders under `program`, holding pictures,
    // a named pipe, a link out, a file too large and one that is no picture;
    // one picture lies outside them all.
    static QStringList pictureWorld(const QString &program, const QString &outside)
    {
        const QStringList folders{program + QStringLiteral("/pictures"), program + QStringLiteral("/data"), program};
        for (const QString &f : folders)
            QDir().mkpath(f);
        QImage picture(8, 8, QImage::Format_RGB32);
        picture.fill(Qt::red);
        picture.save(folders.at(0) + QStringLiteral("/good.png"));
        picture.save(folders.at(1) + QStringLiteral("/inside.png"));
        picture.save(folders.at(2) + QStringLiteral("/prog.png"));
        picture.save(outside + QStringLiteral("/else.png"));
        QFile::link(outside + QStringLiteral("/else.png"), folders.at(0) + QStringLiteral("/link.png"));
        ::mkfifo(QFile::encodeName(folders.at(0) + QStringLiteral("/pipe.png")).constData(), 0600);
        QFile huge(folders.at(0) + QStringLiteral("/huge.png"));
        if (huge.open(QIODevice::WriteOnly))
            huge.resize(kMaxPictureBytes + 1);
        QFile text(folders.at(0) + QStringLiteral("/text.png"));
        if (text.open(QIODevice::WriteOnly))
            text.write("not a picture");
        return folders;
    }

    static QString pdfWith(const ReportDocument &doc)
    {
        const QString path = QDir::temp().filePath(QStringLiteral("velm-pictures-%1.pdf").arg(QCoreApplication::applicationPid()));
        {
            QPdfWriter writer(path);
            doc.prepareDevice(writer);
            if (!doc.print(writer))
                return QStringLiteral("<print failed>");
        }
        const QString text = ReportWorld::pdfToText(path);
        QFile::remove(path);
        return text;
    }

private slots:
    // Every way a file can be broken gives one message naming the file
    // and what is wrong (with its line where there is one).
    void malformedFiles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no report section") << QStringLiteral("[query a]\nSELECT 1\n[layout]\nx") << QStringLiteral("[report]");
        QTest::newRow("text before sections") << QStringLiteral("hello\n[report]\ntitle=T") << QStringLiteral("السطر 1");
        QTest::newRow("unknown key") << QStringLiteral("[report]\ntitle=T\ncolour = red\n") << QStringLiteral("colour");
        QTest::newRow("parameters out of order") << QStringLiteral("[report]\ntitle=T\nparameters = to_date, from_date\n")
                                                 << QStringLiteral("السطر 3");
        QTest::newRow("unknown parameter") << QStringLiteral("[report]\ntitle=T\nparameters = from_date, city\n")
                                           << QStringLiteral("city");
        QTest::newRow("no layout") << QStringLiteral("[report]\ntitle=T\n[query a]\nSELECT 1\n") << QStringLiteral("[layout]");
        QTest::newRow("no query") << QStringLiteral("[report]\ntitle=T\n[layout]\n<p>x</p>") << QStringLiteral("[query]");
        QTest::newRow("duplicate query") << QStringLiteral("[report]\ntitle=T\n[query a]\nSELECT 1\n[query a]\nSELECT 2\n[layout]\nx")
                                         << QStringLiteral("السطر 5");
        QTest::newRow("open section in layout") << QStringLiteral("[report]\ntitle=T\n[query a]\nSELECT 1\n[layout]\n{{#a}}x")
                                                << QStringLiteral("التصميم");
        QTest::newRow("chart on missing query") << QStringLiteral("[report]\ntitle=T\n[query a]\nSELECT 1\n[chart c]\ntype=bar\nquery=b\nlabel=x\nvalue=y\n[layout]\nx")
                                                << QStringLiteral("b");
        QTest::newRow("bad chart type") << QStringLiteral("[report]\ntitle=T\n[chart c]\ntype=radar\n") << QStringLiteral("السطر 4");
    }
    void malformedFiles()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        try {
            parseReport(text, QStringLiteral("/data/bad.rpt"));
            QFAIL("accepted");
        } catch (const ReportError &e) {
            QVERIFY2(e.message().startsWith(QStringLiteral("ملف التقرير ") + core::leftToRight(QStringLiteral("/data/bad.rpt"))), qPrintable(e.message()));
            QVERIFY2(e.message().contains(expected), qPrintable(e.message()));
        }
    }

    void wellFormedFileAndParameterDefaults()
    {
        const ReportDefinition def = parseReport(
            QString(QChar(0xFEFF)) + QStringLiteral("; comment\r\n[report]\r\ntitle = قائمة\r\nparameters = from_date, to_date, caller\r\n"
                           "orientation = landscape\r\npicture = pic{tamrel_no}.jpg\r\n"
                           "[query persons by nationality]\r\nSELECT [tamrel_no]\r\n-- [kept] as SQL\r\nFROM tamrel\r\n"
                           "[layout]\r\n[not a header]\r\n<p>{{title}}</p>\r\n"),
            QStringLiteral("/d/list.rpt"));
        QCOMPARE(def.name, QStringLiteral("list"));
        QCOMPARE(def.title, QStringLiteral("قائمة"));
        QVERIFY(def.landscape);
        QCOMPARE(def.queries.size(), 1);
        QCOMPARE(def.queries.first().groupBy, QStringLiteral("nationality"));
        QVERIFY(def.queries.first().sql.contains(QStringLiteral("-- [kept] as SQL")));
        QVERIFY(def.layout.contains(QStringLiteral("[not a header]")));
        // Blank values take the whole range; a caller stays empty.
        const auto values = def.parameterValues({{QStringLiteral("from_date"), QStringLiteral("14250101")}, {QStringLiteral("to_date"), QStringLiteral(" ")}});
        QCOMPARE(values.value(QStringLiteral("from_date")), QStringLiteral("14250101"));
        QCOMPARE(values.value(QStringLiteral("to_date")), QStringLiteral("99999999"));
        QCOMPARE(values.value(QStringLiteral("caller")), QString());
        // A picture name never leads out of the picture folder.
        ReportDefinition person = def;
        person.parameters = {QStringLiteral("tamrel_no")};
        QCOMPARE(person.pictureFile(person.parameterValues({{QStringLiteral("tamrel_no"), QStringLiteral("125")}})), QStringLiteral("pic125.jpg"));
        QCOMPARE(person.pictureFile(person.parameterValues({{QStringLiteral("tamrel_no"), QStringLiteral("../x")}})), QString());
        QCOMPARE(person.pictureFile(person.parameterValues({})), QString());
    }

    // Statements that would change anything are refused before any query
    // of the file runs, and the database stays as it was.
    void writesAreRefusedBeforeAnythingRuns_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("delete") << QStringLiteral("DELETE FROM tamrel");
        QTest::newRow("update") << QStringLiteral("UPDATE tamrel SET a_new_name = 'x'");
        QTest::newRow("insert") << QStringLiteral("INSERT INTO rpts (report) VALUES ('x')");
        QTest::newRow("drop") << QStringLiteral("DROP TABLE tamrel");
        QTest::newRow("second statement") << QStringLiteral("SELECT 1; DELETE FROM tamrel");
        QTest::newRow("attach") << QStringLiteral("ATTACH DATABASE '/tmp/velm-leak.db' AS leak");
        QTest::newRow("pragma") << QStringLiteral("PRAGMA query_only = 0");
        QTest::newRow("cte delete") << QStringLiteral("WITH x AS (SELECT 1) DELETE FROM tamrel");
        QTest::newRow("users") << QStringLiteral("SELECT USER_ID, PASSWORD FROM users");
        QTest::newRow("users counted") << QStringLiteral("SELECT count(*) FROM Users");
        QTest::newRow("fts3_tokenizer") << QStringLiteral("SELECT hex(fts3_tokenizer('simple')) AS x");
        QTest::newRow("export") << QStringLiteral("SELECT sqlcipher_export('temp') AS x");
        QTest::newRow("load_extension") << QStringLiteral("SELECT load_extension('/tmp/velm-evil.so') AS x");
    }
    void writesAreRefusedBeforeAnythingRuns()
    {
        QFETCH(QString, sql);
        ReportWorld w(20);
        w.writeReport(QStringLiteral("evil"), QStringLiteral("[report]\ntitle=T\n[query first]\nSELECT count(*) AS n FROM tamrel\n"
                                                             "[query evil]\n%1\n[layout]\n{{#first}}{{n}}{{/first}}\n").arg(sql));
        try {
            w.run(QStringLiteral("evil"));
            QFAIL("ran");
        } catch (const ReportError &e) {
            QVERIFY2(e.message().contains(w.reportFile(QStringLiteral("evil"))), qPrintable(e.message()));
            QVERIFY2(e.message().contains(QStringLiteral("evil")), qPrintable(e.message()));
        }
        QCOMPARE(w.rowCount(QStringLiteral("tamrel")), 20);
        QCOMPARE(w.scalar(QStringLiteral("SELECT count(*) FROM rpts WHERE report = 'x'")).toInt(), 0);
        QVERIFY(!QFile::exists(QStringLiteral("/tmp/velm-leak.db")));
    }

    void queryErrorsAndUnknownParametersNameTheFile()
    {
        ReportWorld w;
        w.writeReport(QStringLiteral("typo"), QStringLiteral("[report]\ntitle=T\n[query rows]\nSELECT nosuchcolumn FROM tamrel\n[layout]\nx"));
        w.writeReport(QStringLiteral("param"), QStringLiteral("[report]\ntitle=T\nparameters = from_date\n[query rows]\n"
                                                              "SELECT 1 AS x FROM tamrel WHERE dateofislam > :from_date AND a_new_name = :city\n[layout]\nx"));
        for (const auto &[name, expected] : {std::pair{QStringLiteral("typo"), QStringLiteral("nosuchcolumn")},
                                             std::pair{QStringLiteral("param"), QStringLiteral(":city")}}) {
            try {
                w.run(name);
                QFAIL("ran");
            } catch (const ReportError &e) {
                QVERIFY2(e.message().contains(w.reportFile(name)), qPrintable(e.message()));
                QVERIFY2(e.message().contains(QStringLiteral("السطر 3")) || e.message().contains(QStringLiteral("السطر 4")),
                         qPrintable(e.message()));
                QVERIFY2(e.message().contains(expected), qPrintable(e.message()));
            }
        }
    }

    // Values reach the queries by name; groups, counts, row numbers and
    // dates reach the layout; values are escaped as HTML.
    void parametersGroupsAndEscaping()
    {
        ReportWorld w;
        for (const auto &[no, name, nat, date] :
             {std::tuple{"1", "<b>أحمد</b>", "هندي", "14250101"}, std::tuple{"2", "بلال", "هندي", "14250215"},
              std::tuple{"3", "عمر", "فلبيني", "14250220"}, std::tuple{"4", "يوسف", "فلبيني", "14260101"}})
            w.store.db().execute(QStringLiteral("INSERT INTO tamrel (tamrel_no, a_new_name, nationality, dateofislam) VALUES (?, ?, ?, ?)"),
                                 {QString::fromUtf8(no), QString::fromUtf8(name), QString::fromUtf8(nat), QString::fromUtf8(date)});
        w.writeReport(QStringLiteral("groups"), QStringLiteral(
            "[report]\ntitle=T\nparameters = from_date, to_date\n"
            "[query persons by nationality]\nSELECT nationality, a_new_name, dateofislam FROM tamrel\n"
            "WHERE dateofislam BETWEEN :from_date AND :to_date ORDER BY nationality, dateofislam\n"
            "[layout]\n{{period}}|{{#persons_groups}}[{{nationality}}:{{count}}{{#rows}} {{row_no}}.{{a_new_name}}@{{#date}}{{dateofislam}}{{/date}}{{/rows}}]{{/persons_groups}}|{{persons_count}}\n"));
        const ReportData data = w.run(QStringLiteral("groups"), {{QStringLiteral("from_date"), QStringLiteral("14250101")}, {QStringLiteral("to_date"), QStringLiteral("14251230")}});
        QCOMPARE(renderHtml(data).trimmed(),
                 QStringLiteral("من 1425/01/01 إلى 1425/12/30|"
                                "[فلبيني:1 1.عمر@1425/02/20]"
                                "[هندي:2 1.&lt;b&gt;أحمد&lt;/b&gt;@1425/01/01 2.بلال@1425/02/15]|3"));
        // The preview may cut the lists; the counts stay those of all rows.
        QVERIFY(renderHtml(data, 1).contains(QStringLiteral("|3")));
        QVERIFY(!renderHtml(data, 1).contains(QStringLiteral("بلال")));
    }

    // An empty or blank value prints nothing and counts as absent, so a
    // line leaves out the words of a part it lacks; a date never chosen
    // prints nothing either.
    void blankValuesCountAsAbsent()
    {
        ReportWorld w;
        for (const auto &[no, english, gregorian] : {std::tuple{"1", "Ali", "2004/05/01"}, std::tuple{"2", " ", ""}})
            w.store.db().execute(QStringLiteral("INSERT INTO tamrel (tamrel_no, a_new_name, e_new_name, DateOfIslam_E, dateofislam) "
                                                "VALUES (?, 'علي', ?, ?, ?)"),
                                 {QString::fromUtf8(no), QString::fromUtf8(english), QString::fromUtf8(gregorian),
                                  QStringLiteral("00000000")});
        w.writeReport(QStringLiteral("blanks"), QStringLiteral(
            "[report]\ntitle=T\nparameters = tamrel_no\n"
            "[query rows]\nSELECT tamrel_no, a_new_name, e_new_name, DateOfIslam_E, dateofislam FROM tamrel ORDER BY tamrel_no\n"
            "[layout]\n{{#rows}}[{{a_new_name}}{{#e_new_name}} - {{e_new_name}}{{/e_new_name}}"
            "{{#DateOfIslam_E}}, {{DateOfIslam_E}} AD{{/DateOfIslam_E}}{{^DateOfIslam_E}} (no date){{/DateOfIslam_E}}"
            "<{{#date}}{{dateofislam}}{{/date}}>]{{/rows}}{{^tamrel_no}}no person{{/tamrel_no}}\n"));
        QCOMPARE(renderHtml(w.run(QStringLiteral("blanks"))).trimmed(),
                 QStringLiteral("[علي - Ali, 2004/05/01 AD<>][علي (no date)<>]no person"));
    }

    // A value past the bound or a row count past the cap stops the report
    // with a message; a file past the size bound is not read at all.
    void hugeReportsAreBounded()
    {
        ReportWorld w(30);
        // Each backend's own way to make a 200 MB value.
        const QString huge = testsupport::testOnServer() ? QStringLiteral("SELECT lpad('', 200000000, 'x') AS x")
                                                         : QStringLiteral("SELECT hex(zeroblob(200000000)) AS x");
        w.writeReport(QStringLiteral("huge"),
                      QStringLiteral("[report]\ntitle=T\n[query rows]\n%1\n[layout]\n{{#rows}}{{x}}{{/rows}}").arg(huge));
        try {
            w.run(QStringLiteral("huge"));
            QFAIL("ran");
        } catch (const ReportError &e) {
            QVERIFY2(e.message().contains(w.reportFile(QStringLiteral("huge"))), qPrintable(e.message()));
            QVERIFY2(e.message().contains(QStringLiteral("الاستعلام rows خاطئ")), qPrintable(e.message()));
        }
        for (const QString &asked : {QStringLiteral("100000000"), QStringLiteral("99999999999")})
            QCOMPARE(parseReport(QStringLiteral("[report]\ntitle=T\nmax_rows = %1\n").arg(asked) + kMinimal.mid(19),
                                 QStringLiteral("/d/x.rpt")).maxRows,
                     kMaxRowsCap);

        QString big = kMinimal + QStringLiteral("<!--");
        big += QString(int(kMaxReportFileBytes), QLatin1Char('x')) + QStringLiteral("-->");
        w.writeReport(QStringLiteral("big"), big);
        try {
            readReportFile(w.reportFile(QStringLiteral("big")));
            QFAIL("read");
        } catch (const ReportError &e) {
            QVERIFY2(e.message().startsWith(QStringLiteral("ملف التقرير %1:").arg(core::leftToRight(w.reportFile(QStringLiteral("big"))))),
                     qPrintable(e.message()));
        }
        w.writeReport(QStringLiteral("big"), kMinimal + QString(int(kMaxReportFileBytes) - 200, QLatin1Char(' ')));
        QCOMPARE(readReportFile(w.reportFile(QStringLiteral("big"))).title, QStringLiteral("T"));
    }

    // A query that outlasts the inline moment goes on on a worker's
    // connection, which has every check of the first one.
    void theWorkerConnectionIsRestrictedToo_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("expected");
        const QString slow = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000000) ");
        // The file bounds every value it makes, the server the values it hands over.
        QTest::newRow("value past the bound")
            << slow + (testsupport::testOnServer()
                           ? QStringLiteral("SELECT lpad('', 17000000 + c - c, 'x') AS x FROM (SELECT count(*) AS c FROM n)")
                           : QStringLiteral("SELECT length(hex(zeroblob(9000000 + c - c))) AS x FROM (SELECT count(*) AS c FROM n)"))
            << QStringLiteral("الاستعلام rows خاطئ");
        QTest::newRow("export") << slow + QStringLiteral("SELECT sqlcipher_export('temp') AS x FROM (SELECT count(*) AS c FROM n)")
                                << QStringLiteral("مرفوض");
    }
    void theWorkerConnectionIsRestrictedToo()
    {
        QFETCH(QString, sql);
        QFETCH(QString, expected);
        const testsupport::ProgramInlineBudget programBudget;
        ReportWorld w(5);
        w.writeReport(QStringLiteral("slow"), QStringLiteral("[report]\ntitle=T\n[query rows]\n%1\n[layout]\n{{#rows}}{{x}}{{/rows}}").arg(sql));
        QueryRunner runner([&w] { return w.store.openViewConnection(); });
        QSignalSpy failed(&runner, &QueryRunner::failed);
        QSignalSpy finished(&runner, &QueryRunner::finished);
        runner.start(readReportFile(w.reportFile(QStringLiteral("slow"))), {}, {});
        QTRY_VERIFY_WITH_TIMEOUT(failed.size() + finished.size() > 0, 60000);
        QCOMPARE(finished.size(), 0);
        const QString message = failed.first().first().toString();
        QVERIFY2(message.contains(expected), qPrintable(message));
        QVERIFY2(!message.contains(QStringLiteral("readonly")), qPrintable(message));
    }

    // Pictures come only from the allowed folders, only regular files of
    // bounded size; anything else is refused with a reason.
    void picturesComeOnlyFromTheFolders_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("why"); // empty: read
        QTest::newRow("relative, picture folder") << QStringLiteral("good.png") << QString();
        QTest::newRow("absolute, data folder") << QStringLiteral("@data/inside.png") << QString();
        QTest::newRow("file url, program folder") << QStringLiteral("file://@program/prog.png") << QString();
        QTest::newRow("device") << QStringLiteral("/dev/zero") << QStringLiteral("مجلد");
        QTest::newRow("outside") << QStringLiteral("@outside/else.png") << QStringLiteral("مجلد");
        QTest::newRow("climbing out") << QStringLiteral("../../../../@outside/else.png") << QStringLiteral("مجلد");
        QTest::newRow("link out") << QStringLiteral("link.png") << QStringLiteral("مجلد");
        QTest::newRow("named pipe") << QStringLiteral("pipe.png") << QStringLiteral("عاديا");
        QTest::newRow("too large") << QStringLiteral("huge.png") << QStringLiteral("16");
        QTest::newRow("not a picture") << QStringLiteral("text.png") << QStringLiteral("ليس صورة");
        QTest::newRow("web") << QStringLiteral("http://example.com/a.png") << QStringLiteral("مجلد");
        QTest::newRow("missing") << QStringLiteral("nothing.png") << QStringLiteral("مجلد");
    }
    void picturesComeOnlyFromTheFolders()
    {
        QFETCH(QString, name);
        QFETCH(QString, why);
        QTemporaryDir program, outside;
        const QStringList folders = pictureWorld(program.path(), outside.path());
        name.replace(QStringLiteral("@data"), folders.at(1)).replace(QStringLiteral("@program"), folders.at(2))
            .replace(QStringLiteral("@outside"), outside.path());
        QString reason;
        QElapsedTimer clock;
        clock.start();
        const QImage image = readPicture(name, folders, QDeadlineTimer(kPictureReadMs), &reason);
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(image.isNull(), !why.isEmpty());
        QVERIFY2(reason.contains(why), qPrintable(reason));
    }

    // In a layout, a picture that may not be read is left out with a note;
    // the report is laid out at once, without reading a device or a pipe.
    void layoutPicturesAreReadSafely()
    {
        QTemporaryDir program, outside;
        const QStringList folders = pictureWorld(program.path(), outside.path());
        ReportData data;
        data.def = parseReport(kMinimal, QStringLiteral("/d/pics.rpt"));
        data.def.layout = QStringLiteral("<p>start <img src=\"/dev/zero\"> <img src=\"&#47;dev&#47;zero\"> "
                                         "<img src=\"pipe.png\"> <img src=\"%1/else.png\"> <img src=\"good.png\"> end</p>"
                                         "<table background=\"%1/else.png\"><tr><td>x</td></tr></table>")
                              .arg(outside.path());
        QElapsedTimer clock;
        clock.start();
        const ReportDocument doc(renderHtml(data), {}, false, folders);
        QVERIFY(clock.elapsed() < 10000);
        QCOMPARE(doc.pageCount(), 1);
        const QString text = pdfWith(doc);
        QCOMPARE(text.count(QStringLiteral("صورة لم تعرض")), 4);
        QVERIFY2(text.contains(QStringLiteral("dev/zero")) && text.contains(QStringLiteral("pipe.png")), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("good.png")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("start")) && text.contains(QStringLiteral("end")));
    }

    void rowLimitStopsTheReport()
    {
        ReportWorld w(30);
        w.writeReport(QStringLiteral("big"), QStringLiteral("[report]\ntitle=T\nmax_rows = 25\n[query rows]\nSELECT tamrel_no FROM tamrel\n[layout]\nx"));
        try {
            w.run(QStringLiteral("big"));
            QFAIL("ran");
        } catch (const ReportError &e) {
            QVERIFY2(e.message().contains(QStringLiteral("25")), qPrintable(e.message()));
        }
    }

    // The shipped reports: installed only where missing, never over a
    // file the office changed, and listed in the first database.
    void starterReportsInstallAndCatalogue()
    {
        ReportWorld w;
        for (const StarterReport &r : starterReports()) {
            QVERIFY2(QFile::exists(w.reportFile(r.report)), qPrintable(r.report));
            QVERIFY(r.report.size() <= 10);
            QVERIFY(r.description.size() <= 50);
            QVERIFY(QStringLiteral("012345").contains(r.parms));
            readReportFile(w.reportFile(r.report)); // each one parses
        }
        w.writeReport(QStringLiteral("regdates"), QStringLiteral("office's own"));
        QFile::remove(w.reportFile(QStringLiteral("letter")));
        QCOMPARE(installStarterReports(w.store), 1);
        QVERIFY(QFile::exists(w.reportFile(QStringLiteral("letter"))));
        QFile changed(w.reportFile(QStringLiteral("regdates")));
        QVERIFY(changed.open(QIODevice::ReadOnly));
        QCOMPARE(changed.readAll(), QByteArray("office's own"));
        QCOMPARE(installStarterReports(w.store), 0);

        // A copy left exactly as an earlier version shipped gets the new
        // version; one the office changed keeps its own.
        const auto sha = [](const QByteArray &bytes) {
            return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
        };
        const QString program = w.folder.path(QStringLiteral("reports"));
        QFile list(program + QLatin1Char('/') + QLatin1String(kShippedBeforeFile));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write(sha("as shipped once") + "  tamrel.rpt\n" + sha("office's own") + "  letter.rpt\n");
        list.close();
        w.writeReport(QStringLiteral("tamrel"), QStringLiteral("as shipped once"));
        QCOMPARE(installStarterReports(w.store), 1);
        QFile current(QStringLiteral(VELM_STARTER_REPORT_DIR "/tamrel.rpt"));
        QVERIFY(current.open(QIODevice::ReadOnly));
        QFile updated(w.reportFile(QStringLiteral("tamrel")));
        QVERIFY(updated.open(QIODevice::ReadOnly));
        QCOMPARE(updated.readAll(), current.readAll());
        QVERIFY(changed.seek(0));
        QCOMPARE(changed.readAll(), QByteArray("office's own")); // regdates: not listed
        QCOMPARE(installStarterReports(w.store), 0);

        // The list shipped names shipped files, none in its present version.
        QFile shipped(QStringLiteral(VELM_STARTER_REPORT_DIR "/") + QLatin1String(kShippedBeforeFile));
        QVERIFY(shipped.open(QIODevice::ReadOnly | QIODevice::Text));
        int versions = 0;
        for (const QByteArray &line : shipped.readAll().split('\n')) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            if (line.trimmed().isEmpty())
                continue;
            QCOMPARE(parts.size(), 2);
            QFile now(QStringLiteral(VELM_STARTER_REPORT_DIR "/") + QString::fromUtf8(parts.at(1)));
            QVERIFY2(now.open(QIODevice::ReadOnly), parts.at(1).constData());
            QVERIFY(sha(now.readAll()) != parts.at(0));
            ++versions;
        }
        QVERIFY(versions >= 3);

        addStarterCatalogue(w.store.db());
        addStarterCatalogue(w.store.db()); // twice changes nothing
        QCOMPARE(w.rowCount(QStringLiteral("rpts")), qint64(starterReports().size()));
        QCOMPARE(w.scalar(QStringLiteral("SELECT count(*) FROM rpts WHERE parms = '4'")).toInt(), 3);
    }
};

VELM_TEST_MAIN(TstReportFiles)
#include "tst_reportfiles.moc"
