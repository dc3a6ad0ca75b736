// The person search's index on a server: a table of its own beside the
// table searched (velm_search_<table>), one row per row of it with the
// folded texts (velm_search) of the columns searched, each with a trigram
// index (pg_trgm). A trigger of the table keeps it in step in the
// transaction of every write, whoever writes (the screens, velm-fill,
// velm-migrate, an administrator's psql). A search reads the row ids of
// the matching folded texts there and then only those rows of the table:
// a trigram index on the table itself would have the server fold each
// offered row's text again and read its whole row to check it.
//
// The table's comment tells its state: "velm search 2: <columns>" when it
// is complete, "velm search 2 building from <row id>: <columns>" while the
// rows up to that id have been copied and the rest are still to come.

#include "engine/PgBackend.h"
#include "engine/PgSql.h"
#include "engine/SearchGrams.h"

#include <QSet>

#include <libpq-fe.h>

#include <optional>

namespace engine {

namespace {

using Kind = BackendFailure::Kind;

constexpr const char *kSearchVersion = "velm search 2";
constexpr const char *kKeepTrigger = "velm_search_keep";
constexpr const char *kClearTrigger = "velm_search_clear";
// Rows (by row id) copied per step of a build: a step's progress and the
// point a stopped build goes on from.
constexpr qint64 kFillStep = 50000;
// Share of a build's progress the copying has; the trigram indexes the rest.
constexpr int kFillShare = 60;

QString searchTable(const QString &table)
{
    return QStringLiteral("velm_search_") + table.toLower();
}

QString columnIndexName(const QString &table, const QString &column)
{
    return searchTable(table) + QLatin1Char('_') + column.toLower();
}

QString keeperFunction(const QString &table)
{
    return searchTable(table) + QStringLiteral("_keep");
}

// The trigram indexes an older version put on the table itself.
QString olderIndexName(const SearchIndexDef &index, const QString &column)
{
    return QStringLiteral("%1_velm_search_%2").arg(index.table.toLower(), column.toLower());
}

QString columnList(const SearchIndexDef &index)
{
    return index.columns.join(QLatin1Char(',')).toLower();
}

QString readyComment(const SearchIndexDef &index)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(kSearchVersion), columnList(index));
}

QString buildingComment(const SearchIndexDef &index, qint64 builtUpTo)
{
    return QStringLiteral("%1 building from %2: %3").arg(QLatin1String(kSearchVersion)).arg(builtUpTo).arg(columnList(index));
}

// The row id up to which a build of `index` has copied; none when the
// comment is not of a build of this version and these columns.
std::optional<qint64> builtUpTo(const QString &comment, const SearchIndexDef &index)
{
    const QString prefix = QLatin1String(kSearchVersion) + QStringLiteral(" building from ");
    const QString suffix = QStringLiteral(": ") + columnList(index);
    if (!comment.startsWith(prefix) || !comment.endsWith(suffix))
        return std::nullopt;
    bool ok = false;
    const qint64 at = comment.mid(prefix.size(), comment.size() - prefix.size() - suffix.size()).toLongLong(&ok);
    return ok ? std::optional<qint64>(at) : std::nullopt;
}

// The columns a complete search table of this version covers (lower case).
QStringList readyColumns(const QString &comment)
{
    const QString prefix = QLatin1String(kSearchVersion) + QStringLiteral(": ");
    if (!comment.startsWith(prefix))
        return {};
    return comment.mid(prefix.size()).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

// The pattern with every '_' (any one character) as '%': what a value
// matching the pattern exactly surely matches under the search rule.
QString runsOnly(const QString &pattern)
{
    QString out;
    for (qsizetype i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('\\') && i + 1 < pattern.size()) {
            out += c;
            out += pattern.at(++i);
        } else {
            out += c == QLatin1Char('_') ? QLatin1Char('%') : c;
        }
    }
    return out;
}

// Tells a build's progress; the caller's "stop" ends the build after the
// step in hand (it goes on from there next time).
void goOnOrStop(const BuildProgress &progress, int percent)
{
    if (progress && !progress(percent))
        throw BackendFailure{Kind::Interrupted, QStringLiteral("the search index's build was stopped"),
                             QStringLiteral("interrupted")};
}

// The trigger function: the folded texts of a row written, in its
// transaction. A row whose searched texts stay as they were is not
// written again.
QByteArray keeperBody(const SearchIndexDef &index, const QByteArray &rowId)
{
    const QByteArray side = quotedName(searchTable(index.table));
    QList<QByteArray> unchanged{"OLD." + rowId + " = NEW." + rowId};
    QList<QByteArray> names, folded, excluded;
    for (const QString &column : index.columns) {
        const QByteArray c = quotedName(column);
        unchanged << "OLD." + c + "::text COLLATE \"C\" IS NOT DISTINCT FROM NEW." + c + "::text COLLATE \"C\"";
        names << c;
        folded << "velm_search(NEW." + c + "::text)";
        excluded << c + " = EXCLUDED." + c;
    }
    return "BEGIN "
           "IF TG_OP = 'TRUNCATE' THEN TRUNCATE " + side + "; RETURN NULL; END IF; "
           "IF TG_OP = 'DELETE' THEN DELETE FROM " + side + " WHERE velm_rowid = OLD." + rowId + "; RETURN NULL; END IF; "
           "IF TG_OP = 'UPDATE' THEN "
           "IF " + unchanged.join(" AND ") + " THEN RETURN NULL; END IF; "
           "IF OLD." + rowId + " <> NEW." + rowId + " THEN DELETE FROM " + side + " WHERE velm_rowid = OLD." + rowId + "; END IF; "
           "END IF; "
           "INSERT INTO " + side + " (velm_rowid, " + names.join(", ") + ") VALUES (NEW." + rowId + ", " + folded.join(", ")
           + ") ON CONFLICT (velm_rowid) DO UPDATE SET " + excluded.join(", ") + "; "
           "RETURN NULL; END";
}

} // namespace

void PgConnection::ensureSearchFunctions()
{
    if (m_searchFunctions)
        return;
    if (scalar("SELECT count(*) FROM pg_proc WHERE proname IN ('velm_search', 'velm_match', 'velm_match_folded') "
               "AND pronamespace = current_schema()::regnamespace")
            .toLongLong()
        < 3)
        ensureTextRules();
    m_searchFunctions = true;
}

PgConnection::SearchTableState PgConnection::searchTableState(const QString &table)
{
    // The comment (empty: none), whether both triggers keep the table in
    // step, and its valid trigram indexes (all but the key's).
    PGresult *r = exec("SELECT coalesce(obj_description(s.oid, 'pg_class'), ''), "
                       "(SELECT count(*) FROM pg_trigger t JOIN pg_class c ON c.oid = t.tgrelid "
                       "WHERE c.relname = $2 AND c.relnamespace = s.relnamespace AND t.tgenabled <> 'D' "
                       "AND t.tgname IN ('velm_search_keep', 'velm_search_clear')) = 2, "
                       "(SELECT count(*) FROM pg_index i WHERE i.indrelid = s.oid AND i.indisvalid AND NOT i.indisprimary) "
                       "FROM pg_class s WHERE s.relkind = 'r' AND s.relname = $1 "
                       "AND s.relnamespace = current_schema()::regnamespace",
                       {searchTable(table).toUtf8(), table.toLower().toUtf8()});
    SearchTableState state;
    if (PQntuples(r) > 0) {
        state.exists = true;
        state.comment = QString::fromUtf8(PQgetvalue(r, 0, 0));
        state.kept = *PQgetvalue(r, 0, 1) == 't';
        state.indexes = QByteArray(PQgetvalue(r, 0, 2)).toInt();
    }
    PQclear(r);
    return state;
}

SqlCondition PgConnection::textCondition(const QString &table, const QList<TextCriterion> &criteria, IndexUse use)
{
    ensureSearchFunctions();
    QSet<QString> covered;
    if (use == IndexUse::WhenReady) {
        const SearchTableState state = searchTableState(table);
        const QStringList columns = readyColumns(state.comment);
        if (state.kept && state.indexes == columns.size())
            for (const QString &column : columns)
                covered.insert(column);
    }
    // The criteria the search table answers narrow the rows to those ids;
    // the others (and an exact match's own LIKE) are checked on the rows.
    QStringList indexed, onRows;
    QVariantList indexedValues, rowValues;
    for (const TextCriterion &c : criteria) {
        const QString column = QString::fromUtf8(quotedName(c.column));
        const bool fromIndex = covered.contains(c.column.toLower()) && !grams::patternGrams(0, c.pattern).empty();
        if (fromIndex) {
            indexed << QStringLiteral("velm_match_folded(%1, ?)").arg(column);
            indexedValues << (c.match == TextMatch::Folded ? c.pattern : runsOnly(c.pattern));
        }
        if (c.match == TextMatch::Folded && !fromIndex) {
            // "|| ''" keeps the server from the index: what it is measured against.
            onRows << QStringLiteral("velm_match(%1%2, ?)").arg(column, use == IndexUse::Never ? QStringLiteral(" || ''") : QString());
            rowValues << c.pattern;
        } else if (c.match == TextMatch::Exact) {
            onRows << QStringLiteral("%1 LIKE ? ESCAPE '\\'").arg(column);
            rowValues << c.pattern;
        }
    }
    if (!indexed.isEmpty()) {
        // An array of ids: the server then reads the rows by their id's
        // index, in id order, rather than weighing a join against a scan.
        onRows.prepend(QStringLiteral("%1 = ANY (ARRAY(SELECT velm_rowid FROM %2 WHERE %3))")
                           .arg(rowIdColumn(table), QString::fromUtf8(quotedName(searchTable(table))),
                                indexed.join(QStringLiteral(" AND "))));
        rowValues = indexedValues + rowValues;
    }
    return {onRows.join(QStringLiteral(" AND ")), rowValues};
}

SearchIndexState PgConnection::searchIndexState(const SearchIndexDef &index)
{
    const SearchTableState state = searchTableState(index.table);
    if (state.isReady(readyComment(index), index.columns.size()))
        return {SearchIndexStatus::Ready, {}};
    if (scalar("SELECT count(*) FROM pg_extension WHERE extname = 'pg_trgm'").toLongLong() == 0) {
        if (scalar("SELECT count(*) FROM pg_available_extensions WHERE name = 'pg_trgm'").toLongLong() == 0)
            return {SearchIndexStatus::Unavailable, QStringLiteral("the server has no pg_trgm extension")};
        if (!scalar("SELECT has_database_privilege(current_database(), 'CREATE')").toBool())
            return {SearchIndexStatus::Unavailable,
                    QStringLiteral("pg_trgm is not in the database and this role may not add it "
                                   "(the administrator runs CREATE EXTENSION pg_trgm in it)")};
    }
    if (state.exists)
        return {state.kept && builtUpTo(state.comment, index) ? SearchIndexStatus::Building : SearchIndexStatus::Outdated, {}};
    QStringList olderNames;
    for (const QString &column : index.columns)
        olderNames << olderIndexName(index, column);
    const bool older = scalar("SELECT count(*) FROM pg_class WHERE relkind = 'i' AND relname = ANY (string_to_array($1, ',')) "
                              "AND relnamespace = current_schema()::regnamespace",
                              {olderNames.join(QLatin1Char(',')).toUtf8()})
                           .toLongLong()
                       > 0;
    return {older ? SearchIndexStatus::Outdated : SearchIndexStatus::Missing, {}};
}

void PgConnection::buildSearchIndex(const SearchIndexDef &index, const BuildProgress &progress)
{
    ensureTextRules();
    if (scalar("SELECT count(*) FROM pg_extension WHERE extname = 'pg_trgm'").toLongLong() == 0) {
        // A trusted extension: the database's owner may add it. A server
        // without it searches by reading every row, with the same results.
        try {
            run("CREATE EXTENSION IF NOT EXISTS pg_trgm");
        } catch (const BackendFailure &) {
            return;
        }
    }
    const SearchTableState state = searchTableState(index.table);
    if (!state.isReady(readyComment(index), index.columns.size())) {
        std::optional<qint64> from = state.kept ? builtUpTo(state.comment, index) : std::nullopt;
        if (!from)
            from = createSearchTable(index);
        fillSearchTable(index, *from, progress);
        indexSearchTable(index, progress);
    }
    for (const QString &column : index.columns)
        run("DROP INDEX " + QByteArray(inTransaction() ? "" : "CONCURRENTLY ") + "IF EXISTS "
            + quotedName(olderIndexName(index, column)));
    if (progress)
        progress(100);
}

qint64 PgConnection::createSearchTable(const SearchIndexDef &index)
{
    // An older version's indexes on the table answer the searches until
    // this one is complete.
    dropSearchTable(index);
    const QByteArray table = quotedName(index.table);
    const QByteArray side = quotedName(searchTable(index.table));
    const QByteArray keeper = quotedName(keeperFunction(index.table));
    const QByteArray rowId = rowIdColumn(index.table).toUtf8();
    QList<QByteArray> columns{"velm_rowid bigint PRIMARY KEY"}, watched{rowId};
    for (const QString &column : index.columns) {
        columns << quotedName(column) + " text COLLATE \"C\"";
        watched << quotedName(column);
    }
    // The rows already there, and those written from here on by the trigger.
    const qint64 first = scalar("SELECT coalesce(min(" + rowId + "), 1) - 1 FROM " + table).toLongLong();
    const bool own = !inTransaction();
    if (own)
        run("BEGIN");
    try {
        run("CREATE TABLE " + side + " (" + columns.join(", ") + ")");
        run("COMMENT ON TABLE " + side + " IS " + literal(buildingComment(index, first)));
        run("CREATE FUNCTION " + keeper + "() RETURNS trigger LANGUAGE plpgsql SECURITY DEFINER "
            "SET search_path FROM CURRENT AS $velm$ " + keeperBody(index, rowId) + " $velm$");
        run("CREATE TRIGGER " + QByteArray(kKeepTrigger) + " AFTER INSERT OR DELETE OR UPDATE OF " + watched.join(", ")
            + " ON " + table + " FOR EACH ROW EXECUTE FUNCTION " + keeper + "()");
        run("CREATE TRIGGER " + QByteArray(kClearTrigger) + " AFTER TRUNCATE ON " + table
            + " FOR EACH STATEMENT EXECUTE FUNCTION " + keeper + "()");
        if (own)
            run("COMMIT");
    } catch (...) {
        if (own)
            run("ROLLBACK");
        throw;
    }
    return first;
}

// Copies the folded texts of the rows after `from` step by step. Rows the
// trigger wrote meanwhile are newer and stay; a row deleted meanwhile may
// leave its texts behind, which only ever name an id no row has.
void PgConnection::fillSearchTable(const SearchIndexDef &index, qint64 from, const BuildProgress &progress)
{
    const QByteArray table = quotedName(index.table);
    const QByteArray side = quotedName(searchTable(index.table));
    const QByteArray rowId = rowIdColumn(index.table).toUtf8();
    QList<QByteArray> names, folded;
    for (const QString &column : index.columns) {
        names << quotedName(column);
        folded << "velm_search(" + quotedName(column) + "::text)";
    }
    const QByteArray copy = "INSERT INTO " + side + " (velm_rowid, " + names.join(", ") + ") SELECT " + rowId + ", "
                            + folded.join(", ") + " FROM " + table + " WHERE " + rowId + " > $1::bigint AND " + rowId
                            + " <= $2::bigint ON CONFLICT (velm_rowid) DO NOTHING";
    const qint64 last = scalar("SELECT coalesce(max(" + rowId + "), 0) FROM " + table).toLongLong();
    const qint64 start = from;
    for (qint64 at = from; at < last; at += kFillStep) {
        const qint64 upTo = qMin(last, at + kFillStep);
        PQclear(exec(copy, {QByteArray::number(at), QByteArray::number(upTo)}));
        run("COMMENT ON TABLE " + side + " IS " + literal(buildingComment(index, upTo)));
        goOnOrStop(progress, int((upTo - start) * kFillShare / qMax<qint64>(1, last - start)));
    }
}

void PgConnection::indexSearchTable(const SearchIndexDef &index, const BuildProgress &progress)
{
    const QByteArray side = quotedName(searchTable(index.table));
    for (int i = 0; i < index.columns.size(); ++i) {
        const QString name = columnIndexName(index.table, index.columns.at(i));
        const QVariant valid = scalar("SELECT i.indisvalid FROM pg_class c JOIN pg_index i ON i.indexrelid = c.oid "
                                      "WHERE c.relname = $1 AND c.relnamespace = current_schema()::regnamespace",
                                      {name.toUtf8()});
        if (valid.isValid() && valid.toBool())
            continue;
        // A build broken off leaves an index that is not valid: made again.
        if (valid.isValid())
            run("DROP INDEX " + quotedName(name));
        // Beside the other workstations' writes, which go on.
        run("CREATE INDEX " + QByteArray(inTransaction() ? "" : "CONCURRENTLY ") + quotedName(name) + " ON " + side
            + " USING gin (" + quotedName(index.columns.at(i)) + " gin_trgm_ops)");
        if (i + 1 < index.columns.size())
            goOnOrStop(progress, kFillShare + (i + 1) * (100 - kFillShare) / int(index.columns.size()));
    }
    // The planner learns how the folded texts are spread.
    run("ANALYZE " + side);
    run("COMMENT ON TABLE " + side + " IS " + literal(readyComment(index)));
}

void PgConnection::dropSearchTable(const SearchIndexDef &index)
{
    // The triggers go with their function.
    run("DROP FUNCTION IF EXISTS " + quotedName(keeperFunction(index.table)) + "() CASCADE");
    run("DROP TABLE IF EXISTS " + quotedName(searchTable(index.table)));
}

void PgConnection::dropSearchIndex(const SearchIndexDef &index)
{
    dropSearchTable(index);
    for (const QString &column : index.columns)
        run("DROP INDEX IF EXISTS " + quotedName(olderIndexName(index, column)));
}

qint64 PgConnection::searchIndexBytes(const SearchIndexDef &index)
{
    return scalar("SELECT coalesce(sum(pg_total_relation_size(c.oid)), 0) FROM pg_class c WHERE c.relkind = 'r' "
                  "AND c.relname = $1 AND c.relnamespace = current_schema()::regnamespace",
                  {searchTable(index.table).toUtf8()})
        .toLongLong();
}

} // namespace engine
