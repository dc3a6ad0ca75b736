#include "AppContext.h"
#include "CmnSub.h"
#include "OpenDb.h"
#include "Screens.h"
#include "Screenshot.h"
#include "Services.h"
#include "frmMain.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QTextStream>

#include <cstdio>
#include <memory>

namespace {

bool wantsScreenshot(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], "--screenshot") == 0)
            return true;
    return false;
}

// An Arabic face for the whole interface; Latin text falls back per glyph.
void setArabicFont(QApplication &app)
{
    const QStringList families = QFontDatabase::families();
    for (const char *family : {"Noto Naskh Arabic", "Noto Sans Arabic"}) {
        if (families.contains(QLatin1String(family))) {
            QFont font{QString::fromLatin1(family)};
            font.setPointSize(11);
            app.setFont(font);
            return;
        }
    }
}

} // namespace

int main(int argc, char **argv)
{
    // A screenshot needs no display: render off screen unless told otherwise.
    if (wantsScreenshot(argc, argv) && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("velm"));
    QApplication::setLayoutDirection(Qt::RightToLeft);
    setArabicFont(app);

    QString argumentError;
    const std::optional<app::ScreenshotRequest> screenshot =
        app::screenshotRequest(QApplication::arguments(), &argumentError);
    if (!argumentError.isEmpty()) {
        QTextStream(stderr) << "velm: " << argumentError << "\n" << app::screenshotUsage() << "\n";
        return 2;
    }

    core::DataStore store(QCoreApplication::applicationDirPath());
    std::unique_ptr<core::MessageService> messages;
    std::unique_ptr<core::InputService> input;
    std::unique_ptr<core::FileOpener> files;
    if (screenshot) {
        messages = std::make_unique<app::ConsoleMessageService>();
        input = std::make_unique<app::NoInputService>();
        files = std::make_unique<app::NoFileOpener>();
    } else {
        messages = std::make_unique<core::QtMessageService>(QString::fromUtf8(core::kProductTitle));
        input = std::make_unique<core::QtInputService>();
        files = std::make_unique<core::QtFileOpener>();
    }
    core::LogonState logon;
    core::CmnSub cmn(store, *messages);
    core::AppContext ctx{store, *messages, *input, *files, logon, cmn};

    logon::frmMain frame(ctx, app::menuScreens());
    if (screenshot)
        return app::runScreenshot(*screenshot, frame);

    // The frame says when the program ends (and with which code); the logon
    // window alone must not end it by being the last one closed.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&frame, &logon::frmMain::programEnded, &app,
                     [](int code) { QCoreApplication::exit(code); });
    frame.showMaximized();
    if (!frame.startUp())
        return frame.exitCode();
    return QApplication::exec();
}
