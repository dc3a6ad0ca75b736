#include "shell/frmMain.h"

#include "data/HijraDate.h"
#include "logon/LOGON.h"
#include "logon/frmRestore.h"
#include "shell/MAINMENU.h"
#include "shell/MenuIcons.h"
#include "engine/EngineError.h"
#include "shell/frmLogo.h"
#include "shell/frmLogo2.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProgressBar>
#include <QStatusBar>
#include <QScreen>
#include <QStyle>

namespace shell {

frmMain::frmMain(core::AppContext &ctx, core::MenuScreens screens, QWidget *parent)
    : QMainWindow(parent), m_ctx(ctx), m_screens(std::move(screens))
{
    setObjectName(QStringLiteral("frmMain"));
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(QString::fromUtf8(core::kProductTitle));
    m_mdi = new QMdiArea(this);
    m_mdi->setObjectName(QStringLiteral("mdiArea"));
    m_mdi->setBackground(QColor(0xd9, 0xdd, 0xd4));
    // A screen larger than the frame is scrolled to, never cut off.
    m_mdi->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_mdi->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_mdi);
    setWindowIcon(appIcon());

    const auto statusLabel = [this](const char *name) {
        auto *label = new QLabel(this);
        label->setObjectName(QLatin1String(name));
        label->setContentsMargins(6, 0, 6, 0);
        return label;
    };
    m_statusUser = statusLabel("statusUser");
    m_statusDate = statusLabel("statusDate");
    m_statusDataFile = statusLabel("statusDataFile");
    m_statusDataFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->setObjectName(QStringLiteral("statusBar"));
    statusBar()->addWidget(m_statusUser);
    statusBar()->addWidget(m_statusDate);
    statusBar()->addWidget(m_statusDataFile, 1);
    // The day's copy says that it runs, and how far it is.
    m_statusBackup = statusLabel("statusBackup");
    m_statusBackup->setText(kDailyBackupText);
    m_backupBar = new QProgressBar(this);
    m_backupBar->setObjectName(QStringLiteral("dailyBackupProgress"));
    m_backupBar->setRange(0, 100);
    m_backupBar->setTextVisible(false);
    m_backupBar->setMaximumWidth(160);
    m_backupBar->setMaximumHeight(14);
    statusBar()->addPermanentWidget(m_statusBackup);
    statusBar()->addPermanentWidget(m_backupBar);
    m_statusBackup->hide();
    m_backupBar->hide();
    m_dailyBackup = new logon::DailyBackup(this);
    connect(m_dailyBackup, &logon::DailyBackup::progress, m_backupBar, &QProgressBar::setValue);
    connect(m_dailyBackup, &logon::DailyBackup::finished, this, &frmMain::dailyBackupEnded);
    // The splashes keep their places when the frame is sized again (the
    // desktop maximises it only once it is shown).
    m_mdi->viewport()->installEventFilter(this);
    resize(1024, 768);
}

bool frmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_mdi->viewport() && event->type() == QEvent::Resize && (m_logo || m_logo2))
        placeSplashes();
    return QMainWindow::eventFilter(watched, event);
}

QString frmMain::userText(const core::LogonState &logon)
{
    return QStringLiteral("المستخدم: %1").arg(logon.userId);
}

QString frmMain::dateText(const core::LogonState &logon)
{
    const QString hijri = QStringLiteral("%1/%2/%3").arg(logon.WORK_YY, logon.WORK_MM, logon.WORK_DD);
    const std::optional<QString> gregorian = core::hijriToGregorian(
        logon.WORK_YY.toInt(), logon.WORK_MM.toInt(), logon.WORK_DD.toInt());
    // The logon takes day 30 or 31 of any month: such a day has no
    // Gregorian equivalent, and says so rather than showing a wrong one.
    return QStringLiteral("تاريخ العمل: %1 هـ - %2")
        .arg(hijri, gregorian ? *gregorian + QStringLiteral(" م")
                              : QStringLiteral("لا يقابله يوم ميلادي"));
}

QString frmMain::dataFileText(const QString &dbFile, bool usual)
{
    // The path reads left to right inside the Arabic sentence.
    const QString path = QChar(0x2066) + QDir::toNativeSeparators(dbFile) + QChar(0x2069);
    return usual ? QStringLiteral("ملف البيانات: %1").arg(path)
                 : QStringLiteral("قاعدة بيانات أخرى: %1").arg(path);
}

QString frmMain::serverText(const QString &serverName)
{
    // Host and database read left to right inside the Arabic sentence.
    return QStringLiteral("الخادم: %1").arg(QChar(0x2066) + serverName + QChar(0x2069));
}

void frmMain::showWorkingState()
{
    const core::DataStoreConfig &config = m_ctx.store.config();
    m_statusUser->setText(userText(m_ctx.logon));
    m_statusDate->setText(dateText(m_ctx.logon));
    if (config.onServer()) {
        // The connection string may hold a password: only the host and the
        // database the connection reached are shown.
        const QString name = m_ctx.store.isOpen() ? m_ctx.store.db().serverName() : QString();
        m_statusDataFile->setText(serverText(name));
        m_statusDataFile->setToolTip(name);
        m_statusDataFile->setStyleSheet(QString());
        return;
    }
    const QString dbFile = QFileInfo(config.dbFile).absoluteFilePath();
    const QString usualFile = QFileInfo(config.dataDir + QLatin1Char('/') +
                                        QLatin1String(core::kDatabaseFileName))
                                  .absoluteFilePath();
    const bool usual = dbFile == usualFile;
    m_statusDataFile->setText(dataFileText(dbFile, usual));
    m_statusDataFile->setToolTip(dbFile);
    // Work done in another database must never pass for the usual one.
    m_statusDataFile->setStyleSheet(
        usual ? QString()
              : QStringLiteral("QLabel { background: #f3c44b; color: #3a2a00; font-weight: bold; }"));
}

bool frmMain::startUp()
{
    if (m_started)
        return !m_ended;
    m_started = true;
    // Let the frame be laid out and painted before the first window opens.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    return showLogon(true);
}

bool frmMain::showLogon(bool withSplashes)
{
    m_logon = new logon::LOGON(m_ctx, this);
    if (withSplashes)
        connect(m_logon, &logon::LOGON::splashesWanted, this, &frmMain::showSplashes);
    connect(m_logon, &logon::LOGON::loggedOn, this, &frmMain::logonSucceeded);
    connect(m_logon, &logon::LOGON::closeRequested, this, [this] { endProgram(0); });
    connect(m_logon, &logon::LOGON::programEnds, this, &frmMain::endProgram);
    if (!m_logon->load())
        return false;
    m_logon->show();
    keepSplashesInSight();
    m_logon->activateWindow();
    return true;
}

QWidget *frmMain::currentScreen() const
{
    return m_screenWindow ? m_screenWindow->widget() : nullptr;
}

int frmMain::twips(int value) const
{
    return qRound(value * logicalDpiY() / 1440.0);
}

QMdiSubWindow *frmMain::place(QWidget *widget, Qt::WindowFlags flags)
{
    QMdiSubWindow *window = m_mdi->addSubWindow(widget, flags);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    window->adjustSize();
    return window;
}

void frmMain::centre(QMdiSubWindow *window, int raise)
{
    const QSize area = m_mdi->viewport()->size();
    int left = (area.width() - window->width()) / 2;
    const int top = (area.height() - window->height()) / 2 - raise;
    // A frame smaller than the window keeps in sight the top corner where
    // reading starts (the right one in Arabic); the rest is scrolled to.
    if (left < 0) {
        const int scrollBar = window->height() > area.height()
                                  ? style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_mdi)
                                  : 0;
        left = isRightToLeft() ? area.width() - scrollBar - window->width() : 0;
    }
    window->move(left, qMax(0, top));
}

void frmMain::showSplashes(bool logo2)
{
    m_logo = place(new frmLogo, Qt::FramelessWindowHint);
    if (logo2)
        m_logo2 = place(new frmLogo2, Qt::FramelessWindowHint);
    placeSplashes();
}

// frmLogo centred across the frame, 500 twips from its top; frmLogo2
// centred, 3500 twips below the middle, kept inside the frame.
void frmMain::placeSplashes()
{
    const QSize area = m_mdi->viewport()->size();
    if (m_logo)
        m_logo->move(qMax(0, (area.width() - m_logo->width()) / 2), twips(500));
    if (m_logo2) {
        int top = (area.height() - m_logo2->height()) / 2 + twips(3500);
        top = qMax(0, qMin(top, area.height() - m_logo2->height()));
        m_logo2->move(qMax(0, (area.width() - m_logo2->width()) / 2), top);
        m_logo2->show();
    }
    keepSplashesInSight();
}

// The logon stands over the frame, centred on the display, where it may
// hide the splashes. The title splash is never hidden: the logon moves
// down below it (as far as the display allows). The second splash goes
// below the logon when it fits there, and waits hidden otherwise, rather
// than show a strip of itself under the logon box.
void frmMain::keepSplashesInSight()
{
    if (!m_logon || !m_logon->isVisible() || !m_logon->isWindow())
        return;
    const auto onDisplay = [this](const QMdiSubWindow *w) {
        return QRect(m_mdi->viewport()->mapToGlobal(w->pos()), w->size());
    };
    constexpr int gap = 8;
    QRect logon = m_logon->frameGeometry();
    if (m_logo && onDisplay(m_logo).intersects(logon)) {
        const int below = onDisplay(m_logo).bottom() + gap;
        int bottom = below + logon.height();
        if (const QScreen *display = m_logon->screen())
            bottom = qMin(bottom, display->availableGeometry().bottom());
        logon.moveTop(qMax(logon.top(), bottom - logon.height()));
        m_logon->move(m_logon->pos() + QPoint(0, logon.top() - m_logon->frameGeometry().top()));
        logon = m_logon->frameGeometry();
    }
    if (m_logo2 && onDisplay(m_logo2).intersects(logon)) {
        const QPoint below = m_mdi->viewport()->mapFromGlobal(QPoint(0, logon.bottom() + gap));
        if (below.y() + m_logo2->height() <= m_mdi->viewport()->height())
            m_logo2->move(m_logo2->x(), below.y());
        else
            m_logo2->hide();
    }
}

void frmMain::logonSucceeded()
{
    // Unload the logon screen: it is deleted once its handler has returned.
    if (m_logon) {
        m_logon->hide();
        m_logon->deleteLater();
        m_logon = nullptr;
    }
    showWorkingState();
    showMainMenu();
    // The keyboard comes back to the frame the logon window stood over.
    activateWindow();
    startDailyBackup();
}

void frmMain::startDailyBackup()
{
    m_backupBar->setValue(0);
    m_statusBackup->show();
    m_backupBar->show();
    if (!m_dailyBackup->start(m_ctx.store))
        dailyBackupEnded(QString());
}

void frmMain::dailyBackupEnded(const QString &failure)
{
    m_statusBackup->hide();
    m_backupBar->hide();
    // Told once; work goes on without the copy.
    if (!failure.isEmpty() && !m_ended)
        m_ctx.messages.show(failure, this);
}

void frmMain::showMainMenu()
{
    if (m_ended || m_menuWindow || m_screenWindow)
        return;
    auto *menu = new MAINMENU(m_ctx.logon, m_screens);
    connect(menu, &MAINMENU::screenChosen, this, &frmMain::openScreen);
    connect(menu, &MAINMENU::closeRequested, this, [this] { endProgram(0); });
    connect(menu, &MAINMENU::guideRequested, this, [this] {
        if (m_ctx.guide)
            m_ctx.guide->showGuide(QString(), this);
    });
    // No close box: the menu is left through its buttons.
    QMdiSubWindow *window =
        place(menu, Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    window->setWindowTitle(menu->windowTitle());
    centre(window, twips(100));
    m_mdi->setActiveSubWindow(window);
    m_menu = menu;
    m_menuWindow = window;
}

void frmMain::unloadMenu()
{
    if (m_menuWindow) {
        m_menuWindow->close(); // deleted later: this may run inside a menu button's handler
        m_menuWindow = nullptr;
        m_menu = nullptr;
    }
}

bool frmMain::openScreen(int number)
{
    const core::ScreenFactory factory = m_screens.value(number);
    if (!factory || m_screenWindow || m_ended)
        return false;
    unloadMenu();
    // Putting a backup back needs the file to itself: the day's copy gives
    // way (the next logon of the day takes it again).
    if (number == kRestoreButton.number)
        m_dailyBackup->cancel();

    QWidget *screen = nullptr;
    try {
        screen = factory(m_ctx, nullptr);
    } catch (const engine::EngineError &e) {
        m_ctx.messages.show(QStringLiteral("%1 %2").arg(e.number()).arg(e.description()), this);
    }
    if (!screen) {
        showMainMenu();
        return false;
    }
    // A restored backup may hold other users: everybody logs on again.
    if (auto *restore = qobject_cast<logon::frmRestore *>(screen))
        connect(restore, &logon::frmRestore::restored, this, &frmMain::returnToLogon, Qt::QueuedConnection);
    QMdiSubWindow *window = place(screen, Qt::WindowFlags());
    centre(window, 0);
    m_mdi->setActiveSubWindow(window);
    m_screenWindow = window;
    // Closing the screen, by its own button or its window, brings the menu
    // back; the menu is loaded again and so re-applies the permissions.
    connect(window, &QObject::destroyed, this, [this] {
        QMetaObject::invokeMethod(this, &frmMain::showMainMenu, Qt::QueuedConnection);
    });
    return true;
}

void frmMain::returnToLogon()
{
    if (m_ended || m_logon)
        return;
    // The screen that asked goes without bringing the menu back.
    if (m_screenWindow) {
        disconnect(m_screenWindow, &QObject::destroyed, this, nullptr);
        m_screenWindow->close();
        m_screenWindow = nullptr;
    }
    unloadMenu();
    m_dailyBackup->cancel();
    m_ctx.logon = core::LogonState();
    m_ctx.store.setActor(QString());
    m_ctx.store.closeEveryConnection();
    for (QLabel *part : {m_statusUser, m_statusDate, m_statusDataFile}) {
        part->clear();
        part->setToolTip(QString());
        part->setStyleSheet(QString());
    }
    showLogon(false);
}

void frmMain::endProgram(int exitCode)
{
    if (m_ended)
        return;
    m_ended = true;
    m_exitCode = exitCode;
    if (m_logon)
        m_logon->hide();
    emit programEnded(exitCode);
    close();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (!m_ended) {
        m_ended = true;
        m_exitCode = 0;
        if (m_logon)
            m_logon->hide();
        emit programEnded(0);
    }
    event->accept();
}

} // namespace shell
