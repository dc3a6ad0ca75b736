// Choosing a number from a look-up list runs the look-up every time, on
// every screen about one person, whatever the box held before.
#include "education/frmCourses.h"
#include "followup/frmEvaluation.h"
#include "followup/frmFollowup.h"
#include "followup/frmQuest.h"

#include "screens/KeyLookup.h"
#include "screens/PersonLookup.h"
#include "support/ScreenWorld.h"
#include "support/TestMain.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QSignalSpy>
#include <QTabWidget>

#include <functional>
#include <memory>

using testsupport::typeIn;

namespace {

using MakeScreen = std::function<QWidget *(core::AppContext &)>;

template <typename Screen>
MakeScreen make()
{
    return [](core::AppContext &ctx) -> QWidget * { return new Screen(ctx); };
}

const QString kArabic = QStringLiteral("عبد الله");
const char *const kAnswers[] = {"dbc_q1", "dbc_q2", "txt_q3", "txt_q4", "txt_q5", "txt_remark_1"};

struct World : testsupport::ScreenWorld {
    std::unique_ptr<QWidget> screen;
    QString namesBox = QStringLiteral("txt_a_new_name");

    World()
    {
        setWorkingDate({"1427", "05", "09"});
        addPerson(QStringLiteral("12"), kArabic, QStringLiteral("Abdullah"));
        addPerson(QStringLiteral("13"), QStringLiteral("مريم"), QStringLiteral("Maryam"));
        QVariantList answers{QStringLiteral("12")};
        for (const char *name : kAnswers)
            answers << QStringLiteral("محفوظ %1").arg(QLatin1String(name));
        store.db().execute(QStringLiteral("INSERT INTO questionnaire (tamrel_no, q1, q2, q3, q4, q5, "
                                          "remark_1) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                           answers);
        store.db().execute(QStringLiteral("INSERT INTO problems (tamrel_no, seq_no, Problems_Situation, "
                                          "Problems_Evaluation) VALUES ('12', 1, 'أ', 'ب')"));
    }
    void open(const MakeScreen &makeScreen)
    {
        screen.reset(makeScreen(ctx));
        screen->show();
    }
    template <typename T>
    T *find(const QString &name) const
    {
        return testsupport::control<T>(screen.get(), name);
    }
    core::PersonLookup *person() const { return find<core::PersonLookup>(QStringLiteral("dbc_tamrel")); }
    QString names() const
    {
        return testsupport::box(screen.get(), namesBox)->text();
    }
    QStringList answers() const
    {
        QStringList out;
        for (const char *name : kAnswers)
            out << core::controlText(find<QWidget>(QLatin1String(name)));
        return out;
    }
    QStringList storedAnswers()
    {
        return scalar(QStringLiteral("SELECT q1 || '|' || q2 || '|' || q3 || '|' || q4 || '|' || q5 || '|' "
                                     "|| remark_1 FROM questionnaire WHERE tamrel_no = '12'"))
            .toString()
            .split(QLatin1Char('|'));
    }
};

// Opens the list as the clerk does, moves to the entry and presses Enter.
void chooseFromOpenList(QComboBox *list, const QString &text)
{
    list->showPopup();
    const int row = list->findText(text);
    if (row < 0)
        qFatal("%s offers no %s", qPrintable(list->objectName()), qPrintable(text));
    QAbstractItemView *view = list->view();
    view->setCurrentIndex(list->model()->index(row, list->modelColumn()));
    QTest::keyClick(view, Qt::Key_Return);
}

} // namespace

Q_DECLARE_METATYPE(MakeScreen)

class TstLookupAgain : public QObject {
    Q_OBJECT

private slots:
    void theSameNumberAgainIsLookedUp_data()
    {
        QTest::addColumn<MakeScreen>("makeScreen");
        QTest::addColumn<QString>("namesBox");
        QTest::newRow("follow-up steps") << make<followup::frmFollowup>() << "txt_a_new_name";
        QTest::newRow("courses") << make<education::frmCourses>() << "txt_a_new_name";
        QTest::newRow("questionnaire") << make<followup::frmQuest>() << "txt_a_new_name";
        QTest::newRow("field evaluation") << make<followup::frmEvaluation>() << "TXT_A_NEW_NAME";
    }
    void theSameNumberAgainIsLookedUp()
    {
        QFETCH(MakeScreen, makeScreen);
        QFETCH(QString, namesBox);
        World w;
        w.namesBox = namesBox;
        w.open(makeScreen);
        w.screen->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w.screen.get()));
        QSignalSpy lookedUp(w.person(), &core::PersonLookup::personChanged);
        const auto clear = [&] {
            w.press(w.screen.get(), QStringLiteral("clear"));
            QCOMPARE(w.names(), QString());
        };

        chooseFromOpenList(w.person(), QStringLiteral("12"));
        QCOMPARE(w.names(), kArabic);
        clear();
        chooseFromOpenList(w.person(), QStringLiteral("12"));
        QCOMPARE(w.names(), kArabic);
        QCOMPARE(lookedUp.count(), 2); // once for each choice

        // Opening the list and choosing the number it shows: looked up again.
        chooseFromOpenList(w.person(), QStringLiteral("12"));
        QCOMPARE(lookedUp.count(), 3);

        clear();
        typeIn(w.person(), QStringLiteral("12"));
        QCOMPARE(w.names(), kArabic);
        QCOMPARE(lookedUp.count(), 4);

        // Typed, then the box is left.
        clear();
        w.person()->lineEdit()->setFocus();
        QTest::keyClicks(w.person()->lineEdit(), QStringLiteral("12"));
        // The popup of matching numbers is open and has the keys: Tab leaves.
        QAbstractItemView *popup = w.person()->completer()->popup();
        QVERIFY(popup->isVisible());
        QTest::keyClick(popup, Qt::Key_Tab);
        QVERIFY(!w.person()->lineEdit()->hasFocus());
        QCOMPARE(w.names(), kArabic);
        QCOMPARE(lookedUp.count(), 5);

        // A pick of the number the program put in the box.
        clear();
        core::setControlText(w.person(), QStringLiteral("12"));
        testsupport::pick(w.person(), QStringLiteral("12"));
        QCOMPARE(w.names(), kArabic);
        QCOMPARE(lookedUp.count(), 6);
    }

    // Update after choosing the person again keeps the stored questionnaire.
    void updateAfterTheSameChoiceKeepsTheAnswers()
    {
        World w;
        w.open(make<followup::frmQuest>());
        const QStringList stored = w.storedAnswers();
        QCOMPARE(stored.size(), 6);
        chooseFromOpenList(w.person(), QStringLiteral("12"));
        QCOMPARE(w.answers(), stored);
        w.press(w.screen.get(), QStringLiteral("clear"));
        QCOMPARE(w.answers(), QStringList(6, QString()));
        chooseFromOpenList(w.person(), QStringLiteral("12"));
        QCOMPARE(w.answers(), stored);
        w.press(w.screen.get(), QStringLiteral("update"));
        QCOMPARE(w.storedAnswers(), stored);
    }

    // The problem number of the diary page: cleared from the first page,
    // then chosen again.
    void theSameProblemAgainIsLookedUp()
    {
        World w;
        w.open(make<followup::frmEvaluation>());
        auto *tabs = w.find<QTabWidget>(QStringLiteral("SSTab1"));
        auto *code = w.find<core::KeyLookup>(QStringLiteral("DBC_CODE"));
        QLineEdit *owner = testsupport::box(w.screen.get(), QStringLiteral("txt_tamrel_no1"));
        tabs->setCurrentIndex(1);
        chooseFromOpenList(code, QStringLiteral("1"));
        QCOMPARE(owner->text(), QStringLiteral("12"));
        tabs->setCurrentIndex(0);
        w.press(w.screen.get(), QStringLiteral("clear"));
        tabs->setCurrentIndex(1);
        QCOMPARE(owner->text(), QString());
        chooseFromOpenList(code, QStringLiteral("1"));
        QCOMPARE(owner->text(), QStringLiteral("12"));
    }
};

VELM_TEST_MAIN(TstLookupAgain)
#include "tst_lookupagain.moc"
