#include "registry/LikelyDuplicates.h"

#include "data/BackgroundTask.h"
#include "engine/Database.h"
#include "engine/EngineError.h"
#include "engine/QueryCursor.h"

#include <QHash>
#include <QMap>
#include <QRegularExpression>

#include <optional>

namespace registry {

namespace {

using engine::TextCriterion;
using engine::TextMatch;

// The value itself as a LIKE pattern: equal under the search rule.
TextCriterion sameAs(const QString &field, const QString &value)
{
    return {field, engine::escapeLike(value.trimmed()), TextMatch::Folded};
}

bool given(const QString &value)
{
    return !value.trimmed().isEmpty();
}

// Year, month and day all chosen (no "0000" or "00" part).
bool completeDate(const QString &yyyymmdd)
{
    static const QRegularExpression form(QStringLiteral("^\\d{8}$"));
    const QString d = yyyymmdd.trimmed();
    return form.match(d).hasMatch() && d.left(4) != QLatin1String("0000") && d.mid(4, 2) != QLatin1String("00")
           && d.mid(6, 2) != QLatin1String("00");
}

} // namespace

QList<LikelyDuplicate> likelyDuplicates(engine::Database &db, const PersonFacts &person, int limit)
{
    struct Check {
        QList<TextCriterion> criteria;
        QString reason;
    };
    QList<Check> checks;
    if (given(person.iqama))
        checks << Check{{sameAs(QStringLiteral("iqama_no"), person.iqama)}, kSameIqama};
    if (given(person.passport))
        checks << Check{{sameAs(QStringLiteral("passport_no"), person.passport)}, kSamePassport};
    if (completeDate(person.birth)) {
        const TextCriterion birth = sameAs(QStringLiteral("birth"), person.birth);
        if (given(person.oldName))
            checks << Check{{sameAs(QStringLiteral("a_old_name"), person.oldName), birth}, kSameNameAndBirth};
        if (given(person.newName))
            checks << Check{{sameAs(QStringLiteral("a_new_name"), person.newName), birth}, kSameNameAndBirth};
    }
    QMap<qint64, LikelyDuplicate> found; // by number when it reads as one, else in the order found
    QHash<QString, qint64> order;
    for (const Check &check : checks) {
        const engine::SqlCondition c = db.textCondition(QStringLiteral("tamrel"), check.criteria);
        QVariantList values = c.values;
        values << person.number.trimmed() << limit;
        engine::QueryCursor q(db,
                              QStringLiteral("SELECT tamrel_no, a_old_name, a_new_name, iqama_no, passport_no, birth "
                                             "FROM tamrel WHERE ") + c.sql + QStringLiteral(" AND tamrel_no <> ? LIMIT ?"),
                              values);
        while (q.next()) {
            const QString number = q.value(0).toString();
            if (!order.contains(number)) {
                bool numeric = false;
                const qint64 n = number.toLongLong(&numeric);
                order.insert(number, numeric ? n : (qint64(1) << 62) + order.size());
            }
            LikelyDuplicate &d = found[order.value(number)];
            d = {number, q.value(1).toString(), q.value(2).toString(), q.value(3).toString(), q.value(4).toString(),
                 q.value(5).toString(), d.reasons};
            if (!d.reasons.contains(check.reason))
                d.reasons << check.reason;
        }
    }
    QList<LikelyDuplicate> list = found.values();
    return list.mid(0, limit);
}

DuplicatesCheck::DuplicatesCheck(QObject *owner)
    : m_db(std::make_shared<std::unique_ptr<engine::Database>>()), m_task(std::make_unique<core::BackgroundTask>(owner))
{
}

DuplicatesCheck::~DuplicatesCheck() = default;

void DuplicatesCheck::start(const engine::OpenSpec &openSpec, const PersonFacts &person, Found found)
{
    m_running = true;
    auto result = std::make_shared<std::optional<QList<LikelyDuplicate>>>();
    Connection db = m_db;
    m_task->start(
        [db, openSpec, person, result](const core::BackgroundTask::Control &) {
            try {
                if (!*db) {
                    auto opened = std::make_unique<engine::Database>();
                    opened->open(openSpec);
                    *db = std::move(opened);
                }
                *result = likelyDuplicates(**db, person);
            } catch (...) { // a failed open or read: opened again next time
                db->reset();
            }
        },
        [this, person, result, found = std::move(found)] {
            m_running = false;
            if (result->has_value())
                found(person, **result);
        });
}

} // namespace registry
