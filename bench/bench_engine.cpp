// bench_engine: the engine on the full register, side by side with plain
// SQLite on the same data.
//
//   bench_engine [--persons N] [--dir D] [--passes P] [--file F]
//                [--server CONNECTION]
//
// Makes (once, in D, default /tmp/engine-bench) an encrypted register of N
// persons (default 1,000,000) with all their related rows, or takes the
// office database F, and a plain copy of it with the same page size. Every
// measurement then runs in a fresh process, P times (default 5), encrypted
// and plain in alternating order; the table shows medians and the ratio of
// encrypted to plain:
//   - the table cursor (seek, next, previous) against one prepared
//     statement reused on plain SQLite, both reading every field;
//   - scans of the whole register: a search on one criterion and on thirty,
//     a count by nationality, reading every person; first with an empty
//     page cache, then again;
//   - opening a person-sized screen: eight look-up lists and three grids,
//     reading through the view connection they share, opened with the key
//     the logon derived (after the logon has opened the file);
//   - a heading sort of the million-person list: its time and the memory
//     the process reaches.
// With --server (a libpq connection string or service=NAME of a database
// the program's role owns), the same register on a PostgreSQL server is a
// third side: copied there from the file when the database holds no office
// rows (the copy's time is printed), then measured in the same passes
// through the same engine calls (cursor, scans, screen, sort).

#include "bench/BenchSupport.h"
#include "screens/DataGrid.h"
#include "screens/LookupCombo.h"
#include "data/OpenDb.h"
#include "data/DatabaseCopy.h"
#include "data/Schema.h"
#include "synthetic/SyntheticData.h"
#include "engine/Database.h"
#include "engine/QueryCursor.h"
#include "engine/SqlCipherBackend.h"
#include "engine/TableCursor.h"
#include "engine/TextRules.h"

#include <sqlite3.h>

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>

namespace {

const QString kKey = core::passwordFromConnect(QLatin1String(core::kConnectString));
constexpr int kCursorOperations = 10000;

// The search criteria of the person list, in the order the search uses them.
const QStringList kCriteria = {
    "tamrel_no",     "a_old_name",    "e_old_name",    "a_new_name",      "e_new_name",   "no_boys",
    "no_girls",      "language1",     "language2",     "language3",       "language4",    "language5",
    "former_relgion", "denomination", "nationality",   "iqama_no",        "passport_no",  "occupation",
    "qualification", "picture",       "age",           "phone_w",         "phone_h",      "phone_c",
    "phone_f",       "phone_sponsor", "pobox_w",       "pobox_h",         "pobox_c",      "pobox_f",
    "pobox_sponsor", "zip_code_w",    "zip_code_h",    "zip_code_c",      "zip_code_f",   "zip_code_sponsor",
    "city_w",        "city_h",        "city_c",        "city_f",          "city_sponsor", "friend_name",
    "sponsor_name",  "comments"};

QTextStream out(stdout);
qint64 g_bytesRead = 0;

void emitValue(const char *key, double value)
{
    out << key << ' ' << QString::number(value, 'f', 3) << Qt::endl;
}

double ms(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "bench_engine: %s\n", qPrintable(what));
    std::exit(1);
}

// ----------------------------------------------------------- plain SQLite

// A connection on the plain copy with the engine's text rules (the schema
// names its collation), and nothing else of the engine.
sqlite3 *openPlain(const QString &path, bool rules = true)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        fail(QStringLiteral("cannot open %1").arg(path));
    if (rules)
        engine::installTextRules(db);
    return db;
}

sqlite3_stmt *prepare(sqlite3 *db, const QString &sql)
{
    sqlite3_stmt *s = nullptr;
    const QByteArray text = sql.toUtf8();
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &s, nullptr) != SQLITE_OK)
        fail(QStringLiteral("%1: %2").arg(sql, QString::fromUtf8(sqlite3_errmsg(db))));
    return s;
}

// One row read the way the cursor reads it: every field as a value.
void readRow(sqlite3_stmt *s, QVariantList &row)
{
    const int n = sqlite3_column_count(s);
    row.resize(n);
    for (int i = 0; i < n; ++i)
        row[i] = engine::columnValue(s, i);
}

// ----------------------------------------------------------- the children

QStringList personNumbers(int persons, int count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> pick(1, persons);
    QStringList numbers;
    for (int i = 0; i < count; ++i)
        numbers << QString::number(pick(rng));
    return numbers;
}

// The engine's table cursor: seeks, then steps forward and back from one person.
int childCursorEngine(const QString &file, const QString &server, const QStringList &seeks, const QString &start)
{
    QElapsedTimer t;
    engine::Database db;
    if (server.isEmpty())
        db.open(file, kKey);
    else
        db.openServer(server);
    engine::TableCursor c(db, QStringLiteral("tamrel"));
    c.setIndex(QStringLiteral("PRIMARYKEY"));
    int missed = 0;
    t.start();
    for (const QString &n : seeks) {
        c.seek(QStringLiteral("="), {n});
        missed += c.noMatch() ? 1 : 0;
    }
    emitValue("seek_us", ms(t) * 1000 / kCursorOperations);
    c.seek(QStringLiteral("="), {start});
    t.start();
    for (int i = 0; i < kCursorOperations && !c.eof(); ++i)
        c.moveNext();
    emitValue("next_us", ms(t) * 1000 / kCursorOperations);
    c.seek(QStringLiteral("="), {start});
    t.start();
    for (int i = 0; i < kCursorOperations && !c.bof(); ++i)
        c.movePrevious();
    emitValue("previous_us", ms(t) * 1000 / kCursorOperations);
    if (missed)
        fail(QStringLiteral("%1 seeks found nothing").arg(missed));
    return 0;
}

// Plain SQLite: each statement prepared once and run again, with the page
// cache the engine gives its connections.
int childCursorPlain(const QString &file, const QStringList &seeks, const QString &start)
{
    QElapsedTimer t;
    sqlite3 *db = openPlain(file);
    sqlite3_exec(db, QStringLiteral("PRAGMA cache_size = -%1").arg(engine::kDefaultCacheKiB).toUtf8().constData(),
                 nullptr, nullptr, nullptr);
    QStringList columns;
    {
        sqlite3_stmt *info = prepare(db, QStringLiteral("PRAGMA table_info(tamrel)"));
        while (sqlite3_step(info) == SQLITE_ROW)
            columns << QLatin1Char('"') + QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(info, 1))) + QLatin1Char('"');
        sqlite3_finalize(info);
    }
    const QString select = QStringLiteral("SELECT rowid, %1 FROM tamrel").arg(columns.join(QLatin1Char(',')));
    sqlite3_stmt *seek = prepare(db, select + QStringLiteral(" WHERE tamrel_no = ?"));
    sqlite3_stmt *next = prepare(db, select + QStringLiteral(" WHERE tamrel_no > ? ORDER BY tamrel_no LIMIT 1"));
    sqlite3_stmt *previous = prepare(db, select + QStringLiteral(" WHERE tamrel_no < ? ORDER BY tamrel_no DESC LIMIT 1"));
    QVariantList row;
    auto run = [&](sqlite3_stmt *s, const QByteArray &key) {
        sqlite3_reset(s);
        sqlite3_bind_text(s, 1, key.constData(), int(key.size()), SQLITE_TRANSIENT);
        const bool found = sqlite3_step(s) == SQLITE_ROW;
        if (found)
            readRow(s, row);
        sqlite3_reset(s);
        return found;
    };
    int missed = 0;
    t.start();
    for (const QString &n : seeks)
        missed += run(seek, n.toUtf8()) ? 0 : 1;
    emitValue("seek_us", ms(t) * 1000 / kCursorOperations);
    for (sqlite3_stmt *step : {next, previous}) {
        QByteArray key = start.toUtf8();
        t.start();
        for (int i = 0; i < kCursorOperations; ++i) {
            if (!run(step, key))
                break;
            key = row.at(1 + columns.indexOf(QStringLiteral("\"tamrel_no\""))).toString().toUtf8();
        }
        emitValue(step == next ? "next_us" : "previous_us", ms(t) * 1000 / kCursorOperations);
    }
    for (sqlite3_stmt *s : {seek, next, previous})
        sqlite3_finalize(s);
    sqlite3_close(db);
    if (missed)
        fail(QStringLiteral("%1 seeks found nothing").arg(missed));
    return 0;
}

int childCursor(const QString &file, const QString &server, bool plain, int persons)
{
    const QStringList seeks = personNumbers(persons, kCursorOperations, 99);
    const QString start = personNumbers(persons, 1, 7).first();
    return plain ? childCursorPlain(file, seeks, start) : childCursorEngine(file, server, seeks, start);
}

struct Scan {
    const char *name;
    QString sql;
    QVariantList values;
    bool readEveryField;
};

// The scans a search of the register and the reports make, with the values
// of one person as the thirty criteria (a search right after a record was
// shown).
QList<Scan> scans(engine::Database &anyConnection, int persons, const QString &rowId = QStringLiteral("tamrel.rowid"))
{
    const QString person = QString::number(persons / 2 + 1);
    engine::QueryCursor shown(anyConnection, QStringLiteral("SELECT * FROM tamrel WHERE tamrel_no = ?"), {person});
    if (!shown.next())
        fail(QStringLiteral("no person %1").arg(person));
    QString thirty = QStringLiteral("SELECT %1, * FROM tamrel WHERE (1=1) ").arg(rowId);
    QVariantList values;
    for (const QString &field : kCriteria) {
        const QString v = shown.value(field).toString();
        if (v.isEmpty() || v == QLatin1String(" ") || values.size() == 30)
            continue;
        thirty += QStringLiteral(" and [%1] like ? escape '\\'").arg(field);
        values << QStringLiteral("%") + engine::escapeLike(v) + QStringLiteral("%");
    }
    const QString name = shown.value(QStringLiteral("a_new_name")).toString();
    return {
        {"search1", QStringLiteral("SELECT %1, * FROM tamrel WHERE (1=1)  and [a_new_name] like ? escape '\\'").arg(rowId),
         {QStringLiteral("%") + engine::escapeLike(name.left(4)) + QStringLiteral("%")}, false},
        {"search30", thirty, values, false},
        {"nationality", QStringLiteral("SELECT nationality, count(*) FROM tamrel GROUP BY nationality"), {}, false},
        {"everyone", QStringLiteral("SELECT * FROM tamrel"), {}, true},
    };
}

// Steps a scan through, reading the first column (the search's row
// identities) or every field as text (a report).
qint64 runScan(sqlite3 *db, const Scan &scan)
{
    sqlite3_stmt *s = prepare(db, scan.sql);
    for (int i = 0; i < scan.values.size(); ++i) {
        const QByteArray v = scan.values.at(i).toString().toUtf8();
        sqlite3_bind_text(s, i + 1, v.constData(), int(v.size()), SQLITE_TRANSIENT);
    }
    qint64 rows = 0;
    qint64 bytes = 0;
    const int n = sqlite3_column_count(s);
    while (sqlite3_step(s) == SQLITE_ROW) {
        ++rows;
        if (scan.readEveryField)
            for (int c = 0; c < n; ++c) {
                sqlite3_column_text(s, c);
                bytes += sqlite3_column_bytes(s, c);
            }
        else
            bytes += sqlite3_column_int64(s, 0) & 1;
    }
    sqlite3_finalize(s);
    g_bytesRead += bytes; // told at the end: the reading cannot be left out
    return rows;
}

// The same through the engine's query cursor (the server's side).
qint64 runScan(engine::Database &db, const Scan &scan)
{
    engine::QueryCursor c(db, scan.sql, scan.values);
    qint64 rows = 0;
    qint64 bytes = 0;
    while (c.next()) {
        ++rows;
        if (scan.readEveryField)
            for (int i = 0; i < c.columnCount(); ++i)
                bytes += c.value(i).toString().size();
        else
            bytes += c.value(0).toLongLong() & 1;
    }
    g_bytesRead += bytes;
    return rows;
}

// The scans on the server, each on a connection of its own (the server's
// shared buffers stay warm between them, as the system's file cache does
// for the file).
int childScansServer(const QString &server, int persons)
{
    engine::Database first;
    first.openServer(server);
    const QList<Scan> list = scans(first, persons, first.backend()->rowIdColumn(QStringLiteral("tamrel")));
    first.close();
    QElapsedTimer t;
    for (const Scan &scan : list) {
        engine::Database db;
        db.openServer(server);
        t.start();
        const qint64 rows = runScan(db, scan);
        emitValue(QStringLiteral("%1_first_ms").arg(QLatin1String(scan.name)).toUtf8().constData(), ms(t));
        t.start();
        runScan(db, scan);
        emitValue(QStringLiteral("%1_again_ms").arg(QLatin1String(scan.name)).toUtf8().constData(), ms(t));
        emitValue(QStringLiteral("%1_rows").arg(QLatin1String(scan.name)).toUtf8().constData(), double(rows));
        if (scan.readEveryField)
            emitValue("scans_rss_mb", bench::residentMegabytes());
    }
    emitValue("scans_bytes", double(g_bytesRead));
    return 0;
}

int childScans(const QString &file, bool plain, int persons, const QString &encryptedFile)
{
    // The page cache of the connection that serves lists and searches: the
    // whole file, on both sides.
    const qint64 cacheKiB = QFileInfo(file).size() / 1024 * 9 / 8;
    engine::Database enc;
    enc.open(encryptedFile, kKey);
    const QList<Scan> list = scans(enc, persons);
    enc.close();
    QElapsedTimer t;
    for (const Scan &scan : list) {
        // A connection of its own for each scan: the first run starts with
        // an empty page cache (the system's file cache is warm on both sides).
        engine::Database db;
        sqlite3 *h = nullptr;
        if (plain) {
            h = openPlain(file);
            sqlite3_exec(h, QStringLiteral("PRAGMA cache_size = -%1").arg(cacheKiB).toUtf8().constData(), nullptr,
                         nullptr, nullptr);
        } else {
            db.open(file, kKey);
            db.setCacheSize(cacheKiB);
            h = engine::nativeHandle(db);
        }
        t.start();
        const qint64 rows = runScan(h, scan);
        emitValue(QStringLiteral("%1_first_ms").arg(QLatin1String(scan.name)).toUtf8().constData(), ms(t));
        t.start();
        runScan(h, scan);
        emitValue(QStringLiteral("%1_again_ms").arg(QLatin1String(scan.name)).toUtf8().constData(), ms(t));
        emitValue(QStringLiteral("%1_rows").arg(QLatin1String(scan.name)).toUtf8().constData(), double(rows));
        if (scan.readEveryField)
            emitValue("scans_rss_mb", bench::residentMegabytes());
        if (plain)
            sqlite3_close(h);
    }
    emitValue("scans_bytes", double(g_bytesRead));
    if (plain) {
        // For comparison: SQLite's own LIKE, which folds plain Latin only.
        sqlite3 *own = openPlain(file, false);
        runScan(own, list.at(1));
        t.start();
        runScan(own, list.at(1));
        emitValue("search30_sqlite_like_again_ms", ms(t));
        sqlite3_close(own);
    }
    return 0;
}

// A program folder whose db_path names the folder of the register, which
// is reached as velm.mdb through a link.
struct ProgramFolder {
    QTemporaryDir dir;
    // With a server, db_path's sixth line names it.
    ProgramFolder(const QString &file, const QString &server)
    {
        QDir().mkpath(dir.filePath(QStringLiteral("data")));
        QFile::link(QFileInfo(file).absoluteFilePath(), dir.filePath(QStringLiteral("data/velm.mdb")));
        QFile db(dir.filePath(QStringLiteral("db_path")));
        db.open(QIODevice::WriteOnly);
        db.write("0\n\\data\n\\pictures\n\\material\n\\forms\n");
        if (!server.isEmpty())
            db.write(server.toUtf8() + '\n');
    }
};

int childScreen(const QString &file, const QString &server, int persons)
{
    ProgramFolder folder(file, server);
    core::DataStore store(folder.dir.path());
    store.READDBPATH();
    QElapsedTimer t;
    t.start();
    const core::OpenResult opened = store.OPENDATABASE();
    if (!opened.ok)
        fail(opened.message);
    emitValue("logon_open_ms", ms(t));
    const QString person = QString::number(persons / 3 + 1);

    t.start();
    QWidget screen;
    auto *layout = new QVBoxLayout(&screen);
    // The person's own record, as the screen's find shows it.
    core::CursorSlot &slot = store.slot(QStringLiteral("tamrel"));
    engine::TableCursor &cursor = slot.open();
    cursor.setIndex(QStringLiteral("PRIMARYKEY"));
    cursor.seek(QStringLiteral("="), {person});
    const QStringList lookups = {QStringLiteral("category1"), QStringLiteral("category1"), QStringLiteral("category2"),
                                 QStringLiteral("category3"), QStringLiteral("category4"), QStringLiteral("category5"),
                                 QStringLiteral("category6"), QStringLiteral("witnesses")};
    for (const QString &table : lookups) {
        auto *combo = new core::LookupCombo(&screen);
        layout->addWidget(combo);
        if (!combo->open(store, QStringLiteral("select * from %1").arg(table)))
            fail(QStringLiteral("look-up on %1 failed").arg(table));
        combo->setText(QStringLiteral("x"));
    }
    for (const QString &table : {QStringLiteral("followUp"), QStringLiteral("courses"), QStringLiteral("Field_Evaluation")}) {
        auto *source = new core::DataSource(table + QStringLiteral("_data"), &screen);
        auto *grid = new core::DataGrid(&screen);
        layout->addWidget(grid);
        grid->setDataSource(source);
        source->setDatabase(store);
        source->setQuery(QStringLiteral("select * from %1 WHERE [tamrel_no] = ?").arg(table), {person});
        source->refresh();
    }
    screen.resize(1000, 800);
    screen.show();
    QCoreApplication::processEvents();
    emitValue("screen_open_ms", ms(t));
    slot.close();
    return 0;
}


int childSort(const QString &file, const QString &server)
{
    ProgramFolder folder(file, server);
    core::DataStore store(folder.dir.path());
    store.READDBPATH();
    if (!store.OPENDATABASE().ok)
        fail(QStringLiteral("cannot open the register"));
    core::DataSource source(QStringLiteral("tamrel_data"));
    core::DataGrid grid;
    grid.resize(1000, 700);
    grid.setDataSource(&source);
    grid.show();
    source.setDatabase(store);
    source.setQuery(QStringLiteral("select * from tamrel"));
    QElapsedTimer t;
    t.start();
    source.refresh();
    QCoreApplication::processEvents();
    emitValue("list_first_rows_ms", ms(t));
    bench::waitWhileRunning(source);
    emitValue("list_all_ids_ms", ms(t));
    emitValue("list_rows", source.model()->rowCount());
    emitValue("list_rss_mb", bench::residentMegabytes());
    t.start();
    if (!source.sort(QStringLiteral("[a_new_name] desc")))
        fail(QStringLiteral("the list does not sort"));
    bench::waitWhileRunning(source);
    grid.viewport()->repaint();
    QCoreApplication::processEvents();
    emitValue("sort_ms", ms(t));
    emitValue("sort_peak_mb", bench::peakMegabytes());
    emitValue("sort_rows", source.model()->rowCount());
    return 0;
}

int child(const QStringList &args)
{
    const QString what = args.value(args.indexOf(QStringLiteral("--child")) + 1);
    const QString file = args.value(args.indexOf(QStringLiteral("--file")) + 1);
    const QString encrypted = args.value(args.indexOf(QStringLiteral("--encrypted")) + 1);
    const bool plain = args.contains(QStringLiteral("--plain"));
    // The server is measured when the child is told --on-server.
    const QString server = args.contains(QStringLiteral("--on-server"))
                               ? args.value(args.indexOf(QStringLiteral("--server")) + 1)
                               : QString();
    const int persons = args.value(args.indexOf(QStringLiteral("--persons")) + 1).toInt();
    try {
        if (what == QLatin1String("cursor"))
            return childCursor(file, server, plain, persons);
        if (what == QLatin1String("scans"))
            return server.isEmpty() ? childScans(file, plain, persons, encrypted) : childScansServer(server, persons);
        if (what == QLatin1String("screen"))
            return childScreen(file, server, persons);
        if (what == QLatin1String("sort"))
            return childSort(file, server);
    } catch (const engine::EngineError &e) {
        fail(QStringLiteral("%1 %2").arg(e.number()).arg(e.description()));
    }
    fail(QStringLiteral("unknown measurement %1").arg(what));
}

// ----------------------------------------------------------- the parent

QMap<QString, double> runChild(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QCoreApplication::applicationFilePath(), args);
    if (!p.waitForFinished(-1) || p.exitCode() != 0)
        fail(QStringLiteral("measurement %1 failed").arg(args.join(QLatin1Char(' '))));
    QMap<QString, double> values;
    for (const QByteArray &line : p.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.trimmed().split(' ');
        if (parts.size() == 2)
            values.insert(QString::fromUtf8(parts.at(0)), parts.at(1).toDouble());
    }
    return values;
}

double median(QList<double> v)
{
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    const qsizetype n = v.size();
    return n % 2 ? v.at(n / 2) : (v.at(n / 2 - 1) + v.at(n / 2)) / 2;
}

void makeFiles(const QString &encrypted, const QString &plain, int persons)
{
    if (!QFileInfo::exists(encrypted)) {
        out << "Making the register of " << persons << " persons in " << encrypted << " ..." << Qt::endl;
        QElapsedTimer t;
        t.start();
        const QString temp = encrypted + QStringLiteral(".new");
        for (const char *suffix : {"", "-wal", "-shm"})
            QFile::remove(temp + QLatin1String(suffix));
        core::schema::createFirstDatabase(temp, kKey);
        {
            engine::Database db;
            db.open(temp, kKey);
            core::fillSynthetic(db, persons, 2024);
        }
        if (!QFile::rename(temp, encrypted))
            fail(QStringLiteral("cannot make %1").arg(encrypted));
        out << "  done in " << t.elapsed() / 1000 << " s" << Qt::endl;
    }
    if (!QFileInfo::exists(plain)) {
        out << "Making the plain copy " << plain << " ..." << Qt::endl;
        engine::Database db;
        db.open(encrypted, kKey);
        const QString temp = plain + QStringLiteral(".new");
        QFile::remove(temp);
        {
            // ATTACH opens as the connection was opened, without creating.
            sqlite3 *empty = nullptr;
            sqlite3_open(QFile::encodeName(temp).constData(), &empty);
            sqlite3_exec(empty, QStringLiteral("PRAGMA page_size = %1; VACUUM;").arg(db.pageSize()).toUtf8().constData(),
                         nullptr, nullptr, nullptr);
            sqlite3_close(empty);
        }
        db.execute(QStringLiteral("ATTACH DATABASE ? AS plain KEY ''"), {temp});
        db.execute(QStringLiteral("PRAGMA plain.page_size = %1").arg(db.pageSize()));
        db.scalar(QStringLiteral("SELECT sqlcipher_export('plain')"));
        db.execute(QStringLiteral("DETACH DATABASE plain"));
        db.close();
        sqlite3 *h = openPlain(temp);
        sqlite3_exec(h, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        sqlite3_close(h);
        if (!QFile::rename(temp, plain))
            fail(QStringLiteral("cannot make %1").arg(plain));
    }
}

using Values = QMap<QString, QList<double>>;
enum Side { Encrypted, Plain, Server };
struct Sides {
    Values values[3];
    bool server = false;
};

// Every measurement once per pass, each in a fresh process; the cursor and
// the scans on every side, the screen and the sort on the file and the
// server (plain SQLite has no screen), the order of the sides turning
// from pass to pass.
void runPasses(const QStringList &common, const QString &encrypted, const QString &plain, int passes,
               const std::function<bool(const QString &)> &wanted, Sides &sides)
{
    for (int pass = 0; pass < passes; ++pass) {
        for (const QString &what : {QStringLiteral("cursor"), QStringLiteral("scans"), QStringLiteral("screen"),
                                    QStringLiteral("sort")}) {
            if (!wanted(what))
                continue;
            QList<Side> order{Encrypted};
            if (what == QLatin1String("cursor") || what == QLatin1String("scans"))
                order << Plain;
            if (sides.server)
                order << Server;
            std::rotate(order.begin(), order.begin() + pass % order.size(), order.end());
            for (const Side side : order) {
                QStringList a = common;
                a << QStringLiteral("--child") << what << QStringLiteral("--file") << (side == Plain ? plain : encrypted);
                if (side == Plain)
                    a << QStringLiteral("--plain");
                if (side == Server)
                    a << QStringLiteral("--on-server");
                const auto values = runChild(a);
                for (auto it = values.begin(); it != values.end(); ++it)
                    sides.values[side][it.key()] << it.value();
            }
        }
        out << "pass " << pass + 1 << " done" << Qt::endl;
    }
}

QString shown(const Values &side, const char *key)
{
    if (!side.contains(QLatin1String(key)))
        return QStringLiteral("-");
    const double v = median(side.value(QLatin1String(key)));
    return QString::number(v, 'f', v < 10 ? 2 : 0);
}

QString ratio(const Values &a, const Values &b, const char *key)
{
    const double over = median(b.value(QLatin1String(key)));
    if (!a.contains(QLatin1String(key)) || !b.contains(QLatin1String(key)) || over <= 0)
        return QStringLiteral("-");
    return QString::number(median(a.value(QLatin1String(key))) / over, 'f', 2) + QLatin1Char('x');
}

void printTable(const Sides &sides)
{
    const Values &enc = sides.values[Encrypted];
    const Values &pla = sides.values[Plain];
    const Values &srv = sides.values[Server];
    auto row = [&](const char *label, const char *key, const char *target, const char *serverTarget = "-") {
        if (!enc.contains(QLatin1String(key)) && !pla.contains(QLatin1String(key)))
            return; // not measured in this run (--only)
        out << QStringLiteral("| %1 | %2 | %3 | %4 | %5 |")
                   .arg(QString::fromUtf8(label), shown(enc, key), shown(pla, key), ratio(enc, pla, key),
                        QLatin1String(target));
        if (sides.server)
            out << QStringLiteral(" %1 | %2 | %3 |").arg(shown(srv, key), ratio(srv, enc, key), QLatin1String(serverTarget));
        out << Qt::endl;
    };
    out << Qt::endl << "| measurement (median) | encrypted | plain SQLite | ratio | target |";
    if (sides.server)
        out << " server | server / encrypted | server target |";
    out << Qt::endl << "|---|---|---|---|---|" << (sides.server ? "---|---|---|" : "") << Qt::endl;
    row("cursor seek (µs)", "seek_us", "within 1.5x", "within 2x");
    row("cursor next (µs)", "next_us", "within 1.5x", "within 2x");
    row("cursor previous (µs)", "previous_us", "within 1.5x", "within 2x");
    row("search, 1 criterion, first (ms)", "search1_first_ms", "within 2x");
    row("search, 1 criterion, again (ms)", "search1_again_ms", "within 1.2x");
    row("search, 30 criteria, first (ms)", "search30_first_ms", "within 2x");
    row("search, 30 criteria, again (ms)", "search30_again_ms", "within 1.2x");
    row("count by nationality, first (ms)", "nationality_first_ms", "within 2x");
    row("count by nationality, again (ms)", "nationality_again_ms", "within 1.2x");
    row("every person, first (ms)", "everyone_first_ms", "within 2x");
    row("every person, again (ms)", "everyone_again_ms", "within 1.2x");
    row("memory after reading every person twice (MB)", "scans_rss_mb", "-");
    row("plain, SQLite's own LIKE, 30 criteria, again (ms)", "search30_sqlite_like_again_ms", "-");
    row("logon: open with key derivation (ms)", "logon_open_ms", "-");
    row("screen: 8 look-ups + 3 grids (ms)", "screen_open_ms", "under 150", "under 300");
    row("person list: first rows (ms)", "list_first_rows_ms", "-");
    row("person list: every row id (ms)", "list_all_ids_ms", "-");
    row("person list: memory (MB)", "list_rss_mb", "-");
    row("heading sort of the list (ms)", "sort_ms", "-");
    row("heading sort: peak memory (MB)", "sort_peak_mb", "under 200");
    out << "rows found: search1 " << qint64(median(enc.value(QStringLiteral("search1_rows")))) << ", search30 "
        << qint64(median(enc.value(QStringLiteral("search30_rows")))) << ", list "
        << qint64(median(enc.value(QStringLiteral("list_rows")))) << ", sorted "
        << qint64(median(enc.value(QStringLiteral("sort_rows"))));
    if (sides.server)
        out << "; on the server: search1 " << qint64(median(srv.value(QStringLiteral("search1_rows")))) << ", search30 "
            << qint64(median(srv.value(QStringLiteral("search30_rows")))) << ", list "
            << qint64(median(srv.value(QStringLiteral("list_rows"))));
    out << Qt::endl;
}

// The register on the server: copied from the file when the server
// database holds no office rows yet.
void prepareServer(const QString &server, const QString &encrypted)
{
    engine::Database target;
    target.openServer(server);
    if (core::holdsOfficeData(target)) {
        out << "Server " << target.serverName() << ": holds the register already" << Qt::endl;
        return;
    }
    out << "Copying the register to the server " << target.serverName() << " ..." << Qt::endl;
    engine::Database source;
    source.open(encrypted, kKey);
    QElapsedTimer t;
    t.start();
    const core::CopyResult copied = core::copyDatabase(source, target);
    if (!copied.verified())
        fail(QStringLiteral("the copy on the server does not match the file"));
    out << "  copied and verified in " << t.elapsed() / 1000 << " s" << Qt::endl;
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchProcess process(argc, argv);
    const QStringList args = process.arguments();
    if (args.contains(QStringLiteral("--child")))
        return child(args);

    // The children are handed the same options: they are read, not taken out.
    auto option = [&args](const char *name, const QString &fallback) {
        const int i = int(args.indexOf(QLatin1String(name)));
        return i >= 0 && i + 1 < args.size() ? args.at(i + 1) : fallback;
    };
    const int persons = option("--persons", QStringLiteral("1000000")).toInt();
    const int passes = qMax(1, option("--passes", QStringLiteral("5")).toInt());
    const QString dir = option("--dir", QStringLiteral("/tmp/engine-bench"));
    QDir().mkpath(dir);
    const QString encrypted = option("--file", QStringLiteral("%1/register-%2.mdb").arg(dir).arg(persons));
    const QString plain = encrypted + QStringLiteral(".plain");
    if (persons < 10)
        fail(QStringLiteral("usage: bench_engine [--persons N>=10] [--dir D] [--passes P] [--file F] [--server CONNECTION]"));
    const QString server = option("--server", QString());
    try {
        makeFiles(encrypted, plain, persons);
        if (!server.isEmpty())
            prepareServer(server, encrypted);
    } catch (const engine::EngineError &e) {
        fail(QStringLiteral("%1 %2").arg(e.number()).arg(e.description()));
    }
    out << "Register: " << QFileInfo(encrypted).size() / 1048576 << " MB encrypted, " << QFileInfo(plain).size() / 1048576
        << " MB plain; " << passes << " passes, each measurement in a fresh process" << Qt::endl;

    // --only cursor,scans,screen,sort runs some of them.
    const QStringList only = option("--only", QString()).split(QLatin1Char(','), Qt::SkipEmptyParts);
    auto wanted = [&only](const QString &what) { return only.isEmpty() || only.contains(what); };
    Sides sides;
    sides.server = !server.isEmpty();
    QStringList common = {QStringLiteral("--persons"), QString::number(persons), QStringLiteral("--encrypted"), encrypted};
    if (sides.server)
        common << QStringLiteral("--server") << server;
    runPasses(common, encrypted, plain, passes, wanted, sides);
    printTable(sides);
    return 0;
}
