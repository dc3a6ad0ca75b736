#include "screens/DataGrid.h"

#include "screens/BusyFeedback.h"
#include "screens/GridDelegate.h"
#include "screens/ScreenKeys.h"
#include "screens/Services.h"

#include <QApplication>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QShortcut>

#include <algorithm>

namespace core {

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

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::DisplayRole && !m_grid->m_cellTexts.isEmpty() && index.isValid()) {
            const QString field =
                QIdentityProxyModel::headerData(index.column(), Qt::Horizontal, Qt::DisplayRole).toString();
            const auto it = m_grid->m_cellTexts.constFind(field.toCaseFolded());
            if (it != m_grid->m_cellTexts.constEnd())
                return (*it)(QIdentityProxyModel::data(index, Qt::DisplayRole));
        }
        return QIdentityProxyModel::data(index, role);
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
    auto *exportKey = new QShortcut(keys::kExportList, this);
    exportKey->setContext(Qt::WidgetShortcut);
    exportKey->setAutoRepeat(false);
    connect(exportKey, &QShortcut::activated, this, [this] { exportList(); });
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

void DataGrid::setCellText(const QString &field, CellText text)
{
    m_cellTexts.insert(field.toCaseFolded(), std::move(text));
    if (m_proxy->rowCount() > 0)
        emit m_proxy->dataChanged(m_proxy->index(0, 0),
                                  m_proxy->index(m_proxy->rowCount() - 1, m_proxy->columnCount() - 1));
}

QString DataGrid::shownText(int row, int col) const
{
    const int logical = modelColumn(col);
    if (logical < 0 || row < 0 || row >= m_proxy->rowCount())
        return {};
    return m_proxy->data(m_proxy->index(row, logical), Qt::DisplayRole).toString();
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

bool DataGrid::canExport() const
{
    return m_saveFiles && m_source && m_source->model()->hasResult() && !(m_export && m_export->isRunning());
}

GridExport &DataGrid::exporter()
{
    if (!m_export)
        m_export = new GridExport(*this, m_messages);
    return *m_export;
}

void DataGrid::exportList(sheets::Format preferred)
{
    if (canExport())
        exporter().ask(*m_saveFiles, preferred);
}

QList<GridExport::Column> DataGrid::exportColumns() const
{
    QList<GridExport::Column> columns;
    for (int col = 0; col < m_visible.size(); ++col) {
        const int logical = m_visible.at(col);
        const QString field = columnField(col);
        // The texts the cells show (HeadingModel::data): the model's text,
        // then the field's own reading of it.
        const CellText own = m_cellTexts.value(field.toCaseFolded());
        columns.append({logical, heading(col), horizontalHeader()->sectionSize(logical),
                        [field, own](const QVariant &value) {
                            const QString text = QueryModel::displayText(field, value);
                            return own ? own(QVariant(text)) : text;
                        }});
    }
    return columns;
}

QString DataGrid::exportName() const
{
    if (!m_exportName.isEmpty())
        return m_exportName;
    for (const QWidget *w = parentWidget(); w; w = w->parentWidget()) {
        QString title = w->windowTitle();
        title.remove(QLatin1String("[*]"));
        if (!title.trimmed().isEmpty())
            return title.trimmed();
    }
    return QStringLiteral("list");
}

void DataGrid::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("gridMenu"));
    menu.setLayoutDirection(layoutDirection());
    QAction *xlsx = menu.addAction(QStringLiteral("تصدير الجدول إلى Excel"));
    xlsx->setObjectName(QStringLiteral("exportXlsx"));
    xlsx->setShortcut(keys::kExportList);
    QAction *csv = menu.addAction(QStringLiteral("تصدير الجدول إلى CSV"));
    csv->setObjectName(QStringLiteral("exportCsv"));
    const bool can = canExport();
    xlsx->setEnabled(can);
    csv->setEnabled(can);
    QAction *chosen = menu.exec(event->globalPos());
    if (chosen == xlsx)
        exportList(sheets::Format::Xlsx);
    else if (chosen == csv)
        exportList(sheets::Format::Csv);
    event->accept();
}

} // namespace core
