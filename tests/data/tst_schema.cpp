#include "support/TestMain.h"
#include "support/EngineErrors.h"

#include "data/OpenDb.h"
#include "data/Schema.h"
#include "engine/Database.h"
#include "engine/TableCursor.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace core;

namespace {

using testsupport::errorOf;

const QString kKey = passwordFromConnect(QLatin1String(kConnectString));

// The person record's fields as the office register lists them.
QStringList expectedTamrelFields()
{
    QStringList f{"tamrel_no", "a_old_name", "e_old_name", "a_new_name", "e_new_name",
                  "dateofislam", "sex", "m_status", "no_boys", "no_girls",
                  "language1", "language2", "language3", "language4", "language5",
                  "former_relgion", "denomination", "nationality", "iqama_no", "iqama_date",
                  "birth", "passport_no", "occupation", "qualification", "picture", "age",
                  "phone_w", "phone_h", "phone_c", "phone_f", "phone_sponsor",
                  "pobox_w", "pobox_h", "pobox_c", "pobox_f", "pobox_sponsor",
                  "zip_code_w", "zip_code_h", "zip_code_c", "zip_code_f", "zip_code_sponsor",
                  "city_w", "city_h", "city_c", "city_f", "city_sponsor",
                  "friend_name", "sponsor_name", "long_address", "witness_1", "witness_2",
                  "manager", "shahada_place", "sponsor_doc", "khitan_doc", "tamrel_doc",
                  "file_status", "vacation_status", "in_kingdom_status", "rejected_islam_status",
                  "no_prayer", "yes_prayer", "group_prayer", "no_group_prayer", "unknown_prayer",
                  "comments", "followup_group", "advisor_date3", "day_a", "day_e",
                  "DateOfIslam_E", "document_stat", "document_stat_cmnt",
                  "passport_issue_place_a", "passport_issue_place_e", "Place_of_birth",
                  "daeyah_1", "daeyah_2", "shahada_Place_comments", "advisor2", "advisor3",
                  "name_escort", "city_escort", "phone_escort", "pobox_escort", "zip_code_escort",
                  "str_name", "area_name", "file_stat_cmnt", "passport_date_e", "Iqama_exp_date",
                  "certificate", "certificate_stat", "certificate_take", "date_of_take",
                  "no_certificate", "date_of_certificate"};
    return f;
}

} // namespace

class TestSchema : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_file;
    std::unique_ptr<engine::Database> m_db;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("velm.mdb"));
        schema::createFirstDatabase(m_file, kKey);
        // Opened once: each open derives the key anew, which takes a while.
        // Tests that write do so in a transaction they never commit.
        m_db = std::make_unique<engine::Database>();
        m_db->open(m_file, kKey);
    }

    void cleanupTestCase() { m_db.reset(); }

    void everyTableExistsWithItsKey_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QStringList>("key");
        const auto row = [](const char *t, QStringList key) { QTest::newRow(t) << QString::fromLatin1(t) << key; };
        row("users", {"USERID"});
        row("tamrel", {"tamrel_no"});
        row("witnesses", {"NAME"});
        row("followUp", {"tamrel_no", "seq_no"});
        row("followup_group", {"group_name"});
        row("Field_Evaluation", {"tamrel_no", "seq_no"});
        row("problems", {"code"});
        row("follow_up_Problems", {"auto_no"});
        row("questionnaire", {"tamrel_no"});
        row("courses", {"tamrel_no", "seq_no"});
        row("CourseMaterial", {"language", "course_no"});
        row("forms", {"form_no"});
        row("info", {});
        row("rpts", {"report"});
        row("picture", {"key"});
        for (int n = 1; n <= 18; ++n)
            QTest::newRow(qPrintable(schema::codeTableName(n)))
                << schema::codeTableName(n) << QStringList{schema::codeFieldName(n)};
    }

    void everyTableExistsWithItsKey()
    {
        QFETCH(QString, table);
        QFETCH(QStringList, key);
        QCOMPARE(m_db->tableName(table), table); // stored with the program's spelling
        const QList<engine::ColumnInfo> cols = m_db->columns(table);
        QStringList stored;
        QStringList pk(key.size());
        for (const engine::ColumnInfo &c : cols) {
            stored << c.name;
            if (c.pkPosition > 0 && c.pkPosition <= key.size())
                pk[c.pkPosition - 1] = c.name;
            else
                QVERIFY2(!c.primaryKey, qPrintable(c.name));
        }
        QCOMPARE(pk, key);
        QCOMPARE(stored, schema::findTable(table)->columnNames());
        QCOMPARE(schema::findTable(table.toUpper())->name, table);
    }

    void fieldOrderOfTheGrids()
    {
        QCOMPARE(m_db->columns(QStringLiteral("tamrel")).size(), 97);
        QStringList tamrel;
        for (const auto &c : m_db->columns(QStringLiteral("tamrel")))
            tamrel << c.name;
        QCOMPARE(tamrel, expectedTamrelFields());

        const auto names = [this](const QString &t) {
            QStringList n;
            for (const auto &c : m_db->columns(t))
                n << c.name;
            return n;
        };
        QCOMPARE(names(QStringLiteral("follow_up_Problems")),
                 QStringList({"code", "date_information", "name_of_follower", "Problems_Evaluation",
                              "notes", "auto_no"}));
        QCOMPARE(names(QStringLiteral("problems")),
                 QStringList({"code", "tamrel_no", "seq_no", "Problems_Situation", "Problems_Evaluation"}));
        QCOMPARE(names(QStringLiteral("followUp")),
                 QStringList({"tamrel_no", "seq_no", "description", "step_start_date", "step_end_date",
                              "evaluation", "comments"}));
        QCOMPARE(names(QStringLiteral("witnesses")).first(), QStringLiteral("NAME"));
        const QStringList users = names(QStringLiteral("users"));
        QCOMPARE(users.size(), 22);
        QCOMPARE(users.mid(0, 3), QStringList({"USERID", "PASSWORD", "NAME"}));
        QCOMPARE(users.last(), QStringLiteral("check14"));
        QCOMPARE(names(QStringLiteral("info")).at(1), QStringLiteral("name_ of_institution"));
    }

    void firstDatabaseHoldsStarterCodesAndNoUser()
    {
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM users")).toInt(), 0);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM tamrel")).toInt(), 0);
        for (int n = 1; n <= 18; ++n) {
            const QString table = schema::codeTableName(n);
            const int rows = m_db->scalar(QStringLiteral("SELECT count(*) FROM %1").arg(table)).toInt();
            QVERIFY2(rows >= 5, qPrintable(table));
            QCOMPARE(rows, int(schema::starterCodes(n).size()));
            const int longest = m_db->scalar(QStringLiteral("SELECT max(length(%1)) FROM %2")
                                                 .arg(schema::codeFieldName(n), table)).toInt();
            QVERIFY2(longest <= 50, qPrintable(table));
        }
        QVERIFY(schema::starterCodes(1).contains(QStringLiteral("العربية")));
        QVERIFY(schema::starterCodes(8).contains(QStringLiteral("ممتاز")));
        // Running the starter fill again adds nothing.
        schema::fillStarterCodes(*m_db);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM category1")).toInt(),
                 int(schema::starterCodes(1).size()));
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM picture WHERE key = 'A'")).toInt(), 1);
    }

    void infoFieldWithTheBlank()
    {
        engine::Transaction tx(*m_db);
        engine::TableCursor c(*m_db, QStringLiteral("INFO"));
        c.addNew();
        c.setValue(QStringLiteral("name_ of_institution"), QStringLiteral("مكتب الدعوة"));
        c.setValue(QStringLiteral("res_publica"), QString(50, QChar(u'س')));
        c.update();
        c.moveFirst();
        QCOMPARE(c.value(QStringLiteral("name_ of_institution")).toString(), QStringLiteral("مكتب الدعوة"));
        // Rolled back: the first database keeps an empty info table.
    }

    void autoNumbersAreGivenAndNotReused()
    {
        engine::Transaction tx(*m_db);
        engine::TableCursor p(*m_db, QStringLiteral("problems"));
        qint64 codes[2];
        for (qint64 &code : codes) {
            p.addNew();
            p.setValue(QStringLiteral("tamrel_no"), QStringLiteral("7"));
            p.setValue(QStringLiteral("seq_no"), 1);
            p.update();
            code = p.lastAutoValue();
        }
        QVERIFY(codes[0] > 0);
        QCOMPARE(codes[1], codes[0] + 1);
        m_db->execute(QStringLiteral("DELETE FROM problems WHERE code = ?"), {codes[1]});
        p.addNew();
        p.setValue(QStringLiteral("tamrel_no"), QStringLiteral("7"));
        p.update();
        QCOMPARE(p.lastAutoValue(), codes[1] + 1); // a deleted problem's code is never given again

        engine::TableCursor f(*m_db, QStringLiteral("follow_up_problems"));
        f.addNew();
        f.setValue(QStringLiteral("code"), codes[0]);
        f.setValue(QStringLiteral("notes"), QString(4000, QChar(u'م'))); // notes have no limit
        f.update();
        QVERIFY(f.lastAutoValue() > 0);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT typeof(code) FROM follow_up_Problems")).toString(),
                 QStringLiteral("integer"));
    }

    void keysIgnoreLetterCase()
    {
        engine::Transaction tx(*m_db);
        m_db->execute(QStringLiteral("INSERT INTO witnesses (NAME) VALUES (?)"), {QStringLiteral("Ahmed Ali")});
        // Beyond plain Latin too: two keys differing in case are one key.
        m_db->execute(QStringLiteral("INSERT INTO witnesses (NAME) VALUES (?)"), {QStringLiteral("Émile Zoë")});
        for (const QString &same : {QStringLiteral("AHMED ALI"), QStringLiteral("émile ZOË")})
            QCOMPARE(errorOf([&] { m_db->execute(QStringLiteral("INSERT INTO witnesses (NAME) VALUES (?)"), {same}); }),
                     int(engine::ErrDuplicateKey));
        m_db->execute(QStringLiteral("INSERT INTO CourseMaterial (language, course_no) VALUES (?, ?)"),
                      {QStringLiteral("Français"), QStringLiteral("Niveau-É1")});
        engine::TableCursor c(*m_db, QStringLiteral("coursematerial"));
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.seek(QStringLiteral("="), {QStringLiteral("FRANÇAIS"), QStringLiteral("niveau-é1")});
        QVERIFY(!c.noMatch());
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT NAME FROM witnesses WHERE NAME LIKE ?"), {QStringLiteral("%ÉMILE%")})
                     .toString(),
                 QStringLiteral("Émile Zoë"));
        // The same text in two code tables is two entries.
        m_db->execute(QStringLiteral("INSERT INTO category3 (description) VALUES (?)"), {QStringLiteral("X")});
        m_db->execute(QStringLiteral("INSERT INTO category4 (description) VALUES (?)"), {QStringLiteral("x")});
        QCOMPARE(errorOf([&] {
                     m_db->execute(QStringLiteral("INSERT INTO category3 (description) VALUES (?)"),
                                   {QStringLiteral("x")});
                 }),
                 int(engine::ErrDuplicateKey));
    }

    void limitsAndRequiredKeys_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("limit");
        QTest::newRow("code table") << "category12" << "place" << 50;
        QTest::newRow("course no") << "CourseMaterial" << "course_no" << 20;
        QTest::newRow("material file") << "CourseMaterial" << "file_1" << 30;
        QTest::newRow("unit") << "CourseMaterial" << "unit" << 10;
        QTest::newRow("form description") << "forms" << "description" << 50;
        QTest::newRow("country") << "info" << "res_publica" << 50;
        QTest::newRow("institution") << "info" << "name_ of_institution" << 120;
        QTest::newRow("website") << "info" << "website" << 80;
        QTest::newRow("report") << "rpts" << "report" << 10;
        QTest::newRow("parms") << "rpts" << "parms" << 1;
        QTest::newRow("person name") << "tamrel" << "a_old_name" << 255;
    }

    void limitsAndRequiredKeys()
    {
        QFETCH(QString, table);
        QFETCH(QString, field);
        QFETCH(int, limit);
        engine::Transaction tx(*m_db);
        const schema::Table *t = schema::findTable(table);
        const auto write = [&](const QString &value) {
            return errorOf([&] {
                engine::TableCursor c(*m_db, table);
                c.addNew();
                // Fill the key so that only the tested field can fail.
                int n = 0;
                for (const QString &k : t->key)
                    if (k.compare(field, Qt::CaseInsensitive) != 0)
                        c.setValue(k, QStringLiteral("k%1%2").arg(value.size()).arg(++n));
                c.setValue(field, value);
                c.update();
            });
        };
        // Arabic letters count as one character each.
        QCOMPARE(write(QString(limit, QChar(u'ع'))), 0);
        QCOMPARE(write(QString(limit + 1, QChar(u'ع'))), int(engine::ErrFieldTooSmall));
    }

    void keysAreRequired()
    {
        engine::Transaction tx(*m_db);
        QCOMPARE(errorOf([&] {
                     m_db->execute(QStringLiteral("INSERT INTO followUp (tamrel_no) VALUES ('1')"));
                 }),
                 int(engine::ErrNullInRequired));
        QCOMPARE(errorOf([&] { m_db->execute(QStringLiteral("INSERT INTO tamrel (a_old_name) VALUES ('x')")); }),
                 int(engine::ErrNullInRequired));
        // A person record may leave every other field empty; the flags are 0.
        m_db->execute(QStringLiteral("INSERT INTO tamrel (tamrel_no) VALUES ('5')"));
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT sex + no_prayer + file_status FROM tamrel")).toInt(), 0);
    }

    void firstDatabaseIsNeverOverwritten()
    {
        QFile f(m_file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray before = f.readAll();
        f.close();
        QCOMPARE(errorOf([&] { schema::createFirstDatabase(m_file, kKey); }), schema::kErrDatabaseExists);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), before);
        // Nothing is left behind beside it.
        const QStringList left = QDir(m_dir.path()).entryList(QDir::Files);
        for (const QString &name : left)
            QVERIFY2(name.startsWith(QLatin1String("velm.mdb")) && !name.contains(QLatin1String(".new-")),
                     qPrintable(name));
    }

    void firstDatabaseIsEncryptedWithTheOfficeKey()
    {
        engine::Database other;
        QCOMPARE(errorOf([&] { other.open(m_file, QStringLiteral("wrong")); }), int(engine::ErrNotValidPassword));
    }
};

VELM_TEST_MAIN(TestSchema)
#include "tst_schema.moc"
