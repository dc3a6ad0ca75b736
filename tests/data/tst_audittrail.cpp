#include "data/AuditTrail.h"

#include "data/Schema.h"
#include "engine/QueryCursor.h"
#include "engine/ResultPlan.h"
#include "followup/ProblemRecords.h"
#include "support/EngineErrors.h"
#include "support/TempDataFolder.h"
#include "support/TestMain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

using core::AuditFilter;
using core::AuditTrail;
using engine::WriteAction;
using engine::WriteEvent;
using testsupport::errorOf;

namespace {

QJsonArray json(const QString &text)
{
    return QJsonDocument::fromJson(text.toUtf8()).array();
}

QJsonObject entry(std::initializer_list<QPair<QString, QJsonValue>> parts)
{
    return QJsonObject(parts);
}

// The audit rows as "table|key|action|user|workstation", oldest first.
QStringList rows(engine::Database &db)
{
    QStringList out;
    engine::QueryCursor c(db, QStringLiteral("SELECT table_name, record_key, action, user_id, workstation "
                                             "FROM audit ORDER BY audit_id"));
    while (c.next()) {
        QStringList parts;
        for (int i = 0; i < 5; ++i)
            parts << c.value(i).toString();
        out << parts.join(QLatin1Char('|'));
    }
    return out;
}

QString lastChanges(engine::Database &db)
{
    return db.scalar(QStringLiteral("SELECT changes FROM audit ORDER BY audit_id DESC")).toString();
}

QList<qint64> ids(engine::Database &db, const core::BoundQuery &q)
{
    QList<qint64> out;
    engine::QueryCursor c(db, q.sql, q.values);
    while (c.next())
        out << c.value(0).toLongLong();
    return out;
}

} // namespace

class TstAuditTrail : public QObject {
    Q_OBJECT

private slots:
    // What each kind of write keeps: an add its values, an update only the
    // fields that changed, a delete the whole old record; a password only
    // that it changed, whatever the letter case of its field.
    void changesFollowTheRules_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<int>("action");
        QTest::addColumn<QVariantList>("before");
        QTest::addColumn<QVariantList>("after");
        QTest::addColumn<QJsonArray>("expected");
        const QString t = QStringLiteral("tamrel");
        const QString u = QStringLiteral("Users");
        using L = QVariantList;
        const QVariant none;
        const QJsonValue null = QJsonValue::Null;
        QTest::newRow("add: blanks left out, numbers, blobs")
            << t << int(WriteAction::Add) << L() << L{"5", none, qint64(3), QByteArray(10, 'x')}
            << QJsonArray{entry({{"field", "a"}, {"new", "5"}}), entry({{"field", "c"}, {"new", 3}}),
                          entry({{"field", "d"}, {"new", "<10 bytes>"}})};
        QTest::newRow("update: changed fields only, blank = empty")
            << t << int(WriteAction::Update) << L{"5", none, qint64(3), "x"} << L{"5", "", qint64(4), none}
            << QJsonArray{entry({{"field", "c"}, {"old", 3}, {"new", 4}}),
                          entry({{"field", "d"}, {"old", "x"}, {"new", null}})};
        QTest::newRow("update: nothing changed") << t << int(WriteAction::Update) << L{"5", "a", none, none}
                                                 << L{"5", "a", "", none} << QJsonArray();
        QTest::newRow("delete: the whole record")
            << t << int(WriteAction::Delete) << L{"5", none, qint64(3), "x"} << L()
            << QJsonArray{entry({{"field", "a"}, {"old", "5"}}), entry({{"field", "b"}, {"old", null}}),
                          entry({{"field", "c"}, {"old", 3}}), entry({{"field", "d"}, {"old", "x"}})};
        QTest::newRow("password added") << u << int(WriteAction::Add) << L() << L{"admin", "h$1", none, none}
                                        << QJsonArray{entry({{"field", "a"}, {"new", "admin"}}),
                                                      entry({{"field", "password"}, {"changed", true}})};
        QTest::newRow("password changed")
            << u << int(WriteAction::Update) << L{"admin", "h$1", none, none} << L{"admin", "h$2", none, none}
            << QJsonArray{entry({{"field", "password"}, {"changed", true}})};
        QTest::newRow("password kept") << u << int(WriteAction::Update) << L{"admin", "h$1", none, "x"}
                                       << L{"admin", "h$1", none, "y"}
                                       << QJsonArray{entry({{"field", "d"}, {"old", "x"}, {"new", "y"}})};
        QTest::newRow("user deleted") << u << int(WriteAction::Delete) << L{"admin", "h$1", none, none} << L()
                                      << QJsonArray{entry({{"field", "a"}, {"old", "admin"}}),
                                                    entry({{"field", "c"}, {"old", null}}),
                                                    entry({{"field", "d"}, {"old", null}})};
    }
    void changesFollowTheRules()
    {
        QFETCH(QString, table);
        QFETCH(int, action);
        QFETCH(QVariantList, before);
        QFETCH(QVariantList, after);
        QFETCH(QJsonArray, expected);
        const QString second = table == QLatin1String("Users") ? QStringLiteral("password") : QStringLiteral("b");
        const WriteEvent e{table, WriteAction(action), {"a", second, "c", "d"}, {"a"}, before, after};
        const QString text = AuditTrail::changes(e);
        QCOMPARE(json(text), expected);
        QVERIFY(!text.contains(QLatin1String("h$")));
    }

    void recordKeyJoinsTheKeyInOrder()
    {
        const QStringList fields{"tamrel_no", "seq_no", "description"};
        const QStringList key{"tamrel_no", "seq_no"};
        QCOMPARE(AuditTrail::recordKey({"followUp", WriteAction::Add, fields, key, {}, {"5", qint64(2), "x"}}),
                 QStringLiteral("5/2"));
        QCOMPARE(AuditTrail::recordKey({"followUp", WriteAction::Delete, fields, key, {"7", qint64(1), "x"}, {}}),
                 QStringLiteral("7/1"));
        QCOMPARE(AuditTrail::recordKey({"info", WriteAction::Add, fields, {}, {}, {"a", "b", "c"}}), QString());
    }

    // A cursor slot writes through the trail once a user has logged on,
    // one row per write in its transaction, and nothing for a refused save.
    void cursorSlotsWriteThroughTheTrail()
    {
        testsupport::TempDataFolder folder;
        core::DataStore &store = folder.openStore();
        engine::Database &db = store.db();
        const auto addWitness = [&](const QString &name) {
            engine::TableCursor &c = store.slot(QStringLiteral("WITNESSES")).open();
            c.addNew();
            c.setValue(QStringLiteral("NAME"), name);
            c.setValue(QStringLiteral("job"), QStringLiteral("معلم"));
            c.update();
        };
        addWitness(QStringLiteral("before logon"));
        QCOMPARE(rows(db), QStringList());

        store.setActor(QStringLiteral("Admin"), QStringLiteral("WS-1"));
        addWitness(QStringLiteral("فهد"));
        QCOMPARE(rows(db), QStringList{"witnesses|فهد|add|Admin|WS-1"});
        QCOMPARE(json(lastChanges(db)), (QJsonArray{entry({{"field", "NAME"}, {"new", "فهد"}}),
                                                    entry({{"field", "job"}, {"new", "معلم"}})}));
        static const QRegularExpression utc(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$"));
        const QString at = db.scalar(QStringLiteral("SELECT changed_at FROM audit")).toString();
        QVERIFY2(utc.match(at).hasMatch(), qPrintable(at));
        QVERIFY(qAbs(QDateTime::fromString(at, Qt::ISODateWithMs).secsTo(QDateTime::currentDateTimeUtc())) < 60);

        engine::TableCursor &c = store.slot(QStringLiteral("witnesses")).open();
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.seek(QStringLiteral("="), {QStringLiteral("فهد")});
        // Another workstation's save since the read: refused, not recorded.
        engine::Database other;
        other.open(db.openSpec());
        other.execute(QStringLiteral("UPDATE witnesses SET job = 'طبيب' WHERE NAME = 'فهد'"));
        c.edit();
        c.setValue(QStringLiteral("job"), QStringLiteral("مهندس"));
        QCOMPARE(errorOf([&] { c.update(); }), int(engine::ErrRecordChanged));
        c.cancelUpdate();
        QCOMPARE(rows(db).size(), 1);

        c.seek(QStringLiteral("="), {QStringLiteral("فهد")});
        c.deleteRecord();
        QCOMPARE(rows(db).last(), QStringLiteral("witnesses|فهد|delete|Admin|WS-1"));
        // The record as it was when deleted, the colleague's job included.
        QVERIFY(json(lastChanges(db)).contains(entry({{"field", "job"}, {"old", "طبيب"}})));
        QCOMPARE(other.scalar(QStringLiteral("SELECT count(*) FROM audit")).toInt(), 2);
    }

    // The problems of an evaluation, written outside the screen's slot, are
    // recorded row by row, a removal too.
    void problemRecordsWriteThroughTheTrail()
    {
        testsupport::TempDataFolder folder;
        core::DataStore &store = folder.openStore();
        store.setActor(QStringLiteral("clerk"));
        namespace problems = followup::problems;
        const problems::Evaluation evaluation{QStringLiteral("5"), QStringLiteral("1")};
        const QList<qint64> codes = problems::addProblems(
            store.db(), evaluation, {{"مشكلة مالية", "a"}, {}, {"مشكلة صحية", "b"}}, store.auditObserver());
        problems::rewriteProblems(store.db(), evaluation, {{"مشكلة مالية", "changed"}}, store.auditObserver());
        problems::deleteProblems(store.db(), evaluation, store.auditObserver());
        QCOMPARE(store.db().scalar(QStringLiteral("SELECT count(*) FROM problems")).toInt(), 0);
        const QString c1 = QString::number(codes.at(0)), c3 = QString::number(codes.at(2));
        QCOMPARE(rows(store.db()).join(QLatin1Char(',')).remove(QLatin1String("|clerk|") + QSysInfo::machineHostName()),
                 QStringLiteral("problems|%1|add,problems|%2|add,problems|%1|update,problems|%1|delete,"
                                "problems|%2|delete")
                     .arg(c1, c3));
    }

    // Nothing in the program edits or removes audit rows: the file refuses it.
    void auditRowsCannotBeChangedOrRemoved()
    {
        testsupport::TempDataFolder folder;
        core::DataStore &store = folder.openStore();
        store.setActor(QStringLiteral("clerk"));
        testsupport::TempDataFolder::addPerson(store.db(), QStringLiteral("5"));
        engine::TableCursor &c = store.slot(QStringLiteral("tamrel")).open();
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.seek(QStringLiteral("="), {QStringLiteral("5")});
        c.deleteRecord();
        engine::Database &db = store.db();
        for (const char *sql : {"UPDATE audit SET user_id = 'someone'", "DELETE FROM audit",
                                "UPDATE audit SET changes = '[]' WHERE audit_id = 1"})
            QVERIFY2(errorOf([&] { db.execute(QLatin1String(sql)); }) != 0, sql);
        QCOMPARE(rows(db), QStringList{"tamrel|5|delete|clerk|" + QSysInfo::machineHostName()});
    }

    // A file made before the trail gets it, indexes and guards included,
    // when it is opened; one that has it is left as it is.
    void aFileWithoutTheTrailGetsItOnOpen()
    {
        if (testsupport::testOnServer())
            QSKIP("about a file made before the trail, read through the file's own catalogue; a server "
                  "database gets the trail with its schema (tst_server_session)");
        testsupport::TempDataFolder folder;
        core::DataStore &store = folder.openStore();
        const QString objects = QStringLiteral("SELECT group_concat(name) FROM (SELECT name FROM sqlite_master "
                                               "WHERE tbl_name = 'audit' ORDER BY name)");
        const QString full = store.db().scalar(objects).toString();
        QCOMPARE(full, QStringLiteral("audit,audit_by_record,audit_by_table,audit_by_time,audit_by_user,audit_no_delete,"
                                      "audit_no_update"));
        store.db().execute(QStringLiteral("DROP TABLE audit"));
        store.CLOSEDATABASE();
        QVERIFY(store.OPENDATABASE().ok);
        QCOMPARE(store.db().scalar(objects).toString(), full);
        store.setActor(QStringLiteral("clerk"));
        testsupport::TempDataFolder::addUser(store.db(), QStringLiteral("x"), QStringLiteral("y"));
        engine::TableCursor &users = store.slot(QStringLiteral("users")).open();
        users.moveFirst();
        users.deleteRecord();
        QCOMPARE(rows(store.db()).size(), 1);
        store.CLOSEDATABASE();
        QVERIFY(store.OPENDATABASE().ok);
        QCOMPARE(rows(store.db()).size(), 1);
    }

    // The viewer's select: newest first; a record with the records below it
    // ("5" and "5/2", not "50" nor "5-1"), in one table or in all; a user in
    // any letter case; whole days of this machine's clock.
    void viewerQueryFilters_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QList<qint64>>("expected");
        const QDate d1(2026, 12, 1), d2(2026, 12, 2), d3(2026, 12, 3);
        QTest::newRow("none") << "" << "" << "" << QDate() << QDate() << QList<qint64>{7, 6, 5, 4, 3, 2, 1};
        QTest::newRow("table") << "followUp" << "" << "" << QDate() << QDate() << QList<qint64>{6, 2};
        QTest::newRow("key in all tables") << "" << "5" << "" << QDate() << QDate() << QList<qint64>{6, 5, 2, 1};
        QTest::newRow("key in one table") << "tamrel" << "5" << "" << QDate() << QDate() << QList<qint64>{5, 1};
        QTest::newRow("no such key") << "" << "6" << "" << QDate() << QDate() << QList<qint64>();
        QTest::newRow("user, other case") << "" << "" << "CLERK" << QDate() << QDate() << QList<qint64>{7, 5, 3, 1};
        QTest::newRow("one day") << "" << "" << "" << d2 << d2 << QList<qint64>{4, 3};
        QTest::newRow("from") << "" << "" << "" << d2 << QDate() << QList<qint64>{7, 6, 5, 4, 3};
        QTest::newRow("to") << "" << "" << "" << QDate() << d1 << QList<qint64>{2, 1};
        QTest::newRow("all together") << "tamrel" << "5" << "clerk" << d3 << d3 << QList<qint64>{5};
    }
    void viewerQueryFilters()
    {
        QFETCH(QString, table);
        QFETCH(QString, key);
        QFETCH(QString, user);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QList<qint64>, expected);
        testsupport::TempDataFolder folder;
        engine::Database &db = folder.openStore().db();
        const auto at = [](int day, int hour) {
            return QDateTime(QDate(2026, 12, day), QTime(hour, 0), Qt::LocalTime).toUTC().toString(Qt::ISODateWithMs);
        };
        const QList<QStringList> written{{at(1, 0), "clerk", "tamrel", "5"},    {at(1, 23), "admin", "followUp", "5/2"},
                                         {at(2, 0), "Clerk", "tamrel", "50"},   {at(2, 23), "admin", "tamrel", "5-1"},
                                         {at(3, 0), "clerk", "tamrel", "5"},    {at(3, 1), "admin", "followUp", "5/3"},
                                         {at(4, 0), "clerk", "witnesses", "Ali"}};
        for (const QStringList &w : written)
            db.execute(QStringLiteral("INSERT INTO audit (changed_at, user_id, workstation, table_name, record_key, "
                                      "action, changes) VALUES (?, ?, 'ws', ?, ?, 'update', '[]')"),
                       {w.at(0), w.at(1), w.at(2), w.at(3)});
        const core::BoundQuery q = AuditTrail::viewerQuery({table, key, user, from, to});
        QCOMPARE(ids(db, q), expected);
        engine::QueryCursor columns(db, q.sql, q.values);
        QCOMPARE(columns.columnNames(), (QStringList{"audit_id", "changed_at", "user_id", "workstation",
                                                     "table_name", "record_key", "action"}));
        QVERIFY(q.sql.count(QLatin1Char('?')) == q.values.size());
        // The list reads it by row identities, in the same order.
        const engine::ResultPlan plan = engine::planResult(db, q.sql, 16);
        QVERIFY(plan.keyset);
        QCOMPARE(ids(db, {plan.idSql, q.values}), expected);
    }

    void lastChangeAndChangesOf()
    {
        testsupport::TempDataFolder folder;
        core::DataStore &store = folder.openStore();
        engine::Database &db = store.db();
        QVERIFY(AuditTrail::lastChange(db, QStringLiteral("tamrel"), QStringLiteral("5")).isNull());
        QVERIFY(AuditTrail::changesOf(db, 1).isEmpty());
        testsupport::TempDataFolder::addPerson(db, QStringLiteral("5"));
        for (const char *user : {"first", "second"}) {
            store.setActor(QLatin1String(user));
            engine::TableCursor &c = store.slot(QStringLiteral("tamrel")).open();
            c.setIndex(QStringLiteral("PRIMARYKEY"));
            c.seek(QStringLiteral("="), {QStringLiteral("5")});
            c.edit();
            c.setValue(QStringLiteral("comments"), QLatin1String(user));
            c.update();
        }
        const core::LastChange last = AuditTrail::lastChange(db, QStringLiteral("tamrel"), QStringLiteral("5"));
        QCOMPARE(last.userId, QStringLiteral("second"));
        QCOMPARE(last.changedAt.timeSpec(), Qt::UTC);
        QVERIFY(qAbs(last.changedAt.secsTo(QDateTime::currentDateTimeUtc())) < 60);
        QVERIFY(AuditTrail::lastChange(db, QStringLiteral("tamrel"), QStringLiteral("50")).isNull());
        QCOMPARE(json(AuditTrail::changesOf(db, 2)),
                 QJsonArray{entry({{"field", "comments"}, {"old", "first"}, {"new", "second"}})});
    }
};

VELM_TEST_MAIN(TstAuditTrail)
#include "tst_audittrail.moc"
