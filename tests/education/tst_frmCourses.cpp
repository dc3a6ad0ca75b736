#include "education/frmCourses.h"

#include "screens/DateSelector.h"
#include "data/HijraDate.h"
#include "screens/LookupCombo.h"
#include "screens/PersonLookup.h"
#include "data/Schema.h"
#include "support/ScreenWorld.h"
#include "support/TestMain.h"

#include <QPlainTextEdit>

#include <memory>

using education::frmCourses;
using testsupport::pick;
using testsupport::typeIn;

namespace {

struct Fixture : testsupport::ScreenFixture<frmCourses> {
    Fixture()
    {
        setWorkingDate({"1426", "01", "15"});
        addPerson(QStringLiteral("12"), QStringLiteral("عبد الله"), QStringLiteral("Abdullah"));
        for (int seq : {1, 2, 5})
            addCourse(QStringLiteral("12"), seq, QStringLiteral("جيد"));
        addCourse(QStringLiteral("30"), 1, QStringLiteral("درجة قديمة")); // a grade the list lacks
        screen = std::make_unique<frmCourses>(ctx);
        screen->show();
    }
    void addCourse(const QString &number, int seq, const QString &grade)
    {
        store.db().execute(QStringLiteral("INSERT INTO courses (tamrel_no, seq_no, description, "
                                          "step_start_date, step_end_date, evaluation, comments) "
                                          "VALUES (?, ?, 'العقيدة', '14260101', '14260301', ?, ' ')"),
                           {number, seq, grade});
    }
    QVariant stored(const QString &number, int seq, const char *field)
    {
        return scalar(QStringLiteral("SELECT %1 FROM courses WHERE tamrel_no = ? AND seq_no = ?")
                          .arg(QLatin1String(field)),
                      {number, seq});
    }
    core::PersonLookup *person() const { return find<core::PersonLookup>(QStringLiteral("dbc_tamrel")); }
    QComboBox *combo(const QString &name) const { return find<QComboBox>(name); }
    QString date(int first) const
    {
        QString text;
        for (int n = first; n < first + 3; ++n)
            text += combo(QStringLiteral("Combo%1").arg(n))->currentText();
        return text;
    }
};

} // namespace

class TstFrmCourses : public QObject {
    Q_OBJECT

private slots:
    void loadingListsEveryCourseAndTheGrades()
    {
        Fixture f;
        QCOMPARE(f.screen->windowTitle(), QStringLiteral("متابعة الدورات"));
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.grid()->rowCount(), 4); // no person yet: every course
        QCOMPARE(f.date(1), QStringLiteral("14260115"));
        QCOMPARE(f.date(4), QStringLiteral("14260115"));
        QCOMPARE(f.combo("Combo1")->itemText(1), QStringLiteral("1423"));
        QCOMPARE(f.combo("Combo3")->itemText(f.combo("Combo3")->count() - 1), QStringLiteral("30"));
        QComboBox *grades = f.combo("Combo_evaluation");
        QStringList offered;
        for (int i = 0; i < grades->count(); ++i)
            offered << grades->itemText(i);
        QCOMPARE(offered, (QStringList{"جيد", "جيد جدا", "ممتاز", "مقبول", "اجتياز"}));
        QVERIFY(f.box("txt_seq_no")->isReadOnly());
        QCOMPARE(f.find<core::LookupCombo>(QStringLiteral("dbc_step"))->count(),
                 int(core::schema::starterCodes(9).size()));
    }

    void addNumbersStoresTheDatesAndShowsThemBack()
    {
        Fixture f;
        typeIn(f.person(), QStringLiteral("12"));
        QCOMPARE(f.box("txt_a_new_name")->text(), QStringLiteral("عبد الله"));
        QCOMPARE(f.grid()->rowCount(), 3);
        f.find<core::LookupCombo>(QStringLiteral("dbc_step"))->setText(core::schema::starterCodes(9).first());
        pick(f.combo("Combo1"), QStringLiteral("1425"));
        pick(f.combo("Combo2"), QStringLiteral("03"));
        pick(f.combo("Combo3"), QStringLiteral("09"));
        QCOMPARE(f.box("Text1")->text(), core::hijriToGregorian(1425, 3, 9).value());
        pick(f.combo("Combo4"), QStringLiteral("0000"));
        pick(f.combo("Combo5"), QStringLiteral("00"));
        pick(f.combo("Combo6"), QStringLiteral("00"));
        QVERIFY(f.box("Text2")->text().isEmpty());
        pick(f.combo("Combo_evaluation"), QStringLiteral("جيد جدا"));
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_ADDED});
        QCOMPARE(f.box("txt_seq_no")->text(), QStringLiteral("6"));
        QCOMPARE(f.stored("12", 6, "step_start_date").toString(), QStringLiteral("14250309"));
        QCOMPARE(f.stored("12", 6, "step_end_date").toString(), QStringLiteral("00000000"));
        QCOMPARE(f.stored("12", 6, "evaluation").toString(), QStringLiteral("جيد جدا"));
        QCOMPARE(f.grid()->rowCount(), 4);

        // Back into the three lists unchanged; the displays are not recomputed.
        f.press("clear");
        pick(f.combo("Combo1"), QStringLiteral("0000"));
        typeIn(f.person(), QStringLiteral("12"));
        f.box("txt_seq_no")->setText(QStringLiteral("6"));
        f.box("Text1")->setText(QStringLiteral("kept"));
        f.press("find");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.date(1), QStringLiteral("14250309"));
        QCOMPARE(f.date(4), QStringLiteral("00000000"));
        QCOMPARE(f.box("Text1")->text(), QStringLiteral("kept"));
        QCOMPARE(f.combo("Combo_evaluation")->currentText(), QStringLiteral("جيد جدا"));
    }

    void aGradeTheListLacksIsShownAndKept()
    {
        Fixture f;
        core::setControlText(f.person(), QStringLiteral("30"));
        f.box("txt_seq_no")->setText(QStringLiteral("1"));
        f.press("find");
        QCOMPARE(f.combo("Combo_evaluation")->currentText(), QStringLiteral("درجة قديمة"));
        // A person the register lacks: names empty, the course still kept and updated.
        QVERIFY(f.box("txt_a_new_name")->text().isEmpty());
        f.find<QPlainTextEdit>(QStringLiteral("txt_comments"))->setPlainText(QStringLiteral("ملاحظة"));
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_UPDATED});
        QCOMPARE(f.stored("30", 1, "evaluation").toString(), QStringLiteral("درجة قديمة"));
        QCOMPARE(f.stored("30", 1, "comments").toString(), QStringLiteral("ملاحظة"));
    }

    void clearThenAddIsRefused()
    {
        Fixture f;
        f.press("clear");
        QCOMPARE(f.person()->text(), QStringLiteral(" "));
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_INVALID});
        QCOMPARE(f.rowCount(QStringLiteral("courses")), 4);
        QVERIFY(f.box("txt_seq_no")->text().isEmpty());
    }
};

VELM_TEST_MAIN(TstFrmCourses)
#include "tst_frmCourses.moc"
