#include "data/ErrMsgs.h"
#include "support/TestMain.h"

#include <QSet>

using core::ErrMsgs;

class TstErrMsgs : public QObject {
    Q_OBJECT

private slots:
    void loadedTexts_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString ErrMsgs::*>("member");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::newRow("1") << 1 << &ErrMsgs::MSG_INVALID << QStringLiteral("معلومات غير صحيحة") << 30;
        QTest::newRow("2") << 2 << &ErrMsgs::MSG_NOTFOUND << QStringLiteral("السجل غير موجود") << 30;
        QTest::newRow("3") << 3 << &ErrMsgs::MSG_DUPLICATE << QStringLiteral("السجل متكرر") << 30;
        QTest::newRow("4") << 4 << &ErrMsgs::MSG_REQUIRED << QStringLiteral("يجب ادخال المعلومة") << 30;
        QTest::newRow("5") << 5 << &ErrMsgs::MSG_EOF << QStringLiteral("نهاية الملف") << 30;
        QTest::newRow("6") << 6 << &ErrMsgs::MSG_DATAERROR << QStringLiteral("خطأ في المعلومات") << 30;
        QTest::newRow("7") << 7 << &ErrMsgs::MSG_CONTINUE << QStringLiteral("هل ترغب في الاستمرار") << 30;
        QTest::newRow("8") << 8 << &ErrMsgs::MSG_ADDED << QStringLiteral("تمت اضافة السجل") << 30;
        QTest::newRow("9") << 9 << &ErrMsgs::MSG_DELETED << QStringLiteral("تم مسح السجل") << 30;
        QTest::newRow("10") << 10 << &ErrMsgs::MSG_UPDATED << QStringLiteral("تم تحديث السجل") << 30;
        QTest::newRow("11") << 11 << &ErrMsgs::MSG_NOTALLOWED << QStringLiteral("غير مصرح لهذه العملية") << 35;
    }

    // Each message is its text followed by blanks up to its width.
    void loadedTexts()
    {
        QFETCH(int, number);
        QFETCH(QString ErrMsgs::*, member);
        QFETCH(QString, text);
        QFETCH(int, width);

        ErrMsgs msgs;
        msgs.LOADMSGS();
        const QString &loaded = msgs.*member;
        QCOMPARE(loaded.size(), width);
        QCOMPARE(loaded.left(text.size()), text);
        QCOMPARE(loaded.mid(text.size()), QString(width - text.size(), QLatin1Char(' ')));
        QCOMPARE(msgs.text(number), loaded);
    }

    void numbersOutsideTheTableHaveNoText()
    {
        ErrMsgs msgs;
        msgs.LOADMSGS();
        QVERIFY(msgs.text(0).isNull());
        QVERIFY(msgs.text(12).isNull());
        QVERIFY(msgs.text(-1).isNull());
    }

    // Every screen reloads the table while loading: a second load (or a
    // load into a table whose text was changed) gives the same texts again.
    void reloadingKeepsTheTexts()
    {
        ErrMsgs first;
        first.LOADMSGS();
        QStringList before;
        for (int n = 1; n <= ErrMsgs::kCount; ++n)
            before << first.text(n);

        first.MSG_EOF = QStringLiteral("changed");
        first.LOADMSGS();
        ErrMsgs second;
        second.LOADMSGS();
        for (int n = 1; n <= ErrMsgs::kCount; ++n) {
            QCOMPARE(first.text(n), before.at(n - 1));
            QCOMPARE(second.text(n), before.at(n - 1));
        }
        QCOMPARE(QSet<QString>(before.begin(), before.end()).size(), ErrMsgs::kCount);
    }
};

VELM_TEST_MAIN(TstErrMsgs)
#include "tst_errmsgs.moc"
