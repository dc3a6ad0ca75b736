#include "registry/PersonSearch.h"

#include "engine/Database.h"

namespace registry {

const QStringList &searchFields()
{
    static const QStringList fields = [] {
        QStringList f{QStringLiteral("tamrel_no"),  QStringLiteral("a_old_name"), QStringLiteral("e_old_name"),
                      QStringLiteral("a_new_name"), QStringLiteral("e_new_name"), QStringLiteral("no_boys"),
                      QStringLiteral("no_girls")};
        for (int i = 1; i <= 5; ++i)
            f << QStringLiteral("language%1").arg(i);
        f << QStringLiteral("former_relgion") << QStringLiteral("denomination") << QStringLiteral("nationality")
          << QStringLiteral("iqama_no") << QStringLiteral("passport_no") << QStringLiteral("occupation")
          << QStringLiteral("qualification") << QStringLiteral("picture") << QStringLiteral("age");
        for (const char *kind : {"phone", "pobox", "zip_code", "city"})
            for (const char *row : {"w", "h", "c", "f", "sponsor"})
                f << QStringLiteral("%1_%2").arg(QLatin1String(kind), QLatin1String(row));
        f << QStringLiteral("friend_name") << QStringLiteral("sponsor_name") << QStringLiteral("comments");
        return f;
    }();
    return fields;
}

QString containsPattern(const QString &typed)
{
    QString pattern(QLatin1Char('%'));
    pattern.reserve(typed.size() + 8);
    for (const QChar c : typed) {
        if (c == QLatin1Char('*')) {
            pattern += QLatin1Char('%');
        } else if (c == QLatin1Char('?')) {
            pattern += QLatin1Char('_');
        } else {
            if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
                pattern += QLatin1Char('\\');
            pattern += c;
        }
    }
    pattern += QLatin1Char('%');
    return pattern;
}

bool isCriterion(const QString &typed)
{
    return !typed.isEmpty() && typed != QLatin1String(" ");
}

QList<engine::TextCriterion> searchCriteria(const QList<std::pair<QString, QString>> &typed, engine::TextMatch match)
{
    QList<engine::TextCriterion> criteria;
    const QStringList &fields = searchFields();
    for (const auto &[field, value] : typed) {
        if (isCriterion(value) && fields.contains(field))
            criteria.append({field, containsPattern(value), match});
    }
    return criteria;
}

SearchQuery personSearch(engine::Database &db, const QList<std::pair<QString, QString>> &typed, engine::TextMatch match,
                         engine::IndexUse use)
{
    // "(1=1) " keeps every condition an " AND ..." of its own.
    SearchQuery q{kPersonListSql + QStringLiteral(" WHERE (1=1) "), {}};
    const QList<engine::TextCriterion> criteria = searchCriteria(typed, match);
    if (criteria.isEmpty())
        return q;
    const engine::SqlCondition condition = db.textCondition(QStringLiteral("tamrel"), criteria, use);
    q.sql += QStringLiteral(" AND ") + condition.sql;
    q.values = condition.values;
    return q;
}

} // namespace registry
