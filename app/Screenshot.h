#pragma once

#include "screens/Services.h"

#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class QCommandLineParser;
class QMessageBox;

namespace core {
struct AppContext;
}
namespace shell {
class frmMain;
}

namespace app {

// `velm --screenshot FILE [SCREEN] [--user ID --password PW] [--set CONTROL=TEXT]...
// [--press BUTTON]... [--tab N] [--size WxH] [--message]`: starts the
// program, renders one window to a PNG file and ends, so that a window can
// be looked at on a machine without a display. The controls named by --set
// receive their texts, then the buttons named by --press are clicked, in
// order, then page N of the screen's tabs is shown, before the screen is
// rendered; with --message the last message box they raised is rendered
// instead of the screen. --size gives the frame window's size (the size of
// the display the screen must fit).
//
// `velm --screenshot FILE frmPrint --report NAME [--set PARAMETER=VALUE]...
// [--press BUTTON]... [--size WxH]` shows the report NAME in its viewer,
// with the values of its parameters (tamrel_no, from_date ...) given by
// --set, waits until every page is laid out, clicks the viewer's buttons
// (cmdLast, cmdFitPage ...) and renders the viewer, of the size given.
struct ScreenshotRequest {
    QString file;
    QString screen; // LOGON when empty
    QString user;
    QString password;
    QList<std::pair<QString, QString>> settings; // control, text
    QStringList presses;
    int tab = -1;
    QSize frameSize;
    bool message = false;
    QString report; // frmPrint: the report to show
};

// The program's options: --help, --version and the screenshot mode.
void addCommandLineOptions(QCommandLineParser &parser);

// The screenshot request of a parsed command line. No value when
// --screenshot is absent; `error` is set when the arguments are malformed.
std::optional<ScreenshotRequest> screenshotRequest(const QCommandLineParser &parser, QString *error);

// The usage text of the screenshot mode.
QString screenshotUsage();

// Runs the screenshot; returns the exit code of the program.
int runScreenshot(const ScreenshotRequest &request, shell::frmMain &frame);

// Services for a run without anyone to answer: messages go to standard
// error, questions are answered No, input boxes are cancelled, no file is
// opened.
class ConsoleMessageService : public core::MessageService {
public:
    explicit ConsoleMessageService(QString applicationTitle = {});
    void show(const QString &text, QWidget *parent = nullptr) override;
    bool confirm(const QString &text, const QString &title, bool defaultNo, Icon icon,
                 QWidget *parent = nullptr) override;
    // The box the last message would have been shown in; null when none.
    std::unique_ptr<QMessageBox> lastBox() const;

private:
    QString m_title;
    std::function<std::unique_ptr<QMessageBox>()> m_last;
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

// A screenshot writes no file: every question for one is cancelled.
class NoSaveFileChooser : public core::SaveFileChooser {
public:
    std::optional<Choice> choose(const QString &, const QString &, const QStringList &, int, QWidget *) override
    {
        return std::nullopt;
    }
};

} // namespace app
