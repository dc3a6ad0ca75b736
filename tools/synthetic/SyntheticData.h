#pragma once

#include <QtGlobal>

namespace engine {
class Database;
}

namespace core {

// How much the generator writes besides the persons.
struct SyntheticOptions {
    // Follow-up steps, courses, field evaluations with their problems and
    // problem follow-ups, questionnaires. Witnesses and follow-up groups are
    // always written (the person rows name them).
    bool relatedRows = true;
    // Persons written per transaction.
    int batchSize = 10000;
};

// Rows written by one run.
struct SyntheticCounts {
    qint64 persons = 0;
    qint64 followUps = 0;
    qint64 courses = 0;
    qint64 evaluations = 0;
    qint64 problems = 0;
    qint64 problemFollowUps = 0;
    qint64 questionnaires = 0;
    int witnesses = 0;
    int groups = 0;
};

// Fills an office database (schema present) with `persons` made-up persons
// and their related rows, reproducibly for a given seed. Persons are
// numbered on from the highest number already in tamrel ("1".."N" in an
// empty table). Code texts are taken from the code tables (the starter
// entries when a table is empty). Throws engine::EngineError; a failed
// batch is rolled back, earlier batches stay.
SyntheticCounts fillSynthetic(engine::Database &db, int persons, quint32 seed,
                              const SyntheticOptions &options = {});

// Adds `rows` made-up audit rows, as the screens would have written them
// over the five years up to now: mostly updates of one or two fields of a
// person, some adds and deletes, steps and courses too, by the users of the
// file (a few made-up ones when it has none) on a handful of workstations,
// for the persons registered. Reproducible for a seed (but for the times);
// written in batches like the persons. Returns the rows written. Throws
// engine::EngineError; a failed batch is rolled back.
qint64 fillSyntheticAudit(engine::Database &db, qint64 rows, quint32 seed, int batchSize = 50000);

} // namespace core
