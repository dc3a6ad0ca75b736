#include "ReportWorld.h"
#include "support/TestMain.h"

#include <QFontMetricsF>

using namespace reports;

// Every shipped report, rendered on a synthetic register into a PDF and
// read back as text: its title, the names, counts and dates it must show.
class TstStarterReports : public QObject {
    Q_OBJECT

    std::unique_ptr<ReportWorld> w;

    QString text(const QString &name, const QMap<QString, QString> &values = {}, int *pages = nullptr)
    {
        return ReportWorld::pdfText(w->run(name, values), pages);
    }
    QString one(const QString &sql, const QVariantList &values = {}) { return w->scalar(sql, values).toString(); }

private slots:
    void initTestCase()
    {
        w = std::make_unique<ReportWorld>(150);
        w->store.db().execute(QStringLiteral("INSERT INTO info (\"name_ of_institution\", direction, manager) VALUES (?, ?, ?)"),
                              {QStringLiteral("مكتب الدعوة والإرشاد"), QStringLiteral("الرياض"), QStringLiteral("سعد العتيبي")});
    }

    void personFileWithAndWithoutPicture()
    {
        const QString no = QStringLiteral("17");
        QImage picture(120, 160, QImage::Format_RGB32);
        picture.fill(Qt::darkGreen);
        QVERIFY(picture.save(w->store.config().pictureDir + QStringLiteral("/pic17.jpg")));
        const ReportData data = w->run(QStringLiteral("tamrel"), {{QStringLiteral("tamrel_no"), no}});
        QVERIFY(!data.picture.isNull());
        const QString t = ReportWorld::pdfText(data);
        QVERIFY2(t.contains(QStringLiteral("ملف المهتدي")), qPrintable(t));
        QVERIFY(t.contains(QStringLiteral("مكتب الدعوة والإرشاد")));
        QVERIFY(t.contains(one(QStringLiteral("SELECT e_new_name FROM tamrel WHERE tamrel_no = ?"), {no})));
        const QString islam = one(QStringLiteral("SELECT dateofislam FROM tamrel WHERE tamrel_no = ?"), {no});
        QVERIFY(t.contains(islam.left(4) + QLatin1Char('/') + islam.mid(4, 2) + QLatin1Char('/') + islam.mid(6, 2)));
        QVERIFY(t.contains(one(QStringLiteral("SELECT DateOfIslam_E FROM tamrel WHERE tamrel_no = ?"), {no})));
        QVERIFY(t.contains(QStringLiteral("خطوات المتابعة")));
        const QString step = one(QStringLiteral("SELECT description FROM followUp WHERE tamrel_no = ? ORDER BY seq_no DESC"), {no});
        if (!step.isEmpty())
            QVERIFY2(t.contains(step), qPrintable(step));
        QVERIFY(!t.contains(QStringLiteral("لا توجد صورة")));

        // Labels stand to the right of their values, as the page is read.
        const QString pdf = QDir::temp().filePath(QStringLiteral("velm-person-file-%1.pdf").arg(QCoreApplication::applicationPid()));
        QVERIFY(ReportWorld::writePdf(data, pdf));
        const QList<ReportWorld::PdfWord> words = ReportWorld::pdfWords(pdf);
        QFile::remove(pdf);
        const auto onFirstPage = [&words](const QString &text) {
            for (const ReportWorld::PdfWord &w : words)
                if (w.page == 1 && w.text == text)
                    return w.box;
            return QRectF();
        };
        const QRectF label = onFirstPage(QStringLiteral("Tamrel"));
        const QRectF value = onFirstPage(no);
        QVERIFY(!label.isNull() && !value.isNull());
        QVERIFY(qAbs(label.center().y() - value.center().y()) < 4);
        QVERIFY2(value.right() < label.left(), qPrintable(QStringLiteral("%1 %2").arg(value.right()).arg(label.left())));

        // Another person has no picture file: the file prints without one.
        const ReportData other = w->run(QStringLiteral("tamrel"), {{QStringLiteral("tamrel_no"), QStringLiteral("18")}});
        QVERIFY(other.picture.isNull());
        QVERIFY(ReportWorld::pdfText(other).contains(QStringLiteral("لا توجد صورة")));
        // An unknown number prints a file that says so.
        QVERIFY(text(QStringLiteral("tamrel"), {{QStringLiteral("tamrel_no"), QStringLiteral("99999")}}).contains(QStringLiteral("99999")));
    }

    // The parts of a composed line whose values are empty are left out
    // with their words.
    void emptyPartsOfALineAreLeftOut()
    {
        const QString no = QStringLiteral("21");
        const auto islamLine = [this, &no] {
            return text(QStringLiteral("tamrel"), {{QStringLiteral("tamrel_no"), no}});
        };
        const QString day = one(QStringLiteral("SELECT day_a FROM tamrel WHERE tamrel_no = ?"), {no});
        QVERIFY(!day.trimmed().isEmpty());
        QVERIFY(islamLine().contains(QStringLiteral("يوم ") + day));
        w->store.db().execute(QStringLiteral("UPDATE tamrel SET DateOfIslam_E = ' ', day_a = '' WHERE tamrel_no = ?"), {no});
        const QString t = islamLine();
        const QString islam = one(QStringLiteral("SELECT dateofislam FROM tamrel WHERE tamrel_no = ?"), {no});
        QVERIFY(t.contains(islam.left(4) + QLatin1Char('/') + islam.mid(4, 2) + QLatin1Char('/') + islam.mid(6, 2)));
        QVERIFY2(!t.contains(QStringLiteral("يوم")) && !t.contains(QStringLiteral(" م ")), qPrintable(t));
    }

    void letterForOnePerson()
    {
        const QString t = text(QStringLiteral("letter"), {{QStringLiteral("tamrel_no"), QStringLiteral("5")}});
        QVERIFY2(t.contains(QStringLiteral("خطاب تعريف")), qPrintable(t));
        QVERIFY(t.contains(one(QStringLiteral("SELECT e_old_name FROM tamrel WHERE tamrel_no = '5'"))));
        QVERIFY(t.contains(one(QStringLiteral("SELECT passport_no FROM tamrel WHERE tamrel_no = '5'"))));
        QVERIFY(t.contains(QStringLiteral("سعد العتيبي")));
    }

    // The list reports over a period: the count of the period, and the
    // first and last rows (by number and date) are in the text.
    void listReportsOverAPeriod_data()
    {
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("countSql");
        QTest::addColumn<QString>("sampleSql"); // a text that must be printed
        const QString period = QStringLiteral(" BETWEEN '14300101' AND '14391230'");
        QTest::newRow("regdates") << "regdates" << "SELECT count(*) FROM tamrel WHERE dateofislam" + period
                                  << "SELECT e_new_name FROM tamrel WHERE dateofislam" + period + " ORDER BY dateofislam DESC";
        QTest::newRow("bycaller") << "bycaller" << "SELECT count(*) FROM tamrel WHERE dateofislam" + period
                                  << "SELECT tamrel_no FROM tamrel WHERE dateofislam" + period + " ORDER BY dateofislam";
        QTest::newRow("certs") << "certs" << "SELECT count(*) FROM tamrel WHERE certificate = '0' AND dateofislam" + period
                               << "SELECT no_certificate FROM tamrel WHERE certificate = '0' AND dateofislam" + period;
        QTest::newRow("courses") << "courses" << "SELECT count(*) FROM courses WHERE step_start_date" + period
                                 << "SELECT substr(step_start_date,1,4) || '/' || substr(step_start_date,5,2) || '/' || substr(step_start_date,7,2) FROM courses WHERE step_start_date" + period;
        QTest::newRow("followup") << "followup" << "SELECT count(*) FROM followUp WHERE step_start_date" + period
                                  << "SELECT description FROM followUp WHERE step_start_date" + period;
        QTest::newRow("fieldeval") << "fieldeval" << "SELECT count(*) FROM Field_Evaluation WHERE date" + period
                                   << "SELECT evaluator_name FROM Field_Evaluation WHERE date" + period;
        QTest::newRow("problems") << "problems"
                                  << "SELECT count(*) FROM problems p JOIN Field_Evaluation e ON e.tamrel_no = p.tamrel_no AND e.seq_no = p.seq_no "
                                     "WHERE e.date" + period + " AND NOT EXISTS (SELECT 1 FROM follow_up_Problems f WHERE f.code = p.code "
                                     "AND f.auto_no = (SELECT max(auto_no) FROM follow_up_Problems g WHERE g.code = p.code AND g.date_information = "
                                     "(SELECT max(date_information) FROM follow_up_Problems h WHERE h.code = p.code)) AND f.Problems_Evaluation = 'حلت')"
                                  << "SELECT max(code) FROM problems";
        QTest::newRow("bynation") << "bynation" << "SELECT count(*) FROM tamrel WHERE dateofislam" + period
                                  << "SELECT nationality FROM tamrel WHERE dateofislam" + period + " GROUP BY nationality ORDER BY count(*) DESC";
    }
    void listReportsOverAPeriod()
    {
        QFETCH(QString, report);
        QFETCH(QString, countSql);
        QFETCH(QString, sampleSql);
        const QString count = one(countSql);
        QVERIFY(count.toInt() > 0);
        const QString t = text(report, {{QStringLiteral("from_date"), QStringLiteral("14300101")}, {QStringLiteral("to_date"), QStringLiteral("14391230")}});
        QVERIFY2(t.contains(readReportFile(w->reportFile(report)).title), qPrintable(t.left(400)));
        // Mixed Arabic and digits come back in display order: the dates
        // and the count are looked for one by one.
        QVERIFY2(t.contains(QStringLiteral("1430/01/01")) && t.contains(QStringLiteral("1439/12/30")), qPrintable(t.left(400)));
        QVERIFY2(ReportWorld::hasNumber(t, count), qPrintable(count));
        const QString sample = one(sampleSql);
        if (report != QLatin1String("problems"))
            QVERIFY2(t.contains(sample), qPrintable(sample));
        // Nothing outside the period: a narrower period prints fewer rows.
        const QString narrow = text(report, {{QStringLiteral("from_date"), QStringLiteral("14350101")}, {QStringLiteral("to_date"), QStringLiteral("14350101")}});
        QVERIFY(narrow.size() < t.size());
    }

    void callerNarrowsTheList()
    {
        const QString caller = one(QStringLiteral("SELECT daeyah_1 FROM tamrel GROUP BY daeyah_1 ORDER BY count(*) DESC"));
        const QString english = one(QStringLiteral("SELECT english_NAME FROM witnesses WHERE NAME = ?"), {caller});
        const QString count = one(QStringLiteral("SELECT count(*) FROM tamrel WHERE daeyah_1 = ?"), {caller});
        // The catalogue passes the caller's bound (English) name.
        const ReportData data = w->run(QStringLiteral("bycaller"), {{QStringLiteral("caller"), english}});
        QCOMPARE(QString::number(data.result(QStringLiteral("persons"))->rows.size()), count);
        const QString t = ReportWorld::pdfText(data);
        QVERIFY(t.contains(QStringLiteral("عدد المهتدين")) && ReportWorld::hasNumber(t, count));
        QVERIFY(t.contains(QStringLiteral("جميع التواريخ")));
        // A caller typed in the box with another spelling, or his English
        // name in other letter case, narrows the list alike.
        QString variant = caller;
        variant.replace(QChar(0x0627), QChar(0x0623)).insert(1, QChar(0x0640));
        for (const QString &typed : {variant, english.toUpper()}) {
            const ReportData again = w->run(QStringLiteral("bycaller"), {{QStringLiteral("caller"), typed}});
            QCOMPARE(QString::number(again.result(QStringLiteral("persons"))->rows.size()), count);
        }
    }

    void chartsOverAllPersons_data()
    {
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("topSql");
        QTest::newRow("nationality") << "chnation" << "SELECT nationality || ' ' || count(*) FROM tamrel GROUP BY nationality ORDER BY count(*) DESC, nationality";
        QTest::newRow("religion") << "chreligion" << "SELECT former_relgion || ' ' || count(*) FROM tamrel GROUP BY former_relgion ORDER BY count(*) DESC, former_relgion";
        QTest::newRow("month") << "chmonth" << "SELECT substr(dateofislam,1,4) || '/' || substr(dateofislam,5,2) || ' ' || count(*) FROM tamrel "
                                               "GROUP BY substr(dateofislam,1,4), substr(dateofislam,5,2) ORDER BY 1";
    }
    void chartsOverAllPersons()
    {
        QFETCH(QString, report);
        QFETCH(QString, topSql);
        const ReportData data = w->run(report);
        QCOMPARE(data.def.charts.size(), 1);
        const QImage chart = drawCharts(data).value(data.def.charts.first().name);
        QCOMPARE(chart.size(), QSize(1400, 800));
        // A drawn chart is more than a blank page.
        int coloured = 0;
        for (int y = 0; y < chart.height(); y += 8)
            for (int x = 0; x < chart.width(); x += 8)
                coloured += chart.pixelColor(x, y) != QColor(Qt::white);
        QVERIFY(coloured > 200);
        const QString t = ReportWorld::pdfText(data).simplified();
        const QStringList top = one(topSql).split(QLatin1Char(' '));
        QVERIFY2(t.contains(top.first()) && ReportWorld::hasNumber(t, top.last()), qPrintable(t.left(600)));
    }

    // The labels under a chart are never cut: each keeps to its category's
    // width (or, upright, to the room below the plot), wrapped between
    // words, and what still does not fit is shortened with an ellipsis.
    void chartLabelsWrapOrShortenButAreNeverCut_data()
    {
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<qreal>("width");
        QTest::addColumn<bool>("upright");
        QTest::addColumn<bool>("whole"); // every label shown in full
        const QString congo = QStringLiteral("جمهورية الكونغو الديمقراطية الشعبية");
        QTest::newRow("short, across") << QStringList{"هندي", "فلبيني", "مصري"} << 200.0 << false << true;
        QTest::newRow("long, wrapped across") << QStringList{congo, "Bosnia and Herzegovina", "هندي"} << 200.0 << false << true;
        QTest::newRow("longer than three lines: upright") << QStringList{congo + QLatin1Char(' ') + congo + QLatin1Char(' ') + congo, "هندي"}
                                                          << 120.0 << true << false;
        QTest::newRow("narrow, upright") << QStringList{"بنغلاديشي", "1445/09", "سريلانكي"} << 40.0 << true << true;
        QTest::newRow("narrow and long, upright") << QStringList{congo + QLatin1Char(' ') + congo, "Supercalifragilisticexpialidocious"}
                                                  << 40.0 << true << false;
        QStringList crowd;
        for (int i = 0; i < 12; ++i)
            crowd << QStringLiteral("بلد %1").arg(i);
        QTest::newRow("too crowded: every few labelled") << crowd << 8.0 << true << false;
    }
    void chartLabelsWrapOrShortenButAreNeverCut()
    {
        QFETCH(QStringList, labels);
        QFETCH(qreal, width);
        QFETCH(bool, upright);
        QFETCH(bool, whole);
        QFont font(QStringLiteral("Noto Sans Arabic"));
        font.setPixelSize(22);
        const QFontMetricsF metrics(font);
        const qreal maxRoom = 240;
        const CategoryLabels out = layOutCategoryLabels(labels, width, font, maxRoom);
        QCOMPARE(out.upright, upright);
        QCOMPARE(out.lines.size(), labels.size());
        QVERIFY(out.room <= maxRoom);
        const qreal length = upright ? out.room : width;
        bool allWhole = true;
        int labelled = 0;
        for (int i = 0; i < labels.size(); ++i) {
            const QStringList &lines = out.lines.at(i);
            labelled += !lines.isEmpty();
            if (lines.isEmpty()) {
                allWhole = false;
                continue;
            }
            QVERIFY(upright ? lines.size() * metrics.height() <= width + 1 || lines.size() == 1 : lines.size() <= 3);
            for (const QString &line : lines)
                QVERIFY2(metrics.horizontalAdvance(line) <= length + 0.5, qPrintable(line));
            const QString shown = lines.join(QLatin1Char(' '));
            if (shown == labels.at(i))
                continue;
            allWhole = false;
            // Shortened at its end: what is shown is the label's beginning.
            QString start = shown;
            start.remove(QChar(0x200D)); // the joiner that keeps the last letter's form
            QVERIFY2(start.endsWith(QChar(0x2026)) || start.endsWith(QLatin1String("...")), qPrintable(shown));
            while (start.endsWith(QChar(0x2026)) || start.endsWith(QLatin1Char('.')))
                start.chop(1);
            QVERIFY(labels.at(i).startsWith(start.trimmed()));
        }
        QCOMPARE(allWhole, whole);
        QVERIFY(!out.lines.first().isEmpty());
        QVERIFY(labelled >= labels.size() / 6);
    }
};

VELM_TEST_MAIN(TstStarterReports)
#include "tst_starterreports.moc"
