#pragma once

#include "data/BackgroundQuery.h"
#include "engine/EngineError.h"
#include "engine/ResultPlan.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <QVariant>
#include <QVariantList>
#include <QVector>

#include <functional>
#include <memory>

namespace engine {
class Database;
class Statement;
} // namespace engine

namespace core {

class BusyFeedback;
class DataStore;
class MessageService;

// The rows of a data source's result as the views ask for them. A result
// whose rows can be named (a select from one table) is kept as the list of
// its row identities (8 bytes a row) and the rows near what is shown, read
// again when scrolled back to: memory follows the rows shown, not the
// table's size. Other results keep every row. Rows found by a run still
// going on in the background are added as they come. Read-only; null
// values show as empty text.
class QueryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kDefaultBatch = 256;
    // Blocks of batchSize() rows held at most for a result kept by identities.
    static constexpr int kCachedBlocks = 16;

    // Reads the rows of these identities (missing ones are gone meanwhile).
    using RowReader = std::function<QHash<qint64, QVariantList>(const QVector<qint64> &ids)>;

    explicit QueryModel(QObject *parent = nullptr);
    ~QueryModel() override;

    // Shows run `run` of `feed` under these columns: the rows found so far
    // and those found later. With a reader the run hands over identities.
    // With keepShown the rows shown stay until the run hands over its first
    // rows or ends without error (a sort: the same rows in a new order).
    void showRun(const QStringList &columns, BackgroundQuery *feed, int run, RowReader reader, bool keepShown);
    // No result at all (no columns, no rows).
    void clear();
    bool hasResult() const { return m_hasResult; }
    // True while the run shown still finds rows in the background.
    bool isRunning() const;

    int batchSize() const { return m_batch; }
    void setBatchSize(int rows);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // Rows the background run has found and the views have not taken yet.
    bool canFetchMore(const QModelIndex &parent = {}) const override;
    void fetchMore(const QModelIndex &parent = {}) override;

    QStringList fieldNames() const { return m_columns; }
    QString fieldName(int column) const { return m_columns.value(column); }
    // Column of a field, letter case ignored; -1 when there is none.
    int fieldIndex(const QString &name) const;
    // The stored value (null stays null); invalid QVariant outside the rows.
    QVariant value(int row, int column) const;
    // Waits for a background run until the row exists or the run ends;
    // true when it exists. Meant for rows already shown or about to be.
    bool fetchUntil(int row);
    // First row held in memory whose column equals the text (letter case
    // folded as the engine folds it); -1 when none. Reads nothing more.
    int findLoaded(int column, const QString &text) const;
    // Rows held in memory now.
    qsizetype heldRows() const;

    // An error met while the run read on ends the rows; this is its number (0 when none).
    int fetchErrorNumber() const { return m_fetchError; }

signals:
    void fetchFailed(int number, const QString &description);
    // A run's rows have replaced what was shown.
    void resultShown();
    // The background run ended: 0, 3059 when stopped, or an engine error.
    void runFinished(int errorNumber, const QString &description);

private:
    struct Block {
        QVector<QVariantList> rows;
        quint64 used = 0;
    };
    void install();
    void drain();
    void append(const QVector<qint64> &ids, const QVector<QVariantList> &rows);
    const QVariantList *row(int r) const;
    void onRowsFound(int run);
    void onFinished(int run, int error, const QString &description);

    QStringList m_columns;
    bool m_hasResult = false;
    bool m_keyset = false;
    QVector<qint64> m_ids;
    QVector<QVariantList> m_rows;
    mutable QHash<int, Block> m_blocks;
    mutable quint64 m_clock = 0;
    RowReader m_reader;

    QPointer<BackgroundQuery> m_feed;
    int m_run = 0;
    bool m_awaitingFirst = false;
    QStringList m_nextColumns;
    RowReader m_nextReader;
    QMetaObject::Connection m_found;
    QMetaObject::Connection m_finished;

    int m_fetchError = 0;
    int m_batch = kDefaultBatch;
};

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
    bool isRunning() const;

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
    QHash<qint64, QVariantList> readRows(const QVector<qint64> &ids);
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
    bool m_announce = false;             // emit refreshed() when the model shows the run
    int m_inlineBudgetMs = 100;
};

class HeadingModel;

// The list grid of a screen: shows a data source's columns (all, in query
// order, or a chosen list of fields), whole-row selection, read-only.
// Headings: a heading set for the grid column, else the heading provider's
// text for the column's field, else the field name. Clicking a heading
// sorts the current rows by that field: descending when Shift, Ctrl or Alt
// was held at the last mouse press or release on the grid, ascending
// otherwise.
//
// Each cell reads in its own text's direction and is cut on its own end
// (GridDelegate). On their first fill the columns take the width of their
// heading and of the first rows' texts, within kMaxColumnWidth; the last
// column takes the rest of the width.
//
// While the source works in the background (a search, a sort, a long list)
// the grid shows it (BusyFeedback) and Esc stops it; a failure is shown as
// "Error:n text".
class DataGrid : public QTableView {
    Q_OBJECT
public:
    explicit DataGrid(QWidget *parent = nullptr);
    ~DataGrid() override;

    void setDataSource(DataSource *source);
    DataSource *dataSource() const { return m_source; }
    // Where sort failures are shown.
    void setMessageService(MessageService *messages) { m_messages = messages; }

    // Shows only these fields, in this order (letter case ignored); an
    // empty list shows every column of the query.
    void setColumns(const QStringList &fields);
    // Replaces the heading of grid column col (kept across refreshes).
    void setHeading(int col, const QString &text);
    void clearHeadings();
    // The heading of a field (name as the query gives it); an empty answer
    // leaves the field name.
    using HeadingProvider = std::function<QString(const QString &field)>;
    void setHeadingProvider(HeadingProvider provider);
    // The heading grid column col shows.
    QString heading(int col) const;

    // Column sizing on the first fill: rows looked at, widest column.
    static constexpr int kSizingRows = 64;
    static constexpr int kMaxColumnWidth = 320;
    // Sizes the columns to their headings and first rows now.
    void sizeColumnsToContents();

    // Grid columns as shown, and the field behind each.
    int columnCount() const;
    QString columnField(int col) const;
    // Model column of grid column col; -1 when it does not exist.
    int modelColumn(int col) const;
    // Grid column showing a model column; -1 when hidden.
    int gridColumn(int modelColumn) const;

    int rowCount() const;
    int currentRow() const;
    // Makes a row current, reading on as far as needed; false when it does not exist.
    bool setCurrentRow(int row);
    // Text of column col in the current row; empty when there is no current row.
    QString columnValue(int col) const;
    // Text of column col in a row already read.
    QString value(int row, int col) const;

    // Shift/Ctrl/Alt held at the last mouse press or release on the grid.
    Qt::KeyboardModifiers sortModifiers() const { return m_sortModifiers; }
    void setSortModifiers(Qt::KeyboardModifiers modifiers);
    bool headingSortEnabled() const { return m_sortEnabled; }
    void setHeadingSortEnabled(bool on) { m_sortEnabled = on; }
    // Sorts by a grid column as a heading click does.
    void sortByHeading(int col);

signals:
    // A heading was clicked (grid column); emitted before the sort.
    void headingClicked(int col);
    // Enter on the current row, or a double click on a row: the user
    // chooses that row.
    void rowChosen(int row);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    friend class HeadingModel;
    void onHeaderClicked(int logicalIndex);
    void applyColumns();
    void afterReset();
    void sizeColumnsOnFirstFill();
    void onWorkStarted();
    void onWorkFinished(int errorNumber, const QString &description);

    QPointer<DataSource> m_source;
    HeadingModel *m_proxy;
    MessageService *m_messages = nullptr;
    QStringList m_fields;
    QVector<int> m_visible; // model columns in grid order
    QHash<int, QString> m_headings;
    HeadingProvider m_headingProvider;
    QStringList m_sizedFor; // the fields the columns were last sized for
    Qt::KeyboardModifiers m_sortModifiers = Qt::NoModifier;
    bool m_sortEnabled = true;
    BusyFeedback *m_busy = nullptr; // while the source works in the background
    QList<QMetaObject::Connection> m_sourceConnections;
};

} // namespace core
