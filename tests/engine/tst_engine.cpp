#include "support/TestMain.h"
#include "support/EngineErrors.h"
#include "support/TestDatabase.h"

#include "engine/Database.h"
#include "engine/QueryCursor.h"
#include "engine/ReadOnlyQuery.h"
#include "engine/SqlCipherBackend.h"
#include "engine/TableCursor.h"
#include "engine/TextRules.h"

#include <sqlite3.h>

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace engine;

namespace {

const QString kKey = QStringLiteral("zk");

using testsupport::errorOf;

// A connection made with SQLCipher's own defaults and key derivation, as
// files made before the program chose its page size were.
sqlite3 *rawOpen(const QString &path, const QByteArray &pragmas)
{
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    engine::installTextRules(db);
    sqlite3_exec(db, pragmas.constData(), nullptr, nullptr, nullptr);
    return db;
}

int rawExec(sqlite3 *db, const char *sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

int statementsOpen(sqlite3 *db)
{
    int n = 0;
    for (sqlite3_stmt *s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s))
        ++n;
    return n;
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

} // namespace

class TestEngine : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<testsupport::TempDatabase> m_server; // on the server run
    std::unique_ptr<Database> m_db;

    // A case about the file itself (its format, key, copies, locks).
    static bool fileOnly() { return testsupport::testOnServer(); }

    // Another workstation's connection to the same database.
    void openOther(Database &db)
    {
        if (m_server)
            m_server->open(db);
        else
            db.open(m_path, kKey);
    }

    // The same tables declared to the server (the file's own SQL below).
    void createServerTables(Database &db)
    {
        using T = FieldDef::Type;
        db.createTable({QStringLiteral("witnesses"),
                        {{QStringLiteral("NAME"), T::Text, 0}, {QStringLiteral("english_NAME"), T::Memo, 0},
                         {QStringLiteral("TELEPHONE"), T::Text, 10}},
                        {QStringLiteral("NAME")}});
        db.createTable({QStringLiteral("followUp"),
                        {{QStringLiteral("tamrel_no"), T::Text, 0}, {QStringLiteral("seq_no"), T::Integer, 0},
                         {QStringLiteral("description"), T::Memo, 0}},
                        {QStringLiteral("tamrel_no"), QStringLiteral("seq_no")}});
        db.createTable({QStringLiteral("problems"),
                        {{QStringLiteral("code"), T::AutoNumber, 0}, {QStringLiteral("tamrel_no"), T::Memo, 0},
                         {QStringLiteral("Problems_Situation"), T::Memo, 0}},
                        {QStringLiteral("code")}});
        db.createTable({QStringLiteral("info"),
                        {{QStringLiteral("res_publica"), T::Memo, 0}, {QStringLiteral("name_ of_institution"), T::Memo, 0}},
                        {}});
    }

    // Statements the connection holds prepared.
    int preparedCount()
    {
        if (m_server)
            return int(m_db->scalar(QStringLiteral("SELECT count(*) FROM pg_prepared_statements")).toLongLong());
        return statementsOpen(nativeHandle(*m_db));
    }

    void createTables(Database &db)
    {
        db.execute(QStringLiteral("CREATE TABLE witnesses (NAME TEXT COLLATE FOLDCASE NOT NULL PRIMARY KEY, "
                                  "english_NAME TEXT, TELEPHONE TEXT CHECK(length(TELEPHONE) <= 10))"));
        db.execute(QStringLiteral("CREATE TABLE followUp (tamrel_no TEXT COLLATE NOCASE NOT NULL, seq_no INTEGER NOT NULL, "
                                  "description TEXT, PRIMARY KEY (tamrel_no, seq_no))"));
        db.execute(QStringLiteral("CREATE TABLE problems (code INTEGER PRIMARY KEY AUTOINCREMENT, tamrel_no TEXT, "
                                  "Problems_Situation TEXT)"));
        db.execute(QStringLiteral("CREATE TABLE info (res_publica TEXT, \"name_ of_institution\" TEXT)"));
    }

    void addWitness(const QString &name, const QString &english = {})
    {
        TableCursor c(*m_db, QStringLiteral("witnesses"));
        c.addNew();
        c.setValue(QStringLiteral("NAME"), name);
        c.setValue(QStringLiteral("english_NAME"), english);
        c.update();
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("t%1.mdb").arg(QDateTime::currentMSecsSinceEpoch()));
        m_db = std::make_unique<Database>();
        if (testsupport::testOnServer()) {
            m_server = std::make_unique<testsupport::TempDatabase>();
            m_server->open(*m_db);
            createServerTables(*m_db);
            return;
        }
        m_db->create(m_path, kKey);
        createTables(*m_db);
    }

    void cleanup()
    {
        m_db.reset();
        m_server.reset();
    }

    void openFailuresAreToldApart()
    {
        if (fileOnly())
            QSKIP("about the file: opening a file; the server has tests of its own");
        Database db;
        QCOMPARE(errorOf([&] { db.open(QString(), kKey); }), int(ErrInvalidArgument));
        QCOMPARE(errorOf([&] { db.open(QStringLiteral("   "), kKey); }), int(ErrInvalidArgument));
        QCOMPARE(errorOf([&] { db.open(m_dir.filePath(QStringLiteral("missing.mdb")), kKey); }), int(ErrFileNotFound));
        QCOMPARE(errorOf([&] { db.open(m_dir.path(), kKey); }), int(ErrCannotOpenFile));
        m_db->close();
        QCOMPARE(errorOf([&] { db.open(m_path, QStringLiteral("other")); }), int(ErrNotValidPassword));
        QVERIFY(!db.isOpen());
        db.open(m_path, kKey);
        QVERIFY(db.hasTable(QStringLiteral("WITNESSES")));
    }

    void foreignFilesAreReportedAndLeftAlone()
    {
        if (fileOnly())
            QSKIP("about the file: foreign files; the server has tests of its own");
        // An office file of the old engine: bytes 4.. name the format.
        const QString jet = m_dir.filePath(QStringLiteral("old.mdb"));
        QFile f(jet);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QByteArray bytes(4096, '\0');
        bytes.replace(4, 15, "Standard Jet DB");
        f.write(bytes);
        f.close();
        const QByteArray before = fileHash(jet);
        Database db;
        QCOMPARE(errorOf([&] { db.open(jet, kKey); }), int(ErrForeignFormat));
        QCOMPARE(fileHash(jet), before);
        QVERIFY(!QFile::exists(jet + QStringLiteral("-wal")));

        // A plain, unencrypted database is not ours either.
        const QString plain = m_dir.filePath(QStringLiteral("plain.db"));
        {
            Database p;
            p.openPlain(plain);
            p.execute(QStringLiteral("CREATE TABLE t (a)"));
        }
        const QByteArray plainBefore = fileHash(plain);
        QCOMPARE(errorOf([&] { db.open(plain, kKey); }), int(ErrForeignFormat));
        QCOMPARE(fileHash(plain), plainBefore);
    }

    void fileIsEncrypted()
    {
        if (fileOnly())
            QSKIP("about the file: the file's encryption; the server has tests of its own");
        addWitness(QStringLiteral("SecretWitnessName"));
        m_db->close();
        QFile f(m_path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray all = f.readAll();
        QVERIFY(!all.contains("SecretWitnessName"));
        QVERIFY(!all.startsWith("SQLite format 3"));
    }

    void tableNamesIgnoreCase()
    {
        TableCursor c(*m_db, QStringLiteral("FOLLOWUP"));
        QCOMPARE(c.tableName(), QStringLiteral("followUp"));
        QCOMPARE(errorOf([&] { TableCursor x(*m_db, QStringLiteral("nosuchtable")); }), int(ErrObjectNotFound));
    }

    void seekIgnoresLetterCase()
    {
        addWitness(QStringLiteral("Ahmad Saleh"), QStringLiteral("x"));
        addWitness(QStringLiteral("أحمد"));
        TableCursor c(*m_db, QStringLiteral("witnesses"));
        QCOMPARE(errorOf([&] { c.seek(QStringLiteral("="), {QStringLiteral("x")}); }), int(ErrNoCurrentIndex));
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.seek(QStringLiteral("="), {QStringLiteral("AHMAD saleh")});
        QVERIFY(!c.noMatch());
        QCOMPARE(c.value(QStringLiteral("name")).toString(), QStringLiteral("Ahmad Saleh"));
        c.seek(QStringLiteral("="), {QStringLiteral("أحمد")});
        QVERIFY(!c.noMatch());
        c.seek(QStringLiteral("="), {QStringLiteral("Ahmad")});
        QVERIFY(c.noMatch());
        QCOMPARE(errorOf([&] { c.value(QStringLiteral("NAME")); }), int(ErrNoCurrentRecord));
        // A duplicate in other letter case is refused by the key.
        QCOMPARE(errorOf([&] { addWitness(QStringLiteral("ahmad SALEH")); }), int(ErrDuplicateKey));
    }

    void emptyTableHasNoCurrentRecord()
    {
        TableCursor c(*m_db, QStringLiteral("witnesses"));
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        QVERIFY(c.eof() && c.bof());
        QCOMPARE(errorOf([&] { c.moveFirst(); }), int(ErrNoCurrentRecord));
        QCOMPARE(errorOf([&] { c.moveLast(); }), int(ErrNoCurrentRecord));
        QCOMPARE(errorOf([&] { c.moveNext(); }), int(ErrNoCurrentRecord));
        QCOMPARE(errorOf([&] { c.value(QStringLiteral("NAME")); }), int(ErrNoCurrentRecord));
        QCOMPARE(c.recordCount(), 0);
    }

    void movesFollowTheKeyAtBothEnds()
    {
        for (const QString &n : {QStringLiteral("b"), QStringLiteral("D"), QStringLiteral("a"), QStringLiteral("c")})
            addWitness(n);
        TableCursor c(*m_db, QStringLiteral("witnesses"));
        // Without an index: stored order.
        QCOMPARE(c.value(0).toString(), QStringLiteral("b"));
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.moveFirst();
        QStringList seen;
        while (!c.eof()) {
            seen << c.value(0).toString();
            c.moveNext();
        }
        QCOMPARE(seen, QStringList({"a", "b", "c", "D"}));
        QCOMPARE(errorOf([&] { c.moveNext(); }), int(ErrNoCurrentRecord));
        c.movePrevious(); // from past the end back onto the last
        QCOMPARE(c.value(0).toString(), QStringLiteral("D"));
        c.moveFirst();
        c.movePrevious();
        QVERIFY(c.bof());
        QCOMPARE(errorOf([&] { c.movePrevious(); }), int(ErrNoCurrentRecord));
        c.moveNext();
        QCOMPARE(c.value(0).toString(), QStringLiteral("a"));
    }

    void moveFromADeletedRecordContinues()
    {
        for (const QString &n : {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")})
            addWitness(n);
        TableCursor c(*m_db, QStringLiteral("witnesses"));
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.seek(QStringLiteral("="), {QStringLiteral("b")});
        c.deleteRecord();
        QCOMPARE(errorOf([&] { c.value(0); }), int(ErrRecordDeleted));
        c.moveNext();
        QCOMPARE(c.value(0).toString(), QStringLiteral("c"));
        QCOMPARE(c.recordCount(), 2);
    }

    void multiPartKeySeekAndOrder()
    {
        TableCursor c(*m_db, QStringLiteral("followUp"));
        const QList<QPair<QString, int>> rows = {{"12", 2}, {"12", 10}, {"3", 1}, {"12", 1}};
        for (const auto &r : rows) {
            c.addNew();
            c.setValue(QStringLiteral("tamrel_no"), r.first);
            c.setValue(QStringLiteral("seq_no"), QString::number(r.second)); // typed text
            c.setValue(QStringLiteral("description"), QStringLiteral("step"));
            c.update();
        }
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.seek(QStringLiteral("="), {QStringLiteral("12"), QStringLiteral("10")});
        QVERIFY(!c.noMatch());
        QCOMPARE(c.value(QStringLiteral("seq_no")).toInt(), 10);
        c.moveNext();
        QCOMPARE(c.value(QStringLiteral("tamrel_no")).toString(), QStringLiteral("3"));
        c.movePrevious();
        c.movePrevious();
        QCOMPARE(c.value(QStringLiteral("seq_no")).toInt(), 2); // numeric order 1, 2, 10
        c.seek(QStringLiteral("="), {QStringLiteral("12")}); // first of a partial key
        QCOMPARE(c.value(QStringLiteral("seq_no")).toInt(), 1);
        QCOMPARE(errorOf([&] { c.seek(QStringLiteral("="), {1, 2, 3}); }), int(ErrInvalidArgument));
        // A number field refuses a text that is not a whole number.
        c.addNew();
        QCOMPARE(errorOf([&] { c.setValue(QStringLiteral("seq_no"), QStringLiteral("1a")); }), int(ErrDataTypeConversion));
        c.cancelUpdate();
    }

    void autoIncrementIsGivenOnFirstWrite()
    {
        TableCursor c(*m_db, QStringLiteral("problems"));
        for (int i = 0; i < 3; ++i) {
            c.addNew();
            c.setValue(QStringLiteral("tamrel_no"), QStringLiteral("7"));
            c.update();
            QCOMPARE(c.lastAutoValue(), qint64(i + 1));
        }
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.moveLast();
        c.deleteRecord();
        c.addNew();
        c.update();
        QCOMPARE(c.lastAutoValue(), qint64(4)); // numbers are not given twice
    }

    void failedWritesLeaveTheTableUnchanged()
    {
        addWitness(QStringLiteral("a"), QStringLiteral("first"));
        TableCursor c(*m_db, QStringLiteral("witnesses"));
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.addNew();
        c.setValue(QStringLiteral("NAME"), QStringLiteral("b"));
        c.setValue(QStringLiteral("TELEPHONE"), QStringLiteral("12345678901")); // longer than the field
        QCOMPARE(errorOf([&] { c.update(); }), int(ErrFieldTooSmall));
        c.cancelUpdate();
        c.addNew();
        QCOMPARE(errorOf([&] { c.update(); }), int(ErrNullInRequired));
        c.cancelUpdate();
        c.seek(QStringLiteral("="), {QStringLiteral("a")});
        c.edit();
        c.setValue(QStringLiteral("english_NAME"), QStringLiteral("changed"));
        c.setValue(QStringLiteral("TELEPHONE"), QStringLiteral("12345678901"));
        QCOMPARE(errorOf([&] { c.update(); }), int(ErrFieldTooSmall));
        c.cancelUpdate();
        QCOMPARE(c.recordCount(), 1);
        c.seek(QStringLiteral("="), {QStringLiteral("a")});
        QCOMPARE(c.value(QStringLiteral("english_NAME")).toString(), QStringLiteral("first"));
        QVERIFY(!m_db->inTransaction());
        QCOMPARE(errorOf([&] { c.setValue(QStringLiteral("NAME"), QStringLiteral("x")); }), int(ErrUpdateWithoutEdit));
        QCOMPARE(errorOf([&] { c.update(); }), int(ErrUpdateWithoutEdit));
    }

    void editOfARecordDeletedByAnotherUserIsReported()
    {
        addWitness(QStringLiteral("a"));
        TableCursor c(*m_db, QStringLiteral("witnesses"));
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.seek(QStringLiteral("="), {QStringLiteral("a")});
        c.edit();
        c.setValue(QStringLiteral("english_NAME"), QStringLiteral("late"));
        m_db->execute(QStringLiteral("DELETE FROM witnesses"));
        QCOMPARE(errorOf([&] { c.update(); }), int(ErrRecordChanged));
        QCOMPARE(c.recordCount(), 0);
    }

    void tableWithoutKeyIsReadInStoredOrder()
    {
        TableCursor c(*m_db, QStringLiteral("info"));
        QCOMPARE(errorOf([&] { c.setIndex(QStringLiteral("PRIMARYKEY")); }), int(ErrNotAnIndex));
        c.addNew();
        c.setValue(QStringLiteral("name_ of_institution"), QStringLiteral("المكتب"));
        c.update();
        TableCursor again(*m_db, QStringLiteral("INFO"));
        QCOMPARE(again.value(QStringLiteral("name_ of_institution")).toString(), QStringLiteral("المكتب"));
        QVERIFY(again.value(QStringLiteral("res_publica")).isNull());
    }

    void queryCursorCountsAndReadsLazily()
    {
        {
            QueryCursor q(*m_db, QStringLiteral("select * from [witnesses] where [NAME] = ?"), {QStringLiteral("none")});
            QCOMPARE(q.recordCount(), 0);
            QVERIFY(!q.next());
        }
        for (int i = 0; i < 50; ++i)
            addWitness(QStringLiteral("w%1").arg(i, 2, 10, QLatin1Char('0')));
        QueryCursor q(*m_db, QStringLiteral("select  *  from  WITNESSES"));
        QVERIFY(q.recordCount() >= 1);
        QCOMPARE(q.rowsRead(), 0);
        QVERIFY(q.next());
        QVERIFY(q.next());
        QCOMPARE(q.rowsRead(), 2);
        QCOMPARE(q.columnNames().first(), QStringLiteral("NAME"));
        QCOMPARE(errorOf([&] { q.value(QStringLiteral("nosuch")); }), int(ErrItemNotFound));
        QCOMPARE(errorOf([&] { QueryCursor bad(*m_db, QStringLiteral("select * from nosuch")); }), int(ErrObjectNotFound));
        QCOMPARE(errorOf([&] { QueryCursor bad(*m_db, QStringLiteral("select * frm witnesses")); }), int(ErrQuerySyntax));
        QCOMPARE(errorOf([&] { QueryCursor bad(*m_db, QStringLiteral("select * from witnesses where NAME = ?")); }),
                 int(ErrInvalidArgument));
    }

    void boundValuesAreNeverSql()
    {
        const QString nasty = QStringLiteral("x\" or \"1\"=\"1' ; drop table witnesses; --%*_");
        addWitness(nasty);
        addWitness(QStringLiteral("plain"));
        QueryCursor q(*m_db, QStringLiteral("select NAME from witnesses where NAME = ?"), {nasty});
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), nasty);
        QVERIFY(!q.next());
        // A contains-search with wildcards in the value matches them literally.
        QueryCursor like(*m_db, QStringLiteral("select NAME from witnesses where NAME like ? escape '\\'"),
                         {QStringLiteral("%") + escapeLike(QStringLiteral("%*_")) + QStringLiteral("%")});
        QVERIFY(like.next());
        QCOMPARE(like.value(0).toString(), nasty);
        QVERIFY(!like.next());
    }

    void sortedReopensInOrder()
    {
        for (const QString &n : {QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("a")})
            addWitness(n, n == QLatin1String("a") ? QStringLiteral("z") : QStringLiteral("y"));
        QueryCursor q(*m_db, QStringLiteral("select * from witnesses where NAME <> ?"), {QStringLiteral("none")});
        auto asc = q.sorted(QStringLiteral("[name]"));
        QStringList seen;
        while (asc->next())
            seen << asc->value(0).toString();
        QCOMPARE(seen, QStringList({"a", "b", "c"}));
        auto desc = q.sorted(QStringLiteral("[NAME] desc"));
        QVERIFY(desc->next());
        QCOMPARE(desc->value(0).toString(), QStringLiteral("c"));
        QCOMPARE(errorOf([&] { q.sorted(QStringLiteral("[nosuch]")); }), int(ErrItemNotFound));
        QCOMPARE(errorOf([&] { q.sorted(QStringLiteral("name; drop table x")); }), int(ErrQuerySyntax));
    }

    void backupIsACompleteEncryptedCopy()
    {
        if (fileOnly())
            QSKIP("about the file: the file's backup copy; the server has tests of its own");
        addWitness(QStringLiteral("kept"));
        const QString copy = m_dir.filePath(QStringLiteral("backup.mdb"));
        QFile::remove(copy);
        m_db->backupTo(copy);
        QStringList leftovers = QDir(m_dir.path()).entryList({QStringLiteral("backup.mdb.part*")});
        QVERIFY(leftovers.isEmpty());
        Database b;
        QCOMPARE(errorOf([&] { b.open(copy, QStringLiteral("wrong")); }), int(ErrNotValidPassword));
        b.open(copy, kKey);
        QCOMPARE(b.scalar(QStringLiteral("select count(*) from witnesses")).toInt(), 1);
        // A copy into a folder that does not exist fails and leaves nothing.
        QCOMPARE(errorOf([&] { m_db->backupTo(m_dir.filePath(QStringLiteral("no/such/dir/x.mdb"))); }),
                 int(ErrCannotOpenFile));
    }

    // A copy the check refuses never takes the name: the old backup stays
    // byte for byte. The integrity check finds a page that does not decrypt.
    void aRefusedCopyKeepsTheOldBackupAndDamageIsFound()
    {
        if (fileOnly())
            QSKIP("about the file: the file's backup copy and integrity check; the server has tests of its own");
        {
            Transaction tx(*m_db);
            for (int i = 0; i < 400; ++i)
                m_db->execute(QStringLiteral("insert into witnesses (NAME, english_NAME) values (?, ?)"),
                              {QStringLiteral("w%1").arg(i), QString(2000, QLatin1Char('y'))});
            tx.commit();
        }
        const QString copy = m_dir.filePath(QStringLiteral("checked.mdb"));
        QFile::remove(copy);
        QStringList checked;
        m_db->backupTo(copy, {}, [&](const QString &part) {
            checked << part;
            Database c;
            OpenSpec partSpec = m_db->openSpec();
            partSpec.path = part;
            c.open(partSpec);
            c.checkIntegrity();
        });
        QCOMPARE(checked.size(), 1);
        QVERIFY(checked.first().startsWith(copy + QStringLiteral(".part-")));
        QFile old(copy);
        QVERIFY(old.open(QIODevice::ReadOnly));
        const QByteArray before = old.readAll();
        old.close();

        QCOMPARE(errorOf([&] {
                     m_db->backupTo(copy, {}, [](const QString &) {
                         throw EngineError(ErrDamagedFile, QStringLiteral("refused"));
                     });
                 }),
                 int(ErrDamagedFile));
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), before);
        old.close();
        QCOMPARE(QDir(m_dir.path()).entryList({QStringLiteral("checked.mdb*")}), QStringList{QStringLiteral("checked.mdb")});

        // One garbled page in the middle: the file opens, the check refuses it.
        QVERIFY(old.open(QIODevice::ReadWrite));
        QVERIFY(old.seek(qint64(kPageSize) * 20 + 200));
        old.write(QByteArray(64, '\x5a'));
        old.close();
        Database damaged;
        damaged.open(copy, kKey);
        QCOMPARE(errorOf([&] { damaged.checkIntegrity(); }), int(ErrDamagedFile));
        Database sound;
        sound.open(m_path, kKey);
        sound.checkIntegrity();
    }

    void aSecondConnectionWritesWhileAReaderIsOpen()
    {
        for (int i = 0; i < 300; ++i)
            addWitness(QStringLiteral("r%1").arg(i));
        // A grid reads through its own connection and holds its statement open.
        Database viewer;
        openOther(viewer);
        QueryCursor reader(viewer, QStringLiteral("select * from witnesses"));
        QVERIFY(reader.next());
        Database other;
        openOther(other);
        TableCursor c(other, QStringLiteral("witnesses"));
        c.addNew();
        c.setValue(QStringLiteral("NAME"), QStringLiteral("from the other program"));
        c.update(); // must not wait for the reader
        QCOMPARE(m_db->scalar(QStringLiteral("select count(*) from witnesses")).toInt(), 301);
        // Of two writes from the same read, the later one is refused: it
        // would wipe the first unseen.
        TableCursor mine(*m_db, QStringLiteral("witnesses"));
        mine.setIndex(QStringLiteral("PRIMARYKEY"));
        mine.seek(QStringLiteral("="), {QStringLiteral("r1")});
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.seek(QStringLiteral("="), {QStringLiteral("r1")});
        mine.edit();
        c.edit();
        mine.setValue(QStringLiteral("english_NAME"), QStringLiteral("mine"));
        c.setValue(QStringLiteral("english_NAME"), QStringLiteral("theirs"));
        mine.update();
        QCOMPARE(errorOf([&] { c.update(); }), int(ErrRecordChanged));
        c.cancelUpdate();
        mine.seek(QStringLiteral("="), {QStringLiteral("r1")});
        QCOMPARE(mine.value(QStringLiteral("english_NAME")).toString(), QStringLiteral("mine"));
    }

    // 4 KB pages, the key derived the way SQLCipher derives it, once per
    // file and process; files with the 1 KB pages made before still open.
    void fileFormatAndKeyDerivation()
    {
        if (fileOnly())
            QSKIP("about the file: the file format and key; the server has tests of its own");
        addWitness(QStringLiteral("four"));
        m_db->close();
        // SQLCipher's own derivation of the password opens the file at 4 KB pages only.
        sqlite3 *raw = rawOpen(m_path, "PRAGMA key = 'zk'; PRAGMA cipher_page_size = 4096;");
        QCOMPARE(rawExec(raw, "SELECT count(*) FROM witnesses"), SQLITE_OK);
        sqlite3_close(raw);
        raw = rawOpen(m_path, "PRAGMA key = 'zk'; PRAGMA cipher_page_size = 1024;");
        QCOMPARE(rawExec(raw, "SELECT count(*) FROM witnesses"), SQLITE_NOTADB);
        sqlite3_close(raw);

        const int derived = Database::keyDerivations();
        for (int i = 0; i < 5; ++i) {
            Database again;
            again.open(m_path, kKey);
            QCOMPARE(again.pageSize(), kPageSize);
            Database sibling;
            sibling.open(again.openSpec());
            QCOMPARE(sibling.scalar(QStringLiteral("select NAME from witnesses")).toString(), QStringLiteral("four"));
        }
        QCOMPARE(Database::keyDerivations(), derived); // known since create()

        // An old file: SQLCipher's defaults (1 KB pages), rows written before.
        const QString old = m_dir.filePath(QStringLiteral("old1k.mdb"));
        raw = rawOpen(old, "PRAGMA key = 'zk';");
        QCOMPARE(rawExec(raw, "CREATE TABLE witnesses (NAME TEXT PRIMARY KEY, job TEXT);"
                              "INSERT INTO witnesses VALUES ('old one', 'x'), ('old two', 'y');"),
                 SQLITE_OK);
        sqlite3_close(raw);
        Database db;
        QCOMPARE(errorOf([&] { db.open(old, QStringLiteral("not the key")); }), int(ErrNotValidPassword));
        db.open(old, kKey);
        QCOMPARE(db.pageSize(), 1024);
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from witnesses")).toInt(), 2);
        db.execute(QStringLiteral("insert into witnesses values ('new', 'z')"));
        // Its backup keeps its pages; both open with the key.
        const QString copy = m_dir.filePath(QStringLiteral("old1k-copy.mdb"));
        db.backupTo(copy);
        Database b;
        b.open(copy, kKey);
        QCOMPARE(b.pageSize(), 1024);
        QCOMPARE(b.scalar(QStringLiteral("select count(*) from witnesses")).toInt(), 3);
    }

    // Nothing is written to a file before it is accepted; a pipe or device
    // is refused without being opened (it would block).
    void refusedFilesStayUntouched_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("number");
        QTest::newRow("empty file") << "empty" << int(ErrObjectNotFound);
        QTest::newRow("keyed, other tables") << "foreign" << int(ErrObjectNotFound);
        QTest::newRow("named pipe") << "fifo" << int(ErrCannotOpenFile);
        QTest::newRow("link to a pipe") << "link" << int(ErrCannotOpenFile);
        QTest::newRow("device") << "device" << int(ErrCannotOpenFile);
    }
    void refusedFilesStayUntouched()
    {
        if (fileOnly())
            QSKIP("about the file: files refused at opening; the server has tests of its own");
        QFETCH(QString, kind);
        QString file = m_dir.filePath(kind + QStringLiteral(".mdb"));
        if (kind == QLatin1String("empty")) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else if (kind == QLatin1String("foreign")) {
            sqlite3 *raw = rawOpen(file, "PRAGMA key = 'zk';");
            QCOMPARE(rawExec(raw, "CREATE TABLE notours (a)"), SQLITE_OK);
            sqlite3_close(raw);
        } else if (kind == QLatin1String("fifo")) {
            QCOMPARE(mkfifo(QFile::encodeName(file).constData(), 0600), 0);
        } else if (kind == QLatin1String("link")) {
            const QString fifo = m_dir.filePath(QStringLiteral("pipe"));
            QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
            QVERIFY(QFile::link(fifo, file));
        } else {
            file = QStringLiteral("/dev/zero");
        }
        const QByteArray before = kind == QLatin1String("empty") || kind == QLatin1String("foreign") ? fileHash(file) : QByteArray();
        QElapsedTimer clock;
        clock.start();
        Database db;
        QTEST(errorOf([&] { db.open(file, kKey, {QStringLiteral("users")}); }), "number");
        QVERIFY(clock.elapsed() < 3000);
        QVERIFY(!db.isOpen());
        if (!before.isEmpty() || kind == QLatin1String("empty")) {
            QCOMPARE(fileHash(file), before);
            QVERIFY(!QFile::exists(file + QStringLiteral("-wal")));
        }
    }

    // Another workstation holding the file a moment (opening, closing) is
    // waited for before the key is checked.
    void aMomentaryLockIsWaitedFor()
    {
        if (fileOnly())
            QSKIP("about the file: the file's locks; the server has tests of its own");
        addWitness(QStringLiteral("w"));
        m_db->close();
        sqlite3 *holder = rawOpen(m_path, "PRAGMA key = 'zk'; PRAGMA cipher_page_size = 4096;"
                                          "PRAGMA locking_mode = EXCLUSIVE;");
        QCOMPARE(rawExec(holder, "BEGIN IMMEDIATE; INSERT INTO witnesses (NAME) VALUES ('x'); COMMIT;"), SQLITE_OK);
        std::thread release([holder] {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            sqlite3_close(holder);
        });
        Database db;
        const int number = errorOf([&] { db.open(m_path, kKey); });
        release.join();
        QCOMPARE(number, 0);
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from witnesses")).toInt(), 2);
    }

    void textWithNulIsRefused()
    {
        const QString nul = QStringLiteral("ab") + QChar(0) + QStringLiteral("cd");
        TableCursor c(*m_db, QStringLiteral("witnesses"));
        c.addNew();
        QCOMPARE(errorOf([&] { c.setValue(QStringLiteral("NAME"), nul); }), int(ErrFieldTooSmall));
        QCOMPARE(errorOf([&] { m_db->execute(QStringLiteral("insert into witnesses (NAME) values (?)"), {nul}); }),
                 int(ErrFieldTooSmall));
        QCOMPARE(errorOf([&] { QueryCursor q(*m_db, QStringLiteral("select * from witnesses where NAME = ?"), {nul}); }),
                 int(ErrFieldTooSmall));
        QCOMPARE(errorOf([&] { QueryCursor q(*m_db, QStringLiteral("select 1") + QChar(0) + QStringLiteral("; drop table witnesses")); }),
                 int(ErrQuerySyntax));
        QCOMPARE(m_db->scalar(QStringLiteral("select count(*) from witnesses")).toInt(), 0);
    }

    // LIKE folds letter case the way keys do, with its wildcards and ESCAPE.
    void likeFoldsCase_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("matches");
        QTest::newRow("latin") << "%ahmad%" << "Sheikh AHMAD Ali" << true;
        QTest::newRow("accented") << "%émile%" << "ÉMILE Zola" << true;
        QTest::newRow("diaeresis") << "zoë" << "ZOË" << true;
        QTest::newRow("greek") << "%σοφία%" << "ΣΟΦΊΑ" << true;
        QTest::newRow("arabic") << "%محمد%" << "عبدالله محمد" << true;
        QTest::newRow("micro sign is mu") << "µg" << "ΜG" << true;
        QTest::newRow("final sigma") << "%ς" << "ΑΣ" << true;
        QTest::newRow("accent is not case") << "emile" << "émile" << false;
        QTest::newRow("one of any") << "a_c" << "aÉc" << true;
        QTest::newRow("one is not none") << "a_c" << "ac" << false;
        QTest::newRow("anchored start") << "b%" << "abc" << false;
        QTest::newRow("anchored end") << "%b" << "abc" << false;
        QTest::newRow("segments in order") << "%a%b%c%" << "xAyBzC" << true;
        QTest::newRow("segments out of order") << "%c%b%" << "abc" << false;
        QTest::newRow("overlap") << "%aab" << "aaab" << true;
        QTest::newRow("only percent") << "%" << "" << true;
        QTest::newRow("escaped percent") << "%50\\%%" << "up to 50% off" << true;
        QTest::newRow("escaped percent literal") << "%50\\%%" << "up to 50 off" << false;
        QTest::newRow("escaped underscore") << "a\\_b" << "aXb" << false;
    }
    void likeFoldsCase()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, value);
        QTEST(m_db->scalar(QStringLiteral("select ? like ? escape '\\'"), {value, pattern}).toInt() == 1, "matches");
        if (!pattern.contains(QLatin1Char('\\')))
            QTEST(m_db->scalar(QStringLiteral("select ? like ?"), {value, pattern}).toInt() == 1, "matches");
    }

    void foldingCollationAndLikeEdges()
    {
        QCOMPARE(foldCase(QStringLiteral("ÉMILE ZOË Straße")), QStringLiteral("émile zoë straße"));
        const QByteArray a = QStringLiteral("ZOË").toUtf8(), b = QStringLiteral("zoë").toUtf8(), c = QStringLiteral("zoe").toUtf8();
        QCOMPARE(compareFolded(a.constData(), int(a.size()), b.constData(), int(b.size())), 0);
        QVERIFY(compareFolded(c.constData(), int(c.size()), b.constData(), int(b.size())) < 0);
        QVERIFY(compareFolded("ab", 2, "AB c", 4) < 0);
        QVERIFY(m_db->scalar(QStringLiteral("select null like 'a'")).isNull());
        QCOMPARE(errorOf([&] { m_db->scalar(QStringLiteral("select 'a' like 'a' escape 'xy'")); }),
                 m_server ? int(ErrQuerySyntax) : int(ErrEngine));
        if (m_server)
            m_db->createTable({QStringLiteral("folded"), {{QStringLiteral("k"), FieldDef::Type::Text, 0}}, {QStringLiteral("k")}});
        else
            m_db->execute(QStringLiteral("create table folded (k TEXT COLLATE FOLDCASE PRIMARY KEY)"));
        m_db->execute(QStringLiteral("insert into folded values ('Émile'), ('b'), ('Zoë')"));
        QCOMPARE(errorOf([&] { m_db->execute(QStringLiteral("insert into folded values ('émile')")); }), int(ErrDuplicateKey));
        QCOMPARE(m_db->scalar(QStringLiteral("select k from folded where k = 'ZOË'")).toString(), QStringLiteral("Zoë"));
        QueryCursor ordered(*m_db, QStringLiteral("select k from folded order by k"));
        QStringList seen;
        while (ordered.next())
            seen << ordered.value(0).toString();
        // The file orders folded code points; the server orders as ICU
        // does, accents after the letters they carry.
        QCOMPARE(seen, m_server ? QStringList({"b", "Émile", "Zoë"}) : QStringList({"b", "Zoë", "Émile"}));
        if (m_server)
            return;
        // A prefix range keeps to the key's index.
        QCOMPARE(m_db->scalar(QStringLiteral("select count(*) from folded where k >= 'é' and k < 'ê'")).toInt(), 1);
        QueryCursor plan(*m_db, QStringLiteral("explain query plan select k from folded where k >= ? and k < ?"),
                         {QStringLiteral("é"), QStringLiteral("ê")});
        QVERIFY(plan.next());
        QVERIFY2(plan.value(3).toString().contains(QLatin1String("INDEX")), qPrintable(plan.value(3).toString()));
    }

    // A row number reused by another workstation (record deleted, another
    // added) names another record: it is never overwritten nor deleted.
    void rewriteAndDeleteCheckTheRecordRead()
    {
        addWitness(QStringLiteral("first"), QStringLiteral("mine"));
        TableCursor c(*m_db, QStringLiteral("witnesses"));
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.seek(QStringLiteral("="), {QStringLiteral("first")});
        Database other;
        openOther(other);
        other.execute(QStringLiteral("delete from witnesses"));
        other.execute(QStringLiteral("insert into witnesses (NAME, english_NAME) values ('second', 'theirs')"));
        // The same number on the file; the server never gives an identity twice.
        if (!m_server)
            QCOMPARE(other.scalar(QStringLiteral("select rowid from witnesses")).toLongLong(), 1);
        c.edit();
        c.setValue(QStringLiteral("english_NAME"), QStringLiteral("overwritten"));
        QCOMPARE(errorOf([&] { c.update(); }), int(ErrRecordChanged));
        c.cancelUpdate();
        c.deleteRecord();
        QCOMPARE(other.scalar(QStringLiteral("select english_NAME from witnesses where NAME = 'second'")).toString(),
                 QStringLiteral("theirs"));
    }

    // A colleague's save landing between the read and the rewrite (any
    // field, a null filled or emptied) is never written over; a record
    // nobody touched rewrites, nulls and all.
    void rewriteRefusesAChangeSinceTheRead_data()
    {
        QTest::addColumn<QString>("phone"); // TELEPHONE as read ("null": none)
        QTest::addColumn<QString>("theirs");
        QTest::addColumn<bool>("refused");
        const QString setPhone = QStringLiteral("update witnesses set TELEPHONE = ");
        QTest::newRow("nobody") << "111" << QString() << false;
        QTest::newRow("nobody, null field") << "null" << QString() << false;
        QTest::newRow("other field") << "111" << setPhone + "'222'" << true;
        QTest::newRow("null filled") << "null" << setPhone + "'222'" << true;
        QTest::newRow("emptied") << "111" << setPhone + "null" << true;
        QTest::newRow("same field") << "111" << "update witnesses set english_NAME = 'theirs'" << true;
        QTest::newRow("same value again") << "111" << setPhone + "'111'" << false;
    }
    void rewriteRefusesAChangeSinceTheRead()
    {
        QFETCH(QString, phone);
        QFETCH(QString, theirs);
        QFETCH(bool, refused);
        addWitness(QStringLiteral("Ali"), QStringLiteral("old"));
        m_db->execute(QStringLiteral("update witnesses set TELEPHONE = %1").arg(phone == "null" ? phone : "'" + phone + "'"));
        TableCursor c(*m_db, QStringLiteral("witnesses"));
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.seek(QStringLiteral("="), {QStringLiteral("Ali")});
        Database other;
        openOther(other);
        if (!theirs.isEmpty())
            other.execute(theirs);
        const QString before = other.scalar(QStringLiteral("select english_NAME from witnesses")).toString();
        c.edit();
        c.setValue(QStringLiteral("english_NAME"), QStringLiteral("mine"));
        if (refused) {
            QCOMPARE(errorOf([&] { c.update(); }), int(ErrRecordChanged));
            c.cancelUpdate();
            QCOMPARE(other.scalar(QStringLiteral("select english_NAME from witnesses")).toString(), before);
        } else {
            c.update();
            QCOMPARE(other.scalar(QStringLiteral("select english_NAME from witnesses")).toString(), QStringLiteral("mine"));
            QCOMPARE(c.value(QStringLiteral("english_NAME")).toString(), QStringLiteral("mine"));
        }
    }

    // Moves and seeks run statements prepared once per cursor.
    void cursorReusesItsStatements()
    {
        for (int i = 0; i < 20; ++i)
            addWitness(QStringLiteral("s%1").arg(i, 2, 10, QLatin1Char('0')));
        TableCursor c(*m_db, QStringLiteral("witnesses"));
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.moveFirst();
        c.moveNext();
        c.movePrevious();
        auto moveAround = [&c] {
            for (int i = 0; i < 40; ++i) {
                c.seek(QStringLiteral("="), {QStringLiteral("s%1").arg(i % 20, 2, 10, QLatin1Char('0'))});
                c.moveNext();
                c.movePrevious();
            }
        };
        moveAround();
        const int prepared = preparedCount();
        moveAround();
        QCOMPARE(preparedCount(), prepared);
        QCOMPARE(c.value(0).toString(), QStringLiteral("s19"));
        // None of them holds a read snapshot between moves.
        Database other;
        openOther(other);
        other.execute(QStringLiteral("insert into witnesses (NAME) values ('s99')"));
        c.moveLast();
        QCOMPARE(c.value(0).toString(), QStringLiteral("s99"));
    }

    void backupReportsProgressAndCanBeStopped()
    {
        if (fileOnly())
            QSKIP("about the file: the file's backup copy; the server has tests of its own");
        {
            Transaction tx(*m_db);
            for (int i = 0; i < 3000; ++i)
                m_db->execute(QStringLiteral("insert into witnesses (NAME, english_NAME) values (?, ?)"),
                              {QStringLiteral("w%1").arg(i), QString(3000, QLatin1Char('x'))});
            tx.commit();
        }
        const QString copy = m_dir.filePath(QStringLiteral("progress.mdb"));
        QList<int> seen;
        m_db->backupTo(copy, [&](int p) {
            seen << p;
            return true;
        });
        QVERIFY2(seen.size() >= 3, qPrintable(QString::number(seen.size())));
        QCOMPARE(seen.last(), 100);
        QVERIFY(std::is_sorted(seen.begin(), seen.end()));
        Database b;
        b.open(copy, kKey);
        QCOMPARE(b.pageSize(), kPageSize);
        QCOMPARE(b.scalar(QStringLiteral("select count(*) from witnesses")).toInt(), 3000);

        const QString stopped = m_dir.filePath(QStringLiteral("stopped.mdb"));
        QCOMPARE(errorOf([&] { m_db->backupTo(stopped, [](int) { return false; }); }), int(ErrOperationCanceled));
        QVERIFY(QDir(m_dir.path()).entryList({QStringLiteral("stopped.mdb*")}).isEmpty());
        QVERIFY(!m_db->inTransaction());
    }

    // A connection restricted to queries reads, with the ordinary functions
    // only, never the users table, and makes no value past its bound.
    void restrictedConnectionRefuses_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<int>("error"); // 0: runs
        if (testsupport::testOnServer()) {
            QTest::newRow("ordinary functions") << QStringLiteral(
                "select count(*), max(NAME), max(substr(NAME, 1, 2)), cast(max(length(NAME)) as text) || upper('x'), "
                "coalesce(null, 1), round(1.5), current_date, max(NAME) like 'w%' from witnesses") << 0;
            QTest::newRow("users column") << QStringLiteral("select PASSWORD from users") << int(ErrNotAQuery);
            QTest::newRow("users count") << QStringLiteral("select count(*) from USERS") << int(ErrNotAQuery);
            QTest::newRow("users in a subquery")
                << QStringLiteral("select NAME from witnesses where NAME in (select \"USER_ID\" from public.users)")
                << int(ErrNotAQuery);
            QTest::newRow("a write") << QStringLiteral("delete from witnesses") << int(ErrNotAQuery);
            QTest::newRow("a write in a query")
                << QStringLiteral("with gone as (delete from witnesses returning *) select * from gone") << int(ErrNotAQuery);
            QTest::newRow("a server file") << QStringLiteral("select pg_read_file('/etc/passwd')") << int(ErrNotAQuery);
            QTest::newRow("the program's role again")
                << QStringLiteral("select set_config('role', 'velm_app', false)") << int(ErrNotAQuery);
            QTest::newRow("value past the bound")
                << QStringLiteral("select string_agg(NAME, '') from witnesses, generate_series(1, 9000000)") << int(ErrEngine);
            return;
        }
        QTest::newRow("ordinary functions") << QStringLiteral(
            "select count(*), max(NAME), substr(NAME, 1, 2), cast(length(NAME) as text) || upper('x'), "
            "coalesce(null, 1), group_concat(NAME), round(1.5), date('now'), current_date, NAME like 'w%' "
            "from witnesses") << 0;
        QTest::newRow("value inside the bound") << QStringLiteral("select length(hex(zeroblob(1000000)))") << 0;
        QTest::newRow("users column") << QStringLiteral("select PASSWORD from users") << int(ErrNotAQuery);
        QTest::newRow("users count") << QStringLiteral("select count(*) from USERS") << int(ErrNotAQuery);
        QTest::newRow("users in a subquery")
            << QStringLiteral("select NAME from witnesses where NAME in (select USER_ID from main.users)") << int(ErrNotAQuery);
        QTest::newRow("audit row") << QStringLiteral("select changes from audit") << int(ErrNotAQuery);
        QTest::newRow("audit count") << QStringLiteral("select count(*) from Audit") << int(ErrNotAQuery);
        QTest::newRow("fts3_tokenizer") << QStringLiteral("select hex(fts3_tokenizer('simple'))") << int(ErrNotAQuery);
        QTest::newRow("sqlcipher_export") << QStringLiteral("select sqlcipher_export('temp')") << int(ErrNotAQuery);
        QTest::newRow("load_extension") << QStringLiteral("select load_extension('/tmp/x.so')") << int(ErrNotAQuery);
        QTest::newRow("sqlite_version") << QStringLiteral("select sqlite_version()") << int(ErrNotAQuery);
        QTest::newRow("huge value") << QStringLiteral("select hex(zeroblob(200000000))") << int(ErrEngine);
        QTest::newRow("value past the bound") << QStringLiteral("select length(hex(zeroblob(9000000)))") << int(ErrEngine);
    }
    void restrictedConnectionRefuses()
    {
        QFETCH(QString, sql);
        QFETCH(int, error);
        m_db->execute(QStringLiteral("CREATE TABLE users (USER_ID TEXT PRIMARY KEY, PASSWORD TEXT)"));
        m_db->execute(QStringLiteral("insert into users values ('u', 'secret')"));
        m_db->execute(QStringLiteral("CREATE TABLE audit (audit_id INTEGER PRIMARY KEY, changes TEXT)"));
        m_db->execute(QStringLiteral("CREATE INDEX audit_by_changes ON audit (changes)"));
        m_db->execute(QStringLiteral("insert into audit (audit_id, changes) values (1, 'secret')"));
        addWitness(QStringLiteral("w1"));
        restrictToQueries(*m_db);
        const int got = errorOf([&] {
            ReadOnlyQuery q(*m_db, sql);
            while (q.next())
                QVERIFY(!q.value(0).toString().contains(QLatin1String("secret")));
        });
        QCOMPARE(got, error);
        // The connection still reads afterwards.
        QCOMPARE(m_db->scalar(QStringLiteral("select count(*) from witnesses")).toInt(), 1);
    }

    // The observer sees what each write stored, the key given by the engine
    // included, and what a delete removed even after a colleague's change;
    // writes that change nothing are not told.
    void writeObserverSeesEachWrite()
    {
        QList<WriteEvent> seen;
        TableCursor c(*m_db, QStringLiteral("problems"));
        c.setWriteObserver([&](const WriteEvent &e) {
            QVERIFY(m_db->inTransaction());
            seen << e;
        });
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.addNew();
        c.setValue(QStringLiteral("tamrel_no"), QStringLiteral("7"));
        c.update();
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen.at(0).table, QStringLiteral("problems"));
        QVERIFY(seen.at(0).action == WriteAction::Add);
        QCOMPARE(seen.at(0).fieldNames, QStringList({"code", "tamrel_no", "Problems_Situation"}));
        QCOMPARE(seen.at(0).keyFieldNames, QStringList{"code"});
        QVERIFY(seen.at(0).oldRecord.isEmpty());
        QCOMPARE(seen.at(0).newRecord, QVariantList({qint64(1), QStringLiteral("7"), QVariant()}));

        c.seek(QStringLiteral("="), {1});
        c.edit();
        c.setValue(QStringLiteral("Problems_Situation"), QStringLiteral("new"));
        c.update();
        QVERIFY(seen.at(1).action == WriteAction::Update);
        QCOMPARE(seen.at(1).oldRecord, QVariantList({qint64(1), QStringLiteral("7"), QVariant()}));
        QCOMPARE(seen.at(1).newRecord, QVariantList({qint64(1), QStringLiteral("7"), QStringLiteral("new")}));

        c.edit();
        c.update(); // nothing set: nothing written
        Database other;
        openOther(other);
        other.execute(QStringLiteral("update problems set tamrel_no = '8'"));
        c.edit();
        c.setValue(QStringLiteral("Problems_Situation"), QStringLiteral("stale"));
        QCOMPARE(errorOf([&] { c.update(); }), int(ErrRecordChanged));
        c.cancelUpdate();
        QCOMPARE(seen.size(), 2);

        c.deleteRecord();
        QCOMPARE(seen.size(), 3);
        QVERIFY(seen.at(2).action == WriteAction::Delete);
        QCOMPARE(seen.at(2).oldRecord, QVariantList({qint64(1), QStringLiteral("8"), QStringLiteral("new")}));
        QVERIFY(seen.at(2).newRecord.isEmpty());

        addWitness(QStringLiteral("gone"));
        TableCursor w(*m_db, QStringLiteral("witnesses"));
        w.setWriteObserver([&](const WriteEvent &e) { seen << e; });
        w.setIndex(QStringLiteral("PRIMARYKEY"));
        w.seek(QStringLiteral("="), {QStringLiteral("gone")});
        other.execute(QStringLiteral("delete from witnesses"));
        w.deleteRecord(); // already deleted by another user: nothing removed
        QCOMPARE(seen.size(), 3);
    }

    // An observer that fails takes the write back with it.
    void aThrowingObserverLeavesNothingWritten_data()
    {
        QTest::addColumn<int>("action");
        QTest::newRow("add") << int(WriteAction::Add);
        QTest::newRow("update") << int(WriteAction::Update);
        QTest::newRow("delete") << int(WriteAction::Delete);
    }
    void aThrowingObserverLeavesNothingWritten()
    {
        QFETCH(int, action);
        addWitness(QStringLiteral("Ali"), QStringLiteral("old"));
        TableCursor c(*m_db, QStringLiteral("witnesses"));
        c.setWriteObserver([](const WriteEvent &) { throw EngineError(ErrEngine, QStringLiteral("refused")); });
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.seek(QStringLiteral("="), {QStringLiteral("Ali")});
        int got = 0;
        if (WriteAction(action) == WriteAction::Delete) {
            got = errorOf([&] { c.deleteRecord(); });
        } else {
            if (WriteAction(action) == WriteAction::Add) {
                c.addNew();
                c.setValue(QStringLiteral("NAME"), QStringLiteral("Omar"));
            } else {
                c.edit();
            }
            c.setValue(QStringLiteral("english_NAME"), QStringLiteral("new"));
            got = errorOf([&] { c.update(); });
            QCOMPARE(c.lastAutoValue(), qint64(0));
        }
        QCOMPARE(got, int(ErrEngine));
        QVERIFY(!m_db->inTransaction());
        Database other;
        openOther(other);
        QCOMPARE(other.scalar(QStringLiteral("select count(*) from witnesses")).toInt(), 1);
        QCOMPARE(other.scalar(QStringLiteral("select NAME || '=' || english_NAME from witnesses")).toString(),
                 QStringLiteral("Ali=old"));
        // The cursor still shows the stored record.
        c.cancelUpdate();
        c.seek(QStringLiteral("="), {QStringLiteral("Ali")});
        QCOMPARE(c.value(QStringLiteral("english_NAME")).toString(), QStringLiteral("old"));
    }

    void reportedWriteSurvivesAKilledProcess()
    {
        m_db->close();
        const pid_t pid = fork();
        if (pid == 0) {
            Database child;
            openOther(child);
            TableCursor c(child, QStringLiteral("witnesses"));
            c.addNew();
            c.setValue(QStringLiteral("NAME"), QStringLiteral("written before the crash"));
            c.update();
            _exit(0); // no close, no checkpoint: as if the power failed
        }
        int status = 0;
        waitpid(pid, &status, 0);
        QVERIFY(WIFEXITED(status));
        Database db;
        openOther(db);
        QCOMPARE(db.scalar(QStringLiteral("select count(*) from witnesses")).toInt(), 1);
    }
};

VELM_TEST_MAIN(TestEngine)
#include "tst_engine.moc"
