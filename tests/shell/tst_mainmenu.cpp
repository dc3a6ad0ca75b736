#include "support/FrameWorld.h"

#include "screens/ScreenHost.h"
#include "support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QToolButton>
#include <QVBoxLayout>

using testsupport::TempDataFolder;

namespace {

// A stand-in screen for button n, with the close button screens have.
QWidget *makeScreen(int number)
{
    auto *screen = new QWidget;
    screen->setObjectName(QStringLiteral("screen%1").arg(number));
    screen->setWindowTitle(QStringLiteral("شاشة %1").arg(number));
    auto *close = new QPushButton(QStringLiteral("خروج"), screen);
    close->setObjectName(QStringLiteral("close"));
    QObject::connect(close, &QPushButton::clicked, screen, [screen] { core::unloadScreen(screen); });
    auto *layout = new QVBoxLayout(screen);
    layout->addWidget(close);
    screen->resize(300, 200);
    return screen;
}

core::MenuScreens screensFor(const QList<int> &numbers)
{
    core::MenuScreens screens;
    for (int n : numbers)
        screens.insert(n, [n](core::AppContext &, QWidget *) { return makeScreen(n); });
    return screens;
}

QList<int> allNumbers()
{
    return TempDataFolder::allPermissions();
}

QList<int> enabledButtons(const shell::MAINMENU &menu)
{
    QList<int> enabled;
    for (int n = 1; n <= core::kPermissionCount; ++n)
        if (menu.button(n)->isEnabled())
            enabled << n;
    return enabled;
}

core::LogonState stateWith(const QList<QVariant> &values)
{
    core::LogonState state;
    for (int i = 0; i < values.size() && i < core::kPermissionCount; ++i)
        state.PERMISSION[i] = values[i];
    return state;
}

} // namespace

class TestMainMenu : public QObject {
    Q_OBJECT

private slots:
    void buttonsCarryTheirNamesCaptionsAndPictures();
    void permissionsEnableExactlyTheGrantedButtons_data();
    void permissionsEnableExactlyTheGrantedButtons();
    void buttonsWithoutAScreenStayDisabled();
    void startUpShowsLogonAndSplashes();
    void logonLeadsToTheCentredMenu();
    void aButtonSwapsTheMenuForItsScreenAndBack();
    void keyboardStartsOnAMarkedButton();
    void statusBarNamesUserDateAndDataFile_data();
    void statusBarNamesUserDateAndDataFile();
    void aLargeScreenScrollsInASmallFrame();
    void f1OpensTheUserGuide();
    void menuCloseEndsTheProgram();
    void closingTheFrameEndsTheProgram();
    void logonCloseEndsTheProgram();
    void unopenableDatabaseStopsTheStart();
};

void TestMainMenu::buttonsCarryTheirNamesCaptionsAndPictures()
{
    core::LogonState state;
    shell::MAINMENU menu(state, screensFor(allNumbers()));
    QCOMPARE(menu.objectName(), QStringLiteral("MAINMENU"));
    QCOMPARE(menu.layoutDirection(), Qt::RightToLeft);
    const QStringList names{"Tamrelx",  "frmFollowupx", "frmCoursesx", "frmQestx", "frmCourseMaterialx",
                            "frmEvaluationx", "frmFormsx", "securityx", "cmnd_codes", "reportsx",
                            "frmWitnessesx", "frmFollowupGroupx", "showdata", "Command1"};
    for (int n = 1; n <= core::kPermissionCount; ++n) {
        QToolButton *b = menu.findChild<QToolButton *>(names[n - 1]);
        QVERIFY2(b, qPrintable(names[n - 1]));
        QCOMPARE(b, menu.button(n));
        QVERIFY(!b->icon().isNull());
    }
    QCOMPARE(menu.button(1)->text(), QStringLiteral("ملف Tamrel"));
    QCOMPARE(menu.button(10)->text(), QStringLiteral(" التقارير العامة"));
    QCOMPARE(menu.button(14)->text(), QStringLiteral("بيانات المؤسسة"));
    auto *close = menu.findChild<QToolButton *>(QStringLiteral("close"));
    QVERIFY(close);
    QCOMPARE(close->text(), QStringLiteral("خروج"));
    QVERIFY(close->isEnabled());
}

void TestMainMenu::permissionsEnableExactlyTheGrantedButtons_data()
{
    QTest::addColumn<QList<QVariant>>("values");
    QTest::addColumn<QList<int>>("enabled");

    QList<QVariant> zeros;
    QList<QVariant> ones;
    for (int i = 0; i < core::kPermissionCount; ++i) {
        zeros << 0;
        ones << 1;
    }
    QTest::newRow("all zero") << zeros << QList<int>{};
    QTest::newRow("all one") << ones << allNumbers();
    QList<QVariant> usersOnly = zeros;
    usersOnly[7] = 1;
    QTest::newRow("users screen only") << usersOnly << QList<int>{8};
    QList<QVariant> mixed = zeros;
    mixed[0] = 1;
    mixed[1] = true;                   // a yes/no value
    mixed[2] = QStringLiteral("1");    // a text
    mixed[3] = QVariant();             // no value
    mixed[4] = 2;
    mixed[5] = -1;
    mixed[12] = qint64(1);
    mixed[13] = 1.0;
    QTest::newRow("only the number 1 grants") << mixed << QList<int>{1, 13, 14};
}

void TestMainMenu::permissionsEnableExactlyTheGrantedButtons()
{
    QFETCH(QList<QVariant>, values);
    QFETCH(QList<int>, enabled);
    const core::LogonState state = stateWith(values);
    shell::MAINMENU menu(state, screensFor(allNumbers()));
    QCOMPARE(enabledButtons(menu), enabled);
    QVERIFY(menu.findChild<QToolButton *>(QStringLiteral("close"))->isEnabled());
}

void TestMainMenu::buttonsWithoutAScreenStayDisabled()
{
    QList<QVariant> ones;
    for (int i = 0; i < core::kPermissionCount; ++i)
        ones << 1;
    const core::LogonState state = stateWith(ones);
    shell::MAINMENU menu(state, screensFor({2, 9, 13}));
    QCOMPARE(enabledButtons(menu), (QList<int>{2, 9, 13}));

    shell::MAINMENU none(state, {});
    QCOMPARE(enabledButtons(none), QList<int>{});

    // A disabled button says why; an enabled one needs no word.
    QList<QVariant> some = ones;
    some[8] = 0;
    const core::LogonState partly = stateWith(some);
    shell::MAINMENU menu2(partly, screensFor({2, 9, 13}));
    QCOMPARE(menu2.button(2)->toolTip(), QString());
    QCOMPARE(menu2.button(9)->toolTip(), shell::MAINMENU::kNoPermissionTip);
    QCOMPARE(menu2.button(1)->toolTip(), shell::MAINMENU::kNotBuiltTip);
    QVERIFY(shell::MAINMENU::kNotBuiltTip != shell::MAINMENU::kNoPermissionTip);
}

void TestMainMenu::startUpShowsLogonAndSplashes()
{
    for (bool logo2 : {false, true}) {
        LogonWorld w;
        QStringList lines = TempDataFolder::defaultDbPathLines();
        lines[0] = logo2 ? QStringLiteral("1") : QStringLiteral("0");
        w.folder.writeDbPath(lines);
        w.prepare([](engine::Database &db) {
            TempDataFolder::addUser(db, QStringLiteral("admin"), QStringLiteral("pw"));
        });
        shell::frmMain frame(w.ctx, screensFor(allNumbers()));
        QCOMPARE(frame.windowTitle(), QString::fromUtf8(core::kProductTitle));
        QCOMPARE(frame.layoutDirection(), Qt::RightToLeft);
        // Low enough on the display that the centred logon would cover the title splash.
        frame.setGeometry(0, 150, 780, 640);
        frame.show();
        QVERIFY(frame.startUp());
        QVERIFY(frame.logonScreen());
        QVERIFY(frame.logonScreen()->isVisible());
        QVERIFY(!frame.mainMenu());

        const QSize area = frame.mdiArea()->viewport()->size();
        auto *logo = frame.findChild<QWidget *>(QStringLiteral("frmLogo"));
        QVERIFY(logo);
        QWidget *logoWindow = logo->parentWidget();
        QVERIFY(qobject_cast<QMdiSubWindow *>(logoWindow));
        QVERIFY(qAbs(logoWindow->x() - (area.width() - logoWindow->width()) / 2) <= 1);
        QCOMPARE(logoWindow->y(), 33); // 500 twips at 96 dots per inch
        auto *picture = frame.findChild<QWidget *>(QStringLiteral("frmLogo2"));
        QCOMPARE(picture != nullptr, logo2);
        if (picture)
            QVERIFY(picture->parentWidget()->geometry().bottom() < area.height());

        // Neither splash is hidden behind the logon: the logon stands below
        // the title splash, the second splash below the logon or not at all.
        const auto onDisplay = [&frame](QWidget *window) {
            return QRect(frame.mdiArea()->viewport()->mapToGlobal(window->pos()), window->size());
        };
        const QRect logon = frame.logonScreen()->frameGeometry();
        QVERIFY(!onDisplay(logoWindow).intersects(logon));
        if (picture && picture->parentWidget()->isVisible())
            QVERIFY(!onDisplay(picture->parentWidget()).intersects(logon));
        // Sized again (the desktop maximising it), the frame keeps the splash centred.
        frame.resize(760, 600);
        const int width = frame.mdiArea()->viewport()->width();
        QTRY_VERIFY(qAbs(logoWindow->x() - (width - logoWindow->width()) / 2) <= 1);
    }
}

void TestMainMenu::logonLeadsToTheCentredMenu()
{
    FrameWorld w;
    w.prepare([](engine::Database &db) {
        TempDataFolder::addUser(db, QStringLiteral("clerk"), QStringLiteral("pw"),
                                QStringLiteral("موظف"), {3, 11});
    });
    QVERIFY(w.startFrame(screensFor(allNumbers())));
    shell::frmMain &frame = *w.frame;
    QPointer<logon::LOGON> screen = frame.logonScreen();
    QVERIFY(w.logOnAs(QStringLiteral("clerk"), QStringLiteral("pw")));
    QCOMPARE(w.messages.shownCount(), 0);

    QTRY_VERIFY(screen.isNull()); // unloaded
    QCOMPARE(enabledButtons(*frame.mainMenu()), (QList<int>{3, 11}));
    QWidget *window = frame.mainMenu()->parentWidget();
    const QSize area = frame.mdiArea()->viewport()->size();
    QVERIFY(window->width() <= area.width() && window->height() <= area.height());
    QVERIFY(qAbs(window->x() - (area.width() - window->width()) / 2) <= 1);
    // Raised by 100 twips (7 pixels at 96 dots per inch).
    QVERIFY(qAbs(window->y() - ((area.height() - window->height()) / 2 - 7)) <= 1);
}

void TestMainMenu::aButtonSwapsTheMenuForItsScreenAndBack()
{
    FrameWorld w;
    QVERIFY(w.reachMenu(screensFor(allNumbers()), QStringLiteral("admin"), QStringLiteral("pw")));
    shell::frmMain &frame = *w.frame;
    QPointer<shell::MAINMENU> menu = frame.mainMenu();

    QTest::mouseClick(menu->button(11), Qt::LeftButton);
    QWidget *screen = frame.currentScreen();
    QVERIFY(screen);
    QCOMPARE(screen->objectName(), QStringLiteral("screen11"));
    QVERIFY(!frame.mainMenu());
    QTRY_VERIFY(menu.isNull()); // the menu is unloaded
    auto *window = qobject_cast<QMdiSubWindow *>(screen->parentWidget());
    QVERIFY(window);
    QCOMPARE(window->mdiArea(), frame.mdiArea());
    const QSize area = frame.mdiArea()->viewport()->size();
    QVERIFY(qAbs(window->x() - (area.width() - window->width()) / 2) <= 1);
    QVERIFY(qAbs(window->y() - (area.height() - window->height()) / 2) <= 1);
    // One screen at a time.
    QVERIFY(!frame.openScreen(2));

    // The permissions are applied again when the menu comes back.
    w.logon.PERMISSION[10] = 0;
    QTest::mouseClick(screen->findChild<QWidget *>(QStringLiteral("close")), Qt::LeftButton);
    QTRY_VERIFY(frame.mainMenu());
    QVERIFY(!frame.currentScreen());
    QVERIFY(!frame.mainMenu()->button(11)->isEnabled());
    QVERIFY(frame.mainMenu()->button(12)->isEnabled());

    // Closing the screen's window works the same way.
    QTest::mouseClick(frame.mainMenu()->button(4), Qt::LeftButton);
    QVERIFY(frame.currentScreen());
    frame.currentScreen()->parentWidget()->close();
    QTRY_VERIFY(frame.mainMenu());
    int menus = 0;
    for (QMdiSubWindow *sub : frame.mdiArea()->subWindowList())
        menus += qobject_cast<shell::MAINMENU *>(sub->widget()) ? 1 : 0;
    QCOMPARE(menus, 1);
}

void TestMainMenu::keyboardStartsOnAMarkedButton()
{
    FrameWorld w;
    QVERIFY(w.reachMenu(screensFor(allNumbers()), QStringLiteral("clerk"), QStringLiteral("pw"), {3, 11}));
    shell::frmMain &frame = *w.frame;
    shell::MAINMENU *menu = frame.mainMenu();
    QTRY_COMPARE(QApplication::focusWidget(), menu->button(3));

    // The focused button is drawn with a mark the others do not have.
    const QImage marked = menu->button(3)->grab().toImage();
    menu->button(11)->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), menu->button(11));
    QVERIFY(menu->button(3)->grab().toImage() != marked);
    menu->button(3)->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), menu->button(3));
    QCOMPARE(menu->button(3)->grab().toImage(), marked);

    // Enter presses the focused button.
    QTest::keyClick(menu->button(3), Qt::Key_Return);
    QTRY_VERIFY(frame.currentScreen());
    QCOMPARE(frame.currentScreen()->objectName(), QStringLiteral("screen3"));
}

void TestMainMenu::statusBarNamesUserDateAndDataFile_data()
{
    QTest::addColumn<bool>("other");
    QTest::addColumn<QString>("day");
    QTest::addColumn<QString>("dateText");
    QTest::newRow("usual file") << false << QStringLiteral("09")
                                << QStringLiteral("تاريخ العمل: 1427/05/09 هـ - 2006/06/06 م");
    QTest::newRow("other file") << true << QStringLiteral("09")
                                << QStringLiteral("تاريخ العمل: 1427/05/09 هـ - 2006/06/06 م");
    // The logon takes day 31 of any month: there is no such day to convert.
    QTest::newRow("day without a Gregorian day")
        << false << QStringLiteral("31") << QStringLiteral("تاريخ العمل: 1427/05/31 هـ - لا يقابله يوم ميلادي");
}

void TestMainMenu::statusBarNamesUserDateAndDataFile()
{
    QFETCH(bool, other);
    QFETCH(QString, day);
    QFETCH(QString, dateText);
    FrameWorld w;
    if (other && w.folder.onServer())
        QSKIP("about another database file chosen at the logon; a server is named by db_path");
    w.prepare([](engine::Database &db) {
        TempDataFolder::addUser(db, QStringLiteral("clerk"), QStringLiteral("pw"));
    });
    QString dbFile = w.folder.dataDir() + QStringLiteral("/velm.mdb");
    if (other) {
        QVERIFY(QDir().mkpath(w.folder.dataDir() + QStringLiteral("/other_db")));
        const QString branch = w.folder.dataDir() + QStringLiteral("/other_db/branch.mdb");
        QVERIFY(QFile::copy(dbFile, branch));
        dbFile = branch;
    }
    QVERIFY(w.startFrame(screensFor(allNumbers())));
    shell::frmMain &frame = *w.frame;
    auto *status = frame.findChild<QLabel *>(QStringLiteral("statusDataFile"));
    QVERIFY(status);
    if (other)
        control<QListWidget>(frame.logonScreen(), "File1")->setCurrentRow(0);
    testsupport::WorkingDate{QStringLiteral("1427"), QStringLiteral("05"), day}.typeInto(frame.logonScreen());
    QVERIFY(w.logOnAs(QStringLiteral("CLERK"), QStringLiteral("pw")));

    QCOMPARE(frame.findChild<QLabel *>(QStringLiteral("statusUser"))->text(),
             QStringLiteral("المستخدم: clerk"));
    QCOMPARE(frame.findChild<QLabel *>(QStringLiteral("statusDate"))->text(), dateText);
    // A server is named by its host and database, a file by its path.
    const QString path = w.folder.onServer()
                             ? QStringLiteral("الخادم: ")
                             : QDir::toNativeSeparators(QFileInfo(dbFile).absoluteFilePath());
    QVERIFY2(status->text().contains(path), qPrintable(status->text()));
    if (w.folder.onServer())
        QVERIFY2(status->text().contains(w.folder.dbPathLines().value(5).section(QStringLiteral("dbname="), 1).section(QLatin1Char(' '), 0, 0)),
                 qPrintable(status->text()));
    QCOMPARE(status->text().startsWith(QStringLiteral("قاعدة بيانات أخرى")), other);
    QCOMPARE(status->styleSheet().isEmpty(), !other); // another database stands out
}

void TestMainMenu::aLargeScreenScrollsInASmallFrame()
{
    FrameWorld w;
    core::MenuScreens screens = screensFor(allNumbers());
    screens.insert(5, [](core::AppContext &, QWidget *) {
        QWidget *screen = makeScreen(5);
        screen->setMinimumSize(900, 700);
        return screen;
    });
    QVERIFY(w.reachMenu(screens, QStringLiteral("admin"), QStringLiteral("pw"),
                        TempDataFolder::allPermissions(), QSize(640, 480)));
    shell::frmMain &frame = *w.frame;
    QVERIFY(frame.openScreen(5));
    const QScrollBar *across = frame.mdiArea()->horizontalScrollBar();
    QTRY_VERIFY(across->maximum() - across->minimum() > 0);
    QVERIFY(frame.mdiArea()->verticalScrollBar()->maximum() > 0);
    // The right-hand side, where an Arabic screen starts, is the part in sight.
    const QWidget *window = frame.currentScreen()->parentWidget();
    QVERIFY(window->geometry().right() < frame.mdiArea()->viewport()->width());
    QVERIFY(window->geometry().right() > frame.mdiArea()->viewport()->width() - 40);
    QCOMPARE(window->y(), 0);
}

void TestMainMenu::f1OpensTheUserGuide()
{
    FrameWorld w;
    QVERIFY(w.reachMenu(screensFor(allNumbers()), QStringLiteral("admin"), QStringLiteral("pw")));
    shell::MAINMENU *menu = w.frame->mainMenu();
    QTRY_VERIFY(menu->isAncestorOf(QApplication::focusWidget()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
    QCOMPARE(w.guide.sections(), QStringList{QString()}); // at its beginning
    auto *button = menu->findChild<QPushButton *>(QStringLiteral("guidex"));
    QVERIFY(button && button->isVisible() && button->text().contains(QStringLiteral("F1")));
    button->click();
    QCOMPARE(w.guide.shownCount(), 2);
    QVERIFY(w.frame->mainMenu()); // the menu stays
}

void TestMainMenu::menuCloseEndsTheProgram()
{
    FrameWorld w;
    w.prepare([](engine::Database &db) {
        TempDataFolder::addUser(db, QStringLiteral("admin"), QStringLiteral("pw"));
    });
    QVERIFY(w.startFrame(screensFor(allNumbers())));
    shell::frmMain &frame = *w.frame;
    QSignalSpy ended(&frame, &shell::frmMain::programEnded);
    QVERIFY(w.logOnAs(QStringLiteral("admin"), QStringLiteral("pw")));
    QTest::mouseClick(frame.mainMenu()->findChild<QWidget *>(QStringLiteral("close")), Qt::LeftButton);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.first().first().toInt(), 0);
    QVERIFY(!frame.isVisible());
}

void TestMainMenu::closingTheFrameEndsTheProgram()
{
    LogonWorld w;
    w.prepare([](engine::Database &db) {
        TempDataFolder::addUser(db, QStringLiteral("admin"), QStringLiteral("pw"));
    });
    shell::frmMain frame(w.ctx, screensFor(allNumbers()));
    QSignalSpy ended(&frame, &shell::frmMain::programEnded);
    frame.show();
    QVERIFY(frame.startUp());
    QVERIFY(frame.close());
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.first().first().toInt(), 0);
    QVERIFY(!frame.logonScreen() || !frame.logonScreen()->isVisible());
}

void TestMainMenu::logonCloseEndsTheProgram()
{
    LogonWorld w;
    w.prepare([](engine::Database &db) {
        TempDataFolder::addUser(db, QStringLiteral("admin"), QStringLiteral("pw"));
    });
    shell::frmMain frame(w.ctx, screensFor(allNumbers()));
    QSignalSpy ended(&frame, &shell::frmMain::programEnded);
    frame.show();
    QVERIFY(frame.startUp());
    QTest::mouseClick(frame.logonScreen()->findChild<QWidget *>(QStringLiteral("close")),
                      Qt::LeftButton);
    QCOMPARE(ended.count(), 1);
    QCOMPARE(ended.first().first().toInt(), 0);
    QVERIFY(!frame.isVisible());
    QVERIFY(w.logon.userId.isEmpty());
}

void TestMainMenu::unopenableDatabaseStopsTheStart()
{
    LogonWorld w;
    if (w.folder.onServer())
        QSKIP("about a file that is not a database; a server that will not open is tested with the program on a server");
    QVERIFY(QDir().mkpath(w.folder.dataDir()));
    QFile junk(w.folder.dataDir() + QStringLiteral("/velm.mdb"));
    QVERIFY(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(2048, 'q'));
    junk.close();

    shell::frmMain frame(w.ctx, screensFor(allNumbers()));
    QSignalSpy ended(&frame, &shell::frmMain::programEnded);
    frame.show();
    QVERIFY(!frame.startUp());
    QVERIFY(frame.exitCode() != 0);
    QCOMPARE(ended.count(), 1);
    QVERIFY(w.messages.lastShown().startsWith(QStringLiteral("Invalid Access")));
    QVERIFY(!frame.isVisible());
}

VELM_TEST_MAIN(TestMainMenu)
#include "tst_mainmenu.moc"
