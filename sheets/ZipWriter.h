#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

class QFileDevice;

namespace sheets::detail {

// A zip archive written entry after entry into a seekable file, each entry
// deflated as it is written (so an entry of gigabytes never waits anywhere
// whole) and its header completed once it ends. An entry that may grow
// past 4 GB is begun as a ZIP64 one; the central directory takes ZIP64
// records wherever a size or place needs them.
class ZipWriter {
public:
    // `level`: zlib's compression level of the entries (1 fastest).
    ZipWriter(QFileDevice &file, int level);
    ~ZipWriter();
    ZipWriter(const ZipWriter &) = delete;
    ZipWriter &operator=(const ZipWriter &) = delete;

    bool begin(const QByteArray &name, bool large = false);
    bool write(const char *data, qsizetype size);
    bool write(const QByteArray &data) { return write(data.constData(), data.size()); }
    bool end();
    // Writes the central directory; the archive is whole afterwards.
    bool finish();

    QString errorText() const { return m_error; }

private:
    struct Entry {
        QByteArray name;
        quint64 offset = 0;
        quint64 compressed = 0;
        quint64 size = 0;
        quint32 crc = 0;
        bool large = false;
    };
    bool put(const QByteArray &bytes);
    bool deflateOut(int flush);
    bool fail(const QString &why);

    QFileDevice &m_file;
    int m_level;
    struct Stream;
    std::unique_ptr<Stream> m_stream;
    QList<Entry> m_entries;
    Entry m_current;
    bool m_open = false;
    QString m_error;
    quint16 m_time = 0;
    quint16 m_date = 0;
};

} // namespace sheets::detail
