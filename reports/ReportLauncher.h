#pragma once

#include "data/BackgroundTask.h"
#include "screens/Services.h"
#include "reports/ReportData.h"
#include "reports/frmPrint.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

class QWidget;

namespace core {
struct AppContext;
class BusyFeedback;
}

namespace reports {

class ReportDialogs;

// Rows per list the preview lays out first: enough for the first pages of a
// long report, few enough to show them at once. The viewer then lays out
// every row for the preview; printing and saving take all rows.
inline constexpr int kPreviewRows = 400;

// Shows the reports of the report folder: the catalogue screen and the
// person screen hand it a report name and the values of its parameters.
// The first report on a data file also creates the report indexes a file
// made before them lacks (once, while the report is prepared). While a
// report is prepared the window stays usable: the busy pointer, after half
// a second a panel with a stop button over the window, Esc to stop.
class ReportLauncher : public QObject, public core::ReportService {
    Q_OBJECT
public:
    // `dialogs` may be null (the system's print and file dialogs); `window`
    // is the window the busy panel and the messages belong to.
    explicit ReportLauncher(core::AppContext &ctx, ReportDialogs *dialogs = nullptr,
                            QWidget *window = nullptr);
    ~ReportLauncher() override;

    void setWindow(QWidget *window);

    // <report folder>/<name>.rpt; empty for a name that is no plain file name.
    QString reportPath(const QString &reportName) const;
    bool reportExists(const QString &reportName) const override;
    // The parameters the report file declares (see ReportDefinition);
    // empty when it declares none or cannot be read.
    QStringList reportParameters(const QString &reportName) const;

    // Looks the report up, checks it and prepares it off the window's
    // thread, then shows it in the viewer window (maximised, one for all
    // reports). The file is read once: its parameters go to `valuesFor`,
    // the values it gives to the queries by name.
    // A missing file shows "Report not found", a broken one one message
    // naming the file and what is wrong; both return false at once.
    // Failures found while running (a query error, too many rows) are shown
    // the same way later, and nothing is shown in the viewer.
    using core::ReportService::showReport;
    bool showReport(const QString &reportName, const core::ReportValuesFor &valuesFor) override;
    // Stops a report being prepared: reportFailed(QueryRunner::cancelledMessage()),
    // with no message shown.
    void cancel();
    bool isBusy() const;

    frmPrint *viewer() const { return m_viewer; }

signals:
    void reportShown();
    void reportFailed(const QString &message);

private:
    core::BusyFeedback &busy();
    void fail(const QString &message);
    void chartsAndLayout(std::shared_ptr<ReportData> data);
    void present(std::shared_ptr<ReportData> data, QMap<QString, QImage> charts,
                 std::shared_ptr<ReportDocument> doc, bool partial);

    core::AppContext &m_ctx;
    std::unique_ptr<ReportDialogs> m_ownDialogs;
    ReportDialogs *m_dialogs;
    QPointer<QWidget> m_window;
    QPointer<frmPrint> m_viewer;
    core::BackgroundTask m_work{this}; // what is no query: the indexes, the layout
    QPointer<QueryRunner> m_runner;
    QPointer<core::BusyFeedback> m_busy;
    bool m_preparing = false;
    quint64 m_generation = 0; // the report being prepared; older results are dropped
    QString m_indexedFile;    // the data file whose report indexes are in place
};

} // namespace reports
