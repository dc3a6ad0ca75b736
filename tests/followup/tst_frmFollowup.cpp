#include "followup/frmFollowup.h"

#include "screens/DateSelector.h"
#include "data/HijraDate.h"
#include "screens/LookupCombo.h"
#include "screens/PersonLookup.h"
#include "screens/RequiredMark.h"
#include "data/Schema.h"
#include "support/ScreenWorld.h"
#include "support/TestMain.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QRegularExpression>

#include <memory>

using followup::frmFollowup;
using testsupport::pick;
using testsupport::typeIn;

namespace {

struct Fixture : testsupport::ScreenFixture<frmFollowup> {
    Fixture()
    {
        setWorkingDate({"1427", "05", "09"});
        addPerson(QStringLiteral("12"), QStringLiteral("عبد الله"), QStringLiteral("Abdullah"));
        addPerson(QStringLiteral("13"), QStringLiteral("مريم"), QStringLiteral("Maryam"));
        for (int seq : {1, 2, 5})
            addStep(QStringLiteral("12"), seq, QStringLiteral("نشاط %1").arg(seq));
        addStep(QStringLiteral("13"), 1, QStringLiteral("زيارة"));
    }
    void open()
    {
        screen = std::make_unique<frmFollowup>(ctx);
        screen->show();
    }
    void addStep(const QString &number, int seq, const QString &description)
    {
        store.db().execute(QStringLiteral("INSERT INTO followUp (tamrel_no, seq_no, description, "
                                          "step_start_date, step_end_date, evaluation, comments) "
                                          "VALUES (?, ?, ?, '14270101', '00000000', 'جيد', ' ')"),
                           {number, seq, description});
    }
    QVariant stored(const QString &number, int seq, const QString &field)
    {
        return scalar(QStringLiteral("SELECT %1 FROM followUp WHERE tamrel_no = ? AND seq_no = ?").arg(field),
                      {number, seq});
    }
    qint64 steps() { return rowCount(QStringLiteral("followUp")); }

    core::PersonLookup *person() const { return find<core::PersonLookup>(QStringLiteral("dbc_tamrel")); }
    core::LookupCombo *list(const char *name) const { return find<core::LookupCombo>(QLatin1String(name)); }
    QComboBox *combo(int n) const { return find<QComboBox>(QStringLiteral("Combo%1").arg(n)); }
    QPlainTextEdit *comments() const { return find<QPlainTextEdit>(QStringLiteral("txt_comments")); }
    QString date(int first) const
    {
        return combo(first)->currentText() + combo(first + 1)->currentText() + combo(first + 2)->currentText();
    }
    QStringList gridColumn(int col) const
    {
        QStringList out;
        for (int r = 0; r < grid()->rowCount(); ++r)
            out << grid()->value(r, col);
        return out;
    }
    // A number as typed; a text the keys cannot type into the person box
    // (it takes digits only) as the program would hand it over.
    void choose(const QString &number)
    {
        static const QRegularExpression typable(QStringLiteral("^[0-9 ]*$"));
        if (typable.match(number).hasMatch())
            typeIn(person(), number);
        else
            testsupport::enterText(person(), number);
    }
};

} // namespace

class TstFrmFollowup : public QObject {
    Q_OBJECT

private slots:
    void loadingSetsTheWorkingDateAndReadsNoPerson()
    {
        Fixture f;
        f.open();
        QCOMPARE(f.screen->windowTitle(), QStringLiteral("متابعة الأنشطة"));
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.date(1), QStringLiteral("14270509"));
        QCOMPARE(f.date(4), QStringLiteral("14270509"));
        QCOMPARE(f.combo(1)->itemText(1), QStringLiteral("1424"));
        QCOMPARE(f.combo(1)->itemText(f.combo(1)->count() - 1), QStringLiteral("1428"));
        QVERIFY(f.box("Text1")->text().isEmpty());
        QCOMPARE(f.person()->text(), QStringLiteral(" "));
        QVERIFY(!f.person()->hasOffered());
        QCOMPARE(f.grid()->rowCount(), 0); // no person chosen yet
        QCOMPARE(f.list("dbc_step")->count(), int(core::schema::starterCodes(7).size()));
        QCOMPARE(f.list("DBC_evaluation")->count(), int(core::schema::starterCodes(8).size()));
        QCOMPARE(f.find<QPushButton>(QStringLiteral("cmd_print"))->toolTip(), QStringLiteral("طباعة الملف"));
        f.press("cmd_print");
        QCOMPARE(f.messages.shownCount(), 0);
    }

    void choosingAPersonShowsNamesAndSteps_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("arabic");
        QTest::addColumn<QStringList>("seqs");
        QTest::newRow("person with steps") << "12" << "عبد الله" << QStringList{"1", "2", "5"};
        QTest::newRow("blanks around") << " 13 " << "مريم" << QStringList{"1"};
        QTest::newRow("unknown number") << "99" << "" << QStringList{};
        QTest::newRow("quotes") << "12' OR '1'='1" << "" << QStringList{};
        QTest::newRow("wildcards") << "1%" << "" << QStringList{};
        QTest::newRow("letters") << "abc" << "" << QStringList{};
    }
    void choosingAPersonShowsNamesAndSteps()
    {
        QFETCH(QString, typed);
        QFETCH(QString, arabic);
        QFETCH(QStringList, seqs);
        Fixture f;
        f.open();
        // What the user had typed for a step: a number no person has starts afresh.
        f.list("dbc_step")->setText(QStringLiteral("typed"));
        f.comments()->setPlainText(QStringLiteral("typed"));
        f.choose(typed);
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.box("txt_a_new_name")->text(), arabic);
        QCOMPARE(f.box("txt_e_new_name")->text().isEmpty(), arabic.isEmpty());
        QCOMPARE(f.gridColumn(1), seqs);
        QCOMPARE(f.grid()->columnField(0), QStringLiteral("tamrel_no"));
        QCOMPARE(f.list("dbc_step")->text().isEmpty(), arabic.isEmpty());
        QCOMPARE(f.comments()->toPlainText().isEmpty(), arabic.isEmpty());
        QCOMPARE(f.steps(), 4);
        QCOMPARE(f.rowCount(QStringLiteral("tamrel")), 2);
    }

    // The first step of a person is 1; then the highest number + 1, gaps
    // left as they are; the grid shows the new step at once.
    void addNumbersPerPerson_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<int>("expected");
        QTest::newRow("first step") << "77" << 1;
        QTest::newRow("after 1, 2 and 5") << "12" << 6;
        QTest::newRow("after 1 only") << "13" << 2;
    }
    void addNumbersPerPerson()
    {
        QFETCH(QString, number);
        QFETCH(int, expected);
        Fixture f;
        f.open();
        f.choose(number);
        const int shown = f.grid()->rowCount();
        f.box("txt_seq_no")->setText(QStringLiteral("1")); // replaced by the next number
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_ADDED});
        QCOMPARE(f.box("txt_seq_no")->text(), QString::number(expected));
        QVERIFY(!f.stored(number, expected, QStringLiteral("seq_no")).isNull());
        QCOMPARE(f.grid()->rowCount(), shown + 1);
        QCOMPARE(f.gridColumn(1).last(), QString::number(expected));
    }

    // Two workstations show the same person's steps and both add: each add
    // takes the next number free when it is saved, so both succeed with
    // different numbers and no step is written twice.
    void twoClerksAddTheNextStepOfOnePerson()
    {
        Fixture f;
        f.open();
        f.choose(QStringLiteral("12"));
        core::DataStore storeB(f.folder.programDir());
        QVERIFY(storeB.READDBPATH());
        QVERIFY(storeB.OPENDATABASE().ok);
        testsupport::RecordingMessageService messagesB;
        core::CmnSub cmnB(storeB, messagesB);
        core::AppContext ctxB{storeB, messagesB, f.input, f.files, f.logon, cmnB, &f.reports};
        frmFollowup b(ctxB);
        b.show();
        typeIn(testsupport::control<core::PersonLookup>(&b, QStringLiteral("dbc_tamrel")), QStringLiteral("12"));

        f.press("add");
        testsupport::click(&b, QStringLiteral("add"));
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_ADDED});
        QCOMPARE(messagesB.shown(), QStringList{cmnB.msgs.MSG_ADDED});
        QCOMPARE(f.box("txt_seq_no")->text(), QStringLiteral("6"));
        QCOMPARE(testsupport::box(&b, QStringLiteral("txt_seq_no"))->text(), QStringLiteral("7"));
        QCOMPARE(f.steps(), qint64(6));
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM followUp WHERE tamrel_no = ? AND seq_no IN (6, 7)"),
                          {QStringLiteral("12")})
                     .toLongLong(),
                 qint64(2));
    }

    void deletedLastNumberIsGivenAgain()
    {
        Fixture f;
        f.open();
        f.choose(QStringLiteral("12"));
        f.box("txt_seq_no")->setText(QStringLiteral("5"));
        f.messages.queueAnswer(true);
        f.press("delete");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_DELETED});
        f.press("add");
        QCOMPARE(f.box("txt_seq_no")->text(), QStringLiteral("3"));
    }

    void addStoresEveryFieldExactly()
    {
        Fixture f;
        f.open();
        f.choose(QStringLiteral("13"));
        const QString description = QStringLiteral("زيارة \"منزلية\" 100% *A* ? O'Brien ").leftJustified(255, QLatin1Char('x'));
        f.list("dbc_step")->setText(description + QStringLiteral("too long"));
        QCOMPARE(f.list("dbc_step")->text(), description); // the box takes no more than the field
        pick(f.combo(1), QStringLiteral("1427"));
        pick(f.combo(2), QStringLiteral("05"));
        pick(f.combo(3), QStringLiteral("09"));
        QCOMPARE(f.box("Text1")->text(), QStringLiteral("2006/06/06"));
        f.box("Text2")->setText(QStringLiteral("kept"));
        pick(f.combo(4), QStringLiteral("0000"));
        pick(f.combo(5), QStringLiteral("00"));
        pick(f.combo(6), QStringLiteral("00"));
        QCOMPARE(f.box("Text2")->text(), QStringLiteral("kept"));
        f.list("DBC_evaluation")->setText(core::schema::starterCodes(8).first());
        const QString notes = QStringLiteral("سطر أول\nLine 2: 'quoted' \"double\" %_ * ?");
        f.comments()->setPlainText(notes);
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_ADDED});
        QCOMPARE(f.stored("13", 2, "description").toString(), description);
        QCOMPARE(f.stored("13", 2, "step_start_date").toString(), QStringLiteral("14270509"));
        QCOMPARE(f.stored("13", 2, "step_end_date").toString(), QStringLiteral("00000000"));
        QCOMPARE(f.stored("13", 2, "evaluation").toString(), core::schema::starterCodes(8).first());
        QCOMPARE(f.stored("13", 2, "comments").toString(), notes);

        // Shown again exactly; showing a record leaves the Gregorian days alone.
        f.press("clear");
        QCOMPARE(f.date(4), QStringLiteral("00000000")); // clear keeps the selectors
        QCOMPARE(f.person()->text(), QStringLiteral(" "));
        pick(f.combo(4), QStringLiteral("1428"));
        f.box("Text1")->clear();
        core::setControlText(f.person(), QStringLiteral("13"));
        f.box("txt_seq_no")->setText(QStringLiteral("2"));
        f.press("find");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.list("dbc_step")->text(), description);
        QCOMPARE(f.date(1), QStringLiteral("14270509"));
        QCOMPARE(f.date(4), QStringLiteral("00000000"));
        QVERIFY(f.box("Text1")->text().isEmpty());
        QCOMPARE(f.comments()->toPlainText(), notes);
        QCOMPARE(f.box("txt_a_new_name")->text(), QStringLiteral("مريم"));
        QCOMPARE(f.gridColumn(0), (QStringList{"13", "13"}));
    }

    // No person (also after clear: one blank), or a person or number that
    // is not a number: refused, nothing written, no number given.
    void checkRefuses_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("person");
        QTest::addColumn<QString>("seq");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("named"); // in the status bar
        QTest::newRow("add after clear") << "add" << "" << "" << "dbc_tamrel" << "رقم Tamrel";
        QTest::newRow("add with letters") << "add" << "12a" << "" << "dbc_tamrel" << "رقم Tamrel";
        QTest::newRow("update without person") << "update" << " " << "1" << "dbc_tamrel" << "رقم Tamrel";
        QTest::newRow("update with letters in the number") << "update" << "12" << "1x" << "txt_seq_no" << "الرقم";
    }
    void checkRefuses()
    {
        QFETCH(QString, button);
        QFETCH(QString, person);
        QFETCH(QString, seq);
        QFETCH(QString, focus);
        QFETCH(QString, named);
        Fixture f;
        f.open();
        // Both parts of the key are marked: the person on its caption, the
        // number (without one) in its box.
        for (const char *name : {"dbc_tamrel", "txt_seq_no"})
            QVERIFY(core::isMarkedRequired(f.screen.get(), f.find<QWidget>(QLatin1String(name))));
        f.press("clear");
        if (!person.isEmpty())
            core::setControlText(f.person(), person);
        f.box("txt_seq_no")->setText(seq);
        f.comments()->setPlainText(QStringLiteral("changed"));
        f.press(button);
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_INVALID});
        QWidget *focused = f.screen->focusWidget();
        QWidget *expected = f.find<QWidget>(focus);
        QVERIFY(focused == expected || expected->isAncestorOf(focused));
        QCOMPARE(f.box("txt_seq_no")->text(), seq);
        QCOMPARE(f.find<QLabel>(QStringLiteral("lblStatus"))->text(),
                 core::RecordScreen::refusalText(named, QString(), f.cmn.msgs.MSG_INVALID));
        QCOMPARE(f.steps(), 4);
        QCOMPARE(f.scalar(QStringLiteral("SELECT count(*) FROM followUp WHERE comments = 'changed'")).toInt(), 0);
    }

    void listChoiceAndNoRequeryAfterUpdateOrDelete()
    {
        Fixture f;
        f.addStep(QString(), 1, QStringLiteral("بلا صاحب")); // a row without a person
        f.open();
        f.press("list_ok"); // an empty grid: nothing
        QCOMPARE(f.messages.shownCount(), 0);
        f.press("list");
        QCOMPARE(f.grid()->rowCount(), 5);
        const int orphan = int(f.gridColumn(0).indexOf(QString()));
        QVERIFY(f.grid()->setCurrentRow(orphan));
        f.press("list_ok"); // an empty person in the row: nothing
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.person()->text(), QStringLiteral(" "));

        // Double click on a row: person and number from the row, then find.
        const int row = int(f.gridColumn(2).indexOf(QStringLiteral("نشاط 2")));
        const QModelIndex index = f.grid()->model()->index(row, 0);
        QApplication::processEvents();
        f.grid()->scrollTo(index);
        // A double click as the mouse gives it: a click, then the second press.
        const QPoint at = f.grid()->visualRect(index).center();
        QTest::mouseClick(f.grid()->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(f.grid()->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.person()->text(), QStringLiteral("12"));
        QCOMPARE(f.box("txt_seq_no")->text(), QStringLiteral("2"));
        QCOMPARE(f.list("dbc_step")->text(), QStringLiteral("نشاط 2"));
        QCOMPARE(f.box("txt_a_new_name")->text(), QStringLiteral("عبد الله"));
        QCOMPARE(f.gridColumn(1), (QStringList{"1", "2", "5"})); // the shown person's steps
        f.press("nextrec");
        QCOMPARE(f.box("txt_seq_no")->text(), QStringLiteral("5"));
        // The list follows the step shown, by both parts of its key, and
        // reads its dates as dates.
        QCOMPARE(f.grid()->columnValue(0), QStringLiteral("12"));
        QCOMPARE(f.grid()->columnValue(1), QStringLiteral("5"));
        QCOMPARE(f.grid()->shownText(f.grid()->currentRow(), 3), QStringLiteral("1427/01/01"));
        QCOMPARE(f.grid()->shownText(f.grid()->currentRow(), 4), QString());

        // list_ok on a row with a person.
        QVERIFY(f.grid()->setCurrentRow(0));
        f.press("list_ok");
        QCOMPARE(f.box("txt_seq_no")->text(), QStringLiteral("1"));

        f.list("dbc_step")->setText(QStringLiteral("معدل"));
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_UPDATED});
        QCOMPARE(f.stored("12", 1, "description").toString(), QStringLiteral("معدل"));
        QCOMPARE(f.gridColumn(2).first(), QStringLiteral("نشاط 1")); // not re-queried
        f.messages.queueAnswer(true);
        f.press("delete");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_DELETED});
        QCOMPARE(f.grid()->rowCount(), 3);
        f.press("refresh");
        QCOMPARE(f.gridColumn(1), (QStringList{"2", "5"}));
    }

    // The person and step numbers take digits from the keys, Arabic-Indic
    // ones as Latin; the rest is refused.
    void numberBoxesTakeDigitsOnly()
    {
        Fixture f;
        f.open();
        typeIn(f.person(), QStringLiteral("1x 2"));
        QCOMPARE(f.person()->text(), QStringLiteral("12"));
        QCOMPARE(f.box("txt_a_new_name")->text(), QStringLiteral("عبد الله"));
        for (const QChar c : QStringLiteral("١٣"))
            QTest::sendKeyEvent(QTest::Click, f.box("txt_seq_no"), Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::keyClicks(f.box("txt_seq_no"), QStringLiteral("-a"));
        QCOMPARE(f.box("txt_seq_no")->text(), QStringLiteral("13"));
    }

    void stepOfAPersonNoLongerRegisteredKeepsItsFields()
    {
        Fixture f;
        f.addStep(QStringLiteral("40"), 1, QStringLiteral("قديم"));
        f.open();
        core::setControlText(f.person(), QStringLiteral("40"));
        f.box("txt_seq_no")->setText(QStringLiteral("1"));
        f.press("find");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.list("dbc_step")->text(), QStringLiteral("قديم"));
        QCOMPARE(f.box("txt_seq_no")->text(), QStringLiteral("1"));
        QVERIFY(f.box("txt_a_new_name")->text().isEmpty());
        f.press("update");
        QCOMPARE(f.stored("40", 1, "description").toString(), QStringLiteral("قديم"));
    }
};

VELM_TEST_MAIN(TstFrmFollowup)
#include "tst_frmFollowup.moc"
