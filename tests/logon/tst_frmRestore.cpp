#include "support/FrameWorld.h"

#include "data/Backups.h"
#include "logon/LogonBackup.h"
#include "logon/frmRestore.h"
#include "support/TestMain.h"

#include <QDir>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>

using testsupport::TempDataFolder;

namespace {

const QString kKey = core::passwordFromConnect(QLatin1String(core::kConnectString));

core::MenuScreens restoreScreens()
{
    core::MenuScreens screens;
    screens.insert(shell::kRestoreButton.number, [](core::AppContext &ctx, QWidget *parent) -> QWidget * {
        return logon::frmRestore::open(ctx, parent);
    });
    return screens;
}

qint64 personsIn(const QString &file)
{
    engine::Database db;
    db.open(file, kKey);
    return db.scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong();
}

// A register of three persons whose user logged on (which took the backups),
// and a fourth person written after that.
struct RestoreWorld : FrameWorld {
    bool start(const QList<int> &granted = TempDataFolder::allPermissions())
    {
        prepare([&](engine::Database &db) {
            TempDataFolder::addUser(db, QStringLiteral("admin"), QStringLiteral("pw"), QStringLiteral("مدير"), granted);
            for (const char *n : {"1", "2", "3"})
                TempDataFolder::addPerson(db, QLatin1String(n));
        });
        if (!startFrame(restoreScreens()) || !logOnAs(QStringLiteral("admin"), QStringLiteral("pw")))
            return false;
        // The day's copy, taken beside the work after the logon.
        const QString dated = logon::datedBackupPath(store, QDate::currentDate());
        if (!QTest::qWaitFor([&] { return QFileInfo::exists(dated) && !frame->dailyBackup().isRunning(); }, 60000))
            return false;
        TempDataFolder::addPerson(store.db(), QStringLiteral("4"));
        return true;
    }

    logon::frmRestore *openRestore()
    {
        QToolButton *tile = frame->mainMenu()->button(shell::kRestoreButton.number);
        if (!tile || !tile->isEnabled())
            return nullptr;
        QTest::mouseClick(tile, Qt::LeftButton);
        return qobject_cast<logon::frmRestore *>(frame->currentScreen());
    }

    qint64 persons() const { return folder.openOtherConnection()->scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong(); }
};

QTableWidget *listOf(logon::frmRestore *screen)
{
    return control<QTableWidget>(screen, "backupList");
}

// A click on a row of the list.
void choose(QTableWidget *list, int row)
{
    const QRect cell = list->visualItemRect(list->item(row, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

} // namespace

class TestFrmRestore : public QObject {
    Q_OBJECT

private slots:
    void listsTheCopiesWithTheirPersons();
    void restoreAndLogOnAgain();
    void refusedWhileAnotherWorkstationHasTheFileOpen();
    void onlyForTheUsersScreensPermission();
};

void TestFrmRestore::listsTheCopiesWithTheirPersons()
{
    RestoreWorld w;
    QVERIFY(w.start());
    logon::frmRestore *screen = w.openRestore();
    QVERIFY(screen);
    QTableWidget *list = listOf(screen);
    // The logon took the one-time copy and today's.
    QCOMPARE(list->rowCount(), 2);
    QStringList kinds;
    for (int row = 0; row < list->rowCount(); ++row) {
        kinds << list->item(row, 1)->text();
        QTRY_COMPARE(list->item(row, 3)->text(), QStringLiteral("3"));
        QVERIFY(list->item(row, 2)->text().endsWith(QStringLiteral("ميغابايت")));
        QVERIFY(list->item(row, 0)->text().contains(QStringLiteral(" هـ - ")));
    }
    kinds.sort();
    QCOMPARE(kinds, (QStringList{logon::frmRestore::kindCaption(core::backups::BackupFile::Kind::LogonCopy),
                                 logon::frmRestore::kindCaption(core::backups::BackupFile::Kind::Dated)}));
    // A copy that does not open says so instead of a number.
    QFile broken(core::backups::folderOf(w.store.config().dataDir) + QStringLiteral("/velm-2001-01-01.mdb"));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(QByteArray(4096, 'x'));
    broken.close();
    QTest::mouseClick(control<QPushButton>(screen, "refresh"), Qt::LeftButton);
    QCOMPARE(list->rowCount(), 3);
    QTRY_COMPARE(list->item(0, 3)->text(), logon::frmRestore::kUnreadable); // written last: first
}

void TestFrmRestore::restoreAndLogOnAgain()
{
    RestoreWorld w;
    QVERIFY(w.start());
    logon::frmRestore *screen = w.openRestore();
    QVERIFY(screen);
    QTableWidget *list = listOf(screen);
    int dated = -1;
    for (int row = 0; row < list->rowCount(); ++row)
        if (screen->copies().at(row).kind == core::backups::BackupFile::Kind::Dated)
            dated = row;
    QVERIFY(dated >= 0);
    choose(list, dated);
    QCOMPARE(list->currentRow(), dated);

    if (w.folder.onServer()) {
        // On a server the copy goes back with velm-migrate, as the screen says.
        QTest::mouseClick(control<QPushButton>(screen, "cmdRestore"), Qt::LeftButton);
        QCOMPARE(w.messages.confirmCount(), 0);
        QVERIFY(w.messages.lastShown().contains(QStringLiteral("velm-migrate")));
        QVERIFY(w.messages.lastShown().contains(screen->copies().at(dated).path));
        QVERIFY(w.messages.lastShown().contains(QStringLiteral("--replace")));
        QCOMPARE(w.persons(), 4);
        return;
    }
    // No: nothing happens.
    w.messages.queueAnswer(false);
    QTest::mouseClick(control<QPushButton>(screen, "cmdRestore"), Qt::LeftButton);
    QCOMPARE(w.messages.confirmCount(), 1);
    QCOMPARE(w.frame->currentScreen(), screen);
    QCOMPARE(w.persons(), 4);
    w.messages.queueAnswer(true);
    QTest::mouseClick(control<QPushButton>(screen, "cmdRestore"), Qt::LeftButton);
    QVERIFY(w.messages.lastConfirmation().defaultNo);
    QVERIFY(w.messages.lastConfirmation().text.contains(QStringLiteral("velm-before-restore-")));
    // Back at the logon, the database closed and the state emptied.
    QTRY_VERIFY(w.frame->logonScreen() != nullptr);
    QVERIFY(w.messages.lastShown().startsWith(QStringLiteral("تمت استعادة النسخة (3 شخص)")));
    QVERIFY(!w.frame->mainMenu());
    QVERIFY(!w.frame->currentScreen());
    QVERIFY(w.logon.userId.isEmpty());

    QVERIFY(w.logOnAs(QStringLiteral("admin"), QStringLiteral("pw")));
    QCOMPARE(w.persons(), 3);
    const QStringList kept = QDir(w.store.config().dataDir).entryList({QStringLiteral("velm-before-restore-*.mdb")});
    QCOMPARE(kept.size(), 1);
    QCOMPARE(personsIn(w.store.config().dataDir + QLatin1Char('/') + kept.first()), 4);
    // The database set aside is offered by the next restore.
    screen = w.openRestore();
    QVERIFY(screen);
    QCOMPARE(screen->copies().first().kind, core::backups::BackupFile::Kind::BeforeRestore);
}

void TestFrmRestore::refusedWhileAnotherWorkstationHasTheFileOpen()
{
    RestoreWorld w;
    QVERIFY(w.start());
    if (w.folder.onServer())
        QSKIP("about the file: on a server the restore goes through velm-migrate");
    const auto other = w.folder.openOtherConnection();
    logon::frmRestore *screen = w.openRestore();
    QVERIFY(screen);
    choose(listOf(screen), 0);
    w.messages.queueAnswer(true);
    QTest::mouseClick(control<QPushButton>(screen, "cmdRestore"), Qt::LeftButton);
    QTRY_COMPARE(w.messages.lastShown(), logon::frmRestore::kInUse);
    // Nothing changed: the clerk works on with the database as it was.
    QCOMPARE(w.frame->currentScreen(), screen);
    QVERIFY(w.store.isOpen());
    QCOMPARE(w.store.db().scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toInt(), 4);
    QVERIFY(QDir(w.store.config().dataDir).entryList({QStringLiteral("velm-before-restore-*")}).isEmpty());
    QVERIFY(control<QPushButton>(screen, "cmdRestore")->isEnabled());
}

void TestFrmRestore::onlyForTheUsersScreensPermission()
{
    RestoreWorld w;
    QVERIFY(w.start({1, 2, 3}));
    QToolButton *tile = w.frame->mainMenu()->button(shell::kRestoreButton.number);
    QVERIFY(tile);
    QCOMPARE(tile->objectName(), QStringLiteral("restorex"));
    QVERIFY(!tile->isEnabled());
    QCOMPARE(tile->toolTip(), shell::MAINMENU::kNoPermissionTip);
    QVERIFY(!logon::frmRestore::open(w.ctx));
    QCOMPARE(w.messages.lastShown(), logon::frmRestore::kNoPermission);
}

VELM_TEST_MAIN(TestFrmRestore)
#include "tst_frmRestore.moc"
