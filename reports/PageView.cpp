#include "reports/PageView.h"

#include "reports/ReportRender.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

namespace reports {

namespace {

constexpr int kMargin = 12;    // round the pages
constexpr int kGap = 12;       // between two pages
constexpr int kCachedPages = 8;
constexpr qreal kZoomStep = 1.25;
constexpr qreal kMinScale = 0.1;
constexpr qreal kMaxScale = 5.0;
const QColor kGround(0x9a, 0x9a, 0x9a);
const QColor kShadow(0x5a, 0x5a, 0x5a);

} // namespace

ReportPageView::ReportPageView(QWidget *parent) : QAbstractScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    verticalScrollBar()->setSingleStep(40);
    horizontalScrollBar()->setSingleStep(40);
}

ReportPageView::~ReportPageView() = default;

void ReportPageView::setDocument(std::shared_ptr<const ReportDocument> doc, int pages, bool keepPlace)
{
    const int shown = keepPlace ? currentPage() : 0;
    m_doc = std::move(doc);
    m_pages = m_doc ? qBound(0, pages < 0 ? m_doc->pageCount() : pages, m_doc->pageCount()) : 0;
    m_cache.clear();
    m_cacheOrder.clear();
    m_pinned = 0;
    relayout();
    setCurrentPage(shown > 0 ? qMin(shown, m_pages) : 1);
    if (shown <= 0)
        m_pinned = 0; // a new report starts at its top, as the user scrolls
    viewport()->update();
}

QSize ReportPageView::pageOnScreen() const
{
    if (!m_doc)
        return {};
    const QSizeF page = m_doc->pageSize() * m_scale;
    return QSize(qMax(1, qRound(page.width())), qMax(1, qRound(page.height())));
}

int ReportPageView::pageStep() const
{
    return pageOnScreen().height() + kGap;
}

int ReportPageView::pageAt(int y) const
{
    if (m_pages <= 0)
        return -1;
    return qBound(0, (y - kMargin) / qMax(1, pageStep()), m_pages - 1);
}

int ReportPageView::currentPage() const
{
    if (m_pages <= 0)
        return 0;
    if (m_pinned > 0)
        return m_pinned;
    return pageAt(verticalScrollBar()->value() + viewport()->height() / 3) + 1;
}

void ReportPageView::setCurrentPage(int page)
{
    if (m_pages <= 0)
        return;
    m_pinned = qBound(1, page, m_pages);
    m_scrolling = true;
    verticalScrollBar()->setValue((m_pinned - 1) * pageStep());
    m_scrolling = false;
    viewport()->update();
    noteCurrentPage();
}

void ReportPageView::noteCurrentPage()
{
    const int page = currentPage();
    if (page == m_lastReported)
        return;
    m_lastReported = page;
    emit currentPageChanged(page);
}

void ReportPageView::setScale(qreal scale, Fit fit)
{
    m_fit = fit;
    m_scale = qBound(kMinScale, scale, kMaxScale);
    relayout();
}

void ReportPageView::zoomIn()
{
    setScale(m_scale * kZoomStep, Fit::None);
}

void ReportPageView::zoomOut()
{
    setScale(m_scale / kZoomStep, Fit::None);
}

void ReportPageView::fitToWidth()
{
    m_fit = Fit::Width;
    relayout();
}

void ReportPageView::fitInView()
{
    m_fit = Fit::Page;
    relayout();
}

void ReportPageView::relayout()
{
    // Where the top of the view stands: a page and how far into it (the
    // view's own height may have changed already).
    const int pinned = m_pinned;
    const int oldStep = qMax(1, pageStep());
    const int anchorY = verticalScrollBar()->value() - kMargin;
    const int anchorPage = qMax(0, anchorY / oldStep);
    const qreal into = qreal(anchorY - anchorPage * oldStep) / oldStep;

    if (m_doc && m_fit != Fit::None) {
        const QSizeF page = m_doc->pageSize();
        const qreal byWidth = (viewport()->width() - 2 * kMargin) / page.width();
        const qreal byHeight = (viewport()->height() - 2 * kMargin) / page.height();
        m_scale = qBound(kMinScale, m_fit == Fit::Width ? byWidth : qMin(byWidth, byHeight), kMaxScale);
    }
    m_cache.clear();
    m_cacheOrder.clear();

    const QSize page = pageOnScreen();
    const int width = page.width() + 2 * kMargin;
    const int height = m_pages > 0 ? m_pages * pageStep() - kGap + 2 * kMargin : 0;
    m_scrolling = true;
    horizontalScrollBar()->setRange(0, qMax(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    verticalScrollBar()->setRange(0, qMax(0, height - viewport()->height()));
    verticalScrollBar()->setPageStep(qMax(1, viewport()->height() * 9 / 10));
    if (pinned > 0)
        verticalScrollBar()->setValue((pinned - 1) * pageStep());
    else
        verticalScrollBar()->setValue(kMargin + qRound((anchorPage + into) * pageStep()));
    m_scrolling = false;
    m_pinned = pinned;
    viewport()->update();
    noteCurrentPage();
}

const QImage &ReportPageView::rendered(int index) const
{
    auto found = m_cache.constFind(index);
    if (found != m_cache.constEnd())
        return *found;
    const QSize size = pageOnScreen();
    const qreal ratio = devicePixelRatioF();
    QImage image(size * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        m_doc->paintPage(painter, index, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    m_cacheOrder.append(index);
    while (m_cacheOrder.size() > kCachedPages)
        m_cache.remove(m_cacheOrder.takeFirst());
    return *m_cache.insert(index, image);
}

QImage ReportPageView::pageImage(int page) const
{
    if (!m_doc || page < 1 || page > m_pages)
        return {};
    return rendered(page - 1);
}

void ReportPageView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), kGround);
    if (!m_doc || m_pages <= 0)
        return;
    const QSize page = pageOnScreen();
    const int top = verticalScrollBar()->value();
    const int contentWidth = page.width() + 2 * kMargin;
    const int left = contentWidth <= viewport()->width() ? (viewport()->width() - page.width()) / 2
                                                         : kMargin - horizontalScrollBar()->value();
    for (int index = pageAt(top); index >= 0 && index <= pageAt(top + viewport()->height()); ++index) {
        const QRect rect(QPoint(left, kMargin + index * pageStep() - top), page);
        painter.fillRect(rect.translated(3, 3), kShadow);
        painter.drawImage(rect.topLeft(), rendered(index));
    }
}

void ReportPageView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void ReportPageView::scrollContentsBy(int, int)
{
    if (!m_scrolling)
        m_pinned = 0;
    viewport()->update();
    noteCurrentPage();
}

void ReportPageView::wheelEvent(QWheelEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        if (event->angleDelta().y() > 0)
            zoomIn();
        else if (event->angleDelta().y() < 0)
            zoomOut();
        event->accept();
        return;
    }
    QAbstractScrollArea::wheelEvent(event);
}

void ReportPageView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Home && event->modifiers() == Qt::ControlModifier) {
        setCurrentPage(1);
        return;
    }
    if (event->key() == Qt::Key_End && event->modifiers() == Qt::ControlModifier) {
        setCurrentPage(m_pages);
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

} // namespace reports
