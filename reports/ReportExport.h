#pragma once

#include "reports/ReportData.h"
#include "sheets/SheetWriter.h"

#include <QString>

#include <functional>

namespace reports {

struct TablesWritten {
    bool written = false;
    bool stopped = false;
    QString error;
    qint64 rows = 0;
    qint64 cutCells = 0;
};

// Writes the tables of a report to an XLSX or CSV file: its list tables as
// the report shows them (headings, texts, total rows in bold), the tables
// of one heading row together in one sheet, each under its group's caption
// when there are several (a report grouped by caller). A report without
// list tables (the person file, a letter) gives the rows of its queries
// instead, one sheet each, under their column names. `keepGoing(done,
// total)` is asked as rows are written; no means stop, and nothing is left.
// Runs on any thread.
TablesWritten exportReportTables(const ReportData &data, const QString &path, sheets::Format format,
                                 const std::function<bool(qint64, qint64)> &keepGoing = {});

} // namespace reports
