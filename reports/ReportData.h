#pragma once

#include "ReportDefinition.h"

#include <QImage>
#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

namespace engine {
class Database;
}

namespace reports {

// The rows one query of a report gave, every value as text (null as empty).
struct QueryResult {
    QString name;
    QStringList columns;
    QList<QStringList> rows;
    int column(const QString &anyCase) const;
};

// Where a report finds what is not in the database.
struct ReportPlaces {
    QString pictureDir; // the persons' pictures
    QString logoFile;   // the office logo (may be missing)
    QString today;      // the date printed on the report, "yyyy/mm/dd"
};

// Everything a report shows: its definition, the parameter values, the
// rows of its queries and its pictures.
struct ReportData {
    ReportDefinition def;
    QMap<QString, QString> parameters;
    QList<QueryResult> results;
    QImage picture; // the person's picture; null when there is none
    QImage logo;
    QString today;

    const QueryResult *result(const QString &name) const;
    qint64 rowCount() const;
};

// Runs the queries of a report on a connection of its own that answers
// queries only. run() may be called on any thread; cancel() from another.
class QueryRunner {
public:
    using ConnectionFactory = std::function<std::unique_ptr<engine::Database>()>;
    explicit QueryRunner(ConnectionFactory openConnection);

    // Checks every query (a read, known parameters, the chart columns)
    // before running any, then reads their rows. `progress` gets the rows
    // read so far. Throws ReportError with one message naming the file.
    ReportData run(const ReportDefinition &def, const QStringList &values, const ReportPlaces &places,
                   const std::function<void(qint64)> &progress = {});
    // Creates the indexes of the office schema that the file lacks (a file
    // made before they were added), on a connection of its own that may
    // write. True when the file has them now; false when it cannot be
    // written to: the reports still run, only slower. Throws
    // ReportError(cancelledMessage()) when cancelled; the file then stays
    // as it was.
    bool addMissingIndexes();
    // Stops a running query; run() then throws ReportError(cancelledMessage()).
    void cancel();
    bool isCancelled() const { return m_cancelled; }

    static QString cancelledMessage();

private:
    // The connection cancel() interrupts (none: nullptr).
    void watch(engine::Database *db);

    ConnectionFactory m_open;
    QMutex m_mutex; // guards m_db against cancel() while it closes
    engine::Database *m_db = nullptr;
    std::atomic<bool> m_cancelled{false};
};

} // namespace reports
