#pragma once

#include "data/BackgroundTask.h"
#include "reports/ReportData.h"
#include "reports/ReportRender.h"
#include "sheets/SheetWriter.h"

#include <QImage>
#include <QMap>
#include <QWidget>

#include <memory>

class QLabel;
class QPrinter;
class QPushButton;
class QSpinBox;

namespace core {
class BusyFeedback;
class MessageService;
class SaveFileChooser;
}

namespace reports {

class ReportDialogs;
class ReportPageView;

// A report ready to be shown: its data, its drawn charts and the laid-out
// pages of the preview.
struct PreparedReport {
    std::shared_ptr<const ReportData> data;
    QMap<QString, QImage> charts;
    std::shared_ptr<ReportDocument> preview;
    int previewPages = 0;   // pages the preview shows
    bool partial = false;   // the preview holds only the first rows
};

// The report viewer: the pages with page navigation and zoom, printing
// through the system's print dialog, and saving as PDF. A long report
// comes with its first pages only; the viewer shows them at once and lays
// the whole report out off the window's thread meanwhile, then shows every
// page, on the page the user has reached. Printing and saving lay the whole
// report out again off the window's thread, with the page being written
// shown and a stop button (Esc).
class frmPrint : public QWidget {
    Q_OBJECT
public:
    frmPrint(core::MessageService &messages, ReportDialogs &dialogs, QWidget *parent = nullptr);
    ~frmPrint() override;

    // Shows a report in place of the one shown before.
    void setReport(PreparedReport report);
    const PreparedReport &report() const { return m_report; }

    int currentPage() const;
    int previewPageCount() const;
    bool isBusy() const;
    // The whole report is being laid out for the preview.
    bool isLayingOut() const;

    // Writes the whole report as PDF to `path` off the window's thread;
    // `done(ok)` follows on the window's thread. A failure leaves no file.
    void savePdf(const QString &path);
    void printOn(std::shared_ptr<QPrinter> printer);
    // Where the export of the report's tables asks for its file; without
    // one they are not exported.
    void setSaveFileChooser(core::SaveFileChooser *chooser);
    // Writes the report's tables (see exportReportTables) off the window's
    // thread, with progress and a stop button; outputFinished(ok) follows.
    void exportTables(const QString &path, sheets::Format format);

signals:
    void outputFinished(bool ok);
    // The preview shows every page of the report.
    void previewComplete();

private:
    void onPrint();
    void onSavePdf();
    void layOutWholeReport();
    void showStatus();
    void onExport();
    void paintPreview(QPrinter *printer);
    void updatePageControls();
    // Lays the whole report out and prints it on the device `open` gives.
    void produce(const QString &activity, std::function<bool(const ReportDocument &, const std::function<bool(int, int)> &)> output,
                 std::function<void(bool)> finished);

    core::MessageService &m_messages;
    ReportDialogs &m_dialogs;
    // Before the report: the pages it lays out keep the fonts of its thread.
    core::BackgroundTask m_layout{this};
    quint64 m_layoutRun = 0; // the report whose whole layout is awaited
    bool m_layoutWaits = false; // for the layout before to stop
    bool m_wholeFailed = false; // the first pages are all the preview will have
    core::SaveFileChooser *m_saveFiles = nullptr;
    PreparedReport m_report;

    ReportPageView *cr = nullptr;
    QPushButton *cmdPrint = nullptr;
    QPushButton *cmdPdf = nullptr;
    QPushButton *cmdExport = nullptr;
    QPushButton *cmdFirst = nullptr;
    QPushButton *cmdPrev = nullptr;
    QPushButton *cmdNext = nullptr;
    QPushButton *cmdLast = nullptr;
    QSpinBox *txtPage = nullptr;
    QLabel *lblPages = nullptr;
    QPushButton *cmdZoomIn = nullptr;
    QPushButton *cmdZoomOut = nullptr;
    QPushButton *cmdFitWidth = nullptr;
    QPushButton *cmdFitPage = nullptr;
    QPushButton *cmdClose = nullptr;
    QLabel *lblStatus = nullptr;

    core::BackgroundTask m_work{this};
    core::BusyFeedback *m_busy = nullptr;
    bool m_stop = false; // the clerk stopped the printing or saving
};

} // namespace reports
