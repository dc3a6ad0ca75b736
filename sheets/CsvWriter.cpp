#include "sheets/Writers.h"

#include <QDir>
#include <QSaveFile>
#include <QStringEncoder>

namespace sheets::detail {

namespace {

// RFC 4180 with CRLF line ends, as spreadsheet programs read it; UTF-8
// with a byte order mark, without which they take the bytes for the
// computer's own code page and Arabic turns to noise.
class CsvWriter final : public Writer {
public:
    CsvWriter(const QString &path, const Options &options) : m_file(path), m_options(options)
    {
        if (!m_file.open(QIODevice::WriteOnly)) {
            fail(m_file.errorString());
            return;
        }
        m_buffer.reserve(kFlushBytes + 64 * 1024);
        m_buffer.append("\xEF\xBB\xBF");
    }

    void beginSheet(const QString &, const QList<Column> &columns) override
    {
        if (m_sheets++ > 0)
            m_buffer.append("\r\n");
        QStringList headings;
        for (const Column &c : columns)
            headings << c.heading;
        writeLine(headings);
    }

    void addRow(const QStringList &cells, Style) override
    {
        writeLine(cells);
        ++m_rows;
    }

    bool finish() override
    {
        flush();
        if (failed()) {
            m_file.cancelWriting();
            return false;
        }
        if (!m_file.commit()) {
            fail(m_file.errorString());
            return false;
        }
        return true;
    }

    void discard() override { m_file.cancelWriting(); }

private:
    static constexpr qsizetype kFlushBytes = 1 << 20;

    void writeLine(const QStringList &cells)
    {
        for (qsizetype i = 0; i < cells.size(); ++i) {
            if (i > 0)
                m_buffer.append(',');
            writeField(cells.at(i));
        }
        m_buffer.append("\r\n");
        if (m_buffer.size() >= kFlushBytes)
            flush();
    }

    void writeField(const QString &text)
    {
        const bool guard = m_options.guardFormulas && looksLikeFormula(text);
        bool quote = false;
        for (const QChar c : text) {
            if (c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
                quote = true;
                break;
            }
        }
        if (!quote) {
            if (guard)
                m_buffer.append('\'');
            appendUtf8(text);
            return;
        }
        m_buffer.append('"');
        if (guard)
            m_buffer.append('\'');
        QString doubled = text;
        doubled.replace(QLatin1Char('"'), QLatin1String("\"\""));
        m_buffer.append(doubled.toUtf8());
        m_buffer.append('"');
    }

    void appendUtf8(QStringView text)
    {
        const qsizetype at = m_buffer.size();
        m_buffer.resize(at + m_encoder.requiredSpace(text.size()));
        char *end = m_encoder.appendToBuffer(m_buffer.data() + at, text);
        m_buffer.resize(end - m_buffer.constData());
    }

    void flush()
    {
        if (m_buffer.isEmpty() || failed())
            return;
        if (m_file.write(m_buffer) != m_buffer.size())
            fail(m_file.errorString());
        m_buffer.resize(0); // the buffer stays for the next rows
    }

    QSaveFile m_file;
    Options m_options;
    QByteArray m_buffer;
    QStringEncoder m_encoder{QStringEncoder::Utf8};
    int m_sheets = 0;
};

} // namespace

std::unique_ptr<Writer> createCsvWriter(const QString &path, const Options &options)
{
    return std::make_unique<CsvWriter>(path, options);
}

} // namespace sheets::detail
