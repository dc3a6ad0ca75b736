#include "data/HijraDate.h"
#include "support/TestMain.h"

#include <QLocale>
#include <QRegularExpression>

using core::HIJRADATE;

namespace {

// Day number of a day of the tabular Hijri calendar (leap years 2, 5, 7, 10,
// 13, 16, 18, 21, 24, 26 and 29 of each 30-year cycle; 1/1/1 = Julian
// 16 July 622), worked out independently of Qt as a cross-check.
qint64 referenceJulianDay(int y, int m, int d)
{
    return d + (59 * (m - 1) + 1) / 2 + qint64(y - 1) * 354 + (3 + 11 * qint64(y)) / 30 + 1948439;
}

int referenceMonthLength(int y, int m)
{
    return int(m == 12 ? referenceJulianDay(y + 1, 1, 1) - referenceJulianDay(y, 12, 1)
                       : referenceJulianDay(y, m + 1, 1) - referenceJulianDay(y, m, 1));
}

QString ymd(const QDate &d)
{
    return d.toString(QStringLiteral("yyyy/MM/dd"));
}

// "yyyy/mm/dd" in Latin digits.
const QRegularExpression kDateText(QStringLiteral("^[0-9]{4}/[0-9]{2}/[0-9]{2}$"));

} // namespace

class TstHijra : public QObject {
    Q_OBJECT

private slots:
    void knownDays_data()
    {
        QTest::addColumn<QDate>("gregorian");
        QTest::addColumn<QString>("hijri");
        QTest::newRow("2006-06-06") << QDate(2006, 6, 6) << QStringLiteral("1427/05/09");
        QTest::newRow("first day of the era") << QDate(622, 7, 19) << QStringLiteral("0001/01/01");
        QTest::newRow("1 Muharram 1400") << QDate(1979, 11, 21) << QStringLiteral("1400/01/01");
        QTest::newRow("leap 30 Dhu al-Hijja 1426") << QDate(2006, 1, 30)
                                                  << QStringLiteral("1426/12/30");
        QTest::newRow("Gregorian leap day") << QDate(2000, 2, 29) << QStringLiteral("1420/11/24");
    }

    void knownDays()
    {
        QFETCH(QDate, gregorian);
        QFETCH(QString, hijri);
        QCOMPARE(HIJRADATE(gregorian.year(), gregorian.month(), gregorian.day(), 1), hijri);
        QCOMPARE(core::gregorianToHijri(gregorian), hijri);

        const QStringList parts = hijri.split(QLatin1Char('/'));
        QCOMPARE(HIJRADATE(parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), 0), ymd(gregorian));

        const core::HijriDay day = core::hijriOf(gregorian);
        QCOMPARE(day.yyyy, parts[0]);
        QCOMPARE(day.mm, parts[1]);
        QCOMPARE(day.dd, parts[2]);
    }

    // Every Gregorian day of two centuries: mode 1 agrees with the reference
    // calendar, and mode 0 of its numbers gives back the day started from.
    void gregorianRoundTrip()
    {
        const QDate last(2100, 12, 31);
        for (QDate d(1900, 1, 1); d <= last; d = d.addDays(1)) {
            const std::optional<QString> hijri = HIJRADATE(d.year(), d.month(), d.day(), 1);
            if (!hijri || !kDateText.match(*hijri).hasMatch())
                QFAIL(qPrintable(ymd(d) + QLatin1String(" -> ") + hijri.value_or("nothing")));
            const int y = hijri->left(4).toInt();
            const int m = hijri->mid(5, 2).toInt();
            const int dd = hijri->mid(8, 2).toInt();
            if (referenceJulianDay(y, m, dd) != d.toJulianDay())
                QFAIL(qPrintable(ymd(d) + QLatin1String(" -> ") + *hijri));
            const std::optional<QString> back = HIJRADATE(y, m, dd, 0);
            if (back != ymd(d))
                QFAIL(qPrintable(*hijri + QLatin1String(" -> ") + back.value_or("nothing")));
        }
    }

    // Every day a selector can offer (1..30) in every month of 1318..1525:
    // the days the month has convert and come back, the 30th of a 29-day
    // month is reported as no date.
    void hijriSelectorDays()
    {
        int invalid = 0;
        for (int y = 1318; y <= 1525; ++y) {
            for (int m = 1; m <= 12; ++m) {
                const int length = referenceMonthLength(y, m);
                for (int d = 1; d <= 30; ++d) {
                    const std::optional<QString> g = HIJRADATE(y, m, d, 0);
                    if (d > length) {
                        if (g)
                            QFAIL(qPrintable(QStringLiteral("%1/%2/%3 gave %4").arg(y).arg(m).arg(d).arg(*g)));
                        ++invalid;
                        continue;
                    }
                    const QDate gd = QDate::fromString(g.value_or(QString()), QStringLiteral("yyyy/MM/dd"));
                    if (!gd.isValid() || gd.toJulianDay() != referenceJulianDay(y, m, d))
                        QFAIL(qPrintable(QStringLiteral("%1/%2/%3 gave %4").arg(y).arg(m).arg(d)
                                             .arg(g.value_or("nothing"))));
                    const QString expected = QStringLiteral("%1/%2/%3")
                                                 .arg(y, 4, 10, QLatin1Char('0'))
                                                 .arg(m, 2, 10, QLatin1Char('0'))
                                                 .arg(d, 2, 10, QLatin1Char('0'));
                    QCOMPARE(core::gregorianToHijri(gd), expected);
                }
            }
        }
        QVERIFY(invalid > 1000); // about half the months have 29 days
    }

    void noDate_data()
    {
        QTest::addColumn<int>("y");
        QTest::addColumn<int>("m");
        QTest::addColumn<int>("d");
        QTest::addColumn<int>("mode");
        QTest::newRow("Hijri 1427/02/30") << 1427 << 2 << 30 << 0;
        QTest::newRow("Hijri 1426/12/31") << 1426 << 12 << 31 << 0;
        QTest::newRow("Hijri month 0") << 1427 << 0 << 1 << 0;
        QTest::newRow("Hijri month 13") << 1427 << 13 << 1 << 0;
        QTest::newRow("Hijri day 0") << 1427 << 5 << 0 << 0;
        QTest::newRow("Hijri year 0") << 0 << 1 << 1 << 0;
        QTest::newRow("Hijri negative year") << -5 << 1 << 1 << 0;
        QTest::newRow("Hijri year 10000") << 10000 << 1 << 1 << 0;
        QTest::newRow("Hijri day past Gregorian 9999") << 9666 << 12 << 1 << 0;
        QTest::newRow("Gregorian 2006/02/29") << 2006 << 2 << 29 << 1;
        QTest::newRow("Gregorian 1900/02/29") << 1900 << 2 << 29 << 1;
        QTest::newRow("Gregorian month 13") << 2006 << 13 << 1 << 1;
        QTest::newRow("Gregorian day 0") << 2006 << 6 << 0 << 1;
        QTest::newRow("Gregorian year 0") << 0 << 6 << 6 << 1;
        QTest::newRow("Gregorian before the era") << 600 << 1 << 1 << 1;
        QTest::newRow("mode 2") << 2006 << 6 << 6 << 2;
        QTest::newRow("mode -1") << 1427 << 5 << 9 << -1;
    }

    void noDate()
    {
        QFETCH(int, y);
        QFETCH(int, m);
        QFETCH(int, d);
        QFETCH(int, mode);
        QCOMPARE(HIJRADATE(y, m, d, mode), std::nullopt);
    }

    void invalidDateGivesEmptyTexts()
    {
        QVERIFY(core::gregorianToHijri(QDate()).isEmpty());
        QVERIFY(core::gregorianToHijri(QDate(600, 1, 1)).isEmpty());
        const core::HijriDay day = core::hijriOf(QDate());
        QVERIFY(day.yyyy.isEmpty() && day.mm.isEmpty() && day.dd.isEmpty());
    }

    // An Arabic default locale writes Arabic-Indic digits; stored date texts
    // must not change with it.
    void latinDigitsUnderArabicLocale()
    {
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
        const auto g = HIJRADATE(1427, 5, 9, 0);
        const auto h = HIJRADATE(2006, 6, 6, 1);
        const core::HijriDay day = core::hijriOf(QDate(2006, 6, 6));
        QLocale::setDefault(saved);

        QCOMPARE(g, QStringLiteral("2006/06/06"));
        QCOMPARE(h, QStringLiteral("1427/05/09"));
        QCOMPARE(day.yyyy, QStringLiteral("1427"));
        QCOMPARE(day.mm, QStringLiteral("05"));
        QCOMPARE(day.dd, QStringLiteral("09"));
    }

    void todayAgreesWithConversion()
    {
        // Retry once should midnight fall between the two readings.
        for (int attempt = 0; attempt < 2; ++attempt) {
            const QDate before = QDate::currentDate();
            const core::HijriDay today = core::todayHijri();
            if (QDate::currentDate() != before)
                continue;
            const auto expected = HIJRADATE(before.year(), before.month(), before.day(), 1);
            QVERIFY(expected.has_value());
            QCOMPARE(today.yyyy + QLatin1Char('/') + today.mm + QLatin1Char('/') + today.dd, *expected);
            QCOMPARE(today.yyyy.size(), 4);
            QCOMPARE(today.mm.size(), 2);
            QCOMPARE(today.dd.size(), 2);
            return;
        }
        QFAIL("the date kept changing");
    }

    // A stored moment read in the computer's own time: its local day in both
    // calendars and the local time, whatever zone it was stored in.
    void momentsReadInLocalTime()
    {
        const QDateTime local(QDate(2026, 12, 8), QTime(23, 15, 3, 123));
        const QString expected = QStringLiteral("1448/06/27 هـ - 2026/12/08 م - 23:15:03");
        QCOMPARE(core::localDateTimeText(local), expected);
        QCOMPARE(core::localDateTimeText(local.toUTC()), expected);
        QCOMPARE(core::localDateTimeText(local.toOffsetFromUtc(5 * 3600)), expected);
        QVERIFY(core::localDateTimeText(QDateTime()).isEmpty());
    }
};

VELM_TEST_MAIN(TstHijra)
#include "tst_hijra.moc"
