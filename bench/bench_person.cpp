// The person screen on the full register: how long it opens, how long each
// record button takes (find, next, previous, add, update) and how the person
// search goes on one and on three criteria (first rows, whole search); the
// same reads and writes and the same LIKE scans are run directly through the
// engine on the encrypted file and on a plain copy, side by side. Medians.
//
//   bench_person [FOLDER] [--persons N] [--runs R] [--cold C] [--warm W]
//                [--audit A] [--audit-only 1] [--screen-only 1] [--search-only 1]
//                [--uncached 1]
//                [--server CONNECTION]
//
// FOLDER (default /tmp/velm-bench-tamrel) holds velm.mdb; when it is missing
// it is built with N persons (default 1,000,000) and their related rows, and
// the plain copy velm-plain.db next to it. R (default 5) screen openings and
// 200 of each button; searches: C (default 3) first searches, each on a
// fresh search connection (its page cache empty; screen, engine and plain
// copy in turns), and W (default 5) searches
// again on a warm one. Each search is timed through the screen (click to
// the last row in the list) and directly four ways: answered from the
// search index and by the full scan, on the encrypted file and on the plain
// copy. --uncached 1 takes the files out of the computer's file cache before
// each first search (as after a restart; posix_fadvise, no other file is
// touched). Then the index's size beside the register's, the likely-
// duplicates check of the sampled persons and a build of the index from
// nothing as the logon makes it.
//
// The audit trail: the file is given A audit rows (default 5,000,000; rows
// it already holds count; 0 adds none), then a person save of one field
// through the screen is timed without the trail and with it, in turns, and
// the viewer's select (newest first) for its first 100 rows, unfiltered and
// filtered by a person's number, directly and through a list as the viewer
// shows it. --audit-only 1 skips every other measurement; --screen-only 1
// times the screen's opening and buttons and nothing else, --search-only 1
// the searches and the index's figures. The saves leave
// their audit rows behind (nothing removes them); the fields are put back.
//
// With --server, the screen works on that PostgreSQL database instead (the
// register copied there when it holds no office rows): the same steps,
// whose "encrypted" side is then the server; the plain copy stays a file.

#include "bench/BenchSupport.h"
#include "screens/DataGrid.h"
#include "registry/PersonSearch.h"
#include "data/AuditTrail.h"
#include "data/Schema.h"
#include "synthetic/SyntheticData.h"
#include "engine/Database.h"
#include "engine/QueryCursor.h"
#include "engine/ResultPlan.h"
#include "engine/TableCursor.h"
#include "registry/LikelyDuplicates.h"
#include "registry/frmTamrel.h"
#include "data/SearchIndexBuild.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <random>

namespace {

using bench::both;
using bench::line;
using bench::median;
using bench::msSince;
using bench::out;
using bench::timed;
using registry::frmTamrel;

// Messages are expected (added, updated) or tell of a failure: counted,
// and printed when unexpected.
class CountingMessages : public core::MessageService {
public:
    void show(const QString &text, QWidget *) override
    {
        ++shown;
        if (!expected.contains(text.trimmed()))
            out() << "message: " << text << Qt::endl;
    }
    bool confirm(const QString &text, const QString &, bool, Icon, QWidget *) override
    {
        out() << "question: " << text << Qt::endl;
        return false;
    }
    QStringList expected;
    int shown = 0;
};

// Numbers of the persons the benchmark adds, beyond any synthetic register.
constexpr qint64 kFirstAdded = 900000000;

void build(const QString &path, int persons)
{
    QElapsedTimer t;
    t.start();
    core::schema::createFirstDatabase(path, bench::officeKey());
    engine::Database db;
    db.open(path, bench::officeKey());
    const core::SyntheticCounts c = core::fillSynthetic(db, persons, 2024);
    db.close();
    out() << QStringLiteral("built %1 persons, %2 steps, %3 courses in %4 s, %5 MB")
                 .arg(c.persons)
                 .arg(c.followUps)
                 .arg(c.courses)
                 .arg(t.elapsed() / 1000.0, 0, 'f', 1)
                 .arg(QFileInfo(path).size() / 1048576.0, 0, 'f', 0)
          << Qt::endl;
}

void settle()
{
    QCoreApplication::processEvents();
}

// Until the list's background run has ended.
void waitIdle(core::DataSource *source)
{
    bench::waitWhileRunning(*source);
    settle();
}

// The page cache a list's search connection keeps (as the data grid gives it).
qint64 listCacheKiB(const QString &path)
{
    const qint64 file = QFileInfo(path).size() / 1024;
    const qint64 quarter = qint64(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGE_SIZE) / 4 / 1024;
    return qBound<qint64>(8 * 1024, file + file / 8, quarter);
}

struct Search {
    QString name;
    QList<std::pair<QString, QString>> typed; // control, text
    QList<std::pair<QString, QString>> criteria; // field, text
};

struct SearchTimes {
    std::vector<double> click, first, whole;
    qint64 rows = 0;
};

struct Scan {
    std::vector<double> first, whole;
    qint64 rows = 0;
};

// The search's select run directly: the identities the screen's search reads.
Scan runScan(engine::Database &db, const QString &idSql, const QVariantList &values, Scan scan)
{
    QElapsedTimer t;
    t.start();
    engine::Statement s(db, idSql);
    s.bind(values);
    qint64 rows = 0;
    double first = -1;
    while (s.step()) {
        if (rows++ == 0)
            first = msSince(t);
        s.integer(0); // the identity, as the search takes it
    }
    s.reset();
    scan.whole.push_back(msSince(t));
    scan.first.push_back(first < 0 ? msSince(t) : first);
    scan.rows = rows;
    return scan;
}

// What the measurements share: the register and its plain copy, the
// persons sampled, the screen with its list and the persons it added.
struct PersonBench {
    bench::ScreenBench &world;
    core::AppContext &ctx;
    engine::Database &db;
    engine::Database plain;
    QStringList sample;
    std::unique_ptr<frmTamrel> screen;
    core::DataSource *list = nullptr;
    core::DataGrid *grid = nullptr;
    qint64 added = 0;

    QPushButton *button(const char *name) const { return screen->findChild<QPushButton *>(QLatin1String(name)); }
};

// Persons spread over the register, the same for every measurement.
QStringList samplePersons(qint64 registered)
{
    std::mt19937 random(11);
    std::uniform_int_distribution<qint64> pick(1, registered);
    QStringList sample;
    while (sample.size() < 200)
        sample << QString::number(pick(random));
    return sample;
}

struct OpenTimes {
    std::vector<double> open, listFirst, listWhole;
};

OpenTimes openScreen(PersonBench &b, int runs)
{
    OpenTimes r;
    for (int i = 0; i < runs; ++i) {
        b.screen.reset();
        settle();
        QElapsedTimer t;
        t.start();
        b.screen = std::make_unique<frmTamrel>(b.ctx);
        b.screen->show();
        settle();
        r.open.push_back(msSince(t));
        b.list = b.screen->findChild<core::DataSource *>(QStringLiteral("tamrel_data"));
        auto *grid = b.screen->findChild<core::DataGrid *>(QStringLiteral("DBGrid1"));
        // Until the list shows its first rows (at once when read inline).
        while (grid->rowCount() == 0 && b.list->isRunning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        r.listFirst.push_back(msSince(t));
        waitIdle(b.list);
        r.listWhole.push_back(msSince(t));
    }
    return r;
}

struct ButtonTimes {
    std::vector<double> find, next, prev, add, addPanel, addOther, update;
};

// From now until the add's likely-duplicates check has reported (ms).
double untilChecked(frmTamrel &screen, QElapsedTimer &sinceClick)
{
    while (screen.checkingDuplicates())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    return sinceClick.nsecsElapsed() / 1e6;
}

ButtonTimes pressButtons(PersonBench &b)
{
    auto *number = b.screen->findChild<QLineEdit *>(QStringLiteral("txt_tamrel_no"));
    ButtonTimes r;
    for (const QString &n : b.sample) {
        r.find.push_back(timed([&] {
            number->setText(n);
            b.button("find")->click();
        }));
        r.next.push_back(timed([&] { b.button("nextrec")->click(); }));
        r.prev.push_back(timed([&] { b.button("prevrec")->click(); }));
        r.update.push_back(timed([&] { b.button("update")->click(); }));
        // The same person under a new number (taken out again at the end):
        // the likely-duplicates panel lists the one registered.
        const QString fresh = QString::number(kFirstAdded + b.added++);
        QElapsedTimer sinceClick;
        r.add.push_back(timed([&] {
            number->setText(fresh);
            sinceClick.start();
            b.button("add")->click();
        }));
        r.addPanel.push_back(untilChecked(*b.screen, sinceClick));
        waitIdle(b.list); // the list re-run after the add
        // A person like nobody registered: no panel.
        const QString other = QString::number(kFirstAdded + b.added++);
        for (const char *box : {"txt_iqama_no", "txt_passport_no", "txt_a_old_name", "txt_a_new_name"})
            core::setControlText(b.screen->findChild<QWidget *>(QLatin1String(box)), QStringLiteral("9") + other);
        r.addOther.push_back(timed([&] {
            number->setText(other);
            b.button("add")->click();
        }));
        QElapsedTimer unused;
        unused.start();
        untilChecked(*b.screen, unused);
        waitIdle(b.list);
    }
    return r;
}

void timeScreen(PersonBench &b, const CountingMessages &messages, qint64 registered, int runs)
{
    const OpenTimes o = openScreen(b, runs);
    const ButtonTimes r = pressButtons(b);
    const int expectedMessages = 3 * int(b.sample.size());

    out() << Qt::endl
          << "frmTamrel on " << registered << " persons, medians (open: " << runs << " runs; buttons: "
          << b.sample.size() << " persons)" << Qt::endl;
    line(QStringLiteral("  open: the screen shown"), median(o.open));
    line(QStringLiteral("  open until the list's first rows show (target < 300 ms)"), median(o.listFirst));
    line(QStringLiteral("  open until every row id of the list is read"), median(o.listWhole));
    line(QStringLiteral("  find a number (target < 16 ms)"), median(r.find));
    line(QStringLiteral("  next (target < 16 ms)"), median(r.next));
    line(QStringLiteral("  previous (target < 16 ms)"), median(r.prev));
    line(QStringLiteral("  update (target < 16 ms)"), median(r.update));
    line(QStringLiteral("  add a likely duplicate, with the list re-run (target < 16 ms)"), median(r.add));
    line(QStringLiteral("  the same, click until the likely-duplicates panel shows"), median(r.addPanel));
    line(QStringLiteral("  add a person like nobody, with the list re-run (target < 16 ms)"), median(r.addOther));
    if (messages.shown != expectedMessages)
        out() << QStringLiteral("  %1 messages instead of %2").arg(messages.shown).arg(expectedMessages) << Qt::endl;
}

struct Direct {
    std::vector<double> seek, next, write, rows;
};

// The screen's record work directly through the engine, on one connection.
Direct directWork(engine::Database &on, const QStringList &sample)
{
    Direct d;
    engine::TableCursor cursor(on, QStringLiteral("tamrel"));
    cursor.setIndex(QStringLiteral("PRIMARYKEY"));
    const int fields = int(cursor.fieldNames().size());
    const auto readAll = [&] {
        for (int f = 0; f < fields; ++f)
            cursor.value(f);
    };
    for (const QString &n : sample) {
        d.seek.push_back(timed([&] {
            cursor.seek(QStringLiteral("="), {n});
            readAll();
        }));
        d.next.push_back(timed([&] {
            cursor.moveNext();
            readAll();
        }));
        d.write.push_back(timed([&] {
            cursor.seek(QStringLiteral("="), {n});
            cursor.edit();
            for (int f = 1; f < fields; ++f)
                cursor.setValue(f, cursor.value(f));
            cursor.update();
        }));
        d.rows.push_back(timed([&] {
            engine::QueryCursor steps(on, frmTamrel::kFollowUpSql, {n});
            while (steps.next()) {
            }
        }));
    }
    return d;
}

void timeDirect(PersonBench &b)
{
    directWork(b.db, b.sample); // both files warm alike
    directWork(b.plain, b.sample);
    const Direct enc = directWork(b.db, b.sample);
    const Direct pla = directWork(b.plain, b.sample);
    out() << Qt::endl << "the same directly, medians: encrypted | plain SQLite" << Qt::endl;
    both(QStringLiteral("  seek a number, read its 97 fields"), enc.seek, pla.seek);
    both(QStringLiteral("  next record, read its 97 fields"), enc.next, pla.next);
    both(QStringLiteral("  rewrite a person (97 fields)"), enc.write, pla.write);
    both(QStringLiteral("  follow-up steps of a person (tab 3)"), enc.rows, pla.rows);
}

// One search through the screen's list: the click, the first rows, the whole.
void searchOnScreen(PersonBench &b, const Search &search, SearchTimes &into)
{
    b.button("clear")->click();
    for (const auto &[control, text] : search.typed)
        core::setControlText(b.screen->findChild<QWidget *>(control), text);
    QElapsedTimer t;
    t.start();
    b.button("search")->click();
    into.click.push_back(msSince(t));
    while (b.grid->rowCount() == 0 && b.list->isRunning()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        QThread::usleep(200);
    }
    into.first.push_back(msSince(t));
    waitIdle(b.list);
    into.whole.push_back(msSince(t));
    into.rows = b.grid->rowCount();
}

// The ways a search is run directly: answered from the search index or by
// reading every person, on the encrypted file and on the plain copy.
enum Way { IndexEncrypted, ScanEncrypted, IndexPlain, ScanPlain, kWays };
const char *const kWayNames[kWays] = {"index", "full scan", "plain index", "plain scan"};

bool isPlain(int way) { return way == IndexPlain || way == ScanPlain; }

// The identities a way reads, as the screen's list reads them.
struct DirectSql {
    QString sql;
    QVariantList values;
};

DirectSql directSql(engine::Database &db, const Search &search, engine::IndexUse use)
{
    const registry::SearchQuery q = registry::personSearch(db, search.criteria, engine::TextMatch::Folded, use);
    return {engine::planResult(db, q.sql, 256).idSql, q.values};
}

// A search's times: on the screen, and directly each way; first on fresh
// connections, then again.
struct SearchRun {
    SearchTimes cold, warm;
    Scan directCold[kWays], directWarm[kWays];
};

// The file's pages out of the computer's file cache, as after a restart
// (posix_fadvise: only these files, no other work of the machine).
void dropFromFileCache(const QStringList &files)
{
    for (const QString &f : files) {
        for (const char *suffix : {"", "-wal"}) {
            const int fd = ::open(QFile::encodeName(f + QLatin1String(suffix)).constData(), O_RDONLY);
            if (fd < 0)
                continue;
            ::fdatasync(fd);
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
            ::close(fd);
        }
    }
}

struct SearchSetup {
    const Search &search;
    DirectSql sql[kWays];
    qint64 cacheKiB;
    bool uncached;
};

// Each first search on a fresh connection (its page cache empty): the
// screen's and each direct way's, their order turned round run by run, so
// that none always meets the memory and file cache the one before it left.
void searchCold(PersonBench &b, const SearchSetup &setup, int coldRuns, SearchRun &r)
{
    const auto direct = [&](int way) {
        engine::Database fresh;
        if (isPlain(way))
            fresh.openPlain(b.world.plainFile());
        else
            fresh.open(b.db.openSpec());
        fresh.setCacheSize(setup.cacheKiB);
        r.directCold[way] = runScan(fresh, setup.sql[way].sql, setup.sql[way].values, r.directCold[way]);
    };
    const auto onScreen = [&] {
        b.screen.reset();
        settle();
        b.screen = std::make_unique<frmTamrel>(b.ctx);
        b.screen->show();
        b.list = b.screen->findChild<core::DataSource *>(QStringLiteral("tamrel_data"));
        b.grid = b.screen->findChild<core::DataGrid *>(QStringLiteral("DBGrid1"));
        waitIdle(b.list);
        if (setup.uncached)
            dropFromFileCache({b.world.file()});
        searchOnScreen(b, setup.search, r.cold);
    };
    // The screen's search comes first in the first round: after a restart
    // of a server (whose caches the benchmark cannot drop) it is the one
    // that meets them empty.
    for (int i = 0; i < coldRuns; ++i) {
        for (int k = 0; k <= kWays; ++k) {
            const int task = (i + k + kWays) % (kWays + 1);
            if (setup.uncached)
                dropFromFileCache({b.world.file(), b.world.plainFile()});
            if (task == kWays)
                onScreen();
            else
                direct(task);
        }
    }
}

void printSearch(const Search &search, const SearchRun &r, bool uncached)
{
    out() << Qt::endl
          << "search, " << search.name << " (" << r.warm.rows << " persons found; directly "
          << r.directWarm[ScanEncrypted].rows << " by the full scan, " << r.directWarm[IndexEncrypted].rows
          << " from the index), medians" << (uncached ? ", first searches with the file out of the file cache" : "")
          << Qt::endl;
    QString head = QStringLiteral("  %1 %2").arg(QString(), -34).arg(QStringLiteral("screen"), 9);
    for (const char *w : kWayNames)
        head += QStringLiteral(" | %1").arg(QLatin1String(w), 11);
    out() << head << QStringLiteral(" | scan/index") << Qt::endl;
    // "-": no direct counterpart (a click is the screen's own).
    const auto cell = [](double ms, int width) {
        return ms < 0 ? QStringLiteral("-").rightJustified(width) : QString::number(ms, 'f', 1).rightJustified(width);
    };
    const auto row = [&](const QString &what, double screenMs, const Scan *ways, bool first) {
        QString line = QStringLiteral("  %1 %2").arg(what, -34).arg(cell(screenMs, 9));
        double times[kWays];
        for (int w = 0; w < kWays; ++w) {
            times[w] = ways ? median(first ? ways[w].first : ways[w].whole) : -1;
            line += QStringLiteral(" | %1").arg(cell(times[w], 11));
        }
        line += QStringLiteral(" | %1").arg(cell(ways && times[IndexEncrypted] > 0 ? times[ScanEncrypted] / times[IndexEncrypted] : -1, 10));
        out() << line << Qt::endl;
    };
    row(QStringLiteral("first search: click returns (ms)"), median(r.cold.click), nullptr, false);
    row(QStringLiteral("first search: first rows (ms)"), median(r.cold.first), r.directCold, true);
    row(QStringLiteral("first search: last row shown (ms)"), median(r.cold.whole), r.directCold, false);
    row(QStringLiteral("again: click returns (ms)"), median(r.warm.click), nullptr, false);
    row(QStringLiteral("again: first rows (ms)"), median(r.warm.first), r.directWarm, true);
    row(QStringLiteral("again: last row shown (ms)"), median(r.warm.whole), r.directWarm, false);
}

void timeSearch(PersonBench &b, const Search &search, qint64 cacheKiB, int coldRuns, int warmRuns, bool uncached)
{
    SearchSetup setup{search, {}, cacheKiB, uncached};
    setup.sql[IndexEncrypted] = directSql(b.db, search, engine::IndexUse::WhenReady);
    setup.sql[ScanEncrypted] = directSql(b.db, search, engine::IndexUse::Never);
    setup.sql[IndexPlain] = directSql(b.plain, search, engine::IndexUse::WhenReady);
    setup.sql[ScanPlain] = directSql(b.plain, search, engine::IndexUse::Never);
    SearchRun r;
    b.grid = b.screen->findChild<core::DataGrid *>(QStringLiteral("DBGrid1"));
    searchCold(b, setup, coldRuns, r);
    engine::Database kept;
    kept.open(b.db.openSpec());
    kept.setCacheSize(cacheKiB);
    b.plain.setCacheSize(cacheKiB);
    for (int w = 0; w < kWays; ++w)
        runScan(isPlain(w) ? b.plain : kept, setup.sql[w].sql, setup.sql[w].values, {});
    for (int i = 0; i < warmRuns; ++i) {
        searchOnScreen(b, search, r.warm);
        for (int w = 0; w < kWays; ++w)
            r.directWarm[w] = runScan(isPlain(w) ? b.plain : kept, setup.sql[w].sql, setup.sql[w].values, r.directWarm[w]);
    }
    printSearch(search, r, uncached);
}

// A name finding about 0.15% of the register (a woman's old first name
// with a family name: about 1,400 of 1,000,000), a family name alone (about
// 5.6%: 55,000), and three criteria, taken from the persons sampled.
void timeSearches(PersonBench &b, int coldRuns, int warmRuns, bool uncached)
{
    const QString pick = QStringLiteral("SELECT a_old_name, a_new_name, nationality, e_old_name FROM tamrel WHERE tamrel_no = ?");
    QString woman, family, newName, nation, latin;
    for (const QString &n : b.sample) {
        engine::QueryCursor p(b.db, pick, {n});
        if (!p.next())
            continue;
        if (newName.isEmpty()) {
            newName = p.value(1).toString().left(4);
            nation = p.value(2).toString().left(3);
            latin = p.value(3).toString().left(3);
            family = p.value(0).toString().section(QLatin1Char(' '), 1);
        }
        if (p.value(0).toString().startsWith(QStringLiteral("ماريا ")))
            woman = p.value(0).toString();
    }
    if (woman.isEmpty())
        woman = QStringLiteral("ماريا ") + family;
    const QList<Search> searches{
        {QStringLiteral("1 criterion, a name (target < 300 ms first, < 100 ms again at 1,000,000)"),
         {{"txt_a_old_name", woman}}, {{"a_old_name", woman}}},
        {QStringLiteral("1 criterion, a family name (target < 1 s first, < 300 ms again)"),
         {{"txt_a_old_name", family}}, {{"a_old_name", family}}},
        {QStringLiteral("3 criteria (target: no slower than the full scan)"),
         {{"txt_a_new_name", newName}, {"dbc_nationality", nation}, {"txt_e_old_name", latin}},
         {{"a_new_name", newName}, {"nationality", nation}, {"e_old_name", latin}}}};
    const qint64 cacheKiB = listCacheKiB(b.world.file());
    for (const Search &search : searches)
        timeSearch(b, search, cacheKiB, coldRuns, warmRuns, uncached);
}

// A person written anew directly (97 fields, in its own transaction) and
// taken out again: what the index adds to each write.
struct WriteTimes {
    std::vector<double> add, remove;
};

WriteTimes addAndRemove(engine::Database &db, const QStringList &sample)
{
    WriteTimes w;
    engine::TableCursor cursor(db, QStringLiteral("tamrel"));
    cursor.setIndex(QStringLiteral("PRIMARYKEY"));
    const int fields = int(cursor.fieldNames().size());
    for (int i = 0; i < 50 && i < sample.size(); ++i) {
        cursor.seek(QStringLiteral("="), {sample.at(i)});
        const QVariantList person = cursor.record();
        const QString number = QString::number(kFirstAdded - 1 - i);
        w.add.push_back(timed([&] {
            cursor.addNew();
            for (int f = 0; f < fields; ++f)
                cursor.setValue(f, f == 0 ? QVariant(number) : person.at(f));
            cursor.update();
        }));
        w.remove.push_back(timed([&] {
            cursor.seek(QStringLiteral("="), {number});
            cursor.deleteRecord();
        }));
    }
    return w;
}

// The index itself: its size beside the register's, the likely-duplicates
// check of the persons sampled, and a build from nothing as a logon makes it
// (off the window's thread, with progress).
void timeIndex(PersonBench &b, qint64 registered)
{
    const engine::SearchIndexDef index = core::schema::personSearchIndex();
    // On a server, its whole database stands for the file.
    const qint64 file = b.db.onServer() ? b.db.scalar(QStringLiteral("SELECT pg_database_size(current_database())")).toLongLong()
                                        : QFileInfo(b.world.file()).size();
    const qint64 cells = b.db.searchIndexBytes(index);
    out() << Qt::endl << "search index on " << registered << " persons" << Qt::endl;
    out() << QStringLiteral("  index cells and keys: %1 MB, %2 bytes per person, %3% of the %4 (%5 MB)")
                 .arg(cells / 1048576.0, 0, 'f', 1)
                 .arg(registered > 0 ? cells / registered : 0)
                 .arg(100.0 * cells / qMax<qint64>(1, file), 0, 'f', 1)
                 .arg(b.db.onServer() ? QStringLiteral("database") : QStringLiteral("file"))
                 .arg(file / 1048576.0, 0, 'f', 0)
          << Qt::endl;

    std::vector<double> duplicates;
    int listed = 0;
    const QString facts = QStringLiteral("SELECT iqama_no, passport_no, a_old_name, a_new_name, birth FROM tamrel WHERE tamrel_no = ?");
    for (const QString &n : b.sample) {
        engine::QueryCursor p(b.db, facts, {n});
        if (!p.next())
            continue;
        const registry::PersonFacts person{n, p.value(0).toString(), p.value(1).toString(), p.value(2).toString(),
                                           p.value(3).toString(), p.value(4).toString()};
        duplicates.push_back(timed([&] { listed += int(registry::likelyDuplicates(b.db, person).size()); }));
    }
    std::vector<double> sorted = duplicates;
    std::sort(sorted.begin(), sorted.end());
    line(QStringLiteral("  likely duplicates of a person (target < 50 ms)"), median(duplicates),
         QStringLiteral("(90% within %1 ms, slowest %2 ms; %3 listed for %4 persons)")
             .arg(sorted.at(sorted.size() * 9 / 10), 0, 'f', 1)
             .arg(sorted.back(), 0, 'f', 1)
             .arg(listed)
             .arg(duplicates.size()));

    const WriteTimes withIndex = addAndRemove(b.db, b.sample);
    if (b.db.onServer()) {
        // The server's search table is kept by its trigger; the file's pages
        // and a build from nothing are the file's own measures.
        line(QStringLiteral("  add a person directly, with the index"), median(withIndex.add));
        line(QStringLiteral("  delete a person directly, with the index"), median(withIndex.remove));
        return;
    }
    // The pages the index held: those its removal frees.
    const qint64 pageSize = b.db.scalar(QStringLiteral("PRAGMA page_size")).toLongLong();
    const qint64 freeBefore = b.db.scalar(QStringLiteral("PRAGMA freelist_count")).toLongLong();
    b.db.dropSearchIndex(index);
    const qint64 indexPages = b.db.scalar(QStringLiteral("PRAGMA freelist_count")).toLongLong() - freeBefore;
    QString persons;
    for (const engine::ColumnInfo &c : b.db.columns(QStringLiteral("tamrel")))
        persons += (persons.isEmpty() ? QString() : QStringLiteral(" + ")) + QStringLiteral("length(\"%1\")").arg(c.name);
    const qint64 personBytes = b.db.scalar(QStringLiteral("SELECT total(%1) FROM tamrel").arg(persons)).toLongLong();
    out() << QStringLiteral("  index pages: %1 MB (%2% of the file); the persons' values: %3 MB; index / persons: %4% (target <= 35%)")
                 .arg(indexPages * pageSize / 1048576.0, 0, 'f', 1)
                 .arg(100.0 * indexPages * pageSize / qMax<qint64>(1, file), 0, 'f', 1)
                 .arg(personBytes / 1048576.0, 0, 'f', 1)
                 .arg(100.0 * indexPages * pageSize / qMax<qint64>(1, personBytes), 0, 'f', 1)
          << Qt::endl;
    const WriteTimes without = addAndRemove(b.db, b.sample);
    line(QStringLiteral("  add a person directly, with the index | without"), median(withIndex.add),
         QStringLiteral("| %1 ms").arg(median(without.add), 0, 'f', 2));
    line(QStringLiteral("  delete a person directly, with the index | without"), median(withIndex.remove),
         QStringLiteral("| %1 ms").arg(median(without.remove), 0, 'f', 2));
    QElapsedTimer t;
    t.start();
    int steps = 0;
    const QString failure = core::buildPersonIndex(b.db.openSpec(), [&](int) { ++steps; });
    const double seconds = t.elapsed() / 1000.0;
    out() << QStringLiteral("  index built from nothing, off the window's thread: %1 s (%2 us per person, %3 progress updates)%4")
                 .arg(seconds, 0, 'f', 1)
                 .arg(registered > 0 ? seconds * 1e6 / registered : 0, 0, 'f', 0)
                 .arg(steps)
                 .arg(failure.isEmpty() ? QString() : QStringLiteral(" FAILED: ") + failure)
          << Qt::endl;
}

// --- the audit trail -------------------------------------------------------

// Tops the file up to `wanted` audit rows.
void addAuditRows(engine::Database &db, qint64 wanted)
{
    core::schema::addAuditTrail(db);
    const qint64 held = db.scalar(QStringLiteral("SELECT count(*) FROM audit")).toLongLong();
    if (held >= wanted)
        return;
    QElapsedTimer t;
    t.start();
    core::fillSyntheticAudit(db, wanted - held, 2024);
    out() << QStringLiteral("added %1 audit rows in %2 s").arg(wanted - held).arg(t.elapsed() / 1000.0, 0, 'f', 1)
          << Qt::endl;
}

struct SaveTimes {
    std::vector<double> without, with;
};

// One field of each sampled person changed and put back through the
// screen's update, one save without the trail and one with it, their order
// turned round person by person.
SaveTimes timeSaves(PersonBench &b, core::AuditTrail &trail)
{
    auto *number = b.screen->findChild<QLineEdit *>(QStringLiteral("txt_tamrel_no"));
    QWidget *comments = b.screen->findChild<QWidget *>(QStringLiteral("txt_comments"));
    SaveTimes r;
    int turn = 0;
    for (const QString &n : b.sample) {
        number->setText(n);
        b.button("find")->click();
        const QString kept = core::controlText(comments);
        for (int i = 0; i < 2; ++i) {
            const bool withTrail = (i + turn) % 2 == 1;
            if (withTrail)
                trail.setActor(QStringLiteral("bench"));
            else
                trail.clearActor();
            core::setControlText(comments, i == 0 ? QStringLiteral("ملاحظة %1").arg(turn) : kept);
            (withTrail ? r.with : r.without).push_back(timed([&] { b.button("update")->click(); }));
        }
        ++turn;
    }
    trail.clearActor();
    return r;
}

struct ViewerTimes {
    std::vector<double> direct, grid;
    qint64 rows = 0;
};

// The first 100 rows of the viewer's select, read directly.
double firstRowsDirect(engine::Database &db, const core::BoundQuery &q, qint64 *rows)
{
    QElapsedTimer t;
    t.start();
    engine::QueryCursor c(db, q.sql, q.values);
    qint64 n = 0;
    while (n < 100 && c.next()) {
        for (int i = 0; i < c.columnCount(); ++i)
            c.value(i);
        ++n;
    }
    *rows = n;
    return msSince(t);
}

// The same select in a list as the viewer shows it: until its first rows
// are on screen.
double firstRowsInGrid(core::DataStore &store, const core::BoundQuery &q)
{
    core::DataGrid grid;
    grid.resize(1000, 600);
    grid.show();
    core::DataSource source(QStringLiteral("audit_data"));
    source.setDatabase(store);
    source.setQuery(q.sql, q.values);
    grid.setDataSource(&source);
    QElapsedTimer t;
    t.start();
    source.refresh();
    grid.viewport()->repaint();
    settle();
    const double ms = msSince(t);
    waitIdle(&source);
    return ms;
}

ViewerTimes timeViewer(PersonBench &b, const QList<core::AuditFilter> &filters)
{
    ViewerTimes r;
    const std::unique_ptr<engine::Database> view = b.world.store().openViewConnection();
    for (const core::AuditFilter &f : filters) {
        const core::BoundQuery q = core::AuditTrail::viewerQuery(f);
        r.direct.push_back(firstRowsDirect(*view, q, &r.rows));
        r.grid.push_back(firstRowsInGrid(b.world.store(), q));
    }
    return r;
}

void timeAudit(PersonBench &b)
{
    engine::Database &db = b.world.store().db();
    const qint64 rows = db.scalar(QStringLiteral("SELECT count(*) FROM audit")).toLongLong();
    const SaveTimes saves = timeSaves(b, b.world.store().audit());
    out() << Qt::endl << "audit trail (" << rows << " audit rows), medians" << Qt::endl;
    const double without = median(saves.without), with = median(saves.with);
    line(QStringLiteral("  save one field, without the trail"), without);
    line(QStringLiteral("  save one field, with the trail"), with);
    line(QStringLiteral("  the trail's cost (target <= 2 ms)"), with - without);

    const QList<core::AuditFilter> unfiltered(10, core::AuditFilter{});
    QList<core::AuditFilter> byPerson, byPersonRecord;
    for (const QString &n : b.sample.mid(0, 20)) {
        byPerson << core::AuditFilter{QString(), n, QString(), {}, {}};
        byPersonRecord << core::AuditFilter{QStringLiteral("tamrel"), n, QString(), {}, {}};
    }
    // The wide filters: each keeps many rows, of which the first must show
    // without the rest being gathered.
    const QString user = db.scalar(QStringLiteral("SELECT user_id FROM audit ORDER BY audit_id DESC LIMIT 1")).toString();
    const QDate today = QDate::currentDate();
    const QList<core::AuditFilter> byTable(5, core::AuditFilter{QStringLiteral("courses"), {}, {}, {}, {}});
    const QList<core::AuditFilter> byUser(5, core::AuditFilter{{}, {}, user, {}, {}});
    const QList<core::AuditFilter> bySpan(5, core::AuditFilter{{}, {}, {}, today.addDays(-200), today.addDays(-170)});
    const QList<core::AuditFilter> byAll(
        5, core::AuditFilter{QStringLiteral("courses"), {}, user, today.addDays(-200), today.addDays(-170)});
    const struct {
        QString name;
        QList<core::AuditFilter> filters;
    } runs[] = {{QStringLiteral("unfiltered"), unfiltered},
                {QStringLiteral("a person's number, every table"), byPerson},
                {QStringLiteral("a person's number, table tamrel"), byPersonRecord},
                {QStringLiteral("table courses"), byTable},
                {QStringLiteral("one user"), byUser},
                {QStringLiteral("200 to 170 days ago"), bySpan},
                {QStringLiteral("courses, one user, 200 to 170 days ago"), byAll}};
    for (const auto &run : runs) {
        const ViewerTimes v = timeViewer(b, run.filters);
        line(QStringLiteral("  viewer, %1: first 100 rows read").arg(run.name), median(v.direct),
             QStringLiteral("(first run %1 ms)").arg(v.direct.front(), 0, 'f', 1));
        line(QStringLiteral("  viewer, %1: shown in the list (target < 300 ms)").arg(run.name), median(v.grid),
             QStringLiteral("(first run %1 ms)").arg(v.grid.front(), 0, 'f', 1));
    }
}

// A register from before the search index gets it first, as the logon
// gives it, so that the screen is timed as the office would use it.
void readyIndex(engine::Database &db, const QString &name)
{
    if (!core::personIndexWanted(db))
        return;
    QElapsedTimer t;
    t.start();
    const QString failure = core::buildPersonIndex(db.openSpec());
    out() << QStringLiteral("%1: search index built first in %2 s%3")
                 .arg(name)
                 .arg(t.elapsed() / 1000.0, 0, 'f', 1)
                 .arg(failure.isEmpty() ? QString() : QStringLiteral(" FAILED: ") + failure)
          << Qt::endl;
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchProcess process(argc, argv);
    bench::CommandLine &args = process.args();
    const int persons = int(args.option("--persons", 1000000));
    const int runs = int(args.option("--runs", 5));
    const int coldRuns = int(args.option("--cold", 3));
    const int warmRuns = int(args.option("--warm", 5));
    const qint64 auditRows = args.option("--audit", 5000000);
    const bool auditOnly = args.option("--audit-only", 0) != 0;
    const bool screenOnly = args.option("--screen-only", 0) != 0;
    const bool searchOnly = args.option("--search-only", 0) != 0;
    const QString server = args.text("--server");
    const bool uncached = args.option("--uncached", 0) != 0;
    bench::ScreenBench world(args.folder(QStringLiteral("/tmp/velm-bench-tamrel")));
    world.setServer(server);
    if (!world.prepare([&](const QString &file) { build(file, persons); }))
        return 1;
    engine::Database &db = world.store().db();
    // Persons a run broken off left behind (their numbers start at kFirstAdded).
    db.execute(QStringLiteral("DELETE FROM tamrel WHERE tamrel_no >= ? AND length(tamrel_no) = ?"),
               {QString::number(kFirstAdded), int(QString::number(kFirstAdded).size())});
    const qint64 registered = db.scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong();
    out() << QStringLiteral("%1: %2 persons, %3 MB")
                 .arg(db.onServer() ? QStringLiteral("server ") + db.serverName() : world.file())
                 .arg(registered)
                 .arg(QFileInfo(world.file()).size() / 1048576.0, 0, 'f', 0)
          << Qt::endl;
    readyIndex(db, QStringLiteral("the register"));

    CountingMessages messages;
    core::CmnSub cmn(world.store(), messages);
    messages.expected = {cmn.msgs.MSG_ADDED.trimmed(), cmn.msgs.MSG_UPDATED.trimmed()};
    core::AppContext ctx{world.store(), messages, world.ctx().input, world.ctx().files, world.ctx().logon, cmn};
    PersonBench b{world, ctx, db, {}, samplePersons(registered), {}, nullptr, nullptr, 0};

    if (!screenOnly && !searchOnly)
        addAuditRows(db, auditRows);
    if (auditOnly) {
        openScreen(b, 1);
    } else if (searchOnly) {
        openScreen(b, 1);
        b.plain.openPlain(world.plainFile());
        readyIndex(b.plain, QStringLiteral("the plain copy"));
        timeSearches(b, coldRuns, warmRuns, uncached);
        timeIndex(b, registered);
    } else if (screenOnly) {
        timeScreen(b, messages, registered, runs);
    } else {
        timeScreen(b, messages, registered, runs);
        b.plain.openPlain(world.plainFile());
        readyIndex(b.plain, QStringLiteral("the plain copy"));
        timeDirect(b);
        timeSearches(b, coldRuns, warmRuns, uncached);
        timeIndex(b, registered);
    }
    if (!screenOnly && !searchOnly)
        timeAudit(b);
    b.screen.reset();
    // The file as it was: the persons added here go again.
    for (qint64 i = 0; i < b.added; ++i)
        db.execute(QStringLiteral("DELETE FROM tamrel WHERE tamrel_no = ?"), {QString::number(kFirstAdded + i)});
    return 0;
}
