#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace core {

inline constexpr const char *kDatabaseFileName = "velm.mdb";
inline constexpr int kConfigReadLimit = 64 * 1024; // bytes of db_path read at most

// Values derived from the configuration file db_path.
struct DataStoreConfig {
    QString showLogo2;   // line 1
    QString dataDir;     // line 2, expanded; also the report folder
    QString pictureDir;  // line 3
    QString materialDir; // line 4
    QString formsDir;    // line 5
    QString dbFile;      // dataDir + "/velm.mdb", or the other_db choice
    // Line 6, optional: a libpq connection string or "service=NAME". When
    // given, the office database is on that server; the data folder still
    // holds pictures, material, forms, reports and backups.
    QString server;
    bool onServer() const { return !server.isEmpty(); }
    QString reportDir() const { return dataDir; }
};

// The configuration file db_path in the program folder: the second splash
// on line 1, then the data, picture, material and forms folders, and
// optionally the database server.
class DbPathReader {
public:
    // programDir without a trailing slash.
    explicit DbPathReader(QString programDir) : m_programDir(std::move(programDir)) {}

    QString filePath() const { return m_programDir + QLatin1String("/db_path"); }

    // The values of the file. None when it is missing or unreadable, or is
    // not a regular file (a pipe, a device); only its first 64 KB are read.
    std::optional<DataStoreConfig> read() const;

    // The values a file with these bytes gives (UTF-8 or the Arabic Windows
    // code page, any line ends, missing lines empty).
    DataStoreConfig parse(const QByteArray &bytes) const;

private:
    QString m_programDir;
};

} // namespace core
