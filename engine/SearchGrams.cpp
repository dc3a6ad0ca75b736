#include "engine/SearchGrams.h"

#include "engine/TextRules.h"

#include <QList>

#include <algorithm>
#include <cstring>

namespace engine::grams {

namespace {

// Nine bits per character. 0 stays free, so no code of a trigram is 0.
uint32_t charCode(char32_t c)
{
    if (c == U' ')
        return 1;
    if (c >= U'0' && c <= U'9')
        return 2 + (c - U'0');
    if (c >= U'a' && c <= U'z')
        return 12 + (c - U'a');
    if (c >= 0x0621 && c <= 0x064A) // the Arabic letters, as folded
        return 38 + (c - 0x0621);
    if (c > 0x20 && c < 0x7F) // other printable ASCII: 80..127
        return 80 + (c % 48);
    return 128 + uint32_t((uint64_t(c) * 2654435761u) >> 7) % 384u;
}

// A varint of 7 bits per byte, low bits first.
void putVarint(QByteArray &out, uint32_t v)
{
    while (v >= 0x80) {
        out.append(char(0x80 | (v & 0x7F)));
        v >>= 7;
    }
    out.append(char(v));
}

} // namespace

uint32_t gramKey(int column, char32_t a, char32_t b, char32_t c)
{
    return (uint32_t(column) << 27) | (charCode(a) << 18) | (charCode(b) << 9) | charCode(c);
}

void addGrams(int column, const std::vector<char32_t> &folded, std::vector<uint32_t> &keys)
{
    for (size_t i = 0; i + 2 < folded.size(); ++i)
        keys.push_back(gramKey(column, folded[i], folded[i + 1], folded[i + 2]));
}

void sortUnique(std::vector<uint32_t> &keys)
{
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
}

std::vector<std::vector<char32_t>> patternRuns(const QString &pattern)
{
    std::vector<std::vector<char32_t>> runs(1);
    const QList<uint> ucs4 = pattern.toUcs4();
    for (qsizetype i = 0; i < ucs4.size(); ++i) {
        char32_t c = ucs4.at(i);
        if (c == U'\\' && i + 1 < ucs4.size()) {
            c = ucs4.at(++i);
        } else if (c == U'%' || c == U'_') {
            if (!runs.back().empty())
                runs.emplace_back();
            continue;
        }
        if (const char32_t f = searchFoldChar(c))
            runs.back().push_back(f);
    }
    if (runs.back().empty())
        runs.pop_back();
    return runs;
}

std::vector<uint32_t> patternGrams(int column, const QString &pattern)
{
    std::vector<uint32_t> keys;
    for (const std::vector<char32_t> &run : patternRuns(pattern))
        addGrams(column, run, keys);
    sortUnique(keys);
    return keys;
}

QByteArray encodeBlock(const std::vector<uint16_t> &offsets)
{
    QByteArray list;
    uint32_t last = 0;
    bool first = true;
    for (const uint16_t o : offsets) {
        putVarint(list, first ? o : uint32_t(o - last));
        last = o;
        first = false;
        if (list.size() >= kBitmapBytes)
            break;
    }
    if (list.size() < kBitmapBytes)
        return list;
    QByteArray bitmap(kBitmapBytes, '\0');
    for (const uint16_t o : offsets)
        bitmap[o >> 3] = char(uchar(bitmap[o >> 3]) | (1u << (o & 7)));
    return bitmap;
}

void decodeBlock(const char *data, int size, std::vector<uint16_t> &offsets)
{
    offsets.clear();
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    if (size == kBitmapBytes) {
        for (int byte = 0; byte < size; ++byte)
            for (int bit = 0; bit < 8; ++bit)
                if (p[byte] & (1u << bit))
                    offsets.push_back(uint16_t(byte * 8 + bit));
        return;
    }
    uint32_t value = 0;
    bool first = true;
    for (int i = 0; i < size;) {
        uint32_t v = 0;
        int shift = 0;
        while (i < size) {
            const unsigned char b = p[i++];
            v |= uint32_t(b & 0x7F) << shift;
            shift += 7;
            if (!(b & 0x80) || shift > 28)
                break;
        }
        value = first ? v : value + v;
        first = false;
        if (value >= uint32_t(kBlockSize))
            break; // not a list this program wrote: what it holds so far
        offsets.push_back(uint16_t(value));
    }
}

void decodeBlock(const char *data, int size, uint64_t bits[64])
{
    std::memset(bits, 0, 64 * sizeof(uint64_t));
    if (size == kBitmapBytes) {
        const auto *p = reinterpret_cast<const unsigned char *>(data);
        for (int w = 0; w < 64; ++w) {
            uint64_t word = 0;
            for (int b = 7; b >= 0; --b)
                word = (word << 8) | p[w * 8 + b];
            bits[w] = word;
        }
        return;
    }
    std::vector<uint16_t> offsets;
    decodeBlock(data, size, offsets);
    for (const uint16_t o : offsets)
        bits[o >> 6] |= uint64_t(1) << (o & 63);
}

} // namespace engine::grams
