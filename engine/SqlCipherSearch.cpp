#include "engine/SqlCipherSearch.h"

#include "engine/SearchGrams.h"
#include "engine/SqlCipherBackend.h"
#include "engine/TextRules.h"

#include <sqlite3.h>

#include <QList>
#include <QStringList>

#include <algorithm>
#include <array>
#include <limits>
#include <tuple>
#include <unordered_map>
#include <vector>

namespace engine::filesearch {

namespace {

// A new version when the folding, the trigram keys or the tables change:
// an index of another version is built again.
constexpr int kVersion = 1;
constexpr const char *kMetaTable = "velm_search_index";
constexpr qint64 kNoLimit = std::numeric_limits<qint64>::max();
// Separators of the criteria handed to velm_candidates (never typed: the
// screens' texts hold no control characters that survive as criteria).
constexpr char16_t kFieldSeparator = 0x1F;
constexpr char16_t kItemSeparator = 0x1E;

QByteArray quoted(const QString &name)
{
    QString s = name;
    s.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return '"' + s.toUtf8() + '"';
}

QString lowerName(const QString &table) { return table.toLower(); }
QByteArray gramsTable(const QString &table) { return quoted(QStringLiteral("velm_grams_") + lowerName(table)); }
QByteArray pendingTable(const QString &table) { return quoted(QStringLiteral("velm_pending_") + lowerName(table)); }
QString triggerName(const QString &table, const char *what)
{
    return QStringLiteral("velm_pending_%1_%2").arg(lowerName(table), QLatin1String(what));
}

BackendFailure failure(BackendFailure::Kind kind, const QString &message)
{
    BackendFailure f;
    f.kind = kind;
    f.message = message;
    f.summary = message;
    return f;
}

// A statement of the index's own: prepared, run and finalized here.
class Stmt {
public:
    Stmt(sqlite3 *db, const QByteArray &sql) : m_db(db)
    {
        const int rc = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &m_s, nullptr);
        if (rc != SQLITE_OK) {
            const BackendFailure f = sqliteFailure(db, sqlite3_extended_errcode(db));
            sqlite3_finalize(m_s);
            throw f;
        }
    }
    ~Stmt() { sqlite3_finalize(m_s); }
    Stmt(const Stmt &) = delete;
    Stmt &operator=(const Stmt &) = delete;

    Stmt &bind(int at, qint64 v)
    {
        sqlite3_bind_int64(m_s, at, v);
        return *this;
    }
    Stmt &bind(int at, const QByteArray &text)
    {
        sqlite3_bind_text(m_s, at, text.constData(), int(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt &bindBlob(int at, const QByteArray &bytes)
    {
        sqlite3_bind_blob(m_s, at, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Stmt &bindValue(int at, sqlite3_value *v)
    {
        sqlite3_bind_value(m_s, at, v);
        return *this;
    }
    bool step()
    {
        const int rc = sqlite3_step(m_s);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE)
            return false;
        const BackendFailure f = sqliteFailure(m_db, sqlite3_extended_errcode(m_db));
        sqlite3_reset(m_s);
        throw f;
    }
    void run()
    {
        while (step()) {
        }
        reset();
    }
    void reset() { sqlite3_reset(m_s); }
    bool isNull(int c) const { return sqlite3_column_type(m_s, c) == SQLITE_NULL; }
    qint64 integer(int c) const { return sqlite3_column_int64(m_s, c); }
    QString text(int c) const
    {
        const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(m_s, c));
        return t ? QString::fromUtf8(t, sqlite3_column_bytes(m_s, c)) : QString();
    }
    // Column c as UTF-8 bytes (valid until the next step).
    std::pair<const char *, int> utf8(int c) const
    {
        const auto *t = reinterpret_cast<const char *>(sqlite3_column_text(m_s, c));
        return {t, t ? sqlite3_column_bytes(m_s, c) : 0};
    }
    std::pair<const char *, int> blob(int c) const
    {
        return {static_cast<const char *>(sqlite3_column_blob(m_s, c)), sqlite3_column_bytes(m_s, c)};
    }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_s = nullptr;
};

void exec(sqlite3 *db, const QByteArray &sql)
{
    Stmt(db, sql).run();
}

bool exists(sqlite3 *db, const char *type, const QString &name)
{
    Stmt s(db, "SELECT 1 FROM sqlite_master WHERE type = ?1 AND name = ?2 COLLATE NOCASE");
    s.bind(1, QByteArray(type)).bind(2, name.toUtf8());
    return s.step();
}

struct Meta {
    bool present = false;
    QString table;
    int version = 0;
    QStringList columns;
    qint64 builtUpTo = 0;
    bool ready = false;
    qint64 lastRowId = -1;
    QString lastKey;
};

Meta metaFrom(const Stmt &s)
{
    Meta m;
    m.present = true;
    m.table = s.text(0);
    m.version = int(s.integer(1));
    m.columns = s.text(2).split(QLatin1Char(','));
    m.builtUpTo = s.integer(3);
    m.ready = s.integer(4) != 0;
    m.lastRowId = s.isNull(5) ? -1 : s.integer(5);
    m.lastKey = s.text(6);
    return m;
}

const QByteArray kMetaColumns = "table_name, version, columns, built_upto, ready, last_rowid, last_key";

QList<Meta> readMetas(sqlite3 *db)
{
    QList<Meta> metas;
    if (!exists(db, "table", QLatin1String(kMetaTable)))
        return metas;
    Stmt s(db, "SELECT " + kMetaColumns + " FROM " + kMetaTable);
    while (s.step())
        metas << metaFrom(s);
    return metas;
}

Meta readMeta(sqlite3 *db, const QString &table)
{
    if (!exists(db, "table", QLatin1String(kMetaTable)))
        return {};
    Stmt s(db, "SELECT " + kMetaColumns + " FROM " + kMetaTable + " WHERE table_name = ?1 COLLATE NOCASE");
    s.bind(1, table.toUtf8());
    return s.step() ? metaFrom(s) : Meta{};
}

// The tables and triggers that keep the index in step are all in place.
bool structureInPlace(sqlite3 *db, const QString &table)
{
    for (const char *what : {"insert", "update", "delete"})
        if (!exists(db, "trigger", triggerName(table, what)))
            return false;
    return exists(db, "table", QStringLiteral("velm_grams_") + lowerName(table))
           && exists(db, "table", QStringLiteral("velm_pending_") + lowerName(table));
}

// The index answers searches: complete, of this version and kept in step.
bool usable(sqlite3 *db, const Meta &m)
{
    return m.present && m.ready && m.version == kVersion && structureInPlace(db, m.table);
}

QByteArray columnList(const QStringList &columns, const char *prefix = "")
{
    QList<QByteArray> parts;
    for (const QString &c : columns)
        parts << QByteArray(prefix) + quoted(c);
    return parts.join(", ");
}

// The trigram keys of one row (sorted, no repeats): columns from `first`
// on in the statement, in the index's order. Null and non-text values
// count as their text.
void rowGrams(const Stmt &s, int first, int columns, std::vector<uint32_t> &keys)
{
    thread_local std::vector<char32_t> folded;
    keys.clear();
    for (int c = 0; c < columns; ++c) {
        const auto [text, bytes] = s.utf8(first + c);
        if (!text || bytes == 0)
            continue;
        searchFoldUtf8(text, bytes, folded);
        grams::addGrams(c, folded, keys);
    }
    grams::sortUnique(keys);
}

// ------------------------------------------------------------ keeping in step

// One person gaining or losing a trigram of a column: a change of one cell.
struct CellChange {
    qint64 block;
    uint32_t gram;
    uint16_t offset;
    bool add;
};

// The order of the index's key (segment, trigram, block), so the cells are
// read and written in the order they lie.
bool inKeyOrder(const CellChange &a, const CellChange &b)
{
    const qint64 sa = a.block >> grams::kSegmentBits, sb = b.block >> grams::kSegmentBits;
    return std::tie(sa, a.gram, a.block, a.offset) < std::tie(sb, b.gram, b.block, b.offset);
}

// Rewrites each changed cell of the index: what it held, less the persons
// that lost the trigram, with those that gained it.
void applyChanges(sqlite3 *db, const QString &table, std::vector<CellChange> &changes)
{
    if (changes.empty())
        return;
    std::sort(changes.begin(), changes.end(), inKeyOrder);
    const QByteArray grams = gramsTable(table);
    Stmt read(db, "SELECT ids FROM " + grams + " WHERE seg = ?1 AND gram = ?2 AND block = ?3");
    // Plain single-row writes: none needs a statement journal, whose pages
    // the cipher would encrypt too.
    Stmt insert(db, "INSERT INTO " + grams + " (seg, gram, block, ids) VALUES (?1, ?2, ?3, ?4)");
    Stmt rewrite(db, "UPDATE " + grams + " SET ids = ?4 WHERE seg = ?1 AND gram = ?2 AND block = ?3");
    Stmt remove(db, "DELETE FROM " + grams + " WHERE seg = ?1 AND gram = ?2 AND block = ?3");
    std::vector<uint16_t> held, adds, removes, kept, result;
    for (size_t i = 0; i < changes.size();) {
        const qint64 block = changes[i].block;
        const uint32_t gram = changes[i].gram;
        const qint64 segment = block >> grams::kSegmentBits;
        adds.clear();
        removes.clear();
        for (; i < changes.size() && changes[i].block == block && changes[i].gram == gram; ++i)
            (changes[i].add ? adds : removes).push_back(changes[i].offset);
        read.bind(1, segment).bind(2, qint64(gram)).bind(3, block);
        held.clear();
        const bool stored = read.step();
        if (stored) {
            const auto [data, size] = read.blob(0);
            grams::decodeBlock(data, size, held);
        }
        read.reset();
        kept.clear();
        std::set_difference(held.begin(), held.end(), removes.begin(), removes.end(), std::back_inserter(kept));
        result.clear();
        std::set_union(kept.begin(), kept.end(), adds.begin(), adds.end(), std::back_inserter(result));
        if (result == held)
            continue;
        if (result.empty()) {
            remove.bind(1, segment).bind(2, qint64(gram)).bind(3, block).run();
            continue;
        }
        Stmt &write = stored ? rewrite : insert;
        write.bind(1, segment).bind(2, qint64(gram)).bind(3, block).bindBlob(4, grams::encodeBlock(result)).run();
    }
}

// Remembers the last row, by row number and key: rows renumbered (a copy
// that did not keep the numbers) are then told at the next look.
void noteLastRow(sqlite3 *db, const Meta &m)
{
    Stmt last(db, "SELECT rowid, " + quoted(m.columns.first()) + " FROM " + quoted(m.table)
                      + " ORDER BY rowid DESC LIMIT 1");
    Stmt note(db, QByteArray("UPDATE ") + kMetaTable + " SET last_rowid = ?1, last_key = ?2 WHERE table_name = ?3");
    if (last.step()) // an empty table leaves both null
        note.bind(1, last.integer(0)).bind(2, last.text(1).toUtf8());
    note.bind(3, m.table.toUtf8()).run();
}

void flushTable(sqlite3 *db, const Meta &m)
{
    const int columns = int(m.columns.size());
    struct Pending {
        qint64 person;
        bool indexed;
        std::vector<uint32_t> held;
    };
    std::vector<Pending> pending;
    Stmt read(db, "SELECT * FROM " + pendingTable(m.table) + " ORDER BY person");
    while (read.step()) {
        Pending p{read.integer(0), read.integer(1) != 0, {}};
        if (p.indexed)
            rowGrams(read, 2, columns, p.held);
        pending.push_back(std::move(p));
    }
    read.reset();
    if (pending.empty())
        return;
    const qint64 limit = m.ready ? kNoLimit : m.builtUpTo;
    Stmt current(db, "SELECT " + columnList(m.columns) + " FROM " + quoted(m.table) + " WHERE rowid = ?1");
    std::vector<CellChange> changes;
    std::vector<uint32_t> now, gone, gained;
    for (const Pending &p : pending) {
        if (p.person < 0 || p.person >= limit)
            continue; // not built yet: the build reads the row as it is then
        now.clear();
        current.bind(1, p.person);
        if (current.step())
            rowGrams(current, 0, columns, now);
        current.reset();
        gone.clear();
        gained.clear();
        std::set_difference(p.held.begin(), p.held.end(), now.begin(), now.end(), std::back_inserter(gone));
        std::set_difference(now.begin(), now.end(), p.held.begin(), p.held.end(), std::back_inserter(gained));
        const qint64 block = grams::blockOf(p.person);
        const auto offset = uint16_t(grams::offsetOf(p.person));
        for (const uint32_t g : gone)
            changes.push_back({block, g, offset, false});
        for (const uint32_t g : gained)
            changes.push_back({block, g, offset, true});
    }
    applyChanges(db, m.table, changes);
    exec(db, "DELETE FROM " + pendingTable(m.table));
    noteLastRow(db, m);
}

// ------------------------------------------------------------ building

// Drops whatever an index of the table left and makes it afresh, empty.
void createStructure(sqlite3 *db, const SearchIndexDef &def)
{
    const QString &table = def.table;
    for (const char *what : {"insert", "update", "delete"})
        exec(db, "DROP TRIGGER IF EXISTS " + quoted(triggerName(table, what)));
    exec(db, "DROP TABLE IF EXISTS " + gramsTable(table));
    exec(db, "DROP TABLE IF EXISTS " + pendingTable(table));
    exec(db, QByteArray("CREATE TABLE IF NOT EXISTS ") + kMetaTable
                 + " (table_name TEXT PRIMARY KEY COLLATE NOCASE, version INTEGER NOT NULL, columns TEXT NOT NULL, "
                   "built_upto INTEGER NOT NULL, ready INTEGER NOT NULL, last_rowid INTEGER, last_key TEXT)");
    Stmt meta(db, QByteArray("INSERT OR REPLACE INTO ") + kMetaTable + " (" + kMetaColumns
                      + ") VALUES (?1, ?2, ?3, 0, 0, NULL, NULL)");
    meta.bind(1, table.toUtf8()).bind(2, qint64(kVersion)).bind(3, def.columns.join(QLatin1Char(',')).toUtf8()).run();
    exec(db, "CREATE TABLE " + gramsTable(table)
                 + " (seg INTEGER NOT NULL, gram INTEGER NOT NULL, block INTEGER NOT NULL, ids BLOB NOT NULL, "
                   "PRIMARY KEY (seg, gram, block)) WITHOUT ROWID");
    QList<QByteArray> held;
    for (int c = 0; c < def.columns.size(); ++c)
        held << "c" + QByteArray::number(c);
    exec(db, "CREATE TABLE " + pendingTable(table) + " (person INTEGER PRIMARY KEY, indexed INTEGER NOT NULL, "
                 + held.join(", ") + ")");

    const QByteArray target = quoted(table);
    const QByteArray pending = pendingTable(table);
    const QByteArray oldValues = "OLD.rowid, 1, " + columnList(def.columns, "OLD.");
    const QByteArray isNew = "INSERT OR IGNORE INTO " + pending + " (person, indexed) VALUES (NEW.rowid, 0);";
    QList<QByteArray> changed{"OLD.rowid IS NOT NEW.rowid"};
    for (const QString &c : def.columns)
        changed << "OLD." + quoted(c) + " IS NOT NEW." + quoted(c);
    exec(db, "CREATE TRIGGER " + quoted(triggerName(table, "insert")) + " AFTER INSERT ON " + target + " BEGIN "
                 + isNew + " END");
    exec(db, "CREATE TRIGGER " + quoted(triggerName(table, "update")) + " AFTER UPDATE ON " + target + " WHEN "
                 + changed.join(" OR ") + " BEGIN INSERT OR IGNORE INTO " + pending + " VALUES (" + oldValues + "); "
                 + isNew + " END");
    exec(db, "CREATE TRIGGER " + quoted(triggerName(table, "delete")) + " AFTER DELETE ON " + target
                 + " BEGIN INSERT OR IGNORE INTO " + pending + " VALUES (" + oldValues + "); END");
}

// The rows of one segment, read in row order, written as the index's
// cells in key order (the segment comes after every one built before).
void buildSegment(sqlite3 *db, const SearchIndexDef &def, qint64 segment)
{
    const qint64 from = segment << grams::kSegmentRowBits;
    const qint64 to = (segment + 1) << grams::kSegmentRowBits;
    const int columns = int(def.columns.size());
    // A step stopped before its commit left nothing; one that went on from
    // a segment a bulk write left half built finds its cells: made afresh.
    Stmt clear(db, "DELETE FROM " + gramsTable(def.table) + " WHERE seg = ?1");
    clear.bind(1, segment).run();
    std::unordered_map<uint32_t, std::vector<uint16_t>> persons; // trigram: offsets in the segment
    persons.reserve(32768);
    std::vector<uint32_t> keys;
    Stmt rows(db, "SELECT rowid, " + columnList(def.columns) + " FROM " + quoted(def.table)
                      + " WHERE rowid >= ?1 AND rowid < ?2 ORDER BY rowid");
    rows.bind(1, from).bind(2, to);
    while (rows.step()) {
        const auto offset = uint16_t(rows.integer(0) - from);
        rowGrams(rows, 1, columns, keys);
        for (const uint32_t k : keys)
            persons[k].push_back(offset);
    }
    rows.reset();
    std::vector<uint32_t> order;
    order.reserve(persons.size());
    for (const auto &entry : persons)
        order.push_back(entry.first);
    std::sort(order.begin(), order.end());
    Stmt write(db, "INSERT INTO " + gramsTable(def.table) + " (seg, gram, block, ids) VALUES (?1, ?2, ?3, ?4)");
    std::vector<uint16_t> inBlock;
    for (const uint32_t gram : order) {
        const std::vector<uint16_t> &offsets = persons[gram]; // ascending: read in row order
        size_t i = 0;
        while (i < offsets.size()) {
            const int local = offsets[i] >> grams::kBlockBits;
            inBlock.clear();
            while (i < offsets.size() && (offsets[i] >> grams::kBlockBits) == local)
                inBlock.push_back(uint16_t(offsets[i++] & (grams::kBlockSize - 1)));
            write.bind(1, segment).bind(2, qint64(gram)).bind(3, (segment << grams::kSegmentBits) + local);
            write.bindBlob(4, grams::encodeBlock(inBlock)).run();
        }
    }
}

// One step of a build in its own transaction: the next segment holding
// rows. True when the index is complete. `done` is how far it came (0..1).
bool buildStep(sqlite3 *db, const SearchIndexDef &def, bool first, double &done)
{
    const SearchIndexState was = state(db, def);
    if (was.status == SearchIndexStatus::Ready)
        return true;
    if (first && was.status != SearchIndexStatus::Building)
        createStructure(db, def);
    const Meta m = readMeta(db, def.table);
    Stmt bounds(db, "SELECT min(rowid), max(rowid) FROM " + quoted(def.table) + " WHERE rowid >= ?1");
    bounds.bind(1, m.builtUpTo);
    qint64 next = -1, last = -1;
    if (bounds.step() && !bounds.isNull(0)) {
        next = bounds.integer(0);
        last = bounds.integer(1);
    }
    bounds.reset();
    qint64 upTo = kNoLimit;
    if (next >= 0) {
        const qint64 segment = grams::segmentOf(next);
        buildSegment(db, def, segment);
        upTo = (segment + 1) << grams::kSegmentRowBits;
    }
    const bool complete = upTo > last;
    Stmt drop(db, "DELETE FROM " + pendingTable(def.table) + " WHERE person >= ?1 AND person < ?2");
    drop.bind(1, m.builtUpTo).bind(2, complete ? kNoLimit : upTo).run();
    Stmt note(db, QByteArray("UPDATE ") + kMetaTable + " SET built_upto = ?1, ready = ?2 WHERE table_name = ?3");
    note.bind(1, complete ? qint64(0) : upTo).bind(2, qint64(complete ? 1 : 0)).bind(3, def.table.toUtf8()).run();
    Meta now = readMeta(db, def.table);
    flushTable(db, now); // what other connections wrote meanwhile
    noteLastRow(db, now);
    done = complete || last <= 0 ? 1.0 : double(upTo) / double(last);
    return complete;
}

// ------------------------------------------------------------ searching

std::vector<qint64> allRows(sqlite3 *db, const QString &table)
{
    std::vector<qint64> rows;
    Stmt s(db, "SELECT rowid FROM " + quoted(table) + " ORDER BY rowid");
    while (s.step())
        rows.push_back(s.integer(0));
    return rows;
}

// The rows of one segment that hold every trigram, added to `found`: the
// blocks of the first trigram, each narrowed by the blocks of the others.
void segmentCandidates(Stmt &cells, qint64 segment, const std::vector<uint32_t> &keys, std::vector<qint64> &found)
{
    constexpr int kBlocks = 1 << grams::kSegmentBits;
    std::array<std::array<uint64_t, 64>, kBlocks> bits{};
    std::array<uint64_t, 64> cell{};
    std::array<bool, kBlocks> have{};
    bool started = false;
    for (const uint32_t key : keys) {
        std::array<bool, kBlocks> got{};
        cells.bind(1, segment).bind(2, qint64(key));
        while (cells.step()) {
            const int local = int(cells.integer(0) - (segment << grams::kSegmentBits));
            if (local < 0 || local >= kBlocks || (started && !have[size_t(local)]))
                continue;
            const auto [data, size] = cells.blob(1);
            grams::decodeBlock(data, size, cell.data());
            auto &held = bits[size_t(local)];
            for (int w = 0; w < 64; ++w)
                held[size_t(w)] = started ? held[size_t(w)] & cell[size_t(w)] : cell[size_t(w)];
            got[size_t(local)] = true;
        }
        cells.reset();
        bool any = false;
        for (int b = 0; b < kBlocks; ++b) {
            have[size_t(b)] = got[size_t(b)] && (!started || have[size_t(b)]);
            any = any || have[size_t(b)];
        }
        started = true;
        if (!any)
            return;
    }
    for (int b = 0; b < kBlocks; ++b) {
        if (!have[size_t(b)])
            continue;
        const qint64 base = ((segment << grams::kSegmentBits) + b) << grams::kBlockBits;
        for (int w = 0; w < 64; ++w)
            for (uint64_t word = bits[size_t(b)][size_t(w)]; word; word &= word - 1)
                found.push_back(base + w * 64 + __builtin_ctzll(word));
    }
}

// The row numbers that hold every trigram (and the rows not yet taken in).
std::vector<qint64> candidates(sqlite3 *db, const QString &table, const QString &query)
{
    const Meta m = readMeta(db, table);
    if (!m.present)
        throw failure(BackendFailure::Kind::NoSuchTable, QStringLiteral("no search index on %1").arg(table));
    if (!usable(db, m))
        return allRows(db, m.table);
    std::vector<uint32_t> keys;
    for (const QString &item : query.split(QChar(kItemSeparator), Qt::SkipEmptyParts)) {
        const qsizetype cut = item.indexOf(QChar(kFieldSeparator));
        const int column = int(m.columns.indexOf(item.left(cut)));
        if (cut < 0 || column < 0)
            continue;
        const std::vector<uint32_t> more = grams::patternGrams(column, item.mid(cut + 1));
        keys.insert(keys.end(), more.begin(), more.end());
    }
    grams::sortUnique(keys);
    if (keys.empty())
        return allRows(db, m.table);

    std::vector<qint64> found;
    Stmt bounds(db, "SELECT max(rowid) FROM " + quoted(m.table));
    const qint64 lastSegment = bounds.step() && !bounds.isNull(0) ? grams::segmentOf(bounds.integer(0)) : -1;
    Stmt cells(db, "SELECT block, ids FROM " + gramsTable(m.table) + " WHERE seg = ?1 AND gram = ?2");
    for (qint64 segment = 0; segment <= lastSegment; ++segment)
        segmentCandidates(cells, segment, keys, found);
    // Rows written since the index took them in, and rows the index does
    // not number (below 0), are all checked.
    Stmt pending(db, "SELECT person FROM " + pendingTable(m.table));
    while (pending.step())
        found.push_back(pending.integer(0));
    Stmt negative(db, "SELECT rowid FROM " + quoted(m.table) + " WHERE rowid < 0");
    while (negative.step())
        found.push_back(negative.integer(0));
    std::sort(found.begin(), found.end());
    found.erase(std::unique(found.begin(), found.end()), found.end());
    return found;
}

// velm_candidates(table, query): a table-valued function, eponymous.
struct CandidatesTable {
    sqlite3_vtab base;
    sqlite3 *db;
};

struct CandidatesCursor {
    sqlite3_vtab_cursor base;
    std::vector<qint64> rows;
    size_t at = 0;
};

int candidatesConnect(sqlite3 *db, void *, int, const char *const *, sqlite3_vtab **table, char **)
{
    const int rc = sqlite3_declare_vtab(db, "CREATE TABLE x(person INTEGER, tbl HIDDEN, query HIDDEN)");
    if (rc != SQLITE_OK)
        return rc;
    auto *t = new CandidatesTable{};
    t->db = db;
    *table = &t->base;
    return SQLITE_OK;
}

int candidatesDisconnect(sqlite3_vtab *table)
{
    delete reinterpret_cast<CandidatesTable *>(table);
    return SQLITE_OK;
}

// Usable only with both arguments given.
int candidatesBestIndex(sqlite3_vtab *, sqlite3_index_info *info)
{
    int tableAt = -1, queryAt = -1;
    for (int i = 0; i < info->nConstraint; ++i) {
        const auto &c = info->aConstraint[i];
        if (!c.usable || c.op != SQLITE_INDEX_CONSTRAINT_EQ)
            continue;
        if (c.iColumn == 1)
            tableAt = i;
        else if (c.iColumn == 2)
            queryAt = i;
    }
    if (tableAt < 0 || queryAt < 0) {
        info->idxNum = 0;
        info->estimatedCost = 1e18;
        return SQLITE_OK;
    }
    info->aConstraintUsage[tableAt].argvIndex = 1;
    info->aConstraintUsage[tableAt].omit = 1;
    info->aConstraintUsage[queryAt].argvIndex = 2;
    info->aConstraintUsage[queryAt].omit = 1;
    info->idxNum = 1;
    info->estimatedCost = 1000;
    info->estimatedRows = 1000;
    return SQLITE_OK;
}

int candidatesOpen(sqlite3_vtab *, sqlite3_vtab_cursor **cursor)
{
    auto *c = new CandidatesCursor{};
    *cursor = &c->base;
    return SQLITE_OK;
}

int candidatesClose(sqlite3_vtab_cursor *cursor)
{
    delete reinterpret_cast<CandidatesCursor *>(cursor);
    return SQLITE_OK;
}

int candidatesFilter(sqlite3_vtab_cursor *cursor, int idxNum, const char *, int argc, sqlite3_value **argv)
{
    auto *c = reinterpret_cast<CandidatesCursor *>(cursor);
    auto *t = reinterpret_cast<CandidatesTable *>(cursor->pVtab);
    c->rows.clear();
    c->at = 0;
    if (idxNum != 1 || argc != 2 || sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return SQLITE_OK;
    const auto text = [](sqlite3_value *v) {
        const auto *s = reinterpret_cast<const char *>(sqlite3_value_text(v));
        return s ? QString::fromUtf8(s, sqlite3_value_bytes(v)) : QString();
    };
    try {
        c->rows = candidates(t->db, text(argv[0]), text(argv[1]));
    } catch (const BackendFailure &f) {
        sqlite3_free(t->base.zErrMsg);
        t->base.zErrMsg = sqlite3_mprintf("%s", f.message.toUtf8().constData());
        return f.kind == BackendFailure::Kind::Interrupted ? SQLITE_INTERRUPT : SQLITE_ERROR;
    } catch (const std::bad_alloc &) {
        return SQLITE_NOMEM;
    }
    return SQLITE_OK;
}

int candidatesNext(sqlite3_vtab_cursor *cursor)
{
    ++reinterpret_cast<CandidatesCursor *>(cursor)->at;
    return SQLITE_OK;
}

int candidatesEof(sqlite3_vtab_cursor *cursor)
{
    const auto *c = reinterpret_cast<CandidatesCursor *>(cursor);
    return c->at >= c->rows.size() ? 1 : 0;
}

int candidatesColumn(sqlite3_vtab_cursor *cursor, sqlite3_context *ctx, int column)
{
    const auto *c = reinterpret_cast<CandidatesCursor *>(cursor);
    if (column == 0)
        sqlite3_result_int64(ctx, c->rows[c->at]);
    else
        sqlite3_result_null(ctx);
    return SQLITE_OK;
}

int candidatesRowid(sqlite3_vtab_cursor *cursor, sqlite3_int64 *rowId)
{
    const auto *c = reinterpret_cast<CandidatesCursor *>(cursor);
    *rowId = c->rows[c->at];
    return SQLITE_OK;
}

sqlite3_module candidatesModule()
{
    sqlite3_module m{};
    m.iVersion = 1;
    m.xCreate = nullptr; // eponymous only: velm_candidates(...) in a FROM
    m.xConnect = candidatesConnect;
    m.xBestIndex = candidatesBestIndex;
    m.xDisconnect = candidatesDisconnect;
    m.xDestroy = candidatesDisconnect;
    m.xOpen = candidatesOpen;
    m.xClose = candidatesClose;
    m.xFilter = candidatesFilter;
    m.xNext = candidatesNext;
    m.xEof = candidatesEof;
    m.xColumn = candidatesColumn;
    m.xRowid = candidatesRowid;
    return m;
}

} // namespace

void installCandidates(sqlite3 *db)
{
    static const sqlite3_module module = candidatesModule();
    sqlite3_create_module(db, "velm_candidates", &module, nullptr);
}

void flush(sqlite3 *db)
{
    for (const Meta &m : readMetas(db)) {
        if (m.version == kVersion && exists(db, "table", QStringLiteral("velm_pending_") + lowerName(m.table)))
            flushTable(db, m);
    }
}

SqlCondition condition(sqlite3 *db, const QString &table, const QList<TextCriterion> &criteria, IndexUse use)
{
    const Meta m = use == IndexUse::WhenReady ? readMeta(db, table) : Meta{};
    const bool indexed = m.present && usable(db, m);
    QStringList narrowing;
    QStringList parts;
    QVariantList values;
    for (const TextCriterion &c : criteria) {
        const int column = indexed ? int(m.columns.indexOf(c.column)) : -1;
        if (column >= 0 && !grams::patternGrams(column, c.pattern).empty())
            narrowing << c.column + QChar(kFieldSeparator) + c.pattern;
    }
    if (!narrowing.isEmpty()) {
        parts << QStringLiteral("rowid IN (SELECT person FROM velm_candidates(?, ?))");
        values << m.table << narrowing.join(QChar(kItemSeparator));
    }
    for (const TextCriterion &c : criteria) {
        const QString column = QString::fromUtf8(quoted(c.column));
        parts << (c.match == TextMatch::Folded ? QStringLiteral("velm_match(%1, ?)").arg(column)
                                               : QStringLiteral("%1 LIKE ? ESCAPE '\\'").arg(column));
        values << c.pattern;
    }
    return {parts.join(QStringLiteral(" AND ")), values};
}

SearchIndexState state(sqlite3 *db, const SearchIndexDef &def)
{
    const Meta m = readMeta(db, def.table);
    if (!m.present)
        return {SearchIndexStatus::Missing, {}};
    if (m.version != kVersion || m.columns != def.columns)
        return {SearchIndexStatus::Outdated, QStringLiteral("an index of another version or other columns")};
    if (!structureInPlace(db, m.table))
        return {SearchIndexStatus::Outdated, QStringLiteral("the index's tables or triggers are missing")};
    if (!m.ready)
        return {SearchIndexStatus::Building, {}};
    if (m.lastRowId >= 0) {
        Stmt last(db, "SELECT " + quoted(m.columns.first()) + " FROM " + quoted(m.table) + " WHERE rowid = ?1");
        last.bind(1, m.lastRowId);
        const bool same = last.step() && last.text(0) == m.lastKey;
        last.reset();
        if (!same) {
            Stmt pending(db, "SELECT 1 FROM " + pendingTable(m.table) + " WHERE person = ?1");
            pending.bind(1, m.lastRowId);
            if (!pending.step())
                return {SearchIndexStatus::Outdated, QStringLiteral("the rows were numbered anew")};
        }
    }
    return {SearchIndexStatus::Ready, {}};
}

void build(sqlite3 *db, const SearchIndexDef &def, const BuildProgress &progress)
{
    if (!exists(db, "table", def.table))
        throw failure(BackendFailure::Kind::NoSuchTable, QStringLiteral("no such table: %1").arg(def.table));
    for (bool first = true;; first = false) {
        double done = 0;
        bool complete = false;
        exec(db, "BEGIN IMMEDIATE");
        try {
            complete = buildStep(db, def, first, done);
            exec(db, "COMMIT");
        } catch (...) {
            if (!sqlite3_get_autocommit(db))
                sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
        if (complete) {
            if (progress)
                progress(100);
            return;
        }
        if (progress && !progress(qBound(0, int(done * 100), 99)))
            throw failure(BackendFailure::Kind::Interrupted, QStringLiteral("the search index's build was stopped"));
    }
}

void drop(sqlite3 *db, const SearchIndexDef &def)
{
    for (const char *what : {"insert", "update", "delete"})
        exec(db, "DROP TRIGGER IF EXISTS " + quoted(triggerName(def.table, what)));
    exec(db, "DROP TABLE IF EXISTS " + gramsTable(def.table));
    exec(db, "DROP TABLE IF EXISTS " + pendingTable(def.table));
    if (exists(db, "table", QLatin1String(kMetaTable))) {
        Stmt forget(db, QByteArray("DELETE FROM ") + kMetaTable + " WHERE table_name = ?1");
        forget.bind(1, def.table.toUtf8()).run();
    }
}

qint64 bytes(sqlite3 *db, const SearchIndexDef &def)
{
    if (!exists(db, "table", QStringLiteral("velm_grams_") + lowerName(def.table)))
        return 0;
    // What the cells hold with their keys; the pages around them add a
    // few percent.
    Stmt s(db, "SELECT count(*), total(length(ids)) FROM " + gramsTable(def.table));
    if (!s.step())
        return 0;
    return s.integer(0) * 12 + s.integer(1);
}

} // namespace engine::filesearch
