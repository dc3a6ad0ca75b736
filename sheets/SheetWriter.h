#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <memory>
#include <optional>

// Spreadsheet files written row after row, never held whole in memory nor
// in a temporary file: XLSX (right-to-left sheets, headings, column widths,
// numbers as numbers, filter buttons, the heading row kept in view) and CSV
// (UTF-8 with a byte order mark, so that spreadsheet programs read Arabic).
// A file appears under its name only once it is written whole; until then
// it is written beside it under a temporary name.
//
//     auto out = sheets::createWriter(sheets::Format::Xlsx, path);
//     out->beginSheet("المهتدون", {{"رقم Tamrel", 80}, {"الاسم", 200}});
//     out->addRow({"12", "خالد"});
//     if (!out->finish()) report(out->errorText());
namespace sheets {

enum class Format { Xlsx, Csv };

// The format a file name ends in (".xlsx", ".csv", any letter case).
std::optional<Format> formatOfPath(const QString &path);
QString suffixOf(Format format); // "xlsx", "csv"

// Rows of one XLSX sheet: the format's limit, less the heading row.
inline constexpr int kXlsxRowsPerSheet = 1048576 - 1;
// Characters one XLSX cell holds.
inline constexpr int kXlsxCellChars = 32767;

struct Column {
    QString heading;
    int widthPixels = 0; // 0: the heading's width
};

struct Options {
    bool rightToLeft = true;
    // CSV: a text that a spreadsheet program would take for a formula
    // ("=...", "@...", "+x", "-x", a leading tab) is written after an
    // apostrophe, so that opening the file never runs anything. A data dump,
    // which must give back every value exactly, turns it off.
    bool guardFormulas = true;
    // XLSX: data rows per sheet; more rows go on in a further sheet with
    // the same headings ("name (2)").
    int rowsPerSheet = kXlsxRowsPerSheet;
    // XLSX: about how many cells the file will hold (0: few); a large
    // sheet is written with the zip format's 64-bit extension.
    qint64 expectedCells = 0;
};

class Writer {
public:
    enum class Style { Plain, Bold };

    virtual ~Writer();
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // Starts a sheet with a heading row. XLSX: a worksheet named `name`
    // (shortened and made unique as the format requires); CSV: the
    // heading row, after an empty line when a sheet came before.
    virtual void beginSheet(const QString &name, const QList<Column> &columns) = 0;
    // One row; cells beyond the sheet's columns are written too. In XLSX
    // a cell that reads as a number (readsAsNumber) is written as one.
    virtual void addRow(const QStringList &cells, Style style = Style::Plain) = 0;
    // Writes the file under its name (replacing one there). False when it
    // could not be written; errorText() says why, and the name then holds
    // what it held before.
    virtual bool finish() = 0;
    // Drops what was written: nothing appears under the name.
    virtual void discard() = 0;

    // The first failure, empty while there is none.
    QString errorText() const { return m_error; }
    bool failed() const { return !m_error.isEmpty(); }
    // Data rows written so far (headings not counted).
    qint64 rowsWritten() const { return m_rows; }
    // XLSX cells longer than a cell holds, cut to kXlsxCellChars.
    qint64 cutCells() const { return m_cut; }

protected:
    Writer() = default;
    void fail(const QString &why)
    {
        if (m_error.isEmpty())
            m_error = why;
    }
    qint64 m_rows = 0;
    qint64 m_cut = 0;

private:
    QString m_error;
};

std::unique_ptr<Writer> createWriter(Format format, const QString &path, const Options &options = {});

// The same writer, its rows written on a thread of its own: addRow() only
// hands them over (a few hundred rows wait at most), so the rows of a
// large export are prepared while the ones before are written. finish()
// and discard() wait for that thread.
std::unique_ptr<Writer> onThreadOfItsOwn(std::unique_ptr<Writer> writer);

// Whether a cell's text is a number that a spreadsheet shows exactly as
// the text reads: an optional minus, digits without a leading zero (or a
// single 0), an optional decimal part not ending in 0, at most 15 digits
// in all and at most 11 with a decimal part. "0501234567", "1.50", "1e3"
// and "+5" stay texts. Gives the value in `value`.
bool readsAsNumber(QStringView text, double *value = nullptr);

// Whether a spreadsheet program would take the text for a formula.
bool looksLikeFormula(QStringView text);

} // namespace sheets
