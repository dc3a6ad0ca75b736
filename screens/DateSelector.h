#pragma once

#include <QString>
#include <QWidget>

class QComboBox;
class QLineEdit;

namespace core {

struct LogonState;

// A date entered with three drop-down lists side by side: year, month and
// day. The lists carry the names the screen gives them (Combo1, Combo2,
// Combo3 ...), so screens and tests find them by those names.
//
// Lists: the year list holds "0000" and then the years of a range set per
// use; the month list "00" and "01" to "12"; the day list "00" and "01" to
// the last day (30 by default, 31 for Gregorian dates). "0000" or "00" marks
// a part left unchosen. All texts have Latin digits.
//
// The date text is the three list texts, trimmed, joined without separator:
// eight characters yyyymmdd. setText() cuts a stored text back into
// characters 1-4, 5-6 and 7-8. A part that the lists do not offer (a year
// outside the range, a hand-made value) is added to its list for as long
// as it is shown, so every stored text is shown and written back exactly.
//
// An optional display box shows the date converted to the other calendar
// ("yyyy/mm/dd"), recomputed on every pick of the user when the three parts
// are chosen; with a part unchosen it keeps its text, and a day that does
// not exist in its month (day 30 of a 29-day Hijri month) empties it.
// Showing a stored text (setText) does not touch the display.
class DateSelector : public QWidget {
    Q_OBJECT
public:
    enum class Conversion {
        HijriToGregorian, // the lists hold a Hijri day (HIJRADATE mode 0)
        GregorianToHijri, // the lists hold a Gregorian day (HIJRADATE mode 1)
    };

    static inline const QString kNoYear = QStringLiteral("0000");
    static inline const QString kNoPart = QStringLiteral("00");

    DateSelector(const QString &yearName, const QString &monthName, const QString &dayName,
                 QWidget *parent = nullptr);

    QComboBox *yearList() const { return m_year; }
    QComboBox *monthList() const { return m_month; }
    QComboBox *dayList() const { return m_day; }

    // Refills the year list: "0000", then first..last. The chosen year stays
    // chosen when the new range holds it.
    void setYears(int first, int last);
    // The years around the working year: WORK_YY - before .. WORK_YY + after.
    // A working year that is not a number counts as today's Hijri year.
    void setYearsAround(const LogonState &logon, int before, int after);
    // Refills the day list: "00", then "01" .. lastDay.
    void setLastDay(int lastDay);

    // Chooses the working date of the logon (WORK_YY, WORK_MM, WORK_DD).
    void setWorkingDate(const LogonState &logon);

    // The eight-character text the lists compose.
    QString text() const;
    // Chooses the parts of a stored text (see above). A null or short text
    // chooses "0000"/"00" for the parts it lacks.
    void setText(const QString &text);

    // True when year, month and day are all chosen (none is "0000"/"00").
    bool isComplete() const;
    // The date in the other calendar, "yyyy/mm/dd"; empty when a part is
    // unchosen or the day does not exist.
    QString converted() const;

    // The box that shows converted() after each pick (not owned).
    void setDisplay(QLineEdit *display, Conversion conversion = Conversion::HijriToGregorian);
    QLineEdit *display() const { return m_display; }

signals:
    // The user chose an entry in one of the three lists.
    void picked();

private:
    void onPicked();
    static void fill(QComboBox *list, const QString &none, int first, int last, int width);
    static void choose(QComboBox *list, const QString &part, const QString &none);

    QComboBox *m_year;
    QComboBox *m_month;
    QComboBox *m_day;
    QLineEdit *m_display = nullptr;
    Conversion m_conversion = Conversion::HijriToGregorian;
};

} // namespace core
