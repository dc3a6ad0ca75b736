#include "ReportData.h"

#include "Schema.h"

#include "engine/Database.h"
#include "engine/ReadOnlyQuery.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

namespace reports {

namespace {

QImage readImage(const QString &path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read(); // null when the file is no picture
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

qint64 ReportData::rowCount() const
{
    qint64 n = 0;
    for (const QueryResult &r : results)
        n += r.rows.size();
    return n;
}

QueryRunner::QueryRunner(ConnectionFactory openConnection) : m_open(std::move(openConnection)) {}

QString QueryRunner::cancelledMessage()
{
    return QStringLiteral("أوقف إعداد التقرير");
}

void QueryRunner::watch(engine::Database *db)
{
    QMutexLocker lock(&m_mutex);
    m_db = db;
}

void QueryRunner::cancel()
{
    m_cancelled = true;
    QMutexLocker lock(&m_mutex);
    if (m_db)
        engine::interrupt(*m_db);
}

bool QueryRunner::addMissingIndexes()
{
    try {
        std::unique_ptr<engine::Database> db = m_open();
        watch(db.get());
        const OnExit forget{[this] { watch(nullptr); }};
        if (m_cancelled)
            throw ReportError(cancelledMessage());
        core::schema::addMissingIndexes(*db);
        return true;
    } catch (const engine::EngineError &) {
        if (m_cancelled)
            throw ReportError(cancelledMessage());
        return false;
    }
}

ReportData QueryRunner::run(const ReportDefinition &def, const QStringList &values,
                            const ReportPlaces &places, const std::function<void(qint64)> &progress)
{
    ReportData data;
    data.def = def;
    data.parameters = def.parameterValues(values);
    data.today = places.today;

    std::unique_ptr<engine::Database> db;
    try {
        db = m_open();
        engine::restrictToQueries(*db);
    } catch (const engine::EngineError &e) {
        throw ReportError(def.message(QStringLiteral("لا يمكن فتح قاعدة البيانات للقراءة (%1)").arg(e.description())));
    }
    watch(db.get());
    const OnExit forget{[this] { watch(nullptr); }};

    // Every query is prepared and checked before any of them runs: a
    // file with one bad query shows nothing at all.
    std::vector<std::unique_ptr<engine::ReadOnlyQuery>> prepared;
    for (const QueryDef &q : def.queries) {
        const QString where = QStringLiteral("الاستعلام %1").arg(q.name);
        try {
            auto query = std::make_unique<engine::ReadOnlyQuery>(*db, q.sql);
            for (const QString &p : query->parameterNames()) {
                if (!def.parameters.contains(p))
                    throw ReportError(def.messageAt(
                        q.line, QStringLiteral("%1 يستعمل معاملا غير معرف :%2 (معاملات التقرير: %3)")
                                    .arg(where, p,
                                         def.parameters.isEmpty() ? QStringLiteral("لا شيء")
                                                                  : def.parameters.join(QStringLiteral(", ")))));
                query->bind(p, data.parameters.value(p));
            }
            const QStringList columns = query->columnNames();
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
            prepared.push_back(std::move(query));
        } catch (const engine::EngineError &e) {
            if (e.number() == engine::ErrNotAQuery)
                throw ReportError(def.messageAt(q.line, QStringLiteral("%1 ليس استعلام قراءة؛ لا يسمح للتقرير بتغيير البيانات")
                                                            .arg(where)));
            throw ReportError(def.messageAt(q.line, QStringLiteral("%1 خاطئ: %2").arg(where, e.description())));
        }
    }

    qint64 total = 0;
    for (size_t i = 0; i < prepared.size(); ++i) {
        const QueryDef &q = def.queries.at(int(i));
        engine::ReadOnlyQuery &query = *prepared[i];
        QueryResult result;
        result.name = q.name;
        result.columns = query.columnNames();
        const int n = result.columns.size();
        try {
            while (query.next()) {
                if (++total > def.maxRows)
                    throw ReportError(def.message(QStringLiteral("التقرير يتجاوز %1 سطر؛ ضيق الفترة أو عوامل التصفية")
                                                      .arg(def.maxRows)));
                QStringList row;
                row.reserve(n);
                for (int c = 0; c < n; ++c)
                    row << asText(query.value(c));
                result.rows << row;
                if (progress && total % 1000 == 0)
                    progress(total);
            }
        } catch (const engine::EngineError &e) {
            if (m_cancelled || e.number() == engine::ErrInterrupted)
                throw ReportError(cancelledMessage());
            throw ReportError(def.messageAt(q.line, QStringLiteral("الاستعلام %1 خاطئ: %2").arg(q.name, e.description())));
        }
        if (m_cancelled)
            throw ReportError(cancelledMessage());
        data.results << result;
    }
    if (progress)
        progress(total);

    const QString pictureName = def.pictureFile(data.parameters);
    if (!pictureName.isEmpty() && !places.pictureDir.isEmpty())
        data.picture = readImage(QDir(places.pictureDir).filePath(pictureName));
    data.logo = readImage(places.logoFile);
    return data;
}

} // namespace reports
