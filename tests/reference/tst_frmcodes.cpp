#include "reference/frmcodes.h"

#include "data/Schema.h"
#include "support/RefuseWrites.h"
#include "support/ScreenWorld.h"
#include "support/TestMain.h"
#include "engine/QueryCursor.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include <memory>

using reference::frmcodes;

namespace {

const QString kAwkward = QStringLiteral("قال \"O'Brien\" 100% *مهم* [x]");

struct Fixture : testsupport::ScreenFixture<frmcodes> {
    Fixture() { screen = std::make_unique<frmcodes>(ctx); }

    QLineEdit *text1() const { return box(QStringLiteral("Text1")); }
    reference::WrappingTabs *tabs() const { return find<reference::WrappingTabs>(QStringLiteral("SSTab1")); }
    core::DataSource *codesData() const { return find<core::DataSource>(QStringLiteral("CODES_DATA")); }

    // Types a text and presses a button.
    void enter(const QString &text, const char *button)
    {
        text1()->setText(text);
        click(QLatin1String(button));
    }

    // Entries of code table n in key order, read behind the screen's back.
    QStringList entries(int n)
    {
        engine::QueryCursor q(store.db(), QStringLiteral("SELECT \"%1\" FROM category%2 ORDER BY 1")
                                              .arg(core::schema::codeFieldName(n))
                                              .arg(n));
        QStringList out;
        while (q.next())
            out << q.value(0).toString();
        return out;
    }
    bool has(int n, const QString &text)
    {
        return store.db()
                   .scalar(QStringLiteral("SELECT count(*) FROM category%1 WHERE \"%2\" = ?")
                               .arg(n)
                               .arg(core::schema::codeFieldName(n)),
                           {text})
                   .toInt() > 0;
    }
    QStringList gridTexts() const
    {
        QStringList out;
        core::DataGrid *g = grid();
        for (int r = 0; r < g->rowCount(); ++r)
            out << g->value(r, 0);
        return out;
    }
};

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

class TstFrmCodes : public QObject {
    Q_OBJECT

private slots:
    void loadsWithEighteenTabsOnTheFirstTable()
    {
        Fixture f;
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.screen->windowTitle(), QStringLiteral("الرموز"));
        QCOMPARE(f.tabs()->count(), 18);
        const QStringList expected = {
            "اللغة",          "الجنسية",      "الديانة",        "المذهب",         "المهنة",
            "المؤهل العلمي",  "النشاط",       "التقويم",        "الدورات",        "تعرف على الإسلام",
            " يفكر في الإسلام", "أماكن التقييم", "صفة المقومين",   "التقويم العام ", "تقويم الصلاة",
            "تقويم المشكلات", "وضع المشكلات", "علاقة المهتدين"};
        for (int i = 0; i < 18; ++i)
            QCOMPARE(f.tabs()->tabText(i), expected.at(i));
        QCOMPARE(f.tabs()->currentIndex(), 0);
        QCOMPARE(f.screen->findChild<QLabel *>(QStringLiteral("Label2"))->text(),
                 QStringLiteral("الشرح"));
        QCOMPARE(f.grid()->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("الشرح"));
        QCOMPARE(&f.screen->recordTable(), &f.store.slot(QStringLiteral("CATEGORY1")).cursor());
        QCOMPARE(sorted(f.gridTexts()), sorted(f.entries(1)));
        // No permission test holds the writing buttons back.
        for (const char *b : {"add", "update", "delete"})
            QVERIFY(f.screen->findChild<QPushButton *>(QLatin1String(b))->isEnabled());
        QVERIFY(f.screen->findChild<QWidget *>(QStringLiteral("Frame1"))->isHidden());
        f.click("list");
        QVERIFY(!f.screen->findChild<QWidget *>(QStringLiteral("Frame1"))->isHidden());
    }

    void tabChangeClearsTheBoxAndListsTheNewTable()
    {
        Fixture f;
        f.text1()->setText(QStringLiteral("شيء"));
        QTest::mouseClick(f.screen->findChild<QWidget *>(QStringLiteral("SSTab1_tab13")),
                          Qt::LeftButton);
        QCOMPARE(f.tabs()->currentIndex(), 13);
        QVERIFY(f.text1()->text().isEmpty());
        QCOMPARE(f.screen->listQuery(), QStringLiteral("select * from category14"));
        QCOMPARE(&f.screen->recordTable(), &f.store.slot(QStringLiteral("category14")).cursor());
        QCOMPARE(sorted(f.gridTexts()), sorted(f.entries(14)));
        QCOMPARE(f.grid()->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("الشرح"));

        // The field of tables 12..18 has its own name; the entry lands there.
        f.enter(kAwkward, "add");
        QCOMPARE(f.lastShown(), QStringLiteral("تمت اضافة السجل"));
        QVERIFY(f.has(14, kAwkward));
        QVERIFY(!f.has(1, kAwkward));
        QVERIFY(f.gridTexts().contains(kAwkward));
    }

    void duplicateInOneTableIsAcceptedInAnother()
    {
        Fixture f;
        f.tabs()->setCurrentIndex(7); // evaluation grades
        const QString grade = f.entries(8).first();
        const int before = f.entries(8).size();
        f.enter(grade, "add");
        QCOMPARE(f.lastShown(), QStringLiteral("السجل متكرر"));
        QCOMPARE(f.entries(8).size(), before);

        f.tabs()->setCurrentIndex(0);
        QVERIFY(!f.has(1, grade));
        f.enter(grade, "add");
        QCOMPARE(f.lastShown(), QStringLiteral("تمت اضافة السجل"));
        QVERIFY(f.has(1, grade));
        QCOMPARE(f.entries(8).size(), before);
    }

    void awkwardTextsAreStoredAndFoundAsTyped()
    {
        Fixture f;
        f.tabs()->setCurrentIndex(4);
        const QStringList texts = {kAwkward, QStringLiteral("%"), QStringLiteral("*"),
                                   QStringLiteral("Driver سائق 'A'")};
        for (const QString &t : texts) {
            f.enter(t, "add");
            QCOMPARE(f.lastShown(), QStringLiteral("تمت اضافة السجل"));
            QVERIFY(f.has(5, t));
        }
        for (const QString &t : texts) {
            f.messages.clear();
            f.click("clear");
            QVERIFY(f.text1()->text().isEmpty());
            f.enter(t, "find");
            QCOMPARE(f.messages.shownCount(), 0);
            QCOMPARE(f.text1()->text(), t);
        }
        // A search text is the whole key, never a pattern.
        f.enter(QStringLiteral("%سائق%"), "find");
        QCOMPARE(f.lastShown(), QStringLiteral("السجل غير موجود"));
        QCOMPARE(f.text1()->text(), f.entries(5).first());
    }

    void emptyOrBlankTextIsRequired()
    {
        Fixture f;
        f.tabs()->setCurrentIndex(2);
        const QStringList before = f.entries(3);
        for (const char *button : {"add", "update"}) {
            for (const QString &t : {QString(), QStringLiteral(" ")}) {
                f.messages.clear();
                f.enter(t, button);
                QCOMPARE(f.lastShown(), QStringLiteral("يجب ادخال المعلومة"));
                QCOMPARE(f.messages.shownCount(), 1);
            }
        }
        QCOMPARE(f.entries(3), before);
    }

    void boxTakesFiftyCharacters()
    {
        Fixture f;
        f.tabs()->setCurrentIndex(8);
        QCOMPARE(f.text1()->maxLength(), 50);
        f.text1()->setFocus();
        QTest::keyClicks(f.text1(), QString(51, QLatin1Char('c')));
        QCOMPARE(f.text1()->text(), QString(50, QLatin1Char('c')));
        f.click("add");
        QCOMPARE(f.lastShown(), QStringLiteral("تمت اضافة السجل"));
        QVERIFY(f.has(9, QString(50, QLatin1Char('c'))));

        const QString arabic(50, QChar(0x0628));
        f.text1()->setText(arabic + QChar(0x0628));
        QCOMPARE(f.text1()->text(), arabic);
        f.click("add");
        QVERIFY(f.has(9, arabic));
    }

    void updateRewritesOnlyTheSameText()
    {
        Fixture f;
        f.tabs()->setCurrentIndex(6);
        const QString entry = f.entries(7).at(1);
        f.enter(entry, "find");
        QCOMPARE(f.text1()->text(), entry);
        // Renaming is not possible: the changed text is another key.
        f.enter(entry + QStringLiteral(" جديد"), "update");
        QCOMPARE(f.lastShown(), QStringLiteral("السجل غير موجود"));
        QVERIFY(f.has(7, entry));
        QVERIFY(!f.has(7, entry + QStringLiteral(" جديد")));

        f.enter(entry, "update");
        QCOMPARE(f.lastShown(), QStringLiteral("تم تحديث السجل"));
        QVERIFY(f.has(7, entry));
    }

    void addAndDeleteRequeryTheGridUpdateAndRefreshDoNotChooseTheTable()
    {
        Fixture f;
        f.tabs()->setCurrentIndex(16);
        QSignalSpy spy(f.codesData(), &core::DataSource::refreshed);

        f.enter(QStringLiteral("مؤجلة"), "add");
        QCOMPARE(spy.count(), 1);
        QVERIFY(f.gridTexts().contains(QStringLiteral("مؤجلة")));

        // A row written behind the screen appears only with the next re-query.
        f.store.db().execute(
            QStringLiteral("INSERT INTO category17 (problems_situation) VALUES (?)"),
            {QStringLiteral("من الخارج")});
        f.enter(QStringLiteral("مؤجلة"), "update");
        QCOMPARE(f.lastShown(), QStringLiteral("تم تحديث السجل"));
        QCOMPARE(spy.count(), 1);
        QVERIFY(!f.gridTexts().contains(QStringLiteral("من الخارج")));

        f.messages.queueAnswer(false);
        f.enter(QStringLiteral("مؤجلة"), "delete");
        QCOMPARE(f.messages.confirmCount(), 1);
        QCOMPARE(f.messages.lastConfirmation().title, QStringLiteral("CONFIRM ACTION BOX"));
        QVERIFY(f.messages.lastConfirmation().defaultNo);
        QVERIFY(f.has(17, QStringLiteral("مؤجلة")));
        QCOMPARE(spy.count(), 2);
        QVERIFY(f.gridTexts().contains(QStringLiteral("من الخارج")));

        f.messages.queueAnswer(true);
        f.click("delete");
        QCOMPARE(f.lastShown(), QStringLiteral("تم مسح السجل"));
        QVERIFY(!f.has(17, QStringLiteral("مؤجلة")));
        QCOMPARE(spy.count(), 3);
        QVERIFY(!f.gridTexts().contains(QStringLiteral("مؤجلة")));

        // refresh re-lists the current tab's table.
        f.click("refresh");
        QCOMPARE(spy.count(), 4);
        QCOMPARE(sorted(f.gridTexts()), sorted(f.entries(17)));
        // ... and the buttons still work on the tab's own table.
        f.click("firstrec");
        QCOMPARE(f.text1()->text(), f.entries(17).first());
    }

    void listOkTakesTheGridRowIntoTheBox()
    {
        Fixture f;
        f.tabs()->setCurrentIndex(11);
        f.click("list");
        QVERIFY(f.grid()->setCurrentRow(2));
        const QString chosen = f.grid()->columnValue(0);
        f.click("list_ok");
        QCOMPARE(f.text1()->text(), chosen);
        QCOMPARE(f.messages.shownCount(), 0);
    }

    void movesStopAtBothEnds()
    {
        Fixture f;
        f.tabs()->setCurrentIndex(17);
        const QStringList all = f.entries(18);
        QVERIFY(all.size() >= 3);

        f.click("firstrec");
        QCOMPARE(f.text1()->text(), all.first());
        f.click("nextrec");
        QCOMPARE(f.text1()->text(), all.at(1));
        f.click("prevrec");
        QCOMPARE(f.text1()->text(), all.first());
        QCOMPARE(f.messages.shownCount(), 0);
        f.click("prevrec");
        QCOMPARE(f.lastShown(), QStringLiteral("نهاية الملف"));
        QCOMPARE(f.text1()->text(), all.first());

        f.click("lastrec");
        QCOMPARE(f.text1()->text(), all.last());
        f.messages.clear();
        f.click("nextrec");
        QCOMPARE(f.lastShown(), QStringLiteral("نهاية الملف"));
        QCOMPARE(f.text1()->text(), all.last());

        // A text not in the table: not found, then the move from the first.
        f.messages.clear();
        f.enter(QStringLiteral("غير موجود أصلا"), "nextrec");
        QCOMPARE(f.messages.shown().first().trimmed(), QStringLiteral("السجل غير موجود"));
        QCOMPARE(f.text1()->text(), all.at(1));

        f.store.db().execute(QStringLiteral("DELETE FROM category18"));
        for (const char *b : {"firstrec", "lastrec", "find"}) {
            f.messages.clear();
            f.click(b);
            QCOMPARE(f.lastShown(), QStringLiteral("نهاية الملف"));
        }
    }

    void engineErrorsLeaveTheTableAndTheScreenUsable()
    {
        Fixture f;
        f.tabs()->setCurrentIndex(3);
        const QStringList before = f.entries(4);
        const QString entry = before.first();
        for (const char *when : {"INSERT", "UPDATE", "DELETE"})
            testsupport::refuseWrites(f.store.db(), QStringLiteral("refuse_%1").arg(QLatin1String(when)),
                                      QLatin1String(when), QStringLiteral("category4"));

        f.enter(QStringLiteral("جديد"), "add");
        QCOMPARE(f.lastShown(), core::CmnSub::kNotAdded);
        f.enter(entry, "update");
        QCOMPARE(f.lastShown(), core::CmnSub::kNotUpdated);
        f.messages.queueAnswer(true);
        f.enter(entry, "delete");
        QCOMPARE(f.lastShown(), QStringLiteral("خطأ في المعلومات"));
        QCOMPARE(f.entries(4), before);

        // A table that cannot be opened at all is reported the same way.
        f.store.db().execute(QStringLiteral("ALTER TABLE category5 RENAME TO category5_away"));
        f.tabs()->setCurrentIndex(4);
        QCOMPARE(f.lastShown(), QStringLiteral("خطأ في المعلومات"));
        f.enter(QStringLiteral("عامل"), "find");
        QCOMPARE(f.lastShown(), QStringLiteral("خطأ في المعلومات"));
        f.store.db().execute(QStringLiteral("ALTER TABLE category5_away RENAME TO category5"));

        f.tabs()->setCurrentIndex(3);
        for (const char *when : {"INSERT", "UPDATE", "DELETE"})
            testsupport::allowWrites(f.store.db(), QStringLiteral("refuse_%1").arg(QLatin1String(when)), QStringLiteral("category4"));
        f.enter(QStringLiteral("جديد"), "add");
        QCOMPARE(f.lastShown(), QStringLiteral("تمت اضافة السجل"));
        QVERIFY(f.has(4, QStringLiteral("جديد")));
    }
};

VELM_TEST_MAIN(TstFrmCodes)
#include "tst_frmcodes.moc"
