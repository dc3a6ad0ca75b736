#include "followup/frmEvaluation.h"

#include "screens/DateSelector.h"
#include "screens/KeyLookup.h"
#include "screens/LookupCombo.h"
#include "screens/PersonLookup.h"
#include "data/Schema.h"
#include "support/ScreenWorld.h"
#include "support/TestMain.h"
#include "engine/QueryCursor.h"

#include <QPlainTextEdit>
#include <QTabWidget>

#include <memory>

using followup::frmEvaluation;
using testsupport::pick;
using testsupport::typeIn;

namespace {

const QString kProblemA = core::schema::starterCodes(16).value(0);
const QString kProblemB = core::schema::starterCodes(16).value(1);
const QString kStatus = core::schema::starterCodes(17).value(0);

// Person 12 has evaluation 1 with four problems (codes 1-4) and evaluation 2
// with none; person 13 has evaluation 1 with problem 5. Problem 1 has two
// diary records (1, 2), problem 5 one (3).
struct Fixture : testsupport::ScreenFixture<frmEvaluation> {
    Fixture()
    {
        setWorkingDate({"1427", "05", "09"});
        addPerson(QStringLiteral("12"), QStringLiteral("عبد الله"), QStringLiteral("Abdullah"));
        addPerson(QStringLiteral("13"), QStringLiteral("مريم"), QStringLiteral("Maryam"));
        store.db().execute(QStringLiteral("INSERT INTO witnesses (NAME) VALUES ('سعد')"));
        addEvaluation(QStringLiteral("12"), 1);
        addEvaluation(QStringLiteral("12"), 2);
        addEvaluation(QStringLiteral("13"), 1);
        for (int n = 1; n <= 4; ++n)
            addProblem(QStringLiteral("12"), 1, QStringLiteral("p%1").arg(n));
        addProblem(QStringLiteral("13"), 1, QStringLiteral("p5"));
        addDiary(1, QStringLiteral("14270101"), QStringLiteral("خالد"));
        addDiary(1, QStringLiteral("14270202"), QStringLiteral("سعد"));
        addDiary(5, QStringLiteral("14270303"), QStringLiteral("يوسف"));
    }
    void open()
    {
        screen = std::make_unique<frmEvaluation>(ctx);
        screen->show();
    }
    void addEvaluation(const QString &person, int seq)
    {
        store.db().execute(QStringLiteral("INSERT INTO Field_Evaluation (tamrel_no, seq_no, evaluator_name, "
                                          "date) VALUES (?, ?, ?, '14260101')"),
                           {person, seq, QStringLiteral("مقوم %1/%2").arg(person).arg(seq)});
    }
    void addProblem(const QString &person, int seq, const QString &description)
    {
        store.db().execute(QStringLiteral("INSERT INTO problems (tamrel_no, seq_no, Problems_Situation, "
                                          "Problems_Evaluation) VALUES (?, ?, ?, ?)"),
                           {person, seq, kProblemA, description});
    }
    void addDiary(int code, const QString &date, const QString &follower)
    {
        store.db().execute(QStringLiteral("INSERT INTO follow_up_Problems (code, date_information, "
                                          "name_of_follower, Problems_Evaluation, notes) VALUES (?, ?, ?, ?, ' ')"),
                           {code, date, follower, kStatus});
    }
    // The problems of an evaluation as "code:situation:description", in code order.
    QStringList problemsOf(const QString &person, int seq)
    {
        QStringList out;
        engine::QueryCursor rows(store.db(),
                                 QStringLiteral("SELECT code, Problems_Situation, Problems_Evaluation FROM problems "
                                                "WHERE tamrel_no = ? AND seq_no = ? ORDER BY code"),
                                 {person, seq});
        while (rows.next())
            out << QStringLiteral("%1:%2:%3").arg(rows.value(0).toString(), rows.value(1).toString(),
                                                 rows.value(2).toString());
        return out;
    }
    QVariant diaryField(qint64 autoNo, const QString &field)
    {
        return scalar(QStringLiteral("SELECT %1 FROM follow_up_Problems WHERE auto_no = ?").arg(field), {autoNo});
    }

    core::PersonLookup *person() const { return find<core::PersonLookup>(QStringLiteral("dbc_tamrel")); }
    core::KeyLookup *code() const { return find<core::KeyLookup>(QStringLiteral("DBC_CODE")); }
    core::LookupCombo *list(const QString &name) const { return find<core::LookupCombo>(name); }
    QPlainTextEdit *area(const QString &name) const { return find<QPlainTextEdit>(name); }
    QTabWidget *tabs() const { return find<QTabWidget>(QStringLiteral("SSTab1")); }
    core::DataGrid *diaryGrid() const { return find<core::DataGrid>(QStringLiteral("DBGrid2")); }
    QComboBox *combo(int n) const { return find<QComboBox>(QStringLiteral("Combo%1").arg(n)); }

    // Slot n (1..3) as shown: "code:problem:description".
    QString slot(int n) const
    {
        static const char *descriptions[] = {"txt_problems_situation", "txt_problems_situation1",
                                             "txt_problems_situation2"};
        return QStringLiteral("%1:%2:%3").arg(box(QStringLiteral("txt_code_show%1").arg(n))->text(),
                                              list(QStringLiteral("db_problem%1").arg(n))->text(),
                                              area(QLatin1String(descriptions[n - 1]))->toPlainText());
    }
    void fillSlot(int n, const QString &problem, const QString &description)
    {
        static const char *descriptions[] = {"txt_problems_situation", "txt_problems_situation1",
                                             "txt_problems_situation2"};
        list(QStringLiteral("db_problem%1").arg(n))->setText(problem);
        area(QLatin1String(descriptions[n - 1]))->setPlainText(description);
    }
    void show(const QString &person, const QString &seq)
    {
        core::setControlText(this->person(), person);
        box("txt_seq_no")->setText(seq);
        press("find");
    }
    QStringList column(core::DataGrid *g, int col) const
    {
        QStringList out;
        for (int r = 0; r < g->rowCount(); ++r)
            out << g->value(r, col);
        return out;
    }
    // The diary page, on the record with this number.
    void showDiary(qint64 autoNo)
    {
        tabs()->setCurrentIndex(1);
        const int row = int(column(diaryGrid(), frmEvaluation::kDiaryNumberColumn).indexOf(QString::number(autoNo)));
        QVERIFY(diaryGrid()->setCurrentRow(row));
        press("Command4");
    }
};

} // namespace

class TstFrmEvaluation : public QObject {
    Q_OBJECT

private slots:
    void loadingFillsBothPagesAndReadsNoPerson()
    {
        Fixture f;
        f.open();
        QCOMPARE(f.screen->windowTitle(), QStringLiteral("التقويم الميداني"));
        QCOMPARE(f.tabs()->tabText(0), QStringLiteral("بيانات التقويم"));
        QCOMPARE(f.tabs()->tabText(1), QStringLiteral("متابعة المشكلات"));
        QCOMPARE(f.messages.shownCount(), 0);
        QVERIFY(!f.person()->hasOffered());
        QVERIFY(!f.code()->hasOffered());
        QCOMPARE(f.grid()->rowCount(), 0);
        QCOMPARE(f.diaryGrid()->rowCount(), 3); // no problem chosen: every record
        QCOMPARE(f.box("txt_date_information")->text(), QStringLiteral("14270509"));
        QCOMPARE(f.combo(1)->currentText() + f.combo(2)->currentText() + f.combo(3)->currentText(),
                 QStringLiteral("14270509"));
        QCOMPARE(f.list("dbc_integrity")->count(), int(core::schema::starterCodes(8).size()));
        QCOMPARE(f.list("db_problem3")->count(), int(core::schema::starterCodes(16).size()));
        QCOMPARE(f.list("dbc_name_of_officia")->count(), 1);
        QVERIFY(f.find<QLineEdit>(QStringLiteral("TXT_A_NEW_NAME")));
        f.press("Command1"); // an empty slot leads nowhere
        QCOMPARE(f.tabs()->currentIndex(), 0);
    }

    // Slots 1 and 3 filled: two rows, shown in slots 1 and 2 with their
    // codes; slot 3's description keeps its text. The fields are stored exactly.
    void addStoresTheEvaluationAndItsFilledSlots()
    {
        Fixture f;
        f.open();
        typeIn(f.person(), QStringLiteral("13"));
        QCOMPARE(f.box("TXT_A_NEW_NAME")->text(), QStringLiteral("مريم"));
        f.box("txt_evaluator_name")->setText(QStringLiteral("O'Brien \"x\" 100%"));
        f.list("dbc_integrity")->setText(core::schema::starterCodes(8).value(1));
        f.list("dbc_name_of_officia")->setText(QStringLiteral("سعد"));
        pick(f.combo(1), QStringLiteral("1427"));
        QCOMPARE(f.box("Text1")->text(), QStringLiteral("2006/06/06"));
        f.area("txt_remarks")->setPlainText(QStringLiteral("سطر\nline 2"));
        f.fillSlot(1, kProblemA, QStringLiteral("first"));
        f.fillSlot(2, QString(), QStringLiteral("no problem chosen"));
        f.fillSlot(3, kProblemB, QStringLiteral("third"));
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_ADDED});
        QCOMPARE(f.box("txt_seq_no")->text(), QStringLiteral("2"));
        const auto stored = [&](const char *field) {
            return f.scalar(QStringLiteral("SELECT %1 FROM Field_Evaluation WHERE tamrel_no = '13' AND seq_no = 2")
                                .arg(QLatin1String(field))).toString();
        };
        QCOMPARE(stored("evaluator_name"), QStringLiteral("O'Brien \"x\" 100%"));
        QCOMPARE(stored("integrity"), core::schema::starterCodes(8).value(1));
        QCOMPARE(stored("date"), QStringLiteral("14270509"));
        QCOMPARE(stored("name_of_official"), QStringLiteral("سعد"));
        QCOMPARE(stored("remarks"), QStringLiteral("سطر\nline 2"));
        QCOMPARE(f.problemsOf("13", 2),
                 (QStringList{"6:" + kProblemA + ":first", "7:" + kProblemB + ":third"}));
        QCOMPARE(f.slot(1), "6:" + kProblemA + ":first");
        QCOMPARE(f.slot(2), "7:" + kProblemB + ":third");
        QCOMPARE(f.slot(3), QStringLiteral("::third"));
        QCOMPARE(f.column(f.grid(), 1), (QStringList{"1", "2"}));
        QCOMPARE(f.grid()->heading(1), QStringLiteral("رقم التقويم"));
    }

    // Four stored problems: the first three are shown in stored order and
    // rewritten by update (an emptied slot empties its row); the fourth stays.
    // A slot filled where no row stands gets a row of its own.
    void updateRewritesTheSlotsInStoredOrder()
    {
        Fixture f;
        f.open();
        f.show(QStringLiteral("12"), QStringLiteral("1"));
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.slot(1), "1:" + kProblemA + ":p1");
        QCOMPARE(f.slot(3), "3:" + kProblemA + ":p3");
        f.fillSlot(1, kProblemB, QStringLiteral("changed"));
        f.fillSlot(2, QString(), QString());
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_UPDATED});
        QCOMPARE(f.problemsOf("12", 1),
                 (QStringList{"1:" + kProblemB + ":changed", "2::", "3:" + kProblemA + ":p3",
                              "4:" + kProblemA + ":p4"}));

        f.show(QStringLiteral("12"), QStringLiteral("2"));
        QCOMPARE(f.slot(1), QStringLiteral("::"));
        f.fillSlot(2, kProblemA, QStringLiteral("new"));
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_UPDATED});
        QCOMPARE(f.problemsOf("12", 2), (QStringList{"6:" + kProblemA + ":new"}));
        QCOMPARE(f.slot(1), "6:" + kProblemA + ":new"); // shown where the next update finds it
        f.press("update");
        QCOMPARE(f.rowCount(QStringLiteral("problems")), 6);

        // An evaluation that is not there rewrites nothing.
        f.box("txt_seq_no")->setText(QStringLiteral("9"));
        f.fillSlot(3, kProblemA, QStringLiteral("lost"));
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_NOTFOUND});
        QCOMPARE(f.rowCount(QStringLiteral("problems")), 6);
    }

    void deleteAsksAndTakesTheProblemsButNotTheirDiary_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("No") << false;
        QTest::newRow("Yes") << true;
    }
    void deleteAsksAndTakesTheProblemsButNotTheirDiary()
    {
        QFETCH(bool, yes);
        Fixture f;
        f.open();
        f.show(QStringLiteral("12"), QStringLiteral("1"));
        f.messages.queueAnswer(yes);
        f.press("delete");
        QCOMPARE(f.messages.confirmCount(), 1);
        QCOMPARE(f.messages.shown(), yes ? QStringList{f.cmn.msgs.MSG_DELETED} : QStringList{});
        QCOMPARE(f.rowCount(QStringLiteral("Field_Evaluation")), yes ? 2 : 3);
        QCOMPARE(f.problemsOf("12", 1).size(), yes ? 0 : 4);
        QCOMPARE(f.problemsOf("13", 1).size(), 1);
        QCOMPARE(f.rowCount(QStringLiteral("follow_up_Problems")), 3);
    }

    void findOfAMissingKeyShowsTheFirstEvaluationWithItsProblems()
    {
        Fixture f;
        f.open();
        f.fillSlot(3, kProblemB, QStringLiteral("typed"));
        f.show(QStringLiteral("12"), QStringLiteral("7"));
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_NOTFOUND});
        QCOMPARE(f.box("txt_seq_no")->text(), QStringLiteral("1"));
        QCOMPARE(f.box("txt_evaluator_name")->text(), QStringLiteral("مقوم 12/1"));
        QCOMPARE(f.slot(3), "3:" + kProblemA + ":p3");
        f.press("nextrec");
        QCOMPARE(f.box("txt_seq_no")->text(), QStringLiteral("2"));
        QCOMPARE(f.slot(1), QStringLiteral("::"));
        f.press("lastrec");
        QCOMPARE(f.person()->text(), QStringLiteral("13"));
        QCOMPARE(f.slot(1), "5:" + kProblemA + ":p5");
    }

    // Add with no person (page 0) or with no problem (page 1) is refused;
    // so is a code no problem has. Nothing is written.
    void addRefusesWithoutPersonOrProblem_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("key");
        QTest::newRow("no person") << 0 << "";
        QTest::newRow("no problem") << 1 << "";
        QTest::newRow("letters") << 1 << "1 OR 1=1";
        QTest::newRow("unknown problem") << 1 << "99";
    }
    void addRefusesWithoutPersonOrProblem()
    {
        QFETCH(int, page);
        QFETCH(QString, key);
        Fixture f;
        f.open();
        f.tabs()->setCurrentIndex(page);
        if (page == 1)
            f.code()->setText(key);
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_INVALID});
        QCOMPARE(f.rowCount(QStringLiteral("Field_Evaluation")), 3);
        QCOMPARE(f.rowCount(QStringLiteral("problems")), 5);
        QCOMPARE(f.rowCount(QStringLiteral("follow_up_Problems")), 3);
    }

    // A slot's "..." leads to its problem's diary; a typed code lists only
    // its records, and one no problem has empties the person.
    void diaryPageFollowsTheChosenProblem_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("person");
        QTest::addColumn<QStringList>("records");
        QTest::addColumn<int>("offered"); // the codes from the typed one on
        QTest::newRow("problem of another person") << "5" << "13" << QStringList{"3"} << 1;
        QTest::newRow("problem without diary") << "2" << "12" << QStringList{} << 4;
        QTest::newRow("unknown problem") << "99" << "" << QStringList{} << 0;
        QTest::newRow("not a number") << "1 OR 1=1" << "" << QStringList{} << 0;
    }
    void diaryPageFollowsTheChosenProblem()
    {
        QFETCH(QString, typed);
        QFETCH(QString, person);
        QFETCH(QStringList, records);
        QFETCH(int, offered);
        Fixture f;
        f.open();
        f.show(QStringLiteral("12"), QStringLiteral("1"));
        f.press("Command1");
        QCOMPARE(f.tabs()->currentIndex(), 1);
        QCOMPARE(f.code()->text(), QStringLiteral("1"));
        QCOMPARE(f.box("txt_tamrel_no1")->text(), QStringLiteral("12"));
        QCOMPARE(f.box("txt_new_a")->text(), QStringLiteral("عبد الله"));
        QCOMPARE(f.column(f.diaryGrid(), 5), (QStringList{"1", "2"}));
        QCOMPARE(f.diaryGrid()->heading(2), QStringLiteral("اسم المتابع"));

        typeIn(f.code(), typed);
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.box("txt_tamrel_no1")->text(), person);
        QCOMPARE(f.box("txt_new_a")->text().isEmpty(), person.isEmpty());
        QCOMPARE(f.column(f.diaryGrid(), 5), records);
        QCOMPARE(f.code()->count(), offered);
        QCOMPARE(f.rowCount(QStringLiteral("problems")), 5);
    }

    // Add, choose, update and delete by the record number; eight zeros for
    // a date left unchosen; the messages say what happened.
    // The problems and diary records the screen writes beside its own
    // record are in the audit trail too, each problem deleted on its own.
    void problemsAndDiaryAreAudited()
    {
        Fixture f;
        f.store.setActor(QStringLiteral("clerk"));
        f.open();
        f.show(QStringLiteral("12"), QStringLiteral("1"));
        f.messages.queueAnswer(true);
        f.press("delete");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_DELETED});

        f.tabs()->setCurrentIndex(1);
        typeIn(f.code(), QStringLiteral("5"));
        f.box("txt_name_of_follower")->setText(QStringLiteral("علي"));
        f.list("dbc_Problems_Evaluation")->setText(kStatus);
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_ADDED});
        f.box("txt_name_of_follower")->setText(QStringLiteral("عمر"));
        f.press("update");
        f.press("delete");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_DELETED});

        QStringList seen;
        engine::QueryCursor rows(f.store.db(), QStringLiteral("SELECT table_name || '|' || record_key || '|' || action "
                                                              "|| '|' || user_id FROM audit ORDER BY audit_id"));
        while (rows.next())
            seen << rows.value(0).toString();
        QCOMPARE(seen, (QStringList{"Field_Evaluation|12/1|delete|clerk", "problems|1|delete|clerk",
                                    "problems|2|delete|clerk", "problems|3|delete|clerk", "problems|4|delete|clerk",
                                    "follow_up_Problems|4|add|clerk", "follow_up_Problems|4|update|clerk",
                                    "follow_up_Problems|4|delete|clerk"}));
        QVERIFY(f.scalar(QStringLiteral("SELECT changes FROM audit WHERE table_name = 'follow_up_Problems' "
                                        "AND action = 'update'"))
                    .toString()
                    .contains(QStringLiteral("\"new\":\"عمر\"")));
    }

    void diaryRecordsByTheirNumber()
    {
        Fixture f;
        f.open();
        f.tabs()->setCurrentIndex(1);
        f.press("delete"); // no record shown
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_NOTFOUND});
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_NOTFOUND});

        typeIn(f.code(), QStringLiteral("5"));
        pick(f.combo(4), QStringLiteral("0000"));
        pick(f.combo(5), QStringLiteral("00"));
        pick(f.combo(6), QStringLiteral("00"));
        QCOMPARE(f.box("txt_date_information")->text(), QStringLiteral("00000000"));
        f.box("txt_name_of_follower")->setText(QStringLiteral("Ali'; DROP TABLE problems; --"));
        f.list("dbc_Problems_Evaluation")->setText(kStatus);
        f.area("txt_notes")->setPlainText(QStringLiteral("ملاحظة"));
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_ADDED});
        QCOMPARE(f.box("txt_auto_no")->text(), QStringLiteral("4"));
        QCOMPARE(f.diaryField(4, "code").toInt(), 5);
        QCOMPARE(f.diaryField(4, "date_information").toString(), QStringLiteral("00000000"));
        QCOMPARE(f.diaryField(4, "name_of_follower").toString(), QStringLiteral("Ali'; DROP TABLE problems; --"));
        QCOMPARE(f.column(f.diaryGrid(), 5), (QStringList{"3", "4"}));

        // A double click on a row of the grid shows its record, as Command4 does.
        testsupport::doubleClickRow(f.diaryGrid(), 0);
        QCOMPARE(f.box("txt_name_of_follower")->text(), QStringLiteral("يوسف"));
        f.showDiary(4);
        f.box("txt_name_of_follower")->setText(QStringLiteral("عمر"));
        pick(f.combo(4), QStringLiteral("1428"));
        f.press("update");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.diaryField(4, "name_of_follower").toString(), QStringLiteral("عمر"));
        QCOMPARE(f.diaryField(4, "date_information").toString(), QStringLiteral("14280000"));
        QCOMPARE(f.diaryField(4, "code").toInt(), 5);

        f.press("delete");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_DELETED});
        QVERIFY(f.diaryField(4, "auto_no").isNull());
        f.press("delete"); // gone already
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_NOTFOUND});
        f.press("prevrec"); // from the deleted record to the one stored before it
        QCOMPARE(f.box("txt_auto_no")->text(), QStringLiteral("3"));
    }

    // Moves in stored order; beyond either end nothing changes; clear and
    // find do nothing on this page.
    void diaryMovesInStoredOrder()
    {
        Fixture f;
        f.open();
        f.tabs()->setCurrentIndex(1);
        f.press("nextrec"); // no record shown
        QVERIFY(f.box("txt_auto_no")->text().isEmpty());
        f.press("firstrec");
        QCOMPARE(f.box("txt_auto_no")->text(), QStringLiteral("1"));
        QCOMPARE(f.box("txt_name_of_follower")->text(), QStringLiteral("خالد"));
        QCOMPARE(f.code()->text(), QStringLiteral("1"));
        QCOMPARE(f.box("txt_date_information")->text(), QStringLiteral("14270101"));
        QCOMPARE(f.combo(4)->currentText(), QStringLiteral("1427"));
        f.press("prevrec");
        QCOMPARE(f.box("txt_auto_no")->text(), QStringLiteral("1"));
        f.press("nextrec");
        QCOMPARE(f.box("txt_auto_no")->text(), QStringLiteral("2"));
        f.press("lastrec");
        QCOMPARE(f.box("txt_auto_no")->text(), QStringLiteral("3"));
        QCOMPARE(f.box("txt_tamrel_no1")->text(), QStringLiteral("13"));
        QCOMPARE(f.column(f.diaryGrid(), 5), QStringList{"3"});
        f.press("nextrec");
        QCOMPARE(f.box("txt_auto_no")->text(), QStringLiteral("3"));
        QCOMPARE(f.messages.shownCount(), 0);

        const QString before = f.box("txt_name_of_follower")->text() + f.code()->text();
        f.click("clear");
        f.click("find");
        QCOMPARE(f.box("txt_name_of_follower")->text() + f.code()->text(), before);
        QCOMPARE(f.box("txt_auto_no")->text(), QStringLiteral("3"));
        QVERIFY(!f.find<QPushButton>(QStringLiteral("clear"))->isEnabled());

        // Back on page 0, clear empties both pages: no record left for update.
        // The evaluator's name is not in what clear empties.
        f.tabs()->setCurrentIndex(0);
        f.box("txt_evaluator_name")->setText(QStringLiteral("أحمد"));
        f.press("clear");
        QVERIFY(f.box("txt_auto_no")->text().isEmpty());
        QVERIFY(f.box("txt_seq_no")->text().isEmpty());
        QCOMPARE(f.box("txt_evaluator_name")->text(), QStringLiteral("أحمد"));
        QCOMPARE(f.box("txt_date_information")->text(), QStringLiteral("14270303"));
        f.tabs()->setCurrentIndex(1);
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_NOTFOUND});
        QCOMPARE(f.diaryField(3, "name_of_follower").toString(), QStringLiteral("يوسف"));
    }
};

VELM_TEST_MAIN(TstFrmEvaluation)
#include "tst_frmEvaluation.moc"
