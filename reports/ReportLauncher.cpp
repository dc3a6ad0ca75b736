#include "ReportLauncher.h"

#include "AppContext.h"
#include "HijraDate.h"
#include "ReportCharts.h"
#include "ReportDialogs.h"
#include "ReportProgress.h"
#include "ReportRender.h"

#include <QDir>
#include <QFileInfo>

namespace reports {

namespace {

QString reportDate(const core::LogonState &logon)
{
    if (logon.WORK_YY.size() == 4 && logon.WORK_MM.size() == 2 && logon.WORK_DD.size() == 2)
        return logon.WORK_YY + QLatin1Char('/') + logon.WORK_MM + QLatin1Char('/') + logon.WORK_DD;
    const core::HijriDay today = core::todayHijri();
    return today.yyyy + QLatin1Char('/') + today.mm + QLatin1Char('/') + today.dd;
}

} // namespace

ReportLauncher::ReportLauncher(core::AppContext &ctx, ReportDialogs *dialogs, QWidget *window)
    : m_ctx(ctx), m_window(window)
{
    if (!dialogs) {
        m_ownDialogs = std::make_unique<QtReportDialogs>();
        dialogs = m_ownDialogs.get();
    }
    m_dialogs = dialogs;
}

ReportLauncher::~ReportLauncher()
{
    cancel();
    m_work.waitForDone();
    delete m_viewer;
}

QString ReportLauncher::reportPath(const QString &reportName) const
{
    const QString name = reportName.trimmed();
    // A catalogue row names a file of the report folder, nothing else.
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QLatin1String("..")) || name.contains(QChar(0)))
        return {};
    return QDir(m_ctx.store.config().reportDir()).filePath(name + QStringLiteral(".rpt"));
}

bool ReportLauncher::reportExists(const QString &reportName) const
{
    const QString path = reportPath(reportName);
    return !path.isEmpty() && QFileInfo(path).isFile();
}

QStringList ReportLauncher::reportParameters(const QString &reportName) const
{
    const QString path = reportPath(reportName);
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    try {
        return readReportFile(path).parameters;
    } catch (const ReportError &) {
        return {};
    }
}

bool ReportLauncher::isBusy() const
{
    return m_progress != nullptr;
}

void ReportLauncher::cancel()
{
    if (m_runner)
        m_runner->cancel();
}

void ReportLauncher::fail(const QString &message)
{
    m_progress.reset();
    m_runner.reset();
    if (message != QueryRunner::cancelledMessage())
        m_ctx.messages.show(message, m_window);
    emit reportFailed(message);
}

bool ReportLauncher::showReport(const QString &reportName, const QStringList &values)
{
    if (!reportExists(reportName)) {
        m_ctx.messages.show(QStringLiteral("Report not found"), m_window);
        return false;
    }
    const QString path = reportPath(reportName);
    ReportDefinition def;
    try {
        def = readReportFile(path);
    } catch (const ReportError &e) {
        m_ctx.messages.show(e.message(), m_window);
        return false;
    }

    // A new report replaces one still being prepared.
    cancel();
    m_progress.reset();
    const quint64 generation = ++m_generation;
    core::DataStore &store = m_ctx.store;
    auto runner = std::make_shared<QueryRunner>([&store] { return store.openViewConnection(); });
    m_runner = runner;
    const ReportPlaces places{store.config().pictureDir,
                              QDir(store.programDir()).filePath(QStringLiteral("pictures/piclogo.jpg")),
                              reportDate(m_ctx.logon)};
    m_progress = std::make_unique<ReportProgress>(m_window, QStringLiteral("جاري إعداد التقرير: %1").arg(def.title),
                                                  [this] { cancel(); });
    auto data = std::make_shared<ReportData>();
    auto error = std::make_shared<QString>();
    const QString dataFile = QFileInfo(store.config().dbFile).absoluteFilePath();
    const bool makeIndexes = m_indexedFile != dataFile;
    auto indexed = std::make_shared<bool>(false);
    m_work.run(
        [this, generation, runner, def, values, places, data, error, makeIndexes, indexed] {
            try {
                if (makeIndexes) {
                    QMetaObject::invokeMethod(this, [this, generation] {
                        if (m_progress && generation == m_generation)
                            m_progress->setText(QStringLiteral("جاري إعداد فهارس التقارير لملف البيانات (مرة واحدة)..."));
                    });
                    // A file that cannot take them still gives its reports, more slowly.
                    runner->addMissingIndexes();
                    *indexed = true;
                }
                *data = runner->run(def, values, places, [this, generation](qint64 rows) {
                    // Carried to the window's thread; the launcher outlives the work.
                    QMetaObject::invokeMethod(this, [this, generation, rows] {
                        if (m_progress && generation == m_generation)
                            m_progress->setText(QStringLiteral("جاري إعداد التقرير: قرئ %1 سطرا").arg(rows));
                    });
                });
            } catch (const ReportError &e) {
                *error = e.message();
            }
        },
        [this, generation, data, error, indexed, dataFile] {
            if (*indexed)
                m_indexedFile = dataFile;
            if (generation != m_generation)
                return;
            if (!error->isEmpty())
                fail(*error);
            else
                chartsAndLayout(data);
        });
    return true;
}

void ReportLauncher::chartsAndLayout(std::shared_ptr<ReportData> data)
{
    const quint64 generation = m_generation;
    // The charts toolkit draws on this thread; the charts are small.
    QMap<QString, QImage> charts = drawCharts(*data);
    if (m_progress)
        m_progress->setText(QStringLiteral("جاري تنسيق الصفحات..."));
    auto doc = std::make_shared<std::shared_ptr<ReportDocument>>();
    auto error = std::make_shared<QString>();
    bool partial = false;
    for (const QueryResult &r : data->results)
        partial = partial || r.rows.size() > kPreviewRows;
    m_work.run(
        [data, charts, doc, error, partial] {
            try {
                auto built = std::make_shared<ReportDocument>(renderHtml(*data, partial ? kPreviewRows : 0),
                                                              reportImages(*data, charts), data->def.landscape);
                built->handToApplicationThread();
                *doc = built;
            } catch (const ReportError &e) {
                *error = e.message();
            }
        },
        [this, generation, data, charts, doc, error, partial] {
            if (generation != m_generation)
                return;
            if (!error->isEmpty())
                fail(*error);
            else
                present(data, charts, *doc, partial);
        });
}

void ReportLauncher::present(std::shared_ptr<ReportData> data, QMap<QString, QImage> charts,
                             std::shared_ptr<ReportDocument> doc, bool partial)
{
    m_progress.reset();
    m_runner.reset();
    if (!m_viewer) {
        m_viewer = new frmPrint(m_ctx.messages, *m_dialogs, m_window);
        m_viewer->setAttribute(Qt::WA_DeleteOnClose);
    }
    PreparedReport report;
    report.data = std::move(data);
    report.charts = std::move(charts);
    report.partial = partial;
    // A cut preview ends with a page that may hold only part of the rows
    // that belong there: it shows the pages before it.
    report.previewPages = partial ? qMax(1, doc->pageCount() - 1) : doc->pageCount();
    report.preview = std::move(doc);
    m_viewer->setReport(std::move(report));
    m_viewer->showMaximized();
    m_viewer->raise();
    m_viewer->activateWindow();
    emit reportShown();
}

} // namespace reports
