#include "logon/SECURITY.h"

#include "support/RefuseWrites.h"
#include "support/ScreenWorld.h"
#include "support/TestMain.h"

#include "data/Passwords.h"
#include "engine/Database.h"

#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include <memory>

using logon::SECURITY;

namespace {

const QString kAwkward = QStringLiteral("عبد \"الله\" O'Neil 100% *x*");

struct Fixture : testsupport::ScreenFixture<SECURITY> {
    Fixture()
    {
        testsupport::TempDataFolder::addUser(store.db(), QStringLiteral("admin"),
                                             QStringLiteral("secret"), QStringLiteral("المدير"),
                                             {1, 8, 9});
        screen = std::make_unique<SECURITY>(ctx);
    }

    QCheckBox *check(int n) const { return find<QCheckBox>(QStringLiteral("Check%1").arg(n)); }
    core::DataSource *authority() const { return find<core::DataSource>(QStringLiteral("AUTHORITY_DATA")); }

    QVariant stored(const QString &userId, const QString &field)
    {
        return scalar(QStringLiteral("SELECT \"%1\" FROM users WHERE USERID = ?").arg(field), {userId});
    }
    qint64 users() { return rowCount(QStringLiteral("users")); }
    QList<int> ticked() const
    {
        QList<int> out;
        for (int n = 1; n <= 14; ++n)
            if (check(n)->isChecked())
                out << n;
        return out;
    }
    void fillRequired(const QString &id, const QString &password, const QString &name)
    {
        box("USERID_text")->setText(id);
        box("PASSWORD_TEXT")->setText(password);
        box("NAME_TEXT")->setText(name);
    }
};

} // namespace

class TstSecurity : public QObject {
    Q_OBJECT

private slots:
    void controlsCaptionsAndListColumns()
    {
        Fixture f;
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.screen->windowTitle(), QStringLiteral("صلاحيات مستخدمين النظام"));
        const QStringList captions = {
            "ملف Tamrel",   "متابعة الأنشطة", "متابعة الدورات", "استبيان",  "المادة العلمية",
            "التقويم الميداني", "نماذج",      "المستخدمين",     "الرموز",   " التقارير العامة",
            "الشهود",       "مجموعة المتابعة", "عرض البيانات",  "بيانات المؤسسة"};
        auto *group = f.screen->findChild<QGroupBox *>(QStringLiteral("permissionsFrame"));
        QCOMPARE(group->title(), QStringLiteral("الصلاحيات"));
        for (int n = 1; n <= 14; ++n) {
            QCOMPARE(f.check(n)->text(), captions.at(n - 1));
            QCOMPARE(f.check(n)->parentWidget(), group);
            QVERIFY(!f.check(n)->isChecked());
        }
        // Every box takes what its field holds.
        for (const char *name : {"USERID_text", "PASSWORD_TEXT", "NAME_TEXT", "english_NAME_TEXT",
                                 "PHONE_TEXT", "PAGER_TEXT", "ADDRESS_TEXT", "job_text"})
            QCOMPARE(f.box(name)->maxLength(), 255);
        QCOMPARE(f.box("PHONE_TEXT")->text(), QStringLiteral(" "));
        QVERIFY(f.box("NAME_TEXT")->text().isEmpty());

        QCOMPARE(f.box("PASSWORD_TEXT")->echoMode(), QLineEdit::Password);

        // The list is open from the start, with the six columns that are
        // not the password.
        const QStringList headings = {"userid", "name", "English_name",
                                      "ADDRESS", "TELEPHONE", "PAGER"};
        core::DataGrid *g = f.grid();
        QCOMPARE(g->columnCount(), 6);
        QCOMPARE(g->model()->columnCount(), 6); // not even a hidden column holds it
        for (int c = 0; c < 6; ++c) {
            QCOMPARE(g->model()->headerData(g->modelColumn(c), Qt::Horizontal).toString(),
                     headings.at(c));
            QCOMPARE(g->columnField(c).toLower(), headings.at(c).toLower());
        }
        QCOMPARE(g->rowCount(), 1);
        QCOMPARE(g->value(0, 0), QStringLiteral("admin"));
        QCOMPARE(g->value(0, 1), QStringLiteral("المدير"));
        // The buttons work on the users table.
        f.click("firstrec");
        QCOMPARE(f.box("USERID_text")->text(), QStringLiteral("admin"));
    }

    void permissionsRoundTripAsZeroAndOne()
    {
        Fixture f;
        f.fillRequired(QStringLiteral("Sara"), QStringLiteral("p@ss 'x' %*"), kAwkward);
        f.box("english_NAME_TEXT")->setText(QStringLiteral("Sara O'Neil"));
        f.box("ADDRESS_TEXT")->setText(QStringLiteral("الرياض, حي \"النخيل\" 50%"));
        f.box("job_text")->setText(QStringLiteral("معلمة *"));
        const QList<int> granted = {2, 3, 7, 11, 14};
        for (int n : granted)
            f.check(n)->setChecked(true);
        f.click("add");
        QCOMPARE(f.lastShown(), QStringLiteral("تمت اضافة السجل"));

        for (int n = 1; n <= 14; ++n) {
            const QVariant v = f.stored(QStringLiteral("Sara"), QStringLiteral("check%1").arg(n));
            QCOMPARE(v.typeId(), int(QMetaType::LongLong));
            QCOMPARE(v.toLongLong(), granted.contains(n) ? 1 : 0);
        }
        QCOMPARE(f.stored("Sara", "NAME").toString(), kAwkward);
        const QVariant password = f.stored("Sara", "PASSWORD");
        QVERIFY(core::Passwords::isHash(password.toString()));
        QVERIFY(core::Passwords::check(password, QStringLiteral("p@ss 'x' %*")).accepted);
        QCOMPARE(f.stored("Sara", "TELEPHONE").toString(), QStringLiteral(" "));
        QCOMPARE(f.grid()->rowCount(), 2);

        f.click("clear");
        QVERIFY(f.ticked().isEmpty());
        QVERIFY(f.box("NAME_TEXT")->text().isEmpty());
        f.box("USERID_text")->setText(QStringLiteral("Sara"));
        f.click("find");
        QCOMPARE(f.ticked(), granted);
        QVERIFY(f.box("PASSWORD_TEXT")->text().isEmpty());
        QCOMPARE(f.box("NAME_TEXT")->text(), kAwkward);
        QCOMPARE(f.box("english_NAME_TEXT")->text(), QStringLiteral("Sara O'Neil"));
        QCOMPARE(f.box("ADDRESS_TEXT")->text(), QStringLiteral("الرياض, حي \"النخيل\" 50%"));
        QCOMPARE(f.box("job_text")->text(), QStringLiteral("معلمة *"));

        // Changing the boxes and updating rewrites them, still as 0 and 1.
        f.check(2)->setChecked(false);
        f.check(8)->setChecked(true);
        f.click("update");
        QCOMPARE(f.lastShown(), QStringLiteral("تم تحديث السجل"));
        QCOMPARE(f.stored("Sara", "check2").toLongLong(), 0);
        QCOMPARE(f.stored("Sara", "check8").toLongLong(), 1);
    }

    // A stored value other than 0 or 1 shows unticked and is written back
    // unchanged by an unrelated save: saving never grants a permission
    // nobody granted. Ticking or clearing the box makes it 1 or 0.
    void oddPermissionValuesSurviveASave()
    {
        Fixture f;
        f.store.db().execute(QStringLiteral("UPDATE users SET check3 = 2, check4 = -1, check8 = 1 WHERE USERID = 'admin'"));
        f.box("USERID_text")->setText(QStringLiteral("admin"));
        f.click("find");
        QCOMPARE(f.ticked(), QList<int>({1, 8, 9}));
        f.box("job_text")->setText(QStringLiteral("مدير"));
        f.click("update");
        QCOMPARE(f.lastShown(), QStringLiteral("تم تحديث السجل"));
        QCOMPARE(f.stored("admin", "check3").toLongLong(), 2);
        QCOMPARE(f.stored("admin", "check4").toLongLong(), -1);
        QCOMPARE(f.stored("admin", "job").toString(), QStringLiteral("مدير"));

        QTest::mouseClick(f.check(3), Qt::LeftButton); // ticked by the user
        f.check(4)->setChecked(true);
        f.check(4)->setChecked(false); // ticked and cleared again
        f.click("update");
        QCOMPARE(f.stored("admin", "check3").toLongLong(), 1);
        QCOMPARE(f.stored("admin", "check4").toLongLong(), 0);

        // Cleared fields hold no stored value any more: a new user gets 0.
        f.store.db().execute(QStringLiteral("UPDATE users SET check5 = 7 WHERE USERID = 'admin'"));
        f.click("find");
        f.click("clear");
        f.fillRequired(QStringLiteral("new"), QStringLiteral("pw"), QStringLiteral("جديد"));
        f.click("add");
        QCOMPARE(f.stored("new", "check5").toLongLong(), 0);
    }

    void duplicateUserKeepsWhatIsStored()
    {
        Fixture f;
        f.fillRequired(QStringLiteral("admin"), QStringLiteral("other"), QStringLiteral("غيره"));
        f.check(5)->setChecked(true);
        f.click("add");
        QCOMPARE(f.lastShown(), QStringLiteral("السجل متكرر"));
        QCOMPARE(f.users(), 1);
        QCOMPARE(f.stored("admin", "PASSWORD").toString(), QStringLiteral("secret"));
        QCOMPARE(f.stored("admin", "NAME").toString(), QStringLiteral("المدير"));
        QCOMPARE(f.stored("admin", "check5").toLongLong(), 0);
        QCOMPARE(f.stored("admin", "check8").toLongLong(), 1);
    }

    void requiredFieldsInTheirOrder()
    {
        Fixture f;
        f.screen->show();
        QVERIFY(QTest::qWaitForWindowActive(f.screen.get()));
        const qint64 before = f.users();
        struct Step {
            const char *fill; // box filled before this press
            const char *focus;
        };
        // Name first, then the identifier, then the password (required to
        // add a user; an update without one keeps the stored password).
        const Step steps[] = {{nullptr, "NAME_TEXT"},
                              {"NAME_TEXT", "USERID_text"},
                              {"USERID_text", "PASSWORD_TEXT"}};
        f.box("PASSWORD_TEXT")->setText(QStringLiteral(" "));
        for (const Step &s : steps) {
            if (s.fill)
                f.box(s.fill)->setText(QStringLiteral("x"));
            for (const char *button : {"add", "update"}) {
                if (qstrcmp(s.focus, "PASSWORD_TEXT") == 0 && qstrcmp(button, "update") == 0) {
                    f.click(button);
                    QCOMPARE(f.lastShown(), QStringLiteral("السجل غير موجود")); // no user "x"
                    continue;
                }
                f.messages.clear();
                f.click(button);
                QCOMPARE(f.messages.shownCount(), 1);
                QCOMPARE(f.lastShown(), QStringLiteral("يجب ادخال المعلومة"));
                QVERIFY2(f.box(s.focus)->hasFocus(), s.focus);
            }
        }
        QCOMPARE(f.users(), before);
        f.box("PASSWORD_TEXT")->setText(QStringLiteral("pw"));
        f.click("add");
        QCOMPARE(f.lastShown(), QStringLiteral("تمت اضافة السجل"));
    }

    void deleteAnsweredNoKeepsTheUser()
    {
        Fixture f;
        QSignalSpy spy(f.authority(), &core::DataSource::refreshed);
        f.box("USERID_text")->setText(QStringLiteral("admin"));
        f.messages.queueAnswer(false);
        f.click("delete");
        QCOMPARE(f.messages.confirmCount(), 1);
        QCOMPARE(f.messages.lastConfirmation().title, QStringLiteral("CONFIRM ACTION BOX"));
        QCOMPARE(f.messages.lastConfirmation().icon, core::MessageService::Icon::Critical);
        QCOMPARE(f.messages.shownCount(), 0);
        QCOMPARE(f.users(), 1);

        f.messages.queueAnswer(true);
        f.click("delete");
        QCOMPARE(f.lastShown(), QStringLiteral("تم مسح السجل"));
        QCOMPARE(f.users(), 0);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(f.grid()->rowCount(), 0);
    }

    void listRefreshesOnlyWhereItShould()
    {
        Fixture f;
        QSignalSpy spy(f.authority(), &core::DataSource::refreshed);
        testsupport::TempDataFolder::addUser(f.store.db(), QStringLiteral("outside"),
                                             QStringLiteral("pw"));
        f.box("USERID_text")->setText(QStringLiteral("admin"));
        f.click("find");
        f.box("job_text")->setText(QStringLiteral("مدير"));
        f.click("update");
        QCOMPARE(f.lastShown(), QStringLiteral("تم تحديث السجل"));
        QCOMPARE(f.stored("admin", "job").toString(), QStringLiteral("مدير"));
        QCOMPARE(spy.count(), 0);
        QCOMPARE(f.grid()->rowCount(), 1);

        // refresh re-reads the list.
        f.click("refresh");
        QCOMPARE(spy.count(), 1);
        QCOMPARE(f.grid()->rowCount(), 2);

        // Choosing a row shows that user.
        f.click("list");
        int row = f.grid()->value(0, 0) == QLatin1String("outside") ? 0 : 1;
        QVERIFY(f.grid()->setCurrentRow(row));
        f.click("clear");
        f.click("list_ok");
        QCOMPARE(f.box("USERID_text")->text(), QStringLiteral("outside"));
        QVERIFY(f.box("PASSWORD_TEXT")->text().isEmpty());
        QCOMPARE(f.ticked().size(), 14);
    }

    void failedUpdateKeepsTheStoredUser()
    {
        Fixture f;
        testsupport::refuseWrites(f.store.db(), QStringLiteral("refuse"), QStringLiteral("UPDATE"), QStringLiteral("users"));
        f.box("USERID_text")->setText(QStringLiteral("admin"));
        f.click("find");
        f.box("PASSWORD_TEXT")->setText(QStringLiteral("changed"));
        f.check(2)->setChecked(true);
        f.click("update");
        QCOMPARE(f.lastShown(), core::CmnSub::kNotUpdated);
        QCOMPARE(f.stored("admin", "PASSWORD").toString(), QStringLiteral("secret"));
        QCOMPARE(f.stored("admin", "check2").toLongLong(), 0);

        testsupport::allowWrites(f.store.db(), QStringLiteral("refuse"), QStringLiteral("users"));
        f.click("update");
        QCOMPARE(f.lastShown(), QStringLiteral("تم تحديث السجل"));
        QVERIFY(core::Passwords::check(f.stored("admin", "PASSWORD"), QStringLiteral("changed")).accepted);
        QCOMPARE(f.stored("admin", "check2").toLongLong(), 1);
    }

    // A shown user's password box stays empty; saving without typing one
    // keeps what is stored (also a password kept as typed by an older
    // file, which the next logon hashes), a typed one is stored hashed.
    void passwordIsTypedNeverShown()
    {
        Fixture f;
        for (const QString &blank : {QString(), QStringLiteral(" ")}) {
            f.box("USERID_text")->setText(QStringLiteral("ADMIN"));
            f.click("find");
            QVERIFY(f.box("PASSWORD_TEXT")->text().isEmpty());
            QVERIFY(!f.box("PASSWORD_TEXT")->placeholderText().isEmpty());
            f.box("PASSWORD_TEXT")->setText(blank);
            f.box("job_text")->setText(QStringLiteral("مدير") + blank);
            f.click("update");
            QCOMPARE(f.lastShown(), QStringLiteral("تم تحديث السجل"));
            QCOMPARE(f.stored("admin", "PASSWORD").toString(), QStringLiteral("secret"));
            QCOMPARE(f.stored("admin", "job").toString(), QStringLiteral("مدير") + blank);
        }
        f.click("clear");
        QVERIFY(f.box("PASSWORD_TEXT")->placeholderText().isEmpty());

        f.box("USERID_text")->setText(QStringLiteral("admin"));
        f.click("find");
        f.box("PASSWORD_TEXT")->setText(QStringLiteral("New Pass"));
        f.click("update");
        const QString hashed = f.stored("admin", "PASSWORD").toString();
        QVERIFY(core::Passwords::check(hashed, QStringLiteral("New Pass")).accepted);
        QVERIFY(!core::Passwords::check(hashed, QStringLiteral("secret")).accepted);
        QVERIFY(!QApplication::overrideCursor());
        // Shown again, saved again: the hash is neither shown nor hashed over.
        f.click("find");
        QVERIFY(f.box("PASSWORD_TEXT")->text().isEmpty());
        f.click("update");
        QCOMPARE(f.stored("admin", "PASSWORD").toString(), hashed);
        f.click("refresh");
        for (int c = 0; c < f.grid()->columnCount(); ++c)
            QVERIFY(f.grid()->value(0, c) != hashed);
    }

    // The trail says that a password changed, never what it was or became,
    // not even as its hash; a save without a new one does not mention it.
    void passwordChangeIsAuditedWithoutItsValue()
    {
        Fixture f;
        f.store.setActor(QStringLiteral("admin"));
        const auto changes = [&] {
            const QString text =
                f.scalar(QStringLiteral("SELECT changes FROM audit ORDER BY audit_id DESC")).toString();
            for (const QString &secret : {QStringLiteral("secret"), QStringLiteral("New Pass"),
                                          f.stored("admin", "PASSWORD").toString()})
                if (text.contains(secret, Qt::CaseInsensitive))
                    qFatal("the trail holds a password: %s", qPrintable(text));
            return QJsonDocument::fromJson(text.toUtf8()).array();
        };
        const auto change = [](const QString &field, const QJsonValue &old, const QJsonValue &now) {
            return QJsonObject{{"field", field}, {"old", old}, {"new", now}};
        };
        const QJsonObject passwordChanged{{"field", "PASSWORD"}, {"changed", true}};
        f.box("USERID_text")->setText(QStringLiteral("admin"));
        f.click("find");
        f.box("PASSWORD_TEXT")->setText(QStringLiteral("New Pass"));
        f.click("update");
        QCOMPARE(changes(), QJsonArray{passwordChanged});

        f.click("find");
        f.box("job_text")->setText(QStringLiteral("مدير"));
        f.click("update");
        QCOMPARE(changes(), QJsonArray{change("job", " ", QStringLiteral("مدير"))});

        f.click("clear");
        f.fillRequired(QStringLiteral("clerk"), QStringLiteral("secret"), QStringLiteral("كاتب"));
        f.click("add");
        QVERIFY(changes().contains(passwordChanged));
        f.messages.queueAnswer(true);
        f.click("delete");
        QCOMPARE(f.lastShown(), QStringLiteral("تم مسح السجل"));
        const QJsonArray removed = changes();
        QVERIFY(removed.contains(QJsonObject{{"field", "USERID"}, {"old", "clerk"}}));
        for (const QJsonValue &c : removed)
            QVERIFY(c.toObject().value("field").toString().compare("password", Qt::CaseInsensitive) != 0);
        engine::Statement actions(f.store.db(), QStringLiteral("SELECT action FROM audit ORDER BY audit_id"));
        QStringList written;
        while (actions.step())
            written << actions.value(0).toString();
        QCOMPARE(written, (QStringList{"update", "update", "add", "delete"}));
    }
};

VELM_TEST_MAIN(TstSecurity)
#include "tst_SECURITY.moc"
