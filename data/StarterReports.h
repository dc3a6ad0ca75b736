#pragma once

#include <QList>
#include <QString>

namespace core {
class DataStore;
}
namespace engine {
class Database;
}

namespace reports {

// A report the program ships, as its catalogue row.
struct StarterReport {
    QString report;      // file base name, at most 10 characters
    QString description; // at most 50 characters
    QString parms;       // catalogue category, "0".."5"
};

// The reports shipped with the program, in catalogue order.
const QList<StarterReport> &starterReports();

// The folder beside the program that holds the shipped report files.
QString starterReportsDir(const QString &programDir);

// The list, beside the shipped reports, of the versions shipped before:
// lines "<SHA-256 in hex>  <file name>".
inline constexpr const char *kShippedBeforeFile = "shipped-before.sha256";

// Copies every shipped report file into the report folder where a file of
// that name is missing. A file already there is replaced only when it is
// exactly a version shipped before (the office left it as it came), so it
// gets the mends of the new one; a file the office changed is never
// replaced. Failures are skipped. Returns the files copied.
int installStarterReports(const core::DataStore &store);

// Adds the catalogue rows of the shipped reports that the table rpts does
// not have yet.
void addStarterCatalogue(engine::Database &db);

} // namespace reports
