#include "screens/GridExport.h"

#include "screens/BusyFeedback.h"
#include "screens/DataGrid.h"
#include "screens/Services.h"
#include "engine/Database.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>

namespace core {

namespace {

const QString kTitle = QStringLiteral("تصدير القائمة");
const QString kWorking = QStringLiteral("جاري تصدير القائمة...");
// Identities read again at a time: a few hundred rows in memory at most.
constexpr int kChunkRows = 1024;
constexpr int kProgressMs = 150;

struct Job {
    DataSource::RowsInOrder rows;
    QList<GridExport::Column> columns;
    QString path;
    sheets::Format format = sheets::Format::Xlsx;
    QString sheet;
};

// Shows `done` of `total` rows now and then, from the export's thread.
class Progress {
public:
    Progress(BusyFeedback *busy, qint64 total) : m_busy(busy), m_total(total) { m_clock.start(); }
    void at(qint64 done, bool now = false)
    {
        if (!now && m_clock.elapsed() < kProgressMs)
            return;
        m_clock.restart();
        m_busy->setProgress(done, m_total);
        m_busy->setDetail(QStringLiteral("تم تصدير %1 من %2 سطرا").arg(done).arg(m_total));
    }

private:
    BusyFeedback *m_busy;
    qint64 m_total;
    QElapsedTimer m_clock;
};

// The row's cells as the grid shows them, in `cells` (kept from row to row).
const QStringList &cellsOf(const QVariantList &values, const QList<GridExport::Column> &columns, QStringList &cells)
{
    static const QVariant none;
    cells.resize(columns.size());
    for (qsizetype i = 0; i < columns.size(); ++i) {
        const int c = columns.at(i).modelColumn;
        cells[i] = columns.at(i).text(c >= 0 && c < values.size() ? values.at(c) : none);
    }
    return cells;
}

// The rows in the grid's order; a row deleted since the grid listed it is
// left out (the grid shows it empty).
void writeRows(const Job &job, sheets::Writer &out, const BackgroundTask::Control &control, BusyFeedback *busy)
{
    Progress progress(busy, job.rows.count());
    QStringList cells;
    if (!job.rows.byIdentity) {
        qint64 done = 0;
        for (const QVariantList &row : job.rows.rows) {
            if (control.stopRequested() || out.failed())
                return;
            out.addRow(cellsOf(row, job.columns, cells));
            progress.at(++done);
        }
        return;
    }
    engine::Database db;
    db.open(job.rows.openSpec);
    db.setStopCheck([&control] { return control.stopRequested(); });
    engine::Statement fetch(db, job.rows.fetchSql);
    const QVector<qint64> &ids = job.rows.ids;
    for (qsizetype from = 0; from < ids.size(); from += kChunkRows) {
        if (control.stopRequested() || out.failed())
            return;
        const QVector<qint64> part = ids.mid(from, kChunkRows);
        const QHash<qint64, QVariantList> read = DataSource::readRows(fetch, job.rows.fetchSlots, part);
        for (const qint64 id : part) {
            const auto it = read.constFind(id);
            if (it != read.constEnd())
                out.addRow(cellsOf(*it, job.columns, cells));
        }
        progress.at(from + part.size());
    }
}

} // namespace

QStringList exportFileTypes()
{
    return {QStringLiteral("Excel (*.xlsx)"), QStringLiteral("CSV (*.csv)")};
}

sheets::Format exportFormat(int type)
{
    return type == 1 ? sheets::Format::Csv : sheets::Format::Xlsx;
}

int exportFileType(sheets::Format format)
{
    return format == sheets::Format::Csv ? 1 : 0;
}

QString exportFileName(const QString &name, sheets::Format format)
{
    static const QRegularExpression unsafe(QStringLiteral("[\\\\/:*?\"<>|\\x00-\\x1f]"));
    QString base = name;
    base.remove(QLatin1String("[*]"));
    base.replace(unsafe, QStringLiteral(" "));
    base = base.simplified();
    while (base.startsWith(QLatin1Char('.')))
        base.remove(0, 1);
    if (base.isEmpty())
        base = QStringLiteral("list");
    return base.left(100) + QLatin1Char('.') + sheets::suffixOf(format);
}

struct GridExport::Outcome {
    bool written = false;
    bool stopped = false;
    QString error;
    qint64 rows = 0;
    qint64 cut = 0;
};

GridExport::GridExport(DataGrid &grid, MessageService *messages)
    : QObject(&grid), m_grid(grid), m_messages(messages), m_busy(new BusyFeedback(&grid))
{
    connect(m_busy, &BusyFeedback::stopRequested, this, [this] {
        m_stopped = true;
        m_task.cancel();
        m_busy->setText(QStringLiteral("جاري الإيقاف..."));
    });
}

GridExport::~GridExport()
{
    disconnect(m_waiting);
    m_task.cancel();
    m_task.wait();
}

bool GridExport::isRunning() const
{
    return m_task.isRunning() || m_busy->isActive() || bool(m_waiting);
}

void GridExport::cancel()
{
    if (m_waiting) {
        disconnect(m_waiting);
        m_waiting = {};
        emit finished(false, QString(), 0);
        return;
    }
    m_stopped = true;
    m_task.cancel();
}

void GridExport::ask(SaveFileChooser &chooser, sheets::Format preferred)
{
    if (isRunning() || !m_grid.dataSource())
        return;
    const QString suggested = QDir::home().filePath(exportFileName(m_grid.exportName(), preferred));
    const std::optional<SaveFileChooser::Choice> choice =
        chooser.choose(kTitle, suggested, exportFileTypes(), exportFileType(preferred), &m_grid);
    if (!choice || choice->path.isEmpty())
        return;
    start(choice->path, sheets::formatOfPath(choice->path).value_or(exportFormat(choice->type)));
}

void GridExport::start(const QString &path, sheets::Format format)
{
    DataSource *source = m_grid.dataSource();
    if (isRunning() || !source)
        return;
    if (!source->isRunning()) {
        // A run that has just ended may still have rows on their way to the grid.
        while (source->model()->canFetchMore())
            source->model()->fetchMore();
        begin(path, format);
        return;
    }
    // The rows the grid will hold once its list is read whole (or stopped).
    m_waiting = connect(source, &DataSource::workFinished, this, [this, path, format] {
        disconnect(m_waiting);
        m_waiting = {};
        begin(path, format);
    });
}

void GridExport::begin(const QString &path, sheets::Format format)
{
    DataSource *source = m_grid.dataSource();
    if (!source)
        return;
    auto job = std::make_shared<Job>();
    job->rows = source->rowsInOrder();
    job->columns = m_grid.exportColumns();
    job->path = path;
    job->format = format;
    job->sheet = m_grid.exportName();
    auto outcome = std::make_shared<Outcome>();
    m_stopped = false;
    m_busy->start(kWorking);
    m_busy->setProgress(0, job->rows.count());
    BusyFeedback *busy = m_busy;
    m_task.start(
        [job, outcome, busy](const BackgroundTask::Control &control) {
            sheets::Options options;
            options.expectedCells = job->rows.count() * job->columns.size();
            // Rows are written on a thread of their own while the next are read.
            auto out = sheets::onThreadOfItsOwn(sheets::createWriter(job->format, job->path, options));
            QList<sheets::Column> columns;
            for (const GridExport::Column &c : job->columns)
                columns.append({c.heading, c.widthPixels});
            out->beginSheet(job->sheet, columns);
            try {
                writeRows(*job, *out, control, busy);
            } catch (const engine::EngineError &e) {
                if (e.number() == engine::ErrOperationCanceled)
                    outcome->stopped = true;
                else
                    outcome->error = e.description();
            }
            if (control.stopRequested())
                outcome->stopped = true;
            outcome->rows = out->rowsWritten();
            if (outcome->stopped || !outcome->error.isEmpty()) {
                out->discard();
                return;
            }
            busy->setText(QStringLiteral("جاري كتابة الملف..."));
            outcome->written = out->finish();
            outcome->error = out->errorText();
            outcome->cut = out->cutCells();
        },
        [this, outcome, path] { done(*outcome, path); });
}

void GridExport::done(const Outcome &outcome, const QString &path)
{
    m_busy->finish();
    const QString file = QDir::toNativeSeparators(path);
    if (outcome.written) {
        QString text = QStringLiteral("تم تصدير %1 سطرا إلى الملف %2").arg(outcome.rows).arg(file);
        if (outcome.cut > 0)
            text += QStringLiteral("\nقُصّ %1 نصا أطول مما تسعه خلية الجدول (%2 حرفا)؛ ملف CSV يحفظها كاملة.")
                        .arg(outcome.cut)
                        .arg(sheets::kXlsxCellChars);
        if (m_messages)
            m_messages->show(text, &m_grid);
    } else if (!outcome.stopped && !m_stopped && m_messages) {
        m_messages->show(QStringLiteral("تعذر تصدير القائمة إلى الملف %1\n%2").arg(file, outcome.error), &m_grid);
    }
    emit finished(outcome.written, path, outcome.rows);
}

} // namespace core
