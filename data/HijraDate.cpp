#include "data/HijraDate.h"

#include <QCalendar>
#include <QRegularExpression>

namespace core {

namespace {

const QCalendar &hijri()
{
    static const QCalendar cal(QCalendar::System::IslamicCivil);
    return cal;
}

bool fourDigitYear(int year)
{
    return year >= 1 && year <= 9999;
}

// QString::arg never localises its digits, so these stay Latin whatever the
// application's locale.
QString pad(int value, int width)
{
    return QStringLiteral("%1").arg(value, width, 10, QLatin1Char('0'));
}

QString ymdText(int y, int m, int d)
{
    return pad(y, 4) + QLatin1Char('/') + pad(m, 2) + QLatin1Char('/') + pad(d, 2);
}

std::optional<QCalendar::YearMonthDay> hijriParts(const QDate &date)
{
    if (!date.isValid())
        return std::nullopt;
    const QCalendar::YearMonthDay p = hijri().partsFromDate(date);
    if (!p.isValid() || !fourDigitYear(p.year))
        return std::nullopt;
    return p;
}

} // namespace

std::optional<QString> hijriToGregorian(int y, int m, int d)
{
    if (!fourDigitYear(y) || !hijri().isDateValid(y, m, d))
        return std::nullopt;
    // Qt gives no date for Hijri days whose Gregorian year would pass 9999.
    const QDate g = hijri().dateFromParts(y, m, d);
    if (!g.isValid() || !fourDigitYear(g.year()))
        return std::nullopt;
    return ymdText(g.year(), g.month(), g.day());
}

QString localDateTimeText(const QDateTime &when)
{
    if (!when.isValid())
        return {};
    const QDateTime local = when.toLocalTime();
    const QDate day = local.date();
    const QString hijriDay = gregorianToHijri(day);
    const QString gregorian = ymdText(day.year(), day.month(), day.day()) + QStringLiteral(" م");
    const QString time = local.time().toString(QStringLiteral("HH:mm:ss"));
    return (hijriDay.isEmpty() ? gregorian : hijriDay + QStringLiteral(" هـ - ") + gregorian) +
           QStringLiteral(" - ") + time;
}

QString gregorianToHijri(const QDate &date)
{
    const auto p = hijriParts(date);
    return p ? ymdText(p->year, p->month, p->day) : QString();
}

std::optional<QString> HIJRADATE(int year, int month, int day, int mode)
{
    switch (mode) {
    case 0:
        return hijriToGregorian(year, month, day);
    case 1: {
        if (!fourDigitYear(year) || !QDate::isValid(year, month, day))
            return std::nullopt;
        const QString text = gregorianToHijri(QDate(year, month, day));
        if (text.isEmpty())
            return std::nullopt;
        return text;
    }
    default:
        return std::nullopt;
    }
}

HijriDay hijriOf(const QDate &date)
{
    const auto p = hijriParts(date);
    if (!p)
        return {};
    return {pad(p->year, 4), pad(p->month, 2), pad(p->day, 2)};
}

HijriDay todayHijri()
{
    return hijriOf(QDate::currentDate());
}

namespace {

// Monday first, as QDate::dayOfWeek() counts.
const char *const kArabicWeekdays[] = {"الاثنين", "الثلاثاء", "الأربعاء", "الخميس",
                                       "الجمعة",  "السبت",    "الأحد"};
const char *const kEnglishWeekdays[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                        "Friday", "Saturday", "Sunday"};

} // namespace

QString arabicWeekday(const QDate &date)
{
    return date.isValid() ? QString::fromUtf8(kArabicWeekdays[date.dayOfWeek() - 1]) : QString();
}

QString englishWeekday(const QDate &date)
{
    return date.isValid() ? QString::fromLatin1(kEnglishWeekdays[date.dayOfWeek() - 1]) : QString();
}

QString latinDigits(const QString &text)
{
    QString out = text;
    for (QChar &c : out) {
        if (c.isDigit() && c.unicode() > 0x7F) {
            const int digit = c.digitValue();
            if (digit >= 0)
                c = QLatin1Char(char('0' + digit));
        }
    }
    return out;
}

QString shownDate(const QString &stored)
{
    const QString t = stored.trimmed();
    if (t.isEmpty() || t == QLatin1String("00000000"))
        return {};
    if (t.size() != 8)
        return stored;
    for (const QChar c : t)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return stored;
    return t.left(4) + QLatin1Char('/') + t.mid(4, 2) + QLatin1Char('/') + t.mid(6, 2);
}

QDate dateFromText(const QString &text)
{
    static const QRegularExpression ymd(QStringLiteral("^\\s*(\\d{4})[/-](\\d{1,2})[/-](\\d{1,2})\\s*$"));
    const QRegularExpressionMatch m = ymd.match(latinDigits(text));
    if (!m.hasMatch())
        return {};
    return QDate(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
}

} // namespace core
