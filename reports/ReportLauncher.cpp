#include "reports/ReportLauncher.h"

#include "screens/AppContext.h"
#include "data/HijraDate.h"
#include "reports/ReportCharts.h"
#include "reports/ReportDialogs.h"
#include "screens/BusyFeedback.h"
#include "reports/ReportRender.h"

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
    m_work.wait();
    delete m_runner;
    delete m_busy;
    delete m_viewer;
}

void ReportLauncher::setWindow(QWidget *window)
{
    if (window == m_window)
        return;
    m_window = window;
    if (m_busy && !m_busy->isActive())
        delete m_busy; // the next report shows over the new window
}

core::BusyFeedback &ReportLauncher::busy()
{
    if (!m_busy) {
        m_busy = new core::BusyFeedback(m_window);
        connect(m_busy, &core::BusyFeedback::stopRequested, this, &ReportLauncher::cancel);
    }
    return *m_busy;
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
    return m_preparing;
}

void ReportLauncher::cancel()
{
    if (!m_preparing)
        return;
    ++m_generation; // what the report's work still hands back is dropped
    if (m_runner)
        m_runner->cancel();
    m_work.cancel(); // the indexes being made
    fail(QueryRunner::cancelledMessage());
}

void ReportLauncher::fail(const QString &message)
{
    m_preparing = false;
    if (m_busy)
        m_busy->finish();
    if (m_runner)
        m_runner->deleteLater();
    m_runner = nullptr;
    if (message != QueryRunner::cancelledMessage())
        m_ctx.messages.show(message, m_window);
    emit reportFailed(message);
}

bool ReportLauncher::showReport(const QString &reportName, const core::ReportValuesFor &valuesFor)
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
    const std::optional<core::ReportValues> values = valuesFor ? valuesFor(def.parameters) : core::ReportValues();
    if (!values)
        return false;

    // A new report replaces one still being prepared.
    cancel();
    const quint64 generation = ++m_generation;
    m_preparing = true;
    core::DataStore &store = m_ctx.store;
    auto *runner = new QueryRunner([&store] { return store.openViewConnection(); }, this);
    m_runner = runner;
    connect(runner, &QueryRunner::rowsRead, this, [this, runner](qint64 rows) {
        if (runner == m_runner)
            busy().setFound(rows);
    });
    connect(runner, &QueryRunner::failed, this, [this, runner](const QString &message) {
        if (runner == m_runner)
            fail(message);
    });
    connect(runner, &QueryRunner::finished, this, [this, runner] {
        if (runner == m_runner)
            chartsAndLayout(std::make_shared<ReportData>(runner->takeData()));
    });
    const ReportPlaces places{store.config().pictureDir,
                              QDir(store.programDir()).filePath(QStringLiteral("pictures/piclogo.jpg")),
                              reportDate(m_ctx.logon),
                              {store.config().pictureDir, store.config().dataDir, store.programDir()}};
    const QString preparing = QStringLiteral("جاري إعداد التقرير: %1").arg(def.title);
    busy().start(preparing);

    const QString dataFile = QFileInfo(store.config().dbFile).absoluteFilePath();
    if (m_indexedFile == dataFile) {
        runner->start(def, *values, places);
        return true;
    }
    // Creating an index writes and reads the whole table: off the window's thread.
    busy().setText(QStringLiteral("جاري إعداد فهارس التقارير لملف البيانات (مرة واحدة)..."));
    auto indexes = std::make_shared<MissingIndexes>([&store] { return store.openViewConnection(); });
    auto indexed = std::make_shared<bool>(false);
    auto stopped = std::make_shared<bool>(false);
    m_work.start(
        [indexes, indexed, stopped](const core::BackgroundTask::Control &control) {
            try {
                // A file that cannot take them still gives its reports, more slowly.
                *indexed = indexes->add(control.stopToken());
            } catch (const ReportError &) {
                *stopped = true;
            }
        },
        [this, generation, runner, indexed, stopped, dataFile, def, values, places, preparing] {
            if (*indexed)
                m_indexedFile = dataFile;
            if (generation != m_generation || runner != m_runner)
                return;
            if (*stopped) {
                fail(QueryRunner::cancelledMessage());
                return;
            }
            busy().setText(preparing);
            runner->start(def, *values, places);
        });
    return true;
}

void ReportLauncher::chartsAndLayout(std::shared_ptr<ReportData> data)
{
    const quint64 generation = m_generation;
    if (m_runner)
        m_runner->deleteLater();
    m_runner = nullptr;
    // The charts toolkit draws on this thread; the charts are small.
    QMap<QString, QImage> charts = drawCharts(*data);
    busy().setText(QStringLiteral("جاري تنسيق الصفحات..."));
    auto doc = std::make_shared<std::shared_ptr<ReportDocument>>();
    auto error = std::make_shared<QString>();
    bool partial = false;
    for (const QueryResult &r : data->results)
        partial = partial || r.rows.size() > kPreviewRows;
    m_work.start(
        [data, charts, doc, error, partial](const core::BackgroundTask::Control &) {
            try {
                readReportPictures(*data);
                auto built = std::make_shared<ReportDocument>(renderHtml(*data, partial ? kPreviewRows : 0),
                                                              reportImages(*data, charts), data->def.landscape,
                                                              data->pictureFolders);
                built->setFirstPagesOnly(partial);
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
    m_preparing = false;
    busy().finish();
    if (!m_viewer) {
        m_viewer = new frmPrint(m_ctx.messages, *m_dialogs, m_window);
        m_viewer->setSaveFileChooser(m_ctx.saveFiles);
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
