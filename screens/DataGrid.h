#pragma once

#include "screens/DataSource.h"
#include "screens/GridExport.h"

#include <QHash>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTableView>

#include <functional>

namespace core {

class BusyFeedback;
class MessageService;
class SaveFileChooser;

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
//
// Its context menu and Ctrl+Shift+X export the list as it is shown to an
// XLSX or CSV file (GridExport), once a save-file chooser is given.
class DataGrid : public QTableView {
    Q_OBJECT
public:
    explicit DataGrid(QWidget *parent = nullptr);
    ~DataGrid() override;

    void setDataSource(DataSource *source);
    DataSource *dataSource() const { return m_source; }
    // Where sort failures are shown.
    void setMessageService(MessageService *messages) { m_messages = messages; }
    // Where exports ask for their file; without one the list is not exported.
    void setSaveFileChooser(SaveFileChooser *chooser) { m_saveFiles = chooser; }

    // Asks for a file and writes the list to it (see GridExport).
    void exportList(sheets::Format preferred = sheets::Format::Xlsx);
    bool canExport() const;
    GridExport &exporter();
    // The columns as shown, with the texts of their cells; also safe off
    // the window's thread (as long as each setCellText text is).
    QList<GridExport::Column> exportColumns() const;
    // The name of the file and sheet: set, or the title of the screen.
    QString exportName() const;
    void setExportName(const QString &name) { m_exportName = name; }

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
    // How the cells of a field read (letter case ignored): a stored time
    // shown as the office reads times, a code as its name. value() and
    // columnValue() keep giving the stored value. Exports call it off the
    // window's thread: it reads nothing but the value.
    using CellText = std::function<QString(const QVariant &value)>;
    void setCellText(const QString &field, CellText text);
    // The text a cell shows (its stored value unless setCellText says otherwise).
    QString shownText(int row, int col) const;

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
    void contextMenuEvent(QContextMenuEvent *event) override;

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
    SaveFileChooser *m_saveFiles = nullptr;
    GridExport *m_export = nullptr;
    QString m_exportName;
    QStringList m_fields;
    QVector<int> m_visible; // model columns in grid order
    QHash<int, QString> m_headings;
    HeadingProvider m_headingProvider;
    QHash<QString, CellText> m_cellTexts; // by folded field name
    QStringList m_sizedFor; // the fields the columns were last sized for
    Qt::KeyboardModifiers m_sortModifiers = Qt::NoModifier;
    bool m_sortEnabled = true;
    BusyFeedback *m_busy = nullptr; // while the source works in the background
    QList<QMetaObject::Connection> m_sourceConnections;
};

} // namespace core
