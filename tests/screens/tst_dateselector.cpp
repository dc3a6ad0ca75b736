#include "screens/AppContext.h"
#include "screens/CmnSub.h"
#include "screens/DateSelector.h"
#include "data/HijraDate.h"
#include "support/ScreenWorld.h"
#include "support/TestMain.h"

#include <QComboBox>
#include <QLineEdit>

using core::DateSelector;
using testsupport::pick;

namespace {

QStringList entries(const QComboBox *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->itemText(i);
    return out;
}

core::LogonState workingDate(const QString &yy, const QString &mm, const QString &dd)
{
    core::LogonState logon;
    logon.WORK_YY = yy;
    logon.WORK_MM = mm;
    logon.WORK_DD = dd;
    return logon;
}

// A selector on the years 1424..1428 with its display box.
struct Selector {
    QLineEdit display;
    DateSelector date{QStringLiteral("Combo1"), QStringLiteral("Combo2"), QStringLiteral("Combo3")};
    Selector()
    {
        date.setYearsAround(workingDate(QStringLiteral("1427"), QStringLiteral("05"), QStringLiteral("09")), 3, 1);
        date.setDisplay(&display);
    }
    void pickAll(const QString &y, const QString &m, const QString &d)
    {
        pick(date.yearList(), y);
        pick(date.monthList(), m);
        pick(date.dayList(), d);
    }
};

} // namespace

class TstDateSelector : public QObject {
    Q_OBJECT

private slots:
    void listsAndWorkingDate()
    {
        Selector s;
        QCOMPARE(s.date.yearList()->objectName(), QStringLiteral("Combo1"));
        QCOMPARE(entries(s.date.yearList()),
                 (QStringList{"0000", "1424", "1425", "1426", "1427", "1428"}));
        QCOMPARE(entries(s.date.monthList()).size(), 13);
        QCOMPARE(entries(s.date.monthList()).mid(0, 3), (QStringList{"00", "01", "02"}));
        const QStringList days = entries(s.date.dayList());
        QCOMPARE(days.size(), 31);
        QCOMPARE(days.first(), QStringLiteral("00"));
        QCOMPARE(days.last(), QStringLiteral("30")); // day 30 in every month
        s.date.setLastDay(31);
        QCOMPARE(entries(s.date.dayList()).last(), QStringLiteral("31"));

        QCOMPARE(s.date.text(), QStringLiteral("00000000"));
        s.date.setWorkingDate(workingDate(QStringLiteral("1427"), QStringLiteral("05"), QStringLiteral("09")));
        QCOMPARE(s.date.text(), QStringLiteral("14270509"));
        QVERIFY(s.display.text().isEmpty()); // only picks convert

        // No working year (not logged on): the years around today's.
        DateSelector unset(QStringLiteral("y"), QStringLiteral("m"), QStringLiteral("d"));
        unset.setYearsAround(core::LogonState(), 3, 1);
        const int thisYear = core::todayHijri().yyyy.toInt();
        QCOMPARE(unset.yearList()->itemText(1), QString::number(thisYear - 3));
        QCOMPARE(unset.yearList()->itemText(5), QString::number(thisYear + 1));
    }

    void storedTextsRoundTrip_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("full date") << "14250309" << "14250309";
        QTest::newRow("eight zeros") << "00000000" << "00000000";
        QTest::newRow("day unset") << "14250300" << "14250300";
        QTest::newRow("year outside the range") << "13990101" << "13990101";
        QTest::newRow("day the list lacks") << "14250331" << "14250331";
        QTest::newRow("null") << QString() << "00000000";
        QTest::newRow("blank") << " " << "00000000";
    }
    void storedTextsRoundTrip()
    {
        QFETCH(QString, stored);
        QFETCH(QString, shown);
        Selector s;
        s.display.setText(QStringLiteral("kept"));
        core::setControlText(&s.date, stored);
        QCOMPARE(core::controlText(&s.date), shown);
        QCOMPARE(s.date.yearList()->currentText(), shown.left(4));
        QCOMPARE(s.date.dayList()->currentText(), shown.mid(6, 2));
        QCOMPARE(s.display.text(), QStringLiteral("kept"));
        // A part added for one record goes when the next is shown.
        s.date.setText(QStringLiteral("14270509"));
        QCOMPARE(s.date.yearList()->count(), 6);
        QCOMPARE(s.date.dayList()->count(), 31);
        QCOMPARE(s.date.text(), QStringLiteral("14270509"));
    }

    void picksShowTheGregorianDay()
    {
        Selector s;
        s.pickAll(QStringLiteral("1427"), QStringLiteral("05"), QStringLiteral("09"));
        QCOMPARE(s.display.text(), QStringLiteral("2006/06/06"));
        QCOMPARE(s.date.text(), QStringLiteral("14270509"));

        // A part left unchosen: the display keeps the last day.
        pick(s.date.dayList(), QStringLiteral("00"));
        QCOMPARE(s.date.text(), QStringLiteral("14270500"));
        QCOMPARE(s.display.text(), QStringLiteral("2006/06/06"));
        pick(s.date.yearList(), QStringLiteral("0000"));
        QCOMPARE(s.display.text(), QStringLiteral("2006/06/06"));

        // Day 30 of a 29-day month is no day: an empty display, never a
        // wrong date; the text is still what the lists say.
        QVERIFY(!core::hijriToGregorian(1427, 2, 30));
        s.pickAll(QStringLiteral("1427"), QStringLiteral("02"), QStringLiteral("30"));
        QVERIFY(s.display.text().isEmpty());
        QCOMPARE(s.date.text(), QStringLiteral("14270230"));

        // Gregorian lists convert the other way.
        DateSelector birth(QStringLiteral("Combo7"), QStringLiteral("Combo6"), QStringLiteral("Combo5"));
        QLineEdit hijri;
        birth.setYears(2000, 2010);
        birth.setLastDay(31);
        birth.setDisplay(&hijri, DateSelector::Conversion::GregorianToHijri);
        pick(birth.yearList(), QStringLiteral("2006"));
        pick(birth.monthList(), QStringLiteral("06"));
        pick(birth.dayList(), QStringLiteral("06"));
        QCOMPARE(hijri.text(), QStringLiteral("1427/05/09"));
    }
};

VELM_TEST_MAIN(TstDateSelector)
#include "tst_dateselector.moc"
