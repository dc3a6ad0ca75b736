#include "screens/PersonLookup.h"

#include "engine/Database.h"
#include "engine/QueryCursor.h"

namespace core {

PersonLookup::PersonLookup(const QString &objectName, QWidget *parent)
    : KeyLookup(objectName, QStringLiteral("tamrel"), QStringLiteral("tamrel_no"), numbersBeginningWith, parent)
{
    connect(this, &KeyLookup::keyChosen, this, &PersonLookup::personChanged);
}

KeyLookup::Range PersonLookup::numbersBeginningWith(const QString &prefix)
{
    // Above every character a person number can hold, in any collation
    // that orders by the text: the end of the numbers with the prefix.
    const QChar afterPrefix(0xFFFF);
    return {prefix, prefix + afterPrefix};
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
