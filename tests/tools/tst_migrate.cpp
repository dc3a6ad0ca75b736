#include "support/TestMain.h"
#include "support/FillEveryTable.h"

#include "data/DatabaseCopy.h"
#include "data/OpenDb.h"
#include "data/Schema.h"
#include "engine/Database.h"
#include "support/TestDatabase.h"
#include "synthetic/SyntheticData.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

using namespace core;

// Copies of a whole register: file -> (file or, in the server run, the
// test server) -> file, through the data layer and through velm-migrate.
class TestMigrate : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_first;
    QString m_key = passwordFromConnect(QLatin1String(kConnectString));

    // The texts COPY's format gives a meaning to, and bytes of every value.
    static QVariant sampleValue(const schema::Column &c, int n)
    {
        switch (c.kind) {
        case schema::Kind::Text:
        case schema::Kind::Memo: {
            const QString text = QStringLiteral("نص %1\ta\\b\nc\rd \\N").arg(n);
            return c.maxLength > 0 ? text.left(c.maxLength) : text;
        }
        case schema::Kind::Blob:
            return QByteArray("\x00\x01\\\t\n\xff", 6) + QByteArray::number(n);
        case schema::Kind::AutoNumber:
            return {};
        default:
            return n % 2;
        }
    }

    // velm-fill's register, plus a row in every table it leaves empty.
    void fillEveryTable(engine::Database &db) { testsupport::fillEveryTable(db, 150, 200, 3, sampleValue); }

    static QMap<QString, QByteArray> sums(engine::Database &db)
    {
        QMap<QString, QByteArray> out;
        for (const QString &table : copiedTables()) {
            qint64 rows = 0;
            const schema::Table *t = schema::findTable(table);
            QStringList columns = t ? t->columnNames() : QStringList();
            if (!t)
                for (const engine::ColumnInfo &c : db.columns(table))
                    columns << c.name;
            out[table] = tableChecksum(db, table, columns, &rows) + ' ' + QByteArray::number(rows);
            if (rows == 0)
                qWarning("empty table %s", qPrintable(table));
        }
        return out;
    }

    QString newFile(const QString &name) { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        m_first = newFile(QStringLiteral("first.mdb"));
        schema::createFirstDatabase(m_first, m_key);
        engine::Database db;
        db.open(m_first, m_key);
        fillEveryTable(db);
    }

    // There and back: both copies verified, the last file equal to the
    // first, and the next AutoNumber follows the copied ones.
    void copiesThereAndBack()
    {
        testsupport::TempDatabase middle;
        engine::Database first, mid, last;
        first.open(m_first, m_key);
        middle.open(mid);
        QStringList progressed;
        CopyOptions options;
        options.batchRows = 97; // many batches even on a small register
        options.progress = [&](const QString &table, qint64 done, qint64 total) {
            QVERIFY(done <= total);
            if (done == total && !progressed.contains(table))
                progressed << table;
        };
        const CopyResult there = copyDatabase(first, mid, options);
        QVERIFY(there.verified());
        QCOMPARE(progressed, copiedTables() << QLatin1String(kSearchIndexStep));
        const QString lastFile = newFile(QStringLiteral("last.mdb"));
        last.create(lastFile, m_key);
        QVERIFY(copyDatabase(mid, last).verified());
        QCOMPARE(sums(last), sums(first));
        // Each copy has the persons' search index, which answers as the first's.
        const QList<engine::TextCriterion> criteria{{QStringLiteral("a_old_name"), QStringLiteral("%جون%")},
                                                    {QStringLiteral("iqama_no"), QStringLiteral("%2%")}};
        const auto found = [&](engine::Database &db) {
            if (db.searchIndexState(schema::personSearchIndex()).status != engine::SearchIndexStatus::Ready)
                return QStringList{QStringLiteral("no search index")};
            const engine::SqlCondition c = db.textCondition(QStringLiteral("tamrel"), criteria);
            QStringList numbers;
            engine::Statement q(db, QStringLiteral("SELECT tamrel_no FROM tamrel WHERE ") + c.sql + QStringLiteral(" ORDER BY tamrel_no"));
            q.bind(c.values);
            while (q.step())
                numbers << q.value(0).toString();
            return numbers;
        };
        const QStringList inFirst = found(first);
        QVERIFY(!inFirst.isEmpty());
        QCOMPARE(found(mid), inFirst);
        QCOMPARE(found(last), inFirst);

        const qint64 highest = mid.scalar(QStringLiteral("SELECT max(audit_id) FROM audit")).toLongLong();
        QVERIFY(highest >= 200);
        mid.execute(QStringLiteral("INSERT INTO audit (changed_at, action) VALUES (?, ?)"), {QStringLiteral("x"), QStringLiteral("add")});
        QVERIFY(mid.lastInsertRowId() > highest);
        QCOMPARE(mid.scalar(QStringLiteral("SELECT count(*) FROM audit")).toLongLong(), 201);
    }

    // A target holding rows is refused unless replaced; replacing drops the
    // append-only audit table rather than deleting through its triggers.
    void refusesOrReplacesATargetHoldingData()
    {
        testsupport::TempDatabase middle;
        engine::Database first, mid;
        first.open(m_first, m_key);
        middle.open(mid);
        QVERIFY(copyDatabase(first, mid).verified());
        mid.execute(QStringLiteral("INSERT INTO audit (changed_at, action) VALUES ('y', 'add')"));
        try {
            copyDatabase(first, mid);
            QFAIL("a target holding data was overwritten");
        } catch (const engine::EngineError &e) {
            QCOMPARE(e.number(), kErrTargetHoldsData);
        }
        QCOMPARE(mid.scalar(QStringLiteral("SELECT count(*) FROM audit")).toLongLong(), 201);
        CopyOptions replace;
        replace.replace = true;
        QVERIFY(copyDatabase(first, mid, replace).verified());
        QCOMPARE(sums(mid), sums(first));
    }

    // A value changed in the target behind the copy's back is found by the
    // checksum of that table alone; the row counts still agree.
    void findsAValueChangedBehindItsBack()
    {
        testsupport::TempDatabase middle;
        engine::Database first, mid, other;
        first.open(m_first, m_key);
        middle.open(mid);
        CopyOptions options;
        options.progress = [&](const QString &table, qint64 done, qint64) {
            if (table == QLatin1String("audit") && done == 0) {
                middle.open(other);
                other.execute(QStringLiteral("UPDATE followUp SET comments = 'changed' WHERE rowid IN "
                                             "(SELECT min(rowid) FROM followUp)").replace(
                                  QLatin1String("rowid"), other.backend()->rowIdColumn(QStringLiteral("followUp"))));
            }
        };
        const CopyResult result = copyDatabase(first, mid, options);
        QVERIFY(!result.verified());
        for (const TableCopy &t : result.tables) {
            QCOMPARE(t.targetRows, t.sourceRows);
            QCOMPARE(t.matches(), t.table != QLatin1String("followUp"));
        }
    }

    // The logon backup of a server: a new file with the office's key and
    // page size holding the server's rows; an existing backup is never
    // replaced, and a stopped copy leaves nothing behind.
    void backupOfAServerReadsBackWithTheKey()
    {
        testsupport::TempDatabase middle;
        engine::Database first, mid;
        first.open(m_first, m_key);
        middle.open(mid);
        QVERIFY(copyDatabase(first, mid).verified());
        QTemporaryDir folder;
        const QString backup = folder.filePath(QStringLiteral("velm.mdb"));
        int lastDone = 0;
        CopyOptions options;
        options.progress = [&](const QString &, qint64 done, qint64) { lastDone = int(done); };
        CopyOptions stopped;
        stopped.stop = [] { return true; };
        try {
            copyToNewFile(mid, backup, m_key, stopped);
            QFAIL("a stopped copy went on");
        } catch (const engine::EngineError &e) {
            QCOMPARE(e.number(), int(engine::ErrOperationCanceled));
        }
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList());
        copyToNewFile(mid, backup, m_key, options);
        QVERIFY(lastDone > 0);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{QStringLiteral("velm.mdb")});
        engine::Database copy;
        copy.open(backup, m_key, copiedTables());
        QCOMPARE(copy.pageSize(), engine::kPageSize);
        QCOMPARE(sums(copy), sums(mid));
        try {
            copyToNewFile(mid, backup, m_key);
            QFAIL("an existing backup was replaced");
        } catch (const engine::EngineError &e) {
            QCOMPARE(e.number(), schema::kErrDatabaseExists);
        }
    }

    // The tool: exit 0 only when verified, a refusal without --replace.
    void toolCopiesAndRefuses()
    {
        testsupport::TempDatabase middle;
        const QString tool = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/velm-migrate");
        const QString mid = middle.onServer()
            ? middle.connectionString(middle.facts().appUser, middle.facts().appPassword)
            : newFile(QStringLiteral("tool-middle.mdb"));
        const QString last = newFile(QStringLiteral("tool-last.mdb"));
        const auto run = [&](const QStringList &args) {
            QProcess p;
            p.start(tool, args);
            p.waitForFinished(120000);
            return std::make_pair(p.exitCode(), QString::fromUtf8(p.readAllStandardOutput() + p.readAllStandardError()));
        };
        auto [code, out] = run({m_first, mid});
        QVERIFY2(code == 0 && out.contains(QLatin1String("checksum match")), qPrintable(out));
        std::tie(code, out) = run({mid, last});
        QVERIFY2(code == 0, qPrintable(out));
        std::tie(code, out) = run({m_first, last});
        QVERIFY2(code == 1 && out.contains(QString::number(kErrTargetHoldsData)), qPrintable(out));
        std::tie(code, out) = run({mid, last, QStringLiteral("--replace")});
        QVERIFY2(code == 0, qPrintable(out));
        engine::Database first, copy;
        first.open(m_first, m_key);
        copy.open(last, m_key);
        QCOMPARE(sums(copy), sums(first));
    }
};

VELM_TEST_MAIN(TestMigrate)
#include "tst_migrate.moc"
