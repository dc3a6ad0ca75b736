#include "screens/AppContext.h"
#include "data/BackgroundQuery.h"
#include "screens/CmnSub.h"
#include "shell/MenuIcons.h"
#include "data/OpenDb.h"
#include "reports/ReportLauncher.h"
#include "app/Screens.h"
#include "app/Screenshot.h"
#include "screens/Services.h"
#include "screens/UserGuide.h"
#include "app/Startup.h"
#include "shell/frmMain.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTextStream>

#include <cstring>
#include <memory>

namespace {

bool hasArgument(int argc, char **argv, std::initializer_list<const char *> names)
{
    for (int i = 1; i < argc; ++i)
        for (const char *name : names)
            if (std::strcmp(argv[i], name) == 0)
                return true;
    return false;
}

void setIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("velm"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VELM_VERSION));
}

// --help and --version print their text and end; they need no display, so
// they are answered before the window system is touched.
int answerTextOnly(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    setIdentity();
    QCommandLineParser parser;
    app::addCommandLineOptions(parser);
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion(); // ends the program with code 0
    parser.showHelp(0);
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char **argv)
{
    core::BackgroundQuery::useOneMemoryPool();
    if (hasArgument(argc, argv, {"--help", "-h", "-?", "--help-all", "--version", "-v"}))
        return answerTextOnly(argc, argv);

    const bool screenshotMode = hasArgument(argc, argv, {"--screenshot"});
    // A screenshot needs no display: render off screen unless told otherwise.
    if (screenshotMode && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!hasDisplay()) {
        QTextStream(stderr) << "velm: there is no display to show the windows on.\n"
                               "Start it from the desktop, under a virtual display (xvfb-run -a velm),\n"
                               "or render a window to a picture: velm --screenshot FILE [SCREEN]\n";
        return 2;
    }

    QApplication app(argc, argv);
    setIdentity();
    QApplication::setLayoutDirection(Qt::RightToLeft);
    QApplication::setWindowIcon(shell::appIcon());
    app::setArabicFont(app);
    if (!app::loadQtArabic(app))
        QTextStream(stderr) << "velm: Qt's Arabic texts (qtbase_ar.qm, Debian qt6-translations-l10n) "
                               "are not installed; Qt's own menus and dialogs stay in English\n";

    QCommandLineParser parser;
    app::addCommandLineOptions(parser);
    parser.process(app); // a malformed command line is reported and ends the program
    QString argumentError;
    const std::optional<app::ScreenshotRequest> screenshot =
        app::screenshotRequest(parser, &argumentError);
    if (!argumentError.isEmpty()) {
        QTextStream(stderr) << "velm: " << argumentError << "\n" << app::screenshotUsage() << "\n";
        return 2;
    }

    core::DataStore store(QCoreApplication::applicationDirPath());
    const QString title = QString::fromUtf8(core::kProductTitle);
    std::unique_ptr<core::MessageService> messages;
    std::unique_ptr<core::InputService> input;
    std::unique_ptr<core::FileOpener> files;
    std::unique_ptr<core::SaveFileChooser> saveFiles;
    if (screenshot) {
        messages = std::make_unique<app::ConsoleMessageService>(title);
        input = std::make_unique<app::NoInputService>();
        files = std::make_unique<app::NoFileOpener>();
        saveFiles = std::make_unique<app::NoSaveFileChooser>();
    } else {
        messages = std::make_unique<core::QtMessageService>(title);
        input = std::make_unique<core::QtInputService>();
        files = std::make_unique<core::QtFileOpener>();
        saveFiles = std::make_unique<core::QtSaveFileChooser>();
    }
    core::LogonState logon;
    core::CmnSub cmn(store, *messages);
    core::AppContext ctx{store, *messages, *input, *files, logon, cmn};
    ctx.saveFiles = saveFiles.get();
    // One report viewer for the whole program: the catalogue and the person
    // screen show their reports through it.
    reports::ReportLauncher launcher(ctx);
    ctx.reports = &launcher;

    shell::frmMain frame(ctx, app::menuScreens());
    launcher.setWindow(&frame);
    core::UserGuide guide(&frame);
    ctx.guide = &guide;
    if (screenshot)
        return app::runScreenshot(*screenshot, frame);

    // The frame says when the program ends (and with which code); the logon
    // window alone must not end it by being the last one closed.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&frame, &shell::frmMain::programEnded, &app,
                     [](int code) { QCoreApplication::exit(code); });
    frame.showMaximized();
    if (!frame.startUp())
        return frame.exitCode();
    return QApplication::exec();
}
