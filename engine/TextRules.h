#pragma once

#include <QString>

namespace engine {

// How the engine compares texts: letter case is folded character by
// character with the Unicode simple case folding ("Émile" = "émile",
// "ZOË" = "Zoë"); nothing else (accents, Arabic letter forms) is folded.
// Keys, seeks, sorts and LIKE searches all use this one rule; the backend
// gives it to every connection (SQLCipher: installTextRules).

// Name of the collation the text columns of the office schema declare.
inline constexpr const char *kFoldCollation = "FOLDCASE";

// The text with its letter case folded by the rule above.
QString foldCase(const QString &text);

// Compares two UTF-8 texts under the rule: negative, 0 or positive.
int compareFolded(const char *a, int aBytes, const char *b, int bBytes);

} // namespace engine
