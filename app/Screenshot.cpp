#include "app/Screenshot.h"

#include "logon/LOGON.h"
#include "reports/ReportLauncher.h"
#include "shell/MAINMENU.h"
#include "screens/CmnSub.h"
#include "screens/DataSource.h"
#include "screens/ScreenHost.h"
#include "screens/UserGuide.h"
#include "shell/frmMain.h"

#include <QAbstractButton>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPixmap>
#include <QTabWidget>
#include <QTextStream>
#include <QThread>
#include <QToolButton>

#include <cstdio>

namespace app {

namespace {

enum ExitCode {
    kOk = 0,
    kUsage = 2,
    kNoStart = 3,
    kLogonRefused = 4,
    kNoSuchScreen = 5,
    kNotWritten = 6,
};

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int fail(int code, const QString &text)
{
    err() << "velm --screenshot: " << text << Qt::endl;
    return code;
}

// Lets queued calls and deferred deletions run, as the event loop would.
void settle()
{
    for (int i = 0; i < 5; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

template <typename T>
T *control(QWidget *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

// Logs on through the controls of the logon screen, as a user would. On a
// database without users the first-user offer is used.
bool logOn(shell::frmMain &frame, const ScreenshotRequest &request)
{
    logon::LOGON *screen = frame.logonScreen();
    if (!screen)
        return false;
    if (screen->offersFirstUser()) {
        err() << "velm --screenshot: the database has no user yet; creating user \""
              << request.user << "\" with every permission" << Qt::endl;
        control<QLineEdit>(screen, "FIRST_USERID_TEXT")->setText(request.user);
        control<QLineEdit>(screen, "FIRST_PASSWORD_TEXT")->setText(request.password);
        control<QLineEdit>(screen, "FIRST_PASSWORD_CONFIRM_TEXT")->setText(request.password);
        control<QLineEdit>(screen, "FIRST_NAME_TEXT")->setText(request.user);
        control<QAbstractButton>(screen, "createFirstUser")->click();
    } else {
        control<QLineEdit>(screen, "USERID_TEXT")->setText(request.user);
        control<QLineEdit>(screen, "PASSWORD_TEXT")->setText(request.password);
        control<QAbstractButton>(screen, "ok")->click();
    }
    settle();
    return frame.mainMenu() != nullptr;
}

QWidget *windowOf(QWidget *widget)
{
    if (!widget)
        return nullptr;
    if (auto *sub = qobject_cast<QMdiSubWindow *>(widget->parentWidget()))
        return sub;
    return widget;
}

// Opens, from the main menu, the screen named `name`: a menu button's name
// (such as showdata) or the object name of the screen a button opens.
QWidget *openNamedScreen(shell::frmMain &frame, const QString &name, QStringList *seen)
{
    auto press = [&frame](int number) -> QWidget * {
        shell::MAINMENU *menu = frame.mainMenu();
        QToolButton *button = menu ? menu->button(number) : nullptr;
        if (!button || !button->isEnabled())
            return nullptr;
        button->click();
        settle();
        return frame.currentScreen();
    };
    QList<shell::MenuButton> buttons(shell::kMenuButtons.begin(), shell::kMenuButtons.end());
    buttons << shell::kAuditButton << shell::kRestoreButton;
    for (const shell::MenuButton &b : std::as_const(buttons)) {
        if (name.compare(QLatin1String(b.name), Qt::CaseInsensitive) == 0)
            return press(b.number);
    }
    for (const shell::MenuButton &b : std::as_const(buttons)) {
        QWidget *screen = press(b.number);
        if (!screen)
            continue;
        if (screen->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return screen;
        seen->append(screen->objectName());
        core::unloadScreen(screen);
        settle();
    }
    return nullptr;
}

} // namespace

QString screenshotUsage()
{
    return QStringLiteral(
        "velm --screenshot FILE [SCREEN] [--user ID --password PW] [--set CONTROL=TEXT]...\n"
        "      [--press BUTTON]... [--tab N] [--size WxH] [--message]\n"
        "  Renders one window to the PNG file FILE and ends (no display needed).\n"
        "  SCREEN: LOGON (the default), frmLogo, frmLogo2, MAINMENU, frmMain, or a\n"
        "  screen of the main menu by its name or its button's name (e.g. showdata).\n"
        "  Every window after the logon needs --user and --password; a database\n"
        "  without users gets that user as its first user, with every permission.\n"
        "  --set puts a text into a control of the screen (by its name); --press\n"
        "  then clicks a button of the screen (by its name, e.g. list); --tab shows\n"
        "  page N (from 0) of the screen's tabs before the picture is taken;\n"
        "  --message renders the last message box instead. --size makes the frame\n"
        "  window that size (e.g. 1366x768, the display the screen must fit).\n"
        "  frmPrint --report NAME shows that report in its viewer once all its pages\n"
        "  are laid out; --set then gives its parameters (e.g. tamrel_no=17), --press\n"
        "  the viewer's buttons (e.g. cmdLast) and --size the viewer's size.\n"
        "  frmGuide shows the user guide as F1 on the main menu opens it.");
}

namespace {

const QString kScreenshot = QStringLiteral("screenshot");
const QString kUser = QStringLiteral("user");
const QString kPassword = QStringLiteral("password");
const QString kPress = QStringLiteral("press");
const QString kMessage = QStringLiteral("message");
const QString kSet = QStringLiteral("set");
const QString kTab = QStringLiteral("tab");
const QString kSize = QStringLiteral("size");
const QString kReport = QStringLiteral("report");

} // namespace

void addCommandLineOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Records of the outreach office (%1).").arg(QString::fromUtf8(core::kProductTitle)));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({kScreenshot, QStringLiteral("Render a window to the PNG file FILE and end."),
                      QStringLiteral("FILE")});
    parser.addOption({kUser, QStringLiteral("Screenshot mode: log on as this user."),
                      QStringLiteral("ID")});
    parser.addOption({kPassword, QStringLiteral("Screenshot mode: the user's password."),
                      QStringLiteral("PW")});
    parser.addOption({kPress,
                      QStringLiteral("Screenshot mode: click this button of the screen first "
                                     "(may be given several times)."),
                      QStringLiteral("BUTTON")});
    parser.addOption({kMessage, QStringLiteral("Screenshot mode: render the last message box.")});
    parser.addOption({kSet,
                      QStringLiteral("Screenshot mode: put TEXT into this control of the screen "
                                     "first (may be given several times)."),
                      QStringLiteral("CONTROL=TEXT")});
    parser.addOption({kTab, QStringLiteral("Screenshot mode: show page N (from 0) of the screen's tabs."),
                      QStringLiteral("N")});
    parser.addOption({kSize, QStringLiteral("Screenshot mode: the frame window's size, such as 1366x768."),
                      QStringLiteral("WxH")});
    parser.addOption({kReport, QStringLiteral("Screenshot mode, frmPrint: the report to show."),
                      QStringLiteral("NAME")});
    parser.addPositionalArgument(QStringLiteral("SCREEN"),
                                 QStringLiteral("Screenshot mode: the window to render (LOGON, "
                                                "MAINMENU, frmMain, frmWitnesses, ...)."),
                                 QStringLiteral("[SCREEN]"));
}

std::optional<ScreenshotRequest> screenshotRequest(const QCommandLineParser &parser, QString *error)
{
    const QStringList positional = parser.positionalArguments();
    if (!parser.isSet(kScreenshot)) {
        for (const QString &option : {kUser, kPassword, kPress, kMessage, kSet, kTab, kSize, kReport}) {
            if (parser.isSet(option)) {
                *error = QStringLiteral("--%1 belongs to the screenshot mode").arg(option);
                return std::nullopt;
            }
        }
        if (!positional.isEmpty())
            *error = QStringLiteral("unexpected argument \"%1\"").arg(positional.first());
        return std::nullopt;
    }
    ScreenshotRequest request;
    request.file = parser.value(kScreenshot);
    request.user = parser.value(kUser);
    request.password = parser.value(kPassword);
    request.presses = parser.values(kPress);
    request.message = parser.isSet(kMessage);
    for (const QString &setting : parser.values(kSet)) {
        const qsizetype equals = setting.indexOf(QLatin1Char('='));
        if (equals <= 0)
            *error = QStringLiteral("--set wants CONTROL=TEXT, not \"%1\"").arg(setting);
        else
            request.settings.append({setting.left(equals), setting.mid(equals + 1)});
    }
    if (parser.isSet(kTab)) {
        bool ok = false;
        request.tab = parser.value(kTab).toInt(&ok);
        if (!ok || request.tab < 0)
            *error = QStringLiteral("--tab wants a page number from 0, not \"%1\"").arg(parser.value(kTab));
    }
    if (parser.isSet(kSize)) {
        const QStringList wh = parser.value(kSize).split(QLatin1Char('x'));
        const int w = wh.value(0).toInt();
        const int h = wh.size() == 2 ? wh.value(1).toInt() : 0;
        if (w <= 0 || h <= 0)
            *error = QStringLiteral("--size wants WIDTHxHEIGHT, not \"%1\"").arg(parser.value(kSize));
        else
            request.frameSize = QSize(w, h);
    }
    if (positional.size() > 1)
        *error = QStringLiteral("unexpected argument \"%1\"").arg(positional.at(1));
    request.screen = positional.isEmpty() ? QStringLiteral("LOGON") : positional.first();
    request.report = parser.value(kReport);
    const bool viewer = request.screen.compare(QLatin1String("frmPrint"), Qt::CaseInsensitive) == 0;
    if (viewer != !request.report.isEmpty())
        *error = viewer ? QStringLiteral("frmPrint wants --report NAME")
                        : QStringLiteral("--report belongs to frmPrint");
    return request;
}

namespace {

bool named(const QString &name, const char *window)
{
    return name.compare(QLatin1String(window), Qt::CaseInsensitive) == 0;
}

// The splash window frmLogo or frmLogo2 (the one `name` says) as shown at the start.
int splashWindow(const QString &name, shell::frmMain &frame, QWidget **target)
{
    const QString exact = name.endsWith(QLatin1Char('2')) ? QStringLiteral("frmLogo2")
                                                          : QStringLiteral("frmLogo");
    *target = windowOf(frame.findChild<QWidget *>(exact));
    if (!*target)
        return fail(kNoSuchScreen, QStringLiteral("%1 is not shown (line 1 of db_path decides "
                                                  "whether frmLogo2 is)").arg(exact));
    return kOk;
}

// Runs the event loop until `done` says yes or ten minutes have passed.
bool waitFor(const std::function<bool()> &done)
{
    QDeadlineTimer deadline(10 * 60 * 1000);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

// frmPrint: the report shown through the program's report service, once
// all its pages are laid out.
int reportViewer(const ScreenshotRequest &request, shell::frmMain &frame, QWidget **target)
{
    auto *launcher = dynamic_cast<reports::ReportLauncher *>(frame.context().reports);
    if (!launcher)
        return fail(kNoSuchScreen, QStringLiteral("the program has no report viewer"));
    core::ReportValues values;
    for (const auto &[name, value] : request.settings)
        values.insert(name, value);
    bool failed = false;
    QObject::connect(launcher, &reports::ReportLauncher::reportFailed, launcher, [&failed] { failed = true; });
    if (!launcher->showReport(request.report, values))
        return fail(kNoSuchScreen, QStringLiteral("report \"%1\" was not shown (see the message above)").arg(request.report));
    reports::frmPrint *viewer = nullptr;
    const bool ready = waitFor([&] {
        viewer = launcher->isBusy() ? nullptr : launcher->viewer();
        return failed || (viewer && !viewer->isLayingOut());
    });
    if (failed || !ready)
        return fail(kNoSuchScreen, QStringLiteral("report \"%1\" was not shown (see the message above)").arg(request.report));
    if (request.frameSize.isValid()) {
        viewer->showNormal();
        viewer->resize(request.frameSize);
    }
    settle();
    *target = viewer;
    return kOk;
}

// A window shown after the logon: the menu, the frame or a screen of the menu.
int windowAfterLogon(const ScreenshotRequest &request, shell::frmMain &frame, QWidget **target)
{
    const QString &name = request.screen;
    if (request.user.isEmpty())
        return fail(kUsage, QStringLiteral("%1 is shown after the logon: give --user ID "
                                           "--password PW").arg(name));
    if (!logOn(frame, request))
        return fail(kLogonRefused, QStringLiteral("the logon of \"%1\" was refused (see the "
                                                  "message above)").arg(request.user));
    if (named(name, "MAINMENU")) {
        *target = windowOf(frame.mainMenu());
        return kOk;
    }
    if (named(name, "frmMain")) {
        *target = &frame;
        return kOk;
    }
    if (named(name, "frmPrint"))
        return reportViewer(request, frame, target);
    if (named(name, "frmGuide")) {
        // As F1 on the menu opens it.
        if (auto *button = frame.mainMenu()->findChild<QAbstractButton *>(QStringLiteral("guidex")))
            button->click();
        settle();
        auto *guide = dynamic_cast<core::UserGuide *>(frame.context().guide);
        *target = guide ? guide->window() : nullptr;
        if (*target && request.frameSize.isValid())
            (*target)->resize(request.frameSize);
        settle();
        return *target ? kOk : fail(kNoSuchScreen, QStringLiteral("the program has no user guide"));
    }
    QStringList seen;
    *target = windowOf(openNamedScreen(frame, name, &seen));
    if (!*target)
        return fail(kNoSuchScreen,
                    QStringLiteral("no screen \"%1\" among those user \"%2\" may open%3")
                        .arg(name, request.user,
                             seen.isEmpty() ? QStringLiteral(" (none)")
                                            : QStringLiteral(": ") + seen.join(QStringLiteral(", "))));
    return kOk;
}

// The window the request names; an exit code other than kOk when it is not shown.
int requestedWindow(const ScreenshotRequest &request, shell::frmMain &frame, QWidget **target)
{
    const QString &name = request.screen;
    int code = kOk;
    if (named(name, "LOGON"))
        *target = frame.logonScreen();
    else if (named(name, "frmLogo") || named(name, "frmLogo2"))
        code = splashWindow(name, frame, target);
    else if (named(name, "frmMain") && request.user.isEmpty())
        *target = &frame;
    else
        code = windowAfterLogon(request, frame, target);
    if (code != kOk)
        return code;
    if (!*target)
        return fail(kNoSuchScreen, QStringLiteral("window \"%1\" is not shown").arg(name));
    return kOk;
}

// --set: the texts of the named controls (the viewer's are its report's values).
int setControls(const ScreenshotRequest &request, QWidget *target)
{
    if (!request.report.isEmpty())
        return kOk;
    for (const auto &[name, text] : request.settings) {
        auto *field = target->findChild<QWidget *>(name);
        if (!field)
            return fail(kNoSuchScreen, QStringLiteral("no control \"%1\" on %2").arg(name, request.screen));
        core::setControlText(field, text);
        settle();
    }
    return kOk;
}

// A list or search that goes on in the background after a click is shown
// whole (within half a minute).
void waitForLists(QWidget *target)
{
    QElapsedTimer waited;
    waited.start();
    const auto running = [target] {
        for (const core::DataSource *source : target->findChildren<core::DataSource *>())
            if (source->isRunning())
                return true;
        return false;
    };
    while (running() && waited.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    settle();
}

// --press: the named buttons, clicked in order.
int pressButtons(const ScreenshotRequest &request, QWidget *target)
{
    for (const QString &press : request.presses) {
        auto *button = target->findChild<QAbstractButton *>(press);
        if (!button)
            return fail(kNoSuchScreen, QStringLiteral("no button \"%1\" on %2").arg(press, request.screen));
        button->click();
        settle();
        waitForLists(target);
    }
    return kOk;
}

// --tab: the page of the screen's tabs.
int showTab(const ScreenshotRequest &request, QWidget *target)
{
    if (request.tab < 0)
        return kOk;
    auto *tabs = target->findChild<QTabWidget *>();
    if (!tabs || request.tab >= tabs->count())
        return fail(kNoSuchScreen, QStringLiteral("%1 has no tab page %2").arg(request.screen).arg(request.tab));
    tabs->setCurrentIndex(request.tab);
    settle();
    return kOk;
}

// --message: the box of the last message, shown so that it can be rendered.
std::unique_ptr<QMessageBox> lastMessageBox(shell::frmMain &frame)
{
    auto *console = dynamic_cast<ConsoleMessageService *>(&frame.context().messages);
    std::unique_ptr<QMessageBox> box = console ? console->lastBox() : nullptr;
    if (box) {
        box->show();
        settle();
    }
    return box;
}

int writePicture(const ScreenshotRequest &request, QWidget *window)
{
    const QPixmap picture = window->grab();
    if (picture.isNull() || !picture.save(request.file, "PNG"))
        return fail(kNotWritten, QStringLiteral("could not write %1").arg(request.file));
    err() << "velm --screenshot: " << request.screen << " written to "
          << QFileInfo(request.file).absoluteFilePath() << Qt::endl;
    return kOk;
}

} // namespace

int runScreenshot(const ScreenshotRequest &request, shell::frmMain &frame)
{
    if (request.frameSize.isValid())
        frame.resize(request.frameSize);
    frame.show();
    settle();
    if (!frame.startUp())
        return fail(kNoStart, QStringLiteral("the program could not start (see the message above)"));
    settle();

    QWidget *target = nullptr;
    if (const int code = requestedWindow(request, frame, &target))
        return code;
    settle();
    for (const auto &step : {setControls, pressButtons, showTab}) {
        if (const int code = step(request, target))
            return code;
    }
    if (!request.message)
        return writePicture(request, target);
    const std::unique_ptr<QMessageBox> box = lastMessageBox(frame);
    if (!box)
        return fail(kNoSuchScreen, QStringLiteral("no message box was shown"));
    return writePicture(request, box.get());
}

ConsoleMessageService::ConsoleMessageService(QString applicationTitle)
    : m_title(std::move(applicationTitle))
{
}

void ConsoleMessageService::show(const QString &text, QWidget *)
{
    err() << "message: " << text << Qt::endl;
    m_last = [title = m_title, text] { return core::makeMessageBox(title, text); };
}

bool ConsoleMessageService::confirm(const QString &text, const QString &title, bool defaultNo,
                                    Icon icon, QWidget *)
{
    err() << "question (answered No): " << text << Qt::endl;
    m_last = [title = title.isEmpty() ? m_title : title, text, defaultNo, icon] {
        return core::makeConfirmBox(title, text, defaultNo, icon);
    };
    return false;
}

std::unique_ptr<QMessageBox> ConsoleMessageService::lastBox() const
{
    return m_last ? m_last() : nullptr;
}

std::optional<QString> NoInputService::ask(const QString &prompt, const QString &,
                                           const QString &, QWidget *)
{
    err() << "input box (cancelled): " << prompt << Qt::endl;
    return std::nullopt;
}

bool NoFileOpener::open(const QString &path)
{
    err() << "file not opened: " << path << Qt::endl;
    return false;
}

} // namespace app
