#include "followup/ProblemRecords.h"

#include "screens/PersonLookup.h"
#include "engine/Database.h"
#include "engine/EngineError.h"
#include "engine/QueryCursor.h"
#include "engine/TableCursor.h"

#include <QRegularExpression>

#include <limits>

namespace followup::problems {

namespace {

const QString kProblems = QStringLiteral("problems");
const QString kDiary = QStringLiteral("follow_up_Problems");
const QString kPrimaryKey = QStringLiteral("PRIMARYKEY");

void writeSlot(engine::TableCursor &row, const Slot &slot)
{
    row.setValue(QStringLiteral("Problems_Situation"), slot.situation);
    row.setValue(QStringLiteral("Problems_Evaluation"), slot.description);
}

qint64 addProblem(engine::Database &db, const Evaluation &evaluation, qint64 seq, const Slot &slot,
                  const engine::WriteObserver &audit)
{
    engine::TableCursor row(db, kProblems);
    row.setWriteObserver(audit);
    row.addNew();
    row.setValue(QStringLiteral("tamrel_no"), evaluation.person);
    row.setValue(QStringLiteral("seq_no"), seq);
    writeSlot(row, slot);
    row.update();
    return row.lastAutoValue();
}

// The key of an evaluation as bound values; none when the evaluation number
// is not a whole number (no row can have it).
std::optional<QVariantList> evaluationKey(const Evaluation &evaluation)
{
    const std::optional<qint64> seq = wholeNumber(evaluation.seq);
    if (!seq)
        return std::nullopt;
    return QVariantList{evaluation.person.trimmed(), *seq};
}

DiaryRecord readDiary(const engine::TableCursor &row)
{
    DiaryRecord r;
    r.code = row.value(QStringLiteral("code")).toLongLong();
    r.date = row.value(QStringLiteral("date_information")).toString();
    r.follower = row.value(QStringLiteral("name_of_follower")).toString();
    r.status = row.value(QStringLiteral("Problems_Evaluation")).toString();
    r.notes = row.value(QStringLiteral("notes")).toString();
    r.autoNo = row.value(QStringLiteral("auto_no")).toLongLong();
    return r;
}

void writeDiary(engine::TableCursor &row, const DiaryRecord &record)
{
    row.setValue(QStringLiteral("date_information"), record.date);
    row.setValue(QStringLiteral("name_of_follower"), record.follower);
    row.setValue(QStringLiteral("Problems_Evaluation"), record.status);
    row.setValue(QStringLiteral("notes"), record.notes);
}

// Positions the cursor on the diary record with this number.
bool seekDiary(engine::TableCursor &row, qint64 autoNo)
{
    row.setIndex(kPrimaryKey);
    row.seek(QStringLiteral("="), {autoNo});
    return !row.noMatch();
}

} // namespace

std::optional<qint64> wholeNumber(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
    const QString t = text.trimmed();
    if (!digits.match(t).hasMatch())
        return std::nullopt;
    return t.toLongLong();
}

QList<Problem> problemsOf(engine::Database &db, const Evaluation &evaluation, int limit)
{
    QList<Problem> found;
    const std::optional<QVariantList> key = evaluationKey(evaluation);
    if (!key || limit <= 0)
        return found;
    engine::QueryCursor rows(db,
                             QStringLiteral("SELECT code, Problems_Situation, Problems_Evaluation "
                                            "FROM problems WHERE tamrel_no = ? AND seq_no = ? "
                                            "ORDER BY code"),
                             *key);
    while (found.size() < limit && rows.next())
        found.append({rows.value(0).toLongLong(), rows.value(1).toString(), rows.value(2).toString()});
    return found;
}

QList<qint64> addProblems(engine::Database &db, const Evaluation &evaluation,
                          const QList<Slot> &screenSlots, const engine::WriteObserver &audit)
{
    QList<qint64> codes(screenSlots.size(), 0);
    const std::optional<QVariantList> key = evaluationKey(evaluation);
    if (!key)
        return codes;
    engine::Transaction tx(db);
    for (int i = 0; i < screenSlots.size(); ++i) {
        if (!screenSlots.at(i).isFree())
            codes[i] = addProblem(db, evaluation, key->at(1).toLongLong(), screenSlots.at(i), audit);
    }
    tx.commit();
    return codes;
}

int rewriteProblems(engine::Database &db, const Evaluation &evaluation, const QList<Slot> &screenSlots,
                    const engine::WriteObserver &audit)
{
    const std::optional<QVariantList> key = evaluationKey(evaluation);
    if (!key)
        return 0;
    engine::Transaction tx(db);
    const QList<Problem> stored = problemsOf(db, evaluation, int(screenSlots.size()));
    int added = 0;
    engine::TableCursor row(db, kProblems);
    row.setWriteObserver(audit);
    row.setIndex(kPrimaryKey);
    for (int i = 0; i < screenSlots.size(); ++i) {
        if (i < stored.size()) {
            row.seek(QStringLiteral("="), {stored.at(i).code});
            if (row.noMatch())
                continue; // gone since it was read: nothing to rewrite
            row.edit();
            writeSlot(row, screenSlots.at(i));
            row.update();
        } else if (!screenSlots.at(i).isFree()) {
            addProblem(db, evaluation, key->at(1).toLongLong(), screenSlots.at(i), audit);
            ++added;
        }
    }
    tx.commit();
    return added;
}

void deleteProblems(engine::Database &db, const Evaluation &evaluation, const engine::WriteObserver &audit)
{
    const std::optional<QVariantList> key = evaluationKey(evaluation);
    if (!key)
        return;
    engine::Transaction tx(db);
    // Row by row, so that the audit trail keeps each problem removed.
    engine::TableCursor row(db, kProblems);
    row.setWriteObserver(audit);
    row.setIndex(kPrimaryKey);
    for (const Problem &p : problemsOf(db, evaluation, std::numeric_limits<int>::max())) {
        row.seek(QStringLiteral("="), {p.code});
        if (!row.noMatch())
            row.deleteRecord();
    }
    tx.commit();
}

std::optional<Owner> ownerOf(engine::Database &db, const QString &code)
{
    const std::optional<qint64> number = wholeNumber(code);
    if (!number)
        return std::nullopt;
    engine::QueryCursor problem(db, QStringLiteral("SELECT tamrel_no FROM problems WHERE code = ?"),
                                {*number});
    if (!problem.next())
        return std::nullopt;
    Owner owner{problem.value(0).toString(), QString()};
    if (const auto names = core::findPersonNames(db, owner.person))
        owner.name = names->arabic;
    return owner;
}

std::optional<DiaryRecord> diaryRecord(engine::Database &db, qint64 autoNo)
{
    engine::TableCursor row(db, kDiary);
    if (!seekDiary(row, autoNo))
        return std::nullopt;
    return readDiary(row);
}

std::optional<DiaryRecord> firstDiaryRecord(engine::Database &db, bool last)
{
    // No index: the table's stored order.
    engine::TableCursor row(db, kDiary);
    try {
        if (last)
            row.moveLast();
        else
            row.moveFirst();
    } catch (const engine::EngineError &e) {
        if (e.number() == engine::ErrNoCurrentRecord)
            return std::nullopt; // no record at all
        throw;
    }
    return readDiary(row);
}

std::optional<DiaryRecord> nextDiaryRecord(engine::Database &db, qint64 autoNo, bool forward)
{
    // The number is the row's own, so its key order is the stored order;
    // seeking past it also works when that record has just been deleted.
    engine::TableCursor row(db, kDiary);
    row.setIndex(kPrimaryKey);
    row.seek(forward ? QStringLiteral(">") : QStringLiteral("<"), {autoNo});
    if (row.noMatch())
        return std::nullopt;
    return readDiary(row);
}

qint64 addDiaryRecord(engine::Database &db, const DiaryRecord &record, const engine::WriteObserver &audit)
{
    engine::TableCursor row(db, kDiary);
    row.setWriteObserver(audit);
    row.addNew();
    row.setValue(QStringLiteral("code"), record.code);
    writeDiary(row, record);
    row.update();
    return row.lastAutoValue();
}

bool updateDiaryRecord(engine::Database &db, const DiaryRecord &record, const engine::WriteObserver &audit)
{
    engine::TableCursor row(db, kDiary);
    row.setWriteObserver(audit);
    if (!seekDiary(row, record.autoNo))
        return false;
    row.edit();
    writeDiary(row, record);
    row.update();
    return true;
}

bool deleteDiaryRecord(engine::Database &db, qint64 autoNo, const engine::WriteObserver &audit)
{
    engine::TableCursor row(db, kDiary);
    row.setWriteObserver(audit);
    if (!seekDiary(row, autoNo))
        return false;
    row.deleteRecord();
    return true;
}

} // namespace followup::problems
