#include "reports/TableDirection.h"

#include "reports/HtmlScanner.h"

#include <QList>

#include <optional>

namespace reports {

namespace {

using html::Scanner;
using html::Token;

bool isTag(const Token &t, const char *name)
{
    return (t.kind == Token::Start || t.kind == Token::End) && t.name == QLatin1String(name);
}

bool isCell(const Token &t)
{
    return isTag(t, "td") || isTag(t, "th");
}

bool isSection(const Token &t)
{
    for (const char *name : {"thead", "tbody", "tfoot", "caption", "colgroup", "col"})
        if (isTag(t, name))
            return true;
    return false;
}

int span(const Token &t, const char *name)
{
    bool ok = false;
    const int n = t.attributes.value(QLatin1String(name)).trimmed().toInt(&ok);
    return ok && n > 1 ? qMin(n, 1000) : 1;
}

// The direction a tag gives: left to right, right to left, or none.
std::optional<bool> leftToRight(const Token &t)
{
    const QString dir = t.attributes.value(QStringLiteral("dir")).trimmed().toLower();
    if (dir == QLatin1String("ltr"))
        return true;
    if (dir == QLatin1String("rtl"))
        return false;
    return std::nullopt;
}

struct Cell {
    QString text; // from its tag to its end, inner tables already turned
    int columns = 1;
    int rows = 1;
};

struct Row {
    QString open;   // "<tr ...>" and any text before the first cell; empty when implied
    QList<Cell> cells;
    QString close;  // "</tr>" when written
};

// A table's content in order: text outside the rows, and the rows.
struct Item {
    QString text;
    std::optional<Row> row;
};

class Turner {
public:
    explicit Turner(QStringView html) : m_html(html), m_in(html) {}

    void copy(QString &out)
    {
        bool ltr = false;
        for (Token t = take(); t.kind != Token::EndOfInput; t = take()) {
            if (t.kind == Token::Start && (t.name == QLatin1String("body") || t.name == QLatin1String("html")))
                ltr = leftToRight(t).value_or(ltr);
            if (isTag(t, "table") && t.kind == Token::Start)
                table(t, ltr, out);
            else
                out += raw(t);
        }
    }

private:
    // The next token; comments before it are part of its raw text.
    Token take()
    {
        if (m_back) {
            Token t = std::move(*m_back);
            m_back.reset();
            return t;
        }
        Token t = m_in.next();
        t.begin = m_taken;
        m_taken = t.end;
        return t;
    }
    void putBack(Token t) { m_back = std::move(t); }
    QStringView raw(const Token &t) const { return m_html.mid(t.begin, t.end - t.begin); }

    // The table opened by `open`, turned and appended to `out`.
    void table(const Token &open, bool inheritedLtr, QString &out)
    {
        const bool ltr = leftToRight(open).value_or(inheritedLtr);
        QList<Item> items{{raw(open).toString(), std::nullopt}};
        std::optional<Row> row;
        auto endRow = [&items, &row] {
            if (row)
                items.append({QString(), std::move(row)});
            row.reset();
        };
        auto loose = [&items, &row](QStringView text) {
            if (!row)
                items.append({text.toString(), std::nullopt});
            else if (row->cells.isEmpty())
                row->open += text;
            else
                row->cells.last().text += text; // moves with the cell before it
        };
        for (Token t = take(); t.kind != Token::EndOfInput; t = take()) {
            if (isTag(t, "table") && t.kind == Token::End) {
                endRow();
                items.append({raw(t).toString(), std::nullopt});
                break;
            }
            if (isTag(t, "tr")) {
                if (t.kind == Token::End && row)
                    row->close = raw(t).toString();
                else if (t.kind == Token::End)
                    items.append({raw(t).toString(), std::nullopt});
                endRow();
                if (t.kind == Token::Start)
                    row = Row{raw(t).toString(), {}, {}};
            } else if (isCell(t) && t.kind == Token::Start) {
                if (!row)
                    row = Row{};
                cell(t, ltr, *row);
            } else if (isSection(t)) {
                endRow();
                items.append({raw(t).toString(), std::nullopt});
            } else if (isTag(t, "table")) { // a table outside any cell, turned on its own
                QString inner;
                table(t, ltr, inner);
                loose(inner);
            } else {
                loose(raw(t));
            }
        }
        endRow();
        write(items, ltr, out);
    }

    // The cell opened by `open`, added to `row`. It ends with its closing
    // tag, or where the next cell, row or section or the table's end begins.
    void cell(const Token &open, bool ltr, Row &row)
    {
        Cell c{raw(open).toString(), span(open, "colspan"), span(open, "rowspan")};
        for (Token t = take(); t.kind != Token::EndOfInput; t = take()) {
            if (isTag(t, "table") && t.kind == Token::Start) {
                table(t, ltr, c.text);
                continue;
            }
            if (isCell(t) && t.kind == Token::End) {
                c.text += raw(t);
                break;
            }
            if (isCell(t) || isTag(t, "tr") || isSection(t) || isTag(t, "table")) {
                putBack(std::move(t));
                break;
            }
            c.text += raw(t);
        }
        row.cells.append(std::move(c));
    }

    // Writes the items, each row's cells reversed unless the table reads
    // left to right.
    static void write(const QList<Item> &items, bool ltr, QString &out)
    {
        const QList<int> padding = ltr ? QList<int>() : missingCells(items);
        int r = 0;
        for (const Item &item : items) {
            if (!item.row) {
                out += item.text;
                continue;
            }
            const Row &row = *item.row;
            out += row.open;
            if (ltr) {
                for (const Cell &c : row.cells)
                    out += c.text;
            } else {
                for (int i = 0; i < padding.at(r); ++i)
                    out += QStringLiteral("<td></td>");
                for (auto c = row.cells.crbegin(); c != row.cells.crend(); ++c)
                    out += c->text;
            }
            out += row.close;
            ++r;
        }
    }

    // For each row, the cells it lacks to fill the table's width: placed as
    // HTML places cells (each in the first column not yet covered by a
    // cell above spanning rows).
    static QList<int> missingCells(const QList<Item> &items)
    {
        QList<int> below;          // per column: rows still covered by a cell above
        QList<QList<bool>> taken;  // per row: columns covered from above
        QList<int> ends;           // per row: the column after its last cell
        int width = 0;
        for (const Item &item : items) {
            if (!item.row)
                continue;
            QList<bool> fromAbove(below.size());
            for (int col = 0; col < below.size(); ++col)
                fromAbove[col] = below.at(col) > 0;
            QList<int> next = below;
            for (int &n : next)
                n = qMax(0, n - 1);
            int col = 0;
            for (const Cell &c : item.row->cells) {
                while (col < fromAbove.size() && fromAbove.at(col))
                    ++col;
                if (next.size() < col + c.columns)
                    next.resize(col + c.columns);
                for (int k = col; k < col + c.columns; ++k)
                    next[k] = c.rows - 1;
                col += c.columns;
            }
            width = qMax(width, qMax(col, int(fromAbove.size())));
            taken.append(fromAbove);
            ends.append(col);
            below = next;
        }
        QList<int> missing;
        for (int r = 0; r < ends.size(); ++r) {
            int n = 0;
            for (int col = ends.at(r); col < width; ++col)
                n += col >= taken.at(r).size() || !taken.at(r).at(col);
            missing.append(n);
        }
        return missing;
    }

    QStringView m_html;
    Scanner m_in;
    qsizetype m_taken = 0; // where the text not yet taken begins
    std::optional<Token> m_back;
};

} // namespace

QString rightToLeftTables(const QString &html)
{
    if (!html.contains(QLatin1String("<table"), Qt::CaseInsensitive))
        return html;
    QString out;
    out.reserve(html.size() + 64);
    Turner(html).copy(out);
    return out;
}

} // namespace reports
