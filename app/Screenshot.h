#pragma once

#include "Services.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace core {
struct AppContext;
}
namespace logon {
class frmMain;
}

namespace app {

// `velm --screenshot FILE [SCREEN] [--user ID --password PW]`: starts the
// program, renders one window to a PNG file and ends, so that a window can
// be looked at on a machine without a display.
struct ScreenshotRequest {
    QString file;
    QString screen; // LOGON when empty
    QString user;
    QString password;
};

// Reads the command line. No value when --screenshot is absent; `error` is
// set when the screenshot arguments are malformed.
std::optional<ScreenshotRequest> screenshotRequest(const QStringList &arguments, QString *error);

// The usage text of the screenshot mode.
QString screenshotUsage();

// Runs the screenshot; returns the exit code of the program.
int runScreenshot(const ScreenshotRequest &request, logon::frmMain &frame);

// Services for a run without anyone to answer: messages go to standard
// error, questions are answered No, input boxes are cancelled, no file is
// opened.
class ConsoleMessageService : public core::MessageService {
public:
    void show(const QString &text, QWidget *parent = nullptr) override;
    bool confirm(const QString &text, const QString &title, bool defaultNo, Icon icon,
                 QWidget *parent = nullptr) override;
};

class NoInputService : public core::InputService {
public:
    std::optional<QString> ask(const QString &prompt, const QString &title, const QString &initial,
                               QWidget *parent = nullptr) override;
};

class NoFileOpener : public core::FileOpener {
public:
    bool open(const QString &path) override;
};

} // namespace app
