#include "data/OpenDb.h"

namespace core {

DataStore::DataStore(QString programDir) : m_programDir(std::move(programDir))
{
    while (m_programDir.size() > 1 && m_programDir.endsWith(QLatin1Char('/')))
        m_programDir.chop(1);
}

DataStore::~DataStore()
{
    CLOSEDATABASE();
}

bool DataStore::READDBPATH()
{
    const std::optional<DataStoreConfig> read = DbPathReader(m_programDir).read();
    if (!read)
        return false;
    m_config = *read;
    MAKEFOLDERS();
    return true;
}

void DataStore::MAKEFOLDERS()
{
    DataFolders(m_programDir).make(m_config);
}

OpenResult DataStore::OPENDATABASE()
{
    CLOSEDATABASE();
    if (m_config.onServer())
        return m_connections.openMainOnServer(m_config.server);
    // Re-reading db_path may place the first database.
    return m_connections.openMain(m_config.dbFile, [this] {
        READDBPATH();
        return m_config.dbFile;
    });
}

void DataStore::CLOSEDATABASE()
{
    m_slots.closeAll();
    m_connections.closeMain();
}

void DataStore::closeEveryConnection()
{
    CLOSEDATABASE();
    m_connections.releaseSharedView();
}

std::unique_ptr<engine::Database> DataStore::openViewConnection() const
{
    return m_connections.openView(m_config.dbFile, m_config.server);
}

std::shared_ptr<engine::Database> DataStore::sharedViewConnection()
{
    return m_connections.sharedView(m_config.dbFile, m_config.server);
}

bool DataStore::openOnConfiguredDatabase() const
{
    return m_connections.mainIsOn(m_config.dbFile, m_config.server);
}

void DataStore::openAllCodeTables()
{
    for (int n = 1; n <= 18; ++n)
        slot(codeTableName(n)).open();
}

QString DataStore::codeTableName(int number)
{
    return QStringLiteral("category%1").arg(number);
}

} // namespace core
