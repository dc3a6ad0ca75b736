#include "reference/frminfo.h"

#include "support/RefuseWrites.h"
#include "support/ScreenWorld.h"
#include "support/TestMain.h"

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <memory>

using reference::frminfo;

namespace {

const QString kAwkward = QStringLiteral("مكتب \"الدعوة\" 100% *Office* 'Riyadh'");

struct Fixture : testsupport::ScreenWorld {
    using ScreenWorld::ScreenWorld;

    std::unique_ptr<frminfo> open() { return std::make_unique<frminfo>(ctx); }

    QVariant stored(const QString &field)
    {
        return scalar(QStringLiteral("SELECT \"%1\" FROM info").arg(field));
    }
    qint64 records() { return rowCount(QStringLiteral("info")); }

    void insertRecord()
    {
        store.db().execute(QStringLiteral("INSERT INTO info (res_publica, \"name_ of_institution\", "
                                          "phone, logo) VALUES (?, ?, ?, ?)"),
                           {QStringLiteral("السعودية"), QStringLiteral("مكتب الدعوة"),
                            QStringLiteral("011 555"), QStringLiteral("logo.jpg")});
    }
};

using testsupport::box;
using testsupport::click;

} // namespace

class TstFrmInfo : public QObject {
    Q_OBJECT

private slots:
    void emptyTableOpensQuietlyAndSaveAddsTheRecord()
    {
        Fixture f;
        QCOMPARE(f.records(), 0);
        auto screen = f.open();
        QCOMPARE(f.messages.shownCount(), 0);
        QVERIFY(box(screen.get(), "txt_res_publica")->text().isEmpty());

        box(screen.get(), "txt_res_publica")->setText(QStringLiteral("السعودية"));
        box(screen.get(), "txt_name_of_institution")->setText(kAwkward);
        box(screen.get(), "txt_email")->setText(QStringLiteral("info@office.org"));
        click(screen.get(), "update");

        // The typed values are not lost for want of a record to edit.
        QCOMPARE(f.messages.lastShown(), f.cmn.msgs.MSG_ADDED);
        QCOMPARE(f.records(), 1);
        QCOMPARE(f.stored("name_ of_institution").toString(), kAwkward);
        QCOMPARE(f.stored("email").toString(), QStringLiteral("info@office.org"));

        // A second save rewrites that record instead of adding another.
        box(screen.get(), "txt_manager")->setText(QStringLiteral("Ahmad أحمد"));
        click(screen.get(), "update");
        QCOMPARE(f.messages.lastShown(), f.cmn.msgs.MSG_UPDATED);
        QCOMPARE(f.records(), 1);
        QCOMPARE(f.stored("manager").toString(), QStringLiteral("Ahmad أحمد"));
    }

    void updateKeepsLogoAndReopeningShowsTheSavedValues()
    {
        Fixture f;
        f.insertRecord();
        {
            auto screen = f.open();
            QCOMPARE(box(screen.get(), "txt_res_publica")->text(), QStringLiteral("السعودية"));
            QCOMPARE(box(screen.get(), "txt_phone")->text(), QStringLiteral("011 555"));
            QCOMPARE(box(screen.get(), "txt_logo")->text(), QStringLiteral("logo.jpg"));
            QVERIFY(box(screen.get(), "txt_logo")->isReadOnly());
            QVERIFY(box(screen.get(), "txt_fax")->text().isEmpty()); // null field

            box(screen.get(), "txt_direction")->setText(QStringLiteral("وزارة الشؤون الإسلامية"));
            box(screen.get(), "txt_fax")->setText(QStringLiteral("+966 1 *"));
            // Even a programmatic change of the read-only box is not written.
            box(screen.get(), "txt_logo")->setText(QStringLiteral("other.jpg"));
            click(screen.get(), "update");
            QCOMPARE(f.messages.lastShown(), f.cmn.msgs.MSG_UPDATED);
        }
        QCOMPARE(f.records(), 1);
        QCOMPARE(f.stored("logo").toString(), QStringLiteral("logo.jpg"));

        auto again = f.open();
        QCOMPARE(box(again.get(), "txt_direction")->text(), QStringLiteral("وزارة الشؤون الإسلامية"));
        // A stored value opens at its beginning, not scrolled to its end.
        for (const char *name : {"txt_direction", "txt_res_publica", "txt_logo"})
            QCOMPARE(box(again.get(), name)->cursorPosition(), 0);
        QCOMPARE(box(again.get(), "txt_fax")->text(), QStringLiteral("+966 1 *"));
        QCOMPARE(box(again.get(), "txt_name_of_institution")->text(), QStringLiteral("مكتب الدعوة"));
    }

    // Two workstations: B's save since A's screen showed the record is never
    // wiped by A's; A's screen then shows B's record to redo the edit on.
    void aSaveNeverWipesAColleaguesChange_data()
    {
        QTest::addColumn<bool>("recordAtFirst");
        QTest::newRow("B changed the record") << true;
        QTest::newRow("B made the first record") << false;
    }
    void aSaveNeverWipesAColleaguesChange()
    {
        QFETCH(bool, recordAtFirst);
        Fixture f;
        if (recordAtFirst)
            f.insertRecord();
        auto a = f.open();
        core::DataStore storeB(f.folder.programDir());
        QVERIFY(storeB.READDBPATH());
        QVERIFY(storeB.OPENDATABASE().ok);
        testsupport::RecordingMessageService messagesB;
        core::CmnSub cmnB(storeB, messagesB);
        core::AppContext ctxB{storeB, messagesB, f.input, f.files, f.logon, cmnB, &f.reports};
        frminfo b(ctxB);
        box(&b, "txt_manager")->setText(QStringLiteral("مدير من ب"));
        click(&b, "update");
        QCOMPARE(messagesB.lastShown(), recordAtFirst ? cmnB.msgs.MSG_UPDATED : cmnB.msgs.MSG_ADDED);

        box(a.get(), "txt_phone")->setText(QStringLiteral("012 999"));
        click(a.get(), "update");
        QCOMPARE(f.messages.lastShown(), core::CmnSub::kNotUpdated);
        QCOMPARE(f.records(), 1);
        QCOMPARE(f.stored("manager").toString(), QStringLiteral("مدير من ب"));
        QCOMPARE(f.stored("phone").toString(), recordAtFirst ? QStringLiteral("011 555") : QString());
        QCOMPARE(box(a.get(), "txt_manager")->text(), QStringLiteral("مدير من ب"));

        // Redone on the record as it now stands, the save goes through.
        box(a.get(), "txt_phone")->setText(QStringLiteral("012 999"));
        click(a.get(), "update");
        QCOMPARE(f.messages.lastShown(), f.cmn.msgs.MSG_UPDATED);
        QCOMPARE(f.stored("phone").toString(), QStringLiteral("012 999"));
        QCOMPARE(f.stored("manager").toString(), QStringLiteral("مدير من ب"));
    }

    void boxesAcceptOnlyTheirLimits_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("limit");
        QTest::newRow("country") << "txt_res_publica" << 50;
        QTest::newRow("name") << "txt_name_of_institution" << 120;
        QTest::newRow("coordinator") << "txt_admin4" << 120;
        QTest::newRow("fax") << "txt_fax" << 50;
        QTest::newRow("website") << "txt_website" << 80;
    }
    void boxesAcceptOnlyTheirLimits()
    {
        QFETCH(QString, name);
        QFETCH(int, limit);
        Fixture f;
        auto screen = f.open();
        QLineEdit *e = box(screen.get(), name.toLatin1().constData());
        e->setFocus();
        QTest::keyClicks(e, QString(limit + 10, QLatin1Char('x')));
        QCOMPARE(e->text().size(), limit);
        click(screen.get(), "update");
        QCOMPARE(f.messages.lastShown(), f.cmn.msgs.MSG_ADDED);
    }

    void failedSaveKeepsTypedValuesAndStoredRecord()
    {
        Fixture f;
        f.insertRecord();
        testsupport::refuseWrites(f.store.db(), QStringLiteral("refuse"), QStringLiteral("UPDATE"), QStringLiteral("info"));
        auto screen = f.open();
        box(screen.get(), "txt_res_publica")->setText(QStringLiteral("مصر"));
        click(screen.get(), "update");

        QCOMPARE(f.messages.lastShown(), core::CmnSub::kNotUpdated);
        QCOMPARE(box(screen.get(), "txt_res_publica")->text(), QStringLiteral("مصر"));
        QCOMPARE(f.stored("res_publica").toString(), QStringLiteral("السعودية"));

        // Once the cause is gone the same screen saves what was typed.
        testsupport::allowWrites(f.store.db(), QStringLiteral("refuse"), QStringLiteral("info"));
        click(screen.get(), "update");
        QCOMPARE(f.messages.lastShown(), f.cmn.msgs.MSG_UPDATED);
        QCOMPARE(f.stored("res_publica").toString(), QStringLiteral("مصر"));
    }

    void missingTableIsPassedOverOnLoadAndReportedOnSave()
    {
        Fixture f;
        f.store.db().execute(QStringLiteral("DROP TABLE info"));
        auto screen = f.open();
        QCOMPARE(f.messages.shownCount(), 0);
        box(screen.get(), "txt_phone")->setText(QStringLiteral("123"));
        click(screen.get(), "update");
        QCOMPARE(f.messages.lastShown(), core::CmnSub::kNotUpdated);
        QCOMPARE(box(screen.get(), "txt_phone")->text(), QStringLiteral("123"));
    }

    void logoComesFromTheProgramFolderOnly()
    {
        // Persons' pictures live elsewhere, so a piclogo.jpg there is not the logo.
        Fixture f({QStringLiteral("0"), QStringLiteral("\\data"), QStringLiteral("\\photos"),
                   QStringLiteral("\\material"), QStringLiteral("\\forms")});
        QImage red(40, 20, QImage::Format_RGB32);
        red.fill(Qt::red);
        QVERIFY(red.save(f.store.config().pictureDir + QStringLiteral("/piclogo.jpg"), "JPG"));
        {
            auto screen = f.open();
            auto *image = screen->findChild<QLabel *>(QStringLiteral("Image2"));
            QVERIFY(image);
            QVERIFY(image->pixmap().isNull());
            QCOMPARE(f.messages.shownCount(), 0);
        }
        QVERIFY(QDir().mkpath(f.folder.path(QStringLiteral("pictures"))));
        QVERIFY(red.save(frminfo::logoPath(f.store.programDir()), "JPG"));
        auto screen = f.open();
        QVERIFY(!screen->findChild<QLabel *>(QStringLiteral("Image2"))->pixmap().isNull());
        QCOMPARE(f.messages.shownCount(), 0);
    }

    void closeUnloadsTheScreen()
    {
        Fixture f;
        auto screen = f.open();
        screen->show();
        QVERIFY(screen->isVisible());
        click(screen.get(), "close");
        QVERIFY(!screen->isVisible());
    }
};

VELM_TEST_MAIN(TstFrmInfo)
#include "tst_frminfo.moc"
