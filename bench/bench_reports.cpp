// The reports on a large register, timed from the request to the preview
// shown: the person file, a list of about 10,000 persons (first page, every
// page in the preview, its last page drawn, the whole PDF, with the
// process's peak memory and the longest the window's thread was kept busy
// meanwhile) and a chart over all persons.
// The same report queries also run alone on the file and on a plain copy,
// side by side. A file made before the report index gets it from the first
// report, as in the program; that one-time cost is printed apart. Medians.
//
//   bench_reports [FOLDER] [--persons N] [--runs R]
//
// FOLDER (default /tmp/velm-bench-reports) holds velm.mdb; when it is missing
// it is built first with N persons (default 1,000,000) and their related
// rows. The plain copy velm-plain.db is made next to it when missing. The
// shipped reports are copied into the folder, which is the report folder.

#include "bench/BenchSupport.h"
#include "reports/ReportData.h"
#include "reports/ReportDialogs.h"
#include "reports/ReportLauncher.h"
#include "reports/PageView.h"
#include "data/Schema.h"
#include "reports/frmPrint.h"
#include "engine/Database.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTimer>

#include <cstdio>

namespace {

using bench::median;
using bench::msSince;

struct NoDialogs : reports::ReportDialogs {
    bool choosePrinter(QPrinter &, QWidget *) override { return false; }
    QString choosePdfFile(const QString &, QWidget *) override { return {}; }
};

using Opener = std::function<std::unique_ptr<engine::Database>()>;

// Milliseconds of the report's queries alone on one file.
double queryMillis(const QString &reportDir, const QString &name, const QMap<QString, QString> &values, const Opener &open)
{
    reports::QueryRunner runner(open);
    QElapsedTimer t;
    t.start();
    runner.run(reports::readReportFile(reportDir + QLatin1Char('/') + name + QStringLiteral(".rpt")), values, {});
    return msSince(t);
}

// The shipped reports, as the first start installs them (here always the
// build's own).
void installReports(const QString &folder)
{
    const QDir starter(QStringLiteral(VELM_STARTER_REPORT_DIR));
    for (const QString &f : starter.entryList({QStringLiteral("*.rpt")}, QDir::Files)) {
        QFile::remove(QDir(folder).filePath(f));
        QFile::copy(starter.filePath(f), QDir(folder).filePath(f));
    }
}

using Measures = std::vector<std::vector<double>>;

// The reports shown as the program shows them, and their queries run alone
// on the file and on the plain copy.
struct Reporting {
    bench::ScreenBench &world;
    reports::ReportLauncher &launcher;
    QString reportDir;
    Opener encrypted;
    Opener plain;
};

// From the request until the preview is shown.
double shownMillis(Reporting &r, const QString &name, const core::ReportValues &values)
{
    QSignalSpy spy(&r.launcher, &reports::ReportLauncher::reportShown);
    QElapsedTimer t;
    t.start();
    if (!r.launcher.showReport(name, values) || !spy.wait(1800000))
        throw std::runtime_error("report not shown");
    QCoreApplication::processEvents(); // the preview paints its pages
    return msSince(t);
}

// The longest stretch the window's thread did not come back to its events
// while the probe ran (a timer due every 5 ms).
class StallProbe {
public:
    StallProbe()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_longest = std::max(m_longest, msSince(m_since));
            m_since.start();
        });
        m_since.start();
        m_timer.start();
    }
    double longest() const { return m_longest; }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    double m_longest = 0;
};

enum Measure { PersonShown, PersonEnc, PersonPlain, ListShown, ListFirstStall, ListWhole, ListLastPage, ListStall, ListPdf,
               ListEnc, ListPlain, ChartShown, ChartEnc, ChartPlain, Count };

// The list's every page in the preview, from the request (`t`), and its
// last page then drawn.
void wholePreview(Reporting &r, const QElapsedTimer &t, Measures &ms)
{
    reports::frmPrint *viewer = r.launcher.viewer();
    if (viewer->isLayingOut()) {
        QSignalSpy complete(viewer, &reports::frmPrint::previewComplete);
        if (!complete.wait(1800000))
            throw std::runtime_error("the whole preview was not laid out");
    }
    ms[ListWhole].push_back(msSince(t));
    auto *view = viewer->findChild<reports::ReportPageView *>(QStringLiteral("cr"));
    QElapsedTimer drawn;
    drawn.start();
    view->setCurrentPage(view->pageCount());
    if (view->pageImage(view->pageCount()).isNull())
        throw std::runtime_error("the last page was not drawn");
    QCoreApplication::processEvents();
    ms[ListLastPage].push_back(msSince(drawn));
}
// One run of every measurement; the queries alone on the file first, then
// on the plain copy, or the other way round.
void measureOnce(Reporting &r, bool plainFirst, const QString &person, const QString &from, const QString &to,
                 Measures &ms)
{
    ms[PersonShown].push_back(shownMillis(r, QStringLiteral("tamrel"), {{QStringLiteral("tamrel_no"), person}}));
    {
        QElapsedTimer t;
        t.start();
        {
            const StallProbe stalls;
            ms[ListShown].push_back(shownMillis(r, QStringLiteral("regdates"), {{QStringLiteral("from_date"), from}, {QStringLiteral("to_date"), to}}));
            ms[ListFirstStall].push_back(stalls.longest());
        }
        const StallProbe stalls; // while the rest is laid out and paged through
        wholePreview(r, t, ms);
        ms[ListStall].push_back(stalls.longest());
    }
    const QString pdf = QDir(r.world.folder()).filePath(QStringLiteral("list.pdf"));
    QSignalSpy done(r.launcher.viewer(), &reports::frmPrint::outputFinished);
    QElapsedTimer t;
    t.start();
    r.launcher.viewer()->savePdf(pdf);
    if (!done.wait(1800000) || !done.first().first().toBool())
        throw std::runtime_error("pdf not written");
    ms[ListPdf].push_back(msSince(t));
    ms[ChartShown].push_back(shownMillis(r, QStringLiteral("chnation"), core::ReportValues{}));
    for (const bool onPlain : {plainFirst, !plainFirst}) {
        const Opener &open = onPlain ? r.plain : r.encrypted;
        ms[onPlain ? PersonPlain : PersonEnc].push_back(
            queryMillis(r.reportDir, QStringLiteral("tamrel"), {{QStringLiteral("tamrel_no"), person}}, open));
        ms[onPlain ? ListPlain : ListEnc].push_back(
            queryMillis(r.reportDir, QStringLiteral("regdates"), {{QStringLiteral("from_date"), from}, {QStringLiteral("to_date"), to}}, open));
        ms[onPlain ? ChartPlain : ChartEnc].push_back(queryMillis(r.reportDir, QStringLiteral("chnation"), core::ReportValues{}, open));
    }
}

void printMeasures(const Measures &ms)
{
    std::printf("\n%-40s %10s %14s %14s %8s\n", "median ms", "shown", "queries, enc.", "queries, plain", "target");
    auto row = [&](const char *what, Measure shownAt, Measure enc, Measure pl, const char *target) {
        std::printf("%-40s %10.0f %14.0f %14.0f %8s\n", what, median(ms[shownAt]), median(ms[enc]),
                    median(ms[pl]), target);
    };
    row("person file: preview shown", PersonShown, PersonEnc, PersonPlain, "300");
    row("list of ~10,000: first page shown", ListShown, ListEnc, ListPlain, "1000");
    std::printf("%-40s %10.0f\n", "list of ~10,000: every page in the preview", median(ms[ListWhole]));
    std::printf("%-40s %10.0f %14s %14s %8s\n", "list of ~10,000: its last page drawn", median(ms[ListLastPage]), "", "", "100");
    std::printf("%-40s %10.0f %14s %14s %8s\n", "list: longest wait, to the first page", median(ms[ListFirstStall]), "", "", "100");
    std::printf("%-40s %10.0f %14s %14s %8s\n", "list: longest wait, rest laid out", median(ms[ListStall]), "", "", "100");
    std::printf("%-40s %10.0f %14s %14s %8s\n", "list of ~10,000: whole PDF saved", median(ms[ListPdf]), "", "",
                "10000");
    row("chart over all persons: shown", ChartShown, ChartEnc, ChartPlain, "2000");
    std::printf("peak memory: %.0f MB (target 500)\n", bench::peakMegabytes());
}

void runReports(Reporting &r, int runs)
{
    engine::Database &db = r.world.store().db();
    const qint64 count = db.scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong();
    const QString person = QString::number(count / 2);
    // The program's first report on this file: a file made before the
    // report index gets it now, once.
    const double first = shownMillis(r, QStringLiteral("tamrel"), {{QStringLiteral("tamrel_no"), person}});
    QElapsedTimer t;
    t.start();
    core::schema::addMissingIndexes(*r.plain());
    const double plainIndex = msSince(t);

    // About 10,000 persons by their date of Islam, from the first day of 1430.
    const QString from = QStringLiteral("14300101");
    const QString to = db.scalar(QStringLiteral("SELECT dateofislam FROM tamrel WHERE dateofislam >= ? "
                                                "ORDER BY dateofislam LIMIT 1 OFFSET 9999"),
                                 {from})
                           .toString();
    const qint64 listed = db.scalar(QStringLiteral("SELECT count(*) FROM tamrel WHERE dateofislam BETWEEN ? AND ?"),
                                    {from, to})
                              .toLongLong();
    std::printf("%lld persons; list report %s..%s = %lld persons; person file of number %s; %d runs\n", count,
                qPrintable(from), qPrintable(to), listed, qPrintable(person), runs);
    std::printf("first report on the file (with the report index, when missing): %.1f s; "
                "the index on the plain copy: %.1f s\n",
                first / 1000, plainIndex / 1000);

    Measures ms(Count);
    bench::resetPeak(); // not what building the file took
    for (int i = 0; i < runs; ++i)
        measureOnce(r, i % 2, person, from, to, ms);
    printMeasures(ms);
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchProcess process(argc, argv);
    bench::CommandLine &args = process.args();
    const int persons = int(args.option("--persons", 1000000));
    const int runs = int(args.option("--runs", 5));
    bench::ScreenBench world(args.folder(QStringLiteral("/tmp/velm-bench-reports")));
    if (!world.prepare([&](const QString &file) { bench::buildRegister(file, persons); }))
        return 1;
    installReports(world.folder());

    try {
        core::DataStore &store = world.store();
        NoDialogs dialogs;
        reports::ReportLauncher launcher(world.ctx(), &dialogs);
        world.ctx().reports = &launcher;
        Reporting reporting{world, launcher, world.folder(), [&store] { return store.openViewConnection(); },
                            [&world] {
                                auto d = std::make_unique<engine::Database>();
                                if (!world.openPlain(*d))
                                    throw std::runtime_error("no plain copy");
                                return d;
                            }};
        runReports(reporting, runs);
    } catch (const engine::EngineError &e) {
        std::fprintf(stderr, "bench_reports: %d %s\n", e.number(), qPrintable(e.description()));
        return 1;
    } catch (const reports::ReportError &e) {
        std::fprintf(stderr, "bench_reports: %s\n", qPrintable(e.message()));
        return 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_reports: %s\n", e.what());
        return 1;
    }
    return 0;
}
