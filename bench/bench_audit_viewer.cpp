// The audit trail's viewer on a large trail: how soon its first rows show
// after a search with each filter, how long until every row is known, and
// how long the chosen row's changes take; and the person screen's read of
// a person's last change. Medians.
//
//   bench_audit_viewer [FOLDER] [--persons N] [--audit A] [--runs R]
//
// FOLDER (default /tmp/velm-bench-audit) holds velm.mdb; when it is missing
// it is built with N persons (default 1,000,000) and their related rows.
// Its trail is then filled up to A rows (default 5,000,000): changes of the
// persons, of their follow-up steps and of the users, by eight users, spread
// over the last year. R (default 5) runs of each search.

#include "bench/BenchSupport.h"
#include "logon/frmAudit.h"
#include "screens/DataGrid.h"
#include "screens/DataSource.h"
#include "data/AuditTrail.h"
#include "data/HijraDate.h"
#include "data/Schema.h"
#include "synthetic/SyntheticData.h"
#include "engine/Database.h"

#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>

#include <functional>
#include <memory>

namespace {

using bench::line;
using bench::median;
using bench::msSince;
using bench::out;

const char *const kUsers[] = {"admin", "clerk1", "clerk2", "clerk3", "reception", "sami", "huda", "omar"};

void build(const QString &path, int persons)
{
    QElapsedTimer t;
    t.start();
    core::schema::createFirstDatabase(path, bench::officeKey());
    engine::Database db;
    db.open(path, bench::officeKey());
    const core::SyntheticCounts c = core::fillSynthetic(db, persons, 2024);
    out() << QStringLiteral("built %1 persons in %2 s").arg(c.persons).arg(t.elapsed() / 1000.0, 0, 'f', 1)
          << Qt::endl;
}

// Adds trail rows, oldest first, until the trail holds `wanted`.
void fillTrail(engine::Database &db, qint64 wanted, qint64 persons)
{
    const qint64 have = db.scalar(QStringLiteral("SELECT count(*) FROM audit")).toLongLong();
    if (have >= wanted)
        return;
    QElapsedTimer t;
    t.start();
    QRandomGenerator random(18);
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-365);
    const qint64 spanMs = 365LL * 24 * 3600 * 1000;
    engine::Statement insert(db, QStringLiteral("INSERT INTO audit (changed_at, user_id, workstation, table_name, "
                                                "record_key, action, changes) VALUES (?, ?, ?, ?, ?, ?, ?)"));
    for (qint64 i = have; i < wanted;) {
        engine::Transaction tx(db);
        for (int n = 0; n < 50000 && i < wanted; ++n, ++i) {
            const QDateTime at = start.addMSecs(spanMs * i / wanted);
            const QString person = QString::number(1 + random.bounded(qMax<qint64>(1, persons)));
            const int kind = random.bounded(10);
            QString table = QStringLiteral("tamrel"), key = person;
            QString changes = QStringLiteral(R"([{"field":"comments","old":"زيارة","new":"زيارة ثانية %1"}])").arg(i);
            if (kind >= 7) {
                table = QStringLiteral("followUp");
                key = person + QLatin1Char('/') + QString::number(1 + random.bounded(5));
            } else if (kind == 6) {
                table = QStringLiteral("users");
                key = QLatin1String(kUsers[random.bounded(8)]);
                changes = QStringLiteral(R"([{"field":"PASSWORD","changed":true}])");
            }
            insert.bind({at.toString(Qt::ISODateWithMs), QLatin1String(kUsers[random.bounded(8)]),
                         QStringLiteral("PC-%1").arg(random.bounded(4) + 1), table, key,
                         kind == 0 ? QStringLiteral("add") : QStringLiteral("update"), changes});
            insert.step();
        }
        tx.commit();
    }
    insert.reset();
    out() << QStringLiteral("trail filled to %1 rows in %2 s").arg(wanted).arg(t.elapsed() / 1000.0, 0, 'f', 1)
          << Qt::endl;
}

struct Search {
    QString name;
    std::function<void(logon::frmAudit &)> set; // the filters, typed as a user would
};

template <typename T>
T *control(QWidget *screen, const char *name)
{
    return screen->findChild<T *>(QLatin1String(name));
}

void chooseDay(logon::frmAudit &screen, const char *prefix, const QDate &day)
{
    const core::HijriDay d = core::hijriOf(day);
    const QStringList parts{d.yyyy, d.mm, d.dd};
    const char *lists[] = {"Year", "Month", "Day"};
    for (int i = 0; i < 3; ++i) {
        auto *list = control<QComboBox>(&screen, (QByteArray(prefix) + lists[i]).constData());
        const int at = list->findText(parts.at(i));
        list->setCurrentIndex(at);
        emit list->activated(at);
    }
}

void timeSearch(logon::frmAudit &screen, const Search &search, int runs)
{
    auto *grid = control<core::DataGrid>(&screen, "grdAudit");
    core::DataSource *source = grid->dataSource();
    std::vector<double> first, whole, changes;
    int rows = 0;
    for (int r = 0; r < runs; ++r) {
        control<QPushButton>(&screen, "cmdClear")->click();
        bench::waitWhileRunning(*source);
        search.set(screen);
        QElapsedTimer t;
        t.start();
        control<QPushButton>(&screen, "cmdSearch")->click();
        QCoreApplication::processEvents();
        // The first rows: shown when the click returns, or found soon after.
        while (grid->rowCount() == 0 && source->isRunning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        grid->viewport()->repaint();
        first.push_back(msSince(t));
        bench::waitWhileRunning(*source);
        whole.push_back(msSince(t));
        rows = grid->rowCount();
        if (rows > 1)
            changes.push_back(bench::timed([&] { grid->setCurrentRow(1); }));
    }
    line(search.name + QStringLiteral(": first rows shown"), median(first), QStringLiteral("%1 rows").arg(rows));
    line(search.name + QStringLiteral(": every row known"), median(whole));
    if (!changes.empty())
        line(search.name + QStringLiteral(": a row's changes shown"), median(changes));
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchProcess process(argc, argv);
    bench::CommandLine &args = process.args();
    const int persons = int(args.option("--persons", 1000000));
    const qint64 trail = args.option("--audit", 5000000);
    const int runs = int(args.option("--runs", 5));
    bench::ScreenBench world(args.folder(QStringLiteral("/tmp/velm-bench-audit")));
    if (!world.prepare([&](const QString &file) { build(file, persons); }))
        return 1;
    engine::Database &db = world.store().db();
    if (!db.hasTable(QStringLiteral("audit"))) {
        std::fprintf(stderr, "%s has no audit table\n", qPrintable(world.file()));
        return 1;
    }
    const qint64 registered = db.scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong();
    fillTrail(db, trail, registered);
    out() << QStringLiteral("%1: %2 persons, %3 trail rows, %4 MB")
                 .arg(world.file())
                 .arg(registered)
                 .arg(db.scalar(QStringLiteral("SELECT count(*) FROM audit")).toLongLong())
                 .arg(QFileInfo(world.file()).size() / 1048576.0, 0, 'f', 0)
          << Qt::endl;

    world.ctx().logon.PERMISSION[logon::frmAudit::kPermission - 1] = 1;
    std::unique_ptr<logon::frmAudit> screen;
    line(QStringLiteral("viewer opened, first rows shown"),
         bench::timed([&] { screen.reset(logon::frmAudit::open(world.ctx())); }));
    if (!screen)
        return 1;
    screen->resize(1000, 640);
    screen->show();
    QCoreApplication::processEvents();

    const QString person = QString::number(qMax<qint64>(1, registered / 2));
    const QDate today = QDate::currentDate();
    auto text = [](logon::frmAudit &s, const char *name, const QString &value) {
        control<QLineEdit>(&s, name)->setText(value);
    };
    auto table = [](logon::frmAudit &s, const QString &caption) {
        auto *list = control<QComboBox>(&s, "cboTable");
        list->setCurrentIndex(list->findText(caption));
    };
    const QList<Search> searches{
        {QStringLiteral("everything"), [](logon::frmAudit &) {}},
        {QStringLiteral("one table"), [&](logon::frmAudit &s) { table(s, logon::frmAudit::tableCaption("users")); }},
        {QStringLiteral("one person and its steps"), [&](logon::frmAudit &s) { text(s, "txtRecordKey", person); }},
        {QStringLiteral("one user"), [&](logon::frmAudit &s) { text(s, "txtUser", QStringLiteral("HUDA")); }},
        {QStringLiteral("last seven days"), [&](logon::frmAudit &s) { chooseDay(s, "cboFrom", today.addDays(-7)); }},
        {QStringLiteral("a month half a year back"),
         [&](logon::frmAudit &s) {
             chooseDay(s, "cboFrom", today.addDays(-200));
             chooseDay(s, "cboTo", today.addDays(-170));
         }},
        {QStringLiteral("user, table and days"),
         [&](logon::frmAudit &s) {
             table(s, logon::frmAudit::tableCaption("followUp"));
             text(s, "txtUser", QStringLiteral("omar"));
             chooseDay(s, "cboFrom", today.addDays(-30));
         }},
    };
    for (const Search &s : searches)
        timeSearch(*screen, s, runs);

    // What the person screen reads for its status line, for 200 persons.
    std::vector<double> last;
    QRandomGenerator random(5);
    for (int i = 0; i < 200; ++i) {
        const QString number = QString::number(1 + random.bounded(qMax<qint64>(1, registered)));
        QElapsedTimer t;
        t.start();
        core::AuditTrail::lastChange(db, QStringLiteral("tamrel"), number);
        last.push_back(msSince(t));
    }
    line(QStringLiteral("a person's last change (status line)"), median(last));
    out() << "peak memory of the process: " << bench::peakMegabytes() << " MB" << Qt::endl;
    return 0;
}
