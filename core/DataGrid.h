#pragma once

#include "engine/EngineError.h"

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
class QueryCursor;
} // namespace engine

namespace core {

class DataStore;
class MessageService;

// Rows of a query cursor, read as the views ask for them: a fresh result
// shows its first batch at once and grows a batch at a time (canFetchMore /
// fetchMore), so memory follows what was scrolled, not the table's size.
// Read-only; null values show as empty text.
class QueryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kDefaultBatch = 256;

    explicit QueryModel(QObject *parent = nullptr);
    ~QueryModel() override;

    // Takes the cursor, forgets the old rows and reads the first batch.
    // A null cursor empties the model.
    void setCursor(std::unique_ptr<engine::QueryCursor> cursor);
    engine::QueryCursor *cursor() const { return m_cursor.get(); }
    void clear();
    // Lets the cursor go but keeps the rows read so far (no more are read).
    void releaseCursor();

    int batchSize() const { return m_batch; }
    void setBatchSize(int rows) { m_batch = qMax(1, rows); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool canFetchMore(const QModelIndex &parent = {}) const override;
    void fetchMore(const QModelIndex &parent = {}) override;

    QStringList fieldNames() const { return m_columns; }
    QString fieldName(int column) const { return m_columns.value(column); }
    // Column of a field, letter case ignored; -1 when there is none.
    int fieldIndex(const QString &name) const;
    // The stored value (null stays null); invalid QVariant outside the rows read.
    QVariant value(int row, int column) const;
    // Reads on until the row exists or the result ends; true when it exists.
    bool fetchUntil(int row);
    // First row read so far whose column equals the text (letter case
    // ignored); -1 when none. Reads nothing more.
    int findLoaded(int column, const QString &text) const;

    // An error met while reading on ends the rows; this is its number (0 when none).
    int fetchErrorNumber() const { return m_fetchError; }

signals:
    void fetchFailed(int number, const QString &description);

private:
    int readRows(int count);

    std::unique_ptr<engine::QueryCursor> m_cursor;
    QStringList m_columns;
    QVector<QVariantList> m_rows;
    bool m_atEnd = true;
    int m_fetchError = 0;
    int m_batch = kDefaultBatch;
};

// A data source: a database and a record source, either a table (table
// type) or an SQL select with bound values (dynaset). refresh() runs it
// again; its rows are offered to grids and look-up lists through model().
// Errors are EngineError exceptions; a failed run keeps the rows shown.
class DataSource : public QObject {
    Q_OBJECT
public:
    enum class RecordsetType { Table = 0, Dynaset = 1 };

    explicit DataSource(const QString &objectName = {}, QObject *parent = nullptr);
    ~DataSource() override;

    // The database: the data store's file, read through a connection of
    // the source's own (a grid keeps its statement open while rows are
    // scrolled into view; on its own connection it holds back nothing of the
    // screens' reads and writes)...
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

    // Re-reads the current rows in the order "[field]" or "[field] desc".
    // A table-type source is not sorted: returns false. Throws on failure,
    // keeping the rows shown.
    bool sort(const QString &sortText);

    QueryModel *model() const { return m_model; }
    engine::QueryCursor *recordset() const { return m_model->cursor(); }
    // True once a run has succeeded.
    bool isOpen() const { return m_model->cursor() != nullptr; }

signals:
    // After a successful refresh or sort.
    void refreshed();

private:
    QString selectText(engine::Database &db) const;
    engine::Database &connection(std::unique_ptr<engine::Database> &fresh);

    DataStore *m_store = nullptr;
    engine::Database *m_db = nullptr;
    std::unique_ptr<engine::Database> m_view; // own connection on the store's file
    QString m_viewPath;
    RecordsetType m_type = RecordsetType::Dynaset;
    QString m_source;
    QVariantList m_values;
    QueryModel *m_model;
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
};

} // namespace core
