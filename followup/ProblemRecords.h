#pragma once

#include "engine/TableCursor.h"

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace engine {
class Database;
}

// The rows behind the field evaluation screen besides the evaluation itself:
// the problems found at an evaluation (table problems, numbered by the
// database in `code`) and the diary of what was done about a problem (table
// follow_up_Problems, numbered in `auto_no`).
//
// Both numbers are the rows' own row numbers, so their order is the order
// in which the rows were stored. The problems of an evaluation are read
// through the index on (tamrel_no, seq_no) and diary records through their
// number: nothing here reads a whole table. Every typed value is a bound
// value. Failures are engine::EngineError exceptions. The writes take the
// observer that records them in the audit trail (empty: none).
namespace followup::problems {

// A problem as stored.
struct Problem {
    qint64 code = 0;
    QString situation;   // Problems_Situation: the problem, a code-table text
    QString description; // Problems_Evaluation: free text
};

// A problem slot of the screen.
struct Slot {
    QString situation;
    QString description;
    // A slot without a problem chosen holds nothing to store.
    bool isFree() const { return situation.isEmpty(); }
};

// The evaluation a problem belongs to: person number and evaluation number.
struct Evaluation {
    QString person;
    QString seq;
};

// The problems of an evaluation in stored order, at most `limit` of them.
// An evaluation number that is not a whole number has none.
QList<Problem> problemsOf(engine::Database &db, const Evaluation &evaluation, int limit);

// Adds a row for every slot that holds a problem, in slot order, in one
// transaction. Returns the new codes, one per slot (0 for a free slot).
QList<qint64> addProblems(engine::Database &db, const Evaluation &evaluation,
                          const QList<Slot> &screenSlots, const engine::WriteObserver &audit = {});

// Rewrites the stored problems from the slots, in one transaction: the
// first stored row takes slot 1, the second slot 2 ... (a slot emptied on
// the screen empties its row); rows beyond the slots are left alone; a slot
// holding a problem with no stored row behind it gets a new row. Returns
// the number of rows added.
int rewriteProblems(engine::Database &db, const Evaluation &evaluation, const QList<Slot> &screenSlots,
                    const engine::WriteObserver &audit = {});

// Deletes every problem of the evaluation; their diary records stay.
void deleteProblems(engine::Database &db, const Evaluation &evaluation, const engine::WriteObserver &audit = {});

// The person a problem belongs to, with that person's Arabic new name
// (empty when the person is not registered). No value when the text is not
// the code of exactly one problem.
struct Owner {
    QString person;
    QString name;
};
std::optional<Owner> ownerOf(engine::Database &db, const QString &code);

// A diary record (follow_up_Problems).
struct DiaryRecord {
    qint64 code = 0;
    QString date; // date_information, yyyymmdd
    QString follower;
    QString status; // Problems_Evaluation: a code-table text
    QString notes;
    qint64 autoNo = 0;
};

// The record with this number; no value when there is none.
std::optional<DiaryRecord> diaryRecord(engine::Database &db, qint64 autoNo);
// The first or last record in stored order; no value when there is none.
std::optional<DiaryRecord> firstDiaryRecord(engine::Database &db, bool last = false);
// The record stored after (or before) the number, whether or not a record
// with that number still exists; no value beyond the end.
std::optional<DiaryRecord> nextDiaryRecord(engine::Database &db, qint64 autoNo, bool forward);

// Adds the record (its autoNo is ignored); returns the number it was given.
qint64 addDiaryRecord(engine::Database &db, const DiaryRecord &record, const engine::WriteObserver &audit = {});
// Rewrites date, follower, status and notes of the record with record.autoNo
// (its problem stays). False when there is no such record.
bool updateDiaryRecord(engine::Database &db, const DiaryRecord &record, const engine::WriteObserver &audit = {});
// Deletes the record with this number. False when there is none.
bool deleteDiaryRecord(engine::Database &db, qint64 autoNo, const engine::WriteObserver &audit = {});

// A typed number as a whole number; no value for anything else.
std::optional<qint64> wholeNumber(const QString &text);

} // namespace followup::problems
