#include "data/Passwords.h"

#include "data/Connections.h"
#include "data/Schema.h"
#include "engine/Database.h"
#include "support/TempDataFolder.h"
#include "support/TestMain.h"

#include <QRegularExpression>

using core::Passwords;

namespace {

constexpr int kFastRounds = 500;

QString roundsOf(const QString &stored)
{
    return stored.section(QLatin1Char('$'), 1, 1);
}

} // namespace

class TstPasswords : public QObject {
    Q_OBJECT

private slots:
    // The one check at the real cost: every other test hashes cheaply.
    void realCostAndFormat()
    {
        QVERIFY(Passwords::kDefaultRounds >= 100000);
        QCOMPARE(Passwords::rounds(), Passwords::kDefaultRounds); // nothing lowered it yet
        const QString stored = Passwords::hash(QStringLiteral("secret"));
        const QRegularExpression format(
            QStringLiteral("^pbkdf2-sha256\\$(\\d+)\\$[A-Za-z0-9+/]{22}==\\$[A-Za-z0-9+/]{43}=$"));
        const QRegularExpressionMatch m = format.match(stored);
        QVERIFY2(m.hasMatch(), qPrintable(stored));
        QVERIFY(m.captured(1).toInt() >= 100000);
        QVERIFY(Passwords::isHash(stored));
        // Fits the field it is kept in.
        QVERIFY(stored.size() <= core::schema::findTable(QStringLiteral("users"))
                                     ->column(QStringLiteral("PASSWORD"))
                                     ->maxLength);
        QVERIFY(Passwords::check(stored, QStringLiteral("SECRET")).accepted);
        QVERIFY(Passwords::check(stored, QStringLiteral("SECRET")).renewed.isEmpty());
        QVERIFY(!Passwords::check(stored, QStringLiteral("secre")).accepted);
    }

    void knownAnswerAndSalt()
    {
        Passwords::setRounds(kFastRounds);
        // PBKDF2-HMAC-SHA256("password", "salt", 1), the published test vector.
        QCOMPARE(Passwords::hash(QStringLiteral("password"), 1, "salt"),
                 QStringLiteral("pbkdf2-sha256$1$c2FsdA==$") +
                     QString::fromLatin1(QByteArray::fromHex("120fb6cffcf8b32c43e7225256c4f837"
                                                             "a86548c92ccc35480805987cb70be17b")
                                             .toBase64()));
        // A salt of its own for every hash.
        QVERIFY(Passwords::hash(QStringLiteral("x")) != Passwords::hash(QStringLiteral("x")));
        QCOMPARE(roundsOf(Passwords::hash(QStringLiteral("x"))), QString::number(kFastRounds));
    }

    // Today's rule, the same for a password kept as typed (older files) and
    // for its hash.
    void logonRule_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("accepted");
        const QString arabic = QStringLiteral("كلمة سر");
        const struct {
            const char *name;
            QVariant stored;
            const char *typed;
            bool accepted;
        } rows[] = {
            {"small as typed", QStringLiteral("secret"), "secret", true},
            {"small, typed in capitals", QStringLiteral("secret"), "SECRET", true},
            {"small, typed mixed", QStringLiteral("secret"), "SeCrEt", true},
            {"capitals, typed small", QStringLiteral("SECRET"), "secret", true},
            {"mixed as typed", QStringLiteral("Secret"), "Secret", true},
            {"mixed, typed small", QStringLiteral("Secret"), "secret", false},
            {"mixed, typed in capitals", QStringLiteral("Secret"), "SECRET", false},
            {"wrong", QStringLiteral("secret"), "secrets", false},
            {"nothing typed", QStringLiteral("secret"), "", false},
            {"blank stored, nothing typed", QStringLiteral(" "), "", false},
            {"arabic", arabic, "كلمة سر", true},
            {"null stored", QVariant(QMetaType(QMetaType::QString)), "anything", true},
            {"empty stored", QStringLiteral(""), "anything", true},
            {"no such field", QVariant(), "", true},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << r.stored << QString::fromUtf8(r.typed) << r.accepted;
    }
    void logonRule()
    {
        QFETCH(QVariant, stored);
        QFETCH(QString, typed);
        QFETCH(bool, accepted);
        Passwords::setRounds(kFastRounds);

        const Passwords::Check plain = Passwords::check(stored, typed);
        QCOMPARE(plain.accepted, accepted);
        const QString value = stored.toString();
        if (value.isEmpty()) {
            QVERIFY(plain.renewed.isEmpty()); // nothing to hash
            return;
        }
        // An accepted plain password comes back as its hash, which takes the
        // same passwords.
        QCOMPARE(Passwords::isHash(plain.renewed), accepted);
        const QString hashed = accepted ? plain.renewed : Passwords::hash(value);
        const Passwords::Check check = Passwords::check(hashed, typed);
        QCOMPARE(check.accepted, accepted);
        QVERIFY(check.renewed.isEmpty());
        for (const QString &other : {value, value.toUpper(), value.toLower()})
            QCOMPARE(Passwords::check(hashed, other).accepted, Passwords::check(value, other).accepted);
    }

    // A value that only looks like a hash is a password as typed; a cost
    // past the bound is never computed.
    void malformedHashesArePlain()
    {
        Passwords::setRounds(kFastRounds);
        const QString good = Passwords::hash(QStringLiteral("pw"), kFastRounds, "0123456789abcdef");
        const QString parts[] = {good.section(QLatin1Char('$'), 2, 2), good.section(QLatin1Char('$'), 3, 3)};
        const QStringList odd = {
            QStringLiteral("pbkdf2-sha256$%1$%2").arg(kFastRounds).arg(parts[0]),
            QStringLiteral("pbkdf2-sha1$%1$%2$%3").arg(kFastRounds).arg(parts[0], parts[1]),
            QStringLiteral("pbkdf2-sha256$x$%1$%2").arg(parts[0], parts[1]),
            QStringLiteral("pbkdf2-sha256$0$%1$%2").arg(parts[0], parts[1]),
            QStringLiteral("pbkdf2-sha256$2000000000$%1$%2").arg(parts[0], parts[1]),
            QStringLiteral("pbkdf2-sha256$%1$%2$%3").arg(kFastRounds).arg(parts[0], parts[1].left(20)),
            QStringLiteral("pbkdf2-sha256$%1$%2$%3!").arg(kFastRounds).arg(parts[0], parts[1]),
            QStringLiteral("pbkdf2-sha256$%1$$%2").arg(kFastRounds).arg(parts[1]),
        };
        QVERIFY(Passwords::isHash(good));
        for (const QString &value : odd) {
            QVERIFY2(!Passwords::isHash(value), qPrintable(value));
            QVERIFY(!Passwords::check(value, QStringLiteral("pw")).accepted);
            const Passwords::Check typedSo = Passwords::check(value, value);
            QVERIFY(typedSo.accepted);
            QVERIFY(Passwords::check(typedSo.renewed, value).accepted);
        }
    }

    // Raising the cost later: a cheaper hash is hashed again at the next
    // logon, a dearer or equal one is kept.
    void cheaperHashesRenewed()
    {
        Passwords::setRounds(kFastRounds);
        const QString cheap = Passwords::hash(QStringLiteral("secret"));
        Passwords::setRounds(kFastRounds * 2);
        const Passwords::Check check = Passwords::check(cheap, QStringLiteral("SECRET"));
        QVERIFY(check.accepted);
        QCOMPARE(roundsOf(check.renewed), QString::number(kFastRounds * 2));
        QVERIFY(Passwords::check(check.renewed, QStringLiteral("secret")).accepted);
        QVERIFY(Passwords::check(Passwords::hash(QStringLiteral("x")), QStringLiteral("x")).renewed.isEmpty());
        Passwords::setRounds(kFastRounds);
        QVERIFY(Passwords::check(check.renewed, QStringLiteral("secret")).renewed.isEmpty());
    }

    // Two workstations on one file: the replacement never overwrites a
    // password the other one changed meanwhile, even in letter case only.
    void renewOnlyWhatIsStillStored()
    {
        testsupport::TempDataFolder folder;
        engine::Database &mine = folder.openStore().db();
        const auto other = core::DataConnections::openFile(folder.dataDir() + QStringLiteral("/velm.mdb"));
        testsupport::TempDataFolder::addUser(mine, QStringLiteral("Admin"), QStringLiteral("secret"));
        auto stored = [&] {
            return mine.scalar(QStringLiteral("SELECT PASSWORD FROM users")).toString();
        };
        const QString hashed = Passwords::hash(QStringLiteral("secret"));

        other->execute(QStringLiteral("UPDATE users SET PASSWORD = 'SECRET'"));
        QVERIFY(!Passwords::renew(mine, QStringLiteral("Admin"), QStringLiteral("secret"), hashed));
        QCOMPARE(stored(), QStringLiteral("SECRET"));
        other->execute(QStringLiteral("UPDATE users SET PASSWORD = 'secret'"));
        QVERIFY(!Passwords::renew(mine, QStringLiteral("nobody"), QStringLiteral("secret"), hashed));
        QVERIFY(Passwords::renew(mine, QStringLiteral("admin"), QStringLiteral("secret"), hashed));
        QCOMPARE(other->scalar(QStringLiteral("SELECT PASSWORD FROM users")).toString(), hashed);
    }
};

VELM_TEST_MAIN(TstPasswords)
#include "tst_passwords.moc"
