#pragma once

#include <QString>

#include <vector>

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

// How a search compares texts: the letter case rule above and the ways one
// Arabic name is written. The alefs carrying a hamza or a wasla (أ إ آ ٱ)
// stand for ا, ؤ for و, ئ and ى for ي, ة for ه; the diacritics (U+064B to
// U+065F, U+0670) and the tatweel (U+0640) are left out; Arabic-Indic and
// Eastern Arabic-Indic digits stand for 0-9. Stored texts are never
// changed: both sides of a comparison are folded as it runs. The SQL of
// both backends has it as velm_search(text) and as velm_match(value,
// pattern), a LIKE (ESCAPE '\') between the two folded texts.
QString searchFold(const QString &text);
// One code point under the search rule; 0 for one that is left out.
char32_t searchFoldChar(char32_t c);
// A UTF-8 text under the search rule, as code points (replacing `out`).
void searchFoldUtf8(const char *utf8, int bytes, std::vector<char32_t> &out);

} // namespace engine
