#include "support/LogonWorld.h"
#include "data/Schema.h"
#include "engine/TableCursor.h"

#include "data/HijraDate.h"
#include "data/Passwords.h"
#include "logon/LOGON.h"
#include "support/TestMain.h"
#include "engine/Database.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSysInfo>

using core::Passwords;

using testsupport::TempDataFolder;

namespace {

const QString kAdmin = QStringLiteral("Admin");
const QString kDateMissing = QStringLiteral("الرجاء ادخال التاريخ");

void addAdmin(engine::Database &db, const QString &password = QStringLiteral("secret"),
              const QList<int> &granted = TempDataFolder::allPermissions())
{
    TempDataFolder::addUser(db, kAdmin, password, QStringLiteral("المدير"), granted);
}

QStringList items(QComboBox *combo)
{
    QStringList all;
    for (int i = 0; i < combo->count(); ++i)
        all << combo->itemText(i);
    return all;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestLogon : public QObject {
    Q_OBJECT

    // One loaded screen for the many small logon cases: after the first
    // attempt the connection stays open and is used as it is, as on a real
    // screen where the user tries again.
    std::unique_ptr<LogonWorld> m_world;
    std::unique_ptr<logon::LOGON> m_screen;

    logon::LOGON &sharedScreen(const QVariant &storedPassword = QStringLiteral("secret"))
    {
        LogonWorld &w = *m_world;
        if (!w.store.isOpen())
            w.store.OPENDATABASE();
        w.store.db().execute(QStringLiteral("UPDATE users SET PASSWORD = ?"), {storedPassword});
        w.messages.clear();
        w.logon = core::LogonState();
        m_screen->LOADDATES();
        return *m_screen;
    }

private slots:
    void initTestCase();
    void loadingShowsTheControlsAndTodaysDate();
    void loadingAsksForTheSecondSplashOnlyWhenConfigured();
    void calendarOptionsLeaveExactlyOneSetOfChoices();
    void comboPicksCopyIntoBoxesAndWorkingDate();
    void passwordRule_data();
    void passwordRule();
    void plainPasswordBecomesAHashAtTheNextLogon();
    void unknownUserKeepsTheScreen();
    void dateCheck_data();
    void dateCheck();
    void logonStateCopiesTheUsersPermissions();
    void enterInPasswordLogsOn();
    void oddTextNeverWritesNorLogsOnWrongly();
    void databaseThatWillNotOpenEndsTheProgram_data();
    void databaseThatWillNotOpenEndsTheProgram();
    void anOpenConnectionIsLeftOpen();
    void otherDatabaseFilesAreListedAndUsed();
    void absentOtherDbFolderListsNothing();
    void firstUserIsOfferedOnlyWithoutUsers();
    void firstUserNeedsEveryFieldAndTheSamePasswordTwice();
    void firstUserGetsEveryPermissionAndLogsOn();
    void networkShareNoticeOncePerRun();
};

void TestLogon::initTestCase()
{
    m_world = std::make_unique<LogonWorld>();
    m_world->prepare([](engine::Database &db) { addAdmin(db); });
    m_screen = m_world->loadedLogon();
    QVERIFY(m_screen);
    m_screen->show();
}

void TestLogon::loadingShowsTheControlsAndTodaysDate()
{
    LogonWorld w;
    w.prepare([](engine::Database &db) { addAdmin(db); });
    auto screen = w.loadedLogon();
    QVERIFY(screen);

    QCOMPARE(screen->windowTitle(), QString::fromUtf8(core::kProductTitle));
    QCOMPARE(screen->layoutDirection(), Qt::RightToLeft);
    QCOMPARE(control<QLabel>(screen.get(), "Label1")->text(), QStringLiteral(" المستخدم"));
    QCOMPARE(control<QLabel>(screen.get(), "LABEL2")->text(), QStringLiteral("كلمة السر"));
    QCOMPARE(control<QLabel>(screen.get(), "Label9")->text(), QStringLiteral("التاريخ"));
    QCOMPARE(control<QLabel>(screen.get(), "Label3")->text(), QStringLiteral("لا تنس ذكر الله"));
    QCOMPARE(control<QPushButton>(screen.get(), "ok")->text(), QStringLiteral("موافق"));
    QCOMPARE(control<QPushButton>(screen.get(), "close")->text(), QStringLiteral("خروج"));
    auto *option = control<QButtonGroup>(screen.get(), "Option1");
    QCOMPARE(option->button(0)->text(), QStringLiteral("Gregorian"));
    QCOMPARE(option->button(1)->text(), QStringLiteral("Hijra"));
    QCOMPARE(option->checkedId(), 0);
    QCOMPARE(control<QLineEdit>(screen.get(), "PASSWORD_TEXT")->echoMode(), QLineEdit::Password);

    const core::HijriDay today = core::todayHijri();
    QCOMPARE(control<QLineEdit>(screen.get(), "YY_TEXT")->text(), today.yyyy);
    QCOMPARE(control<QLineEdit>(screen.get(), "MM_TEXT")->text(), today.mm);
    QCOMPARE(control<QLineEdit>(screen.get(), "DD_TEXT")->text(), today.dd);
    const QStringList years = items(control<QComboBox>(screen.get(), "Combo1"));
    QCOMPARE(years.size(), 22);
    QCOMPARE(years.first(), QStringLiteral("0000"));
    QCOMPARE(years.at(1), QString::number(today.yyyy.toInt() - 10));
    QCOMPARE(years.last(), QString::number(today.yyyy.toInt() + 10));
    const QStringList months = items(control<QComboBox>(screen.get(), "Combo2"));
    QCOMPARE(months.size(), 13);
    QCOMPARE(months.mid(0, 3), (QStringList{"00", "01", "02"}));
    QCOMPARE(months.last(), QStringLiteral("12"));
    const QStringList days = items(control<QComboBox>(screen.get(), "Combo3"));
    QCOMPARE(days.size(), 32);
    QCOMPARE(days.at(9), QStringLiteral("09"));
    QCOMPARE(days.last(), QStringLiteral("31"));

    // The loading looks into the database and closes it again.
    QVERIFY(!w.store.isOpen());
    QVERIFY(!screen->offersFirstUser());
    QCOMPARE(w.messages.shownCount(), 0);

    screen->show();
    QCOMPARE(screen->focusWidget(), control<QWidget>(screen.get(), "USERID_TEXT"));
}

void TestLogon::loadingAsksForTheSecondSplashOnlyWhenConfigured()
{
    for (const QString &line1 : {QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("1 ")}) {
        LogonWorld w;
        QStringList lines = TempDataFolder::defaultDbPathLines();
        lines[0] = line1;
        w.folder.writeDbPath(lines);
        w.prepare([](engine::Database &db) { addAdmin(db); });
        logon::LOGON screen(w.ctx);
        QSignalSpy splashes(&screen, &logon::LOGON::splashesWanted);
        QVERIFY(screen.load());
        QCOMPARE(splashes.count(), 1);
        QCOMPARE(splashes.first().first().toBool(), line1 == QLatin1String("1"));
    }
}

void TestLogon::calendarOptionsLeaveExactlyOneSetOfChoices()
{
    logon::LOGON &screen = sharedScreen();
    auto *yy = control<QLineEdit>(&screen, "YY_TEXT");
    yy->setText(QStringLiteral("1300"));

    auto *gregorian = control<QRadioButton>(&screen, "Option1_0");
    auto *hijra = control<QRadioButton>(&screen, "Option1_1");
    QTest::mouseClick(hijra, Qt::LeftButton);
    QVERIFY(hijra->isChecked() && !gregorian->isChecked());
    QTest::mouseClick(gregorian, Qt::LeftButton);
    QVERIFY(gregorian->isChecked() && !hijra->isChecked());

    const QStringList years = items(control<QComboBox>(&screen, "Combo1"));
    const QStringList months = items(control<QComboBox>(&screen, "Combo2"));
    const QStringList days = items(control<QComboBox>(&screen, "Combo3"));
    QCOMPARE(years.count(QStringLiteral("0000")), 1);
    QCOMPARE(years.size(), 1 + 21);
    QCOMPARE(months.count(QStringLiteral("00")), 1);
    QCOMPARE(months.size(), 1 + 12);
    QCOMPARE(days.count(QStringLiteral("00")), 1);
    QCOMPARE(days.size(), 1 + 31);
    // Either option fills the boxes with today's Hijri date again.
    QCOMPARE(yy->text(), core::todayHijri().yyyy);
}

void TestLogon::comboPicksCopyIntoBoxesAndWorkingDate()
{
    logon::LOGON &screen = sharedScreen();
    const std::pair<const char *, const char *> pairs[] = {
        {"Combo1", "YY_TEXT"}, {"Combo2", "MM_TEXT"}, {"Combo3", "DD_TEXT"}};
    for (const auto &[comboName, boxName] : pairs) {
        auto *combo = control<QComboBox>(&screen, comboName);
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(combo, Qt::Key_Down);
        QCOMPARE(combo->currentIndex(), 3);
        QCOMPARE(control<QLineEdit>(&screen, boxName)->text(), combo->currentText());
    }
    const core::LogonState &state = m_world->logon;
    QCOMPARE(state.WORK_YY, QString::number(core::todayHijri().yyyy.toInt() - 8));
    QCOMPARE(state.WORK_MM, QStringLiteral("03"));
    QCOMPARE(state.WORK_DD, QStringLiteral("03"));
}

void TestLogon::passwordRule_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<bool>("hashed");

    const struct {
        const char *name;
        QVariant stored;
        const char *typed;
        bool accepted;
    } rows[] = {
        {"small stored, typed small", "secret", "secret", true},
        {"small stored, typed capitals", "secret", "SECRET", true},
        {"small stored, typed mixed", "secret", "SeCrEt", true},
        {"capitals stored, typed small", "SECRET", "secret", true},
        {"capitals stored, typed mixed", "SECRET", "sEcReT", true},
        {"mixed stored, typed exactly", "SeCret9", "SeCret9", true},
        {"mixed stored, typed small", "SeCret9", "secret9", false},
        {"mixed stored, typed capitals", "SeCret9", "SECRET9", false},
        {"mixed stored, other mix", "SeCret9", "sEcret9", false},
        {"wrong password", "secret", "secrets", false},
        {"nothing typed", "secret", "", false},
        {"trailing blank differs", "secret", "secret ", false},
        {"no stored value, anything typed", QVariant(), "whatever", true},
        {"no stored value, nothing typed", QVariant(), "", true},
        {"empty stored, anything typed", "", "whatever", true},
        {"arabic, same", "كلمة السر", "كلمة السر", true},
        {"arabic, different", "كلمة السر", "كلمه السر", false},
    };
    // Files written before hold the passwords as typed: the same rule holds
    // for a password kept so and for its hash.
    for (const bool hashed : {false, true})
        for (const auto &r : rows)
            QTest::newRow(qPrintable(QLatin1String(hashed ? "hashed: " : "plain: ") +
                                     QLatin1String(r.name)))
                << r.stored << QString::fromUtf8(r.typed) << r.accepted << hashed;
}

void TestLogon::passwordRule()
{
    QFETCH(QVariant, stored);
    QFETCH(QString, typed);
    QFETCH(bool, accepted);
    QFETCH(bool, hashed);

    LogonWorld &w = *m_world;
    const QString value = stored.toString();
    if (hashed && !value.isEmpty())
        stored = Passwords::hash(value);
    logon::LOGON &screen = sharedScreen(stored);
    QSignalSpy loggedOn(&screen, &logon::LOGON::loggedOn);

    typeAndLogOn(&screen, kAdmin, typed);
    QCOMPARE(loggedOn.count(), accepted ? 1 : 0);
    if (accepted) {
        QCOMPARE(w.messages.shownCount(), 0);
    } else {
        QCOMPARE(w.messages.shown(), QStringList{QStringLiteral("INVALID PASSWORD")});
        QCOMPARE(screen.focusWidget(), control<QWidget>(&screen, "PASSWORD_TEXT"));
        QVERIFY(w.logon.WORK_YY.isEmpty());
    }
    QVERIFY(!QApplication::overrideCursor()); // the busy pointer is gone again
    // An accepted plain password is kept as its hash from then on; a hash,
    // a refused password and no password at all stay as they were.
    const QVariant now = w.usersScalar(QStringLiteral("SELECT PASSWORD FROM users"));
    if (accepted && !hashed && !value.isEmpty()) {
        QVERIFY(Passwords::isHash(now.toString()));
        QVERIFY(Passwords::check(now, typed).accepted);
        QVERIFY(Passwords::check(now, value).accepted);
    } else {
        QCOMPARE(now.isNull(), stored.isNull());
        QCOMPARE(now.toString(), stored.toString());
    }
}

// Another workstation sees each step: nothing is written before a logon
// succeeds, and then only that user's password, once, unless the cost of
// the hashes has been raised since.
void TestLogon::plainPasswordBecomesAHashAtTheNextLogon()
{
    LogonWorld w;
    w.prepare([](engine::Database &db) {
        addAdmin(db);
        TempDataFolder::addUser(db, QStringLiteral("clerk"), QStringLiteral("Other1"));
    });
    auto screen = w.loadedLogon();
    QVERIFY(screen);
    screen->show();
    QSignalSpy loggedOn(screen.get(), &logon::LOGON::loggedOn);
    auto stored = [&w](const QString &id) {
        return w.usersScalar(QStringLiteral("SELECT PASSWORD FROM users WHERE USERID = ?"), {id})
            .toString();
    };

    typeAndLogOn(screen.get(), QStringLiteral("ADMIN"), QStringLiteral("secrets"));
    control<QLineEdit>(screen.get(), "DD_TEXT")->setText(QStringLiteral("00"));
    typeAndLogOn(screen.get(), QStringLiteral("ADMIN"), QStringLiteral("SECRET"));
    QCOMPARE(w.messages.shown(), (QStringList{QStringLiteral("INVALID PASSWORD"), kDateMissing}));
    QCOMPARE(stored(kAdmin), QStringLiteral("secret"));

    screen->LOADDATES();
    typeAndLogOn(screen.get(), QStringLiteral("ADMIN"), QStringLiteral("SECRET"));
    QCOMPARE(loggedOn.count(), 1);
    const QString hashed = stored(kAdmin);
    QVERIFY(Passwords::isHash(hashed));
    QCOMPARE(stored(QStringLiteral("clerk")), QStringLiteral("Other1"));

    typeAndLogOn(screen.get(), kAdmin, QStringLiteral("secret"));
    QCOMPARE(loggedOn.count(), 2);
    QCOMPARE(stored(kAdmin), hashed);

    const int rounds = Passwords::rounds();
    Passwords::setRounds(rounds + 1);
    typeAndLogOn(screen.get(), kAdmin, QStringLiteral("Secret")); // accepted in small letters
    Passwords::setRounds(rounds);
    QCOMPARE(loggedOn.count(), 3);
    QCOMPARE(stored(kAdmin).section(QLatin1Char('$'), 1, 1), QString::number(rounds + 1));
    QVERIFY(Passwords::check(stored(kAdmin), QStringLiteral("secret")).accepted);
    QCOMPARE(w.messages.shownCount(), 2);

    // The stored hash renewed is not the user's change; what the user
    // writes from now on is recorded under the identifier as stored.
    QCOMPARE(w.usersScalar(QStringLiteral("SELECT count(*) FROM audit")).toInt(), 0);
    engine::TableCursor &witnesses = w.store.slot(QStringLiteral("witnesses")).open();
    witnesses.addNew();
    witnesses.setValue(QStringLiteral("NAME"), QStringLiteral("فهد"));
    witnesses.update();
    QCOMPARE(w.usersScalar(QStringLiteral("SELECT user_id || '|' || workstation || '|' || action FROM audit")).toString(),
             QStringLiteral("Admin|%1|add").arg(QSysInfo::machineHostName()));
}

void TestLogon::unknownUserKeepsTheScreen()
{
    LogonWorld &w = *m_world;
    logon::LOGON &screen = sharedScreen();
    QSignalSpy loggedOn(&screen, &logon::LOGON::loggedOn);

    typeAndLogOn(&screen, QStringLiteral("nobody"), QStringLiteral("secret"));
    QCOMPARE(w.messages.shown(), QStringList{QStringLiteral("INVALID USER ID")});
    QCOMPARE(screen.focusWidget(), control<QWidget>(&screen, "USERID_TEXT"));
    QCOMPARE(loggedOn.count(), 0);

    // The user may try again on the same screen; the identifier's letter
    // case does not matter.
    w.messages.clear();
    typeAndLogOn(&screen, QStringLiteral("aDMIN"), QStringLiteral("secret"));
    QCOMPARE(w.messages.shownCount(), 0);
    QCOMPARE(loggedOn.count(), 1);
    QCOMPARE(w.logon.userId, kAdmin);
    QVERIFY(w.store.isOpen()); // stays open for the rest of the run
}

void TestLogon::dateCheck_data()
{
    QTest::addColumn<QString>("yy");
    QTest::addColumn<QString>("mm");
    QTest::addColumn<QString>("dd");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("year 0000") << "0000" << "05" << "10" << false;
    QTest::newRow("year empty") << "" << "05" << "10" << false;
    QTest::newRow("month 00") << "1445" << "00" << "10" << false;
    QTest::newRow("month empty") << "1445" << "" << "10" << false;
    QTest::newRow("day 00") << "1445" << "05" << "00" << false;
    QTest::newRow("day empty") << "1445" << "05" << "" << false;
    QTest::newRow("day 31 of month 2") << "1445" << "02" << "31" << true;
    QTest::newRow("day 31 of month 12") << "1446" << "12" << "31" << true;
}

void TestLogon::dateCheck()
{
    QFETCH(QString, yy);
    QFETCH(QString, mm);
    QFETCH(QString, dd);
    QFETCH(bool, accepted);

    LogonWorld &w = *m_world;
    logon::LOGON &screen = sharedScreen();
    QSignalSpy loggedOn(&screen, &logon::LOGON::loggedOn);
    testsupport::WorkingDate{yy, mm, dd}.typeInto(&screen);

    typeAndLogOn(&screen, kAdmin, QStringLiteral("secret"));
    QCOMPARE(loggedOn.count(), accepted ? 1 : 0);
    if (accepted) {
        QCOMPARE(w.logon.WORK_YY, yy);
        QCOMPARE(w.logon.WORK_MM, mm);
        QCOMPARE(w.logon.WORK_DD, dd);
    } else {
        QCOMPARE(w.messages.shown(), QStringList{kDateMissing});
        QCOMPARE(screen.focusWidget(), control<QWidget>(&screen, "YY_TEXT"));
        QVERIFY(w.logon.WORK_YY.isEmpty());
        QVERIFY(!w.logon.granted(1));
    }
}

void TestLogon::logonStateCopiesTheUsersPermissions()
{
    LogonWorld w;
    w.prepare([](engine::Database &db) {
        addAdmin(db, QStringLiteral("secret"), {1, 3, 8, 13});
        // A value that is not the number 1 grants nothing.
        db.execute(QStringLiteral("UPDATE users SET check2 = NULL, check4 = 2"));
    });
    // Flags left from an earlier state are replaced.
    w.logon.PERMISSION.fill(QVariant(1));
    auto screen = w.loadedLogon();
    QVERIFY(screen);
    screen->show();
    typeAndLogOn(screen.get(), QStringLiteral("admin"), QStringLiteral("SECRET"));
    QCOMPARE(w.messages.shownCount(), 0);

    QList<int> granted;
    for (int n = 1; n <= core::kPermissionCount; ++n)
        if (w.logon.granted(n))
            granted << n;
    QCOMPARE(granted, (QList<int>{1, 3, 8, 13}));
    QVERIFY(w.logon.PERMISSION[1].isNull());
    QCOMPARE(w.logon.PERMISSION[3].toInt(), 2);
    QCOMPARE(w.logon.PERMISSION[4].toInt(), 0);
    const core::HijriDay today = core::todayHijri();
    QCOMPARE(w.logon.WORK_YY, today.yyyy);
    QCOMPARE(w.logon.WORK_MM, today.mm);
    QCOMPARE(w.logon.WORK_DD, today.dd);
}

void TestLogon::enterInPasswordLogsOn()
{
    logon::LOGON &screen = sharedScreen();
    QSignalSpy loggedOn(&screen, &logon::LOGON::loggedOn);
    control<QLineEdit>(&screen, "USERID_TEXT")->setText(kAdmin);
    auto *password = control<QLineEdit>(&screen, "PASSWORD_TEXT");
    password->clear();
    QTest::keyClicks(password, QStringLiteral("secret"));
    QTest::keyClick(password, Qt::Key_Return);
    QCOMPARE(loggedOn.count(), 1);
}

void TestLogon::oddTextNeverWritesNorLogsOnWrongly()
{
    const QStringList odd{QString(20000, QLatin1Char('x')),
                          QStringLiteral("' OR '1'='1"),
                          QStringLiteral("\"]; DROP TABLE users; --"),
                          QStringLiteral("%_*?"),
                          QStringLiteral("a\tb\x01\x7f\r\n"),
                          QStringLiteral("مستخدم جديد"),
                          QString(),
                          QStringLiteral(" ")};
    LogonWorld w;
    // Stored hashed already, so that no logon here has anything to write.
    const QString stored = Passwords::hash(QStringLiteral("secret"));
    w.prepare([&stored](engine::Database &db) { addAdmin(db, stored); });
    auto screen = w.loadedLogon();
    QVERIFY(screen);
    screen->show();
    QSignalSpy loggedOn(screen.get(), &logon::LOGON::loggedOn);
    const QByteArray before = fileBytes(w.store.config().dbFile);

    int expectedLogons = 0;
    for (const QString &text : odd) {
        const QByteArray row = text.left(20).toUtf8();
        // As identifier, then as the password of a real user.
        typeAndLogOn(screen.get(), text, text);
        QVERIFY2(w.messages.lastShown() == QStringLiteral("INVALID USER ID"), row);
        typeAndLogOn(screen.get(), kAdmin, text);
        QVERIFY2(w.messages.lastShown() == QStringLiteral("INVALID PASSWORD"), row);
        // In the date boxes it is refused only as a missing date.
        for (const char *box : {"YY_TEXT", "MM_TEXT", "DD_TEXT"})
            control<QLineEdit>(screen.get(), box)->setText(text);
        w.messages.clear();
        typeAndLogOn(screen.get(), kAdmin, QStringLiteral("secret"));
        expectedLogons += text.isEmpty() ? 0 : 1;
        QVERIFY2(loggedOn.count() == expectedLogons, row);
        QVERIFY2(w.messages.lastShown() == (text.isEmpty() ? kDateMissing : QString()), row);
    }

    QCOMPARE(w.usersScalar(QStringLiteral("SELECT count(*) FROM users")).toInt(), 1);
    QCOMPARE(w.usersScalar(QStringLiteral("SELECT PASSWORD FROM users")).toString(), stored);
    w.store.CLOSEDATABASE();
    QCOMPARE(fileBytes(w.store.config().dbFile), before);
}

void TestLogon::databaseThatWillNotOpenEndsTheProgram_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::newRow("not a database") << QByteArray(4096, 'z') << QStringLiteral("Invalid Access-");
    QTest::newRow("another key") << QByteArray() << QStringLiteral("Invalid Access-3031");
}

void TestLogon::databaseThatWillNotOpenEndsTheProgram()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    if (testsupport::testOnServer())
        QSKIP("about the file: its bytes and its key; a server that will not open ends the program in "
              "tst_server_session");

    LogonWorld w;
    QVERIFY(QDir().mkpath(w.folder.dataDir()));
    const QString file = w.folder.dataDir() + QStringLiteral("/velm.mdb");
    if (content.isEmpty()) {
        engine::Database other;
        other.create(file, QStringLiteral("not-the-key"));
        other.close();
    } else {
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    const QByteArray before = fileBytes(file);

    logon::LOGON screen(w.ctx);
    QSignalSpy ends(&screen, &logon::LOGON::programEnds);
    QVERIFY(!screen.load());
    QCOMPARE(w.messages.shownCount(), 1);
    QVERIFY2(w.messages.lastShown().startsWith(message), qPrintable(w.messages.lastShown()));
    QCOMPARE(ends.count(), 1);
    QVERIFY(ends.first().first().toInt() != 0);
    QVERIFY(!w.store.isOpen());
    QCOMPARE(fileBytes(file), before);
}

void TestLogon::anOpenConnectionIsLeftOpen()
{
    LogonWorld w;
    w.prepare([](engine::Database &db) { addAdmin(db); });
    w.store.READDBPATH();
    QVERIFY(w.store.OPENDATABASE().ok);
    engine::Database *inUse = &w.store.db();

    // A logon screen loaded while screens work on the connection.
    auto screen = w.loadedLogon();
    QVERIFY(screen);
    QVERIFY(w.store.isOpen());
    QCOMPARE(&w.store.db(), inUse);
    QVERIFY(!screen->offersFirstUser());
}

void TestLogon::otherDatabaseFilesAreListedAndUsed()
{
    LogonWorld w;
    w.prepare([](engine::Database &db) { addAdmin(db); });
    const QString otherDir = w.folder.dataDir() + QStringLiteral("/other_db");
    QVERIFY(QDir().mkpath(otherDir));
    for (const char *name : {"branch.mdb", "archive.MDB"}) {
        // Other databases are files of the data folder, also when the
        // office's own is on a server.
        core::schema::createFirstDatabase(otherDir + QLatin1Char('/') + QLatin1String(name),
                                          core::passwordFromConnect(QLatin1String(core::kConnectString)));
    }
    QFile(otherDir + QStringLiteral("/notes.txt")).open(QIODevice::WriteOnly);
    {
        engine::Database branch;
        branch.open(otherDir + QStringLiteral("/branch.mdb"),
                    core::passwordFromConnect(QLatin1String(core::kConnectString)));
        TempDataFolder::addUser(branch, QStringLiteral("clerk"), QStringLiteral("pw"),
                                QStringLiteral("موظف"), {2});
    }

    auto screen = w.loadedLogon();
    QVERIFY(screen);
    screen->show();
    auto *list = control<QListWidget>(screen.get(), "File1");
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    QCOMPARE(names.size(), 2);
    QVERIFY(names.contains(QStringLiteral("branch.mdb")));
    QVERIFY(names.contains(QStringLiteral("archive.MDB")));

    // The clerk exists only in the branch database.
    typeAndLogOn(screen.get(), QStringLiteral("clerk"), QStringLiteral("pw"));
    QCOMPARE(w.messages.lastShown(), QStringLiteral("INVALID USER ID"));

    QListWidgetItem *branch = list->findItems(QStringLiteral("branch.mdb"), Qt::MatchExactly).first();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(branch).center());
    QCOMPARE(w.store.config().dbFile, otherDir + QStringLiteral("/branch.mdb"));

    QSignalSpy loggedOn(screen.get(), &logon::LOGON::loggedOn);
    typeAndLogOn(screen.get(), QStringLiteral("clerk"), QStringLiteral("pw"));
    QCOMPARE(loggedOn.count(), 1);
    QVERIFY(w.logon.granted(2) && !w.logon.granted(1));
    QCOMPARE(QFileInfo(w.store.db().path()).fileName(), QStringLiteral("branch.mdb"));
    QVERIFY(!w.store.db().onServer());
}

void TestLogon::absentOtherDbFolderListsNothing()
{
    LogonWorld w;
    w.prepare([](engine::Database &db) { addAdmin(db); });
    auto screen = w.loadedLogon();
    QVERIFY(screen);
    QCOMPARE(control<QListWidget>(screen.get(), "File1")->count(), 0);
    QVERIFY(!QFileInfo::exists(w.folder.dataDir() + QStringLiteral("/other_db")));
}

void TestLogon::firstUserIsOfferedOnlyWithoutUsers()
{
    LogonWorld empty;
    empty.prepare();
    auto offered = empty.loadedLogon();
    QVERIFY(offered);
    QVERIFY(offered->offersFirstUser());
    auto *box = control<QGroupBox>(offered.get(), "FIRST_USER_BOX");
    QVERIFY(!box->isHidden());
    for (const char *name : {"FIRST_USERID_TEXT", "FIRST_PASSWORD_TEXT",
                             "FIRST_PASSWORD_CONFIRM_TEXT", "FIRST_NAME_TEXT"})
        QVERIFY(control<QLineEdit>(box, name));
    QVERIFY(control<QPushButton>(box, "createFirstUser"));
    // Only the offer asks for a user while there is none.
    for (const char *name : {"USERID_TEXT", "PASSWORD_TEXT", "Label1", "LABEL2"})
        QVERIFY2(control<QWidget>(offered.get(), name)->isHidden(), name);

    LogonWorld withUser;
    withUser.prepare([](engine::Database &db) { addAdmin(db); });
    auto plain = withUser.loadedLogon();
    QVERIFY(plain);
    QVERIFY(!plain->offersFirstUser());
    QVERIFY(control<QGroupBox>(plain.get(), "FIRST_USER_BOX")->isHidden());
    for (const char *name : {"USERID_TEXT", "PASSWORD_TEXT", "Label1", "LABEL2"})
        QVERIFY2(!control<QWidget>(plain.get(), name)->isHidden(), name);
}

void TestLogon::firstUserNeedsEveryFieldAndTheSamePasswordTwice()
{
    LogonWorld w;
    w.prepare();
    auto screen = w.loadedLogon();
    QVERIFY(screen);
    screen->show();
    QSignalSpy loggedOn(screen.get(), &logon::LOGON::loggedOn);
    w.cmn.msgs.LOADMSGS();

    const char *fields[] = {"FIRST_USERID_TEXT", "FIRST_PASSWORD_TEXT", "FIRST_NAME_TEXT"};
    for (int missing = 0; missing < 3; ++missing) {
        for (int i = 0; i < 3; ++i)
            control<QLineEdit>(screen.get(), fields[i])->setText(i == missing ? QStringLiteral(" ")
                                                                             : QStringLiteral("x"));
        w.messages.clear();
        QTest::mouseClick(control<QWidget>(screen.get(), "createFirstUser"), Qt::LeftButton);
        QCOMPARE(w.messages.shown(), QStringList{w.cmn.msgs.MSG_REQUIRED});
        QCOMPARE(screen->focusWidget(), control<QWidget>(screen.get(), fields[missing]));
    }

    // Every field filled, but the password typed twice differently.
    for (const char *name : fields)
        control<QLineEdit>(screen.get(), name)->setText(QStringLiteral("x"));
    auto *confirm = control<QLineEdit>(screen.get(), "FIRST_PASSWORD_CONFIRM_TEXT");
    for (const QString &typed : {QString(), QStringLiteral("X"), QStringLiteral("x ")}) {
        confirm->setText(typed);
        w.messages.clear();
        QTest::mouseClick(control<QWidget>(screen.get(), "createFirstUser"), Qt::LeftButton);
        QCOMPARE(w.messages.shown(), QStringList{logon::LOGON::kPasswordsDiffer});
        QCOMPARE(screen->focusWidget(), confirm);
        QVERIFY(confirm->text().isEmpty());
    }
    QCOMPARE(loggedOn.count(), 0);
    QCOMPARE(w.usersScalar(QStringLiteral("SELECT count(*) FROM users")).toInt(), 0);
}

void TestLogon::firstUserGetsEveryPermissionAndLogsOn()
{
    LogonWorld w;
    w.prepare();
    auto screen = w.loadedLogon();
    QVERIFY(screen);
    screen->show();
    QSignalSpy loggedOn(screen.get(), &logon::LOGON::loggedOn);

    const QString id = QStringLiteral("o'brien");
    const QString password = QStringLiteral("Pa%ss'w\"d");
    control<QLineEdit>(screen.get(), "FIRST_USERID_TEXT")->setText(QStringLiteral("  ") + id);
    control<QLineEdit>(screen.get(), "FIRST_PASSWORD_TEXT")->setText(password);
    control<QLineEdit>(screen.get(), "FIRST_PASSWORD_CONFIRM_TEXT")->setText(password);
    control<QLineEdit>(screen.get(), "FIRST_NAME_TEXT")->setText(QStringLiteral("عبد الله"));
    QTest::mouseClick(control<QWidget>(screen.get(), "createFirstUser"), Qt::LeftButton);

    QCOMPARE(w.messages.shownCount(), 0);
    QCOMPARE(loggedOn.count(), 1);
    QVERIFY(!screen->offersFirstUser());
    QCOMPARE(w.logon.userId, id);
    for (int n = 1; n <= core::kPermissionCount; ++n)
        QVERIFY2(w.logon.granted(n), qPrintable(QString::number(n)));

    QCOMPARE(w.usersScalar(QStringLiteral("SELECT count(*) FROM users")).toInt(), 1);
    // Kept as a hash of what was typed, never as typed.
    const QVariant stored =
        w.usersScalar(QStringLiteral("SELECT PASSWORD FROM users WHERE USERID = ?"), {id});
    QVERIFY(Passwords::isHash(stored.toString()));
    QVERIFY(Passwords::check(stored, password).accepted);
    QVERIFY(!Passwords::check(stored, password.toLower()).accepted);
    QCOMPARE(w.usersScalar(QStringLiteral("SELECT NAME FROM users")).toString(),
             QStringLiteral("عبد الله"));
    QCOMPARE(w.usersScalar(QStringLiteral("SELECT check1 + check2 + check3 + check4 + check5 + "
                                          "check6 + check7 + check8 + check9 + check10 + check11 "
                                          "+ check12 + check13 + check14 FROM users"))
                 .toInt(),
             14);

    // The user added is in the audit trail, its password only as set.
    QCOMPARE(w.usersScalar(QStringLiteral("SELECT user_id || '|' || table_name || '|' || record_key || '|' || "
                                          "action FROM audit"))
                 .toString(),
             id + QStringLiteral("|users|") + id + QStringLiteral("|add"));
    const QString changes = w.usersScalar(QStringLiteral("SELECT changes FROM audit")).toString();
    QVERIFY(changes.contains(QLatin1String("{\"changed\":true,\"field\":\"PASSWORD\"}")));
    QVERIFY(!changes.contains(stored.toString()) && !changes.contains(QLatin1String("Pa%ss")));

    // The next start shows the plain logon.
    w.store.CLOSEDATABASE();
    auto again = w.loadedLogon();
    QVERIFY(again);
    QVERIFY(!again->offersFirstUser());
}

// A database on a network share: the logon screen tells it once, however
// often the program opens the file and logs on in that run.
void TestLogon::networkShareNoticeOncePerRun()
{
    if (testsupport::testOnServer())
        QSKIP("about a file on a network share; a server has no such notice");
    LogonWorld w;
    w.prepare([](engine::Database &db) {
        TempDataFolder::addUser(db, QStringLiteral("admin"), QStringLiteral("pw"));
    });
    w.store.setNetworkCheck([](const QString &) { return true; });
    for (int start = 0; start < 2; ++start) {
        w.store.CLOSEDATABASE();
        logon::LOGON screen(w.ctx);
        QVERIFY(screen.load());
        screen.show();
        QSignalSpy loggedOn(&screen, &logon::LOGON::loggedOn);
        typeAndLogOn(&screen, QStringLiteral("admin"), QStringLiteral("pw"));
        QCOMPARE(loggedOn.count(), 1);
        QCOMPARE(w.messages.shown(), QStringList{logon::LOGON::kNetworkShareNotice});
        QCOMPARE(w.store.db().scalar(QStringLiteral("PRAGMA journal_mode")).toString(), QStringLiteral("delete"));
    }
    // The backup of a file on a share is taken and checked as any other.
    QVERIFY(QFileInfo::exists(w.folder.dataDir() + QStringLiteral("/backup/velm.mdb")));
}

VELM_TEST_MAIN(TestLogon)
#include "tst_logon.moc"
