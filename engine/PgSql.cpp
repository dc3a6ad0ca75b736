#include "engine/PgSql.h"

#include <QHash>
#include <QList>
#include <QRegularExpression>
#include <QSet>

#include <utility>

namespace engine {

namespace {

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

// Words that end the right side of a LIKE at its own depth.
bool endsLikeOperand(const QString &upper)
{
    static const QSet<QString> words{"AND",  "OR",    "ESCAPE", "THEN",   "WHEN",      "ELSE",    "END",
                                     "ORDER", "GROUP", "LIMIT",  "HAVING", "UNION",     "EXCEPT",  "INTERSECT",
                                     "FROM", "WHERE", "AS",     "ASC",    "DESC",      "IS",      "IN",
                                     "BETWEEN", "ON", "JOIN",  "OFFSET", "RETURNING", "COLLATE"};
    return words.contains(upper);
}

bool isWriteWord(const QString &upper)
{
    static const QSet<QString> words{"INSERT", "UPDATE", "DELETE", "MERGE", "INTO", "CREATE",
                                     "DROP",   "ALTER",  "GRANT",  "TRUNCATE", "COPY"};
    return words.contains(upper);
}

// Words that may stand before '(' without calling a function.
bool isKeywordBeforeParen(const QString &upper)
{
    static const QSet<QString> words{
        "IN",     "EXISTS", "VALUES", "AS",      "OVER",      "FILTER", "GROUP",  "ANY",    "ALL",   "SOME",
        "FROM",   "JOIN",   "ON",     "USING",   "AND",       "OR",     "NOT",    "WHERE",  "SELECT", "UNION",
        "EXCEPT", "INTERSECT", "ROW", "LATERAL", "THEN",      "WHEN",   "ELSE",   "CASE",   "BY",    "DISTINCT",
        "IS",     "BETWEEN", "HAVING", "LIMIT",  "OFFSET",    "RETURNING", "WITH", "RECURSIVE", "ARRAY", "ORDER",
        "INTO",   "END",    "ESCAPE", "ASC",     "DESC",      "WITHIN", "SET",    "TABLE",  "LIKE",  "WINDOW",
        "PARTITION", "ROWS", "RANGE", "MATERIALIZED"};
    return words.contains(upper);
}

class Translator {
public:
    Translator(const QByteArray &utf8, bool nullsFirst) : m_in(QString::fromUtf8(utf8)), m_nullsFirst(nullsFirst) {}

    PgSql run()
    {
        const int n = int(m_in.size());
        while (m_i < n && m_r.error.isEmpty()) {
            const QChar c = m_in.at(m_i);
            const bool comment = (c == QLatin1Char('-') && peek(1) == QLatin1Char('-'))
                                 || (c == QLatin1Char('/') && peek(1) == QLatin1Char('*'));
            if (c.isSpace()) {
                m_out += c;
                ++m_i;
            } else if (c == QLatin1Char('-') && peek(1) == QLatin1Char('-')) {
                copyUntil(QStringLiteral("\n"), false);
            } else if (c == QLatin1Char('/') && peek(1) == QLatin1Char('*')) {
                copyUntil(QStringLiteral("*/"), true);
            } else if (c == QLatin1Char('\'')) {
                text();
            } else if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('[')) {
                quotedName(c == QLatin1Char('[') ? QLatin1Char(']') : c);
            } else if (c == QLatin1Char('?') || c == QLatin1Char(':') || c == QLatin1Char('@') || c == QLatin1Char('$')) {
                mark(c);
            } else if (isWordChar(c)) {
                word();
            } else if (c == QLatin1Char(';') && m_depth == 0) {
                closeLikes();
                m_r.rest = m_in.mid(m_i + 1).toUtf8();
                break;
            } else {
                symbol(c);
            }
            if (!c.isSpace() && !comment)
                m_tokenEnd = int(m_out.size());
        }
        closeLikes(-1);
        while (!m_orders.isEmpty())
            closeOrderItem(true);
        if (m_insertOrIgnore)
            m_out += QLatin1String(" ON CONFLICT DO NOTHING");
        if (m_any && m_r.error.isEmpty())
            m_r.sql = m_out.trimmed().toUtf8();
        m_r.readOnly = (m_first == QLatin1String("SELECT") || m_first == QLatin1String("VALUES")
                        || m_first == QLatin1String("WITH"))
                       && !m_sawWrite;
        while (m_r.names.size() < m_r.parameters)
            m_r.names << QString();
        return m_r;
    }

private:
    QChar peek(int ahead) const
    {
        return m_i + ahead < m_in.size() ? m_in.at(m_i + ahead) : QChar();
    }

    void copyUntil(const QString &end, bool includeEnd)
    {
        const qsizetype at = m_in.indexOf(end, m_i + 2);
        const qsizetype stop = at < 0 ? m_in.size() : at + (includeEnd ? end.size() : 0);
        m_out += m_in.mid(m_i, stop - m_i);
        m_i = int(stop);
    }

    // Up to the closing quote, a doubled one standing for itself; -1 when open.
    int closing(QChar quote, int from) const
    {
        for (int j = from; j < m_in.size(); ++j) {
            if (m_in.at(j) != quote)
                continue;
            if (quote != QLatin1Char(']') && j + 1 < m_in.size() && m_in.at(j + 1) == quote) {
                ++j;
                continue;
            }
            return j;
        }
        return -1;
    }

    void text()
    {
        const int end = closing(QLatin1Char('\''), m_i + 1);
        if (end < 0) {
            m_r.error = QStringLiteral("unterminated text");
            return;
        }
        m_out += m_in.mid(m_i, end + 1 - m_i);
        m_i = end + 1;
        m_any = true;
        m_lastNot = -1;
    }

    void quotedName(QChar close)
    {
        const int end = closing(close, m_i + 1);
        if (end < 0) {
            m_r.error = QStringLiteral("unterminated name");
            return;
        }
        QString name = m_in.mid(m_i + 1, end - m_i - 1);
        if (close != QLatin1Char(']'))
            name.replace(QString(2, close), QString(close));
        name = name.toLower();
        noteName(name);
        noteCall(name, QString(), end + 1);
        name.replace(QLatin1Char('"'), QLatin1String("\"\""));
        m_out += QLatin1Char('"') + name + QLatin1Char('"');
        m_i = end + 1;
        m_any = true;
        m_lastNot = -1;
    }

    void noteName(const QString &lower)
    {
        if (lower == QLatin1String("velm_rowid"))
            m_r.namesRowId = true;
        if (lower == QLatin1String("users") || lower == QLatin1String("audit"))
            m_r.touchesUsers = true;
    }

    // The next character that is not a blank or inside a comment.
    QChar nextSignificant(int j) const
    {
        while (j < m_in.size()) {
            if (m_in.at(j).isSpace()) {
                ++j;
            } else if (m_in.mid(j, 2) == QLatin1String("--")) {
                const qsizetype end = m_in.indexOf(QLatin1Char('\n'), j);
                j = end < 0 ? int(m_in.size()) : int(end);
            } else if (m_in.mid(j, 2) == QLatin1String("/*")) {
                const qsizetype end = m_in.indexOf(QLatin1String("*/"), j + 2);
                j = end < 0 ? int(m_in.size()) : int(end + 2);
            } else {
                return m_in.at(j);
            }
        }
        return {};
    }

    // A name before '(' calls a function, but for keywords, a type after AS
    // (a cast) and the names of a WITH list.
    void noteCall(const QString &name, const QString &upper, int after)
    {
        if (upper == QLatin1String("SELECT") || upper == QLatin1String("VALUES"))
            m_mainQuery = m_mainQuery || m_depth == 0;
        if (nextSignificant(after) != QLatin1Char('('))
            return;
        if (isKeywordBeforeParen(upper) || m_prevWord == QLatin1String("AS"))
            return;
        if (m_first == QLatin1String("WITH") && m_depth == 0 && !m_mainQuery)
            return;
        m_r.functions << name.toLower();
        if (isRewritten(name.toLower()))
            m_calls << Call{name.toLower(), int(m_out.size()), m_depth + 1};
    }

    // Calls of SQLite's own functions and forms, written the server's way
    // with SQLite's results: the text of the call is rewritten when it closes.
    static bool isRewritten(const QString &name)
    {
        static const QSet<QString> names{"cast",  "group_concat", "ifnull", "instr", "substr",
                                         "length", "typeof",      "date",   "total"};
        return names.contains(name);
    }

    // The arguments of a call "name( ... )", split at the commas of its own level.
    static QStringList arguments(const QString &call)
    {
        QStringList args;
        const int open = int(call.indexOf(QLatin1Char('(')));
        int depth = 0;
        int from = open + 1;
        QChar quote;
        for (int i = open + 1; i < call.size() - 1; ++i) {
            const QChar c = call.at(i);
            if (!quote.isNull()) {
                if (c == quote)
                    quote = QChar();
            } else if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
                quote = c;
            } else if (c == QLatin1Char('(')) {
                ++depth;
            } else if (c == QLatin1Char(')')) {
                --depth;
            } else if (c == QLatin1Char(',') && depth == 0) {
                args << call.mid(from, i - from).trimmed();
                from = i + 1;
            }
        }
        args << call.mid(from, call.size() - 1 - from).trimmed();
        return args;
    }

    static QString rewritten(const QString &name, const QString &call)
    {
        static const QRegularExpression castTo(QStringLiteral("^\\s*CAST\\s*\\((.*)\\bAS\\s+(\\w+)\\s*\\)$"),
                                               QRegularExpression::CaseInsensitiveOption
                                                   | QRegularExpression::DotMatchesEverythingOption);
        const QStringList a = arguments(call);
        const auto text = [](const QString &e) { return QStringLiteral("(%1)::text").arg(e); };
        if (name == QLatin1String("cast")) {
            const QRegularExpressionMatch m = castTo.match(call);
            const QString type = m.captured(2).toUpper();
            const QString e = m.captured(1).trimmed();
            // SQLite takes the number a text begins with (0 when none)
            // where the server would refuse the text.
            if (type == QLatin1String("INTEGER") || type == QLatin1String("INT") || type == QLatin1String("BIGINT"))
                return QStringLiteral("(CASE WHEN (%1) IS NULL THEN NULL ELSE coalesce(substring(%2 COLLATE \"C\" "
                                      "FROM '^\\s*([+-]?[0-9]+)'), '0')::bigint END)").arg(e, text(e));
            if (type == QLatin1String("REAL") || type == QLatin1String("NUMERIC") || type == QLatin1String("FLOAT")
                || type == QLatin1String("DOUBLE"))
                return QStringLiteral("(CASE WHEN (%1) IS NULL THEN NULL ELSE coalesce(substring(%2 COLLATE \"C\" "
                                      "FROM '^\\s*([+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?)'), '0')::float8 END)")
                    .arg(e, text(e));
            return call;
        }
        if (name == QLatin1String("group_concat") && (a.size() == 1 || a.size() == 2)) {
            QString e = a.first();
            const bool distinct = e.startsWith(QLatin1String("DISTINCT "), Qt::CaseInsensitive);
            if (distinct)
                e = e.mid(9);
            return QStringLiteral("string_agg(%1%2, %3)")
                .arg(distinct ? QStringLiteral("DISTINCT ") : QString(), text(e),
                     a.size() == 2 ? text(a.at(1)) : QStringLiteral("','"));
        }
        if (name == QLatin1String("ifnull") && a.size() == 2)
            return QStringLiteral("coalesce(%1, %2)").arg(a.at(0), a.at(1));
        if (name == QLatin1String("instr") && a.size() == 2)
            return QStringLiteral("strpos(%1 COLLATE \"C\", %2 COLLATE \"C\")").arg(text(a.at(0)), text(a.at(1)));
        if (name == QLatin1String("substr") && (a.size() == 2 || a.size() == 3))
            return QStringLiteral("substr(%1, %2)").arg(text(a.at(0)), a.mid(1).join(QStringLiteral(", ")));
        if (name == QLatin1String("length") && a.size() == 1)
            return QStringLiteral("length(%1)").arg(text(a.at(0)));
        if (name == QLatin1String("total") && a.size() == 1)
            return QStringLiteral("coalesce(sum(%1), 0)::float8").arg(a.at(0));
        if (name == QLatin1String("date") && a.size() == 1 && a.at(0).compare(QLatin1String("'now'"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD')");
        if (name == QLatin1String("typeof") && a.size() == 1)
            return QStringLiteral("(CASE WHEN (%1) IS NULL THEN 'null' WHEN pg_typeof(%1) IN ('smallint'::regtype, "
                                  "'integer'::regtype, 'bigint'::regtype, 'boolean'::regtype) THEN 'integer' "
                                  "WHEN pg_typeof(%1) IN ('real'::regtype, 'double precision'::regtype, "
                                  "'numeric'::regtype) THEN 'real' WHEN pg_typeof(%1) = 'bytea'::regtype THEN 'blob' "
                                  "ELSE 'text' END)")
                .arg(a.at(0));
        return call;
    }

    // SQLite sorts nulls before everything else, the server after: with
    // nullsFirst, every ORDER BY item without its own NULLS says SQLite's.
    void orderWord(const QString &upper)
    {
        static const QSet<QString> ends{"LIMIT", "OFFSET", "FETCH", "FOR", "UNION", "EXCEPT", "INTERSECT",
                                        "WINDOW", "ROWS", "RANGE", "GROUPS"};
        if (!m_nullsFirst)
            return;
        if (upper == QLatin1String("BY") && m_prevWord == QLatin1String("ORDER")) {
            m_orders << Order{m_depth};
            return;
        }
        if (m_orders.isEmpty() || m_orders.last().depth != m_depth)
            return;
        if (ends.contains(upper))
            closeOrderItem(true);
        else if (upper == QLatin1String("DESC"))
            m_orders.last().desc = true;
        else if (upper == QLatin1String("NULLS"))
            m_orders.last().nulls = true;
    }

    void closeOrderItem(bool last)
    {
        Order &o = m_orders.last();
        if (!o.nulls)
            m_out.insert(qMin(m_tokenEnd, int(m_out.size())), o.desc ? QLatin1String(" NULLS LAST") : QLatin1String(" NULLS FIRST"));
        o.desc = o.nulls = false;
        if (last)
            m_orders.removeLast();
    }

    void mark(QChar c)
    {
        const QChar next = peek(1);
        if (c == QLatin1Char(':') && next == QLatin1Char(':')) {
            m_out += QLatin1String("::");
            m_i += 2;
            return;
        }
        if (c == QLatin1Char('$') && next == QLatin1Char('$')) { // a body in dollar quotes
            const qsizetype at = m_in.indexOf(QLatin1String("$$"), m_i + 2);
            const qsizetype stop = at < 0 ? m_in.size() : at + 2;
            m_out += m_in.mid(m_i, stop - m_i);
            m_i = int(stop);
            m_any = true;
            return;
        }
        int j = m_i + 1;
        while (j < m_in.size() && isWordChar(m_in.at(j)))
            ++j;
        const QString after = m_in.mid(m_i + 1, j - m_i - 1);
        bool digits = !after.isEmpty();
        for (const QChar d : after)
            digits = digits && d.isDigit();
        int number = 0;
        if (c == QLatin1Char('?') && after.isEmpty()) {
            number = m_r.parameters + 1;
        } else if ((c == QLatin1Char('?') || c == QLatin1Char('$')) && digits) {
            number = after.toInt();
        } else if (c != QLatin1Char('?') && !after.isEmpty() && !after.at(0).isDigit()) {
            number = m_named.value(after, 0);
            if (number == 0) {
                number = m_r.parameters + 1;
                m_named.insert(after, number);
            }
            while (m_r.names.size() < number)
                m_r.names << QString();
            m_r.names[number - 1] = after;
        } else {
            symbol(c);
            return;
        }
        m_r.parameters = qMax(m_r.parameters, number);
        m_out += QLatin1Char('$') + QString::number(number);
        m_i = j;
        m_any = true;
        m_lastNot = -1;
    }

    void word()
    {
        int j = m_i + 1;
        while (j < m_in.size() && isWordChar(m_in.at(j)))
            ++j;
        const QString w = m_in.mid(m_i, j - m_i);
        const QString upper = w.toUpper();
        m_i = j;
        m_any = true;
        noteName(w.toLower());
        noteCall(w, upper, m_i);
        orderWord(upper);
        if (m_first.isEmpty())
            m_first = upper;
        if (isWriteWord(upper))
            m_sawWrite = true;
        ++m_words;
        if (m_words == 2 && m_first == QLatin1String("INSERT") && upper == QLatin1String("OR")) {
            insertOr();
            return;
        }
        if (endsLikeOperand(upper)) {
            const bool closed = closeLikes();
            if (closed && upper == QLatin1String("ESCAPE")) {
                escape();
                return;
            }
        }
        if (upper == QLatin1String("LIKE")) {
            const bool negated = m_lastNot >= 0;
            if (negated)
                m_out.truncate(m_lastNot);
            m_out += negated ? QLatin1String("!~~~ (") : QLatin1String("~~~ (");
            m_likes << m_depth;
            m_lastNot = -1;
            return;
        }
        m_lastNot = upper == QLatin1String("NOT") ? int(m_out.size()) : -1;
        if (std::exchange(m_afterCollate, false)) {
            // SQLite's collations by their server twins: bytes as they are,
            // and the engine's letter case rule.
            if (upper == QLatin1String("BINARY")) {
                m_out += QLatin1String("\"C\"");
                return;
            }
            if (upper == QLatin1String("NOCASE") || upper == QLatin1String("FOLDCASE")) {
                m_out += QLatin1String("velm_fold");
                return;
            }
        }
        m_afterCollate = upper == QLatin1String("COLLATE");
        m_out += w;
        m_prevWord = upper;
    }

    // INSERT OR IGNORE: the server's own form skips any duplicate.
    void insertOr()
    {
        int j = m_i;
        while (j < m_in.size() && m_in.at(j).isSpace())
            ++j;
        int k = j;
        while (k < m_in.size() && isWordChar(m_in.at(k)))
            ++k;
        if (m_in.mid(j, k - j).compare(QLatin1String("IGNORE"), Qt::CaseInsensitive) != 0) {
            m_r.error = QStringLiteral("only INSERT OR IGNORE is known on the server");
            return;
        }
        m_insertOrIgnore = true;
        m_i = k;
    }

    // ESCAPE '\' is the server's own escape: nothing to write. Any other
    // escape character is refused rather than matched differently.
    void escape()
    {
        int j = m_i;
        while (j < m_in.size() && m_in.at(j).isSpace())
            ++j;
        if (m_in.mid(j, 3) == QLatin1String("'\\'")) {
            m_i = j + 3;
            return;
        }
        m_r.error = QStringLiteral("only ESCAPE '\\' is known on the server");
    }

    void symbol(QChar c)
    {
        if (c == QLatin1Char(',') || c == QLatin1Char(')'))
            closeLikes();
        if (!m_orders.isEmpty() && m_orders.last().depth == m_depth
            && (c == QLatin1Char(',') || c == QLatin1Char(')')))
            closeOrderItem(c == QLatin1Char(')'));
        const bool closesFromSelect = c == QLatin1Char(')') && !m_fromSelects.isEmpty() && m_fromSelects.last() == m_depth;
        if (c == QLatin1Char(')'))
            --m_depth;
        m_out += c;
        if (c == QLatin1Char(')') && !m_calls.isEmpty() && m_calls.last().depth == m_depth + 1) {
            const Call call = m_calls.takeLast();
            m_out.replace(call.at, m_out.size() - call.at, rewritten(call.name, m_out.mid(call.at)));
        }
        if (c == QLatin1Char('(')) {
            ++m_depth;
            if (m_prevWord == QLatin1String("FROM") || m_prevWord == QLatin1String("JOIN"))
                m_fromSelects << m_depth;
        }
        ++m_i;
        m_any = true;
        m_lastNot = -1;
        m_prevWord.clear();
        if (closesFromSelect) {
            m_fromSelects.removeLast();
            aliasFromSelect();
        }
    }

    // The server wants a name for a select in FROM, which SQLite does not.
    void aliasFromSelect()
    {
        static const QSet<QString> clauses{"WHERE", "ORDER", "GROUP", "LIMIT", "HAVING", "UNION", "EXCEPT",
                                           "INTERSECT", "JOIN", "LEFT", "RIGHT", "INNER", "CROSS", "FULL",
                                           "NATURAL", "ON", "USING", "WINDOW", "OFFSET"};
        int j = m_i;
        while (j < m_in.size() && m_in.at(j).isSpace())
            ++j;
        if (j < m_in.size() && (m_in.at(j) == QLatin1Char('"') || m_in.at(j) == QLatin1Char('[')))
            return;
        int k = j;
        while (k < m_in.size() && isWordChar(m_in.at(k)))
            ++k;
        const QString next = m_in.mid(j, k - j).toUpper();
        if (!next.isEmpty() && !clauses.contains(next))
            return; // AS, or a name
        m_out += QStringLiteral(" AS velm_sub%1").arg(++m_aliases);
    }

    // Closes the right sides of LIKE opened at this depth (all at -1).
    bool closeLikes(int depth = -2)
    {
        const int at = depth == -2 ? m_depth : depth;
        bool closed = false;
        while (!m_likes.isEmpty() && (at == -1 || m_likes.last() == at)) {
            m_out += QLatin1Char(')');
            m_likes.removeLast();
            closed = true;
        }
        return closed;
    }

    QString m_in;
    QString m_out;
    int m_i = 0;
    int m_depth = 0;
    int m_words = 0;
    int m_lastNot = -1;
    bool m_any = false;
    bool m_sawWrite = false;
    bool m_insertOrIgnore = false;
    bool m_afterCollate = false;
    bool m_mainQuery = false; // the SELECT after a WITH list began
    struct Call {
        QString name; // lower case
        int at;       // where its name begins in m_out
        int depth;    // the depth inside its parentheses
    };
    QList<Call> m_calls; // calls to rewrite, still open
    struct Order {
        int depth;
        bool desc = false;
        bool nulls = false;
    };
    QList<Order> m_orders; // ORDER BY lists still open
    bool m_nullsFirst = false;
    int m_tokenEnd = 0; // where the last token written ends in m_out
    int m_aliases = 0;
    QList<int> m_fromSelects; // depths of selects in FROM
    QString m_prevWord;       // the word just before, upper case
    QString m_first;
    QList<int> m_likes;
    QHash<QString, int> m_named;
    PgSql m_r;
};

} // namespace

PgSql translateForPg(const QByteArray &utf8, bool nullsFirst)
{
    return Translator(utf8, nullsFirst).run();
}

QByteArray quotedName(const QString &name)
{
    QString q = name.toLower();
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return (QLatin1Char('"') + q + QLatin1Char('"')).toUtf8();
}

QByteArray literal(const QString &text)
{
    QString q = text;
    q.replace(QLatin1Char('\''), QLatin1String("''"));
    return (QLatin1Char('\'') + q + QLatin1Char('\'')).toUtf8();
}

} // namespace engine
