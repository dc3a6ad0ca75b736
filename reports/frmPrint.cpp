#include "reports/frmPrint.h"

#include "screens/BusyFeedback.h"
#include "reports/PageView.h"
#include "reports/ReportDialogs.h"
#include "reports/ReportExport.h"
#include "screens/GridExport.h"
#include "screens/Services.h"

#include <QCloseEvent>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPdfWriter>
#include <QPrinter>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QVBoxLayout>

namespace reports {

namespace {

QPushButton *button(QWidget *parent, QLayout *layout, const char *name, const QString &caption,
                    const QString &tip = {})
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    b->setToolTip(tip.isEmpty() ? caption : tip);
    b->setAutoDefault(false);
    layout->addWidget(b);
    return b;
}

} // namespace

frmPrint::frmPrint(core::MessageService &messages, ReportDialogs &dialogs, QWidget *parent)
    : QWidget(parent, Qt::Window), m_messages(messages), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("frmPrint"));
    setLayoutDirection(Qt::RightToLeft);
    setWindowTitle(QStringLiteral("التقرير"));

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(4, 4, 4, 4);
    auto *bar = new QHBoxLayout;
    outer->addLayout(bar);
    cmdPrint = button(this, bar, "cmdPrint", QStringLiteral("طباعة"), QStringLiteral("طباعة التقرير"));
    cmdPdf = button(this, bar, "cmdPdf", QStringLiteral("حفظ PDF"), QStringLiteral("حفظ التقرير في ملف PDF"));
    cmdExport = button(this, bar, "cmdExport", QStringLiteral("تصدير الجداول"),
                       QStringLiteral("تصدير جداول التقرير إلى Excel أو CSV"));
    bar->addSpacing(16);
    cmdFirst = button(this, bar, "cmdFirst", QStringLiteral("الأولى"), QStringLiteral("الصفحة الأولى"));
    cmdPrev = button(this, bar, "cmdPrev", QStringLiteral("السابقة"), QStringLiteral("الصفحة السابقة"));
    txtPage = new QSpinBox(this);
    txtPage->setObjectName(QStringLiteral("txtPage"));
    txtPage->setMinimum(1);
    txtPage->setKeyboardTracking(false);
    bar->addWidget(txtPage);
    lblPages = new QLabel(this);
    lblPages->setObjectName(QStringLiteral("lblPages"));
    bar->addWidget(lblPages);
    cmdNext = button(this, bar, "cmdNext", QStringLiteral("التالية"), QStringLiteral("الصفحة التالية"));
    cmdLast = button(this, bar, "cmdLast", QStringLiteral("الأخيرة"), QStringLiteral("الصفحة الأخيرة"));
    bar->addSpacing(16);
    cmdZoomIn = button(this, bar, "cmdZoomIn", QStringLiteral("تكبير"));
    cmdZoomOut = button(this, bar, "cmdZoomOut", QStringLiteral("تصغير"));
    cmdFitWidth = button(this, bar, "cmdFitWidth", QStringLiteral("ملء العرض"));
    cmdFitPage = button(this, bar, "cmdFitPage", QStringLiteral("الصفحة كاملة"));
    bar->addStretch(1);
    cmdClose = button(this, bar, "cmdClose", QStringLiteral("إغلاق"));

    cr = new ReportPageView(this);
    cr->setObjectName(QStringLiteral("cr"));
    outer->addWidget(cr, 1);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    outer->addWidget(lblStatus);

    connect(cr, &ReportPageView::currentPageChanged, this, &frmPrint::updatePageControls);
    connect(cmdFirst, &QPushButton::clicked, this, [this] { cr->setCurrentPage(1); updatePageControls(); });
    connect(cmdPrev, &QPushButton::clicked, this, [this] { cr->setCurrentPage(cr->currentPage() - 1); updatePageControls(); });
    connect(cmdNext, &QPushButton::clicked, this, [this] { cr->setCurrentPage(cr->currentPage() + 1); updatePageControls(); });
    connect(cmdLast, &QPushButton::clicked, this, [this] { cr->setCurrentPage(cr->pageCount()); updatePageControls(); });
    connect(txtPage, &QSpinBox::valueChanged, this, [this](int page) {
        if (page != cr->currentPage())
            cr->setCurrentPage(page);
    });
    connect(cmdZoomIn, &QPushButton::clicked, cr, [this] { cr->zoomIn(); });
    connect(cmdZoomOut, &QPushButton::clicked, cr, [this] { cr->zoomOut(); });
    connect(cmdFitWidth, &QPushButton::clicked, cr, &ReportPageView::fitToWidth);
    connect(cmdFitPage, &QPushButton::clicked, cr, &ReportPageView::fitInView);
    connect(cmdPrint, &QPushButton::clicked, this, &frmPrint::onPrint);
    connect(cmdPdf, &QPushButton::clicked, this, &frmPrint::onSavePdf);
    connect(cmdExport, &QPushButton::clicked, this, &frmPrint::onExport);
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);

    m_busy = new core::BusyFeedback(this);
    connect(m_busy, &core::BusyFeedback::stopRequested, this, [this] {
        m_stop = true;
        m_work.cancel();
        m_busy->setText(QStringLiteral("جاري الإيقاف..."));
    });
    updatePageControls();
}

frmPrint::~frmPrint()
{
    m_layout.cancel();
    m_work.cancel();
    m_work.wait();
    m_layout.wait();
}

void frmPrint::setReport(PreparedReport report)
{
    ++m_layoutRun; // the whole layout of the report before is dropped
    m_layout.cancel();
    m_wholeFailed = false;
    m_report = std::move(report);
    setWindowTitle(m_report.data->def.title);
    cr->setDocument(m_report.preview, m_report.previewPages);
    if (m_report.partial)
        layOutWholeReport();
    showStatus();
    updatePageControls();
}

void frmPrint::layOutWholeReport()
{
    // The layout of the report before is stopping: this one starts after
    // it rather than the window waiting for it.
    if (m_layout.isRunning()) {
        m_layoutWaits = true;
        return;
    }
    m_layoutWaits = false;
    const quint64 run = m_layoutRun;
    auto data = m_report.data;
    const QMap<QString, QImage> images = reportImages(*data, m_report.charts);
    auto built = std::make_shared<std::shared_ptr<ReportDocument>>();
    m_layout.start(
        [data, images, built](const core::BackgroundTask::Control &control) {
            const StopCheck stopped = [&control] { return control.stopRequested(); };
            try {
                auto doc = std::make_shared<ReportDocument>(renderHtml(*data, 0, stopped), images, data->def.landscape,
                                                            data->pictureFolders, stopped);
                doc->handToApplicationThread();
                *built = std::move(doc);
            } catch (const ReportError &) {
                // Stopped by the next report: the first pages were enough.
            }
        },
        [this, run, built] {
            if (m_layoutWaits) {
                if (m_report.partial)
                    layOutWholeReport();
                return;
            }
            if (run != m_layoutRun)
                return;
            if (!*built) { // it could not be laid out again: the first pages stay
                m_wholeFailed = true;
                showStatus();
                return;
            }
            m_report.preview = *built;
            m_report.previewPages = m_report.preview->pageCount();
            m_report.partial = false;
            cr->setDocument(m_report.preview, m_report.previewPages, true);
            showStatus();
            updatePageControls();
            emit previewComplete();
        });
}

bool frmPrint::isLayingOut() const
{
    return m_report.partial && !m_wholeFailed;
}

void frmPrint::showStatus()
{
    if (m_report.partial && m_wholeFailed)
        lblStatus->setText(QStringLiteral("تعرض المعاينة أول %1 صفحة من التقرير (%2 سطرا)؛ "
                                          "الطباعة والحفظ يشملان التقرير كاملا")
                               .arg(m_report.previewPages)
                               .arg(m_report.data->rowCount()));
    else if (m_report.partial)
        lblStatus->setText(QStringLiteral("تعرض المعاينة أول %1 صفحة من التقرير (%2 سطرا)، "
                                          "وتنسق بقية صفحاته الآن...")
                               .arg(m_report.previewPages)
                               .arg(m_report.data->rowCount()));
    else
        lblStatus->setText(QStringLiteral("%1 صفحة").arg(m_report.previewPages));
}

int frmPrint::currentPage() const
{
    return cr->currentPage();
}

int frmPrint::previewPageCount() const
{
    return cr->pageCount();
}

bool frmPrint::isBusy() const
{
    return m_work.isRunning() || m_busy->isActive();
}

void frmPrint::updatePageControls()
{
    const int count = cr->pageCount();
    const int page = cr->currentPage();
    txtPage->blockSignals(true);
    txtPage->setMaximum(qMax(1, count));
    txtPage->setValue(qMax(1, page));
    txtPage->blockSignals(false);
    lblPages->setText(QStringLiteral("من %1").arg(count));
    cmdFirst->setEnabled(page > 1);
    cmdPrev->setEnabled(page > 1);
    cmdNext->setEnabled(page < count);
    cmdLast->setEnabled(page < count);
    const bool ready = m_report.data != nullptr && !isBusy();
    cmdPrint->setEnabled(ready);
    cmdPdf->setEnabled(ready);
    cmdExport->setEnabled(ready && m_saveFiles);
}

void frmPrint::produce(const QString &activity,
                       std::function<bool(const ReportDocument &, const std::function<bool(int, int)> &)> output,
                       std::function<void(bool)> finished)
{
    if (!m_report.data || isBusy())
        return;
    m_stop = false;
    m_busy->start(activity);
    updatePageControls();
    auto data = m_report.data;
    const QMap<QString, QImage> images = reportImages(*data, m_report.charts);
    auto ok = std::make_shared<bool>(false);
    core::BusyFeedback *busy = m_busy;
    m_work.start(
        [data, images, output, ok, busy](const core::BackgroundTask::Control &control) {
            const StopCheck stopped = [&control] { return control.stopRequested(); };
            try {
                const ReportDocument doc(renderHtml(*data, 0, stopped), images, data->def.landscape,
                                         data->pictureFolders, stopped);
                *ok = output(doc, [&control, busy](int page, int count) {
                    // Carried to the window's thread by the panel itself.
                    busy->setDetail(QStringLiteral("الصفحة %1 من %2").arg(page + 1).arg(count));
                    busy->setProgress(page, count);
                    return !control.stopRequested();
                });
            } catch (const ReportError &) {
                *ok = false;
            }
        },
        [this, ok, finished] {
            m_busy->finish();
            updatePageControls();
            const bool stopped = m_stop;
            if (finished)
                finished(*ok && !stopped);
            emit outputFinished(*ok && !stopped);
        });
}

void frmPrint::printOn(std::shared_ptr<QPrinter> printer)
{
    produce(QStringLiteral("جاري الطباعة..."),
            [printer](const ReportDocument &doc, const std::function<bool(int, int)> &keepGoing) {
                return doc.print(*printer, -1, keepGoing);
            },
            [this](bool ok) {
                if (!ok && !m_stop)
                    m_messages.show(QStringLiteral("تعذرت طباعة التقرير"), this);
            });
}

void frmPrint::onPrint()
{
    if (!m_report.preview)
        return;
    auto printer = std::make_shared<QPrinter>(QPrinter::HighResolution);
    printer->setFullPage(true);
    m_report.preview->prepareDevice(*printer);
    printer->setDocName(m_report.data->def.title);
    if (!m_dialogs.choosePrinter(*printer, this))
        return;
    printOn(printer);
}

void frmPrint::savePdf(const QString &path)
{
    const QString title = m_report.data ? m_report.data->def.title : QString();
    produce(QStringLiteral("جاري حفظ الملف..."),
            [path, title](const ReportDocument &doc, const std::function<bool(int, int)> &keepGoing) {
                // Written beside the target and renamed at the end: a failed
                // or stopped save leaves no half file.
                QSaveFile file(path);
                if (!file.open(QIODevice::WriteOnly))
                    return false;
                bool ok = false;
                {
                    QPdfWriter writer(&file);
                    writer.setResolution(300);
                    writer.setTitle(title);
                    writer.setCreator(QStringLiteral("velm"));
                    doc.prepareDevice(writer);
                    ok = doc.print(writer, -1, keepGoing);
                }
                if (!ok) {
                    file.cancelWriting();
                    return false;
                }
                return file.commit();
            },
            [this, path](bool ok) {
                if (ok)
                    m_messages.show(QStringLiteral("تم حفظ التقرير في الملف %1").arg(core::leftToRight(path)), this);
                else if (!m_stop)
                    m_messages.show(QStringLiteral("تعذر حفظ التقرير في الملف %1").arg(core::leftToRight(path)), this);
            });
}

void frmPrint::onSavePdf()
{
    if (!m_report.data)
        return;
    QString base = m_report.data->def.name;
    const QString suggested = QDir::home().filePath(base + QStringLiteral(".pdf"));
    const QString path = m_dialogs.choosePdfFile(suggested, this);
    if (!path.isEmpty())
        savePdf(path);
}

void frmPrint::setSaveFileChooser(core::SaveFileChooser *chooser)
{
    m_saveFiles = chooser;
    updatePageControls();
}

void frmPrint::onExport()
{
    if (!m_report.data || !m_saveFiles || isBusy())
        return;
    const QString suggested = QDir::home().filePath(core::exportFileName(m_report.data->def.name, sheets::Format::Xlsx));
    const auto choice = m_saveFiles->choose(QStringLiteral("تصدير جداول التقرير"), suggested, core::exportFileTypes(),
                                            core::exportFileType(sheets::Format::Xlsx), this);
    if (choice && !choice->path.isEmpty())
        exportTables(choice->path, sheets::formatOfPath(choice->path).value_or(core::exportFormat(choice->type)));
}

void frmPrint::exportTables(const QString &path, sheets::Format format)
{
    if (!m_report.data || isBusy())
        return;
    m_stop = false;
    m_busy->start(QStringLiteral("جاري تصدير جداول التقرير..."));
    updatePageControls();
    auto data = m_report.data;
    auto result = std::make_shared<TablesWritten>();
    core::BusyFeedback *busy = m_busy;
    m_work.start(
        [data, path, format, result, busy](const core::BackgroundTask::Control &control) {
            *result = exportReportTables(*data, path, format, [&control, busy](qint64 done, qint64 total) {
                busy->setProgress(done, total);
                busy->setDetail(QStringLiteral("تم تصدير %1 من %2 سطرا").arg(done).arg(total));
                return !control.stopRequested();
            });
        },
        [this, result, path] {
            m_busy->finish();
            updatePageControls();
            const bool ok = result->written && !m_stop;
            const QString file = QDir::toNativeSeparators(path);
            if (ok) {
                QString text = QStringLiteral("تم تصدير جداول التقرير (%1 سطرا) إلى الملف %2").arg(result->rows).arg(file);
                if (result->cutCells > 0)
                    text += QStringLiteral("\nقُصّ %1 نصا أطول مما تسعه خلية الجدول؛ ملف CSV يحفظها كاملة.").arg(result->cutCells);
                m_messages.show(text, this);
            } else if (!m_stop && !result->stopped) {
                m_messages.show(QStringLiteral("تعذر تصدير جداول التقرير إلى الملف %1\n%2").arg(file, result->error), this);
            }
            emit outputFinished(ok);
        });
}

} // namespace reports
