// bench_reports <office-db> [runs]: the reports on a large register (make
// one with velm-fill, e.g. 1,000,000 persons), timed from the request to the
// preview shown: the person file, a list of about 10,000 persons (first page
// and the whole PDF, with the process's peak memory) and a chart over all
// persons. The same report queries also run on a plain (unencrypted) copy
// beside the file (bench-reports-plain.db, made with the sqlcipher shell as
// the program says), side by side. Then the indexes that the date and chart reports can use are
// added to both files and everything is measured again. Medians of the runs.

#include "AppContext.h"
#include "CmnSub.h"
#include "OpenDb.h"
#include "ReportData.h"
#include "ReportDialogs.h"
#include "ReportLauncher.h"
#include "Services.h"
#include "frmPrint.h"
#include "engine/Database.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <sys/resource.h>

namespace {

struct PrintingMessages : core::MessageService {
    void show(const QString &text, QWidget *) override { std::fprintf(stderr, "message: %s\n", qPrintable(text)); }
    bool confirm(const QString &, const QString &, bool, Icon, QWidget *) override { return false; }
};
struct NoInput : core::InputService {
    std::optional<QString> ask(const QString &, const QString &, const QString &, QWidget *) override { return {}; }
};
struct NoFiles : core::FileOpener {
    bool open(const QString &) override { return false; }
};
struct NoDialogs : reports::ReportDialogs {
    bool choosePrinter(QPrinter &, QWidget *) override { return false; }
    QString choosePdfFile(const QString &, QWidget *) override { return {}; }
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

QString password()
{
    return core::passwordFromConnect(QLatin1String(core::kConnectString));
}

// Milliseconds of the report's queries alone on one file.
double queryMillis(const QString &reportDir, const QString &name, const QStringList &values,
                   const std::function<std::unique_ptr<engine::Database>()> &open)
{
    reports::QueryRunner runner(open);
    QElapsedTimer t;
    t.start();
    runner.run(reports::readReportFile(reportDir + QLatin1Char('/') + name + QStringLiteral(".rpt")), values, {});
    return t.nsecsElapsed() / 1e6;
}

struct Figures {
    double personShown = 0, listFirstPage = 0, listPdf = 0, chartShown = 0;
    double personQuery = 0, listQuery = 0, chartQuery = 0;
    double personPlain = 0, listPlain = 0, chartPlain = 0;
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_reports <office-db> [runs]\n");
        return 2;
    }
    const QString dbFile = QFileInfo(QString::fromLocal8Bit(argv[1])).absoluteFilePath();
    const int runs = argc > 2 ? qMax(1, atoi(argv[2])) : 5;
    const QString reportDir = QStringLiteral(VELM_STARTER_REPORT_DIR);
    const QString plainFile = QFileInfo(dbFile).absolutePath() + QStringLiteral("/bench-reports-plain.db");

    try {
        engine::Database db;
        db.open(dbFile, password());
        const qint64 persons = db.scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong();
        // About 10,000 persons by their date of Islam, from the first day of 1430.
        const QString from = QStringLiteral("14300101");
        const QString to = db.scalar(QStringLiteral("SELECT dateofislam FROM tamrel WHERE dateofislam >= ? "
                                                    "ORDER BY dateofislam LIMIT 1 OFFSET 9999"), {from}).toString();
        const qint64 listed = db.scalar(QStringLiteral("SELECT count(*) FROM tamrel WHERE dateofislam BETWEEN ? AND ?"),
                                        {from, to}).toLongLong();
        const QString person = QString::number(persons / 2);
        if (!QFileInfo::exists(plainFile)) {
            std::fprintf(stderr, "bench_reports: make the plain copy first:\n  sqlcipher %s \"PRAGMA key='zk'; "
                                 "ATTACH DATABASE '%s' AS plain KEY ''; SELECT sqlcipher_export('plain');\"\n",
                         qPrintable(dbFile), qPrintable(plainFile));
            return 2;
        }
        db.close();
        std::printf("%lld persons; list report %s..%s = %lld persons; person file of number %s; %d runs\n",
                    persons, qPrintable(from), qPrintable(to), listed, qPrintable(person), runs);

        QTemporaryDir programDir;
        core::DataStore store(programDir.path());
        store.config().dataDir = reportDir;
        store.config().dbFile = dbFile;
        store.config().pictureDir = programDir.path();
        PrintingMessages messages;
        NoInput input;
        NoFiles files;
        core::LogonState logon{QStringLiteral("1445"), QStringLiteral("09"), QStringLiteral("01"), {}, {}};
        core::CmnSub cmn(store, messages);
        core::AppContext ctx{store, messages, input, files, logon, cmn};
        NoDialogs dialogs;
        reports::ReportLauncher launcher(ctx, &dialogs);

        auto shown = [&](const QString &name, const QStringList &values) {
            QSignalSpy spy(&launcher, &reports::ReportLauncher::reportShown);
            QElapsedTimer t;
            t.start();
            if (!launcher.showReport(name, values) || !spy.wait(600000))
                throw std::runtime_error("report not shown");
            QCoreApplication::processEvents(); // the preview paints its pages
            return t.nsecsElapsed() / 1e6;
        };
        auto encrypted = [&] {
            auto d = std::make_unique<engine::Database>();
            d->open(dbFile, password());
            return d;
        };
        auto plain = [&] {
            auto d = std::make_unique<engine::Database>();
            d->openPlain(plainFile);
            return d;
        };

        auto measure = [&] {
            std::vector<double> p, lf, lp, c, pq, lq, cq, pp, lpq, cp;
            for (int i = 0; i < runs; ++i) {
                p.push_back(shown(QStringLiteral("tamrel"), {person}));
                lf.push_back(shown(QStringLiteral("regdates"), {from, to}));
                const QString pdf = programDir.filePath(QStringLiteral("list.pdf"));
                QSignalSpy done(launcher.viewer(), &reports::frmPrint::outputFinished);
                QElapsedTimer t;
                t.start();
                launcher.viewer()->savePdf(pdf);
                if (!done.wait(600000) || !done.first().first().toBool())
                    throw std::runtime_error("pdf not written");
                lp.push_back(t.nsecsElapsed() / 1e6);
                c.push_back(shown(QStringLiteral("chnation"), {}));
                pq.push_back(queryMillis(reportDir, QStringLiteral("tamrel"), {person}, encrypted));
                pp.push_back(queryMillis(reportDir, QStringLiteral("tamrel"), {person}, plain));
                lq.push_back(queryMillis(reportDir, QStringLiteral("regdates"), {from, to}, encrypted));
                lpq.push_back(queryMillis(reportDir, QStringLiteral("regdates"), {from, to}, plain));
                cq.push_back(queryMillis(reportDir, QStringLiteral("chnation"), {}, encrypted));
                cp.push_back(queryMillis(reportDir, QStringLiteral("chnation"), {}, plain));
            }
            return Figures{median(p), median(lf), median(lp), median(c), median(pq), median(lq), median(cq),
                           median(pp), median(lpq), median(cp)};
        };

        const Figures before = measure();
        const double memory = peakMegabytes();

        // The indexes these reports can use; neither file has them by default.
        const QStringList indexes = {
            QStringLiteral("CREATE INDEX IF NOT EXISTS tamrel_dateofislam_idx ON tamrel (dateofislam)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS tamrel_nationality_idx ON tamrel (nationality, dateofislam)")};
        QElapsedTimer t;
        t.start();
        for (auto open : {std::function<std::unique_ptr<engine::Database>()>(encrypted),
                          std::function<std::unique_ptr<engine::Database>()>(plain)}) {
            auto d = open();
            for (const QString &sql : indexes)
                d->execute(sql);
        }
        std::printf("indexes added to both files in %.1f s\n", t.elapsed() / 1000.0);
        const Figures after = measure();

        std::printf("\n%-46s %12s %12s %8s\n", "median ms", "no index", "indexes", "target");
        auto row = [](const char *what, double a, double b, const char *target) {
            std::printf("%-46s %12.0f %12.0f %8s\n", what, a, b, target);
        };
        row("person file: preview shown", before.personShown, after.personShown, "300");
        row("  its queries, encrypted", before.personQuery, after.personQuery, "");
        row("  its queries, plain SQLite", before.personPlain, after.personPlain, "");
        row("list of ~10,000: first page shown", before.listFirstPage, after.listFirstPage, "1000");
        row("list of ~10,000: whole PDF saved", before.listPdf, after.listPdf, "10000");
        row("  its queries, encrypted", before.listQuery, after.listQuery, "");
        row("  its queries, plain SQLite", before.listPlain, after.listPlain, "");
        row("chart over all persons: shown", before.chartShown, after.chartShown, "2000");
        row("  its queries, encrypted", before.chartQuery, after.chartQuery, "");
        row("  its queries, plain SQLite", before.chartPlain, after.chartPlain, "");
        std::printf("peak memory after the first round: %.0f MB (target 500); at the end: %.0f MB\n", memory,
                    peakMegabytes());
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
