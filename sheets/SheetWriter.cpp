#include "sheets/SheetWriter.h"

#include "sheets/Writers.h"

namespace sheets {

Writer::~Writer() = default;

std::optional<Format> formatOfPath(const QString &path)
{
    if (path.endsWith(QLatin1String(".xlsx"), Qt::CaseInsensitive))
        return Format::Xlsx;
    if (path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
        return Format::Csv;
    return std::nullopt;
}

QString suffixOf(Format format)
{
    return format == Format::Xlsx ? QStringLiteral("xlsx") : QStringLiteral("csv");
}

std::unique_ptr<Writer> createWriter(Format format, const QString &path, const Options &options)
{
    if (format == Format::Xlsx)
        return detail::createXlsxWriter(path, options);
    return detail::createCsvWriter(path, options);
}

bool readsAsNumber(QStringView text, double *value)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (n == 0 || n > 17)
        return false;
    if (text.at(0) == QLatin1Char('-'))
        ++i;
    const qsizetype intStart = i;
    while (i < n && text.at(i).unicode() >= '0' && text.at(i).unicode() <= '9')
        ++i;
    const qsizetype intDigits = i - intStart;
    if (intDigits == 0 || (intDigits > 1 && text.at(intStart) == QLatin1Char('0')))
        return false;
    qsizetype fracDigits = 0;
    if (i < n) {
        if (text.at(i) != QLatin1Char('.'))
            return false;
        ++i;
        const qsizetype fracStart = i;
        while (i < n && text.at(i).unicode() >= '0' && text.at(i).unicode() <= '9')
            ++i;
        fracDigits = i - fracStart;
        if (i < n || fracDigits == 0 || text.at(n - 1) == QLatin1Char('0'))
            return false;
    }
    if (intDigits + fracDigits > (fracDigits > 0 ? 11 : 15))
        return false;
    // "-0" would read back as 0.
    if (intStart == 1 && intDigits == 1 && fracDigits == 0 && text.at(1) == QLatin1Char('0'))
        return false;
    if (value) {
        bool ok = false;
        *value = text.toDouble(&ok);
        if (!ok)
            return false;
    }
    return true;
}

bool looksLikeFormula(QStringView text)
{
    if (text.isEmpty())
        return false;
    switch (text.at(0).unicode()) {
    case '=':
    case '@':
    case '\t':
    case '\r':
        return true;
    case '+':
    case '-':
        // A plain negative number is read as the number it is.
        return !readsAsNumber(text);
    default:
        return false;
    }
}

} // namespace sheets
