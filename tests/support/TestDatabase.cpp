#include "support/TestDatabase.h"

#include "engine/ReadOnlyQuery.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace testsupport {

namespace {

const QString kFileKey = QStringLiteral("test-key");

[[noreturn]] void noServer(const QString &why)
{
    throw engine::EngineError(engine::ErrCannotOpenFile,
                              QStringLiteral("The test server is not there: %1. The server tests need the CTest "
                                             "fixture pg_cluster_start (tests/pg/pg-cluster.sh).")
                                  .arg(why));
}

} // namespace

bool testOnServer()
{
    return qEnvironmentVariable("VELM_TEST_BACKEND") == QLatin1String("server");
}

ServerFacts serverFacts()
{
    const QString envFile = qEnvironmentVariable("VELM_PG_ENV");
    if (envFile.isEmpty())
        noServer(QStringLiteral("VELM_PG_ENV is not set"));
    QFile f(envFile);
    if (!f.open(QIODevice::ReadOnly))
        noServer(QStringLiteral("%1 cannot be read").arg(envFile));
    QHash<QString, QString> v;
    for (const QByteArray &line : f.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            v.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    ServerFacts s{v.value("VELM_PG_SOCKET"),       v.value("VELM_PG_ADMIN"),      v.value("VELM_PG_TEMPLATE"),
                  v.value("VELM_PG_APP_USER"),     v.value("VELM_PG_APP_PASSWORD"), v.value("VELM_PG_REPORT_USER"),
                  v.value("VELM_PG_REPORT_PASSWORD")};
    if (s.socket.isEmpty() || s.admin.isEmpty() || s.appUser.isEmpty())
        noServer(QStringLiteral("%1 does not describe a running cluster").arg(envFile));
    return s;
}

TempDatabase::TempDatabase()
{
    if (!testOnServer()) {
        m_path = m_dir.filePath(QStringLiteral("test.mdb"));
        return;
    }
    m_facts = serverFacts();
    static QAtomicInt counter;
    m_name = QStringLiteral("t_%1_%2_%3")
                 .arg(QCoreApplication::applicationPid())
                 .arg(counter.fetchAndAddRelaxed(1))
                 .arg(QRandomGenerator::global()->generate() % 100000);
    engine::Database admin;
    admin.openServer(m_facts.admin);
    admin.execute(QStringLiteral("CREATE DATABASE %1 TEMPLATE %2 OWNER %3").arg(m_name, m_facts.templateDatabase, m_facts.appUser));
}

TempDatabase::~TempDatabase()
{
    if (m_name.isEmpty())
        return;
    try {
        engine::Database admin;
        admin.openServer(m_facts.admin);
        admin.execute(QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_name));
    } catch (const engine::EngineError &e) {
        qWarning("could not drop the test database %s: %s", qPrintable(m_name), e.what());
    }
}

QString TempDatabase::connectionString(const QString &user, const QString &password) const
{
    return QStringLiteral("host=%1 dbname=%2 user=%3 password=%4").arg(m_facts.socket, m_name, user, password);
}

void TempDatabase::open(engine::Database &db, const QStringList &requiredTables)
{
    if (onServer()) {
        db.openServer(connectionString(m_facts.appUser, m_facts.appPassword), requiredTables);
        return;
    }
    if (!QFileInfo::exists(m_path))
        db.create(m_path, kFileKey);
    else
        db.open(m_path, kFileKey, requiredTables);
}

void TempDatabase::openReport(engine::Database &db)
{
    if (onServer()) {
        db.openServer(connectionString(m_facts.reportUser, m_facts.reportPassword));
        return;
    }
    db.open(m_path, kFileKey);
    engine::restrictToQueries(db);
}

} // namespace testsupport
