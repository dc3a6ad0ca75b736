#include "PersonLookup.h"

#include "engine/Database.h"
#include "engine/QueryCursor.h"

namespace core {

namespace {

// Above every character a person number can hold, in any collation that
// orders by the text: the end of the range of numbers with a prefix.
const QChar kAfterPrefix(0xFFFF);

QVariantList prefixRange(const QString &prefix)
{
    return {prefix, prefix + kAfterPrefix};
}

} // namespace

PersonLookup::PersonLookup(const QString &objectName, QWidget *parent)
    : KeyLookup(objectName, QStringLiteral("tamrel_no"), kNumbersSql, prefixRange, parent)
{
    connect(this, &KeyLookup::keyChosen, this, &PersonLookup::personChanged);
}

bool isPersonChosen(const QString &number)
{
    return !number.trimmed().isEmpty();
}

std::optional<PersonNames> findPersonNames(engine::Database &db, const QString &number)
{
    engine::QueryCursor person(
        db, QStringLiteral("SELECT a_new_name, e_new_name FROM tamrel WHERE tamrel_no = ?"),
        {QVariant(number)});
    if (!person.next())
        return std::nullopt;
    return PersonNames{person.value(0).toString(), person.value(1).toString()};
}

qint64 nextSeqNo(engine::Database &db, const QString &table, const QString &number)
{
    const QVariant highest = db.scalar(
        QStringLiteral("SELECT max(seq_no) FROM %1 WHERE tamrel_no = ?").arg(table),
        {QVariant(number)});
    bool ok = false;
    const qint64 n = highest.toLongLong(&ok);
    return ok ? n + 1 : 1;
}

} // namespace core
