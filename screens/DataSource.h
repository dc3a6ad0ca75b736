#pragma once

#include "screens/QueryModel.h"
#include "engine/EngineError.h"
#include "engine/ResultPlan.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>

namespace engine {
class Database;
class Statement;
} // namespace engine

namespace core {

class DataStore;

// A data source: a database and a record source, either a table (table
// type) or an SQL select with bound values (dynaset). refresh() runs it
// again; its rows are offered to grids and look-up lists through model().
// Errors are EngineError exceptions; a failed run keeps the rows shown.
//
// A run that takes longer than a moment goes on in the background (see
// BackgroundQuery): refresh() and sort() return with the first rows shown,
// workStarted() and workFinished() frame the rest, and cancel() stops it
// (the grid does that on Esc). A quick run, a look-up list or a small
// table, is complete when refresh() returns. Searches of the person
// register are such runs: setQuery(search, values) then refresh().
class DataSource : public QObject {
    Q_OBJECT
public:
    enum class RecordsetType { Table = 0, Dynaset = 1 };

    explicit DataSource(const QString &objectName = {}, QObject *parent = nullptr);
    ~DataSource() override;

    // The database: the data store's file, read through the store's view
    // connection, which the grids and look-up lists share (they hold no
    // statement open between two reads, so none holds back the screens'
    // reads and writes); runs in the background use connections of their own...
    void setDatabase(DataStore &store);
    // ... or a given open connection.
    void setDatabase(engine::Database &db);
    bool hasDatabase() const { return m_store || m_db; }

    // Record source: a table, read in stored order (table type)...
    void setTable(const QString &table);
    // ... or a select with bound values (dynaset).
    void setQuery(const QString &sql, const QVariantList &values = {});
    RecordsetType recordsetType() const { return m_type; }
    const QString &recordSource() const { return m_source; }
    const QVariantList &boundValues() const { return m_values; }

    // Runs the record source again. On failure throws and keeps the old rows.
    void refresh();
    // Same, reporting failure by the result instead of throwing.
    bool tryRefresh(engine::EngineError *error = nullptr);

    // Shows the current rows in the order "[field]" or "[field] desc": only
    // the (value, row) pairs are sorted, the rows are read as shown. A
    // table-type source is not sorted: returns false. Throws on failure,
    // keeping the rows shown; the rows stay shown until the sorted ones come.
    bool sort(const QString &sortText);

    // How long a run reads on the window's thread before it goes on in the
    // background (BackgroundQuery's inline budget, 100 ms by default). A
    // list re-run by a button of a large table keeps it short, so the
    // button returns at once with the first rows.
    void setInlineBudget(int ms) { m_inlineBudgetMs = qMax(0, ms); }
    int inlineBudget() const { return m_inlineBudgetMs; }

    // Stops the run going on in the background; the rows found stay.
    void cancel();
    // workFinished() is still to come for the rows shown.
    bool isRunning() const;

    // The rows the source shows, in their order, as they can be read again
    // off the window's thread with a connection of one's own (an export):
    // a result kept by identities as those (8 bytes a row) and the select
    // that reads their rows, any other as its rows.
    struct RowsInOrder {
        QStringList columns;
        bool byIdentity = false;
        QVector<qint64> ids;
        QVector<QVariantList> rows;
        QString fetchSql; // row id first, then the columns; fetchSlots ids bound
        int fetchSlots = 0;
        engine::OpenSpec openSpec;
        qint64 count() const { return byIdentity ? ids.size() : rows.size(); }
    };
    RowsInOrder rowsInOrder() const;
    // The rows (columns without the id) of these identities through a
    // statement prepared from fetchSql; the ones gone meanwhile are missing.
    static QHash<qint64, QVariantList> readRows(engine::Statement &fetch, int fetchSlots,
                                                const QVector<qint64> &ids);
    // The row of the shown result whose fields hold these values (a
    // record's key), letter case ignored; -1 when the rows found so far have
    // none. Looks among the rows held first; for a result kept by its row
    // identities, one look-up by the values on the table. Never throws.
    int rowOf(const QStringList &fields, const QVariantList &values);

    QueryModel *model() const { return m_model; }
    // True once a run has succeeded.
    bool isOpen() const { return m_model->hasResult(); }

signals:
    // After a successful refresh or sort, once its rows are shown.
    void refreshed();
    // A run goes on in the background (the grid shows that it works).
    void workStarted();
    // It ended: 0, 3059 when stopped, or an engine error.
    void workFinished(int errorNumber, const QString &description);

private:
    QString selectText(engine::Database &db) const;
    engine::Database &connection(std::shared_ptr<engine::Database> &fresh);
    void show(int run, bool keepShown);

    DataStore *m_store = nullptr;
    engine::Database *m_db = nullptr;
    std::shared_ptr<engine::Database> m_view; // the store's view connection
    QString m_viewPath;
    RecordsetType m_type = RecordsetType::Dynaset;
    QString m_source;
    QVariantList m_values;
    QueryModel *m_model;
    BackgroundQuery *m_query;
    engine::ResultPlan m_plan;           // of the select shown
    QStringList m_columns;
    std::unique_ptr<engine::Statement> m_fetch; // rows by identity, on the view connection
    engine::OpenSpec m_openSpec;         // of the connection the rows shown came from
    std::unique_ptr<engine::Statement> m_idsOf; // rowOf's look-up by values
    QString m_idsOfSql;
    engine::Database *m_idsOfDb = nullptr;
    bool m_announce = false;             // emit refreshed() when the model shows the run
    int m_inlineBudgetMs = 100;
};

} // namespace core
