#include "screens/PersonLookup.h"
#include "support/ScreenWorld.h"
#include "support/TestMain.h"
#include "engine/Database.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QSignalSpy>

#include <algorithm>

using core::PersonLookup;

namespace {

struct World : testsupport::ScreenWorld {
    void step(const QString &number, int seq)
    {
        store.db().execute(QStringLiteral("INSERT INTO followUp (tamrel_no, seq_no) VALUES (?, ?)"),
                           {number, seq});
    }
};

QStringList offered(const PersonLookup &lookup)
{
    QStringList out;
    for (int i = 0; i < lookup.count(); ++i)
        out << lookup.itemText(i);
    return out;
}

} // namespace

class TstPersonLookup : public QObject {
    Q_OBJECT

private slots:
    // Every value reaches the query bound and compared as text: quotes,
    // blanks, wildcards and other digits find nothing and change nothing.
    void namesAndNextNumber_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("arabic"); // empty: no person
        QTest::addColumn<qint64>("next");
        QTest::newRow("person with steps 1, 2, 5") << "12" << "عبد الله" << qint64(6);
        QTest::newRow("other person") << "120" << "يوسف" << qint64(4);
        QTest::newRow("prefix of a number") << "1" << "" << qint64(1);
        QTest::newRow("trailing blank") << "12 " << "" << qint64(1);
        QTest::newRow("quotes") << "12' OR '1'='1" << "" << qint64(1);
        QTest::newRow("statement") << "12; DROP TABLE tamrel" << "" << qint64(1);
        QTest::newRow("wildcards") << "1%" << "" << qint64(1);
        QTest::newRow("star and question mark") << "1*?" << "" << qint64(1);
        // The file compares a key's characters as they are (letter case
        // aside); the server's collation takes Arabic-Indic digits for the
        // Latin ones they stand for.
        if (testsupport::testOnServer())
            QTest::newRow("Arabic-Indic digits") << "١٢" << "عبد الله" << qint64(6);
        else
            QTest::newRow("Arabic-Indic digits") << "١٢" << "" << qint64(1);
    }
    void namesAndNextNumber()
    {
        QFETCH(QString, number);
        QFETCH(QString, arabic);
        QFETCH(qint64, next);
        World w;
        w.addPerson(QStringLiteral("12"), QStringLiteral("عبد الله"), QStringLiteral("Abdullah"));
        w.addPerson(QStringLiteral("120"), QStringLiteral("يوسف"), QStringLiteral("Yusuf"));
        for (int seq : {1, 2, 5})
            w.step(QStringLiteral("12"), seq);
        for (int seq : {1, 2, 3})
            w.step(QStringLiteral("120"), seq);

        const auto names = core::findPersonNames(w.store.db(), number);
        QCOMPARE(names.has_value(), !arabic.isEmpty());
        if (names)
            QCOMPARE(names->arabic, arabic);
        QCOMPARE(core::nextSeqNo(w.store.db(), QStringLiteral("followUp"), number), next);
        QCOMPARE(w.rowCount(QStringLiteral("tamrel")), 2);
        QCOMPARE(w.rowCount(QStringLiteral("followUp")), 6);
    }

    void offersNumbersBeginningWithTheTypedText()
    {
        World w;
        {
            engine::Transaction tx(w.store.db());
            for (int n = 1; n <= 3000; ++n)
                w.addPerson(QString::number(n));
            tx.commit();
        }
        PersonLookup lookup(QStringLiteral("dbc_tamrel"));
        lookup.setStore(w.store);
        lookup.show();
        QVERIFY(!lookup.hasOffered()); // nothing read before it is used

        QTest::keyClicks(lookup.lineEdit(), QStringLiteral("1"));
        QCOMPARE(lookup.offeredPrefix(), QStringLiteral("1"));
        // In key order: 1, 10, 100, 1000 ... The list reads one batch for
        // the text, the popup offers it, and scrolling the list to its end
        // reads the next batch (the numbers after the last one shown).
        QCOMPARE(lookup.count(), PersonLookup::kBatch);
        QCOMPARE(offered(lookup).mid(0, 4), (QStringList{"1", "10", "100", "1000"}));
        QCOMPARE(lookup.completer()->model()->rowCount(), PersonLookup::kBatch);
        lookup.showPopup();
        QAbstractItemView *list = lookup.view();
        list->scrollToBottom();
        QTRY_COMPARE(lookup.count(), 2 * PersonLookup::kBatch);
        lookup.hidePopup();
        QAbstractItemModel *model = lookup.model();
        while (model->canFetchMore({}))
            model->fetchMore({});
        QCOMPARE(lookup.count(), 1111); // 1, 10-19, 100-199, 1000-1999
        QStringList all = offered(lookup);
        for (const QString &n : all)
            QVERIFY2(n.startsWith(QLatin1Char('1')), qPrintable(n));
        QCOMPARE(all.removeDuplicates(), 0);
        QVERIFY(std::is_sorted(all.begin(), all.end()));

        QTest::keyClicks(lookup.lineEdit(), QStringLiteral("29"));
        QCOMPARE(offered(lookup), (QStringList{"129", "1290", "1291", "1292", "1293", "1294", "1295",
                                               "1296", "1297", "1298", "1299"}));
        QCOMPARE(lookup.completer()->model()->rowCount(), 11);
        QCOMPARE(lookup.text(), QStringLiteral("129")); // the text stays as typed

        QTest::keyClicks(lookup.lineEdit(), QStringLiteral("' OR 1=1 --"));
        QCOMPARE(lookup.count(), 0);
        QCOMPARE(lookup.text(), QStringLiteral("129' OR 1=1 --"));
    }

    // As the user meets it: the box has the focus and the popup opens.
    void typingWithThePopupOpen()
    {
        World w;
        for (const char *n : {"1", "130", "131", "14"})
            w.addPerson(QLatin1String(n));
        PersonLookup lookup(QStringLiteral("dbc_tamrel"));
        lookup.setStore(w.store);
        lookup.show();
        lookup.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&lookup));
        lookup.lineEdit()->setFocus();
        QSignalSpy changed(&lookup, &PersonLookup::personChanged);

        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("13"));
        QAbstractItemView *popup = lookup.completer()->popup();
        QVERIFY(popup->isVisible());
        QCOMPARE(lookup.completer()->completionCount(), 2); // 130, 131
        // Enter keeps the typed number, though no person has it.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.last().at(0).toString(), QStringLiteral("13"));

        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("1"));
        QVERIFY(popup->isVisible());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(changed.last().at(0).toString(), QStringLiteral("131"));

        // Typing inside the number: the cursor stays where the user types.
        lookup.lineEdit()->setText(QStringLiteral("14"));
        lookup.lineEdit()->setCursorPosition(1);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("3"));
        QCOMPARE(lookup.text(), QStringLiteral("134"));
        QCOMPARE(lookup.lineEdit()->cursorPosition(), 2);
    }

    void announcesEachSettledNumberOnce()
    {
        World w;
        for (const char *n : {"5", "7", "12"})
            w.addPerson(QLatin1String(n));
        PersonLookup lookup(QStringLiteral("dbc_tamrel"));
        lookup.setStore(w.store);
        lookup.show();
        QSignalSpy changed(&lookup, &PersonLookup::personChanged);

        QTest::keyClicks(lookup.lineEdit(), QStringLiteral(" 12 "));
        QCOMPARE(changed.count(), 0); // typing alone announces nothing
        QTest::keyClick(lookup.lineEdit(), Qt::Key_Return);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.last().at(0).toString(), QStringLiteral("12"));
        QCOMPARE(lookup.text(), QStringLiteral("12"));
        emit lookup.lineEdit()->editingFinished(); // leaving the box after Enter
        QCOMPARE(changed.count(), 1);

        // The program's own numbers are not announced...
        core::setControlText(&lookup, QStringLiteral("7"));
        QCOMPARE(core::controlText(&lookup), QStringLiteral("7"));
        emit lookup.lineEdit()->editingFinished();
        QCOMPARE(changed.count(), 1);
        // ... and typing the number announced before is a change again.
        lookup.lineEdit()->clear();
        QTest::keyClicks(lookup.lineEdit(), QStringLiteral("12"));
        QTest::keyClick(lookup.lineEdit(), Qt::Key_Return);
        QCOMPARE(changed.count(), 2);

        // A pick in the list.
        lookup.offerNumbers(QString());
        QCOMPARE(offered(lookup), (QStringList{"12", "5", "7"}));
        lookup.setCurrentIndex(1);
        emit lookup.activated(1);
        QCOMPARE(changed.count(), 3);
        QCOMPARE(changed.last().at(0).toString(), QStringLiteral("5"));
    }
};

VELM_TEST_MAIN(TstPersonLookup)
#include "tst_personlookup.moc"
