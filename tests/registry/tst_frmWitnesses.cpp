#include "registry/frmWitnesses.h"

#include "screens/RequiredMark.h"
#include "support/RefuseWrites.h"
#include "support/ScreenWorld.h"
#include "support/TestMain.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <memory>

using registry::frmWitnesses;

namespace {

const QString kBlank = QStringLiteral(" ");

struct Fixture : testsupport::ScreenFixture<frmWitnesses> {
    Fixture() { screen = std::make_unique<frmWitnesses>(ctx); }

    void addWitness(const QString &name, const QString &phone = QStringLiteral("0500"))
    {
        store.db().execute(QStringLiteral("INSERT INTO witnesses (NAME, english_NAME, TELEPHONE, "
                                          "PAGER, ADDRESS, job) VALUES (?, ?, ?, ?, ?, ?)"),
                           {name, QStringLiteral("E ") + name, phone, QStringLiteral("77"),
                            QStringLiteral("الرياض"), QStringLiteral("مدرس")});
    }
    QVariant stored(const QString &name, const QString &field)
    {
        return scalar(QStringLiteral("SELECT \"%1\" FROM witnesses WHERE NAME = ?").arg(field), {name});
    }
    qint64 count() { return rowCount(QStringLiteral("witnesses")); }

    QString name() const { return box(QStringLiteral("NAME_TEXT"))->text(); }
    void setName(const QString &text) const { box(QStringLiteral("NAME_TEXT"))->setText(text); }
};

} // namespace

class TstFrmWitnesses : public QObject {
    Q_OBJECT

private slots:
    void emptyTableGivesEndOfFile()
    {
        Fixture f;
        for (const char *button : {"find", "firstrec", "lastrec"}) {
            f.press(button);
            QCOMPARE(f.messages.lastShown(), f.cmn.msgs.MSG_EOF);
        }
        QCOMPARE(f.grid()->rowCount(), 0);
    }

    void findAndMoveThroughTheRecords()
    {
        Fixture f;
        f.addWitness(QStringLiteral("أحمد"));
        f.addWitness(QStringLiteral("بكر"), QStringLiteral("0511"));
        f.addWitness(QStringLiteral("خالد"));
        f.screen->show();

        f.setName(QStringLiteral("بكر"));
        f.press("find");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.box("PHONE_TEXT")->text(), QStringLiteral("0511"));
        QCOMPARE(f.box("english_NAME_TEXT")->text(), QStringLiteral("E بكر"));
        QCOMPARE(f.box("job_text")->text(), QStringLiteral("مدرس"));

        // A key that is not there: said so, then the first record is shown.
        f.setName(QStringLiteral("زيد"));
        f.press("find");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_NOTFOUND});
        QCOMPARE(f.name(), QStringLiteral("أحمد"));

        f.press("prevrec");
        QCOMPARE(f.messages.lastShown(), f.cmn.msgs.MSG_EOF);
        QCOMPARE(f.name(), QStringLiteral("أحمد"));
        f.press("nextrec");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.name(), QStringLiteral("بكر"));

        f.press("lastrec");
        QCOMPARE(f.name(), QStringLiteral("خالد"));
        f.press("nextrec");
        QCOMPARE(f.messages.lastShown(), f.cmn.msgs.MSG_EOF);
        QCOMPARE(f.name(), QStringLiteral("خالد"));

        // Next from a key that is not there starts at the first record.
        f.setName(QStringLiteral("زيد"));
        f.press("nextrec");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_NOTFOUND});
        QCOMPARE(f.name(), QStringLiteral("بكر"));

        f.press("firstrec");
        QCOMPARE(f.name(), QStringLiteral("أحمد"));
    }

    void addStoresBlanksAndRefusesDuplicates()
    {
        Fixture f;
        f.addWitness(QStringLiteral("Omar Smith"));
        f.screen->show();
        f.box("PHONE_TEXT")->setText(QStringLiteral("999"));
        f.press("clear");
        QVERIFY(f.name().isEmpty());
        QVERIFY(f.box("english_NAME_TEXT")->text().isEmpty());
        QCOMPARE(f.box("PHONE_TEXT")->text(), kBlank);

        const QString awkward = QStringLiteral("عبد الله \"Abu Bakr\" O'Neil 50% *");
        f.setName(awkward);
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_ADDED});
        for (const char *field : {"TELEPHONE", "PAGER", "ADDRESS", "job"})
            QCOMPARE(f.stored(awkward, QLatin1String(field)).toString(), kBlank);
        QCOMPARE(f.grid()->rowCount(), 2); // the list is read again after an add

        // Found exactly as typed, whatever the quotes and wildcards in it.
        f.press("clear");
        f.setName(awkward);
        f.press("find");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.name(), awkward);

        // Same name in other letters' case: the key ignores case.
        f.setName(QStringLiteral("OMAR SMITH"));
        f.box("PHONE_TEXT")->setText(QStringLiteral("123"));
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_DUPLICATE});
        QCOMPARE(f.count(), 2);
        QCOMPARE(f.stored(QStringLiteral("Omar Smith"), QStringLiteral("TELEPHONE")).toString(),
                 QStringLiteral("0500"));

        f.setName(QStringLiteral("omar smith"));
        f.press("find");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.name(), QStringLiteral("Omar Smith"));
    }

    void requiredNameRejectsEmptyAndBlank_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << QString();
        QTest::newRow("one blank") << kBlank;
    }
    void requiredNameRejectsEmptyAndBlank()
    {
        QFETCH(QString, name);
        Fixture f;
        f.screen->show();
        for (const char *button : {"add", "update"}) {
            f.box("ADDRESS_TEXT")->setFocus();
            f.setName(name);
            f.press(button);
            QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_REQUIRED});
            QCOMPARE(f.screen->focusWidget(), f.box("NAME_TEXT"));
            QCOMPARE(f.find<QLabel>(QStringLiteral("lblStatus"))->text(),
                     core::RecordScreen::refusalText(QStringLiteral("الاسم"), QString(), f.cmn.msgs.MSG_REQUIRED));
        }
        QCOMPARE(f.count(), 0);
        // The name, and only the name, is marked; its caption keeps its text.
        for (QLineEdit *box : f.screen->findChildren<QLineEdit *>())
            QCOMPARE(core::isMarkedRequired(f.screen.get(), box), box->objectName() == QLatin1String("NAME_TEXT"));
        // One blank is no edit (an empty field is stored so); a name typed is
        // unsaved until the witness is added.
        QCOMPARE(f.screen->windowTitle(), QStringLiteral("الشهود"));
        f.setName(QStringLiteral("حامد"));
        QCOMPARE(f.screen->windowTitle(), QStringLiteral("الشهود") + core::RecordScreen::kUnsavedTitleMark);
        f.press("add");
        QCOMPARE(f.screen->windowTitle(), QStringLiteral("الشهود"));
        QCOMPARE(f.find<QLabel>(QStringLiteral("lblStatus"))->text(), QString());
    }

    void updateRewritesButNeverRenames()
    {
        Fixture f;
        f.addWitness(QStringLiteral("سالم"));
        f.screen->show();
        f.setName(QStringLiteral("سالم"));
        f.press("find");
        f.box("ADDRESS_TEXT")->setText(QStringLiteral("جدة - حي 5%"));
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_UPDATED});
        QCOMPARE(f.stored(QStringLiteral("سالم"), QStringLiteral("ADDRESS")).toString(),
                 QStringLiteral("جدة - حي 5%"));

        f.setName(QStringLiteral("سالم الجديد"));
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_NOTFOUND});
        QCOMPARE(f.count(), 1);
        QVERIFY(!f.stored(QStringLiteral("سالم"), QStringLiteral("NAME")).isNull());
    }

    void deleteAsksAndHonoursNo()
    {
        Fixture f;
        f.addWitness(QStringLiteral("ماجد"));
        f.addWitness(QStringLiteral("ناصر"));
        f.screen->show();
        f.setName(QStringLiteral("ماجد"));
        f.messages.queueAnswer(false);
        f.press("delete");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.messages.confirmCount(), 1);
        const auto asked = f.messages.lastConfirmation();
        QCOMPARE(asked.text, f.cmn.msgs.MSG_CONTINUE);
        QCOMPARE(asked.title, core::CmnSub::kConfirmTitle);
        QVERIFY(asked.defaultNo);
        QCOMPARE(asked.icon, core::MessageService::Icon::Critical);
        QCOMPARE(f.count(), 2);

        f.messages.queueAnswer(true);
        f.press("delete");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_DELETED});
        QCOMPARE(f.count(), 1);
        QCOMPARE(f.grid()->rowCount(), 1);

        f.press("delete"); // gone now
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_NOTFOUND});
    }

    void listChoiceLoadsTheWitness()
    {
        Fixture f;
        f.addWitness(QStringLiteral("Ali"));
        f.addWitness(QStringLiteral("Bilal"), QStringLiteral("0522"));
        f.screen->show();
        f.press("refresh"); // rows added behind the screen's back
        auto *frame = f.screen->findChild<QFrame *>(QStringLiteral("Frame1"));
        QVERIFY(!frame->isVisible());
        // The second list button carries the same tip and does nothing.
        auto *list2 = f.screen->findChild<QPushButton *>(QStringLiteral("list2"));
        QCOMPARE(list2->toolTip(), f.screen->findChild<QPushButton *>(QStringLiteral("list"))->toolTip());
        f.press("list2");
        QVERIFY(!frame->isVisible());
        QCOMPARE(f.messages.shownCount(), 0);
        f.press("list");
        QVERIFY(frame->isVisible());
        QCOMPARE(f.grid()->columnField(0), QStringLiteral("NAME"));

        int row = -1;
        for (int r = 0; r < f.grid()->rowCount(); ++r) {
            if (f.grid()->value(r, 0) == QLatin1String("Bilal"))
                row = r;
        }
        QVERIFY(row >= 0);
        QVERIFY(f.grid()->setCurrentRow(row));
        f.press("list_ok");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.name(), QStringLiteral("Bilal"));
        QCOMPARE(f.box("PHONE_TEXT")->text(), QStringLiteral("0522"));
    }

    void boxesHonourTheFieldSizes()
    {
        Fixture f;
        f.screen->show();
        QLineEdit *name = f.box("NAME_TEXT");
        name->setFocus();
        QTest::keyClicks(name, QString(300, QLatin1Char('w')));
        QCOMPARE(name->text().size(), 255);
        for (const char *box : {"english_NAME_TEXT", "PHONE_TEXT", "PAGER_TEXT", "ADDRESS_TEXT", "job_text"})
            QCOMPARE(f.box(box)->maxLength(), 255);
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_ADDED});
    }

    void engineErrorsLeaveDataAndScreenUsable()
    {
        Fixture f;
        f.addWitness(QStringLiteral("حسن"));
        f.screen->show();
        testsupport::refuseWrites(f.store.db(), QStringLiteral("no_add"), QStringLiteral("INSERT"), QStringLiteral("witnesses"));
        testsupport::refuseWrites(f.store.db(), QStringLiteral("no_edit"), QStringLiteral("UPDATE"), QStringLiteral("witnesses"));

        f.setName(QStringLiteral("حسين"));
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{core::CmnSub::kNotAdded});
        QCOMPARE(f.count(), 1);

        f.setName(QStringLiteral("حسن"));
        f.box("PHONE_TEXT")->setText(QStringLiteral("111"));
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{core::CmnSub::kNotUpdated});
        QCOMPARE(f.stored(QStringLiteral("حسن"), QStringLiteral("TELEPHONE")).toString(),
                 QStringLiteral("0500"));
        QCOMPARE(f.box("PHONE_TEXT")->text(), QStringLiteral("111"));

        testsupport::allowWrites(f.store.db(), QStringLiteral("no_add"), QStringLiteral("witnesses"));
        testsupport::allowWrites(f.store.db(), QStringLiteral("no_edit"), QStringLiteral("witnesses"));
        f.setName(QStringLiteral("حسين"));
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_ADDED});

        // The table itself gone: every button reports and nothing breaks.
        f.store.db().execute(QStringLiteral("ALTER TABLE witnesses RENAME TO witnesses_away"));
        for (const char *button : {"find", "firstrec", "nextrec", "add", "delete"}) {
            f.press(button);
            QVERIFY2(f.messages.shownCount() >= 1, button);
            for (const QString &text : f.messages.shown())
                QCOMPARE(text, f.cmn.msgs.MSG_DATAERROR);
        }
        f.store.db().execute(QStringLiteral("ALTER TABLE witnesses_away RENAME TO witnesses"));
        f.setName(QStringLiteral("حسن"));
        f.press("find");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.name(), QStringLiteral("حسن"));
    }
};

VELM_TEST_MAIN(TstFrmWitnesses)
#include "tst_frmWitnesses.moc"
