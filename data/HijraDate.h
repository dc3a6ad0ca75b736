#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <optional>

namespace core {

// Conversions between the Gregorian and the Hijri calendar. The Hijri
// calendar is the tabular (civil) one that Qt provides, the same for every
// conversion and for today's Hijri date. The functions are pure: nothing
// switches a program-wide calendar, so every other date function stays
// Gregorian.
//
// Date texts are "yyyy/mm/dd" with Latin digits, zero padded. Years outside
// 1..9999 cannot be written in four digits and count as no date.

// mode 0: year/month/day are Hijri numbers -> the Gregorian date of that day.
// mode 1: year/month/day are Gregorian numbers -> the Hijri date of that day.
// No value when the numbers do not form a day of their calendar (day 30 of
// a 29-day month, month 13, day 0, ...), when the result has no four-digit
// year, or when the mode is neither 0 nor 1.
std::optional<QString> HIJRADATE(int year, int month, int day, int mode);

// mode 0 of HIJRADATE.
std::optional<QString> hijriToGregorian(int y, int m, int d);

// mode 1 of HIJRADATE for a date at hand; empty for an invalid date or one
// whose Hijri year lies outside 1..9999.
QString gregorianToHijri(const QDate &date);

// A Hijri day as the texts of the date selectors: 4, 2 and 2 digits.
struct HijriDay {
    QString yyyy;
    QString mm;
    QString dd;
};

// The Hijri day of a Gregorian date; all three texts empty when the date
// is invalid or its Hijri year lies outside 1..9999.
HijriDay hijriOf(const QDate &date);

// Today's Hijri day (the system clock's date).
HijriDay todayHijri();

// A moment as the office reads it: the computer's local day in Hijri and
// Gregorian, then the local time, "1448/06/27 هـ - 2026/12/08 م - 23:15:03".
// Empty for an invalid moment.
QString localDateTimeText(const QDateTime &when);

// The weekday of a date by name, the same whatever the computer's regional
// settings: Arabic ("الأحد" ... "السبت") and English ("Sunday" ...). Empty for
// an invalid date.
QString arabicWeekday(const QDate &date);
QString englishWeekday(const QDate &date);

// The text with every decimal digit of any script (Arabic-Indic "١٤٢٧",
// Persian, ...) written as a Latin digit; nothing else changes.
QString latinDigits(const QString &text);

// A stored date text as lists show it: eight digits yyyymmdd read
// "yyyy/mm/dd" (a part left unchosen stays zeros: "1425/00/00"); no date at
// all ("00000000", blanks, empty) reads as an empty text. Any other text is
// shown as it stands, so a hand-made value is never hidden.
QString shownDate(const QString &stored);
// A Gregorian date written "yyyy/mm/dd" (or with "-" between the parts;
// digits of any script, blanks around allowed); an invalid date for any
// other text or a day that does not exist.
QDate dateFromText(const QString &text);

} // namespace core
