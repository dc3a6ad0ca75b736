#pragma once

#include "reports/ListTable.h"
#include "reports/ReportData.h"
#include "reports/ReportDefinition.h"

#include <QFont> // a ListTable keeps its fonts

#include <QImage>
#include <QMap>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>

class QPagedPaintDevice;
class QPainter;
class QRectF;

namespace reports {

// Asked now and then by long work on a report's pages; true when the work
// is to stop, which it then does by throwing LayoutStopped.
using StopCheck = std::function<bool()>;
class LayoutStopped : public ReportError {
public:
    LayoutStopped() : ReportError(QStringLiteral("stopped")) {}
};

// Checks the Mustache tags of a layout; empty when they are well formed,
// otherwise what is wrong.
QString layoutError(const QString &layout);

// Fills the layout of a report with its data: the parameters, the rows of
// every query (each list cut to rowLimit rows when rowLimit > 0), groups,
// counts, charts and pictures. Values are HTML-escaped unless the layout
// asks otherwise with {{{...}}}. Throws ReportError for a broken layout.
QString renderHtml(const ReportData &data, int rowLimit = 0, const StopCheck &stopped = {});

// Resource names the HTML uses for the images.
QString chartResource(const QString &chartName);
inline constexpr const char *kPictureResource = "report-image:picture";
inline constexpr const char *kLogoResource = "report-image:logo";

// A laid-out report: right to left, paginated on A4, with a page number
// at the foot of every page. The list tables of the layout (see ListTable)
// are laid out and drawn by the report itself, between the rich-text parts
// around them, so a list of thousands of rows costs little more than its
// text. May be built on any thread; once built it is only painted.
class ReportDocument {
public:
    // Pictures the HTML names besides `images` are read from
    // `pictureFolders` only (see readPicture); one that cannot be is left
    // out with a note in its place. Nothing else is ever read from a file.
    ReportDocument(const QString &html, const QMap<QString, QImage> &images, bool landscape,
                   const QStringList &pictureFolders = {}, const StopCheck &stopped = {});
    ~ReportDocument();
    ReportDocument(const ReportDocument &) = delete;
    ReportDocument &operator=(const ReportDocument &) = delete;

    int pageCount() const { return m_pageCount; }
    bool landscape() const { return m_landscape; }
    // A page in the layout's pixels (96 to the inch).
    QSizeF pageSize() const { return m_page; }
    // The first pages of a longer report (its lists cut short): the foot of
    // a page then gives its number alone, not a count that would be wrong.
    void setFirstPagesOnly(bool firstPagesOnly) { m_firstPagesOnly = firstPagesOnly; }
    bool firstPagesOnly() const { return m_firstPagesOnly; }
    // Paints page `page` (0-based) into `target`, given in the painter's
    // device pixels, scaled to fill it.
    void paintPage(QPainter &painter, int page, const QRectF &target) const;
    // Prints pages [0, pages) (all when pages < 0) on a paged device set up
    // with prepareDevice(). `keepGoing(done, count)` is asked before each
    // page; printing stops when it says no. Returns false when the device
    // could not be painted on or printing was stopped.
    bool print(QPagedPaintDevice &device, int pages = -1,
               const std::function<bool(int, int)> &keepGoing = {}) const;
    // A4 in the report's orientation, no device margins (the report has its own).
    void prepareDevice(QPagedPaintDevice &device) const;

    // A document built on a worker thread and painted on the window's
    // thread is handed over with this, on the worker, before it ends.
    void handToApplicationThread();

private:
    struct Flow;
    std::unique_ptr<QImage> m_metrics; // fixed 96-dpi paint device of the layout
    std::unique_ptr<Flow> m_flow;
    QSizeF m_page;
    bool m_landscape = false;
    bool m_firstPagesOnly = false;
    int m_pageCount = 0;
};

// The images a report document needs: its charts (drawn beforehand), the
// person's picture and the logo.
QMap<QString, QImage> reportImages(const ReportData &data, const QMap<QString, QImage> &charts);

// A list table of a laid-out report (see ListTable) with the text of the
// last heading (h1 to h3) standing before it since the table before: the
// group a table of a grouped list belongs to.
struct ReportTable {
    QString caption;
    ListTable table;
};
// The list tables of a report's HTML, in their order.
QList<ReportTable> listTables(const QString &html);

} // namespace reports
