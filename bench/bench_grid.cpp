// Opening a large table in a list grid: how long until the first rows are
// on screen, and how much memory the process holds before opening, after
// opening, at every scroll position and through a heading sort.
//
//   bench_grid                      builds a temporary file of 1,000,000 rows
//   bench_grid --rows N             ... of N rows
//   bench_grid FILE [TABLE]         opens an existing encrypted file (key of
//                                   the office database), table tamrel by default;
//                                   a FILE that does not exist yet is built first
#include "bench/BenchSupport.h"
#include "screens/DataGrid.h"
#include "data/OpenDb.h"
#include "engine/Database.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTextStream>

#include <cstdio>

namespace {

QTextStream out(stdout);

// One line: what happened, how long it took (when timed), the RSS now.
void report(const char *what, double ms = -1)
{
    const QString time = ms < 0 ? QString(12, QLatin1Char(' '))
                                : QStringLiteral("%1 ms,").arg(ms, 9, 'f', 1);
    out << QStringLiteral("%1 %2 RSS %3 MB")
               .arg(QString::fromLatin1(what), -34)
               .arg(time)
               .arg(bench::residentMegabytes(), 0, 'f', 1)
        << Qt::endl;
}

// A witnesses-shaped table of `rows` rows, written with one prepared
// insert in one transaction.
void build(const QString &path, const QString &table, int rows)
{
    engine::Database db;
    db.create(path, core::passwordFromConnect(QLatin1String(core::kConnectString)));
    db.execute(QStringLiteral("CREATE TABLE \"%1\" (NAME TEXT COLLATE FOLDCASE PRIMARY KEY NOT NULL, "
                              "english_NAME TEXT, TELEPHONE TEXT, PAGER TEXT, ADDRESS TEXT, job TEXT)")
                   .arg(table));
    QElapsedTimer t;
    t.start();
    try {
        engine::Statement insert(db, QStringLiteral("INSERT INTO \"%1\" VALUES (?, ?, ?, ?, ?, ?)").arg(table));
        engine::BackendStatement &st = *insert.handle();
        engine::Transaction tx(db);
        const QByteArray address = QStringLiteral("الرياض - حي الملز - شارع ").toUtf8();
        for (int i = 0; i < rows; ++i) {
            const QByteArray name = QStringLiteral("شاهد %1").arg(i, 7, 10, QLatin1Char('0')).toUtf8();
            const QByteArray english = QByteArray("Witness ") + QByteArray::number(i);
            const QByteArray phone = QByteArray::number(500000000 + i);
            const QByteArray street = address + QByteArray::number(i % 977);
            st.bindText(1, name);
            st.bindText(2, english);
            st.bindText(3, phone);
            st.bindText(4, " ");
            st.bindText(5, street);
            st.bindText(6, i % 3 ? "teacher" : "engineer");
            insert.step();
        }
        tx.commit();
    } catch (const engine::EngineError &e) {
        std::fprintf(stderr, "engine: %s\n", e.what());
        std::exit(2);
    }
    db.close();
    out << QStringLiteral("built %1 rows in %2 s (%3 MB file)")
               .arg(rows)
               .arg(t.elapsed() / 1000.0, 0, 'f', 1)
               .arg(QFileInfo(path).size() / 1048576.0, 0, 'f', 1)
        << Qt::endl;
}

// Scrolls the grid so that `row` is current, reading on as the view would.
void scrollTo(core::DataGrid &grid, int row, const char *what)
{
    QElapsedTimer t;
    t.start();
    if (!grid.setCurrentRow(row)) {
        out << "row " << row << " does not exist" << Qt::endl;
        return;
    }
    grid.viewport()->repaint();
    QCoreApplication::processEvents();
    report(what, t.nsecsElapsed() / 1e6);
}

// The file opened as a grid's own connection opens it: that is its price.
bool openTimed(engine::Database &db, const QString &path)
{
    const QString key = core::passwordFromConnect(QLatin1String(core::kConnectString));
    QElapsedTimer opening;
    opening.start();
    try {
        db.open(path, key);
    } catch (const engine::EngineError &e) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(path), e.what());
        return false;
    }
    report("connection opened (key checked)", opening.nsecsElapsed() / 1e6);
    return true;
}

// The table opened in the grid: the first rows shown, then every row known.
bool openInGrid(core::DataGrid &grid, core::DataSource &source, engine::Database &db, const QString &table)
{
    source.setDatabase(db);
    source.setQuery(QStringLiteral("select * from [%1]").arg(table));
    QElapsedTimer t;
    t.start();
    try {
        grid.setDataSource(&source);
        source.refresh();
    } catch (const engine::EngineError &e) {
        std::fprintf(stderr, "query failed: %s\n", e.what());
        return false;
    }
    grid.viewport()->repaint();
    QCoreApplication::processEvents();
    report("first rows shown", t.nsecsElapsed() / 1e6);
    // The rest of the row identities come from the background.
    bench::waitWhileRunning(source);
    report("every row known", t.nsecsElapsed() / 1e6);
    out << "rows: " << source.model()->rowCount() << Qt::endl;
    return true;
}

void scrollAround(core::DataGrid &grid, const core::DataSource &source, int last)
{
    scrollTo(grid, 10000, "scrolled to row 10,000");
    scrollTo(grid, 100000, "scrolled to row 100,000");
    scrollTo(grid, last / 2, "scrolled to the middle");
    scrollTo(grid, last, "scrolled to the last row");
    scrollTo(grid, 0, "scrolled back to the first row");
    out << "rows held in memory: " << source.model()->heldRows() << Qt::endl;
}

// A heading click on the large result: only (value, row) pairs are
// sorted, in the background; the rows shown are read as shown.
void sortByHeading(core::DataGrid &grid, core::DataSource &source, int last)
{
    QElapsedTimer t;
    t.start();
    grid.setSortModifiers(Qt::ShiftModifier);
    grid.sortByHeading(1);
    QCoreApplication::processEvents();
    report("heading clicked (window free again)", t.nsecsElapsed() / 1e6);
    bench::waitWhileRunning(source);
    grid.viewport()->repaint();
    QCoreApplication::processEvents();
    report("sorted by column 1 (desc) shown", t.nsecsElapsed() / 1e6);
    out << "first row after the sort: " << grid.value(0, 0) << Qt::endl;
    scrollTo(grid, last / 2, "sorted, scrolled to the middle");
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchProcess process(argc, argv);
    bench::CommandLine &args = process.args();
    const int rows = int(args.option("--rows", 1000000));
    QTemporaryDir dir;
    QString path = args.argument(0);
    const QString table = args.argument(1, path.isEmpty() ? QStringLiteral("witnesses") : QStringLiteral("tamrel"));
    if (path.isEmpty())
        path = dir.filePath(QStringLiteral("bench_grid.mdb"));
    if (!QFileInfo::exists(path))
        build(path, table, rows);

    engine::Database db;
    if (!openTimed(db, path))
        return 1;
    const qint64 total = db.scalar(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(table)).toLongLong();
    out << "table " << table << ": " << total << " rows" << Qt::endl;

    core::DataGrid grid;
    grid.resize(1000, 600);
    grid.show();
    QCoreApplication::processEvents();
    report("before opening");

    core::DataSource source(QStringLiteral("bench_DATA"));
    if (!openInGrid(grid, source, db, table))
        return 1;
    const int last = source.model()->rowCount() - 1;
    scrollAround(grid, source, last);
    sortByHeading(grid, source, last);
    out << "peak memory of the process: " << bench::peakMegabytes() << " MB" << Qt::endl;
    return 0;
}
