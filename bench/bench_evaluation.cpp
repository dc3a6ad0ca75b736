// The field evaluation screen on a large register: how long it opens, how
// long showing an evaluation with its problems takes, choosing a problem,
// choosing a diary record from the problem's list and moving to the next
// one; the problem look-up list as a user meets it; the queries behind them
// are timed on the encrypted file and on a plain copy side by side. Medians.
//
//   bench_evaluation [FOLDER] [--persons N] [--evaluations E] [--problems P]
//                    [--diary D] [--runs R]
//
// FOLDER (default /tmp/velm-bench-evaluation) holds velm.mdb; when it is
// missing it is built first: N persons (default 1,000,000) with their related
// rows, then more evaluations until Field_Evaluation holds E rows, problems
// until there are P, and diary records of the new problems until there are D
// (each 3,000,000 by default). The plain copy velm-plain.db is made next to
// it when missing. A file made by an older build of the engine must be
// removed to be made again.

#include "bench/BenchSupport.h"
#include "screens/DataGrid.h"
#include "screens/KeyLookup.h"
#include "screens/PersonLookup.h"
#include "followup/ProblemRecords.h"
#include "data/Schema.h"
#include "engine/Database.h"
#include "engine/QueryCursor.h"
#include "engine/TableCursor.h"
#include "followup/frmEvaluation.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <random>

namespace {

using bench::line;
using bench::median;
using bench::msSince;
using bench::out;
using bench::timed;
using followup::frmEvaluation;
namespace problems = followup::problems;

qint64 count(engine::Database &db, const char *table)
{
    return db.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(table))).toLongLong();
}

// Runs an INSERT ... LIMIT ? chunk by chunk until the table holds `wanted`
// rows; `values` are bound before the limit. Returns the rows it now holds.
qint64 growTo(engine::Database &db, const char *table, qint64 wanted, const QString &insert,
              const QVariantList &values)
{
    qint64 have = count(db, table);
    while (have < wanted) {
        engine::Transaction tx(db);
        db.execute(insert, QVariantList(values) << qMin<qint64>(wanted - have, 1000000));
        tx.commit();
        const qint64 now = count(db, table);
        if (now == have)
            break; // nothing more to copy
        have = now;
    }
    return have;
}

void build(const QString &path, int persons, qint64 evaluations, qint64 problemRows, qint64 diary)
{
    QElapsedTimer t;
    t.start();
    const core::SyntheticCounts c = bench::buildRegister(path, persons);
    engine::Database db;
    db.open(path, bench::officeKey());

    // More evaluations: copies of every person's evaluations 1 and 2 numbered
    // on from 3, 5, ... (the key stays unique), each copy with the problems
    // of its original twice over.
    const qint64 firstNewCode = db.scalar(QStringLiteral("SELECT max(code) FROM problems")).toLongLong() + 1;
    for (int offset = 2; offset < 200; offset += 2) {
        const qint64 evalsBefore = count(db, "Field_Evaluation");
        const qint64 problemsBefore = count(db, "problems");
        if (evalsBefore >= evaluations && problemsBefore >= problemRows)
            break;
        if (evalsBefore < evaluations) {
            growTo(db, "Field_Evaluation", qMin(evaluations, evalsBefore + c.evaluations),
                   QStringLiteral(
                       "INSERT INTO Field_Evaluation (tamrel_no, seq_no, evaluator_name, evaluator, date, "
                       "prayer_evaluation, evaluation_place, practice_of_islam, integrity, "
                       "arabic_language_learning, calling_non_muslim, relation_with_muslims, "
                       "relation_with_nonmuslims, overall_evaluation, name_of_official, remarks) "
                       "SELECT tamrel_no, seq_no + ?, evaluator_name, evaluator, date, prayer_evaluation, "
                       "evaluation_place, practice_of_islam, integrity, arabic_language_learning, "
                       "calling_non_muslim, relation_with_muslims, relation_with_nonmuslims, "
                       "overall_evaluation, name_of_official, remarks FROM Field_Evaluation "
                       "WHERE seq_no <= 2 LIMIT ?"),
                   {offset});
        }
        for (int twice = 0; twice < 2; ++twice) {
            growTo(db, "problems", qMin(problemRows, count(db, "problems") + c.problems),
                   QStringLiteral("INSERT INTO problems (tamrel_no, seq_no, Problems_Situation, "
                                  "Problems_Evaluation) SELECT tamrel_no, seq_no + ?, Problems_Situation, "
                                  "Problems_Evaluation FROM problems WHERE code < ? LIMIT ?"),
                   {offset, firstNewCode});
        }
        out() << "  evaluations: " << count(db, "Field_Evaluation") << ", problems: " << count(db, "problems")
              << Qt::endl;
    }
    // Diary records for the new problems, one each, until there are enough.
    growTo(db, "follow_up_Problems", diary,
           QStringLiteral("INSERT INTO follow_up_Problems (code, date_information, name_of_follower, "
                          "Problems_Evaluation, notes) SELECT code, '14400101', ?, ?, ? FROM problems "
                          "WHERE code > (SELECT max(code) FROM follow_up_Problems) ORDER BY code LIMIT ?"),
           {QStringLiteral("متابع الحالة"), core::schema::starterCodes(17).value(0),
            QStringLiteral("تمت زيارته في السكن")});
    out() << "  diary records: " << count(db, "follow_up_Problems") << Qt::endl;
    db.close();
    out() << QStringLiteral("file ready in %1 s, %2 MB")
                 .arg(t.elapsed() / 1000.0, 0, 'f', 1)
                 .arg(QFileInfo(path).size() / 1048576.0, 0, 'f', 0)
          << Qt::endl;
}

struct Evaluation {
    QString person;
    QString seq;
};

struct Diary {
    QString code;
    qint64 autoNo = 0;
};

struct ScreenTimes {
    std::vector<double> open, show, problem, choose, next;
    qint64 slotsFilled = 0, diaryRows = 0, missed = 0;
};

ScreenTimes timeScreen(core::AppContext &ctx, const QList<Evaluation> &evaluations,
                       const QList<Diary> &diary, int runs)
{
    ScreenTimes r;
    std::unique_ptr<frmEvaluation> screen;
    for (int i = 0; i < runs; ++i) {
        r.open.push_back(timed([&] {
            screen = std::make_unique<frmEvaluation>(ctx);
            screen->show();
        }));
    }
    // The lists the screen opened with are read to their end first, as they
    // are by the time a clerk has typed a number.
    for (core::DataSource *list : screen->findChildren<core::DataSource *>())
        bench::waitWhileRunning(*list);
    QCoreApplication::processEvents();
    auto *person = screen->findChild<core::PersonLookup *>(QStringLiteral("dbc_tamrel"));
    auto *seq = screen->findChild<QLineEdit *>(QStringLiteral("txt_seq_no"));
    auto *find = screen->findChild<QPushButton *>(QStringLiteral("find"));
    auto *code1 = screen->findChild<QLineEdit *>(QStringLiteral("txt_code_show1"));
    for (const Evaluation &e : evaluations) {
        r.show.push_back(timed([&] {
            core::setControlText(person, e.person);
            seq->setText(e.seq);
            find->click();
        }));
        r.slotsFilled += code1->text().isEmpty() ? 0 : 1;
    }

    screen->findChild<QTabWidget *>(QStringLiteral("SSTab1"))->setCurrentIndex(1);
    auto *code = screen->findChild<core::KeyLookup *>(QStringLiteral("DBC_CODE"));
    auto *grid = screen->findChild<core::DataGrid *>(QStringLiteral("DBGrid2"));
    auto *choose = screen->findChild<QPushButton *>(QStringLiteral("Command4"));
    auto *next = screen->findChild<QPushButton *>(QStringLiteral("nextrec"));
    auto *autoNo = screen->findChild<QLineEdit *>(QStringLiteral("txt_auto_no"));
    for (const Diary &d : diary) {
        r.problem.push_back(timed([&] {
            code->lineEdit()->setFocus();
            code->lineEdit()->clear();
            bench::typeKeys(code->lineEdit(), d.code, true);
        }));
        r.diaryRows += grid->rowCount();
        int row = -1;
        for (int n = 0; n < grid->rowCount() && row < 0; ++n) {
            if (grid->value(n, frmEvaluation::kDiaryNumberColumn) == QString::number(d.autoNo))
                row = n;
        }
        if (row < 0 || !grid->setCurrentRow(row)) {
            ++r.missed;
            continue;
        }
        r.choose.push_back(timed([&] { choose->click(); }));
        if (autoNo->text() != QString::number(d.autoNo))
            ++r.missed;
        r.next.push_back(timed([&] { next->click(); }));
    }
    return r;
}

struct QueryTimes {
    std::vector<double> seek, problems, personRows, nextNo, record, owner, problemDiary, nextRecord;
};

QueryTimes timeQueries(engine::Database &db, const QList<Evaluation> &evaluations, const QList<Diary> &diary)
{
    QueryTimes r;
    QElapsedTimer t;
    for (const Evaluation &e : evaluations) {
        t.start();
        {
            engine::TableCursor cursor(db, QStringLiteral("Field_Evaluation"));
            cursor.setIndex(QStringLiteral("PRIMARYKEY"));
            cursor.seek(QStringLiteral("="), {e.person, e.seq.toLongLong()});
        }
        r.seek.push_back(msSince(t));
        t.restart();
        problems::problemsOf(db, {e.person, e.seq}, frmEvaluation::kSlotCount);
        r.problems.push_back(msSince(t));
        t.restart();
        {
            engine::QueryCursor rows(db, QStringLiteral("SELECT * FROM Field_Evaluation WHERE tamrel_no = ?"),
                                     {e.person});
            while (rows.next()) {
            }
        }
        r.personRows.push_back(msSince(t));
        t.restart();
        core::nextSeqNo(db, QStringLiteral("Field_Evaluation"), e.person);
        r.nextNo.push_back(msSince(t));
    }
    for (const Diary &d : diary) {
        t.start();
        problems::diaryRecord(db, d.autoNo);
        r.record.push_back(msSince(t));
        t.restart();
        problems::ownerOf(db, d.code);
        r.owner.push_back(msSince(t));
        t.restart();
        {
            engine::QueryCursor rows(db, frmEvaluation::kProblemDiarySql, {d.code.toLongLong()});
            while (rows.next()) {
            }
        }
        r.problemDiary.push_back(msSince(t));
        t.restart();
        problems::nextDiaryRecord(db, d.autoNo, true);
        r.nextRecord.push_back(msSince(t));
    }
    return r;
}

// Evaluations with problems and diary records spread over the tables,
// the same ones for every measurement.
struct Samples {
    QList<Evaluation> evaluations;
    QList<Diary> diary;
};

Samples pickSamples(engine::Database &db)
{
    const qint64 maxCode = db.scalar(QStringLiteral("SELECT max(code) FROM problems")).toLongLong();
    const qint64 maxAuto = db.scalar(QStringLiteral("SELECT max(auto_no) FROM follow_up_Problems")).toLongLong();
    std::mt19937 random(7);
    std::uniform_int_distribution<qint64> pickCode(1, maxCode);
    std::uniform_int_distribution<qint64> pickRecord(1, maxAuto);
    Samples samples;
    while (samples.evaluations.size() < 200) {
        engine::QueryCursor p(db, QStringLiteral("SELECT tamrel_no, seq_no FROM problems WHERE code = ?"),
                              {pickCode(random)});
        if (p.next())
            samples.evaluations.append({p.value(0).toString(), p.value(1).toString()});
    }
    while (samples.diary.size() < 200) {
        engine::QueryCursor d(db, QStringLiteral("SELECT code, auto_no FROM follow_up_Problems WHERE auto_no = ?"),
                              {pickRecord(random)});
        if (d.next())
            samples.diary.append({d.value(0).toString(), d.value(1).toLongLong()});
    }
    return samples;
}

void printScreenTimes(const std::vector<double> &connect, const ScreenTimes &s, const Samples &samples, int runs)
{
    out() << Qt::endl << "frmEvaluation, medians (open: " << runs << " runs; the rest: "
          << samples.evaluations.size() << " evaluations, " << samples.diary.size() << " diary records)" << Qt::endl;
    line(QStringLiteral("  one further connection opened"), median(connect),
         QStringLiteral("(with the key derived at logon)"));
    line(QStringLiteral("  open (target < 300 ms)"), median(s.open));
    line(QStringLiteral("  find: an evaluation with its problems (< 16 ms)"), median(s.show),
         QStringLiteral("(%1 of %2 with a problem in slot 1)").arg(s.slotsFilled).arg(samples.evaluations.size()));
    line(QStringLiteral("  a problem typed + Enter: its person and diary"), median(s.problem),
         QStringLiteral("(%1 diary rows per problem on average)")
             .arg(double(s.diaryRows) / samples.diary.size(), 0, 'f', 1));
    line(QStringLiteral("  a diary record chosen from DBGrid2 (< 16 ms)"), median(s.choose),
         s.missed ? QStringLiteral("(%1 not reached)").arg(s.missed) : QString());
    line(QStringLiteral("  next diary record"), median(s.next));
}

// The problem look-up list over every problem code.
void timeProblemList(core::AppContext &ctx, const QList<Diary> &diary)
{
    frmEvaluation screen(ctx);
    screen.show();
    screen.findChild<QTabWidget *>(QStringLiteral("SSTab1"))->setCurrentIndex(1);
    auto *code = screen.findChild<core::KeyLookup *>(QStringLiteral("DBC_CODE"));
    out() << Qt::endl;
    bench::printLookup(QStringLiteral("DBC_CODE on frmEvaluation"),
                       bench::timeLookup(*code, {QStringLiteral("1"), QStringLiteral("25"), diary.at(0).code,
                                                 diary.at(1).code, diary.at(2).code}));
}

void compareQueries(engine::Database &db, engine::Database &plainDb, const Samples &samples)
{
    const auto [enc, pla] = bench::sideBySide<QueryTimes>(db, plainDb, [&](engine::Database &on, bool warmUp) {
        return warmUp ? timeQueries(on, samples.evaluations.mid(0, 20), samples.diary.mid(0, 20))
                      : timeQueries(on, samples.evaluations, samples.diary);
    });
    out() << Qt::endl << "queries, medians: encrypted | plain SQLite" << Qt::endl;
    using bench::both;
    both(QStringLiteral("evaluation sought by its key (table cursor)"), enc.seek, pla.seek);
    both(QStringLiteral("problems of an evaluation (first three)"), enc.problems, pla.problems);
    both(QStringLiteral("evaluations of a person (grid rows)"), enc.personRows, pla.personRows);
    both(QStringLiteral("next evaluation number"), enc.nextNo, pla.nextNo);
    both(QStringLiteral("diary record by its number"), enc.record, pla.record);
    both(QStringLiteral("person and name of a problem"), enc.owner, pla.owner);
    both(QStringLiteral("diary records of a problem (grid rows)"), enc.problemDiary, pla.problemDiary);
    both(QStringLiteral("next diary record in stored order"), enc.nextRecord, pla.nextRecord);
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchProcess process(argc, argv);
    bench::CommandLine &args = process.args();
    const int persons = int(args.option("--persons", 1000000));
    const qint64 evaluations = args.option("--evaluations", 3000000);
    const qint64 problemRows = args.option("--problems", 3000000);
    const qint64 diaryRows = args.option("--diary", 3000000);
    const int runs = int(args.option("--runs", 7));
    bench::ScreenBench world(args.folder(QStringLiteral("/tmp/velm-bench-evaluation")));
    if (!world.prepare([&](const QString &file) { build(file, persons, evaluations, problemRows, diaryRows); }))
        return 1;
    const QString file = world.file();
    engine::Database &db = world.store().db();
    out() << QStringLiteral("%1: %2 persons, %3 evaluations, %4 problems, %5 diary records, %6 MB")
                 .arg(file)
                 .arg(count(db, "tamrel"))
                 .arg(count(db, "Field_Evaluation"))
                 .arg(count(db, "problems"))
                 .arg(count(db, "follow_up_Problems"))
                 .arg(QFileInfo(file).size() / 1048576.0, 0, 'f', 0)
          << Qt::endl;
    const Samples samples = pickSamples(db);

    std::vector<double> connect;
    for (int i = 0; i < runs; ++i)
        connect.push_back(timed([&] { world.store().openViewConnection(); }));
    const ScreenTimes s = timeScreen(world.ctx(), samples.evaluations, samples.diary, runs);
    printScreenTimes(connect, s, samples, runs);
    timeProblemList(world.ctx(), samples.diary);

    engine::Database plainDb;
    if (!world.openPlain(plainDb))
        return 1;
    compareQueries(db, plainDb, samples);
    return 0;
}
