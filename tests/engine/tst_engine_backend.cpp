#include "support/TestMain.h"
#include "support/EngineErrors.h"
#include "support/TestDatabase.h"

#include "engine/Database.h"
#include "engine/PgBackend.h"
#include "engine/QueryCursor.h"
#include "engine/ReadOnlyQuery.h"
#include "engine/SqlCipherBackend.h"
#include "engine/TableCursor.h"

#include <sqlite3.h>

#include <QDateTime>
#include <QDir>
#include <QTemporaryDir>

#include <optional>

using namespace engine;

namespace {

const QString kKey = QStringLiteral("zk");
using Kind = BackendFailure::Kind;

using testsupport::errorOf;

// What the engine asked of the backend, and a failure to report on the
// next step instead of running it.
struct Calls {
    int prepares = 0;
    int steps = 0;
    int live = 0; // statements prepared and not yet finalized
    std::optional<Kind> failNextStep;
};

class RecordingStatement final : public BackendStatement {
public:
    RecordingStatement(std::unique_ptr<BackendStatement> inner, std::shared_ptr<Calls> calls)
        : m_inner(std::move(inner)), m_calls(std::move(calls))
    {
        ++m_calls->live;
    }
    ~RecordingStatement() override { --m_calls->live; }

    int parameterCount() const override { return m_inner->parameterCount(); }
    QString parameterName(int p) const override { return m_inner->parameterName(p); }
    void bindNull(int p) override { m_inner->bindNull(p); }
    void bindInteger(int p, qint64 v) override { m_inner->bindInteger(p, v); }
    void bindReal(int p, double v) override { m_inner->bindReal(p, v); }
    void bindText(int p, QByteArrayView v) override { m_inner->bindText(p, v); }
    void bindBlob(int p, QByteArrayView v) override { m_inner->bindBlob(p, v); }
    void clearBindings() override { m_inner->clearBindings(); }
    bool step() override
    {
        ++m_calls->steps;
        if (const std::optional<Kind> kind = std::exchange(m_calls->failNextStep, std::nullopt))
            throw BackendFailure{*kind, QStringLiteral("as told"), QStringLiteral("told to fail")};
        return m_inner->step();
    }
    void reset() override { m_inner->reset(); }
    int columnCount() const override { return m_inner->columnCount(); }
    QString columnName(int c) const override { return m_inner->columnName(c); }
    QVariant value(int c) const override { return m_inner->value(c); }
    qint64 integer(int c) const override { return m_inner->integer(c); }
    bool isReadOnly() const override { return m_inner->isReadOnly(); }

private:
    std::unique_ptr<BackendStatement> m_inner;
    std::shared_ptr<Calls> m_calls;
};

// A backend that hands every call to the SQLCipher connection below it.
class RecordingConnection final : public BackendConnection {
public:
    RecordingConnection(std::unique_ptr<BackendConnection> inner, std::shared_ptr<Calls> calls)
        : m_inner(std::move(inner)), m_calls(std::move(calls))
    {
    }

    std::unique_ptr<BackendStatement> prepare(const QByteArray &utf8, QByteArray *rest) override
    {
        ++m_calls->prepares;
        std::unique_ptr<BackendStatement> s = m_inner->prepare(utf8, rest);
        if (!s)
            return nullptr;
        return std::make_unique<RecordingStatement>(std::move(s), m_calls);
    }
    void prepareForUse(Journal journal) override { m_inner->prepareForUse(journal); }
    void setCacheSize(qint64 kib) override { m_inner->setCacheSize(kib); }
    void setQueryOnly(bool on) override { m_inner->setQueryOnly(on); }
    void restrictToQueries() override { m_inner->restrictToQueries(); }
    QString tableName(const QString &anyCase) override { return m_inner->tableName(anyCase); }
    bool holdsTables() override { return m_inner->holdsTables(); }
    QList<ColumnInfo> columns(const QString &table) override { return m_inner->columns(table); }
    void begin() override { m_inner->begin(); }
    void commit() override { m_inner->commit(); }
    void rollback() override { m_inner->rollback(); }
    bool inTransaction() const override { return m_inner->inTransaction(); }
    qint64 lastInsertRowId() const override { return m_inner->lastInsertRowId(); }
    qint64 changes() const override { return m_inner->changes(); }
    void interrupt() override { m_inner->interrupt(); }
    void setStopCheck(std::function<bool()> check, int interval) override
    {
        m_inner->setStopCheck(std::move(check), interval);
    }
    void copyTo(const QString &file, const std::function<bool(int)> &progress) override
    {
        m_inner->copyTo(file, progress);
    }
    OpenSpec openSpec() const override { return m_inner->openSpec(); }
    int pageSize() const override { return m_inner->pageSize(); }
    BackendFailure failureOf(int code) const override { return m_inner->failureOf(code); }
    QString rowIdColumn(const QString &table) override { return m_inner->rowIdColumn(table); }
    QString nullSafeEqual() const override { return m_inner->nullSafeEqual(); }
    void createTable(const TableDef &table) override { m_inner->createTable(table); }
    SqlCondition textCondition(const QString &table, const QList<TextCriterion> &criteria, IndexUse use) override
    {
        return m_inner->textCondition(table, criteria, use);
    }
    SearchIndexState searchIndexState(const SearchIndexDef &index) override { return m_inner->searchIndexState(index); }
    void buildSearchIndex(const SearchIndexDef &index, const BuildProgress &progress) override
    {
        m_inner->buildSearchIndex(index, progress);
    }
    void dropSearchIndex(const SearchIndexDef &index) override { m_inner->dropSearchIndex(index); }
    qint64 searchIndexBytes(const SearchIndexDef &index) override { return m_inner->searchIndexBytes(index); }

private:
    std::unique_ptr<BackendConnection> m_inner;
    std::shared_ptr<Calls> m_calls;
};

int statementsOpen(sqlite3 *db)
{
    int n = 0;
    for (sqlite3_stmt *s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s))
        ++n;
    return n;
}

} // namespace

// The cursors, queries, transactions and backup reach the database library
// only through the backend interface: run over a backend that records and
// forwards every call, they work as on the library itself, and every
// statement the library holds is one the interface handed out.
class TestBackend : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_path;
    std::shared_ptr<Calls> m_calls;
    sqlite3 *m_native = nullptr; // the library's connection below the recording (file)
    std::unique_ptr<testsupport::TempDatabase> m_server; // on the server run
    std::unique_ptr<Database> m_db;

    // Statements the file's library holds are all ones the interface handed out.
    void checkStatementsHandedOut()
    {
        if (m_native)
            QCOMPARE(statementsOpen(m_native), m_calls->live);
    }

    void openOther(Database &db)
    {
        if (m_server)
            m_server->open(db);
        else
            db.open(m_path, kKey);
    }

    // The same table and rows, with the recording over the server's backend.
    void initServer()
    {
        m_server = std::make_unique<testsupport::TempDatabase>();
        {
            Database made;
            m_server->open(made);
            using T = FieldDef::Type;
            made.createTable({QStringLiteral("witnesses"),
                              {{QStringLiteral("NAME"), T::Text, 0}, {QStringLiteral("english_NAME"), T::Memo, 0},
                               {QStringLiteral("age"), T::Integer, 0}},
                              {QStringLiteral("NAME")}});
            for (int i = 0; i < 30; ++i)
                made.execute(QStringLiteral("insert into witnesses values (?, ?, ?)"),
                             {QStringLiteral("w%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("e%1").arg(i), i});
            m_path = made.openSpec().server;
        }
        m_calls = std::make_shared<Calls>();
        m_db = std::make_unique<Database>();
        m_db->attach(std::make_unique<RecordingConnection>(PgConnection::open(m_path), m_calls), m_path,
                     {QStringLiteral("WITNESSES")});
    }

private slots:
    void init()
    {
        if (testsupport::testOnServer()) {
            initServer();
            return;
        }
        QVERIFY(m_dir.isValid());
        m_path = m_dir.filePath(QStringLiteral("b%1.mdb").arg(QDateTime::currentMSecsSinceEpoch()));
        {
            Database made;
            made.create(m_path, kKey);
            made.execute(QStringLiteral("CREATE TABLE witnesses (NAME TEXT COLLATE FOLDCASE NOT NULL PRIMARY KEY, "
                                        "english_NAME TEXT, age INTEGER)"));
            for (int i = 0; i < 30; ++i)
                made.execute(QStringLiteral("insert into witnesses values (?, ?, ?)"),
                             {QStringLiteral("w%1").arg(i, 2, 10, QLatin1Char('0')), QStringLiteral("e%1").arg(i), i});
        }
        m_calls = std::make_shared<Calls>();
        std::unique_ptr<SqlCipherConnection> inner = SqlCipherConnection::open(m_path, kKey);
        m_native = inner->handle();
        m_db = std::make_unique<Database>();
        m_db->attach(std::make_unique<RecordingConnection>(std::move(inner), m_calls), m_path,
                     {QStringLiteral("WITNESSES")});
        QVERIFY(!nativeHandle(*m_db)); // another backend: the library is not reached around it
    }

    void cleanup()
    {
        m_db.reset();
        m_server.reset();
        m_native = nullptr;
    }

    void cursorsRunThroughTheBackendAndReuseTheirStatements()
    {
        TableCursor c(*m_db, QStringLiteral("Witnesses"));
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        auto round = [&c] {
            for (int i = 0; i < 30; i += 3) {
                c.seek(QStringLiteral("="), {QStringLiteral("W%1").arg(i, 2, 10, QLatin1Char('0'))});
                c.moveNext();
                c.movePrevious();
            }
        };
        round();
        const int prepared = m_calls->prepares;
        const int steps = m_calls->steps;
        round();
        QCOMPARE(m_calls->prepares, prepared);
        QCOMPARE(m_calls->steps, steps + 30);
        QCOMPARE(c.value(QStringLiteral("english_NAME")).toString(), QStringLiteral("e27"));
        checkStatementsHandedOut();

        // Writes: the new row's number and the rows a rewrite changed come
        // from the backend too.
        c.addNew();
        c.setValue(QStringLiteral("NAME"), QStringLiteral("new"));
        c.setValue(QStringLiteral("age"), QStringLiteral(" 41 "));
        c.update();
        c.seek(QStringLiteral("="), {QStringLiteral("NEW")});
        QCOMPARE(c.value(QStringLiteral("age")).toLongLong(), 41);
        c.edit();
        c.setValue(QStringLiteral("english_NAME"), QStringLiteral("mine"));
        Database other;
        openOther(other);
        other.execute(QStringLiteral("delete from witnesses where NAME = 'new'"));
        QCOMPARE(errorOf([&] { c.update(); }), int(ErrRecordChanged));
        QVERIFY(!m_db->inTransaction());

        QueryCursor q(*m_db, QStringLiteral("select NAME, age from witnesses where age >= ? order by age desc"), {28});
        QCOMPARE(q.columnNames(), QStringList({QStringLiteral("NAME"), QStringLiteral("age")}));
        QVERIFY(q.next());
        QCOMPARE(q.value(QStringLiteral("name")).toString(), QStringLiteral("w29"));
        const std::unique_ptr<QueryCursor> sorted = q.sorted(QStringLiteral("[age]"));
        QVERIFY(sorted->next());
        QCOMPARE(sorted->value(1).toLongLong(), 28);
        checkStatementsHandedOut();

        // An empty text or blank value is stored as one, not as a missing value.
        if (m_server) { // the server's columns keep their types: an empty text
            m_db->execute(QStringLiteral("insert into witnesses values (?, ?, ?)"), {QStringLiteral("blank"), QString(), 0});
            QCOMPARE(m_db->scalar(QStringLiteral("select english_NAME is not null and english_NAME = '' from witnesses "
                                                 "where NAME = 'blank'")).toLongLong(), 1);
            return;
        }
        m_db->execute(QStringLiteral("insert into witnesses values (?, ?, ?)"),
                      {QStringLiteral("blank"), QString(), QByteArray()});
        QCOMPARE(m_db->scalar(QStringLiteral("select typeof(english_NAME) || typeof(age) from witnesses "
                                             "where NAME = 'blank'")).toString(),
                 QStringLiteral("textblob"));
    }

    void failuresAreWordedByTheEngine_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("moving");  // a cursor move or a write
        QTest::addColumn<int>("reading"); // reading on in a query
        QTest::newRow("duplicate key") << int(Kind::DuplicateKey) << int(ErrDuplicateKey) << int(ErrEngine);
        QTest::newRow("required") << int(Kind::NullInRequired) << int(ErrNullInRequired) << int(ErrEngine);
        QTest::newRow("too long") << int(Kind::CheckViolated) << int(ErrFieldTooSmall) << int(ErrEngine);
        QTest::newRow("key") << int(Kind::NotADatabase) << int(ErrNotValidPassword) << int(ErrEngine);
        QTest::newRow("busy") << int(Kind::Busy) << int(ErrFileLocked) << int(ErrFileLocked);
        QTest::newRow("locked") << int(Kind::Locked) << int(ErrFileLocked) << int(ErrEngine);
        QTest::newRow("stopped") << int(Kind::Interrupted) << int(ErrOperationCanceled) << int(ErrOperationCanceled);
        QTest::newRow("no table") << int(Kind::NoSuchTable) << int(ErrObjectNotFound) << int(ErrEngine);
        QTest::newRow("no column") << int(Kind::NoSuchColumn) << int(ErrItemNotFound) << int(ErrEngine);
        QTest::newRow("syntax") << int(Kind::Syntax) << int(ErrQuerySyntax) << int(ErrEngine);
        QTest::newRow("other") << int(Kind::Other) << int(ErrEngine) << int(ErrEngine);
    }

    void failuresAreWordedByTheEngine()
    {
        QFETCH(int, kind);
        QFETCH(int, moving);
        QFETCH(int, reading);
        TableCursor c(*m_db, QStringLiteral("witnesses"));
        c.setIndex(QStringLiteral("PRIMARYKEY"));
        c.moveFirst();
        m_calls->failNextStep = Kind(kind);
        QCOMPARE(errorOf([&] { c.moveNext(); }), moving);
        c.moveNext(); // the statement runs again after the failure
        QCOMPARE(c.value(0).toString(), QStringLiteral("w01"));

        c.addNew();
        c.setValue(QStringLiteral("NAME"), QStringLiteral("x"));
        m_calls->failNextStep = Kind(kind);
        QCOMPARE(errorOf([&] { c.update(); }), moving);
        QVERIFY(!m_db->inTransaction()); // rolled back
        QVERIFY(m_db->scalar(QStringLiteral("select NAME from witnesses where NAME = 'x'")).isNull());

        QueryCursor q(*m_db, QStringLiteral("select NAME from witnesses"));
        QVERIFY(q.next());
        m_calls->failNextStep = Kind(kind);
        QCOMPARE(errorOf([&] { q.next(); }), reading);
        QVERIFY(q.atEnd());
        QVERIFY(!q.next());

        ReadOnlyQuery r(*m_db, QStringLiteral("select NAME from witnesses"));
        m_calls->failNextStep = Kind(kind);
        QCOMPARE(errorOf([&] { r.next(); }), kind == int(Kind::Interrupted) ? int(ErrInterrupted) : moving);
        checkStatementsHandedOut();
    }

    void stopCheckAndBackupGoThroughTheBackend()
    {
        const QString slow = m_server ? QStringLiteral("select pg_sleep(20)")
                                      : QStringLiteral("with recursive n(i) as (select 1 union all select i + 1 from n "
                                                       "where i < 50000000) select count(*) from n");
        int asked = 0;
        m_db->setStopCheck([&asked] { return ++asked >= 3; }, 100);
        QCOMPARE(errorOf([&] { m_db->scalar(slow); }), int(ErrOperationCanceled));
        QCOMPARE(asked, 3);
        m_db->setStopCheck({});
        QCOMPARE(m_db->scalar(QStringLiteral("select count(*) from witnesses")).toInt(), 30);
        if (m_server) {
            QCOMPARE(m_db->openSpec().requiredTables, QStringList{QStringLiteral("WITNESSES")});
            QSKIP("the backend does not yet copy a server's data into a file");
        }

        const QString copy = m_dir.filePath(QStringLiteral("copy.mdb"));
        QList<int> seen;
        m_db->backupTo(copy, [&seen](int p) {
            seen << p;
            return true;
        });
        QCOMPARE(seen.last(), 100);
        Database b;
        b.open(copy, kKey, {QStringLiteral("witnesses")});
        QCOMPARE(b.scalar(QStringLiteral("select count(*) from witnesses")).toInt(), 30);
        QCOMPARE(b.pageSize(), m_db->pageSize());
        // A stopped copy leaves nothing behind, and the source holds no snapshot.
        const QString stopped = m_dir.filePath(QStringLiteral("stopped.mdb"));
        QCOMPARE(errorOf([&] { m_db->backupTo(stopped, [](int) { return false; }); }), int(ErrOperationCanceled));
        QVERIFY(QDir(m_dir.path()).entryList({QStringLiteral("stopped.mdb*")}).isEmpty());
        QVERIFY(!m_db->inTransaction());
        QCOMPARE(m_db->openSpec().requiredTables, QStringList{QStringLiteral("WITNESSES")});
    }
};

VELM_TEST_MAIN(TestBackend)
#include "tst_engine_backend.moc"
