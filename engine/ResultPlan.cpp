#include "engine/ResultPlan.h"

#include "engine/Database.h"

#include <QList>
#include <QStringList>

namespace engine {

namespace {

enum class Kind { Word, Name, Text, Parameter, Symbol };

struct Token {
    Kind kind;
    int begin;
    int end;
    int depth; // parentheses around it
    QString word; // Word: upper case
};

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$');
}

// Just enough of SQL to find the top-level clauses: words, quoted names,
// texts, parameters and symbols, with comments skipped.
QList<Token> tokenize(const QString &sql, bool &ok)
{
    QList<Token> out;
    int depth = 0;
    int i = 0;
    const int n = int(sql.size());
    ok = true;
    auto closing = [&](QChar close, int from) {
        for (int j = from; j < n; ++j) {
            if (sql.at(j) == close) {
                if (close != QLatin1Char(']') && j + 1 < n && sql.at(j + 1) == close) {
                    ++j; // doubled quote inside
                    continue;
                }
                return j;
            }
        }
        return -1;
    };
    while (i < n) {
        const QChar c = sql.at(i);
        if (c.isSpace()) {
            ++i;
        } else if (c == QLatin1Char('-') && i + 1 < n && sql.at(i + 1) == QLatin1Char('-')) {
            while (i < n && sql.at(i) != QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('/') && i + 1 < n && sql.at(i + 1) == QLatin1Char('*')) {
            const int end = int(sql.indexOf(QLatin1String("*/"), i + 2));
            if (end < 0) {
                ok = false;
                return out;
            }
            i = end + 2;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('[')) {
            const QChar close = c == QLatin1Char('[') ? QLatin1Char(']') : c;
            const int end = closing(close, i + 1);
            if (end < 0) {
                ok = false;
                return out;
            }
            out.append({c == QLatin1Char('\'') ? Kind::Text : Kind::Name, i, end + 1, depth, {}});
            i = end + 1;
        } else if (c == QLatin1Char('?') || c == QLatin1Char(':') || c == QLatin1Char('@')
                   || (c == QLatin1Char('$') && i + 1 < n && isWordChar(sql.at(i + 1)))) {
            int j = i + 1;
            while (j < n && isWordChar(sql.at(j)))
                ++j;
            out.append({Kind::Parameter, i, j, depth, {}});
            i = j;
        } else if (isWordChar(c)) {
            int j = i + 1;
            while (j < n && isWordChar(sql.at(j)))
                ++j;
            out.append({Kind::Word, i, j, depth, sql.mid(i, j - i).toUpper()});
            i = j;
        } else {
            if (c == QLatin1Char(')'))
                --depth;
            out.append({Kind::Symbol, i, i + 1, depth, QString(c)});
            if (c == QLatin1Char('('))
                ++depth;
            ++i;
        }
    }
    return out;
}

bool isWord(const Token &t, const char *word)
{
    return t.kind == Kind::Word && t.word == QLatin1String(word);
}

bool isClauseWord(const Token &t)
{
    static const QStringList clauses{"WHERE", "ORDER", "LIMIT", "GROUP", "HAVING", "UNION", "INTERSECT",
                                     "EXCEPT", "WINDOW", "JOIN", "NATURAL", "LEFT", "RIGHT", "INNER", "CROSS",
                                     "OUTER", "FULL", "INDEXED", "NOT", "ON", "USING"};
    return t.kind == Kind::Word && clauses.contains(t.word);
}

bool prepares(Database &db, const QString &sql)
{
    try {
        Statement s(db, sql);
        return true;
    } catch (const EngineError &) {
        return false;
    }
}

bool isSymbol(const Token &t, const char *symbol)
{
    return t.kind == Kind::Symbol && t.word == QLatin1String(symbol);
}

// Where the parts of a select from one table lie in its text.
struct SelectParts {
    int listStart = 1;  // token starting the select list
    int from = -1;      // the FROM token
    int table = -1;     // the table's token
    QString reference;  // the table or its alias, as written
    int fromEnd = 0;    // end of the FROM part (table and alias)
    int orderAt = -1;   // ORDER BY, LIMIT and the end of the statement
    int limitAt = -1;
    int stop = 0;
};

// SELECT [ALL] <list> FROM: false for DISTINCT, or values bound in the
// select list (they would have to be bound twice).
bool findList(const QList<Token> &t, SelectParts &parts)
{
    if (isWord(t.at(1), "DISTINCT"))
        return false;
    if (isWord(t.at(1), "ALL"))
        parts.listStart = 2;
    for (int i = parts.listStart; i < t.size(); ++i) {
        if (t.at(i).depth == 0 && isWord(t.at(i), "FROM")) {
            parts.from = i;
            break;
        }
        if (t.at(i).kind == Kind::Parameter)
            return false;
    }
    return parts.from > parts.listStart && parts.from + 1 < t.size();
}

// FROM <table> [AS] [alias]: false for anything but one table of the main
// schema. `next` is the token after it.
bool readFrom(const QString &sql, const QList<Token> &t, SelectParts &parts, int &next)
{
    int i = parts.from + 1;
    const Token &table = t.at(i);
    if (table.kind != Kind::Word && table.kind != Kind::Name)
        return false;
    if (table.kind == Kind::Word && isClauseWord(table))
        return false;
    parts.table = i;
    parts.reference = sql.mid(table.begin, table.end - table.begin);
    parts.fromEnd = table.end;
    ++i;
    if (i < t.size() && isSymbol(t.at(i), "."))
        return false; // another schema: keep it simple, read whole
    if (i < t.size() && isWord(t.at(i), "AS"))
        ++i;
    if (i < t.size() && (t.at(i).kind == Kind::Name || (t.at(i).kind == Kind::Word && !isClauseWord(t.at(i))))) {
        parts.reference = sql.mid(t.at(i).begin, t.at(i).end - t.at(i).begin);
        parts.fromEnd = t.at(i).end;
        ++i;
    }
    next = i;
    return true;
}

// After the table only WHERE, ORDER BY or LIMIT, and one statement: false
// for a join, a comma, an index hint, grouping or a compound select.
bool readClauses(const QList<Token> &t, int first, SelectParts &parts)
{
    for (int k = first; k < t.size(); ++k) {
        const Token &tok = t.at(k);
        if (tok.depth != 0)
            continue;
        if (k == first && !(isWord(tok, "WHERE") || isWord(tok, "ORDER") || isWord(tok, "LIMIT") || isSymbol(tok, ";")))
            return false;
        if (isSymbol(tok, ";")) {
            for (int m = k + 1; m < t.size(); ++m)
                if (!isSymbol(t.at(m), ";"))
                    return false; // a second statement
            parts.stop = tok.begin;
            break;
        }
        if (isWord(tok, "GROUP") || isWord(tok, "HAVING") || isWord(tok, "UNION") || isWord(tok, "INTERSECT")
            || isWord(tok, "EXCEPT") || isWord(tok, "WINDOW"))
            return false;
        if (isWord(tok, "ORDER") && parts.orderAt < 0)
            parts.orderAt = tok.begin;
        if (isWord(tok, "LIMIT") && parts.limitAt < 0)
            parts.limitAt = tok.begin;
    }
    return true;
}

} // namespace

QString quotedIdentifier(const QString &name)
{
    QString s = name;
    s.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

QString ResultPlan::sortedIdSql(const QString &column, bool descending) const
{
    return QStringLiteral("SELECT \"velm_row_id\" FROM (SELECT %1.%7 AS \"velm_row_id\", %2 FROM %3 %4) AS velm_ids "
                          "ORDER BY %5%6, \"velm_row_id\"")
        .arg(m_reference, m_list, m_from, m_restWithoutOrder, quotedIdentifier(column),
             descending ? QStringLiteral(" DESC") : QString(), m_rowId);
}

QString ResultPlan::idsWhereSql(const QStringList &columns) const
{
    QStringList conditions;
    for (const QString &column : columns)
        conditions << QStringLiteral("%1.%2 = ?").arg(m_reference, quotedIdentifier(column));
    return QStringLiteral("SELECT %1.%2 FROM %3 WHERE %4")
        .arg(m_reference, m_rowId, m_from, conditions.join(QLatin1String(" AND ")));
}

ResultPlan planResult(Database &db, const QString &sql, int fetchSlots)
{
    ResultPlan plan;
    plan.sql = sql;
    bool ok = false;
    const QList<Token> t = tokenize(sql, ok);
    if (!ok || t.size() < 4 || !isWord(t.at(0), "SELECT") || t.at(0).depth != 0)
        return plan;
    SelectParts parts;
    parts.stop = int(sql.size());
    int next = 0;
    if (!findList(t, parts) || !readFrom(sql, t, parts, next) || !readClauses(t, next, parts))
        return plan;

    // The backend names the row identity (SQLite's rowid, a column on a server).
    QString rowId;
    try {
        QString table = sql.mid(t.at(parts.table).begin, t.at(parts.table).end - t.at(parts.table).begin);
        if (t.at(parts.table).kind == Kind::Name)
            table = table.mid(1, table.size() - 2);
        rowId = db.backend()->rowIdColumn(db.tableName(table));
    } catch (const EngineError &) {
        return plan; // a view, or not known: read whole
    } catch (const BackendFailure &) {
        return plan;
    }
    if (rowId.isEmpty())
        return plan;
    plan.m_rowId = rowId;
    const QString &reference = parts.reference;
    const int fromEnd = parts.fromEnd;
    plan.m_reference = reference;
    plan.m_list = sql.mid(t.at(parts.listStart).begin, t.at(parts.from).begin - t.at(parts.listStart).begin).trimmed();
    plan.m_from = sql.mid(t.at(parts.table).begin, fromEnd - t.at(parts.table).begin);
    plan.m_rest = sql.mid(fromEnd, parts.stop - fromEnd).trimmed();
    // A LIMIT keeps its ORDER BY: which rows are in the result depends on it.
    plan.m_restWithoutOrder = parts.orderAt >= 0 && parts.limitAt < 0 ? sql.mid(fromEnd, parts.orderAt - fromEnd).trimmed()
                                                                      : plan.m_rest;

    // The select's own columns stay in: the engine then reads the rows the
    // way it reads them for the select itself (same index, same order).
    plan.idSql = QStringLiteral("SELECT %1.%5, %2 FROM %3 %4").arg(reference, plan.m_list, plan.m_from, plan.m_rest, rowId).trimmed();
    // A server sends every column asked for of every row, tens of
    // megabytes for a long list: there the identities go alone (its order
    // without ORDER BY is its plan's either way). An ORDER BY naming a
    // column of the list by its alias keeps the list.
    if (db.onServer()) {
        const QString idsAlone = QStringLiteral("SELECT %1.%4 FROM %2 %3").arg(reference, plan.m_from, plan.m_rest, rowId).trimmed();
        if (prepares(db, idsAlone))
            plan.idSql = idsAlone;
    }
    plan.wholeTable = plan.m_rest.isEmpty() && plan.m_list == QLatin1String("*");
    if (plan.wholeTable) {
        // Stored order is row id order: a full scan of the table, which the
        // plain select makes too.
        plan.idSql = QStringLiteral("SELECT %1.%3 FROM %2 ORDER BY %1.%3").arg(reference, plan.m_from, rowId);
        plan.unorderedIdSql = QStringLiteral("SELECT %1.%3 FROM %2").arg(reference, plan.m_from, rowId);
    }
    plan.fetchSlots = qMax(1, fetchSlots);
    QStringList marks;
    for (int k = 0; k < plan.fetchSlots; ++k)
        marks << QStringLiteral("?");
    plan.fetchSql = QStringLiteral("SELECT %1.%5, %2 FROM %3 WHERE %1.%5 IN (%4)")
                        .arg(reference, plan.m_list, plan.m_from, marks.join(QLatin1Char(',')), rowId);

    // The engine decides: a view or a table without row ids does not prepare.
    plan.keyset = prepares(db, plan.idSql) && prepares(db, plan.fetchSql)
                  && prepares(db, plan.sortedIdSql(QStringLiteral("velm_row_id"), false));
    return plan;
}

} // namespace engine
