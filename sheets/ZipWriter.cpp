#include "sheets/ZipWriter.h"

#include <QDateTime>
#include <QFileDevice>
#include <QtEndian>

#include <zlib.h>

namespace sheets::detail {

namespace {

constexpr quint32 kLocalHeader = 0x04034b50;
constexpr quint32 kCentralHeader = 0x02014b50;
constexpr quint32 kEnd = 0x06054b50;
constexpr quint32 kZip64End = 0x06064b50;
constexpr quint32 kZip64Locator = 0x07064b50;
constexpr quint32 kMax32 = 0xFFFFFFFFu;
constexpr quint16 kZip64Extra = 0x0001;
constexpr quint16 kVersion = 20;      // deflate
constexpr quint16 kVersionZip64 = 45;
constexpr quint16 kMadeByUnix = 3 << 8;
constexpr quint16 kUtf8Names = 1 << 11;
constexpr qsizetype kOutChunk = 256 * 1024;

void add16(QByteArray &b, quint16 v)
{
    char out[2];
    qToLittleEndian(v, out);
    b.append(out, 2);
}
void add32(QByteArray &b, quint32 v)
{
    char out[4];
    qToLittleEndian(v, out);
    b.append(out, 4);
}
void add64(QByteArray &b, quint64 v)
{
    char out[8];
    qToLittleEndian(v, out);
    b.append(out, 8);
}

// The local header; a large entry's sizes go in its ZIP64 field.
QByteArray localHeader(const QByteArray &name, quint32 crc, quint64 compressed, quint64 size, bool large,
                       quint16 time, quint16 date)
{
    QByteArray h;
    add32(h, kLocalHeader);
    add16(h, large ? kVersionZip64 : kVersion);
    add16(h, kUtf8Names);
    add16(h, Z_DEFLATED);
    add16(h, time);
    add16(h, date);
    add32(h, crc);
    add32(h, large ? kMax32 : quint32(compressed));
    add32(h, large ? kMax32 : quint32(size));
    add16(h, quint16(name.size()));
    add16(h, large ? 20 : 0);
    h += name;
    if (large) {
        add16(h, kZip64Extra);
        add16(h, 16);
        add64(h, size);
        add64(h, compressed);
    }
    return h;
}

} // namespace

struct ZipWriter::Stream {
    z_stream z{};
    bool ready = false;
    QByteArray out = QByteArray(kOutChunk, Qt::Uninitialized);
};

ZipWriter::ZipWriter(QFileDevice &file, int level) : m_file(file), m_level(level), m_stream(std::make_unique<Stream>())
{
    // MS-DOS time of the entries: now, local time, two-second steps.
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    m_time = quint16((t.hour() << 11) | (t.minute() << 5) | (t.second() / 2));
    m_date = quint16(((qMax(1980, d.year()) - 1980) << 9) | (d.month() << 5) | d.day());
}

ZipWriter::~ZipWriter()
{
    if (m_stream->ready)
        deflateEnd(&m_stream->z);
}

bool ZipWriter::fail(const QString &why)
{
    if (m_error.isEmpty())
        m_error = why;
    return false;
}

bool ZipWriter::put(const QByteArray &bytes)
{
    if (m_file.write(bytes) != bytes.size())
        return fail(m_file.errorString());
    return true;
}

bool ZipWriter::begin(const QByteArray &name, bool large)
{
    if (!m_error.isEmpty() || m_open)
        return false;
    m_current = Entry{name, quint64(m_file.pos()), 0, 0, quint32(crc32(0, nullptr, 0)), large};
    if (!put(localHeader(name, 0, 0, 0, large, m_time, m_date)))
        return false;
    z_stream &z = m_stream->z;
    z = z_stream{};
    if (deflateInit2(&z, m_level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return fail(QStringLiteral("The compression could not be started."));
    m_stream->ready = true;
    m_open = true;
    return true;
}

bool ZipWriter::deflateOut(int flush)
{
    z_stream &z = m_stream->z;
    int result = Z_OK;
    do {
        z.next_out = reinterpret_cast<Bytef *>(m_stream->out.data());
        z.avail_out = uInt(kOutChunk);
        result = deflate(&z, flush);
        if (result == Z_STREAM_ERROR)
            return fail(QStringLiteral("The compression failed."));
        const qsizetype produced = kOutChunk - qsizetype(z.avail_out);
        if (produced > 0) {
            if (m_file.write(m_stream->out.constData(), produced) != produced)
                return fail(m_file.errorString());
            m_current.compressed += quint64(produced);
        }
    } while (z.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    return true;
}

bool ZipWriter::write(const char *data, qsizetype size)
{
    if (!m_open || !m_error.isEmpty())
        return false;
    z_stream &z = m_stream->z;
    while (size > 0) {
        const uInt part = uInt(qMin<qsizetype>(size, 1 << 30));
        m_current.crc = quint32(crc32(m_current.crc, reinterpret_cast<const Bytef *>(data), part));
        m_current.size += part;
        z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data));
        z.avail_in = part;
        if (!deflateOut(Z_NO_FLUSH))
            return false;
        data += part;
        size -= part;
    }
    return true;
}

bool ZipWriter::end()
{
    if (!m_open || !m_error.isEmpty())
        return false;
    m_stream->z.next_in = nullptr;
    m_stream->z.avail_in = 0;
    const bool deflated = deflateOut(Z_FINISH);
    deflateEnd(&m_stream->z);
    m_stream->ready = false;
    m_open = false;
    if (!deflated)
        return false;
    if (!m_current.large && (m_current.size >= kMax32 || m_current.compressed >= kMax32))
        return fail(QStringLiteral("The sheet is too large for a file of this kind; export it as CSV."));
    // The header again, now with the sizes and the check sum.
    const qint64 endAt = m_file.pos();
    if (!m_file.seek(qint64(m_current.offset))
        || !put(localHeader(m_current.name, m_current.crc, m_current.compressed, m_current.size, m_current.large,
                            m_time, m_date))
        || !m_file.seek(endAt))
        return fail(m_file.errorString());
    m_entries << m_current;
    return true;
}

bool ZipWriter::finish()
{
    if (m_open || !m_error.isEmpty())
        return false;
    const quint64 directoryAt = quint64(m_file.pos());
    QByteArray directory;
    for (const Entry &e : std::as_const(m_entries)) {
        const bool bigSize = e.size >= kMax32 || e.compressed >= kMax32;
        const bool bigOffset = e.offset >= kMax32;
        QByteArray extra;
        if (bigSize || bigOffset) {
            QByteArray fields;
            if (bigSize) {
                add64(fields, e.size);
                add64(fields, e.compressed);
            }
            if (bigOffset)
                add64(fields, e.offset);
            add16(extra, kZip64Extra);
            add16(extra, quint16(fields.size()));
            extra += fields;
        }
        const quint16 needed = (bigSize || bigOffset || e.large) ? kVersionZip64 : kVersion;
        add32(directory, kCentralHeader);
        add16(directory, kMadeByUnix | kVersionZip64);
        add16(directory, needed);
        add16(directory, kUtf8Names);
        add16(directory, Z_DEFLATED);
        add16(directory, m_time);
        add16(directory, m_date);
        add32(directory, e.crc);
        add32(directory, bigSize ? kMax32 : quint32(e.compressed));
        add32(directory, bigSize ? kMax32 : quint32(e.size));
        add16(directory, quint16(e.name.size()));
        add16(directory, quint16(extra.size()));
        add16(directory, 0); // comment
        add16(directory, 0); // disk
        add16(directory, 0); // internal attributes
        add32(directory, 0100644u << 16); // a regular file, rw-r--r--
        add32(directory, bigOffset ? kMax32 : quint32(e.offset));
        directory += e.name;
        directory += extra;
    }
    if (!put(directory))
        return false;
    const quint64 count = quint64(m_entries.size());
    const quint64 size = quint64(directory.size());
    QByteArray tail;
    const bool zip64 = directoryAt >= kMax32 || count >= 0xFFFF;
    if (zip64) {
        const quint64 recordAt = quint64(m_file.pos());
        add32(tail, kZip64End);
        add64(tail, 44);
        add16(tail, kMadeByUnix | kVersionZip64);
        add16(tail, kVersionZip64);
        add32(tail, 0);
        add32(tail, 0);
        add64(tail, count);
        add64(tail, count);
        add64(tail, size);
        add64(tail, directoryAt);
        add32(tail, kZip64Locator);
        add32(tail, 0);
        add64(tail, recordAt);
        add32(tail, 1);
    }
    add32(tail, kEnd);
    add16(tail, 0);
    add16(tail, 0);
    add16(tail, zip64 ? 0xFFFF : quint16(count));
    add16(tail, zip64 ? 0xFFFF : quint16(count));
    add32(tail, quint32(size));
    add32(tail, zip64 ? kMax32 : quint32(directoryAt));
    add16(tail, 0);
    return put(tail);
}

} // namespace sheets::detail
