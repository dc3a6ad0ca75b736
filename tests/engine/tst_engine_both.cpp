#include "support/TestMain.h"
#include "support/EngineErrors.h"
#include "support/TestDatabase.h"

#include "engine/Database.h"
#include "engine/QueryCursor.h"
#include "engine/ReadOnlyQuery.h"
#include "engine/ResultPlan.h"
#include "engine/TableCursor.h"

#include <atomic>
#include <thread>

using namespace engine;
using testsupport::errorOf;

// The engine's meaning on both backends: this test runs once on a file and
// once on the test server (VELM_TEST_BACKEND=server), with the same tables
// declared once and written by each backend in its own SQL.
class TestEngineBoth : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempDatabase> m_temp;
    std::unique_ptr<Database> m_db;

    static QList<TableDef> tables()
    {
        using T = FieldDef::Type;
        return {
            {QStringLiteral("witnesses"),
             {{QStringLiteral("NAME"), T::Text, 20}, {QStringLiteral("english_NAME"), T::Text, 20},
              {QStringLiteral("visits"), T::Integer, 0}, {QStringLiteral("active"), T::Flag, 0},
              {QStringLiteral("weight"), T::Real, 0}, {QStringLiteral("photo"), T::Blob, 0},
              {QStringLiteral("notes"), T::Memo, 0}},
             {QStringLiteral("NAME")}},
            {QStringLiteral("followUp"),
             {{QStringLiteral("tamrel_no"), T::Text, 10}, {QStringLiteral("seq_no"), T::Integer, 0},
              {QStringLiteral("description"), T::Text, 50}},
             {QStringLiteral("tamrel_no"), QStringLiteral("seq_no")}},
            {QStringLiteral("problems"),
             {{QStringLiteral("code"), T::AutoNumber, 0}, {QStringLiteral("tamrel_no"), T::Text, 10}},
             {}},
        };
    }

    void add(Database &db, const QString &table, const QVariantMap &fields)
    {
        TableCursor c(db, table);
        c.addNew();
        for (auto it = fields.begin(); it != fields.end(); ++it)
            c.setValue(it.key(), it.value());
        c.update();
    }

    void addWitness(const QString &name) { add(*m_db, QStringLiteral("witnesses"), {{QStringLiteral("NAME"), name}}); }

    QStringList walk(TableCursor &c, bool forward)
    {
        QStringList seen;
        forward ? c.moveFirst() : c.moveLast();
        while (c.hasCurrent()) {
            seen << c.record().first().toString() + (c.record().size() > 1 && c.keyFieldNames().size() > 1
                                                          ? QLatin1Char('/') + c.record().at(1).toString()
                                                          : QString());
            forward ? c.moveNext() : c.movePrevious();
        }
        return seen;
    }

private slots:
    void init()
    {
        m_temp = std::make_unique<testsupport::TempDatabase>();
        QCOMPARE(m_temp->onServer(), testsupport::testOnServer());
        m_db = std::make_unique<Database>();
        m_temp->open(*m_db);
        Transaction tx(*m_db);
        for (const TableDef &t : tables())
            m_db->createTable(t);
        tx.commit();
    }

    void cleanup()
    {
        m_db.reset();
        m_temp.reset();
    }

    void keysIgnoreLetterCase_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("sought");
        QTest::addColumn<QString>("different");
        QTest::newRow("latin") << "Ahmad Saleh" << "AHMAD saleh" << "Ahmad Salih";
        QTest::newRow("accents count") << "Émile" << "éMILE" << "Emile";
        QTest::newRow("greek") << "ZOË" << "zoë" << "zoe";
        QTest::newRow("arabic") << "أحمد" << "أحمد" << "احمد";
    }

    void keysIgnoreLetterCase()
    {
        QFETCH(QString, stored);
        QFETCH(QString, sought);
        QFETCH(QString, different);
        addWitness(stored);
        TableCursor c(*m_db, QStringLiteral("WITNESSES"));
        c.setIndex(QStringLiteral("PrimaryKey"));
        c.seek(QStringLiteral("="), {sought});
        QVERIFY(!c.noMatch());
        QCOMPARE(c.value(QStringLiteral("name")).toString(), stored);
        // Two keys differing only in letter case are never both stored.
        QCOMPARE(errorOf([&] { addWitness(sought.toUpper()); }), int(ErrDuplicateKey));
        addWitness(different);
        QCOMPARE(c.recordCount(), 2);
        c.seek(QStringLiteral("="), {different});
        QCOMPARE(c.value(QStringLiteral("NAME")).toString(), different);
    }

    void movesFollowTheKey()
    {
        for (const QString &n : {QStringLiteral("b"), QStringLiteral("D"), QStringLiteral("a"), QStringLiteral("c")})
            addWitness(n);
        TableCursor c(*m_db, QStringLiteral("witnesses"));
        // Without an index: the order rows were added in.
        QCOMPARE(walk(c, true), (QStringList{"b", "D", "a", "c"}));
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        QCOMPARE(walk(c, true), (QStringList{"a", "b", "c", "D"}));
        QVERIFY(c.eof());
        QCOMPARE(walk(c, false), (QStringList{"D", "c", "b", "a"}));
        QVERIFY(c.bof());
        QCOMPARE(errorOf([&] { c.movePrevious(); }), int(ErrNoCurrentRecord));
        const QList<QPair<QString, QString>> seeks{{">=", "C"}, {">", "c"}, {"<=", "C"}, {"<", "a"}, {"=", "d"}};
        const QStringList found{"c", "D", "c", "", "D"};
        for (int i = 0; i < seeks.size(); ++i) {
            c.seek(seeks.at(i).first, {seeks.at(i).second});
            QCOMPARE(c.noMatch() ? QString() : c.value(0).toString(), found.at(i));
        }
        // After a delete, the next record is the one after the deleted key.
        c.seek(QStringLiteral("="), {QStringLiteral("b")});
        c.deleteRecord();
        c.moveNext();
        QCOMPARE(c.value(0).toString(), QStringLiteral("c"));
        QCOMPARE(c.recordCount(), 3);

        // A key of two fields: text, then number.
        for (const auto &[no, seq] : {std::pair{"A1", 2}, {"a1", 1}, {"B2", 1}, {"A1", 10}})
            add(*m_db, QStringLiteral("followup"), {{"tamrel_no", QString::fromLatin1(no)}, {"seq_no", seq}});
        QCOMPARE(errorOf([&] { add(*m_db, QStringLiteral("followup"), {{"tamrel_no", "A1"}, {"seq_no", 1}}); }),
                 int(ErrDuplicateKey));
        TableCursor f(*m_db, QStringLiteral("FOLLOWUP"));
        f.setIndex(QStringLiteral("PRIMARYKEY"));
        QCOMPARE(walk(f, true), (QStringList{"a1/1", "A1/2", "A1/10", "B2/1"}));
        f.seek(QStringLiteral(">="), {QStringLiteral("a1"), 3});
        QCOMPARE(f.value(QStringLiteral("seq_no")).toLongLong(), 10);
        f.seek(QStringLiteral("<"), {QStringLiteral("B2")});
        QCOMPARE(f.value(QStringLiteral("seq_no")).toLongLong(), 10);
    }

    void aStaleSaveIsRefused()
    {
        add(*m_db, QStringLiteral("witnesses"), {{"NAME", "Ahmad"}, {"english_NAME", "x"}});
        Database other;
        m_temp->open(other);
        TableCursor mine(*m_db, QStringLiteral("witnesses"));
        TableCursor theirs(other, QStringLiteral("witnesses"));
        mine.setIndex(QStringLiteral("PRIMARYKEY"));
        theirs.setIndex(QStringLiteral("PRIMARYKEY"));
        mine.seek(QStringLiteral("="), {QStringLiteral("ahmad")});
        theirs.seek(QStringLiteral("="), {QStringLiteral("ahmad")});
        theirs.edit();
        theirs.setValue(QStringLiteral("english_NAME"), QStringLiteral("theirs"));
        theirs.update();
        mine.edit();
        mine.setValue(QStringLiteral("visits"), 3);
        QCOMPARE(errorOf([&] { mine.update(); }), int(ErrRecordChanged));
        mine.seek(QStringLiteral("="), {QStringLiteral("Ahmad")});
        QCOMPARE(mine.value(QStringLiteral("english_NAME")).toString(), QStringLiteral("theirs"));
        QVERIFY(mine.value(QStringLiteral("visits")).isNull());
        // Read again, the save goes through; a record deleted meanwhile is refused.
        mine.edit();
        mine.setValue(QStringLiteral("visits"), 3);
        mine.update();
        theirs.seek(QStringLiteral("="), {QStringLiteral("AHMAD")});
        mine.deleteRecord();
        theirs.edit();
        theirs.setValue(QStringLiteral("visits"), 4);
        QCOMPARE(errorOf([&] { theirs.update(); }), int(ErrRecordChanged));
    }

    void movesShowEveryChangeMadeSince()
    {
        // A move never shows a record as it was before a change, whether a
        // colleague's (another connection) or this connection's own, even
        // where the cursor reads several records at once.
        for (int i = 0; i < 40; ++i)
            addWitness(QStringLiteral("w%1").arg(i, 2, 10, QLatin1Char('0')));
        Database other;
        m_temp->open(other);
        TableCursor mine(*m_db, QStringLiteral("witnesses"));
        mine.setIndex(QStringLiteral("PRIMARYKEY"));
        mine.seek(QStringLiteral("="), {QStringLiteral("w00")});
        mine.moveNext();
        QCOMPARE(mine.value(0).toString(), QStringLiteral("w01"));

        const quint64 before = m_db->backend()->changeStamp();
        other.execute(QStringLiteral("UPDATE witnesses SET english_NAME = ? WHERE NAME = ?"), {"changed", "w02"});
        other.execute(QStringLiteral("DELETE FROM witnesses WHERE NAME = ?"), {"w03"});
        add(other, QStringLiteral("witnesses"), {{"NAME", "w025"}});
        if (m_temp->onServer()) // the server tells of a colleague's commit a moment after it
            QTRY_VERIFY_WITH_TIMEOUT(m_db->backend()->changeStamp() != before, 5000);
        mine.moveNext();
        QCOMPARE(mine.value(QStringLiteral("english_NAME")).toString(), QStringLiteral("changed"));
        mine.moveNext();
        QCOMPARE(mine.value(0).toString(), QStringLiteral("w025"));
        mine.moveNext();
        QCOMPARE(mine.value(0).toString(), QStringLiteral("w04"));

        // This connection's own write through another cursor, told at once.
        mine.moveNext();
        {
            TableCursor again(*m_db, QStringLiteral("witnesses"));
            again.setIndex(QStringLiteral("PRIMARYKEY"));
            again.seek(QStringLiteral("="), {QStringLiteral("w06")});
            again.edit();
            again.setValue(QStringLiteral("visits"), 6);
            again.update();
        }
        mine.moveNext();
        QCOMPARE(mine.value(QStringLiteral("visits")).toLongLong(), 6);
        mine.movePrevious();
        QCOMPARE(mine.value(0).toString(), QStringLiteral("w05"));
        QCOMPARE(walk(mine, true).size(), 40);
        QCOMPARE(walk(mine, false).last(), QStringLiteral("w00"));
    }

    void twoConnectionsAddingAtOnce()
    {
        // Two workstations add the same key at the same moment, many times:
        // one succeeds, the other is told 3022, nothing crashes.
        Database a;
        Database b;
        m_temp->open(a);
        m_temp->open(b);
        constexpr int kRounds = 40;
        std::atomic<int> added{0};
        std::atomic<int> duplicates{0};
        std::atomic<int> other{0};
        auto clerk = [&](Database *db) {
            for (int i = 0; i < kRounds; ++i) {
                const int e = errorOf([&] { add(*db, QStringLiteral("followup"), {{"tamrel_no", "P1"}, {"seq_no", i}}); });
                (e == 0 ? added : e == ErrDuplicateKey ? duplicates : other)++;
            }
        };
        std::thread first(clerk, &a);
        std::thread second(clerk, &b);
        first.join();
        second.join();
        QCOMPARE(other.load(), 0);
        QCOMPARE(added.load(), kRounds);
        QCOMPARE(duplicates.load(), kRounds);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM followUp")).toLongLong(), kRounds);
    }

    void aFailedWriteUndoesOnlyItself()
    {
        // Several rows in one transaction (an evaluation and its problems):
        // a refused row is told, the others are kept and committed.
        Transaction tx(*m_db);
        addWitness(QStringLiteral("a"));
        QCOMPARE(errorOf([&] { addWitness(QStringLiteral("A")); }), int(ErrDuplicateKey));
        QCOMPARE(errorOf([&] { m_db->execute(QStringLiteral("SELECT * FROM nothere")); }), int(ErrObjectNotFound));
        addWitness(QStringLiteral("b"));
        tx.commit();
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM witnesses")).toLongLong(), 2);
    }

    void aStatementOutlivesAChangedTable()
    {
        addWitness(QStringLiteral("a"));
        Statement s(*m_db, QStringLiteral("SELECT * FROM witnesses"));
        s.bind(QVariantList());
        QVERIFY(s.step());
        s.reset();
        m_db->execute(QStringLiteral("ALTER TABLE witnesses ADD COLUMN extra TEXT"));
        s.bind(QVariantList());
        QVERIFY(s.step());
        QCOMPARE(s.columnCount(), 8);
        s.reset();
    }

    void statementsMayOutliveTheirConnection()
    {
        for (const QString &n : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")})
            addWitness(n);
        // A grid's cursor and a screen's table cursor when the database closes.
        auto list = std::make_unique<QueryCursor>(*m_db, QStringLiteral("SELECT NAME FROM witnesses"));
        QVERIFY(list->next());
        auto cursor = std::make_unique<TableCursor>(*m_db, QStringLiteral("witnesses"));
        cursor->setIndex(QStringLiteral("PRIMARYKEY"));
        cursor->moveNext();
        cursor->moveFirst(); // its statements are prepared
        m_db->close();
        list.reset();
        QCOMPARE(cursor->value(0).toString(), QStringLiteral("a"));
        // A move after the close runs a statement prepared before it: the
        // file's still reads; the server's connection is gone, which is
        // told, never a crash.
        QCOMPARE(errorOf([&] { cursor->moveNext(); }), m_temp->onServer() ? int(ErrCannotOpenFile) : 0);
        cursor.reset();
        QVERIFY(!m_db->isOpen());
    }

    // SQLite's own functions and forms, as report files use them, give the
    // file's values on the server too, on a connection restricted to queries.
    void sqliteFormsGiveTheFilesValues_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QString>("value"); // each row's value joined by '|'
        QTest::newRow("ifnull") << "ifnull(visits, -1)" << "3|-1|12";
        QTest::newRow("cast of a number text") << "CAST(english_NAME AS INTEGER)" << "12|0|-7";
        QTest::newRow("cast of a real") << "CAST(weight AS INTEGER)" << "70||";
        QTest::newRow("cast to real") << "CAST(english_NAME AS REAL)" << "12.5|0|-7";
        QTest::newRow("substr of a number") << "substr(visits, 1, 1)" << "3||1";
        QTest::newRow("length of a number") << "length(visits)" << "1||2";
        QTest::newRow("instr") << "instr(NAME, 'b')" << "2|0|0";
        QTest::newRow("typeof") << "typeof(visits) || typeof(weight) || typeof(NAME) || typeof(notes)"
                                << "integerrealtextnull|nullnulltextnull|integernulltextnull";
        QTest::newRow("group_concat") << "(SELECT group_concat(NAME) FROM (SELECT NAME FROM witnesses ORDER BY NAME))"
                                      << "abc,X,z|abc,X,z|abc,X,z";
        QTest::newRow("total") << "(SELECT total(visits) FROM witnesses)" << "15|15|15";
        QTest::newRow("like on numbers") << "visits LIKE '1%' OR weight LIKE '70._'" << "1||1";
        QTest::newRow("not like on a number") << "visits NOT LIKE '1%'" << "1||0";
        QTest::newRow("date now") << "length(date('now'))" << "10|10|10";
    }
    void sqliteFormsGiveTheFilesValues()
    {
        QFETCH(QString, expression);
        QFETCH(QString, value);
        add(*m_db, QStringLiteral("witnesses"),
            {{QStringLiteral("NAME"), QStringLiteral("abc")}, {QStringLiteral("english_NAME"), QStringLiteral("12.5kg")},
             {QStringLiteral("visits"), 3}, {QStringLiteral("weight"), 70.9}});
        add(*m_db, QStringLiteral("witnesses"),
            {{QStringLiteral("NAME"), QStringLiteral("X")}, {QStringLiteral("english_NAME"), QStringLiteral("n/a")}});
        add(*m_db, QStringLiteral("witnesses"),
            {{QStringLiteral("NAME"), QStringLiteral("z")}, {QStringLiteral("english_NAME"), QStringLiteral(" -7")},
             {QStringLiteral("visits"), 12}});
        Database report;
        report.open(m_db->openSpec());
        restrictToQueries(report);
        ReadOnlyQuery q(report, QStringLiteral("SELECT %1 FROM witnesses ORDER BY NAME").arg(expression));
        QStringList got;
        while (q.next())
            got << q.value(0).toString();
        QCOMPARE(got.join(QLatin1Char('|')), value);
    }

    void aReadingConnectionCannotWrite()
    {
        addWitness(QStringLiteral("a"));
        Database report;
        m_temp->openReport(report);
        QCOMPARE(report.scalar(QStringLiteral("SELECT count(*) FROM witnesses")).toLongLong(), 1);
        QVERIFY(errorOf([&] { report.execute(QStringLiteral("DELETE FROM witnesses")); }) != 0);
        QVERIFY(errorOf([&] { add(report, QStringLiteral("witnesses"), {{"NAME", "b"}}); }) != 0);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM witnesses")).toLongLong(), 1);
    }

    void textRulesHoldOnWrites()
    {
        QCOMPARE(errorOf([&] { addWitness(QString::fromUtf8("a\0b", 3)); }), int(ErrFieldTooSmall));
        QCOMPARE(errorOf([&] { addWitness(QString(21, QLatin1Char('x'))); }), int(ErrFieldTooSmall));
        addWitness(QString(20, QChar(0x0639))); // twenty Arabic letters: characters, not bytes
        QCOMPARE(errorOf([&] { add(*m_db, QStringLiteral("witnesses"), {{"english_NAME", "no key"}}); }),
                 int(ErrNullInRequired));
        QCOMPARE(errorOf([&] { add(*m_db, QStringLiteral("witnesses"), {{"NAME", "n"}, {"visits", "many"}}); }),
                 int(ErrDataTypeConversion));
        // LIKE folds letter case; an escaped % is a literal one.
        for (const QString &n : {QStringLiteral("Émile 50%"), QStringLiteral("ÉMILE 500"), QStringLiteral("Zoë")})
            addWitness(n);
        QueryCursor q(*m_db, QStringLiteral("SELECT NAME FROM witnesses WHERE NAME LIKE ? ESCAPE '\\' ORDER BY NAME"),
                      {QStringLiteral("%mile 50\\%")});
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("Émile 50%"));
        QVERIFY(!q.next());
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM witnesses WHERE NAME LIKE ?"), {QStringLiteral("é%")})
                     .toLongLong(),
                 2);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM witnesses WHERE NAME NOT LIKE '%ë'")).toLongLong(), 3);
        // A comparison of bytes as they are (a password's hash), and the rule named.
        const QString binary = QStringLiteral("SELECT count(*) FROM witnesses WHERE NAME = ? COLLATE BINARY");
        QCOMPARE(m_db->scalar(binary, {QStringLiteral("zoë")}).toLongLong(), 0);
        QCOMPARE(m_db->scalar(binary, {QStringLiteral("Zoë")}).toLongLong(), 1);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM witnesses WHERE NAME = ? COLLATE FOLDCASE"),
                              {QStringLiteral("ZOË")}).toLongLong(),
                 1);
    }

    void valuesReadBackAsStored()
    {
        const QByteArray photo("\x00\x01\xff", 3);
        add(*m_db, QStringLiteral("witnesses"),
            {{"NAME", "w"}, {"english_NAME", "1427/05/09"}, {"visits", 42}, {"weight", 72.25}, {"photo", photo}});
        add(*m_db, QStringLiteral("witnesses"), {{"NAME", "empty"}, {"english_NAME", ""}});
        TableCursor c(*m_db, QStringLiteral("witnesses"));
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.seek(QStringLiteral("="), {QStringLiteral("W")});
        QCOMPARE(c.value(QStringLiteral("english_NAME")), QVariant(QStringLiteral("1427/05/09")));
        QCOMPARE(c.value(QStringLiteral("visits")).typeId(), int(QMetaType::LongLong));
        QCOMPARE(c.value(QStringLiteral("visits")).toLongLong(), 42);
        QCOMPARE(c.value(QStringLiteral("active")).toLongLong(), 0); // a flag is 0 unless given
        QCOMPARE(c.value(QStringLiteral("weight")).toDouble(), 72.25);
        QCOMPARE(c.value(QStringLiteral("photo")).toByteArray(), photo);
        QVERIFY(c.value(QStringLiteral("notes")).isNull());
        c.seek(QStringLiteral("="), {QStringLiteral("empty")});
        QVERIFY(!c.value(QStringLiteral("english_NAME")).isNull());
        QCOMPARE(c.value(QStringLiteral("english_NAME")).toString(), QString());
        QCOMPARE(c.fieldNames().first(), QStringLiteral("NAME"));
        QCOMPARE(c.fieldNames().size(), 7);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT sum(visits) FROM witnesses")).toLongLong(), 42);
    }

    void autoNumbersAreNeverGivenTwice()
    {
        TableCursor p(*m_db, QStringLiteral("problems"));
        for (int i = 1; i <= 3; ++i) {
            p.addNew();
            p.setValue(QStringLiteral("tamrel_no"), QStringLiteral("P"));
            p.update();
            QCOMPARE(p.lastAutoValue(), qint64(i));
        }
        p.moveLast();
        p.deleteRecord();
        p.addNew();
        p.update();
        QCOMPARE(p.lastAutoValue(), qint64(4));
        QCOMPARE(p.keyFieldNames(), QStringList{QStringLiteral("code")});
    }

    void listsAreReadByRowIdentity()
    {
        for (const QString &n : {QStringLiteral("c"), QStringLiteral("A"), QStringLiteral("b")})
            addWitness(n);
        const ResultPlan plan = planResult(*m_db, QStringLiteral("SELECT * FROM witnesses WHERE NAME <> ?"), 4);
        QVERIFY(plan.keyset);
        QueryCursor ids(*m_db, plan.sortedIdSql(QStringLiteral("NAME"), true), {QStringLiteral("zz")});
        QVariantList order;
        while (ids.next())
            order << ids.value(0);
        QCOMPARE(order.size(), 3);
        QueryCursor rows(*m_db, plan.fetchSql, {order.at(0), order.at(2), 0, 0});
        QCOMPARE(rows.columnCount(), 1 + 7); // the identity, then the select's own columns
        QStringList names;
        while (rows.next())
            names << rows.value(1).toString();
        names.sort(Qt::CaseInsensitive);
        QCOMPARE(names, (QStringList{"A", "c"}));
        // A heading sort of a select, and a select of the whole table.
        QueryCursor all(*m_db, QStringLiteral("SELECT NAME, visits FROM witnesses"));
        const std::unique_ptr<QueryCursor> sorted = all.sorted(QStringLiteral("[NAME] desc"));
        QVERIFY(sorted->next());
        QCOMPARE(sorted->value(QStringLiteral("name")).toString(), QStringLiteral("c"));
        QCOMPARE(QueryCursor(*m_db, QStringLiteral("SELECT * FROM witnesses")).columnCount(), 7);
        // A grid's heading sort wraps the list's select as it is.
        QueryCursor wrapped(*m_db, QStringLiteral("SELECT * FROM (SELECT NAME FROM witnesses WHERE NAME <> ?) ORDER BY NAME DESC"),
                            {QStringLiteral("b")});
        QVERIFY(wrapped.next());
        QCOMPARE(wrapped.value(0).toString(), QStringLiteral("c"));
        QVERIFY(wrapped.next());
        QCOMPARE(wrapped.value(0).toString(), QStringLiteral("A"));
        QVERIFY(!wrapped.next());
    }
};

VELM_TEST_MAIN(TestEngineBoth)
#include "tst_engine_both.moc"
