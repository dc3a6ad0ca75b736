#include "support/TestMain.h"
#include "support/EngineErrors.h"
#include "support/TempDataFolder.h"
#include "support/TestDatabase.h"

#include "data/Schema.h"

#include "engine/Database.h"
#include "engine/TableCursor.h"

using namespace core;
using testsupport::errorOf;

// The office schema made by the program on each backend (once on a file,
// once on the test server): every table with its fields as declared, the
// keys without letter case, the starter codes once, a person and a problem.
class TestSchemaBoth : public QObject {
    Q_OBJECT

private slots:
    void theWholeSchemaWorksOnTheBackend()
    {
        testsupport::TempDatabase temp;
        QCOMPARE(temp.onServer(), testsupport::testOnServer());
        {
            engine::Database db;
            temp.open(db);
            schema::createSchema(db);
            schema::fillStarterCodes(db);
            schema::fillStarterCodes(db); // existing texts are kept, nothing doubles
            schema::addMissingIndexes(db);
        }
        QStringList all;
        for (const schema::Table &t : schema::tables())
            all << t.name;
        engine::Database db;
        temp.open(db, all);
        for (const schema::Table &t : schema::tables()) {
            engine::TableCursor c(db, t.name.toUpper());
            QCOMPARE(c.tableName(), t.name);
            QCOMPARE(c.fieldNames(), t.columnNames());
            QCOMPARE(c.keyFieldNames(), t.key);
        }
        for (int n = 1; n <= schema::kCodeTableCount; ++n)
            QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM %1").arg(schema::codeTableName(n))).toLongLong(),
                     schema::starterCodes(n).size());
        QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM picture")).toLongLong(), 1);

        testsupport::TempDataFolder::addPerson(db, QStringLiteral("1001"));
        QCOMPARE(errorOf([&] { testsupport::TempDataFolder::addPerson(db, QStringLiteral("1001")); }),
                 int(engine::ErrDuplicateKey));
        engine::TableCursor person(db, QStringLiteral("tamrel"));
        person.setIndex(QStringLiteral("PRIMARYKEY"));
        person.seek(QStringLiteral("="), {QStringLiteral("1001")});
        QVERIFY(!person.noMatch());
        QCOMPARE(person.value(QStringLiteral("sex")).toLongLong(), 0);
        person.edit();
        QCOMPARE(errorOf([&] { person.setValue(QStringLiteral("a_new_name"), QString(256, QChar(0x0628))); person.update(); }),
                 int(engine::ErrFieldTooSmall));
        person.cancelUpdate();
        // A reading connection reads the register, never the users' password hashes.
        testsupport::TempDataFolder::addUser(db, QStringLiteral("admin"), QStringLiteral("pw"));
        engine::Database report;
        temp.openReport(report);
        QCOMPARE(report.scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toLongLong(), 1);
        QVERIFY(errorOf([&] { report.scalar(QStringLiteral("SELECT count(*) FROM users")); }) != 0);
        QVERIFY(errorOf([&] { report.scalar(QStringLiteral("SELECT PASSWORD FROM users")); }) != 0);
        // A code table's key ignores letter case as on the file.
        QCOMPARE(errorOf([&] {
                     db.execute(QStringLiteral("INSERT INTO category2 (description) VALUES (?)"), {QStringLiteral("FILIPINO")});
                     db.execute(QStringLiteral("INSERT INTO category2 (description) VALUES (?)"), {QStringLiteral("filipino")});
                 }),
                 int(engine::ErrDuplicateKey));
    }
};

VELM_TEST_MAIN(TestSchemaBoth)
#include "tst_schema_both.moc"
