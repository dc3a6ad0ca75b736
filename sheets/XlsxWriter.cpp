#include "sheets/Writers.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>

#include <xlsxwriter.h>

#include <cstdio>

namespace sheets::detail {

namespace {

constexpr int kSheetNameChars = 31;
constexpr int kColumnLimit = 16384;
// Digits General shows before it turns to the exponent form.
constexpr int kGeneralDigits = 11;
// Past this many cells a sheet's XML may outgrow the 4 GB of a plain zip entry.
constexpr qint64 kZip64Cells = 20'000'000;

// A sheet name Excel accepts: none of []:*?/\, no apostrophe at either
// end, at most 31 characters, never empty.
QString sheetName(const QString &wanted, int maxChars = kSheetNameChars)
{
    QString name;
    for (const QChar c : wanted)
        name += QStringLiteral("[]:*?/\\").contains(c) || c.unicode() < 0x20 ? QChar(QLatin1Char(' ')) : c;
    name = name.simplified();
    while (name.startsWith(QLatin1Char('\'')))
        name.remove(0, 1);
    if (name.size() > maxChars) {
        name.truncate(maxChars);
        if (name.back().isHighSurrogate())
            name.chop(1);
    }
    while (name.endsWith(QLatin1Char('\'')) || name.endsWith(QLatin1Char(' ')))
        name.chop(1);
    return name.isEmpty() ? QStringLiteral("Sheet") : name;
}

bool isBlank(const QString &text)
{
    for (const QChar c : text)
        if (c != QLatin1Char(' '))
            return false;
    return true;
}

// libxlsxwriter, in its constant-memory mode: each sheet's rows go to a
// temporary file as they are added and are packed into the file at the
// end, so memory stays the same whatever the number of rows.
class XlsxWriter final : public Writer {
public:
    XlsxWriter(const QString &path, const Options &options) : m_path(path), m_options(options)
    {
        m_part = path + QStringLiteral(".part-") + QString::number(QRandomGenerator::global()->generate64(), 36);
        m_tempFolder = QFile::encodeName(options.tempFolder.isEmpty() ? QDir::tempPath() : options.tempFolder);
        lxw_workbook_options o{};
        o.constant_memory = LXW_TRUE;
        o.tmpdir = m_tempFolder.data();
        o.use_zip64 = options.expectedCells > kZip64Cells ? LXW_TRUE : LXW_FALSE;
        m_book = workbook_new_opt(QFile::encodeName(m_part).constData(), &o);
        if (!m_book) {
            fail(QStringLiteral("The spreadsheet could not be started."));
            return;
        }
        m_bold = workbook_add_format(m_book);
        format_set_bold(m_bold);
        m_heading = workbook_add_format(m_book);
        format_set_bold(m_heading);
        format_set_bg_color(m_heading, 0xDFE9E2);
        format_set_bottom(m_heading, LXW_BORDER_THIN);
        m_whole = workbook_add_format(m_book);
        format_set_num_format(m_whole, "0");
        m_boldWhole = workbook_add_format(m_book);
        format_set_num_format(m_boldWhole, "0");
        format_set_bold(m_boldWhole);
    }

    ~XlsxWriter() override { abandon(); }

    void beginSheet(const QString &name, const QList<Column> &columns) override
    {
        m_base = name;
        m_columns = columns.mid(0, kColumnLimit);
        m_sheetNumber = 1;
        openSheet(name);
    }

    void addRow(const QStringList &cells, Style style) override
    {
        if (!m_sheet && !failed())
            beginSheet(QString(), {});
        if (failed())
            return;
        if (m_sheetRows >= m_options.rowsPerSheet) {
            const QString suffix = QStringLiteral(" (%1)").arg(++m_sheetNumber);
            openSheet(sheetName(m_base, kSheetNameChars - int(suffix.size())) + suffix);
            if (failed())
                return;
        }
        const bool bold = style == Style::Bold;
        const qsizetype count = qMin<qsizetype>(cells.size(), kColumnLimit);
        for (qsizetype c = 0; c < count; ++c)
            writeCell(lxw_col_t(c), cells.at(c), bold);
        m_widest = qMax(m_widest, int(count));
        ++m_row;
        ++m_sheetRows;
        ++m_rows;
    }

    bool finish() override
    {
        if (!m_book)
            return false;
        if (failed()) {
            abandon();
            return false;
        }
        if (!m_sheet)
            beginSheet(QString(), {});
        closeSheet();
        const lxw_error error = workbook_close(m_book);
        m_book = nullptr;
        m_sheets.clear();
        if (error != LXW_NO_ERROR) {
            fail(QString::fromUtf8(lxw_strerror(error)));
            QFile::remove(m_part);
            return false;
        }
        // rename() puts the whole file in place of an older one at once.
        if (std::rename(QFile::encodeName(m_part).constData(), QFile::encodeName(m_path).constData()) != 0) {
            fail(QStringLiteral("The file could not be named %1.").arg(m_path));
            QFile::remove(m_part);
            return false;
        }
        return true;
    }

    void discard() override { abandon(); }

private:
    void openSheet(const QString &wanted)
    {
        if (failed())
            return;
        closeSheet();
        QString name = sheetName(wanted);
        for (int n = 2; m_names.contains(name.toCaseFolded()); ++n) {
            const QString suffix = QStringLiteral(" (%1)").arg(n);
            name = sheetName(wanted, kSheetNameChars - int(suffix.size())) + suffix;
        }
        m_names.insert(name.toCaseFolded());
        m_sheet = workbook_add_worksheet(m_book, name.toUtf8().constData());
        if (!m_sheet) {
            fail(QStringLiteral("The sheet %1 could not be made.").arg(name));
            return;
        }
        m_sheets << m_sheet;
        if (m_options.rightToLeft)
            worksheet_right_to_left(m_sheet);
        // Column sizes go before the first row in this mode.
        for (int c = 0; c < m_columns.size(); ++c) {
            int width = m_columns.at(c).widthPixels;
            if (width <= 0)
                width = qBound(64, 8 * int(m_columns.at(c).heading.size()) + 16, 320);
            worksheet_set_column_pixels(m_sheet, lxw_col_t(c), lxw_col_t(c), lxw_col_t(width), nullptr);
        }
        m_row = 0;
        m_sheetRows = 0;
        m_widest = int(m_columns.size());
        if (m_columns.isEmpty())
            return;
        for (int c = 0; c < m_columns.size(); ++c) {
            const QByteArray heading = m_columns.at(c).heading.toUtf8();
            check(worksheet_write_string(m_sheet, 0, lxw_col_t(c), heading.constData(), m_heading));
        }
        worksheet_freeze_panes(m_sheet, 1, 0);
        m_row = 1;
    }

    // The heading row gets its filter buttons once the sheet's rows are known.
    void closeSheet()
    {
        if (m_sheet && !m_columns.isEmpty())
            worksheet_autofilter(m_sheet, 0, 0, lxw_row_t(qMax<lxw_row_t>(m_row, 1) - 1), lxw_col_t(m_widest - 1));
    }

    void writeCell(lxw_col_t col, const QString &text, bool bold)
    {
        if (isBlank(text))
            return;
        double number = 0;
        if (readsAsNumber(text, &number)) {
            const qsizetype digits = text.size() - (text.startsWith(QLatin1Char('-')) ? 1 : 0);
            lxw_format *format = digits > kGeneralDigits ? (bold ? m_boldWhole : m_whole) : (bold ? m_bold : nullptr);
            check(worksheet_write_number(m_sheet, m_row, col, number, format));
            return;
        }
        QStringView cell = text;
        if (cell.size() > kXlsxCellChars) {
            cell = cell.left(cell.at(kXlsxCellChars - 1).isHighSurrogate() ? kXlsxCellChars - 1 : kXlsxCellChars);
            ++m_cut;
        }
        m_utf8 = cell.toUtf8();
        check(worksheet_write_string(m_sheet, m_row, col, m_utf8.constData(), bold ? m_bold : nullptr));
    }

    void check(lxw_error error)
    {
        if (error != LXW_NO_ERROR)
            fail(QString::fromUtf8(lxw_strerror(error)));
    }

    // Frees the workbook without packing it. The library would keep the
    // sheets' temporary files open until the program ends: they are closed
    // here (they were unlinked when made, so closing removes them).
    void abandon()
    {
        if (!m_book)
            return;
        for (lxw_worksheet *sheet : std::as_const(m_sheets)) {
            if (sheet->optimize_tmpfile) {
                std::fclose(sheet->optimize_tmpfile);
                sheet->optimize_tmpfile = nullptr;
            }
        }
        m_sheets.clear();
        lxw_workbook_free(m_book);
        m_book = nullptr;
        QFile::remove(m_part);
    }

    QString m_path;
    QString m_part;
    Options m_options;
    QByteArray m_tempFolder;
    lxw_workbook *m_book = nullptr;
    lxw_format *m_bold = nullptr;
    lxw_format *m_heading = nullptr;
    lxw_format *m_whole = nullptr;
    lxw_format *m_boldWhole = nullptr;
    QList<lxw_worksheet *> m_sheets;
    lxw_worksheet *m_sheet = nullptr;
    QSet<QString> m_names;
    QString m_base;
    QList<Column> m_columns;
    int m_sheetNumber = 1;
    lxw_row_t m_row = 0;
    qint64 m_sheetRows = 0;
    int m_widest = 0;
    QByteArray m_utf8;
};

} // namespace

std::unique_ptr<Writer> createXlsxWriter(const QString &path, const Options &options)
{
    return std::make_unique<XlsxWriter>(path, options);
}

} // namespace sheets::detail
