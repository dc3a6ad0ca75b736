#pragma once

#include "BackgroundWork.h"
#include "Services.h"
#include "ReportData.h"
#include "frmPrint.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

#include <memory>

class QWidget;

namespace core {
struct AppContext;
}

namespace reports {

class ReportDialogs;
class ReportProgress;

// Rows per list the preview lays out: enough for the first pages of a long
// report, few enough to show them at once. Printing and saving take all rows.
inline constexpr int kPreviewRows = 400;

// Shows the reports of the report folder: the catalogue screen and the
// person screen hand it a report name and the values of its parameters.
// The first report on a data file also creates the report indexes a file
// made before them lacks (once, with the report's progress box).
class ReportLauncher : public QObject, public core::ReportService {
    Q_OBJECT
public:
    // `dialogs` may be null (the system's print and file dialogs); `window`
    // is the window the progress box and the messages belong to.
    explicit ReportLauncher(core::AppContext &ctx, ReportDialogs *dialogs = nullptr,
                            QWidget *window = nullptr);
    ~ReportLauncher() override;

    void setWindow(QWidget *window) { m_window = window; }

    // <report folder>/<name>.rpt; empty for a name that is no plain file name.
    QString reportPath(const QString &reportName) const;
    bool reportExists(const QString &reportName) const override;
    // The parameters the report file declares (see ReportDefinition);
    // empty when it declares none or cannot be read.
    QStringList reportParameters(const QString &reportName) const override;

    // Looks the report up, checks it and prepares it off the window's
    // thread, then shows it in the viewer window (maximised, one for all
    // reports). `values` are the parameter values in the file's order.
    // A missing file shows "Report not found", a broken one one message
    // naming the file and what is wrong; both return false at once.
    // Failures found while running (a query error, too many rows) are shown
    // the same way later, and nothing is shown in the viewer.
    bool showReport(const QString &reportName, const QStringList &values = {}) override;
    // Stops a report being prepared.
    void cancel();
    bool isBusy() const;

    frmPrint *viewer() const { return m_viewer; }

signals:
    void reportShown();
    void reportFailed(const QString &message);

private:
    void fail(const QString &message);
    void chartsAndLayout(std::shared_ptr<ReportData> data);
    void present(std::shared_ptr<ReportData> data, QMap<QString, QImage> charts,
                 std::shared_ptr<ReportDocument> doc, bool partial);

    core::AppContext &m_ctx;
    std::unique_ptr<ReportDialogs> m_ownDialogs;
    ReportDialogs *m_dialogs;
    QPointer<QWidget> m_window;
    QPointer<frmPrint> m_viewer;
    BackgroundWork m_work;
    std::shared_ptr<QueryRunner> m_runner;
    std::unique_ptr<ReportProgress> m_progress;
    quint64 m_generation = 0; // the report being prepared; older results are dropped
    QString m_indexedFile;    // the data file whose report indexes are in place
};

} // namespace reports
