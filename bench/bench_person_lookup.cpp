// The screens about one person on a large register: how long each opens,
// how long typing a person number takes until the names and that person's
// steps are shown, and how long the next step number takes; the person
// look-up list as a user meets it (typing, pasting, opening it on an empty
// box, scrolling it) with the memory it takes; the queries behind them
// timed on the encrypted file and on a plain copy side by side. Medians of
// several runs.
//
//   bench_person_lookup [FOLDER] [--persons N] [--steps M] [--runs R]
//
// FOLDER (default /tmp/velm-bench-person) holds velm.mdb; when it is missing
// it is built first: N persons (default 1,000,000) with their related rows,
// then more follow-up steps until followUp holds M rows (default 5,000,000).
// The plain copy velm-plain.db is made next to it when missing.

#include "bench/BenchSupport.h"
#include "screens/DataGrid.h"
#include "screens/PersonLookup.h"
#include "engine/Database.h"
#include "engine/QueryCursor.h"
#include "education/frmCourses.h"
#include "followup/frmFollowup.h"
#include "followup/frmQuest.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>

#include <functional>
#include <memory>
#include <random>

namespace {

using bench::line;
using bench::median;
using bench::msSince;
using bench::out;
using bench::timed;

void build(const QString &path, int persons, qint64 steps)
{
    QElapsedTimer t;
    t.start();
    const core::SyntheticCounts c = bench::buildRegister(path, persons);
    engine::Database db;
    db.open(path, bench::officeKey());
    // More steps for the persons who have some: copies of their steps 1-4
    // numbered on from 5, 9, ... (the key stays unique).
    qint64 have = c.followUps;
    for (int offset = 4; have < steps && offset < 400; offset += 4) {
        const qint64 chunk = qMin<qint64>(steps - have, 1000000);
        engine::Transaction tx(db);
        db.execute(QStringLiteral(
                       "INSERT INTO followUp (tamrel_no, seq_no, description, step_start_date, "
                       "step_end_date, evaluation, comments) SELECT tamrel_no, seq_no + ?, description, "
                       "step_start_date, step_end_date, evaluation, comments FROM followUp "
                       "WHERE seq_no <= 4 LIMIT ?"),
                   {offset, chunk});
        tx.commit();
        have = db.scalar(QStringLiteral("SELECT count(*) FROM followUp")).toLongLong();
        out() << "  follow-up steps: " << have << Qt::endl;
    }
    db.close();
    out() << QStringLiteral("file ready in %1 s, %2 MB")
                 .arg(t.elapsed() / 1000.0, 0, 'f', 1)
                 .arg(QFileInfo(path).size() / 1048576.0, 0, 'f', 0)
          << Qt::endl;
}

struct ScreenTimes {
    std::vector<double> open, firstKey, nextKeys, enter;
    qint64 rows = 0;
};

// Opens the screen, types a person number and presses Enter; runs times.
ScreenTimes timeScreen(const std::function<QWidget *()> &make, const QStringList &numbers, int runs)
{
    ScreenTimes r;
    for (int i = 0; i < runs; ++i) {
        std::unique_ptr<QWidget> screen;
        r.open.push_back(timed([&] {
            screen.reset(make());
            screen->show();
        }));
        auto *person = screen->findChild<core::PersonLookup *>(QStringLiteral("dbc_tamrel"));
        auto *grid = screen->findChild<core::DataGrid *>(QStringLiteral("DBGrid1"));
        QLineEdit *edit = person->lineEdit();
        edit->setFocus();
        edit->clear();
        const QString number = numbers.at(i % numbers.size());
        for (int k = 0; k < number.size(); ++k)
            (k == 0 ? r.firstKey : r.nextKeys).push_back(timed([&] { bench::typeKeys(edit, number.mid(k, 1)); }));
        r.enter.push_back(timed([&] { bench::typeKeys(edit, {}, true); }));
        r.rows += grid->rowCount();
        if (screen->findChild<QLineEdit *>(QStringLiteral("txt_a_new_name"))->text().isEmpty())
            out() << "  (no names shown for " << number << ")" << Qt::endl;
    }
    return r;
}

struct QueryTimes {
    std::vector<double> prefix, names, steps, next;
};

// The queries behind the screens, on one connection.
QueryTimes timeQueries(engine::Database &db, const QStringList &numbers)
{
    QueryTimes r;
    QElapsedTimer t;
    for (const QString &number : numbers) {
        t.start();
        core::KeyLookup::readKeys(db, QStringLiteral("tamrel"), QStringLiteral("tamrel_no"),
                                  core::PersonLookup::numbersBeginningWith(number.left(3)), {},
                                  core::PersonLookup::kBatch);
        r.prefix.push_back(msSince(t));
        t.restart();
        core::findPersonNames(db, number);
        r.names.push_back(msSince(t));
        t.restart();
        {
            engine::QueryCursor c(db, QStringLiteral("SELECT * FROM followUp WHERE tamrel_no = ?"), {number});
            while (c.next()) {
            }
        }
        r.steps.push_back(msSince(t));
        t.restart();
        core::nextSeqNo(db, QStringLiteral("followUp"), number);
        r.next.push_back(msSince(t));
    }
    return r;
}

// Persons spread over the register, the same ones for every measurement.
QStringList samplePersons(qint64 personCount)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<qint64> pickPerson(1, personCount);
    QStringList numbers;
    for (int i = 0; i < 200; ++i)
        numbers << QString::number(pickPerson(random));
    return numbers;
}

void timeScreens(core::AppContext &ctx, const QStringList &numbers, int runs)
{
    const struct {
        const char *name;
        std::function<QWidget *()> make;
    } screens[] = {
        {"frmFollowup", [&] { return new followup::frmFollowup(ctx); }},
        {"frmCourses", [&] { return new education::frmCourses(ctx); }},
        {"frmQuest", [&] { return new followup::frmQuest(ctx); }},
    };
    for (const auto &s : screens) {
        const ScreenTimes r = timeScreen(s.make, numbers, runs);
        out() << s.name << Qt::endl;
        line(QStringLiteral("  open (target < 300 ms)"), median(r.open));
        line(QStringLiteral("  first key: numbers offered"), median(r.firstKey));
        line(QStringLiteral("  each further key: numbers offered"), median(r.nextKeys));
        line(QStringLiteral("  Enter: the names and the person's rows shown"), median(r.enter),
             QStringLiteral("(%1 grid rows per person on average)").arg(double(r.rows) / runs, 0, 'f', 1));
    }
}

// The look-up list itself: "1" begins about a ninth of all numbers.
void timePersonList(core::AppContext &ctx, const QStringList &numbers)
{
    followup::frmFollowup screen(ctx);
    screen.show();
    auto *person = screen.findChild<core::PersonLookup *>(QStringLiteral("dbc_tamrel"));
    out() << Qt::endl;
    bench::printLookup(QStringLiteral("dbc_tamrel on frmFollowup"),
                       bench::timeLookup(*person, {QStringLiteral("1"), QStringLiteral("25"),
                                                   numbers.at(0), numbers.at(1), numbers.at(2)}));
}

void compareQueries(engine::Database &db, engine::Database &plainDb, const QStringList &numbers)
{
    const auto [enc, pla] = bench::sideBySide<QueryTimes>(db, plainDb, [&](engine::Database &on, bool warmUp) {
        return timeQueries(on, warmUp ? numbers.mid(0, 20) : numbers);
    });
    out() << Qt::endl
          << "queries, medians over " << numbers.size() << " persons: encrypted | plain SQLite" << Qt::endl;
    using bench::both;
    both(QStringLiteral("numbers by prefix (first batch of 50)"), enc.prefix, pla.prefix);
    both(QStringLiteral("names of a person"), enc.names, pla.names);
    both(QStringLiteral("steps of a person"), enc.steps, pla.steps);
    both(QStringLiteral("next step number (target < 16 ms)"), enc.next, pla.next);
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchProcess process(argc, argv);
    bench::CommandLine &args = process.args();
    const int persons = int(args.option("--persons", 1000000));
    const qint64 steps = args.option("--steps", 5000000);
    const int runs = int(args.option("--runs", 7));
    bench::ScreenBench world(args.folder(QStringLiteral("/tmp/velm-bench-person")));
    if (!world.prepare([&](const QString &file) { build(file, persons, steps); }))
        return 1;
    core::DataStore &store = world.store();
    engine::Database &db = store.db();
    const qint64 personCount = db.scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong();
    const qint64 stepCount = db.scalar(QStringLiteral("SELECT count(*) FROM followUp")).toLongLong();
    out() << QStringLiteral("%1: %2 persons, %3 follow-up steps, %4 MB")
                 .arg(world.file())
                 .arg(personCount)
                 .arg(stepCount)
                 .arg(QFileInfo(world.file()).size() / 1048576.0, 0, 'f', 0)
          << Qt::endl;
    const QStringList numbers = samplePersons(personCount);

    std::vector<double> connect;
    for (int i = 0; i < runs; ++i)
        connect.push_back(timed([&] { store.openViewConnection(); }));
    out() << Qt::endl << "medians of " << runs << " runs" << Qt::endl;
    line(QStringLiteral("one further connection opened"), median(connect),
         QStringLiteral("(with the key derived at logon)"));
    timeScreens(world.ctx(), numbers, runs);
    timePersonList(world.ctx(), numbers);

    engine::Database plainDb;
    if (!world.openPlain(plainDb))
        return 1;
    compareQueries(db, plainDb, numbers);
    return 0;
}
