#pragma once

#include "screens/AppContext.h"
#include "logon/LOGON.h"
#include "logon/LogonBackup.h"
#include "shell/MAINMENU.h"
#include "screens/ScreenHost.h"

#include <QMainWindow>
#include <QPointer>

class QLabel;
class QMdiArea;
class QProgressBar;
class QMdiSubWindow;

namespace shell {

// The frame window: every window of the program after the logon lives in
// its multiple-document area. It shows the logon screen, then the main
// menu, and swaps the menu for the screen of a pressed button and back.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    frmMain(core::AppContext &ctx, core::MenuScreens screens, QWidget *parent = nullptr);

    // The first activation: lets pending window events run, then loads and
    // shows the logon screen. False when the program is to end at once
    // (the database cannot be opened); exitCode() says with which code.
    bool startUp();
    int exitCode() const { return m_exitCode; }
    bool ended() const { return m_ended; }

    core::AppContext &context() const { return m_ctx; }
    QMdiArea *mdiArea() const { return m_mdi; }
    logon::LOGON *logonScreen() const { return m_logon; }
    MAINMENU *mainMenu() const { return m_menu; }
    // The screen opened from the menu, while it is open.
    QWidget *currentScreen() const;
    const core::MenuScreens &screens() const { return m_screens; }

    // Loads a new main menu (applying the permissions) and centres it.
    void showMainMenu();
    // Button n of the menu: unloads the menu and shows screen n. False when
    // there is no such screen or one is open already.
    bool openScreen(int number);
    // Ends the program, writing nothing.
    void endProgram(int exitCode);
    // Back to the logon after the database was replaced (a restore): the
    // screen and the menu go, the logon state is emptied, every connection
    // is closed and the logon screen is loaded anew.
    void returnToLogon();

    // The status bar after the logon: who works, on which day, in which
    // data file (another database than the usual one stands out).
    void showWorkingState();
    static QString userText(const core::LogonState &logon);
    static QString dateText(const core::LogonState &logon);
    // usual: the data file is the data folder's own velm.mdb.
    static QString dataFileText(const QString &dbFile, bool usual);
    // The status bar's database part on a server ("HOST/DATABASE").
    static QString serverText(const QString &serverName);
    // The day's dated copy, taken after the logon while the clerk works.
    logon::DailyBackup &dailyBackup() { return *m_dailyBackup; }
    static inline const QString kDailyBackupText = QStringLiteral("جار أخذ نسخة اليوم الاحتياطية");

signals:
    void programEnded(int exitCode);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Makes, loads and shows the logon screen; false when the program ends.
    bool showLogon(bool withSplashes);
    void showSplashes(bool logo2);
    void placeSplashes();
    void keepSplashesInSight();
    void logonSucceeded();
    void startDailyBackup();
    void dailyBackupEnded(const QString &failure);
    void unloadMenu();
    int twips(int value) const;
    QMdiSubWindow *place(QWidget *widget, Qt::WindowFlags flags);
    void centre(QMdiSubWindow *window, int raise);

    core::AppContext &m_ctx;
    core::MenuScreens m_screens;
    QMdiArea *m_mdi;
    QLabel *m_statusUser;
    QLabel *m_statusDate;
    QLabel *m_statusDataFile;
    QLabel *m_statusBackup;
    QProgressBar *m_backupBar;
    logon::DailyBackup *m_dailyBackup;
    QPointer<logon::LOGON> m_logon;
    QPointer<MAINMENU> m_menu;
    QPointer<QMdiSubWindow> m_menuWindow;
    QPointer<QMdiSubWindow> m_screenWindow;
    QPointer<QMdiSubWindow> m_logo;  // frmLogo
    QPointer<QMdiSubWindow> m_logo2; // frmLogo2
    bool m_started = false;
    bool m_ended = false;
    int m_exitCode = 0;
};

} // namespace shell
