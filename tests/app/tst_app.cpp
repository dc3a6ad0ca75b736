#include "support/FrameWorld.h"

#include "screens/DataGrid.h"
#include "app/Screens.h"
#include "app/Screenshot.h"
#include "reports/ReportLauncher.h"
#include "app/Startup.h"
#include "screens/ScreenKeys.h"
#include "screens/UserGuide.h"
#include "support/TestMain.h"

#include <QCommandLineParser>
#include <QDialog>
#include <QPushButton>
#include <QHeaderView>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QProcessEnvironment>
#include <QToolButton>

using testsupport::TempDataFolder;

// The program as the office starts it: its command line, its Qt texts, and
// the real screens of the main menu opened through the frame window.
class TestApp : public QObject {
    Q_OBJECT

private slots:
    void commandLineWithoutADisplay_data();
    void commandLineWithoutADisplay();
    void screenshotRequest_data();
    void screenshotRequest();
    void screenshotRunsItsSteps_data();
    void screenshotRunsItsSteps();
    void qtTextsAreArabic();
    void everyScreenOpensOnItsFirstFieldAndEscapeBringsTheMenuBack_data();
    void everyScreenOpensOnItsFirstFieldAndEscapeBringsTheMenuBack();
    void screensFitTheOfficesDisplay_data();
    void screensFitTheOfficesDisplay();
};

void TestApp::commandLineWithoutADisplay_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::newRow("--help") << QStringList{QStringLiteral("--help")} << 0 << QStringLiteral("--screenshot <FILE>");
    QTest::newRow("-h") << QStringList{QStringLiteral("-h")} << 0 << QStringLiteral("--version");
    QTest::newRow("--version") << QStringList{QStringLiteral("--version")} << 0
                               << QStringLiteral("velm " VELM_TEST_VERSION);
    QTest::newRow("no display") << QStringList{} << 2 << QStringLiteral("no display");
}

void TestApp::commandLineWithoutADisplay()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    QProcess velm;
    velm.setProcessEnvironment(env);
    velm.start(QStringLiteral(VELM_PROGRAM), arguments);
    QVERIFY(velm.waitForFinished(30000));
    const QString said = QString::fromLocal8Bit(velm.readAllStandardOutput() + velm.readAllStandardError());
    QCOMPARE(velm.exitStatus(), QProcess::NormalExit);
    QCOMPARE(velm.exitCode(), exitCode);
    QVERIFY2(said.contains(output), qPrintable(said));
}

void TestApp::screenshotRequest_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("isScreenshot");
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QStringList>("presses");
    QTest::addColumn<bool>("wrong");
    QTest::newRow("plain start") << QStringList{} << false << QString() << QStringList{} << false;
    QTest::newRow("logon by default") << QStringList{"--screenshot", "a.png"} << true << "LOGON"
                                      << QStringList{} << false;
    QTest::newRow("screen, user and presses")
        << QStringList{"--screenshot", "a.png", "frmWitnesses", "--user", "u", "--password", "p",
                       "--press", "list", "--press", "find", "--message"}
        << true << "frmWitnesses" << QStringList{"list", "find"} << false;
    QTest::newRow("settings, tab and size")
        << QStringList{"--screenshot", "a.png", "frmTamrel", "--set", "txt_a_new_name=عائشة", "--press",
                       "search", "--tab", "3", "--size", "1366x768"}
        << true << "frmTamrel" << QStringList{"search"} << false;
    QTest::newRow("malformed setting") << QStringList{"--screenshot", "a.png", "--set", "name"} << true << "LOGON"
                                       << QStringList{} << true;
    QTest::newRow("malformed size") << QStringList{"--screenshot", "a.png", "--size", "wide"} << true << "LOGON"
                                    << QStringList{} << true;
    QTest::newRow("user without screenshot") << QStringList{"--user", "u"} << false << QString()
                                             << QStringList{} << true;
    QTest::newRow("two screens") << QStringList{"--screenshot", "a.png", "A", "B"} << true << "A"
                                 << QStringList{} << true;
    QTest::newRow("stray word") << QStringList{"MAINMENU"} << false << QString() << QStringList{} << true;
    QTest::newRow("a report") << QStringList{"--screenshot", "a.png", "frmPrint", "--report", "regdates", "--press", "cmdLast"}
                              << true << "frmPrint" << QStringList{"cmdLast"} << false;
    QTest::newRow("viewer without a report") << QStringList{"--screenshot", "a.png", "frmPrint"} << true << "frmPrint"
                                             << QStringList{} << true;
    QTest::newRow("report without the viewer") << QStringList{"--screenshot", "a.png", "MAINMENU", "--report", "x"} << true
                                               << "MAINMENU" << QStringList{} << true;
}

void TestApp::screenshotRequest()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, isScreenshot);
    QFETCH(QString, screen);
    QFETCH(QStringList, presses);
    QFETCH(bool, wrong);
    QCommandLineParser parser;
    app::addCommandLineOptions(parser);
    QVERIFY(parser.parse(QStringList{QStringLiteral("velm")} + arguments));
    QString error;
    const std::optional<app::ScreenshotRequest> request = app::screenshotRequest(parser, &error);
    QCOMPARE(!error.isEmpty(), wrong);
    QCOMPARE(request.has_value(), isScreenshot);
    if (request) {
        QCOMPARE(request->file, QStringLiteral("a.png"));
        QCOMPARE(request->screen, screen);
        QCOMPARE(request->presses, presses);
        QCOMPARE(request->message, arguments.contains(QStringLiteral("--message")));
        if (arguments.contains(QStringLiteral("--tab"))) {
            QCOMPARE(request->settings.value(0), (std::pair{QStringLiteral("txt_a_new_name"), QStringLiteral("عائشة")}));
            QCOMPARE(request->tab, 3);
            QCOMPARE(request->frameSize, QSize(1366, 768));
        }
    }
}

void TestApp::screenshotRunsItsSteps_data()
{
    // The arguments after --screenshot FILE; user admin has the password pw.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("exitCode");
    const QStringList admin{"--user", "admin", "--password", "pw"};
    const QString shot = QStringLiteral("shot.png");
    QTest::newRow("logon") << QStringList{} << shot << 0;
    QTest::newRow("frame before the logon") << QStringList{"frmMain"} << shot << 0;
    QTest::newRow("splash") << QStringList{"frmLogo"} << shot << 0;
    QTest::newRow("second splash off in db_path") << QStringList{"frmLogo2"} << shot << 5;
    QTest::newRow("menu without a user") << QStringList{"MAINMENU"} << shot << 2;
    QTest::newRow("refused logon") << QStringList{"MAINMENU", "--user", "admin", "--password", "no"} << shot << 4;
    QTest::newRow("menu") << QStringList{"MAINMENU"} + admin << shot << 0;
    QTest::newRow("screen by its button") << QStringList{"frmWitnessesx"} + admin << shot << 0;
    QTest::newRow("screen by its name, tab page") << QStringList{"frmTamrel", "--tab", "1"} + admin << shot << 0;
    QTest::newRow("no such screen") << QStringList{"frmNowhere"} + admin << shot << 5;
    QTest::newRow("no such control") << QStringList{"frmWitnesses", "--set", "nowhere=x"} + admin << shot << 5;
    QTest::newRow("no such button") << QStringList{"frmWitnesses", "--press", "nowhere"} + admin << shot << 5;
    QTest::newRow("no such tab page") << QStringList{"frmTamrel", "--tab", "99"} + admin << shot << 5;
    QTest::newRow("no message shown") << QStringList{"--message"} << shot << 5;
    QTest::newRow("message of a refused logon")
        << QStringList{"--set", "USERID_TEXT=nobody", "--press", "ok", "--message"} << shot << 0;
    QTest::newRow("folder missing") << QStringList{} << QStringLiteral("missing/shot.png") << 6;
    QTest::newRow("a report's last page")
        << QStringList{"frmPrint", "--report", "people", "--set", "tamrel_no=7", "--press", "cmdLast"} + admin << shot << 0;
    QTest::newRow("no such report") << QStringList{"frmPrint", "--report", "nowhere"} + admin << shot << 5;
    QTest::newRow("a report that fails") << QStringList{"frmPrint", "--report", "broken"} + admin << shot << 5;
}

void TestApp::screenshotRunsItsSteps()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);
    QFETCH(int, exitCode);
    TempDataFolder folder;
    core::DataStore &store = folder.openStore();
    TempDataFolder::addUser(store.db(), QStringLiteral("admin"), QStringLiteral("pw"));
    store.CLOSEDATABASE();
    app::ConsoleMessageService messages;
    app::NoInputService input;
    app::NoFileOpener files;
    core::LogonState logon;
    core::CmnSub cmn(store, messages);
    core::AppContext ctx{store, messages, input, files, logon, cmn};
    reports::ReportLauncher launcher(ctx);
    ctx.reports = &launcher;
    const auto writeReport = [&folder](const char *name, const QString &text) {
        QFile file(QDir(folder.dataDir()).filePath(QLatin1String(name) + QStringLiteral(".rpt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
    };
    writeReport("people", QStringLiteral("[report]\ntitle = T\nparameters = tamrel_no\n[query rows]\n"
                                         "SELECT :tamrel_no AS n\n[layout]\n<p>{{#rows}}{{n}}{{/rows}}</p>\n"));
    writeReport("broken", QStringLiteral("[report]\ntitle = T\n[query rows]\nSELECT nothing FROM tamrel\n[layout]\nx\n"));

    QCommandLineParser parser;
    app::addCommandLineOptions(parser);
    const QString path = folder.path(file);
    QVERIFY(parser.parse(QStringList{"velm", "--screenshot", path} + arguments));
    QString error;
    const std::optional<app::ScreenshotRequest> request = app::screenshotRequest(parser, &error);
    QVERIFY2(request && error.isEmpty(), qPrintable(error));
    shell::frmMain frame(ctx, app::menuScreens());
    QCOMPARE(app::runScreenshot(*request, frame), exitCode);
    QCOMPARE(!QImage(path).isNull(), exitCode == 0);
}

void TestApp::qtTextsAreArabic()
{
    QVERIFY(app::loadQtArabic(*qApp));
    // The context menu of every text box.
    QCOMPARE(QCoreApplication::translate("QLineEdit", "Select All"), QStringLiteral("حدّد الكلّ"));
}

void TestApp::everyScreenOpensOnItsFirstFieldAndEscapeBringsTheMenuBack_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QString>("firstField");
    QTest::addColumn<QString>("firstHeading");
    QTest::newRow("person") << 1 << "frmTamrel" << "txt_tamrel_no" << "رقم Tamrel";
    QTest::newRow("person, view only") << 13 << "frmTamrel" << "txt_tamrel_no" << "رقم Tamrel";
    QTest::newRow("follow-up steps") << 2 << "frmFollowup" << "dbc_tamrel" << QString();
    QTest::newRow("courses") << 3 << "frmCourses" << "dbc_tamrel" << "رقم Tamrel";
    QTest::newRow("questionnaire") << 4 << "frmQuest" << "dbc_tamrel" << "رقم Tamrel";
    QTest::newRow("course material") << 5 << "frmCourseMaterial" << "dbc_language" << "اللغة";
    QTest::newRow("field evaluation") << 6 << "frmEvaluation" << "dbc_tamrel" << QString();
    QTest::newRow("forms") << 7 << "frmForms" << "txt_form_no" << "رقم النموذج";
    QTest::newRow("users") << 8 << "SECURITY" << "USERID_text" << "userid";
    QTest::newRow("code tables") << 9 << "frmcodes" << "Text1" << "الشرح";
    QTest::newRow("reports") << 10 << "frmRpts" << "report_text" << "التقرير";
    QTest::newRow("witnesses") << 11 << "frmWitnesses" << "NAME_TEXT" << "الاسم";
    QTest::newRow("follow-up groups") << 12 << "frmfollowupGroup" << "group_name" << "المجموعة";
    QTest::newRow("office information") << 14 << "frminfo" << "txt_res_publica" << QString();
}

void TestApp::everyScreenOpensOnItsFirstFieldAndEscapeBringsTheMenuBack()
{
    QFETCH(int, button);
    QFETCH(QString, screen);
    QFETCH(QString, firstField);
    QFETCH(QString, firstHeading);
    FrameWorld w;
    QVERIFY(w.reachMenu(app::menuScreens(), QStringLiteral("admin"), QStringLiteral("pw")));
    shell::frmMain &frame = *w.frame;

    QTest::keyClick(frame.mainMenu()->button(button), Qt::Key_Space);
    QTRY_VERIFY(frame.currentScreen());
    QWidget *opened = frame.currentScreen();
    QCOMPARE(opened->objectName(), screen);
    QTRY_COMPARE(QApplication::focusWidget(), opened->findChild<QWidget *>(firstField));
    if (auto *grid = opened->findChild<core::DataGrid *>(QStringLiteral("DBGrid1")))
        QCOMPARE(grid->heading(0), firstHeading);

    // F1: the screen's keys, linking to its own part of the user guide.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
    auto *help = opened->findChild<QDialog *>(core::ScreenKeys::kHelpName);
    QVERIFY(help && help->isVisible());
    help->findChild<QPushButton *>(core::ScreenKeys::kGuideLinkName)->click();
    QCOMPARE(w.guide.sections(), QStringList{screen});
    QVERIFY(core::UserGuide::sections().contains(screen));
    help->close();
    opened->activateWindow();
    QTRY_COMPARE(QApplication::focusWidget(), opened->findChild<QWidget *>(firstField));

    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTRY_VERIFY(frame.mainMenu());
    QVERIFY(!frame.currentScreen());
    QCOMPARE(w.messages.shownCount(), 0);
}

void TestApp::screensFitTheOfficesDisplay_data()
{
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("rows"); // list rows shown whole, at the least
    QTest::newRow("person") << 1 << 12;
    QTest::newRow("reports") << 10 << 12;
}

// In the office's faces, on a frame maximised on a 1366x768 display (its
// title bar and the desktop's panel take the rest): the screen's window
// stands whole in the frame and its list shows the rows it promises.
void TestApp::screensFitTheOfficesDisplay()
{
    QFETCH(int, button);
    QFETCH(int, rows);
    const QFont before = QApplication::font();
    app::setArabicFont(*qApp);
    FrameWorld w;
    QVERIFY(w.reachMenu(app::menuScreens(), QStringLiteral("admin"), QStringLiteral("pw"),
                        TempDataFolder::allPermissions(), QSize(1366, 700)));
    for (int i = 1; i <= 40; ++i)
        w.store.db().execute(QStringLiteral("INSERT INTO rpts (report, description, parms) VALUES (?, ?, '0')"),
                               {QStringLiteral("r%1").arg(i), QStringLiteral("تقرير رقم %1").arg(i)});
    w.store.db().execute(QStringLiteral("DELETE FROM tamrel"));
    for (int i = 1; i <= 40; ++i)
        w.store.db().execute(QStringLiteral("INSERT INTO tamrel (tamrel_no) VALUES (?)"), {QString::number(i)});
    QTest::keyClick(w.frame->mainMenu()->button(button), Qt::Key_Space);
    QTRY_VERIFY(w.frame->currentScreen());
    QWidget *screen = w.frame->currentScreen();
    QMdiSubWindow *window = qobject_cast<QMdiSubWindow *>(screen->parentWidget());
    QVERIFY(window);
    const QRect area = w.frame->mdiArea()->viewport()->rect();
    QVERIFY2(area.contains(window->geometry()),
             qPrintable(QStringLiteral("window %1x%2 in %3x%4").arg(window->width()).arg(window->height())
                            .arg(area.width()).arg(area.height())));
    auto *grid = screen->findChild<core::DataGrid *>(QStringLiteral("DBGrid1"));
    const int rowHeight = grid->verticalHeader()->defaultSectionSize();
    QVERIFY2(grid->viewport()->height() >= rows * rowHeight,
             qPrintable(QStringLiteral("%1 rows").arg(double(grid->viewport()->height()) / rowHeight)));
    QApplication::setFont(before);
}

VELM_TEST_MAIN(TestApp)
#include "tst_app.moc"
