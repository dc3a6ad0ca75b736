#include "engine/TextRules.h"

// The rule itself, and its SQLite collation and LIKE, which the SQLCipher
// backend installs on each connection: they share the folding and the
// decoding of the hot loop.
#include "engine/SqlCipherBackend.h"

#include <sqlite3.h>

#include <QChar>
#include <QList>

#include <cstring>
#include <string>
#include <vector>

namespace engine {

namespace {

// Lenient UTF-8 decoding: a malformed byte stands for itself as U+FFFD, so
// any stored text compares and matches without failing.
inline char32_t nextCodePoint(const unsigned char *s, int n, int &i)
{
    const unsigned c = s[i++];
    if (c < 0x80)
        return c;
    int extra;
    char32_t cp;
    if (c >= 0xF0) {
        extra = 3;
        cp = c & 0x07;
    } else if (c >= 0xE0) {
        extra = 2;
        cp = c & 0x0F;
    } else if (c >= 0xC0) {
        extra = 1;
        cp = c & 0x1F;
    } else {
        return 0xFFFD;
    }
    while (extra-- > 0 && i < n && (s[i] & 0xC0) == 0x80)
        cp = (cp << 6) | (s[i++] & 0x3F);
    return cp;
}

inline char32_t fold(char32_t c)
{
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 32 : c;
    return QChar::toCaseFolded(c);
}

inline char32_t arabicFold(char32_t c)
{
    switch (c) {
    case 0x0622: // آ
    case 0x0623: // أ
    case 0x0625: // إ
    case 0x0671: // ٱ
        return 0x0627;
    case 0x0624: // ؤ
        return 0x0648;
    case 0x0626: // ئ
    case 0x0649: // ى
        return 0x064A;
    case 0x0629: // ة
        return 0x0647;
    case 0x0640: // tatweel
    case 0x0670: // superscript alef
        return 0;
    default:
        break;
    }
    if (c >= 0x064B && c <= 0x065F) // the diacritics
        return 0;
    if (c >= 0x0660 && c <= 0x0669)
        return U'0' + (c - 0x0660);
    if (c >= 0x06F0 && c <= 0x06F9)
        return U'0' + (c - 0x06F0);
    return c;
}

// How a LIKE of the engine folds both sides: letter case only (LIKE and
// the exact match), or the search rule (velm_match).
enum class Folding { Case, Search };

inline char32_t foldAs(Folding folding, char32_t c)
{
    if (folding == Folding::Case)
        return fold(c);
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 32 : c;
    if (c >= 0x0600 && c <= 0x06FF)
        return arabicFold(c);
    return QChar::toCaseFolded(c);
}

int collate(void *, int aBytes, const void *a, int bBytes, const void *b)
{
    return compareFolded(static_cast<const char *>(a), aBytes, static_cast<const char *>(b), bBytes);
}

// A LIKE pattern, folded and cut at its '%' signs into segments; within a
// segment kAnyOne stands for '_'.
constexpr char32_t kAnyOne = 0xFFFFFFFF;

struct Pattern {
    std::string source; // pattern bytes, escape character and folding it was made from
    std::vector<std::vector<char32_t>> segments;
};

std::string patternSource(const unsigned char *text, int bytes, char32_t escape, Folding folding)
{
    std::string s(reinterpret_cast<const char *>(text), size_t(bytes));
    s.append(reinterpret_cast<const char *>(&escape), sizeof escape);
    s.push_back(folding == Folding::Case ? 'c' : 's');
    return s;
}

// A character the folding leaves out is left out of the pattern too, so
// "مُحمد" typed finds "محمد" stored and the other way round.
Pattern *compile(const unsigned char *text, int bytes, char32_t escape, Folding folding)
{
    auto *p = new Pattern;
    p->source = patternSource(text, bytes, escape, folding);
    p->segments.emplace_back();
    const auto literal = [&](char32_t c) {
        if (const char32_t f = foldAs(folding, c))
            p->segments.back().push_back(f);
    };
    int i = 0;
    while (i < bytes) {
        char32_t c = nextCodePoint(text, bytes, i);
        if (escape && c == escape && i < bytes) {
            literal(nextCodePoint(text, bytes, i));
        } else if (c == '%') {
            if (!p->segments.back().empty() || p->segments.size() == 1)
                p->segments.emplace_back();
        } else if (c == '_') {
            p->segments.back().push_back(kAnyOne);
        } else {
            literal(c);
        }
    }
    return p;
}

inline bool matchesAt(const std::vector<char32_t> &segment, const std::vector<char32_t> &value, size_t at)
{
    for (size_t k = 0; k < segment.size(); ++k)
        if (segment[k] != kAnyOne && segment[k] != value[at + k])
            return false;
    return true;
}

// Segments separated by '%' match left to right, each at its leftmost
// place: the first at the start, the last at the end.
bool matches(const Pattern &p, const std::vector<char32_t> &value)
{
    const auto &segs = p.segments;
    if (segs.size() == 1)
        return segs[0].size() == value.size() && matchesAt(segs[0], value, 0);
    const auto &head = segs.front();
    const auto &tail = segs.back();
    if (head.size() + tail.size() > value.size())
        return false;
    if (!matchesAt(head, value, 0) || !matchesAt(tail, value, value.size() - tail.size()))
        return false;
    size_t pos = head.size();
    const size_t limit = value.size() - tail.size();
    for (size_t s = 1; s + 1 < segs.size(); ++s) {
        const auto &mid = segs[s];
        bool found = false;
        while (pos + mid.size() <= limit) {
            if (matchesAt(mid, value, pos)) {
                found = true;
                break;
            }
            ++pos;
        }
        if (!found)
            return false;
        pos += mid.size();
    }
    return true;
}

// Matches the value against the pattern under the folding. The compiled
// pattern is kept with the statement while the pattern stays the same (a
// bound search value), so a scan compiles it once.
void matchFolded(sqlite3_context *ctx, sqlite3_value **argv, int patternAt, int valueAt, char32_t escape,
                 Folding folding)
{
    sqlite3_value *patternArg = argv[patternAt];
    sqlite3_value *valueArg = argv[valueAt];
    const auto *patternText = sqlite3_value_text(patternArg);
    const int patternBytes = sqlite3_value_bytes(patternArg);
    const auto *valueText = sqlite3_value_text(valueArg);
    const int valueBytes = sqlite3_value_bytes(valueArg);
    if (!patternText || !valueText) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    const int keptAt = patternAt; // kept with the pattern's argument
    auto *kept = static_cast<Pattern *>(sqlite3_get_auxdata(ctx, keptAt));
    Pattern *fresh = nullptr;
    if (!kept || kept->source != patternSource(patternText, patternBytes, escape, folding))
        fresh = compile(patternText, patternBytes, escape, folding);
    const Pattern &pattern = fresh ? *fresh : *kept;

    thread_local std::vector<char32_t> value;
    value.clear();
    for (int i = 0; i < valueBytes;) {
        if (const char32_t f = foldAs(folding, nextCodePoint(valueText, valueBytes, i)))
            value.push_back(f);
    }
    sqlite3_result_int(ctx, matches(pattern, value) ? 1 : 0);

    // Last: SQLite may free the pattern before this call returns.
    if (fresh)
        sqlite3_set_auxdata(ctx, keptAt, fresh, [](void *p) { delete static_cast<Pattern *>(p); });
}

// X LIKE Y [ESCAPE Z] is like(Y, X [, Z]).
void like(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return;
    char32_t escape = 0;
    if (argc == 3) {
        const auto *e = sqlite3_value_text(argv[2]);
        const int eBytes = sqlite3_value_bytes(argv[2]);
        int at = 0;
        if (e && eBytes > 0)
            escape = nextCodePoint(e, eBytes, at);
        if (!e || eBytes == 0 || at != eBytes) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
    }
    matchFolded(ctx, argv, 0, 1, escape, Folding::Case);
}

// velm_match(value, pattern): the pattern's LIKE (ESCAPE '\') under the
// search rule. Null when either is null, as LIKE.
void velmMatch(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
        return;
    matchFolded(ctx, argv, 1, 0, U'\\', Folding::Search);
}

// velm_search(text): the text under the search rule.
void velmSearch(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL)
        return;
    const auto *text = sqlite3_value_text(argv[0]);
    const int bytes = sqlite3_value_bytes(argv[0]);
    if (!text) {
        sqlite3_result_error_nomem(ctx);
        return;
    }
    const QByteArray folded = searchFold(QString::fromUtf8(reinterpret_cast<const char *>(text), bytes)).toUtf8();
    sqlite3_result_text(ctx, folded.constData(), int(folded.size()), SQLITE_TRANSIENT);
}

} // namespace

QString foldCase(const QString &text)
{
    QList<uint> ucs4 = text.toUcs4();
    for (uint &c : ucs4)
        c = fold(c);
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(ucs4.constData()), ucs4.size());
}

char32_t searchFoldChar(char32_t c)
{
    return foldAs(Folding::Search, c);
}

void searchFoldUtf8(const char *utf8, int bytes, std::vector<char32_t> &out)
{
    out.clear();
    const auto *s = reinterpret_cast<const unsigned char *>(utf8);
    for (int i = 0; i < bytes;) {
        if (const char32_t f = foldAs(Folding::Search, nextCodePoint(s, bytes, i)))
            out.push_back(f);
    }
}

QString searchFold(const QString &text)
{
    QString out;
    out.reserve(text.size());
    const QList<uint> ucs4 = text.toUcs4();
    for (const uint c : ucs4) {
        if (const char32_t f = foldAs(Folding::Search, c))
            out += QString::fromUcs4(&f, 1);
    }
    return out;
}

int compareFolded(const char *a, int aBytes, const char *b, int bBytes)
{
    const auto *x = reinterpret_cast<const unsigned char *>(a);
    const auto *y = reinterpret_cast<const unsigned char *>(b);
    int i = 0;
    int j = 0;
    while (i < aBytes && j < bBytes) {
        unsigned cx = x[i];
        unsigned cy = y[j];
        if ((cx | cy) < 0x80) {
            if (cx != cy) {
                cx = fold(cx);
                cy = fold(cy);
                if (cx != cy)
                    return cx < cy ? -1 : 1;
            }
            ++i;
            ++j;
            continue;
        }
        char32_t px = nextCodePoint(x, aBytes, i);
        char32_t py = nextCodePoint(y, bBytes, j);
        if (px != py) {
            px = fold(px);
            py = fold(py);
            if (px != py)
                return px < py ? -1 : 1;
        }
    }
    if (i < aBytes)
        return 1;
    if (j < bBytes)
        return -1;
    return 0;
}

void installTextRules(sqlite3 *db)
{
    sqlite3_create_collation_v2(db, kFoldCollation, SQLITE_UTF8, nullptr, collate, nullptr);
    for (const int args : {2, 3})
        sqlite3_create_function(db, "like", args, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, like,
                                nullptr, nullptr);
    sqlite3_create_function(db, "velm_match", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, velmMatch, nullptr,
                            nullptr);
    sqlite3_create_function(db, "velm_search", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, velmSearch, nullptr,
                            nullptr);
}

} // namespace engine
