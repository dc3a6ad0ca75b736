#pragma once

#include "data/BackgroundTask.h"
#include "sheets/SheetWriter.h"

#include <QList>
#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>

namespace core {

class BusyFeedback;
class DataGrid;
class MessageService;
class SaveFileChooser;

// The two kinds of file a list or a report is exported to, as the file
// dialog offers them.
QStringList exportFileTypes();          // "Excel (*.xlsx)", "CSV (*.csv)"
sheets::Format exportFormat(int type);  // index into exportFileTypes()
int exportFileType(sheets::Format format);
// A file name of `name` that any file system takes ("list" when nothing is left).
QString exportFileName(const QString &name, sheets::Format format);

// Writes what a grid holds to an XLSX or CSV file: the columns as the grid
// shows them (headings, widths, each cell's text as the grid gives it) and
// exactly its rows in its order: a search its result, a sorted grid its
// order. A grid of a million rows holds only their identities, so the
// rows are read again, a few hundred at a time, on a connection of the
// export's own off the window's thread and written as they come: memory
// stays small, the window stays usable, the busy panel over the grid shows
// the rows written and stops the export (its button, Esc). The file takes
// its name only when it is whole; a stopped or failed export leaves nothing.
// A list still being read is exported once it has been read.
class GridExport : public QObject {
    Q_OBJECT
public:
    GridExport(DataGrid &grid, MessageService *messages);
    ~GridExport() override;

    // Asks for the file (both kinds offered, `preferred` first), then exports.
    void ask(SaveFileChooser &chooser, sheets::Format preferred);
    // Exports to `path`; returns at once, finished() follows.
    void start(const QString &path, sheets::Format format);
    void cancel();
    bool isRunning() const;

    // How each column reads: the grid's own texts of a row's values.
    struct Column {
        int modelColumn = -1;
        QString heading;
        int widthPixels = 0;
        std::function<QString(const QVariant &)> text;
    };

signals:
    // The file is written (`written`), or the export failed or was stopped.
    void finished(bool written, const QString &path, qint64 rows);

private:
    struct Outcome;
    void begin(const QString &path, sheets::Format format);
    void done(const Outcome &outcome, const QString &path);

    DataGrid &m_grid;
    MessageService *m_messages;
    BusyFeedback *m_busy;
    QMetaObject::Connection m_waiting; // for the list to be read whole
    bool m_stopped = false;
    BackgroundTask m_task{this};
};

} // namespace core
