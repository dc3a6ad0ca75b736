#include "support/TestMain.h"

#include "screens/AppContext.h"
#include "screens/CmnSub.h"
#include "screens/DataGrid.h"
#include "support/FakeServices.h"
#include "data/OpenDb.h"
#include "screens/RecordScreen.h"
#include "screens/ScreenKeys.h"
#include "support/TempDataFolder.h"

#include <QDialog>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>

#include <tuple>

namespace {

// A screen over the witnesses table built the way the office's screens
// are: six text boxes, name required, the standard buttons and list.
class WitnessScreen : public core::RecordScreen {
public:
    WitnessScreen(core::AppContext &ctx, QWidget *parent = nullptr)
        : RecordScreen(ctx, QStringLiteral("frmWitnesses"), QStringLiteral("الشهود"),
                       QStringLiteral("witnesses"), parent)
    {
        auto *form = new QFormLayout(formArea());
        const QStringList names = {QStringLiteral("NAME_TEXT"), QStringLiteral("english_NAME_TEXT"),
                                   QStringLiteral("PHONE_TEXT"), QStringLiteral("PAGER_TEXT"),
                                   QStringLiteral("ADDRESS_TEXT"), QStringLiteral("job_text")};
        for (const QString &n : names) {
            auto *edit = new QLineEdit(formArea());
            edit->setObjectName(n);
            form->addRow(n, edit);
            m_edits << edit;
        }
        setKeyControl(m_edits.at(0));
        listData()->setObjectName(QStringLiteral("witness_DATA"));
        listData()->setQuery(QStringLiteral("select * from witnesses"));
        loadForm();
    }

    void DATATOTEXT() override
    {
        CLEARFIELDS();
        for (int i = 0; i < m_edits.size(); ++i)
            showField(kFields.at(i), m_edits.at(i));
    }
    void texttodata() override
    {
        for (int i = 0; i < m_edits.size(); ++i)
            storeField(m_edits.at(i), kFields.at(i));
    }

    int refreshes = 0;

    // Checks boxes (by position) in order the way a VALIDATE does.
    core::CheckResult checkInOrder(const QList<std::tuple<int, bool, bool>> &checks)
    {
        for (const auto &[index, required, numeric] : checks) {
            if (const core::CheckResult check = checkControl(m_edits.at(index), required, numeric); !check.valid)
                return check;
        }
        return {};
    }

protected:
    void CLEARFIELDS() override
    {
        for (int i = 0; i < m_edits.size(); ++i)
            m_edits.at(i)->setText(i < 2 ? QString() : QStringLiteral(" "));
    }
    core::RecordKey SETKEY() override { return {m_edits.at(0)->text()}; }
    core::CheckResult VALIDATE() override { return checkControl(m_edits.at(0), true); }
    void refreshList() override
    {
        ++refreshes;
        RecordScreen::refreshList();
    }

private:
    const QStringList kFields = {QStringLiteral("NAME"), QStringLiteral("english_NAME"),
                                 QStringLiteral("TELEPHONE"), QStringLiteral("PAGER"),
                                 QStringLiteral("ADDRESS"), QStringLiteral("job")};
    QList<QLineEdit *> m_edits;
};

} // namespace

class TestRecordScreen : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempDataFolder> m_folder;
    core::DataStore *m_store = nullptr;
    testsupport::RecordingMessageService m_messages;
    testsupport::RecordingInputService m_input;
    testsupport::RecordingFileOpener m_files;
    core::LogonState m_logon;
    std::unique_ptr<core::CmnSub> m_cmn;
    std::unique_ptr<core::AppContext> m_ctx;
    std::unique_ptr<WitnessScreen> m_screen;

    QLineEdit *edit(const char *name) { return m_screen->findChild<QLineEdit *>(QLatin1String(name)); }
    void click(const char *name)
    {
        auto *b = m_screen->findChild<QPushButton *>(QLatin1String(name));
        QVERIFY2(b, name);
        b->click();
    }
    core::DataGrid *grid() { return m_screen->findChild<core::DataGrid *>(QStringLiteral("DBGrid1")); }
    QString last() const { return m_messages.lastShown().trimmed(); }
    const core::ErrMsgs &msgs() const { return m_cmn->msgs; }

    void addWitness(const QString &name, const QString &phone = QStringLiteral("1"))
    {
        m_store->db().execute(QStringLiteral("INSERT INTO witnesses (NAME, TELEPHONE) VALUES (?, ?)"),
                              {name, phone});
    }
    qint64 count()
    {
        return m_store->db().scalar(QStringLiteral("SELECT count(*) FROM witnesses")).toLongLong();
    }
    bool slotOpen() { return m_store->slot(QStringLiteral("witnesses")).isOpen(); }

private slots:
    void init()
    {
        m_folder = std::make_unique<testsupport::TempDataFolder>();
        m_store = &m_folder->openStore();
        m_messages.clear();
        m_messages.clearAnswers();
        m_cmn = std::make_unique<core::CmnSub>(*m_store, m_messages);
        m_ctx = std::make_unique<core::AppContext>(
            core::AppContext{*m_store, m_messages, m_input, m_files, m_logon, *m_cmn});
        addWitness(QStringLiteral("Ali"));
        addWitness(QStringLiteral("Bakr"));
        addWitness(QStringLiteral("Camal"));
        m_screen = std::make_unique<WitnessScreen>(*m_ctx);
    }

    void cleanup()
    {
        m_screen.reset();
        m_ctx.reset();
        m_cmn.reset();
        m_folder.reset();
    }

    void loadingPreparesTheScreen()
    {
        QCOMPARE(m_screen->windowTitle(), QStringLiteral("الشهود"));
        QCOMPARE(m_screen->layoutDirection(), Qt::RightToLeft);
        QCOMPARE(edit("NAME_TEXT")->text(), QString());
        QCOMPARE(edit("PHONE_TEXT")->text(), QStringLiteral(" "));
        QCOMPARE(grid()->rowCount(), 3);
        QCOMPARE(grid()->columnField(0), QStringLiteral("NAME"));
        QCOMPARE(m_messages.shownCount(), 0);
        QVERIFY(m_screen->sizeHint().width() >= 640);
    }

    void buttonsCarryTheirNamesAndTips()
    {
        const QList<QPair<const char *, QString>> tips = {
            {"add", QStringLiteral(" اضافة سجل جديد")},
            {"update", QStringLiteral("حفظ التعديلات")},
            {"delete", QStringLiteral("حذف السجل")},
            {"clear", QStringLiteral("مسح الحقول")},
            {"find", QStringLiteral("بحث بواسطة رمز التخزين أو جزء منه")},
            {"firstrec", QStringLiteral("السجل الاول")},
            {"prevrec", QStringLiteral("السجل السابق")},
            {"nextrec", QStringLiteral("السجل التالي")},
            {"lastrec", QStringLiteral("السجل الاخير")},
            {"list", QStringLiteral("عرض المعلومات على شكل جدول")},
            {"close", QStringLiteral("خروج")},
        };
        for (const auto &t : tips) {
            auto *b = m_screen->findChild<QPushButton *>(QLatin1String(t.first));
            QVERIFY2(b, t.first);
            QCOMPARE(b->toolTip(), t.second);
        }
        QCOMPARE(m_screen->findChild<QPushButton *>(QStringLiteral("add"))->text(), QStringLiteral("."));
        QCOMPARE(m_screen->findChild<QPushButton *>(QStringLiteral("list_ok"))->text(), QStringLiteral("اختيار"));
        QCOMPARE(m_screen->findChild<QPushButton *>(QStringLiteral("refresh"))->text(), QStringLiteral("تحديث"));
    }

    void listPanelAppearsOnList()
    {
        m_screen->show();
        auto *frame = m_screen->findChild<QFrame *>(QStringLiteral("Frame1"));
        QVERIFY(frame);
        QVERIFY(!frame->isVisible());
        click("list");
        QVERIFY(frame->isVisible());
        click("list");
        click("refresh");
        QVERIFY(frame->isVisible());
    }

    // A failing box takes the focus and stops the checks; a valid empty box
    // before it becomes one blank, the boxes after it stay as they are.
    void checksFocusTheFailureAndBlankEmptyBoxes()
    {
        m_screen->show();
        m_screen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_screen.get()));
        for (QLineEdit *box : m_screen->findChildren<QLineEdit *>())
            box->clear();
        edit("NAME_TEXT")->setText(QStringLiteral("Ali"));
        edit("PAGER_TEXT")->setText(QStringLiteral("12a"));
        edit("job_text")->setFocus();
        // name required, english name free, phone free, pager numeric, address required
        const QList<std::tuple<int, bool, bool>> checks = {
            {0, true, false}, {1, false, false}, {2, false, false}, {3, false, true}, {4, true, false}};
        const core::CheckResult result = m_screen->checkInOrder(checks);
        QVERIFY(!result.valid);
        QCOMPARE(result.message, msgs().MSG_INVALID);
        QCOMPARE(QApplication::focusWidget(), edit("PAGER_TEXT"));
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Ali"));
        QCOMPARE(edit("english_NAME_TEXT")->text(), QStringLiteral(" "));
        QCOMPARE(edit("PHONE_TEXT")->text(), QStringLiteral(" "));
        QCOMPARE(edit("PAGER_TEXT")->text(), QStringLiteral("12a"));
        QCOMPARE(edit("ADDRESS_TEXT")->text(), QString()); // not reached
        QCOMPARE(m_messages.shownCount(), 0);

        edit("PAGER_TEXT")->setText(QStringLiteral(" 7 "));
        const core::CheckResult address = m_screen->checkInOrder(checks);
        QCOMPARE(address.message, msgs().MSG_REQUIRED);
        QCOMPARE(QApplication::focusWidget(), edit("ADDRESS_TEXT"));
        edit("ADDRESS_TEXT")->setText(QStringLiteral("Riyadh"));
        QVERIFY(m_screen->checkInOrder(checks).valid);
    }

    void addValidatesAndFillsBlanks()
    {
        m_screen->show();
        m_screen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_screen.get()));
        edit("job_text")->setFocus();
        click("add");
        QCOMPARE(last(), msgs().MSG_REQUIRED.trimmed());
        QCOMPARE(count(), 3);
        QCOMPARE(QApplication::focusWidget(), edit("NAME_TEXT"));

        edit("NAME_TEXT")->setText(QStringLiteral(" "));
        click("add");
        QCOMPARE(last(), msgs().MSG_REQUIRED.trimmed());
        QCOMPARE(count(), 3);

        click("clear");
        edit("NAME_TEXT")->setText(QStringLiteral("Dawud"));
        const int refreshes = m_screen->refreshes;
        click("add");
        QCOMPARE(last(), msgs().MSG_ADDED.trimmed());
        QVERIFY(!slotOpen());
        const QVariant phone = m_store->db().scalar(
            QStringLiteral("SELECT TELEPHONE FROM witnesses WHERE NAME = 'Dawud'"));
        QCOMPARE(phone.toString(), QStringLiteral(" "));
        QCOMPARE(m_screen->refreshes, refreshes + 1);
        QCOMPARE(grid()->rowCount(), 4);
    }

    void duplicateAddKeepsTheStoredWitness()
    {
        edit("NAME_TEXT")->setText(QStringLiteral("ali"));
        edit("PHONE_TEXT")->setText(QStringLiteral("777"));
        click("add");
        QCOMPARE(last(), msgs().MSG_DUPLICATE.trimmed());
        QCOMPARE(count(), 3);
        QCOMPARE(m_store->db().scalar(QStringLiteral("SELECT TELEPHONE FROM witnesses WHERE NAME='Ali'")).toString(),
                 QStringLiteral("1"));
    }

    void findIgnoresLetterCase()
    {
        edit("NAME_TEXT")->setText(QStringLiteral("BAKR"));
        click("find");
        QCOMPARE(m_messages.shownCount(), 0);
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Bakr"));
        QVERIFY(!slotOpen());

        edit("NAME_TEXT")->setText(QStringLiteral("Zaid"));
        click("find");
        QCOMPARE(last(), msgs().MSG_NOTFOUND.trimmed());
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Ali"));
    }

    void updateDoesNotRenameNorRefresh()
    {
        edit("NAME_TEXT")->setText(QStringLiteral("Bakr"));
        click("find");
        edit("NAME_TEXT")->setText(QStringLiteral("Bakri"));
        const int refreshes = m_screen->refreshes;
        click("update");
        QCOMPARE(last(), msgs().MSG_NOTFOUND.trimmed());

        edit("NAME_TEXT")->setText(QStringLiteral("Bakr"));
        edit("job_text")->setText(QStringLiteral("teacher"));
        click("update");
        QCOMPARE(last(), msgs().MSG_UPDATED.trimmed());
        QCOMPARE(m_store->db().scalar(QStringLiteral("SELECT job FROM witnesses WHERE NAME='Bakr'")).toString(),
                 QStringLiteral("teacher"));
        QCOMPARE(m_screen->refreshes, refreshes);
        QVERIFY(!slotOpen());
    }

    void deleteAnsweredNoThenYes()
    {
        edit("NAME_TEXT")->setText(QStringLiteral("Camal"));
        m_messages.queueAnswer(false);
        click("delete");
        QCOMPARE(m_messages.confirmCount(), 1);
        QCOMPARE(m_messages.shownCount(), 0);
        QCOMPARE(count(), 3);

        m_messages.queueAnswer(true);
        click("delete");
        QCOMPARE(last(), msgs().MSG_DELETED.trimmed());
        QCOMPARE(count(), 2);
        QCOMPARE(grid()->rowCount(), 2);
        QVERIFY(!slotOpen());
    }

    void navigationStopsAtTheEnds()
    {
        click("lastrec");
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Camal"));
        click("nextrec");
        QCOMPARE(last(), msgs().MSG_EOF.trimmed());
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Camal"));

        m_messages.clear();
        click("firstrec");
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Ali"));
        click("nextrec");
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Bakr"));
        click("prevrec");
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Ali"));
        QCOMPARE(m_messages.shownCount(), 0);
        click("prevrec");
        QCOMPARE(last(), msgs().MSG_EOF.trimmed());
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Ali"));

        m_messages.clear();
        edit("NAME_TEXT")->setText(QStringLiteral("Nobody"));
        click("nextrec");
        QCOMPARE(last(), msgs().MSG_NOTFOUND.trimmed());
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Bakr"));
        QVERIFY(!slotOpen());
    }

    void emptyTableSaysEndOfFile()
    {
        m_store->db().execute(QStringLiteral("DELETE FROM witnesses"));
        for (const char *b : {"firstrec", "lastrec", "find"}) {
            m_messages.clear();
            click(b);
            QCOMPARE(last(), msgs().MSG_EOF.trimmed());
        }
        QVERIFY(!slotOpen());
    }

    void chooseFromTheList()
    {
        click("list");
        QVERIFY(grid()->setCurrentRow(2));
        click("list_ok");
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Camal"));
        QCOMPARE(edit("PHONE_TEXT")->text(), QStringLiteral("1"));
        QCOMPARE(m_messages.shownCount(), 0);
    }

    // A cursor that cannot be opened is reported and leaves no open slot.
    void failingCursorIsReported()
    {
        m_store->db().execute(QStringLiteral("ALTER TABLE witnesses RENAME TO w_old"));
        click("firstrec");
        QCOMPARE(last(), msgs().MSG_DATAERROR.trimmed());
        QVERIFY(!slotOpen());
        m_messages.clear();
        click("refresh");
        QCOMPARE(last(), msgs().MSG_DATAERROR.trimmed());
        QCOMPARE(grid()->rowCount(), 3); // the list keeps what it showed
    }

    // Every standard key clicks its button from inside a text box, and only
    // while that button is enabled and shown.
    void keysPressTheirButtons_data()
    {
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("button");
        QTest::addColumn<bool>("listShown");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<int>("clicks");
        const std::pair<QKeySequence, const char *> keys[] = {
            {core::keys::kFind, "find"},         {core::keys::kUpdate, "update"},
            {core::keys::kAdd, "add"},           {core::keys::kDelete, "delete"},
            {core::keys::kClear, "clear"},       {core::keys::kFirst, "firstrec"},
            {core::keys::kPrevious, "prevrec"},  {core::keys::kNext, "nextrec"},
            {core::keys::kLast, "lastrec"},      {core::keys::kList, "list"},
            {core::keys::kRefresh, "refresh"},   {core::keys::kClose, "close"},
        };
        for (const auto &[key, name] : keys) {
            const bool inPanel = qstrcmp(name, "refresh") == 0;
            QTest::addRow("%s", name) << key << QString::fromLatin1(name) << true << true << 1;
            QTest::addRow("%s disabled", name) << key << QString::fromLatin1(name) << true << false << 0;
            if (inPanel)
                QTest::addRow("%s hidden", name) << key << QString::fromLatin1(name) << false << true << 0;
        }
    }

    void keysPressTheirButtons()
    {
        QFETCH(QKeySequence, key);
        QFETCH(QString, button);
        QFETCH(bool, listShown);
        QFETCH(bool, enabled);
        QFETCH(int, clicks);
        m_messages.setDefaultAnswer(false);
        m_screen->show();
        m_screen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_screen.get()));
        if (listShown)
            click("list");
        auto *target = m_screen->findChild<QPushButton *>(button);
        target->setEnabled(enabled);
        QSignalSpy clicked(target, &QPushButton::clicked);
        edit("ADDRESS_TEXT")->setFocus();
        QTest::keySequence(QApplication::focusWidget(), key);
        QCOMPARE(clicked.count(), clicks);
    }

    // A key reaches the handler behind its button: the same outcome as a click.
    void keysRunTheHandlers()
    {
        m_screen->show();
        m_screen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_screen.get()));
        QTest::keySequence(edit("NAME_TEXT"), core::keys::kLast);
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Camal"));
        QTest::keySequence(edit("NAME_TEXT"), core::keys::kPrevious);
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Bakr"));
        edit("job_text")->setText(QStringLiteral("imam"));
        QTest::keySequence(edit("job_text"), core::keys::kUpdate);
        QCOMPARE(last(), msgs().MSG_UPDATED.trimmed());
        QCOMPARE(m_store->db().scalar(QStringLiteral("SELECT job FROM witnesses WHERE NAME='Bakr'")).toString(),
                 QStringLiteral("imam"));
        // A view-only screen: update disabled, the key writes nothing.
        m_screen->findChild<QPushButton *>(QStringLiteral("update"))->setEnabled(false);
        m_messages.clear();
        edit("job_text")->setText(QStringLiteral("changed"));
        QTest::keySequence(edit("job_text"), core::keys::kUpdate);
        QCOMPARE(m_messages.shownCount(), 0);
        QCOMPARE(m_store->db().scalar(QStringLiteral("SELECT job FROM witnesses WHERE NAME='Bakr'")).toString(),
                 QStringLiteral("imam"));
    }

    void openingFocusesTheFirstFieldAndF1ListsTheKeys()
    {
        m_screen->show();
        m_screen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_screen.get()));
        QCOMPARE(QApplication::focusWidget(), edit("NAME_TEXT"));

        QTest::keyClick(edit("NAME_TEXT"), Qt::Key_F1);
        auto *help = m_screen->findChild<QDialog *>(core::ScreenKeys::kHelpName);
        QVERIFY(help);
        QVERIFY(help->isVisible());
        QVERIFY(!help->isModal());
        auto *table = help->findChild<QTableWidget *>(core::ScreenKeys::kHelpTableName);
        QStringList lines;
        for (int row = 0; row < table->rowCount(); ++row)
            lines << table->item(row, 0)->text() + QLatin1Char('=') + table->item(row, 1)->text();
        QVERIFY2(lines.contains(core::keys::kUpdate.toString(QKeySequence::NativeText) +
                                QStringLiteral("=حفظ التعديلات")),
                 qPrintable(lines.join(QLatin1Char('\n'))));
        QVERIFY(lines.contains(QStringLiteral("Esc=خروج")));
        QVERIFY(lines.contains(QStringLiteral("Ctrl+Shift+X=تصدير الجدول إلى Excel أو CSV")));
        QCOMPARE(lines.size(), 15); // twelve buttons, Enter and the export on the list, F1
        // A second F1 shows the same window again.
        help->close();
        QTest::keyClick(edit("NAME_TEXT"), Qt::Key_F1);
        QCOMPARE(m_screen->findChildren<QDialog *>(core::ScreenKeys::kHelpName).size(), 1);
        // The tooltips are those of the buttons, unchanged by the keys.
        QCOMPARE(m_screen->findChild<QPushButton *>(QStringLiteral("update"))->toolTip(),
                 QStringLiteral("حفظ التعديلات"));
    }

    void enterOrDoubleClickChoosesTheRow()
    {
        m_screen->show();
        m_screen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_screen.get()));
        click("list");
        grid()->setFocus();
        QVERIFY(grid()->setCurrentRow(2));
        QTest::keyClick(grid(), Qt::Key_Return);
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Camal"));

        const QRect row1 = grid()->visualRect(grid()->model()->index(1, 0));
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, Qt::NoModifier, row1.center());
        QTest::mouseDClick(grid()->viewport(), Qt::LeftButton, Qt::NoModifier, row1.center());
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Bakr"));

        m_screen->findChild<QPushButton *>(QStringLiteral("list_ok"))->setEnabled(false);
        QVERIFY(grid()->setCurrentRow(0));
        QTest::keyClick(grid(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(edit("NAME_TEXT")->text(), QStringLiteral("Bakr"));
        QCOMPARE(m_messages.shownCount(), 0);
    }

    // The hidden list takes no room; showing it makes the window grow.
    void listGrowsTheWindow()
    {
        m_screen->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_screen.get()));
        const int closedHeight = m_screen->height();
        const int formBottom = m_screen->findChild<QFrame *>(QStringLiteral("buttonBar"))->geometry().bottom();
        // Below the buttons only the status bar.
        const int status = m_screen->findChild<QWidget *>(QStringLiteral("statusBar"))->height();
        QVERIFY2(closedHeight - formBottom - status < 30,
                 qPrintable(QStringLiteral("%1 below the buttons").arg(closedHeight - formBottom - status)));
        click("list");
        QVERIFY(m_screen->height() >= closedHeight + grid()->minimumHeight());
    }

    void closingUnloadsTheScreen()
    {
        m_screen->show();
        click("close");
        QVERIFY(!m_screen->isVisible());
    }
};

VELM_TEST_MAIN(TestRecordScreen)
#include "tst_recordscreen.moc"
