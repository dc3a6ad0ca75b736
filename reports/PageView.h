#pragma once

#include <QAbstractScrollArea>
#include <QHash>
#include <QImage>
#include <QList>

#include <memory>

namespace reports {

class ReportDocument;

// The pages of a report on screen, one below the other on a grey ground,
// each drawn only when it comes into view (and kept for a few pages), so a
// report of thousands of pages shows and scrolls as fast as one of a page.
// The document is painted on the window's thread: one laid out elsewhere is
// handed over first (ReportDocument::handToApplicationThread).
class ReportPageView : public QAbstractScrollArea {
    Q_OBJECT
public:
    enum class Fit { Width, Page, None };

    explicit ReportPageView(QWidget *parent = nullptr);
    ~ReportPageView() override;

    // Shows pages [0, pages) of `doc`. With `keepPlace` the view stays on
    // the page it shows (a document laid out again, with more pages).
    void setDocument(std::shared_ptr<const ReportDocument> doc, int pages, bool keepPlace = false);
    int pageCount() const { return m_pages; }
    // The page in view (from 1; 0 without pages): the one last asked for
    // with setCurrentPage(), or else the one at the upper third of the view.
    int currentPage() const;
    void setCurrentPage(int page);

    void zoomIn();
    void zoomOut();
    void fitToWidth();
    void fitInView();
    Fit fit() const { return m_fit; }
    // Screen pixels for a pixel of the layout (96 to the inch).
    qreal zoomFactor() const { return m_scale; }

    // Page `page` (from 1) as the view draws it now; null without it.
    QImage pageImage(int page) const;

signals:
    void currentPageChanged(int page);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QSize pageOnScreen() const;
    int pageStep() const; // a page and the gap below it, on screen
    int pageAt(int y) const; // index of the page at content height y
    // Sets the scale for the fit and the scroll ranges, keeping the page
    // in view where it was.
    void relayout();
    void setScale(qreal scale, Fit fit);
    const QImage &rendered(int index) const;
    void noteCurrentPage();

    std::shared_ptr<const ReportDocument> m_doc;
    int m_pages = 0;
    Fit m_fit = Fit::Width;
    qreal m_scale = 1;
    int m_pinned = 0; // the page set last, while the user has not scrolled
    int m_lastReported = 0;
    bool m_scrolling = false; // a scroll of our own is under way
    mutable QHash<int, QImage> m_cache;
    mutable QList<int> m_cacheOrder; // oldest first
};

} // namespace reports
