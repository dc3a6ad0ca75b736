// velm-migrate FROM TO [--replace]: copies a whole office database between
// a velm.mdb file and a PostgreSQL server (either way, or file to file),
// making the schema in an empty target, and verifies the copy table by
// table. Exit code 0 only when every table arrived whole and unchanged.

#include "data/DatabaseCopy.h"
#include "engine/Database.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool replace = args.removeAll(QStringLiteral("--replace")) > 0;
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: velm-migrate FROM TO [--replace]\n"
                             "  FROM, TO: a velm.mdb file, a connection string or service=NAME\n");
        return 2;
    }
    try {
        engine::Database from, to;
        core::openNamedDatabase(from, args.at(0));
        core::openNamedDatabase(to, args.at(1), true);
        std::printf("velm-migrate: %s -> %s\n", qPrintable(from.path()), qPrintable(to.path()));
        QElapsedTimer timer;
        timer.start();
        core::CopyOptions options;
        options.replace = replace;
        int lastPercent = -1;
        options.progress = [&](const QString &table, qint64 done, qint64 total) {
            const int percent = total > 0 ? int(done * 100 / total) : 100;
            if (done == 0)
                lastPercent = -1;
            if (percent == lastPercent)
                return;
            lastPercent = percent;
            std::printf("\r  %-28s %3d%%  %lld/%lld", qPrintable(table), percent, done, total);
            if (done >= total)
                std::printf("\n");
            std::fflush(stdout);
        };
        const core::CopyResult result = core::copyDatabase(from, to, options);
        const double seconds = timer.elapsed() / 1000.0;
        qint64 rows = 0;
        int bad = 0;
        for (const core::TableCopy &t : result.tables) {
            rows += t.sourceRows;
            if (!t.matches()) {
                ++bad;
                std::printf("  MISMATCH %s: %lld rows -> %lld rows, checksum %s -> %s\n", qPrintable(t.table),
                            t.sourceRows, t.targetRows, t.sourceSum.constData(), t.targetSum.constData());
            }
        }
        std::printf("%lld rows in %lld tables in %.1f s (%.0f rows/s); verification: %s\n", rows,
                    qint64(result.tables.size()), seconds, seconds > 0 ? rows / seconds : 0.0,
                    result.verified() ? "every table's rows and checksum match" : "FAILED");
        if (bad > 0 || !result.verified())
            return 1;
    } catch (const engine::EngineError &e) {
        std::fprintf(stderr, "\nvelm-migrate: %d %s\n", e.number(), qPrintable(e.description()));
        return 1;
    }
    return 0;
}
