// The dated copy of the first logon of a day: what the clerk waits for at the
// logon (the one-time copy is there: nothing, the day's copy starts in the
// background), how long the day's copy then takes beside the work until it
// is checked and named and the old copies rotated, and the longest the
// window's thread waited for an event meanwhile; its parts: the page copy
// and the check. Beside them the reference: a plain copy of the file
// (cp), which neither reads a consistent moment nor decrypts, nor checks.
// Then putting a copy back (restore: copy, check, swap). Medians of the
// passes; the file is in the OS cache after the first (warm-up) pass.
//
//   bench_backup [FOLDER] [--persons N] [--passes P]
//
// FOLDER (default /tmp/velm-bench-backup) holds velm.mdb; when it is
// missing it is built with N persons (default 1,000,000) and their related
// rows. The copies go to FOLDER/backup and are removed at the end.

#include "bench/BenchSupport.h"
#include "data/Backups.h"
#include "data/Restore.h"
#include "logon/LogonBackup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

using bench::line;
using bench::median;
using bench::msSince;
using bench::out;

// A program folder whose db_path names the benchmark folder.
bool writeDbPath(const QString &program, const QString &folder)
{
    QFile dbPath(program + QStringLiteral("/db_path"));
    if (!dbPath.open(QIODevice::WriteOnly))
        return false;
    const QByteArray dir = QFileInfo(folder).absoluteFilePath().toUtf8();
    dbPath.write("0\n" + dir + "\n" + dir + "/pictures\n" + dir + "/material\n" + dir + "/forms\n");
    return true;
}

void removeCopies(const QString &folder)
{
    QDir dir(folder);
    for (const QString &name : dir.entryList({QStringLiteral("velm-*.mdb"), QStringLiteral("*.copy")}, QDir::Files))
        dir.remove(name);
}

struct Times {
    std::vector<double> logon, daily, gap, pages, check, plain, restore;
};

// The day's copy beside the work: its time until finished() and the longest
// pause of the window's event loop meanwhile.
std::pair<double, double> dailyCopy(core::DataStore &store, const QDate &day)
{
    logon::DailyBackup daily;
    QEventLoop loop;
    QString failure;
    QObject::connect(&daily, &logon::DailyBackup::finished, &loop, [&](const QString &f) {
        failure = f;
        loop.quit();
    });
    QElapsedTimer timer;
    QElapsedTimer sinceTick;
    double gap = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        gap = qMax(gap, msSince(sinceTick));
        sinceTick.restart();
    });
    timer.start();
    if (!daily.start(store, day))
        return {-1, -1};
    sinceTick.start();
    tick.start(5);
    loop.exec();
    if (!failure.isEmpty())
        std::fprintf(stderr, "the day's copy failed: %s\n", qPrintable(failure));
    return {msSince(timer), gap};
}

void measure(core::DataStore &store, const QString &folder, int passes, Times &t)
{
    const QString backups = core::backups::folderOf(store.config().dataDir);
    const QString file = store.config().dbFile;
    for (int pass = 0; pass <= passes; ++pass) {
        const bool warmUp = pass == 0;
        removeCopies(backups);
        QElapsedTimer timer;
        // What the clerk waits for at the day's first logon, then the day's copy.
        const QDate day = QDate(2030, 1, 1).addDays(pass);
        timer.start();
        const logon::BackupOutcome outcome = logon::LOGONBACKUP(store, {}, day);
        const double logonMs = msSince(timer);
        if (!outcome.ok || !outcome.failure.isEmpty())
            std::fprintf(stderr, "the logon's copy failed: %s\n", qPrintable(outcome.failure + outcome.message));
        const auto [dailyMs, gapMs] = dailyCopy(store, day);
        // Its parts.
        const QString pagesCopy = backups + QStringLiteral("/pages.copy");
        timer.restart();
        store.db().backupTo(pagesCopy);
        const double pagesMs = msSince(timer);
        timer.restart();
        {
            engine::Database copy;
            engine::OpenSpec copySpec = store.db().openSpec();
            copySpec.path = pagesCopy;
            copy.open(copySpec);
            copy.checkIntegrity();
        }
        const double checkMs = msSince(timer);
        // The reference: the file's bytes copied as they are.
        timer.restart();
        QFile::copy(file, backups + QStringLiteral("/plain.copy"));
        const double plainMs = msSince(timer);
        // Putting a copy back, onto a scratch database beside the office's.
        const QString scratch = folder + QStringLiteral("/restore-target.mdb");
        QFile::remove(scratch);
        QFile::copy(pagesCopy, scratch);
        timer.restart();
        const core::restore::Restored restored = core::restore::putInPlace(pagesCopy, scratch, QDate(2030, 1, 1));
        const double restoreMs = msSince(timer);
        QFile::remove(scratch);
        QFile::remove(restored.keptAs);
        if (warmUp)
            continue;
        t.logon.push_back(logonMs);
        t.daily.push_back(dailyMs);
        t.gap.push_back(gapMs);
        t.pages.push_back(pagesMs);
        t.check.push_back(checkMs);
        t.plain.push_back(plainMs);
        t.restore.push_back(restoreMs);
    }
    removeCopies(backups);
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchProcess process(argc, argv);
    bench::CommandLine &args = process.args();
    const int persons = int(args.option("--persons", 1000000));
    const int passes = int(qMax<qint64>(1, args.option("--passes", 3)));
    const QString folder = QDir(args.folder(QStringLiteral("/tmp/velm-bench-backup"))).absolutePath();
    QDir().mkpath(folder);
    const QString file = folder + QStringLiteral("/velm.mdb");
    try {
        if (!QFileInfo::exists(file))
            bench::buildRegister(file, persons);
    } catch (const engine::EngineError &e) {
        std::fprintf(stderr, "cannot build %s: %s\n", qPrintable(file), e.what());
        return 1;
    }
    QTemporaryDir program;
    if (!writeDbPath(program.path(), folder)) {
        std::fprintf(stderr, "cannot write db_path\n");
        return 1;
    }
    core::DataStore store(program.path());
    store.READDBPATH();
    if (const core::OpenResult opened = store.OPENDATABASE(); !opened.ok) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(file), qPrintable(opened.message));
        return 1;
    }
    // The one-time copy exists already: each logon measured takes only the day's.
    const QString once = logon::backupFilePath(store);
    if (!QFileInfo::exists(once))
        logon::LOGONBACKUP(store);

    const qint64 personsIn = core::backups::personCount(store.db());
    out() << QStringLiteral("%1: %2 persons, %3 MB; %4 passes after one to warm the cache")
                 .arg(file)
                 .arg(personsIn)
                 .arg(QFileInfo(file).size() / 1048576.0, 0, 'f', 0)
                 .arg(passes)
          << Qt::endl;
    bench::resetPeak();
    Times t;
    try {
        measure(store, folder, passes, t);
    } catch (const engine::EngineError &e) {
        std::fprintf(stderr, "failed: %s\n", e.what());
        return 1;
    }
    line(QStringLiteral("logon: the clerk waits (one-time copy there)"), median(t.logon));
    line(QStringLiteral("day's copy beside the work, to checked and named"), median(t.daily));
    line(QStringLiteral("  longest wait of the window's thread meanwhile"), median(t.gap));
    line(QStringLiteral("  page copy (one snapshot, encrypted)"), median(t.pages));
    line(QStringLiteral("  check of the copy (key, every page)"), median(t.check));
    line(QStringLiteral("  reference: plain file copy (cp)"), median(t.plain));
    line(QStringLiteral("restore: copy, check and swap"), median(t.restore));
    out() << QStringLiteral("peak memory %1 MB").arg(bench::peakMegabytes(), 0, 'f', 0) << Qt::endl;
    return 0;
}
