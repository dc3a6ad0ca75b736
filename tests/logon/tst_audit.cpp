#include "logon/SECURITY.h"
#include "logon/frmAudit.h"

#include "support/FrameWorld.h"
#include "support/ScreenWorld.h"
#include "support/TestMain.h"

#include "data/AuditTrail.h"
#include "data/HijraDate.h"
#include "engine/Database.h"
#include "screens/DateSelector.h"

#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QTableWidget>
#include <QToolButton>

#include <memory>

using logon::frmAudit;

namespace {

// A moment at local noon `daysAgo` days back, as changed_at stores it.
QString noonUtc(int daysAgo)
{
    const QDateTime local(QDate::currentDate().addDays(-daysAgo), QTime(12, 0));
    return local.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + QLatin1Char('Z');
}

struct Row {
    int daysAgo;
    const char *user;
    const char *table;
    const char *key;
    const char *action;
    const char *changes;
};

// Written in this order: audit_id 1..10.
const Row kRows[] = {
    {9, "admin", "tamrel", "5", "add", R"([{"field":"tamrel_no","new":"5"},{"field":"a_new_name","new":"عبدالله"}])"},
    {8, "clerk", "followUp", "5/1", "add", R"([{"field":"step","new":1}])"},
    {7, "Clerk", "tamrel", "50", "add", R"([{"field":"tamrel_no","new":"50"}])"},
    {6, "clerk", "followUp", "51/2", "add", "[]"},
    {5, "admin", "users", "clerk", "update",
     R"([{"field":"PASSWORD","changed":true},{"field":"NAME","old":"كاتب","new":"كاتب أول"}])"},
    {4, "CLERK", "tamrel", "5", "update",
     R"([{"field":"a_new_name","old":"عبدالله","new":"عبد الله"},{"field":"no_boys","old":null,"new":2}])"},
    {3, "admin", "tamrel", "6", "add", R"([{"field":"tamrel_no","new":"6"}])"},
    {2, "admin", "followUp", "5/2", "delete", R"([{"field":"tamrel_no","old":"5"},{"field":"step","old":2}])"},
    {1, "clerk", "tamrel", "5", "update", R"([{"field":"comments","old":"","new":"زار المكتب"}])"},
    {0, "admin", "users", "admin", "update", R"([{"field":"PASSWORD","changed":true}])"},
};

struct Fixture : testsupport::ScreenWorld {
    std::unique_ptr<frmAudit> screen;

    Fixture(const QList<int> &granted = {8})
    {
        for (int n = 1; n <= core::kPermissionCount; ++n)
            logon.PERMISSION[n - 1] = granted.contains(n) ? 1 : 0;
        for (const Row &r : kRows)
            store.db().execute(QStringLiteral("INSERT INTO audit (changed_at, user_id, workstation, table_name, "
                                              "record_key, action, changes) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                               {noonUtc(r.daysAgo), QString::fromUtf8(r.user), QStringLiteral("PC-1"),
                                QString::fromUtf8(r.table), QString::fromUtf8(r.key), QString::fromUtf8(r.action),
                                QString::fromUtf8(r.changes)});
    }

    bool open()
    {
        screen.reset(frmAudit::open(ctx));
        return screen != nullptr;
    }
    template <typename T>
    T *find(const QString &name) const
    {
        return testsupport::control<T>(screen.get(), name);
    }
    core::DataGrid *grid() const { return find<core::DataGrid>(QStringLiteral("grdAudit")); }
    QTableWidget *changes() const { return find<QTableWidget>(QStringLiteral("grdChanges")); }

    // The audit_id of every listed row, top to bottom.
    QList<int> listed() const
    {
        core::QueryModel *model = grid()->dataSource()->model();
        while (model->canFetchMore())
            model->fetchMore();
        QList<int> ids;
        const int id = model->fieldIndex(QStringLiteral("audit_id"));
        for (int r = 0; r < model->rowCount(); ++r)
            ids << model->value(r, id).toInt();
        return ids;
    }
    QStringList changeRow(int row) const
    {
        QStringList cells;
        for (int c = 0; c < 3; ++c)
            cells << (changes()->item(row, c) ? changes()->item(row, c)->text() : QString());
        return cells;
    }
    // Chooses the Hijri day of the local date `daysAgo` back in a selector.
    void pickDay(const QString &prefix, int daysAgo)
    {
        const core::HijriDay d = core::hijriOf(QDate::currentDate().addDays(-daysAgo));
        testsupport::pick(find<QComboBox>(prefix + QStringLiteral("Year")), d.yyyy);
        testsupport::pick(find<QComboBox>(prefix + QStringLiteral("Month")), d.mm);
        testsupport::pick(find<QComboBox>(prefix + QStringLiteral("Day")), d.dd);
    }
};

} // namespace

class TstAudit : public QObject {
    Q_OBJECT

private slots:
    void listsNewestFirstInArabic()
    {
        Fixture f;
        QVERIFY(f.open());
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.screen->windowTitle(), QStringLiteral("سجل التعديلات"));
        QCOMPARE(f.listed(), QList<int>({10, 9, 8, 7, 6, 5, 4, 3, 2, 1}));
        core::DataGrid *grid = f.grid();
        const QStringList headings{"الوقت", "المستخدم", "العملية", "الجدول", "رقم السجل", "الجهاز"};
        QCOMPARE(grid->columnCount(), headings.size());
        for (int c = 0; c < headings.size(); ++c)
            QCOMPARE(grid->heading(c), headings.at(c));
        // Row 2 is audit row 8: two days back, a deleted follow-up step.
        const QDateTime at = QDateTime(QDate::currentDate().addDays(-2), QTime(12, 0));
        QCOMPARE(grid->shownText(2, 0), core::localDateTimeText(at));
        QVERIFY(grid->shownText(2, 0).contains(core::gregorianToHijri(at.date()) + QStringLiteral(" هـ")));
        QVERIFY(grid->shownText(2, 0).endsWith(QStringLiteral(" - 12:00:00")));
        QCOMPARE(grid->shownText(2, 1), QStringLiteral("admin"));
        QCOMPARE(grid->shownText(2, 2), QStringLiteral("حذف"));
        QCOMPARE(grid->value(2, 2), QStringLiteral("delete")); // the stored value stays at hand
        QCOMPARE(grid->shownText(2, 3), QStringLiteral("متابعة الأنشطة"));
        QCOMPARE(grid->shownText(2, 4), QStringLiteral("5/2"));
        QCOMPARE(grid->shownText(2, 5), QStringLiteral("PC-1"));
        QCOMPARE(grid->shownText(0, 2), QStringLiteral("تعديل"));
        QCOMPARE(grid->shownText(9, 2), QStringLiteral("إضافة"));
    }

    void filters_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("user");
        QTest::addColumn<int>("fromDaysAgo"); // -1: no date
        QTest::addColumn<int>("toDaysAgo");
        QTest::addColumn<QList<int>>("expected");
        using L = QList<int>;
        QTest::newRow("table") << "ملف Tamrel" << "" << "" << -1 << -1 << L{9, 7, 6, 3, 1};
        // A record finds itself and the rows below it, never 50 or 51/2.
        QTest::newRow("record and its steps") << "" << "5" << "" << -1 << -1 << L{9, 8, 6, 2, 1};
        QTest::newRow("key with blanks") << "" << " 5 " << "" << -1 << -1 << L{9, 8, 6, 2, 1};
        QTest::newRow("table and record") << "متابعة الأنشطة" << "5" << "" << -1 << -1 << L{8, 2};
        QTest::newRow("a step only") << "" << "5/2" << "" << -1 << -1 << L{8};
        QTest::newRow("user, case ignored") << "" << "" << "clerk" << -1 << -1 << L{9, 6, 4, 3, 2};
        QTest::newRow("user is exact") << "" << "" << "cler" << -1 << -1 << L{};
        QTest::newRow("user wildcard is a letter") << "" << "" << "%" << -1 << -1 << L{};
        QTest::newRow("from") << "" << "" << "" << 2 << -1 << L{10, 9, 8};
        QTest::newRow("to") << "" << "" << "" << -1 << 7 << L{3, 2, 1};
        QTest::newRow("one day") << "" << "" << "" << 4 << 4 << L{6};
        QTest::newRow("everything") << "ملف Tamrel" << "5" << "CLERK" << 5 << 0 << L{9, 6};
        QTest::newRow("nothing there") << "الشهود" << "" << "" << -1 << -1 << L{};
    }

    void filters()
    {
        QFETCH(QString, table);
        QFETCH(QString, key);
        QFETCH(QString, user);
        QFETCH(int, fromDaysAgo);
        QFETCH(int, toDaysAgo);
        QFETCH(QList<int>, expected);
        Fixture f;
        QVERIFY(f.open());
        if (!table.isEmpty())
            testsupport::pick(f.find<QComboBox>(QStringLiteral("cboTable")), table);
        f.find<QLineEdit>(QStringLiteral("txtRecordKey"))->setText(key);
        f.find<QLineEdit>(QStringLiteral("txtUser"))->setText(user);
        if (fromDaysAgo >= 0)
            f.pickDay(QStringLiteral("cboFrom"), fromDaysAgo);
        if (toDaysAgo >= 0)
            f.pickDay(QStringLiteral("cboTo"), toDaysAgo);
        // Enter in the user box runs the search, as the button does.
        QTest::keyClick(f.find<QLineEdit>(QStringLiteral("txtUser")), Qt::Key_Return);
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.listed(), expected);
        if (fromDaysAgo >= 0) // the chosen Hijri day beside its Gregorian one
            QCOMPARE(f.find<QLineEdit>(QStringLiteral("txtFromGregorian"))->text(),
                     QDate::currentDate().addDays(-fromDaysAgo).toString(QStringLiteral("yyyy/MM/dd")));
        // Clearing lists everything again.
        testsupport::click(f.screen.get(), QStringLiteral("cmdClear"));
        QCOMPARE(f.listed().size(), 10);
        QVERIFY(f.find<QLineEdit>(QStringLiteral("txtFromGregorian"))->text().isEmpty());
    }

    void theKeysOfEveryScreen()
    {
        Fixture f;
        QVERIFY(f.open());
        f.screen->show();
        QVERIFY(QTest::qWaitForWindowExposed(f.screen.get()));
        QLineEdit *key = f.find<QLineEdit>(QStringLiteral("txtRecordKey"));
        key->setText(QStringLiteral("5/2"));
        QTest::keyClick(key, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(f.listed(), QList<int>({8}));
        QTest::keyClick(key, Qt::Key_E, Qt::ControlModifier);
        QVERIFY(key->text().isEmpty());
        QCOMPARE(f.listed().size(), 10);
        QTest::keyClick(f.grid(), Qt::Key_Escape);
        QVERIFY(!f.screen->isVisible());
    }

    // On millions of rows the first ones show at once only when the rows
    // come newest first as read: a filter keeping many rows must never
    // gather them all to sort them first.
    void wideFiltersAreNeverSortedFirst_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("user");
        QTest::addColumn<int>("fromDaysAgo");
        QTest::addColumn<int>("toDaysAgo");
        QTest::newRow("everything") << "" << "" << -1 << -1;
        QTest::newRow("table") << "tamrel" << "" << -1 << -1;
        QTest::newRow("user") << "" << "clerk" << -1 << -1;
        QTest::newRow("from") << "" << "" << 30 << -1;
        QTest::newRow("span") << "" << "" << 200 << 170;
        QTest::newRow("table, user and days") << "followUp" << "omar" << 30 << 0;
    }

    void wideFiltersAreNeverSortedFirst()
    {
        QFETCH(QString, table);
        QFETCH(QString, user);
        QFETCH(int, fromDaysAgo);
        QFETCH(int, toDaysAgo);
        if (testsupport::testOnServer())
            QSKIP("reads the file engine's query plan; the server plans by its own statistics");
        Fixture f;
        const QDate today = QDate::currentDate();
        const core::BoundQuery q = core::AuditTrail::viewerQuery(
            {table, QString(), user, fromDaysAgo < 0 ? QDate() : today.addDays(-fromDaysAgo),
             toDaysAgo < 0 ? QDate() : today.addDays(-toDaysAgo)});
        engine::Statement plan(f.store.db(), QStringLiteral("EXPLAIN QUERY PLAN ") + q.sql);
        plan.bind(q.values);
        QStringList steps;
        while (plan.step())
            steps << plan.value(plan.columnCount() - 1).toString();
        QVERIFY2(!steps.join(QLatin1Char(';')).contains(QStringLiteral("TEMP B-TREE")), qPrintable(steps.join(';')));
    }

    void aHalfChosenDateIsRefused()
    {
        Fixture f;
        QVERIFY(f.open());
        testsupport::pick(f.find<QComboBox>(QStringLiteral("cboToYear")),
                          core::hijriOf(QDate::currentDate()).yyyy);
        testsupport::click(f.screen.get(), QStringLiteral("cmdSearch"));
        QCOMPARE(f.messages.lastShown(), frmAudit::kIncompleteDate);
        QCOMPARE(f.listed().size(), 10); // the list stays as it was
    }

    void aChosenRowShowsItsChanges()
    {
        Fixture f;
        QVERIFY(f.open());
        QTableWidget *changes = f.changes();
        QCOMPARE(changes->horizontalHeaderItem(0)->text(), QStringLiteral("الحقل"));
        QCOMPARE(changes->horizontalHeaderItem(1)->text(), QStringLiteral("القيمة السابقة"));
        QCOMPARE(changes->horizontalHeaderItem(2)->text(), QStringLiteral("القيمة الجديدة"));
        QCOMPARE(changes->editTriggers(), QAbstractItemView::NoEditTriggers);
        // The first row is chosen as the list shows: admin's password.
        QCOMPARE(changes->rowCount(), 1);
        QCOMPARE(f.changeRow(0), QStringList({"PASSWORD", "", frmAudit::kPasswordChanged}));

        using Cells = QList<QStringList>;
        const QList<std::pair<int, Cells>> cases{
            {5, Cells{{"PASSWORD", "", frmAudit::kPasswordChanged}, {"NAME", "كاتب", "كاتب أول"}}},
            {4, Cells{{"a_new_name", "عبدالله", "عبد الله"}, {"no_boys", "", "2"}}},
            {2, Cells{{"tamrel_no", "5", ""}, {"step", "2", ""}}},
            {9, Cells{{"tamrel_no", "", "5"}, {"a_new_name", "", "عبدالله"}}},
            {6, Cells{}},
        };
        for (const auto &[row, expected] : cases) {
            QVERIFY(f.grid()->setCurrentRow(row));
            QCOMPARE(changes->rowCount(), expected.size());
            for (int i = 0; i < expected.size(); ++i)
                QCOMPARE(f.changeRow(i), expected.at(i));
        }
        // A filter that keeps nothing leaves no change shown.
        f.find<QLineEdit>(QStringLiteral("txtRecordKey"))->setText(QStringLiteral("999"));
        testsupport::click(f.screen.get(), QStringLiteral("cmdSearch"));
        QCOMPARE(f.listed(), QList<int>());
        QCOMPARE(changes->rowCount(), 0);
    }

    void refusedWithoutTheUsersPermission()
    {
        Fixture f({1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14});
        QVERIFY(!f.open());
        QCOMPARE(f.messages.lastShown(), frmAudit::kNoPermission);
    }

    void openedFromTheUsersScreen()
    {
        Fixture f;
        logon::SECURITY users(f.ctx);
        auto *button = testsupport::control<QPushButton>(&users, QStringLiteral("cmdAudit"));
        QCOMPARE(button->text(), QStringLiteral("سجل التعديلات"));
        button->click();
        auto *viewer = users.findChild<frmAudit *>(QStringLiteral("frmAudit"));
        QVERIFY(viewer);
        QVERIFY(viewer->isWindow());
        button->click(); // the same window again, not a second one
        QCOMPARE(users.findChildren<frmAudit *>().size(), 1);
        // Taken away between opening the users screen and pressing the button.
        f.logon.PERMISSION[7] = 0;
        viewer->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        button->click();
        QCOMPARE(users.findChildren<frmAudit *>().size(), 0);
        QCOMPARE(f.messages.lastShown(), frmAudit::kNoPermission);
    }

    void theMenuButtonFollowsTheUsersPermission_data()
    {
        QTest::addColumn<QList<int>>("granted");
        QTest::addColumn<bool>("opens");
        QTest::newRow("users screen") << QList<int>{8} << true;
        QTest::newRow("every other") << QList<int>{1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14} << false;
    }

    void theMenuButtonFollowsTheUsersPermission()
    {
        QFETCH(QList<int>, granted);
        QFETCH(bool, opens);
        FrameWorld w;
        core::MenuScreens screens;
        screens.insert(8, [](core::AppContext &ctx, QWidget *parent) -> QWidget * {
            return new logon::SECURITY(ctx, parent);
        });
        screens.insert(shell::kAuditButton.number, [](core::AppContext &ctx, QWidget *parent) -> QWidget * {
            return frmAudit::open(ctx, parent);
        });
        QVERIFY(w.reachMenu(screens, QStringLiteral("admin"), QStringLiteral("pw"), granted));
        QToolButton *tile = w.frame->mainMenu()->button(shell::kAuditButton.number);
        QCOMPARE(tile->objectName(), QStringLiteral("auditx"));
        QCOMPARE(tile->text(), QStringLiteral("سجل التعديلات"));
        QCOMPARE(tile->isEnabled(), opens);
        QCOMPARE(tile->toolTip(), opens ? QString() : shell::MAINMENU::kNoPermissionTip);
        // The screen refuses too, however it is asked.
        QCOMPARE(w.frame->openScreen(shell::kAuditButton.number), opens);
        QCOMPARE(w.frame->currentScreen() != nullptr, opens);
        if (opens) {
            QCOMPARE(w.frame->currentScreen()->objectName(), QStringLiteral("frmAudit"));
        } else {
            QCOMPARE(w.messages.lastShown(), frmAudit::kNoPermission);
            QVERIFY(w.frame->mainMenu()); // back at the menu
        }
    }

    // With VELM_SCREENSHOT_DIR set, leaves frmAudit.png and MAINMENU.png there to look at.
    void picture()
    {
        const QString dir = qEnvironmentVariable("VELM_SCREENSHOT_DIR");
        if (dir.isEmpty())
            QSKIP("VELM_SCREENSHOT_DIR is not set");
        Fixture f;
        QVERIFY(f.open());
        f.screen->resize(1000, 640);
        f.screen->show();
        QVERIFY(f.grid()->setCurrentRow(5));
        QCoreApplication::processEvents();
        QVERIFY(f.screen->grab().save(QDir(dir).filePath(QStringLiteral("frmAudit.png"))));
        core::MenuScreens screens;
        for (int n = 1; n <= shell::kAuditButton.number; ++n)
            screens.insert(n, [](core::AppContext &, QWidget *) -> QWidget * { return nullptr; });
        shell::MAINMENU menu(f.logon, screens);
        menu.show();
        QVERIFY(menu.grab().save(QDir(dir).filePath(QStringLiteral("MAINMENU.png"))));
    }
};

VELM_TEST_MAIN(TstAudit)
#include "tst_audit.moc"
