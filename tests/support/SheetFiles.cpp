#include "support/SheetFiles.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

namespace testsupport::sheetfiles {

namespace {

QString g_error;

QByteArray run(const QString &program, const QStringList &args)
{
    g_error.clear();
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        g_error = QStringLiteral("%1 failed: %2 %3").arg(program, p.errorString(), QString::fromUtf8(p.readAllStandardError()));
        return {};
    }
    return p.readAllStandardOutput();
}

QList<QStringList> parseCsv(const QString &text)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false, any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (c == QLatin1Char(',')) {
            row << field;
            field.clear();
            any = true;
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            if (any || !field.isEmpty())
                row << field;
            rows << row;
            row.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty()) {
        row << field;
        rows << row;
    }
    return rows;
}

} // namespace

QList<QStringList> readXlsx(const QString &path, int sheet)
{
    const QByteArray out = run(QStringLiteral("xlsx2csv"), {QStringLiteral("-s"), QString::number(sheet), path});
    return g_error.isEmpty() ? parseCsv(QString::fromUtf8(out)) : QList<QStringList>();
}

QString xlsxPart(const QString &path, const QString &member)
{
    static const QString script = QStringLiteral(
        "import sys, zipfile\nsys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read(sys.argv[2]))\n");
    return QString::fromUtf8(run(QStringLiteral("python3"), {QStringLiteral("-c"), script, path, member}));
}

bool zipIsWhole(const QString &path)
{
    static const QString script = QStringLiteral(
        "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1])\nsys.exit(0 if z.testzip() is None else 1)\n");
    run(QStringLiteral("python3"), {QStringLiteral("-c"), script, path});
    return g_error.isEmpty();
}

QStringList sheetNames(const QString &path)
{
    static const QRegularExpression sheet(QStringLiteral("<sheet name=\"([^\"]*)\""));
    QStringList names;
    const QString xml = xlsxPart(path, QStringLiteral("xl/workbook.xml"));
    for (auto it = sheet.globalMatch(xml); it.hasNext();) {
        QString name = it.next().captured(1);
        name.replace(QLatin1String("&amp;"), QLatin1String("&"));
        names << name;
    }
    return names;
}

QList<QStringList> readCsv(const QString &path, bool *hadBom)
{
    g_error.clear();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        g_error = f.errorString();
        return {};
    }
    QByteArray bytes = f.readAll();
    const bool bom = bytes.startsWith("\xEF\xBB\xBF");
    if (hadBom)
        *hadBom = bom;
    if (bom)
        bytes.remove(0, 3);
    return parseCsv(QString::fromUtf8(bytes));
}

QList<QStringList> asXlsxKeepsThem(QList<QStringList> rows, int columns)
{
    for (QStringList &row : rows) {
        for (QString &cell : row)
            if (cell.trimmed().isEmpty() && !cell.contains(QLatin1Char('\n')))
                cell.clear();
        while (row.size() < columns)
            row << QString();
    }
    return rows;
}

QString errorText()
{
    return g_error;
}

} // namespace testsupport::sheetfiles
