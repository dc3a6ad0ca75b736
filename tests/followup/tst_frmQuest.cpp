#include "followup/frmQuest.h"

#include "screens/LookupCombo.h"
#include "screens/PersonLookup.h"
#include "support/ScreenWorld.h"
#include "support/TestMain.h"

#include <QPlainTextEdit>

#include <memory>

using followup::frmQuest;
using testsupport::typeIn;

namespace {

const char *const kAnswers[] = {"dbc_q1", "dbc_q2", "txt_q3", "txt_q4", "txt_q5", "txt_remark_1"};
const char *const kFields[] = {"q1", "q2", "q3", "q4", "q5", "remark_1"};

struct Fixture : testsupport::ScreenFixture<frmQuest> {
    Fixture()
    {
        addPerson(QStringLiteral("12"), QStringLiteral("عبد الله"), QStringLiteral("Abdullah"));
        addPerson(QStringLiteral("13"), QStringLiteral("مريم"), QStringLiteral("Maryam"));
        addQuestionnaire(QStringLiteral("12"), QStringLiteral("أ"));
        addQuestionnaire(QStringLiteral("77"), QStringLiteral("قديم")); // person no longer registered
        screen = std::make_unique<frmQuest>(ctx);
        screen->show();
    }
    void addQuestionnaire(const QString &number, const QString &prefix)
    {
        QVariantList values{number};
        for (const char *field : kFields)
            values << prefix + QLatin1Char(' ') + QLatin1String(field);
        store.db().execute(QStringLiteral("INSERT INTO questionnaire (tamrel_no, q1, q2, q3, q4, q5, "
                                          "remark_1) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                           values);
    }
    core::PersonLookup *person() const { return find<core::PersonLookup>(QStringLiteral("dbc_tamrel")); }
    QStringList answers() const
    {
        QStringList out;
        for (const char *name : kAnswers)
            out << core::controlText(find<QWidget>(QLatin1String(name)));
        return out;
    }
    void answer(const QStringList &texts) const
    {
        for (int i = 0; i < texts.size(); ++i)
            core::setControlText(find<QWidget>(QLatin1String(kAnswers[i])), texts.at(i));
    }
    QStringList storedAnswers(const QString &number)
    {
        QStringList out;
        for (const char *field : kFields)
            out << scalar(QStringLiteral("SELECT %1 FROM questionnaire WHERE tamrel_no = ?")
                              .arg(QLatin1String(field)),
                          {number})
                       .toString();
        return out;
    }
};

QStringList expectedAnswers(const QString &prefix)
{
    QStringList out;
    for (const char *field : kFields)
        out << prefix + QLatin1Char(' ') + QLatin1String(field);
    return out;
}

} // namespace

class TstFrmQuest : public QObject {
    Q_OBJECT

private slots:
    void choosingAPersonShowsTheStoredAnswers_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("arabic");
        QTest::addColumn<QStringList>("answers");
        QTest::newRow("stored questionnaire") << "12" << "عبد الله" << expectedAnswers(QStringLiteral("أ"));
        QTest::newRow("person without one") << "13" << "مريم" << QStringList(6, QString());
        QTest::newRow("unknown number") << "99" << "" << QStringList(6, QString());
        QTest::newRow("quotes") << "12' --" << "" << QStringList(6, QString());
    }
    void choosingAPersonShowsTheStoredAnswers()
    {
        QFETCH(QString, number);
        QFETCH(QString, arabic);
        QFETCH(QStringList, answers);
        Fixture f;
        QCOMPARE(f.screen->windowTitle(),
                 QStringLiteral("إستبيان عام لTamrels / General Questionnaire For Tamrels"));
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.grid()->rowCount(), 2);
        f.answer(QStringList(6, QStringLiteral("typed before")));
        testsupport::enterText(f.person(), number); // the keys type digits only
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.box("txt_a_new_name")->text(), arabic);
        QCOMPARE(f.answers(), answers);
        QCOMPARE(f.grid()->rowCount(), 2); // the grid always lists every questionnaire
    }

    void addUpdateAndRefusals()
    {
        Fixture f;
        typeIn(f.person(), QStringLiteral("13"));
        const QStringList texts{QStringLiteral("من \"صديق\""), QStringLiteral("سنة 100%"),
                                QStringLiteral("O'Brien's * reason ?"), QStringLiteral("سطر\nLine 2"),
                                QString(300, QChar(0x0639)), QStringLiteral("Arabic عربي mixed")};
        f.answer(texts);
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_ADDED});
        QCOMPARE(f.storedAnswers(QStringLiteral("13")), texts);
        QCOMPARE(f.grid()->rowCount(), 3);

        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_DUPLICATE});
        f.find<QPlainTextEdit>(QStringLiteral("txt_remark_1"))->setPlainText(QStringLiteral("بعد التعديل"));
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_UPDATED});
        QCOMPARE(f.storedAnswers(QStringLiteral("13")).last(), QStringLiteral("بعد التعديل"));

        // Never an empty key or one that is not a number.
        for (const QString &number : {QString(), QStringLiteral("abc")}) {
            f.press("clear");
            QCOMPARE(f.person()->text(), QString());
            core::setControlText(f.person(), number);
            f.answer(texts);
            for (const char *button : {"add", "update"}) {
                f.press(button);
                QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_INVALID});
            }
        }
        QCOMPARE(f.rowCount(QStringLiteral("questionnaire")), 3);
    }

    void listChoiceAndDeleteWithoutRequery()
    {
        Fixture f;
        f.press("list");
        int row = -1;
        for (int r = 0; r < f.grid()->rowCount(); ++r) {
            if (f.grid()->value(r, 0) == QStringLiteral("77"))
                row = r;
        }
        QVERIFY(f.grid()->setCurrentRow(row));
        f.press("list_ok");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.person()->text(), QStringLiteral("77"));
        // The person has gone from the register; the answers stay shown.
        QVERIFY(f.box("txt_a_new_name")->text().isEmpty());
        QCOMPARE(f.answers(), expectedAnswers(QStringLiteral("قديم")));

        f.messages.queueAnswer(true);
        f.press("delete");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_DELETED});
        QCOMPARE(f.grid()->rowCount(), 2);
        f.press("refresh");
        QCOMPARE(f.grid()->rowCount(), 1);

        // Choosing a person reads the list again: a questionnaire deleted
        // meanwhile goes from it.
        f.addQuestionnaire(QStringLiteral("78"), QStringLiteral("x"));
        QCOMPARE(f.grid()->rowCount(), 1);
        typeIn(f.person(), QStringLiteral("13"));
        QCOMPARE(f.grid()->rowCount(), 2);
    }
};

VELM_TEST_MAIN(TstFrmQuest)
#include "tst_frmQuest.moc"
