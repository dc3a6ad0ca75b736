#include "support/TestMain.h"

#include "data/Connections.h"
#include "data/DatabaseCopy.h"
#include "data/Passwords.h"
#include "data/Schema.h"
#include "engine/Database.h"
#include "support/FillEveryTable.h"
#include "support/SheetFiles.h"
#include "support/TempDataFolder.h"
#include "support/TestDatabase.h"
#include "synthetic/SyntheticData.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QTemporaryDir>

using namespace core;
namespace files = testsupport::sheetfiles;

// The whole database out of the program: velm-export writes every table as
// CSV, each value as stored, from a file or (in the server run) the test
// server, and a README of the tables; the password hashes stay behind.
class TestExport : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_key = passwordFromConnect(QLatin1String(kConnectString));
    std::unique_ptr<testsupport::TempDatabase> m_server;
    engine::Database m_db;
    QString m_from; // what velm-export is given
    QString m_hash;

    static QString tool() { return QCoreApplication::applicationDirPath() + QStringLiteral("/../bin/velm-export"); }

    static int run(const QStringList &args, QString *output = nullptr)
    {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(tool(), args);
        if (!p.waitForFinished(120000))
            return -1;
        if (output)
            *output = QString::fromUtf8(p.readAll());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    // The texts the CSV format and spreadsheets give a meaning to, in every
    // table the register leaves empty.
    static void fillEveryTable(engine::Database &db)
    {
        testsupport::fillEveryTable(db, 120, 150, 5, [](const schema::Column &c, int n) -> QVariant {
            if (c.kind == schema::Kind::Blob)
                return QByteArray("\x00\x01,\"\n\xff", 6);
            if (c.kind == schema::Kind::Text || c.kind == schema::Kind::Memo)
                return QStringLiteral("=نص, \"مقتبس\"\r\nسطر\t%1").arg(n).left(c.maxLength > 0 ? c.maxLength : 1000);
            return n % 2;
        });
    }

    static QString expectedText(const QVariant &v)
    {
        if (v.isNull())
            return {};
        if (v.typeId() == QMetaType::QByteArray)
            return QString::fromLatin1(v.toByteArray().toBase64());
        return v.toString();
    }

    QStringList columnsOf(const QString &table)
    {
        QStringList names;
        if (const schema::Table *t = schema::findTable(table))
            names = t->columnNames();
        else
            for (const engine::ColumnInfo &c : m_db.columns(m_db.tableName(table)))
                names << c.name;
        if (table == QLatin1String("users"))
            names.removeAll(QStringLiteral("PASSWORD"));
        return names;
    }

private slots:
    void initTestCase()
    {
        const QString file = m_dir.filePath(QStringLiteral("velm.mdb"));
        schema::createFirstDatabase(file, m_key);
        engine::Database drawn;
        drawn.open(file, m_key);
        fillEveryTable(drawn);
        m_hash = Passwords::hash(QStringLiteral("s3cret"), 1000, QByteArray(Passwords::kSaltBytes, char(7)));
        testsupport::TempDataFolder::addUser(drawn, QStringLiteral("admin"), m_hash, QStringLiteral("مدير"));
        if (testsupport::testOnServer()) {
            m_server = std::make_unique<testsupport::TempDatabase>();
            m_server->open(m_db);
            QVERIFY(copyDatabase(drawn, m_db).verified());
            m_from = m_server->connectionString(m_server->facts().appUser, m_server->facts().appPassword);
        } else {
            drawn.close();
            m_db.open(file, m_key);
            m_from = file;
        }
    }

    void everyTableIsWrittenWithEveryValueAsStored()
    {
        const QString out = m_dir.filePath(QStringLiteral("out"));
        QString printed;
        QCOMPARE(run({m_from, out}, &printed), 0);
        QVERIFY2(printed.contains(QLatin1String("every table written")), qPrintable(printed));

        QStringList expectedFiles{QStringLiteral("README.txt")};
        for (const QString &table : copiedTables())
            expectedFiles << table + QStringLiteral(".csv");
        QStringList found = QDir(out).entryList(QDir::Files);
        found.sort();
        expectedFiles.sort();
        QCOMPARE(found, expectedFiles);

        const QString readme = [&] {
            QFile f(QDir(out).filePath(QStringLiteral("README.txt")));
            return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
        }();
        for (const QString &table : copiedTables()) {
            const QStringList columns = columnsOf(table);
            bool bom = false;
            const QList<QStringList> rows = files::readCsv(QDir(out).filePath(table + QStringLiteral(".csv")), &bom);
            QVERIFY(bom);
            QCOMPARE(rows.value(0), columns);
            // The rows as the database holds them, in key order (every
            // table's rows are distinct, so the order is the one of the sort).
            QList<QStringList> stored;
            QStringList names;
            for (const QString &c : columns)
                names << QLatin1Char('[') + c + QLatin1Char(']');
            engine::Statement select(m_db, QStringLiteral("SELECT %1 FROM [%2]").arg(names.join(','), m_db.tableName(table)));
            while (select.step()) {
                QStringList row;
                for (int i = 0; i < columns.size(); ++i)
                    row << expectedText(select.value(i));
                stored << row;
            }
            QVERIFY2(!stored.isEmpty(), qPrintable(table));
            QList<QStringList> written = rows.mid(1);
            std::sort(stored.begin(), stored.end());
            std::sort(written.begin(), written.end());
            QCOMPARE(written, stored);
            QVERIFY2(readme.contains(QStringLiteral("%1.csv: ").arg(table)) &&
                         readme.contains(QStringLiteral("; %1 rows").arg(stored.size())),
                     qPrintable(table));
        }
        // The hash is nowhere, nor its salt.
        QDirIterator it(out, QDir::Files);
        while (it.hasNext()) {
            QFile f(it.next());
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            QVERIFY2(!bytes.contains(m_hash.section(QLatin1Char('$'), 2, 2).toUtf8()), qPrintable(f.fileName()));
            QVERIFY(!bytes.contains("pbkdf2"));
        }
        QVERIFY(readme.contains(QLatin1String("(PASSWORD left out)")));

        // A second export over the first replaces its files.
        QCOMPARE(run({m_from, out}), 0);
        QCOMPARE(QDir(out).entryList(QDir::Files).size(), expectedFiles.size());
    }

    void wrongArgumentsAndUnreadableSourcesFail()
    {
        QCOMPARE(run({}), 2);
        QCOMPARE(run({m_from}), 2);
        QString printed;
        QCOMPARE(run({m_dir.filePath(QStringLiteral("missing.mdb")), m_dir.filePath(QStringLiteral("none"))}, &printed), 1);
        QVERIFY2(printed.contains(QLatin1String("3024")), qPrintable(printed));
        QFile blocker(m_dir.filePath(QStringLiteral("a-file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QCOMPARE(run({m_from, blocker.fileName() + QStringLiteral("/sub")}, &printed), 1);
        QVERIFY(printed.contains(QLatin1String("cannot be made")));
    }
};

VELM_TEST_MAIN(TestExport)
#include "tst_export.moc"
