#include "ReportWorld.h"
#include "support/TestMain.h"
#include "reports/ReportDialogs.h"
#include "reports/ReportLauncher.h"
#include "reports/PageView.h"
#include "reports/frmPrint.h"
#include "support/SheetFiles.h"

#include <QFrame>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>

using namespace reports;

namespace {

// Answers the viewer's dialogs as a user would, without blocking.
struct ScriptedDialogs : ReportDialogs {
    QString pdfPath;      // empty: the user cancels
    QString printToFile;  // empty: the user cancels the print dialog
    int printerAsked = 0;
    bool choosePrinter(QPrinter &printer, QWidget *) override
    {
        ++printerAsked;
        if (printToFile.isEmpty())
            return false;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(printToFile);
        return true;
    }
    QString choosePdfFile(const QString &, QWidget *) override { return pdfPath; }
};

struct Fixture : ReportWorld {
    ScriptedDialogs dialogs;
    ReportLauncher launcher{ctx, &dialogs};

    explicit Fixture(int persons) : ReportWorld(persons) {}

    bool show(const QString &name, const core::ReportValues &values = {})
    {
        QSignalSpy shown(&launcher, &ReportLauncher::reportShown);
        QSignalSpy failed(&launcher, &ReportLauncher::reportFailed);
        if (!launcher.showReport(name, values))
            return false;
        if (!shown.wait(60000))
            return false;
        return failed.isEmpty();
    }
    QString waitForFailure(const QString &name, const core::ReportValues &values = {})
    {
        QSignalSpy failed(&launcher, &ReportLauncher::reportFailed);
        if (!launcher.showReport(name, values) || !failed.wait(60000))
            return {};
        return failed.first().first().toString();
    }
    frmPrint *viewer() const { return launcher.viewer(); }
    template <typename T>
    T *find(const char *name) const { return testsupport::control<T>(viewer(), QLatin1String(name)); }
    bool output(const char *button)
    {
        QSignalSpy done(viewer(), &frmPrint::outputFinished);
        testsupport::click(viewer(), QLatin1String(button));
        return !done.isEmpty() || done.wait(120000) ? done.first().first().toBool() : false;
    }
};

} // namespace

class TstFrmPrint : public QObject {
    Q_OBJECT

private slots:
    void missingAndBrokenFilesShowOneMessageAndNoViewer()
    {
        Fixture f(0);
        QVERIFY(!f.launcher.showReport(QStringLiteral("nosuch")));
        QCOMPARE(f.lastShown(), QStringLiteral("Report not found"));
        QVERIFY(!f.launcher.showReport(QStringLiteral("../data/regdates")));
        QCOMPARE(f.lastShown(), QStringLiteral("Report not found"));

        f.writeReport(QStringLiteral("broken"), QStringLiteral("[report]\ntitle=T\n[layout]\nx"));
        f.messages.clear();
        QVERIFY(!f.launcher.showReport(QStringLiteral("broken")));
        QCOMPARE(f.messages.shownCount(), 1);
        QVERIFY(f.lastShown().contains(f.reportFile(QStringLiteral("broken"))));

        // Failures found while running come the same way, later.
        f.writeReport(QStringLiteral("badsql"), QStringLiteral("[report]\ntitle=T\n[query q]\nSELECT nope FROM tamrel\n[layout]\nx"));
        f.messages.clear();
        const QString failure = f.waitForFailure(QStringLiteral("badsql"));
        QVERIFY(failure.contains(QStringLiteral("nope")));
        QCOMPARE(f.messages.shownCount(), 1);
        QCOMPARE(f.lastShown(), failure);
        QVERIFY(!f.viewer());
    }

    // A report that takes long is prepared while the window stays usable:
    // the busy pointer at once, the panel over the window after half a
    // second; Esc stops it, with no message and no viewer.
    void escStopsAReportBeingPrepared()
    {
        const testsupport::ProgramInlineBudget asTheProgramRuns;
        Fixture f(5);
        QWidget window;
        window.resize(640, 480);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        f.launcher.setWindow(&window);
        f.writeReport(QStringLiteral("endless"),
                      QStringLiteral("[report]\ntitle=T\n[query rows]\nWITH RECURSIVE c(x) AS (SELECT 1 UNION ALL "
                                     "SELECT x + 1 FROM c) SELECT count(*) AS n FROM c\n[layout]\n{{#rows}}{{n}}{{/rows}}"));
        QSignalSpy failed(&f.launcher, &ReportLauncher::reportFailed);
        QVERIFY(f.launcher.showReport(QStringLiteral("endless")));
        QVERIFY(f.launcher.isBusy());
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        auto *panel = window.findChild<QFrame *>(QStringLiteral("busyPanel"));
        QVERIFY(panel);
        QTRY_VERIFY2(panel->isVisible(), qPrintable(failed.isEmpty() ? QString() : failed.first().first().toString()));
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(failed.first().first().toString(), QueryRunner::cancelledMessage());
        QVERIFY(!f.launcher.isBusy());
        QVERIFY(!panel->isVisible());
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(f.messages.shownCount(), 0);
        QVERIFY(!f.viewer());
        QVERIFY(f.show(QStringLiteral("chnation")));
    }

    // A file made before the report index gets it with its first report.
    void theFirstReportAddsAMissingIndex()
    {
        Fixture f(5);
        const QString indexCount = testsupport::testOnServer()
                                       ? QStringLiteral("SELECT count(*) FROM pg_indexes WHERE indexname = 'tamrel_dateofislam_idx'")
                                       : QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name = 'tamrel_dateofislam_idx'");
        f.store.db().execute(QStringLiteral("DROP INDEX tamrel_dateofislam_idx"));
        QCOMPARE(f.scalar(indexCount).toInt(), 0);
        QVERIFY(f.show(QStringLiteral("regdates")));
        QCOMPARE(f.scalar(indexCount).toInt(), 1);
        QVERIFY(f.show(QStringLiteral("chnation")));
        QCOMPARE(f.messages.shownCount(), 0);
    }

    void personFileInTheViewerThenSavedAndPrinted()
    {
        Fixture f(40);
        QVERIFY(f.show(QStringLiteral("tamrel"), {{QStringLiteral("tamrel_no"), QStringLiteral("12")}}));
        frmPrint *v = f.viewer();
        QVERIFY(v->isVisible());
        QVERIFY(v->windowState() & Qt::WindowMaximized);
        QCOMPARE(v->layoutDirection(), Qt::RightToLeft);
        QCOMPARE(v->windowTitle(), QStringLiteral("ملف المهتدي"));
        QVERIFY(f.find<ReportPageView>("cr")->pageCount() >= 1);
        QCOMPARE(f.launcher.reportParameters(QStringLiteral("tamrel")), QStringList{QStringLiteral("tamrel_no")});

        // Save as PDF: cancelled writes nothing; chosen writes the file.
        const QString pdf = f.folder.path(QStringLiteral("person.pdf"));
        QSignalSpy done(v, &frmPrint::outputFinished);
        testsupport::click(v, QStringLiteral("cmdPdf"));
        QVERIFY(!QFile::exists(pdf));
        QCOMPARE(done.count(), 0);
        f.dialogs.pdfPath = pdf;
        f.messages.clear();
        QVERIFY(f.output("cmdPdf"));
        // The path reads left to right inside the Arabic message.
        QVERIFY(f.lastShown().contains(core::leftToRight(pdf)));
        const QString text = ReportWorld::pdfToText(pdf);
        QVERIFY(text.contains(f.scalar(QStringLiteral("SELECT e_new_name FROM tamrel WHERE tamrel_no = '12'")).toString()));

        // Print: the system dialog (here a file printer) gets the whole report.
        testsupport::click(v, QStringLiteral("cmdPrint"));
        QCOMPARE(f.dialogs.printerAsked, 1);
        f.dialogs.printToFile = f.folder.path(QStringLiteral("printed.pdf"));
        QVERIFY(f.output("cmdPrint"));
        QVERIFY(ReportWorld::pdfToText(f.dialogs.printToFile).contains(QStringLiteral("ملف المهتدي")));

        // A PDF that cannot be written says so and leaves nothing behind.
        f.dialogs.pdfPath = f.folder.path(QStringLiteral("no/such/folder/x.pdf"));
        f.messages.clear();
        QVERIFY(!f.output("cmdPdf"));
        QVERIFY(f.lastShown().contains(QStringLiteral("x.pdf")));
    }

    // A long list: the preview shows its first pages at once; navigation
    // moves through them; saving writes every row.
    // A picture of the picture folder is in the saved report as in the
    // preview; one from anywhere else is a note in both.
    void layoutPicturesInPreviewAndPdf()
    {
        Fixture f(5);
        QImage stamp(16, 16, QImage::Format_RGB32);
        stamp.fill(Qt::blue);
        QDir().mkpath(f.store.config().pictureDir);
        QVERIFY(stamp.save(QDir(f.store.config().pictureDir).filePath(QStringLiteral("stamp.png"))));
        f.writeReport(QStringLiteral("stamped"),
                      QStringLiteral("[report]\ntitle=T\n[query rows]\nSELECT tamrel_no FROM tamrel\n[layout]\n"
                                     "<p>start <img src=\"stamp.png\"> <img src=\"/dev/zero\"> end</p>\n"));
        QVERIFY(f.show(QStringLiteral("stamped")));
        f.dialogs.pdfPath = f.folder.path(QStringLiteral("stamped.pdf"));
        QVERIFY(f.output("cmdPdf"));
        const QString text = ReportWorld::pdfToText(f.dialogs.pdfPath);
        QCOMPARE(text.count(QStringLiteral("صورة لم تعرض")), 1);
        QVERIFY2(text.contains(QStringLiteral("dev/zero")) && !text.contains(QStringLiteral("stamp.png")), qPrintable(text));
    }

    // A long list: the preview shows its first pages at once, then every
    // page, each numbered against the whole report, on the page the user
    // had reached; navigation moves through all of them; saving writes
    // every row.
    void longListPreviewShowsTheWholeReport()
    {
        const int rows = kPreviewRows * 3;
        Fixture f(rows);
        QVERIFY(f.show(QStringLiteral("regdates")));
        frmPrint *v = f.viewer();
        auto *view = f.find<ReportPageView>("cr");
        QVERIFY(v->report().partial);
        QVERIFY(v->report().preview->firstPagesOnly());
        const int first = v->report().previewPages;
        QVERIFY(first > 2);
        QCOMPARE(view->pageCount(), first);
        QVERIFY(f.find<QLabel>("lblStatus")->text().contains(QString::number(rows)));
        // Their feet give their numbers alone: the count is not known yet.
        const QString firstPdf = f.folder.path(QStringLiteral("first.pdf"));
        {
            QPdfWriter writer(firstPdf);
            v->report().preview->prepareDevice(writer);
            QVERIFY(v->report().preview->print(writer, 1));
        }
        QStringList footOfFirst;
        const QList<ReportWorld::PdfWord> firstWords = ReportWorld::pdfWords(firstPdf);
        qreal lowest = 0;
        for (const ReportWorld::PdfWord &w : firstWords)
            lowest = qMax(lowest, w.box.top());
        for (const ReportWorld::PdfWord &w : firstWords)
            if (w.box.top() >= lowest - 2)
                footOfFirst << w.text;
        QVERIFY2(footOfFirst.contains(QStringLiteral("1")) && footOfFirst.filter(QRegularExpression(QStringLiteral("^\\d+$"))).size() == 1,
                 qPrintable(footOfFirst.join(QLatin1Char(' '))));
        testsupport::click(v, QStringLiteral("cmdNext"));
        QCOMPARE(v->currentPage(), 2);

        QTRY_VERIFY_WITH_TIMEOUT(!v->report().partial, 60000);
        QVERIFY(!v->isLayingOut());
        const int pages = v->report().previewPages;
        QVERIFY(pages > first * 2);
        QCOMPARE(view->pageCount(), pages);
        QCOMPARE(v->previewPageCount(), pages);
        QCOMPARE(v->currentPage(), 2); // where the user was
        QVERIFY(!v->report().preview->firstPagesOnly());
        QCOMPARE(f.find<QLabel>("lblPages")->text(), QStringLiteral("من %1").arg(pages));

        auto *page = f.find<QSpinBox>("txtPage");
        testsupport::click(v, QStringLiteral("cmdLast"));
        QCOMPARE(v->currentPage(), pages);
        QCOMPARE(page->value(), pages);
        QVERIFY(!f.find<QPushButton>("cmdNext")->isEnabled());
        QVERIFY(!view->pageImage(pages).isNull());
        page->setValue(3);
        QCOMPARE(v->currentPage(), 3);
        testsupport::click(v, QStringLiteral("cmdFirst"));
        QCOMPARE(v->currentPage(), 1);
        QVERIFY(!f.find<QPushButton>("cmdPrev")->isEnabled());

        // The preview's pages are those printed: the same count, each page
        // numbered against the whole.
        f.dialogs.pdfPath = f.folder.path(QStringLiteral("all.pdf"));
        QVERIFY(f.output("cmdPdf"));
        const QList<ReportWorld::PdfWord> words = ReportWorld::pdfWords(f.dialogs.pdfPath);
        QCOMPARE(words.isEmpty() ? 0 : words.last().page, pages);
        // The foot of every page (its lowest line) counts them all.
        QMap<int, qreal> foot;
        for (const ReportWorld::PdfWord &w : words)
            foot[w.page] = qMax(foot.value(w.page), w.box.top());
        QSet<int> counted;
        for (const ReportWorld::PdfWord &w : words)
            if (w.text == QString::number(pages) && w.box.top() >= foot.value(w.page) - 2)
                counted.insert(w.page);
        QCOMPARE(counted.size(), pages);
        const QString text = ReportWorld::pdfToText(f.dialogs.pdfPath);
        QVERIFY(ReportWorld::hasNumber(text, QString::number(rows)));
        const QString last = f.scalar(QStringLiteral("SELECT e_new_name FROM tamrel ORDER BY dateofislam DESC, CAST(tamrel_no AS INTEGER) DESC")).toString();
        QVERIFY(text.contains(last));

        // The same viewer takes the next report, from its first page.
        QVERIFY(f.show(QStringLiteral("chnation")));
        QCOMPARE(f.viewer(), v);
        QCOMPARE(v->windowTitle(), QStringLiteral("المهتدون حسب الجنسية"));
        QVERIFY(!v->report().partial);
        QCOMPARE(v->currentPage(), 1);
    }

    // A report replaced while its pages are still being laid out: the
    // layout of the first is dropped and never shows over the second.
    void aNewReportDropsTheLayoutOfTheOneBefore()
    {
        Fixture f(kPreviewRows * 3);
        QVERIFY(f.show(QStringLiteral("regdates")));
        QVERIFY(f.viewer()->report().partial);
        QSignalSpy complete(f.viewer(), &frmPrint::previewComplete);
        QVERIFY(f.show(QStringLiteral("chnation")));
        QTest::qWait(300);
        QTRY_VERIFY(!f.viewer()->isLayingOut());
        QCOMPARE(complete.count(), 0);
        QCOMPARE(f.viewer()->windowTitle(), QStringLiteral("المهتدون حسب الجنسية"));
        QCOMPARE(f.viewer()->previewPageCount(), f.viewer()->report().preview->pageCount());

        // Two long reports one after the other: the second's pages wait for
        // the first's layout to stop, and only they show.
        QVERIFY(f.show(QStringLiteral("regdates")));
        QVERIFY(f.show(QStringLiteral("bycaller")));
        QVERIFY(f.viewer()->report().partial);
        // The first may have been laid out whole before the second came
        // (a slow server's rows give it the time): only what follows counts.
        complete.clear();
        QTRY_VERIFY_WITH_TIMEOUT(!f.viewer()->isLayingOut(), 60000);
        QCOMPARE(complete.count(), 1);
        QVERIFY(!f.viewer()->report().partial);
        QCOMPARE(f.viewer()->report().data->def.name, QStringLiteral("bycaller"));
        QCOMPARE(f.viewer()->previewPageCount(), f.viewer()->report().preview->pageCount());
    }

    // The report's tables as it shows them: its headings, its rows in its
    // order and its total row, to XLSX (right to left) and CSV; a grouped
    // report's groups in one sheet under their captions; a report without
    // list tables gives the rows of its queries.
    void tablesExportAsTheReportShowsThem()
    {
        namespace files = testsupport::sheetfiles;
        Fixture f(60);
        QVERIFY(f.show(QStringLiteral("bynation")));
        QVERIFY(f.find<QPushButton>("cmdExport")->isEnabled());
        const ReportData data = f.run(QStringLiteral("bynation"));
        const QueryResult *counts = data.result(QStringLiteral("counts"));
        const QueryResult *totals = data.result(QStringLiteral("totals"));
        QList<QStringList> expected{{QStringLiteral("م"), QStringLiteral("الجنسية"), QStringLiteral("ذكور"),
                                     QStringLiteral("إناث"), QStringLiteral("المجموع")}};
        for (int r = 0; r < counts->rows.size(); ++r) {
            const QStringList &row = counts->rows.at(r);
            expected << QStringList{QString::number(r + 1), row.at(counts->column(QStringLiteral("nationality"))),
                                    row.at(counts->column(QStringLiteral("males"))),
                                    row.at(counts->column(QStringLiteral("females"))),
                                    row.at(counts->column(QStringLiteral("persons")))};
        }
        const QStringList &total = totals->rows.first();
        expected << QStringList{QString(), QStringLiteral("الإجمالي"), total.at(totals->column(QStringLiteral("males"))),
                                total.at(totals->column(QStringLiteral("females"))),
                                total.at(totals->column(QStringLiteral("persons")))};
        QVERIFY(expected.size() > 3);

        const QString xlsx = f.folder.path(QStringLiteral("bynation.xlsx"));
        f.saveFiles.queueAnswer(xlsx);
        QVERIFY(f.output("cmdExport"));
        QVERIFY(f.saveFiles.lastQuestion().suggestedPath.endsWith(QLatin1String("bynation.xlsx")));
        QVERIFY(f.lastShown().contains(QStringLiteral("bynation.xlsx")));
        QCOMPARE(files::readXlsx(xlsx), expected);
        QVERIFY(files::xlsxPart(xlsx, QStringLiteral("xl/worksheets/sheet1.xml")).contains(QLatin1String("rightToLeft=\"1\"")));

        const QString csv = f.folder.path(QStringLiteral("bynation.csv"));
        f.saveFiles.queueAnswer(csv);
        QVERIFY(f.output("cmdExport"));
        bool bom = false;
        QCOMPARE(files::readCsv(csv, &bom), expected);
        QVERIFY(bom);

        // Grouped by caller: one sheet, each group under its caption.
        QVERIFY(f.show(QStringLiteral("bycaller")));
        const QString grouped = f.folder.path(QStringLiteral("bycaller.xlsx"));
        f.saveFiles.queueAnswer(grouped);
        QVERIFY(f.output("cmdExport"));
        QCOMPARE(files::sheetNames(grouped).size(), 1);
        const QList<QStringList> rows = files::readXlsx(grouped);
        const QueryResult *persons = f.run(QStringLiteral("bycaller")).result(QStringLiteral("persons"));
        int captions = 0;
        for (const QStringList &row : rows.mid(1))
            captions += row.value(0).startsWith(QStringLiteral("الداعية: ")) ? 1 : 0;
        QVERIFY(captions > 1);
        QCOMPARE(rows.size() - 1 - captions, persons->rows.size());

        // The letter has no list: its queries' rows, a sheet each.
        QVERIFY(f.show(QStringLiteral("letter"), {{QStringLiteral("tamrel_no"), QStringLiteral("12")}}));
        const QString letter = f.folder.path(QStringLiteral("letter.xlsx"));
        f.saveFiles.queueAnswer(letter);
        QVERIFY(f.output("cmdExport"));
        QCOMPARE(files::sheetNames(letter), (QStringList{QStringLiteral("person"), QStringLiteral("office")}));
        QCOMPARE(files::readXlsx(letter).value(0), f.viewer()->report().data->result(QStringLiteral("person"))->columns);

        // Cancelled: nothing; a folder that cannot be written: said so.
        f.saveFiles.queueAnswer(std::nullopt);
        QSignalSpy done(f.viewer(), &frmPrint::outputFinished);
        testsupport::click(f.viewer(), QStringLiteral("cmdExport"));
        QCOMPARE(done.count(), 0);
        f.saveFiles.queueAnswer(f.folder.path(QStringLiteral("no/such/letter.csv")));
        f.messages.clear();
        QVERIFY(!f.output("cmdExport"));
        QVERIFY(f.lastShown().startsWith(QStringLiteral("تعذر تصدير جداول التقرير")));
    }
};

VELM_TEST_MAIN(TstFrmPrint)
#include "tst_frmPrint.moc"
