// The person list of the person screen exported to XLSX and CSV as the
// clerk exports it: the list of the whole register, and the same list
// sorted by the new name, written through the grid's export, timed from the
// request to the file in its place; with the process's peak memory and the
// longest the window waited for its events meanwhile. Beside it, the
// reference: the same rows read again by their identities on a connection
// of their own, writing nothing.
//
//   bench_export [FOLDER] [--persons N] [--runs R]
//
// FOLDER holds the register (built with N persons and their related rows
// when missing, 1,000,000 by default) and, while they are measured, the
// exported files.
#include "bench/BenchSupport.h"
#include "registry/frmTamrel.h"
#include "screens/DataGrid.h"
#include "engine/Database.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <sys/resource.h>

namespace {

using bench::out;

// CPU seconds the process has used: on a shared machine the wall time
// alone says little.
double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct ExportRun {
    double ms = 0;
    double cpu = 0;
    double peakMb = 0;
    double residentBeforeMb = 0;
    double longestWaitMs = 0;
    qint64 rows = 0;
    double fileMb = 0;
};

// Measures how long the window's events wait while `work` goes on.
class Liveness : public QObject {
public:
    Liveness()
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            m_longest = qMax(m_longest, bench::msSince(m_since) - 10);
            m_since.restart();
        });
    }
    void start()
    {
        m_longest = 0;
        m_since.start();
        m_timer.start();
    }
    double stop()
    {
        m_timer.stop();
        return qMax(0.0, m_longest);
    }

private:
    QTimer m_timer;
    QElapsedTimer m_since;
    double m_longest = 0;
};

ExportRun exportOnce(core::DataGrid *grid, const QString &path, sheets::Format format)
{
    ExportRun r;
    QFile::remove(path);
    bench::resetPeak();
    r.residentBeforeMb = bench::residentMegabytes();
    Liveness live;
    QEventLoop loop;
    bool written = false;
    auto done = QObject::connect(&grid->exporter(), &core::GridExport::finished, &loop,
                                 [&](bool ok, const QString &, qint64 rows) {
                                     written = ok;
                                     r.rows = rows;
                                     loop.quit();
                                 });
    QElapsedTimer t;
    const double cpu = cpuSeconds();
    t.start();
    live.start();
    grid->exporter().start(path, format);
    loop.exec();
    r.ms = bench::msSince(t);
    r.cpu = cpuSeconds() - cpu;
    r.longestWaitMs = live.stop();
    r.peakMb = bench::peakMegabytes();
    QObject::disconnect(done);
    r.fileMb = QFileInfo(path).size() / 1048576.0;
    if (!written)
        out() << "  the export FAILED" << Qt::endl;
    QFile::remove(path);
    return r;
}

// The rows of the grid read again by identity, nothing written.
double readOnly(core::DataGrid *grid, double *cpu)
{
    const core::DataSource::RowsInOrder rows = grid->dataSource()->rowsInOrder();
    const double before = cpuSeconds();
    QElapsedTimer t;
    t.start();
    engine::Database db;
    db.open(rows.openSpec);
    engine::Statement fetch(db, rows.fetchSql);
    qint64 read = 0;
    for (qsizetype from = 0; from < rows.ids.size(); from += 1024)
        read += core::DataSource::readRows(fetch, rows.fetchSlots, rows.ids.mid(from, 1024)).size();
    const double ms = bench::msSince(t);
    *cpu = cpuSeconds() - before;
    if (read != rows.count())
        out() << "  reference read " << read << " of " << rows.count() << " rows" << Qt::endl;
    return ms;
}

void measure(core::DataGrid *grid, const QString &what, const QString &folder, sheets::Format format, int runs)
{
    std::vector<double> ms, peak, wait, cpu;
    ExportRun last;
    for (int i = 0; i < runs; ++i) {
        last = exportOnce(grid, QDir(folder).filePath(QStringLiteral("export.") + sheets::suffixOf(format)), format);
        ms.push_back(last.ms);
        peak.push_back(last.peakMb);
        wait.push_back(last.longestWaitMs);
        cpu.push_back(last.cpu);
    }
    bench::line(QStringLiteral("%1 to %2").arg(what, sheets::suffixOf(format).toUpper()), bench::median(ms),
                QStringLiteral("%1 rows, %2 MB file, %6 s CPU; peak %3 MB (%4 MB before); the window waited at most %5 ms")
                    .arg(last.rows)
                    .arg(last.fileMb, 0, 'f', 1)
                    .arg(bench::median(peak), 0, 'f', 0)
                    .arg(last.residentBeforeMb, 0, 'f', 0)
                    .arg(bench::median(wait), 0, 'f', 0)
                    .arg(bench::median(cpu), 0, 'f', 2));
}

// Until every row of the list is in the grid, the last ones included.
void waitForTheList(core::DataSource &list)
{
    bench::waitWhileRunning(list);
    while (list.model()->canFetchMore())
        list.model()->fetchMore();
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchProcess process(argc, argv);
    bench::CommandLine &args = process.args();
    const int persons = int(args.option("--persons", 1000000));
    const int runs = int(qMax<qint64>(1, args.option("--runs", 1)));
    bench::ScreenBench world(args.folder(QStringLiteral("/tmp/velm-bench-export")));
    if (!world.prepare([&](const QString &file) { bench::buildRegister(file, persons); }))
        return 1;
    const qint64 registered = world.store().db().scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong();
    out() << QStringLiteral("%1: %2 persons, %3 MB (warm: the file in the OS cache), medians of %4 run(s)")
                 .arg(world.file())
                 .arg(registered)
                 .arg(QFileInfo(world.file()).size() / 1048576.0, 0, 'f', 0)
                 .arg(runs)
          << Qt::endl;

    auto screen = std::make_unique<registry::frmTamrel>(world.ctx());
    screen->show();
    auto *grid = screen->findChild<core::DataGrid *>(QStringLiteral("DBGrid1"));
    auto *list = screen->findChild<core::DataSource *>(QStringLiteral("tamrel_data"));
    waitForTheList(*list);
    out() << QStringLiteral("person list: %1 rows, %2 columns; RSS %3 MB")
                 .arg(grid->rowCount())
                 .arg(grid->columnCount())
                 .arg(bench::residentMegabytes(), 0, 'f', 0)
          << Qt::endl;

    double cpu = 0;
    double ms = readOnly(grid, &cpu);
    bench::line(QStringLiteral("reference: the rows read again, nothing written"), ms,
                QStringLiteral("%1 s CPU").arg(cpu, 0, 'f', 2));
    measure(grid, QStringLiteral("the whole register"), world.folder(), sheets::Format::Xlsx, runs);
    measure(grid, QStringLiteral("the whole register"), world.folder(), sheets::Format::Csv, runs);

    grid->sortByHeading(grid->gridColumn(list->model()->fieldIndex(QStringLiteral("a_new_name"))));
    waitForTheList(*list);
    ms = readOnly(grid, &cpu);
    bench::line(QStringLiteral("reference: the sorted rows read again"), ms, QStringLiteral("%1 s CPU").arg(cpu, 0, 'f', 2));
    measure(grid, QStringLiteral("sorted by the new name"), world.folder(), sheets::Format::Xlsx, runs);
    return 0;
}
