#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <functional>
#include <optional>

class QFont;
class QPaintDevice;
class QPainter;

namespace reports {

// A list table of a report: one heading row and rows of plain-text cells,
// laid out and drawn by the report itself. The rich-text layout spends
// milliseconds per row on a table and grows slower with its length; this
// one measures each cell once and draws only the rows of the page asked for.
//
// It takes the tables the report layouts write for their lists:
//
//     <table class="grid" width="100%" align="center">
//     <thead><tr><th class="num">...</th><th width="20%">...</th></tr></thead>
//     <tr class="total"><td class="num">...</td><td><b>...</b></td></tr> ...
//     </table>
//
// Cells hold text (entities, <br>, <b>/<strong>, <span> and the like);
// a table with spanned cells, pictures, nested tables or rows of unequal
// length is left to the rich-text layout.
class ListTable {
public:
    struct Cell {
        QString text;        // lines separated by '\n'
        bool bold = false;
        Qt::Alignment align; // horizontal, absolute (AlignRight, AlignHCenter, AlignLeft)
        QString width;       // heading cells: "28%" or pixels; empty when free
    };
    struct Row {
        QList<Cell> cells;
        bool total = false;  // class="total": bold on a shaded ground
    };

    // The table written in `html` (from "<table" to its "</table>"), or
    // nothing when it is not such a list table.
    static std::optional<ListTable> parse(QStringView html);

    int columnCount() const { return int(m_heading.cells.size()); }
    int rowCount() const { return int(m_rows.size()); }
    const Row &heading() const { return m_heading; }
    const Row &row(int r) const { return m_rows.at(r); }

    // Column widths and row heights for a page area `available` pixels
    // wide, measured with `font` on `device` (the report's fixed 96-dpi
    // device). Right to left: the first column stands on the right.
    // `stopped` is asked every so many rows; false when it said yes.
    bool layout(qreal available, const QFont &font, const QPaintDevice *device,
                const std::function<bool()> &stopped = {});

    qreal width() const { return m_width; }
    qreal left() const { return m_left; } // from the left edge of the area
    qreal headingHeight() const { return m_headingHeight; }
    qreal rowHeight(int r) const { return m_heights.at(r); }
    // The height at which a row taller than a page may be cut: the top of
    // a text line of the row at or above `height`.
    qreal cutHeight(int r, qreal height) const;

    // Draws the heading with its top at `top`, the area's left edge at
    // `areaLeft` (layout pixels).
    void paintHeading(QPainter &painter, qreal areaLeft, qreal top) const;
    // Draws the part [from, to) of row r (0 to rowHeight(r) for all of it)
    // with that part's top at `top`.
    void paintRow(QPainter &painter, qreal areaLeft, qreal top, int r, qreal from, qreal to) const;

private:
    void paintCells(QPainter &painter, const Row &row, qreal areaLeft, qreal top, qreal height,
                    bool heading, qreal from, qreal to) const;
    qreal cellHeight(const Cell &cell, const Row &row, bool heading, qreal inner) const;
    qreal heightOf(const Row &row, bool heading) const;
    const QFont &fontFor(const Cell &cell, const Row &row, bool heading) const;

    bool m_hasWidth = false;
    QString m_widthText;
    Qt::Alignment m_tableAlign;
    Row m_heading;
    QList<Row> m_rows;

    // Set by layout().
    const QPaintDevice *m_device = nullptr;
    QList<QFont> m_fonts; // regular, bold
    qreal m_lineHeight = 0;
    qreal m_width = 0;
    qreal m_left = 0;
    QList<qreal> m_columns; // widths, first column first
    qreal m_headingHeight = 0;
    QList<qreal> m_heights;
};

} // namespace reports
