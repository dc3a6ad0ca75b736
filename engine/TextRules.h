#pragma once

#include <QString>

struct sqlite3;

namespace engine {

// How the engine compares texts: letter case is folded character by
// character with the Unicode simple case folding ("Émile" = "émile",
// "ZOË" = "Zoë"); nothing else (accents, Arabic letter forms) is folded.
// Keys, seeks, sorts and LIKE searches all use this one rule.

// Name of the collation the text columns of the office schema declare.
inline constexpr const char *kFoldCollation = "FOLDCASE";

// The text with its letter case folded by the rule above.
QString foldCase(const QString &text);

// Compares two UTF-8 texts under the rule: negative, 0 or positive.
int compareFolded(const char *a, int aBytes, const char *b, int bBytes);

// Registers, on one connection, the collation kFoldCollation and the
// LIKE operator (with and without ESCAPE) under the same rule. Every
// connection the engine opens gets them.
void installTextRules(sqlite3 *db);

} // namespace engine
