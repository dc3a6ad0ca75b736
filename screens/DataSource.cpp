#include "screens/DataSource.h"

#include "data/OpenDb.h"
#include "engine/Database.h"

#include <QFileInfo>

#include <unistd.h>

namespace core {

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
    m_idsOf.reset();
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

QHash<qint64, QVariantList> DataSource::readRows(engine::Statement &fetch, int fetchSlots,
                                                const QVector<qint64> &ids)
{
    QHash<qint64, QVariantList> out;
    const int perRead = qMax(1, fetchSlots);
    for (qsizetype from = 0; from < ids.size(); from += perRead) {
        QVariantList binds;
        binds.reserve(perRead);
        const qsizetype to = qMin<qsizetype>(from + perRead, ids.size());
        for (qsizetype i = from; i < to; ++i)
            binds << ids.at(i);
        while (binds.size() < perRead)
            binds << ids.at(from); // the same id again changes nothing
        fetch.bind(binds);
        const int columns = fetch.columnCount();
        while (fetch.step()) {
            QVariantList row;
            row.reserve(columns - 1);
            for (int c = 1; c < columns; ++c)
                row << fetch.value(c);
            out.insert(fetch.integer(0), row);
        }
    }
    return out;
}

DataSource::RowsInOrder DataSource::rowsInOrder() const
{
    RowsInOrder rows;
    if (!m_model->hasResult())
        return rows;
    rows.columns = m_model->fieldNames();
    rows.byIdentity = m_model->keptByIdentity();
    if (rows.byIdentity) {
        rows.ids = m_model->rowIdentities();
        rows.fetchSql = m_plan.fetchSql;
        rows.fetchSlots = m_plan.fetchSlots;
        rows.openSpec = m_openSpec;
    } else {
        rows.rows = m_model->heldResult();
    }
    return rows;
}

void DataSource::show(int run, bool keepShown)
{
    QueryModel::RowReader reader;
    if (m_plan.keyset)
        reader = [this](const QVector<qint64> &ids) {
            return m_fetch ? readRows(*m_fetch, m_plan.fetchSlots, ids) : QHash<qint64, QVariantList>();
        };
    m_announce = true;
    m_model->showRun(m_columns, m_query, run, std::move(reader), keepShown);
    if (m_query->isFinishing())
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
    // A re-run (after an add or a delete, a search) reads on once the click
    // that asked for it is done; a first run reads on at once.
    request.afterWindowTurn = m_model->hasResult();
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
    m_idsOf.reset();
    m_fetch = std::move(fetch);
    m_plan = plan;
    m_columns = columns;
    m_openSpec = request.openSpec;
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

int DataSource::rowOf(const QStringList &fields, const QVariantList &values)
{
    QList<int> columns;
    for (const QString &field : fields) {
        const int column = m_model->fieldIndex(field);
        if (column < 0)
            return -1;
        columns << column;
    }
    const int held = m_model->findLoaded(columns, values);
    if (held >= 0 || !m_plan.keyset || !m_model->keptByIdentities())
        return held;
    engine::Database *db = m_store ? m_view.get() : m_db;
    if (!db || !db->isOpen())
        return -1;
    QStringList names;
    for (const int column : std::as_const(columns))
        names << m_columns.value(column);
    try {
        // Prepared once per list shown and connection: every record shown asks.
        const QString sql = m_plan.idsWhereSql(names);
        if (!m_idsOf || m_idsOfSql != sql || m_idsOfDb != db) {
            m_idsOf = std::make_unique<engine::Statement>(*db, sql);
            m_idsOfSql = sql;
            m_idsOfDb = db;
        }
        m_idsOf->bind(values);
        int found = -1;
        while (found < 0 && m_idsOf->step())
            found = m_model->rowOfId(m_idsOf->integer(0));
        m_idsOf->reset();
        return found;
    } catch (const engine::EngineError &) {
        // A select whose columns are not the table's: the rows held were all.
        m_idsOf.reset();
    }
    return -1;
}

void DataSource::cancel()
{
    m_query->cancel();
}

bool DataSource::isRunning() const
{
    // Until workFinished() has come: a worker that has just ended may still
    // have rows on their way to the list.
    return m_query->isFinishing();
}

} // namespace core
