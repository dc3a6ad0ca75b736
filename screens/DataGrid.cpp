#include "screens/DataGrid.h"

#include "screens/BusyFeedback.h"
#include "screens/GridDelegate.h"
#include "data/OpenDb.h"
#include "screens/Services.h"
#include "engine/Database.h"
#include "engine/TextRules.h"

#include <QApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QRegularExpression>

#include <algorithm>
#include <unistd.h>

namespace core {

// ---------------------------------------------------------------- QueryModel

QueryModel::QueryModel(QObject *parent) : QAbstractTableModel(parent) {}

QueryModel::~QueryModel() = default;

void QueryModel::setBatchSize(int rows)
{
    m_batch = qMax(1, rows);
    m_blocks.clear();
}

void QueryModel::showRun(const QStringList &columns, BackgroundQuery *feed, int run, RowReader reader,
                         bool keepShown)
{
    disconnect(m_found);
    disconnect(m_finished);
    m_feed = feed;
    m_run = run;
    m_nextColumns = columns;
    m_nextReader = std::move(reader);
    if (feed) {
        m_found = connect(feed, &BackgroundQuery::rowsFound, this, &QueryModel::onRowsFound);
        m_finished = connect(feed, &BackgroundQuery::finished, this, &QueryModel::onFinished);
    }
    m_awaitingFirst = true;
    // A sort keeps the rows shown until its own come; a run that ended
    // already (or any refresh) shows at once.
    if (!keepShown || !feed || !feed->isRunning() || feed->hasPending())
        install();
}

void QueryModel::clear()
{
    disconnect(m_found);
    disconnect(m_finished);
    m_feed = nullptr;
    m_awaitingFirst = false;
    beginResetModel();
    m_columns.clear();
    m_hasResult = false;
    m_keyset = false;
    m_ids = {};
    m_rows = {};
    m_blocks.clear();
    m_reader = nullptr;
    m_fetchError = 0;
    endResetModel();
}

// The run's columns and first rows replace what was shown.
void QueryModel::install()
{
    m_awaitingFirst = false;
    beginResetModel();
    m_columns = m_nextColumns;
    m_reader = std::move(m_nextReader);
    m_nextReader = nullptr;
    m_keyset = bool(m_reader);
    m_hasResult = true;
    m_ids = {};
    m_rows = {};
    m_blocks.clear();
    m_fetchError = 0;
    if (m_feed) {
        const BackgroundQuery::Batch b = m_feed->take();
        m_ids = b.ids;
        m_rows = b.rows;
    }
    // The first rows are read at once: they are shown (or looked up) first.
    row(0);
    endResetModel();
    emit resultShown();
}

void QueryModel::append(const QVector<qint64> &ids, const QVector<QVariantList> &rows)
{
    const qsizetype count = m_keyset ? ids.size() : rows.size();
    if (count == 0)
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + int(count) - 1);
    if (m_keyset)
        m_ids += ids;
    else
        m_rows += rows;
    endInsertRows();
}

void QueryModel::drain()
{
    if (!m_feed || m_feed->runNumber() != m_run)
        return;
    if (m_awaitingFirst) {
        install();
        return;
    }
    BackgroundQuery::Batch b = m_feed->take();
    if (b.restart) {
        // The rows shown first were not the run's: all of them again.
        beginResetModel();
        m_ids = b.ids;
        m_rows = b.rows;
        m_blocks.clear();
        endResetModel();
        return;
    }
    append(b.ids, b.rows);
}

void QueryModel::onRowsFound(int run)
{
    if (run == m_run)
        drain();
}

void QueryModel::onFinished(int run, int error, const QString &description)
{
    if (run != m_run)
        return;
    if (m_awaitingFirst && error != 0) {
        // A sort that failed or was stopped leaves the rows as they were.
        m_awaitingFirst = false;
        m_nextReader = nullptr;
    } else {
        drain();
    }
    if (error != 0 && error != engine::ErrOperationCanceled) {
        m_fetchError = error;
        emit fetchFailed(error, description);
    }
    emit runFinished(error, description);
}

bool QueryModel::isRunning() const
{
    return m_feed && m_feed->runNumber() == m_run && m_feed->isRunning();
}

int QueryModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return int(m_keyset ? m_ids.size() : m_rows.size());
}

int QueryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

// The row, read with its block when it is not held; the least recently
// used block goes when too many are held.
const QVariantList *QueryModel::row(int r) const
{
    if (r < 0 || r >= rowCount())
        return nullptr;
    if (!m_keyset)
        return &m_rows.at(r);
    const int block = r / m_batch;
    auto it = m_blocks.find(block);
    if (it == m_blocks.end()) {
        const int first = block * m_batch;
        const QVector<qint64> ids = m_ids.mid(first, qMin<qsizetype>(m_batch, m_ids.size() - first));
        QHash<qint64, QVariantList> read;
        try {
            if (m_reader)
                read = m_reader(ids);
        } catch (const engine::EngineError &) {
            return nullptr; // shown empty; read again on the next look
        }
        Block b;
        b.rows.reserve(ids.size());
        for (const qint64 id : ids)
            b.rows.append(read.value(id)); // a row deleted meanwhile shows empty
        if (m_blocks.size() >= kCachedBlocks) {
            auto oldest = m_blocks.begin();
            for (auto o = m_blocks.begin(); o != m_blocks.end(); ++o)
                if (o->used < oldest->used)
                    oldest = o;
            m_blocks.erase(oldest);
        }
        it = m_blocks.insert(block, std::move(b));
    }
    it->used = ++m_clock;
    const QVector<QVariantList> &rows = it->rows;
    const int at = r - block * m_batch;
    return at < rows.size() ? &rows.at(at) : nullptr;
}

QVariant QueryModel::data(const QModelIndex &index, int role) const
{
    // Views ask for invalid indexes too (a look-up list with no row chosen).
    if (!index.isValid() || index.model() != this || index.parent().isValid()
        || index.column() >= m_columns.size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const QVariantList *r = row(index.row());
    if (!r)
        return {};
    const QVariant &v = r->value(index.column());
    return v.isNull() ? QVariant(QString()) : QVariant(v.toString());
}

QVariant QueryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < m_columns.size() ? QVariant(m_columns.at(section))
                                                          : QVariant();
    return section >= 0 && section < rowCount() ? QVariant(section + 1) : QVariant();
}

Qt::ItemFlags QueryModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

bool QueryModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_feed && m_feed->runNumber() == m_run && m_feed->hasPending();
}

void QueryModel::fetchMore(const QModelIndex &parent)
{
    if (canFetchMore(parent))
        drain();
}

int QueryModel::fieldIndex(const QString &name) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant QueryModel::value(int r, int column) const
{
    if (column < 0 || column >= m_columns.size())
        return {};
    const QVariantList *values = row(r);
    return values ? values->value(column) : QVariant();
}

bool QueryModel::fetchUntil(int r)
{
    while (r >= rowCount() && m_feed && m_feed->runNumber() == m_run) {
        if (!m_feed->hasPending()) {
            if (!m_feed->isRunning())
                break;
            m_feed->waitFor(m_feed->delivered(), 1000);
        }
        drain();
    }
    return r >= 0 && r < rowCount();
}

int QueryModel::findLoaded(int column, const QString &text) const
{
    if (column < 0 || column >= m_columns.size())
        return -1;
    const QString wanted = engine::foldCase(text);
    auto same = [&](const QVariantList &r) { return engine::foldCase(r.value(column).toString()) == wanted; };
    if (!m_keyset) {
        for (int r = 0; r < m_rows.size(); ++r)
            if (same(m_rows.at(r)))
                return r;
        return -1;
    }
    QList<int> blocks = m_blocks.keys();
    std::sort(blocks.begin(), blocks.end());
    for (const int block : std::as_const(blocks)) {
        const QVector<QVariantList> &rows = m_blocks.value(block).rows;
        for (int i = 0; i < rows.size(); ++i)
            if (same(rows.at(i)))
                return block * m_batch + i;
    }
    return -1;
}

qsizetype QueryModel::heldRows() const
{
    if (!m_keyset)
        return m_rows.size();
    qsizetype n = 0;
    for (const Block &b : std::as_const(m_blocks))
        n += b.rows.size();
    return n;
}

// ---------------------------------------------------------------- DataSource

namespace {

// Page cache of the connection that runs a source's lists and searches:
// enough to hold the whole file, so that a repeated search of the register
// reads decrypted pages from memory, but never more than a quarter of the
// computer's memory. SQLite takes it only as pages are read.
qint64 listCacheKiB(const QString &path)
{
    const qint64 file = QFileInfo(path).size() / 1024;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    const qint64 quarter = pages > 0 && pageSize > 0 ? qint64(pages) * pageSize / 4 / 1024 : 512 * 1024;
    return qBound<qint64>(8 * 1024, file + file / 8, quarter);
}

} // namespace

DataSource::DataSource(const QString &objectName, QObject *parent)
    : QObject(parent), m_model(new QueryModel(this)), m_query(new BackgroundQuery(this))
{
    setObjectName(objectName);
    connect(m_model, &QueryModel::resultShown, this, [this] {
        if (m_announce) {
            m_announce = false;
            emit refreshed();
        }
    });
    connect(m_model, &QueryModel::runFinished, this, &DataSource::workFinished);
}

DataSource::~DataSource()
{
    // The run and the rows' statement go before the connection they read from.
    delete m_query;
    m_query = nullptr;
    m_model->clear();
    m_fetch.reset();
}

void DataSource::setDatabase(DataStore &store)
{
    if (m_store == &store)
        return;
    m_store = &store;
    m_db = nullptr;
}

void DataSource::setDatabase(engine::Database &db)
{
    m_db = &db;
    m_store = nullptr;
}

// The connection for the next run: the store's view connection, taken
// when there is none yet for the store's current file; it is handed back
// in `fresh` and kept once the run has succeeded.
engine::Database &DataSource::connection(std::shared_ptr<engine::Database> &fresh)
{
    if (m_store) {
        if (!m_store->isOpen())
            throw engine::EngineError(engine::ErrInvalidArgument,
                                      QStringLiteral("The database is not open"));
        if (m_view && m_view->isOpen() && m_viewPath == m_store->config().dbFile)
            return *m_view;
        fresh = m_store->sharedViewConnection();
        return *fresh;
    }
    if (m_db && m_db->isOpen())
        return *m_db;
    throw engine::EngineError(engine::ErrInvalidArgument,
                              QStringLiteral("The data source has no open database"));
}

void DataSource::setTable(const QString &table)
{
    m_type = RecordsetType::Table;
    m_source = table;
    m_values.clear();
}

void DataSource::setQuery(const QString &sql, const QVariantList &values)
{
    m_type = RecordsetType::Dynaset;
    m_source = sql;
    m_values = values;
}

QString DataSource::selectText(engine::Database &db) const
{
    if (m_type == RecordsetType::Dynaset)
        return m_source;
    // A table is read whole in stored order; its name is checked against
    // the schema (3011 when missing) and quoted as an identifier.
    return QStringLiteral("select * from %1").arg(engine::quotedIdentifier(db.tableName(m_source.trimmed())));
}

QHash<qint64, QVariantList> DataSource::readRows(const QVector<qint64> &ids)
{
    QHash<qint64, QVariantList> out;
    if (!m_fetch || ids.isEmpty())
        return out;
    const int perRead = m_plan.fetchSlots;
    for (qsizetype from = 0; from < ids.size(); from += perRead) {
        QVariantList binds;
        binds.reserve(perRead);
        const qsizetype to = qMin<qsizetype>(from + perRead, ids.size());
        for (qsizetype i = from; i < to; ++i)
            binds << ids.at(i);
        while (binds.size() < perRead)
            binds << ids.at(from); // the same id again changes nothing
        m_fetch->bind(binds);
        const int columns = m_fetch->columnCount();
        while (m_fetch->step()) {
            QVariantList row;
            row.reserve(columns - 1);
            for (int c = 1; c < columns; ++c)
                row << m_fetch->value(c);
            out.insert(m_fetch->integer(0), row);
        }
    }
    return out;
}

void DataSource::show(int run, bool keepShown)
{
    QueryModel::RowReader reader;
    if (m_plan.keyset)
        reader = [this](const QVector<qint64> &ids) { return readRows(ids); };
    m_announce = true;
    m_model->showRun(m_columns, m_query, run, std::move(reader), keepShown);
    if (m_query->isRunning())
        emit workStarted();
}

void DataSource::refresh()
{
    if (m_source.trimmed().isEmpty()) {
        m_query->cancel();
        m_model->clear();
        emit refreshed();
        return;
    }
    std::shared_ptr<engine::Database> fresh;
    engine::Database &db = connection(fresh);
    const QString sql = selectText(db);
    const QVariantList values = m_type == RecordsetType::Dynaset ? m_values : QVariantList();

    // The select itself is checked first: a wrong one throws here and the
    // rows shown stay.
    QStringList columns;
    {
        engine::Statement check(db, sql);
        engine::requireValueCount(check.handle(), values.size());
        columns = engine::columnNames(check.handle());
    }
    engine::ResultPlan plan = engine::planResult(db, sql, m_model->batchSize());

    BackgroundQuery::Request request;
    request.values = values;
    request.openSpec = db.openSpec();
    request.inlineDb = &db;
    request.inlineBudgetMs = m_inlineBudgetMs;
    request.keepCache = true;
    if (plan.keyset) {
        request.sql = plan.idSql;
        request.result = BackgroundQuery::Result::Ids;
        request.unorderedSql = plan.unorderedIdSql;
    } else {
        request.sql = sql;
        request.result = BackgroundQuery::Result::Rows;
    }
    m_query->setCacheSize(listCacheKiB(db.path()));

    std::unique_ptr<engine::Statement> fetch;
    if (plan.keyset)
        fetch = std::make_unique<engine::Statement>(db, plan.fetchSql);
    const int run = m_query->start(request); // throws: the rows shown stay

    // From here on the new run replaces the old one.
    m_fetch = std::move(fetch);
    m_plan = plan;
    m_columns = columns;
    if (fresh) {
        m_view = std::move(fresh);
        m_viewPath = m_store->config().dbFile;
    }
    show(run, false);
}

bool DataSource::tryRefresh(engine::EngineError *error)
{
    try {
        refresh();
        return true;
    } catch (const engine::EngineError &e) {
        if (error)
            *error = e;
        return false;
    }
}

bool DataSource::sort(const QString &sortText)
{
    if (m_type == RecordsetType::Table || !m_model->hasResult())
        return false;
    static const QRegularExpression form(QStringLiteral("^\\s*\\[([^\\]]+)\\]\\s*(desc|asc)?\\s*$"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = form.match(sortText);
    if (!m.hasMatch())
        throw engine::EngineError(engine::ErrQuerySyntax, QStringLiteral("Invalid sort order '%1'.").arg(sortText));
    const int column = m_model->fieldIndex(m.captured(1));
    if (column < 0)
        throw engine::EngineError(engine::ErrItemNotFound,
                                  QStringLiteral("Item '%1' not found in this collection.").arg(m.captured(1)));
    const QString field = m_columns.at(column);
    const bool descending = m.captured(2).compare(QLatin1String("desc"), Qt::CaseInsensitive) == 0;

    std::shared_ptr<engine::Database> fresh;
    engine::Database &db = connection(fresh);
    if (fresh) // the file changed under the source: run it afresh first
        throw engine::EngineError(engine::ErrInvalidArgument, QStringLiteral("The data source must be refreshed."));
    BackgroundQuery::Request request;
    request.values = m_type == RecordsetType::Dynaset ? m_values : QVariantList();
    request.openSpec = db.openSpec();
    request.inlineDb = &db;
    request.inlineBudgetMs = m_inlineBudgetMs;
    // A sort reads every row once: a connection of its own, whose pages do
    // not stay in memory.
    request.keepCache = false;
    if (m_plan.keyset) {
        request.sql = m_plan.sortedIdSql(field, descending);
        request.result = BackgroundQuery::Result::Ids;
    } else {
        QString inner = m_plan.sql.trimmed();
        while (inner.endsWith(QLatin1Char(';')))
            inner.chop(1);
        request.sql = QStringLiteral("SELECT * FROM (%1) ORDER BY %2%3")
                          .arg(inner, engine::quotedIdentifier(field), descending ? QStringLiteral(" DESC") : QString());
        request.result = BackgroundQuery::Result::Rows;
    }
    show(m_query->start(request), true);
    return true;
}

void DataSource::cancel()
{
    m_query->cancel();
}

bool DataSource::isRunning() const
{
    return m_query->isRunning();
}

// ---------------------------------------------------------------- DataGrid

// Passes the data source's rows through unchanged; only the headings
// differ (see DataGrid).
class HeadingModel : public QIdentityProxyModel {
public:
    explicit HeadingModel(DataGrid *grid) : QIdentityProxyModel(grid), m_grid(grid) {}

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && (role == Qt::DisplayRole || role == Qt::ToolTipRole)) {
            const QString field =
                QIdentityProxyModel::headerData(section, orientation, Qt::DisplayRole).toString();
            if (role == Qt::ToolTipRole)
                return field; // the field behind a translated heading
            const int col = m_grid->gridColumn(section);
            const auto it = m_grid->m_headings.constFind(col);
            if (col >= 0 && it != m_grid->m_headings.constEnd())
                return *it;
            if (m_grid->m_headingProvider && !field.isEmpty()) {
                const QString heading = m_grid->m_headingProvider(field);
                if (!heading.isEmpty())
                    return heading;
            }
            return field;
        }
        return QIdentityProxyModel::headerData(section, orientation, role);
    }

private:
    DataGrid *m_grid;
};

DataGrid::DataGrid(QWidget *parent)
    : QTableView(parent), m_proxy(new HeadingModel(this))
{
    setModel(m_proxy);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setAlternatingRowColors(true);
    setWordWrap(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->setHighlightSections(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setStretchLastSection(true);
    setItemDelegate(new GridDelegate(this));

    viewport()->installEventFilter(this);
    horizontalHeader()->viewport()->installEventFilter(this);
    verticalHeader()->viewport()->installEventFilter(this);

    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &DataGrid::onHeaderClicked);
    connect(m_proxy, &QAbstractItemModel::modelReset, this, &DataGrid::afterReset);
    // Rows may also arrive after the reset that announced the columns.
    connect(m_proxy, &QAbstractItemModel::rowsInserted, this, &DataGrid::sizeColumnsOnFirstFill);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid())
            emit rowChosen(index.row());
    });
}

DataGrid::~DataGrid() = default;

void DataGrid::setDataSource(DataSource *source)
{
    for (const QMetaObject::Connection &c : std::as_const(m_sourceConnections))
        disconnect(c);
    m_sourceConnections.clear();
    if (m_busy)
        m_busy->finish();
    m_source = source;
    m_proxy->setSourceModel(source ? source->model() : nullptr);
    if (source) {
        m_sourceConnections << connect(source, &DataSource::workStarted, this, &DataGrid::onWorkStarted)
                            << connect(source, &DataSource::workFinished, this, &DataGrid::onWorkFinished)
                            << connect(source->model(), &QAbstractItemModel::rowsInserted, this, [this] {
                                   if (m_busy && m_busy->isActive())
                                       m_busy->setFound(rowCount());
                               });
        if (source->isRunning())
            onWorkStarted();
    }
    afterReset();
}

// A search, list or sort of the grid's source goes on in the background:
// the window stays usable, the grid says that it works, Esc stops it.
void DataGrid::onWorkStarted()
{
    if (!m_busy) {
        m_busy = new BusyFeedback(this);
        connect(m_busy, &BusyFeedback::stopRequested, this, [this] {
            if (m_source)
                m_source->cancel();
        });
    }
    m_busy->start();
    m_busy->setFound(rowCount());
}

void DataGrid::onWorkFinished(int errorNumber, const QString &description)
{
    if (m_busy)
        m_busy->finish();
    if (errorNumber != 0 && errorNumber != engine::ErrOperationCanceled && m_messages)
        m_messages->show(QStringLiteral("Error:%1 %2").arg(errorNumber).arg(description), this);
}

void DataGrid::setColumns(const QStringList &fields)
{
    m_fields = fields;
    applyColumns();
}

void DataGrid::setHeading(int col, const QString &text)
{
    m_headings.insert(col, text);
    const int logical = modelColumn(col);
    if (logical >= 0)
        emit m_proxy->headerDataChanged(Qt::Horizontal, logical, logical);
}

void DataGrid::setHeadingProvider(HeadingProvider provider)
{
    m_headingProvider = std::move(provider);
    if (m_proxy->columnCount() > 0)
        emit m_proxy->headerDataChanged(Qt::Horizontal, 0, m_proxy->columnCount() - 1);
}

QString DataGrid::heading(int col) const
{
    const int logical = modelColumn(col);
    return logical < 0 ? QString()
                       : m_proxy->headerData(logical, Qt::Horizontal, Qt::DisplayRole).toString();
}

void DataGrid::clearHeadings()
{
    m_headings.clear();
    if (m_proxy->columnCount() > 0)
        emit m_proxy->headerDataChanged(Qt::Horizontal, 0, m_proxy->columnCount() - 1);
}

void DataGrid::applyColumns()
{
    QueryModel *model = m_source ? m_source->model() : nullptr;
    const int count = model ? model->columnCount() : 0;
    m_visible.clear();
    if (m_fields.isEmpty()) {
        for (int i = 0; i < count; ++i)
            m_visible.append(i);
    } else {
        for (const QString &field : std::as_const(m_fields)) {
            const int i = model ? model->fieldIndex(field) : -1;
            if (i >= 0 && !m_visible.contains(i))
                m_visible.append(i);
        }
    }
    QHeaderView *header = horizontalHeader();
    if (header->count() != count)
        return; // the header follows on its own reset
    for (int i = 0; i < count; ++i)
        header->setSectionHidden(i, !m_visible.contains(i));
    for (int pos = 0; pos < m_visible.size(); ++pos) {
        const int from = header->visualIndex(m_visible.at(pos));
        if (from != pos)
            header->moveSection(from, pos);
    }
}

void DataGrid::afterReset()
{
    applyColumns();
    sizeColumnsOnFirstFill();
    if (rowCount() > 0)
        setCurrentRow(0);
}

// Once per set of fields: a refresh of the same query keeps the widths the
// user may have given the columns.
void DataGrid::sizeColumnsOnFirstFill()
{
    if (m_proxy->rowCount() == 0)
        return;
    QStringList fields;
    for (int col = 0; col < m_visible.size(); ++col)
        fields << columnField(col);
    if (fields.isEmpty() || fields == m_sizedFor)
        return;
    m_sizedFor = fields;
    sizeColumnsToContents();
}

void DataGrid::sizeColumnsToContents()
{
    QHeaderView *header = horizontalHeader();
    // Only rows the model holds already, and only the first of them: the
    // widths come from what the user sees first, never from reading on.
    const int rows = qMin(m_proxy->rowCount(), kSizingRows);
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    for (int logical : std::as_const(m_visible)) {
        int width = header->sectionSizeHint(logical);
        for (int row = 0; row < rows; ++row) {
            const QModelIndex index = m_proxy->index(row, logical);
            width = qMax(width, itemDelegateForIndex(index)->sizeHint(option, index).width());
        }
        header->resizeSection(logical, qMin(width + 2 * showGrid(), kMaxColumnWidth));
    }
}

void DataGrid::keyPressEvent(QKeyEvent *event)
{
    // Enter is taken only where choosing a row means something; elsewhere
    // it goes on to the window (a dialog's default button, for instance).
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && currentRow() >= 0 &&
        isSignalConnected(QMetaMethod::fromSignal(&DataGrid::rowChosen))) {
        emit rowChosen(currentRow());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

int DataGrid::columnCount() const
{
    return int(m_visible.size());
}

int DataGrid::modelColumn(int col) const
{
    return col >= 0 && col < m_visible.size() ? m_visible.at(col) : -1;
}

int DataGrid::gridColumn(int modelColumn) const
{
    return int(m_visible.indexOf(modelColumn));
}

QString DataGrid::columnField(int col) const
{
    const int logical = modelColumn(col);
    return logical >= 0 && m_source ? m_source->model()->fieldName(logical) : QString();
}

int DataGrid::rowCount() const
{
    return m_source ? m_source->model()->rowCount() : 0;
}

int DataGrid::currentRow() const
{
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

bool DataGrid::setCurrentRow(int row)
{
    if (!m_source || row < 0 || !m_source->model()->fetchUntil(row))
        return false;
    const int col = m_visible.isEmpty() ? 0 : m_visible.first();
    const QModelIndex index = m_proxy->index(row, col);
    setCurrentIndex(index);
    scrollTo(index);
    return true;
}

QString DataGrid::value(int row, int col) const
{
    if (!m_source)
        return {};
    const QVariant v = m_source->model()->value(row, modelColumn(col));
    return v.isNull() ? QString() : v.toString();
}

QString DataGrid::columnValue(int col) const
{
    const int row = currentRow();
    return row < 0 ? QString() : value(row, col);
}

void DataGrid::setSortModifiers(Qt::KeyboardModifiers modifiers)
{
    m_sortModifiers = modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

bool DataGrid::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        setSortModifiers(static_cast<QMouseEvent *>(event)->modifiers());
        break;
    default:
        break;
    }
    return QTableView::eventFilter(watched, event);
}

void DataGrid::onHeaderClicked(int logicalIndex)
{
    const int col = gridColumn(logicalIndex);
    if (col < 0)
        return;
    emit headingClicked(col);
    if (m_sortEnabled)
        sortByHeading(col);
}

void DataGrid::sortByHeading(int col)
{
    if (!m_source || m_source->recordsetType() == DataSource::RecordsetType::Table)
        return;
    const QString field = columnField(col);
    if (field.isEmpty())
        return;
    QString sortText = QLatin1Char('[') + field + QLatin1Char(']');
    if (m_sortModifiers != Qt::NoModifier) {
        sortText += QLatin1String(" desc");
        m_sortModifiers = Qt::NoModifier;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        m_source->sort(sortText);
        QApplication::restoreOverrideCursor();
    } catch (const engine::EngineError &e) {
        QApplication::restoreOverrideCursor();
        if (m_messages)
            m_messages->show(QStringLiteral("Error:%1 %2").arg(e.number()).arg(e.description()),
                             this);
    }
}

} // namespace core
