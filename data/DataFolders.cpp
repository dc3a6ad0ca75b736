#include "data/DataFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace core {

void DataFolders::make(const DataStoreConfig &config) const
{
    // The backup folder comes first, so it appears only at the start after
    // the data folder was made.
    QDir dir;
    dir.mkdir(config.dataDir + QLatin1String("/backup"));
    dir.mkdir(config.pictureDir);
    dir.mkdir(config.materialDir);
    dir.mkdir(config.formsDir);
    dir.mkdir(config.dataDir);
    placeFirstDatabase(config.dataDir);
}

bool DataFolders::placeFirstDatabase(const QString &dataDir) const
{
    const QString source = m_programDir + QLatin1Char('/') + QLatin1String(kDatabaseFileName);
    const QString target = dataDir + QLatin1Char('/') + QLatin1String(kDatabaseFileName);
    if (!QFileInfo(source).isFile() || QFileInfo::exists(target))
        return false;
    // Copy under a temporary name and rename, since rename never replaces a file.
    const QString temp = QStringLiteral("%1.copy-%2")
                             .arg(target)
                             .arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
    if (!QFile::copy(source, temp)) {
        QFile::remove(temp);
        return false;
    }
    if (!QFile::rename(temp, target)) {
        QFile::remove(temp);
        return false;
    }
    return true;
}

} // namespace core
