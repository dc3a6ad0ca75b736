#include "data/Connections.h"

#include "engine/EngineError.h"

#include <QFileInfo>
#include <QStringList>

namespace core {

namespace {

const QStringList kOfficeTables{QStringLiteral("users")};

QString officeKey()
{
    return passwordFromConnect(QLatin1String(kConnectString));
}

} // namespace

QString passwordFromConnect(const QString &connect)
{
    const QStringList parts = connect.split(QLatin1Char(';'));
    for (const QString &part : parts) {
        const QString p = part.trimmed();
        if (p.startsWith(QLatin1String("pwd="), Qt::CaseInsensitive))
            return p.mid(4);
    }
    return {};
}

OpenResult DataConnections::openMain(QString dbFile, const std::function<QString()> &beforeRetry)
{
    closeMain();
    const QString password = officeKey();
    for (int attempt = 1;; ++attempt) {
        try {
            if (!m_main)
                m_main = std::make_unique<engine::Database>();
            // A file that opens but holds no office schema is not ours; it
            // is refused before anything is written to it.
            m_main->open(dbFile, password, kOfficeTables);
            return {true, 0, {}};
        } catch (const engine::EngineError &e) {
            const int n = e.number();
            // A damaged file is refused as a foreign one is: untouched.
            if (n == engine::ErrObjectNotFound || n == engine::ErrDamagedFile)
                return {false, n, QStringLiteral("Invalid Access")};
            // A file another workstation keeps locked (past the engine's
            // own waiting) is tried again too, within the same bound.
            if ((n == engine::ErrInvalidArgument || n == engine::ErrFileNotFound
                 || n == engine::ErrFileLocked)
                && attempt < kOpenAttempts) {
                if (beforeRetry)
                    dbFile = beforeRetry();
                continue;
            }
            return {false, n, QStringLiteral("Invalid Access-%1").arg(n)};
        }
    }
}

void DataConnections::closeMain()
{
    if (m_main)
        m_main->close();
}

engine::Database &DataConnections::main()
{
    if (!isOpen())
        throw engine::EngineError(engine::ErrInvalidArgument,
                                  QStringLiteral("The database is not open"));
    return *m_main;
}

std::unique_ptr<engine::Database> DataConnections::openView(const QString &dbFile) const
{
    if (m_main && m_main->isOpen()
        && QFileInfo(m_main->path()).absoluteFilePath() == QFileInfo(dbFile).absoluteFilePath()) {
        auto view = std::make_unique<engine::Database>();
        view->open(m_main->openSpec());
        return view;
    }
    return openFile(dbFile, kOfficeTables);
}

std::shared_ptr<engine::Database> DataConnections::sharedView(const QString &dbFile)
{
    if (!m_sharedView || !m_sharedView->isOpen() || m_sharedViewPath != dbFile) {
        m_sharedView = openView(dbFile);
        m_sharedViewPath = dbFile;
    }
    return m_sharedView;
}

std::unique_ptr<engine::Database> DataConnections::openFile(const QString &dbFile,
                                                            const QStringList &requiredTables)
{
    auto db = std::make_unique<engine::Database>();
    db->open(dbFile, officeKey(), requiredTables);
    return db;
}

} // namespace core
