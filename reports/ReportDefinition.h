#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <stdexcept>

namespace reports {

// What went wrong with a report, in one sentence the office can act on;
// it always names the report file.
class ReportError : public std::exception {
public:
    explicit ReportError(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// The parameters a report may take, in the order a file declares them.
inline constexpr const char *kFromDate = "from_date";
inline constexpr const char *kToDate = "to_date";
inline constexpr const char *kCaller = "caller";
inline constexpr const char *kPersonNo = "tamrel_no";

struct QueryDef {
    QString name;
    QString sql;
    QString groupBy; // column whose runs of equal values form groups (may be empty)
    int line = 0;    // line of the section header, for messages
};

struct ChartDef {
    enum class Type { Bar, Pie, Line };
    QString name;
    Type type = Type::Bar;
    QString query;
    QString labelColumn;
    QString valueColumn;
    QString title;
    int width = 1400; // pixels of the drawn image
    int height = 800;
    int line = 0;
};

// The most rows a report may give, whatever its file asks: the rows are held
// in memory and laid out as pages.
inline constexpr int kMaxRowsCap = 200000;
// A larger report file is refused unread.
inline constexpr qint64 kMaxReportFileBytes = 4 * 1024 * 1024;

// One report file, read and checked.
struct ReportDefinition {
    QString path;
    QString name; // file name without ".rpt"
    QString title;
    QStringList parameters; // a prefix of from_date, to_date, caller; or tamrel_no
    bool landscape = false;
    int maxRows = 50000;    // rows of all queries together, at most kMaxRowsCap
    QString picture;        // file in the picture folder, with {parameter} parts
    QList<QueryDef> queries;
    QList<ChartDef> charts;
    QString layout;         // HTML with Mustache tags

    const QueryDef *query(const QString &name) const;

    // Parameter name -> value for every declared parameter: the given
    // value of that name, a blank or missing one replaced by the
    // parameter's default (the whole range for dates, nothing for the
    // caller and the person). Names not declared are left out.
    QMap<QString, QString> parameterValues(const QMap<QString, QString> &given) const;
    // The picture file name for these values; empty when a value is missing
    // or would lead outside the picture folder.
    QString pictureFile(const QMap<QString, QString> &values) const;

    // "The report file <path>: <what>" - the form of every message.
    QString message(const QString &what) const;
    QString messageAt(int line, const QString &what) const;
};

// Reads a report file. Throws ReportError for a file that cannot be read or
// does not follow the format, naming the file and the line.
ReportDefinition readReportFile(const QString &path);
// The same from text already read (path used in messages only).
ReportDefinition parseReport(const QString &text, const QString &path);

} // namespace reports
