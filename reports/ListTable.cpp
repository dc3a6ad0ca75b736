#include "reports/ListTable.h"

#include "reports/HtmlScanner.h"

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QRegularExpression>
#include <QTextLayout>

#include <cmath>

namespace reports {

namespace {

// The look of table.grid in the report style sheet.
constexpr qreal kPadding = 3;  // above and below the text
constexpr qreal kSide = 3;     // beside it
constexpr qreal kBorder = 1;
constexpr qreal kCellExtra = 2 * kPadding + kBorder;
constexpr qreal kCellSides = 2 * kSide + kBorder;
// Room given beyond a column's widest text, and the room beyond a text's
// advance that surely holds it on one line: the line breaker also reckons
// with the overhang of the last glyph, so texts closer to their column's
// width are laid out to count their lines.
constexpr qreal kSlack = 2;
constexpr qreal kSureFit = 8;
const QColor kHeadingGround(0xdf, 0xe9, 0xe2);
const QColor kTotalGround(0xf1, 0xf1, 0xf1);
const QColor kHeadingRule(0x55, 0x55, 0x55);
const QColor kCellRule(0x99, 0x99, 0x99);

// ---- reading the table's HTML

using html::Scanner;
using html::Token;

// Text of the HTML source as a reader sees it: entities decoded, runs of
// white space one blank.
void appendText(QString &out, QStringView source)
{
    for (qsizetype i = 0; i < source.size(); ++i) {
        QChar c = source.at(i);
        if (c.isSpace() && c != QChar(0xA0)) {
            if (!out.isEmpty() && !out.endsWith(QLatin1Char(' ')) && !out.endsWith(QLatin1Char('\n')))
                out += QLatin1Char(' ');
            continue;
        }
        if (c == QLatin1Char('&')) {
            const qsizetype semi = source.indexOf(QLatin1Char(';'), i);
            if (semi > i && semi - i <= 10) {
                const QStringView entity = source.mid(i + 1, semi - i - 1);
                QString decoded;
                if (entity == QLatin1String("amp"))
                    decoded = QStringLiteral("&");
                else if (entity == QLatin1String("lt"))
                    decoded = QStringLiteral("<");
                else if (entity == QLatin1String("gt"))
                    decoded = QStringLiteral(">");
                else if (entity == QLatin1String("quot"))
                    decoded = QStringLiteral("\"");
                else if (entity == QLatin1String("apos"))
                    decoded = QStringLiteral("'");
                else if (entity == QLatin1String("nbsp"))
                    decoded = QString(QChar(0xA0));
                else if (entity.startsWith(QLatin1Char('#'))) {
                    bool ok = false;
                    const uint code = entity.size() > 1 && (entity.at(1) == QLatin1Char('x') || entity.at(1) == QLatin1Char('X'))
                                          ? entity.mid(2).toUInt(&ok, 16)
                                          : entity.mid(1).toUInt(&ok, 10);
                    if (ok && code > 0 && code <= 0x10FFFF)
                        decoded = QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
                }
                if (!decoded.isEmpty()) {
                    out += decoded;
                    i = semi;
                    continue;
                }
            }
        }
        out += c;
    }
}

QString finished(QString text)
{
    // No blank at either end of a line.
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        while (line.startsWith(QLatin1Char(' ')))
            line.remove(0, 1);
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
    }
    return lines.join(QLatin1Char('\n'));
}

bool hasClass(const QHash<QString, QString> &attributes, const char *name)
{
    const QStringList classes = attributes.value(QStringLiteral("class")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return classes.contains(QLatin1String(name), Qt::CaseInsensitive);
}

Qt::Alignment alignment(const QHash<QString, QString> &attributes, bool heading)
{
    const QString align = attributes.value(QStringLiteral("align")).toLower();
    if (align == QLatin1String("center") || hasClass(attributes, "num"))
        return Qt::AlignHCenter;
    if (align == QLatin1String("left"))
        return Qt::AlignLeft;
    if (align == QLatin1String("right"))
        return Qt::AlignRight;
    // Headings stand centred; other cells start on the right, as the
    // report reads right to left.
    return heading ? Qt::AlignHCenter : Qt::AlignRight;
}

// Reads one row after its <tr>; false when it is not a plain list row.
bool readRow(Scanner &in, ListTable::Row &row)
{
    for (;;) {
        Token t = in.next();
        if (t.kind == Token::Text) {
            if (!t.text.trimmed().isEmpty())
                return false;
            continue;
        }
        if (t.kind == Token::End && t.name == QLatin1String("tr"))
            return true;
        if (t.kind != Token::Start || (t.name != QLatin1String("td") && t.name != QLatin1String("th")))
            return false;
        for (const char *span : {"colspan", "rowspan"}) {
            const QString v = t.attributes.value(QLatin1String(span));
            if (!v.isEmpty() && v.trimmed() != QLatin1String("1"))
                return false;
        }
        const bool heading = t.name == QLatin1String("th");
        ListTable::Cell cell;
        cell.bold = heading;
        cell.align = alignment(t.attributes, heading);
        cell.width = t.attributes.value(QStringLiteral("width")).trimmed();
        QString text;
        for (;;) {
            Token c = in.next();
            if (c.kind == Token::EndOfInput)
                return false;
            if (c.kind == Token::Text) {
                appendText(text, c.text);
                continue;
            }
            if (c.kind == Token::End && (c.name == QLatin1String("td") || c.name == QLatin1String("th")))
                break;
            if (c.name == QLatin1String("br")) {
                while (text.endsWith(QLatin1Char(' ')))
                    text.chop(1);
                text += QLatin1Char('\n');
                continue;
            }
            if (c.kind == Token::Start && (c.name == QLatin1String("b") || c.name == QLatin1String("strong")))
                cell.bold = true;
            // Anything that is not inline text keeps the table with the
            // rich-text layout.
            static const QStringList blocks = {QStringLiteral("table"), QStringLiteral("tr"), QStringLiteral("td"),
                                               QStringLiteral("th"), QStringLiteral("img"), QStringLiteral("thead"),
                                               QStringLiteral("tbody"), QStringLiteral("ul"), QStringLiteral("ol"),
                                               QStringLiteral("li"), QStringLiteral("p"), QStringLiteral("div"),
                                               QStringLiteral("h1"), QStringLiteral("h2"), QStringLiteral("h3"),
                                               QStringLiteral("hr"), QStringLiteral("pre")};
            if (blocks.contains(c.name))
                return false;
        }
        cell.text = finished(text);
        row.cells << cell;
    }
}

} // namespace

std::optional<ListTable> ListTable::parse(QStringView html)
{
    Scanner in(html);
    Token t = in.next();
    if (t.kind != Token::Start || t.name != QLatin1String("table") || !hasClass(t.attributes, "grid"))
        return std::nullopt;
    ListTable table;
    table.m_widthText = t.attributes.value(QStringLiteral("width")).trimmed();
    table.m_hasWidth = !table.m_widthText.isEmpty();
    table.m_tableAlign = alignment(t.attributes, false);
    if (t.attributes.value(QStringLiteral("align")).isEmpty())
        table.m_tableAlign = Qt::AlignRight;

    enum class Part { BeforeHead, InHead, AfterHead, Body } part = Part::BeforeHead;
    bool haveHeading = false;
    for (;;) {
        t = in.next();
        if (t.kind == Token::EndOfInput)
            return std::nullopt;
        if (t.kind == Token::Text) {
            if (!t.text.trimmed().isEmpty())
                return std::nullopt;
            continue;
        }
        if (t.kind == Token::End && t.name == QLatin1String("table"))
            break;
        if (t.name == QLatin1String("thead")) {
            if (t.kind == Token::Start && part == Part::BeforeHead)
                part = Part::InHead;
            else if (t.kind == Token::End && part == Part::InHead && haveHeading)
                part = Part::AfterHead;
            else
                return std::nullopt;
            continue;
        }
        if (t.name == QLatin1String("tbody") && part != Part::BeforeHead && part != Part::InHead)
            continue;
        if (t.kind != Token::Start || t.name != QLatin1String("tr"))
            return std::nullopt;
        Row row;
        row.total = hasClass(t.attributes, "total");
        if (!readRow(in, row))
            return std::nullopt;
        if (part == Part::InHead) {
            if (haveHeading || row.cells.isEmpty())
                return std::nullopt;
            table.m_heading = row;
            haveHeading = true;
        } else if (part == Part::BeforeHead) {
            return std::nullopt; // a list table names its columns first
        } else {
            if (row.cells.size() != table.m_heading.cells.size())
                return std::nullopt;
            part = Part::Body;
            table.m_rows << row;
        }
    }
    if (!haveHeading)
        return std::nullopt;
    return table;
}

const QFont &ListTable::fontFor(const Cell &cell, const Row &row, bool heading) const
{
    return m_fonts.at(heading || row.total || cell.bold ? 1 : 0);
}

namespace {

qreal naturalWidth(const QFontMetricsF &metrics, const QString &text)
{
    if (!text.contains(QLatin1Char('\n')))
        return metrics.horizontalAdvance(text);
    qreal widest = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        widest = qMax(widest, metrics.horizontalAdvance(line));
    return widest;
}

// The widest word of the text; the text itself when it is one word.
qreal longestWord(const QFontMetricsF &metrics, const QString &text)
{
    if (!text.contains(QLatin1Char(' ')) && !text.contains(QLatin1Char('\n')))
        return metrics.horizontalAdvance(text);
    qreal widest = 0;
    for (const QString &word : text.split(QRegularExpression(QStringLiteral("[ \n]")), Qt::SkipEmptyParts))
        widest = qMax(widest, metrics.horizontalAdvance(word));
    return widest;
}

// Lays the text out in lines of `width`, one line each `lineHeight`.
int layOut(QTextLayout &layout, qreal width, qreal lineHeight)
{
    layout.beginLayout();
    int lines = 0;
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        line.setPosition(QPointF(0, lines * lineHeight));
        ++lines;
    }
    layout.endLayout();
    return lines;
}

void prepare(QTextLayout &layout, const QString &text, Qt::Alignment align)
{
    QString shown = text;
    shown.replace(QLatin1Char('\n'), QChar::LineSeparator);
    layout.setText(shown);
    QTextOption option(align | Qt::AlignAbsolute);
    option.setTextDirection(Qt::RightToLeft);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setCacheEnabled(false);
}

} // namespace

qreal ListTable::cellHeight(const Cell &cell, const Row &row, bool heading, qreal inner) const
{
    const QFont &font = fontFor(cell, row, heading);
    const QFontMetricsF metrics(font, m_device);
    if (naturalWidth(metrics, cell.text) + kSureFit <= inner)
        return (cell.text.count(QLatin1Char('\n')) + 1) * m_lineHeight;
    QTextLayout layout(QString(), font, m_device);
    prepare(layout, cell.text, cell.align);
    return layOut(layout, inner, m_lineHeight) * m_lineHeight;
}

namespace {

// The regular and the bold font measured on the report's device.
struct Measures {
    QFontMetricsF regular;
    QFontMetricsF strong;
    const QFontMetricsF &of(const ListTable::Cell &cell, const ListTable::Row &row, bool heading) const
    {
        return heading || row.total || cell.bold ? strong : regular;
    }
};

// A width written as a share ("28%") or in pixels ("120", "120px") of
// `whole`; false when none is written or it cannot be read.
bool lengthOf(const QString &text, qreal whole, qreal *out)
{
    if (text.isEmpty())
        return false;
    bool ok = false;
    if (text.endsWith(QLatin1Char('%'))) {
        const qreal percent = text.chopped(1).toDouble(&ok);
        if (ok && percent > 0)
            *out = whole * qMin<qreal>(percent, 100) / 100;
    } else {
        QString px = text;
        if (px.endsWith(QLatin1String("px")))
            px.chop(2);
        const qreal pixels = px.toDouble(&ok);
        if (ok && pixels > 0)
            *out = qMin(pixels, whole);
    }
    return ok;
}

// Each column as wide as its widest text on one line.
QList<qreal> naturalWidths(const ListTable &table, const Measures &measures)
{
    const int n = table.columnCount();
    const ListTable::Row &heading = table.heading();
    QList<qreal> natural(n, 0);
    for (int c = 0; c < n; ++c)
        natural[c] = naturalWidth(measures.of(heading.cells.at(c), heading, true), heading.cells.at(c).text);
    for (int r = 0; r < table.rowCount(); ++r) {
        const ListTable::Row &row = table.row(r);
        for (int c = 0; c < n; ++c)
            natural[c] = qMax(natural[c], naturalWidth(measures.of(row.cells.at(c), row, false), row.cells.at(c).text));
    }
    for (qreal &w : natural)
        w = std::ceil(w) + kSlack + kCellSides;
    return natural;
}

// The widest word of each of the `free` columns, at most its natural width.
QList<qreal> leastWidths(const ListTable &table, const Measures &measures, const QList<int> &free,
                         const QList<qreal> &natural)
{
    const ListTable::Row &heading = table.heading();
    QList<qreal> least(table.columnCount(), 0);
    for (int c : free) {
        least[c] = longestWord(measures.of(heading.cells.at(c), heading, true), heading.cells.at(c).text);
        for (int r = 0; r < table.rowCount(); ++r) {
            const ListTable::Row &row = table.row(r);
            least[c] = qMax(least[c], longestWord(measures.of(row.cells.at(c), row, false), row.cells.at(c).text));
        }
        least[c] = qMin(natural.at(c), std::ceil(least[c]) + kSlack + kCellSides);
    }
    return least;
}

// Shares `room` between the columns without a width of their own as a
// browser shares it: by their natural widths when they fit, else each its
// longest word and the rest by what it lacks of its one-line width (the
// rich-text layout shares it so too).
void shareRoom(QList<qreal> &columns, const ListTable &table, const Measures &measures, const QList<int> &free,
               qreal room, const QList<qreal> &natural)
{
    qreal freeNatural = 0;
    for (int c : free)
        freeNatural += natural.at(c);
    if (freeNatural <= room) {
        for (int c : free)
            columns[c] = freeNatural > 0 ? natural.at(c) + (room - freeNatural) * natural.at(c) / freeNatural
                                         : room / free.size();
        return;
    }
    const QList<qreal> least = leastWidths(table, measures, free, natural);
    qreal leastSum = 0;
    for (int c : free)
        leastSum += least.at(c);
    if (leastSum >= room) {
        for (int c : free)
            columns[c] = leastSum > 0 ? room * least.at(c) / leastSum : room / free.size();
    } else {
        const qreal lacking = freeNatural - leastSum;
        for (int c : free)
            columns[c] = least.at(c) + (lacking > 0 ? (room - leastSum) * (natural.at(c) - least.at(c)) / lacking : 0);
    }
}

// Columns with a width of their own take it; the others share the rest.
QList<qreal> columnWidths(const ListTable &table, const Measures &measures, qreal tableWidth,
                          const QList<qreal> &natural)
{
    const int n = table.columnCount();
    QList<qreal> columns(n, 0);
    QList<int> free;
    qreal fixedSum = 0;
    for (int c = 0; c < n; ++c) {
        qreal w = 0;
        if (lengthOf(table.heading().cells.at(c).width, tableWidth, &w)) {
            columns[c] = w;
            fixedSum += w;
        } else {
            free << c;
        }
    }
    if (!free.isEmpty())
        shareRoom(columns, table, measures, free, qMax<qreal>(0, tableWidth - fixedSum), natural);
    return columns;
}

} // namespace

bool ListTable::layout(qreal available, const QFont &font, const QPaintDevice *device,
                       const std::function<bool()> &stopped)
{
    m_device = device;
    QFont bold = font;
    bold.setBold(true);
    m_fonts = {QFont(font, device), QFont(bold, device)};
    const Measures measures{QFontMetricsF(m_fonts.at(0), device), QFontMetricsF(m_fonts.at(1), device)};
    m_lineHeight = std::ceil(qMax(measures.regular.height(), measures.strong.height()));

    const QList<qreal> natural = naturalWidths(*this, measures);
    qreal sumNatural = 0;
    for (qreal w : natural)
        sumNatural += w;
    m_width = qMin(available, sumNatural);
    if (m_hasWidth && !lengthOf(m_widthText, available, &m_width))
        m_width = qMin(available, sumNatural);

    m_columns = columnWidths(*this, measures, m_width, natural);
    qreal sum = 0;
    for (qreal w : std::as_const(m_columns))
        sum += w;
    m_width = qMin(available, sum);

    if (m_tableAlign == Qt::AlignHCenter)
        m_left = (available - m_width) / 2;
    else if (m_tableAlign == Qt::AlignLeft)
        m_left = 0;
    else
        m_left = available - m_width;

    m_headingHeight = heightOf(m_heading, true);
    m_heights.clear();
    m_heights.reserve(m_rows.size());
    for (const Row &row : std::as_const(m_rows)) {
        if (stopped && m_heights.size() % 512 == 0 && stopped())
            return false;
        m_heights << heightOf(row, false);
    }
    return true;
}

// The tallest cell of the row laid out in its column.
qreal ListTable::heightOf(const Row &row, bool heading) const
{
    qreal tallest = m_lineHeight;
    for (int c = 0; c < columnCount(); ++c)
        tallest = qMax(tallest, cellHeight(row.cells.at(c), row, heading, qMax<qreal>(1, m_columns.at(c) - kCellSides)));
    return tallest + kCellExtra;
}

qreal ListTable::cutHeight(int r, qreal height) const
{
    // Text lines start below the padding, one every m_lineHeight.
    const qreal lines = std::floor((height - kPadding) / m_lineHeight);
    return qMin(rowHeight(r), lines < 1 ? height : kPadding + lines * m_lineHeight);
}

void ListTable::paintHeading(QPainter &painter, qreal areaLeft, qreal top) const
{
    paintCells(painter, m_heading, areaLeft, top, m_headingHeight, true, 0, m_headingHeight);
}

void ListTable::paintRow(QPainter &painter, qreal areaLeft, qreal top, int r, qreal from, qreal to) const
{
    paintCells(painter, m_rows.at(r), areaLeft, top - from, m_heights.at(r), false, from, to);
}

void ListTable::paintCells(QPainter &painter, const Row &row, qreal areaLeft, qreal top, qreal height,
                           bool heading, qreal from, qreal to) const
{
    const qreal right = areaLeft + m_left + m_width;
    const QRectF whole(areaLeft + m_left, top, m_width, height);
    const QRectF shown(whole.left() - kBorder, top + from, whole.width() + 2 * kBorder, to - from);
    // A row cut over two pages keeps its text at the top, so that the cut
    // falls between lines.
    const bool cut = from > 0 || to < height;

    painter.save();
    painter.setClipRect(shown, Qt::IntersectClip);
    if (heading)
        painter.fillRect(whole, kHeadingGround);
    else if (row.total)
        painter.fillRect(whole, kTotalGround);

    qreal x = right;
    for (int c = 0; c < columnCount(); ++c) {
        const qreal w = m_columns.at(c);
        x -= w;
        const Cell &cell = row.cells.at(c);
        if (cell.text.isEmpty())
            continue;
        const qreal inner = qMax<qreal>(1, w - kCellSides);
        QTextLayout layout(QString(), fontFor(cell, row, heading), m_device);
        prepare(layout, cell.text, cell.align);
        const int lines = layOut(layout, inner, m_lineHeight);
        const qreal textHeight = lines * m_lineHeight;
        const qreal space = height - kCellExtra;
        const qreal offset = cut ? 0 : qMax<qreal>(0, (space - textHeight) / 2);
        layout.draw(&painter, QPointF(x + kBorder + kSide, top + kPadding + offset));
    }

    // Rules: each cell's own, then the table's frame over them.
    painter.setBrush(Qt::NoBrush);
    QPen pen(heading ? kHeadingRule : kCellRule);
    pen.setWidthF(kBorder);
    painter.setPen(pen);
    x = right;
    for (int c = 0; c < columnCount(); ++c) {
        x -= m_columns.at(c);
        if (c < columnCount() - 1)
            painter.drawLine(QPointF(x, top), QPointF(x, top + height));
    }
    if (to >= height)
        painter.drawLine(QPointF(whole.left(), top + height), QPointF(right, top + height));
    pen.setColor(kHeadingRule);
    painter.setPen(pen);
    painter.drawLine(QPointF(whole.left(), top), QPointF(whole.left(), top + height));
    painter.drawLine(QPointF(right, top), QPointF(right, top + height));
    if (heading) {
        painter.drawLine(QPointF(whole.left(), top), QPointF(right, top));
        painter.drawLine(QPointF(whole.left(), top + height), QPointF(right, top + height));
    }
    painter.restore();
}

} // namespace reports
