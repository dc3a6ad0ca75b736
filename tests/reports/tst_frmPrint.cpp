#include "ReportWorld.h"
#include "support/TestMain.h"
#include "reports/ReportDialogs.h"
#include "reports/ReportLauncher.h"
#include "reports/frmPrint.h"

#include <QFrame>
#include <QLabel>
#include <QPrinter>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QPrintPreviewWidget>

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
        QTRY_VERIFY(panel->isVisible());
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
        const QString indexCount = QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name = 'tamrel_dateofislam_idx'");
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
        QVERIFY(f.find<QPrintPreviewWidget>("cr")->pageCount() >= 1);
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

    void longListPreviewNavigationAndWholePdf()
    {
        Fixture f(kPreviewRows + 150);
        QVERIFY(f.show(QStringLiteral("regdates")));
        const PreparedReport &r = f.viewer()->report();
        QVERIFY(r.partial);
        QVERIFY(r.previewPages > 2);
        QCOMPARE(f.viewer()->previewPageCount(), r.previewPages);
        auto *page = f.find<QSpinBox>("txtPage");
        QCOMPARE(page->value(), 1);
        QVERIFY(!f.find<QPushButton>("cmdPrev")->isEnabled());
        testsupport::click(f.viewer(), QStringLiteral("cmdNext"));
        QCOMPARE(f.viewer()->currentPage(), 2);
        testsupport::click(f.viewer(), QStringLiteral("cmdLast"));
        QCOMPARE(f.viewer()->currentPage(), r.previewPages);
        QCOMPARE(page->value(), r.previewPages);
        QVERIFY(!f.find<QPushButton>("cmdNext")->isEnabled());
        page->setValue(2);
        QCOMPARE(f.viewer()->currentPage(), 2);
        QVERIFY(f.find<QLabel>("lblStatus")->text().contains(QString::number(kPreviewRows + 150)));

        f.dialogs.pdfPath = f.folder.path(QStringLiteral("all.pdf"));
        QVERIFY(f.output("cmdPdf"));
        const QString text = ReportWorld::pdfToText(f.dialogs.pdfPath);
        QVERIFY(ReportWorld::hasNumber(text, QString::number(kPreviewRows + 150)));
        const QString last = f.scalar(QStringLiteral("SELECT e_new_name FROM tamrel ORDER BY dateofislam DESC, CAST(tamrel_no AS INTEGER) DESC")).toString();
        QVERIFY(text.contains(last));

        // The same viewer takes the next report.
        frmPrint *viewer = f.viewer();
        QVERIFY(f.show(QStringLiteral("chnation")));
        QCOMPARE(f.viewer(), viewer);
        QCOMPARE(viewer->windowTitle(), QStringLiteral("المهتدون حسب الجنسية"));
        QVERIFY(!viewer->report().partial);
    }
};

VELM_TEST_MAIN(TstFrmPrint)
#include "tst_frmPrint.moc"
