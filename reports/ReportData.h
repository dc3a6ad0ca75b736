#pragma once

#include "data/BackgroundQuery.h"
#include "data/BackgroundTask.h"
#include "reports/ReportDefinition.h"

#include <QImage>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

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
    // Where the pictures a layout names may come from: the picture, data
    // and program folders.
    QStringList pictureFolders = {};
};

// Everything a report shows: its definition, the parameter values, the
// rows of its queries and its pictures.
struct ReportData {
    ReportDefinition def;
    QMap<QString, QString> parameters;
    QList<QueryResult> results;
    QImage picture; // the person's picture; null when there is none
    QImage logo;
    // Where picture and logo are read from, by readReportPictures().
    QString pictureFile;
    QString logoFile;
    QString today;
    QStringList pictureFolders; // see ReportPlaces

    const QueryResult *result(const QString &name) const;
    qint64 rowCount() const;
};

// Reads the person's picture and the logo (once): files that may be slow or
// large, read off the window's thread.
void readReportPictures(ReportData &data);

// Runs the queries of a report on a connection of its own that answers
// queries only (the factory opens it; the runner restricts it). Every query
// is checked (a read, known parameters, the chart columns) before any runs;
// a failure is one ReportError message naming the file.
//
// run() reads everything on the calling thread. start() is the window's
// way: the rows are read through a core::BackgroundQuery, on the checked
// connection for a moment and, when that is not enough, on a worker's
// connection opened with the same key, so the window never waits; the
// outcome, finished() or failed(), always comes after start() returns.
class QueryRunner : public QObject {
    Q_OBJECT
public:
    using ConnectionFactory = std::function<std::unique_ptr<engine::Database>()>;
    explicit QueryRunner(ConnectionFactory openConnection, QObject *parent = nullptr);
    ~QueryRunner() override;

    // `values` are the parameter values by name (see
    // ReportDefinition::parameterValues); each query is given those of the
    // names it uses, in its own order. Throws ReportError.
    ReportData run(const ReportDefinition &def, const QMap<QString, QString> &values, const ReportPlaces &places);

    // Signals rowsRead() as rows come in, then finished() (the data in
    // takeData(), its pictures not yet read) or failed().
    void start(const ReportDefinition &def, const QMap<QString, QString> &values, const ReportPlaces &places);
    ReportData takeData();

    // Stops the queries started: failed(cancelledMessage()) follows.
    void cancel();
    bool isCancelled() const { return m_cancelled; }

    static QString cancelledMessage();

signals:
    void rowsRead(qint64 rows);
    void finished();
    void failed(const QString &message);

private:
    struct Planned;
    void begin(const ReportDefinition &def, const QMap<QString, QString> &values, const ReportPlaces &places);
    core::BackgroundQuery::Request request(const Planned &query) const;
    ReportError queryError(const Planned &query, int number, const QString &description) const;
    void addRows(core::BackgroundQuery::Batch batch);
    void next();
    void onFinished(int run, int error, const QString &description);
    void fail(const QString &message);
    void end();

    ConnectionFactory m_open;
    bool m_cancelled = false;

    std::unique_ptr<engine::Database> m_checked; // the queries were checked here; read here first
    std::vector<Planned> m_plan;
    size_t m_next = 0;
    ReportData m_data;
    qint64 m_total = 0;
    bool m_running = false;
    core::BackgroundQuery *m_query;
};

// Creates the indexes of the office schema that a data file lacks (a file
// made before they were added), on a connection of its own that may write.
class MissingIndexes {
public:
    explicit MissingIndexes(QueryRunner::ConnectionFactory openConnection);

    // True when the file has them now; false when it cannot be written to:
    // the reports still run, only slower. Throws
    // ReportError(QueryRunner::cancelledMessage()) when `stop` is asked for
    // meanwhile; the file then stays as it was.
    bool add(const core::StopToken &stop);

private:
    QueryRunner::ConnectionFactory m_open;
};

} // namespace reports
