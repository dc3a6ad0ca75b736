#include "screens/QueryModel.h"

#include "data/HijraDate.h"
#include "data/Schema.h"
#include "engine/TextRules.h"

#include <algorithm>

namespace core {

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
    if (role == Qt::EditRole)
        return v.isNull() ? QString() : v.toString();
    return displayText(m_columns.at(index.column()), v);
}

QString QueryModel::displayText(const QString &field, const QVariant &value)
{
    if (value.isNull())
        return {};
    // A date reads as a date; what is stored (and sorted on) stays the text.
    return schema::isDateField(field) ? shownDate(value.toString()) : value.toString();
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
    return findLoaded(QList<int>{column}, QVariantList{text});
}

int QueryModel::findLoaded(const QList<int> &columns, const QVariantList &values) const
{
    if (columns.isEmpty() || columns.size() != values.size())
        return -1;
    for (const int column : columns)
        if (column < 0 || column >= m_columns.size())
            return -1;
    QStringList wanted;
    for (const QVariant &v : values)
        wanted << engine::foldCase(v.toString());
    auto same = [&](const QVariantList &r) {
        for (int i = 0; i < columns.size(); ++i)
            if (engine::foldCase(r.value(columns.at(i)).toString()) != wanted.at(i))
                return false;
        return true;
    };
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

int QueryModel::rowOfId(qint64 id) const
{
    return m_keyset ? int(m_ids.indexOf(id)) : -1;
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

} // namespace core
