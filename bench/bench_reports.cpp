// bench_reports <office-db> [runs]: the reports on a large register (make
// one with velm-fill, e.g. 1,000,000 persons), timed from the request to the
// preview shown: the person file, a list of about 10,000 persons (first page
// and the whole PDF, with the process's peak memory) and a chart over all
// persons. The same report queries also run alone on the file and on a
// plain (unencrypted) copy beside it (bench-reports-plain.db, made with the
// sqlcipher shell as the program says), side by side. A file made before
// the report index gets it from the first report, as in the program; that
// one-time cost is printed apart. Medians of the runs.

#include "AppContext.h"
#include "CmnSub.h"
#include "OpenDb.h"
#include "ReportData.h"
#include "ReportDialogs.h"
#include "ReportLauncher.h"
#include "Schema.h"
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

using Opener = std::function<std::unique_ptr<engine::Database>()>;

// Milliseconds of the report's queries alone on one file.
double queryMillis(const QString &reportDir, const QString &name, const QStringList &values, const Opener &open)
{
    reports::QueryRunner runner(open);
    QElapsedTimer t;
    t.start();
    runner.run(reports::readReportFile(reportDir + QLatin1Char('/') + name + QStringLiteral(".rpt")), values, {});
    return t.nsecsElapsed() / 1e6;
}

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
    if (!QFileInfo::exists(plainFile)) {
        std::fprintf(stderr, "bench_reports: make the plain copy first:\n  sqlcipher %s \"PRAGMA key='zk'; "
                             "ATTACH DATABASE '%s' AS plain KEY ''; SELECT sqlcipher_export('plain');\"\n",
                     qPrintable(dbFile), qPrintable(plainFile));
        return 2;
    }

    try {
        const Opener encrypted = [&] {
            auto d = std::make_unique<engine::Database>();
            d->open(dbFile, password());
            return d;
        };
        const Opener plain = [&] {
            auto d = std::make_unique<engine::Database>();
            d->openPlain(plainFile);
            return d;
        };

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
        ctx.reports = &launcher;

        auto shown = [&](const QString &name, const QStringList &values) {
            QSignalSpy spy(&launcher, &reports::ReportLauncher::reportShown);
            QElapsedTimer t;
            t.start();
            if (!launcher.showReport(name, values) || !spy.wait(1800000))
                throw std::runtime_error("report not shown");
            QCoreApplication::processEvents(); // the preview paints its pages
            return t.nsecsElapsed() / 1e6;
        };

        qint64 persons = 0;
        QString person;
        {
            auto db = encrypted();
            persons = db->scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong();
            person = QString::number(persons / 2);
        }
        // The program's first report on this file: a file made before the
        // report index gets it now, once.
        const double first = shown(QStringLiteral("tamrel"), {person});
        QElapsedTimer t;
        t.start();
        core::schema::addMissingIndexes(*plain());
        const double plainIndex = t.nsecsElapsed() / 1e6;

        // About 10,000 persons by their date of Islam, from the first day of 1430.
        const QString from = QStringLiteral("14300101");
        QString to;
        qint64 listed = 0;
        {
            auto db = encrypted();
            to = db->scalar(QStringLiteral("SELECT dateofislam FROM tamrel WHERE dateofislam >= ? "
                                           "ORDER BY dateofislam LIMIT 1 OFFSET 9999"), {from}).toString();
            listed = db->scalar(QStringLiteral("SELECT count(*) FROM tamrel WHERE dateofislam BETWEEN ? AND ?"),
                                {from, to}).toLongLong();
        }
        std::printf("%lld persons; list report %s..%s = %lld persons; person file of number %s; %d runs\n",
                    persons, qPrintable(from), qPrintable(to), listed, qPrintable(person), runs);
        std::printf("first report on the file (with the report index, when missing): %.1f s; "
                    "the index on the plain copy: %.1f s\n", first / 1000, plainIndex / 1000);

        enum Measure { PersonShown, PersonEnc, PersonPlain, ListShown, ListPdf, ListEnc, ListPlain,
                       ChartShown, ChartEnc, ChartPlain, Count };
        std::vector<std::vector<double>> ms(Count);
        for (int i = 0; i < runs; ++i) {
            ms[PersonShown].push_back(shown(QStringLiteral("tamrel"), {person}));
            ms[ListShown].push_back(shown(QStringLiteral("regdates"), {from, to}));
            const QString pdf = programDir.filePath(QStringLiteral("list.pdf"));
            QSignalSpy done(launcher.viewer(), &reports::frmPrint::outputFinished);
            t.restart();
            launcher.viewer()->savePdf(pdf);
            if (!done.wait(1800000) || !done.first().first().toBool())
                throw std::runtime_error("pdf not written");
            ms[ListPdf].push_back(t.nsecsElapsed() / 1e6);
            ms[ChartShown].push_back(shown(QStringLiteral("chnation"), {}));
            ms[PersonEnc].push_back(queryMillis(reportDir, QStringLiteral("tamrel"), {person}, encrypted));
            ms[PersonPlain].push_back(queryMillis(reportDir, QStringLiteral("tamrel"), {person}, plain));
            ms[ListEnc].push_back(queryMillis(reportDir, QStringLiteral("regdates"), {from, to}, encrypted));
            ms[ListPlain].push_back(queryMillis(reportDir, QStringLiteral("regdates"), {from, to}, plain));
            ms[ChartEnc].push_back(queryMillis(reportDir, QStringLiteral("chnation"), {}, encrypted));
            ms[ChartPlain].push_back(queryMillis(reportDir, QStringLiteral("chnation"), {}, plain));
        }

        std::printf("\n%-40s %10s %14s %14s %8s\n", "median ms", "shown", "queries, enc.", "queries, plain", "target");
        auto row = [&](const char *what, Measure shownAt, Measure enc, Measure pl, const char *target) {
            std::printf("%-40s %10.0f %14.0f %14.0f %8s\n", what, median(ms[shownAt]), median(ms[enc]),
                        median(ms[pl]), target);
        };
        row("person file: preview shown", PersonShown, PersonEnc, PersonPlain, "300");
        row("list of ~10,000: first page shown", ListShown, ListEnc, ListPlain, "1000");
        std::printf("%-40s %10.0f %14s %14s %8s\n", "list of ~10,000: whole PDF saved", median(ms[ListPdf]), "", "",
                    "10000");
        row("chart over all persons: shown", ChartShown, ChartEnc, ChartPlain, "2000");
        std::printf("peak memory: %.0f MB (target 500)\n", peakMegabytes());
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
