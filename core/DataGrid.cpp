#include "DataGrid.h"

#include "GridDelegate.h"
#include "OpenDb.h"
#include "Services.h"
#include "engine/Database.h"
#include "engine/QueryCursor.h"

#include <QApplication>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>

namespace core {

// ---------------------------------------------------------------- QueryModel

QueryModel::QueryModel(QObject *parent) : QAbstractTableModel(parent) {}

QueryModel::~QueryModel() = default;

void QueryModel::setCursor(std::unique_ptr<engine::QueryCursor> cursor)
{
    beginResetModel();
    m_cursor = std::move(cursor);
    m_columns = m_cursor ? m_cursor->columnNames() : QStringList();
    m_rows.clear();
    m_rows.squeeze();
    m_atEnd = !m_cursor;
    m_fetchError = 0;
    QString failure;
    if (m_cursor) {
        try {
            readRows(m_batch);
        } catch (const engine::EngineError &e) {
            m_atEnd = true;
            m_fetchError = e.number();
            failure = e.description();
        }
    }
    endResetModel();
    if (m_fetchError)
        emit fetchFailed(m_fetchError, failure);
}

void QueryModel::clear()
{
    setCursor(nullptr);
}

void QueryModel::releaseCursor()
{
    m_cursor.reset();
    m_atEnd = true;
}

// Appends up to count rows from the cursor; returns how many were read.
int QueryModel::readRows(int count)
{
    int read = 0;
    while (read < count) {
        if (!m_cursor->next()) {
            m_atEnd = true;
            break;
        }
        m_rows.append(m_cursor->row());
        ++read;
    }
    return read;
}

int QueryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int QueryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

QVariant QueryModel::data(const QModelIndex &index, int role) const
{
    // Views ask for invalid indexes too (a look-up list with no row chosen).
    if (!index.isValid() || index.model() != this || index.parent().isValid()
        || index.row() >= m_rows.size() || index.column() >= m_columns.size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const QVariant &v = m_rows.at(index.row()).value(index.column());
    return v.isNull() ? QVariant(QString()) : QVariant(v.toString());
}

QVariant QueryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return section >= 0 && section < m_columns.size() ? QVariant(m_columns.at(section))
                                                          : QVariant();
    return section >= 0 && section < m_rows.size() ? QVariant(section + 1) : QVariant();
}

Qt::ItemFlags QueryModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

bool QueryModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_cursor && !m_atEnd;
}

void QueryModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    // Read into a separate list first: the rows are announced only when
    // there are some, and a failing read still adds those read before it.
    QVector<QVariantList> batch;
    batch.reserve(m_batch);
    QString failure;
    bool failed = false;
    try {
        while (batch.size() < m_batch) {
            if (!m_cursor->next()) {
                m_atEnd = true;
                break;
            }
            batch.append(m_cursor->row());
        }
    } catch (const engine::EngineError &e) {
        m_atEnd = true;
        m_fetchError = e.number();
        failure = e.description();
        failed = true;
    }
    if (!batch.isEmpty()) {
        const int first = int(m_rows.size());
        beginInsertRows({}, first, first + int(batch.size()) - 1);
        m_rows.append(batch);
        endInsertRows();
    }
    if (failed)
        emit fetchFailed(m_fetchError, failure);
}

int QueryModel::fieldIndex(const QString &name) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QVariant QueryModel::value(int row, int column) const
{
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= m_columns.size())
        return {};
    return m_rows.at(row).value(column);
}

bool QueryModel::fetchUntil(int row)
{
    while (row >= m_rows.size() && canFetchMore()) {
        const int before = int(m_rows.size());
        fetchMore();
        if (m_rows.size() == before)
            break;
    }
    return row >= 0 && row < m_rows.size();
}

int QueryModel::findLoaded(int column, const QString &text) const
{
    if (column < 0 || column >= m_columns.size())
        return -1;
    for (int r = 0; r < m_rows.size(); ++r) {
        const QVariant &v = m_rows.at(r).value(column);
        if (v.toString().compare(text, Qt::CaseInsensitive) == 0)
            return r;
    }
    return -1;
}

// ---------------------------------------------------------------- DataSource

DataSource::DataSource(const QString &objectName, QObject *parent)
    : QObject(parent), m_model(new QueryModel(this))
{
    setObjectName(objectName);
}

DataSource::~DataSource()
{
    // The rows' statement goes before the connection it reads from.
    m_model->clear();
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

// The connection for the next run. A new view connection is only opened
// when there is none yet for the store's current file; it is handed back
// in `fresh` and kept once the run has succeeded.
engine::Database &DataSource::connection(std::unique_ptr<engine::Database> &fresh)
{
    if (m_store) {
        if (!m_store->isOpen())
            throw engine::EngineError(engine::ErrInvalidArgument,
                                      QStringLiteral("The database is not open"));
        if (m_view && m_view->isOpen() && m_viewPath == m_store->config().dbFile)
            return *m_view;
        fresh = m_store->openViewConnection();
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
    QString name = db.tableName(m_source.trimmed());
    name.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QStringLiteral("select * from \"%1\"").arg(name);
}

void DataSource::refresh()
{
    if (m_source.trimmed().isEmpty()) {
        m_model->clear();
        emit refreshed();
        return;
    }
    std::unique_ptr<engine::Database> fresh;
    engine::Database &db = connection(fresh);
    // A statement still open would keep the connection on the data as it
    // was when that statement began: let it go first, so the new run sees
    // every write since. The rows read stay shown if the new run fails.
    m_model->releaseCursor();
    auto cursor = std::make_unique<engine::QueryCursor>(
        db, selectText(db), m_type == RecordsetType::Dynaset ? m_values : QVariantList());
    m_model->setCursor(std::move(cursor));
    if (fresh) {
        m_view = std::move(fresh);
        m_viewPath = m_store->config().dbFile;
    }
    emit refreshed();
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
    if (m_type == RecordsetType::Table || !m_model->cursor())
        return false;
    std::unique_ptr<engine::QueryCursor> sorted = m_model->cursor()->sorted(sortText);
    m_model->setCursor(std::move(sorted));
    emit refreshed();
    return true;
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
    m_source = source;
    m_proxy->setSourceModel(source ? source->model() : nullptr);
    afterReset();
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
