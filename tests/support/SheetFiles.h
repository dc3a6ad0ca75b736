#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Reads back the spreadsheet files the program writes, the way another
// program would: XLSX through xlsx2csv and the package's own XML, CSV with
// a parser of its own. A reader that cannot run fails the test (QFAIL in
// the caller when the result is empty and errorText() is set).
namespace testsupport::sheetfiles {

// The rows of sheet `sheet` (1-based) as xlsx2csv gives them.
QList<QStringList> readXlsx(const QString &path, int sheet = 1);
// The names of the sheets, in order (from xl/workbook.xml).
QStringList sheetNames(const QString &path);
// One member of the package (e.g. "xl/worksheets/sheet1.xml"), as text.
QString xlsxPart(const QString &path, const QString &member);
// Whether the package reads as a whole zip archive (every entry's check sum right).
bool zipIsWhole(const QString &path);
// The rows of a CSV file (RFC 4180, CRLF or LF); `hadBom` tells whether it
// began with the UTF-8 byte order mark.
QList<QStringList> readCsv(const QString &path, bool *hadBom = nullptr);
// What XLSX gives back of a grid's texts: a cell of blanks is left empty,
// and xlsx2csv may end a row at its last filled cell (rows padded to `columns`).
QList<QStringList> asXlsxKeepsThem(QList<QStringList> rows, int columns);
// Why the last read failed (empty when it did not).
QString errorText();

} // namespace testsupport::sheetfiles
