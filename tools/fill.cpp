// velm-fill <db-file> <persons> [seed]: adds made-up persons with their
// follow-up steps, courses, evaluations, problems and questionnaires to an
// office database, for trying the program on a realistic register.

#include "data/OpenDb.h"
#include "synthetic/SyntheticData.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: velm-fill <db-file> <persons> [seed]\n");
        return 2;
    }
    bool ok = false;
    const int persons = QByteArray(argv[2]).toInt(&ok);
    if (!ok || persons < 0) {
        std::fprintf(stderr, "velm-fill: the number of persons must be a whole number >= 0\n");
        return 2;
    }
    quint32 seed = 1;
    if (argc == 4) {
        seed = QByteArray(argv[3]).toUInt(&ok);
        if (!ok) {
            std::fprintf(stderr, "velm-fill: the seed must be a whole number\n");
            return 2;
        }
    }

    try {
        engine::Database db;
        db.open(QString::fromLocal8Bit(argv[1]),
                core::passwordFromConnect(QLatin1String(core::kConnectString)));
        QElapsedTimer timer;
        timer.start();
        const core::SyntheticCounts c = core::fillSynthetic(db, persons, seed);
        db.close();
        std::printf("%lld persons, %lld follow-up steps, %lld courses, %lld evaluations, "
                    "%lld problems, %lld problem follow-ups, %lld questionnaires "
                    "(%d witnesses, %d groups offered) in %.1f s\n",
                    c.persons, c.followUps, c.courses, c.evaluations, c.problems,
                    c.problemFollowUps, c.questionnaires, c.witnesses, c.groups,
                    timer.elapsed() / 1000.0);
    } catch (const engine::EngineError &e) {
        std::fprintf(stderr, "velm-fill: %d %s\n", e.number(), qPrintable(e.description()));
        return 1;
    }
    return 0;
}
