// bench_engine [persons] [folder]: the cost of the table cursor on a large
// register, encrypted and plain side by side. Fills tamrel with made-up
// persons (default 1,000,000) in an encrypted file and in a plain one, then
// times random seeks and steps in key order.

#include "OpenDb.h"
#include "Schema.h"
#include "SyntheticData.h"
#include "engine/Database.h"
#include "engine/TableCursor.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <random>

namespace {

constexpr int kOperations = 10000;

struct Timings {
    double fillSeconds = 0;
    qint64 fileBytes = 0;
    double seekMicros = 0;
    double nextMicros = 0;
    double previousMicros = 0;
    double openMicros = 0;
};

double microsPer(const QElapsedTimer &t, int operations)
{
    return double(t.nsecsElapsed()) / 1000.0 / operations;
}

Timings measure(engine::Database &db, int persons)
{
    Timings r;
    QElapsedTimer t;

    t.start();
    core::schema::createSchema(db);
    core::fillSynthetic(db, persons, 2024, {false, 10000});
    r.fillSeconds = t.nsecsElapsed() / 1e9;

    // Opening a cursor happens at the start of every screen operation.
    t.start();
    for (int i = 0; i < 1000; ++i) {
        engine::TableCursor c(db, QStringLiteral("tamrel"));
        c.setIndex(QStringLiteral("PRIMARYKEY"));
    }
    r.openMicros = microsPer(t, 1000);

    engine::TableCursor cursor(db, QStringLiteral("tamrel"));
    cursor.setIndex(QStringLiteral("PRIMARYKEY"));

    std::mt19937 rng(99);
    std::uniform_int_distribution<int> pick(1, persons);
    int missed = 0;
    t.start();
    for (int i = 0; i < kOperations; ++i) {
        cursor.seek(QStringLiteral("="), {QString::number(pick(rng))});
        if (cursor.noMatch())
            ++missed;
    }
    r.seekMicros = microsPer(t, kOperations);
    if (missed)
        std::fprintf(stderr, "bench_engine: %d seeks found nothing\n", missed);

    const int steps = qMin(kOperations, persons - 1);
    if (steps > 0) {
        cursor.moveFirst();
        t.start();
        for (int i = 0; i < steps; ++i)
            cursor.moveNext();
        r.nextMicros = microsPer(t, steps);

        cursor.moveLast();
        t.start();
        for (int i = 0; i < steps; ++i)
            cursor.movePrevious();
        r.previousMicros = microsPer(t, steps);
    }
    return r;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int persons = 1000000;
    if (argc > 1) {
        bool ok = false;
        persons = QByteArray(argv[1]).toInt(&ok);
        if (!ok || persons < 2) {
            std::fprintf(stderr, "usage: bench_engine [persons >= 2] [folder]\n");
            return 2;
        }
    }
    QTemporaryDir scratch;
    const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : scratch.path();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "bench_engine: cannot use the folder %s\n", qPrintable(folder));
        return 1;
    }
    const QString encryptedFile = folder + QStringLiteral("/bench-encrypted.mdb");
    const QString plainFile = folder + QStringLiteral("/bench-plain.db");
    for (const QString &f : {encryptedFile, plainFile})
        for (const char *suffix : {"", "-wal", "-shm", "-journal"})
            QFile::remove(f + QLatin1String(suffix));

    std::printf("Filling tamrel with %d persons in each file (in %s)...\n", persons, qPrintable(folder));
    std::fflush(stdout);
    Timings enc, plain;
    try {
        {
            engine::Database db;
            db.create(encryptedFile, core::passwordFromConnect(QLatin1String(core::kConnectString)));
            enc = measure(db, persons);
        }
        {
            engine::Database db;
            db.openPlain(plainFile);
            plain = measure(db, persons);
        }
    } catch (const engine::EngineError &e) {
        std::fprintf(stderr, "bench_engine: %d %s\n", e.number(), qPrintable(e.description()));
        return 1;
    }
    enc.fileBytes = QFileInfo(encryptedFile).size();
    plain.fileBytes = QFileInfo(plainFile).size();

    std::printf("\n%-34s %14s %14s\n", "", "encrypted", "plain");
    std::printf("%-34s %14.1f %14.1f\n", "fill (s)", enc.fillSeconds, plain.fillSeconds);
    std::printf("%-34s %14.1f %14.1f\n", "file size (MB)", enc.fileBytes / 1048576.0,
                plain.fileBytes / 1048576.0);
    std::printf("%-34s %14.2f %14.2f\n", "open cursor (us)", enc.openMicros, plain.openMicros);
    std::printf("%-34s %14.2f %14.2f\n", "seek, random existing number (us)", enc.seekMicros,
                plain.seekMicros);
    std::printf("%-34s %14.2f %14.2f\n", "moveNext (us)", enc.nextMicros, plain.nextMicros);
    std::printf("%-34s %14.2f %14.2f\n", "movePrevious (us)", enc.previousMicros,
                plain.previousMicros);
    std::printf("(mean of %d operations each; open cursor: mean of 1000)\n", kOperations);

    if (argc <= 2) // the scratch folder goes with its files
        return 0;
    for (const QString &f : {encryptedFile, plainFile})
        QFile::remove(f);
    return 0;
}
