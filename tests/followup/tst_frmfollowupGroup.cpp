#include "followup/frmfollowupGroup.h"

#include "screens/LookupCombo.h"
#include "data/Schema.h"
#include "support/RefuseWrites.h"
#include "support/ScreenWorld.h"
#include "support/TestMain.h"

#include <QLineEdit>

#include <memory>

using followup::frmfollowupGroup;

namespace {

struct Fixture : testsupport::ScreenFixture<frmfollowupGroup> {
    Fixture()
    {
        addGroup(QStringLiteral("مجموعة الرياض"), QStringLiteral("Riyadh group"));
        screen = std::make_unique<frmfollowupGroup>(ctx);
        screen->show();
    }

    void addGroup(const QString &name, const QString &english)
    {
        store.db().execute(QStringLiteral("INSERT INTO followup_group (group_name, english_NAME, "
                                          "phone, mobile, leader_name, language) VALUES (?, ?, ?, ?, ?, ?)"),
                           {name, english, QStringLiteral("011"), QStringLiteral("055"),
                            QStringLiteral("الشيخ سعد"), QStringLiteral("English")});
    }
    QVariant stored(const QString &name, const QString &field)
    {
        return scalar(QStringLiteral("SELECT \"%1\" FROM followup_group WHERE group_name = ?").arg(field),
                      {name});
    }
    qint64 count() { return rowCount(QStringLiteral("followup_group")); }

    core::LookupCombo *language() const { return find<core::LookupCombo>(QStringLiteral("dbc_language")); }
};

} // namespace

class TstFrmFollowupGroup : public QObject {
    Q_OBJECT

private slots:
    void loadingClearsAndFillsTheLanguageList()
    {
        Fixture f;
        QCOMPARE(f.messages.shownCount(), 0);
        QVERIFY(f.box("group_name")->text().isEmpty());
        QVERIFY(f.language()->text().isEmpty());
        const QStringList starters = core::schema::starterCodes(1);
        QVERIFY(!starters.isEmpty());
        QCOMPARE(f.language()->count(), int(starters.size()));
        for (const QString &entry : starters)
            QVERIFY2(f.language()->findText(entry) >= 0, qPrintable(entry));
        QCOMPARE(f.grid()->rowCount(), 1);
        // The list names its columns with the screen's own labels; the
        // English name has no label and keeps its field name.
        QStringList headings;
        for (int col = 0; col < f.grid()->columnCount(); ++col)
            headings << f.grid()->heading(col);
        QCOMPARE(headings, (QStringList{"المجموعة", "english_NAME", "التلفون", "الجوال", "المشرف", "اللغة"}));
        QCOMPARE(f.grid()->columnField(5), QStringLiteral("language"));
    }

    void addStoresTheControlsAndRefusesDuplicates()
    {
        Fixture f;
        f.press("clear");
        const QString name = QStringLiteral("مجموعة \"النور\" 100% *A*");
        f.box("group_name")->setText(name);
        f.box("english_NAME")->setText(QStringLiteral("Al-Noor's group"));
        f.box("mobile")->setText(QStringLiteral("+966 55"));
        f.box("leader_name")->setText(QStringLiteral("Yusuf يوسف"));
        const QString chosen = core::schema::starterCodes(1).last();
        f.language()->setCurrentIndex(f.language()->findText(chosen));
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_ADDED});
        QCOMPARE(f.stored(name, QStringLiteral("english_NAME")).toString(), QStringLiteral("Al-Noor's group"));
        QCOMPARE(f.stored(name, QStringLiteral("mobile")).toString(), QStringLiteral("+966 55"));
        QCOMPARE(f.stored(name, QStringLiteral("leader_name")).toString(), QStringLiteral("Yusuf يوسف"));
        // A code field keeps the entry's text itself.
        QCOMPARE(f.stored(name, QStringLiteral("language")).toString(), chosen);
        QCOMPARE(f.grid()->rowCount(), 2);

        f.box("group_name")->setText(QStringLiteral("مجموعة الرياض"));
        f.box("phone")->setText(QStringLiteral("999"));
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_DUPLICATE});
        QCOMPARE(f.stored(QStringLiteral("مجموعة الرياض"), QStringLiteral("phone")).toString(),
                 QStringLiteral("011"));

        // Found exactly as typed.
        f.press("clear");
        f.box("group_name")->setText(name);
        f.press("find");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.language()->text(), chosen);
        QCOMPARE(f.box("leader_name")->text(), QStringLiteral("Yusuf يوسف"));
    }

    void requiredGroupName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << QString();
        QTest::newRow("one blank") << QStringLiteral(" ");
    }
    void requiredGroupName()
    {
        QFETCH(QString, name);
        Fixture f;
        f.box("phone")->setFocus();
        f.box("group_name")->setText(name);
        f.press("add");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_REQUIRED});
        QCOMPARE(f.screen->focusWidget(), f.box("group_name"));
        QCOMPARE(f.count(), 1);
    }

    void foundByNameAndChosenFromTheList()
    {
        Fixture f;
        f.addGroup(QStringLiteral("Makkah Team"), QStringLiteral("Makkah"));
        f.box("group_name")->setText(QStringLiteral("makkah team"));
        f.press("find");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.box("group_name")->text(), QStringLiteral("Makkah Team"));
        QCOMPARE(f.box("english_NAME")->text(), QStringLiteral("Makkah"));
        QCOMPARE(f.language()->text(), QStringLiteral("English"));

        f.box("group_name")->setText(QStringLiteral("لا توجد"));
        f.press("find");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_NOTFOUND});

        f.press("list");
        f.press("refresh");
        QCOMPARE(f.grid()->rowCount(), 2);
        QCOMPARE(f.grid()->columnField(0), QStringLiteral("group_name"));
        int row = -1;
        for (int r = 0; r < f.grid()->rowCount(); ++r) {
            if (f.grid()->value(r, 0) == QStringLiteral("مجموعة الرياض"))
                row = r;
        }
        QVERIFY(f.grid()->setCurrentRow(row));
        f.press("list_ok");
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.box("group_name")->text(), QStringLiteral("مجموعة الرياض"));
        QCOMPARE(f.box("leader_name")->text(), QStringLiteral("الشيخ سعد"));
    }

    void updateOfMissingGroupAndFailedWrite()
    {
        Fixture f;
        f.box("group_name")->setText(QStringLiteral("مجموعة الرياض"));
        f.press("find");
        f.box("group_name")->setText(QStringLiteral("مجموعة جدة"));
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_NOTFOUND});
        QCOMPARE(f.count(), 1);

        testsupport::refuseWrites(f.store.db(), QStringLiteral("no_edit"), QStringLiteral("UPDATE"), QStringLiteral("followup_group"));
        f.box("group_name")->setText(QStringLiteral("مجموعة الرياض"));
        f.box("mobile")->setText(QStringLiteral("0000"));
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{core::CmnSub::kNotUpdated});
        QCOMPARE(f.stored(QStringLiteral("مجموعة الرياض"), QStringLiteral("mobile")).toString(),
                 QStringLiteral("055"));

        testsupport::allowWrites(f.store.db(), QStringLiteral("no_edit"), QStringLiteral("followup_group"));
        f.press("update");
        QCOMPARE(f.messages.shown(), QStringList{f.cmn.msgs.MSG_UPDATED});
        QCOMPARE(f.stored(QStringLiteral("مجموعة الرياض"), QStringLiteral("mobile")).toString(),
                 QStringLiteral("0000"));
    }

    void controlsHonourTheFieldSizes()
    {
        Fixture f;
        for (const char *name : {"group_name", "english_NAME", "phone", "mobile", "leader_name"})
            QCOMPARE(f.box(name)->maxLength(), 255);
        QCOMPARE(f.language()->lineEdit()->maxLength(), 255);
    }
};

VELM_TEST_MAIN(TstFrmFollowupGroup)
#include "tst_frmfollowupGroup.moc"
