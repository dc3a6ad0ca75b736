#include "sheets/Writers.h"
#include "sheets/ZipWriter.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QStringEncoder>

#include <cmath>
#include <cstdio>

namespace sheets::detail {

namespace {

constexpr int kSheetNameChars = 31;
constexpr int kColumnLimit = 16384;
// Digits General shows before it turns to the exponent form.
constexpr int kGeneralDigits = 11;
// Past this many cells a sheet's XML may outgrow the 4 GB of a plain zip entry.
constexpr qint64 kZip64Cells = 2'000'000;
constexpr qsizetype kXmlChunk = 1 << 20;
// The fastest compression: a list of a million persons is gigabytes of XML,
// and the file is a tenth of that either way.
constexpr int kCompression = 1;

// The cell formats of styles.xml, by their index.
enum Style { Plain = 0, Heading = 1, Whole = 2, Bold = 3, BoldWhole = 4 };

const char *const kXmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
const char *const kMain = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char *const kRelations = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

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

// "A", "B", ... "Z", "AA", ...
QByteArray columnName(int column)
{
    QByteArray name;
    for (int n = column + 1; n > 0; n = (n - 1) / 26)
        name.prepend(char('A' + (n - 1) % 26));
    return name;
}

// Text for XML: the five markup characters as entities; control
// characters XML cannot carry, and an underscore that would read as the
// start of such an escape, as Excel's _xHHHH_.
bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

void appendEscaped(QByteArray &out, QByteArrayView utf8, bool attribute)
{
    const char *p = utf8.constData();
    const qsizetype n = utf8.size();
    qsizetype run = 0; // start of the characters copied as they are
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(p[i]);
        const char *entity = nullptr;
        char control[8];
        if (c == '&')
            entity = "&amp;";
        else if (c == '<')
            entity = "&lt;";
        else if (c == '>')
            entity = "&gt;";
        else if (c == '"' && attribute)
            entity = "&quot;";
        else if (c == '_' && i + 6 < n && p[i + 1] == 'x' && p[i + 6] == '_' && isHex(p[i + 2]) && isHex(p[i + 3])
                 && isHex(p[i + 4]) && isHex(p[i + 5]))
            entity = "_x005F_";
        else if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            std::snprintf(control, sizeof control, "_x%04X_", c);
            entity = control;
        }
        if (!entity)
            continue;
        out.append(p + run, i - run);
        out.append(entity);
        run = i + 1;
    }
    out.append(p + run, n - run);
}

QByteArray escaped(const QString &text, bool attribute = false)
{
    QByteArray out;
    appendEscaped(out, text.toUtf8(), attribute);
    return out;
}

// The package's fixed parts, as Excel itself lays them out.
QByteArray contentTypes(int sheets)
{
    QByteArray x = kXmlHead;
    x += "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "<Override PartName=\"/xl/workbook.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
         "<Override PartName=\"/xl/styles.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>";
    for (int i = 1; i <= sheets; ++i)
        x += "<Override PartName=\"/xl/worksheets/sheet" + QByteArray::number(i)
             + ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
    return x + "</Types>";
}

QByteArray packageRelations()
{
    return QByteArray(kXmlHead)
        + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
          "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
          "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
}

QByteArray workbookRelations(int sheets)
{
    QByteArray x = kXmlHead;
    x += "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    for (int i = 1; i <= sheets; ++i)
        x += "<Relationship Id=\"rId" + QByteArray::number(i) + "\" Type=\"" + kRelations
             + "/worksheet\" Target=\"worksheets/sheet" + QByteArray::number(i) + ".xml\"/>";
    x += "<Relationship Id=\"rId" + QByteArray::number(sheets + 1) + "\" Type=\"" + kRelations
         + "/styles\" Target=\"styles.xml\"/>";
    return x + "</Relationships>";
}

QByteArray styles()
{
    return QByteArray(kXmlHead) + "<styleSheet xmlns=\"" + kMain
        + "\"><fonts count=\"2\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font>"
          "<font><b/><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font></fonts>"
          "<fills count=\"3\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
          "patternType=\"gray125\"/></fill><fill><patternFill patternType=\"solid\"><fgColor rgb=\"FFDFE9E2\"/>"
          "<bgColor indexed=\"64\"/></patternFill></fill></fills>"
          "<borders count=\"2\"><border><left/><right/><top/><bottom/><diagonal/></border><border><left/><right/>"
          "<top/><bottom style=\"thin\"><color auto=\"1\"/></bottom><diagonal/></border></borders>"
          "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
          "<cellXfs count=\"5\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
          "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"2\" borderId=\"1\" xfId=\"0\" applyFont=\"1\" applyFill=\"1\" "
          "applyBorder=\"1\"/><xf numFmtId=\"1\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
          "applyNumberFormat=\"1\"/><xf numFmtId=\"0\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
          "applyFont=\"1\"/><xf numFmtId=\"1\" fontId=\"1\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
          "applyNumberFormat=\"1\" applyFont=\"1\"/></cellXfs>"
          "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
          "<dxfs count=\"0\"/><tableStyles count=\"0\" defaultTableStyle=\"TableStyleMedium9\" "
          "defaultPivotStyle=\"PivotStyleLight16\"/></styleSheet>";
}

// An XLSX package written as its rows come: each sheet's XML is deflated
// into the file while it is written, so memory stays the same whatever the
// number of rows, and nothing waits in a temporary file. The file is
// written beside its name and renamed once whole.
class XlsxWriter final : public Writer {
public:
    XlsxWriter(const QString &path, const Options &options)
        : m_path(path), m_options(options), m_zip(m_file, kCompression)
    {
        m_file.setFileName(path + QStringLiteral(".part-")
                           + QString::number(QRandomGenerator::global()->generate64(), 36));
        if (!m_file.open(QIODevice::ReadWrite | QIODevice::Truncate))
            fail(m_file.errorString());
        m_xml.reserve(kXmlChunk + 64 * 1024);
    }

    ~XlsxWriter() override { discard(); }

    void beginSheet(const QString &name, const QList<Column> &columns) override
    {
        m_base = name;
        m_columns = columns.mid(0, kColumnLimit);
        m_sheetNumber = 1;
        openSheet(name);
    }

    void addRow(const QStringList &cells, Style style) override
    {
        if (!m_inSheet && !failed())
            beginSheet(QString(), {});
        if (failed())
            return;
        if (m_sheetRows >= m_options.rowsPerSheet) {
            const QString suffix = QStringLiteral(" (%1)").arg(++m_sheetNumber);
            openSheet(sheetName(m_base, kSheetNameChars - int(suffix.size())) + suffix);
            if (failed())
                return;
        }
        writeRow(cells, style == Style::Bold ? Bold : Plain);
        ++m_sheetRows;
        ++m_rows;
    }

    bool finish() override
    {
        if (!m_file.isOpen())
            return false;
        if (!m_inSheet && !failed())
            beginSheet(QString(), {});
        closeSheet();
        writePart("xl/workbook.xml", workbook());
        writePart("xl/_rels/workbook.xml.rels", workbookRelations(int(m_sheets.size())));
        writePart("xl/styles.xml", styles());
        writePart("_rels/.rels", packageRelations());
        writePart("[Content_Types].xml", contentTypes(int(m_sheets.size())));
        if (!failed() && !m_zip.finish())
            fail(m_zip.errorText());
        if (!failed() && !m_file.flush())
            fail(m_file.errorString());
        m_file.close();
        if (failed()) {
            QFile::remove(m_file.fileName());
            return false;
        }
        // rename() puts the whole file in place of an older one at once.
        if (std::rename(QFile::encodeName(m_file.fileName()).constData(), QFile::encodeName(m_path).constData()) != 0) {
            fail(QStringLiteral("The file could not be named %1.").arg(m_path));
            QFile::remove(m_file.fileName());
            return false;
        }
        return true;
    }

    void discard() override
    {
        if (!m_file.isOpen())
            return;
        m_file.close();
        QFile::remove(m_file.fileName());
    }

private:
    struct Sheet {
        QString name;
        qint64 lastRow = 0; // 1-based, the heading row included
        int lastColumn = 0;
        bool filter = false;
    };

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
        m_sheets.append({name, 0, int(m_columns.size()), !m_columns.isEmpty()});
        const qint64 cells = m_options.expectedCells;
        if (!m_zip.begin("xl/worksheets/sheet" + QByteArray::number(m_sheets.size()) + ".xml", cells > kZip64Cells)) {
            fail(m_zip.errorText());
            return;
        }
        m_inSheet = true;
        m_row = 0;
        m_sheetRows = 0;
        m_xml = kXmlHead;
        m_xml += "<worksheet xmlns=\"" + QByteArray(kMain) + "\" xmlns:r=\"" + kRelations + "\"><sheetViews><sheetView";
        if (m_options.rightToLeft)
            m_xml += " rightToLeft=\"1\"";
        if (m_sheets.size() == 1)
            m_xml += " tabSelected=\"1\"";
        m_xml += " workbookViewId=\"0\"";
        if (m_columns.isEmpty())
            m_xml += "/>";
        else
            m_xml += "><pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>"
                     "<selection pane=\"bottomLeft\"/></sheetView>";
        m_xml += "</sheetViews><sheetFormatPr defaultRowHeight=\"15\"/>";
        writeColumns();
        m_xml += "<sheetData>";
        if (!m_columns.isEmpty()) {
            QStringList headings;
            for (const Column &c : std::as_const(m_columns))
                headings << c.heading;
            writeRow(headings, Heading);
        }
    }

    // Widths as Excel keeps them: characters of the default font's digit
    // (7 pixels), to 1/256.
    void writeColumns()
    {
        if (m_columns.isEmpty())
            return;
        m_xml += "<cols>";
        for (int c = 0; c < m_columns.size(); ++c) {
            int pixels = m_columns.at(c).widthPixels;
            if (pixels <= 0)
                pixels = qBound(64, 8 * int(m_columns.at(c).heading.size()) + 16, 320);
            const double width = std::floor(pixels / 7.0 * 256) / 256;
            m_xml += "<col min=\"" + QByteArray::number(c + 1) + "\" max=\"" + QByteArray::number(c + 1) + "\" width=\""
                     + QByteArray::number(width, 'g', 12) + "\" customWidth=\"1\"/>";
        }
        m_xml += "</cols>";
    }

    void writeRow(const QStringList &cells, int style)
    {
        ++m_row;
        const qsizetype count = qMin<qsizetype>(cells.size(), kColumnLimit);
        const QByteArray row = QByteArray::number(m_row);
        bool open = false;
        for (qsizetype c = 0; c < count; ++c) {
            const QString &text = cells.at(c);
            if (isBlank(text))
                continue;
            if (!open) {
                m_xml.append("<row r=\"").append(row).append("\">");
                open = true;
            }
            while (m_letters.size() <= c)
                m_letters << columnName(int(m_letters.size()));
            m_xml.append("<c r=\"").append(m_letters.at(c)).append(row).append('"');
            writeCell(text, style);
            Sheet &sheet = m_sheets.last();
            sheet.lastColumn = qMax(sheet.lastColumn, int(c) + 1);
        }
        if (open)
            m_xml += "</row>";
        m_sheets.last().lastRow = m_row;
        if (m_xml.size() >= kXmlChunk)
            flush();
    }

    void writeCell(const QString &text, int style)
    {
        if (style != Heading && readsAsNumber(text)) {
            const qsizetype digits = text.size() - (text.startsWith(QLatin1Char('-')) ? 1 : 0);
            const bool wide = digits > kGeneralDigits && !text.contains(QLatin1Char('.'));
            const int s = wide ? (style == Bold ? BoldWhole : Whole) : style;
            if (s != Plain)
                m_xml.append(" s=\"").append(char('0' + s)).append('"');
            m_xml.append("><v>").append(text.toLatin1()).append("</v></c>");
            return;
        }
        if (style != Plain)
            m_xml.append(" s=\"").append(char('0' + style)).append('"');
        QStringView cell = text;
        if (cell.size() > kXlsxCellChars) {
            cell = cell.left(cell.at(kXlsxCellChars - 1).isHighSurrogate() ? kXlsxCellChars - 1 : kXlsxCellChars);
            ++m_cut;
        }
        const bool keepSpaces = cell.front().isSpace() || cell.back().isSpace();
        m_xml.append(keepSpaces ? " t=\"inlineStr\"><is><t xml:space=\"preserve\">" : " t=\"inlineStr\"><is><t>");
        appendEscaped(m_xml, utf8(cell), false);
        m_xml.append("</t></is></c>");
    }

    // The text in UTF-8, in a buffer kept from cell to cell.
    QByteArrayView utf8(QStringView text)
    {
        const qsizetype room = m_encoder.requiredSpace(text.size());
        if (m_utf8.size() < room)
            m_utf8.resize(room);
        char *end = m_encoder.appendToBuffer(m_utf8.data(), text);
        return QByteArrayView(m_utf8.constData(), end - m_utf8.constData());
    }

    void flush()
    {
        if (!failed() && !m_zip.write(m_xml))
            fail(m_zip.errorText());
        m_xml.resize(0); // the buffer stays for the next rows
    }

    // The end of the sheet: its filter buttons over the heading and rows.
    void closeSheet()
    {
        if (!m_inSheet)
            return;
        m_inSheet = false;
        const Sheet &sheet = m_sheets.last();
        m_xml += "</sheetData>";
        if (sheet.filter)
            m_xml += "<autoFilter ref=\"" + range(sheet, false) + "\"/>";
        m_xml += "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>"
                 "</worksheet>";
        flush();
        if (!failed() && !m_zip.end())
            fail(m_zip.errorText());
    }

    QByteArray range(const Sheet &sheet, bool absolute) const
    {
        const QByteArray mark = absolute ? "$" : "";
        return mark + "A" + mark + "1:" + mark + columnName(qMax(1, sheet.lastColumn) - 1) + mark
            + QByteArray::number(qMax<qint64>(1, sheet.lastRow));
    }

    QByteArray workbook() const
    {
        QByteArray x = kXmlHead;
        x += "<workbook xmlns=\"" + QByteArray(kMain) + "\" xmlns:r=\"" + kRelations
             + "\"><bookViews><workbookView xWindow=\"240\" yWindow=\"15\" windowWidth=\"16095\" "
               "windowHeight=\"9660\"/></bookViews><sheets>";
        for (int i = 0; i < m_sheets.size(); ++i)
            x += "<sheet name=\"" + escaped(m_sheets.at(i).name, true) + "\" sheetId=\"" + QByteArray::number(i + 1)
                 + "\" r:id=\"rId" + QByteArray::number(i + 1) + "\"/>";
        x += "</sheets>";
        QByteArray names;
        for (int i = 0; i < m_sheets.size(); ++i) {
            const Sheet &s = m_sheets.at(i);
            if (!s.filter)
                continue;
            QString quoted = s.name;
            quoted.replace(QLatin1Char('\''), QLatin1String("''"));
            names += "<definedName name=\"_xlnm._FilterDatabase\" localSheetId=\"" + QByteArray::number(i)
                     + "\" hidden=\"1\">" + escaped(QLatin1Char('\'') + quoted + QLatin1Char('\'')) + '!'
                     + range(s, true) + "</definedName>";
        }
        if (!names.isEmpty())
            x += "<definedNames>" + names + "</definedNames>";
        return x + "<calcPr calcId=\"124519\" fullCalcOnLoad=\"1\"/></workbook>";
    }

    void writePart(const char *name, const QByteArray &content)
    {
        if (failed())
            return;
        if (!m_zip.begin(name) || !m_zip.write(content) || !m_zip.end())
            fail(m_zip.errorText());
    }

    QString m_path;
    Options m_options;
    QFile m_file;
    ZipWriter m_zip;
    QByteArray m_xml;
    QByteArray m_utf8;
    QStringEncoder m_encoder{QStringEncoder::Utf8};
    QList<QByteArray> m_letters;
    QList<Sheet> m_sheets;
    QSet<QString> m_names;
    QString m_base;
    QList<Column> m_columns;
    int m_sheetNumber = 1;
    bool m_inSheet = false;
    qint64 m_row = 0;
    qint64 m_sheetRows = 0;
};

} // namespace

std::unique_ptr<Writer> createXlsxWriter(const QString &path, const Options &options)
{
    return std::make_unique<XlsxWriter>(path, options);
}

} // namespace sheets::detail
