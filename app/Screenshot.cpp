#include "Screenshot.h"

#include "LOGON.h"
#include "MAINMENU.h"
#include "ScreenHost.h"
#include "frmMain.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEvent>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPixmap>
#include <QTextStream>
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
bool logOn(logon::frmMain &frame, const ScreenshotRequest &request)
{
    logon::LOGON *screen = frame.logonScreen();
    if (!screen)
        return false;
    if (screen->offersFirstUser()) {
        err() << "velm --screenshot: the database has no user yet; creating user \""
              << request.user << "\" with every permission" << Qt::endl;
        control<QLineEdit>(screen, "FIRST_USERID_TEXT")->setText(request.user);
        control<QLineEdit>(screen, "FIRST_PASSWORD_TEXT")->setText(request.password);
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
QWidget *openNamedScreen(logon::frmMain &frame, const QString &name, QStringList *seen)
{
    auto press = [&frame](int number) -> QWidget * {
        logon::MAINMENU *menu = frame.mainMenu();
        QToolButton *button = menu ? menu->button(number) : nullptr;
        if (!button || !button->isEnabled())
            return nullptr;
        button->click();
        settle();
        return frame.currentScreen();
    };
    for (const logon::MenuButton &b : logon::kMenuButtons) {
        if (name.compare(QLatin1String(b.name), Qt::CaseInsensitive) == 0)
            return press(b.number);
    }
    for (const logon::MenuButton &b : logon::kMenuButtons) {
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
        "velm --screenshot FILE [SCREEN] [--user ID --password PW]\n"
        "  Renders one window to the PNG file FILE and ends (no display needed).\n"
        "  SCREEN: LOGON (the default), frmLogo, frmLogo2, MAINMENU, frmMain, or a\n"
        "  screen of the main menu by its name or its button's name (e.g. showdata).\n"
        "  Every window after the logon needs --user and --password; a database\n"
        "  without users gets that user as its first user, with every permission.");
}

std::optional<ScreenshotRequest> screenshotRequest(const QStringList &arguments, QString *error)
{
    const int at = arguments.indexOf(QStringLiteral("--screenshot"));
    if (at < 0)
        return std::nullopt;
    ScreenshotRequest request;
    QStringList rest = arguments.mid(at + 1);
    auto takeValue = [&](const QString &option, QString *into) {
        if (rest.isEmpty() || rest.first().startsWith(QLatin1String("--"))) {
            *error = QStringLiteral("%1 needs a value").arg(option);
            return false;
        }
        *into = rest.takeFirst();
        return true;
    };
    if (!takeValue(QStringLiteral("--screenshot"), &request.file))
        return request;
    while (!rest.isEmpty()) {
        const QString arg = rest.takeFirst();
        if (arg == QLatin1String("--user")) {
            if (!takeValue(arg, &request.user))
                return request;
        } else if (arg == QLatin1String("--password")) {
            if (!takeValue(arg, &request.password))
                return request;
        } else if (arg.startsWith(QLatin1String("--")) || !request.screen.isEmpty()) {
            *error = QStringLiteral("unexpected argument \"%1\"").arg(arg);
            return request;
        } else {
            request.screen = arg;
        }
    }
    if (request.screen.isEmpty())
        request.screen = QStringLiteral("LOGON");
    return request;
}

int runScreenshot(const ScreenshotRequest &request, logon::frmMain &frame)
{
    frame.show();
    settle();
    if (!frame.startUp())
        return fail(kNoStart, QStringLiteral("the program could not start (see the message above)"));
    settle();

    const QString &name = request.screen;
    QWidget *target = nullptr;
    if (name.compare(QLatin1String("LOGON"), Qt::CaseInsensitive) == 0) {
        target = frame.logonScreen();
    } else if (name.compare(QLatin1String("frmLogo"), Qt::CaseInsensitive) == 0 ||
               name.compare(QLatin1String("frmLogo2"), Qt::CaseInsensitive) == 0) {
        const QString exact = name.endsWith(QLatin1Char('2')) ? QStringLiteral("frmLogo2")
                                                              : QStringLiteral("frmLogo");
        target = frame.findChild<QWidget *>(exact);
        if (!target)
            return fail(kNoSuchScreen, QStringLiteral("%1 is not shown (line 1 of db_path decides "
                                                      "whether frmLogo2 is)").arg(exact));
        target = windowOf(target);
    } else if (name.compare(QLatin1String("frmMain"), Qt::CaseInsensitive) == 0 &&
               request.user.isEmpty()) {
        target = &frame;
    } else {
        if (request.user.isEmpty())
            return fail(kUsage, QStringLiteral("%1 is shown after the logon: give --user ID "
                                               "--password PW").arg(name));
        if (!logOn(frame, request))
            return fail(kLogonRefused, QStringLiteral("the logon of \"%1\" was refused (see the "
                                                      "message above)").arg(request.user));
        if (name.compare(QLatin1String("MAINMENU"), Qt::CaseInsensitive) == 0) {
            target = windowOf(frame.mainMenu());
        } else if (name.compare(QLatin1String("frmMain"), Qt::CaseInsensitive) == 0) {
            target = &frame;
        } else {
            QStringList seen;
            target = windowOf(openNamedScreen(frame, name, &seen));
            if (!target)
                return fail(kNoSuchScreen,
                            QStringLiteral("no screen \"%1\" among those user \"%2\" may open%3")
                                .arg(name, request.user,
                                     seen.isEmpty() ? QStringLiteral(" (none)")
                                                    : QStringLiteral(": ") +
                                                          seen.join(QStringLiteral(", "))));
        }
    }
    if (!target)
        return fail(kNoSuchScreen, QStringLiteral("window \"%1\" is not shown").arg(name));

    settle();
    const QPixmap picture = target->grab();
    if (picture.isNull() || !picture.save(request.file, "PNG"))
        return fail(kNotWritten, QStringLiteral("could not write %1").arg(request.file));
    err() << "velm --screenshot: " << name << " written to "
          << QFileInfo(request.file).absoluteFilePath() << Qt::endl;
    return kOk;
}

void ConsoleMessageService::show(const QString &text, QWidget *)
{
    err() << "message: " << text << Qt::endl;
}

bool ConsoleMessageService::confirm(const QString &text, const QString &, bool, Icon, QWidget *)
{
    err() << "question (answered No): " << text << Qt::endl;
    return false;
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
