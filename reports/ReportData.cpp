#include "reports/ReportData.h"

#include "reports/ReportPictures.h"

#include "data/Schema.h"

#include "engine/Database.h"
#include "engine/ReadOnlyQuery.h"

#include <QDir>
#include <QFileInfo>
#include <QDeadlineTimer>

namespace reports {

namespace {

// The person's picture and the logo, read as any picture of a report is.
QImage readImage(const QString &path)
{
    if (path.isEmpty())
        return {};
    return readPicture(path, {QFileInfo(path).absolutePath()}, QDeadlineTimer(kPictureReadMs), nullptr);
}

QString asText(const QVariant &v)
{
    if (v.isNull() || !v.isValid())
        return {};
    if (v.typeId() == QMetaType::Double) {
        const double d = v.toDouble();
        return QString::number(d, 'f', d == qint64(d) ? 0 : 2);
    }
    return v.toString();
}

template <typename F>
struct OnExit {
    F f;
    ~OnExit() { f(); }
};

} // namespace

int QueryResult::column(const QString &anyCase) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns.at(i).compare(anyCase, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

const QueryResult *ReportData::result(const QString &name) const
{
    for (const QueryResult &r : results)
        if (r.name == name)
            return &r;
    return nullptr;
}

void readReportPictures(ReportData &data)
{
    if (data.picture.isNull())
        data.picture = readImage(std::exchange(data.pictureFile, QString()));
    if (data.logo.isNull())
        data.logo = readImage(std::exchange(data.logoFile, QString()));
}

qint64 ReportData::rowCount() const
{
    qint64 n = 0;
    for (const QueryResult &r : results)
        n += r.rows.size();
    return n;
}

// One checked query: its text, its values in the order of its placeholders
// and its columns.
struct QueryRunner::Planned {
    QString name;
    int line = 0;
    QString sql;
    QVariantList values;
    QStringList columns;
};

QueryRunner::QueryRunner(ConnectionFactory openConnection, QObject *parent)
    : QObject(parent), m_open(std::move(openConnection)), m_query(new core::BackgroundQuery(this))
{
    connect(m_query, &core::BackgroundQuery::rowsFound, this, [this](int run) {
        if (m_running && run == m_query->runNumber())
            addRows(m_query->take());
    });
    connect(m_query, &core::BackgroundQuery::finished, this, &QueryRunner::onFinished);
}

QueryRunner::~QueryRunner()
{
    // The worker reads on its own connection; it stops before this one closes.
    delete m_query;
    m_query = nullptr;
}

QString QueryRunner::cancelledMessage()
{
    return QStringLiteral("أوقف إعداد التقرير");
}

void QueryRunner::cancel()
{
    m_cancelled = true;
    if (m_running && m_query->isRunning())
        m_query->cancel(); // finished() with 3059 follows
}

MissingIndexes::MissingIndexes(QueryRunner::ConnectionFactory openConnection) : m_open(std::move(openConnection)) {}

bool MissingIndexes::add(const core::StopToken &stop)
{
    try {
        std::unique_ptr<engine::Database> db = m_open();
        // Creating an index cannot look at the token: the engine is interrupted.
        engine::Database *writing = db.get();
        stop.setOnStop([writing] { engine::interrupt(*writing); });
        const OnExit forget{[&stop] { stop.forgetOnStop(); }};
        if (stop.stopRequested())
            throw ReportError(QueryRunner::cancelledMessage());
        core::schema::addMissingIndexes(*db);
        return true;
    } catch (const engine::EngineError &) {
        if (stop.stopRequested())
            throw ReportError(QueryRunner::cancelledMessage());
        return false;
    }
}

// Opens and restricts the connection, checks every query and binds its
// values: nothing runs when one of them is wrong.
void QueryRunner::begin(const ReportDefinition &def, const QMap<QString, QString> &values, const ReportPlaces &places)
{
    m_plan.clear();
    m_next = 0;
    m_total = 0;
    m_data = ReportData();
    m_data.def = def;
    m_data.parameters = def.parameterValues(values);
    m_data.today = places.today;
    m_data.pictureFolders = places.pictureFolders;
    try {
        m_checked = m_open();
        engine::restrictToQueries(*m_checked);
    } catch (const engine::EngineError &e) {
        m_checked.reset();
        throw ReportError(def.message(QStringLiteral("لا يمكن فتح قاعدة البيانات للقراءة (%1)").arg(e.description())));
    }
    for (const QueryDef &q : def.queries) {
        const QString where = QStringLiteral("الاستعلام %1").arg(q.name);
        try {
            engine::ReadOnlyQuery query(*m_checked, q.sql);
            Planned planned{q.name, q.line, q.sql, {}, query.columnNames()};
            // The engine numbers named placeholders in the order of their
            // first use, a repeated name keeping its number.
            for (const QString &p : query.parameterNames()) {
                if (!def.parameters.contains(p))
                    throw ReportError(def.messageAt(
                        q.line, QStringLiteral("%1 يستعمل معاملا غير معرف :%2 (معاملات التقرير: %3)")
                                    .arg(where, p,
                                         def.parameters.isEmpty() ? QStringLiteral("لا شيء")
                                                                  : def.parameters.join(QStringLiteral(", ")))));
                planned.values << m_data.parameters.value(p);
            }
            const QStringList &columns = planned.columns;
            if (!q.groupBy.isEmpty() && !columns.contains(q.groupBy, Qt::CaseInsensitive))
                throw ReportError(def.messageAt(q.line, QStringLiteral("%1 ليس فيه عمود التجميع %2").arg(where, q.groupBy)));
            for (const ChartDef &c : def.charts) {
                if (c.query != q.name)
                    continue;
                for (const QString &col : {c.labelColumn, c.valueColumn})
                    if (!columns.contains(col, Qt::CaseInsensitive))
                        throw ReportError(def.messageAt(c.line, QStringLiteral("الرسم %1: %2 ليس فيه العمود %3")
                                                                    .arg(c.name, where, col)));
            }
            m_plan.push_back(std::move(planned));
        } catch (const engine::EngineError &e) {
            m_checked.reset();
            if (e.number() == engine::ErrNotAQuery)
                throw ReportError(def.messageAt(
                    q.line, QStringLiteral("%1 مرفوض: لا يسمح للتقرير إلا بقراءة البيانات بالدوال المعتادة، "
                                           "ولا يقرأ جدول المستخدمين (%2)")
                                .arg(where, e.description())));
            throw ReportError(def.messageAt(q.line, QStringLiteral("%1 خاطئ: %2").arg(where, e.description())));
        } catch (const ReportError &) {
            m_checked.reset();
            throw;
        }
    }

    const QString pictureName = def.pictureFile(m_data.parameters);
    if (!pictureName.isEmpty() && !places.pictureDir.isEmpty())
        m_data.pictureFile = QDir(places.pictureDir).filePath(pictureName);
    m_data.logoFile = places.logoFile;
}

core::BackgroundQuery::Request QueryRunner::request(const Planned &query) const
{
    core::BackgroundQuery::Request r;
    r.sql = query.sql;
    r.values = query.values;
    r.result = core::BackgroundQuery::Result::Rows;
    r.inlineDb = m_checked.get();
    r.openSpec = m_checked->openSpec(); // the worker opens its own with the derived key
    r.queriesOnly = true;               // and it gets the same checks as this one
    // One row past the limit tells that the report is too long.
    r.maxRows = qMax<qint64>(0, m_data.def.maxRows - m_total) + 1;
    return r;
}

ReportError QueryRunner::queryError(const Planned &query, int number, const QString &description) const
{
    if (m_cancelled || number == engine::ErrInterrupted)
        return ReportError(cancelledMessage());
    return ReportError(m_data.def.messageAt(query.line, QStringLiteral("الاستعلام %1 خاطئ: %2").arg(query.name, description)));
}

// Rows of the query being read, every value as text.
void QueryRunner::addRows(core::BackgroundQuery::Batch batch)
{
    QueryResult &result = m_data.results.last();
    if (batch.restart) {
        // The rows read first did not hold (the data changed meanwhile).
        m_total -= result.rows.size();
        result.rows.clear();
    }
    const int n = result.columns.size();
    for (const QVariantList &values : std::as_const(batch.rows)) {
        QStringList row;
        row.reserve(n);
        for (int c = 0; c < n; ++c)
            row << asText(values.value(c));
        result.rows << row;
    }
    m_total += batch.rows.size();
    if (m_total > m_data.def.maxRows)
        throw ReportError(m_data.def.message(
            QStringLiteral("التقرير يتجاوز %1 سطر؛ ضيق الفترة أو عوامل التصفية").arg(m_data.def.maxRows)));
    if (m_running && !batch.rows.isEmpty())
        emit rowsRead(m_total);
}

ReportData QueryRunner::run(const ReportDefinition &def, const QMap<QString, QString> &values, const ReportPlaces &places)
{
    begin(def, values, places);
    const OnExit release{[this] { end(); }};
    for (const Planned &q : m_plan) {
        m_data.results << QueryResult{q.name, q.columns, {}};
        core::BackgroundQuery::Request r = request(q);
        r.inlineBudgetMs = -1; // all of it here
        try {
            m_query->start(r);
        } catch (const engine::EngineError &e) {
            throw queryError(q, e.number(), e.description());
        }
        addRows(m_query->take());
    }
    readReportPictures(m_data);
    return std::move(m_data);
}

void QueryRunner::start(const ReportDefinition &def, const QMap<QString, QString> &values, const ReportPlaces &places)
{
    m_running = true;
    // The caller hears of the outcome from the event loop, never before
    // start() has returned.
    QMetaObject::invokeMethod(
        this,
        [this, def, values, places] {
            if (!m_running)
                return;
            try {
                if (m_cancelled)
                    throw ReportError(cancelledMessage());
                begin(def, values, places);
            } catch (const ReportError &e) {
                fail(e.message());
                return;
            }
            next();
        },
        Qt::QueuedConnection);
}

// Starts the queries in turn; those that end within the inline budget are
// complete at once, a longer one goes on and onFinished() carries on.
void QueryRunner::next()
{
    while (m_running && m_next < m_plan.size()) {
        const Planned &q = m_plan[m_next];
        m_data.results << QueryResult{q.name, q.columns, {}};
        try {
            m_query->start(request(q));
            addRows(m_query->take());
        } catch (const engine::EngineError &e) {
            fail(queryError(q, e.number(), e.description()).message());
            return;
        } catch (const ReportError &e) {
            fail(e.message());
            return;
        }
        if (m_query->isRunning())
            return;
        ++m_next;
    }
    if (!m_running)
        return;
    m_running = false;
    end();
    emit finished();
}

void QueryRunner::onFinished(int run, int error, const QString &description)
{
    if (!m_running || run != m_query->runNumber())
        return;
    try {
        addRows(m_query->take());
    } catch (const ReportError &e) {
        fail(e.message());
        return;
    }
    if (error != 0) {
        fail(queryError(m_plan[m_next], error, description).message());
        return;
    }
    ++m_next;
    next();
}

void QueryRunner::fail(const QString &message)
{
    m_running = false;
    m_query->cancel();
    end();
    m_data = ReportData();
    emit failed(message);
}

// The checked connection closes once nothing reads on it any more.
void QueryRunner::end()
{
    m_plan.clear();
    m_checked.reset();
}

ReportData QueryRunner::takeData()
{
    return std::move(m_data);
}

} // namespace reports
