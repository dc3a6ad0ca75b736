// velm-fill <db-file> <persons> [seed] [--audit N]: adds made-up persons
// with their follow-up steps, courses, evaluations, problems and
// questionnaires to an office database, for trying the program on a
// realistic register; with --audit, N made-up audit rows after them.

#include "data/OpenDb.h"
#include "synthetic/SyntheticData.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QList<QByteArray> args;
    for (int i = 1; i < argc; ++i)
        args << QByteArray(argv[i]);
    bool ok = true;
    qint64 auditRows = 0;
    const qsizetype audit = args.indexOf("--audit");
    if (audit >= 0) {
        auditRows = args.value(audit + 1).toLongLong(&ok);
        args.remove(audit, qMin<qsizetype>(2, args.size() - audit));
    }
    if (!ok || auditRows < 0 || args.size() < 2 || args.size() > 3) {
        std::fprintf(stderr, "usage: velm-fill <db-file> <persons> [seed] [--audit N]\n");
        return 2;
    }
    const int persons = args.at(1).toInt(&ok);
    if (!ok || persons < 0) {
        std::fprintf(stderr, "velm-fill: the number of persons must be a whole number >= 0\n");
        return 2;
    }
    quint32 seed = 1;
    if (args.size() == 3) {
        seed = args.at(2).toUInt(&ok);
        if (!ok) {
            std::fprintf(stderr, "velm-fill: the seed must be a whole number\n");
            return 2;
        }
    }

    try {
        engine::Database db;
        db.open(QString::fromLocal8Bit(args.at(0)),
                core::passwordFromConnect(QLatin1String(core::kConnectString)));
        QElapsedTimer timer;
        timer.start();
        const core::SyntheticCounts c = core::fillSynthetic(db, persons, seed);
        const qint64 audited = core::fillSyntheticAudit(db, auditRows, seed);
        db.close();
        std::printf("%lld persons, %lld follow-up steps, %lld courses, %lld evaluations, "
                    "%lld problems, %lld problem follow-ups, %lld questionnaires, "
                    "%lld audit rows (%d witnesses, %d groups offered) in %.1f s\n",
                    c.persons, c.followUps, c.courses, c.evaluations, c.problems,
                    c.problemFollowUps, c.questionnaires, audited, c.witnesses, c.groups,
                    timer.elapsed() / 1000.0);
    } catch (const engine::EngineError &e) {
        std::fprintf(stderr, "velm-fill: %d %s\n", e.number(), qPrintable(e.description()));
        return 1;
    }
    return 0;
}
