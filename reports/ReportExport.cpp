#include "reports/ReportExport.h"

#include "reports/ReportRender.h"

namespace reports {

namespace {

// One sheet: a heading row and the rows under it, with captions between
// the tables put together.
struct Sheet {
    QString name;
    QStringList headings;
    struct Row {
        QStringList cells;
        bool bold = false;
    };
    QList<Row> rows;
};

QStringList texts(const ListTable::Row &row)
{
    QStringList cells;
    for (const ListTable::Cell &c : row.cells)
        cells << c.text;
    return cells;
}

QList<Sheet> listSheets(const QList<ReportTable> &tables, const QString &title)
{
    QList<Sheet> sheets;
    for (qsizetype i = 0; i < tables.size();) {
        const QStringList headings = texts(tables.at(i).table.heading());
        qsizetype end = i + 1;
        while (end < tables.size() && texts(tables.at(end).table.heading()) == headings)
            ++end;
        Sheet sheet;
        sheet.name = tables.at(i).caption.isEmpty() || end - i > 1 ? title : tables.at(i).caption;
        sheet.headings = headings;
        for (qsizetype t = i; t < end; ++t) {
            const ReportTable &table = tables.at(t);
            if (end - i > 1 && !table.caption.isEmpty())
                sheet.rows.append({{table.caption}, true});
            for (int r = 0; r < table.table.rowCount(); ++r) {
                const ListTable::Row &row = table.table.row(r);
                sheet.rows.append({texts(row), row.total});
            }
        }
        sheets.append(std::move(sheet));
        i = end;
    }
    return sheets;
}

QList<Sheet> querySheets(const ReportData &data)
{
    QList<Sheet> sheets;
    for (const QueryResult &result : data.results) {
        Sheet sheet;
        sheet.name = result.name;
        sheet.headings = result.columns;
        for (const QStringList &row : result.rows)
            sheet.rows.append({row, false});
        sheets.append(std::move(sheet));
    }
    return sheets;
}

// Room for the widest of the heading and the first rows, as the grids size their columns.
int widthFor(const Sheet &sheet, int column)
{
    qsizetype chars = sheet.headings.value(column).size();
    for (qsizetype r = 0; r < qMin<qsizetype>(sheet.rows.size(), 200); ++r) {
        const Sheet::Row &row = sheet.rows.at(r);
        if (row.cells.size() > 1 || column == 0)
            for (const QString &line : row.cells.value(column).split(QLatin1Char('\n')))
                chars = qMax(chars, line.size());
    }
    return int(qBound(qsizetype(48), 8 * chars + 16, qsizetype(400)));
}

} // namespace

TablesWritten exportReportTables(const ReportData &data, const QString &path, sheets::Format format,
                                 const std::function<bool(qint64, qint64)> &keepGoing)
{
    TablesWritten result;
    QList<Sheet> sheets;
    try {
        sheets = listSheets(listTables(renderHtml(data)), data.def.title);
    } catch (const ReportError &e) {
        result.error = e.message();
        return result;
    }
    if (sheets.isEmpty())
        sheets = querySheets(data);
    qint64 total = 0;
    for (const Sheet &s : std::as_const(sheets))
        total += s.rows.size();

    auto out = sheets::createWriter(format, path);
    qint64 done = 0;
    for (const Sheet &sheet : std::as_const(sheets)) {
        QList<sheets::Column> columns;
        for (int c = 0; c < sheet.headings.size(); ++c)
            columns.append({sheet.headings.at(c), widthFor(sheet, c)});
        out->beginSheet(sheet.name, columns);
        for (const Sheet::Row &row : sheet.rows) {
            out->addRow(row.cells, row.bold ? sheets::Writer::Style::Bold : sheets::Writer::Style::Plain);
            if (++done % 256 == 0 && keepGoing && !keepGoing(done, total)) {
                out->discard();
                result.stopped = true;
                return result;
            }
        }
    }
    result.rows = out->rowsWritten();
    result.written = out->finish();
    result.error = out->errorText();
    result.cutCells = out->cutCells();
    return result;
}

} // namespace reports
