#pragma once

#include "engine/Backend.h"

struct sqlite3;

// The search index of a file (engine/TextSearch.h), on SQLCipher.
//
// For a table T (the persons) the file holds:
// - velm_search_index: one row per indexed table with the version of the
//   index, its columns, how far a build has come, and the last row (row
//   number and key) it saw, which tells rows renumbered behind its back;
// - velm_grams_T (seg, gram, block, ids): per segment of 65,536 row numbers,
//   trigram and block of 4,096, the persons of the block whose folded text
//   of that column holds the trigram (engine/SearchGrams.h);
// - velm_pending_T (person, indexed, c0 ... cN): rows written since the
//   index last took them in, with the values the index holds for them;
// - three triggers on T that fill velm_pending_T on every insert, update of
//   an indexed column and delete, whoever writes (an older program, a tool).
//
// A connection that wrote takes the pending rows into the index just before
// its COMMIT (flush), in the same transaction; a search also takes the
// pending rows as candidates, so it never misses a row the index has not
// taken in yet. Every candidate is checked against the criteria themselves.
namespace engine::filesearch {

// Registers the table-valued function velm_candidates(table, query) on the
// connection: the row numbers that may match (the query is the criteria the
// index can narrow, as textCondition writes them).
void installCandidates(sqlite3 *db);

// Takes the pending rows of every indexed table into its index, in the
// running transaction. Nothing when the file has no index. Throws BackendFailure.
void flush(sqlite3 *db);

SqlCondition condition(sqlite3 *db, const QString &table, const QList<TextCriterion> &criteria, IndexUse use);
SearchIndexState state(sqlite3 *db, const SearchIndexDef &index);
// Builds what is missing of the index, a segment per transaction. Throws
// BackendFailure (Interrupted when progress says stop).
void build(sqlite3 *db, const SearchIndexDef &index, const BuildProgress &progress);
// Removes the index (its tables, triggers and its row of velm_search_index).
void drop(sqlite3 *db, const SearchIndexDef &index);
qint64 bytes(sqlite3 *db, const SearchIndexDef &index);

} // namespace engine::filesearch
