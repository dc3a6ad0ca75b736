#include "support/TempDataFolder.h"

#include "data/Passwords.h"
#include "data/Schema.h"

#include <QFile>
#include <QFileInfo>

namespace testsupport {

namespace {
constexpr int kTestPasswordRounds = 1000;
}

QStringList TempDataFolder::defaultDbPathLines()
{
    return {QStringLiteral("0"), QStringLiteral("\\data"), QStringLiteral("\\pictures"),
            QStringLiteral("\\material"), QStringLiteral("\\forms")};
}

TempDataFolder::TempDataFolder(bool writeDefaultDbPath)
{
    // A password hash at the program's real cost takes a tenth of a second;
    // tests with a database hash with few rounds (tst_passwords checks the
    // real cost).
    core::Passwords::setRounds(kTestPasswordRounds);
    if (testOnServer())
        m_server = std::make_unique<TempDatabase>();
    if (writeDefaultDbPath && m_dir.isValid())
        writeDbPath(dbPathLines());
}

QStringList TempDataFolder::dbPathLines() const
{
    QStringList lines = defaultDbPathLines();
    if (m_server)
        lines << m_server->connectionString(m_server->facts().appUser, m_server->facts().appPassword);
    return lines;
}

std::unique_ptr<engine::Database> TempDataFolder::openOtherConnection() const
{
    const QString dbFile = m_store ? m_store->config().dbFile : dataDir() + QStringLiteral("/velm.mdb");
    if (m_server && (!m_store || m_store->config().onServer()))
        return core::DataConnections::openServer(m_store ? m_store->config().server : dbPathLines().last());
    return core::DataConnections::openFile(dbFile);
}

TempDataFolder::~TempDataFolder()
{
    // The connection goes before the files (or the server database) it holds.
    m_store.reset();
    m_server.reset();
}

QString TempDataFolder::path(const QString &relative) const
{
    return m_dir.path() + QLatin1Char('/') + relative;
}

void TempDataFolder::writeDbPath(const QStringList &lines, const QByteArray &lineEnd,
                                 bool withBom) const
{
    QByteArray content;
    if (withBom)
        content += "\xEF\xBB\xBF";
    // A server run keeps the office database on the server whatever
    // folders the test names.
    QStringList all = lines;
    if (m_server && all.size() == 5)
        all << dbPathLines().last();
    for (const QString &line : all)
        content += line.toUtf8() + lineEnd;
    writeDbPathBytes(content);
}

void TempDataFolder::writeDbPathBytes(const QByteArray &content) const
{
    QFile file(path(QStringLiteral("db_path")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        qFatal("TempDataFolder: cannot write %s", qPrintable(file.fileName()));
}

QString TempDataFolder::placeFirstDatabase() const
{
    const QString file = path(QLatin1String(core::kDatabaseFileName));
    if (!QFileInfo::exists(file))
        core::schema::createFirstDatabase(
            file, core::passwordFromConnect(QLatin1String(core::kConnectString)));
    return file;
}

core::DataStore &TempDataFolder::store()
{
    if (!m_store)
        m_store = std::make_unique<core::DataStore>(programDir());
    return *m_store;
}

core::DataStore &TempDataFolder::openStore()
{
    // On the server the office database is made when first opened.
    if (!m_server)
        placeFirstDatabase();
    core::DataStore &s = store();
    if (!s.isOpen()) {
        s.READDBPATH();
        const core::OpenResult r = s.OPENDATABASE();
        if (!r.ok)
            throw engine::EngineError(r.errorNumber, r.message);
    }
    return s;
}

QList<int> TempDataFolder::allPermissions()
{
    QList<int> all;
    for (int n = 1; n <= 14; ++n)
        all << n;
    return all;
}

void TempDataFolder::addUser(engine::Database &db, const QString &userId, const QString &password,
                             const QString &name, const QList<int> &granted)
{
    QStringList columns{QStringLiteral("USERID"), QStringLiteral("PASSWORD"), QStringLiteral("NAME"),
                        QStringLiteral("english_NAME"), QStringLiteral("TELEPHONE"),
                        QStringLiteral("PAGER"), QStringLiteral("ADDRESS"), QStringLiteral("job")};
    QVariantList values{userId, password, name, QString(), QStringLiteral(" "),
                        QStringLiteral(" "), QStringLiteral(" "), QStringLiteral(" ")};
    for (int n = 1; n <= 14; ++n) {
        columns << QStringLiteral("check%1").arg(n);
        values << (granted.contains(n) ? 1 : 0);
    }
    QStringList marks;
    for (qsizetype i = 0; i < columns.size(); ++i)
        marks << QStringLiteral("?");
    db.execute(QStringLiteral("INSERT INTO users (%1) VALUES (%2)")
                   .arg(columns.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
               values);
}

void TempDataFolder::addPerson(engine::Database &db, const QString &tamrelNo,
                               const QString &aNewName, const QString &eNewName)
{
    db.execute(QStringLiteral("INSERT INTO tamrel (tamrel_no, a_new_name, e_new_name) VALUES (?, ?, ?)"),
               {tamrelNo, aNewName, eNewName});
}

} // namespace testsupport
