#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// The pieces of the file's search index that need no database: the
// trigrams of folded texts as whole numbers, and the sets of persons of
// one block of row numbers as short byte strings.
//
// A person is named by the row number of its row. Row numbers are grouped
// in blocks of 4,096 and blocks in segments of 16 blocks: the index holds,
// per segment, trigram and block, the persons of that block whose folded
// text (of one column) holds the trigram. A search reads, per segment, the
// rows of its trigrams and keeps the persons that have them all.
namespace engine::grams {

inline constexpr int kBlockBits = 12;
inline constexpr int kBlockSize = 1 << kBlockBits; // persons per block
inline constexpr int kSegmentBits = 4;             // blocks per segment: 16
inline constexpr int kSegmentRowBits = kBlockBits + kSegmentBits;
inline constexpr int kMaxColumns = 15;
// A block held as a bitmap takes this many bytes; a shorter byte string
// is a list.
inline constexpr int kBitmapBytes = kBlockSize / 8;

inline qint64 blockOf(qint64 rowId) { return rowId >> kBlockBits; }
inline qint64 segmentOf(qint64 rowId) { return rowId >> kSegmentRowBits; }
inline int offsetOf(qint64 rowId) { return int(rowId & (kBlockSize - 1)); }

// The trigram of three folded characters in column `column` (0..14): 31
// bits, characters the register is mostly written in kept apart exactly,
// the rest shared among a few hundred codes (a shared code only adds
// persons that the exact check then leaves out).
uint32_t gramKey(int column, char32_t a, char32_t b, char32_t c);

// The keys of every trigram of a folded text, added to `keys` (unsorted,
// may repeat).
void addGrams(int column, const std::vector<char32_t> &folded, std::vector<uint32_t> &keys);
// Sorts and removes repeats.
void sortUnique(std::vector<uint32_t> &keys);

// The literal runs of a LIKE pattern (ESCAPE '\'), each folded under the
// search rule: what every matching value's folded text must contain. The
// runs are what lies between the unescaped '%' and '_'.
std::vector<std::vector<char32_t>> patternRuns(const QString &pattern);
// The trigram keys of the pattern's runs in that column (sorted); empty
// when no run has three characters: the index cannot narrow the search.
std::vector<uint32_t> patternGrams(int column, const QString &pattern);

// The offsets (0..4095, ascending, no repeats) of one block, written as a
// list of growing differences or, when that is not shorter, as a bitmap of
// kBitmapBytes bytes.
QByteArray encodeBlock(const std::vector<uint16_t> &offsets);
// The offsets a block's byte string holds (ascending).
void decodeBlock(const char *data, int size, std::vector<uint16_t> &offsets);
// The same into a bitmap of 64 words (bit k of word w is offset 64w + k).
void decodeBlock(const char *data, int size, uint64_t bits[64]);

} // namespace engine::grams
