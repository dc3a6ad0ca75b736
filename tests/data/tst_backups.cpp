#include "support/TestMain.h"

#include "data/Backups.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using core::backups::Retention;

namespace {

// Empty files named as copies: the rotation goes by names alone.
void touch(const QString &folder, const QString &name)
{
    QFile f(folder + QLatin1Char('/') + name);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(f.fileName()));
}

QStringList datedIn(const QString &folder)
{
    QStringList names;
    for (const QString &name : QDir(folder).entryList(QDir::Files, QDir::Name))
        if (core::backups::datedDay(name))
            names << name;
    return names;
}

QStringList names(std::initializer_list<const char *> days)
{
    QStringList out;
    for (const char *day : days)
        out << QStringLiteral("velm-%1.mdb").arg(QLatin1String(day));
    out.sort();
    return out;
}

// Logs on once a day on the given days, the way the program rotates:
// today's copy first, then the rule.
void simulate(const QString &folder, QDate from, QDate to, const Retention &rule,
              const std::function<bool(const QDate &)> &open = {})
{
    for (QDate day = from; day <= to; day = day.addDays(1)) {
        if (open && !open(day))
            continue;
        touch(folder, core::backups::datedName(day));
        core::backups::rotate(folder, rule);
    }
}

} // namespace

class TestBackups : public QObject {
    Q_OBJECT

private slots:
    void settingsFile_data();
    void settingsFile();
    void settingsWrittenOnceWhenMissing();
    void datedNames();
    void aYearOfDailyCopies();
    void closedDaysAndAClosedMonth();
    void otherFilesAreNeverRemoved();
    void listOfCopies();
};

void TestBackups::settingsFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("daily");
    QTest::addColumn<int>("weekly");
    QTest::addColumn<int>("monthly");
    QTest::newRow("empty: the defaults") << QByteArray() << 7 << 4 << 12;
    QTest::newRow("the file as written") << core::backups::defaultSettingsText() << 7 << 4 << 12;
    QTest::newRow("changed, blanks, CR LF, any case")
        << QByteArray("# keep more\r\n  Daily=10\r\nweekly =  8 \r\nMONTHLY= 24\r\n") << 10 << 8 << 24;
    QTest::newRow("one changed") << QByteArray("monthly = 36\n") << 7 << 4 << 36;
    QTest::newRow("nonsense keeps the default")
        << QByteArray("daily = -1\nweekly = four\nmonthly = 99999\nfoo = 3\n") << 7 << 4 << 12;
    QTest::newRow("a comment is not a setting") << QByteArray("# daily = 1\n") << 7 << 4 << 12;
    QTest::newRow("all off") << QByteArray("daily=0\nweekly=0\nmonthly=0\n") << 0 << 0 << 0;
}

void TestBackups::settingsFile()
{
    QFETCH(QByteArray, text);
    const Retention rule = core::backups::parseRetention(text);
    QFETCH(int, daily);
    QFETCH(int, weekly);
    QFETCH(int, monthly);
    QCOMPARE(rule.daily, daily);
    QCOMPARE(rule.weekly, weekly);
    QCOMPARE(rule.monthly, monthly);
    QCOMPARE(rule.takesCopies(), daily + weekly + monthly > 0);
}

void TestBackups::settingsWrittenOnceWhenMissing()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QLatin1String(core::backups::kSettingsFileName));
    QCOMPARE(core::backups::readRetention(dir.path()), Retention());
    QFile written(file);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), core::backups::defaultSettingsText());
    written.close();
    // The office's own numbers are read and the file stays as the office wrote it.
    QVERIFY(written.open(QIODevice::WriteOnly | QIODevice::Truncate));
    written.write("daily = 3\n");
    written.close();
    QCOMPARE(core::backups::readRetention(dir.path()).daily, 3);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(written.readAll(), QByteArray("daily = 3\n"));
}

void TestBackups::datedNames()
{
    QCOMPARE(core::backups::datedName(QDate(2025, 3, 7)), QStringLiteral("velm-2025-03-07.mdb"));
    QCOMPARE(core::backups::datedDay(QStringLiteral("velm-2025-03-07.mdb")), QDate(2025, 3, 7));
    for (const char *other : {"velm.mdb", "velm-2025-02-30.mdb", "velm-2025-3-7.mdb", "velm-2025-03-07.mdb.part-1a",
                              "velm-before-restore-2025-03-07.mdb", "xvelm-2025-03-07.mdb"})
        QVERIFY2(!core::backups::datedDay(QLatin1String(other)), other);
}

// A copy every day of 2024, 31 December being today (a Tuesday): the seven
// days up to it, the newest copy of the four weeks (Saturday to Friday)
// before those, and of the months before them.
void TestBackups::aYearOfDailyCopies()
{
    QTemporaryDir dir;
    simulate(dir.path(), QDate(2024, 1, 1), QDate(2024, 12, 31), Retention());
    const QStringList expected =
        names({"2024-12-25", "2024-12-26", "2024-12-27", "2024-12-28", "2024-12-29", "2024-12-30", "2024-12-31",
               // weeks: 14-20, 7-13, 30 Nov-6 Dec, 23-29 Nov
               "2024-12-20", "2024-12-13", "2024-12-06", "2024-11-29",
               // months: November (its 30th) back to January
               "2024-11-30", "2024-10-31", "2024-09-30", "2024-08-31", "2024-07-31", "2024-06-30", "2024-05-31",
               "2024-04-30", "2024-03-31", "2024-02-29", "2024-01-31"});
    QCOMPARE(datedIn(dir.path()), expected);

    // A year on, the monthly copies reach back twelve months before the weeks.
    simulate(dir.path(), QDate(2025, 1, 1), QDate(2025, 12, 31), Retention());
    const QStringList after = datedIn(dir.path());
    QCOMPARE(after.size(), 7 + 4 + 12);
    QCOMPARE(after.first(), QStringLiteral("velm-2024-12-31.mdb"));
    QVERIFY(after.contains(QStringLiteral("velm-2025-12-31.mdb")));
}

// Nobody logs on on Fridays and Saturdays, nor in August: the rule counts
// days and weeks that have copies, so a closed month takes nothing away.
void TestBackups::closedDaysAndAClosedMonth()
{
    QTemporaryDir dir;
    const auto open = [](const QDate &d) { return d.dayOfWeek() != 5 && d.dayOfWeek() != 6 && d.month() != 8; };
    simulate(dir.path(), QDate(2024, 6, 1), QDate(2024, 9, 2), Retention{3, 2, 2}, open);
    // 2 Sep 2024 is a Monday; 1 Sep a Sunday; 31 Aug a Saturday (closed).
    QCOMPARE(datedIn(dir.path()),
             names({"2024-09-02", "2024-09-01", "2024-07-31", // three days with a copy
                    "2024-07-25", "2024-07-18",               // the newest of the two weeks before
                    "2024-06-30"}));                          // July was taken: June, and no more months exist
    // The copy just taken stays even when the rule keeps nothing.
    simulate(dir.path(), QDate(2024, 9, 3), QDate(2024, 9, 3), Retention{0, 0, 0});
    QCOMPARE(datedIn(dir.path()), names({"2024-09-03"}));
}

void TestBackups::otherFilesAreNeverRemoved()
{
    QTemporaryDir dir;
    const QStringList others{QStringLiteral("velm.mdb"), QStringLiteral("velm-2020-02-30.mdb"),
                             QStringLiteral("velm-before-restore-2020-01-01.mdb"), QStringLiteral("notes.txt"),
                             QStringLiteral("velm-2020-01-01.mdb.part-77")};
    for (const QString &name : others)
        touch(dir.path(), name);
    simulate(dir.path(), QDate(2020, 1, 1), QDate(2020, 3, 1), Retention{1, 0, 0});
    for (const QString &name : others)
        QVERIFY2(QFileInfo::exists(dir.filePath(name)), qPrintable(name));
    QCOMPARE(datedIn(dir.path()), names({"2020-03-01"}));
}

void TestBackups::listOfCopies()
{
    QTemporaryDir data;
    const QString folder = core::backups::folderOf(data.path());
    QVERIFY(QDir().mkdir(folder));
    touch(folder, QStringLiteral("velm-2024-05-01.mdb"));
    touch(folder, QStringLiteral("velm.mdb"));
    touch(folder, QStringLiteral("velm-2024-05-02.mdb.part-1"));
    touch(folder, QStringLiteral("other.mdb"));
    touch(data.path(), QStringLiteral("velm-before-restore-2024-05-03.mdb"));
    touch(data.path(), QStringLiteral("velm.mdb"));
    // Newest first, by when each was written.
    const QDateTime base(QDate(2024, 5, 1), QTime(9, 0));
    const QList<std::pair<QString, int>> times{{folder + QStringLiteral("/velm.mdb"), 0},
                                               {folder + QStringLiteral("/velm-2024-05-01.mdb"), 1},
                                               {data.filePath(QStringLiteral("velm-before-restore-2024-05-03.mdb")), 2}};
    for (const auto &[path, days] : times) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(base.addDays(days), QFileDevice::FileModificationTime));
    }
    using Kind = core::backups::BackupFile::Kind;
    const QList<core::backups::BackupFile> list = core::backups::listBackups(data.path());
    QCOMPARE(list.size(), 3);
    QCOMPARE(list[0].kind, Kind::BeforeRestore);
    QCOMPARE(list[1].kind, Kind::Dated);
    QCOMPARE(list[2].kind, Kind::LogonCopy);
    QCOMPARE(list[2].taken, base);
    QCOMPARE(QFileInfo(list[1].path).fileName(), QStringLiteral("velm-2024-05-01.mdb"));
}

VELM_TEST_MAIN(TestBackups)
#include "tst_backups.moc"
